// `varnel account …` and `varnel group …`: accounts and account groups.
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "app/cli.h"
#include "model/record_json.h"
#include "ledger/asset_repository.h"
#include "ledger/card.h"
#include "ledger/currency_repository.h"
#include "ledger/in_out_come_repository.h"
#include "model/errors.h"
#include "model/liveness.h"
#include "setup/initial_resources.h"

namespace varnel::cli {

namespace {

// The options `account add` and `account edit` share. Flags come with a
// negative form so that an edit can turn them off again.
struct AccountOptions {
  std::string name, group, currency, balance, record, settleDay, payDay, paidFrom, memo, sms;
  std::string usageTarget, usageTargetType;
  bool autopay = false, hidden = false, excluded = false, transferExpense = false;
  bool confirmCurrencyChange = false;
  std::map<std::string, CLI::Option*> given;

  bool has(const std::string& option) const {
    auto it = given.find(option);
    return it != given.end() && it->second->count() > 0;
  }

  void addTo(CLI::App* cmd, bool forEdit) {
    given["name"] = cmd->add_option("--name", name, "Account name");
    given["group"] = cmd->add_option("--group", group, "Account group, by identifier or name");
    given["currency"] = cmd->add_option("--currency", currency, "Currency, by ISO code or row identifier");
    given["balance"] = cmd->add_option("--balance", balance,
                                       forEdit ? "New balance" : "Opening balance");
    given["record"] = cmd->add_option("--record", record,
                                      "How a balance change is recorded: correction or income-expense");
    given["settle-day"] = cmd->add_option("--settle-day", settleDay, "Card settlement day (1-31)");
    given["pay-day"] = cmd->add_option("--pay-day", payDay, "Card payment day (1-31)");
    given["paid-from"] = cmd->add_option("--paid-from", paidFrom, "Account that pays this card (\"\" for none)");
    given["memo"] = cmd->add_option("--memo", memo, "Note");
    given["sms"] = cmd->add_option("--sms", sms, "Text that identifies the account in bank messages");
    given["usage-target"] = cmd->add_option("--usage-target", usageTarget,
                                            "Card usage target, whole units of the card's currency (0: none)");
    given["usage-target-type"] = cmd->add_option("--usage-target-type", usageTargetType,
                                                 "monthly, or three-months (the average of three months)");
    given["autopay"] = cmd->add_flag("--autopay,!--no-autopay", autopay, "Pay the card bill automatically");
    given["hidden"] = cmd->add_flag("--hidden,!--shown", hidden, "Hide the account from lists");
    given["excluded"] = cmd->add_flag("--exclude-from-totals,!--include-in-totals", excluded,
                                      "Leave the account out of totals");
    given["transfer-expense"] = cmd->add_flag("--transfer-expense,!--no-transfer-expense", transferExpense,
                                              "Count transfers into this account as expense");
    if (forEdit) {
      cmd->add_flag("--confirm-currency-change", confirmCurrencyChange,
                    "Agree to convert the transactions when the currency changes");
    }
  }
};

BalanceRecording parseRecording(const std::string& text) {
  if (text == "correction") return BalanceRecording::kCorrection;
  if (text == "income-expense") return BalanceRecording::kIncomeExpense;
  throw InputError("--record must be correction or income-expense: '" + text + "'");
}

// Whole units below the money limit.
constexpr long long kMaxUsageTarget = 999999999999999;

int64_t parseUsageTargetType(const std::string& text) {
  if (text == "monthly") return kCardUsageMonthly;
  if (text == "three-months") return kCardUsageThreeMonths;
  throw InputError("--usage-target-type must be monthly or three-months: '" + text + "'");
}

std::string dayOption(const std::string& text, const std::string& what) {
  return std::to_string(parseInteger(text, what, 1, 31));
}

// Group orders are list positions; far more groups than anyone keeps.
constexpr long long kMaxPosition = 1000000;

std::string assetLine(Ledger& ledger, const Asset& a) {
  CurrencyRepository currencies(ledger);
  const auto group = ledger.commonData().assetGroupByUid(a.groupUid.value_or(""));
  auto currency = currencies.getCurrencyByAsset(a);
  std::string line = fmt::format("{}  {}  [{}]  {}", a.uid.value_or(""), a.NicName.value_or(""),
                                 group ? group->AssetGroupName.value_or("") : a.groupUid.value_or(""),
                                 currency ? currency->iso.value_or("?") : std::string("?"));
  const int64_t type = group ? group->Status.value_or(0) : 0;
  if (type == kCreditCardGroupType) {
    line += fmt::format("  settle {} pay {}", a.Card_DayFin.value_or("1"), a.Card_DayPay.value_or("1"));
  }
  if (a.card_usage_hurdle_amount || a.card_usage_hurdle_type) {
    const int64_t type = a.card_usage_hurdle_type.value_or(kCardUsageMonthly);
    const bool threeMonths = type != 0 && type != 1;  // as the card code reads it
    line += fmt::format("  target {}{}", a.card_usage_hurdle_amount.value_or(kDefaultCardUsageHurdle),
                        threeMonths ? " (three months)" : "");
  }
  if (a.cardAssetUid && !a.cardAssetUid->empty()) {
    auto payer = ledger.commonData().assetByUid(*a.cardAssetUid);
    line += "  paid from " + (payer ? payer->NicName.value_or("") : *a.cardAssetUid);
  }
  if (live::isHiddenAccount(a)) line += "  hidden";
  if (!live::isLiveAccount(a)) line += "  deleted";
  if (a.isReflect.value_or(0) == 1) line += "  excluded-from-totals";
  if (a.transferExpense.value_or(0) == 1) line += "  transfer-expense";
  if (a.isCardAutoPay.value_or(0) == 1) line += "  autopay";
  return line;
}

std::string correctionLine(const InOutCome& r) {
  return fmt::format("Correction {}: kind {}, category {}, amountSub {}, amountAccount {}, amount {}",
                     r.uid.value_or(""), r.Do_Type.value_or(""), r.categoryUid.value_or(""),
                     r.amountSub.value_or(0), r.amountAccount.value_or(0), r.amount.value_or(0));
}

void printSaved(Ledger& ledger, const AssetSaveResult& result, bool json) {
  if (json) {
    printJson({{"asset", recordJson(*result.asset, ledger.env().dates())},
               {"correction", result.correction ? recordJson(*result.correction, ledger.env().dates())
                                                : nlohmann::json(nullptr)}});
    return;
  }
  printLine(assetLine(ledger, *result.asset));
  if (result.correction) printLine(correctionLine(*result.correction));
}

// The person's refusal, in their language.
[[noreturn]] void refuse(const Ledger& ledger, const std::string& key) {
  throw InputError(ledger.texts().text(key));
}

// Applies the options given to a form (for an edit, the form holds the
// account as it is).
void applyOptions(const AccountOptions& o, AssetRepository& repo, AssetForm& form) {
  if (o.has("name")) form.name = o.name;
  if (o.has("group")) form.groupUid = resolveAssetGroup(repo.ledger().commonData(), o.group).uid.value_or("");
  if (o.has("currency")) form.currency = o.currency;
  if (o.has("settle-day")) form.settlementDay = dayOption(o.settleDay, "--settle-day");
  if (o.has("pay-day")) form.paymentDay = dayOption(o.payDay, "--pay-day");
  if (o.has("paid-from")) {
    form.cardAssetUid = o.paidFrom.empty() ? std::string() : resolveAccount(repo.ledger().commonData(), o.paidFrom).uid.value_or("");
  }
  if (o.has("memo")) form.memo = o.memo;
  if (o.has("sms")) form.smsString = o.sms;
  if (o.has("autopay")) form.autoPay = o.autopay;
  if (o.has("hidden")) form.hidden = o.hidden;
  if (o.has("excluded")) form.countedInTotals = !o.excluded;
  if (o.has("transfer-expense")) form.transferExpense = o.transferExpense;
  if (o.has("record")) form.recordCorrectionAs = parseRecording(o.record);
  if (o.has("usage-target")) {
    form.usageTargetAmount = parseInteger(o.usageTarget, "--usage-target", 0, kMaxUsageTarget);
  }
  if (o.has("usage-target-type")) form.usageTargetType = parseUsageTargetType(o.usageTargetType);
}

void printAssets(Ledger& ledger, const std::vector<Asset>& assets, bool json) {
  if (json) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& a : assets) out.push_back(recordJson(a, ledger.env().dates()));
    printJson(out);
    return;
  }
  for (const auto& a : assets) printLine(assetLine(ledger, a));
}

std::string groupLine(const AssetGroup& g) {
  return fmt::format("{}  {}  type {}  order {}{}", g.uid.value_or(""), g.AssetGroupName.value_or(""),
                     g.Status.value_or(0), g.Order.value_or(0), live::isListedGroup(g) ? "" : "  deleted");
}

void printGroup(Ledger& ledger, const AssetGroup& g, bool json) {
  if (json) {
    printJson(recordJson(g, ledger.env().dates()));
  } else {
    printLine(groupLine(g));
  }
}

}  // namespace

void addAccountCommands(CLI::App& app, Context& ctx) {
  auto* account = app.add_subcommand("account", "Accounts");
  account->require_subcommand(1);

  auto* list = account->add_subcommand("list", "Accounts in list order");
  static bool listAll = false;
  list->add_flag("--all", listAll, "Deleted accounts too");
  list->callback([&ctx] {
    auto ledger = ctx.openLedger();
    AssetRepository repo(*ledger);
    printAssets(*ledger, repo.getAssetList(listAll), ctx.json);
  });

  auto* add = account->add_subcommand("add", "Add an account");
  static AccountOptions addOptions;
  addOptions.addTo(add, false);
  add->callback([&ctx] {
    const AccountOptions& o = addOptions;
    if (!o.has("name")) throw InputError("--name is required");
    if (!o.has("group")) throw InputError("--group is required");
    auto ledger = ctx.openLedger();
    AssetRepository repo(*ledger);
    AssetForm form;
    form.name = o.name;
    applyOptions(o, repo, form);
    if (o.has("balance")) form.balance = parseAmount(o.balance, "--balance");
    const AssetSaveResult result = repo.saveAsset(form);
    if (result.refusal) refuse(*ledger, *result.refusal);
    check(result.status);
    printSaved(*ledger, result, ctx.json);
  });

  auto* edit = account->add_subcommand("edit", "Change an account");
  static std::string editAccount;
  static AccountOptions editOptions;
  edit->add_option("ACCOUNT", editAccount, "Account, by identifier or name")->required();
  editOptions.addTo(edit, true);
  edit->callback([&ctx] {
    const AccountOptions& o = editOptions;
    auto ledger = ctx.openLedger();
    AssetRepository repo(*ledger);
    CurrencyRepository currencies(*ledger);
    InOutComeRepository transactions(*ledger);
    const Asset asset = resolveAccount(repo.ledger().commonData(), editAccount);
    AssetForm form;
    form.uid = asset.uid.value_or("");
    form.name = asset.NicName.value_or("");
    form.groupUid = asset.groupUid.value_or("");
    form.memo = asset.memo.value_or("");
    form.cardAssetUid = asset.cardAssetUid.value_or("");
    form.settlementDay = asset.Card_DayFin.value_or("1");
    form.paymentDay = asset.Card_DayPay.value_or("1");
    form.autoPay = asset.isCardAutoPay.value_or(0) == 1;
    form.hidden = live::isHiddenAccount(asset);
    form.countedInTotals = asset.isReflect.value_or(0) != 1;
    form.transferExpense = asset.transferExpense.value_or(0) == 1;
    form.smsString = asset.smsString.value_or("");
    form.confirmCurrencyChange = o.confirmCurrencyChange;
    applyOptions(o, repo, form);

    // The balance the screen shows: in the account's currency, or in the new
    // one when the currency changes with the edit.
    std::optional<Currency> newCurrency;
    if (!form.currency.empty()) {
      newCurrency = currencies.getCurrencyByUid(form.currency);
      if (!newCurrency) {
        std::string iso = form.currency;
        for (char& c : iso) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        newCurrency = iso == currencies.mainIso() ? currencies.getMainCurrency() : currencies.getCurrencyBySubIso(iso);
      }
      auto current = currencies.getCurrencyByAsset(asset);
      if (newCurrency && current && newCurrency->iso == current->iso) newCurrency.reset();
    }
    form.balanceBeforeEdit = transactions.getAmountAccountBalance(form.uid, newCurrency);
    form.balance = o.has("balance") ? parseAmount(o.balance, "--balance") : form.balanceBeforeEdit;

    const AssetSaveResult result = repo.saveAsset(form);
    if (result.refusal) refuse(*ledger, *result.refusal);
    check(result.status);
    printSaved(*ledger, result, ctx.json);
  });

  auto* hide = account->add_subcommand("hide", "Hide an account from lists (it stays in totals)");
  static std::string hideAccount;
  static bool hideOff = false;
  hide->add_option("ACCOUNT", hideAccount, "Account, by identifier or name")->required();
  hide->add_flag("--off", hideOff, "Show the account again");
  hide->callback([&ctx] {
    auto ledger = ctx.openLedger();
    AssetRepository repo(*ledger);
    const Asset asset = resolveAccount(repo.ledger().commonData(), hideAccount);
    auto saved = repo.setAssetHidden(asset.uid.value_or(""), !hideOff);
    check(saved.status());
    if (ctx.json) {
      printJson(recordJson(*saved, ledger->env().dates()));
    } else {
      printLine(assetLine(*ledger, *saved));
    }
  });

  auto* remove = account->add_subcommand("delete", "Delete an account (its transactions stay)");
  static std::string deleteAccount;
  static bool deleteYes = false;
  remove->add_option("ACCOUNT", deleteAccount, "Account, by identifier or name")->required();
  remove->add_flag("--yes", deleteYes, "Answer yes to the question");
  remove->callback([&ctx] {
    auto ledger = ctx.openLedger();
    AssetRepository repo(*ledger);
    const Asset asset = resolveAccount(repo.ledger().commonData(), deleteAccount);
    const std::string uid = asset.uid.value_or("");
    if (auto question = check(repo.deleteAsset(uid, deleteYes))) refuse(*ledger, *question);
    auto deleted = repo.assetByUid(uid);
    if (!deleted || live::isLiveAccount(*deleted)) {
      throw StoreError("the account could not be deleted (see the log)");
    }
    if (ctx.json) {
      printJson(recordJson(*deleted, ledger->env().dates()));
    } else {
      printLine(assetLine(*ledger, *deleted));
    }
  });

  auto* group = app.add_subcommand("group", "Account groups");
  group->require_subcommand(1);

  auto* groupList = group->add_subcommand("list", "Account groups in order");
  static bool groupAll = false;
  groupList->add_flag("--all", groupAll, "Deleted groups too");
  groupList->callback([&ctx] {
    auto ledger = ctx.openLedger();
    AssetRepository repo(*ledger);
    const auto groups = repo.assetGroupList(groupAll);
    if (ctx.json) {
      nlohmann::json out = nlohmann::json::array();
      for (const auto& g : groups) out.push_back(recordJson(g, ledger->env().dates()));
      printJson(out);
      return;
    }
    for (const auto& g : groups) printLine(groupLine(g));
  });

  auto* groupAdd = group->add_subcommand("add", "Add an account group");
  static std::string groupName, groupType, groupPosition;
  groupAdd->add_option("--name", groupName, "Group name")->required();
  groupAdd->add_option("--type", groupType,
                       "Group type code: 11 cash, 1 bank, 2 credit card, 3 debit card, 4 savings, 5 investment, "
                       "6 prepaid, 7 loan, 8 insurance, 9 other")
      ->required();
  groupAdd->add_option("--position", groupPosition, "Order value to insert at (later groups move down)");
  groupAdd->callback([&ctx] {
    const int64_t type = parseAssetGroupTypeText(groupType, "--type");
    std::optional<int64_t> position;
    if (!groupPosition.empty()) position = parseInteger(groupPosition, "--position", 0, kMaxPosition);
    auto ledger = ctx.openLedger();
    AssetRepository repo(*ledger);
    printGroup(*ledger, check(repo.addAssetGroup(groupName, type, position)), ctx.json);
  });

  auto* groupRename = group->add_subcommand("rename", "Rename an account group");
  static std::string renameGroup, renameTo;
  groupRename->add_option("GROUP", renameGroup, "Group, by identifier or name")->required();
  groupRename->add_option("NEW_NAME", renameTo, "New name")->required();
  groupRename->callback([&ctx] {
    auto ledger = ctx.openLedger();
    AssetRepository repo(*ledger);
    const AssetGroup target = resolveAssetGroup(ledger->commonData(), renameGroup);
    printGroup(*ledger, check(repo.renameAssetGroup(target.uid.value_or(""), renameTo)), ctx.json);
  });

  auto* groupDelete = group->add_subcommand("delete", "Delete an account group that holds no account");
  static std::string deleteGroup;
  groupDelete->add_option("GROUP", deleteGroup, "Group, by identifier or name")->required();
  groupDelete->callback([&ctx] {
    auto ledger = ctx.openLedger();
    AssetRepository repo(*ledger);
    const AssetGroup target = resolveAssetGroup(ledger->commonData(), deleteGroup);
    printGroup(*ledger, check(repo.deleteAssetGroup(target.uid.value_or(""))), ctx.json);
  });
}

}  // namespace varnel::cli
