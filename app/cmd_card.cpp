// `varnel card …`: a credit card's bill (settlement figures, billing periods,
// payment dates, usage target) and the automatic payment of due bills.
#include <fmt/format.h>

#include "app/cli.h"
#include "ledger/asset_repository.h"
#include "ledger/card.h"
#include "model/errors.h"
#include "model/number_input.h"

namespace varnel::cli {

namespace {

// A credit card, named as any account is.
Asset resolveCard(Ledger& ledger, const std::string& text) {
  const Asset card = resolveAccount(ledger.commonData(), text);
  if (ledger.commonData().getAssetGroupTypeAsset(card) != kCreditCardGroupType) {
    throw InputError("'" + card.NicName.value_or(text) + "' is not a credit card");
  }
  return card;
}

std::string amountText(double value, int point) {
  if (value == 0) value = 0;  // no "-0"
  return fmt::format("{:.{}f}", value, point);
}

std::string accountName(Ledger& ledger, const Text& uid) {
  auto a = ledger.commonData().assetByUid(uid.value_or(""));
  return a ? a->NicName.value_or("") : uid.value_or("");
}

void printStatus(Ledger& ledger, const Asset& card, std::optional<int> month, bool json) {
  CardRepository cards(ledger);
  const DateUtil& dates = ledger.env().dates();
  const CardSettlement s = cards.cardSettlement(card);
  const CardPaymentDates pay = cards.newPayDate(s.datePastEnd, s.dateWillEnd, cardDayPay(card), cardDayFin(card));
  const CardUsageView usage = cards.cardUsageView(card, month);
  const auto currency = cards.cardCurrency(card);
  const int point = currency ? static_cast<int>(currency->point.value_or(0)) : 0;
  const std::string iso = currency ? currency->iso.value_or("") : "";
  auto day = [&](double d) { return dates.dayKey(d); };
  const CardPeriods& p = s.periods;

  if (json) {
    printJson({
        {"card", card.uid.value_or("")},
        {"name", card.NicName.value_or("")},
        {"currency", iso},
        {"Card_DayFin", cardDayFin(card)},
        {"Card_DayPay", cardDayPay(card)},
        {"previousPeriod", {{"start", day(p.ps)}, {"end", day(p.dateWillEnd)}}},
        {"currentPeriod", {{"start", day(p.cs)}, {"end", day(p.currentEnd)}}},
        {"displayPastPayAmount", s.displayPastPayAmount},
        {"LastMonthMoney", s.LastMonthMoney},
        {"ThisMonthMoney", s.ThisMonthMoney},
        {"datePastEnd", day(s.datePastEnd)},
        {"dateWillEnd", day(s.dateWillEnd)},
        {"paymentDate", day(pay.paymentDate)},
        {"pastPaymentDate", day(pay.pastPaymentDate)},
        {"usage",
         {{"type", usage.threeMonths ? "three-months" : "monthly"},
          {"label", usage.label},
          {"startDate", day(usage.usage.startDate)},
          {"endDate", day(usage.usage.endDate)},
          {"amount", usage.usage.amount},
          {"target", usage.target},
          {"reached", usage.reached},
          {"remaining", usage.remaining}}},
    });
    return;
  }
  std::string head = fmt::format("{}  {}  settle {}  pay {}", card.NicName.value_or(""), iso, cardDayFin(card),
                                 cardDayPay(card));
  if (card.cardAssetUid && !card.cardAssetUid->empty()) head += "  paid from " + accountName(ledger, card.cardAssetUid);
  if (card.isCardAutoPay.value_or(0) == 1) head += "  autopay";
  printLine(head);
  std::cout << fmt::format("Previous period       {} ~ {}\n", day(p.ps), day(p.dateWillEnd));
  std::cout << fmt::format("Current period        {} ~ {}\n", day(p.cs), day(p.currentEnd));
  std::cout << fmt::format("displayPastPayAmount  {}\n", amountText(s.displayPastPayAmount, point));
  std::cout << fmt::format("LastMonthMoney        {}\n", amountText(s.LastMonthMoney, point));
  std::cout << fmt::format("ThisMonthMoney        {}\n", amountText(s.ThisMonthMoney, point));
  std::cout << fmt::format("datePastEnd           {}\n", day(s.datePastEnd));
  std::cout << fmt::format("dateWillEnd           {}\n", day(s.dateWillEnd));
  std::cout << fmt::format("paymentDate           {}\n", day(pay.paymentDate));
  std::cout << fmt::format("pastPaymentDate       {}\n", day(pay.pastPaymentDate));
  std::string state;
  if (!usage.hasTarget) {
    state = "no target";
  } else if (usage.reached) {
    state = "target reached";
  } else {
    state = amountText(usage.remaining, point) + " still to spend";
  }
  printLine(fmt::format("Usage                 {}: {} of {}, {}", usage.label,
                        amountText(usage.usage.amount, point), amountText(usage.target, point), state));
}

}  // namespace

nlohmann::json autoPaymentJson(const AutoPaymentRun& run) {
  nlohmann::json payments = nlohmann::json::array();
  for (const auto& b : run.bookings) {
    const InOutCome& in = *b.transferIn;
    payments.push_back({{"card", b.cardUid},
                        {"payer", in.toAssetUid.value_or("")},
                        {"date", in.txDateStr.value_or("")},
                        {"amountSub", in.amountSub.value_or(0)},
                        {"amount", in.amount.value_or(0)},
                        {"amountAccount", in.amountAccount.value_or(0)},
                        {"currencyUid", in.currencyUid.value_or("")},
                        {"txUidTrans", in.txUidTrans.value_or("")},
                        {"transferIn", in.uid.value_or("")},
                        {"transferOut", b.transferOut ? nlohmann::json(b.transferOut->uid.value_or(""))
                                                      : nlohmann::json(nullptr)}});
  }
  return {{"alreadyRanToday", run.alreadyRanToday}, {"booked", run.booked}, {"payments", payments}};
}

void printAutoPaymentText(Ledger& ledger, const AutoPaymentRun& run) {
  const CommonData& common = ledger.commonData();
  if (run.alreadyRanToday) {
    std::cout << "Automatic payments already ran today; nothing was booked\n";
    return;
  }
  if (run.bookings.empty()) {
    std::cout << "No automatic payment was due\n";
    return;
  }
  for (const auto& b : run.bookings) {
    const InOutCome& in = *b.transferIn;
    const auto currency = common.currencyByUid(in.currencyUid.value_or(""));
    const int point = currency ? static_cast<int>(currency->point.value_or(0)) : 0;
    printLine(fmt::format("{}  {} <- {}  {} {}  {}{}", in.txDateStr.value_or(""), accountName(ledger, in.assetUid),
                          accountName(ledger, in.toAssetUid), amountText(in.amountSub.value_or(0), point),
                          currency ? currency->iso.value_or("") : "", in.uid.value_or(""),
                          b.transferOut ? "" : "  (paying side already present)"));
  }
}

void addCardCommands(CLI::App& app, Context& ctx) {
  auto* card = app.add_subcommand("card", "Credit card bills and automatic payment");
  card->require_subcommand(1);

  auto* status = card->add_subcommand("status", "A card's bill: settlement figures, periods, payment dates, usage");
  static std::string cardName, month;
  status->add_option("CARD", cardName, "Credit card, by identifier or name")->required();
  status->add_option("--month", month, "Month of the usage target, yyyymm (default: this month)");
  status->callback([&ctx, status] {
    const std::optional<int> usageMonth =
        status->count("--month") > 0 ? std::optional<int>(parseYearMonthText(month, "--month", kFirstYear, kLastYear)) : std::nullopt;
    auto ledger = ctx.openLedger();
    const Asset asset = resolveCard(*ledger, cardName);
    printStatus(*ledger, asset, usageMonth, ctx.json);
  });

  auto* autopay = card->add_subcommand("autopay", "Book the card payments that are due (once a day)");
  autopay->callback([&ctx] {
    auto ledger = ctx.openLedger();
    CardRepository cards(*ledger);
    AutoPaymentRun run;
    if (cards.autoPaymentRanToday()) {
      run.alreadyRanToday = true;
    } else {
      // All cards or none, and the day recorded only once they are written:
      // a card the store refused leaves the ledger as it was for the next try.
      check(cards.inTransaction([&]() -> Status {
        run = cards.bookDueAutoPayments();
        return run.status;
      }, "funcAutoPayment"));
      cards.recordAutoPaymentRun();
    }
    if (ctx.json) {
      printJson(autoPaymentJson(run));
    } else {
      printAutoPaymentText(*ledger, run);
    }
  });
}

}  // namespace varnel::cli
