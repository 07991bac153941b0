// A long random walk of saves, edits (kind changes, account swaps, fee on and
// off), copies, bulk edits and deletes, checking the ledger's transfer and
// fee invariants after every step.
#include <random>

#include <fmt/format.h>

#include "model/errors.h"
#include "tests/ledger/transaction_test_fixture.h"

namespace varnel::testing {
namespace {

constexpr const char* kLive = "(ZISDEL IS NULL OR ZISDEL != 1)";

class Invariants : public TransactionTest {
 protected:
  std::mt19937 rng_{20261210};

  size_t pick(size_t n) { return static_cast<size_t>(rng_() % n); }
  template <class T>
  const T& pickOf(const std::vector<T>& v) {
    return v[pick(v.size())];
  }
  bool chance(int percent) { return static_cast<int>(rng_() % 100) < percent; }

  const std::vector<std::string> accounts_ = {"WON", "WON2", "DOLLAR", "YEN", "YEN2", "ZZZ"};
  const std::vector<std::string> currencies_ = {"", "KRW_KRW", "KRW_USD", "KRW_JPY", "KRW_ZZZ"};
  const std::vector<double> amounts_ = {10, 2.5, 0.125, 1234.567, 13000, -5, 99999.995, 0};

  std::string otherAccount(const std::string& not_) {
    std::string a;
    do a = pickOf(accounts_);
    while (a == not_);
    return a;
  }
  std::string categoryFor(int mode) {
    if (mode == kModeIncome) return chance(80) ? "SALARY" : "-2";
    return chance(50) ? "FOOD" : (chance(50) ? "LUNCH" : "-2");
  }

  void randomise(TransactionForm& f, bool fresh) {
    if (fresh || chance(30)) f.mode = static_cast<int>(pick(3));
    if (fresh || chance(40)) f.account = pickOf(accounts_);
    if (f.mode == kModeTransfer) {
      if (fresh || f.targetAccount.empty() || f.targetAccount == f.account || chance(40)) {
        f.targetAccount = otherAccount(f.account);
      }
      f.category.clear();
      if (chance(40)) {
        f.fee = TransactionFee{pickOf(amounts_), pickOf(currencies_)};
      } else if (chance(50)) {
        f.fee.reset();
      }
    } else {
      f.targetAccount.clear();
      f.fee.reset();
      const bool kindOk = !f.category.empty() && (f.category == "-2" || ((f.category == "SALARY") == (f.mode == 0)));
      if (fresh || !kindOk || chance(30)) f.category = categoryFor(f.mode);
    }
    if (fresh || chance(40)) {
      f.currency = pickOf(currencies_);
      f.mainAmount.reset();
      if (!f.currency.empty() && f.currency != "KRW_KRW" && chance(30)) f.mainAmount = pickOf(amounts_) * 1000;
    }
    if (fresh || chance(50)) f.amount = pickOf(amounts_);
    if (fresh || chance(30)) f.date = at(2026, 1 + static_cast<int>(pick(12)), 1 + static_cast<int>(pick(28)));
    if (fresh || chance(30)) f.content = chance(50) ? "" : fmt::format(" item {} ", pick(100));
    if (fresh || chance(30)) f.memo = chance(50) ? "" : fmt::format("memo {}", pick(100));
    if (fresh || chance(20)) f.mark = static_cast<int64_t>(pick(4));
    if (f.currency.empty() || f.currency == "KRW_KRW") f.mainAmount.reset();
  }

  std::optional<std::string> randomLive(const std::string& kinds = "'0','1','3','4'") {
    const std::string where = fmt::format(" WHERE {} AND ZDO_TYPE IN ({})", kLive, kinds);
    const int64_t n = count("SELECT COUNT(*) FROM ZINOUTCOME" + where);
    if (n == 0) return std::nullopt;
    auto st = ledger_->store().prepare("SELECT ZUID FROM ZINOUTCOME" + where + " ORDER BY Z_PK LIMIT 1 OFFSET ?");
    st.bind(1, static_cast<int64_t>(pick(static_cast<size_t>(n))));
    st.executeStep();
    std::string uid = st.getColumn(0).getString();
    st.reset();
    return uid;
  }

  // Offending rows of a check query, as text, or "" when there are none.
  std::string violations(const std::string& sql) {
    std::string out;
    auto st = ledger_->store().prepare(sql);
    while (st.executeStep()) out += st.getColumn(0).getString() + " ";
    st.reset();
    return out;
  }

  void checkInvariants(const std::string& step) {
    SCOPED_TRACE(step);
    // Every live transfer is exactly one "3" and one "4" sharing the link.
    EXPECT_EQ(violations("SELECT IFNULL(ZTXUIDTRANS, 'null') FROM ZINOUTCOME WHERE (ZISDEL IS NULL OR ZISDEL != 1)"
                         " AND ZDO_TYPE IN ('3','4') GROUP BY ZTXUIDTRANS"
                         " HAVING ZTXUIDTRANS IS NULL OR ZTXUIDTRANS = '' OR COUNT(*) != 2"
                         " OR SUM(ZDO_TYPE = '3') != 1 OR SUM(ZDO_TYPE = '4') != 1"),
              "");
    // Mirrored accounts and the same values on both sides.
    EXPECT_EQ(violations("SELECT o.ZUID FROM ZINOUTCOME o JOIN ZINOUTCOME i ON i.ZTXUIDTRANS = o.ZTXUIDTRANS"
                         " AND i.ZDO_TYPE = '4' AND (i.ZISDEL IS NULL OR i.ZISDEL != 1)"
                         " WHERE o.ZDO_TYPE = '3' AND (o.ZISDEL IS NULL OR o.ZISDEL != 1)"
                         " AND NOT (o.ZASSETUID = i.ZTOASSETUID AND o.ZTOASSETUID = i.ZASSETUID"
                         " AND o.ZASSETUID != o.ZTOASSETUID AND o.ZDATE = i.ZDATE AND o.ZTXDATESTR = i.ZTXDATESTR"
                         " AND o.ZCONTENT IS i.ZCONTENT AND o.ZMEMO IS i.ZMEMO AND o.ZMARK IS i.ZMARK"
                         " AND o.ZAMOUNT IS i.ZAMOUNT AND o.ZAMOUNTSUB IS i.ZAMOUNTSUB"
                         " AND o.ZCURRENCYUID IS i.ZCURRENCYUID)"),
              "");
    // Each record's amountAccount is in its own account's currency.
    EXPECT_EQ(violations("SELECT t.ZUID FROM ZINOUTCOME t JOIN ZASSET a ON a.ZUID = t.ZASSETUID"
                         " WHERE (t.ZISDEL IS NULL OR t.ZISDEL != 1) AND ("
                         "(a.ZCURRENCYUID = t.ZCURRENCYUID AND t.ZAMOUNTACCOUNT IS NOT t.ZAMOUNTSUB)"
                         " OR (a.ZCURRENCYUID != t.ZCURRENCYUID AND a.ZCURRENCYUID = 'KRW_KRW'"
                         " AND t.ZAMOUNTACCOUNT IS NOT t.ZAMOUNT))"),
              "");
    // A fee is one live kind "1" record on its transfer's sending account;
    // only fees and sending sides carry a fee link.
    EXPECT_EQ(violations("SELECT f.ZUID FROM ZINOUTCOME t JOIN ZINOUTCOME f ON f.ZTXUIDFEE = t.ZTXUIDFEE"
                         " AND f.ZDO_TYPE != '3' AND (f.ZISDEL IS NULL OR f.ZISDEL != 1)"
                         " WHERE t.ZDO_TYPE = '3' AND (t.ZISDEL IS NULL OR t.ZISDEL != 1)"
                         " AND t.ZTXUIDFEE IS NOT NULL AND t.ZTXUIDFEE != ''"
                         " AND (f.ZDO_TYPE != '1' OR f.ZASSETUID != t.ZASSETUID)"),
              "");
    EXPECT_EQ(violations("SELECT ZTXUIDFEE FROM ZINOUTCOME WHERE (ZISDEL IS NULL OR ZISDEL != 1) AND ZDO_TYPE = '1'"
                         " AND ZTXUIDFEE IS NOT NULL AND ZTXUIDFEE != '' GROUP BY ZTXUIDFEE HAVING COUNT(*) > 1"),
              "");
    EXPECT_EQ(violations("SELECT ZUID FROM ZINOUTCOME WHERE (ZISDEL IS NULL OR ZISDEL != 1)"
                         " AND ZTXUIDFEE IS NOT NULL AND ZTXUIDFEE != '' AND ZDO_TYPE NOT IN ('1', '3')"),
              "");

    // The live reads never return a deleted record.
    InOutComeRepository repo(*ledger_);
    const std::string account = pickOf(accounts_);
    const auto byAccount = repo.inOutComeByAssetUid(account);
    const std::string live = fmt::format("ZINOUTCOME WHERE {} AND ZASSETUID = '{}'", kLive, account);
    EXPECT_EQ(static_cast<int64_t>(byAccount.size()), count("SELECT COUNT(*) FROM " + live));
    for (const auto& r : byAccount) EXPECT_TRUE(isLive(r));
    for (const auto& r : repo.listInOutComeByAssetDate(account, at(2026, 1, 1), at(2027, 1, 1))) {
      EXPECT_TRUE(isLive(r));
    }
    for (const auto& r : repo.inOutComeWithCategoryUid(pickOf(std::vector<std::string>{"FOOD", "LUNCH", "SALARY"}))) {
      EXPECT_TRUE(isLive(r));
    }
    InOutComeFilter filter;
    filter.assetUid = account;
    filter.startDate = at(2026, 3, 1);
    int64_t visited = 0;
    repo.forEachInOutCome(filter, [&](const InOutCome& r) {
      ++visited;
      EXPECT_TRUE(isLive(r));
    });
    EXPECT_EQ(visited, count(fmt::format("SELECT COUNT(*) FROM {} AND ZDATE >= {}", live, at(2026, 3, 1))));
  }

  void step(int i) {
    TransactionSave saver(*ledger_);
    InOutComeRepository repo(*ledger_);
    const size_t op = pick(100);
    if (op < 35 || liveCount() < 3) {
      TransactionForm f;
      randomise(f, true);
      const auto r = saver.saveTransaction(f);
      ASSERT_TRUE(r.ok()) << "step " << i << " add: " << r.refusal.value_or("store") << logText();
    } else if (op < 65) {
      auto uid = randomLive();
      TransactionForm f = saver.formForRecord(*uid);
      randomise(f, false);
      const auto r = saver.saveTransaction(f);
      ASSERT_TRUE(r.ok()) << "step " << i << " edit: " << r.refusal.value_or("store") << logText();
    } else if (op < 72) {
      auto uid = randomLive();
      const auto r = chance(50) ? saver.copyTransaction(*uid, CopyDate::kToday)
                                : saver.copyTransaction(*uid, CopyDate::kDateAt, at(2026, 6, 15));
      ASSERT_TRUE(r.ok()) << "step " << i << " copy";
    } else if (op < 90) {
      std::vector<InOutCome> selection;
      const size_t n = 1 + pick(4);
      for (size_t k = 0; k < n; ++k) selection.push_back(load(*randomLive("'0','1','3','4','7','8'")));
      try {
        BulkEditResult r;
        switch (pick(5)) {
          case 0: r = repo.updateAssetArrayData(selection, *ledger_->commonData().assetByUid(pickOf(accounts_))); break;
          case 1: r = repo.updateCategoryArrayData(selection, *ledger_->commonData().categoryByUid(
                                                                  chance(50) ? "FOOD" : "SALARY"));
            break;
          case 2: r = repo.updateDateInOutComeArray(selection, at(2026, 2, 1 + static_cast<int>(pick(27)))); break;
          case 3: r = repo.updateContentInOutComeArray(selection, fmt::format("bulk {}", i)); break;
          default: {
            const std::string first = pickOf(accounts_);
            r = repo.updateTransferInOutComeArray(selection, *ledger_->commonData().assetByUid(first),
                                                  *ledger_->commonData().assetByUid(otherAccount(first)));
          }
        }
        ASSERT_TRUE(r.ok()) << "step " << i << " bulk";
      } catch (const InputError&) {
        // A bulk change that would make a transfer go to its own account is refused whole.
      }
    } else {
      auto uid = randomLive();
      ASSERT_TRUE(saver.deleteTransaction(*uid, DeleteAnswer::kThisOnly)) << "step " << i << " delete";
    }
  }
};

TEST_F(Invariants, HoldAfterEveryStepOfARandomWalk) {
  constexpr int kSteps = 3000;
  for (int i = 0; i < kSteps; ++i) {
    ASSERT_NO_FATAL_FAILURE(step(i));
    checkInvariants(fmt::format("after step {}", i));
    if (HasFailure()) break;
  }
  // The walk went through every kind of record.
  EXPECT_GT(count(fmt::format("SELECT COUNT(*) FROM ZINOUTCOME WHERE {} AND ZDO_TYPE = '3'", kLive)), 0);
  EXPECT_GT(count("SELECT COUNT(*) FROM ZINOUTCOME WHERE ZDO_TYPE = '1' AND ZTXUIDFEE IS NOT NULL"), 0);
  EXPECT_GT(count("SELECT COUNT(*) FROM ZINOUTCOME WHERE ZISDEL = 1"), 0);
}

}  // namespace
}  // namespace varnel::testing
