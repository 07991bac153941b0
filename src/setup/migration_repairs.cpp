#include "setup/migration_repairs.h"

#include <cmath>
#include <map>
#include <set>
#include <unordered_map>

#include <spdlog/spdlog.h>

#include "ledger/currency_repository.h"
#include "model/base_repository.h"
#include "model/liveness.h"
#include "model/text.h"
#include "setup/migration_support.h"
#include "model/tx_kind.h"

namespace varnel {

namespace {

using namespace migration_detail;

constexpr const char* kNoCurrency = "(ZCURRENCYUID IS NULL OR ZCURRENCYUID = '')";

// The account link of a transaction whose account could not be found.
constexpr const char* kUnknownAccount = "-2";

// An account link that names an account: not missing, "", "0" or the
// uncategorised mark "-2".
bool usableAccountLink(const Text& link) {
  return link && !link->empty() && *link != "0" && *link != kUnknownAccount;
}

// One side of a transfer, as the pair repairs read it.
struct TransferSide {
  int64_t pk = 0;
  std::string uid;
  std::string kind;
  std::string link;  // txUidTrans
  Text assetUid;
  Text toAssetUid;
};

// Live transfer sides dated from the local midnight of `year`-`month`-`day`
// with a link, grouped by the link.
std::map<std::string, std::vector<TransferSide>> transferPairsFrom(Ledger& ledger, int year, int month,
                                                                   int day) {
  const double from = ledger.env().dates().fromLocal(year, month, day);
  auto st = ledger.store().prepare(
      "SELECT Z_PK, ZUID, ZDO_TYPE, ZTXUIDTRANS, ZASSETUID, ZTOASSETUID FROM ZINOUTCOME WHERE ZDO_TYPE IN " +
      kindListSql({TxKind::kTransferOut, TxKind::kTransferIn}) + " AND " + live::recordSql() +
      " AND ZDATE >= ? AND ZTXUIDTRANS IS NOT NULL AND ZTXUIDTRANS NOT IN ('', '0') ORDER BY Z_PK");
  st.bind(1, from);
  std::map<std::string, std::vector<TransferSide>> pairs;
  while (st.executeStep()) {
    TransferSide side;
    side.pk = st.getColumn(0).getInt64();
    side.uid = textAt(st, 1).value_or("");
    side.kind = textAt(st, 2).value_or("");
    side.link = textAt(st, 3).value_or("");
    side.assetUid = textAt(st, 4);
    side.toAssetUid = textAt(st, 5);
    pairs[side.link].push_back(std::move(side));
  }
  return pairs;
}

// Whether `copy` is `original` itself or the copy of it the duplicate-identifier
// repair made (original + "_" + the copy's row key).
bool sameIdentifier(const TransferSide& original, const TransferSide& copy) {
  return original.uid == copy.uid || copy.uid == original.uid + "_" + std::to_string(copy.pk);
}

bool identifierTaken(Store& store, const std::string& uid) {
  auto st = store.prepare("SELECT 1 FROM ZINOUTCOME WHERE ZUID = ?");
  st.bind(1, uid);
  return st.executeStep();
}

}  // namespace

Result<MainCurrencyAmountRepair> fixAmountMainCurrencyEqual(Ledger& ledger) {
  MainCurrencyAmountRepair report;
  BaseRepository repo(ledger);
  const auto main = CurrencyRepository(ledger).getMainCurrency();
  if (!main || !main->uid || main->uid->empty()) {
    ledger.log().warn("fixAmountMainCurrencyEqual: the ledger has no main currency; nothing repaired");
    return report;
  }
  const std::string mainUid = *main->uid;
  const int64_t now = ledger.env().nowMs();
  Store& store = ledger.store();
  Status done = repo.inTransaction([&]() -> Status {
    report.currenciesSet = execute(
        store, std::string("UPDATE ZINOUTCOME SET ZCURRENCYUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE ") + kNoCurrency,
        mainUid, now);
    // Both amounts are main-currency money: the entered one is what the user
    // typed, so it is the one that stands.
    report.amountsSet = execute(store,
                                "UPDATE ZINOUTCOME SET ZAMOUNT = ZAMOUNTSUB, ZUTIME = ?, ZISSYNCED = 1 "
                                "WHERE ZCURRENCYUID = ? AND ZAMOUNTSUB IS NOT NULL "
                                "AND (ZAMOUNT IS NULL OR ZAMOUNT != ZAMOUNTSUB)",
                                now, mainUid);
    report.accountCurrenciesSet =
        execute(store,
                std::string("UPDATE ZASSET SET ZCURRENCYUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE ") + kNoCurrency +
                    " AND ZUID IN (SELECT ZASSETUID FROM ZINOUTCOME WHERE ZASSETUID IS NOT NULL)",
                mainUid, now);
    report.accountAmountsSet = execute(store,
                                       "UPDATE ZINOUTCOME SET ZAMOUNTACCOUNT = ZAMOUNTSUB, ZUTIME = ?, ZISSYNCED = 1 "
                                       "WHERE ZAMOUNTSUB IS NOT NULL "
                                       "AND (ZAMOUNTACCOUNT IS NULL OR ZAMOUNTACCOUNT != ZAMOUNTSUB) "
                                       "AND ZCURRENCYUID = (SELECT a.ZCURRENCYUID FROM ZASSET a "
                                       "WHERE a.ZUID = ZINOUTCOME.ZASSETUID)",
                                       now);
    return Status::ok();
  }, "fixAmountMainCurrencyEqual");
  if (report.accountCurrenciesSet > 0 || !done) ledger.commonData().ReloadAppDataAsset();
  if (!done) return done;
  if (report.changes() > 0) {
    ledger.log().info("fixAmountMainCurrencyEqual: {} currencies, {} main amounts, {} account currencies, "
                      "{} account amounts",
                      report.currenciesSet, report.amountsSet, report.accountCurrenciesSet,
                      report.accountAmountsSet);
  }
  return report;
}

Result<int> inOutComeUidFix(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  return repairInTransaction(ledger, "inOutComeUidFix", [&](int& changed) -> Status {
    std::vector<int64_t> keys;
    {
      auto st = store.prepare("SELECT Z_PK FROM ZINOUTCOME WHERE ZUID IS NULL OR ZUID IN ('', '0') ORDER BY Z_PK");
      while (st.executeStep()) keys.push_back(st.getColumn(0).getInt64());
    }
    for (int64_t pk : keys) {
      changed += execute(store, "UPDATE ZINOUTCOME SET ZUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?",
                         BaseRepository::newUid(), now, pk);
    }
    return Status::ok();
  });
}

Result<int> assetUidFix(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  return repairInTransaction(ledger, "assetUidFix", [&](int& changed) -> Status {
    // Names in lookup order: live accounts first, then the deleted ones, each
    // in the order the account list shows them. The first holder of a name wins.
    std::unordered_map<std::string, std::string> byName;
    {
      auto st = store.prepare("SELECT ZNICNAME, ZUID FROM ZASSET WHERE ZUID IS NOT NULL AND ZUID NOT IN ('', '0') "
                              "ORDER BY CASE WHEN " + live::accountSql() + " THEN 0 ELSE 1 END, ZORDER, Z_PK");
      while (st.executeStep()) {
        const std::string name = trimmed(textAt(st, 0).value_or(""));
        if (!name.empty()) byName.emplace(name, *textAt(st, 1));
      }
    }
    auto lookup = [&](const Text& name) -> std::string {
      const std::string key = trimmed(name.value_or(""));
      if (key.empty()) return kUnknownAccount;
      auto it = byName.find(key);
      return it == byName.end() ? std::string(kUnknownAccount) : it->second;
    };
    struct Row {
      int64_t pk;
      Text assetUid, toAssetUid, assetName, otherName, kind;
    };
    std::vector<Row> rows;
    {
      auto st = store.prepare(
          "SELECT Z_PK, ZASSETUID, ZTOASSETUID, ZASSET_NIC, ZCATEGORY_NAME, ZDO_TYPE FROM ZINOUTCOME "
          "WHERE ZASSETUID IS NULL OR ZASSETUID IN ('', '0', '-2') ORDER BY Z_PK");
      while (st.executeStep()) {
        rows.push_back({st.getColumn(0).getInt64(), textAt(st, 1), textAt(st, 2), textAt(st, 3), textAt(st, 4),
                        textAt(st, 5)});
      }
    }
    for (const Row& row : rows) {
      const std::string asset = lookup(row.assetName);
      Text to = row.toAssetUid;
      const bool transfer = row.kind && kindOfCode(*row.kind) &&
                            (*kindOfCode(*row.kind) == TxKind::kTransferOut ||
                             *kindOfCode(*row.kind) == TxKind::kTransferIn);
      if (transfer && !usableAccountLink(to)) to = lookup(row.otherName);
      if (row.assetUid == asset && row.toAssetUid == to) continue;
      changed += execute(store,
                         "UPDATE ZINOUTCOME SET ZASSETUID = ?, ZTOASSETUID = ?, ZUTIME = ?, ZISSYNCED = 1 "
                         "WHERE Z_PK = ?",
                         asset, to, now, row.pk);
    }
    return Status::ok();
  });
}

Result<int> fixMoveInOutComeData2192(Ledger& ledger) {
  Store& store = ledger.store();
  const DateUtil& dates = ledger.env().dates();
  const int64_t now = ledger.env().nowMs();
  return repairInTransaction(ledger, "fixMoveInOutComeData2192", [&](int& changed) -> Status {
    // Links found on exactly one record, deleted records counted: a pair
    // whose other side was deleted is not an orphan.
    std::set<std::string> orphanLinks;
    {
      auto st = store.prepare(
          "SELECT ZTXUIDTRANS FROM ZINOUTCOME WHERE ZTXUIDTRANS IS NOT NULL AND ZTXUIDTRANS NOT IN ('', '0') "
          "GROUP BY ZTXUIDTRANS HAVING COUNT(*) = 1");
      while (st.executeStep()) orphanLinks.insert(st.getColumn(0).getString());
    }
    if (orphanLinks.empty()) return Status::ok();
    struct Orphan {
      int64_t pk;
      std::string link, kind;
      Text assetUid, toAssetUid;
      double date, amountSub, amount;
    };
    std::vector<Orphan> orphans;
    {
      auto st = store.prepare(
          "SELECT Z_PK, ZTXUIDTRANS, ZDO_TYPE, ZASSETUID, ZTOASSETUID, ZDATE, ZAMOUNTSUB, ZAMOUNT FROM ZINOUTCOME "
          "WHERE ZDO_TYPE IN " + kindListSql({TxKind::kTransferOut, TxKind::kTransferIn}) + " AND " +
          live::recordSql() + " AND ZTXUIDTRANS IS NOT NULL AND ZDATE IS NOT NULL ORDER BY ZDATE, Z_PK");
      while (st.executeStep()) {
        const std::string link = st.getColumn(1).getString();
        if (!orphanLinks.count(link)) continue;
        orphans.push_back({st.getColumn(0).getInt64(), link, textAt(st, 2).value_or(""), textAt(st, 3),
                           textAt(st, 4), realAt(st, 5), realAt(st, 6), realAt(st, 7)});
      }
    }
    std::set<int64_t> taken;
    for (const Orphan& orphan : orphans) {
      if (taken.count(orphan.pk) || !orphan.assetUid || !orphan.toAssetUid) continue;
      const TxKind side = *kindOfCode(orphan.kind);
      const LocalDateTime local = dates.toLocal(orphan.date);
      const double dayStart = dates.fromLocal(local.year, local.month, local.day);
      const double dayEnd = dates.fromLocal(local.year, local.month, local.day + 1);
      const std::string time = dates.format(orphan.date, "yyyyMMddHHmmss");
      auto st = store.prepare(
          "SELECT Z_PK, ZTXUIDTRANS, ZDATE, ZAMOUNTSUB, ZAMOUNT FROM ZINOUTCOME WHERE ZDO_TYPE = ? "
          "AND ZDATE >= ? AND ZDATE < ? AND ZTOASSETUID = ? AND ZASSETUID = ? AND " + live::recordSql() +
          " ORDER BY ZDATE, Z_PK");
      st.bind(1, std::string(kindCode(oppositeSide(side))));
      st.bind(2, dayStart);
      st.bind(3, dayEnd);
      st.bind(4, *orphan.assetUid);
      st.bind(5, *orphan.toAssetUid);
      std::optional<int64_t> partner;
      while (st.executeStep()) {
        const int64_t pk = st.getColumn(0).getInt64();
        const Text link = textAt(st, 1);
        // A record paired with another one keeps its pair.
        const bool free = !link || link->empty() || *link == "0" || orphanLinks.count(*link);
        if (!free || taken.count(pk) || pk == orphan.pk) continue;
        if (dates.format(realAt(st, 2), "yyyyMMddHHmmss") != time) continue;
        if (std::trunc(realAt(st, 3)) != std::trunc(orphan.amountSub) ||
            std::trunc(realAt(st, 4)) != std::trunc(orphan.amount)) {
          continue;
        }
        partner = pk;
        break;
      }
      st.reset();
      if (!partner) continue;
      taken.insert(orphan.pk);
      taken.insert(*partner);
      changed += execute(store, "UPDATE ZINOUTCOME SET ZTXUIDTRANS = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?",
                         orphan.link, now, *partner);
    }
    return Status::ok();
  });
}

Result<int> inOutComeTransToAssetUidFix(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  return repairInTransaction(ledger, "inOutComeTransToAssetUidFix", [&](int& changed) -> Status {
    const auto pairs = transferPairsFrom(ledger, 2019, 12, 1);
    std::set<int64_t> touched;
    for (const auto& [link, sides] : pairs) {
      if (sides.size() != 2 || sides[0].kind == sides[1].kind) continue;
      TransferSide out = sides[0].kind == kindCode(TxKind::kTransferOut) ? sides[0] : sides[1];
      TransferSide in = sides[0].kind == kindCode(TxKind::kTransferOut) ? sides[1] : sides[0];
      // The identifier both sides were given; the side that must change is
      // the one whose kind the suffix does not name.
      std::optional<std::string> shared;
      if (sameIdentifier(out, in)) shared = out.uid;
      if (sameIdentifier(in, out)) shared = in.uid;
      if (shared && shared->size() >= 2) {
        const std::string stem = shared->substr(0, shared->size() - 2);
        TransferSide* renamed = nullptr;
        std::string newUid;
        if (endsWith(*shared, "_3")) {
          renamed = &in;
          newUid = stem + "_4";
        } else if (endsWith(*shared, "_4")) {
          renamed = &out;
          newUid = stem + "_3";
        }
        if (renamed && renamed->uid != newUid) {
          if (identifierTaken(store, newUid)) {
            ledger.log().warn("inOutComeTransToAssetUidFix: {} is taken; {} keeps {}", newUid, renamed->pk,
                              renamed->uid);
          } else {
            execute(store, "UPDATE ZINOUTCOME SET ZUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?", newUid,
                    now, renamed->pk);
            renamed->uid = newUid;
            touched.insert(renamed->pk);
          }
        }
      }
      for (auto [side, other] : {std::pair{&out, &in}, std::pair{&in, &out}}) {
        if (side->toAssetUid == other->assetUid) continue;
        execute(store, "UPDATE ZINOUTCOME SET ZTOASSETUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?",
                other->assetUid, now, side->pk);
        touched.insert(side->pk);
      }
    }
    changed = static_cast<int>(touched.size());
    return Status::ok();
  });
}

Result<int> inOutComeTransDoTypeFix(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  return repairInTransaction(ledger, "inOutComeTransDoTypeFix", [&](int& changed) -> Status {
    for (const auto& [link, sides] : transferPairsFrom(ledger, 2020, 5, 26)) {
      if (sides.size() != 2) continue;
      const bool firstOut = endsWith(sides[0].uid, "_3") && endsWith(sides[1].uid, "_4");
      const bool firstIn = endsWith(sides[0].uid, "_4") && endsWith(sides[1].uid, "_3");
      if (!firstOut && !firstIn) continue;
      const TransferSide& out = firstOut ? sides[0] : sides[1];
      const TransferSide& in = firstOut ? sides[1] : sides[0];
      for (auto [side, kind] : {std::pair{&out, TxKind::kTransferOut}, std::pair{&in, TxKind::kTransferIn}}) {
        if (side->kind == kindCode(kind)) continue;
        changed += execute(store, "UPDATE ZINOUTCOME SET ZDO_TYPE = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?",
                           std::string(kindCode(kind)), now, side->pk);
      }
    }
    return Status::ok();
  });
}

Result<int> installMentFix(Ledger& ledger) {
  Store& store = ledger.store();
  const int64_t now = ledger.env().nowMs();
  return repairInTransaction(ledger, "installMentFix", [&](int& changed) -> Status {
    const std::string missing =
        "ZCARDDIVIDID IS NOT NULL AND ZCARDDIVIDID > 0 AND (ZCARDDIVIDEUID IS NULL OR ZCARDDIVIDEUID = '')";
    std::vector<std::pair<int64_t, int64_t>> records;  // row key, series number
    {
      auto st = store.prepare("SELECT Z_PK, ZCARDDIVIDID FROM ZINOUTCOME WHERE " + missing + " ORDER BY Z_PK");
      while (st.executeStep()) records.emplace_back(st.getColumn(0).getInt64(), st.getColumn(1).getInt64());
    }
    if (records.empty()) return Status::ok();
    // The first record of each series: the one whose older number is the
    // series number, a live one before a deleted one. One pass over the
    // transactions, whatever the number of series.
    std::unordered_map<int64_t, std::string> firsts;
    {
      auto st = store.prepare("SELECT ZAID, ZUID FROM ZINOUTCOME WHERE ZAID IN (SELECT ZCARDDIVIDID FROM "
                              "ZINOUTCOME WHERE " + missing + ") AND ZUID IS NOT NULL AND ZUID NOT IN ('', '0') "
                              "ORDER BY CASE WHEN " + live::recordSql() + " THEN 0 ELSE 1 END, Z_PK");
      while (st.executeStep()) firsts.emplace(st.getColumn(0).getInt64(), st.getColumn(1).getString());
    }
    for (const auto& [pk, series] : records) {
      auto it = firsts.find(series);
      const std::string first = it != firsts.end() ? it->second : std::to_string(series);
      changed += execute(store, "UPDATE ZINOUTCOME SET ZCARDDIVIDEUID = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?",
                         first, now, pk);
    }
    return Status::ok();
  });
}

}  // namespace varnel
