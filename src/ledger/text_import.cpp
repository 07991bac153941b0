#include "ledger/text_import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <unicode/dcfmtsym.h>
#include <unicode/locid.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include "ledger/asset_repository.h"
#include "ledger/category_repository.h"
#include "ledger/currency_conversion.h"
#include "ledger/currency_repository.h"
#include "ledger/in_out_come_repository.h"
#include "ledger/transaction_save.h"
#include "model/errors.h"
#include "model/ledger.h"
#include "model/liveness.h"
#include "model/number_input.h"
#include "model/safety_copy.h"
#include "model/text.h"

namespace varnel {

namespace {

// ICU keeps lengths in 32 bits, and a household's file is far smaller.
constexpr size_t kMaxFileBytes = 256u << 20;

// --- Encodings -------------------------------------------------------------------

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// ICU's "cp949" is IBM's code page of that number, which lacks the Hangul
// syllables Windows adds; a file people call CP949 comes from Windows.
std::string converterName(const std::string& encoding) {
  const std::string name = upper(trimmed(encoding));
  if (name == "CP949" || name == "MS949" || name == "UHC" || name == "WINDOWS-949" || name == "X-WINDOWS-949") {
    return "windows-949-2000";
  }
  return trimmed(encoding);
}

Converter openConverter(const std::string& name) {
  // An empty name would open the system's default converter.
  if (name.empty()) throw InputError("no encoding given");
  UErrorCode status = U_ZERO_ERROR;
  Converter converter(ucnv_open(name.c_str(), &status));
  if (U_FAILURE(status) || !converter) throw InputError("unknown encoding '" + name + "'");
  return converter;
}

std::string canonicalName(UConverter* converter) {
  UErrorCode status = U_ZERO_ERROR;
  const char* name = ucnv_getName(converter, &status);
  return U_SUCCESS(status) && name ? name : "";
}

// The encoding a byte-order mark at the start of `bytes` announces, and its
// length; none for the signatures of encodings nobody writes files in, which
// ordinary text can begin with by chance ("+/v8" is UTF-7's).
std::pair<std::string, int32_t> byteOrderMark(const std::string& bytes) {
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = 0;
  const char* name = ucnv_detectUnicodeSignature(bytes.data(), static_cast<int32_t>(std::min<size_t>(bytes.size(), 4)),
                                                 &length, &status);
  if (U_FAILURE(status) || !name) return {"", 0};
  const std::string found = name;
  for (const char* known : {"UTF-8", "UTF-16LE", "UTF-16BE", "UTF-32LE", "UTF-32BE"}) {
    if (found == known) return {found, length};
  }
  return {"", 0};
}

std::string hexBytes(const char* bytes, size_t length) {
  std::string out;
  for (size_t i = 0; i < length; ++i) {
    if (i) out += ' ';
    out += fmt::format("{:02X}", static_cast<unsigned char>(bytes[i]));
  }
  return out;
}

int lineOf(const std::u16string& text, size_t units) {
  int line = 1;
  for (size_t i = 0; i < units && i < text.size(); ++i) {
    if (text[i] == u'\n') ++line;
  }
  return line;
}

// Tab and the line breaks are the file's own structure; any other control
// character in a text file is what bytes read in the wrong encoding become
// (EUC-KR reads the lead byte of a Windows-only syllable as U+008C, UTF-8 the
// zero bytes of UTF-16 as U+0000).
bool isStrayControl(char16_t c) {
  if (c == u'\t' || c == u'\n' || c == u'\r') return false;
  return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// --- Dates and amounts ---------------------------------------------------------------

std::string percentDecoded(const std::string& text) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
      out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool allDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int daysInMonth(int year, int month) {
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[static_cast<size_t>(month - 1)];
}

std::string replaceDollar(std::string text, const std::string& name) {
  for (size_t at = 0; (at = text.find('$', at)) != std::string::npos; at += name.size()) text.replace(at, 1, name);
  return text;
}

void eraseAll(std::string& text, const std::string& what) {
  if (what.empty()) return;
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos;) text.erase(at, what.size());
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return;
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
}

// --- The rewrite -----------------------------------------------------------------------

Status writeAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Status::systemFailure(std::strerror(n < 0 ? errno : EIO));
    done += static_cast<size_t>(n);
  }
  return Status::ok();
}

// Writes `bytes` in full to a new file beside `target`, with its permissions,
// and flushes it to disk. Returns the new file's path; on failure nothing is
// left behind.
Result<std::filesystem::path> writeBeside(const std::filesystem::path& target, const std::string& bytes) {
  std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".import-XXXXXX")).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    return Status::systemFailure(fmt::format("cannot write a new copy of {} beside it: {}", target.string(),
                                             std::strerror(errno)));
  }
  const std::filesystem::path written = pattern;
  struct stat original {};
  Status status = Status::ok();
  if (::stat(target.c_str(), &original) == 0 && ::fchmod(fd, original.st_mode & 07777) != 0) {
    status = Status::systemFailure(std::strerror(errno));
  }
  if (status) status = writeAll(fd, bytes);
  if (status && ::fsync(fd) != 0) status = Status::systemFailure(std::strerror(errno));
  if (::close(fd) != 0 && status) status = Status::systemFailure(std::strerror(errno));
  if (!status) {
    ::unlink(written.c_str());
    return status.withContext("cannot write a new copy of " + target.string());
  }
  return written;
}

}  // namespace

// --- Date orders -------------------------------------------------------------------------

ImportDateOrder importDateOrder(const std::string& name) {
  if (name == "yyyyMMdd") return ImportDateOrder::kYearMonthDay;
  if (name == "yyyyddMM") return ImportDateOrder::kYearDayMonth;
  if (name == "ddMMyyyy") return ImportDateOrder::kDayMonthYear;
  if (name == "MMddyyyy") return ImportDateOrder::kMonthDayYear;
  throw InputError("the date format must be yyyyMMdd, yyyyddMM, ddMMyyyy or MMddyyyy: '" + name + "'");
}

std::string importDateOrderName(ImportDateOrder order) {
  switch (order) {
    case ImportDateOrder::kYearMonthDay: return "yyyyMMdd";
    case ImportDateOrder::kYearDayMonth: return "yyyyddMM";
    case ImportDateOrder::kDayMonthYear: return "ddMMyyyy";
    case ImportDateOrder::kMonthDayYear: return "MMddyyyy";
  }
  return "yyyyMMdd";
}

std::optional<ImportDay> readImportDate(const std::string& text, ImportDateOrder order) {
  std::string value = trimmed(percentDecoded(text));
  for (char& c : value) {
    if (c == '/' || c == '-') c = '.';
  }
  const bool yearFirst = order == ImportDateOrder::kYearMonthDay || order == ImportDateOrder::kYearDayMonth;
  std::vector<std::string> parts = splitFields(value, '.');
  if (parts.size() == 1 && value.size() == 8 && allDigits(value)) {
    // Eight digits without separators: the order alone tells the parts apart.
    parts = yearFirst ? std::vector<std::string>{value.substr(0, 4), value.substr(4, 2), value.substr(6, 2)}
                      : std::vector<std::string>{value.substr(0, 2), value.substr(2, 2), value.substr(4, 4)};
  }
  if (parts.size() != 3) return std::nullopt;
  for (auto& part : parts) {
    part = trimmed(part);
    if (!allDigits(part) || part.size() > 4) return std::nullopt;
  }
  std::string yearText, monthText, dayText;
  switch (order) {
    case ImportDateOrder::kYearMonthDay: yearText = parts[0], monthText = parts[1], dayText = parts[2]; break;
    case ImportDateOrder::kYearDayMonth: yearText = parts[0], dayText = parts[1], monthText = parts[2]; break;
    case ImportDateOrder::kDayMonthYear: dayText = parts[0], monthText = parts[1], yearText = parts[2]; break;
    case ImportDateOrder::kMonthDayYear: monthText = parts[0], dayText = parts[1], yearText = parts[2]; break;
  }
  if (monthText.size() > 2 || dayText.size() > 2) return std::nullopt;
  ImportDay day;
  if (yearText.size() == 2) {
    const int yy = std::stoi(yearText);
    day.year = yy < 70 ? 2000 + yy : 1900 + yy;
  } else if (yearText.size() == 4) {
    day.year = std::stoi(yearText);
  } else {
    return std::nullopt;
  }
  day.month = std::stoi(monthText);
  day.day = std::stoi(dayText);
  if (day.year < kFirstYear || day.year > kLastYear || day.month < 1 || day.month > 12 || day.day < 1 ||
      day.day > daysInMonth(day.year, day.month)) {
    return std::nullopt;
  }
  return day;
}

// --- Encodings ---------------------------------------------------------------------------

std::string decodeImportText(const std::string& bytes, const std::string& encoding, ImportEncoding& used,
                             const std::string& what) {
  if (bytes.size() > kMaxFileBytes) throw InputError(what + " is too large to import (more than 256 MiB)");
  const auto [markName, markLength] = byteOrderMark(bytes);
  std::string name = trimmed(encoding).empty() ? (markName.empty() ? "UTF-8" : markName) : converterName(encoding);
  Converter converter = openConverter(name);
  const std::string canonical = canonicalName(converter.get());
  if (!markName.empty()) {
    // The mark is the file's own word on its encoding: one that contradicts
    // the encoding given means the wrong file or the wrong choice.
    Converter marked = openConverter(markName);
    const std::string markCanonical = canonicalName(marked.get());
    const bool fits = canonical == markCanonical || (canonical == "UTF-16" && markName.rfind("UTF-16", 0) == 0) ||
                      (canonical == "UTF-32" && markName.rfind("UTF-32", 0) == 0);
    if (!fits) {
      throw InputError(fmt::format("{} begins with a {} byte-order mark, but the encoding given is {}", what,
                                   markName, trimmed(encoding)));
    }
    name = markName;
    converter = std::move(marked);
  } else if (canonical == "UTF-16" || canonical == "UTF-32") {
    // Without a mark these read big-endian; naming the order keeps the
    // rewrite from gaining a mark the file never had.
    name = canonical + "BE";
    converter = openConverter(name);
  }
  used.name = name;
  used.byteOrderMark = !markName.empty();

  UErrorCode status = U_ZERO_ERROR;
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) throw StoreError(std::string("cannot set up the converter: ") + u_errorName(status));

  std::u16string text;
  std::vector<size_t> offsets;  // byte offset in `bytes` of each code unit of `text`
  text.reserve(bytes.size());
  offsets.reserve(bytes.size());
  const char* source = bytes.data() + markLength;
  const char* const end = bytes.data() + bytes.size();
  std::array<UChar, 8192> buffer{};
  std::array<int32_t, 8192> unitOffsets{};
  for (;;) {
    UChar* target = buffer.data();
    const char* const callStart = source;
    status = U_ZERO_ERROR;
    ucnv_toUnicode(converter.get(), &target, buffer.data() + buffer.size(), &source, end, unitOffsets.data(), true,
                   &status);
    const size_t produced = static_cast<size_t>(target - buffer.data());
    text.append(reinterpret_cast<const char16_t*>(buffer.data()), produced);
    for (size_t i = 0; i < produced; ++i) {
      // Units held over from an earlier call carry no offset of their own.
      const size_t at = unitOffsets[i] >= 0 ? static_cast<size_t>(callStart - bytes.data()) + unitOffsets[i]
                                            : (offsets.empty() ? 0 : offsets.back());
      offsets.push_back(at);
    }
    if (status == U_BUFFER_OVERFLOW_ERROR) continue;
    if (U_FAILURE(status)) {
      char invalid[32];
      int8_t invalidLength = sizeof invalid;
      UErrorCode ignored = U_ZERO_ERROR;
      ucnv_getInvalidChars(converter.get(), invalid, &invalidLength, &ignored);
      if (U_FAILURE(ignored)) invalidLength = 0;
      const size_t at = static_cast<size_t>(source - bytes.data()) - static_cast<size_t>(invalidLength);
      const bool truncated = status == U_TRUNCATED_CHAR_FOUND;
      throw InputError(fmt::format("{}, line {}: {} {} at byte offset {} {} {}", what, lineOf(text, text.size()),
                                   truncated ? "the file ends inside a character: the bytes" : "the bytes",
                                   hexBytes(invalid, static_cast<size_t>(invalidLength)), at,
                                   truncated ? "are incomplete in" : "are not valid", name));
    }
    break;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    if (isStrayControl(text[i])) {
      throw InputError(fmt::format("{}, line {}: the control character U+{:04X} at byte offset {}; is the file "
                                   "really in {}?",
                                   what, lineOf(text, i), static_cast<unsigned>(text[i]), offsets[i], name));
    }
  }
  std::string utf8;
  icu::UnicodeString(false, reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()))
      .toUTF8String(utf8);
  if (!isValidUtf8(utf8)) throw InputError(what + " holds characters that are not valid Unicode");
  return utf8;
}

std::string encodeImportText(const std::string& utf8, const ImportEncoding& encoding) {
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
  if (encoding.byteOrderMark) text.insert(0, static_cast<UChar>(0xFEFF));
  Converter converter = openConverter(encoding.name);
  UErrorCode status = U_ZERO_ERROR;
  ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  std::string out(static_cast<size_t>(UCNV_GET_MAX_BYTES_FOR_STRING(text.length(),
                                                                    ucnv_getMaxCharSize(converter.get()))),
                  '\0');
  status = U_ZERO_ERROR;
  const int32_t length = ucnv_fromUChars(converter.get(), out.data(), static_cast<int32_t>(out.size()),
                                         text.getBuffer(), text.length(), &status);
  if (U_FAILURE(status)) {
    throw InputError(fmt::format("the text cannot be written in {} ({})", encoding.name, u_errorName(status)));
  }
  out.resize(static_cast<size_t>(length));
  return out;
}

// --- Reading ---------------------------------------------------------------------------

TextImport::TextImport(Ledger& ledger, ImportDateOrder order) : ledger_(ledger), order_(order) {
  UErrorCode status = U_ZERO_ERROR;
  icu::DecimalFormatSymbols symbols(icu::Locale(ledger_.env().locale().c_str()), status);
  if (U_SUCCESS(status)) {
    std::string decimal;
    symbols.getSymbol(icu::DecimalFormatSymbols::kGroupingSeparatorSymbol).toUTF8String(groupingSeparator_);
    symbols.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol).toUTF8String(decimal);
    if (!decimal.empty()) decimalSeparator_ = decimal;
  }
}

const std::string& RecoveryData::field(size_t i) const {
  static const std::string kNone;
  return i < fields.size() ? fields[i] : kNone;
}

ImportFile TextImport::read(const std::filesystem::path& path, const std::string& encoding) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw InputError(path.string() + " is a folder, not a file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError("cannot read " + path.string() + ": " + std::strerror(errno));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw InputError("cannot read " + path.string());
  ImportEncoding used;
  const std::string text = decodeImportText(bytes.str(), encoding, used, path.string());
  ImportFile file = parse(text);
  file.path = path;
  file.encoding.name = used.name;
  file.encoding.byteOrderMark = used.byteOrderMark;
  for (auto& line : file.lines) line.fileName = path.filename().string();
  return file;
}

ImportFile TextImport::parse(const std::string& text) {
  ImportFile file;
  file.encoding.name = "UTF-8";
  file.encoding.finalLineEnding = !text.empty() && text.back() == '\n';
  std::vector<std::string> rawLines = splitFields(text, '\n');
  for (size_t i = 0; i < rawLines.size(); ++i) {
    std::string line = rawLines[i];
    // Files saved on Windows end their lines with "\r\n"; the rewrite keeps that.
    const bool crlf = !line.empty() && line.back() == '\r';
    if (crlf) line.pop_back();
    if (i == 0) {
      file.header = line;
      if (crlf) file.encoding.lineEnding = "\r\n";
      continue;
    }
    // A blank line holds no transaction; it is neither shown nor kept.
    if (trimmed(line).empty()) continue;
    RecoveryData data;
    data.lineNumber = static_cast<int>(i) + 1;
    data.recoverStrOrg = line;
    data.recoverStr = line;
    eraseAll(data.recoverStr, "\"");
    data.fields = splitFields(data.recoverStr, '\t');
    resolve(data);
    file.lines.push_back(std::move(data));
  }
  file.title = fmt::format("{}({})", ledger_.texts().text("New Entry"), file.lines.size());
  return file;
}

int TextImport::getDoType(const std::string& kindText) const {
  const std::string text = trimmed(kindText);
  if (text.empty()) return kImportUnknown;
  const Texts& texts = ledger_.texts();
  if (text == texts.text("dotype_0") || text == "Income") return kImportIncome;
  if (text == texts.text("dotype_1") || text == "Expenses" || text == "Expense") return kImportExpense;
  if (text == texts.text("dotype_3") || text == "Transfer out" || text == "Transfer-Out") return kImportTransferOut;
  if (text == texts.text("dotype_4") || text == "Transfer in" || text == "Transfer-In") return kImportTransferIn;
  return kImportUnknown;
}

void TextImport::resolve(RecoveryData& line) {
  const CommonData& cache = ledger_.commonData();
  const Texts& texts = ledger_.texts();
  line.problems.clear();
  line.date.reset();
  line.intDate = 0;
  line.assetUid.clear();
  line.categoryUid.clear();
  line.currency.clear();
  line.currencyUid.clear();
  line.amount.reset();
  line.amountSub.reset();
  line.amountAccount.reset();
  auto problem = [&line](const char* menuId, std::string text, std::string name = "") {
    line.problems.push_back({menuId, std::move(text), std::move(name)});
  };
  const size_t count = line.fields.size();

  if (auto day = readImportDate(line.field(0), order_)) {
    line.intDate = day->intDate();
    line.date = ledger_.env().dates().fromLocal(day->year, day->month, day->day);
  } else {
    problem(import_problem::kDate, fmt::format("{} : {}", texts.text("popup_message35"), line.field(0)));
  }

  const std::string accountName = trimmed(line.field(1));
  const auto account = cache.getAssetByName(accountName);
  if (account) {
    line.assetUid = account->uid.value_or("");
  } else {
    problem(import_problem::kAccount, replaceDollar(texts.text("popup_message37"), accountName), accountName);
  }

  line.doTypeInt = getDoType(line.field(6));
  const std::string otherName = trimmed(line.field(2));
  if (line.doTypeInt == kImportUnknown) {
    problem(import_problem::kKind, fmt::format("Only [{}], [{}], [{}]", texts.text("dotype_0"),
                                               texts.text("dotype_1"), texts.text("dotype_3")));
  } else if (line.doTypeInt == kImportIncome || line.doTypeInt == kImportExpense) {
    if (auto category = cache.getCategoryByName(otherName, line.doTypeInt)) {
      line.categoryUid = category->uid.value_or("");
      const std::string subName = trimmed(line.field(3));
      if (!subName.empty()) {
        if (auto sub = cache.getSubCategoryByName(subName, line.doTypeInt, line.categoryUid)) {
          line.categoryUid = sub->uid.value_or("");
        } else {
          problem(import_problem::kSubCategory, fmt::format("{} - {}.", subName, texts.text("No subcategory")),
                  subName);
        }
      }
    } else {
      problem(import_problem::kCategory, replaceDollar(texts.text("popup_message36"), otherName), otherName);
    }
  } else if (auto other = cache.getAssetByName(otherName)) {
    line.categoryUid = other->uid.value_or("");
    if (account && other->uid == account->uid) {
      problem(import_problem::kRefused, "a transfer needs two different accounts");
    }
  } else {
    problem(import_problem::kAccount, replaceDollar(texts.text("popup_message37"), otherName), otherName);
  }

  CurrencyRepository currencies(ledger_);
  const auto main = currencies.getMainCurrency();
  if (!main) throw InputError("the ledger has no main currency");
  const std::string mainIso = main->iso.value_or("");
  // An empty currency column is the main currency, as a line without one is.
  line.currency = count >= 10 && !trimmed(line.field(9)).empty() ? trimmed(line.field(9)) : mainIso;
  std::optional<Currency> row = line.currency == mainIso ? main : currencies.getCurrencyByMainIsoAndIso(mainIso,
                                                                                                      line.currency);
  if (!row) {
    problem(import_problem::kCurrency, fmt::format("{} - No currency.", line.currency), line.currency);
  } else {
    line.currencyUid = row->uid.value_or("");
    if (row->uid != main->uid && !isUsableRate(row->rate)) {
      problem(import_problem::kRefused, fmt::format("the currency {} has no usable rate", line.currency));
    }
  }

  line.content = trimmed(line.field(4));
  line.memo = count >= 8 ? trimmed(line.field(7)) : "";

  auto amount = [&](size_t index) -> std::optional<double> {
    auto value = readAmount(line.field(index));
    if (!value) {
      problem(import_problem::kAmount,
              fmt::format("{} : {}", texts.text("import_amount_unreadable"), trimmed(line.field(index))));
    }
    return value;
  };
  line.amount = amount(5);
  line.amountSub = count >= 10 && !trimmed(line.field(8)).empty() ? amount(8) : line.amount;
  if (count >= 11 && !trimmed(line.field(10)).empty()) {
    line.amountAccount = amount(10);
  } else if (account && row && line.amountSub) {
    // A line in its own account's currency gives that amount as it is.
    const auto accountCurrency = currencies.getCurrencyByAsset(*account);
    const std::string accountCurrencyUid = accountCurrency ? accountCurrency->uid.value_or("") : *main->uid;
    if (accountCurrencyUid == row->uid) line.amountAccount = line.amountSub;
  }
}

std::optional<double> TextImport::readAmount(const std::string& text) const {
  std::string value = text;
  eraseAll(value, "\n");
  eraseAll(value, "\r");
  eraseAll(value, groupingSeparator_);
  // Commas group thousands wherever they are not the decimal separator.
  if (decimalSeparator_ != ",") eraseAll(value, ",");
  if (decimalSeparator_ != ".") replaceAll(value, decimalSeparator_, ".");
  // Spaces and no-break spaces group thousands in many locales.
  eraseAll(value, " ");
  eraseAll(value, "\u00A0");
  eraseAll(value, "\u202F");
  value = trimmed(value);
  if (value.empty()) return std::nullopt;
  try {
    return parseMoneyText(value, "the amount");
  } catch (const InputError&) {
    return std::nullopt;
  }
}

// --- Saving ----------------------------------------------------------------------------

Status TextImport::addMissing(ImportFile& file, ImportSaveResult& result) {
  const CommonData& cache = ledger_.commonData();
  auto namesOf = [&file](const char* menuId) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const auto& line : file.lines) {
      for (const auto& p : line.problems) {
        if (p.menuId == menuId && !p.name.empty() && seen.insert(p.name).second) names.push_back(p.name);
      }
    }
    return names;
  };

  const std::vector<std::string> accounts = namesOf(import_problem::kAccount);
  if (!accounts.empty()) {
    // New accounts go where ordinary accounts live: the first group that is
    // not a card group, since a card needs settlement days nobody gave.
    std::optional<AssetGroup> group;
    for (const AssetGroup& g : cache.assetGroupList()) {
      const int64_t type = g.Status.value_or(0);
      if (live::isListedGroup(g) && type != kCreditCardGroupType && type != kDebitCardGroupType) {
        group = g;
        break;
      }
    }
    if (!group) throw InputError("the ledger has no account group that is not a card group to add accounts to");
    AssetRepository repository(ledger_);
    for (const std::string& name : accounts) {
      AssetForm form;
      form.name = name;
      form.groupUid = group->uid.value_or("");
      AssetSaveResult saved = repository.saveAsset(form);
      if (saved.refusal) return Status::invalidInput(ledger_.texts().text(*saved.refusal));
      VARNEL_RETURN_IF_ERROR(saved.status);
      result.addedAccounts.push_back(*saved.asset);
    }
  }

  // Main categories first: a sub-category needs its parent.
  CategoryRepository categories(ledger_);
  std::set<std::pair<int, std::string>> seenCategories;
  for (const auto& line : file.lines) {
    for (const auto& p : line.problems) {
      if (p.menuId != std::string(import_problem::kCategory) || p.name.empty()) continue;
      if (!seenCategories.insert({line.doTypeInt, p.name}).second) continue;
      auto added = categories.addMainCategory(p.name, line.doTypeInt);
      VARNEL_RETURN_IF_ERROR(added.status());
      result.addedCategories.push_back(*added);
    }
  }
  for (auto& line : file.lines) resolve(line);

  std::set<std::pair<std::string, std::string>> seenSubs;
  for (const auto& line : file.lines) {
    for (const auto& p : line.problems) {
      if (p.menuId != std::string(import_problem::kSubCategory) || p.name.empty()) continue;
      // The line's category is its main category while the sub-category is missing.
      if (!seenSubs.insert({line.categoryUid, p.name}).second) continue;
      auto added = categories.addSubCategory(line.categoryUid, p.name);
      VARNEL_RETURN_IF_ERROR(added.status());
      result.addedCategories.push_back(*added);
    }
  }
  for (auto& line : file.lines) resolve(line);
  return Status::ok();
}

Status TextImport::saveLine(const RecoveryData& line, const RecoveryData* receiving,
                            std::vector<InOutCome>& records, std::string& refusal) {
  InOutComeRepository repository(ledger_);
  CurrencyRepository currencies(ledger_);
  const CommonData& cache = ledger_.commonData();
  // The amount a record keeps in its account's currency, as the file gives it.
  auto setAccountAmount = [&](InOutCome& record, double given) -> Status {
    const auto account = cache.assetByUid(record.assetUid.value_or(""));
    auto row = account ? currencies.getCurrencyByAsset(*account) : std::nullopt;
    if (!row) row = currencies.getMainCurrency();
    const double value = roundMoney(given, static_cast<int>(row ? row->point.value_or(0) : 0));
    if (record.amountAccount && *record.amountAccount == value) return Status::ok();
    record.amountAccount = value;
    return repository.updateInOutCome(record);
  };

  // One savepoint per line: a line is saved whole or not at all.
  return repository.inTransaction([&]() -> Status {
    TransactionForm form;
    form.mode = line.doTypeInt == kImportIncome    ? kModeIncome
                : line.doTypeInt == kImportExpense ? kModeExpense
                                                   : kModeTransfer;
    form.date = line.date;
    form.account = line.assetUid;
    if (form.mode == kModeTransfer) {
      form.targetAccount = line.categoryUid;
    } else {
      form.category = line.categoryUid;
    }
    form.currency = line.currencyUid;
    form.amount = *line.amountSub;
    const auto main = currencies.getMainCurrency();
    if (main && line.currencyUid != main->uid) form.mainAmount = line.amount;
    form.content = line.content;
    form.memo = line.memo;

    TransactionSaveResult saved;
    try {
      saved = TransactionSave(ledger_).saveTransaction(form);
    } catch (const InputError& e) {
      refusal = e.what();
      return Status::invalidInput(refusal);
    }
    if (saved.refusal) {
      refusal = ledger_.texts().text(*saved.refusal);
      return Status::invalidInput(refusal);
    }
    VARNEL_RETURN_IF_ERROR(saved.status);
    InOutCome record = *saved.record;
    if (line.amountAccount) VARNEL_RETURN_IF_ERROR(setAccountAmount(record, *line.amountAccount));
    std::optional<InOutCome> opposite = saved.opposite;
    if (opposite && receiving && receiving->amountAccount) {
      VARNEL_RETURN_IF_ERROR(setAccountAmount(*opposite, *receiving->amountAccount));
    }
    records.push_back(record);
    if (opposite) records.push_back(*opposite);
    return Status::ok();
  }, "updateInOutCome");
}

ImportSaveResult TextImport::save(ImportFile& file, bool addMissingRecords) {
  ImportSaveResult result;
  ImportFile working = file;
  std::vector<bool> saved(working.lines.size(), false);
  std::vector<bool> used(working.lines.size(), false);
  std::optional<std::filesystem::path> written;
  std::filesystem::path target;
  if (!file.path.empty()) {
    std::error_code ec;
    target = std::filesystem::canonical(file.path, ec);
    if (ec) throw InputError("cannot find " + file.path.string() + ": " + ec.message());
  }

  // The receiving line of a saved transfer: same day, the accounts the other
  // way round, same texts and amount; each is used once.
  auto receivingLine = [&](size_t sending) -> std::optional<size_t> {
    const RecoveryData& out = working.lines[sending];
    for (size_t j = 0; j < working.lines.size(); ++j) {
      const RecoveryData& in = working.lines[j];
      if (used[j] || !in.isGood() || in.doTypeInt != kImportTransferIn) continue;
      if (in.intDate == out.intDate && in.assetUid == out.categoryUid && in.categoryUid == out.assetUid &&
          in.memo == out.memo && in.content == out.content && in.amount == out.amount) {
        return j;
      }
    }
    return std::nullopt;
  };

  BaseRepository store(ledger_);
  Status status;
  try {
    status = store.inTransaction([&]() -> Status {
      if (addMissingRecords) VARNEL_RETURN_IF_ERROR(addMissing(working, result));
      for (size_t i = 0; i < working.lines.size(); ++i) {
        RecoveryData& line = working.lines[i];
        if (!line.isGood() || line.doTypeInt == kImportTransferIn) continue;
        const std::optional<size_t> receiving =
            line.doTypeInt == kImportTransferOut ? receivingLine(i) : std::nullopt;
        std::string refusal;
        Status lineSaved = saveLine(line, receiving ? &working.lines[*receiving] : nullptr, result.records, refusal);
        if (!refusal.empty()) {
          line.problems.push_back({import_problem::kRefused, refusal, ""});
          continue;
        }
        VARNEL_RETURN_IF_ERROR(lineSaved);
        saved[i] = true;
        if (receiving) used[*receiving] = true;
        ++result.saved;
      }
      // The new file is written in full before the commit, so that a file
      // that cannot be written leaves the ledger as it was; it replaces the
      // original only once the commit succeeded.
      if (result.saved > 0 && !target.empty()) {
        std::string text = working.header;
        for (size_t i = 0; i < working.lines.size(); ++i) {
          if (!saved[i] && !used[i]) text += working.encoding.lineEnding + working.lines[i].recoverStrOrg;
        }
        if (working.encoding.finalLineEnding) text += working.encoding.lineEnding;
        auto copy = writeBeside(target, encodeImportText(text, working.encoding));
        VARNEL_RETURN_IF_ERROR(copy.status());
        written = *copy;
      }
      return Status::ok();
    }, "updateInOutCome");
  } catch (...) {
    std::error_code ec;
    if (written) std::filesystem::remove(*written, ec);
    // Accounts and categories added on the way are gone with the transaction.
    if (addMissingRecords) ledger_.commonData().ReloadTheData();
    throw;
  }
  if (!status) {
    std::error_code ec;
    if (written) std::filesystem::remove(*written, ec);
    if (addMissingRecords) ledger_.commonData().ReloadTheData();
    ImportSaveResult failed;
    failed.status = status;
    return failed;
  }
  ledger_.log().info("countSave {}", result.saved);

  if (written) {
    if (::rename(written->c_str(), target.c_str()) != 0) {
      // The ledger holds the saved lines now; the lines left must not be lost.
      result.status = Status::systemFailure(
          fmt::format("the lines were saved, but {} could not be replaced ({}); the lines left are in {}",
                      target.string(), std::strerror(errno), written->string()));
    } else {
      syncFolder(target.parent_path());
    }
  }

  result.lines = working.lines;
  ImportFile left = working;
  left.lines.clear();
  for (size_t i = 0; i < working.lines.size(); ++i) {
    if (saved[i] || used[i]) {
      result.savedLines.push_back(working.lines[i].lineNumber);
    } else {
      left.lines.push_back(working.lines[i]);
    }
  }
  result.left = static_cast<int>(left.lines.size());
  if (written) {
    // The rewritten file holds the header, then the lines left, one after another.
    for (size_t i = 0; i < left.lines.size(); ++i) left.lines[i].lineNumber = static_cast<int>(i) + 2;
  }
  left.title = fmt::format("{}({})", ledger_.texts().text("New Entry"), left.lines.size());
  file = std::move(left);
  return result;
}

}  // namespace varnel
