#include "ledger/card_installment.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "ledger/currency_conversion.h"
#include "model/base_repository.h"
#include "model/errors.h"
#include "model/ledger.h"
#include "model/liveness.h"
#include "model/tx_kind.h"

namespace varnel {

namespace {

// The leading whole number of a text, as a database cast reads it (spaces
// and a sign allowed before the digits, anything after them ignored); 0 when
// there is none.
long long leadingInteger(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  long long value = 0;
  for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
    if (value > 1'000'000'000) return 0;  // no instalment index is this long
    value = value * 10 + (s[i] - '0');
  }
  return negative ? -value : value;
}

int currencyPoint(Ledger& ledger, const Text& currencyUid) {
  const CommonData& common = ledger.commonData();
  if (auto row = common.currencyByUid(currencyUid.value_or(""))) return static_cast<int>(row->point.value_or(0));
  if (const auto& main = common.mainCurrency()) return static_cast<int>(main->point.value_or(0));
  return 0;
}

}  // namespace

double installmentAmount(double total, int count, int point, int index) {
  if (count < 1) throw InputError(fmt::format("the number of instalments must be at least 1: {}", count));
  if (index < 1 || index > count) {
    throw InputError(fmt::format("instalment {} is not one of 1 to {}", index, count));
  }
  if (!std::isfinite(total)) throw InputError("the amount to split is not a number");
  const double scale = point < 1 ? 1.0 : std::pow(10.0, point);
  // Six decimals first, so that 2.9999999999 (binary noise of an exact 3)
  // is cut to 3 and not to 2.
  const std::string text = fmt::format("{:.6f}", total / count * scale);
  const double whole = std::strtod(text.substr(0, text.find('.')).c_str(), nullptr);
  double part = whole / scale;
  if (index == 1) part += total - part * count;
  return roundMoney(part, std::max(point, 0));
}

double installmentMainAmount(double mainTotal, int count) {
  if (count < 1) throw InputError(fmt::format("the number of instalments must be at least 1: {}", count));
  return mainTotal / count;
}

double installmentDate(const DateUtil& dates, double entered, int k) {
  const LocalDateTime t = dates.toLocal(entered);
  const int months = t.month - 1 + (k - 1);
  const int yearShift = months >= 0 ? months / 12 : -((11 - months) / 12);
  const int year = t.year + yearShift;
  const int month = months - yearShift * 12 + 1;
  const int lastDay = dates.toLocal(dates.fromLocal(year, month + 1, 0, 12)).day;
  const double fraction = entered - std::floor(entered);
  return dates.fromLocal(year, month, std::min(t.day, lastDay), t.hour, t.minute, t.second + fraction);
}

std::string installmentMonthStr(int index, int count) { return fmt::format("({}/{})", index, count); }

int getInstallIndex(const Text& cardDivideMonthStr) {
  if (!cardDivideMonthStr) return 1;
  std::string bare;
  for (char c : *cardDivideMonthStr) {
    if (c != '(' && c != ')') bare += c;
  }
  const size_t slash = bare.find('/');
  if (slash == std::string::npos || bare.find('/', slash + 1) != std::string::npos) return 1;
  const long long index = leadingInteger(bare.substr(0, slash));
  return index < 1 ? 1 : static_cast<int>(index);
}

int getInstallIndex(const std::optional<InOutCome>& tx) {
  return tx ? getInstallIndex(tx->cardDivideMonthStr) : 1;
}

InstallmentSaveResult funcSaveCardInstallment(Ledger& ledger, const InstallmentEntry& entry,
                                              const InstallmentSaveFn& save,
                                              const InstallmentPhotoCopyFn& copyPhotos) {
  const int n = entry.count;
  if (n < 1 || n > kMaxInstallments) {
    throw InputError(fmt::format("the number of instalments must be from 1 to {}: {}", kMaxInstallments, n));
  }
  if (!entry.tx.Date) throw InputError("an instalment purchase needs a date");
  if (!entry.tx.amountSub || !std::isfinite(*entry.tx.amountSub)) {
    throw InputError("an instalment purchase needs an amount");
  }
  if (!save) throw InputError("no transaction save was given");

  BaseRepository repo(ledger);
  InstallmentSaveResult result;
  InOutCome first = entry.tx;
  if (!first.uid || first.uid->empty()) first.uid = BaseRepository::newUid();

  if (n == 1) {
    // Nothing to split: one ordinary save.
    auto saved = save({first, entry.isChange, true});
    result.status = saved.status();
    if (!saved) return result;
    result.saved.push_back(*saved);
    return result;
  }

  const bool alreadySplit = first.cardDivideMonthStr && !first.cardDivideMonthStr->empty();
  const int firstIndex = entry.isChange ? getInstallIndex(first) : 1;
  const double total = *entry.tx.amountSub;
  const std::optional<double> mainTotal = entry.tx.amount;
  const int point = currencyPoint(ledger, entry.tx.currencyUid);

  // The group is named after its first row; a changed transfer-in row
  // names it after the transfer's out row, where the group is looked up.
  std::string parent = *first.uid;
  if (alreadySplit) {
    const std::string own = first.cardDivideUid.value_or("");
    if (!own.empty() && own != "0") parent = own;
  } else if (entry.isChange && isKind(first, TxKind::kTransferIn) && first.txUidTrans &&
             !first.txUidTrans->empty()) {
    auto opposite = repo.fetch<InOutCome>(" WHERE ZTXUIDTRANS = ? AND ZDO_TYPE = " + kindSql(TxKind::kTransferOut) +
                                              " AND ZUID != ? AND " + live::recordSql() + " LIMIT 1",
                                          *first.txUidTrans, *first.uid);
    if (!opposite.empty() && opposite.front().uid) parent = *opposite.front().uid;
  }

  auto split = [&](InOutCome& row, int index) {
    if (!alreadySplit) {
      row.amountSub = installmentAmount(total, n, point, index);
      if (mainTotal) row.amount = installmentMainAmount(*mainTotal, n);
    }
    row.cardDivideMonth = kInstallmentMark;
    row.cardDivideUid = parent;
    row.cardDivideMonthStr = installmentMonthStr(index, n);
  };
  if (!alreadySplit) split(first, firstIndex);

  result.status = repo.inTransaction([&]() -> Status {
    auto firstSaved = save({first, entry.isChange, true});
    VARNEL_RETURN_IF_ERROR(firstSaved.status());
    result.saved.push_back(*firstSaved);

    // The indexes the group holds now (for a transfer, its out rows).
    std::vector<int> held;
    for (const auto& row : repo.fetch<InOutCome>(
             " WHERE ZCARDDIVIDEUID = ? AND " + live::recordSql(), parent)) {
      if (isTransferSide(first) && !isKind(row, TxKind::kTransferOut)) continue;
      held.push_back(getInstallIndex(row.cardDivideMonthStr));
    }

    const double entered = *entry.tx.Date;
    for (int k = 2; k <= n; ++k) {
      if (std::find(held.begin(), held.end(), k) != held.end()) {
        result.skipped.push_back(k);
        continue;
      }
      InOutCome row = first;
      row.pk = 0;
      row.uid = BaseRepository::newUid();
      row.txUidTrans.reset();
      row.txUidFee.reset();
      row.aId.reset();
      row.OppositeAid.reset();
      row.utime.reset();
      row.isSynced.reset();
      row.syncTime.reset();
      row.isDel = 0;
      // Dated from the entered row's own position, so that changing
      // instalment 2 puts instalment 3 one month after it, not two.
      row.Date = installmentDate(ledger.env().dates(), entered, k - firstIndex + 1);
      row.txDateStr = ledger.env().dates().dayKey(*row.Date);
      split(row, k);
      auto saved = save({row, false, false});
      VARNEL_RETURN_IF_ERROR(saved.status());
      if (copyPhotos) VARNEL_RETURN_IF_ERROR(copyPhotos(*firstSaved, *saved));
      result.saved.push_back(*saved);
    }
    return Status::ok();
  }, "updateInOutCome");
  if (!result.status) {
    result.saved.clear();
    result.skipped.clear();
  }
  return result;
}

}  // namespace varnel
