// Tags and their links to transactions (`TxTag`). Owns the two system tags
// (prepayment and card-usage exception) and the rule that a (tag,
// transaction) pair has at most one link, revived rather than duplicated.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/base_repository.h"

namespace varnel {

namespace tag_code {
inline constexpr const char* kPrepayment = "system_prepayment";
inline constexpr const char* kCardUsageException = "system_card_usage_exception";
inline constexpr const char* kTransactionLink = "tx";  // `objName` of transaction links
}  // namespace tag_code

class TagRepository : public BaseRepository {
 public:
  using BaseRepository::BaseRepository;

  // Every tag, deleted ones too, sorted by `orderSeq`.
  std::vector<Tag> tagList();
  // The live tag with this identifier.
  std::optional<Tag> tagByUid(const std::string& uid);
  // Creates the two system tags, named in the ledger's language, when there
  // is no tag at all; logs "saveBasicTag isSuccess" (or the error). Returns
  // whether the tags exist afterwards.
  Status initTag();

  // Every link, deleted ones too.
  std::vector<TxTag> txTagList();
  // The link of this tag and transaction, deleted or not.
  std::optional<TxTag> txTag(const std::string& tagUid, const std::string& txUid);
  // Links the tag to the transaction: finds the pair's link (reviving a
  // deleted one) or creates it, stamps and saves. Logs "addTxTag seccess" or
  // "addTxTag fail <error>". Throws InputError when either has no identifier.
  Result<TxTag> addTxTag(const Tag& tag, const InOutCome& tx);
  // Marks the pair's live link deleted, stamped. True when there was nothing
  // to remove or the removal was saved.
  Status removeTxTag(const Tag& tag, const InOutCome& tx);
  // Makes the live tags of the transaction exactly `chosenTagUids` (unknown
  // or deleted tags are ignored), in one transaction.
  Status updateTxTags(const InOutCome& tx, const std::vector<std::string>& chosenTagUids);
  // Physically removes every link (whole-ledger reset); logs
  // "deleteAllTxTagList success" or "deleteAllTxTagList fail error : <error>".
  Status deleteAllTxTagList();

  // The live tags linked to a transaction by live links, sorted by the tag's `orderSeq`.
  std::vector<Tag> tagListOfTx(const std::string& txUid);
  // Whether a live link to the system tag exists for the transaction.
  bool isPrepayment(const std::string& txUid);
  bool isCardUsageException(const std::string& txUid);

 private:
  bool hasLiveLink(const std::string& tagUid, const std::string& txUid);
};

}  // namespace varnel
