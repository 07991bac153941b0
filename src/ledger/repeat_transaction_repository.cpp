#include "ledger/repeat_transaction_repository.h"

#include <unordered_set>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "ledger/currency_conversion.h"
#include "ledger/in_out_come_repository.h"
#include "ledger/in_out_come_support.h"
#include "ledger/repeat.h"
#include "ledger/transaction_save.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "model/liveness.h"
#include "model/number_input.h"
#include "model/period.h"
#include "model/text.h"
#include "model/tx_kind.h"

namespace varnel {

std::vector<InOutCome> RepeatRun::rows() const {
  std::vector<InOutCome> out;
  for (const RepeatBooking& b : bookings) out.insert(out.end(), b.rows.begin(), b.rows.end());
  return out;
}

// --- Templates -------------------------------------------------------------------

std::optional<RepeatTransaction> RepeatTransactionRepository::getRepeatByUId(const std::string& uid) {
  if (uid.empty() || uid == "0") return std::nullopt;
  return dataByUid<RepeatTransaction>(uid);
}

std::vector<RepeatTransaction> RepeatTransactionRepository::getListAll() {
  return fetch<RepeatTransaction>(" ORDER BY ZNEXTDATE, Z_PK");
}

std::vector<RepeatTransaction> RepeatTransactionRepository::getListLive() {
  return fetch<RepeatTransaction>(" WHERE " + live::recordSql() + " ORDER BY ZNEXTDATE, Z_PK");
}

std::vector<RepeatTransaction> RepeatTransactionRepository::listInputWillRepeat(int64_t limit) {
  return fetch<RepeatTransaction>(" WHERE " + live::recordSql() + " AND ZNEXTDATE < ? ORDER BY ZNEXTDATE, Z_PK",
                                  limit);
}

Status RepeatTransactionRepository::updateRepeat(RepeatTransaction& repeat, bool isAdd) {
  const auto before = repeat.isDel;
  if (isAdd) repeat.isDel = 0;
  Status saved = saveStamped(repeat, "updateRepeat");
  if (!saved) repeat.isDel = before;
  return saved;
}

Result<RepeatTransaction> RepeatTransactionRepository::deleteRepeatByUid(const std::string& uid) {
  auto repeat = getRepeatByUId(uid);
  if (!repeat) throw InputError("no recurring transaction '" + uid + "'");
  if (!isLive(*repeat)) throw InputError("recurring transaction " + uid + " is deleted");
  VARNEL_RETURN_IF_ERROR(deleteRecord(*repeat, "updateRepeat"));
  return *repeat;
}

// --- Booking ---------------------------------------------------------------------

int64_t RepeatTransactionRepository::toDayIntRepeatDp_new_2_11_12() {
  const DateUtil& dates = ledger_.env().dates();
  double last = ledger_.env().nowStoreSeconds();
  const auto setting = EtcRepository(ledger_).getEtcUserSettingByType(etc_kind::kRepeatReflectType);
  if (setting && setting->Data == kRepeatReflectWholeMonth) {
    const PeriodRules rules(dates, ledger_.commonData().app());
    const EasyDate month(rules, last, dp_type::kMonthFromStartDay, false, ledger_.commonData().app().appStartDay);
    if (month.endDate) last = *month.endDate;
  }
  const LocalDateTime t = dates.toLocal(last);
  return storeSecondsToMs(dates.fromLocal(t.year, t.month, t.day + 1));
}

Result<RepeatRun> RepeatTransactionRepository::repeatDataInputAll() {
  const int64_t limit = toDayIntRepeatDp_new_2_11_12();
  if (limit == 0) return RepeatRun{};
  Result<RepeatRun> run = RepeatRun{};
  // The templates are read inside the write transaction, so that a run in
  // another process cannot move one between reading and booking it.
  Status done = inTransaction([&]() -> Status {
    run = repeatDataInput(listInputWillRepeat(limit), limit);
    return run.status();
  }, "repeate save");
  if (!done) return done;
  return run;
}

namespace {

using tx_support::transferMemo;
using tx_support::trimSpaces;

int dayNumber(const LocalDateTime& t) { return t.year * 10000 + t.month * 100 + t.day; }

// Books the occurrences of one template. Everything that is the same for
// every occurrence (accounts, amounts, content) is worked out once.
class TemplateBooker {
 public:
  TemplateBooker(Ledger& ledger, InOutComeRepository& rows, const Repeat& repeat, bool fillEmptyContent)
      : ledger_(ledger), rows_(rows), repeat_(repeat), fillEmptyContent_(fillEmptyContent) {}

  // Why the template cannot book, or nothing when it can (and is then ready).
  std::optional<std::string> prepare(const RepeatTransaction& t);
  // Books the occurrences of [t.nextDate, limit), passing over those at or
  // before `floor`. Returns the next date reached.
  Result<int64_t> book(const RepeatTransaction& t, int64_t limit, int64_t floor, RepeatBooking& booking);

 private:
  Status bookOccurrence(const LocalDateTime& local, double date, RepeatBooking& booking);

  Ledger& ledger_;
  InOutComeRepository& rows_;
  const Repeat& repeat_;
  bool fillEmptyContent_;

  // The template as prepared.
  std::string uid_;
  int type_ = 0;
  TxKind kind_ = TxKind::kExpense;
  bool transfer_ = false;
  Asset account_;
  std::optional<Asset> other_;
  std::string categoryUid_;
  Text currencyUid_;
  double amountSub_ = 0, amount_ = 0, amountAccount_ = 0, otherAmountAccount_ = 0;
  std::string content_, memo_;
  Int mark_, utime_;
  std::unordered_set<std::string> existing_;
};

std::optional<std::string> TemplateBooker::prepare(const RepeatTransaction& t) {
  const CommonData& cache = ledger_.commonData();
  uid_ = t.uid.value_or("");
  type_ = static_cast<int>(t.repeatType.value_or(0));
  if (type_ == repeat_type::kNone) return "it has no repeat type";
  if (!Repeat::isRepeatType(type_)) return fmt::format("repeat type {} is unknown", type_);

  // The input screen's transfer mode 2 stands for the sending side.
  switch (t.doType.value_or(-1)) {
    case 0: kind_ = TxKind::kIncome; break;
    case 1: kind_ = TxKind::kExpense; break;
    case 2:
    case 3: kind_ = TxKind::kTransferOut; break;
    case 4: kind_ = TxKind::kTransferIn; break;
    default: return fmt::format("kind {} is not one a recurring transaction books", t.doType.value_or(-1));
  }
  transfer_ = kind_ == TxKind::kTransferOut || kind_ == TxKind::kTransferIn;

  // A deleted account is gone from every list and total: money booked there
  // would disappear from view.
  auto usable = [&cache](const Text& uid) -> std::optional<Asset> {
    auto a = cache.assetByUid(uid.value_or(""));
    if (!a || !live::isLiveAccount(*a)) return std::nullopt;
    return a;
  };
  other_.reset();
  if (transfer_) {
    other_ = usable(t.toAssetUid);
    if (!other_) return "the other account of the transfer is missing or deleted";
  }
  auto account = usable(t.assetUid);
  if (!account) return "its account is missing or deleted";
  account_ = *account;
  if (transfer_ && other_->uid == account_.uid) return "the transfer goes from an account to itself";

  std::optional<Category> category;
  if (!transfer_) {
    categoryUid_ = t.categoryUid.value_or("");
    if (categoryUid_ != kUncategorisedUid) {
      category = cache.categoryByUid(categoryUid_);
      if (!category) return "its category is missing";
    }
  }

  // The amounts are the same for every occurrence, each through the money module.
  const std::optional<Currency>& main = cache.mainCurrency();
  std::optional<Currency> currency = cache.currencyByUid(t.currencyUid.value_or(""));
  if (!currency) currency = main;
  currencyUid_ = currency ? currency->uid : t.currencyUid;
  // The template keeps the amount as typed; like the entry save, the
  // conversions start from it and the receiving side of a transfer from the
  // amount the sending side stores.
  const double entered = t.amountSub.value_or(0);
  amountSub_ = currency ? roundMoney(entered, static_cast<int>(currency->point.value_or(0))) : entered;
  amount_ = currency && main ? enteredToMain(entered, currency->rate.value_or(1.0),
                                             static_cast<int>(main->point.value_or(0)))
                             : amountSub_;
  auto inAccount = [&](const Asset& a, double from) {
    std::optional<Currency> own = cache.currencyByUid(a.currencyUid.value_or(""));
    if (!own) own = main;
    if (!own) return amount_;
    return accountAmount(currencyUid_.value_or(""), from, amount_, moneyCurrency(*own, main));
  };
  const bool receiving = kind_ == TxKind::kTransferIn;
  amountAccount_ = inAccount(account_, receiving ? amountSub_ : entered);
  if (other_) otherAmountAccount_ = inAccount(*other_, receiving ? entered : amountSub_);
  for (double v : {amountSub_, amount_, amountAccount_, otherAmountAccount_}) {
    if (!isMoneyInRange(v)) return fmt::format("an amount would be {}, beyond what the ledger keeps", v);
  }

  content_ = trimmed(t.payee.value_or(""));
  if (content_.empty() && fillEmptyContent_) {
    if (transfer_) {
      const bool sending = kind_ == TxKind::kTransferOut;
      const Asset& paying = sending ? account_ : *other_;
      const Asset& receiving = sending ? *other_ : account_;
      content_ = transferMemo(paying.NicName.value_or(""), receiving.NicName.value_or(""));
    } else {
      content_ = category ? category->Name.value_or("") : ledger_.texts().text("none_category");
    }
  }
  memo_ = trimSpaces(t.memo.value_or(""));
  mark_ = t.mark;
  // Every device books an occurrence with the same stamp, so that copies
  // meeting in a sync do not overwrite each other back and forth; a template
  // that never had one gives its rows the time of the run.
  utime_ = t.utime ? t.utime : Int(ledger_.env().nowMs());

  // The occurrences booked before, by any run: one indexed range read. '_'
  // is followed by '`', so this is exactly the identifiers "<uid>_…".
  existing_.clear();
  auto st = ledger_.store().prepare("SELECT ZUID FROM ZINOUTCOME WHERE ZUID >= ? AND ZUID < ?");
  st.bind(1, uid_ + "_");
  st.bind(2, uid_ + "`");
  while (st.executeStep()) existing_.insert(st.getColumn(0).getString());
  return std::nullopt;
}

Result<int64_t> TemplateBooker::book(const RepeatTransaction& t, int64_t limit, int64_t floor,
                                     RepeatBooking& booking) {
  const DateUtil& dates = ledger_.env().dates();
  const int64_t endDate = t.endDate.value_or(0);
  const int endDay = endDate > 0 ? dayNumber(dates.toLocal(msToStoreSeconds(endDate))) : 0;
  int64_t next = t.nextDate.value_or(0);
  while (next < limit) {
    if (next <= floor) {
      // Older occurrences are never booked; the series resumes after them.
      const auto resumed = repeat_.firstAfter(next, type_, floor);
      if (!resumed) break;
      next = *resumed;
      continue;
    }
    const double date = Repeat::occurrenceSeconds(next);
    const LocalDateTime local = dates.toLocal(date);
    if (endDay != 0 && dayNumber(local) > endDay) break;
    VARNEL_RETURN_IF_ERROR(bookOccurrence(local, date, booking));
    const auto after = repeat_.getNextDateByNextDate(next, local, type_);
    if (!after || *after <= next) break;
    next = *after;
  }
  return next;
}

Status TemplateBooker::bookOccurrence(const LocalDateTime& local, double date, RepeatBooking& booking) {
  // "<template>_<yyyy-MM-dd>_<kind>"; days only grow, so each is made once a run.
  const std::string uid =
      fmt::format("{}_{:04d}-{:02d}-{:02d}_{}", uid_, local.year, local.month, local.day, kindCode(kind_));
  const std::string day = uid.substr(uid_.size() + 1, 10);
  if (existing_.count(uid)) {
    ++booking.occurrencesAlreadyBooked;
    return Status::ok();
  }
  InOutCome row;
  row.uid = uid;
  row.Date = date;
  row.txDateStr = day;
  row.assetUid = account_.uid;
  row.currencyUid = currencyUid_;
  row.amountSub = amountSub_;
  row.amount = amount_;
  row.amountAccount = amountAccount_;
  row.Content = content_;
  row.memo = memo_;
  row.mark = mark_;
  row.utime = utime_;
  row.isSynced = 1;
  row.isDel = 0;
  setKind(row, kind_);
  row.cardDivideMonth = std::to_string(type_);
  row.cardDivideMonthStr = "";
  if (!transfer_) {
    row.categoryUid = categoryUid_;
    VARNEL_RETURN_IF_ERROR(rows_.updateInOutCome(row, false));
    booking.rows.push_back(std::move(row));
    return Status::ok();
  }

  const TxKind otherKind = oppositeSide(kind_);
  const std::string otherUid = fmt::format("{}_{}_{}", uid_, day, kindCode(otherKind));
  // A side that arrived alone (from another device) keeps its link.
  std::optional<InOutCome> otherExisting;
  if (existing_.count(otherUid)) otherExisting = rows_.inOutComeByUid(otherUid);
  row.txUidTrans = otherExisting && otherExisting->txUidTrans ? *otherExisting->txUidTrans : BaseRepository::newUid();
  row.toAssetUid = other_->uid;
  VARNEL_RETURN_IF_ERROR(rows_.updateInOutCome(row, false));
  booking.rows.push_back(row);
  if (otherExisting) return Status::ok();

  InOutCome other = row;
  other.pk = 0;
  other.uid = otherUid;
  other.assetUid = other_->uid;
  other.toAssetUid = account_.uid;
  other.amountAccount = otherAmountAccount_;
  setKind(other, otherKind);
  VARNEL_RETURN_IF_ERROR(rows_.updateInOutCome(other, false));
  booking.rows.push_back(std::move(other));
  return Status::ok();
}

}  // namespace

Result<RepeatRun> RepeatTransactionRepository::repeatDataInput(const std::vector<RepeatTransaction>& templates,
                                                               int64_t limit) {
  RepeatRun run;
  run.limit = limit;
  if (limit == 0) return run;
  const DateUtil& dates = ledger_.env().dates();
  const Repeat repeat(dates);
  const int64_t now = nowMs();
  const LocalDateTime today = dates.toLocal(msToStoreSeconds(now));
  const int64_t floor = storeSecondsToMs(dates.fromLocal(today.year - kRepeatHorizonYears, today.month, today.day,
                                                         today.hour, today.minute, today.second));
  InOutComeRepository rows(ledger_);
  TemplateBooker booker(ledger_, rows, repeat, TransactionSave(ledger_).autoSaveTxContent() == 0);

  Status done = inTransaction([&]() -> Status {
    for (const RepeatTransaction& given : templates) {
      // Re-read: the list may be older than the transaction.
      auto current = getRepeatByUId(given.uid.value_or(""));
      if (!current || !isLive(*current) || current->nextDate.value_or(0) >= limit) continue;
      RepeatTransaction& t = *current;
      if (auto reason = booker.prepare(t)) {
        log().info("repeat {} skipped: {}", t.uid.value_or(""), *reason);
        run.skipped.push_back({t.uid.value_or(""), *reason});
        continue;
      }
      RepeatBooking booking;
      booking.templateUid = t.uid.value_or("");
      booking.nextDateBefore = booking.nextDateAfter = t.nextDate.value_or(0);
      auto reached = booker.book(t, limit, floor, booking);
      VARNEL_RETURN_IF_ERROR(reached.status());
      if (*reached != booking.nextDateBefore) {
        t.nextDate = *reached;
        VARNEL_RETURN_IF_ERROR(updateRepeat(t, false));
        booking.nextDateAfter = *reached;
        ++run.countSave;
      }
      if (booking.nextDateAfter != booking.nextDateBefore || !booking.rows.empty()) {
        run.bookings.push_back(std::move(booking));
      }
    }
    return Status::ok();
  }, "repeate save");
  if (!done) return done;
  log().info("repeate countSave {}", run.countSave);
  log().info("repeate save");
  return run;
}

}  // namespace varnel
