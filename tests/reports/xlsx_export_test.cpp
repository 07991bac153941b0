// The spreadsheet export read back by an independent reader (openpyxl): the
// cells a person sees, compared with the ledger they came from.
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "ledger/transaction_test_fixture.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "reports/xlsx_export.h"
#include "support/workbook_reader.h"

namespace varnel {
namespace {

using nlohmann::json;

constexpr const char* kKoreanDateTime = R"(yyyy"." mm"." dd"." hh:mm:ss)";
constexpr const char* kKoreanDate = R"(yyyy"." mm"." dd".")";

json text(const std::string& value) { return {{"type", "text"}, {"value", value}, {"format", "General"}}; }
json money(double value, int decimals) {
  return {{"type", "number"},
          {"value", value},
          {"format", decimals == 0 ? std::string("#,##0") : "#,##0." + std::string(static_cast<size_t>(decimals), '0')}};
}
json date(const std::string& iso, const std::string& format = kKoreanDateTime) {
  return {{"type", "date"}, {"value", iso}, {"format", format}};
}

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> folderEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class XlsxExportTest : public testing::TransactionTest {
 protected:
  void setTimeType(int type) {
    ASSERT_TRUE(EtcRepository(*ledger_).updateEtcUserSettingByType(etc_kind::kTimeDisplayOrder, std::to_string(type)));
    ledger_->commonData().ReloadAppDataEtc();
  }
  double when(int month, int day, int hour = 0, int minute = 0, int second = 0) {
    return ledger_->env().dates().fromLocal(2026, month, day, hour, minute, second);
  }
  // A record as stored, for the kinds and values that only other paths
  // (the account screen, older data, sync) write.
  InOutCome stored(const std::string& kind, const std::string& account, double amount, std::optional<double> at) {
    InOutCome r = BaseRepository(*ledger_).newObjectForEntity<InOutCome>();
    r.Do_Type = kind;
    r.assetUid = account;
    r.amount = r.amountSub = r.amountAccount = amount;
    r.currencyUid = "KRW_KRW";
    r.Date = at;
    return r;
  }
  void put(InOutCome r) { ASSERT_TRUE(BaseRepository(*ledger_).save(r, "updateInOutCome")); }
  TransactionForm entry(int mode, const std::string& account, double amount, double at, const std::string& content,
                        const std::string& categoryOrTarget = "") {
    TransactionForm f = form(mode, account, amount, categoryOrTarget);
    f.date = at;
    f.content = content;
    return f;
  }

  std::filesystem::path book() const { return dir_.path() / "book.xlsx"; }
  json exported(std::optional<double> from, std::optional<double> to) {
    Result<int64_t> written = getExcelData(*ledger_, from, to, book());
    if (!written) throw std::runtime_error(written.status().message());
    json workbook = testing::readWorkbook(book());
    EXPECT_EQ(workbook["rows"].size(), static_cast<size_t>(*written) + 1) << "rows reported vs. rows read";
    return workbook;
  }
};

TEST_F(XlsxExportTest, CellsShowThePeriodsTransactionsWithTheirCurrenciesDecimals) {
  setTimeType(3);  // oldest first, with the time
  TransactionForm income = entry(kModeIncome, "WON", 3000000, when(12, 1, 9), "월급");
  income.memo = "12월분";
  saved(income);
  TransactionForm lunch = entry(kModeExpense, "WON", 12000, when(12, 2, 12, 30), "점심\n회식", "LUNCH");
  lunch.memo = "팀\r\n회식";
  saved(lunch);
  TransactionForm dollars = entry(kModeExpense, "WON", 9.99, when(12, 3, 8, 15, 30), "Coffee");
  dollars.currency = "KRW_USD";
  saved(dollars);
  saved(entry(kModeExpense, "DOLLAR", 13000, when(12, 3, 20), "Books"));
  TransactionForm transfer = entry(kModeTransfer, "WON", 130000, when(12, 4, 10), "환전", "DOLLAR");
  transfer.memo = "여행";
  saved(transfer);
  put(stored("7", "WON", 5000, when(12, 5, 9)));
  put(stored("8", "WON", 2000, when(12, 5, 10)));
  auto gone = saved(entry(kModeExpense, "WON", 777, when(12, 6), "deleted"));
  ASSERT_TRUE(InOutComeRepository(*ledger_).deleteWithInOutCome(*gone.record));
  saved(entry(kModeExpense, "WON", 1, when(11, 30, 23, 59, 59), "the day before"));
  saved(entry(kModeExpense, "WON", 1, ledger_->env().dates().fromLocal(2027, 1, 1), "the day after"));
  saved(entry(kModeExpense, "WON", 1500, when(12, 31, 23, 59, 59), "막차"));

  const json workbook = exported(when(12, 1), when(12, 31));

  EXPECT_EQ(workbook["sheets"], json({"Sheet1"}));
  ASSERT_EQ(workbook["widths"].size(), kExcelColumnWidths.size());
  for (size_t c = 0; c < kExcelColumnWidths.size(); ++c) {
    // The reader sees the width with the padding the format adds to it.
    EXPECT_EQ(std::floor(workbook["widths"][c].get<double>()), kExcelColumnWidths[c]) << "column " << c;
  }
  const json& rows = workbook["rows"];
  const json headers = {text("날짜"), text("자산"), text("분류"),   text("소분류"), text("내용"), text("KRW"),
                        text("구분"), text("메모"), text("금액"), text("통화"),   text("자산")};
  EXPECT_EQ(rows[0], headers);
  const json none;
  const std::vector<json> expected = {
      {date("2026-12-01T09:00:00"), text("Won"), text("Salary"), none, text("월급"), money(3000000, 0), text("수입"),
       text("12월분"), money(3000000, 0), text("KRW"), money(3000000, 0)},
      {date("2026-12-02T12:30:00"), text("Won"), text("Food"), text("Lunch"), text("점심회식"), money(12000, 0),
       text("지출"), text("팀회식"), money(12000, 0), text("KRW"), money(12000, 0)},
      // Entered in dollars: the main amount, the dollars with their cents and
      // the account's won.
      {date("2026-12-03T08:15:30"), text("Won"), text("Food"), none, text("Coffee"), money(12987, 0), text("지출"), none,
       money(9.99, 2), text("USD"), money(12987, 0)},
      // Booked on the dollar account: its amount in dollars with cents.
      {date("2026-12-03T20:00:00"), text("Dollar"), text("Food"), none, text("Books"), money(13000, 0), text("지출"),
       none, money(13000, 0), text("KRW"), money(10, 2)},
      // A transfer: each side names the other account in the category column.
      {date("2026-12-04T10:00:00"), text("Won"), text("Dollar"), none, text("환전"), money(130000, 0), text("이체출금"),
       text("여행"), money(130000, 0), text("KRW"), money(130000, 0)},
      {date("2026-12-04T10:00:00"), text("Dollar"), text("Won"), none, text("환전"), money(130000, 0),
       text("이체입금"), text("여행"), money(130000, 0), text("KRW"), money(100, 2)},
      {date("2026-12-05T09:00:00"), text("Won"), text("잔액 조정"), none, none, money(5000, 0), text("잔액 증가"), none,
       money(5000, 0), text("KRW"), money(5000, 0)},
      {date("2026-12-05T10:00:00"), text("Won"), text("잔액 조정"), none, none, money(2000, 0), text("잔액 감소"), none,
       money(2000, 0), text("KRW"), money(2000, 0)},
      {date("2026-12-31T23:59:59"), text("Won"), text("Food"), none, text("막차"), money(1500, 0), text("지출"), none,
       money(1500, 0), text("KRW"), money(1500, 0)},
  };
  ASSERT_EQ(rows.size(), expected.size() + 1);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(rows[i + 1], expected[i]) << "row " << i + 1;
}

TEST_F(XlsxExportTest, RowOrderAndDateFormatFollowTheTimeSetting) {
  // Equal dates are ordered by change time, then by the older numeric id;
  // written in another order than either.
  const double first = when(12, 1, 10, 15, 20), later = when(12, 2, 7, 5, 9);
  InOutCome d = stored("1", "WON", 4, later);
  d.Content = "D";
  put(d);
  InOutCome c = stored("1", "WON", 3, first);
  c.Content = "C", c.utime = 2000, c.aId = 7;
  put(c);
  InOutCome a = stored("1", "WON", 1, first);
  a.Content = "A", a.utime = 1000, a.aId = 9;
  put(a);
  InOutCome b = stored("1", "WON", 2, first);
  b.Content = "B", b.utime = 2000, b.aId = 5;
  put(b);

  struct Case {
    int inputTimeType;
    std::vector<std::string> order;
    const char* format;
  };
  const std::vector<std::string> oldestFirst = {"A", "B", "C", "D"}, newestFirst = {"D", "C", "B", "A"};
  const Case cases[] = {
      {0, oldestFirst, kKoreanDate},     {1, newestFirst, kKoreanDateTime}, {2, newestFirst, kKoreanDateTime},
      {3, oldestFirst, kKoreanDateTime}, {4, oldestFirst, kKoreanDateTime}, {5, newestFirst, kKoreanDate},
      {6, oldestFirst, kKoreanDateTime}, {9, oldestFirst, kKoreanDateTime},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE("inputTimeType " + std::to_string(k.inputTimeType));
    setTimeType(k.inputTimeType);
    const json rows = exported(when(12, 1), when(12, 2))["rows"];
    ASSERT_EQ(rows.size(), 5u);
    std::vector<std::string> order;
    for (size_t i = 1; i < rows.size(); ++i) order.push_back(rows[i][4]["value"]);
    EXPECT_EQ(order, k.order);
    // A date-only format still holds the time in the cell.
    const json& cell = rows[k.order == oldestFirst ? 1 : 4][0];
    EXPECT_EQ(cell, date("2026-12-01T10:15:20", k.format));
  }
}

TEST_F(XlsxExportTest, EmptyPeriodGivesTheHeaderRowInTheLedgersLanguage) {
  saved(entry(kModeExpense, "WON", 100, when(11, 15), "elsewhere"));
  struct Case {
    const char* lang;
    const char* locale;
    std::vector<std::string> headers;
  };
  const Case cases[] = {
      {"ko", "ko_KR", {"날짜", "자산", "분류", "소분류", "내용", "KRW", "구분", "메모", "금액", "통화", "자산"}},
      {"en",
       "en_US",
       {"Date", "Account", "Category", "Subcategory", "Content", "KRW", "Type", "Memo", "Amount", "Currency",
        "Account"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.lang);
    testing::TestLedgerOptions options;
    options.lang = k.lang;
    options.locale = k.locale;
    reopen(options);
    const json rows = exported(when(12, 1), when(12, 31))["rows"];
    ASSERT_EQ(rows.size(), 1u);
    json headers = json::array();
    for (const auto& h : k.headers) headers.push_back(text(h));
    EXPECT_EQ(rows[0], headers);
  }
}

TEST_F(XlsxExportTest, EdgeCasesOfStoredValues) {
  setTimeType(3);
  std::string hangul;
  for (int i = 0; i < 40000; ++i) hangul += "가";
  std::string emoji;
  for (int i = 0; i < 20000; ++i) emoji += "😀";
  struct Case {
    const char* name;
    std::function<void(InOutCome&)> change;
    int column;
    json cell;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const json none;
  const std::vector<Case> cases = {
      {"no date leaves the date cell empty", [](InOutCome& r) { r.Date.reset(); }, 0, none},
      {"a date before 1900 stays readable as text",
       [&](InOutCome& r) { r.Date = ledger_->env().dates().fromLocal(1850, 3, 1, 12); }, 0,
       text("1850-03-01 12:00:00")},
      {"line breaks in content go", [](InOutCome& r) { r.Content = "a\r\nb\nc"; }, 4, text("abc")},
      {"line breaks in memo go", [](InOutCome& r) { r.memo = "x\ny\r"; }, 7, text("xy")},
      {"instalment position follows the content",
       [](InOutCome& r) { r.Content = "TV", r.cardDivideMonthStr = "(2/3)"; }, 4, text("TV (2/3)")},
      {"an empty instalment text adds nothing", [](InOutCome& r) { r.Content = "TV", r.cardDivideMonthStr = ""; }, 4,
       text("TV")},
      {"bytes that are not UTF-8 show as U+FFFD", [](InOutCome& r) { r.Content = "ab\xff\xc3"; }, 4,
       text("ab\xEF\xBF\xBD\xEF\xBF\xBD")},
      {"control characters go, tabs stay", [](InOutCome& r) { r.Content = "a\x01" "b\x1b" "c\td"; }, 4,
       text("abc\td")},
      {"text that looks like an escape reads back as typed", [](InOutCome& r) { r.Content = "_x0041_ and _x"; }, 4,
       text("_x0041_ and _x")},
      {"a memo beyond the cell's limit is cut at it", [&](InOutCome& r) { r.memo = hangul; }, 7,
       text(hangul.substr(0, kExcelMaxCellText * 3))},
      {"characters beyond U+FFFF count twice against the limit", [&](InOutCome& r) { r.memo = emoji; }, 7,
       text(emoji.substr(0, kExcelMaxCellText / 2 * 4))},
      {"an unknown currency shows the main currency", [](InOutCome& r) { r.currencyUid = "NOWHERE"; }, 9,
       text("KRW")},
      {"an unknown account leaves its name empty", [](InOutCome& r) { r.assetUid = "GONE"; }, 1, none},
      {"uncategorised shows its text", [](InOutCome& r) { r.categoryUid = "-2"; }, 2, text("미분류")},
      {"a category that is gone shows as uncategorised", [](InOutCome& r) { r.categoryUid = "GONE"; }, 2,
       text("미분류")},
      {"a transfer has no sub-category", [](InOutCome& r) {
         r.Do_Type = "3", r.toAssetUid = "WON2", r.categoryUid = "LUNCH";
       }, 3, none},
      {"an older adjustment names its other account, none here",
       [](InOutCome& r) { r.Do_Type = "6", r.categoryUid = "-4"; }, 2, none},
      {"an older adjustment has its label", [](InOutCome& r) { r.Do_Type = "6"; }, 6, text("잔액 조정")},
      {"an unknown kind has no label", [](InOutCome& r) { r.Do_Type = "5"; }, 6, none},
      {"an infinite amount leaves its cell empty", [&](InOutCome& r) { r.amount = inf; }, 5, none},
      {"a missing account amount leaves its cell empty", [](InOutCome& r) { r.amountAccount.reset(); }, 10, none},
      {"a negative amount keeps its sign", [](InOutCome& r) { r.amountSub = -1234; }, 8, money(-1234, 0)},
  };
  // One row per case, an hour apart, in case order: the first has no date
  // and the second lies in 1850, so they sort first as well.
  for (size_t i = 0; i < cases.size(); ++i) {
    InOutCome r = stored("1", "WON", 100, when(12, 1) + 3600.0 * static_cast<double>(i));
    r.categoryUid = "FOOD";
    r.Content = "row";
    cases[i].change(r);
    put(r);
  }
  const json rows = exported(std::nullopt, std::nullopt)["rows"];
  ASSERT_EQ(rows.size(), cases.size() + 1);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(rows[i + 1][static_cast<size_t>(cases[i].column)], cases[i].cell);
  }
}

TEST_F(XlsxExportTest, TimesAroundDaylightSavingChangesAreTheLocalTimes) {
  // Days of 23 and 25 hours, and the ordinary days around them.
  testing::TestLedgerOptions options;
  options.tz = "America/New_York";
  reopen(options);
  setTimeType(3);
  const DateUtil& dates = ledger_->env().dates();
  const double instants[] = {
      dates.fromLocal(2026, 3, 7, 23, 30),     dates.fromLocal(2026, 3, 8, 1, 30),
      dates.fromLocal(2026, 3, 8, 3, 30),      dates.fromLocal(2026, 3, 8, 23, 59, 59),
      dates.fromLocal(2026, 3, 9, 0, 0, 1),    dates.fromLocal(2026, 11, 1, 0, 30),
      dates.fromLocal(2026, 11, 1, 1, 30),     dates.fromLocal(2026, 11, 1, 1, 30) + 3600,
      dates.fromLocal(2026, 11, 1, 2, 30),     dates.fromLocal(2026, 11, 2, 12, 0, 7),
  };
  for (double at : instants) put(stored("1", "WON", 1, at));
  const json rows = exported(std::nullopt, std::nullopt)["rows"];
  ASSERT_EQ(rows.size(), std::size(instants) + 1);
  for (size_t i = 0; i < std::size(instants); ++i) {
    const LocalDateTime t = dates.toLocal(instants[i]);
    const std::string iso = fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}", t.year, t.month, t.day, t.hour,
                                        t.minute, t.second);
    EXPECT_EQ(rows[i + 1][0]["value"], iso) << "row " << i + 1;
  }
}

TEST_F(XlsxExportTest, RowsAreReadWithoutLeavingTheLimitsOfThePeriod) {
  // Only the bound that is given limits the rows.
  saved(entry(kModeExpense, "WON", 1, when(1, 1), "early"));
  saved(entry(kModeExpense, "WON", 2, when(12, 20), "late"));
  struct Case {
    std::optional<double> from, to;
    std::vector<std::string> contents;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt, {"early", "late"}},
      {when(6, 1), std::nullopt, {"late"}},
      {std::nullopt, when(6, 1), {"early"}},
      {when(12, 20), when(12, 20), {"late"}},
  };
  for (const Case& k : cases) {
    std::vector<std::string> contents;
    forEachExcelRow(*ledger_, k.from, k.to, [&](const ExcelRow& r) {
      contents.emplace_back(r.content);
      return true;
    });
    EXPECT_EQ(contents, k.contents);
  }
}

TEST_F(XlsxExportTest, FailuresLeaveNoFileBehind) {
  saved(entry(kModeExpense, "WON", 1, when(12, 1), "one"));
  const auto folder = dir_.path() / "out";
  std::filesystem::create_directories(folder / "taken.xlsx");
  // A folder that does not exist, a name that is a folder.
  for (const auto& target : {folder / "missing" / "book.xlsx", folder / "taken.xlsx"}) {
    SCOPED_TRACE(target.string());
    Result<int64_t> written = getExcelData(*ledger_, std::nullopt, std::nullopt, target);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.status().code(), StatusCode::kSystemFailure);
    EXPECT_NE(written.status().message().find(target.string()), std::string::npos) << written.status().message();
    EXPECT_EQ(folderEntries(folder), std::vector<std::string>{"taken.xlsx"});
    EXPECT_TRUE(std::filesystem::is_directory(folder / "taken.xlsx"));
  }
  // A ledger that cannot be read: the earlier workbook stays as it was.
  const auto earlier = folder / "book.xlsx";
  ASSERT_TRUE(getExcelData(*ledger_, std::nullopt, std::nullopt, earlier));
  const std::string before = slurp(earlier);
  ledger_->store().db().exec("ALTER TABLE ZINOUTCOME RENAME COLUMN ZMEMO TO ZMEMO_GONE");
  EXPECT_THROW((void)getExcelData(*ledger_, std::nullopt, std::nullopt, earlier), StoreError);
  EXPECT_EQ(slurp(earlier), before);
  EXPECT_EQ(folderEntries(folder), (std::vector<std::string>{"book.xlsx", "taken.xlsx"}));
}

TEST_F(XlsxExportTest, SuccessReplacesTheFileAtTheName) {
  const auto target = dir_.path() / "book.xlsx";
  { std::ofstream(target) << "an older file"; }
  saved(entry(kModeExpense, "WON", 1, when(12, 1), "one"));
  Result<int64_t> written = getExcelData(*ledger_, when(12, 1), when(12, 1), target);
  ASSERT_TRUE(written);
  EXPECT_EQ(*written, 1);
  EXPECT_EQ(testing::readWorkbook(target)["rows"][1][4], text("one"));
  EXPECT_EQ(folderEntries(dir_.path()), (std::vector<std::string>{"book.xlsx", "home"}));
}

struct PatternCase {
  const char* pattern;
  const char* format;
};

TEST(ExcelDateFormat, PatternLettersBecomeFormatCodesAndTheRestStaysLiteral) {
  const PatternCase cases[] = {
      {"MM/dd/yyyy, HH:mm:ss", R"(mm"/"dd"/"yyyy"," hh:mm:ss)"},
      {"yyyy. MM. dd.", R"(yyyy"." mm"." dd".")"},
      {"d.M.yy H:mm", R"(d"."m"."yy h:mm)"},
      {"h:mm:ss a", "h:mm:ss AM/PM"},
      {"EEEE, d 'de' MMMM 'de' y", R"(dddd"," d "de" mmmm "de" yyyy)"},
      {"EEE MMM d", "ddd mmm d"},
      {"'o''clock' HH", R"("o'clock" hh)"},
      {"yyyy-MM-dd HH:mm:ss zzzz", R"(yyyy"-"mm"-"dd hh:mm:ss)"},
      {"G y年M月d日", R"(yyyy"年"m"月"d"日")"},
      {"'say' \"'hi'\" d", R"("say" \""hi"\" d)"},
      {"HH:mm:ss.SSS", R"(hh:mm:ss".")"},
  };
  for (const auto& k : cases) EXPECT_EQ(excelFormatOfDatePattern(k.pattern), k.format) << k.pattern;
}

TEST(ExcelDateFormat, LocalesGiveTheirOwnOrderAndSeparators) {
  struct Case {
    const char* locale;
    bool withTime;
    const char* format;
  };
  const Case cases[] = {
      {"en_US", false, R"(mm"/"dd"/"yyyy)"},
      {"en_US", true, R"(mm"/"dd"/"yyyy"," hh:mm:ss)"},
      {"ko_KR", false, kKoreanDate},
      {"ko_KR", true, kKoreanDateTime},
      {"de_DE", false, R"(dd"."mm"."yyyy)"},
      // Gregorian years even where the locale's own calendar counts others.
      {"th_TH", false, R"(dd"/"mm"/"yyyy)"},
  };
  for (const auto& k : cases) EXPECT_EQ(excelDateFormat(k.locale, k.withTime), k.format) << k.locale;
}

TEST(ExcelDownloadName, NamesTheBookOrAnAccountAndTheDatesAsGiven) {
  EXPECT_EQ(excelDownloadName(false, "2026-12-01", "2026-12-31"), "CASHBOOK_2026-12-01~2026-12-31.xlsx");
  EXPECT_EQ(excelDownloadName(true, "2026-12-01", "2026-12-31"), "Account_2026-12-01~2026-12-31.xlsx");
}

}  // namespace
}  // namespace varnel
