// Randomised pastes: corpus messages with characters inserted, deleted and
// repeated, messages spliced into each other, and long runs of digits,
// commas and Hangul. Whatever the text, the paste driver and the Korean
// parser must finish, and every result must be well-formed. The seed is
// fixed, so a failure names a case that can be run again.
#include <fstream>
#include <random>
#include <regex>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "model/text.h"
#include "sms/sms_parsing_multi.h"
#include "sms_test_fixture.h"

namespace varnel {
namespace {

using testing::SmsTest;

constexpr uint32_t kSeed = 20261210;
constexpr int kMutations = 300;
constexpr int kLongInputs = 6;
// Far more next() calls than any paste of these sizes holds messages.
constexpr int kMaxSteps = 400;

std::vector<std::u32string> corpusTexts() {
  std::ifstream in(VARNEL_SMS_CORPUS);
  std::vector<std::u32string> texts;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const std::string text = nlohmann::json::parse(line)["text"];
    std::u32string points;
    for (size_t pos = 0; pos < text.size();) points.push_back(decodeUtf8(text, pos).value_or(U'?'));
    texts.push_back(std::move(points));
  }
  return texts;
}

std::string utf8(const std::u32string& points) {
  std::string out;
  for (char32_t c : points) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Pieces the parsers react to: amounts, dates, times, headers, markers.
const std::u32string kPieces[] = {U"0", U"9", U",", U".", U"원", U"\n", U"\r", U" ", U"*", U"(", U")", U"/", U":",
                                  U"-", U"[Web발신]", U"[KB]", U"누적", U"잔액", U"입금", U"출금", U"취소", U"승인",
                                  U"USD", U"$", U"€", U"엔", U"개월", U"할부", U"일시불", U"12/10", U"13:20",
                                  U"신한카드", U"롯데 ", U"하나(", U"우리카드", U"|&|", U"|^|", U"😀", U"\t"};

class Mutator {
 public:
  explicit Mutator(const std::vector<std::u32string>& texts) : texts_(texts), random_(kSeed) {}

  std::u32string next() {
    std::u32string text = pick();
    const int edits = 1 + static_cast<int>(below(6));
    for (int i = 0; i < edits; ++i) edit(text);
    return text;
  }

  std::u32string longRun(int kind) {
    const std::u32string units[] = {U"1234567890", U",,,,,,,,,,", U"1,000,000,", U"가나다라마바사아자차",
                                    U"승인승인승인", U"[Web발신]\n"};
    std::u32string text = pick();
    const std::u32string& unit = units[static_cast<size_t>(kind) % std::size(units)];
    std::u32string run;
    while (run.size() < 6000) run += unit;
    text.insert(below(text.size() + 1), run);
    return text;
  }

 private:
  size_t below(size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
  const std::u32string& pick() { return texts_[below(texts_.size())]; }

  void edit(std::u32string& text) {
    const size_t at = below(text.size() + 1);
    switch (below(5)) {
      case 0:  // insert a piece
        text.insert(at, kPieces[below(std::size(kPieces))]);
        break;
      case 1:  // delete a stretch
        text.erase(at, below(12) + 1);
        break;
      case 2: {  // repeat a stretch
        const std::u32string part = text.substr(at, below(20) + 1);
        const size_t times = below(8) + 1;
        for (size_t i = 0; i < times; ++i) text.insert(at, part);
        break;
      }
      case 3: {  // splice another message in
        const std::u32string& other = pick();
        const size_t from = below(other.size() + 1);
        text.insert(at, other.substr(from, below(other.size() - from + 1)));
        break;
      }
      default:  // replace one character
        if (!text.empty()) text[std::min(at, text.size() - 1)] = kPieces[below(std::size(kPieces))].front();
        break;
    }
  }

  const std::vector<std::u32string>& texts_;
  std::mt19937 random_;
};

// What every shown message must look like, whatever was pasted.
void expectWellFormed(const SmsParsingHelper& helper, const SmsParsing* parse, const std::string& paste) {
  static const std::regex kAmount(R"(-?[0-9]+(\.[0-9]+)?)");
  static const std::regex kMonths(R"([0-9]{1,2})");
  static const std::regex kTime(R"([0-9]{1,2}:[0-9]{1,2})");
  static const std::regex kDay(R"([0-9]{4}-[0-9]{2}-[0-9]{2})");
  const ResultSmsStrCut& cut = helper.resultSmsStrCut;
  EXPECT_GE(cut.collectCount, 0);
  EXPECT_TRUE(isValidUtf8(cut.severalStr));
  EXPECT_TRUE(isValidUtf8(cut.pasteStr));
  EXPECT_FALSE(helper.parserName.empty());
  if (!parse) return;
  EXPECT_TRUE(std::regex_match(parse->moneyMainStr, kAmount)) << parse->moneyMainStr;
  EXPECT_TRUE(std::regex_match(parse->installment, kMonths)) << parse->installment;
  EXPECT_TRUE(std::regex_match(parse->timeStampStr, kTime)) << parse->timeStampStr;
  EXPECT_TRUE(parse->doTypeStr == kSmsIncome || parse->doTypeStr == kSmsExpense) << parse->doTypeStr;
  ASSERT_TRUE(parse->dpDate);
  EXPECT_TRUE(std::regex_match(parse->dpDateKey(), kDay)) << parse->dpDateKey();
  EXPECT_GE(parse->dpDate->year, kFirstYear);
  EXPECT_LE(parse->dpDate->year, kLastYear);
  EXPECT_TRUE(isValidUtf8(parse->mainContentStr));
  EXPECT_TRUE(isValidUtf8(parse->smsOrigine));
  EXPECT_LE(parse->smsOrigine.size(), paste.size());
}

class SmsPasteMutationTest : public SmsTest {
 protected:
  // Walks every message of the paste; the walk must end.
  void walk(const std::string& paste) {
    MemoryClipboard clipboard(paste);
    SmsParsingMulti multi(*ledger_, clipboard);
    multi.parsing();
    int steps = 0;
    while (multi.getCountSms() > 0 && multi.smsParsingHelper()) {
      expectWellFormed(*multi.smsParsingHelper(), multi.smsParsing(), paste);
      if (::testing::Test::HasFailure()) return;
      ASSERT_LT(++steps, kMaxSteps) << "the walk does not end";
      multi.next();
    }
  }
};

TEST_F(SmsPasteMutationTest, MutatedPastesParseToWellFormedResults) {
  const auto texts = corpusTexts();
  ASSERT_FALSE(texts.empty());
  Mutator mutator(texts);
  for (int i = 0; i < kMutations; ++i) {
    const std::string paste = utf8(mutator.next());
    SCOPED_TRACE("mutation " + std::to_string(i) + ": " + paste);
    walk(paste);
    if (HasFailure()) return;
  }
  for (int i = 0; i < kLongInputs; ++i) {
    const std::string paste = utf8(mutator.longRun(i));
    SCOPED_TRACE("long input " + std::to_string(i));
    walk(paste);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace varnel
