#include <cmath>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "ledger/asset_repository.h"
#include "ledger/card.h"
#include "ledger/currency_conversion.h"
#include "ledger/currency_repository.h"
#include "tests/ledger/transaction_test_fixture.h"

namespace varnel {
namespace {

using testing::TransactionTest;

// --- The conversions themselves ------------------------------------------------------

struct ConversionCase {
  double amount;
  double rate;
  int decimals;
  double toMain;     // amount × rate
  double toAccount;  // amount ÷ rate
};

class ConversionTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(ConversionTest, RoundsTheDecimalResultHalfAwayFromZero) {
  const ConversionCase& c = GetParam();
  EXPECT_EQ(enteredToMain(c.amount, c.rate, c.decimals), c.toMain) << c.amount << " × " << c.rate;
  EXPECT_EQ(mainToAccount(c.amount, c.rate, c.decimals), c.toAccount) << c.amount << " ÷ " << c.rate;
}

INSTANTIATE_TEST_SUITE_P(
    Amounts, ConversionTest,
    ::testing::Values(
        // 2.675 × 1300 is 3477.4999… in binary and 3477.5 in decimal.
        ConversionCase{2.675, 1300, 0, 3478, 0},
        // 4.77 ÷ 1.2 is 3.9749999… in binary and 3.975 in decimal.
        ConversionCase{4.77, 1.2, 2, 5.72, 3.98},
        ConversionCase{-4.77, 1.2, 2, -5.72, -3.98},
        ConversionCase{1, 0.00075, 2, 0, 1333.33},
        ConversionCase{100000, 0.00075, 2, 75, 133333333.33},
        ConversionCase{0.1, 3, 2, 0.3, 0.03},
        // A rate that converts nothing counts as 1, as a row without a rate does.
        ConversionCase{12.345, 0, 2, 12.35, 12.35},
        ConversionCase{12.345, std::nan(""), 1, 12.3, 12.3}));

TEST(TruncateMoneyTest, CutsTowardsZeroAtTheDecimalsWithoutBinaryNoise) {
  struct Case {
    double amount;
    int decimals;
    double expected;
  } cases[] = {
      {250.75 - 100, 2, 150.75},  // 150.75 exactly, not 150.74999…
      {0.1 + 0.2, 2, 0.3},        // 0.30000000000000004
      {150.6, 0, 150},
      {-210.6, 0, -210},
      {-0.999, 2, -0.99},
      {0.004, 2, 0},
      {1234567.891, 3, 1234567.891},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(truncateMoney(c.amount, c.decimals), c.expected) << c.amount << " to " << c.decimals;
  }
}

TEST(AccountAmountTest, FollowsTheEnteredCurrencyThenTheMainCurrencyThenTheRate) {
  const MoneyCurrency dollars{"KRW_USD", 1300, 2, false};
  const MoneyCurrency won{"KRW_KRW", 1, 0, true};
  EXPECT_EQ(accountAmount("KRW_USD", 12.345, 16049, dollars), 12.35);  // entered in it
  EXPECT_EQ(accountAmount("KRW_EUR", 9.66, 14000.4, won), 14000);      // the main amount
  EXPECT_EQ(accountAmount("KRW_EUR", 9.66, 14000, dollars), 10.77);    // 14000 ÷ 1300
  EXPECT_EQ(accountAmount("", 5, 14000, dollars), 10.77);              // no entered currency
}

TEST(StoredRatioTest, KeepsTheRatioAndGivesNoneWhenTheStoredAmountsCarryNone) {
  EXPECT_EQ(convertAtStoredRatio(5.35, 2.675, 3478, 0), 6956);
  EXPECT_EQ(convertAtStoredRatio(2.675, 2.675, 3478, 0), 3478);
  // 1 KRW kept as 0.00 USD says nothing about the rate.
  EXPECT_EQ(convertAtStoredRatio(100000, 1, 0, 2), std::nullopt);
  EXPECT_EQ(convertAtStoredRatio(100000, 0, 5, 2), std::nullopt);
  EXPECT_EQ(convertAtStoredRatio(100000, 1, std::nan(""), 2), std::nullopt);
}

// --- Every path stores the same cents ---------------------------------------------------

// The transaction ledger plus a credit card kept in dollars and paid from the
// yen account, so that one entry crosses three currencies.
class MoneyPathsTest : public TransactionTest {
 protected:
  void SetUp() override {
    TransactionTest::SetUp();
    BaseRepository repo(*ledger_);
    AssetGroup cards = repo.newObjectForEntity<AssetGroup>("2");
    cards.Status = kCreditCardGroupType;
    cards.AssetGroupName = "Cards";
    cards.isDel = 0;
    ASSERT_TRUE(repo.save(cards, "updateAssetGroup"));
    Asset card = repo.newObjectForEntity<Asset>("CARD");
    card.NicName = "Card";
    card.groupUid = "2";
    card.currencyUid = "KRW_USD";
    card.cardAssetUid = "YEN";
    card.Card_DayFin = "1";
    card.Card_DayPay = "5";
    card.isCardAutoPay = 1;
    card.isDel = 0;
    ASSERT_TRUE(repo.save(card, "updateAsset"));
    ledger_->commonData().ReloadTheData();
  }

  // Main KRW_KRW, entered KRW_USD and the account's KRW_JPY get these rates
  // and decimals.
  void setCurrencies(int mainPoint, double enteredRate, int enteredPoint, double accountRate, int accountPoint) {
    auto st = ledger_->store().prepare("UPDATE ZCURRENCY SET ZRATE = ?, ZPOINT = ? WHERE ZUID = ?");
    for (const auto& [uid, rate, point] : {std::tuple{"KRW_KRW", 1.0, mainPoint},
                                           std::tuple{"KRW_USD", enteredRate, enteredPoint},
                                           std::tuple{"KRW_JPY", accountRate, accountPoint}}) {
      st.reset();
      st.bind(1, rate);
      st.bind(2, point);
      st.bind(3, uid);
      st.exec();
    }
    ledger_->commonData().ReloadTheData();
  }

  void clearRecords() {
    ledger_->store().db().exec("DELETE FROM ZINOUTCOME");
    ledger_->preferences().remove(kAutoPaymentPreferenceKey);
  }

  Currency currency(const std::string& uid) { return *CurrencyRepository(*ledger_).getCurrencyByUid(uid); }
};

// A decimal with few digits: `units` / 10^`decimals`, exact in the tests below.
struct Decimal {
  int64_t units;
  int decimals;
  double value() const { return static_cast<double>(units) / std::pow(10.0, decimals); }
};

// units × rate rounded half away from zero to `decimals`, in integers.
double exactProduct(Decimal amount, Decimal rate, int decimals) {
  __int128 numerator = static_cast<__int128>(amount.units) * rate.units;
  int scale = amount.decimals + rate.decimals - decimals;  // numerator / 10^scale, to round
  __int128 divisor = 1;
  for (int i = 0; i < scale; ++i) divisor *= 10;
  for (int i = 0; i > scale; --i) numerator *= 10;
  const __int128 whole = (numerator + divisor / 2) / divisor;
  return static_cast<double>(static_cast<int64_t>(whole)) / std::pow(10.0, decimals);
}

TEST_F(MoneyPathsTest, EveryPathStoresTheSameAmountsForTheSameInput) {
  // mt19937's sequence is fixed by the standard, unlike the library's
  // distributions, so the cases are the same everywhere.
  std::mt19937 random(20261210);
  auto below = [&random](uint32_t n) { return static_cast<int64_t>(random() % n); };
  AssetRepository assets(*ledger_);
  for (int trial = 0; trial < 150; ++trial) {
    // A third of the trials are free; the others are built so that the
    // product, or the quotient, is exactly half-way at the decimals kept,
    // where binary arithmetic lands on either side.
    int mainPoint = static_cast<int>(below(4));
    Decimal entered{1 + below(9'999'999), static_cast<int>(below(4))};
    Decimal enteredRate{1 + below(99'999), static_cast<int>(below(5))};
    Decimal accountRate{1 + below(99'999), static_cast<int>(below(5))};
    int accountPoint = static_cast<int>(below(4));
    std::optional<double> halfWayAccount;
    if (trial % 3 == 1) {
      entered.units = 10 * below(999'999) + 5;
      entered.decimals = 1 + static_cast<int>(below(3));
      enteredRate.units = 2 * below(49'999) + 1;  // odd: the product still ends in 5
      mainPoint = entered.decimals + enteredRate.decimals - 1;
    } else if (trial % 3 == 2) {
      const int64_t n = below(999'999);
      accountRate = {2 * (1 + below(4'999)), static_cast<int>(below(5))};
      const int mainDecimals = accountPoint + accountRate.decimals;
      const int shift = static_cast<int>(below(static_cast<uint32_t>(std::min(mainDecimals, 2) + 1)));
      // main = (2n + 1) × rate ÷ (2 × 10^accountPoint), entered at 10^-shift.
      entered = {(2 * n + 1) * (accountRate.units / 2), mainDecimals - shift};
      enteredRate = {1, shift};
      mainPoint = mainDecimals;
      halfWayAccount = static_cast<double>(n + 1) / std::pow(10.0, accountPoint);
    }
    const double main = enteredToMain(entered.value(), enteredRate.value(), mainPoint);
    // Beyond what the ledger keeps to the cent; not the point here.
    if (std::fabs(main / accountRate.value()) >= 1e13) continue;
    const double account = mainToAccount(main, accountRate.value(), accountPoint);
    const std::string what = fmt::format("trial {}: {} (rate {}, {} decimals) into {} decimals, account rate {} "
                                         "({} decimals)",
                                         trial, entered.value(), enteredRate.value(), entered.decimals, mainPoint,
                                         accountRate.value(), accountPoint);
    SCOPED_TRACE(what);
    ASSERT_EQ(main, exactProduct(entered, enteredRate, mainPoint));
    if (halfWayAccount) {
      ASSERT_EQ(account, *halfWayAccount);
    }
    setCurrencies(mainPoint, enteredRate.value(), entered.decimals, accountRate.value(), accountPoint);
    clearRecords();

    // A new save.
    TransactionForm f = form(kModeExpense, "YEN", entered.value());
    f.currency = "KRW_USD";
    const InOutCome fresh = load(saved(f).record->uid);
    EXPECT_EQ(fresh.amount, main);
    EXPECT_EQ(fresh.amountAccount, account);

    // An edit that keeps the amount: the stored ratio gives the stored values back.
    TransactionForm keep = TransactionSave(*ledger_).formForRecord(*fresh.uid);
    keep.memo = "changed";
    const InOutCome kept = load(saved(keep).record->uid);
    EXPECT_EQ(kept.amount, main);
    EXPECT_EQ(kept.amountAccount, account);
    EXPECT_EQ(convertAtStoredRatio(entered.value(), *kept.amountSub, *kept.amount, mainPoint), main);

    // An edit that brings a won record into the dollar on the yen account.
    const InOutCome won = load(saved(form(kModeExpense, "WON", 1234)).record->uid);
    TransactionForm moved = TransactionSave(*ledger_).formForRecord(*won.uid);
    moved.account = "YEN";
    moved.currency = "KRW_USD";
    moved.amount = entered.value();
    const InOutCome edited = load(saved(moved).record->uid);
    EXPECT_EQ(edited.amount, main);
    EXPECT_EQ(edited.amountAccount, account);

    // One instalment.
    TransactionForm once = f;
    once.installments = 1;
    const InOutCome instalment = load(saved(once).record->uid);
    EXPECT_EQ(instalment.amount, main);
    EXPECT_EQ(instalment.amountAccount, account);

    // The card's bill in dollars, paid automatically from the yen account.
    TransactionForm spent = form(kModeExpense, "CARD", entered.value());
    spent.currency = "KRW_USD";
    spent.date = at(2026, 11, 20);
    saved(spent);
    const AutoPaymentRun run = CardRepository(*ledger_).funcAutoPayment();
    ASSERT_EQ(run.bookings.size(), 1u);
    ASSERT_TRUE(run.bookings[0].transferIn);
    EXPECT_EQ(run.bookings[0].transferIn->amount, main);
    ASSERT_TRUE(run.bookings[0].transferOut);
    EXPECT_EQ(run.bookings[0].transferOut->amount, main);
    EXPECT_EQ(run.bookings[0].transferOut->amountAccount, account);

    // A won account moving to the yen: the query's preview, then the stored values.
    TransactionForm onWonForm = form(kModeExpense, "WON2", entered.value());
    onWonForm.currency = "KRW_USD";
    const InOutCome onWon = load(saved(onWonForm).record->uid);
    ASSERT_EQ(onWon.amount, main);
    InOutComeRepository records(*ledger_);
    EXPECT_EQ(records.getAmountAccountBalance("WON2", currency("KRW_JPY")), -account);
    ASSERT_TRUE(records.updateInOutComeAmountAccountByCurrnecy(*ledger_->commonData().assetByUid("WON2"),
                                                               currency("KRW_JPY")));
    EXPECT_EQ(load(onWon.uid).amountAccount, account);
    if (::testing::Test::HasFailure()) break;  // one trial's story is enough to read
  }
}

// --- The two disagreements that started this module -------------------------------------

TEST_F(MoneyPathsTest, ChangingAnAccountToEuroConvertsAStoredAmountAsANewSaveWould) {
  // A main currency with cents and the euro at 1.2: 4.77 ÷ 1.2 = 3.975.
  setCurrencies(2, 1300, 2, 9, 0);
  addCurrency("KRW_EUR", "EUR", 1.2, 2, false);
  addAccount("EURO", "Euro", "KRW_EUR");
  ledger_->commonData().ReloadTheData();
  const InOutCome stored = load(saved(form(kModeExpense, "WON2", 4.77)).record->uid);
  AssetForm edit;
  edit.uid = "WON2";
  edit.name = "Won two";
  edit.groupUid = "1";
  edit.currency = "KRW_EUR";
  edit.confirmCurrencyChange = true;
  ASSERT_TRUE(AssetRepository(*ledger_).saveAsset(edit).ok());
  EXPECT_EQ(load(stored.uid).amountAccount, 3.98);
  EXPECT_EQ(load(saved(form(kModeExpense, "EURO", 4.77)).record->uid).amountAccount, 3.98);
}

TEST_F(MoneyPathsTest, OneRowInstalmentOfDollarsStoresWhatAPlainExpenseStores) {
  // 2.675 USD at 1300 is 3477.5 KRW.
  TransactionForm plain = form(kModeExpense, "WON", 2.675);
  plain.currency = "KRW_USD";
  TransactionForm instalment = plain;
  instalment.installments = 1;
  EXPECT_EQ(load(saved(plain).record->uid).amount, 3478);
  EXPECT_EQ(load(saved(instalment).record->uid).amount, 3478);
}

}  // namespace
}  // namespace varnel
