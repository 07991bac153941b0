#include "model/search_index.h"

#include <gtest/gtest.h>
#include <unicode/unistr.h>

#include "model/base_repository.h"
#include "model/text_fold.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

std::string utf8(char32_t c) {
  icu::UnicodeString u(static_cast<UChar32>(c));
  std::string out;
  u.toUTF8String(out);
  return out;
}

// Text made only of fold-stable characters folds to itself with A-Z in
// lower case: each character alone and all of them in a row, through ICU.
// On such text the trigram tokenizer reads the text and its folded form as
// the same trigrams, which is what lets its index stand in for the folded
// comparison.
TEST(SearchIndex, FoldStableCharactersFoldAloneAndTogetherAsTheTokenizerFoldsThem) {
  std::string raw, folded;
  for (const auto& range : foldStableRanges()) {
    for (char32_t c = range.first; c <= range.last; ++c) {
      const std::string one = utf8(c);
      const std::string expected = c >= U'A' && c <= U'Z' ? utf8(c + 32) : one;
      ASSERT_EQ(detail::foldWithIcu(one), expected) << "U+" << std::hex << static_cast<uint32_t>(c);
      raw += one;
      folded += expected;
    }
  }
  EXPECT_EQ(detail::foldWithIcu(raw), folded);
  EXPECT_EQ(foldForSearch(raw), folded);

  SQLite::Database db(":memory:", SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
  db.exec("CREATE VIRTUAL TABLE t USING fts5(x, tokenize='trigram case_sensitive 0')");
  SQLite::Statement insert(db, "INSERT INTO t (x) VALUES (?)");
  insert.bind(1, raw);
  insert.exec();
  std::string phrase = "\"";
  for (char c : folded) phrase += c == '"' ? std::string("\"\"") : std::string(1, c);
  SQLite::Statement match(db, "SELECT COUNT(*) FROM t WHERE t MATCH ?");
  match.bind(1, phrase + "\"");
  ASSERT_TRUE(match.executeStep());
  EXPECT_EQ(match.getColumn(0).getInt(), 1);
}

class SearchScanTest : public testing::LedgerTest {};

// The rows the search compares one by one: those with any character the
// tokenizer cannot fold as the search does, in any of the three columns.
TEST_F(SearchScanTest, RowsWithCharactersOutsideTheSafeRangesAreScanned) {
  struct Case {
    const char* uid;
    const char* content;
    const char* memo;
    const char* message;
    bool scanned;
  } cases[] = {
      {"plain", "Coffee [Bean] ^-~ 12,500원 ☕ ※ 🍔", nullptr, "[Web발신]\n신한카드\t승인\r\n㈜스타 一 「～」", false},
      {"variationSelector", "커피 ❤️", nullptr, nullptr, true},
      {"accent", "Café", nullptr, nullptr, true},
      {"memoAccent", "Cafe", "crème", nullptr, true},
      {"messageSharpS", nullptr, nullptr, "Straße", true},
      {"halfWidth", "ｶﾌｪ", nullptr, nullptr, true},
      {"combiningMark", "가\xCC\x81", nullptr, nullptr, true},
      {"conjoiningLetters", "\xE1\x84\x80\xE1\x85\xA1", nullptr, nullptr, true},  // ᄀ + ᅡ
      {"kana", "がっこう", nullptr, nullptr, true},
      {"empty", nullptr, nullptr, nullptr, false},
  };
  BaseRepository repo(*ledger_);
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    InOutCome t = repo.newObjectForEntity<InOutCome>(c.uid);
    if (c.content) t.Content = c.content;
    if (c.memo) t.memo = c.memo;
    if (c.message) t.smsOrigine = c.message;
    ASSERT_TRUE(repo.save(t, "updateInOutCome"));
    if (c.scanned) expected.push_back(c.uid);
  }
  auto st = ledger_->store().prepare(std::string("SELECT ZUID FROM ZINOUTCOME INDEXED BY ") +
                                     search_index::kScanIndex + " WHERE " + search_index::scanCondition() +
                                     " ORDER BY Z_PK");
  std::vector<std::string> scanned;
  while (st.executeStep()) scanned.push_back(st.getColumn(0).getString());
  EXPECT_EQ(scanned, expected);
}

}  // namespace
}  // namespace varnel
