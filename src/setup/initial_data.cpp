#include "setup/initial_data.h"

#include <random>

#include <spdlog/spdlog.h>

#include "ledger/currency_catalogue.h"
#include "ledger/currency_repository.h"
#include "ledger/tag_repository.h"
#include "model/etc_repository.h"
#include "setup/initial_resources.h"
#include "sms/message_macro_repository.h"

namespace varnel {

namespace {

int64_t countRows(Ledger& ledger, const std::string& table) {
  return ledger.store().db().execAndGet("SELECT COUNT(*) FROM " + table).getInt64();
}

// A group of the bundled list: its type code is also its identifier.
AssetGroup groupFromSeed(BaseRepository& repo, const AssetGroupSeed& seed) {
  AssetGroup g = repo.newObjectForEntity<AssetGroup>(std::to_string(seed.typeCode));
  g.Status = seed.typeCode;
  g.AssetGroupName = seed.name;
  g.Order = seed.position + 100;
  g.isDel = 0;
  return g;
}

}  // namespace

int EasyInitDataMake::drawSetupVariant() const {
  std::mt19937_64 generator(static_cast<uint64_t>(ledger_.env().nowMs()));
  return static_cast<int>(std::uniform_int_distribution<int>(0, 9)(generator));
}

Status EasyInitDataMake::initSetting(int variant) {
  EtcRepository etc(ledger_);
  VARNEL_RETURN_IF_ERROR(etc.saveBasicEtc(variant));
  CurrencyRepository currencies(ledger_);
  VARNEL_RETURN_IF_ERROR(
      currencies.addMainCurrency(CalcCurrency::defaultMainIso(ledger_.env().locale())).status());
  Preferences& prefs = ledger_.preferences();
  if (prefs.getString("appThemeMode").value_or("").empty()) prefs.setString("appThemeMode", "SYNC");
  prefs.setString("appThemeColor", "0");
  if (variant == 8) prefs.setString("emoji_main_category", "show");
  if (variant == 9) prefs.setString("emoji_main_category", "none");
  return Status::ok();
}

Status EasyInitDataMake::initCategory(int variant) {
  if (countRows(ledger_, "ZCATEGORY") > 0) return Status::ok();
  const std::string& language = ledger_.env().language();
  const bool older = variant == 9;
  std::vector<CategorySeed> seeds =
      defaultCategories(older ? kCategoryListOldIn : kCategoryListIn, language);
  for (auto& s : defaultCategories(older ? kCategoryListOldOut : kCategoryListOut, language)) {
    seeds.push_back(std::move(s));
  }
  BaseRepository repo(ledger_);
  int64_t order = repo.nextAvailble<Category>("Order");
  std::vector<Category> records;
  for (const auto& seed : seeds) {
    Category c = repo.newObjectForEntity<Category>(std::to_string(seed.id));
    c.Name = seed.name;
    c.Order = order++;
    c.doType = seed.doType;
    c.pUid = std::to_string(seed.parentId);
    c.Status = seed.isSub() ? 2 : 0;
    c.isDel = 0;
    records.push_back(std::move(c));
  }
  return repo.saveAll(records, "updateCategory", true);
}

Status EasyInitDataMake::initAccGroupData() {
  if (countRows(ledger_, "ZASSETGROUP") > 0 || countRows(ledger_, "ZINOUTCOME") >= 4) return Status::ok();
  BaseRepository repo(ledger_);
  std::vector<AssetGroup> groups;
  for (const auto& seed : defaultAssetGroups(ledger_.env().language())) {
    groups.push_back(groupFromSeed(repo, seed));
  }
  return repo.saveAll(groups, "updateAssetGroup", true);
}

Status EasyInitDataMake::ensureInitialAccountGroups() {
  BaseRepository repo(ledger_);
  std::vector<AssetGroup> missing;
  for (const auto& seed : defaultAssetGroups(ledger_.env().language())) {
    const std::string uid = std::to_string(seed.typeCode);
    if (uid != "11" && uid != "1" && uid != "2") continue;
    if (repo.dataByUid<AssetGroup>(uid)) continue;
    missing.push_back(groupFromSeed(repo, seed));
  }
  return repo.saveAll(missing, "updateAssetGroup", true);
}

Status EasyInitDataMake::initAsset() {
  if (countRows(ledger_, "ZASSET") > 0) return Status::ok();
  BaseRepository repo(ledger_);
  CurrencyRepository currencies(ledger_);
  const auto main = currencies.getMainCurrency();
  const Texts& texts = ledger_.texts();
  struct Seed {
    const char* uid;
    const char* nameKey;
    const char* group;
  };
  const Seed seeds[] = {{"1", "Cash", "11"}, {"2", "Bank Accounts", "1"}, {"3", "card", "2"}};
  std::vector<Asset> accounts;
  int64_t order = 1;
  for (const auto& seed : seeds) {
    Asset a = repo.newObjectForEntity<Asset>(seed.uid);
    a.NicName = texts.text(seed.nameKey);
    a.groupUid = seed.group;
    a.Order = order++;
    a.isDel = 0;
    a.isReflect = 0;
    if (main) a.currencyUid = main->uid;
    if (std::string(seed.group) == "2") {
      a.Card_DayFin = "1";
      a.Card_DayPay = "1";
      a.isCardAutoPay = 0;
      if (ledger_.env().language() == "ko") a.card_usage_hurdle_amount = 300000;
    }
    accounts.push_back(std::move(a));
  }
  return repo.saveAll(accounts, "updateAsset", true);
}

Status EasyInitDataMake::initMessageMacroSetting() {
  MessageMacroRepository macros(ledger_);
  return macros.initMessageMacroSetting().status();
}

Status EasyInitDataMake::initTag() { return TagRepository(ledger_).initTag(); }

Result<bool> settingDefaultData(Ledger& ledger, int variant) {
  EtcRepository etc(ledger);
  // Most opens find the settings: answer without taking the write lock.
  if (!etc.getListAll().empty()) return false;
  EasyInitDataMake make(ledger);
  if (variant < 0) variant = make.drawSetupVariant();
  bool wrote = false;
  Status ok = etc.inTransaction([&]() -> Status {
    // Another process may have set the ledger up since the look above.
    if (!etc.getListAll().empty()) return Status::ok();
    VARNEL_RETURN_IF_ERROR(make.initSetting(variant));
    VARNEL_RETURN_IF_ERROR(make.initCategory(variant));
    VARNEL_RETURN_IF_ERROR(make.initAccGroupData());
    VARNEL_RETURN_IF_ERROR(make.initAsset());
    VARNEL_RETURN_IF_ERROR(make.initMessageMacroSetting());
    VARNEL_RETURN_IF_ERROR(make.initTag());
    wrote = true;
    return Status::ok();
  }, "settingDefaultData");
  if (!ok) ledger.log().error("settingDefaultData fail");
  ledger.commonData().ReloadTheData();
  if (!ok) return ok;
  return wrote;
}

}  // namespace varnel
