#include <regex>

#include <gtest/gtest.h>

#include "model/base_repository.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;

class BaseRepositoryTest : public LedgerTest {};

TEST_F(BaseRepositoryTest, NewRecordsGetDistinctUpperCaseUuids) {
  BaseRepository repo(*ledger_);
  const std::regex uuid("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
  auto a = repo.newObjectForEntity<InOutCome>();
  auto b = repo.newObjectForEntity<InOutCome>();
  ASSERT_TRUE(a.uid && b.uid);
  EXPECT_TRUE(std::regex_match(*a.uid, uuid)) << *a.uid;
  EXPECT_TRUE(std::regex_match(*b.uid, uuid)) << *b.uid;
  EXPECT_NE(*a.uid, *b.uid);

  const std::string photo = BaseRepository::newPhotoFileName();
  EXPECT_TRUE(std::regex_match(photo, std::regex("^[0-9a-f-]{36}\\.jpg$"))) << photo;
}

TEST_F(BaseRepositoryTest, GivenUidLeavesDeletionNull) {
  BaseRepository repo(*ledger_);
  auto group = repo.newObjectForEntity<AssetGroup>("11");
  EXPECT_EQ(group.uid, "11");
  EXPECT_FALSE(group.isDel.has_value());
}

TEST_F(BaseRepositoryTest, NextOrderNumberCountsDeletedRecords) {
  BaseRepository repo(*ledger_);
  EXPECT_EQ(repo.nextAvailble<Category>("Order"), 1);
  auto live = repo.newObjectForEntity<Category>();
  live.Order = 3;
  auto gone = repo.newObjectForEntity<Category>();
  gone.Order = 7;
  gone.isDel = 1;
  ASSERT_TRUE(repo.save(live, "updateCategory"));
  ASSERT_TRUE(repo.save(gone, "updateCategory"));
  EXPECT_EQ(repo.nextAvailble<Category>("Order"), 8);
  EXPECT_EQ(repo.nextAvailble<Category>("NoSuchAttribute"), 1);
}

TEST_F(BaseRepositoryTest, RecordRoundTripsEveryColumnType) {
  BaseRepository repo(*ledger_);
  auto tx = repo.newObjectForEntity<InOutCome>();
  tx.Date = 818208000.5;
  tx.Do_Type = "1";
  tx.amount = 1234.56;
  tx.mark = 0;
  tx.Content = "";
  ASSERT_TRUE(repo.save(tx, "updateInOutCome"));
  auto back = repo.dataByUid<InOutCome>(*tx.uid);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->pk, tx.pk);
  EXPECT_EQ(back->Date, 818208000.5);
  EXPECT_EQ(back->Do_Type, "1");
  EXPECT_EQ(back->amount, 1234.56);
  EXPECT_EQ(back->mark, 0);
  EXPECT_EQ(back->Content, "");       // empty text stays empty, not null
  EXPECT_FALSE(back->memo.has_value());  // null stays null
  EXPECT_FALSE(back->isDel.has_value());
  EXPECT_TRUE(isLive(*back));
}

TEST_F(BaseRepositoryTest, StampAndSoftDeletion) {
  BaseRepository repo(*ledger_);
  auto tag = repo.newObjectForEntity<Tag>();
  ASSERT_TRUE(repo.saveStamped(tag, "updateTag"));
  EXPECT_EQ(tag.utime, ledger_->env().nowMs());
  EXPECT_EQ(tag.isSynced, 1);

  ASSERT_TRUE(repo.deleteRecord(tag, "updateTag"));
  auto back = repo.dataByUid<Tag>(*tag.uid);  // deleted records are still found by uid
  ASSERT_TRUE(back);
  EXPECT_EQ(back->isDel, 1);
  EXPECT_FALSE(isLive(*back));
}

TEST_F(BaseRepositoryTest, FailedSaveIsLoggedAndKeepsOldStamp) {
  BaseRepository repo(*ledger_);
  auto first = repo.newObjectForEntity<Category>();
  ASSERT_TRUE(repo.save(first, "updateCategory"));
  auto clash = repo.newObjectForEntity<Category>(*first.uid);  // same uid: unique index refuses
  clash.utime = 5;
  EXPECT_NO_THROW({ EXPECT_FALSE(repo.saveStamped(clash, "updateCategory")); });
  EXPECT_EQ(clash.utime, 5);
  EXPECT_EQ(clash.pk, 0);
  EXPECT_NE(logText().find("updateCategory fail "), std::string::npos) << logText();
}

TEST_F(BaseRepositoryTest, FailedBatchWritesNothing) {
  BaseRepository repo(*ledger_);
  std::vector<Memo> memos(3);
  for (auto& m : memos) m.uid = BaseRepository::newUid();
  memos[2].uid = memos[0].uid;
  EXPECT_FALSE(repo.saveAll(memos, "updateMemo", true));
  EXPECT_TRUE(repo.fetch<Memo>("").empty());
  for (const auto& m : memos) EXPECT_EQ(m.pk, 0);
}

TEST_F(BaseRepositoryTest, ListSyncTakesPendingNewestSyncTimeFirst) {
  BaseRepository repo(*ledger_);
  std::vector<Photo> photos(4);
  const double syncTimes[] = {10, 30, 20, 40};
  for (int i = 0; i < 4; ++i) {
    photos[i].uid = "P" + std::to_string(i);
    photos[i].syncTime = syncTimes[i];
    photos[i].isSynced = i == 3 ? 2 : 1;  // the newest is already recorded
  }
  ASSERT_TRUE(repo.saveAll(photos, "updatePhoto", false));
  auto pending = repo.listSyncWithEntityName<Photo>(2);
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].uid, "P1");
  EXPECT_EQ(pending[1].uid, "P2");
}

TEST_F(BaseRepositoryTest, AppSyncUpdateStampsEveryRecord) {
  BaseRepository repo(*ledger_);
  std::vector<Budget> budgets(2);
  for (auto& b : budgets) b.uid = BaseRepository::newUid();
  ASSERT_TRUE(repo.appSyncUpdate(budgets));
  for (const auto& b : repo.fetch<Budget>("")) {
    EXPECT_EQ(b.isSynced, 1);
    EXPECT_EQ(b.utime, ledger_->env().nowMs());
  }
}

struct StartDayCase {
  int year, month, startDay, expected;
};

TEST(StartDay, IsClampedToTheMonth) {
  const StartDayCase cases[] = {
      {2025, 4, 31, 30}, {2024, 2, 31, 29}, {2100, 2, 31, 29}, {2023, 2, 31, 28},
      {2023, 2, 29, 28}, {2024, 2, 30, 29}, {2025, 3, 29, 29}, {2025, 3, 30, 30},
      {2025, 1, 31, 31}, {2025, 11, 31, 30}, {2025, 2, 15, 15}, {2025, 6, 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BaseRepository::getStartDay(c.year, c.month, c.startDay), c.expected)
        << c.year << "-" << c.month << " start " << c.startDay;
  }
  EXPECT_EQ(BaseRepository::getAddDay("202402", 31), "20240229");
  EXPECT_EQ(BaseRepository::getAddDay("202504", 5), "20250405");
}

TEST_F(BaseRepositoryTest, PeriodKeysOfADate) {
  BaseRepository repo(*ledger_);
  const auto& dates = ledger_->env().dates();
  // Saturday 3 January 2026 with the month starting on the 25th.
  auto keys = repo.getIntDateWeekMonthYear(dates.fromLocal(2026, 1, 3, 10), 25);
  EXPECT_EQ(keys[0], "20251228");  // weeks start on Sunday by default
  EXPECT_EQ(keys[1], "202512");
  EXPECT_EQ(keys[2], "2025");

  keys = repo.getIntDateWeekMonthYear(dates.fromLocal(2026, 1, 25, 0, 0, 0.5), 25);
  EXPECT_EQ(keys[1], "202601");

  EXPECT_TRUE(EtcRepository(*ledger_).updateEtcUserSettingByType(etc_kind::kWeekStartDay, "1"));
  keys = repo.getIntDateWeekMonthYear(dates.fromLocal(2026, 1, 4, 23, 59), 1);
  EXPECT_EQ(keys[0], "20251229");  // Sunday belongs to the week from Monday the 29th
  EXPECT_EQ(keys[1], "202601");
}

}  // namespace
}  // namespace varnel

namespace varnel {
namespace {

TEST_F(BaseRepositoryTest, AFailedSaveDoesNotFailTheNextOne) {
  BaseRepository repo(*ledger_);
  auto first = repo.newObjectForEntity<Category>();
  ASSERT_TRUE(repo.save(first, "updateCategory"));
  auto clash = repo.newObjectForEntity<Category>(*first.uid);
  EXPECT_FALSE(repo.save(clash, "updateCategory"));
  // The same cached INSERT statement serves the next record.
  auto next = repo.newObjectForEntity<Category>();
  EXPECT_TRUE(repo.save(next, "updateCategory"));
  EXPECT_TRUE(repo.dataByUid<Category>(*next.uid));
}

}  // namespace
}  // namespace varnel

namespace varnel {
namespace {

// A batch that fails inside an enclosing transaction used to leave the rows
// it had already written in that transaction, to be committed with it.
TEST_F(BaseRepositoryTest, AFailedInnerBatchTakesOnlyItsOwnRowsBack) {
  BaseRepository repo(*ledger_);
  Memo kept = repo.newObjectForEntity<Memo>();
  std::vector<Memo> batch(3);
  for (auto& m : batch) m.uid = BaseRepository::newUid();
  batch[2].uid = kept.uid;  // the unique index refuses the third row
  Status outer = repo.inTransaction([&]() -> Status {
    VARNEL_RETURN_IF_ERROR(repo.save(kept, "updateMemo"));
    EXPECT_FALSE(repo.saveAll(batch, "updateMemo", true));
    return Status::ok();
  }, "updateMemo");
  ASSERT_TRUE(outer) << outer.message();
  const auto stored = repo.fetch<Memo>("");
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].uid, kept.uid);
  EXPECT_FALSE(ledger_->store().inTransaction());
}

TEST_F(BaseRepositoryTest, AFailureInsideATransactionRollsEverythingBackAndCarriesTheReason) {
  BaseRepository repo(*ledger_);
  Memo first = repo.newObjectForEntity<Memo>();
  Memo clash = repo.newObjectForEntity<Memo>(*first.uid);
  Status result = repo.inTransaction([&]() -> Status {
    VARNEL_RETURN_IF_ERROR(repo.save(first, "updateMemo"));
    return repo.save(clash, "updateMemo");
  }, "updateMemo");
  EXPECT_FALSE(result);
  EXPECT_EQ(result.code(), StatusCode::kStoreFailure);
  EXPECT_NE(result.message().find("UNIQUE"), std::string::npos) << result.message();
  EXPECT_TRUE(repo.fetch<Memo>("").empty());
}

// A query run again from inside its own loop must not reset the outer one,
// and a statement is reset once its user is done, so no read stays open.
TEST_F(BaseRepositoryTest, AStatementOnLoanIsNeverResetUnderItsUser) {
  BaseRepository repo(*ledger_);
  for (int i = 0; i < 3; ++i) {
    Memo m = repo.newObjectForEntity<Memo>();
    m.orderSeq = i;
    ASSERT_TRUE(repo.save(m, "updateMemo"));
  }
  int outer = 0, inner = 0;
  repo.forEach<Memo>(" ORDER BY Z_PK", [&](const Memo&) {
    ++outer;
    repo.forEach<Memo>(" ORDER BY Z_PK", [&](const Memo&) { ++inner; });
  });
  EXPECT_EQ(outer, 3);
  EXPECT_EQ(inner, 9);
  {
    auto st = ledger_->store().prepare("SELECT Z_PK FROM ZMEMO");
    ASSERT_TRUE(st.executeStep());  // a read begun and left unfinished
  }
  // Ended with the loan: another connection can take the write lock at once.
  SQLite::Database other(ledger_->store().path().string(), SQLite::OPEN_READWRITE);
  EXPECT_NO_THROW(other.exec("BEGIN EXCLUSIVE; COMMIT;"));
}

// A store that cannot be read is an error, never an empty ledger or a zero.
TEST_F(BaseRepositoryTest, AReadThatFailsThrowsInsteadOfAnsweringNothing) {
  BaseRepository repo(*ledger_);
  ledger_->store().db().exec("DROP TABLE ZINOUTCOME");
  EXPECT_THROW(repo.fetch<InOutCome>(""), StoreError);
  EXPECT_THROW(repo.forEach<InOutCome>("", [](const InOutCome&) {}), StoreError);
  EXPECT_THROW(repo.nextAvailble<InOutCome>("aId"), StoreError);
  EXPECT_NE(logText().find("query error : "), std::string::npos);
}

}  // namespace
}  // namespace varnel
