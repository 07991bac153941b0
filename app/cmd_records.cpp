// `varnel tag …`, `varnel memo …`, `varnel fav …`: the small record families
// around transactions.
#include <regex>

#include <fmt/format.h>

#include "app/cli.h"
#include "model/record_json.h"
#include "ledger/fav_repository.h"
#include "ledger/memo_repository.h"
#include "ledger/tag_repository.h"
#include "model/errors.h"
#include "model/tx_kind.h"

namespace varnel::cli {

namespace {

// As JSON, or each record in its human-readable lines.
template <class T>
void printRecords(Ledger& ledger, const std::vector<T>& records, bool json,
                  const std::function<void(const T&)>& printText) {
  if (json) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& r : records) out.push_back(recordJson(r, ledger.env().dates()));
    printJson(out);
    return;
  }
  for (const auto& r : records) printText(r);
}

std::string memoLine(Ledger& ledger, const Memo& m) {
  const std::string time =
      m.memoTime ? ledger.env().dates().format(msToStoreSeconds(*m.memoTime), "yyyy-MM-dd HH:mm")
                 : m.memoDate.value_or("");
  std::string line = fmt::format("{}  {}{}{}  {}", time, m.title.value_or(""),
                                 m.pinned.value_or(0) == 1 ? "  (pinned)" : "",
                                 m.color ? "  " + *m.color : std::string(), m.uid.value_or(""));
  if (!isLive(m)) line += "  (deleted)";
  return line;
}

// A memo's line, and its content indented on the next line.
void printMemoLines(Ledger& ledger, const Memo& m) {
  printLine(memoLine(ledger, m));
  if (m.content && !m.content->empty()) printLine("    " + *m.content);
}

void printMemo(Ledger& ledger, const Memo& memo, bool json) {
  if (json) {
    printJson(recordJson(memo, ledger.env().dates()));
  } else {
    printMemoLines(ledger, memo);
  }
}

Memo liveMemo(MemoRepository& repository, const std::string& uid) {
  auto memo = repository.memoWithUid(uid);
  if (!memo || !isLive(*memo)) throw InputError("no memo '" + uid + "'");
  return *memo;
}

std::string kindText(Int doType) {
  if (const std::optional<TxKind> kind = kindOfNumber(doType.value_or(-1))) {
    switch (*kind) {
      case TxKind::kIncome: return "income";
      case TxKind::kExpense: return "expense";
      case TxKind::kTransfer: return "transfer";
      case TxKind::kTransferOut: return "transfer-out";
      case TxKind::kTransferIn: return "transfer-in";
      case TxKind::kAdjustmentUp: return "adjust-up";
      case TxKind::kAdjustmentDown: return "adjust-down";
      case TxKind::kOldAdjustment: break;  // never a template's kind
    }
  }
  return "kind " + std::to_string(doType.value_or(-1));
}

std::string favLine(const FavTransaction& f) {
  return fmt::format("{:<13}{:<24} {:>12}  {}{}", kindText(f.doType), f.payee.value_or(""), f.amountSub.value_or(0),
                     f.uid.value_or(""), isLive(f) ? "" : "  (deleted)");
}

void printFav(Ledger& ledger, const FavTransaction& f, bool json) {
  if (json) {
    printJson(recordJson(f, ledger.env().dates()));
  } else {
    printLine(favLine(f));
  }
}

}  // namespace

void addRecordCommands(CLI::App& app, Context& ctx) {
  // --- tags ---
  auto* tag = app.add_subcommand("tag", "Tags of transactions");
  tag->require_subcommand(1);
  auto* tagList = tag->add_subcommand("list", "List the live tags (the system tags are made when missing)");
  tagList->callback([&ctx] {
    auto ledger = ctx.openLedger();
    TagRepository repository(*ledger);
    check(repository.initTag());
    std::vector<Tag> tags;
    for (auto& t : repository.tagList()) {
      if (isLive(t)) tags.push_back(std::move(t));
    }
    printRecords<Tag>(*ledger, tags, ctx.json, [](const Tag& t) {
      printLine(fmt::format("{:<28} {}", t.name.value_or(""), t.uid.value_or("")));
    });
  });

  // --- memos ---
  auto* memo = app.add_subcommand("memo", "Memos");
  memo->require_subcommand(1);

  auto* memoList = memo->add_subcommand("list", "List live memos");
  static bool listPinned = false;
  static std::string listSearch, listFrom, listTo;
  memoList->add_flag("--pinned", listPinned, "Only pinned memos, most recently pinned first");
  memoList->add_option("--search", listSearch, "Text in the title or content (case and accents ignored)");
  memoList->add_option("--from", listFrom, "First day YYYY-MM-DD (alone: that day only; newest first)");
  memoList->add_option("--to", listTo, "Last day YYYY-MM-DD, included (alone: that day only)");
  memoList->callback([&ctx] {
    const Environment env = ctx.environment();
    std::optional<double> from, to;
    if (!listFrom.empty()) from = env.parseDay(listFrom, "--from");
    if (!listTo.empty()) to = env.parseDay(listTo, "--to");
    if (from && to && *to < *from) throw InputError("--to must not be before --from");
    auto ledger = ctx.openLedger();
    MemoRepository repository(*ledger);
    std::vector<Memo> memos;
    if (from || to) {
      memos = repository.listWithStartEndDate(from.value_or(*to), to.value_or(*from),
                                              listPinned ? memo_list::kPinned : memo_list::kAny,
                                              listSearch);
    } else if (listPinned) {
      memos = repository.listPinned(listSearch);
    } else {
      memos = repository.listAll(listSearch);
    }
    Ledger& l = *ledger;
    printRecords<Memo>(l, memos, ctx.json, [&l](const Memo& m) { printMemoLines(l, m); });
  });

  auto* memoAdd = memo->add_subcommand("add", "Add a memo");
  static std::string addTitle, addContent, addDate;
  memoAdd->add_option("--title", addTitle, "Title")->required();
  memoAdd->add_option("--content", addContent, "Content");
  memoAdd->add_option("--date", addDate, "Day YYYY-MM-DD (default today), at the current time of day");
  memoAdd->callback([&ctx] {
    const Environment env = ctx.environment();
    int64_t memoTime = env.nowMs();
    if (!addDate.empty()) {
      const double day = env.parseDay(addDate, "--date");
      const LocalDateTime now = env.dates().toLocal(env.nowStoreSeconds());
      const LocalDateTime d = env.dates().toLocal(day);
      memoTime = storeSecondsToMs(
          env.dates().fromLocal(d.year, d.month, d.day, now.hour, now.minute, now.second));
    }
    auto ledger = ctx.openLedger();
    MemoRepository repository(*ledger);
    auto saved = repository.addMemo(addTitle, addContent, memoTime);
    check(saved.status());
    printMemo(*ledger, *saved, ctx.json);
  });

  auto* memoPin = memo->add_subcommand("pin", "Pin a memo (or unpin it with --off)");
  static std::string pinUid;
  static bool pinOff = false;
  memoPin->add_option("UID", pinUid, "Memo uid")->required();
  memoPin->add_flag("--off", pinOff, "Unpin");
  memoPin->callback([&ctx] {
    auto ledger = ctx.openLedger();
    MemoRepository repository(*ledger);
    Memo m = liveMemo(repository, pinUid);
    check(repository.pinMemo(m, !pinOff));
    printMemo(*ledger, m, ctx.json);
  });

  auto* memoEdit = memo->add_subcommand("edit", "Change a memo's title, content or colour");
  static std::string editUid, editTitle, editContent, editColor;
  memoEdit->add_option("UID", editUid, "Memo uid")->required();
  auto* titleOpt = memoEdit->add_option("--title", editTitle, "New title");
  auto* contentOpt = memoEdit->add_option("--content", editContent, "New content");
  auto* colorOpt = memoEdit->add_option("--color", editColor, "Colour #RRGGBB or #AARRGGBB; \"\" removes it");
  memoEdit->callback([&ctx, titleOpt, contentOpt, colorOpt] {
    MemoRepository::MemoEdit edit;
    if (titleOpt->count() > 0) edit.title = editTitle;
    if (contentOpt->count() > 0) edit.content = editContent;
    if (colorOpt->count() > 0) edit.color = editColor;
    if (!edit.title && !edit.content && !edit.color) throw InputError("give --title, --content or --color");
    auto ledger = ctx.openLedger();
    MemoRepository repository(*ledger);
    const Memo saved = check(repository.editMemo(editUid, edit));
    printMemo(*ledger, saved, ctx.json);
  });

  auto* memoDelete = memo->add_subcommand("delete", "Delete a memo");
  static std::string deleteUid;
  memoDelete->add_option("UID", deleteUid, "Memo uid")->required();
  memoDelete->callback([&ctx] {
    auto ledger = ctx.openLedger();
    MemoRepository repository(*ledger);
    Memo m = liveMemo(repository, deleteUid);
    check(repository.deleteMemo(m));
    printMemo(*ledger, m, ctx.json);
  });

  // --- favourites ---
  auto* fav = app.add_subcommand("fav", "Favourite transaction templates");
  fav->require_subcommand(1);
  auto* favList = fav->add_subcommand("list", "List the live favourites");
  favList->callback([&ctx] {
    auto ledger = ctx.openLedger();
    FavRepository repository(*ledger);
    printRecords<FavTransaction>(*ledger, repository.getListLive(), ctx.json,
                                 [](const FavTransaction& f) { printLine(favLine(f)); });
  });

  auto* favAdd = fav->add_subcommand("add", "Save a transaction as a favourite (an equal one is revived)");
  static std::string favFromTx;
  favAdd->add_option("--from-tx", favFromTx, "Transaction uid (a transfer from either side)")->required();
  favAdd->callback([&ctx] {
    auto ledger = ctx.openLedger();
    FavRepository repository(*ledger);
    const auto saved = check(repository.saveFavoriteFromTransaction(favFromTx));
    printFav(*ledger, saved.first, ctx.json);
  });

  auto* favDelete = fav->add_subcommand("delete", "Delete a favourite");
  static std::string favDeleteUid;
  favDelete->add_option("UID", favDeleteUid, "Favourite uid")->required();
  favDelete->callback([&ctx] {
    auto ledger = ctx.openLedger();
    FavRepository repository(*ledger);
    printFav(*ledger, check(repository.deleteFavByUid(favDeleteUid)), ctx.json);
  });
}

}  // namespace varnel::cli
