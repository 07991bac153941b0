// Bulk-edits N transactions (100,000 by default) through the batch stamp
// (InOutComeRepository::updateInOutComeList: distinct increasing stamps, one
// transaction) and compares it with a bare prepared UPDATE loop over the same
// rows in one transaction. Also times a whole bulk content edit, which re-reads
// the selection and looks up the other sides of transfers.
//
//   bulk_edit_bench [--transactions N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "ledger/in_out_come_repository.h"
#include "model/base_repository.h"

using namespace varnel;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::string uidFor(int64_t n) { return fmt::format("{:08X}-0000-4000-8000-{:012X}", n >> 16, n); }

// N expenses and incomes over ten years, on forty accounts.
void fill(Ledger& ledger, int64_t n) {
  BaseRepository repo(ledger);
  std::mt19937 rng(42);
  const double start = ledger.env().dates().fromLocal(2016, 1, 1);
  std::vector<InOutCome> batch;
  StoreTransaction transaction(ledger.store());
  for (int64_t i = 0; i < n; ++i) {
    InOutCome t;
    t.uid = uidFor(i);
    t.Date = start + static_cast<double>(rng() % (10 * 365 * 86400));
    t.txDateStr = ledger.env().dates().dayKey(*t.Date);
    t.Do_Type = std::to_string(rng() % 2);
    t.assetUid = fmt::format("A{:02d}", rng() % 40);
    t.categoryUid = fmt::format("C{:02d}", rng() % 60);
    t.currencyUid = "KRW_KRW";
    t.amountSub = t.amount = t.amountAccount = static_cast<double>(rng() % 500000) / 10.0;
    t.Content = fmt::format("Shop {}", rng() % 3000);
    t.mark = 0;
    t.isDel = 0;
    batch.push_back(std::move(t));
    if (batch.size() == 10000 || i + 1 == n) {
      if (!repo.saveAll(batch, "updateInOutCome", false)) std::abort();
      batch.clear();
    }
  }
  transaction.commit();
}

}  // namespace

int main(int argc, char** argv) {
  int64_t n = 100000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--transactions")) n = std::atoll(argv[i + 1]);
  }
  if (n <= 0) {
    std::fprintf(stderr, "bulk_edit_bench: --transactions must be positive\n");
    return 2;
  }
  const auto home = std::filesystem::temp_directory_path() / fmt::format("varnel-bulk-bench-{}", std::random_device{}());
  std::filesystem::remove_all(home);
  EnvironmentOptions o;
  o.home = home.string();
  o.tz = "Asia/Seoul";
  o.locale = "ko_KR";
  auto log = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
  auto ledger = Ledger::open(Environment::make(o), log);
  fill(*ledger, n);
  InOutComeRepository repo(*ledger);

  // The batch stamp, with the records already loaded and changed.
  std::vector<InOutCome> records = repo.fetch<InOutCome>(" ORDER BY Z_PK");
  for (auto& r : records) r.Content = "Bulk edit";
  auto t0 = std::chrono::steady_clock::now();
  if (!repo.updateInOutComeList(records)) std::abort();
  const double batchSeconds = seconds(t0);

  // The same rows by a bare prepared UPDATE loop in one transaction.
  t0 = std::chrono::steady_clock::now();
  {
    StoreTransaction transaction(ledger->store());
    auto st = ledger->store().prepare("UPDATE ZINOUTCOME SET ZCONTENT = ?, ZUTIME = ?, ZISSYNCED = 1 WHERE Z_PK = ?");
    int64_t stamp = ledger->env().nowMs();
    for (const auto& r : records) {
      st.reset();
      st.bind(1, "Bare edit");
      st.bind(2, stamp++);
      st.bind(3, r.pk);
      st.exec();
    }
    transaction.commit();
  }
  const double bareSeconds = seconds(t0);

  // A whole bulk edit from the selection: re-read, other sides looked up, written.
  t0 = std::chrono::steady_clock::now();
  const auto result = repo.updateContentInOutComeArray(records, "Bulk content");
  if (!result.ok()) std::abort();
  const double bulkSeconds = seconds(t0);

  std::printf("records                          %lld\n", static_cast<long long>(n));
  std::printf("updateInOutComeList              %8.3f s\n", batchSeconds);
  std::printf("bare prepared UPDATE loop        %8.3f s\n", bareSeconds);
  std::printf("ratio (batch stamp / bare loop)  %8.2f\n", bareSeconds > 0 ? batchSeconds / bareSeconds : 0.0);
  std::printf("updateContentInOutComeArray      %8.3f s\n", bulkSeconds);
  ledger.reset();
  std::filesystem::remove_all(home);
  return 0;
}
