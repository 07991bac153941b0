#include <fstream>
#include <sstream>

#include <unicode/ucnv.h>

#include "ledger/asset_repository.h"
#include "ledger/category_repository.h"
#include "ledger/text_import.h"
#include "model/errors.h"
#include "tests/ledger/transaction_test_fixture.h"

namespace varnel::testing {
namespace {

// Fields: date, account, category (the other account of a transfer),
// sub-category, content, main amount, kind, memo, amount, currency, amount in
// the account's currency.
constexpr const char* kHeader = "Date\tAccount\tCategory\tSub\tContent\tAmount\tKind\tMemo\tSub amount\tCurrency\tAccount amount";

std::string tsv(const std::vector<std::string>& fields) {
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i ? "\t" : "") + fields[i];
  return line;
}

std::string fileText(const std::vector<std::string>& lines, const std::string& ending = "\n") {
  std::string text = kHeader;
  for (const auto& l : lines) text += ending + l;
  return text;
}

// `utf8` in another encoding, converted by ICU itself.
std::string converted(const std::string& utf8, const char* encoding) {
  UErrorCode status = U_ZERO_ERROR;
  std::string out(utf8.size() * 4 + 16, '\0');
  const int32_t n = ucnv_convert(encoding, "UTF-8", out.data(), static_cast<int32_t>(out.size()), utf8.data(),
                                 static_cast<int32_t>(utf8.size()), &status);
  if (U_FAILURE(status)) throw std::runtime_error(std::string("cannot convert to ") + encoding);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class TextImportTest : public TransactionTest {
 protected:
  void SetUp() override {
    TransactionTest::SetUp();
    addAccount("CASH", "현금", "KRW_KRW");
    addCategory("MEAL", "식비", 1);
    addCategory("SNACK", "간식", 1, "MEAL");
    ledger_->commonData().ReloadTheData();
  }

  std::filesystem::path write(const std::string& name, const std::string& bytes) {
    const auto path = dir_.path() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  TextImport importer(ImportDateOrder order = ImportDateOrder::kYearMonthDay) { return TextImport(*ledger_, order); }

  std::vector<std::string> menuIds(const RecoveryData& line) {
    std::vector<std::string> ids;
    for (const auto& p : line.problems) ids.push_back(p.menuId);
    return ids;
  }

  int64_t accountCount() { return count("SELECT COUNT(*) FROM ZASSET"); }
  int64_t categoryCount() { return count("SELECT COUNT(*) FROM ZCATEGORY"); }
  int64_t rowCount() { return count("SELECT COUNT(*) FROM ZINOUTCOME"); }

  std::vector<std::filesystem::path> filesInDir() {
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
      if (e.is_regular_file()) out.push_back(e.path().filename());
    }
    std::sort(out.begin(), out.end());
    return out;
  }
};

// --- Dates -----------------------------------------------------------------------

TEST(ImportDate, ReadsEachOrderAndRefusesWhatIsNoDay) {
  using O = ImportDateOrder;
  struct Case {
    const char* text;
    O order;
    std::optional<ImportDay> day;
  };
  const std::vector<Case> cases = {
      {"24/03/05", O::kYearMonthDay, ImportDay{2024, 3, 5}},
      {"05-03-99", O::kDayMonthYear, ImportDay{1999, 3, 5}},
      {"2024.05.03", O::kYearDayMonth, ImportDay{2024, 3, 5}},
      {"03/05/2024", O::kMonthDayYear, ImportDay{2024, 3, 5}},
      {"69-12-31", O::kYearMonthDay, ImportDay{2069, 12, 31}},
      {"70-01-01", O::kYearMonthDay, ImportDay{1970, 1, 1}},
      {" 2024-3-5 ", O::kYearMonthDay, ImportDay{2024, 3, 5}},
      {"2024%2F03%2F05", O::kYearMonthDay, ImportDay{2024, 3, 5}},
      {"20240305", O::kYearMonthDay, ImportDay{2024, 3, 5}},
      {"05032024", O::kDayMonthYear, ImportDay{2024, 3, 5}},
      {"2024-02-29", O::kYearMonthDay, ImportDay{2024, 2, 29}},
      // Not a day of the calendar in the order chosen.
      {"2023-02-29", O::kYearMonthDay, std::nullopt},
      {"1900-02-29", O::kYearMonthDay, std::nullopt},
      {"2024-13-01", O::kYearMonthDay, std::nullopt},
      {"2024-00-10", O::kYearMonthDay, std::nullopt},
      {"31/04/2024", O::kDayMonthYear, std::nullopt},
      {"2024-03-05", O::kDayMonthYear, std::nullopt},
      {"03/25/2024", O::kDayMonthYear, std::nullopt},
      {"2024.25.03", O::kYearMonthDay, std::nullopt},
      // Not three parts of a date.
      {"2024-03", O::kYearMonthDay, std::nullopt},
      {"2024-03-05-01", O::kYearMonthDay, std::nullopt},
      {"024-03-05", O::kYearMonthDay, std::nullopt},
      {"2024-003-05", O::kYearMonthDay, std::nullopt},
      {"1850-01-01", O::kYearMonthDay, std::nullopt},
      {"2024-03-05 10:00", O::kYearMonthDay, std::nullopt},
      {"yesterday", O::kYearMonthDay, std::nullopt},
      {"", O::kYearMonthDay, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " as " + importDateOrderName(c.order));
    EXPECT_EQ(readImportDate(c.text, c.order), c.day);
  }
}

TEST(ImportDate, NamesTheFourOrdersOnly) {
  for (const char* name : {"yyyyMMdd", "yyyyddMM", "ddMMyyyy", "MMddyyyy"}) {
    EXPECT_EQ(importDateOrderName(importDateOrder(name)), name);
  }
  EXPECT_THROW(importDateOrder("dd.MM.yyyy"), InputError);
}

TEST_F(TextImportTest, ALineIsDatedAtTheLocalMidnightOfItsDay) {
  ImportFile f = importer(ImportDateOrder::kDayMonthYear)
                     .parse(fileText({tsv({"05-03-99", "Won", "Food", "", "x", "1", "Expense"})}));
  ASSERT_EQ(f.lines.size(), 1u);
  EXPECT_EQ(f.lines[0].intDate, 19990305);
  EXPECT_EQ(f.lines[0].date, ledger_->env().dates().fromLocal(1999, 3, 5));
}

// --- Kinds and amounts ------------------------------------------------------------

TEST_F(TextImportTest, ReadsTheKindTextsInTheLanguageAndInEnglish) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"수입", 0}, {"Income", 0}, {" Income ", 0}, {"지출", 1}, {"Expenses", 1}, {"Expense", 1},
      {"이체출금", 2}, {"Transfer out", 2}, {"Transfer-Out", 2}, {"이체입금", 4}, {"Transfer in", 4},
      {"Transfer-In", 4}, {"income", -1}, {"Transfer", -1}, {"", -1},
  };
  const TextImport import = importer();
  for (const auto& [text, kind] : cases) EXPECT_EQ(import.getDoType(text), kind) << text;
}

TEST_F(TextImportTest, ReadsAmountsWithTheLocalesSeparators) {
  struct Case {
    const char* locale;
    const char* text;
    std::optional<double> value;
  };
  const std::vector<Case> cases = {
      {"ko_KR", "12,000", 12000},     {"ko_KR", "1,234.5", 1234.5}, {"ko_KR", " 12000\r", 12000},
      {"ko_KR", "-3,000", -3000},     {"ko_KR", "1 234", 1234},     {"ko_KR", "abc", std::nullopt},
      {"ko_KR", "", std::nullopt},    {"ko_KR", "12.000.5", std::nullopt},
      {"ko_KR", "1e16", std::nullopt},  // beyond what the ledger keeps to the cent
      {"de_DE", "1.234,5", 1234.5},   {"de_DE", "12,5", 12.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " '" + c.text + "'");
    TestLedgerOptions o;
    o.locale = c.locale;
    reopen(o);
    EXPECT_EQ(importer().readAmount(c.text), c.value);
  }
}

// --- Problems ---------------------------------------------------------------------------

TEST_F(TextImportTest, MarksEachProblemKindWithItsText) {
  struct Case {
    const char* name;
    std::vector<std::string> fields;
    std::vector<std::string> menuIds;
    std::string firstText;
  };
  const std::vector<Case> cases = {
      {"a good expense", {"2024-03-05", "Won", "Food", "Lunch", "soup", "12,000", "Expense"}, {}, ""},
      {"a good transfer", {"2024-03-05", "Won", "Dollar", "", "", "13000", "Transfer out"}, {}, ""},
      {"a date that is no day", {"2024-13-01", "Won", "Food", "", "", "1", "Expense"}, {"1"},
       "날짜를 읽을 수 없습니다 : 2024-13-01"},
      {"an unknown kind", {"2024-03-05", "Won", "Food", "", "", "1", "Gift"}, {"2"},
       "Only [수입], [지출], [이체출금]"},
      {"a category of the other kind", {"2024-03-05", "Won", "Salary", "", "", "1", "Expense"}, {"3"},
       "'Salary' 분류가 없습니다."},
      {"an unknown account", {"2024-03-05", " Nowhere ", "Food", "", "", "1", "Expense"}, {"4"},
       "'Nowhere' 자산이 없습니다."},
      {"an unknown receiving account", {"2024-03-05", "Won", "Elsewhere", "", "", "1", "Transfer out"}, {"4"},
       "'Elsewhere' 자산이 없습니다."},
      {"an unknown sub-category", {"2024-03-05", "Won", "Food", "Dinner", "", "1", "Expense"}, {"5"},
       "Dinner - 하위 분류 없음."},
      {"an unknown currency",
       {"2024-03-05", "Won", "Food", "", "", "1", "Expense", "", "1", "GBP"}, {"9"}, "GBP - No currency."},
      {"an amount that is not one", {"2024-03-05", "Won", "Food", "", "", "twelve", "Expense"}, {"10"},
       "금액을 읽을 수 없습니다 : twelve"},
      {"a transfer to its own account", {"2024-03-05", "Won", "Won", "", "", "1", "Transfer out"}, {"11"},
       "a transfer needs two different accounts"},
      {"every problem of the line", {"99-99-99", "Nowhere", "Food", "", "", "", "Gift"}, {"1", "4", "2", "10"},
       "날짜를 읽을 수 없습니다 : 99-99-99"},
      {"a line too short for a kind", {"2024-03-05", "Won"}, {"2", "10"}, "Only [수입], [지출], [이체출금]"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ImportFile f = importer().parse(fileText({tsv(c.fields)}));
    ASSERT_EQ(f.lines.size(), 1u);
    EXPECT_EQ(menuIds(f.lines[0]), c.menuIds);
    if (!c.menuIds.empty()) {
      EXPECT_EQ(f.lines[0].problems[0].text, c.firstText);
    }
  }
}

TEST_F(TextImportTest, ResolvesTheFieldsOfAGoodLine) {
  ImportFile f = importer().parse(fileText({
      tsv({"2024-03-05", "Won", "\"Food\"", "Lunch", " soup ", "3,251", "지출", " hot ", "2.5", "USD"}),
      tsv({"2024-03-06", "Dollar", "Won", "ignored", "", "13000", "Transfer in", "", "10", "USD"}),
  }));
  ASSERT_EQ(f.lines.size(), 2u);
  const RecoveryData& expense = f.lines[0];
  EXPECT_TRUE(expense.isGood());
  EXPECT_EQ(expense.lineNumber, 2);
  EXPECT_EQ(expense.assetUid, "WON");
  EXPECT_EQ(expense.categoryUid, "LUNCH");
  EXPECT_EQ(expense.currency, "USD");
  EXPECT_EQ(expense.currencyUid, "KRW_USD");
  EXPECT_EQ(expense.content, "soup");
  EXPECT_EQ(expense.memo, "hot");
  EXPECT_EQ(expense.amount, 3251);
  EXPECT_EQ(expense.amountSub, 2.5);
  EXPECT_EQ(expense.amountAccount, std::nullopt);  // computed when saved
  EXPECT_EQ(expense.recoverStr, tsv({"2024-03-05", "Won", "Food", "Lunch", " soup ", "3,251", "지출", " hot ", "2.5",
                                     "USD"}));
  const RecoveryData& receiving = f.lines[1];
  EXPECT_TRUE(receiving.isGood());
  EXPECT_EQ(receiving.doTypeInt, kImportTransferIn);
  EXPECT_EQ(receiving.categoryUid, "WON");
  // In its own account's currency, a line's amount is the account's amount.
  EXPECT_EQ(receiving.amountAccount, 10);
  EXPECT_EQ(f.title, "새 내역(2)");
}

// --- Saving ------------------------------------------------------------------------------

TEST_F(TextImportTest, SavesTheGoodLinesAndLeavesTheOthersInTheFile) {
  const std::string stays1 = tsv({"2024-03-05", "Nowhere", "Food", "", "\"quoted\"", "1", "Expense"});
  const std::string stays2 = tsv({"2024-02-30", "Won", "Food", "", "", "1", "Expense"});
  const auto path = write("in.tsv", fileText({
                                        tsv({"2024-03-05", "Won", "Food", "Lunch", " soup ", "12,000", "Expense",
                                             " hot "}),
                                        stays1,
                                        "",
                                        tsv({"2024-03-06", "Won", "Salary", "", "pay", "2,000,000", "Income"}),
                                        stays2,
                                        tsv({"2024-03-07", "Dollar", "Food", "", "", "2600", "Expense", "", "2",
                                             "USD"}),
                                    }) + "\n");
  TextImport import = importer();
  ImportFile f = import.read(path);
  const int64_t before = rowCount();
  const ImportSaveResult r = import.save(f, false);
  ASSERT_TRUE(r.ok()) << r.status.message();
  EXPECT_EQ(r.saved, 3);
  EXPECT_EQ(r.left, 2);
  EXPECT_EQ(r.savedLines, (std::vector<int>{2, 5, 7}));
  EXPECT_EQ(rowCount(), before + 3);
  // The header and the lines left, as they were written, with the final line break the file had.
  EXPECT_EQ(slurp(path), fileText({stays1, stays2}) + "\n");
  ASSERT_EQ(f.lines.size(), 2u);
  EXPECT_EQ(f.lines[0].lineNumber, 2);
  EXPECT_EQ(f.lines[1].lineNumber, 3);

  ASSERT_EQ(r.records.size(), 3u);
  const InOutCome lunch = load(r.records[0].uid);
  EXPECT_EQ(lunch.Do_Type, "1");
  EXPECT_EQ(lunch.assetUid, "WON");
  EXPECT_EQ(lunch.categoryUid, "LUNCH");
  EXPECT_EQ(lunch.Content, "soup");
  EXPECT_EQ(lunch.memo, "hot");
  EXPECT_EQ(lunch.txDateStr, "2024-03-05");
  EXPECT_EQ(lunch.Date, ledger_->env().dates().fromLocal(2024, 3, 5));
  EXPECT_DOUBLE_EQ(*lunch.amount, 12000);
  EXPECT_DOUBLE_EQ(*lunch.amountSub, 12000);
  EXPECT_DOUBLE_EQ(*lunch.amountAccount, 12000);
  const InOutCome pay = load(r.records[1].uid);
  EXPECT_EQ(pay.Do_Type, "0");
  EXPECT_DOUBLE_EQ(*pay.amount, 2000000);
  // Two dollars on the dollar account: the amount in the main currency as the file gives it.
  const InOutCome dollars = load(r.records[2].uid);
  EXPECT_EQ(dollars.currencyUid, "KRW_USD");
  EXPECT_DOUBLE_EQ(*dollars.amountSub, 2);
  EXPECT_DOUBLE_EQ(*dollars.amount, 2600);
  EXPECT_DOUBLE_EQ(*dollars.amountAccount, 2);
}

TEST_F(TextImportTest, ALineOfNineFieldsIsInTheMainCurrencyEverywhere) {
  const auto path = write("nine.tsv", fileText({tsv({"2024-03-05", "Won", "Food", "", "x", "5000", "Expense", "m",
                                                     "777"})}));
  TextImport import = importer();
  ImportFile f = import.read(path);
  const ImportSaveResult r = import.save(f, false);
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.records.size(), 1u);
  const InOutCome saved = load(r.records[0].uid);
  EXPECT_EQ(saved.currencyUid, "KRW_KRW");
  EXPECT_DOUBLE_EQ(*saved.amountSub, 5000);
  EXPECT_DOUBLE_EQ(*saved.amount, 5000);
  EXPECT_DOUBLE_EQ(*saved.amountAccount, 5000);
}

TEST_F(TextImportTest, KeepsWindowsLineEndingsAndReadsTheLastFieldWithoutThem) {
  const std::string stays = tsv({"2024-03-05", "Nowhere", "Food", "", "", "1", "Expense"});
  const auto path = write("crlf.tsv", fileText({tsv({"2024-03-05", "Won", "Food", "", "", "1", "Expense"}), stays},
                                               "\r\n") + "\r\n");
  TextImport import = importer();
  ImportFile f = import.read(path);
  EXPECT_EQ(f.encoding.lineEnding, "\r\n");
  ASSERT_TRUE(f.lines[0].isGood());
  const ImportSaveResult r = import.save(f, false);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.saved, 1);
  EXPECT_EQ(slurp(path), fileText({stays}, "\r\n") + "\r\n");
}

TEST_F(TextImportTest, SavesATransferFromItsSendingLineWithTheReceivingAmountFromItsPair) {
  const std::string loneReceiving = tsv({"2024-03-09", "Yen", "Won", "", "gift", "900", "Transfer in"});
  const auto path = write(
      "transfers.tsv",
      fileText({
          // Its pair gives the dollars in the dollar account's currency.
          tsv({"2024-03-05", "Won", "Dollar", "", "to dollars", "13000", "Transfer out", "trip"}),
          tsv({"2024-03-05", "Dollar", "Won", "", "to dollars", "13000", "Transfer in", "trip", "9.95", "USD"}),
          // Its pair names the amount in the account's currency outright.
          tsv({"2024-03-06", "Won", "Yen", "", "to yen", "9000", "Transfer out"}),
          tsv({"2024-03-06", "Yen", "Won", "", "to yen", "9000", "Transfer in", "", "", "", "1010"}),
          // No pair: the receiving amount is converted.
          tsv({"2024-03-07", "Won", "Dollar", "", "again", "13000", "Transfer out"}),
          // A pair on another day is no pair.
          tsv({"2024-03-08", "Dollar", "Won", "", "again", "13000", "Transfer in"}),
          // A receiving line is never saved on its own.
          loneReceiving,
      }));
  TextImport import = importer();
  ImportFile f = import.read(path);
  const int64_t before = rowCount();
  const ImportSaveResult r = import.save(f, false);
  ASSERT_TRUE(r.ok()) << r.status.message();
  EXPECT_EQ(r.saved, 3);
  EXPECT_EQ(r.savedLines, (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(rowCount(), before + 6);
  ASSERT_EQ(r.records.size(), 6u);

  struct Side {
    std::string kind, account, toAccount;
    double amount, amountAccount;
  };
  const std::vector<Side> sides = {
      {"3", "WON", "DOLLAR", 13000, 13000}, {"4", "DOLLAR", "WON", 13000, 9.95},
      {"3", "WON", "YEN", 9000, 9000},      {"4", "YEN", "WON", 9000, 1010},
      {"3", "WON", "DOLLAR", 13000, 13000}, {"4", "DOLLAR", "WON", 13000, 10},
  };
  for (size_t i = 0; i < sides.size(); ++i) {
    SCOPED_TRACE(i);
    const InOutCome stored = load(r.records[i].uid);
    EXPECT_EQ(stored.Do_Type, sides[i].kind);
    EXPECT_EQ(stored.assetUid, sides[i].account);
    EXPECT_EQ(stored.toAssetUid, sides[i].toAccount);
    EXPECT_DOUBLE_EQ(*stored.amount, sides[i].amount);
    EXPECT_DOUBLE_EQ(*stored.amountAccount, sides[i].amountAccount);
    EXPECT_EQ(stored.txUidTrans, r.records[i - i % 2].txUidTrans);
  }
  EXPECT_EQ(slurp(path),
            fileText({tsv({"2024-03-08", "Dollar", "Won", "", "again", "13000", "Transfer in"}), loneReceiving}));
}

TEST_F(TextImportTest, AddsMissingAccountsAndCategoriesOnlyWhenAsked) {
  const std::string line = tsv({"2024-03-05", "지갑", "여행", "숙박", "hotel", "50,000", "지출"});
  const std::string transfer = tsv({"2024-03-05", "지갑", "비상금", "", "", "1000", "이체출금"});
  const auto path = write("missing.tsv", fileText({line, transfer}));
  TextImport import = importer();
  ImportFile f = import.read(path);
  EXPECT_EQ(menuIds(f.lines[0]), (std::vector<std::string>{"4", "3"}));
  EXPECT_EQ(menuIds(f.lines[1]), (std::vector<std::string>{"4", "4"}));

  const int64_t accounts = accountCount(), categories = categoryCount(), rows = rowCount();
  ImportSaveResult without = import.save(f, false);
  ASSERT_TRUE(without.ok());
  EXPECT_EQ(without.saved, 0);
  EXPECT_EQ(accountCount(), accounts);
  EXPECT_EQ(categoryCount(), categories);
  EXPECT_EQ(rowCount(), rows);
  EXPECT_EQ(slurp(path), fileText({line, transfer}));

  ImportSaveResult with = import.save(f, true);
  ASSERT_TRUE(with.ok()) << with.status.message();
  EXPECT_EQ(with.saved, 2);
  ASSERT_EQ(with.addedAccounts.size(), 2u);
  EXPECT_EQ(with.addedAccounts[0].NicName, "지갑");
  EXPECT_EQ(with.addedAccounts[1].NicName, "비상금");
  for (const Asset& a : with.addedAccounts) {
    EXPECT_EQ(a.groupUid, "1");
    EXPECT_EQ(a.currencyUid, "KRW_KRW");
  }
  ASSERT_EQ(with.addedCategories.size(), 2u);
  EXPECT_EQ(with.addedCategories[0].Name, "여행");
  EXPECT_EQ(with.addedCategories[0].doType, 1);
  EXPECT_EQ(with.addedCategories[1].Name, "숙박");
  EXPECT_EQ(with.addedCategories[1].pUid, with.addedCategories[0].uid);
  EXPECT_EQ(load(with.records[0].uid).categoryUid, with.addedCategories[1].uid);
  EXPECT_EQ(load(with.records[0].uid).assetUid, with.addedAccounts[0].uid);
  EXPECT_EQ(slurp(path), kHeader);
}

TEST_F(TextImportTest, AStoreFailureMidwayLeavesTheLedgerAndTheFileAsTheyWere) {
  const std::string original = fileText({
      tsv({"2024-03-05", "Won", "Food", "", "first", "1", "Expense"}),
      tsv({"2024-03-05", "Won", "Dollar", "", "", "13000", "Transfer out"}),
      tsv({"2024-03-05", "새 통장", "New", "", "boom", "1", "Expense"}),
      tsv({"2024-03-05", "Won", "Food", "", "last", "1", "Expense"}),
  });
  const auto path = write("fails.tsv", original);
  ledger_->store().db().exec(
      "CREATE TRIGGER refuse BEFORE INSERT ON ZINOUTCOME WHEN NEW.ZCONTENT = 'boom' "
      "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END");
  const auto filesBefore = filesInDir();
  const int64_t accounts = accountCount(), categories = categoryCount(), rows = rowCount();

  TextImport import = importer();
  ImportFile f = import.read(path);
  const ImportFile unchanged = f;
  const ImportSaveResult r = import.save(f, true);
  EXPECT_FALSE(r.ok());
  EXPECT_NE(r.status.message().find("refused by the test"), std::string::npos) << r.status.message();
  EXPECT_EQ(rowCount(), rows);
  EXPECT_EQ(accountCount(), accounts);
  EXPECT_EQ(categoryCount(), categories);
  // Nor do the caches keep what the transaction added on the way.
  EXPECT_FALSE(ledger_->commonData().getAssetByName("새 통장"));
  EXPECT_FALSE(ledger_->commonData().getCategoryByName("New", 1));
  EXPECT_EQ(slurp(path), original);
  EXPECT_EQ(filesInDir(), filesBefore);
  EXPECT_EQ(f.lines.size(), unchanged.lines.size());
  EXPECT_EQ(menuIds(f.lines[2]), menuIds(unchanged.lines[2]));
}

TEST_F(TextImportTest, ALineTheSaveRefusesStaysInTheFileAndTheOthersAreSaved) {
  // In an account whose currency is worth a thousandth of a won, beyond what
  // the ledger keeps to the cent: the save refuses it.
  addCurrency("KRW_MIL", "MIL", 0.001, 0, false);
  addAccount("MIL", "Mil", "KRW_MIL");
  ledger_->commonData().ReloadTheData();
  const std::string refused = tsv({"2024-03-05", "Mil", "Food", "", "", "900,000,000,000,000", "Expense"});
  const auto path = write("refused.tsv", fileText({refused, tsv({"2024-03-05", "Won", "Food", "", "", "1",
                                                                 "Expense"})}));
  TextImport import = importer();
  ImportFile f = import.read(path);
  ASSERT_TRUE(f.lines[0].isGood());
  const ImportSaveResult r = import.save(f, false);
  ASSERT_TRUE(r.ok()) << r.status.message();
  EXPECT_EQ(r.saved, 1);
  ASSERT_EQ(f.lines.size(), 1u);
  EXPECT_EQ(menuIds(f.lines[0]), (std::vector<std::string>{"11"}));
  EXPECT_EQ(slurp(path), fileText({refused}));
}

// --- Encodings -----------------------------------------------------------------------

// Files a user saved from LibreOffice Calc (Text CSV, tab-separated, no
// quoting) in three encodings: the same sheet, so the same import.
TEST_F(TextImportTest, FilesSavedByLibreOfficeImportAlikeInEveryEncoding) {
  const std::filesystem::path fixtures = std::filesystem::path(VARNEL_TEST_SOURCE_DIR) / "ledger" / "fixtures";
  const struct {
    const char* file;
    const char* encoding;  // as the user names it
    const char* icuName;   // to read the rewritten file back
  } cases[] = {
      {"libreoffice-utf8.tsv", "UTF-8", "UTF-8"},
      {"libreoffice-euc-kr.tsv", "EUC-KR", "EUC-KR"},
      {"libreoffice-utf16.tsv", "UTF-16", "UTF-16"},
  };
  const auto toUtf8 = [](const std::string& bytes, const char* encoding) {
    UErrorCode status = U_ZERO_ERROR;
    std::string out(bytes.size() * 3 + 16, '\0');
    const int32_t n = ucnv_convert("UTF-8", encoding, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                                   static_cast<int32_t>(bytes.size()), &status);
    if (U_FAILURE(status)) throw std::runtime_error(std::string("cannot convert from ") + encoding);
    out.resize(static_cast<size_t>(n));
    return out;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string original = slurp(fixtures / c.file);
    ASSERT_FALSE(original.empty());
    const auto path = write(c.file, original);
    TextImport import = importer();
    ImportFile f = import.read(path, c.encoding);
    ASSERT_EQ(f.lines.size(), 2u);
    EXPECT_EQ(f.header, "날짜\t자산\t분류\t소분류\t내용\t금액\t수입/지출\t메모");
    EXPECT_TRUE(f.lines[0].isGood());
    EXPECT_EQ(menuIds(f.lines[1]), (std::vector<std::string>{"4"}));  // no account 지갑

    const ImportSaveResult r = import.save(f, false);
    ASSERT_TRUE(r.ok()) << r.status.message();
    ASSERT_EQ(r.records.size(), 1u);
    const InOutCome s = load(r.records[0].uid);
    const std::vector<std::string> saved = {*s.assetUid, *s.categoryUid, *s.Content, *s.memo, *s.txDateStr,
                                            std::to_string(*s.amount)};
    EXPECT_EQ(saved, (std::vector<std::string>{"CASH", "SNACK", "떡볶이", "학교 앞", "2024-03-05", "4500.000000"}));
    // What stays is the unsaved line, in the file's own encoding.
    const std::string rewritten = slurp(path);
    EXPECT_EQ(toUtf8(rewritten, c.icuName), "날짜\t자산\t분류\t소분류\t내용\t금액\t수입/지출\t메모\n"
                                              "2024/03/06\t지갑\t식비\t\t라면\t3000\t지출\t밤에\n");
    EXPECT_EQ(rewritten.substr(0, 2), original.substr(0, 2));  // a byte-order mark stays
  }
}


TEST_F(TextImportTest, TheSameFileImportsAlikeInUtf8EucKrAndUtf16) {
  const std::string stays = tsv({"2024-03-05", "현금", "식비", "야식", "라면", "3,000", "지출", "밤에"});
  const std::string text = fileText({tsv({"2024-03-05", "현금", "식비", "간식", "떡볶이", "4,500", "지출", "학교 앞"}),
                                     stays});
  struct Case {
    const char* name;
    std::string bytes;
    std::string encoding;  // as given
    std::string expectRewrite;
  };
  const std::string bom = "\xFF\xFE";
  const std::vector<Case> cases = {
      {"UTF-8", text, "", fileText({stays})},
      {"UTF-8 with its mark", "\xEF\xBB\xBF" + text, "UTF-8", "\xEF\xBB\xBF" + fileText({stays})},
      {"EUC-KR", converted(text, "EUC-KR"), "EUC-KR", converted(fileText({stays}), "EUC-KR")},
      {"CP949", converted(text, "windows-949-2000"), "CP949", converted(fileText({stays}), "windows-949-2000")},
      {"UTF-16 with its mark, found", bom + converted(text, "UTF-16LE"), "",
       bom + converted(fileText({stays}), "UTF-16LE")},
      {"UTF-16 with its mark, named", bom + converted(text, "UTF-16LE"), "UTF-16",
       bom + converted(fileText({stays}), "UTF-16LE")},
  };
  std::optional<std::vector<std::string>> firstSaved;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = write(std::string(c.name) + ".tsv", c.bytes);
    TextImport import = importer();
    ImportFile f = import.read(path, c.encoding);
    ASSERT_EQ(f.lines.size(), 2u);
    EXPECT_EQ(f.header, kHeader);
    EXPECT_TRUE(f.lines[0].isGood());
    EXPECT_EQ(f.lines[0].categoryUid, "SNACK");
    EXPECT_EQ(f.lines[0].memo, "학교 앞");
    EXPECT_EQ(f.lines[1].recoverStrOrg, stays);
    EXPECT_EQ(menuIds(f.lines[1]), (std::vector<std::string>{"5"}));

    const ImportSaveResult r = import.save(f, false);
    ASSERT_TRUE(r.ok()) << r.status.message();
    ASSERT_EQ(r.records.size(), 1u);
    const InOutCome s = load(r.records[0].uid);
    const std::vector<std::string> saved = {*s.assetUid, *s.categoryUid, *s.Content, *s.memo, *s.txDateStr,
                                            std::to_string(*s.amount)};
    if (!firstSaved) firstSaved = saved;
    EXPECT_EQ(saved, *firstSaved);
    EXPECT_EQ(saved[2], "떡볶이");
    // Written back in the encoding it was read in.
    EXPECT_EQ(slurp(path), c.expectRewrite);
  }
}

TEST_F(TextImportTest, BytesThatAreNotTextInTheEncodingAreAClearError) {
  const std::string lines12 = std::string(kHeader) + "\n" + tsv({"2024-03-05", "Won", "Food", "", "", "1", "Expense"}) +
                              "\n";
  const size_t at = lines12.size() + 11;  // inside the third line
  const std::string bom = "\xFF\xFE";
  const std::string header16 = bom + converted(std::string(kHeader) + "\n", "UTF-16LE");
  struct Case {
    const char* name;
    std::string bytes;
    std::string encoding;
    std::vector<std::string> inMessage;
  };
  const std::vector<Case> cases = {
      {"a byte UTF-8 never has", lines12 + "2024-03-05\t\xFF\tFood", "UTF-8",
       {"line 3", "bytes FF", "byte offset " + std::to_string(at), "not valid UTF-8"}},
      {"a UTF-8 sequence cut short by the end", lines12 + "2024-03-05\t\xEC\x95", "",
       {"line 3", "ends inside a character", "EC 95", "byte offset " + std::to_string(at)}},
      {"an EUC-KR lead byte without its trail byte", lines12 + "2024-03-05\t\xB0\t", "EUC-KR",
       {"line 3", "byte offset " + std::to_string(at), "not valid EUC-KR"}},
      {"a lone UTF-16 surrogate", header16 + std::string("\x00\xD8\x41\x00", 4), "UTF-16",
       {"line 2", "byte offset " + std::to_string(header16.size()), "not valid UTF-16LE"}},
      {"UTF-16 without its mark read as UTF-8", converted(std::string(kHeader), "UTF-16LE"), "UTF-8",
       {"line 1", "U+0000 at byte offset 1", "in UTF-8?"}},
      {"a Windows-only syllable read as EUC-KR", lines12 + converted("똠", "windows-949-2000"), "EUC-KR",
       {"line 3", "U+008C at byte offset " + std::to_string(lines12.size()), "in EUC-KR?"}},
      {"a mark that contradicts the encoding given", "\xEF\xBB\xBF" + lines12, "EUC-KR",
       {"begins with a UTF-8 byte-order mark, but the encoding given is EUC-KR"}},
      {"an encoding nobody knows", lines12, "KLINGON", {"unknown encoding 'KLINGON'"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = write("bad.tsv", c.bytes);
    try {
      importer().read(path, c.encoding);
      ADD_FAILURE() << "read without an error";
    } catch (const InputError& e) {
      const std::string message = e.what();
      for (const auto& part : c.inMessage) EXPECT_NE(message.find(part), std::string::npos) << message;
    }
  }
}

}  // namespace
}  // namespace varnel::testing
