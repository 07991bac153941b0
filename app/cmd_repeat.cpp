// `varnel repeat …`: recurring transactions (making a template with its first
// entry, listing, deleting, booking the due occurrences), and `varnel start`,
// the routine the application runs at start-up: due recurring entries, then
// due card payments.
#include <fmt/format.h>

#include "app/cli.h"
#include "app/transaction_lines.h"
#include "app/tx_options.h"
#include "ledger/card.h"
#include "ledger/repeat.h"
#include "ledger/repeat_transaction_repository.h"
#include "model/errors.h"
#include "model/record_json.h"
#include "setup/app_start.h"

namespace varnel::cli {

namespace {

nlohmann::json repeatRunJson(Ledger& ledger, const RepeatRun& run) {
  const DateUtil& dates = ledger.env().dates();
  nlohmann::json templates = nlohmann::json::array();
  for (const RepeatBooking& b : run.bookings) {
    templates.push_back({{"uid", b.templateUid},
                         {"nextDateBefore", dates.isoLocal(Repeat::occurrenceSeconds(b.nextDateBefore))},
                         {"nextDateAfter", dates.isoLocal(Repeat::occurrenceSeconds(b.nextDateAfter))},
                         {"booked", b.rows.size()},
                         {"alreadyBooked", b.occurrencesAlreadyBooked}});
  }
  nlohmann::json skipped = nlohmann::json::array();
  for (const RepeatSkip& s : run.skipped) skipped.push_back({{"uid", s.templateUid}, {"reason", s.reason}});
  nlohmann::json rows = nlohmann::json::array();
  for (const InOutCome& r : run.rows()) rows.push_back(recordJson(r, dates));
  return {{"countSave", run.countSave}, {"templates", templates}, {"skipped", skipped}, {"rows", rows}};
}

void printRepeatRunText(Ledger& ledger, const RepeatRun& run) {
  const std::vector<InOutCome> rows = run.rows();
  if (rows.empty()) std::cout << "No recurring entry was due\n";
  printRecords(ledger, rows, false);
  for (const RepeatSkip& s : run.skipped) printLine("skipped " + s.templateUid + ": " + s.reason);
}

}  // namespace

void addRepeatCommands(CLI::App& app, Context& ctx) {
  auto* repeat = app.add_subcommand("repeat", "Recurring transactions");
  repeat->require_subcommand(1);

  // --- add ---
  auto* add = repeat->add_subcommand(
      "add", "Save an entry that repeats: the entry (its first occurrence) and the recurring template");
  static std::string addType, addKind, addUntil;
  static TxOptions addOptions;
  add->add_option("TYPE", addType, "Repeat type: daily, weekdays, weekends, weekly, every-2-weeks, every-4-weeks, "
                                   "monthly, month-end, every-2-months, every-3-months, every-4-months, "
                                   "every-6-months, yearly, or its code")
      ->required();
  add->add_option("KIND", addKind, "income, expense or transfer")->required();
  addOptions.addTo(add, false, false);
  auto* until = add->add_option("--until", addUntil, "Last day an occurrence may fall on, YYYY-MM-DD");
  add->callback([&ctx, until] {
    const TxOptions& o = addOptions;
    TransactionForm form;
    form.mode = parseMode(addKind);
    const int type = parseRepeatType(addType, "TYPE");
    if (type == repeat_type::kNone) throw InputError("TYPE must be a repeat type, not none");
    if (!o.has("amount")) throw InputError("--amount is required");
    auto ledger = ctx.openLedger();
    applyOptions(o, *ledger, form);
    form.repeatType = type;
    if (until->count() > 0) form.repeatEndDate = ledger->env().parseDay(addUntil, "--until");
    finishSave(*ledger, TransactionSave(*ledger).saveTransaction(form), ctx.json);
  });

  // --- list ---
  auto* list = repeat->add_subcommand("list", "The recurring templates, by next date");
  static bool listAll = false;
  list->add_flag("--all", listAll, "Deleted templates too");
  list->callback([&ctx] {
    auto ledger = ctx.openLedger();
    RepeatTransactionRepository repository(*ledger);
    const auto templates = listAll ? repository.getListAll() : repository.getListLive();
    if (ctx.json) {
      nlohmann::json out = nlohmann::json::array();
      for (const auto& t : templates) out.push_back(recordJson(t, ledger->env().dates()));
      printJson(out);
      return;
    }
    for (const auto& t : templates) printLine(repeatLine(*ledger, t));
  });

  // --- delete ---
  auto* remove = repeat->add_subcommand("delete", "Delete a recurring template (the entries it booked stay)");
  static std::string deleteUid;
  remove->add_option("UID", deleteUid, "Template identifier")->required();
  remove->callback([&ctx] {
    auto ledger = ctx.openLedger();
    const RepeatTransaction gone = check(RepeatTransactionRepository(*ledger).deleteRepeatByUid(deleteUid));
    if (ctx.json) {
      printJson(recordJson(gone, ledger->env().dates()));
    } else {
      printLine(repeatLine(*ledger, gone));
    }
  });

  // --- run ---
  auto* run = repeat->add_subcommand("run", "Book the recurring entries that are due (never one twice)");
  run->callback([&ctx] {
    auto ledger = ctx.openLedger();
    const RepeatRun booked = check(RepeatTransactionRepository(*ledger).repeatDataInputAll());
    if (ctx.json) {
      printJson(repeatRunJson(*ledger, booked));
    } else {
      printRepeatRunText(*ledger, booked);
    }
  });

  // --- start ---
  auto* start = app.add_subcommand("start", "The start-up routine: book the due recurring entries, then the due "
                                            "card payments");
  start->callback([&ctx] {
    auto ledger = ctx.openLedger();
    const StartRoutineReport report = check(runStartRoutine(*ledger));
    if (ctx.json) {
      printJson({{"recurring", repeatRunJson(*ledger, report.repeats)},
                 {"cardPayments", autoPaymentJson(report.payments)}});
      return;
    }
    std::cout << "Recurring entries:\n";
    printRepeatRunText(*ledger, report.repeats);
    std::cout << "Card payments:\n";
    printAutoPaymentText(*ledger, report.payments);
  });
}

}  // namespace varnel::cli
