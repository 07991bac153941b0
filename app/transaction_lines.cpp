#include "app/transaction_lines.h"

#include <fmt/format.h>

#include "model/tx_kind.h"

namespace varnel::cli {

namespace {

std::string kindName(const InOutCome& r) {
  if (const std::optional<TxKind> kind = kindOf(r)) {
    switch (*kind) {
      case TxKind::kIncome: return "income";
      case TxKind::kExpense: return r.txUidFee && !r.txUidFee->empty() && *r.txUidFee != "0" ? "fee" : "expense";
      case TxKind::kTransferOut: return "transfer-out";
      case TxKind::kTransferIn: return "transfer-in";
      case TxKind::kOldAdjustment: return "adjust";
      case TxKind::kAdjustmentUp: return "adjust-up";
      case TxKind::kAdjustmentDown: return "adjust-down";
      case TxKind::kTransfer: break;  // a template mode, never a stored row's kind
    }
  }
  return "kind " + r.Do_Type.value_or("");
}

std::string isoOf(const std::optional<Currency>& c) { return c ? c->iso.value_or("?") : "?"; }

}  // namespace

TransactionPrinter::TransactionPrinter(Ledger& ledger) : ledger_(ledger), currencies_(ledger) {
  main_ = currencies_.getMainCurrency();
}

std::string TransactionPrinter::line(const InOutCome& r) {
  const CommonData& cache = ledger_.commonData();
  auto nameOf = [&cache](const Text& uid) {
    auto a = cache.assetByUid(uid.value_or(""));
    return a ? a->NicName.value_or("") : uid.value_or("?");
  };
  std::string accounts = nameOf(r.assetUid);
  if (isKind(r, TxKind::kTransferOut)) accounts += " → " + nameOf(r.toAssetUid);
  if (isKind(r, TxKind::kTransferIn)) accounts += " ← " + nameOf(r.toAssetUid);
  std::string category;
  if (!isTransferSide(r)) category = "  [" + cache.getCategoryFullName(r) + "]";

  const auto entered = currency(r.currencyUid);
  std::string amounts = fmt::format("{} {}", r.amountSub.value_or(0), isoOf(entered));
  const bool enteredIsMain = !entered || !main_ || entered->uid == main_->uid;
  if (!enteredIsMain) amounts += fmt::format(" = {} {}", r.amount.value_or(0), isoOf(main_));
  std::optional<Currency> accountCurrency;
  if (auto a = cache.assetByUid(r.assetUid.value_or(""))) accountCurrency = currency(a->currencyUid);
  if (!accountCurrency) accountCurrency = main_;
  const bool accountShown = accountCurrency && ((entered && accountCurrency->uid == entered->uid) ||
                                                (main_ && accountCurrency->uid == main_->uid));
  if (!accountShown) amounts += fmt::format(" ({} {})", r.amountAccount.value_or(0), isoOf(accountCurrency));

  const std::string position = r.cardDivideMonthStr.value_or("").empty() ? "" : "  " + *r.cardDivideMonthStr;
  return fmt::format("{}  {}  {:<12} {}{}  {}  \"{}\"{}{}", r.uid.value_or(""),
                     r.Date ? ledger_.env().dates().format(*r.Date, "yyyy-MM-dd HH:mm") : std::string("?"),
                     kindName(r), accounts, category, amounts, r.Content.value_or(""), position,
                     isLive(r) ? "" : "  (deleted)");
}

std::optional<Currency> TransactionPrinter::currency(const Text& uid) {
  const std::string key = uid.value_or("");
  auto it = rows_.find(key);
  if (it == rows_.end()) it = rows_.emplace(key, currencies_.getCurrencyByUid(key)).first;
  return it->second;
}

}  // namespace varnel::cli
