// Balance sums of transactions by kind: one aggregate query over the
// transaction table each, on the store's own time scale, never a loop over
// loaded rows. Reads the ledger; never changes it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/ledger.h"
#include "reports/period.h"

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
  // `prepaymentType` 1 keeps rows tagged "system_prepayment", 2 untagged
  // rows; `minusPlus` 1 keeps rows whose field is > 0, 2 those < 0.
  double getAmountSum(const std::string& field, const std::vector<std::string>& accounts,
                      const std::vector<std::string>& categories,
                      const std::vector<std::string>& kinds, std::optional<double> start,
                      std::optional<double> end, int prepaymentType = 0, int minusPlus = 0);

  const PeriodRules& rules() const { return rules_; }

 private:
  // Adds the live-row and [start, end + 1 day) conditions.
  void addDateRange(class SqlFilter& filter, std::optional<double> start,
                    std::optional<double> end) const;

  Ledger& ledger_;
  PeriodRules rules_;
};

}  // namespace varnel
