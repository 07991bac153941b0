#include "ledger/transaction_save.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "ledger/asset_repository.h"
#include "ledger/card_installment.h"
#include "ledger/currency_conversion.h"
#include "ledger/currency_repository.h"
#include "ledger/in_out_come_repository.h"
#include "ledger/in_out_come_support.h"
#include "ledger/photo_store.h"
#include "ledger/tag_repository.h"
#include "model/errors.h"
#include "model/number_input.h"
#include "model/text.h"
#include "model/etc_repository.h"
#include "model/ledger.h"

namespace varnel {

using namespace tx_support;

std::vector<InOutCome> TransactionSaveResult::records() const {
  if (!series.empty()) return series;
  std::vector<InOutCome> out;
  for (const auto* r : {&record, &opposite, &fee}) {
    if (*r) out.push_back(**r);
  }
  return out;
}

namespace {

TransactionSaveResult refused(const std::string& key) {
  TransactionSaveResult result;
  result.refusal = key;
  return result;
}

void requireFinite(double value, const std::string& what) {
  if (!std::isfinite(value)) throw InputError(what + " is not a number");
}

void requireMoneyInRange(double value, const std::string& what) {
  if (!isMoneyInRange(value)) {
    throw InputError(fmt::format("{} would be {}, beyond what the ledger keeps to the cent (less than 1e15 in size)",
                                 what, value));
  }
}

bool isDeletedAccount(const Asset& a) {
  const int64_t del = a.isDel.value_or(0);
  return del == 1 || del == 2;
}

int pointOf(const Currency& c) { return static_cast<int>(c.point.value_or(0)); }

// "2.5.0" or later, number by number; a part that is missing or not a number counts as 0.
bool versionAtLeast(const std::string& version, const std::vector<int>& wanted) {
  if (version.empty()) return false;
  std::vector<int> parts;
  std::stringstream in(version);
  std::string part;
  while (std::getline(in, part, '.')) {
    int value = 0;
    std::from_chars(part.data(), part.data() + part.size(), value);
    parts.push_back(value);
  }
  for (size_t i = 0; i < wanted.size(); ++i) {
    const int have = i < parts.size() ? parts[i] : 0;
    if (have != wanted[i]) return have > wanted[i];
  }
  return true;
}

bool isSeriesRow(const InOutCome& r) {
  long long month = 0;
  const std::string text = r.cardDivideMonth.value_or("");
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), month);
  return ec == std::errc() && month >= 10001 && hasLink(r.cardDivideUid);
}

// Everything a save needs, checked and looked up before anything is written.
struct Prepared {
  Asset account;
  std::optional<Asset> target;
  std::optional<InOutCome> edited;    // the record changed (the "3" side of a transfer), as loaded
  std::optional<InOutCome> opposite;  // its other side, as loaded
  std::string presetTrans;            // link of a "4" whose "3" side is recreated
  std::vector<std::pair<std::filesystem::path, std::string>> photos;
  double date = 0;
};

}  // namespace

// --- Content flag ------------------------------------------------------------

bool TransactionSave::autoSaveTxContentFollowsPreference() {
  return !versionAtLeast(EtcRepository(ledger_).getFistInstallVersion(), {2, 5, 0});
}

Status TransactionSave::setAutoSaveTxContent(bool keepEmpty) {
  if (!autoSaveTxContentFollowsPreference()) {
    throw InputError("this ledger was first set up with version 2.5.0 or later: an empty content always stays empty");
  }
  if (!ledger_.preferences().setString(kTxAddCategoryToEmptyContentKey, keepEmpty ? "1" : "0")) {
    return Status::systemFailure("cannot write the device preferences");
  }
  return Status::ok();
}

int TransactionSave::autoSaveTxContent() {
  if (!autoSaveTxContentFollowsPreference()) return 1;
  const std::string text = ledger_.preferences().getString(kTxAddCategoryToEmptyContentKey).value_or("0");
  int value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// --- Saving ------------------------------------------------------------------

TransactionSaveResult TransactionSave::saveTransaction(const TransactionForm& form) {
  if (form.mode != kModeIncome && form.mode != kModeExpense && form.mode != kModeTransfer) {
    throw InputError("the mode must be 0 (income), 1 (expense) or 2 (transfer)");
  }
  if (form.installments < 0) throw InputError("the instalment count cannot be negative");
  const bool transfer = form.mode == kModeTransfer;
  const CommonData& cache = ledger_.commonData();
  InOutComeRepository repo(ledger_);

  // The record being changed: a "4" opens as its transfer's "3" side.
  std::optional<InOutCome> edited;
  std::optional<InOutCome> opposite;
  std::string presetTrans;
  if (!form.edited.empty()) {
    auto loaded = repo.inOutComeByUid(form.edited);
    if (!loaded) throw InputError("no transaction '" + form.edited + "'");
    if (!isLive(*loaded)) throw InputError("transaction " + form.edited + " is deleted");
    if (isAdjustment(*loaded)) throw InputError("a balance adjustment is changed from its account");
    if (isKind(*loaded, do_type::kTransferIn)) {
      edited = repo.oppositeOfTransfer(*loaded);
      opposite = loaded;
      if (!edited) {
        ledger_.log().error(kMissingOppositeLog, loaded->uid.value_or(""));
        presetTrans = loaded->txUidTrans.value_or("");
        if (!hasLink(loaded->txUidTrans)) presetTrans = BaseRepository::newUid();
      }
    } else {
      edited = loaded;
      if (isKind(*loaded, do_type::kTransferOut)) {
        opposite = repo.oppositeOfTransfer(*loaded);
        if (!opposite) ledger_.log().error(kMissingOppositeLog, loaded->uid.value_or(""));
      }
    }
  }

  // What the screen refuses with a message: no account, target or category.
  auto account = form.account.empty() ? std::nullopt : cache.assetByUid(form.account);
  if (!account) return refused(tx_message::kMissingAccount);
  std::optional<Asset> target;
  if (transfer) {
    target = form.targetAccount.empty() ? std::nullopt : cache.assetByUid(form.targetAccount);
    if (!target) return refused(tx_message::kMissingAccount);
  }
  std::optional<Category> category;
  if (!transfer) {
    if (form.category.empty()) return refused(tx_message::kMissingCategory);
    if (form.category == kBalanceAdjustmentUid) {
      throw InputError("the balance-adjustment category is not for incomes and expenses");
    }
    if (form.category != kUncategorisedUid) {
      category = cache.categoryByUid(form.category);
      if (!category) return refused(tx_message::kMissingCategory);
    }
  }

  // Values the screen cannot produce.
  const Text sendingBefore = edited ? edited->assetUid : (opposite ? opposite->toAssetUid : std::nullopt);
  const Text receivingBefore = edited ? edited->toAssetUid : (opposite ? opposite->assetUid : std::nullopt);
  if (isDeletedAccount(*account) && account->uid != sendingBefore) {
    throw InputError("account " + form.account + " is deleted");
  }
  if (target) {
    if (isDeletedAccount(*target) && target->uid != receivingBefore) {
      throw InputError("account " + form.targetAccount + " is deleted");
    }
    if (target->uid == account->uid) throw InputError("a transfer needs two different accounts");
  }
  if (category) {
    if (!isLive(*category) && !(edited && edited->categoryUid == category->uid)) {
      throw InputError("category " + form.category + " is deleted");
    }
    if (category->doType.value_or(1) != form.mode) {
      throw InputError(form.mode == kModeIncome ? "an income needs an income category"
                                                : "an expense needs an expense category");
    }
  }
  if (form.fee && !transfer) throw InputError("only a transfer has a fee");
  requireFinite(form.amount, "the amount");
  if (form.mainAmount) requireFinite(*form.mainAmount, "the main-currency amount");
  if (form.fee) requireFinite(form.fee->amount, "the fee");
  if (form.date) requireFinite(*form.date, "the date");
  requireMoneyInRange(form.amount, "the amount");

  CurrencyRepository currencies(ledger_);
  const auto main = currencies.getMainCurrency();
  if (!main) throw InputError("the ledger has no main currency");
  auto currencyOf = [&](const std::string& uid) -> Currency {
    if (uid.empty()) return *main;
    auto row = currencies.getCurrencyByUid(uid);
    const bool mainRow = row && (row->isMainCurrency.value_or(0) == 1 || row->uid == main->uid);
    if (!row || (!mainRow && row->mainIso != main->iso)) throw InputError("no currency '" + uid + "' in this ledger");
    if (!mainRow && !isUsableRate(row->rate)) {
      throw InputError("currency '" + uid + "' has no usable rate");
    }
    return *row;
  };
  const Currency entered = currencyOf(form.currency);
  const bool enteredIsMain = entered.uid == main->uid || entered.isMainCurrency.value_or(0) == 1;
  if (form.mainAmount && enteredIsMain) throw InputError("a main-currency amount is only for a foreign currency");
  std::optional<Currency> feeCurrency;
  if (form.fee) feeCurrency = currencyOf(form.fee->currency);

  // The amounts in the main and the account currency, refused before anything
  // is written when a rate carries them to kMoneyLimit or beyond: there a
  // double no longer keeps the cents, and sums of such rows overflow.
  const int mainPoint = pointOf(*main);
  const double mainAmount = form.mainAmount ? roundMoney(*form.mainAmount, mainPoint)
                            : enteredIsMain ? roundMoney(form.amount, mainPoint)
                                            : enteredToMain(form.amount, *entered.rate, mainPoint);
  requireMoneyInRange(mainAmount, "the amount in the main currency");
  const double accountAmount = repo.amountAccountForSave(form.amount, mainAmount, entered.uid.value_or(""), *account,
                                                         edited);
  requireMoneyInRange(accountAmount, "the amount in the account's currency");
  if (target) {
    requireMoneyInRange(repo.amountAccountForSave(form.amount, mainAmount, entered.uid.value_or(""), *target, opposite),
                        "the amount in the receiving account's currency");
  }
  if (form.fee) {
    requireMoneyInRange(form.fee->amount, "the fee");
    const bool feeInMain = feeCurrency->uid == main->uid || feeCurrency->isMainCurrency.value_or(0) == 1;
    requireMoneyInRange(feeInMain ? form.fee->amount : enteredToMain(form.fee->amount, *feeCurrency->rate, mainPoint),
                        "the fee in the main currency");
  }

  TagRepository tags(ledger_);
  for (const auto& uid : form.tags) {
    if (!tags.tagByUid(uid)) throw InputError("no tag '" + uid + "'");
  }

  // Repeats and new instalment purchases leave the ordinary save here.
  if (form.repeatType) return saveRepeatEntry(form);
  if (form.installments >= 1 && !(edited && hasLink(edited->cardDivideUid))) return saveInstallmentEntry(form);

  Prepared p;
  p.account = *account;
  p.target = target;
  p.edited = edited;
  p.opposite = opposite;
  p.presetTrans = presetTrans;
  p.date = form.date ? *form.date : ledger_.env().nowStoreSeconds();
  for (const auto& path : form.photos) {
    std::string bytes = PhotoStore::readPhotoFile(path);
    PhotoStore::prepareImage(bytes);  // refuses what is not a complete JPEG, before anything is written
    p.photos.emplace_back(path, std::move(bytes));
  }

  // Every write of the save, in one store transaction.
  TransactionSaveResult result;
  PhotoStore photoStore(ledger_);
  std::vector<std::filesystem::path> writtenFiles;
  auto removeWrittenFiles = [&] {
    for (const auto& f : writtenFiles) {
      std::error_code ec;
      std::filesystem::remove(f, ec);
    }
  };
  Status ok;
  try {
    ok = repo.inTransaction([&]() -> Status {
    // The record; a transfer becoming an income or expense loses its other side first.
    const bool isNew = !p.edited;
    InOutCome record = isNew ? repo.newObjectForEntity<InOutCome>(form.newUid.empty() ? BaseRepository::newUid()
                                                                                      : form.newUid)
                             : *p.edited;
    if (isNew) {
      record.isDel = 0;
      record.smsOrigine = form.message.smsOrigine;
      record.smsParseContents = form.message.smsParseContents;
      if (!p.presetTrans.empty()) record.txUidTrans = p.presetTrans;
    }
    const bool wasTransfer = p.edited ? isTransferSide(*p.edited) : !p.presetTrans.empty();
    const bool wasFee = p.edited && !wasTransfer && isKind(*p.edited, do_type::kExpense) && hasLink(p.edited->txUidFee);
    const std::optional<InOutCome> oldFee = wasTransfer && p.edited ? repo.feeWithInOutCome(*p.edited) : std::nullopt;
    if (wasTransfer && !transfer && p.opposite) {
      InOutCome gone = *p.opposite;
      gone.isDel = 1;
      VARNEL_RETURN_IF_ERROR(repo.updateInOutCome(gone));
      VARNEL_RETURN_IF_ERROR(photoStore.deletePhotoByInOutCome(gone.uid.value_or("")));
    }

    // Fields and the three amounts.
    record.Date = p.date;
    record.txDateStr = ledger_.env().dates().dayKey(p.date);
    record.assetUid = p.account.uid;
    record.memo = trimSpaces(form.memo);
    record.mark = form.mark;
    record.currencyUid = entered.uid;
    record.amountSub = roundMoney(form.amount, pointOf(entered));
    record.amount = mainAmount;
    record.amountAccount = accountAmount;
    record.cardTimeStampStr = form.message.cardTimeStampStr.value_or("");

    // Content, filled in when the flag says so.
    std::string content = trimmed(form.content);
    if (content.empty() && autoSaveTxContent() == 0) {
      if (transfer) {
        content = transferMemo(p.account.NicName.value_or(""), p.target->NicName.value_or(""));
      } else if (category) {
        content = category->Name.value_or("");
      } else {
        content = ledger_.texts().text("none_category");
      }
    }
    record.Content = content;

    // Kind and links.
    if (transfer) {
      if (!wasTransfer) {
        // A record entering a transfer starts a link of its own; a fee
        // record's link belonged to another transfer.
        record.txUidFee.reset();
        record.txUidTrans = BaseRepository::newUid();
      }
      if (!hasLink(record.txUidTrans)) record.txUidTrans = BaseRepository::newUid();
      record.toAssetUid = p.target->uid;
      record.Do_Type = do_type::kTransferOut;
      if (form.fee) {
        if (!hasLink(record.txUidFee)) record.txUidFee = BaseRepository::newUid();
      } else {
        record.txUidFee.reset();
      }
    } else {
      record.categoryUid = form.category;
      record.Do_Type = std::to_string(form.mode);
      record.toAssetUid.reset();
      if (wasTransfer) record.txUidFee.reset();
      if (wasFee) {
        // A fee stays its transfer's fee only as an expense on the sending account.
        auto sending = repo.getFirst(repo.fetch<InOutCome>(
            " WHERE (ZISDEL IS NULL OR ZISDEL != 1) AND ZTXUIDFEE = ? AND ZDO_TYPE = '3' LIMIT 1", *p.edited->txUidFee));
        if (form.mode == kModeIncome || (sending && sending->assetUid != record.assetUid)) record.txUidFee.reset();
      }
    }

    // Instalment fields of a row the instalment save hands over.
    if (form.installment) {
      record.cardDivideMonth = form.installment->cardDivideMonth;
      record.cardDivideUid = form.installment->cardDivideUid;
      record.cardDivideMonthStr = form.installment->cardDivideMonthStr;
    } else if (!record.cardDivideMonthStr) {
      record.cardDivideMonthStr = "";  // an ordinary entry has an empty position, never none
    }

    // The record, its photos and its tags.
    VARNEL_RETURN_IF_ERROR(repo.updateInOutCome(record));
    const std::string uid = record.uid.value_or("");
    if (!form.copyPhotosFrom.empty()) VARNEL_RETURN_IF_ERROR(photoStore.copyUpdatePhoto(form.copyPhotosFrom, uid));
    if (!p.photos.empty()) {
      const int64_t already = photoStore.countPhoto(uid);
      std::vector<Photo> added;
      for (size_t i = 0; i < p.photos.size(); ++i) {
        PhotoInput input;
        input.data = p.photos[i].second;
        input.orgFilePath = p.photos[i].first.string();
        input.order = static_cast<int>(already + static_cast<int64_t>(i));
        auto stored = photoStore.addPhoto(input, "", false);
        VARNEL_RETURN_IF_ERROR(stored.status());
        writtenFiles.push_back(photoStore.photoFolder() / stored->photo.fileName.value_or(""));
        added.push_back(stored->photo);
      }
      VARNEL_RETURN_IF_ERROR(photoStore.attachPhotos(added, uid));
    }
    VARNEL_RETURN_IF_ERROR(tags.updateTxTags(record, form.tags));
    result.record = record;

    // The other side of a transfer.
    if (transfer) {
      auto opposite = repo.saveMoveInOutComeByInOutCome(record, p.opposite);
      VARNEL_RETURN_IF_ERROR(opposite.status());
      result.opposite = opposite.value();
    }

    // The fee: written while the fee field is active, deleted when it was switched off.
    if (transfer && form.fee) {
      auto fee = repo.updateFee(record, form.fee->amount, oldFee, feeCurrency, sendingBefore.value_or(""),
                                receivingBefore.value_or(""));
      VARNEL_RETURN_IF_ERROR(fee.status());
      result.fee = fee.value();
    } else if (transfer && oldFee) {
      InOutCome gone = *oldFee;
      gone.isDel = 1;
      VARNEL_RETURN_IF_ERROR(repo.updateInOutCome(gone));
    }
    return Status::ok();
    }, "updateInOutCome");
  } catch (...) {
    removeWrittenFiles();
    throw;
  }
  if (!ok) {
    removeWrittenFiles();
    TransactionSaveResult failed;
    failed.status = ok;
    return failed;
  }
  result.status = Status::ok();
  return result;
}

InstallmentSaveFn TransactionSave::installmentRowSaver(const TransactionForm& entered) {
  return [this, entered](const InstallmentSaveRequest& request) -> Result<InOutCome> {
    const InOutCome& row = request.row;
    TransactionForm f = entered;
    f.installments = 0;
    f.repeatType.reset();
    f.edited = request.isChange ? row.uid.value_or("") : std::string();
    f.newUid = request.isChange ? std::string() : row.uid.value_or("");
    if (row.Date) f.date = row.Date;
    if (row.amountSub) f.amount = *row.amountSub;
    const auto main = CurrencyRepository(ledger_).getMainCurrency();
    const bool foreign = main && !f.currency.empty() && f.currency != main->uid;
    f.mainAmount = foreign ? row.amount : std::nullopt;
    if (hasLink(row.cardDivideUid)) {
      f.installment = InstallmentFields{*row.cardDivideUid, row.cardDivideMonthStr.value_or(""),
                                        row.cardDivideMonth.value_or(kInstallmentMark)};
    }
    if (!request.withPhotos) f.photos.clear();
    const TransactionSaveResult result = saveTransaction(f);
    if (result.refusal) return Status::invalidInput(*result.refusal);
    if (!result.ok() || !result.record) return result.status;
    return *result.record;
  };
}

TransactionSaveResult TransactionSave::saveInstallmentEntry(const TransactionForm& form) {
  CurrencyRepository currencies(ledger_);
  const auto main = currencies.getMainCurrency();
  const auto row = form.currency.empty() ? main : currencies.getCurrencyByUid(form.currency);
  const bool enteredIsMain = !row || !main || row->uid == main->uid;

  // The purchase as entered: amount as typed, the same in the main currency.
  InstallmentEntry entry;
  entry.count = form.installments;
  entry.isChange = !form.edited.empty();
  if (entry.isChange) {
    if (auto stored = InOutComeRepository(ledger_).inOutComeByUid(form.edited)) entry.tx = *stored;
  } else {
    entry.tx.uid = form.newUid.empty() ? BaseRepository::newUid() : form.newUid;
  }
  entry.tx.Date = form.date ? *form.date : ledger_.env().nowStoreSeconds();
  entry.tx.amountSub = form.amount;
  // The same conversion as an ordinary save, so that one instalment stores
  // what a plain expense of the amount would.
  if (form.mainAmount) {
    entry.tx.amount = *form.mainAmount;
  } else if (enteredIsMain) {
    entry.tx.amount = form.amount;
  } else {
    entry.tx.amount = enteredToMain(form.amount, row->rate.value_or(1.0), pointOf(*main));
  }
  entry.tx.currencyUid = row ? row->uid : std::nullopt;

  PhotoStore photos(ledger_);
  const InstallmentSaveResult saved = funcSaveCardInstallment(
      ledger_, entry, installmentRowSaver(form),
      [&photos](const InOutCome& from, const InOutCome& to) {
        return photos.copyUpdatePhoto(from.uid.value_or(""), to.uid.value_or(""));
      });
  TransactionSaveResult result;
  if (!saved.ok()) {
    result.status = saved.status;
    return result;
  }
  if (saved.saved.empty()) return result;
  result.status = Status::ok();
  result.record = saved.saved.front();
  result.series = saved.saved;
  return result;
}

TransactionSaveResult TransactionSave::saveRepeatEntry(const TransactionForm& form) {
  // A repeat may not start on or before the first day of the previous month.
  const DateUtil& dates = ledger_.env().dates();
  const LocalDateTime today = dates.toLocal(ledger_.env().nowStoreSeconds());
  const double previousMonthStart = dates.fromLocal(today.year, today.month - 1, 1);
  const double date = form.date ? *form.date : ledger_.env().nowStoreSeconds();
  if (date <= previousMonthStart) return refused(tx_message::kRepeatDateTooEarly);
  return refused(tx_message::kRepeatNotYetSupported);
}

// --- Opening, copying --------------------------------------------------------

TransactionForm TransactionSave::formForRecord(const std::string& uid) {
  InOutComeRepository repo(ledger_);
  auto record = repo.inOutComeByUid(uid);
  if (!record) throw InputError("no transaction '" + uid + "'");
  if (!isLive(*record)) throw InputError("transaction " + uid + " is deleted");
  if (isAdjustment(*record)) throw InputError("a balance adjustment is changed from its account");

  TransactionForm form;
  form.edited = uid;
  InOutCome source = *record;
  bool reversed = false;
  if (isKind(*record, do_type::kTransferIn)) {
    if (auto sending = repo.oppositeOfTransfer(*record)) {
      source = *sending;
    } else {
      reversed = true;  // only the receiving side is left: read it the other way round
    }
  }
  form.mode = isTransferSide(source) ? kModeTransfer : (isKind(source, do_type::kIncome) ? kModeIncome : kModeExpense);
  form.account = (reversed ? source.toAssetUid : source.assetUid).value_or("");
  if (form.mode == kModeTransfer) form.targetAccount = (reversed ? source.assetUid : source.toAssetUid).value_or("");
  if (form.mode != kModeTransfer) form.category = source.categoryUid.value_or("");
  form.date = source.Date;
  form.currency = source.currencyUid.value_or("");
  form.amount = source.amountSub.value_or(0);
  CurrencyRepository currencies(ledger_);
  const auto main = currencies.getMainCurrency();
  if (main && !form.currency.empty() && form.currency != main->uid) form.mainAmount = source.amount;
  form.content = source.Content.value_or("");
  form.memo = source.memo.value_or("");
  form.mark = source.mark.value_or(0);
  for (const Tag& tag : TagRepository(ledger_).tagListOfTx(source.uid.value_or(""))) form.tags.push_back(*tag.uid);
  if (form.mode == kModeTransfer && !reversed) {
    if (auto fee = repo.feeWithInOutCome(source)) {
      form.fee = TransactionFee{fee->amountSub.value_or(0), fee->currencyUid.value_or("")};
    }
  }
  form.message = {source.smsOrigine, source.smsParseContents, source.cardTimeStampStr};
  return form;
}

TransactionSaveResult TransactionSave::copyTransaction(const std::string& uid, CopyDate choice,
                                                       std::optional<double> date) {
  if (choice == CopyDate::kDateAt && !date) throw InputError("copying to a chosen date needs the date");
  TransactionForm form = formForRecord(uid);
  // Opened as a new entry: nothing links the copy to its source.
  InOutComeRepository repo(ledger_);
  auto source = repo.inOutComeByUid(uid);
  if (source && isKind(*source, do_type::kTransferIn)) {
    if (auto sending = repo.oppositeOfTransfer(*source)) source = sending;
  }
  form.edited.clear();
  form.message = {};
  form.copyPhotosFrom = source ? source->uid.value_or("") : std::string();
  form.date = choice == CopyDate::kToday ? ledger_.env().nowStoreSeconds() : *date;
  TransactionSaveResult result = saveTransaction(form);
  if (result.ok()) {
    const bool today = choice == CopyDate::kToday;
    ledger_.preferences().setString(kLastTxCopyTypeKey, today ? "0" : "1");
    ledger_.preferences().setString(kIsToDayTxCopyDateKey, today ? "1" : "0");
  }
  return result;
}

CopyDate TransactionSave::lastCopyChoice() const {
  return ledger_.preferences().getString(kLastTxCopyTypeKey).value_or("0") == "1" ? CopyDate::kDateAt
                                                                                  : CopyDate::kToday;
}

// --- Deleting ------------------------------------------------------------------

DeleteQuestion TransactionSave::deleteQuestion(const InOutCome& record) {
  DeleteQuestion q;
  if (isSeriesRow(record) &&
      InOutComeRepository(ledger_).getInOutComeByCardDivideUid(*record.cardDivideUid).size() >= 2) {
    q.isSeries = true;
    q.title = tx_message::kDeleteSeriesTitle;
    q.message = tx_message::kDeleteSeriesTitle;
    q.choices = {tx_message::kDeleteAll, tx_message::kDeleteThis, tx_message::kCancel};
  } else {
    q.message = tx_message::kDeleteQuestion;
    q.choices = {tx_message::kYes, tx_message::kNo};
  }
  return q;
}

Result<std::vector<InOutCome>> TransactionSave::deleteTransaction(const std::string& uid, DeleteAnswer answer) {
  InOutComeRepository repo(ledger_);
  auto record = repo.inOutComeByUid(uid);
  if (!record) throw InputError("no transaction '" + uid + "'");
  if (!isLive(*record)) throw InputError("transaction " + uid + " is deleted");
  if (answer == DeleteAnswer::kCancel) return std::vector<InOutCome>{};
  if (answer == DeleteAnswer::kAll) {
    if (!deleteQuestion(*record).isSeries) throw InputError("transaction " + uid + " is not part of an instalment series");
    return repo.deleteWithArray(repo.getInOutComeByCardDivideUid(*record->cardDivideUid));
  }
  return repo.deleteWithArray({*record});
}

}  // namespace varnel
