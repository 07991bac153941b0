// Stores N transactions through the repository's bulk path and reads them
// back, each against a bare prepared-statement loop doing the same work on a
// store of its own, in the same run. Prints the rates and the ratios
// (repository rate / bare rate; 1.0 means no overhead).
//
//   store_bench [--transactions N] [--rounds R]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "model/base_repository.h"
#include "model/record_io.h"

using namespace varnel;

namespace {

constexpr int kBatch = 10000;

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// One batch of realistic transactions; only the identifiers change between batches.
std::vector<InOutCome> makeBatch(const Environment& env) {
  std::mt19937 rng(42);
  std::vector<InOutCome> batch(kBatch);
  const double start = env.dates().fromLocal(2016, 1, 1);
  for (int i = 0; i < kBatch; ++i) {
    InOutCome& t = batch[i];
    t.Date = start + static_cast<double>(rng() % (10 * 365 * 86400));
    t.txDateStr = env.dates().dayKey(*t.Date);
    t.Do_Type = std::to_string(rng() % 2);
    t.assetUid = fmt::format("A{:02d}", rng() % 40);
    t.categoryUid = fmt::format("C{:02d}", rng() % 60);
    t.currencyUid = "KRW";
    t.amountSub = t.amount = t.amountAccount = static_cast<double>(rng() % 500000) / 10.0;
    t.Content = fmt::format("Shop {}", rng() % 3000);
    t.memo = (i % 5 == 0) ? Text("weekly groceries") : std::nullopt;
    t.mark = 0;
    t.cardDivideMonthStr = "";
    t.utime = 1796860800000 + i;
    t.isDel = 0;
    t.isSynced = 1;
  }
  return batch;
}

std::string uidFor(int64_t n) { return fmt::format("{:08X}-0000-4000-8000-{:012X}", n >> 16, n); }

std::unique_ptr<Ledger> freshLedger(const std::filesystem::path& home,
                                    std::shared_ptr<spdlog::logger> log) {
  std::filesystem::remove_all(home);
  EnvironmentOptions o;
  o.home = home.string();
  o.tz = "Asia/Seoul";
  o.locale = "ko_KR";
  return Ledger::open(Environment::make(o), std::move(log));
}

double insertRepository(Ledger& ledger, std::vector<InOutCome> batch, int64_t n) {
  BaseRepository repo(ledger);
  const auto t0 = std::chrono::steady_clock::now();
  StoreTransaction transaction(ledger.store());
  for (int64_t done = 0; done < n; done += kBatch) {
    for (int i = 0; i < kBatch; ++i) {
      batch[i].pk = 0;
      batch[i].uid = uidFor(done + i);
    }
    if (!repo.saveAll(batch, "updateInOutCome", false)) std::abort();
  }
  transaction.commit();
  return seconds(t0);
}

// The same rows through one prepared INSERT bound column by column.
double insertBare(Ledger& ledger, std::vector<InOutCome> batch, int64_t n) {
  auto& db = ledger.store().db();
  const auto t0 = std::chrono::steady_clock::now();
  db.exec("BEGIN EXCLUSIVE TRANSACTION");
  SQLite::Statement st(db, record_io::insertSql<InOutCome>());
  for (int64_t done = 0; done < n; done += kBatch) {
    for (int i = 0; i < kBatch; ++i) {
      InOutCome& t = batch[i];
      t.uid = uidFor(done + i);
      int c = 0;
      auto text = [&](const Text& v) { v ? st.bind(++c, *v) : st.bind(++c); };
      auto integer = [&](const Int& v) { v ? st.bind(++c, *v) : st.bind(++c); };
      auto real = [&](const Real& v) { v ? st.bind(++c, *v) : st.bind(++c); };
      text(t.uid); real(t.Date); text(t.txDateStr); text(t.Do_Type); text(t.assetUid);
      text(t.toAssetUid); text(t.categoryUid); text(t.currencyUid); real(t.amountSub);
      real(t.amount); real(t.amountAccount); text(t.Content); text(t.memo); integer(t.mark);
      text(t.txUidTrans); text(t.txUidFee); text(t.cardDivideMonth); text(t.cardDivideMonthStr);
      text(t.cardDivideUid); text(t.cardTimeStampStr); text(t.smsOrigine); text(t.smsParseContents);
      text(t.smsRDate); text(t.lat); text(t.lng); text(t.gstd); text(t.wtime); text(t.paid);
      text(t.zData1); text(t.zData2); integer(t.aId); integer(t.Asset_ID); integer(t.Asset_Group);
      text(t.Asset_Name); text(t.Asset_Nic); integer(t.Category_ID); text(t.Category_Name);
      integer(t.categoryId); integer(t.currencyId); text(t.currency); text(t.Money);
      integer(t.OppositeAid); integer(t.CardDividId); integer(t.syncCheck); integer(t.utime);
      integer(t.isDel); integer(t.isSynced); real(t.syncTime); integer(t.syncVersion);
      st.exec();
      st.reset();
      t.pk = db.getLastInsertRowid();
    }
  }
  db.exec("COMMIT TRANSACTION");
  return seconds(t0);
}

double readRepository(Ledger& ledger, double& checksum) {
  BaseRepository repo(ledger);
  const auto t0 = std::chrono::steady_clock::now();
  checksum = 0;
  repo.forEach<InOutCome>("", [&](const InOutCome& t) {
    checksum += t.amount.value_or(0) + static_cast<double>(t.uid->size() + t.Content->size());
  });
  return seconds(t0);
}

// The same columns read into locals of the same types.
double readBare(Ledger& ledger, double& checksum) {
  auto& db = ledger.store().db();
  const auto t0 = std::chrono::steady_clock::now();
  checksum = 0;
  SQLite::Statement st(db, record_io::selectSql<InOutCome>());
  const int columns = st.getColumnCount();
  while (st.executeStep()) {
    InOutCome t;
    t.pk = st.getColumn(0).getInt64();
    double amount = 0;
    size_t sizes = 0;
    for (int c = 1; c < columns; ++c) {
      const SQLite::Column col = st.getColumn(c);
      if (col.isNull()) continue;
      const int type = col.getType();
      if (type == SQLite::TEXT) {
        std::string s = col.getString();
        if (c == 1 || c == 12) sizes += s.size();
      } else if (type == SQLite::FLOAT) {
        if (c == 10) amount = col.getDouble();
      } else {
        (void)col.getInt64();
      }
    }
    checksum += amount + static_cast<double>(sizes);
  }
  return seconds(t0);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int64_t n = 1000000;
  int rounds = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--transactions")) n = std::atoll(argv[i + 1]);
    if (!std::strcmp(argv[i], "--rounds")) rounds = std::atoi(argv[i + 1]);
  }
  n = std::max<int64_t>(kBatch, n / kBatch * kBatch);
  auto log = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
  const auto base = std::filesystem::temp_directory_path() / "varnel-store-bench";
  auto probe = freshLedger(base / "probe", log);
  const auto batch = makeBatch(probe->env());
  probe.reset();

  std::vector<double> insertOurs, insertBase, readOurs, readBase;
  for (int r = 0; r < rounds; ++r) {
    // Alternate the two so that drift in the machine's speed hits both.
    double sumOurs = 0, sumBase = 0;
    {
      auto ledger = freshLedger(base / "ours", log);
      insertOurs.push_back(insertRepository(*ledger, batch, n));
      readOurs.push_back(readRepository(*ledger, sumOurs));
    }
    {
      auto ledger = freshLedger(base / "bare", log);
      insertBase.push_back(insertBare(*ledger, batch, n));
      readBase.push_back(readBare(*ledger, sumBase));
    }
    if (sumOurs != sumBase) {
      std::fprintf(stderr, "checksums differ: %f vs %f\n", sumOurs, sumBase);
      return 1;
    }
  }
  std::filesystem::remove_all(base);

  const double io = median(insertOurs), ib = median(insertBase);
  const double ro = median(readOurs), rb = median(readBase);
  std::printf("transactions: %lld, rounds: %d (medians)\n", static_cast<long long>(n), rounds);
  std::printf("insert  repository %9.0f rows/s   bare loop %9.0f rows/s   ratio %.2f\n", n / io,
              n / ib, ib / io);
  std::printf("read    repository %9.0f rows/s   bare loop %9.0f rows/s   ratio %.2f\n", n / ro,
              n / rb, rb / ro);
  return 0;
}
