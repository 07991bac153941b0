// Category statistics: how the income and expense of a period divide over
// main categories and over the account groups of transfer-expense accounts,
// the per-category aggregate the budgets build on, and the filtered in/out
// total of a given list. Reads the ledger; never writes to it.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "model/entities.h"
#include "model/ledger.h"
#include "model/period.h"
#include "model/sql_filter.h"
#include "model/tx_kind.h"

namespace varnel {

// One line of a breakdown: a main category, or an account group whose
// transfer-expense accounts received (expense) or gave back (income) money.
struct BreakdownItem {
  std::string ID;        // main category uid, or account group uid
  double MONEY = 0;      // category: its sum; group: the signed net
  std::string TYPE;      // "cate" or "acc"
  std::string TRANSFER;  // "0" for a category, "3" for a group
  std::string NAME;      // category `Name` / group `AssetGroupName`, "" when unnamed
  std::optional<Category> OBJECT;  // the category record; none for a group
};

// The breakdown of a list: totals in the main currency and the items of each
// side, largest "MONEY" first.
struct CategoryBreakdown {
  double cateInNum = 0;
  double cateOutNum = 0;
  std::vector<BreakdownItem> dpInArray;
  std::vector<BreakdownItem> dpOutArray;
};

// One row of the per-category aggregate ("" stands for rows without category).
struct CategoryGroupSum {
  std::string categoryUid;
  double sum = 0;
  int64_t count = 0;
};

struct InOutMoney {
  double inmoney = 0;
  double outmoney = 0;
};

// A category (type 1) or account-group (type 2) sum for the budget screens.
struct SumCategoryAsset {
  static constexpr int kCategory = 1;
  static constexpr int kAccountGroup = 2;

  int type = kCategory;
  std::string uid;
  std::string name;
  double money = 0;
  std::string moneyStr;  // money shown with the main currency
  int TRANSFER = 0;      // 0 for a category, 3 for a group
  std::variant<std::monostate, Category, AssetGroup> OBJECT;
};

class CategoryCalculator {
 public:
  explicit CategoryCalculator(Ledger& ledger);

  // The breakdown of the transactions of a period. Income (0) and expense
  // (1) rows count toward their main category (a sub-category's rows toward
  // its parent; the sub-category gets no item); rows whose category, or
  // whose sub-category's parent, names no category record (the
  // pseudo-categories "-2" and "-4" included) are left out. A category
  // record that was deleted still counts, since its transactions stay live.
  // An income category's item holds its income rows, any other category's
  // item its expense rows. Transfer rows (3, 4) booked on a transfer-expense
  // account of a group that is not deleted or hidden add (4) or subtract (3)
  // their main-currency `amount` to the group's net: a positive net is an
  // expense item, a negative one an income item with the negative net as
  // "MONEY" and −net added to the income total, a zero net no item. Other
  // kinds and deleted rows are ignored.
  CategoryBreakdown categoryCalculator3(const std::vector<InOutCome>& txs) const;

  // The rows a breakdown needs: live rows of kinds 0, 1, 3 and 4 dated in
  // [start, end + 1 day) (an absent bound leaves that side open), filled with
  // `uid`, `Do_Type`, `assetUid`, `toAssetUid`, `categoryUid` and `amount`
  // only, by date. With `accounts`, only rows booked on one of them or
  // moving money to one of them (`assetUid` or `toAssetUid`), as the list
  // filter selects accounts.
  std::vector<InOutCome> statisticsTxList(std::optional<double> start, std::optional<double> end,
                                          const std::vector<std::string>& accounts = {});

  // One aggregate row per `categoryUid` (count of rows and total `amount`)
  // over live rows dated in [start, end + 1 day) of the given kinds (an
  // empty list means every kind), only of `accounts` when given.
  // Rows come ordered by category uid.
  std::vector<CategoryGroupSum> sumTxGroupByCategory(const std::vector<std::string>& accounts,
                                                     const std::vector<TxKind>& kinds,
                                                     std::optional<double> start,
                                                     std::optional<double> end);

  // Income and expense of the given list under a list filter: the rows that
  // pass the category condition (a listed category, kind 0 or 1) OR the
  // transfer-item condition ("#OUTCOMETRANS", "#INCOMETRANS", "#OUTCOMECARD"
  // items, card cash-book mode choosing their form), AND the account
  // condition, classified in the book view. Only live rows of kinds 0, 1 and
  // 3 take part, so a transfer counts once, through its sending side.
  InOutMoney getTotalMoneyByCategoryAsset(const std::vector<InOutCome>& txs,
                                          const std::vector<std::string>& categories,
                                          const std::vector<std::string>& filters,
                                          const std::vector<std::string>& accounts) const;

  // For the budgets: one type-1 item per main category that has live rows
  // of kind `kind` in [start, end + 1 day), holding the `amount` of those
  // rows of the category and its sub-categories (all accounts); then, for
  // income and expense, one type-2 item per account group in the group list
  // that has transfer-expense accounts, holding the usage-view transfer sum
  // of those accounts (moves out of them for income, into them for expense).
  // Categories come in category order, groups in group order.
  std::vector<SumCategoryAsset> sumCategoryTransferByDoTypeStartEndDate(TxKind kind,
                                                                        std::optional<double> start,
                                                                        std::optional<double> end);

 private:
  // The main category a category uid counts toward; none when it (or its
  // parent) is not a category record.
  std::optional<Category> mainCategoryOf(const std::string& uid) const;
  std::string moneyText(double money) const;
  void addDateRange(SqlFilter& filter, std::optional<double> start,
                    std::optional<double> end) const;

  Ledger& ledger_;
  PeriodRules rules_;
};

}  // namespace varnel
