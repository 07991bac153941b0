#include "ledger/tag_repository.h"

#include <set>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "model/errors.h"
#include "model/liveness.h"

namespace varnel {

std::vector<Tag> TagRepository::tagList() { return fetch<Tag>(" ORDER BY ZORDERSEQ, Z_PK"); }

std::optional<Tag> TagRepository::tagByUid(const std::string& uid) {
  return getFirst(fetch<Tag>(fmt::format(" WHERE ZUID = ? AND {} LIMIT 1", live::recordSql()), uid));
}

Status TagRepository::initTag() {
  if (!getFirst(fetch<Tag>(" LIMIT 1")).has_value()) {
    std::vector<Tag> tags;
    const std::pair<const char*, const char*> kSystemTags[] = {
        {tag_code::kCardUsageException, "tag_card_usage_exception"},
        {tag_code::kPrepayment, "tag_prepayment"},
    };
    int64_t order = 1;
    for (const auto& [uid, nameKey] : kSystemTags) {
      Tag tag = newObjectForEntity<Tag>(uid);
      tag.name = ledger_.texts().text(nameKey);
      tag.isDel = 0;
      tag.orderSeq = order++;
      tags.push_back(std::move(tag));
    }
    VARNEL_RETURN_IF_ERROR(saveAll(tags, "saveBasicTag", true));
    log().info("saveBasicTag isSuccess");
  }
  return Status::ok();
}

std::vector<TxTag> TagRepository::txTagList() { return fetch<TxTag>(" ORDER BY Z_PK"); }

std::optional<TxTag> TagRepository::txTag(const std::string& tagUid, const std::string& txUid) {
  // Older stores may hold duplicates of a pair; the first one is the link.
  return getFirst(
      fetch<TxTag>(" WHERE ZTAGUID = ? AND ZTXUID = ? ORDER BY Z_PK LIMIT 1", tagUid, txUid));
}

Result<TxTag> TagRepository::addTxTag(const Tag& tag, const InOutCome& tx) {
  if (!tag.uid || tag.uid->empty() || !tx.uid || tx.uid->empty()) {
    throw InputError("a tag link needs a saved tag and a saved transaction");
  }
  std::optional<TxTag> link = txTag(*tag.uid, *tx.uid);
  if (!link) {
    link = newObjectForEntity<TxTag>();
    link->txUid = tx.uid;
    link->tagUid = tag.uid;
    link->orderSeq = nextAvailble<TxTag>("orderSeq");
  }
  if (!link->objName || link->objName->empty()) link->objName = tag_code::kTransactionLink;
  link->isDel = 0;
  if (tag.pk) link->tag = tag.pk;
  if (tx.pk) link->tx = tx.pk;
  VARNEL_RETURN_IF_ERROR(saveStamped(*link, "addTxTag"));
  log().info("addTxTag seccess");
  return *link;
}

Status TagRepository::removeTxTag(const Tag& tag, const InOutCome& tx) {
  if (!tag.uid || !tx.uid) return Status::ok();
  auto link = txTag(*tag.uid, *tx.uid);
  // Removing what is not linked changes nothing and is not synchronised.
  if (!link || !isLive(*link)) return Status::ok();
  link->isDel = 1;
  return saveStamped(*link, "removeTxTag");
}

Status TagRepository::updateTxTags(const InOutCome& tx, const std::vector<std::string>& chosenTagUids) {
  if (!tx.uid || tx.uid->empty()) throw InputError("tags can only be set on a saved transaction");
  std::set<std::string> linked;
  for (const Tag& tag : tagListOfTx(*tx.uid)) linked.insert(*tag.uid);
  std::set<std::string> chosen;
  for (const auto& uid : chosenTagUids) {
    if (tagByUid(uid)) chosen.insert(uid);
  }
  return inTransaction([&]() -> Status {
    for (const auto& uid : chosen) {
      if (!linked.count(uid)) VARNEL_RETURN_IF_ERROR(addTxTag(*tagByUid(uid), tx).status());
    }
    for (const auto& uid : linked) {
      if (chosen.count(uid)) continue;
      Tag tag;
      tag.uid = uid;
      VARNEL_RETURN_IF_ERROR(removeTxTag(tag, tx));
    }
    return Status::ok();
  }, "addTxTag");
}

Status TagRepository::deleteAllTxTagList() {
  try {
    getContext().prepare("DELETE FROM " + Entity<TxTag>::table()).exec();
    log().info("deleteAllTxTagList success");
    return Status::ok();
  } catch (const SQLite::Exception& e) {
    return getContext().writeFailed("deleteAllTxTagList", e);
  }
}

std::vector<Tag> TagRepository::tagListOfTx(const std::string& txUid) {
  const std::string clause = fmt::format(
      " WHERE {0} AND ZUID IN (SELECT ZTAGUID FROM {1} WHERE ZTXUID = ? AND {0})"
      " ORDER BY ZORDERSEQ, Z_PK",
      live::recordSql(), Entity<TxTag>::table());
  return fetch<Tag>(clause, txUid);
}

bool TagRepository::hasLiveLink(const std::string& tagUid, const std::string& txUid) {
  try {
    auto st = getContext().prepare(fmt::format(
        "SELECT 1 FROM {} WHERE ZTAGUID = ? AND ZTXUID = ? AND {} LIMIT 1",
        Entity<TxTag>::table(), live::recordSql()));
    st.bind(1, tagUid);
    st.bind(2, txUid);
    const bool found = st.executeStep();
    st.reset();
    return found;
  } catch (const SQLite::Exception& e) {
    getContext().readFailed("hasLiveLink", e);
  }
}

bool TagRepository::isPrepayment(const std::string& txUid) {
  return hasLiveLink(tag_code::kPrepayment, txUid);
}

bool TagRepository::isCardUsageException(const std::string& txUid) {
  return hasLiveLink(tag_code::kCardUsageException, txUid);
}

}  // namespace varnel
