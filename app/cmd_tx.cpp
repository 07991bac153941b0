// `varnel tx …`: transactions. Adding, changing, copying and deleting one,
// showing and listing them, and the bulk edits of a selection. Accounts and
// categories are named by identifier or exact name; a refusal of the save
// prints its message key and text.
#include <cctype>
#include <map>
#include <sstream>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "app/cli.h"
#include "app/transaction_lines.h"
#include "app/tx_options.h"
#include "ledger/repeat.h"
#include "model/record_json.h"
#include "ledger/asset_repository.h"
#include "ledger/card_installment.h"
#include "ledger/category_repository.h"
#include "ledger/currency_conversion.h"
#include "ledger/currency_repository.h"
#include "ledger/in_out_come_repository.h"
#include "ledger/photo_store.h"
#include "ledger/tag_repository.h"
#include "ledger/transaction_save.h"
#include "model/errors.h"
#include "model/tx_kind.h"
#include "reports/common_filter.h"

namespace varnel::cli {

namespace {

KindGroup parseKind(const std::string& text) {
  if (text == "income") return KindGroup::kIncome;
  if (text == "expense") return KindGroup::kExpense;
  if (text == "transfer") return KindGroup::kTransfer;
  if (text == "adjustment") return KindGroup::kAdjustment;
  throw InputError("--kind must be income, expense, transfer or adjustment: '" + text + "'");
}

std::string resolveCategoryUid(Ledger& ledger, const std::string& text) {
  // The pseudo-categories go to the save as they are; it knows what to do with them.
  if (text == kUncategorisedUid || text == kBalanceAdjustmentUid) return text;
  return *resolveCategory(ledger.commonData(), text).uid;
}

std::string resolveAccountUid(Ledger& ledger, const std::string& text) {
  return *resolveAccount(ledger.commonData(), text).uid;
}

InOutCome loadRecord(Ledger& ledger, const std::string& uid) {
  auto record = InOutComeRepository(ledger).inOutComeByUid(uid);
  if (!record) throw InputError("no transaction '" + uid + "'");
  return *record;
}

std::vector<std::string> splitList(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  std::string item;
  while (std::getline(in, item, ',')) {
    if (!item.empty()) out.push_back(item);
  }
  return out;
}

}  // namespace

void TxOptions::addTo(CLI::App* cmd, bool forEdit, bool withRepeat) {
    if (forEdit) given["kind"] = cmd->add_option("--kind", kind, "New kind: income, expense or transfer");
    given["account"] = cmd->add_option("--account", account, "Account (the sending account of a transfer)");
    given["to"] = cmd->add_option("--to", to, "Receiving account of a transfer");
    given["category"] = cmd->add_option("--category", category, "Category, by uid, full name or name");
    given["amount"] = cmd->add_option("--amount", amount, "Amount as entered");
    given["currency"] = cmd->add_option("--currency", currency, "Currency of the amount, by ISO code or row uid");
    given["main-amount"] = cmd->add_option("--main-amount", mainAmount, "The amount in the main currency");
    given["date"] = cmd->add_option("--date", date, "Date and time, ISO-8601 (local time)");
    given["content"] = cmd->add_option("--content", content, "Content (payee or item)");
    given["memo"] = cmd->add_option("--memo", memo, "Memo");
    given["mark"] = cmd->add_option("--mark", mark, "Marker number");
    given["tag"] = cmd->add_option("--tag", tags, "Tag, by uid or name (repeatable)");
    given["photo"] = cmd->add_option("--photo", photos, "JPEG file to attach (repeatable)");
    given["fee"] = cmd->add_option("--fee", fee, "Transfer fee");
    given["fee-currency"] = cmd->add_option("--fee-currency", feeCurrency, "Currency of the fee");
    given["installments"] = cmd->add_option("--installments", installments, "Card instalment count");
    if (withRepeat) given["repeat"] = cmd->add_option("--repeat", repeat, "Repeat type, by name (monthly, …) or code");
    if (forEdit) {
      given["no-fee"] = cmd->add_flag("--no-fee", noFee, "Remove the transfer's fee");
      given["no-tags"] = cmd->add_flag("--no-tags", noTags, "Remove every tag");
    }
}

int parseMode(const std::string& text) {
  if (text == "income") return kModeIncome;
  if (text == "expense") return kModeExpense;
  if (text == "transfer") return kModeTransfer;
  throw InputError("the kind must be income, expense or transfer: '" + text + "'");
}

int parseRepeatType(const std::string& text, const std::string& what) {
  if (text == "none" || text == "0") return repeat_type::kNone;
  if (auto code = Repeat::codeOfCommandName(text)) return *code;
  std::string names;
  for (int code : Repeat::getRepeatTypes()) names += (names.empty() ? "" : ", ") + std::string(Repeat::commandName(code));
  throw InputError(what + " must be a repeat type (" + names + ", or its code): '" + text + "'");
}

void applyOptions(const TxOptions& o, Ledger& ledger, TransactionForm& form) {
  if (o.has("account")) form.account = resolveAccountUid(ledger, o.account);
  if (o.has("to")) form.targetAccount = resolveAccountUid(ledger, o.to);
  if (o.has("category")) form.category = resolveCategoryUid(ledger, o.category);
  if (o.has("currency")) form.currency = resolveCurrency(ledger, o.currency).uid.value_or("");
  if (o.has("amount")) form.amount = parseAmount(o.amount, "--amount");
  if (o.has("main-amount")) form.mainAmount = parseAmount(o.mainAmount, "--main-amount");
  if (o.has("date")) form.date = ledger.env().parseIso(o.date);
  if (o.has("content")) form.content = o.content;
  if (o.has("memo")) form.memo = o.memo;
  if (o.has("mark")) form.mark = parseInteger(o.mark, "--mark", 0, kMaxCode);
  if (o.has("tag")) {
    form.tags.clear();
    for (const auto& t : o.tags) form.tags.push_back(resolveTag(ledger, t).uid.value_or(""));
  }
  if (o.noTags) form.tags.clear();
  for (const auto& p : o.photos) form.photos.emplace_back(p);
  if (o.has("fee")) {
    const double fee = parseAmount(o.fee, "--fee");
    if (fee < 0) throw InputError("--fee must not be negative: '" + o.fee + "'");
    form.fee = TransactionFee{fee, form.fee ? form.fee->currency : std::string()};
  }
  if (o.has("fee-currency")) {
    if (!form.fee) throw InputError("--fee-currency needs --fee");
    form.fee->currency = resolveCurrency(ledger, o.feeCurrency).uid.value_or("");
  }
  if (o.noFee) {
    if (o.has("fee")) throw InputError("--fee and --no-fee exclude each other");
    form.fee.reset();
  }
  if (o.has("installments")) {
    // 0 is no instalments and 1 the purchase unsplit, as on the entry screen.
    form.installments = static_cast<int>(parseInteger(o.installments, "--installments", 0, kMaxInstallments));
  }
  if (o.has("repeat")) form.repeatType = parseRepeatType(o.repeat, "--repeat");
  if (form.mode != kModeTransfer) {
    if (o.has("to")) throw InputError("--to is only for transfers");
    if (o.has("fee")) throw InputError("--fee is only for transfers");
    form.targetAccount.clear();
    form.fee.reset();  // a transfer changed into an income or expense leaves its fee field
  } else {
    if (o.has("category")) throw InputError("a transfer has no category");
    form.category.clear();
  }
}

void printRecords(Ledger& ledger, const std::vector<InOutCome>& records, bool json) {
  if (json) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& r : records) out.push_back(recordJson(r, ledger.env().dates()));
    printJson(out);
    return;
  }
  TransactionPrinter printer(ledger);
  for (const auto& r : records) printLine(printer.line(r));
}

std::string repeatLine(Ledger& ledger, const RepeatTransaction& r) {
  const CommonData& cache = ledger.commonData();
  const DateUtil& dates = ledger.env().dates();
  auto nameOf = [&cache](const Text& uid) {
    auto a = cache.assetByUid(uid.value_or(""));
    return a ? a->NicName.value_or("") : uid.value_or("?");
  };
  const int64_t kind = r.doType.value_or(-1);
  const bool transfer = kind == 2 || kind == 3 || kind == 4;
  std::string what = transfer ? "transfer" : kind == 0 ? "income" : kind == 1 ? "expense" : fmt::format("kind {}", kind);
  std::string accounts = nameOf(r.assetUid);
  if (transfer) accounts += (kind == 4 ? " ← " : " → ") + nameOf(r.toAssetUid);
  const std::string category = transfer ? "" : "  [" + cache.getCategoryFullNameByCategoryId(r.categoryUid.value_or("")) + "]";
  const auto currency = cache.currencyByUid(r.currencyUid.value_or(""));
  const std::string type = r.repeatType ? std::string(Repeat::commandName(static_cast<int>(*r.repeatType))) : "";
  const std::string end = r.endDate.value_or(0) > 0 ? "  until " + dates.dayKey(msToStoreSeconds(*r.endDate)) : "";
  return fmt::format("{}  {:<14} next {}  {:<8} {}{}  {} {}  \"{}\"{}{}", r.uid.value_or(""),
                     type.empty() ? fmt::format("type {}", r.repeatType.value_or(0)) : type,
                     dates.format(Repeat::occurrenceSeconds(r.nextDate.value_or(0)), "yyyy-MM-dd HH:mm"), what,
                     accounts, category, r.amountSub.value_or(0), currency ? currency->iso.value_or("?") : "?",
                     r.payee.value_or(""), end, isLive(r) ? "" : "  (deleted)");
}

void finishSave(Ledger& ledger, const TransactionSaveResult& result, bool json) {
  if (result.refusal) throw InputError(*result.refusal + ": " + ledger.texts().text(*result.refusal));
  check(result.status);
  if (!result.repeat) {
    printRecords(ledger, result.records(), json);
    return;
  }
  if (json) {
    nlohmann::json records = nlohmann::json::array();
    for (const auto& r : result.records()) records.push_back(recordJson(r, ledger.env().dates()));
    printJson({{"repeat", recordJson(*result.repeat, ledger.env().dates())}, {"records", records}});
    return;
  }
  printLine(repeatLine(ledger, *result.repeat));
  printRecords(ledger, result.records(), false);
}

void addTransactionCommands(CLI::App& app, Context& ctx) {
  auto* tx = app.add_subcommand("tx", "Transactions");
  tx->require_subcommand(1);

  // --- add ---
  auto* add = tx->add_subcommand("add", "Add an income, expense or transfer");
  static std::string addKind;
  static TxOptions addOptions;
  add->add_option("KIND", addKind, "income, expense or transfer")->required();
  addOptions.addTo(add, false);
  add->callback([&ctx] {
    const TxOptions& o = addOptions;
    TransactionForm form;
    form.mode = parseMode(addKind);
    if (!o.has("amount")) throw InputError("--amount is required");
    auto ledger = ctx.openLedger();
    applyOptions(o, *ledger, form);
    finishSave(*ledger, TransactionSave(*ledger).saveTransaction(form), ctx.json);
  });

  // --- edit ---
  auto* edit = tx->add_subcommand("edit", "Change a transaction (a transfer from either side)");
  static std::string editUid;
  static TxOptions editOptions;
  edit->add_option("UID", editUid, "Transaction identifier")->required();
  editOptions.addTo(edit, true);
  edit->callback([&ctx] {
    const TxOptions& o = editOptions;
    auto ledger = ctx.openLedger();
    TransactionSave saver(*ledger);
    TransactionForm form = saver.formForRecord(editUid);
    const std::string oldCurrency = form.currency;
    const double oldAmount = form.amount;
    const auto oldMain = form.mainAmount;
    if (o.has("kind")) form.mode = parseMode(o.kind);
    applyOptions(o, *ledger, form);
    CurrencyRepository currencies(*ledger);
    const auto main = currencies.getMainCurrency();
    // A new amount in the same foreign currency keeps the ratio the record
    // was stored with; a new currency, or amounts that carry no ratio (a main
    // amount that rounded to 0), take the current rate.
    if (!o.has("main-amount") && form.mainAmount) {
      if (form.currency != oldCurrency || !oldMain || !main) {
        form.mainAmount.reset();
      } else if (form.amount != oldAmount) {
        form.mainAmount = convertAtStoredRatio(form.amount, oldAmount, *oldMain,
                                               static_cast<int>(main->point.value_or(0)));
      }
    }
    if (main && (form.currency.empty() || form.currency == main->uid)) form.mainAmount.reset();
    finishSave(*ledger, saver.saveTransaction(form), ctx.json);
  });

  // --- copy ---
  auto* copy = tx->add_subcommand("copy", "Save a copy of a transaction as a new entry");
  static std::string copyUid, copyDate;
  static bool copyToday = false;
  copy->add_option("UID", copyUid, "Transaction identifier")->required();
  auto* todayFlag = copy->add_flag("--today", copyToday, "Date the copy now");
  auto* dateOption = copy->add_option("--date", copyDate, "Date the copy at this date and time, ISO-8601");
  todayFlag->excludes(dateOption);
  copy->callback([&ctx, dateOption] {
    if (!copyToday && dateOption->count() == 0) throw InputError("give --today or --date");
    auto ledger = ctx.openLedger();
    TransactionSave saver(*ledger);
    const auto result = copyToday ? saver.copyTransaction(copyUid, CopyDate::kToday)
                                  : saver.copyTransaction(copyUid, CopyDate::kDateAt, ledger->env().parseIso(copyDate));
    finishSave(*ledger, result, ctx.json);
  });

  // --- delete ---
  auto* remove = tx->add_subcommand("delete", "Delete a transaction (both sides of a transfer; the fee stays)");
  static std::string deleteUid;
  static bool deleteSeries = false;
  remove->add_option("UID", deleteUid, "Transaction identifier")->required();
  remove->add_flag("--series", deleteSeries, "Delete every record of its instalment series");
  remove->callback([&ctx] {
    auto ledger = ctx.openLedger();
    TransactionSave saver(*ledger);
    const InOutCome record = loadRecord(*ledger, deleteUid);
    const DeleteQuestion question = saver.deleteQuestion(record);
    if (deleteSeries && !question.isSeries) {
      throw InputError("transaction " + deleteUid + " is not part of an instalment series");
    }
    const auto deleted = saver.deleteTransaction(deleteUid, deleteSeries ? DeleteAnswer::kAll : DeleteAnswer::kThisOnly);
    check(deleted.status());
    printRecords(*ledger, *deleted, ctx.json);
  });

  // --- show ---
  auto* show = tx->add_subcommand("show", "Show a transaction with its tags, photos, other side and fee");
  static std::string showUid;
  show->add_option("UID", showUid, "Transaction identifier")->required();
  show->callback([&ctx] {
    auto ledger = ctx.openLedger();
    const InOutCome record = loadRecord(*ledger, showUid);
    InOutComeRepository repo(*ledger);
    std::vector<std::string> tagNames, tagUids, photoNames;
    for (const Tag& t : TagRepository(*ledger).tagListOfTx(showUid)) {
      tagNames.push_back(t.name.value_or(""));
      tagUids.push_back(t.uid.value_or(""));
    }
    for (const Photo& p : PhotoStore(*ledger).listPhoto(showUid)) photoNames.push_back(p.fileName.value_or(""));
    if (ctx.json) {
      nlohmann::json out = recordJson(record, ledger->env().dates());
      out["tags"] = tagUids;
      out["photos"] = photoNames;
      printJson(out);
      return;
    }
    TransactionPrinter printer(*ledger);
    printLine(printer.line(record));
    printLine("  memo: " + record.memo.value_or(""));
    printLine(fmt::format("  mark: {}", record.mark.value_or(0)));
    printLine("  tags: " + (tagNames.empty() ? std::string("(none)") : fmt::format("{}", fmt::join(tagNames, ", "))));
    printLine(fmt::format("  photos: {}", photoNames.size()));
    if (auto other = repo.oppositeOfTransfer(record)) printLine("  other side: " + printer.line(*other));
    const InOutCome* sending = &record;
    std::optional<InOutCome> sendingSide;
    if (isKind(record, TxKind::kTransferIn)) {
      sendingSide = repo.oppositeOfTransfer(record);
      sending = sendingSide ? &*sendingSide : nullptr;
    }
    if (sending && isKind(*sending, TxKind::kTransferOut)) {
      if (auto fee = repo.feeWithInOutCome(*sending)) printLine("  fee: " + printer.line(*fee));
    }
  });

  // --- list ---
  auto* list = tx->add_subcommand("list", "Transactions by date, narrowed as the transaction screens' filter narrows them");
  static std::string listFrom, listTo, listAccount, listText;
  static std::vector<std::string> listCategories, listKinds, listFilters;
  static bool listAll = false;
  list->add_option("--from", listFrom, "First day YYYY-MM-DD");
  list->add_option("--to", listTo, "Last day YYYY-MM-DD, included");
  list->add_option("--account", listAccount, "Rows booked on this account (uid or name)");
  list->add_option("--category", listCategories,
                   "Income or expense rows of this category (a main category with its sub-categories; "
                   "-2 uncategorised); repeatable");
  list->add_option("--kind", listKinds, "income, expense, transfer or adjustment; repeatable");
  list->add_option("--filter", listFilters,
                   "Transfer rows by marker and account: #OUTCOMETRANS<account> (into it), #INCOMETRANS<account> "
                   "(out of it), #OUTCOMECARD<card> (card payments); repeatable");
  list->add_option("--text", listText, "Text in the content or memo (case and accents ignored)");
  list->add_flag("--all", listAll, "Deleted records too");
  list->callback([&ctx] {
    std::vector<KindGroup> kinds;
    for (const auto& k : listKinds) kinds.push_back(parseKind(k));
    auto ledger = ctx.openLedger();
    const CommonData& cache = ledger->commonData();
    InOutComeFilter filter;
    filter.includeDeleted = listAll;
    if (!listFrom.empty()) filter.startDate = ledger->env().parseDay(listFrom, "--from");
    if (!listTo.empty()) {
      const LocalDateTime last = ledger->env().dates().toLocal(ledger->env().parseDay(listTo, "--to"));
      filter.endDate = ledger->env().dates().fromLocal(last.year, last.month, last.day + 1);
    }
    if (filter.startDate && filter.endDate && *filter.endDate <= *filter.startDate) {
      throw InputError("--to must not be before --from");
    }
    if (!listAccount.empty()) filter.assetUid = resolveAccountUid(*ledger, listAccount);
    filter.text = listText;
    // The screens' filter keeps income and expense categories apart; the
    // uncategorised rows are of either kind.
    std::vector<std::string> income, expense, items;
    for (const auto& c : listCategories) {
      for (auto& uid : categoryFilterUids(cache, c)) {
        const auto record = cache.categoryByUid(uid);
        const int64_t kind = record ? record->doType.value_or(category_code::kExpense) : -1;
        if (kind != category_code::kExpense) income.push_back(uid);
        if (kind != category_code::kIncome) expense.push_back(std::move(uid));
      }
    }
    for (const auto& f : listFilters) items.push_back(resolveTransferItem(cache, f));
    CommonFilter selection(*ledger);
    selection.setFilter(std::move(income), std::move(expense), {}, std::move(items));

    InOutComeRepository repo(*ledger);
    nlohmann::json out = nlohmann::json::array();
    TransactionPrinter printer(*ledger);
    // Rows go through the screens' filter in batches, so a long period is
    // never held in memory at once.
    std::vector<InOutCome> batch;
    auto flush = [&] {
      for (const InOutCome& r : selection.getArrayInOutFilter(batch)) {
        if (ctx.json) {
          out.push_back(recordJson(r, ledger->env().dates()));
        } else {
          printLine(printer.line(r));
        }
      }
      batch.clear();
    };
    repo.forEachInOutCome(filter, [&](const InOutCome& r) {
      if (!isOfKinds(r, kinds)) return;
      batch.push_back(r);
      if (batch.size() >= 512) flush();
    });
    flush();
    if (ctx.json) printJson(out);
  });

  // --- bulk ---
  auto* bulk = tx->add_subcommand("bulk", "Change the account, category, date or content of several transactions");
  static std::string bulkUids, bulkAccount, bulkCategory, bulkDate, bulkContent;
  static std::vector<std::string> bulkTransfer;
  bulk->add_option("--uids", bulkUids, "Transaction identifiers, separated by commas")->required();
  auto* accountOpt = bulk->add_option("--account", bulkAccount, "Move to this account");
  auto* categoryOpt = bulk->add_option("--category", bulkCategory, "Give this category (and its kind)");
  auto* dateOpt = bulk->add_option("--date", bulkDate, "Give this date and time, ISO-8601");
  auto* contentOpt = bulk->add_option("--content", bulkContent, "Give this content");
  auto* transferOpt = bulk->add_option("--transfer", bulkTransfer, "Make transfers from the first account to the second")
                          ->expected(2);
  bulk->callback([&ctx, accountOpt, categoryOpt, dateOpt, contentOpt, transferOpt] {
    int chosen = 0;
    for (auto* opt : {accountOpt, categoryOpt, dateOpt, contentOpt, transferOpt}) chosen += opt->count() > 0 ? 1 : 0;
    if (chosen != 1) throw InputError("give exactly one of --account, --category, --date, --content, --transfer");
    auto ledger = ctx.openLedger();
    std::vector<InOutCome> records;
    for (const auto& uid : splitList(bulkUids)) records.push_back(loadRecord(*ledger, uid));
    if (records.empty()) throw InputError("--uids names no transaction");
    InOutComeRepository repo(*ledger);
    BulkEditResult result;
    if (accountOpt->count()) {
      result = repo.updateAssetArrayData(records, resolveAccount(ledger->commonData(), bulkAccount));
    } else if (categoryOpt->count()) {
      result = repo.updateCategoryArrayData(records, resolveCategory(ledger->commonData(), bulkCategory));
    } else if (dateOpt->count()) {
      result = repo.updateDateInOutComeArray(records, ledger->env().parseIso(bulkDate));
    } else if (contentOpt->count()) {
      result = repo.updateContentInOutComeArray(records, bulkContent);
    } else {
      result = repo.updateTransferInOutComeArray(records, resolveAccount(ledger->commonData(), bulkTransfer.at(0)),
                                                 resolveAccount(ledger->commonData(), bulkTransfer.at(1)));
    }
    check(result.status);
    printRecords(*ledger, result.changed, ctx.json);
  });
}

}  // namespace varnel::cli
