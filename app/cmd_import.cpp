// `varnel import tsv FILE`: the lines of a tab-separated transaction file,
// each with what it resolved to and what keeps it from being saved; --save
// saves the good ones and leaves the others in the file, --add-missing first
// adds the accounts and categories the file names.
#include <algorithm>

#include <fmt/format.h>

#include "app/cli.h"
#include "ledger/text_import.h"
#include "model/errors.h"
#include "model/record_json.h"
#include "model/text.h"

namespace varnel::cli {

namespace {

const char* kindName(int kind) {
  switch (kind) {
    case kImportIncome: return "income";
    case kImportExpense: return "expense";
    case kImportTransferOut: return "transfer out";
    case kImportTransferIn: return "transfer in";
    default: return nullptr;
  }
}

std::string dayText(const RecoveryData& line) {
  if (line.intDate == 0) return "";
  return fmt::format("{:04}-{:02}-{:02}", line.intDate / 10000, line.intDate / 100 % 100, line.intDate % 100);
}

// The category as the file names it: "Food/Lunch" with a sub-category.
std::string categoryText(const RecoveryData& line) {
  std::string text = trimmed(line.field(2));
  const std::string sub = trimmed(line.field(3));
  const bool transfer = line.doTypeInt == kImportTransferOut || line.doTypeInt == kImportTransferIn;
  if (!transfer && !sub.empty()) text += "/" + sub;
  return text;
}

std::string lineText(const RecoveryData& line, bool saved) {
  const char* kind = kindName(line.doTypeInt);
  const std::string date = line.intDate ? dayText(line) : trimmed(line.field(0));
  const std::string amount = line.amountSub ? fmt::format("{}", *line.amountSub) : trimmed(line.field(5));
  std::string state;
  if (saved) {
    state = line.doTypeInt == kImportTransferIn ? "saved with its sending line" : "saved";
  } else if (line.isGood()) {
    state = "ok";
  } else {
    for (const auto& p : line.problems) state += (state.empty() ? "" : " ") + fmt::format("[{}] {}", p.menuId, p.text);
  }
  // A receiving line names its own account first, as the receiving side of a transfer is listed.
  const char* arrow = line.doTypeInt == kImportTransferIn ? "←" : "→";
  return fmt::format("{:>4}  {:<10}  {:<12}  {} {} {}  {} {}  \"{}\"  {}", line.lineNumber, date,
                     kind ? kind : trimmed(line.field(6)), trimmed(line.field(1)), arrow, categoryText(line), amount,
                     line.currency, line.content, state);
}

nlohmann::json lineJson(const RecoveryData& line, std::optional<bool> saved) {
  auto orNull = [](const std::string& text) { return text.empty() ? nlohmann::json() : nlohmann::json(text); };
  auto number = [](const std::optional<double>& value) { return value ? nlohmann::json(*value) : nlohmann::json(); };
  nlohmann::json problems = nlohmann::json::array();
  for (const auto& p : line.problems) problems.push_back({{"menuId", p.menuId}, {"text", p.text}});
  const bool transfer = line.doTypeInt == kImportTransferOut || line.doTypeInt == kImportTransferIn;
  nlohmann::json out = {
      {"line", line.lineNumber},
      {"text", line.recoverStr},
      {"date", orNull(dayText(line))},
      {"intDate", line.intDate},
      {"doTypeInt", line.doTypeInt},
      {"account", trimmed(line.field(1))},
      {"assetUid", orNull(line.assetUid)},
      {transfer ? "toAccount" : "category", trimmed(line.field(2))},
      {"categoryUid", orNull(line.categoryUid)},
      {"currency", line.currency},
      {"currencyUid", orNull(line.currencyUid)},
      {"amount", number(line.amount)},
      {"amountSub", number(line.amountSub)},
      {"amountAccount", number(line.amountAccount)},
      {"content", line.content},
      {"memo", line.memo},
      {"problems", problems},
  };
  if (!transfer) out["subCategory"] = orNull(trimmed(line.field(3)));
  if (saved) out["saved"] = *saved;
  return out;
}

}  // namespace

void addImportCommands(CLI::App& app, Context& ctx) {
  auto* import = app.add_subcommand("import", "Import transactions from files");
  import->require_subcommand(1);

  auto* tsv = import->add_subcommand("tsv", "A tab-separated transaction file: show its lines, or save the good ones");
  static std::string file, dateFormat, encoding;
  static bool save = false, addMissing = false;
  tsv->add_option("FILE", file, "The file")->required();
  tsv->add_option("--date-format", dateFormat, "Order of the date parts: yyyyMMdd, yyyyddMM, ddMMyyyy or MMddyyyy")
      ->required();
  tsv->add_option("--encoding", encoding,
                  "UTF-8 (default), UTF-16, UTF-16LE, EUC-KR, CP949 or another ICU name; a byte-order mark is read");
  tsv->add_flag("--save", save, "Save the good lines and leave the others in the file");
  tsv->add_flag("--add-missing", addMissing, "With --save: first add the accounts and categories the file names");
  tsv->callback([&ctx] {
    const ImportDateOrder order = importDateOrder(dateFormat);
    if (addMissing && !save) throw InputError("--add-missing works with --save");
    auto ledger = ctx.openLedger();
    if (save && ctx.staged) {
      // A ledger this run sets up is published only when the command ends,
      // and may then be dropped (another process set one up meanwhile): the
      // file must not lose its saved lines to a ledger that never was.
      throw InputError("there is no ledger yet; set one up first (varnel init), then save the import into it");
    }
    TextImport importer(*ledger, order);
    ImportFile imported = importer.read(file, encoding);

    if (!save) {
      if (ctx.json) {
        nlohmann::json lines = nlohmann::json::array();
        for (const auto& line : imported.lines) lines.push_back(lineJson(line, std::nullopt));
        printJson({{"title", imported.title},
                   {"file", file},
                   {"encoding", imported.encoding.name},
                   {"byteOrderMark", imported.encoding.byteOrderMark},
                   {"dateFormat", importDateOrderName(order)},
                   {"header", imported.header},
                   {"lines", lines}});
        return;
      }
      printLine(imported.title);
      for (const auto& line : imported.lines) printLine(lineText(line, false));
      return;
    }

    const std::string title = imported.title;
    const ImportSaveResult result = importer.save(imported, addMissing);
    check(result.status);
    auto wasSaved = [&result](const RecoveryData& line) {
      return std::find(result.savedLines.begin(), result.savedLines.end(), line.lineNumber) != result.savedLines.end();
    };
    if (ctx.json) {
      nlohmann::json lines = nlohmann::json::array();
      for (const auto& line : result.lines) lines.push_back(lineJson(line, wasSaved(line)));
      nlohmann::json accounts = nlohmann::json::array(), categories = nlohmann::json::array(),
                     records = nlohmann::json::array();
      for (const auto& a : result.addedAccounts) accounts.push_back(recordJson(a, ledger->env().dates()));
      for (const auto& c : result.addedCategories) categories.push_back(recordJson(c, ledger->env().dates()));
      for (const auto& r : result.records) records.push_back(recordJson(r, ledger->env().dates()));
      printJson({{"title", title},
                 {"file", file},
                 {"encoding", imported.encoding.name},
                 {"byteOrderMark", imported.encoding.byteOrderMark},
                 {"dateFormat", importDateOrderName(order)},
                 {"header", imported.header},
                 {"lines", lines},
                 {"saved", result.saved},
                 {"left", result.left},
                 {"addedAccounts", accounts},
                 {"addedCategories", categories},
                 {"records", records}});
      return;
    }
    for (const auto& a : result.addedAccounts) printLine("added account " + a.NicName.value_or(""));
    for (const auto& c : result.addedCategories) {
      printLine("added category " + ledger->commonData().getCategoryFullNameByCategoryId(c.uid.value_or("")));
    }
    printLine(title);
    for (const auto& line : result.lines) printLine(lineText(line, wasSaved(line)));
    printLine(fmt::format("{} of {} line{} saved; {} left in {}", result.savedLines.size(), result.lines.size(),
                          result.lines.size() == 1 ? "" : "s", result.left, file));
  });
}

}  // namespace varnel::cli
