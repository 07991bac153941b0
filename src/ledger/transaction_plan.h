// The middle step of saving a transaction: from a form that was checked and
// everything the save read from the ledger, the records to write (the record,
// the other side of a transfer, its fee, the records that go) and the tag and
// photo changes. Planning neither reads nor writes, so a plan says in one
// value what a save will do before anything is written.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ledger/photo_store.h"
#include "ledger/transaction_save.h"
#include "model/entities.h"

namespace varnel {

// The amounts a save stores, converted by the money module
// (ledger/currency_conversion.h) and checked against the money limit.
struct SaveAmounts {
  Text currencyUid;                  // the entered currency row
  double amountSub = 0;              // as entered, rounded to the entered currency
  double amount = 0;                 // in the main currency
  double amountAccount = 0;          // in the account's currency
  double oppositeAmountAccount = 0;  // in the receiving account's currency (transfer only)
};

// What a transfer's fee field brings to the plan.
struct FeeInputs {
  Text currencyUid;  // the fee's currency row (the main one when none was chosen)
  double amountSub = 0;
  double amount = 0;
  double amountAccount = 0;
  std::string newCategory;  // the category a new fee takes
  std::string newContent;   // the content a new fee takes
  // Names of the accounts the transfer had before, for renaming an edited fee's memo.
  std::string sendingBeforeName;
  std::string receivingBeforeName;
};

// Identifiers drawn for whatever the save creates, so that planning stays a
// function of its input.
struct FreshIds {
  std::string record;          // a new record's identifier
  std::string transferLink;    // a new `txUidTrans`
  std::string feeLink;         // a new `txUidFee`
  std::string opposite;        // a new receiving side's identifier
  std::string fee;             // a new fee's identifier
};

// What a repeat setting brings to the plan: the recurring template to save
// with the entry.
struct RepeatInputs {
  int type = 0;                              // the repeat type code
  std::optional<RepeatTransaction> edited;   // the template being changed, as loaded
  std::string newUid;                        // a new template's identifier
  int64_t nextDate = 0;                      // the occurrence after the entry's (ms since 1970)
  Int endDate;                               // the last day it may fall on (ms), none for no end
};

// A form that passed every check, with everything the save needs read from
// the ledger.
struct CheckedSave {
  TransactionForm form;  // as given; its photos are in `photos`
  bool transfer = false;

  // The records as loaded.
  std::optional<InOutCome> edited;    // the record changed (the sending side of a transfer)
  std::optional<InOutCome> opposite;  // its other side
  std::string presetTrans;            // the link of a receiving side whose sending side is made anew
  std::optional<InOutCome> oldFee;    // the fee of the edited transfer
  std::optional<InOutCome> feeOwner;  // for an edited fee: the sending side of its transfer

  Asset account;
  std::optional<Asset> target;
  std::optional<Category> category;  // none for "-2"

  double date = 0;     // store seconds
  std::string dayKey;  // its day, as `txDateStr` keeps it

  SaveAmounts amounts;
  std::optional<FeeInputs> fee;  // while the fee field is active

  // An empty content is filled in (from the category, or the accounts of a transfer).
  bool fillEmptyContent = false;
  std::string noCategoryContent;  // what fills it for an uncategorised entry

  std::vector<Tag> chosenTags;         // the form's tags, each once
  std::vector<std::string> linkedTags;  // tags the record carries now
  std::vector<PreparedPhoto> photos;   // the form's photos, read and decoded
  FreshIds ids;
  std::optional<RepeatInputs> repeat;  // with a repeat setting
};

struct TagChanges {
  std::vector<Tag> link;
  std::vector<std::string> unlink;  // tag identifiers
};

// Photo changes of the record, applied to what it holds when written (the
// photo store positions and stamps photo records as it saves them).
struct PhotoChanges {
  std::string copyFrom;               // its photos become copies of this transaction's
  std::vector<PreparedPhoto> append;  // then these follow the photos it holds
};

// Every write of one save, in the order they are made.
struct SavePlan {
  // A transfer that became an income or expense loses its other side, with
  // that side's photos (`isDel` already 1).
  std::optional<InOutCome> droppedOpposite;
  InOutCome record;
  PhotoChanges photos;
  TagChanges tags;
  // The receiving side of a transfer; its photos become copies of the record's.
  std::optional<InOutCome> opposite;
  std::optional<InOutCome> fee;
  // The fee of a transfer whose fee field was switched off (`isDel` already 1).
  std::optional<InOutCome> droppedFee;
  // The recurring template saved with an entry that has a repeat setting.
  std::optional<RepeatTransaction> repeat;
};

// The plan for a checked save. Neither reads nor writes.
SavePlan planSave(const CheckedSave& checked);

}  // namespace varnel
