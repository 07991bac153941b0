#include "ledger/transaction_save.h"

#include <charconv>
#include <cmath>
#include <sstream>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "ledger/asset_repository.h"
#include "ledger/card_installment.h"
#include "ledger/category_repository.h"
#include "ledger/currency_conversion.h"
#include "ledger/currency_repository.h"
#include "ledger/in_out_come_repository.h"
#include "ledger/in_out_come_support.h"
#include "ledger/photo_store.h"
#include "ledger/repeat.h"
#include "ledger/repeat_transaction_repository.h"
#include "ledger/tag_repository.h"
#include "ledger/transaction_plan.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "model/ledger.h"
#include "model/liveness.h"
#include "model/number_input.h"
#include "model/text.h"
#include "model/tx_kind.h"

namespace varnel {

using tx_support::hasLink;
using tx_support::kMissingOppositeLog;

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

void removeFiles(const std::vector<std::filesystem::path>& files) {
  for (const auto& f : files) {
    std::error_code ec;
    std::filesystem::remove(f, ec);
  }
}

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

// --- Saving: checking ------------------------------------------------------------

struct TransactionSave::SaveCheck {
  std::optional<std::string> refusal;  // the message key; nothing else is set then
  SaveRoute route = SaveRoute::kOrdinary;
  CheckedSave save;
};

namespace {

// The record being changed and its other side: a receiving side opens as its
// transfer's sending side. A side whose partner is missing is logged; a
// receiving side alone gets a new sending side on its link.
void loadEdited(Ledger& ledger, const std::string& uid, CheckedSave& c) {
  if (uid.empty()) return;
  InOutComeRepository repo(ledger);
  auto loaded = repo.inOutComeByUid(uid);
  if (!loaded) throw InputError("no transaction '" + uid + "'");
  if (!isLive(*loaded)) throw InputError("transaction " + uid + " is deleted");
  if (isAdjustment(*loaded)) throw InputError("a balance adjustment is changed from its account");
  if (isKind(*loaded, TxKind::kTransferIn)) {
    c.edited = repo.oppositeOfTransfer(*loaded);
    c.opposite = loaded;
    if (!c.edited) {
      ledger.log().error(kMissingOppositeLog, loaded->uid.value_or(""));
      c.presetTrans = hasLink(loaded->txUidTrans) ? *loaded->txUidTrans : BaseRepository::newUid();
    }
    return;
  }
  c.edited = loaded;
  if (isKind(*loaded, TxKind::kTransferOut)) {
    c.opposite = repo.oppositeOfTransfer(*loaded);
    if (!c.opposite) ledger.log().error(kMissingOppositeLog, loaded->uid.value_or(""));
  }
}

// The accounts and category the form names; the message key the screen
// answers with when one is missing.
std::optional<std::string> loadChoices(Ledger& ledger, const TransactionForm& form, CheckedSave& c) {
  const CommonData& cache = ledger.commonData();
  auto account = form.account.empty() ? std::nullopt : cache.assetByUid(form.account);
  if (!account) return tx_message::kMissingAccount;
  c.account = *account;
  if (c.transfer) {
    c.target = form.targetAccount.empty() ? std::nullopt : cache.assetByUid(form.targetAccount);
    if (!c.target) return tx_message::kMissingAccount;
    return std::nullopt;
  }
  if (form.category.empty()) return tx_message::kMissingCategory;
  if (form.category == kBalanceAdjustmentUid) {
    throw InputError("the balance-adjustment category is not for incomes and expenses");
  }
  if (form.category != kUncategorisedUid) {
    c.category = cache.categoryByUid(form.category);
    if (!c.category) return tx_message::kMissingCategory;
  }
  return std::nullopt;
}

// The accounts the transfer had before the edit (its sending and receiving side).
Text sendingBefore(const CheckedSave& c) {
  return c.edited ? c.edited->assetUid : (c.opposite ? c.opposite->toAssetUid : std::nullopt);
}
Text receivingBefore(const CheckedSave& c) {
  return c.edited ? c.edited->toAssetUid : (c.opposite ? c.opposite->assetUid : std::nullopt);
}

// Values the screen cannot produce. A deleted account or category stays
// acceptable on the record that already has it.
void checkValues(const TransactionForm& form, const CheckedSave& c) {
  if (!live::isLiveAccount(c.account) && c.account.uid != sendingBefore(c)) {
    throw InputError("account " + form.account + " is deleted");
  }
  if (c.target) {
    if (!live::isLiveAccount(*c.target) && c.target->uid != receivingBefore(c)) {
      throw InputError("account " + form.targetAccount + " is deleted");
    }
    if (c.target->uid == c.account.uid) throw InputError("a transfer needs two different accounts");
  }
  if (c.category) {
    if (!isLive(*c.category) && !(c.edited && c.edited->categoryUid == c.category->uid)) {
      throw InputError("category " + form.category + " is deleted");
    }
    if (c.category->doType.value_or(1) != form.mode) {
      throw InputError(form.mode == kModeIncome ? "an income needs an income category"
                                                : "an expense needs an expense category");
    }
  }
  if (form.fee && !c.transfer) throw InputError("only a transfer has a fee");
  requireFinite(form.amount, "the amount");
  if (form.mainAmount) requireFinite(*form.mainAmount, "the main-currency amount");
  if (form.fee) requireFinite(form.fee->amount, "the fee");
  if (form.date) requireFinite(*form.date, "the date");
  requireMoneyInRange(form.amount, "the amount");
}

// The amounts to store, each through the money module. Refused before
// anything is written when a rate carries one to kMoneyLimit or beyond:
// there a double no longer keeps the cents, and sums of such rows overflow.
void convertAmounts(Ledger& ledger, const TransactionForm& form, CheckedSave& c) {
  CurrencyRepository currencies(ledger);
  InOutComeRepository repo(ledger);
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

  const int mainPoint = pointOf(*main);
  const std::string enteredUid = entered.uid.value_or("");
  SaveAmounts& a = c.amounts;
  a.currencyUid = entered.uid;
  a.amountSub = roundMoney(form.amount, pointOf(entered));
  a.amount = form.mainAmount ? roundMoney(*form.mainAmount, mainPoint)
             : enteredIsMain ? roundMoney(form.amount, mainPoint)
                             : enteredToMain(form.amount, *entered.rate, mainPoint);
  requireMoneyInRange(a.amount, "the amount in the main currency");
  a.amountAccount = repo.amountAccountForSave(form.amount, a.amount, enteredUid, c.account, c.edited);
  requireMoneyInRange(a.amountAccount, "the amount in the account's currency");
  if (c.target) {
    // The receiving side converts the amount the sending side stores.
    a.oppositeAmountAccount = repo.amountAccountForSave(a.amountSub, a.amount, enteredUid, *c.target, c.opposite);
    requireMoneyInRange(a.oppositeAmountAccount, "the amount in the receiving account's currency");
  }
  if (form.fee) {
    requireMoneyInRange(form.fee->amount, "the fee");
    FeeInputs fee;
    fee.currencyUid = feeCurrency->uid;
    fee.amountSub = roundMoney(form.fee->amount, pointOf(*feeCurrency));
    fee.amount = enteredToMain(form.fee->amount, feeCurrency->rate.value_or(1.0), mainPoint);
    requireMoneyInRange(fee.amount, "the fee in the main currency");
    InOutCome preview;
    preview.currencyUid = fee.currencyUid;
    preview.amountSub = fee.amountSub;
    preview.amount = fee.amount;
    fee.amountAccount = repo.getAmountAccount(preview, c.account);
    requireMoneyInRange(fee.amountAccount, "the fee in the account's currency");
    c.fee = std::move(fee);
  }
}

// The chosen tags, each once.
std::vector<Tag> loadTags(Ledger& ledger, const std::vector<std::string>& uids) {
  TagRepository tags(ledger);
  std::vector<Tag> chosen;
  for (const auto& uid : uids) {
    auto tag = tags.tagByUid(uid);
    if (!tag) throw InputError("no tag '" + uid + "'");
    bool seen = false;
    for (const Tag& t : chosen) seen = seen || t.uid == tag->uid;
    if (!seen) chosen.push_back(std::move(*tag));
  }
  return chosen;
}

std::vector<PreparedPhoto> preparePhotos(const std::vector<std::filesystem::path>& paths) {
  std::vector<PreparedPhoto> photos;
  for (const auto& path : paths) photos.push_back(PhotoStore::preparePhotoFile(path));
  return photos;
}

// What only the ordinary save reads: the date, the identifiers it may
// create, the fee it changes and the fee's defaults, the record's tags, the
// content rule.
void loadForWrite(Ledger& ledger, TransactionSave& saver, CheckedSave& c) {
  const TransactionForm& form = c.form;
  InOutComeRepository repo(ledger);
  const CommonData& cache = ledger.commonData();

  c.date = form.date ? *form.date : ledger.env().nowStoreSeconds();
  c.dayKey = ledger.env().dates().dayKey(c.date);
  c.ids = {form.newUid.empty() ? BaseRepository::newUid() : form.newUid, BaseRepository::newUid(),
           BaseRepository::newUid(), BaseRepository::newUid(), BaseRepository::newUid()};
  const std::string recordUid = c.edited ? c.edited->uid.value_or("") : c.ids.record;

  if (c.edited && isTransferSide(*c.edited)) c.oldFee = repo.feeWithInOutCome(*c.edited);
  if (c.edited && isKind(*c.edited, TxKind::kExpense) && hasLink(c.edited->txUidFee)) {
    const std::string clause = " WHERE " + live::recordSql() + " AND ZTXUIDFEE = ? AND ZDO_TYPE = " +
                               kindSql(TxKind::kTransferOut) + " LIMIT 1";
    c.feeOwner = repo.getFirst(repo.fetch<InOutCome>(clause, *c.edited->txUidFee));
  }
  if (c.fee) {
    auto nameOf = [&cache](const Text& uid) {
      auto a = uid ? cache.assetByUid(*uid) : std::nullopt;
      return a ? a->NicName.value_or("") : std::string();
    };
    c.fee->sendingBeforeName = nameOf(sendingBefore(c));
    c.fee->receivingBeforeName = nameOf(receivingBefore(c));
    if (!c.oldFee) {
      // A new fee takes the category of the newest earlier fee between the
      // same accounts while that category lives, else the fee category.
      std::string category = kUncategorisedUid;
      auto previous = repo.feeLastMoveOutWithAssetUidToAssetUid(recordUid, c.account.uid.value_or(""),
                                                                c.target->uid.value_or(""));
      auto remembered = previous && previous->categoryUid ? cache.categoryByUid(*previous->categoryUid) : std::nullopt;
      if (remembered && isLive(*remembered)) {
        category = *remembered->uid;
      } else if (auto feeCategory = CategoryRepository(ledger).etcCategoryForFee()) {
        category = feeCategory->uid.value_or(kUncategorisedUid);
      }
      c.fee->newCategory = category;
      c.fee->newContent = ledger.texts().text("input_transfer_fee");
    }
  }
  for (const Tag& tag : TagRepository(ledger).tagListOfTx(recordUid)) c.linkedTags.push_back(tag.uid.value_or(""));
  c.fillEmptyContent = saver.autoSaveTxContent() == 0;
  c.noCategoryContent = ledger.texts().text("none_category");
}

// A repeat may not start on or before the first day of the previous month.
std::optional<std::string> checkRepeatDate(Ledger& ledger, const TransactionForm& form) {
  const DateUtil& dates = ledger.env().dates();
  const double now = ledger.env().nowStoreSeconds();
  const LocalDateTime today = dates.toLocal(now);
  const double previousMonthStart = dates.fromLocal(today.year, today.month - 1, 1);
  if ((form.date ? *form.date : now) <= previousMonthStart) return tx_message::kRepeatDateTooEarly;
  return std::nullopt;
}

// The template the entry's repeat setting saves: the one being changed or a
// new one, moving on from the entry's date, which is its first occurrence.
void loadRepeat(Ledger& ledger, const TransactionForm& form, CheckedSave& c) {
  RepeatInputs in;
  in.type = *form.repeatType;
  if (!form.repeatTemplate.empty()) {
    in.edited = RepeatTransactionRepository(ledger).getRepeatByUId(form.repeatTemplate);
    if (!in.edited) throw InputError("no recurring transaction '" + form.repeatTemplate + "'");
    if (!isLive(*in.edited)) throw InputError("recurring transaction " + form.repeatTemplate + " is deleted");
  } else {
    in.newUid = BaseRepository::newUid();
  }
  // Occurrences fall on whole seconds (see Repeat).
  const int64_t first = storeSecondsToMs(std::floor(c.date));
  in.nextDate = *Repeat(ledger.env().dates()).getNextDateByNextDate(first, in.type);
  if (form.repeatEndDate) {
    requireFinite(*form.repeatEndDate, "the end date");
    const DateUtil& dates = ledger.env().dates();
    const LocalDateTime end = dates.toLocal(*form.repeatEndDate);
    const LocalDateTime start = dates.toLocal(c.date);
    if (end.year * 10000 + end.month * 100 + end.day < start.year * 10000 + start.month * 100 + start.day) {
      throw InputError("a repeat cannot end before the entry's date");
    }
    in.endDate = storeSecondsToMs(dates.fromLocal(end.year, end.month, end.day));
  }
  c.repeat = std::move(in);
}

}  // namespace

TransactionSave::SaveCheck TransactionSave::checkSave(const TransactionForm& form,
                                                      const std::vector<PreparedPhoto>* prepared) {
  if (form.mode != kModeIncome && form.mode != kModeExpense && form.mode != kModeTransfer) {
    throw InputError("the mode must be 0 (income), 1 (expense) or 2 (transfer)");
  }
  if (form.installments < 0) throw InputError("the instalment count cannot be negative");
  SaveCheck check;
  CheckedSave& c = check.save;
  c.form = form;
  c.transfer = form.mode == kModeTransfer;
  loadEdited(ledger_, form.edited, c);
  if (auto refusal = loadChoices(ledger_, form, c)) {
    check.refusal = std::move(refusal);
    return check;
  }
  checkValues(form, c);
  convertAmounts(ledger_, form, c);
  c.chosenTags = loadTags(ledger_, form.tags);

  // Repeat type 0 is the screen's "no repeat".
  const bool repeats = form.repeatType && *form.repeatType != repeat_type::kNone;
  if (repeats) {
    if (!Repeat::isRepeatType(*form.repeatType)) {
      throw InputError(fmt::format("repeat type {} is not one of the repeat types", *form.repeatType));
    }
    if (form.installments >= 1 || (c.edited && hasLink(c.edited->cardDivideUid))) {
      throw InputError("a repeating entry cannot be split into instalments");
    }
    if (auto refusal = checkRepeatDate(ledger_, form)) {
      check.refusal = std::move(refusal);
      return check;
    }
    check.route = SaveRoute::kRepeat;
  } else if (form.repeatEndDate || !form.repeatTemplate.empty()) {
    throw InputError("an end date or a recurring template needs a repeat type");
  }
  // Each photo file is read and decoded here, once; every later step
  // (instalment rows, the receiving side) uses what this produced.
  c.photos = prepared ? *prepared : preparePhotos(form.photos);
  if (!repeats && form.installments >= 1 && !(c.edited && hasLink(c.edited->cardDivideUid))) {
    check.route = SaveRoute::kInstallment;
    return check;
  }
  loadForWrite(ledger_, *this, c);
  if (repeats) loadRepeat(ledger_, form, c);
  return check;
}

// --- Saving: writing -------------------------------------------------------------

namespace {

// The record's photos: copies of another transaction's first, then the new
// ones after those it holds. Every file written is added to `written`.
Status writePhotos(PhotoStore& store, const InOutCome& record, const PhotoChanges& changes,
                   std::vector<std::filesystem::path>& written) {
  const std::string uid = record.uid.value_or("");
  if (!changes.copyFrom.empty()) VARNEL_RETURN_IF_ERROR(store.copyUpdatePhoto(changes.copyFrom, uid));
  if (changes.append.empty()) return Status::ok();
  const int64_t already = store.countPhoto(uid);
  std::vector<Photo> added;
  for (size_t i = 0; i < changes.append.size(); ++i) {
    auto stored = store.addPreparedPhoto(changes.append[i], "", static_cast<int>(already + static_cast<int64_t>(i)));
    VARNEL_RETURN_IF_ERROR(stored.status());
    written.push_back(store.photoFolder() / stored->photo.fileName.value_or(""));
    added.push_back(stored->photo);
  }
  return store.attachPhotos(added, uid);
}

Status writeTags(TagRepository& tags, const InOutCome& record, const TagChanges& changes) {
  for (const Tag& tag : changes.link) VARNEL_RETURN_IF_ERROR(tags.addTxTag(tag, record).status());
  for (const std::string& uid : changes.unlink) {
    Tag tag;
    tag.uid = uid;
    VARNEL_RETURN_IF_ERROR(tags.removeTxTag(tag, record));
  }
  return Status::ok();
}

// The receiving side shows the sending side's photos: copies sharing their files.
Status mirrorPhotos(Ledger& ledger, PhotoStore& store, const InOutCome& sending, const InOutCome& side) {
  const std::string from = sending.uid.value_or("");
  const std::string to = side.uid.value_or("");
  if (store.countPhoto(from) == 0 && store.countPhoto(to) == 0) return Status::ok();
  ledger.log().info("saveMoveInOutComeByInOutCome copyUpdatePhoto");
  return store.copyUpdatePhoto(from, to);
}

}  // namespace

TransactionSaveResult TransactionSave::writePlan(const SavePlan& plan,
                                                 std::vector<std::filesystem::path>* writtenFiles) {
  InOutComeRepository repo(ledger_);
  PhotoStore photos(ledger_);
  TagRepository tags(ledger_);
  TransactionSaveResult result;
  std::vector<std::filesystem::path> written;
  Status status;
  try {
    status = repo.inTransaction([&]() -> Status {
      if (plan.droppedOpposite) {
        InOutCome gone = *plan.droppedOpposite;
        VARNEL_RETURN_IF_ERROR(repo.updateInOutCome(gone));
        VARNEL_RETURN_IF_ERROR(photos.deletePhotoByInOutCome(gone.uid.value_or("")));
      }
      InOutCome record = plan.record;
      VARNEL_RETURN_IF_ERROR(repo.updateInOutCome(record));
      VARNEL_RETURN_IF_ERROR(writePhotos(photos, record, plan.photos, written));
      VARNEL_RETURN_IF_ERROR(writeTags(tags, record, plan.tags));
      result.record = record;
      if (plan.opposite) {
        InOutCome opposite = *plan.opposite;
        VARNEL_RETURN_IF_ERROR(repo.updateInOutCome(opposite));
        VARNEL_RETURN_IF_ERROR(mirrorPhotos(ledger_, photos, record, opposite));
        result.opposite = opposite;
      }
      if (plan.fee) {
        InOutCome fee = *plan.fee;
        VARNEL_RETURN_IF_ERROR(repo.updateInOutCome(fee));
        result.fee = fee;
      }
      if (plan.droppedFee) {
        InOutCome gone = *plan.droppedFee;
        VARNEL_RETURN_IF_ERROR(repo.updateInOutCome(gone));
      }
      if (plan.repeat) {
        RepeatTransaction repeat = *plan.repeat;
        VARNEL_RETURN_IF_ERROR(RepeatTransactionRepository(ledger_).updateRepeat(repeat, true));
        result.repeat = repeat;
      }
      return Status::ok();
    }, "updateInOutCome");
  } catch (...) {
    removeFiles(written);
    throw;
  }
  if (!status) {
    // The store rolled every row back; the photo files are not in it.
    removeFiles(written);
    TransactionSaveResult failed;
    failed.status = status;
    return failed;
  }
  if (writtenFiles) writtenFiles->insert(writtenFiles->end(), written.begin(), written.end());
  result.status = Status::ok();
  return result;
}

// --- Saving: the three steps and the paths that take a save over ------------------

TransactionSaveResult TransactionSave::saveTransaction(const TransactionForm& form) {
  return saveForm(form, nullptr, nullptr);
}

TransactionSaveResult TransactionSave::saveForm(const TransactionForm& form,
                                                const std::vector<PreparedPhoto>* prepared,
                                                std::vector<std::filesystem::path>* writtenFiles) {
  const SaveCheck check = checkSave(form, prepared);
  if (check.refusal) return refused(*check.refusal);
  switch (check.route) {
    case SaveRoute::kRepeat: return saveRepeatEntry(check, writtenFiles);
    case SaveRoute::kInstallment: return saveInstallmentEntry(form, check.save.photos);
    case SaveRoute::kOrdinary: break;
  }
  return writePlan(planSave(check.save), writtenFiles);
}

InstallmentSaveFn TransactionSave::installmentRowSaver(const TransactionForm& entered,
                                                       const std::vector<PreparedPhoto>& photos,
                                                       std::vector<std::filesystem::path>& writtenFiles) {
  return [this, entered, photos, &writtenFiles](const InstallmentSaveRequest& request) -> Result<InOutCome> {
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
    f.photos.clear();
    const std::vector<PreparedPhoto> rowPhotos = request.withPhotos ? photos : std::vector<PreparedPhoto>{};
    const TransactionSaveResult result = saveForm(f, &rowPhotos, &writtenFiles);
    if (result.refusal) return Status::invalidInput(*result.refusal);
    if (!result.ok() || !result.record) return result.status;
    return *result.record;
  };
}

TransactionSaveResult TransactionSave::saveInstallmentEntry(const TransactionForm& form,
                                                            const std::vector<PreparedPhoto>& photos) {
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

  // The rows commit with the series, so their photo files go when it fails.
  std::vector<std::filesystem::path> written;
  PhotoStore photoStore(ledger_);
  InstallmentSaveResult saved;
  try {
    saved = funcSaveCardInstallment(ledger_, entry, installmentRowSaver(form, photos, written),
                                    [&photoStore](const InOutCome& from, const InOutCome& to) {
                                      return photoStore.copyUpdatePhoto(from.uid.value_or(""), to.uid.value_or(""));
                                    });
  } catch (...) {
    removeFiles(written);
    throw;
  }
  TransactionSaveResult result;
  if (!saved.ok()) {
    removeFiles(written);
    result.status = saved.status;
    return result;
  }
  if (saved.saved.empty()) return result;
  result.status = Status::ok();
  result.record = saved.saved.front();
  result.series = saved.saved;
  return result;
}

TransactionSaveResult TransactionSave::saveRepeatEntry(const SaveCheck& check,
                                                       std::vector<std::filesystem::path>* writtenFiles) {
  return writePlan(planSave(check.save), writtenFiles);
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
  if (isKind(*record, TxKind::kTransferIn)) {
    if (auto sending = repo.oppositeOfTransfer(*record)) {
      source = *sending;
    } else {
      reversed = true;  // only the receiving side is left: read it the other way round
    }
  }
  form.mode = isTransferSide(source) ? kModeTransfer : (isKind(source, TxKind::kIncome) ? kModeIncome : kModeExpense);
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
  if (source && isKind(*source, TxKind::kTransferIn)) {
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
