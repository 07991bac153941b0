#include "ledger/transaction_plan.h"

#include <map>
#include <set>

#include "ledger/in_out_come_support.h"
#include "model/text.h"
#include "model/tx_kind.h"

namespace varnel {

namespace {

using tx_support::hasLink;
using tx_support::renameFeeMemo;
using tx_support::transferMemo;
using tx_support::trimSpaces;

std::string nameOf(const Asset& account) { return account.NicName.value_or(""); }

std::string contentOf(const CheckedSave& c) {
  std::string content = trimmed(c.form.content);
  if (!content.empty() || !c.fillEmptyContent) return content;
  if (c.transfer) return transferMemo(nameOf(c.account), nameOf(*c.target));
  if (c.category) return c.category->Name.value_or("");
  return c.noCategoryContent;
}

// The record as the form leaves it: the edited one changed, or a new one.
InOutCome planRecord(const CheckedSave& c) {
  const TransactionForm& form = c.form;
  InOutCome record;
  if (c.edited) {
    record = *c.edited;
  } else {
    record.uid = c.ids.record;
    record.isDel = 0;
    record.smsOrigine = form.message.smsOrigine;
    record.smsParseContents = form.message.smsParseContents;
    if (!c.presetTrans.empty()) record.txUidTrans = c.presetTrans;
  }
  const bool wasTransfer = c.edited ? isTransferSide(*c.edited) : !c.presetTrans.empty();
  const bool wasFee = c.edited && !wasTransfer && isKind(*c.edited, TxKind::kExpense) && hasLink(c.edited->txUidFee);

  record.Date = c.date;
  record.txDateStr = c.dayKey;
  record.assetUid = c.account.uid;
  record.memo = trimSpaces(form.memo);
  record.mark = form.mark;
  record.currencyUid = c.amounts.currencyUid;
  record.amountSub = c.amounts.amountSub;
  record.amount = c.amounts.amount;
  record.amountAccount = c.amounts.amountAccount;
  record.cardTimeStampStr = form.message.cardTimeStampStr.value_or("");
  record.Content = contentOf(c);

  if (c.transfer) {
    if (!wasTransfer) {
      // A record entering a transfer starts a link of its own; a fee
      // record's link belonged to another transfer.
      record.txUidFee.reset();
      record.txUidTrans = c.ids.transferLink;
    }
    if (!hasLink(record.txUidTrans)) record.txUidTrans = c.ids.transferLink;
    record.toAssetUid = c.target->uid;
    setKind(record, TxKind::kTransferOut);
    if (form.fee) {
      if (!hasLink(record.txUidFee)) record.txUidFee = c.ids.feeLink;
    } else {
      record.txUidFee.reset();
    }
  } else {
    record.categoryUid = form.category;
    setKind(record, form.mode == kModeIncome ? TxKind::kIncome : TxKind::kExpense);
    record.toAssetUid.reset();
    if (wasTransfer) record.txUidFee.reset();
    // A fee stays its transfer's fee only as an expense on the sending account.
    if (wasFee && (form.mode == kModeIncome || (c.feeOwner && c.feeOwner->assetUid != record.assetUid))) {
      record.txUidFee.reset();
    }
  }

  if (c.repeat) {
    record.cardDivideMonth = std::to_string(c.repeat->type);
    record.cardDivideMonthStr = "";
  } else if (form.installment) {
    record.cardDivideMonth = form.installment->cardDivideMonth;
    record.cardDivideUid = form.installment->cardDivideUid;
    record.cardDivideMonthStr = form.installment->cardDivideMonthStr;
  } else if (!record.cardDivideMonthStr) {
    record.cardDivideMonthStr = "";  // an ordinary entry has an empty position, never none
  }
  return record;
}

// The receiving side mirrors the sending side, in its own account's currency.
// Fees are found through expense records; only the sending side links its fee.
InOutCome planOpposite(const CheckedSave& c, const InOutCome& sending) {
  InOutCome side;
  if (c.opposite) {
    side = *c.opposite;
  } else {
    side.uid = c.ids.opposite;
  }
  side.txUidTrans = sending.txUidTrans;
  side.Date = sending.Date;
  side.txDateStr = sending.txDateStr;
  side.Content = sending.Content;
  side.memo = sending.memo;
  side.mark = sending.mark;
  side.amount = sending.amount;
  side.amountSub = sending.amountSub;
  side.currencyUid = sending.currencyUid;
  side.assetUid = sending.toAssetUid;
  side.toAssetUid = sending.assetUid;
  side.cardTimeStampStr = sending.cardTimeStampStr;
  setKind(side, TxKind::kTransferIn);
  side.isDel = 0;
  side.cardDivideMonth = sending.cardDivideMonth;
  side.cardDivideMonthStr = sending.cardDivideMonthStr;
  side.cardDivideUid = sending.cardDivideUid;
  side.txUidFee.reset();
  side.amountAccount = c.amounts.oppositeAmountAccount;
  return side;
}

// The fee: an expense on the sending account, dated with its transfer. An
// edited fee keeps its category and content; its memo follows the accounts.
InOutCome planFee(const CheckedSave& c, const InOutCome& transfer) {
  const FeeInputs& in = *c.fee;
  const bool isNew = !c.oldFee;
  InOutCome fee;
  if (isNew) {
    fee.uid = c.ids.fee;
    fee.isDel = 0;
    setKind(fee, TxKind::kExpense);
    fee.txUidFee = transfer.txUidFee;
    fee.categoryUid = in.newCategory;
  } else {
    fee = *c.oldFee;
  }
  fee.Date = transfer.Date;
  fee.txDateStr = transfer.txDateStr;
  fee.Content = trimmed(isNew ? in.newContent : fee.Content.value_or(""));
  const std::string sending = nameOf(c.account);
  const std::string receiving = nameOf(*c.target);
  const std::string memo = fee.memo.value_or("");
  fee.memo = trimSpaces(trimSpaces(memo).empty()
                            ? transferMemo(sending, receiving)
                            : renameFeeMemo(memo, in.sendingBeforeName, sending, in.receivingBeforeName, receiving));
  fee.assetUid = transfer.assetUid;
  fee.toAssetUid.reset();
  fee.currencyUid = in.currencyUid;
  fee.amount = in.amount;
  fee.amountSub = in.amountSub;
  fee.amountAccount = in.amountAccount;
  return fee;
}

// The recurring template of an entry with a repeat setting: the entry's
// account, amount as entered, currency, texts and mark, and its category or,
// for a transfer, the receiving account.
RepeatTransaction planRepeat(const CheckedSave& c) {
  const RepeatInputs& in = *c.repeat;
  RepeatTransaction t;
  if (in.edited) {
    t = *in.edited;
  } else {
    t.uid = in.newUid;
  }
  t.repeatType = in.type;
  t.nextDate = in.nextDate;
  t.endDate = in.endDate;
  t.assetUid = c.account.uid;
  t.amountSub = c.form.amount;  // as typed: every occurrence converts it as the entry save did
  t.currencyUid = c.amounts.currencyUid;
  t.mark = c.form.mark;
  t.memo = trimSpaces(c.form.memo);
  t.payee = trimmed(c.form.content);
  if (c.transfer) {
    t.doType = static_cast<int64_t>(TxKind::kTransferOut);
    t.toAssetUid = c.target->uid;
    t.categoryUid.reset();
  } else {
    t.doType = c.form.mode;
    t.categoryUid = c.form.category;
    t.toAssetUid.reset();
  }
  t.isDel = 0;
  return t;
}

// The record's tags become exactly the chosen ones; links are made and
// removed in the order of the tags' identifiers.
TagChanges planTags(const CheckedSave& c) {
  std::map<std::string, const Tag*> chosen;
  for (const Tag& tag : c.chosenTags) chosen.emplace(tag.uid.value_or(""), &tag);
  const std::set<std::string> linked(c.linkedTags.begin(), c.linkedTags.end());
  TagChanges changes;
  for (const auto& [uid, tag] : chosen) {
    if (!linked.count(uid)) changes.link.push_back(*tag);
  }
  for (const auto& uid : linked) {
    if (!chosen.count(uid)) changes.unlink.push_back(uid);
  }
  return changes;
}

}  // namespace

SavePlan planSave(const CheckedSave& c) {
  SavePlan plan;
  const bool wasTransfer = c.edited ? isTransferSide(*c.edited) : !c.presetTrans.empty();
  if (wasTransfer && !c.transfer && c.opposite) {
    plan.droppedOpposite = *c.opposite;
    plan.droppedOpposite->isDel = 1;
  }
  plan.record = planRecord(c);
  plan.photos.copyFrom = c.form.copyPhotosFrom;
  plan.photos.append = c.photos;
  plan.tags = planTags(c);
  if (c.transfer) {
    plan.opposite = planOpposite(c, plan.record);
    if (c.fee) {
      plan.fee = planFee(c, plan.record);
    } else if (c.oldFee) {
      plan.droppedFee = *c.oldFee;
      plan.droppedFee->isDel = 1;
    }
  }
  if (c.repeat) plan.repeat = planRepeat(c);
  return plan;
}

}  // namespace varnel
