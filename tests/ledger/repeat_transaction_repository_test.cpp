#include <deque>

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "ledger/repeat.h"
#include "ledger/repeat_transaction_repository.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "tests/ledger/transaction_test_fixture.h"

namespace varnel::testing {
namespace {

// The transaction ledger (won main, dollar at 1300, yen at 9), "now" 10
// December 2026 09:00 in Seoul.
class RepeatRunTest : public TransactionTest {
 protected:
  static constexpr int64_t kTemplateStamp = 1700000000000;

  int64_t ms(int y, int m, int d, int h = 0, int mi = 0) {
    return storeSecondsToMs(ledger_->env().dates().fromLocal(y, m, d, h, mi));
  }
  std::string day(double date) { return ledger_->env().dates().dayKey(date); }
  void setNow(int y, int m, int d, int h = 9) { ledger_->env().setNow(ms(y, m, d, h)); }

  // A live template stored as another device or an older release may have
  // left it (no checks on the way in).
  RepeatTransaction& add(const std::string& uid, int type, int doType, int64_t nextDate, double amountSub = 1000,
                         const std::string& account = "WON", const std::string& categoryOrTarget = "FOOD",
                         const std::string& currency = "KRW_KRW") {
    RepeatTransaction t = BaseRepository(*ledger_).newObjectForEntity<RepeatTransaction>(uid);
    t.repeatType = type;
    t.doType = doType;
    t.nextDate = nextDate;
    t.amountSub = amountSub;
    t.assetUid = account;
    if (doType == 0 || doType == 1) {
      t.categoryUid = categoryOrTarget;
    } else {
      t.toAssetUid = categoryOrTarget;
    }
    t.currencyUid = currency;
    t.payee = "  Rent\n";
    t.memo = " monthly ";
    t.mark = 3;
    t.isDel = 0;
    t.utime = kTemplateStamp;
    t.isSynced = 2;
    templates_.push_back(t);
    return templates_.back();
  }
  // Stores the templates added since the last call.
  void store() {
    BaseRepository repo(*ledger_);
    for (auto& t : templates_) {
      if (t.pk == 0) {
        ASSERT_TRUE(repo.save(t, "updateRepeat"));
      }
    }
  }
  RepeatTransaction stored(const std::string& uid) {
    return *RepeatTransactionRepository(*ledger_).getRepeatByUId(uid);
  }

  RepeatRun run() {
    auto result = RepeatTransactionRepository(*ledger_).repeatDataInputAll();
    EXPECT_TRUE(result.isOk()) << result.status().message();
    return result.isOk() ? std::move(result).value() : RepeatRun{};
  }
  // The days of the rows booked from a template, in order.
  std::vector<std::string> daysOf(const std::string& uid) {
    std::vector<std::string> out;
    auto st = ledger_->store().prepare(
        "SELECT ZTXDATESTR FROM ZINOUTCOME WHERE ZUID >= ? AND ZUID < ? ORDER BY ZDATE, ZUID");
    st.bind(1, uid + "_");
    st.bind(2, uid + "`");
    while (st.executeStep()) out.push_back(st.getColumn(0).getString());
    return out;
  }
  int64_t rows() { return count("SELECT COUNT(*) FROM ZINOUTCOME"); }

  std::deque<RepeatTransaction> templates_;
};

TEST_F(RepeatRunTest, AnOverdueDailyTemplateBooksEveryDayThroughTodayAndMovesOn) {
  add("T", repeat_type::kDaily, 1, ms(2026, 11, 30, 8));
  // Later today is due today: the limit is the start of tomorrow. A
  // template without a stamp gives its rows the time of the run.
  add("LATE", repeat_type::kDaily, 1, ms(2026, 12, 10, 18)).utime.reset();
  store();
  const RepeatRun result = run();
  EXPECT_EQ(result.countSave, 2);
  EXPECT_EQ(result.limit, ms(2026, 12, 11));

  std::vector<std::string> expected;
  for (int d = 30; d <= 40; ++d) expected.push_back(d == 30 ? "2026-11-30" : fmt::format("2026-12-{:02d}", d - 30));
  EXPECT_EQ(daysOf("T"), expected);
  EXPECT_EQ(daysOf("LATE"), std::vector<std::string>{"2026-12-10"});
  EXPECT_EQ(stored("T").nextDate, ms(2026, 12, 11, 8));
  EXPECT_EQ(stored("LATE").nextDate, ms(2026, 12, 11, 18));
  EXPECT_EQ(load(std::string("LATE_2026-12-10_1")).utime, ledger_->env().nowMs());
  EXPECT_EQ(stored("T").utime, ledger_->env().nowMs());
  EXPECT_EQ(stored("T").isSynced, 1);

  const InOutCome row = load(std::string("T_2026-12-03_1"));
  EXPECT_EQ(*row.Date, msToStoreSeconds(ms(2026, 12, 3, 8)));
  EXPECT_EQ(row.txDateStr, "2026-12-03");
  EXPECT_EQ(row.Do_Type, "1");
  EXPECT_EQ(row.assetUid, "WON");
  EXPECT_EQ(row.categoryUid, "FOOD");
  EXPECT_EQ(row.currencyUid, "KRW_KRW");
  EXPECT_EQ(row.amountSub, 1000);
  EXPECT_EQ(row.amount, 1000);
  EXPECT_EQ(row.amountAccount, 1000);
  EXPECT_EQ(row.Content, "Rent");
  EXPECT_EQ(row.memo, "monthly");
  EXPECT_EQ(row.mark, 3);
  EXPECT_EQ(row.cardDivideMonth, "5");
  EXPECT_EQ(row.cardDivideMonthStr, "");
  EXPECT_EQ(row.utime, kTemplateStamp);  // the template's stamp: equal on every device
  EXPECT_EQ(row.isSynced, 1);
  EXPECT_EQ(row.isDel, 0);
}

TEST_F(RepeatRunTest, ASecondRunBooksNothing) {
  add("T", repeat_type::kDaily, 1, ms(2026, 11, 30, 8));
  add("M", repeat_type::kMonthly, 0, ms(2026, 9, 25, 8), 5000, "WON", "SALARY");
  store();
  const RepeatRun first = run();
  const int64_t after = rows();
  EXPECT_EQ(after, 11 + 3);
  const RepeatRun second = run();
  EXPECT_EQ(second.countSave, 0);
  EXPECT_TRUE(second.rows().empty());
  EXPECT_EQ(rows(), after);
  EXPECT_EQ(stored("M").nextDate, ms(2026, 12, 25, 8));
}

TEST_F(RepeatRunTest, ARunCutShortBeforeItsTemplateMovedBooksNothingTwice) {
  add("T", repeat_type::kDaily, 1, ms(2026, 12, 1, 8));
  add("X", repeat_type::kWeekly, 3, ms(2026, 11, 26, 8), 1000, "WON", "WON2");
  store();
  run();
  const int64_t booked = rows();
  ASSERT_EQ(booked, 10 + 2 * 3);
  // The person deleted one occurrence; then the templates are found as they
  // were before the run, as after a process killed between booking and
  // recording (or a device that has the rows but not yet the moved template).
  InOutComeRepository repo(*ledger_);
  ASSERT_TRUE(repo.deleteWithInOutCome(load(std::string("T_2026-12-05_1"))));
  BaseRepository base(*ledger_);
  for (auto& t : templates_) ASSERT_TRUE(base.save(t, "updateRepeat"));

  const RepeatRun again = run();
  EXPECT_TRUE(again.rows().empty());
  EXPECT_EQ(rows(), booked);
  EXPECT_EQ(load(std::string("T_2026-12-05_1")).isDel, 1);  // not brought back
  EXPECT_EQ(again.bookings.at(0).occurrencesAlreadyBooked + again.bookings.at(1).occurrencesAlreadyBooked,
            3 + 10);
  EXPECT_EQ(stored("T").nextDate, ms(2026, 12, 11, 8));
  EXPECT_EQ(stored("X").nextDate, ms(2026, 12, 17, 8));
}

TEST_F(RepeatRunTest, OccurrencesMoreThanThreeYearsBackAreNeverBooked) {
  // Ten years overdue: the days up to 10 December 2023 09:00 are passed over.
  add("OLD", repeat_type::kDaily, 1, ms(2016, 12, 10, 9));
  add("OLDM", repeat_type::kMonthly, 1, ms(2019, 1, 31, 9));
  store();
  const RepeatRun result = run();
  const std::vector<std::string> days = daysOf("OLD");
  ASSERT_EQ(days.size(), 1096u);  // 11 December 2023 to 10 December 2026, 2024 a leap year
  EXPECT_EQ(days.front(), "2023-12-11");
  EXPECT_EQ(days.back(), "2026-12-10");
  EXPECT_EQ(stored("OLD").nextDate, ms(2026, 12, 11, 9));
  const std::vector<std::string> months = daysOf("OLDM");
  ASSERT_EQ(months.size(), 36u);
  EXPECT_EQ(months.front(), "2023-12-31");
  EXPECT_EQ(months[2], "2024-02-29");
  EXPECT_EQ(months[3], "2024-03-31");
  EXPECT_EQ(months.back(), "2026-11-30");
  EXPECT_EQ(Repeat::occurrenceSeconds(*stored("OLDM").nextDate), msToStoreSeconds(ms(2026, 12, 31, 9)));
  EXPECT_EQ(result.countSave, 2);
}

TEST_F(RepeatRunTest, AMonthlySeriesOnThe31stKeepsItsDayFromRunToRun) {
  setNow(2028, 1, 31, 12);
  add("M", repeat_type::kMonthly, 1, ms(2028, 1, 31, 10));
  store();
  run();
  setNow(2028, 2, 29, 12);
  run();
  reopen({.now = "2028-04-01T09:00:00"});
  run();
  EXPECT_EQ(daysOf("M"), (std::vector<std::string>{"2028-01-31", "2028-02-29", "2028-03-31"}));
  EXPECT_EQ(stored("M").nextDate, ms(2028, 4, 30, 10) + 31);
}

TEST_F(RepeatRunTest, TheLimitFollowsTheRepeatReflectionSetting) {
  struct Case {
    const char* name;
    std::string reflect;  // setting 10009
    std::string startDay;  // setting -23459
    int64_t limit;
    std::string lastDay;
  };
  const std::vector<Case> cases = {
      {"today only", "0", "1", ms(2026, 12, 11), "2026-12-10"},
      {"the whole calendar month", "1", "1", ms(2027, 1, 1), "2026-12-31"},
      {"the user month beginning on the 25th", "1", "25", ms(2026, 12, 25), "2026-12-24"},
      {"the user month beginning on the 5th", "1", "5", ms(2027, 1, 5), "2027-01-04"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EtcRepository etc(*ledger_);
    ASSERT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kRepeatReflectType, c.reflect));
    ASSERT_TRUE(etc.updateEtcUserSettingByType(etc_kind::kStartDay, c.startDay));
    RepeatTransactionRepository repo(*ledger_);
    EXPECT_EQ(repo.toDayIntRepeatDp_new_2_11_12(), c.limit);
    const std::string uid = fmt::format("D{}", n++);
    add(uid, repeat_type::kDaily, 1, ms(2026, 12, 10, 8));
    store();
    run();
    const auto days = daysOf(uid);
    ASSERT_FALSE(days.empty());
    EXPECT_EQ(days.front(), "2026-12-10");
    EXPECT_EQ(days.back(), c.lastDay);
  }
}

TEST_F(RepeatRunTest, NothingIsBookedAfterTheEndDate) {
  RepeatTransaction& t = add("E", repeat_type::kDaily, 1, ms(2026, 12, 1, 20));
  t.endDate = ms(2026, 12, 5);  // the day counts whole, whatever the time
  RepeatTransaction& w = add("W", repeat_type::kWeekly, 1, ms(2026, 11, 1, 8));
  w.endDate = ms(2026, 11, 22, 8);
  store();
  run();
  EXPECT_EQ(daysOf("E"), (std::vector<std::string>{"2026-12-01", "2026-12-02", "2026-12-03", "2026-12-04",
                                                   "2026-12-05"}));
  EXPECT_EQ(daysOf("W"), (std::vector<std::string>{"2026-11-01", "2026-11-08", "2026-11-15", "2026-11-22"}));
  EXPECT_EQ(stored("E").nextDate, ms(2026, 12, 6, 20));
  setNow(2027, 1, 20);
  const RepeatRun later = run();
  EXPECT_TRUE(later.rows().empty());
  EXPECT_EQ(later.countSave, 0);
}

TEST_F(RepeatRunTest, ATransferBooksBothSidesUnderTheirOwnIdentifiers) {
  add("OUT", repeat_type::kWeekly, 3, ms(2026, 12, 3, 8), 13000, "WON", "DOLLAR");
  add("IN", repeat_type::kWeekly, 4, ms(2026, 12, 3, 8), 13000, "DOLLAR", "WON");
  RepeatTransaction& mode = add("MODE", repeat_type::kWeekly, 2, ms(2026, 12, 3, 8), 13000, "WON", "DOLLAR");
  mode.payee = "";
  store();
  run();
  for (const std::string uid : {"OUT", "IN", "MODE"}) {
    SCOPED_TRACE(uid);
    for (const std::string d : {"2026-12-03", "2026-12-10"}) {
      const InOutCome out = load(uid + "_" + d + "_3");
      const InOutCome in = load(uid + "_" + d + "_4");
      EXPECT_EQ(out.Do_Type, "3");
      EXPECT_EQ(in.Do_Type, "4");
      EXPECT_EQ(out.txUidTrans, in.txUidTrans);
      EXPECT_EQ(out.txUidTrans->size(), 36u);
      EXPECT_EQ(out.toAssetUid, in.assetUid);
      EXPECT_EQ(in.toAssetUid, out.assetUid);
      // 13000 won: 10 dollars on the dollar side.
      const InOutCome& dollar = out.assetUid == "DOLLAR" ? out : in;
      const InOutCome& won = out.assetUid == "WON" ? out : in;
      EXPECT_EQ(dollar.amountAccount, 10);
      EXPECT_EQ(won.amountAccount, 13000);
      EXPECT_EQ(out.amount, 13000);
      EXPECT_EQ(in.amountSub, 13000);
      EXPECT_EQ(out.cardDivideMonth, "6");
      EXPECT_EQ(in.cardDivideMonth, "6");
      EXPECT_FALSE(out.categoryUid);
    }
    EXPECT_NE(load(uid + "_2026-12-03_3").txUidTrans, load(uid + "_2026-12-10_3").txUidTrans);
  }
  EXPECT_EQ(load(std::string("OUT_2026-12-03_3")).assetUid, "WON");
  EXPECT_EQ(load(std::string("IN_2026-12-03_4")).assetUid, "DOLLAR");
  EXPECT_EQ(load(std::string("IN_2026-12-03_3")).assetUid, "WON");
  // The input screen's transfer mode books as the sending side; an empty
  // content names the accounts, paying one first.
  EXPECT_EQ(load(std::string("MODE_2026-12-03_3")).assetUid, "WON");
  EXPECT_EQ(load(std::string("MODE_2026-12-03_4")).Content, "Won → Dollar");
  EXPECT_EQ(count("SELECT COUNT(*) FROM ZINOUTCOME"), 3 * 2 * 2);
}

TEST_F(RepeatRunTest, ATransferSideThatArrivedAloneKeepsItsLink) {
  add("OUT", repeat_type::kWeekly, 3, ms(2026, 12, 10, 8), 13000, "WON", "DOLLAR");
  store();
  BaseRepository base(*ledger_);
  InOutCome arrived = base.newObjectForEntity<InOutCome>("OUT_2026-12-10_4");
  arrived.txUidTrans = "LINK";
  arrived.Do_Type = "4";
  arrived.assetUid = "DOLLAR";
  ASSERT_TRUE(base.save(arrived, "updateInOutCome"));
  run();
  EXPECT_EQ(load(std::string("OUT_2026-12-10_3")).txUidTrans, "LINK");
  EXPECT_EQ(rows(), 2);
}

TEST_F(RepeatRunTest, AmountsAreWhatAnOrdinarySaveStoresForTheSameInput) {
  struct Case {
    const char* name;
    std::string account, currency;
    double amountSub;
    int doType;
    std::string categoryOrTarget;
  };
  const std::vector<Case> cases = {
      {"dollars on a won account", "WON", "KRW_USD", 2.5, 1, "FOOD"},
      {"dollars on a yen account", "YEN", "KRW_USD", 10, 1, "FOOD"},
      {"won on a dollar account", "DOLLAR", "KRW_KRW", 1000, 0, "SALARY"},
      {"half a cent rounds away from zero", "DOLLAR", "KRW_USD", 0.125, 1, "FOOD"},
      {"dollars from a yen account into a dollar account", "YEN", "KRW_USD", 10, 3, "DOLLAR"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string uid = fmt::format("C{}", n++);
    add(uid, repeat_type::kMonthly, c.doType, ms(2026, 12, 10, 8), c.amountSub, c.account, c.categoryOrTarget,
        c.currency);
    store();
    run();
    TransactionForm f = form(c.doType == 3 ? kModeTransfer : c.doType, c.account, c.amountSub, c.categoryOrTarget);
    f.currency = c.currency;
    const auto saved = this->saved(f);
    const InOutCome generated = load(uid + "_2026-12-10_" + std::to_string(c.doType));
    EXPECT_EQ(generated.amountSub, saved.record->amountSub);
    EXPECT_EQ(generated.amount, saved.record->amount);
    EXPECT_EQ(generated.amountAccount, saved.record->amountAccount);
    if (c.doType == 3) {
      EXPECT_EQ(load(uid + "_2026-12-10_4").amountAccount, saved.opposite->amountAccount);
    }
  }
  // A currency that is gone: the amount counts in the main currency.
  add("GONE", repeat_type::kMonthly, 1, ms(2026, 12, 10, 8), 77, "WON", "FOOD", "KRW_XYZ");
  store();
  run();
  const InOutCome gone = load(std::string("GONE_2026-12-10_1"));
  EXPECT_EQ(gone.currencyUid, "KRW_KRW");
  EXPECT_EQ(gone.amount, 77);
}

TEST_F(RepeatRunTest, TemplatesThatCannotBookAreSkippedAndKeepTheirDate) {
  BaseRepository base(*ledger_);
  Asset gone = base.newObjectForEntity<Asset>("GONE");
  gone.NicName = "Gone";
  gone.groupUid = "1";
  gone.currencyUid = "KRW_KRW";
  gone.isDel = 1;
  ASSERT_TRUE(base.save(gone, "updateAsset"));
  ledger_->commonData().ReloadTheData();
  struct Case {
    std::string uid;
    int type, doType;
    std::string account, categoryOrTarget;
    double amount;
  };
  const std::vector<Case> cases = {
      {"NOTYPE", 0, 1, "WON", "FOOD", 1000},
      {"UNKNOWN", 11, 1, "WON", "FOOD", 1000},
      {"NOACCOUNT", 5, 1, "NOWHERE", "FOOD", 1000},
      {"DELETEDACCOUNT", 5, 1, "GONE", "FOOD", 1000},
      {"NOTARGET", 5, 3, "WON", "NOWHERE", 1000},
      {"DELETEDTARGET", 5, 3, "WON", "GONE", 1000},
      {"SAMEACCOUNT", 5, 3, "WON", "WON", 1000},
      {"NOCATEGORY", 5, 1, "WON", "NOSUCH", 1000},
      {"ADJUSTMENT", 5, 7, "WON", "FOOD", 1000},
      {"TOOLARGE", 5, 1, "WON", "FOOD", 1e14},  // 1e14 dollars is 1.3e17 won
  };
  for (const auto& c : cases) {
    add(c.uid, c.type, c.doType, ms(2026, 12, 9, 8), c.amount, c.account, c.categoryOrTarget,
        c.uid == "TOOLARGE" ? "KRW_USD" : "KRW_KRW");
  }
  add("FINE", 5, 1, ms(2026, 12, 9, 8), 1000, "WON", "-2");
  store();
  const RepeatRun result = run();
  ASSERT_EQ(result.skipped.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(result.skipped[i].templateUid, cases[i].uid);
    EXPECT_FALSE(result.skipped[i].reason.empty());
    EXPECT_EQ(stored(cases[i].uid).nextDate, ms(2026, 12, 9, 8)) << cases[i].uid;
  }
  // Uncategorised is a category of its own.
  EXPECT_EQ(daysOf("FINE"), (std::vector<std::string>{"2026-12-09", "2026-12-10"}));
  EXPECT_EQ(load(std::string("FINE_2026-12-09_1")).categoryUid, "-2");
  EXPECT_EQ(rows(), 2);
}

TEST_F(RepeatRunTest, AnEmptyContentIsFilledOnlyWhenTheLedgerFillsEmptyContents) {
  RepeatTransaction& t = add("T", repeat_type::kDaily, 1, ms(2026, 12, 10, 8));
  t.payee = " ";
  store();
  // A ledger first set up before 2.5.0 fills them when the preference says so.
  ASSERT_TRUE(EtcRepository(*ledger_).updateEtcUserSettingByType(etc_kind::kInitDbVersion, "2.4.0"));
  ASSERT_TRUE(TransactionSave(*ledger_).setAutoSaveTxContent(false));
  run();
  EXPECT_EQ(load(std::string("T_2026-12-10_1")).Content, "Food");
  ASSERT_TRUE(TransactionSave(*ledger_).setAutoSaveTxContent(true));
  setNow(2026, 12, 11);
  run();
  EXPECT_EQ(load(std::string("T_2026-12-11_1")).Content, "");
}

TEST_F(RepeatRunTest, AFailedWriteBooksNothingAndMovesNothing) {
  add("A", repeat_type::kDaily, 1, ms(2026, 12, 8, 8));
  add("B", repeat_type::kDaily, 1, ms(2026, 12, 9, 8));
  store();
  ledger_->store().db().exec(
      "CREATE TEMP TRIGGER refuse BEFORE INSERT ON ZINOUTCOME WHEN NEW.ZUID = 'B_2026-12-10_1' "
      "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
  const auto result = RepeatTransactionRepository(*ledger_).repeatDataInputAll();
  ASSERT_FALSE(result.isOk());
  EXPECT_NE(result.status().message().find("disk full"), std::string::npos);
  EXPECT_EQ(rows(), 0);
  EXPECT_EQ(stored("A").nextDate, ms(2026, 12, 8, 8));
  EXPECT_EQ(stored("A").utime, kTemplateStamp);
  EXPECT_EQ(stored("B").nextDate, ms(2026, 12, 9, 8));
  ledger_->store().db().exec("DROP TRIGGER refuse");
  run();
  EXPECT_EQ(rows(), 3 + 2);
}

TEST_F(RepeatRunTest, DeletingATemplateKeepsWhatItBooked) {
  add("T", repeat_type::kDaily, 1, ms(2026, 12, 9, 8));
  store();
  run();
  RepeatTransactionRepository repo(*ledger_);
  const auto gone = repo.deleteRepeatByUid("T");
  ASSERT_TRUE(gone.isOk());
  EXPECT_EQ(gone->isDel, 1);
  EXPECT_TRUE(repo.getListLive().empty());
  EXPECT_EQ(repo.getListAll().size(), 1u);
  EXPECT_THROW((void)repo.deleteRepeatByUid("T"), InputError);
  EXPECT_THROW((void)repo.deleteRepeatByUid("NOSUCH"), InputError);
  setNow(2026, 12, 20);
  run();
  EXPECT_EQ(daysOf("T"), (std::vector<std::string>{"2026-12-09", "2026-12-10"}));
}

}  // namespace
}  // namespace varnel::testing
