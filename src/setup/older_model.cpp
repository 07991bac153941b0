#include "setup/older_model.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <unordered_map>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "ledger/category_repository.h"
#include "ledger/currency_catalogue.h"
#include "ledger/currency_conversion.h"
#include "ledger/currency_repository.h"
#include "model/etc_repository.h"
#include "model/liveness.h"
#include "model/text.h"
#include "model/tx_kind.h"
#include "setup/initial_data.h"
#include "setup/initial_resources.h"
#include "setup/migration_support.h"

namespace varnel {

namespace {

using namespace migration_detail;

// Setting kinds of the older currency model.
constexpr int kOlderMainCurrencyKinds[] = {30121401, etc_kind::kMainCurrencyOld};
constexpr int kOlderCurrencyKinds[] = {284648126, 11394724, 25278, -8540};

// The pseudo-categories: values of a category link that stand for themselves.
const std::vector<std::string> kPseudoCategories = {"-2", "-4"};

// "Live before deleted", as each table counts deletion.
std::string liveSqlOf(const std::string& table) {
  if (table == "ZASSET") return live::accountSql();
  if (table == "ZASSETGROUP") return live::groupSql();
  if (table == "ZMESSAGEMACRO2") return "(ZUSEYN IS NULL OR ZUSEYN != 'N')";
  return live::recordSql();
}

// A whole number written in decimal digits only, as older identifiers are.
std::optional<int64_t> decimalNumber(const std::string& text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text[0] == '-' || text[0] == '+') {
    return std::nullopt;
  }
  return value;
}

std::string quotedList(const std::vector<std::string>& values) {
  std::string out;
  for (const auto& v : values) out += (out.empty() ? "'" : ", '") + v + "'";
  return out;
}

// The identifiers of the records of `table` whose older numbers are among
// `numbers`: the `aId` column first, then an identifier that is the number
// itself; a live record before a deleted one, then the lowest row key.
std::unordered_map<int64_t, std::string> recordsByOlderNumber(Store& store, const std::string& table,
                                                              const std::set<int64_t>& numbers) {
  std::unordered_map<int64_t, std::string> found;
  if (numbers.empty()) return found;
  if (store.columnExists(table, "ZAID")) {
    // One pass in row-key order (the table's own order, no sort), keeping
    // the first live holder of each number, else the first one.
    std::unordered_map<int64_t, bool> foundLive;
    auto st = store.prepare("SELECT ZAID, ZUID, CASE WHEN " + liveSqlOf(table) + " THEN 1 ELSE 0 END FROM " +
                            table + " WHERE ZAID IS NOT NULL AND ZAID > 0 AND " + "NOT " + noIdentifierSql("ZUID") +
                            " ORDER BY Z_PK");
    while (st.executeStep()) {
      const int64_t number = st.getColumn(0).getInt64();
      if (!numbers.count(number)) continue;
      const bool live = st.getColumn(2).getInt() == 1;
      auto it = foundLive.find(number);
      if (it != foundLive.end() && (it->second || !live)) continue;
      found[number] = st.getColumn(1).getString();
      foundLive[number] = live;
    }
  }
  auto st = store.prepare("SELECT ZUID FROM " + table + " WHERE ZUID = ?");
  for (int64_t number : numbers) {
    if (found.count(number)) continue;
    st.reset();
    st.bind(1, std::to_string(number));
    if (st.executeStep()) found[number] = st.getColumn(0).getString();
  }
  return found;
}

// A link by identifier and the older numbers that can restore it.
struct LinkRule {
  LinkRule(std::string table, std::string link, std::vector<std::string> numbers, std::string target,
           std::string where = "1", std::vector<std::string> kept = {}, std::string alsoSet = "")
      : table(std::move(table)),
        link(std::move(link)),
        numbers(std::move(numbers)),
        target(std::move(target)),
        where(std::move(where)),
        kept(std::move(kept)),
        alsoSet(std::move(alsoSet)) {}

  std::string table;                 // the records holding the link
  std::string link;                  // its column
  std::vector<std::string> numbers;  // older number columns, most specific first
  std::string target;                // the table whose records the link names
  std::string where;                 // which records of `table` the rule is for
  std::vector<std::string> kept;     // link values that stand as they are
  std::string alsoSet;               // more to set when the link is written
};

// Rewrites the links of `rule` that name no record from the first older
// number naming one (the number columns in order, then a link that is itself
// a decimal number). Returns the number of links written.
int rewriteLinks(Store& store, int64_t now, const LinkRule& rule) {
  std::vector<std::string> numbers;
  for (const auto& column : rule.numbers) {
    if (store.columnExists(rule.table, column)) numbers.push_back(column);
  }
  const std::string& l = rule.link;
  std::string candidates = "(" + l + " != '' AND " + l + " NOT GLOB '*[^0-9]*' AND CAST(" + l +
                           " AS INTEGER) > 0)";
  for (const auto& column : numbers) candidates += " OR " + column + " > 0";
  std::string sql = "SELECT Z_PK, ZUID, " + l;
  for (const auto& column : numbers) sql += ", " + column;
  sql += " FROM " + rule.table + " WHERE (" + rule.where + ") AND NOT (" + l + " IS NOT NULL AND " + l +
         " NOT IN ('', '0') AND " + l + " IN (SELECT ZUID FROM " + rule.target + " WHERE ZUID IS NOT NULL)) AND (" +
         candidates + ")";
  if (!rule.kept.empty()) sql += " AND (" + l + " IS NULL OR " + l + " NOT IN (" + quotedList(rule.kept) + "))";
  sql += " ORDER BY Z_PK";

  struct Row {
    int64_t pk;
    Text uid;
    std::vector<int64_t> numbers;  // most specific first; 0 for none
  };
  std::vector<Row> rows;
  std::set<int64_t> wanted;
  {
    auto st = store.prepare(sql);
    while (st.executeStep()) {
      Row row{st.getColumn(0).getInt64(), textAt(st, 1), {}};
      for (size_t i = 0; i < numbers.size(); ++i) {
        row.numbers.push_back(st.isColumnNull(3 + static_cast<int>(i))
                                  ? 0
                                  : st.getColumn(3 + static_cast<int>(i)).getInt64());
      }
      if (auto own = decimalNumber(textAt(st, 2).value_or(""))) row.numbers.push_back(*own);
      for (int64_t n : row.numbers) {
        if (n > 0) wanted.insert(n);
      }
      rows.push_back(std::move(row));
    }
  }
  const auto byNumber = recordsByOlderNumber(store, rule.target, wanted);
  int written = 0;
  const std::string update = "UPDATE " + rule.table + " SET " + l + " = ?, ZUTIME = ?, ZISSYNCED = 1" +
                             (rule.alsoSet.empty() ? "" : ", " + rule.alsoSet) + " WHERE Z_PK = ?";
  for (const Row& row : rows) {
    for (int64_t n : row.numbers) {
      auto it = n > 0 ? byNumber.find(n) : byNumber.end();
      if (it == byNumber.end()) continue;
      // A record never becomes its own parent.
      if (rule.table == rule.target && row.uid == it->second) break;
      written += execute(store, update, it->second, now, row.pk);
      break;
    }
  }
  return written;
}

// Older transfer sides are paired by `OppositeAid`, the older number of the
// other side: both get one `txUidTrans` (the one either already has, else a
// new one) and each side missing its other account gets the other side's.
int pairOlderTransfers(Store& store, int64_t now) {
  const std::string transfers = "ZDO_TYPE IN " + kindListSql({TxKind::kTransferOut, TxKind::kTransferIn});
  const std::string unpaired = noIdentifierSql("ZTXUIDTRANS") + " OR " + noIdentifierSql("ZTOASSETUID") +
                               " OR ZTOASSETUID = '-2'";
  struct Side {
    int64_t pk = 0, aId = 0, opposite = 0;
    std::string kind;
    Text link, assetUid, toAssetUid;
    bool changed = false;
  };
  std::map<int64_t, Side> byKey;
  std::unordered_map<int64_t, int64_t> keyByAid;
  auto st = store.prepare("SELECT Z_PK, ZAID, ZOPPOSITEAID, ZDO_TYPE, ZTXUIDTRANS, ZASSETUID, ZTOASSETUID "
                          "FROM ZINOUTCOME WHERE " + transfers + " AND ((ZOPPOSITEAID > 0 AND (" + unpaired +
                          ")) OR ZAID IN (SELECT ZOPPOSITEAID FROM ZINOUTCOME WHERE " + transfers +
                          " AND ZOPPOSITEAID > 0 AND (" + unpaired + "))) ORDER BY Z_PK");
  while (st.executeStep()) {
    Side s;
    s.pk = st.getColumn(0).getInt64();
    s.aId = st.isColumnNull(1) ? 0 : st.getColumn(1).getInt64();
    s.opposite = st.isColumnNull(2) ? 0 : st.getColumn(2).getInt64();
    s.kind = textAt(st, 3).value_or("");
    s.link = textAt(st, 4);
    s.assetUid = textAt(st, 5);
    s.toAssetUid = textAt(st, 6);
    if (s.aId > 0) keyByAid.emplace(s.aId, s.pk);
    byKey.emplace(s.pk, std::move(s));
  }
  st.reset();
  auto usableAccount = [](const Text& link) { return hasIdentifier(link) && *link != "-2"; };
  for (auto& [pk, side] : byKey) {
    if (side.opposite <= 0) continue;
    auto found = keyByAid.find(side.opposite);
    if (found == keyByAid.end() || found->second == pk) continue;
    Side& other = byKey.at(found->second);
    if (other.kind == side.kind) continue;
    if (hasIdentifier(side.link) && hasIdentifier(other.link) && side.link != other.link) continue;
    const std::string link = hasIdentifier(side.link)    ? *side.link
                             : hasIdentifier(other.link) ? *other.link
                                                         : BaseRepository::newUid();
    for (auto [a, b] : {std::pair{&side, &other}, std::pair{&other, &side}}) {
      if (a->link != link) {
        a->link = link;
        a->changed = true;
      }
      if (!usableAccount(a->toAssetUid) && usableAccount(b->assetUid)) {
        a->toAssetUid = b->assetUid;
        a->changed = true;
      }
    }
  }
  int written = 0;
  for (const auto& [pk, side] : byKey) {
    if (!side.changed) continue;
    written += execute(store,
                       "UPDATE ZINOUTCOME SET ZTXUIDTRANS = ?, ZTOASSETUID = ?, ZUTIME = ?, ZISSYNCED = 1 "
                       "WHERE Z_PK = ?",
                       side.link, side.toAssetUid, now, pk);
  }
  return written;
}

// A fee of the older model is named by `fee_ID`, its older number, on the
// transfer it belongs to: both get one `txUidFee`.
int linkOlderFees(Store& store, int64_t now) {
  if (!store.columnExists("ZINOUTCOME", "ZFEE_ID")) return 0;
  const std::string needs = "ZFEE_ID > 0";
  std::vector<std::pair<int64_t, int64_t>> records;  // row key, fee number
  std::unordered_map<int64_t, std::pair<int64_t, Text>> fees;  // number → row key, link
  std::map<int64_t, Text> links;                               // row key → link
  {
    auto st = store.prepare("SELECT Z_PK, ZFEE_ID, ZTXUIDFEE FROM ZINOUTCOME WHERE " + needs + " ORDER BY Z_PK");
    while (st.executeStep()) {
      records.emplace_back(st.getColumn(0).getInt64(), st.getColumn(1).getInt64());
      links[st.getColumn(0).getInt64()] = textAt(st, 2);
    }
  }
  if (records.empty()) return 0;
  {
    auto st = store.prepare("SELECT Z_PK, ZAID, ZTXUIDFEE FROM ZINOUTCOME WHERE ZDO_TYPE = " +
                            kindSql(TxKind::kExpense) + " AND ZAID IN (SELECT ZFEE_ID FROM ZINOUTCOME WHERE " +
                            needs + ") ORDER BY CASE WHEN " + live::recordSql() + " THEN 0 ELSE 1 END, Z_PK");
    while (st.executeStep()) {
      fees.emplace(st.getColumn(1).getInt64(), std::pair{st.getColumn(0).getInt64(), textAt(st, 2)});
      links.emplace(st.getColumn(0).getInt64(), textAt(st, 2));
    }
  }
  std::set<int64_t> changed;
  for (const auto& [pk, number] : records) {
    auto fee = fees.find(number);
    if (fee == fees.end() || fee->second.first == pk) continue;
    Text& mine = links[pk];
    Text& theirs = links[fee->second.first];
    if (hasIdentifier(mine) && hasIdentifier(theirs)) continue;
    const std::string link = hasIdentifier(theirs) ? *theirs : hasIdentifier(mine) ? *mine : BaseRepository::newUid();
    if (mine != link) {
      mine = link;
      changed.insert(pk);
    }
    if (theirs != link) {
      theirs = link;
      changed.insert(fee->second.first);
    }
  }
  int written = 0;
  for (int64_t pk : changed) {
    written += execute(store, "UPDATE ZINOUTCOME SET ZTXUIDFEE = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?",
                       links[pk], now, pk);
  }
  return written;
}

// The rules that restore categories from older numbers.
std::vector<LinkRule> categoryRules() {
  const std::string incomeOrExpense = "ZDO_TYPE IN " + kindListSql({TxKind::kIncome, TxKind::kExpense});
  return {
      // A sub-category's parent; the number makes it a sub-category.
      {"ZCATEGORY", "ZPUID", {"ZZDATA"}, "ZCATEGORY", "1", {}, "ZSTATUS = 2"},
      {"ZINOUTCOME", "ZCATEGORYUID", {"ZCATEGORYID", "ZCATEGORY_ID"}, "ZCATEGORY", incomeOrExpense,
       kPseudoCategories},
      {"ZFAVTRANSACTION", "ZCATEGORYUID", {"ZSUBCATEGORY_ID", "ZCATEGORY_ID"}, "ZCATEGORY", "ZDOTYPE IN (0, 1)",
       kPseudoCategories},
      {"ZREPEATTRANSACTION", "ZCATEGORYUID", {"ZSUBCATEGORY_ID", "ZCATEGORY_ID"}, "ZCATEGORY",
       "ZDOTYPE IN (0, 1)", kPseudoCategories},
  };
}

// The rules that restore the other links from older numbers.
std::vector<LinkRule> otherLinkRules() {
  const std::string notTotal = "(ZTOTALTYPEINT IS NULL OR ZTOTALTYPEINT != 1)";
  return {
      {"ZASSET", "ZGROUPUID", {"ZGROUP_ID"}, "ZASSETGROUP"},
      {"ZASSET", "ZCARDASSETUID", {"ZCARD_ACCOUNT_ID"}, "ZASSET"},
      {"ZASSET", "ZCURRENCYUID", {"ZCURRENCYID"}, "ZCURRENCY"},
      {"ZINOUTCOME", "ZASSETUID", {"ZASSET_ID"}, "ZASSET"},
      {"ZINOUTCOME", "ZCURRENCYUID", {"ZCURRENCYID"}, "ZCURRENCY"},
      {"ZFAVTRANSACTION", "ZASSETUID", {"ZACCOUNT_ID"}, "ZASSET"},
      {"ZFAVTRANSACTION", "ZTOASSETUID", {"ZTO_ACCOUNT_ID"}, "ZASSET"},
      {"ZFAVTRANSACTION", "ZCURRENCYUID", {"ZCURRENCYID", "ZCURRENCY_SUB"}, "ZCURRENCY"},
      {"ZREPEATTRANSACTION", "ZASSETUID", {"ZACCOUNT_ID"}, "ZASSET"},
      {"ZREPEATTRANSACTION", "ZTOASSETUID", {"ZTO_ACCOUNT_ID"}, "ZASSET"},
      {"ZREPEATTRANSACTION", "ZCURRENCYUID", {"ZCURRENCYID", "ZCURRENCY_SUB"}, "ZCURRENCY"},
      // Budget targets by the kind of budget: a category, an account of
      // transfers counted as expense, an account group.
      {"ZBUDGET", "ZTARGETUID", {}, "ZCATEGORY", notTotal + " AND (ZTRANSTYPEINT IS NULL OR ZTRANSTYPEINT = 0)"},
      {"ZBUDGET", "ZTARGETUID", {}, "ZASSET", notTotal + " AND ZTRANSTYPEINT = 1"},
      {"ZBUDGET", "ZTARGETUID", {}, "ZASSETGROUP", notTotal + " AND ZTRANSTYPEINT = 3"},
      {"ZBUDGETAMOUNT", "ZBUDGETUID", {"ZBUDGETID"}, "ZBUDGET"},
      {"ZMESSAGEMACRO2", "ZCONASSETUID", {"ZCONASSETID"}, "ZASSET"},
  };
}

// The first listed group in group order whose type is accepted.
template <class Accept>
std::optional<std::string> firstGroup(Store& store, Accept&& accept) {
  auto st = store.prepare("SELECT ZUID, ZSTATUS FROM ZASSETGROUP WHERE " + live::groupSql() + " AND NOT " +
                          noIdentifierSql("ZUID") + " ORDER BY ZORDER, Z_PK");
  while (st.executeStep()) {
    if (accept(st.isColumnNull(1) ? int64_t{0} : st.getColumn(1).getInt64())) return st.getColumn(0).getString();
  }
  return std::nullopt;
}

std::optional<double> parseAmountText(std::string text) {
  std::erase_if(text, [](char c) { return c == '\n' || c == '\r' || c == ','; });
  text = trimmed(text);
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

Result<int> giveMissingIdentifiers(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  return repairInTransaction(ledger, "giveMissingIdentifiers", [&](int& changed) -> Status {
    for (const std::string& table : uniqueUidTables()) {
      if (table == "ZINOUTCOME" || !store.tableExists(table)) continue;
      std::vector<int64_t> keys;
      {
        auto st = store.prepare("SELECT Z_PK FROM " + table + " WHERE " + noIdentifierSql("ZUID") + " ORDER BY Z_PK");
        while (st.executeStep()) keys.push_back(st.getColumn(0).getInt64());
      }
      for (int64_t pk : keys) {
        changed += execute(store, "UPDATE " + table + " SET ZUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?",
                           BaseRepository::newUid(), now, pk);
      }
    }
    return Status::ok();
  });
}

Result<int> rewriteOlderLinks(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  auto done = repairInTransaction(ledger, "rewriteOlderLinks", [&](int& changed) -> Status {
    for (const LinkRule& rule : categoryRules()) changed += rewriteLinks(store, now, rule);
    for (const LinkRule& rule : otherLinkRules()) changed += rewriteLinks(store, now, rule);
    changed += pairOlderTransfers(store, now);
    changed += linkOlderFees(store, now);
    return Status::ok();
  });
  ledger.commonData().ReloadTheData();
  return done;
}

Result<int> oneCategoryMigration(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  auto done = repairInTransaction(ledger, "oneCategoryMigration", [&](int& changed) -> Status {
    const auto rules = categoryRules();
    changed += rewriteLinks(store, now, rules.front());
    // Sub-categories still without a parent go under the first live main
    // category of their kind, as on every start.
    CategoryRepository categories(ledger);
    for (Category& orphan : categories.getArraySubCategoryByNotParent()) {
      if (!isLive(orphan) || !orphan.doType) continue;
      auto mains = categories.getMainCategoryByInOutType(static_cast<int>(*orphan.doType), false);
      if (mains.empty()) continue;
      VARNEL_RETURN_IF_ERROR(categories.updateSubCategoryByNotParent(orphan, *mains.front().uid));
      ++changed;
    }
    for (size_t i = 1; i < rules.size(); ++i) changed += rewriteLinks(store, now, rules[i]);

    // Balance adjustments are the pseudo-category "-4".
    std::string adjustment = "ZDO_TYPE IN " + kindListSql({TxKind::kOldAdjustment, TxKind::kAdjustmentUp,
                                                           TxKind::kAdjustmentDown});
    if (store.columnExists("ZINOUTCOME", "ZCATEGORY_ID")) adjustment += " OR ZCATEGORY_ID = -4";
    changed += execute(store, "UPDATE ZINOUTCOME SET ZCATEGORYUID = '-4', ZUTIME = ?, ZISSYNCED = 1 WHERE (" +
                                  adjustment + ") AND " + noIdentifierSql("ZCATEGORYUID"),
                       now);

    // The rest by their older category name, in their kind: a live category
    // of that name (a main one before a sub-category), else a new main one.
    std::map<std::pair<int64_t, std::string>, std::string> byName;
    {
      auto st = store.prepare("SELECT ZDOTYPE, ZNAME, ZUID FROM ZCATEGORY WHERE " + live::recordSql() + " AND NOT " +
                              noIdentifierSql("ZUID") + " ORDER BY CASE WHEN ZSTATUS = 2 THEN 1 ELSE 0 END, ZORDER, Z_PK");
      while (st.executeStep()) {
        const std::string name = trimmed(textAt(st, 1).value_or(""));
        if (name.empty() || st.isColumnNull(0)) continue;
        byName.emplace(std::pair{st.getColumn(0).getInt64(), name}, st.getColumn(2).getString());
      }
    }
    struct Row {
      int64_t pk, kind;
      std::string name;
    };
    std::vector<Row> rows;
    {
      auto st = store.prepare("SELECT Z_PK, ZDO_TYPE, ZCATEGORY_NAME FROM ZINOUTCOME WHERE ZDO_TYPE IN " +
                              kindListSql({TxKind::kIncome, TxKind::kExpense}) + " AND " +
                              noIdentifierSql("ZCATEGORYUID") + " ORDER BY Z_PK");
      while (st.executeStep()) {
        const std::string name = trimmed(textAt(st, 2).value_or(""));
        if (!name.empty()) rows.push_back({st.getColumn(0).getInt64(), textAt(st, 1) == "0" ? 0 : 1, name});
      }
    }
    BaseRepository repo(ledger);
    for (const Row& row : rows) {
      auto it = byName.find({row.kind, row.name});
      if (it == byName.end()) {
        Category created = repo.newObjectForEntity<Category>();
        created.Name = row.name;
        created.doType = row.kind;
        created.pUid = "0";
        created.Status = 0;
        created.Order = repo.nextAvailble<Category>("Order");
        created.isDel = 0;
        VARNEL_RETURN_IF_ERROR(repo.saveStamped(created, "updateCategory"));
        ++changed;
        it = byName.emplace(std::pair{row.kind, row.name}, *created.uid).first;
      }
      changed += execute(store, "UPDATE ZINOUTCOME SET ZCATEGORYUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?",
                         it->second, now, row.pk);
    }
    return Status::ok();
  });
  ledger.commonData().ReloadAppDataCategory();
  return done;
}

Result<int> currencyMigration(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  auto done = repairInTransaction(ledger, "currencyMigration", [&](int& changed) -> Status {
    CurrencyRepository currencies(ledger);
    EtcRepository etc(ledger);
    auto main = currencies.getMainCurrency();
    if (!main) {
      std::string iso;
      for (int kind : kOlderMainCurrencyKinds) {
        auto setting = etc.getEtcUserSettingByType(kind);
        if (!setting || !setting->Data) continue;
        std::string code = trimmed(*setting->Data);
        std::transform(code.begin(), code.end(), code.begin(), [](unsigned char c) { return std::toupper(c); });
        if (CalcCurrency::currencyByIso(code)) {
          iso = code;
          break;
        }
      }
      if (iso.empty()) iso = CalcCurrency::defaultMainIso(ledger.env().locale());
      auto made = currencies.addMainCurrency(iso);
      VARNEL_RETURN_IF_ERROR(made.status());
      main = made.value();
      ++changed;
    }
    const std::string mainUid = main->uid.value_or("");
    const std::string mainIso = main->iso.value_or(main->mainIso.value_or(""));

    for (int kind : kOlderCurrencyKinds) {
      for (const Etc& setting : etc.fetch<Etc>(" WHERE ZDATATYPE = ? AND " + live::recordSql() + " ORDER BY Z_PK",
                                               kind)) {
        std::string code = trimmed(setting.Data.value_or(""));
        std::transform(code.begin(), code.end(), code.begin(), [](unsigned char c) { return std::toupper(c); });
        const auto rate = parseAmountText(setting.zData.value_or(""));
        if (code == mainIso || !CalcCurrency::currencyByIso(code) || !rate || !isUsableRate(*rate)) {
          ledger.log().warn("currencyMigration: older currency setting {} ({}, {}) is not a currency; skipped",
                            setting.uid.value_or(""), setting.Data.value_or(""), setting.zData.value_or(""));
          continue;
        }
        if (currencies.getCurrencyByMainIsoAndIso(mainIso, code)) continue;
        VARNEL_RETURN_IF_ERROR(currencies.addCurrencyRate(mainIso, code, *rate, true).status());
        ++changed;
      }
    }

    // Links by the older currency numbers, then by ISO code, then the main
    // currency for whatever names none.
    for (const LinkRule& rule : otherLinkRules()) {
      if (rule.target == "ZCURRENCY") changed += rewriteLinks(store, now, rule);
    }
    const std::string byIso =
        "(SELECT c.ZUID FROM ZCURRENCY c WHERE c.ZMAINISO = ? AND c.ZISO = UPPER(TRIM({0})) ORDER BY c.Z_PK LIMIT 1)";
    for (const auto& [table, isoColumn] : {std::pair{"ZINOUTCOME", "ZCURRENCY"},
                                           std::pair{"ZFAVTRANSACTION", "ZCURRENCY_SUB"},
                                           std::pair{"ZREPEATTRANSACTION", "ZCURRENCY_SUB"}}) {
      const std::string lookup = fmt::format(fmt::runtime(byIso), isoColumn);
      changed += execute(store, fmt::format("UPDATE {} SET ZCURRENCYUID = {}, ZUTIME = ?, ZISSYNCED = 1 WHERE {} "
                                            "AND {} IS NOT NULL AND {} IS NOT NULL",
                                            table, lookup, noIdentifierSql("ZCURRENCYUID"), isoColumn, lookup),
                         mainIso, now, mainIso);
    }
    for (const char* table : {"ZASSET", "ZINOUTCOME", "ZFAVTRANSACTION", "ZREPEATTRANSACTION"}) {
      changed += execute(store,
                         fmt::format("UPDATE {} SET ZCURRENCYUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE {}", table,
                                     noIdentifierSql("ZCURRENCYUID")),
                         mainUid, now);
    }

    // Amounts of the oldest model: the older text, converted by the money
    // module as a save converts.
    std::unordered_map<std::string, Currency> rows;
    for (Currency& c : currencies.getListCurrencyAll()) {
      if (c.uid) rows.emplace(*c.uid, c);
    }
    std::unordered_map<std::string, std::string> accountCurrency;
    {
      auto st = store.prepare("SELECT ZUID, ZCURRENCYUID FROM ZASSET WHERE ZUID IS NOT NULL");
      while (st.executeStep()) accountCurrency[st.getColumn(0).getString()] = textAt(st, 1).value_or("");
    }
    auto moneyOf = [&](const std::string& uid) {
      auto it = rows.find(uid);
      return moneyCurrency(it == rows.end() ? *main : it->second, main);
    };
    const MoneyCurrency mainMoney = moneyCurrency(*main, main);
    struct Amounts {
      int64_t pk;
      std::string money, currencyUid, assetUid;
      Real amount, amountAccount;
    };
    std::vector<Amounts> missing;
    {
      auto st = store.prepare("SELECT Z_PK, ZMONEY, ZCURRENCYUID, ZASSETUID, ZAMOUNT, ZAMOUNTACCOUNT FROM ZINOUTCOME "
                              "WHERE ZAMOUNTSUB IS NULL AND ZMONEY IS NOT NULL AND TRIM(ZMONEY) != '' ORDER BY Z_PK");
      while (st.executeStep()) {
        missing.push_back({st.getColumn(0).getInt64(), st.getColumn(1).getString(), textAt(st, 2).value_or(""),
                           textAt(st, 3).value_or(""),
                           st.isColumnNull(4) ? Real{} : Real{st.getColumn(4).getDouble()},
                           st.isColumnNull(5) ? Real{} : Real{st.getColumn(5).getDouble()}});
      }
    }
    for (const Amounts& row : missing) {
      const auto value = parseAmountText(row.money);
      if (!value) {
        ledger.log().warn("currencyMigration: transaction {} has no amount in its older text '{}'", row.pk, row.money);
        continue;
      }
      const MoneyCurrency entered = moneyOf(row.currencyUid);
      const double amountSub = roundMoney(*value, entered.decimals);
      const double amount = row.amount ? *row.amount
                                       : (entered.countsAsMain ? roundMoney(amountSub, mainMoney.decimals)
                                                               : enteredToMain(amountSub, entered.rate, mainMoney.decimals));
      auto account = accountCurrency.find(row.assetUid);
      const MoneyCurrency accountMoney =
          account == accountCurrency.end() || account->second.empty() ? mainMoney : moneyOf(account->second);
      const double amountAccount =
          row.amountAccount ? *row.amountAccount : accountAmount(row.currencyUid, amountSub, amount, accountMoney);
      changed += execute(store,
                         "UPDATE ZINOUTCOME SET ZAMOUNTSUB = ?, ZAMOUNT = ?, ZAMOUNTACCOUNT = ?, ZUTIME = ?, "
                         "ZISSYNCED = 1 WHERE Z_PK = ?",
                         amountSub, amount, amountAccount, now, row.pk);
    }

    const bool subCategoriesInUse =
        store.db().execAndGet("SELECT EXISTS (SELECT 1 FROM ZCATEGORY WHERE ZSTATUS = 2 AND " + live::recordSql() + ")")
            .getInt() == 1;
    if (subCategoriesInUse && !etc.getEtcUserSettingByType(etc_kind::kUseSubCategory)) {
      VARNEL_RETURN_IF_ERROR(etc.updateUseSubCategory(true));
      ++changed;
    }
    return Status::ok();
  });
  ledger.commonData().ReloadTheData();
  return done;
}

Result<int> accountsWithoutGroupFix(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  auto done = repairInTransaction(ledger, "accountsWithoutGroupFix", [&](int& changed) -> Status {
    std::vector<int64_t> accounts;
    {
      auto st = store.prepare("SELECT Z_PK FROM ZASSET WHERE " + noIdentifierSql("ZGROUPUID") +
                              " OR ZGROUPUID NOT IN (SELECT ZUID FROM ZASSETGROUP WHERE ZUID IS NOT NULL) ORDER BY Z_PK");
      while (st.executeStep()) accounts.push_back(st.getColumn(0).getInt64());
    }
    if (accounts.empty()) return Status::ok();
    auto ordinary = [](int64_t type) { return type != kCreditCardGroupType && type != kDebitCardGroupType; };
    auto group = firstGroup(store, ordinary);
    if (!group) {
      VARNEL_RETURN_IF_ERROR(EasyInitDataMake(ledger).ensureInitialAccountGroups());
      group = "1";
    }
    for (int64_t pk : accounts) {
      changed += execute(store, "UPDATE ZASSET SET ZGROUPUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?", *group,
                         now, pk);
    }
    return Status::ok();
  });
  ledger.commonData().ReloadTheData();
  return done;
}

Result<int> assetIsDelIsReflectFix(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  auto done = repairInTransaction(ledger, "assetIsDelIsReflectFix", [&](int& changed) -> Status {
    if (store.columnExists("ZASSET", "ZZDATA")) {
      changed += execute(store,
                         "UPDATE ZASSET SET ZISDEL = CAST(TRIM(ZZDATA) AS INTEGER), ZUTIME = ?, ZISSYNCED = 1 "
                         "WHERE ZISDEL IS NULL AND TRIM(ZZDATA) IN ('1', '2', '3')",
                         now);
    }
    if (store.columnExists("ZASSET", "ZZDATA2")) {
      changed += execute(store,
                         "UPDATE ZASSET SET ZISREFLECT = 1, ZUTIME = ?, ZISSYNCED = 1 "
                         "WHERE ZISREFLECT IS NULL AND TRIM(ZZDATA2) = '1'",
                         now);
    }
    return Status::ok();
  });
  ledger.commonData().ReloadTheData();
  return done;
}

Result<int> messageMacroAccountFix(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  return repairInTransaction(ledger, "messageMacroAccountFix", [&](int& changed) -> Status {
    for (const LinkRule& rule : otherLinkRules()) {
      if (rule.table == "ZMESSAGEMACRO2") changed += rewriteLinks(store, now, rule);
    }
    changed += execute(store,
                       "UPDATE ZMESSAGEMACRO2 SET ZCONASSETUID = NULL, ZUTIME = ?, ZISSYNCED = 1 WHERE NOT " +
                           noIdentifierSql("ZCONASSETUID") +
                           " AND ZCONASSETUID NOT IN (SELECT ZUID FROM ZASSET WHERE ZUID IS NOT NULL)",
                       now);
    return Status::ok();
  });
}

Result<int> photoInOutComeAidFix(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  return repairInTransaction(ledger, "photoInOutComeAidFix", [&](int& changed) -> Status {
    changed += rewriteLinks(store, now, LinkRule("ZPHOTO", "ZTXUID", {"ZINOUTCOMEID"}, "ZINOUTCOME"));
    return Status::ok();
  });
}

Result<int> migration2194Accounts(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  auto done = repairInTransaction(ledger, "migration2194Accounts", [&](int& changed) -> Status {
    const std::string noDay = "(ZCARD_DAYFIN IS NULL OR TRIM(ZCARD_DAYFIN) IN ('', '0'))";
    const std::string noPayDay = "(ZCARD_DAYPAY IS NULL OR TRIM(ZCARD_DAYPAY) IN ('', '0'))";
    changed += execute(store,
                       "UPDATE ZASSET SET ZCARD_DAYFIN = CASE WHEN " + noDay + " THEN '1' ELSE ZCARD_DAYFIN END, "
                       "ZCARD_DAYPAY = CASE WHEN " + noPayDay + " THEN '1' ELSE ZCARD_DAYPAY END, ZUTIME = ?, "
                       "ZISSYNCED = 1 WHERE (" + noDay + " OR " + noPayDay +
                       ") AND ZGROUPUID IN (SELECT ZUID FROM ZASSETGROUP WHERE ZSTATUS = 2)",
                       now);

    std::vector<int64_t> debitCards;
    {
      auto st = store.prepare(
          "SELECT a.Z_PK FROM ZASSET a WHERE " + live::accountSql("a") + " AND NOT " +
          noIdentifierSql("a.ZCARDASSETUID") + " AND a.ZCARDASSETUID != COALESCE(a.ZUID, '') "
          "AND a.ZCARDASSETUID IN (SELECT ZUID FROM ZASSET WHERE ZUID IS NOT NULL) "
          "AND (a.ZGROUPUID IS NULL OR a.ZGROUPUID NOT IN "
          "(SELECT ZUID FROM ZASSETGROUP WHERE ZUID IS NOT NULL AND ZSTATUS IN (2, 3))) ORDER BY a.Z_PK");
      while (st.executeStep()) debitCards.push_back(st.getColumn(0).getInt64());
    }
    if (debitCards.empty()) return Status::ok();
    auto group = firstGroup(store, [](int64_t type) { return type == kDebitCardGroupType; });
    if (!group) {
      BaseRepository repo(ledger);
      const bool free = !repo.dataByUid<AssetGroup>(std::to_string(kDebitCardGroupType));
      AssetGroup made = free ? repo.newObjectForEntity<AssetGroup>(std::to_string(kDebitCardGroupType))
                             : repo.newObjectForEntity<AssetGroup>();
      made.Status = kDebitCardGroupType;
      made.AssetGroupName = "Debit card";
      made.Order = repo.nextAvailble<AssetGroup>("Order");
      for (const AssetGroupSeed& seed : defaultAssetGroups(ledger.env().language())) {
        if (seed.typeCode != kDebitCardGroupType) continue;
        made.AssetGroupName = seed.name;
        made.Order = seed.position + 100;
      }
      made.isDel = 0;
      VARNEL_RETURN_IF_ERROR(repo.saveStamped(made, "updateAssetGroup"));
      ++changed;
      group = made.uid;
    }
    for (int64_t pk : debitCards) {
      changed += execute(store, "UPDATE ZASSET SET ZGROUPUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?", *group,
                         now, pk);
    }
    return Status::ok();
  });
  ledger.commonData().ReloadTheData();
  return done;
}

}  // namespace varnel
