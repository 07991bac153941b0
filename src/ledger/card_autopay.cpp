// Automatic payment of card bills: on or after a card's payment day the bill
// is booked as a transfer from the paying account into the card. The rows
// carry identifiers made from the card, the day and the kind, so that every
// device (and every run) finds a payment already booked instead of booking it
// twice.
#include <cmath>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "ledger/asset_repository.h"
#include "ledger/card.h"
#include "ledger/currency_conversion.h"
#include "model/liveness.h"
#include "model/tx_kind.h"

namespace varnel {

namespace {

int pointOf(const std::optional<Currency>& currency) {
  return currency ? static_cast<int>(currency->point.value_or(0)) : 0;
}

}  // namespace

std::string CardRepository::autoPaymentDay() const {
  return ledger_.env().dates().format(ledger_.env().nowStoreSeconds(), "yyyyMMdd");
}

bool CardRepository::autoPaymentRanToday() {
  return ledger_.preferences().getString(kAutoPaymentPreferenceKey) == autoPaymentDay();
}

void CardRepository::recordAutoPaymentRun() {
  if (!ledger_.preferences().setString(kAutoPaymentPreferenceKey, autoPaymentDay())) {
    log().error("funcAutoPayment: the day of the run could not be kept");
  }
}

AutoPaymentRun CardRepository::funcAutoPayment() {
  if (autoPaymentRanToday()) {
    AutoPaymentRun run;
    run.alreadyRanToday = true;
    return run;
  }
  AutoPaymentRun run = bookDueAutoPayments();
  recordAutoPaymentRun();
  return run;
}

AutoPaymentRun CardRepository::bookDueAutoPayments() {
  AutoPaymentRun run;
  const DateUtil& dates = ledger_.env().dates();
  const double now = ledger_.env().nowStoreSeconds();

  const CommonData& common = ledger_.commonData();
  const std::optional<Currency> mainCurrency = common.mainCurrency();
  const std::string content = ledger_.texts().text("inout_edit_lable11");
  const std::string memo = ledger_.texts().text("Automatic Payment");

  // A card that was deleted pays nothing; a hidden one still does.
  for (const Asset& card : common.getArrayCardAsset(false)) {
    if (card.isCardAutoPay.value_or(0) != 1 || !card.uid) continue;
    const auto payer = common.assetByUid(card.cardAssetUid.value_or(""));
    if (!payer || !live::isLiveAccount(*payer) || payer->uid == card.uid) continue;

    const CardSettlement s = cardSettlement(card);
    const CardPaymentDates due = newPayDate(s.datePastEnd, s.dateWillEnd, cardDayPay(card), cardDayFin(card));
    double date = 0, owed = 0;
    if (due.paymentDate < now) {
      date = due.paymentDate;
      owed = s.displayPastPayAmount + s.LastMonthMoney;
    } else {
      date = due.pastPaymentDate;
      owed = s.displayPastPayAmount;
    }
    // The figures are in the card's currency, so its decimals decide what is
    // too small to pay.
    const std::optional<Currency> currency = cardCurrency(card);
    const int cardPoint = pointOf(currency);
    if (!(owed < 0 && -owed >= std::pow(10.0, -cardPoint))) continue;

    const std::string day = dates.dayKey(date);
    const std::string inUid = fmt::format("{}_{}_{}", *card.uid, day, 4);
    if (dataByUid<InOutCome>(inUid)) continue;
    const std::string outUid = fmt::format("{}_{}_{}", *card.uid, day, 3);
    const std::optional<InOutCome> existingOut = dataByUid<InOutCome>(outUid);

    const double paid = -owed;
    // A card in the main currency has rate 1 and the main decimals, so the
    // three amounts agree; a card in another currency keeps its own decimals
    // and is brought into the main currency at its own rate.
    const double rate = currency ? currency->rate.value_or(1.0) : 1.0;
    const int mainPoint = pointOf(mainCurrency);

    InOutCome in = newObjectForEntity<InOutCome>(inUid);
    in.txUidTrans = existingOut && existingOut->txUidTrans ? *existingOut->txUidTrans : newUid();
    in.Date = date;
    in.txDateStr = day;
    in.amountSub = roundMoney(paid, cardPoint);
    in.amount = enteredToMain(*in.amountSub, rate, mainPoint);
    in.currencyUid = currency ? currency->uid : card.currencyUid;
    in.amountAccount = roundMoney(*in.amountSub, cardPoint);
    in.assetUid = card.uid;
    in.toAssetUid = payer->uid;
    setKind(in, TxKind::kTransferIn);
    in.Content = content;
    in.memo = memo;
    // Every device books the same row with the same stamp, so that the copies
    // meeting in a sync do not overwrite each other back and forth.
    in.utime = card.utime.value_or(nowMs());
    in.isSynced = 1;
    in.isDel = 0;

    std::vector<InOutCome> rows{in};
    if (!existingOut) {
      InOutCome out = newObjectForEntity<InOutCome>(outUid);
      out.txUidTrans = in.txUidTrans;
      out.Date = in.Date;
      out.txDateStr = dates.dayKey(*out.Date);
      out.amountSub = in.amountSub;
      out.amount = in.amount;
      out.amountAccount = payerAmountAccount(in, *payer);
      out.currencyUid = in.currencyUid;
      out.assetUid = payer->uid;
      out.toAssetUid = card.uid;
      setKind(out, TxKind::kTransferOut);
      out.Content = content;
      out.memo = memo;
      out.utime = in.utime;
      out.isSynced = 1;
      out.isDel = 0;
      rows.push_back(out);
    }
    // The older numeric link: new rows have no numeric id, so it stays empty.
    rows.front().OppositeAid = existingOut ? existingOut->aId : Int{};

    // Both rows or neither; a failure is logged and the next card goes on.
    if (Status saved = saveAll(rows, "updateInOutCome", false); !saved) {
      if (run.status) run.status = saved;
      continue;
    }
    AutoPaymentBooking booking;
    booking.cardUid = *card.uid;
    booking.transferIn = rows.front();
    if (rows.size() > 1) booking.transferOut = rows[1];
    run.bookings.push_back(std::move(booking));
    run.booked = true;
  }

  return run;
}

double CardRepository::payerAmountAccount(const InOutCome& transferIn, const Asset& payer) const {
  const CommonData& common = ledger_.commonData();
  const std::optional<Currency> own = common.currencyByUid(payer.currencyUid.value_or(""));
  if (!own) {
    // An account without a currency row counts as being in the main currency.
    return transferIn.currencyUid ? transferIn.amount.value_or(0) : transferIn.amountSub.value_or(0);
  }
  return accountAmount(transferIn.currencyUid.value_or(""), transferIn.amountSub.value_or(0),
                       transferIn.amount.value_or(0), moneyCurrency(*own, common.mainCurrency()));
}

}  // namespace varnel
