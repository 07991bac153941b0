#include "ledger/in_out_come_repository.h"

#include <cmath>

#include "ledger/currency_repository.h"
#include "ledger/money.h"

namespace varnel {

namespace {

constexpr const char* kLiveTx = "(ZISDEL IS NULL OR ZISDEL != 1)";

bool isUsableRate(const Real& rate) { return rate && std::isfinite(*rate) && *rate > 0; }

int pointOf(const Currency& c) { return static_cast<int>(c.point.value_or(0)); }

}  // namespace

double InOutComeRepository::getAmountAccount(const InOutCome& record, const Asset& asset) {
  CurrencyRepository currencies(ledger_);
  const auto main = currencies.getMainCurrency();
  auto account = currencies.getCurrencyByAsset(asset);
  if (!account) account = main;
  // A ledger without any currency row has nothing to convert between.
  if (!account) return record.amount.value_or(0);

  double value = 0;
  const bool accountIsMain =
      account->isMainCurrency.value_or(0) == 1 || (main && main->uid == account->uid);
  if (record.currencyUid && record.currencyUid == account->uid) {
    value = record.amountSub.value_or(0);
  } else if (accountIsMain || !isUsableRate(account->rate)) {
    value = record.amount.value_or(0);
  } else {
    value = record.amount.value_or(0) / *account->rate;
  }
  return getAmountByMaximumFractionDigits(value, pointOf(*account));
}

bool InOutComeRepository::updateInOutComeAmountAccountByCurrnecy(const Asset& asset, const Currency& currency) {
  CurrencyRepository currencies(ledger_);
  const auto main = currencies.getMainCurrency();
  const bool toMain = currency.isMainCurrency.value_or(0) == 1 || (main && main->uid == currency.uid);
  if (!toMain && !isUsableRate(currency.rate)) {
    log().error("updateInOutCome fail {}", "currency " + currency.uid.value_or("") + " has no usable rate");
    return false;
  }
  const std::string assetUid = asset.uid.value_or("");
  const std::string currencyUid = currency.uid.value_or("");
  const int point = pointOf(currency);
  try {
    StoreTransaction transaction(getContext());
    // Read first, then write: changing rows of the table a statement is still
    // stepping through is not something to rely on.
    std::vector<std::pair<int64_t, double>> values;
    {
      auto& read = getContext().prepare(std::string("SELECT Z_PK, ZCURRENCYUID, ZAMOUNTSUB, ZAMOUNT FROM ZINOUTCOME"
                                                    " WHERE ZASSETUID = ? AND ") + kLiveTx);
      read.bind(1, assetUid);
      while (read.executeStep()) {
        const bool sameCurrency = !read.getColumn(1).isNull() && read.getColumn(1).getString() == currencyUid;
        const double amountSub = read.getColumn(2).getDouble();
        const double amount = read.getColumn(3).getDouble();
        double value = 0;
        if (sameCurrency) {
          value = amountSub;
        } else if (toMain) {
          value = amount;
        } else {
          value = amount / *currency.rate;
        }
        values.emplace_back(read.getColumn(0).getInt64(), getAmountByMaximumFractionDigits(value, point));
      }
      read.reset();
    }
    const int64_t now = nowMs();
    auto& write = getContext().prepare(
        "UPDATE ZINOUTCOME SET ZAMOUNTACCOUNT = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?");
    for (const auto& [pk, value] : values) {
      write.reset();
      write.bind(1, value);
      write.bind(2, now);
      write.bind(3, pk);
      write.exec();
    }
    transaction.commit();
    return true;
  } catch (const SQLite::Exception& e) {
    log().error("updateInOutCome fail {}", e.what());
    return false;
  }
}

double InOutComeRepository::sumForAssets(const std::vector<std::string>& assetUids,
                                         const std::optional<Currency>& inCurrency) {
  if (assetUids.empty()) return 0;
  std::string marks;
  for (size_t i = 0; i < assetUids.size(); ++i) marks += i ? ", ?" : "?";
  // Each converted amount is rounded as the stored value would be.
  const std::string value = inCurrency ? "ROUND(CASE WHEN ZCURRENCYUID = ? THEN ZAMOUNTSUB WHEN ? THEN ZAMOUNT"
                                         " ELSE ZAMOUNT / ? END, ?)"
                                       : "ZAMOUNTACCOUNT";
  const std::string sql = "SELECT TOTAL(CASE WHEN ZDO_TYPE IN ('0', '4', '7') THEN " + value + " ELSE -(" +
                          value + ") END) FROM ZINOUTCOME WHERE " + kLiveTx + " AND ZASSETUID IN (" + marks + ")";
  try {
    auto& st = getContext().prepare(sql);
    int n = 0;
    if (inCurrency) {
      CurrencyRepository currencies(ledger_);
      const auto main = currencies.getMainCurrency();
      const bool toMain = inCurrency->isMainCurrency.value_or(0) == 1 || (main && main->uid == inCurrency->uid);
      const bool usable = isUsableRate(inCurrency->rate);
      for (int twice = 0; twice < 2; ++twice) {
        st.bind(++n, inCurrency->uid.value_or(""));
        st.bind(++n, (toMain || !usable) ? 1 : 0);
        st.bind(++n, usable ? *inCurrency->rate : 1.0);
        st.bind(++n, pointOf(*inCurrency));
      }
    }
    for (const auto& uid : assetUids) st.bind(++n, uid);
    return st.executeStep() ? st.getColumn(0).getDouble() : 0;
  } catch (const SQLite::Exception& e) {
    log().error("query error : {} ({})", sql, e.what());
    return 0;
  }
}

double InOutComeRepository::getInOutComeAmountAccountByCurrnecy(const Asset& asset, const Currency& orgCurrency,
                                                                 const Currency& newCurrency) {
  std::vector<std::string> uids = {asset.uid.value_or("")};
  for (const auto& card : ledger_.commonData().checkCardListByAsset(asset.uid.value_or(""), true)) {
    uids.push_back(card.uid.value_or(""));
  }
  const bool unchanged = orgCurrency.uid == newCurrency.uid;
  const double total = sumForAssets(uids, unchanged ? std::nullopt : std::optional<Currency>(newCurrency));
  return getAmountByMaximumFractionDigits(total, pointOf(newCurrency));
}

double InOutComeRepository::getAmountAccountBalance(const std::string& assetUid,
                                                    const std::optional<Currency>& inCurrency) {
  const double total = sumForAssets({assetUid}, inCurrency);
  std::optional<Currency> rounding = inCurrency;
  if (!rounding) {
    CurrencyRepository currencies(ledger_);
    if (auto asset = dataByUid<Asset>(assetUid)) rounding = currencies.getCurrencyByAsset(*asset);
    if (!rounding) rounding = currencies.getMainCurrency();
  }
  return rounding ? getAmountByMaximumFractionDigits(total, pointOf(*rounding)) : total;
}

}  // namespace varnel
