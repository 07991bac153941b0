#include "backup/backup_util.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <set>
#include <thread>

#include <SQLiteCpp/SQLiteCpp.h>
#include <fmt/format.h>
#include <gtest/gtest.h>

#include "backup/gzip_file.h"
#include "model/safety_copy.h"
#include "setup/initial_data.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

constexpr int64_t kDayMs = 24 * 3600 * 1000;
constexpr const char* kOtherUser = "0F8FAD5B-D9CB-469F-A165-70867728950E";

void touch(const std::filesystem::path& file, int64_t ms) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << file.filename().string();
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(ms / 1000);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  ::utimensat(AT_FDCWD, file.c_str(), times, 0);
}

BackupOptions backupOptions(bool gzip, bool repairFirst) {
  BackupOptions options;
  options.gzip = gzip;
  options.repairFirst = repairFirst;
  return options;
}

std::set<std::string> namesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

class BackupUtilTest : public testing::LedgerTest {
 protected:
  std::filesystem::path synced() {
    const auto folder = dir_.path() / "synced" / "Documents";
    std::filesystem::create_directories(folder);
    return folder;
  }
  void setNow(int64_t ms) { ledger_->env().setNow(ms); }
};

TEST_F(BackupUtilTest, RetentionKeepsNineAutomaticBackupsOfThisInstallationOnly) {
  const int64_t t0 = ledger_->env().nowMs() - 100 * kDayMs;
  const struct {
    const char* name;
    std::optional<std::string> userId;
    int mine;    // automatic backups of this installation already there
    int others;  // automatic backups of another user, manual backups
    int removed;
  } cases[] = {
      {"signed out, ten of ours", std::nullopt, 10, 4, 1},
      {"signed out, twelve of ours", std::nullopt, 12, 4, 3},
      {"signed out, nine of ours", std::nullopt, 9, 30, 0},
      {"signed in, ten of this user", "U42", 10, 4, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const auto folder = dir.path();
    std::vector<std::string> ours;
    for (int i = 0; i < c.mine; ++i) {
      // Names that sort against their dates: the date decides.
      std::string name = fmt::format("2025{:02d}01_e_{}_AUTO.vnbak", 12 - i % 12, i);
      if (c.userId) name = *c.userId + "_" + name;
      touch(folder / name, t0 + i * kDayMs);
      ours.push_back(name);
    }
    for (int i = 0; i < c.others; ++i) {
      touch(folder / fmt::format("{}_202501{:02d}_e_AUTO.vnbak", kOtherUser, i % 28 + 1), t0 - (i + 1) * kDayMs);
      touch(folder / fmt::format("202401{:02d}_{}.vnbak", i % 28 + 1, i), t0 - (i + 1) * kDayMs);
      // Signed in, automatic backups made while signed out belong to no user of ours.
      if (c.userId) touch(folder / fmt::format("202402{:02d}_x_AUTO.vnbak", i % 28 + 1), t0 - kDayMs);
    }
    const auto before = namesIn(folder);
    const auto removed = removeLimitiCloudFile(folder, c.userId, *log_);
    ASSERT_EQ(removed.size(), static_cast<size_t>(c.removed));
    for (int i = 0; i < c.removed; ++i) {
      EXPECT_EQ(removed[static_cast<size_t>(i)].filename(), ours[static_cast<size_t>(i)]) << "oldest first";
    }
    auto after = namesIn(folder);
    EXPECT_EQ(after.size(), before.size() - removed.size());
  }
}

TEST_F(BackupUtilTest, TheEleventhAutomaticBackupRemovesTheTwoOldest) {
  const auto folder = cloudBackupDir(synced());
  const int64_t now = ledger_->env().nowMs();
  for (int i = 0; i < 10; ++i) {
    touch(folder / fmt::format("202511{:02d}_e_14_AUTO.vnbak", i + 1), now - (30 - i) * kDayMs);
  }
  touch(folder / fmt::format("{}_20251101_e_14_AUTO.vnbak", kOtherUser), now - 90 * kDayMs);
  auto made = iCloudAutoBackup(*ledger_, synced(), "iPhone 14");
  ASSERT_TRUE(made.isOk()) << made.status().message();
  ASSERT_TRUE(made->file);
  EXPECT_EQ(made->file->filename(), "20261210_e_14_AUTO.vnbak");
  ASSERT_EQ(made->removed.size(), 2u);
  EXPECT_EQ(made->removed[0].filename(), "20251101_e_14_AUTO.vnbak");
  EXPECT_EQ(made->removed[1].filename(), "20251102_e_14_AUTO.vnbak");
  EXPECT_EQ(namesIn(folder).size(), 10u);  // nine of ours and the other user's
  EXPECT_TRUE(std::filesystem::exists(folder / fmt::format("{}_20251101_e_14_AUTO.vnbak", kOtherUser)));
  // A backup is the ledger: it opens and holds the same tables.
  SQLite::Database copy(made->file->string(), SQLite::OPEN_READONLY);
  EXPECT_EQ(copy.execAndGet("PRAGMA integrity_check").getString(), "ok");
}

TEST_F(BackupUtilTest, OneAutomaticBackupPerCalendarDay) {
  const int64_t start = ledger_->env().nowMs();  // 09:00 in Seoul
  const struct {
    const char* when;
    int64_t offsetMs;
    bool due;
  } steps[] = {
      {"first start", 0, true},
      {"the same day, later", 14 * 3600 * 1000, false},
      {"the next day, just after midnight", 15 * 3600 * 1000 + 60 * 1000, true},
      {"a clock set back a day", 15 * 3600 * 1000 - kDayMs, true},
  };
  int made = 0;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.when);
    setNow(start + step.offsetMs);
    EXPECT_EQ(isAutoBackupCheck(*ledger_), step.due);
    auto run = iCloudAutoBackup(*ledger_, synced(), "Mac");
    ASSERT_TRUE(run.isOk()) << run.status().message();
    EXPECT_EQ(run->file.has_value(), step.due);
    made += run->file ? 1 : 0;
  }
  EXPECT_EQ(made, 3);
}

TEST_F(BackupUtilTest, AnAutomaticBackupThatCannotBeWrittenIsTriedAgain) {
  const auto missing = dir_.path() / "not-mounted";
  auto run = iCloudAutoBackup(*ledger_, missing, "Mac");
  EXPECT_FALSE(run.isOk());
  EXPECT_FALSE(ledger_->preferences().getString(kLastDateAutoBackupKey));
  EXPECT_TRUE(isAutoBackupCheck(*ledger_));
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(BackupUtilTest, ListsEveryBackupFolderNewestFirst) {
  const Environment& env = ledger_->env();
  const int64_t now = env.nowMs();
  touch(internalDataDir(env) / "20261201_080000.vnbak", now - 9 * kDayMs);
  touch(internalDataDir(env) / "20261205_080000.vnbak.gz", now - 5 * kDayMs);
  touch(internalDataDir(env) / ".20261210_090000.vnbak.123.snapshot", now);
  touch(tempBackUpDir(env) / "old.vnbak", now - 400 * kDayMs);
  touch(tempBackUpDir(env) / "anything", now - 2 * kDayMs);
  touch(bookBackupDir(env) / "17" / "book.vnbak", now - 1 * kDayMs);
  touch(bookBackupDir(env) / "17" / "photo.jpg", now);
  touch(bookBackupDir(env) / "17" / "Varnel" / "inside.vnbak", now);

  auto files = getBackupFiles(env);
  ASSERT_TRUE(files.isOk()) << files.status().message();
  std::vector<std::string> shown;
  for (const auto& f : *files) shown.push_back(f.displayFileName);
  EXPECT_EQ(shown, (std::vector<std::string>{"17/book.vnbak", "anything", "20261205_080000.vnbak.gz",
                                             "20261201_080000.vnbak", "old.vnbak"}));
  EXPECT_EQ(files->front().filePath, (bookBackupDir(env) / "17" / "book.vnbak").string());
  EXPECT_EQ(files->front().dateMs, now - kDayMs);
  EXPECT_EQ(files->front().byte, "10 bytes");
}

TEST_F(BackupUtilTest, ABackupHoldsRepairedAmountsAndNeverReplacesTheStore) {
  ASSERT_TRUE(settingDefaultData(*ledger_, 0));
  ledger_->commonData().ReloadTheData();
  const std::string main = *ledger_->commonData().mainCurrency()->uid;
  SQLite::Statement insert(ledger_->store().db(),
                           "INSERT INTO ZINOUTCOME (ZUID, ZCURRENCYUID, ZAMOUNTSUB, ZAMOUNT) VALUES ('T', ?, 12, 11.99)");
  insert.bind(1, main);
  insert.exec();

  for (const bool gzip : {false, true}) {
    SCOPED_TRACE(gzip ? "gzip" : "plain");
    const auto target = dir_.path() / (gzip ? "b.vnbak.gz" : "b.vnbak");
    auto made = backupDB(*ledger_, target, backupOptions(gzip, true));
    ASSERT_TRUE(made.isOk()) << made.status().message();
    EXPECT_EQ(made->bytes, std::filesystem::file_size(target));
    auto plain = target;
    if (gzip) {
      plain = dir_.path() / "unpacked.sqlite";
      ASSERT_TRUE(gunzipFile(target, plain));
    }
    SQLite::Database copy(plain.string(), SQLite::OPEN_READONLY);
    EXPECT_DOUBLE_EQ(copy.execAndGet("SELECT ZAMOUNT FROM ZINOUTCOME WHERE ZUID = 'T'").getDouble(), 12);
    EXPECT_EQ(copy.execAndGet("PRAGMA integrity_check").getString(), "ok");
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(static_cast<int64_t>(info.st_mtim.tv_sec), ledger_->env().nowMs() / 1000);
  }
  EXPECT_TRUE(logText().find("backupCopyDBFile success") != std::string::npos);
  // Nothing but the backups was left in their folder.
  EXPECT_EQ(namesIn(dir_.path()), (std::set<std::string>{"b.vnbak", "b.vnbak.gz", "home", "unpacked.sqlite"}));

  const auto store = ledger_->store().path();
  for (const auto& target : {store, store.parent_path() / "." / store.filename(), store.parent_path()}) {
    auto refused = backupDB(*ledger_, target);
    ASSERT_FALSE(refused.isOk()) << target;
    EXPECT_EQ(refused.status().code(), StatusCode::kInvalidInput);
  }
  EXPECT_EQ(ledger_->store().db().execAndGet("PRAGMA integrity_check").getString(), "ok");
}

TEST_F(BackupUtilTest, ABackupDuringAnotherProcesssWriteHoldsTheWholeWriteOrNoneOfIt) {
  const auto store = ledger_->store().path();
  constexpr int kRows = 20000;
  std::atomic<bool> writing{false};
  std::thread writer([&] {
    SQLite::Database db(store.string(), SQLite::OPEN_READWRITE);
    db.setBusyTimeout(15000);
    // A tiny cache spills the uncommitted rows into the store file itself.
    db.exec("PRAGMA cache_size = 8");
    db.exec("BEGIN IMMEDIATE");
    SQLite::Statement insert(db, "INSERT INTO ZMEMO (ZUID, ZCONTENT) VALUES (?, hex(randomblob(200)))");
    for (int i = 0; i < kRows; ++i) {
      insert.bind(1, "M" + std::to_string(i));
      insert.exec();
      insert.reset();
      if (i == kRows / 2) writing = true;
    }
    db.exec("COMMIT");
  });
  while (!writing) std::this_thread::yield();
  const auto target = dir_.path() / "during.vnbak";
  auto made = backupDB(*ledger_, target, backupOptions(false, false));
  writer.join();
  ASSERT_TRUE(made.isOk()) << made.status().message();
  SQLite::Database copy(target.string(), SQLite::OPEN_READONLY);
  EXPECT_EQ(copy.execAndGet("PRAGMA integrity_check").getString(), "ok");
  const int rows = copy.execAndGet("SELECT COUNT(*) FROM ZMEMO").getInt();
  EXPECT_TRUE(rows == 0 || rows == kRows) << rows;
}

}  // namespace
}  // namespace varnel
