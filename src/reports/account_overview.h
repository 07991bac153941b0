// The account overview: for every account its balance ("Money"), and for a
// credit card its settlement figures, as the accounts screen shows them.
// Balances are aggregate queries; nothing loads the transaction table.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "model/entities.h"
#include "model/ledger.h"

namespace varnel {

struct AccountOverviewEntry {
  std::string assetName;
  double Money = 0;
  double displayPastPayAmount = 0;
  double LastMonthMoney = 0;
  double ThisMonthMoney = 0;
  std::optional<double> datePastEnd;
  std::optional<double> dateWillEnd;
  std::string Key;  // the account uid
  int64_t order = 0;
  int64_t groupOrder = 0;
  // The records themselves ("Asset", "AssetGroup", "Currency").
  varnel::Asset asset;
  varnel::AssetGroup assetGroup;
  std::optional<varnel::Currency> currency;
};

// Keyed by account uid.
using AccountOverview = std::map<std::string, AccountOverviewEntry>;

// The overview of every live account of every live group, or of the one
// account `assetUid`; a credit card carries its settlement figures. Logs its
// run time as "sumAssertAll executionTime3 = %f".
AccountOverview sumAssetAll(Ledger& ledger, const std::optional<std::string>& assetUid = std::nullopt);

}  // namespace varnel
