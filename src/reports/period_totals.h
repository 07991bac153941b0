// Balance sums of transactions by kind: one aggregate query over the
// transaction table each, on the store's own time scale, never a loop over
// loaded rows. Reads the ledger; never changes it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/entities.h"
#include "model/ledger.h"
#include "reports/classifier.h"
#include "model/period.h"
#include "model/sql_filter.h"
#include "model/tx_kind.h"

namespace varnel {

struct InOutSum {
  double inAmount = 0;
  double outAmount = 0;
};

struct AssetInOutSum {
  std::string assetUid;
  double inAmount = 0;
  double outAmount = 0;
};

// [income, expense, income − expense] of a period.
struct IncomeExpense {
  double income = 0;
  double expense = 0;
  double balance() const { return income - expense; }
};

// Transfers that count as income or expense through a transfer-expense account.
struct TransferSum {
  double sum = 0;
  int count = 0;
};

// Transfer rows through transfer-expense accounts between one sending and
// one receiving account. A transfer's class depends only on its two
// accounts, so every row of a pair has the pair's class.
struct TransferPairSum {
  std::string assetUid;
  std::string toAssetUid;
  int txClass = tx_class::kNeutral;
  double sum = 0;
  int count = 0;
};

// What a period's budgets use, from one pass over its live rows.
struct PeriodUse {
  // Rows of the asked kind summed (`amount`) by their own category; "" for
  // rows without one.
  std::vector<std::pair<std::string, double>> byCategory;
  // Transfer-out rows touching a transfer-expense account, by account pair
  // (as sumTransAmountByPair gives them).
  std::vector<TransferPairSum> transfers;
};

// The row that opens a period's list with the balance brought forward.
struct CarryoverRow {
  std::string uid = "-100";
  std::string displayName;
  double Date = 0;
  std::string Do_Type;  // income's code brought forward positive, expense's negative
  std::string amountSub;
  std::string amount;
};

struct ThreeMonthCarryover {
  std::optional<CarryoverRow> carryoverPre;
  std::optional<CarryoverRow> carryoverCurrent;
  std::optional<CarryoverRow> carryoverNext;
};

// A period's income and expense with the rows that make them up.
struct InOutWithTx {
  IncomeExpense totals;
  std::vector<InOutCome> incomeRows;   // live rows counted as income, by date
  std::vector<InOutCome> expenseRows;  // live rows counted as expense, by date
};

// One month of an account's chart: its first and last day (local midnights)
// and the account's balance at the end of it.
struct AccountChartMonth {
  double start = 0;
  double end = 0;
  double balance = 0;
};

// The most months an account chart covers (fifty years).
inline constexpr int kMaxChartMonths = 600;

// A period of a multi-period sum: [sDate, eDate + 1 day); a missing bound
// leaves that side open.
struct SumPeriod {
  std::optional<double> sDate;
  std::optional<double> eDate;
};

class PeriodTotals {
 public:
  explicit PeriodTotals(Ledger& ledger);

  // The column of an amount field name: "amount", "amountAccount",
  // "amount_sub" or "amountSub". Throws std::invalid_argument otherwise.
  static std::string amountColumn(const std::string& field);

  // In and out totals of `field` over the live transactions of `accounts`
  // (every account when empty) dated in [start, end + 1 day). With
  // `multiDoType` the in kinds are 0, 4, 7 and the out kinds 1, 3, 8;
  // without, only 0 and 1.
  InOutSum sumInOutAmount(const std::string& field, bool multiDoType,
                          const std::vector<std::string>& accounts, std::optional<double> start,
                          std::optional<double> end);

  // The same totals of `amountAccount`, one entry per account that has rows.
  std::vector<AssetInOutSum> normalAssetSumAmount(const std::vector<std::string>& accounts,
                                                  std::optional<double> start,
                                                  std::optional<double> end);

  // In/out totals per period, in the order of `periods`. An empty field
  // sums each row's `amountAccount` brought into the main currency by its
  // account's currency rate (unchanged for the main currency or an account
  // without a currency row).
  std::vector<InOutSum> normalTotalAssetSumAmount(const std::vector<std::string>& accounts,
                                                  const std::vector<SumPeriod>& periods,
                                                  const std::string& field);

  // Total of `field` over live transactions matching every given condition.
  // `kinds` empty means every kind. `prepaymentType` 1 keeps rows tagged
  // "system_prepayment", 2 untagged rows; `minusPlus` 1 keeps rows whose
  // field is > 0, 2 those < 0.
  double getAmountSum(const std::string& field, const std::vector<std::string>& accounts,
                      const std::vector<std::string>& categories,
                      const std::vector<TxKind>& kinds, std::optional<double> start,
                      std::optional<double> end, int prepaymentType = 0, int minusPlus = 0);

  // Income and expense of a period through the classifier (book view):
  // live income, expense and transfer-out rows matching the accounts, the
  // categories and the transfer markers ("#OUTCOMETRANS", "#INCOMETRANS",
  // "#OUTCOMECARD", "#INCOMECARD" followed by an account uid). A filter with
  // both categories and markers matches rows of either kind.
  IncomeExpense getInOutSumMoneyByDate(std::optional<double> start, std::optional<double> end,
                                       const std::vector<std::string>& accounts = {},
                                       const std::vector<std::string>& categories = {},
                                       const std::vector<std::string>& filters = {});
  // That total together with the rows it counts: the same rows, read whole,
  // and the same classification, so each side's rows add up to its total;
  // rows the classifier puts on neither side are not listed.
  InOutWithTx inOutSumWithTx(std::optional<double> start, std::optional<double> end,
                             const std::vector<std::string>& accounts = {},
                             const std::vector<std::string>& categories = {},
                             const std::vector<std::string>& filters = {});
  // The conditions of that total (live income, expense and transfer-out
  // rows of the period matching the accounts, categories and markers), for
  // callers that list the rows instead of summing them. Columns are
  // qualified with the table alias "t" of ZINOUTCOME.
  SqlFilter inOutFilter(std::optional<double> start, std::optional<double> end,
                        const std::vector<std::string>& accounts,
                        const std::vector<std::string>& categories,
                        const std::vector<std::string>& filters) const;

  // The usage-basis total: income and expense rows of the accounts plus the
  // transfers through transfer-expense accounts in the usage view.
  IncomeExpense getInOutSumMoneyByDateForCategory(std::optional<double> start,
                                                  std::optional<double> end,
                                                  const std::vector<std::string>& accounts);
  // Transfer-out rows touching transfer-expense accounts (narrowed to
  // `accounts` when given) that classify as income (`moveType`
  // kTransferIn) or expense (kTransferOut); none when no such account is in
  // scope.
  std::optional<TransferSum> sumTransAmount(const std::string& field,
                                            const std::vector<std::string>& accounts, TxKind moveType,
                                            std::optional<double> start, std::optional<double> end,
                                            const std::string& content = "", int sumType = 1);
  // The rows sumTransAmount looks at, summed per account pair by one
  // aggregate query and classified with `sumType`, so that one read serves
  // the sums of many accounts; none when no transfer-expense account is in
  // scope.
  std::optional<std::vector<TransferPairSum>> sumTransAmountByPair(
      const std::string& field, const std::vector<std::string>& accounts, std::optional<double> start,
      std::optional<double> end, const std::string& content = "", int sumType = 1);
  // The income (`kind` 0) or expense (1) rows of [start, end + 1 day) by
  // category, and the transfers through transfer-expense accounts by account
  // pair classified with `sumType`, in one aggregate query: the sums every
  // budget of a period is measured against.
  PeriodUse sumUseByCategoryAndTransfer(int kind, double start, double end, int sumType);
  // Card bill payments: transfers into credit cards that are not
  // transfer-expense accounts, from accounts that are not either.
  double sumAmountMoveOutTransCardAsset(const std::string& field,
                                        const std::vector<std::string>& cards,
                                        const std::vector<std::string>& accounts,
                                        std::optional<double> start, std::optional<double> end);
  // The all-time net of the debit cards drawing on `bankUid` that have rows in
  // the range, in the bank account's currency.
  double sumCheckCardByDate(const std::string& bankUid, std::optional<double> start,
                            std::optional<double> end);

  // The balance brought forward into the period that starts at `date`,
  // counted from `start`; 0 unless carry-over is on.
  double getAmountCarryover(double start, double date);
  ThreeMonthCarryover threeMonthCarryover(double previous, double current, double next);
  std::optional<CarryoverRow> makeCarryoverDic(double date, double amount);

  // One account's balance at the end of each of the last `months` months,
  // oldest first, the last being the month that holds today. The months are
  // the account's: a credit card's begin on its settlement day (without the
  // weekend rule, as its bills do), any other account's on the month start
  // day with the weekend rule. The balance is the running total of the
  // account's live `amountAccount` (in: kinds 0, 4, 7; out: 1, 3, 8) in its
  // own currency, as the overview counts an ordinary account; the debit
  // cards drawing on an account keep their rows on their own chart. One
  // aggregate query per month, never a loop over loaded rows. Throws
  // InputError for an unknown account or `months` outside 1 …
  // kMaxChartMonths.
  std::vector<AccountChartMonth> getInOutForChartByAsset(const std::string& assetUid, int months);

  // Total balance at the end of each period (running in − out in the main
  // currency) of the counted accounts and the debit cards drawing on them.
  std::vector<double> sumTrend(int dpType, std::vector<SumPeriod> periods);

  const PeriodRules& rules() const { return rules_; }

 private:
  bool cashBook() const;
  // The transfer-expense accounts (deleted and hidden ones too), narrowed to
  // `accounts` when given.
  std::vector<std::string> transferExpenseAccounts(const std::vector<std::string>& accounts) const;
  // The class of transfer-out rows from `assetUid` to `toAssetUid`.
  int transferClass(const std::string& assetUid, const std::string& toAssetUid, int sumType) const;
  // Runs `select` + the filter's clause and hands its first row to `read`;
  // a failed read logs "query error : …" and reads nothing (totals stay 0).
  void readFirstRow(const std::string& select, const SqlFilter& filter,
                    const std::function<void(SQLite::Statement&)>& read);
  InOutSum queryInOut(const std::string& select, const SqlFilter& filter);
  double queryTotal(const std::string& select, const SqlFilter& filter);
  // Adds the live-row and [start, end + 1 day) conditions.
  void addDateRange(SqlFilter& filter, std::optional<double> start,
                    std::optional<double> end) const;

  Ledger& ledger_;
  PeriodRules rules_;
};

}  // namespace varnel
