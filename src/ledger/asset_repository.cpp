#include "ledger/asset_repository.h"

#include <cctype>
#include <charconv>
#include <cmath>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "model/text.h"
#include "ledger/currency_conversion.h"
#include "ledger/currency_repository.h"
#include "ledger/category_repository.h"
#include "ledger/in_out_come_repository.h"
#include "model/errors.h"
#include "model/number_input.h"

namespace varnel {

namespace {

// Korean card accounts start with this monthly usage target.
constexpr int64_t kKoreanCardUsageHurdle = 300000;

std::optional<int> dayOfMonth(const std::string& text) {
  int day = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), day);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || day < 1 || day > 31) {
    return std::nullopt;
  }
  return day;
}

// A day field as stored: the decimal day, "1" when none was given.
std::string dayText(const std::string& text, const char* what) {
  const std::string value = trimmed(text);
  if (value.empty()) return "1";
  auto day = dayOfMonth(value);
  if (!day) throw InputError(fmt::format("the {} must be a day of the month from 1 to 31: '{}'", what, text));
  return std::to_string(*day);
}

}  // namespace

void AssetRepository::reload() {
  ledger_.commonData().ReloadAppDataAssetGroup();
  ledger_.commonData().ReloadAppDataAsset();
}

// --- Accounts ------------------------------------------------------------------

std::optional<Asset> AssetRepository::assetByUid(const std::string& uid) {
  if (uid.empty() || uid == "0") return std::nullopt;
  return getFirst(fetch<Asset>(" WHERE ZUID = ? ORDER BY Z_PK LIMIT 1", uid));
}

std::optional<Asset> AssetRepository::assetByUidNotDelete(const std::string& uid) {
  return getFirst(fetch<Asset>(" WHERE ZUID = ? AND " + live::accountSql() + " ORDER BY Z_PK LIMIT 1", uid));
}

std::vector<Asset> AssetRepository::getAssetList(bool isAll) {
  if (isAll) return fetch<Asset>(" ORDER BY ZORDER, Z_PK");
  return fetch<Asset>(" WHERE " + live::accountSql() + " ORDER BY ZORDER, Z_PK");
}

std::vector<Asset> AssetRepository::assetListByGroupUid(const std::string& groupUid, bool isAll) {
  if (groupUid.empty() || groupUid == "0") return {};
  if (isAll) return fetch<Asset>(" WHERE ZGROUPUID = ? ORDER BY ZORDER, Z_PK", groupUid);
  return fetch<Asset>(" WHERE " + live::accountSql() + " AND ZGROUPUID = ? ORDER BY ZORDER, Z_PK", groupUid);
}

std::vector<Asset> AssetRepository::assetListNotDelete() {
  return fetch<Asset>(" WHERE " + live::accountSql() +
                      " AND ZGROUPUID IN (SELECT ZUID FROM ZASSETGROUP WHERE " + live::groupSql() +
                      ") ORDER BY (SELECT g.ZORDER FROM ZASSETGROUP g WHERE g.ZUID = ZASSET.ZGROUPUID),"
                      " ZGROUPUID DESC, ZORDER, Z_PK");
}

std::vector<Asset> AssetRepository::assetListWithAssetGroupType(const std::vector<int64_t>& types) {
  if (types.empty()) return {};
  return fetch<Asset>(fmt::format(" WHERE {} AND ZGROUPUID IN (SELECT ZUID FROM ZASSETGROUP WHERE ZSTATUS IN ({})"
                                  " AND {}) ORDER BY ZORDER, Z_PK",
                                  live::accountSql(), fmt::join(types, ", "), live::groupSql()));
}

std::vector<Asset> AssetRepository::getAssetTransferExpenseList() {
  return fetch<Asset>(" WHERE " + live::accountSql() + " AND ZTRANSFEREXPENSE = 1 ORDER BY ZORDER, Z_PK");
}

Status AssetRepository::updateAsset(Asset& asset, bool isSync) {
  Status ok = isSync ? saveStamped(asset, "updateAsset") : save(asset, "updateAsset");
  reload();
  return ok;
}

Status AssetRepository::updateAssetList(std::vector<Asset>& assets, bool isSync) {
  if (assets.empty()) return Status::ok();
  Status ok = saveAll(assets, "updateAsset", isSync);
  reload();
  return ok;
}

std::string AssetRepository::correctionCategory(TxKind kind) {
  const std::string word = ledger_.texts().text("config_assets_category_name1");
  if (word.empty()) return kBalanceAdjustmentUid;
  auto category = getFirst(fetch<Category>(
      " WHERE ZDOTYPE = ? AND " + live::recordSql() + " AND INSTR(ZNAME, ?) > 0 ORDER BY ZORDER, Z_PK LIMIT 1",
      kind == TxKind::kIncome ? category_code::kIncome : category_code::kExpense, word));
  return category && category->uid ? *category->uid : std::string(kBalanceAdjustmentUid);
}

AssetSaveResult AssetRepository::saveAsset(const AssetForm& form) {
  AssetSaveResult result;
  CurrencyRepository currencies(ledger_);
  InOutComeRepository transactions(ledger_);

  const bool isNew = form.uid.empty();
  std::optional<Asset> existing;
  if (!isNew) {
    existing = assetByUid(form.uid);
    if (!existing) throw InputError("no account with the identifier " + form.uid);
    if (!live::isLiveAccount(*existing)) throw InputError("the account " + form.uid + " is deleted");
  }

  // 1. The name.
  const std::string name = trimmed(form.name);
  if (name.empty()) {
    result.refusal = "popup_message7";
    return result;
  }

  // Values the screen would only offer valid: checked before anything is written.
  auto group = assetGroupByUid(form.groupUid);
  const bool sameGroup = existing && existing->groupUid == form.groupUid;
  if (!group || (!sameGroup && !live::isListedGroup(*group))) {
    throw InputError("no account group " + (form.groupUid.empty() ? std::string("given") : form.groupUid));
  }
  const int64_t type = group->Status.value_or(0);

  const auto main = currencies.getMainCurrency();
  const std::string mainIso = main ? main->iso.value_or("") : "";
  std::optional<Currency> currency;
  if (form.currency.empty()) {
    if (existing) currency = currencies.getCurrencyByAsset(*existing);
    if (!currency) currency = main;
  } else {
    currency = currencies.getCurrencyByUid(form.currency);
    if (currency && currency->mainIso.value_or("") != mainIso && currency->isMainCurrency.value_or(0) != 1) {
      currency.reset();  // a row of an earlier main currency
    }
    if (!currency) {
      std::string iso = form.currency;
      for (char& c : iso) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      currency = iso == mainIso ? main : currencies.getCurrencyBySubIso(iso);
    }
    if (!currency) throw InputError("no currency " + form.currency + " in this ledger");
  }
  const std::string currencyIso = currency ? currency->iso.value_or(mainIso) : mainIso;
  const bool currencyIsMain =
      !currency || currency->isMainCurrency.value_or(0) == 1 || (main && main->uid == currency->uid);

  std::optional<Asset> payer;
  if (!form.cardAssetUid.empty()) {
    payer = assetByUidNotDelete(form.cardAssetUid);
    if (!payer) throw InputError("no paying account " + form.cardAssetUid);
    if (!isNew && payer->uid == existing->uid) throw InputError("an account cannot pay for itself");
  }
  const std::string settlementDay = dayText(form.settlementDay, "settlement day");
  const std::string paymentDay = dayText(form.paymentDay, "payment day");
  if (!std::isfinite(form.balance) || !std::isfinite(form.balanceBeforeEdit)) {
    throw InputError("the balance must be a number");
  }
  const bool card = type == kCreditCardGroupType || type == kDebitCardGroupType;
  if ((form.usageTargetType || form.usageTargetAmount) && !card) {
    throw InputError("only credit and debit cards have a usage target");
  }
  if (form.usageTargetType && *form.usageTargetType != kCardUsageMonthly &&
      *form.usageTargetType != kCardUsageThreeMonths) {
    throw InputError(fmt::format("the usage target type must be {} (monthly) or {} (three months): {}",
                                 kCardUsageMonthly, kCardUsageThreeMonths, *form.usageTargetType));
  }
  if (form.usageTargetAmount &&
      (*form.usageTargetAmount < 0 || !isMoneyInRange(static_cast<double>(*form.usageTargetAmount)))) {
    throw InputError(fmt::format("the usage target must be from 0 to less than 1e15: {}", *form.usageTargetAmount));
  }

  // 2. A debit card spends the money of its paying account.
  if (type == kDebitCardGroupType && payer) {
    auto payerCurrency = currencies.getCurrencyByAsset(*payer);
    const std::string payerIso = payerCurrency ? payerCurrency->iso.value_or(mainIso) : mainIso;
    if (payerIso != mainIso && payerIso != currencyIso) {
      result.refusal = "config_debit_card_currency_change";
      return result;
    }
  }

  // 3. A new currency for an existing account needs the person's consent.
  bool currencyChanged = false;
  if (existing) {
    auto oldCurrency = currencies.getCurrencyByAsset(*existing);
    const std::string oldIso = oldCurrency ? oldCurrency->iso.value_or(mainIso) : mainIso;
    currencyChanged = oldIso != currencyIso;
    if (currencyChanged && !form.confirmCurrencyChange) {
      result.refusal = "config_asset_currency_change";
      return result;
    }
    if (currencyChanged && !currencyIsMain && !isUsableRate(currency->rate)) {
      throw InputError("the currency " + currencyIso + " has no usable rate");
    }
  }

  // 4. The balance difference, in the account's currency.
  const int accountPoint =
      static_cast<int>(currency ? currency->point.value_or(0) : (main ? main->point.value_or(0) : 2));
  const double difference = roundMoney(form.balance - (isNew ? 0.0 : form.balanceBeforeEdit), accountPoint);
  const bool correctionDue = type != kDebitCardGroupType && difference != 0;

  Asset asset = isNew ? newObjectForEntity<Asset>() : *existing;
  result.status = inTransaction([&]() -> Status {
    // 5. A new account goes last; a changed currency converts the account's
    // transactions and carries over to the cards it pays.
    if (isNew) asset.Order = nextAvailble<Asset>("Order");
    if (currencyChanged && currency) {
      VARNEL_RETURN_IF_ERROR(transactions.updateInOutComeAmountAccountByCurrnecy(asset, *currency));
      for (Asset& card : fetch<Asset>(" WHERE ZCARDASSETUID = ? AND ZUID != ? ORDER BY ZORDER, Z_PK",
                                      *asset.uid, *asset.uid)) {
        card.currencyUid = currency->uid;
        VARNEL_RETURN_IF_ERROR(saveStamped(card, "updateAsset"));
        VARNEL_RETURN_IF_ERROR(transactions.updateInOutComeAmountAccountByCurrnecy(card, *currency));
      }
    }
    asset.isReflect = form.countedInTotals ? 0 : 1;

    // 6. The fields.
    asset.NicName = name;
    asset.groupUid = form.groupUid;
    asset.memo = form.memo;
    asset.cardAssetUid = form.cardAssetUid.empty() ? Text() : Text(form.cardAssetUid);
    asset.Card_DayFin = settlementDay;
    asset.Card_DayPay = paymentDay;
    if (currency) asset.currencyUid = currency->uid;
    asset.isCardAutoPay = form.autoPay && type == kCreditCardGroupType ? 1 : 0;
    asset.isDel = form.hidden ? kAssetHidden : kAssetLive;
    asset.transferExpense = form.transferExpense ? 1 : 0;
    asset.smsString = trimmed(form.smsString);

    // 7. Korean cards start with a usage target; one given replaces it.
    if (isNew && ledger_.env().language() == "ko" && card) {
      asset.card_usage_hurdle_amount = kKoreanCardUsageHurdle;
    }
    const bool targetChanged =
        (form.usageTargetType && asset.card_usage_hurdle_type != form.usageTargetType) ||
        (form.usageTargetAmount && asset.card_usage_hurdle_amount != form.usageTargetAmount);
    if (form.usageTargetType) asset.card_usage_hurdle_type = *form.usageTargetType;
    if (form.usageTargetAmount) asset.card_usage_hurdle_amount = *form.usageTargetAmount;
    if (targetChanged) asset.card_usage_hurdle_start_date = nowMs();

    // 8. The balance correction.
    if (correctionDue) {
      const double now = ledger_.env().nowStoreSeconds();
      const bool up = difference > 0;
      const double absolute = std::fabs(difference);
      InOutCome record = newObjectForEntity<InOutCome>();
      record.Date = now;
      record.txDateStr = ledger_.env().dates().dayKey(now);
      record.assetUid = asset.uid;
      record.Content = ledger_.texts().text("config_assets_category_name3");
      if (form.recordCorrectionAs == BalanceRecording::kIncomeExpense) {
        const TxKind kind = up ? TxKind::kIncome : TxKind::kExpense;
        setKind(record, kind);
        record.categoryUid = correctionCategory(kind);
      } else {
        setKind(record, up ? TxKind::kAdjustmentUp : TxKind::kAdjustmentDown);
        record.categoryUid = kBalanceAdjustmentUid;
      }
      // The amount in the main currency comes from the account currency's row
      // against the main currency.
      std::optional<Currency> againstMain =
          currencyIso == mainIso ? main : currencies.getCurrencyByMainIsoAndIso(mainIso, currencyIso);
      if (!againstMain) againstMain = currency;
      const double rate =
          againstMain && !currencyIsMain && isUsableRate(againstMain->rate) ? *againstMain->rate : 1.0;
      record.currencyUid = againstMain ? againstMain->uid : asset.currencyUid;
      record.amountSub = absolute;
      record.amountAccount = absolute;
      record.amount =
          enteredToMain(absolute, rate, static_cast<int>(main ? main->point.value_or(0) : accountPoint));
      record.cardTimeStampStr = "";
      record.isDel = 0;
      VARNEL_RETURN_IF_ERROR(saveStamped(record, "updateInOutCome"));
      result.correction = record;
    }

    // 9. The account itself.
    return saveStamped(asset, "updateAsset");
  }, "updateAsset");
  reload();
  if (!result.status) {
    result.correction.reset();
    return result;
  }
  result.asset = asset;
  return result;
}

Result<Asset> AssetRepository::setAssetHidden(const std::string& uid, bool hidden) {
  auto asset = assetByUid(uid);
  if (!asset) throw InputError("no account with the identifier " + uid);
  if (!live::isLiveAccount(*asset)) throw InputError("the account " + uid + " is deleted");
  asset->isDel = hidden ? kAssetHidden : kAssetLive;
  VARNEL_RETURN_IF_ERROR(updateAsset(*asset));
  return *asset;
}

Result<std::optional<std::string>> AssetRepository::deleteAsset(const std::string& uid, bool confirmed) {
  auto asset = assetByUid(uid);
  if (!asset) throw InputError("no account with the identifier " + uid);
  if (!live::isLiveAccount(*asset)) throw InputError("the account " + uid + " is already deleted");
  if (!confirmed) return std::optional<std::string>("popup_message8");
  Status deleted = deleteRecord(*asset, "updateAsset");
  reload();
  if (!deleted) return deleted;
  return std::optional<std::string>();
}

int AssetRepository::getStartDayByAsset(Ledger& ledger, const Asset& asset) {
  if (ledger.commonData().getAssetGroupTypeAsset(asset) == kCreditCardGroupType) {
    return dayOfMonth(trimmed(asset.Card_DayFin.value_or(""))).value_or(1);
  }
  return ledger.commonData().app().appStartDay;
}

// --- Groups --------------------------------------------------------------------

std::vector<AssetGroup> AssetRepository::assetGroupList(bool isAll) {
  if (isAll) return fetch<AssetGroup>(" ORDER BY ZORDER, ZUID DESC");
  return fetch<AssetGroup>(" WHERE " + live::groupSql() + " ORDER BY ZORDER, ZUID DESC");
}

std::optional<AssetGroup> AssetRepository::assetGroupByUid(const std::string& uid) {
  if (uid.empty() || uid == "0") return std::nullopt;
  return getFirst(fetch<AssetGroup>(" WHERE ZUID = ? ORDER BY Z_PK LIMIT 1", uid));
}

Status AssetRepository::updateAssetGroup(AssetGroup& group, bool isAdd) {
  if (isAdd) group.isDel = 0;
  Status ok = saveStamped(group, "updateAssetGroup");
  reload();
  return ok;
}

Status AssetRepository::reOrderAssetGroupWithTargetOrder(int64_t targetOrder) {
  try {
    auto st = getContext().prepare("UPDATE ZASSETGROUP SET ZORDER = ZORDER + 1 WHERE ZORDER >= ?");
    st.bind(1, targetOrder);
    st.exec();
  } catch (const SQLite::Exception& e) {
    return getContext().writeFailed("updateAssetGroup", e);
  }
  reload();
  return Status::ok();
}

Result<AssetGroup> AssetRepository::addAssetGroup(const std::string& name, int64_t status,
                                                         std::optional<int64_t> position) {
  const std::string groupName = trimmed(name);
  if (groupName.empty()) throw InputError("the group name is empty");
  if (status < 0) throw InputError(fmt::format("the group type must not be negative: {}", status));
  if (position && *position < 0) throw InputError(fmt::format("the position must not be negative: {}", *position));
  AssetGroup group = newObjectForEntity<AssetGroup>();
  Status saved = inTransaction([&]() -> Status {
    group.AssetGroupName = groupName;
    group.Status = status;
    if (position) {
      VARNEL_RETURN_IF_ERROR(reOrderAssetGroupWithTargetOrder(*position));
      group.Order = *position;
    } else {
      group.Order = nextAvailble<AssetGroup>("Order");
    }
    return updateAssetGroup(group, true);
  }, "updateAssetGroup");
  reload();
  if (!saved) return saved;
  return group;
}

Result<AssetGroup> AssetRepository::renameAssetGroup(const std::string& uid, const std::string& name) {
  const std::string groupName = trimmed(name);
  if (groupName.empty()) throw InputError("the group name is empty");
  auto group = assetGroupByUid(uid);
  if (!group || !live::isListedGroup(*group)) throw InputError("no account group " + uid);
  group->AssetGroupName = groupName;
  VARNEL_RETURN_IF_ERROR(updateAssetGroup(*group, false));
  return *group;
}

Result<AssetGroup> AssetRepository::deleteAssetGroup(const std::string& uid) {
  auto group = assetGroupByUid(uid);
  if (!group || !live::isListedGroup(*group)) throw InputError("no account group " + uid);
  std::optional<std::string> refusal;
  Status deleted = inTransaction([&]() -> Status {
    std::vector<std::string> names;
    for (const Asset& a : assetListByGroupUid(uid, false)) names.push_back("'" + a.NicName.value_or("") + "'");
    if (!names.empty()) {
      refusal = fmt::format("the group '{}' still holds {} account{} ({}); move or delete {} first",
                            group->AssetGroupName.value_or(uid), names.size(), names.size() == 1 ? "" : "s",
                            fmt::join(names, ", "), names.size() == 1 ? "it" : "them");
      return Status::ok();
    }
    return deleteRecord(*group, "updateAssetGroup");
  }, "updateAssetGroup");
  reload();
  if (refusal) throw InputError(*refusal);
  if (!deleted) return deleted;
  return *group;
}

}  // namespace varnel
