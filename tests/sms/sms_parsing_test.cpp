#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/base_repository.h"
#include "model/etc_repository.h"
#include "model/resources.h"
#include "setup/initial_data.h"
#include "sms/sms_category.h"
#include "sms/sms_parsing.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;

// ---- Text filters ----------------------------------------------------------------

TEST(SmsFilters, IncomeOrExpense) {
  struct Case {
    const char* message;
    bool income;
  };
  const Case cases[] = {
      {"[KB] 12/10 09:00 123-45 급여 3,000,000 잔액 5,000,000", true},  // 급여 without an income word
      {"신한 월급여통장 출금 50,000 스타벅스", false},
      {"농협 입금 120,000원 홍길동 잔액 500,000원", true},
      {"신한카드 승인 12,500원 스타벅스", false},
      {"써니뱅크 입금계좌 300,000원", false},                          // paying into a card
      {"[KB] 현금IC 캐쉬백 1,000원 입금", false},
      {"카카오페이 송금 보낸 분 홍길동 10,000원 도착했습니다", true},
      {"토스머니 캐시백 500원 적립", false},
      {"토스머니 캐시백 500원 입금", true},
      {"OK캐쉬백Pro카드 입금 10,000원", false},
      {"휴대폰결제가 완료되었습니다. 입금 5,000원", false},
      {"출금 1,000,000원 급여 SOL알리미", false},
      {"Payroll Direct Deposit of $1,200.00", true},
      {"포인트 적립 캐시 월급여통장 1,000원", true},
  };
  for (const Case& c : cases) EXPECT_EQ(SmsParsing::isInCome(c.message), c.income) << c.message;
}

TEST(SmsFilters, LineBreaksWebSenderHeadersAndUrls) {
  EXPECT_EQ(SmsParsing::removeLineChange("  [Web발신]\r\n신한카드\t승인\n12,500원\r스타벅스\b "),
            "[Web발신] 신한카드 승인 12,500원 스타벅스");
  EXPECT_EQ(SmsParsing::removeWordNotNecessary("[Web발신]\n[WEB 발신] 승인 [web발신]"), "승인 ");
  EXPECT_EQ(SmsParsing::removeWordNotNecessary("토스카드 결제 토스머니 5,000원"), "토스  5,000원");
  EXPECT_EQ(SmsParsing::filterUrl("쿠팡 www.coupang.com 결제 http://bit.ly/abc 안내"), "쿠팡 coupang 결제 ");
  EXPECT_EQ(SmsParsing::emptyStringFilter(" 스타 벅스\u00A0강남\t점 "), "스타벅스강남점");
}

// The longest word goes first: "입출금내역 안내" must not leave "내역 안내"
// behind after "입출금" is taken out.
TEST(SmsFilters, BoilerPlateWordsGoLongestFirst) {
  EXPECT_EQ(SmsParsing::lastWordsFilter("입출금내역 안내 스타벅스"), " 스타벅스");
  EXPECT_EQ(SmsParsing::lastWordsFilter("체크카드출금 이마트 잔액"), " 이마트 ");
  EXPECT_EQ(SmsParsing::lastWordsFilterSelective("스마일페이 G마켓"), "G마켓");
  EXPECT_EQ(SmsParsing::lastWordsFilterSelective(" 스마일페이 "), "스마일페이");
  EXPECT_EQ(SmsParsing::lastWordsFilterSelective("  "), "  ");
}

TEST(SmsFilters, SpecialCharactersAndParentheses) {
  struct Case {
    const char* text;
    const char* cleaned;
  };
  const Case cases[] = {
      {"(주)삼성전자(서초)", "(주)삼성전자(서초)"},  // a company's "(주)" keeps its parentheses
      {"(스타벅스강남)", "스타벅스강남"},
      {"(스타벅스)강남(점)", "스타벅스)강남(점"},    // wrapped as a whole: the outer pair goes
      {"이마트(성수", "이마트성수"},                  // an unbalanced parenthesis goes
      {")GS25", "GS25"},
      {"★스타*벅스.강남-점!", "스타벅스강남점"},
      {"（주）네이버", "(주)네이버"},
      {"(ab)", "ab"},
      {"【쿠팡】", "쿠팡"},
  };
  for (const Case& c : cases) EXPECT_EQ(SmsParsing::ectSpeciallCharFilter(c.text), c.cleaned) << c.text;
}

class SmsParsingTest : public LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    ASSERT_TRUE(settingDefaultData(*ledger_, 0));
  }
  std::unique_ptr<SmsParsing> parser() { return std::make_unique<SmsParsing>(*ledger_); }

  std::string categoryUid(const std::string& name, int doType) {
    const auto c = ledger_->commonData().getCategoryByName(name, doType);
    EXPECT_TRUE(c) << name;
    return c ? c->uid.value_or("") : "";
  }
  std::string subCategoryUid(const std::string& parent, const std::string& name, int doType) {
    const auto p = ledger_->commonData().getCategoryByName(parent, doType);
    EXPECT_TRUE(p) << parent;
    const auto c = ledger_->commonData().getSubCategoryByName(name, doType, p->uid.value_or(""));
    EXPECT_TRUE(c) << name;
    return c ? c->uid.value_or("") : "";
  }
  // A stored transaction of `days` days before the test's today.
  InOutCome addTransaction(const std::string& kind, const std::string& category, int days,
                           const std::string& parsed, const std::string& content, const std::string& memo,
                           const std::string& message = "", int64_t isDel = 0) {
    BaseRepository repo(*ledger_);
    InOutCome tx = repo.newObjectForEntity<InOutCome>();
    tx.Do_Type = kind;
    tx.categoryUid = category;
    tx.Date = ledger_->env().nowStoreSeconds() - days * 86400.0;
    if (!parsed.empty()) tx.smsParseContents = parsed;
    if (!content.empty()) tx.Content = content;
    if (!memo.empty()) tx.memo = memo;
    if (!message.empty()) tx.smsOrigine = message;
    tx.isDel = isDel;
    tx.amount = 1000;
    EXPECT_TRUE(repo.save(tx, "test"));
    return tx;
  }
};

TEST_F(SmsParsingTest, TimeOfDay) {
  struct Case {
    const char* text;
    const char* time;
    const char* rest;
  };
  const Case cases[] = {
      {"12/10 13:45 스타벅스", "13:45", "12/10  스타벅스"},
      {"12/10 03:05 PM 스타벅스", "15:05", "12/10 스타벅스 "},   // 12 added for PM
      {"12/10 오후 03:05 이디야", "15:05", "12/10  이디야"},
      {"12/10 오전 12:10 편의점", "00:10", "12/10  편의점"},
      {"14시 30분 출금 홍길동", "14:30", " 출금 홍길동"},
      {"승인 09:12:33 GS25", "09:12", "승인  GS25"},
      // Only the longest time sets it; the other is removed too.
      {"09:00 결제 11:22:33 쿠팡", "11:22", " 결제  쿠팡"},
      {"24.12.10 9.05 출금 5,000", "09:05", "24.12.10  출금 5,000"},
      {"출금 5,000 홍길동", "09:00", "출금 5,000 홍길동"},  // none: the environment's time stays
  };
  for (const Case& c : cases) {
    auto p = parser();
    const std::string rest = p->timerFilter(c.text);
    EXPECT_EQ(p->timeStampStr, c.time) << c.text;
    EXPECT_EQ(rest, c.rest) << c.text;
  }
}

TEST_F(SmsParsingTest, InstalmentMonths) {
  struct Case {
    const char* text;
    const char* kind;
    const char* months;
    const char* rest;
  };
  const Case cases[] = {
      {"120,000원 (3개월) 쿠팡", kSmsExpense, "3", "120,000원  쿠팡"},
      {"120,000원 할부(12) 쿠팡", kSmsExpense, "12", "120,000원  쿠팡"},
      {"120,000원 6개월할부 쿠팡", kSmsExpense, "6", "120,000원 쿠팡"},
      {"120,000원 (2월) 쿠팡", kSmsExpense, "2", "120,000원  쿠팡"},
      {"450,000원 03개월 하이마트", kSmsExpense, "03", "450,000원  하이마트"},
      {"120,000원 (2월) 입금", kSmsIncome, "0", "120,000원 (2월) 입금"},  // a month in parentheses only for an expense
      {"일시불 12,500원 스타벅스", kSmsExpense, "0", "일시불 12,500원 스타벅스"},
      {"제주은행 급여 (3개월)", kSmsIncome, "0", "제주은행 급여 (3개월)"},
  };
  for (const Case& c : cases) {
    auto p = parser();
    p->doTypeStr = c.kind;
    const std::string rest = p->installmentFilter(c.text);
    EXPECT_EQ(p->installment, c.months) << c.text;
    EXPECT_EQ(rest, c.rest) << c.text;
  }
}

// ---- Category guess ------------------------------------------------------------------

TEST_F(SmsParsingTest, PreviousTransactionsLendTheirCategoryNewestOfTheSameKindFirst) {
  const std::string cafe = subCategoryUid("식비", "카페/간식", 1);
  const std::string eatingOut = subCategoryUid("식비", "외식", 1);
  const std::string hobbies = subCategoryUid("문화/여가", "취미", 1);
  const std::string bonus = categoryUid("상여금", 0);
  addTransaction("1", eatingOut, 30, "동네커피집", "", "");
  addTransaction("1", cafe, 10, "동네커피집", "", "");
  addTransaction("1", hobbies, 2, "동네커피집", "", "", "", 1);   // deleted
  addTransaction("0", bonus, 1, "동네커피집", "", "");            // another kind
  ledger_->commonData().ReloadTheData();

  auto p = parser();
  p->doTypeStr = kSmsExpense;
  p->findCategoryFromSMSKo("동네커피집", "");
  ASSERT_TRUE(p->cateObject);
  EXPECT_EQ(p->cateObject->Name.value_or(""), "식비");
  ASSERT_TRUE(p->cateSubObject);
  EXPECT_EQ(p->cateSubObject->uid.value_or(""), cafe);

  p->doTypeStr = kSmsIncome;
  p->findCategoryFromSMSKo("동네커피집", "");
  EXPECT_EQ(p->cateObject->uid.value_or(""), bonus);
  EXPECT_FALSE(p->cateSubObject);
}

TEST_F(SmsParsingTest, ContentAndMemoAreAskedAfterTheParsedContent) {
  const std::string books = subCategoryUid("교육", "도서", 1);
  const std::string pets = subCategoryUid("가족/경조사", "반려동물", 1);
  addTransaction("1", books, 5, "", "Corner Shop", "");
  addTransaction("1", pets, 3, "", "", "고양이사료 corner shop 정기구매");
  addTransaction("1", pets, 3, "", "", "OK");
  auto p = parser();
  p->findCategoryFromSMSKo("CORNER SHOP", "");  // case is ignored
  ASSERT_TRUE(p->cateSubObject);
  EXPECT_EQ(p->cateSubObject->uid.value_or(""), books);

  p->findCategoryFromSMSKo("고양이사료", "");  // found only in a memo
  ASSERT_TRUE(p->cateSubObject);
  EXPECT_EQ(p->cateSubObject->uid.value_or(""), pets);

  // Two characters are too few to look for in memos; the first expense
  // category is all that is left.
  p->findCategoryFromSMSKo("OK", "");
  ASSERT_TRUE(p->cateObject);
  EXPECT_EQ(p->cateObject->Name.value_or(""), "식비");
  EXPECT_FALSE(p->cateSubObject);
}

// The lookups read their own indexes: a ledger of a million transactions
// answers them without reading its table.
TEST_F(SmsParsingTest, LookupsReadIndexesNotTheTable) {
  struct Query {
    std::string sql;
    std::string index;
    bool ordered;  // read in the order asked for, so that the first usable row ends it
  };
  const Query queries[] = {
      {"SELECT * FROM ZINOUTCOME WHERE ZSMSPARSECONTENTS = ?1 COLLATE NOCASE AND ZDO_TYPE = ?2 AND "
       "(ZISDEL IS NULL OR ZISDEL != 1) ORDER BY ZDATE DESC, Z_PK DESC LIMIT 32",
       "ZINOUTCOME_PARSED_CONTENT", true},
      {"SELECT * FROM ZINOUTCOME WHERE ZCONTENT = ?1 COLLATE NOCASE AND ZDO_TYPE = ?2 AND "
       "(ZISDEL IS NULL OR ZISDEL != 1) ORDER BY ZDATE DESC, Z_PK DESC LIMIT 32",
       "ZINOUTCOME_CONTENT", true},
      {"SELECT * FROM ZINOUTCOME WHERE (ZISDEL IS NULL OR ZISDEL != 1) AND ZSMSORIGINE = ? ORDER BY ZDATE, Z_PK",
       "ZINOUTCOME_MESSAGE", false},
  };
  for (const Query& q : queries) {
    SQLite::Statement plan(ledger_->store().db(), "EXPLAIN QUERY PLAN " + q.sql);
    std::string text;
    while (plan.executeStep()) text += plan.getColumn(3).getString() + "\n";
    EXPECT_NE(text.find("USING INDEX " + q.index), std::string::npos) << text;
    if (q.ordered) {
      EXPECT_EQ(text.find("TEMP B-TREE"), std::string::npos) << text;
    }
  }
}

TEST_F(SmsParsingTest, KeywordTableThenFirstCategoryOfTheKind) {
  auto p = parser();
  p->doTypeStr = kSmsExpense;
  p->findCategoryFromSMSKo("스타벅스강남점", "");
  ASSERT_TRUE(p->cateObject);
  EXPECT_EQ(p->cateObject->Name.value_or(""), "식비");

  // The message is asked when the content says nothing.
  p->findCategoryFromSMSKo("홍길동", "신한카드 승인 홍길동 넷플릭스 정기결제");
  EXPECT_EQ(p->cateObject->Name.value_or(""), "문화/여가");

  // A keyword of an income category does not name an expense.
  p->findCategoryFromSMSKo("급여", "");
  EXPECT_EQ(p->cateObject->Name.value_or(""), "식비");  // the first expense category
  p->doTypeStr = kSmsIncome;
  p->findCategoryFromSMSKo("급여", "");
  EXPECT_EQ(p->cateObject->Name.value_or(""), "급여");
}

TEST_F(SmsParsingTest, KeywordTableNamesSubCategoriesWhenTheLedgerUsesThem) {
  ASSERT_TRUE(EtcRepository(*ledger_).updateUseSubCategory(true));
  auto p = std::make_unique<SmsParsing>(*ledger_);
  p->findCategoryFromSMSKo("카카오T", "");
  ASSERT_TRUE(p->cateObject && p->cateSubObject);
  EXPECT_EQ(p->cateObject->Name.value_or(""), "교통");
  EXPECT_EQ(p->cateSubObject->Name.value_or(""), "택시");
}

// Every keyword names a category of each default ledger: the current lists in
// Korean and in English, and the older lists in both.
TEST(SmsCategoryTable, EveryKeywordFindsItsCategoryInEveryDefaultLedger) {
  const SmsCategory& table = SmsCategory::shared();
  ASSERT_GE(table.items().size(), 300u);
  struct Setup {
    std::string lang;
    int variant;  // 9: the older lists
  };
  for (const Setup& setup : {Setup{"ko", 0}, Setup{"en", 0}, Setup{"ko", 9}, Setup{"en", 9}}) {
    testing::TempDir dir;
    testing::TestLedgerOptions options;
    options.lang = setup.lang;
    options.locale = setup.lang == "ko" ? "ko_KR" : "en_US";
    auto ledger = Ledger::open(testing::testEnvironment(dir.path(), options));
    ASSERT_TRUE(settingDefaultData(*ledger, setup.variant));
    ASSERT_TRUE(EtcRepository(*ledger).updateUseSubCategory(true));
    const auto data = SmsParsingData::load(*ledger);
    for (const SmsCategory::Item& item : table.items()) {
      const std::string keyword = sms::toUtf8(item.keyword);
      const bool income = std::set<std::string>{"급여", "상여금", "용돈", "금융소득", "부수입", "환급", "기타수입"}.count(
                              item.category) > 0;
      SmsParsing p(*ledger, data);
      p.doTypeStr = income ? kSmsIncome : kSmsExpense;
      p.findCategoryFromSMSKo(keyword, "");
      ASSERT_TRUE(p.cateObject) << keyword << " " << setup.lang << setup.variant;
      std::vector<std::string> expected = table.namesFor(item.category);
      for (const auto& n : table.olderNamesFor(item.category)) expected.push_back(n);
      for (const auto& n : table.olderNamesFor(item.subCategory)) expected.push_back(n);
      const std::string found = p.cateObject->Name.value_or("");
      EXPECT_TRUE(std::count(expected.begin(), expected.end(), found))
          << keyword << " gave " << found << " in " << setup.lang << setup.variant;
      // The current lists have every sub-category the table names, so a
      // keyword that fell through to the first category is caught here.
      if (setup.variant == 0 && !item.subCategory.empty()) {
        ASSERT_TRUE(p.cateSubObject) << keyword << " in " << setup.lang;
        const std::vector<std::string> subNames = table.namesFor(item.subCategory);
        EXPECT_TRUE(std::count(subNames.begin(), subNames.end(), p.cateSubObject->Name.value_or("")))
            << keyword << " gave " << p.cateSubObject->Name.value_or("") << " in " << setup.lang;
      }
    }
  }
}

TEST(SmsCategoryTable, ReadsItemsAndCounterparts) {
  const std::string table =
      "<c><item> 식비 ; 외식 ; Pizza </item><item>식비;;</item><item>x;y</item>"
      "<counterpart current=\"1012\" older=\"3012\"/></c>";
  const SmsCategory t = SmsCategory::parse(table, resource("category.xml").value_or(""));
  ASSERT_EQ(t.items().size(), 1u);
  EXPECT_EQ(t.items()[0].subCategory, "외식");
  EXPECT_EQ(t.itemsIn("PIZZA HUT").size(), 1u);
  EXPECT_EQ(t.namesFor("외식"), (std::vector<std::string>{"외식", "Eating out"}));
  EXPECT_EQ(t.olderNamesFor("외식"), (std::vector<std::string>{"외식", "Eating out"}));
  EXPECT_TRUE(SmsCategory::parse("not xml", "").items().empty());
}

// ---- Already stored ----------------------------------------------------------------------

TEST_F(SmsParsingTest, AMessageAlreadyStored) {
  const std::string message = "[Web발신] 신한카드 승인 12,500원 스타벅스";
  struct Case {
    int storedDaysAgo;
    bool datedToday;
    int64_t isDel;
    bool overlap;
  };
  const Case cases[] = {
      {30, true, 0, false},   // the same monthly message, a month later
      {5, true, 0, true},
      {30, false, 0, true},   // a message of another day is the same one pasted again
      {5, true, 1, false},    // a deleted transaction does not count
  };
  for (const Case& c : cases) {
    const InOutCome tx = addTransaction("1", "-2", c.storedDaysAgo, "", "", "", message, c.isDel);
    auto p = parser();
    p->dpDate = p->pastDate;
    if (!c.datedToday) p->dpDate->day -= 1;
    p->getIsPastOverlap(message);
    EXPECT_EQ(p->isPastOverlap, c.overlap) << c.storedDaysAgo << " " << c.datedToday << " " << c.isDel;
    p->getIsPastOverlap(message + " ");
    EXPECT_FALSE(p->isPastOverlap);
    ledger_->store().db().exec("DELETE FROM ZINOUTCOME WHERE ZUID = '" + tx.uid.value_or("") + "'");
  }
}

}  // namespace
}  // namespace varnel
