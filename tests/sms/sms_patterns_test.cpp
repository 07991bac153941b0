#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "sms/sms_parsing_kor_patterns.h"
#include "sms/sms_patterns.h"

namespace varnel::sms {
namespace {

std::string u8(const UString& s) { return toUtf8(s); }

// Nested quantifiers over a long run that ends without the final character:
// a backtracking engine tries every way to split the run.
TEST(SmsPatterns, ACatastrophicPatternComesBackAsNoMatchAndLeavesTheTextAsItWas) {
  const UString text = UString(u"x ").append(UString(4000, u'a', 4000)).append(u" y");
  const int64_t before = limitExceededCount();
  const Pattern nested(u"(a+)+b");
  EXPECT_FALSE(nested.find(text));
  EXPECT_TRUE(nested.findAll(text).empty());
  EXPECT_EQ(u8(removeAll(text, nested)), u8(text));
  EXPECT_EQ(u8(removeFirst(text, nested)), u8(text));
  EXPECT_EQ(limitExceededCount(), before + 4);
  // The same pattern on a text it can match quickly still matches.
  EXPECT_TRUE(nested.find(lit(u"aaab")));
}

TEST(SmsPatterns, BacktrackingBeyondTheMemoryLimitIsNoMatch) {
  // Every repetition of a group with a capture leaves a frame to return to.
  const UString text(600000, u'a', 600000);
  const int64_t before = limitExceededCount();
  EXPECT_FALSE(Pattern(u"((a)|b)*c").find(text));
  EXPECT_EQ(limitExceededCount(), before + 1);
}

TEST(SmsPatterns, APatternThatDoesNotCompileMatchesNothing) {
  const Pattern broken(u"(unclosed[");
  EXPECT_FALSE(broken.valid());
  EXPECT_FALSE(broken.find(lit(u"(unclosed[")));
  EXPECT_EQ(u8(removeAll(lit(u"abc"), broken)), "abc");
}

TEST(SmsPatterns, MatchesAreTheSameWithTheCacheOff) {
  struct Case {
    const char16_t* pattern;
    const char16_t* text;
    const char* removed;
  };
  const Case cases[] = {
      {u"잔액\\s?[0-9,]+원", u"출금 5,000원 잔액 12,000원 스타벅스", "출금 5,000원  스타벅스"},
      {u"usd\\s\\d+", u"USD 12 and usd 3", " and "},
      {u"(x||y)", u"axyb", "ayb"},  // an empty match moves on by one
  };
  for (const bool cached : {true, false}) {
    setPatternCacheEnabled(cached);
    for (const Case& c : cases) {
      EXPECT_EQ(u8(removeAll(lit(c.text), Pattern(c.pattern))), c.removed) << u8(lit(c.pattern)) << " " << cached;
    }
  }
  setPatternCacheEnabled(true);
}

TEST(SmsPatterns, CaseIsIgnoredOnlyWhereItCanMatter) {
  EXPECT_TRUE(Pattern(u"krw\\s\\d").find(lit(u"KRW 5")));
  EXPECT_FALSE(Pattern(u"krw\\s\\d", false).find(lit(u"KRW 5")));
  // Escapes are not letters: \D must not start matching digits.
  EXPECT_FALSE(Pattern(u"\\D\\D").find(lit(u"12")));
  EXPECT_TRUE(Pattern(u"누적\\s\\d").find(lit(u"누적 5")));
}

TEST(SmsPatterns, QuotedTextMatchesItself) {
  for (const char16_t* text : {u"롯데(", u"[KB]", u"a.b*c", u"우리 (1)", u"x|y\\z", u"$5+3?"}) {
    const Pattern p(quoted(lit(text)));
    const std::optional<Span> span = p.find(UString(u"-- ").append(lit(text)).append(u" --"));
    ASSERT_TRUE(span) << u8(lit(text));
    EXPECT_EQ(span->start, 3);
    EXPECT_EQ(span->length(), lit(text).length());
  }
}

TEST(SmsPatterns, KeywordsSkipTextsWithoutThemAndTheCheckFindsAWrongList) {
  const Pattern guarded(u"잔액\\s\\d+", Keywords{{u"잔액"}});
  EXPECT_TRUE(guarded.find(lit(u"잔액 500")));
  EXPECT_FALSE(guarded.find(lit(u"출금 500")));
  const Pattern cased(u"top\\d", Keywords{{u"TOP"}});
  EXPECT_TRUE(cased.find(lit(u"잔여Top5")));

  // A list that misses what the pattern matches is reported by the check.
  setKeywordCheck(true);
  const int64_t before = keywordMissCount();
  const Pattern wrong(u"a\\d", Keywords{{u"zzz"}});
  EXPECT_FALSE(wrong.find(lit(u"a1")));
  EXPECT_EQ(keywordMissCount(), before + 1);
  setKeywordCheck(false);
}

// Threads share the compiled patterns; each keeps matchers of its own.
TEST(SmsPatterns, ThreadsShareOnePatternSafely) {
  static const Pattern shared(u"([0-9]{1,3}(,[0-9]{3})+)원");
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 500; ++i) {
        const std::string amount = std::to_string(t + 1) + "," + std::to_string(100 + i) + "원";
        const UString text = fromUtf8("승인 " + amount + " 스타벅스");
        if (toUtf8(firstMatch(text, shared)) != amount) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

// Every pattern of the Korean parser compiles as ICU reads it, with its
// "%@" filled the way the parser fills it.
TEST(SmsPatterns, EveryKoreanParserPatternCompiles) {
  using namespace kor_patterns;
  std::vector<UString> texts;
  for (const char16_t* p :
       {kSupplyValue, kRunningTotal, kAvailableAmount, kBalance, kUsRemainingLimit, kCollectionTotal, kRewardPoints,
        kPaymentAmountLabel, kTax, kSubsidy, kServiceCharge, kTotal, kRewardDate, kLumpSumDate, kApprovalWithName,
        kMaskedApproval, kApprovalNumbers, kMaskedNames, kDanalNumber, kServiceNumbers, kPhoneLabel, kCustomerNumber,
        kStorePhone, kMobileNumber, kAccountNumbers, kLeftovers, kLongDigits, kYen, kYuan, kDong, kDollar,
        kOverseasWon, kDueDateWithdrawal, kWon, kWonFallback, kLeftoverWon, kHanaAlarmHeader, kWonNumber,
        kUsdBlankDecimal, kMonthDaySuffix, kDateYearFirst, kDateDayMonthYear, kDateMonthDayYear, kDateUsShortYear,
        kDateShortYear, kDateMonthDayWithDay, kDateMonthDay, kDateShortMonthDay, kScGalleriaDate, kKakaoProductName,
        kKakaoPurchases, kKakaoDetails, kKiwoomDividend, kSinhanInvestFinal, kAccountHolderName,
        kAppleServiceCompany, kSinhanRate, kHansalimLines, kMiraeMaskedAccount}) {
    texts.push_back(lit(p));
  }
  for (const char16_t* p : {kWholeOrDecimalCode, kDecimalCode, kEuroSignBefore, kEuroSignAfter, kEuro,
                            kLocaleNumber}) {
    UString filled = lit(p);
    filled.findAndReplace(lit(u"\\%@"), lit(u"\\."));
    filled.findAndReplace(lit(u"%@"), lit(u"TWD"));
    texts.push_back(filled);
  }
  for (const UString& text : texts) EXPECT_TRUE(Pattern(text).valid()) << u8(text);
}

}  // namespace
}  // namespace varnel::sms
