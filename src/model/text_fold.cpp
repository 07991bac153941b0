#include "model/text_fold.h"

#include <memory>
#include <stdexcept>

#include <sqlite3.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include "model/store.h"

namespace varnel {

namespace {

// Transliterators are not thread-safe; one per thread keeps folding usable
// from the web server's and sync workers' threads too.
icu::Transliterator& diacriticRemover() {
  thread_local std::unique_ptr<icu::Transliterator> remover = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> t(icu::Transliterator::createInstance(
        "NFD; [:Nonspacing Mark:] Remove; NFC", UTRANS_FORWARD, status));
    if (U_FAILURE(status) || !t) throw std::runtime_error("ICU diacritic folding is unavailable");
    return t;
  }();
  return *remover;
}

void sqlFold(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (argc != 1 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return;
  }
  const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const int size = sqlite3_value_bytes(argv[0]);
  try {
    const std::string folded = foldForSearch(std::string_view(bytes ? bytes : "", size));
    sqlite3_result_text(context, folded.data(), static_cast<int>(folded.size()), SQLITE_TRANSIENT);
  } catch (const std::exception& e) {
    sqlite3_result_error(context, e.what(), -1);
  }
}

}  // namespace

std::string foldForSearch(std::string_view text) {
  if (text.empty()) return {};
  icu::UnicodeString u =
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  diacriticRemover().transliterate(u);
  u.foldCase();
  std::string out;
  u.toUTF8String(out);
  return out;
}

bool containsFolded(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return false;
  return foldForSearch(haystack).find(foldForSearch(needle)) != std::string::npos;
}

bool equalsFolded(std::string_view a, std::string_view b) {
  return foldForSearch(a) == foldForSearch(b);
}

void ensureTextFoldFunction(Store& store) {
  try {
    store.prepare("SELECT VNFOLD('')");
    return;  // already registered on this connection
  } catch (const SQLite::Exception&) {
  }
  const int rc = sqlite3_create_function_v2(store.db().getHandle(), "VNFOLD", 1,
                                            SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, sqlFold,
                                            nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) throw SQLite::Exception(store.db().getHandle(), rc);
}

}  // namespace varnel
