#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "model/base_repository.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "reports/category_statistics.h"
#include "reports/classifier.h"
#include "reports/common_filter.h"
#include "reports/period_totals.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using Uids = std::vector<std::string>;

// A bank account, a credit card and a savings account whose deposits count
// as spent; income, expenses, a refund in an expense category, transfers
// into and out of savings, a card payment and a balance correction.
class CommonFilterTest : public testing::LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    BaseRepository repo(*ledger_);
    for (auto [uid, status] : {std::pair{"1", 1}, {"2", 2}, {"9", 9}}) {
      AssetGroup g = repo.newObjectForEntity<AssetGroup>(uid);
      g.Status = status;
      g.isDel = 0;
      ASSERT_TRUE(repo.save(g, "updateAssetGroup"));
    }
    for (auto [uid, name, group, flagged] :
         {std::tuple{"BANK", "Bank", "1", 0}, {"CARD", "Card", "2", 0}, {"SAVE", "Savings", "9", 1}}) {
      Asset a = repo.newObjectForEntity<Asset>(uid);
      a.NicName = name;
      a.groupUid = group;
      a.isDel = 0;
      a.transferExpense = flagged;
      ASSERT_TRUE(repo.save(a, "updateAsset"));
    }
    ledger_->commonData().ReloadTheData();
    add("salary", "0", "BANK", "", 1000, 2, "SALARY");
    add("food", "1", "BANK", "", 100, 3, "FOOD");
    add("refund", "0", "BANK", "", 30, 4, "FOOD");
    add("cardFood", "1", "CARD", "", 60, 5, "FOOD");
    add("save3", "3", "BANK", "SAVE", 500, 6);
    add("save4", "4", "SAVE", "BANK", 500, 6);
    add("back3", "3", "SAVE", "BANK", 80, 7);
    add("back4", "4", "BANK", "SAVE", 80, 7);
    add("pay3", "3", "BANK", "CARD", 60, 25);
    add("pay4", "4", "CARD", "BANK", 60, 25);
    add("adjust", "7", "BANK", "", 5, 26, "-4");
  }

  void add(const char* uid, const char* kind, const char* account, const char* to, double amount,
           int day, const char* category = "", int isDel = 0, int month = 3) {
    BaseRepository repo(*ledger_);
    InOutCome t = repo.newObjectForEntity<InOutCome>(uid);
    t.Do_Type = kind;
    t.assetUid = account;
    if (*to) t.toAssetUid = to;
    t.amount = t.amountSub = t.amountAccount = amount;
    t.Date = ledger_->env().dates().fromLocal(2026, month, day, 12);
    if (*category) t.categoryUid = category;
    t.isDel = isDel;
    ASSERT_TRUE(repo.save(t, "updateInOutCome"));
  }
  void setCashBook(bool on) {
    EXPECT_TRUE(EtcRepository(*ledger_).updateEtcUserSettingByType(etc_kind::kCardAccountingType, on ? "1" : "0"));
  }
  std::vector<InOutCome> all() {
    return BaseRepository(*ledger_).fetch<InOutCome>(" WHERE ZISDEL = 0 ORDER BY ZDATE, Z_PK");
  }
  static Uids uids(const std::vector<InOutCome>& rows) {
    Uids out;
    for (const auto& r : rows) out.push_back(*r.uid);
    return out;
  }
  double start() { return ledger_->env().dates().fromLocal(2026, 3, 1); }
  double end() { return ledger_->env().dates().fromLocal(2026, 3, 31); }
};

TEST_F(CommonFilterTest, StateIsSetQueriedAndRemoved) {
  CommonFilter filter(*ledger_);
  EXPECT_FALSE(filter.isFilter());
  filter.setFilter({}, {}, {}, {"#INCOMECARDCARD"});
  EXPECT_TRUE(filter.isFilter());
  filter.setCategoryTab(true);
  filter.setFilter({"SALARY"}, {"FOOD"}, {"BANK"}, {});
  EXPECT_EQ(filter.incomeCategories(), Uids{"SALARY"});
  EXPECT_EQ(filter.expenseCategories(), Uids{"FOOD"});
  EXPECT_EQ(filter.accounts(), Uids{"BANK"});
  EXPECT_TRUE(filter.transferItems().empty());
  filter.removeFilter();
  EXPECT_FALSE(filter.isFilter());
  EXPECT_TRUE(filter.accounts().empty());
  EXPECT_TRUE(filter.isCategoryTab());

  // Two filters (two screens) do not share their selections.
  CommonFilter other(*ledger_);
  other.setFilter({}, {}, {"SAVE"}, {});
  EXPECT_FALSE(filter.isFilter());
}

TEST_F(CommonFilterTest, TransferItemsSplitByTheirMarkers) {
  const TransferMarkers m = TransferMarkers::split(
      {"#OUTCOMETRANSA", "#INCOMETRANSB", "#OUTCOMECARDC", "#INCOMECARDD", "plain"});
  EXPECT_EQ(m.outTrans, Uids{"A"});
  EXPECT_EQ(m.inTrans, Uids{"B"});
  EXPECT_EQ(m.outCard, Uids{"C"});
  EXPECT_EQ(m.inCard, Uids{"D"});
}

TEST_F(CommonFilterTest, ListFilterAppliesKindRulesThenAccountRules) {
  struct Case {
    Uids income, expense, accounts, transfers;
    Uids expected;
    const char* what;
  } cases[] = {
      {{}, {}, {}, {}, {"salary", "food", "refund", "cardFood", "save3", "save4", "back3", "back4", "pay3", "pay4", "adjust"}, "no filter"},
      {{}, {"FOOD"}, {}, {}, {"food", "cardFood"}, "an expense category does not admit its income rows"},
      {{"FOOD"}, {}, {}, {}, {"refund"}, "an income category admits only income rows"},
      {{}, {}, {"SAVE"}, {}, {"save3", "save4", "back3", "back4"}, "an account admits transfers into it"},
      {{}, {}, {"CARD"}, {}, {"cardFood", "pay3", "pay4"}, "a card and its payments"},
      {{}, {}, {}, {"#OUTCOMETRANSSAVE"}, {"save3"}, "money moved into savings"},
      {{}, {}, {}, {"#INCOMETRANSSAVE"}, {"back3"}, "money moved out of savings"},
      {{}, {}, {}, {"#OUTCOMECARDCARD"}, {"pay3"}, "payments into the card"},
      {{}, {"FOOD"}, {"CARD"}, {}, {"cardFood"}, "kind rules, then account rules"},
      {{}, {"FOOD"}, {}, {"#OUTCOMETRANSSAVE"}, {"food", "cardFood", "save3"}, "kind rules joined by OR"},
  };
  const auto rows = all();
  for (const auto& c : cases) {
    CommonFilter filter(*ledger_);
    filter.setFilter(c.income, c.expense, c.accounts, c.transfers);
    EXPECT_EQ(uids(filter.getArrayInOutFilter(rows)), c.expected) << c.what;
  }
}

TEST_F(CommonFilterTest, CalendarFilterReadsTheCardFlagsInCashBookMode) {
  add("pay3b", "3", "BANK", "CARD", 40, 26);
  std::vector<FilterInOut> rows;
  for (const auto& t : all()) {
    FilterInOut row{t, std::nullopt, false, false, false, t.amount.value_or(0), false};
    row.isCardOutMoney = t.uid == "cardFood";
    row.isCardDayPayment = t.uid == "pay3b";
    rows.push_back(row);
  }
  struct Case {
    bool cashBook;
    Uids expense, accounts, transfers;
    Uids expected;
    const char* what;
  } cases[] = {
      {false, {"FOOD"}, {}, {}, {"food", "cardFood"}, "card purchases count without cash-book mode"},
      {true, {"FOOD"}, {}, {}, {"food"}, "card purchases left out in cash-book mode"},
      {false, {}, {"CARD"}, {}, {"cardFood", "pay3", "pay4", "pay3b"}, "every payment into the card"},
      {true, {}, {"CARD"}, {}, {"cardFood", "pay4", "pay3b"}, "only the marked card payment"},
      {true, {}, {"BANK"}, {}, {"salary", "food", "refund", "save3", "back3", "back4", "pay3", "adjust", "pay3b"},
       "an ordinary account in cash-book mode"},
      {false, {}, {}, {"#INCOMETRANSSAVE"}, {"back3"}, "money moved out of savings"},
      {false, {}, {}, {"#INCOMECARDCARD"}, {"salary", "food", "refund", "cardFood", "save3", "save4", "back3", "back4", "pay3", "pay4", "adjust", "pay3b"},
       "an item that selects nothing narrows nothing"},
  };
  for (const auto& c : cases) {
    setCashBook(c.cashBook);
    CommonFilter filter(*ledger_);
    filter.setFilter({}, c.expense, c.accounts, c.transfers);
    Uids got;
    for (const auto& r : filter.getArrayInOutFilterForCalendar(rows)) got.push_back(*r.inOutCome.uid);
    EXPECT_EQ(got, c.expected) << c.what;
  }
}

TEST_F(CommonFilterTest, StoreListHoldsExactlyTheRowsTheFilteredTotalCounts) {
  add("deleted", "1", "BANK", "", 999, 8, "FOOD", 1);
  add("april", "1", "BANK", "", 7, 1, "FOOD", 0, 4);
  add("lastDay", "1", "BANK", "", 9, 31, "FOOD");
  const std::vector<Uids> categories = {{}, {"FOOD"}, {"SALARY", "FOOD"}};
  const std::vector<Uids> transfers = {{}, {"#OUTCOMETRANSSAVE"}, {"#INCOMETRANSSAVE"},
                                       {"#OUTCOMECARDCARD"}, {"#INCOMECARDCARD"}};
  const std::vector<Uids> accounts = {{}, {"BANK"}, {"SAVE"}, {"CARD"}};
  const CommonData& cache = ledger_->commonData();
  const std::function<AccountTraits(const std::string&)> traits = [&](const std::string& uid) {
    auto a = cache.assetByUid(uid);
    if (!a) return AccountTraits{};
    return AccountTraits{cache.getAssetGroupTypeAsset(*a) == 2, a->transferExpense.value_or(0) != 0};
  };
  for (bool cashBook : {false, true}) {
    setCashBook(cashBook);
    for (const auto& c : categories) {
      for (const auto& f : transfers) {
        for (const auto& a : accounts) {
          CommonFilter filter(*ledger_);
          PeriodTotals totals(*ledger_);
          double income = 0, expense = 0;
          for (const auto& t : filter.txListByFilter(start(), end(), a, c, f)) {
            const int k = std::stoi(*t.Do_Type);
            const int cls = displayDoTypeByInOutCome({*t.uid, k, t.assetUid.value_or(""), t.toAssetUid.value_or("")},
                                                     1, cashBook, traits);
            if (cls == tx_class::kIncome) income += *t.amount;
            if (cls == tx_class::kExpense) expense += *t.amount;
          }
          const IncomeExpense sum = totals.getInOutSumMoneyByDate(start(), end(), a, c, f);
          EXPECT_DOUBLE_EQ(income, sum.income) << cashBook << c.size() << f.size() << a.size();
          EXPECT_DOUBLE_EQ(expense, sum.expense) << cashBook << c.size() << f.size() << a.size();
        }
      }
    }
  }
  setCashBook(false);
  CommonFilter filter(*ledger_);
  struct Case {
    Uids accounts, categories, transfers, expected;
  } cases[] = {
      {{}, {}, {}, {"salary", "food", "refund", "cardFood", "save3", "back3", "pay3", "lastDay"}},
      {{"SAVE"}, {}, {}, {"save3", "back3"}},
      {{}, {"FOOD"}, {}, {"food", "refund", "cardFood", "lastDay"}},
      {{}, {"FOOD"}, {"#OUTCOMETRANSSAVE"}, {"food", "refund", "cardFood", "save3", "lastDay"}},
      {{"CARD"}, {"FOOD"}, {}, {"cardFood"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(uids(filter.txListByFilter(start(), end(), c.accounts, c.categories, c.transfers)), c.expected);
  }
  const auto full = filter.txListByFilter(start(), end(), {}, {"FOOD"}, {});
  ASSERT_FALSE(full.empty());
  EXPECT_EQ(full.front().categoryUid, "FOOD");
  EXPECT_DOUBLE_EQ(*full.front().amountSub, 100);
}

TEST_F(CommonFilterTest, KindsAndTextNarrowTheRows) {
  auto kept = [&](const std::vector<KindGroup>& kinds, const std::string& text) {
    std::vector<InOutCome> out;
    for (const InOutCome& r : all()) {
      if (isOfKinds(r, kinds) && containsText(r, text)) out.push_back(r);
    }
    return uids(out);
  };
  using K = KindGroup;
  EXPECT_EQ(kept({K::kTransfer}, ""), (Uids{"save3", "save4", "back3", "back4", "pay3", "pay4"}));
  EXPECT_EQ(kept({K::kIncome, K::kAdjustment}, ""), (Uids{"salary", "refund", "adjust"}));
  EXPECT_EQ(kept({}, "").size(), all().size());
  BaseRepository repo(*ledger_);
  InOutCome food = *repo.dataByUid<InOutCome>("food");
  food.Content = "Crème brûlée";
  food.memo = "dessert";
  ASSERT_TRUE(repo.save(food, "updateInOutCome"));
  EXPECT_EQ(kept({K::kExpense}, "CREME"), Uids{"food"});
  EXPECT_EQ(kept({}, "Dessert"), Uids{"food"});
  EXPECT_TRUE(kept({K::kIncome}, "creme").empty());
}

// A transfer filter naming its account was passed on as text, selected no
// row and totalled 0.
TEST_F(CommonFilterTest, TransferFilterByAccountNameTotalsThatAccountsTransfers) {
  const CommonData& cache = ledger_->commonData();
  EXPECT_EQ(resolveTransferItem(cache, "#OUTCOMETRANSSavings"), "#OUTCOMETRANSSAVE");
  EXPECT_EQ(resolveTransferItem(cache, "#INCOMETRANSSAVE"), "#INCOMETRANSSAVE");
  EXPECT_EQ(resolveTransferItem(cache, "#OUTCOMECARDCard"), "#OUTCOMECARDCARD");
  PeriodTotals totals(*ledger_);
  const IncomeExpense byName =
      totals.getInOutSumMoneyByDate(start(), end(), {}, {}, {resolveTransferItem(cache, "#OUTCOMETRANSSavings")});
  EXPECT_DOUBLE_EQ(byName.expense, 500);
  EXPECT_DOUBLE_EQ(byName.expense, totals.getInOutSumMoneyByDate(start(), end(), {}, {}, {"#OUTCOMETRANSSAVE"}).expense);
  for (const char* bad : {"#OUTCOMETRANSNowhere", "Savings", "SAVE#OUTCOMETRANS", "#OUTCOMETRANS"}) {
    EXPECT_THROW(resolveTransferItem(cache, bad), InputError) << bad;
  }
}

// A main category's total left out the rows of its sub-categories, which the
// statistics count toward it.
TEST_F(CommonFilterTest, CategoryTotalOfAMainCategoryIncludesItsSubCategories) {
  BaseRepository repo(*ledger_);
  for (auto [uid, name, parent] : {std::tuple{"FOOD", "Food", ""}, {"SNACK", "Snacks", "FOOD"}, {"OLD", "Old", "FOOD"}}) {
    Category c = repo.newObjectForEntity<Category>(uid);
    c.Name = name;
    c.doType = 1;
    c.Status = *parent ? 2 : 0;
    if (*parent) c.pUid = parent;
    c.isDel = std::string(uid) == "OLD" ? 1 : 0;  // a deleted sub-category keeps its live rows
    ASSERT_TRUE(repo.save(c, "updateCategory"));
  }
  ledger_->commonData().ReloadTheData();
  add("snack", "1", "BANK", "", 20, 8, "SNACK");
  add("old", "1", "BANK", "", 4, 9, "OLD");
  add("nocat", "1", "BANK", "", 7, 10, "-2");
  const CommonData& cache = ledger_->commonData();

  PeriodTotals totals(*ledger_);
  const IncomeExpense food = totals.getInOutSumMoneyByDate(start(), end(), {}, categoryFilterUids(cache, "Food"), {});
  EXPECT_DOUBLE_EQ(food.expense, 100 + 60 + 20 + 4);
  CategoryCalculator stats(*ledger_);
  const CategoryBreakdown b = stats.categoryCalculator3(stats.statisticsTxList(start(), end()));
  const auto item = std::find_if(b.dpOutArray.begin(), b.dpOutArray.end(),
                                 [](const BreakdownItem& i) { return i.ID == "FOOD"; });
  ASSERT_NE(item, b.dpOutArray.end());
  EXPECT_DOUBLE_EQ(food.expense, item->MONEY);

  EXPECT_EQ(categoryFilterUids(cache, "Food/Snacks"), Uids{"SNACK"});
  EXPECT_EQ(categoryFilterUids(cache, "OLD"), Uids{"OLD"});  // by identifier, though deleted
  EXPECT_DOUBLE_EQ(totals.getInOutSumMoneyByDate(start(), end(), {}, categoryFilterUids(cache, "-2"), {}).expense, 7);
  EXPECT_THROW(categoryFilterUids(cache, "-4"), InputError);
  EXPECT_THROW(categoryFilterUids(cache, "Old"), InputError);  // a name reaches live categories only
}

}  // namespace
}  // namespace varnel
