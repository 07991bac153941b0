#include <cmath>
#include <gtest/gtest.h>

#include "ledger/card_installment.h"
#include "model/errors.h"
#include "tests/ledger/card_test_fixture.h"

namespace varnel {
namespace {

using testing::CardTest;

// --- Amounts --------------------------------------------------------------------

TEST(CardInstallmentAmount, TruncatesEachPartAndGivesTheRemainderToTheFirst) {
  struct Case {
    double total;
    int count, point;
    std::vector<double> parts;
  } cases[] = {
      {100.00, 3, 2, {33.34, 33.33, 33.33}},
      {1000, 3, 0, {334, 333, 333}},
      {10, 4, 0, {4, 2, 2, 2}},
      {100, 1, 2, {100}},
      {-100, 3, 2, {-33.34, -33.33, -33.33}},  // toward zero, both signs
      {0.3, 3, 2, {0.1, 0.1, 0.1}},            // 9.999999999999998 cents is 10 cents
      {1000, 3, -1, {334, 333, 333}},          // a negative point counts as none
      {50000, 6, 0, {8335, 8333, 8333, 8333, 8333, 8333}},
  };
  for (const auto& c : cases) {
    double sum = 0;
    for (int i = 1; i <= c.count; ++i) {
      const double part = installmentAmount(c.total, c.count, c.point, i);
      EXPECT_DOUBLE_EQ(part, c.parts[i - 1]) << c.total << " in " << c.count << ", instalment " << i;
      sum += part;
    }
    EXPECT_NEAR(sum, c.total, 1e-9) << c.total << " in " << c.count;
  }
  EXPECT_DOUBLE_EQ(installmentMainAmount(1000, 3), 1000.0 / 3);
}

TEST(CardInstallmentAmount, RefusesCountsAndIndexesOutOfRange) {
  EXPECT_THROW(installmentAmount(100, 0, 2, 1), InputError);
  EXPECT_THROW(installmentAmount(100, 3, 2, 4), InputError);
  EXPECT_THROW(installmentAmount(100, 3, 2, 0), InputError);
  EXPECT_THROW(installmentAmount(std::nan(""), 3, 2, 1), InputError);
  EXPECT_THROW(installmentMainAmount(100, 0), InputError);
}

// --- Positions ------------------------------------------------------------------------

TEST(CardInstallmentIndex, ReadsThePositionFromItsText) {
  struct Case {
    Text text;
    int index;
  } cases[] = {
      {std::nullopt, 1}, {"", 1},       {"(2/3)", 2},   {"2/3", 2},     {"(12/24)", 12},
      {"(3/)", 3},       {"(1/2/3)", 1}, {"(x/3)", 1},  {"(0/3)", 1},   {"(-2/3)", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(getInstallIndex(c.text), c.index) << c.text.value_or("<none>");
  EXPECT_EQ(getInstallIndex(std::optional<InOutCome>{}), 1);
  InOutCome row;
  row.cardDivideMonthStr = installmentMonthStr(5, 10);
  EXPECT_EQ(row.cardDivideMonthStr, "(5/10)");
  EXPECT_EQ(getInstallIndex(std::optional<InOutCome>{row}), 5);
}

// --- Dates ------------------------------------------------------------------------------

TEST_F(CardTest, InstalmentDatesKeepTheDayOrTakeTheMonthsLastDay) {
  const DateUtil& dates = ledger_->env().dates();
  struct Case {
    int y, m, d;
    std::vector<const char*> days;
  } cases[] = {
      {2026, 1, 31, {"2026-01-31", "2026-02-28", "2026-03-31", "2026-04-30"}},
      {2028, 1, 31, {"2028-01-31", "2028-02-29", "2028-03-31"}},
      {2026, 11, 30, {"2026-11-30", "2026-12-30", "2027-01-30", "2027-02-28"}},
      {2027, 12, 15, {"2027-12-15", "2028-01-15"}},
  };
  for (const auto& c : cases) {
    const double entered = dates.fromLocal(c.y, c.m, c.d, 14, 30, 15);
    for (size_t k = 1; k <= c.days.size(); ++k) {
      const double date = installmentDate(dates, entered, static_cast<int>(k));
      EXPECT_EQ(dates.dayKey(date), c.days[k - 1]) << dates.dayKey(entered) << " instalment " << k;
      const LocalDateTime t = dates.toLocal(date);
      EXPECT_EQ(t.hour * 3600 + t.minute * 60 + t.second, 14 * 3600 + 30 * 60 + 15);
    }
  }
}

// --- Saving a purchase --------------------------------------------------------------------

class InstallmentSaveTest : public CardTest {
 protected:
  // Stands for the ordinary transaction save: writes the row as given and
  // remembers what it was asked.
  InstallmentSaveFn saver(int failAt = 0) {
    return [this, failAt](const InstallmentSaveRequest& request) -> Result<InOutCome> {
      requests_.push_back(request);
      if (failAt && static_cast<int>(requests_.size()) == failAt) return Status::storeFailure("refused");
      InOutCome row = request.row;
      if (!request.isChange) row.pk = 0;
      Status saved = BaseRepository(*ledger_).save(row, "updateInOutCome");
      if (!saved) return saved;
      return row;
    };
  }
  InstallmentPhotoCopyFn photoCopier() {
    return [this](const InOutCome& from, const InOutCome& to) {
      photoCopies_.emplace_back(*from.uid, *to.uid);
      return Status::ok();
    };
  }
  InOutCome purchase(double amount, double main, const std::string& currency, double date) {
    InOutCome tx;
    tx.Do_Type = "1";
    tx.assetUid = "CARD";
    tx.currencyUid = currency;
    tx.amountSub = amount;
    tx.amount = main;
    tx.Date = date;
    tx.Content = "Laptop";
    return tx;
  }

  std::vector<InstallmentSaveRequest> requests_;
  std::vector<std::pair<std::string, std::string>> photoCopies_;
};

TEST_F(InstallmentSaveTest, SavesOneRowPerMonthInOneGroup) {
  InstallmentEntry entry{purchase(100.00, 130000, "KRW_USD", at(2026, 1, 31, 14)), 3, false};
  const InstallmentSaveResult r = funcSaveCardInstallment(*ledger_, entry, saver(), photoCopier());
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.saved.size(), 3u);
  const std::string parent = *r.saved[0].uid;
  const double amounts[] = {33.34, 33.33, 33.33};
  const char* days[] = {"2026-01-31", "2026-02-28", "2026-03-31"};
  for (int i = 0; i < 3; ++i) {
    const InOutCome& row = r.saved[i];
    EXPECT_DOUBLE_EQ(*row.amountSub, amounts[i]);
    EXPECT_DOUBLE_EQ(*row.amount, 130000.0 / 3);
    EXPECT_EQ(row.cardDivideUid, parent);
    EXPECT_EQ(row.cardDivideMonth, "10001");
    EXPECT_EQ(row.cardDivideMonthStr, installmentMonthStr(i + 1, 3));
    EXPECT_EQ(day(*row.Date), days[i]);
    EXPECT_EQ(row.Content, "Laptop");
    EXPECT_EQ(requests_[i].withPhotos, i == 0);
    EXPECT_FALSE(requests_[i].isChange);
  }
  EXPECT_NE(*r.saved[1].uid, *r.saved[2].uid);
  EXPECT_EQ(photoCopies_, (std::vector<std::pair<std::string, std::string>>{
                              {parent, *r.saved[1].uid}, {parent, *r.saved[2].uid}}));
  CardRepository cards(*ledger_);
  EXPECT_EQ(cards.getInOutComeByCardDivideUid(parent).size(), 3u);
  EXPECT_TRUE(cards.getInOutComeByCardDivideUid("0").empty());
}

TEST_F(InstallmentSaveTest, ChangingOneRowOnlyAddsTheMissingOnes) {
  InstallmentEntry entry{purchase(900, 900, "KRW_KRW", at(2026, 3, 10)), 3, false};
  InstallmentSaveResult first = funcSaveCardInstallment(*ledger_, entry, saver());
  ASSERT_TRUE(first.ok());
  // Row 3 is deleted; row 2 is changed to 350.
  InOutCome third = first.saved[2];
  third.isDel = 1;
  ASSERT_TRUE(BaseRepository(*ledger_).save(third, "updateInOutCome"));
  InOutCome second = first.saved[1];
  second.amountSub = second.amount = 350;
  requests_.clear();

  const InstallmentSaveResult r = funcSaveCardInstallment(*ledger_, {second, 3, true}, saver());
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.skipped, std::vector<int>{2});
  ASSERT_EQ(r.saved.size(), 2u);
  EXPECT_TRUE(requests_[0].isChange);
  EXPECT_EQ(r.saved[0].uid, second.uid);
  EXPECT_DOUBLE_EQ(*r.saved[0].amountSub, 350);  // as typed
  EXPECT_EQ(r.saved[1].cardDivideMonthStr, "(3/3)");
  EXPECT_EQ(r.saved[1].cardDivideUid, first.saved[0].uid);
  EXPECT_EQ(day(*r.saved[1].Date), "2026-05-10");
  EXPECT_EQ(CardRepository(*ledger_).getInOutComeByCardDivideUid(*first.saved[0].uid).size(), 3u);
}

TEST_F(InstallmentSaveTest, ATransferInRowIsGroupedUnderItsOutRow) {
  InOutCome out = add("3", "BANK", 600, at(2026, 3, 10));
  InOutCome in = add("4", "CARD", 600, at(2026, 3, 10));
  out.txUidTrans = in.txUidTrans = "PAIR";
  ASSERT_TRUE(BaseRepository(*ledger_).save(out, "updateInOutCome"));
  ASSERT_TRUE(BaseRepository(*ledger_).save(in, "updateInOutCome"));
  const InstallmentSaveResult r = funcSaveCardInstallment(*ledger_, {in, 2, true}, saver());
  ASSERT_TRUE(r.ok());
  for (const auto& row : r.saved) EXPECT_EQ(row.cardDivideUid, out.uid);
}

TEST_F(InstallmentSaveTest, AFailedSaveLeavesNothingOfTheEntry) {
  const int64_t before = count("SELECT COUNT(*) FROM ZINOUTCOME");
  InstallmentEntry entry{purchase(300000, 300000, "KRW_KRW", at(2026, 12, 1)), 3, false};
  const InstallmentSaveResult r = funcSaveCardInstallment(*ledger_, entry, saver(3));
  EXPECT_FALSE(r.ok());
  EXPECT_TRUE(r.saved.empty());
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), before);
}

TEST_F(InstallmentSaveTest, RefusesBadEntriesBeforeSavingAnything) {
  InOutCome tx = purchase(100, 100, "KRW_KRW", at(2026, 12, 1));
  EXPECT_THROW(funcSaveCardInstallment(*ledger_, {tx, 0, false}, saver()), InputError);
  EXPECT_THROW(funcSaveCardInstallment(*ledger_, {tx, kMaxInstallments + 1, false}, saver()), InputError);
  InOutCome undated = tx;
  undated.Date.reset();
  EXPECT_THROW(funcSaveCardInstallment(*ledger_, {undated, 3, false}, saver()), InputError);
  EXPECT_TRUE(requests_.empty());

  // One instalment is an ordinary purchase.
  const InstallmentSaveResult r = funcSaveCardInstallment(*ledger_, {tx, 1, false}, saver());
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.saved.size(), 1u);
  EXPECT_FALSE(r.saved[0].cardDivideUid);
  EXPECT_DOUBLE_EQ(*r.saved[0].amountSub, 100);
}

}  // namespace
}  // namespace varnel
