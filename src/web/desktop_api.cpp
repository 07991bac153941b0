// The desktop API's changes to the ledger and its dispatch; the replies that
// only read are in desktop_reports.cpp.
#include "web/desktop_api.h"

#include <cmath>
#include <exception>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "ledger/asset_repository.h"
#include "ledger/category_repository.h"
#include "ledger/currency_conversion.h"
#include "ledger/in_out_come_repository.h"
#include "ledger/transaction_save.h"
#include "model/errors.h"
#include "model/number_input.h"
#include "model/text.h"
#include "reports/xlsx_export.h"
#include "backup/store_swap.h"

namespace varnel::web {

namespace {

// A field the client sends for "nothing chosen".
constexpr std::string_view kNullText = "(null)";

std::optional<std::string> field(const Params& params, const std::string& name) {
  const auto found = params.find(name);
  if (found == params.end()) return std::nullopt;
  return found->second;
}

// A field that names something: none when missing, empty or "(null)".
std::optional<std::string> chosen(const Params& params, const std::string& name) {
  auto value = field(params, name);
  if (!value || value->empty() || *value == kNullText) return std::nullopt;
  return value;
}

// A "yyyy-MM-dd" day at the time of day of `timeOf` (store seconds); none
// when the text does not have three parts. Throws InputError for three
// parts that are not a day of the calendar.
std::optional<double> dayAtTimeOf(const Ledger& ledger, const std::string& text, double timeOf) {
  if (splitFields(text, '-').size() != 3) return std::nullopt;
  const double midnight = ledger.env().parseDay(text, "the date");
  const DateUtil& dates = ledger.env().dates();
  const LocalDateTime day = dates.toLocal(midnight);
  const LocalDateTime time = dates.toLocal(timeOf);
  return dates.fromLocal(day.year, day.month, day.day, time.hour, time.minute, time.second);
}

double moneyField(const Params& params, const std::string& name) {
  const auto value = field(params, name);
  if (!value || trimmed(*value).empty()) return 0;
  return parseMoneyText(trimmed(*value), name);
}

int mainDecimals(Ledger& ledger) {
  const auto& main = ledger.commonData().mainCurrency();
  return main ? static_cast<int>(main->point.value_or(0)) : 2;
}

// The content as the transaction input keeps it: trimmed, and of a text
// such as "Lunch (A/B)" only what comes before the "(".
std::string contentOf(const std::string& text) {
  if (text.find('(') != std::string::npos && text.find('/') != std::string::npos &&
      text.find(')') != std::string::npos) {
    return trimmed(text.substr(0, text.find('(')));
  }
  return trimmed(text);
}

// Runs one change the browser asked for and gives its answer, or
// "{success:false}" when the input was refused (logged as information) or
// the store failed (logged as an error).
template <class F>
std::string answerChange(Ledger& book, std::string_view what, F&& change) {
  try {
    return change();
  } catch (const InputError& e) {
    book.log().info("desktop {}: {}", what, e.what());
  } catch (const StoreError& e) {
    book.log().error("desktop {}: {}", what, e.what());
  }
  return std::string(kFailure);
}

// Saves `entry` and answers the browser; a refusal is logged with its reason.
std::string saveAnswer(Ledger& book, TransactionSave& saver, const TransactionForm& entry, std::string_view what) {
  const TransactionSaveResult saved = saver.saveTransaction(entry);
  if (saved.ok()) return std::string(kSuccess);
  if (saved.refusal) book.log().info("desktop {}: refused ({})", what, *saved.refusal);
  return std::string(kFailure);
}

// The date the browser gives a transaction: the day of `field` at the time
// of day `timeOf`; when the field is no day, the changed transaction's own
// date, or none for a new one (the save takes now).
std::optional<double> dateOfChange(const Ledger& book, const std::optional<std::string>& field, double timeOf,
                                   bool edit) {
  std::optional<double> date;
  if (field) date = dayAtTimeOf(book, *field, timeOf);
  if (!date && edit) date = timeOf;
  return date;
}

}  // namespace

// Dispatch -----------------------------------------------------------------

std::optional<ApiReply> DesktopApi::call(std::string_view name, const Params& query, const Params& form) {
  const auto text = [](std::string body) { return ApiReply{std::move(body), std::string(kTextContentType)}; };
  const auto bare = [](std::string body) { return ApiReply{std::move(body), std::nullopt}; };
  if (name == "initVar.js") return bare(initVar());
  if (name == "getInitData") return text(getInitData());
  if (name == "getDataByPeriod") return ApiReply{getDataByPeriod(query), std::string(kXmlContentType)};
  if (name == "getSummaryDataByPeriod") {
    // The client may send the period as a query or as a form.
    return text(getSummaryDataByPeriod(query.count("startDate") ? query : form));
  }
  if (name == "getAssetData") return text(getAssetData());
  if (name == "getCardData") return text(getCardData());
  if (name == "getEachAssetChartData") return text(getEachAssetChartData(query.count("assetId") ? query : form));
  if (name == "getDashBoardData") return text(getDashBoardData());
  if (name == "create") return bare(create(form));
  if (name == "update") return bare(update(form));
  if (name == "assetAdd") return bare(assetAdd(form));
  if (name == "assetModify") return bare(assetModify(form));
  if (name == "addAssetCard") return bare(addAssetCard(form));
  if (name == "modifyCard") return bare(modifyCard(form));
  if (name == "removeAsset") return bare(removeAsset(form));
  if (name == "moveAsset") return bare(moveAsset(form));
  if (name == "modifyMoveAsset") return bare(modifyMoveAsset(form));
  return std::nullopt;
}

MoneyForm DesktopApi::money() { return MoneyForm(mainDecimals(ledger()) > 0); }

std::string DesktopApi::pageLanguage() const {
  const std::string& language = ledger_->env().language();
  if (language == "pt" || language.rfind("pt_", 0) == 0 || language.rfind("pt-", 0) == 0) return "pt_BR";
  for (const char* known : {"ko", "en", "ja", "zh_CN", "zh_TW", "ru", "es", "de", "fr"}) {
    if (language == known) return known;
  }
  return "en";
}

std::string DesktopApi::initVar() {
  return fmt::format("Tarnwick.lang = '{}';Tarnwick.moneyFormat='{}';Tarnwick.uri='varnelBook';",
                     jsText(pageLanguage()), mainDecimals(ledger()) > 0 ? "0,000.00" : "0,000");
}

// Transactions ---------------------------------------------------------------

std::string DesktopApi::create(const Params& form) { return transactionChange(form, false); }
std::string DesktopApi::update(const Params& form) { return transactionChange(form, true); }

std::string DesktopApi::transactionChange(const Params& form, bool edit) {
  Ledger& book = ledger();
  const std::string_view what = edit ? "update" : "create";
  return answerChange(book, what, [&]() -> std::string {
    TransactionSave saver(book);
    TransactionForm entry;
    double timeOf = book.env().nowStoreSeconds();
    if (edit) {
      const auto id = chosen(form, "id");
      if (!id) return std::string(kFailure);
      const auto record = InOutComeRepository(book).inOutComeByUid(*id);
      // Transfers change through modifyMoveAsset, and balance corrections
      // belong to the account screen.
      if (!record || !isLive(*record) || !(isKind(*record, TxKind::kIncome) || isKind(*record, TxKind::kExpense))) {
        return std::string(kFailure);
      }
      entry = saver.formForRecord(*id);
      timeOf = record->Date.value_or(timeOf);
    }
    // The date: today unless the field is a day.
    entry.date = dateOfChange(book, field(form, "mbDate"), timeOf, edit);

    const std::string kind = field(form, "inOutCode").value_or(edit ? std::to_string(entry.mode) : "");
    if (kind == kindCode(TxKind::kIncome)) {
      entry.mode = kModeIncome;
    } else if (kind == kindCode(TxKind::kExpense)) {
      entry.mode = kModeExpense;
    } else {
      return std::string(kFailure);
    }
    entry.account = chosen(form, "assetId").value_or("");
    // A sub-category counts when it belongs to the main category chosen.
    entry.category = chosen(form, "mcid").value_or("");
    if (const auto sub = chosen(form, "mcscid"); sub && !entry.category.empty()) {
      const auto record = book.commonData().categoryByUid(*sub);
      if (record && record->pUid && *record->pUid == entry.category) entry.category = *sub;
    }
    entry.content = contentOf(field(form, "mbContent").value_or(""));
    // Amounts are always in the main currency from the browser.
    entry.currency.clear();
    entry.mainAmount.reset();
    entry.amount = roundMoney(moneyField(form, "mbCash"), mainDecimals(book));
    if (const auto memo = field(form, "mbDetailContent"); memo && *memo != kNullText) entry.memo = trimmed(*memo);
    return saveAnswer(book, saver, entry, what);
  });
}

std::string DesktopApi::deleteTransactions(std::string_view body) {
  Ledger& book = ledger();
  const auto split = body.find("=:");
  if (split == std::string_view::npos || body.substr(0, split) != "ids") return std::string(kFailure);
  InOutComeRepository repository(book);
  std::vector<InOutCome> records;
  try {
    for (const auto& uid : splitFields(body.substr(split + 2), ':')) {
      if (uid.empty()) continue;
      auto record = repository.inOutComeByUid(uid);
      if (record && isLive(*record)) records.push_back(std::move(*record));
    }
    if (records.empty()) return std::string(kSuccess);
    // One store transaction: a transfer side takes its other side along.
    const auto deleted = repository.deleteWithArray(records);
    return deleted ? std::string(kSuccess) : std::string(kFailure);
  } catch (const std::exception& e) {
    book.log().error("desktop delete: {}", e.what());
    return std::string(kFailure);
  }
}

// Transfers -----------------------------------------------------------------

std::string DesktopApi::moveAsset(const Params& form) { return transferChange(form, false); }
std::string DesktopApi::modifyMoveAsset(const Params& form) { return transferChange(form, true); }

std::string DesktopApi::transferChange(const Params& form, bool edit) {
  Ledger& book = ledger();
  return answerChange(book, "transfer", [&]() -> std::string {
    TransactionSave saver(book);
    TransactionForm entry;
    double timeOf = book.env().nowStoreSeconds();
    if (edit) {
      const auto id = chosen(form, "id");
      if (!id) return std::string(kFailure);
      InOutComeRepository repository(book);
      const auto record = repository.inOutComeByUid(*id);
      if (!record || !isLive(*record) || !isTransferSide(*record) || !repository.oppositeOfTransfer(*record)) {
        return std::string(kFailure);
      }
      entry = saver.formForRecord(*id);
      timeOf = record->Date.value_or(timeOf);
    }
    entry.mode = kModeTransfer;
    entry.date = dateOfChange(book, field(form, "moveDate"), timeOf, edit);
    entry.account = chosen(form, "fromAssetId").value_or("");
    entry.targetAccount = chosen(form, "toAssetId").value_or("");
    entry.category.clear();
    entry.currency.clear();
    entry.mainAmount.reset();
    entry.amount = roundMoney(moneyField(form, "moveMoney"), mainDecimals(book));
    // An empty content is filled from the two accounts by the save when the
    // automatic content is on.
    entry.content = trimmed(field(form, "moneyContent").value_or(""));
    if (const auto memo = field(form, "mbDetailContent"); memo && *memo != kNullText) entry.memo = trimmed(*memo);
    return saveAnswer(book, saver, entry, "transfer");
  });
}

// Accounts ------------------------------------------------------------------

std::string DesktopApi::assetAdd(const Params& form) { return accountChange(form, false, false); }
std::string DesktopApi::assetModify(const Params& form) { return accountChange(form, true, false); }
std::string DesktopApi::addAssetCard(const Params& form) { return accountChange(form, false, true); }
std::string DesktopApi::modifyCard(const Params& form) { return accountChange(form, true, true); }

std::string DesktopApi::accountChange(const Params& form, bool edit, bool card) {
  Ledger& book = ledger();
  return answerChange(book, "account", [&]() -> std::string {
    AssetRepository accounts(book);
    AssetForm entry;
    double current = 0;
    if (edit) {
      const auto uid = chosen(form, "assetId");
      if (!uid) return std::string(kFailure);
      const auto existing = accounts.assetByUid(*uid);
      if (!existing || numberOf(existing->isDel) == kAssetDeleted) return std::string(kFailure);
      // What the account screen would open with: everything the browser
      // does not send stays as it is.
      entry.uid = *uid;
      entry.name = existing->NicName.value_or("");
      entry.groupUid = existing->groupUid.value_or("");
      entry.memo = existing->memo.value_or("");
      entry.cardAssetUid = existing->cardAssetUid.value_or("");
      entry.settlementDay = existing->Card_DayFin.value_or("1");
      entry.paymentDay = existing->Card_DayPay.value_or("1");
      entry.autoPay = existing->isCardAutoPay.value_or(0) != 0;
      entry.countedInTotals = existing->isReflect.value_or(0) == 0;
      entry.transferExpense = existing->transferExpense.value_or(0) != 0;
      entry.smsString = existing->smsString.value_or("");
      current = accountBalance(*uid);
    }
    // An account saved from the browser is shown again.
    entry.hidden = false;
    if (card) {
      if (const auto name = field(form, "cardName")) entry.name = *name;
      if (!edit) {
        // A new card goes into the first credit-card group.
        for (const auto& group : accounts.assetGroupList(false)) {
          if (group.Status.value_or(0) == kCreditCardGroupType && group.uid) {
            entry.groupUid = *group.uid;
            break;
          }
        }
      }
      if (const auto day = chosen(form, "jungsanDay")) {
        entry.settlementDay = std::to_string(parseIntegerText(trimmed(*day), "jungsanDay", 1, 31));
      }
      if (const auto day = chosen(form, "paymentDay")) {
        entry.paymentDay = std::to_string(parseIntegerText(trimmed(*day), "paymentDay", 1, 31));
      }
      if (const auto link = field(form, "linkAssetId")) entry.cardAssetUid = *link == kNullText ? "" : *link;
    } else {
      if (const auto group = chosen(form, "assetGroupId")) entry.groupUid = *group;
      if (const auto name = field(form, "assetName")) entry.name = *name;
      if (const auto link = field(form, "linkAssetId")) entry.cardAssetUid = *link == kNullText ? "" : *link;
    }
    // The balance typed: the difference from the balance now, cut towards
    // zero to the main currency's decimals (whole units for a currency
    // without them), becomes a correction. A card's balance is what it owes.
    std::optional<double> typed;
    if (card && field(form, "notPayMoney")) typed = -moneyField(form, "notPayMoney");
    if (!card && field(form, "assetMoney")) typed = moneyField(form, "assetMoney");
    const double difference = typed ? truncateMoney(*typed - current, mainDecimals(book)) : 0.0;
    entry.balanceBeforeEdit = current;
    entry.balance = current + difference;
    entry.recordCorrectionAs = BalanceRecording::kCorrection;
    const AssetSaveResult saved = accounts.saveAsset(entry);
    if (!saved.ok()) {
      if (saved.refusal) book.log().info("desktop account: refused ({})", *saved.refusal);
      return std::string(kFailure);
    }
    return std::string(kSuccess);
  });
}

std::string DesktopApi::removeAsset(const Params& form) {
  Ledger& book = ledger();
  try {
    const auto uid = chosen(form, "assetId");
    if (!uid) return std::string(kFailure);
    AssetRepository accounts(book);
    const auto existing = accounts.assetByUid(*uid);
    if (!existing || numberOf(existing->isDel) == kAssetDeleted) return std::string(kFailure);
    const auto deleted = accounts.deleteAsset(*uid, true);
    return deleted ? std::string(kSuccess) : std::string(kFailure);
  } catch (const std::exception& e) {
    book.log().error("desktop removeAsset: {}", e.what());
    return std::string(kFailure);
  }
}

// The spreadsheet -------------------------------------------------------------

std::optional<DesktopApi::Spreadsheet> DesktopApi::getExcelFile(const Params& form) {
  Ledger& book = ledger();
  const std::string startText = field(form, "startDate").value_or("");
  const std::string endText = field(form, "endDate").value_or("");
  const auto day = [&](const std::string& text) -> double {
    try {
      return book.env().parseDay(text, "the date");
    } catch (const InputError&) {
      return book.env().parseDay(std::string(kFallbackStartDate), "the date");
    }
  };
  // The dates go into the download's name as they came, less anything a
  // file name or a header field should not carry.
  const auto nameSafe = [](const std::string& text) {
    std::string out;
    for (const char c : text) {
      if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.' ||
          c == '_') {
        out += c;
      }
    }
    return out;
  };
  Spreadsheet sheet;
  sheet.downloadName =
      excelDownloadName(chosen(form, "assetId").has_value(), nameSafe(startText), nameSafe(endText));
  sheet.file = workFilePath(book.store().path(), "xlsx");
  const auto written = getExcelData(book, day(startText), day(endText), sheet.file);
  if (!written) {
    book.log().error("desktop getExcelFile: {}", written.status().message());
    return std::nullopt;
  }
  return sheet;
}

}  // namespace varnel::web
