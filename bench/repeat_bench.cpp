// Books a daily recurring template that is ten years overdue (the run passes
// over all but its last three years) through the recurring run, in one store
// transaction, and compares it with a bare prepared INSERT loop writing the
// same rows in one transaction, on the same store in the same run. Prints the
// rows per second of each and the ratio (run rate / bare rate; 1.0 means no
// overhead; the goal is at least 0.5).
//
//   repeat_bench [--years Y] [--rounds R] [--no-sync]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "ledger/repeat.h"
#include "ledger/repeat_transaction_repository.h"

using namespace varnel;

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A ledger with a main currency, one account, one category and the template.
void setUp(Ledger& ledger, int64_t nextDate) {
  BaseRepository repo(ledger);
  Currency won = repo.newObjectForEntity<Currency>("KRW_KRW");
  won.iso = won.mainIso = "KRW";
  won.rate = 1;
  won.point = 0;
  won.isMainCurrency = 1;
  won.isShow = 1;
  AssetGroup group = repo.newObjectForEntity<AssetGroup>("G");
  group.Status = 1;
  group.isDel = 0;
  Asset account = repo.newObjectForEntity<Asset>("CASH");
  account.NicName = "Cash";
  account.groupUid = "G";
  account.currencyUid = "KRW_KRW";
  account.isDel = 0;
  Category category = repo.newObjectForEntity<Category>("FOOD");
  category.Name = "Food";
  category.doType = 1;
  category.Status = 0;
  category.isDel = 0;
  RepeatTransaction daily = repo.newObjectForEntity<RepeatTransaction>("DAILY");
  daily.repeatType = repeat_type::kDaily;
  daily.doType = 1;
  daily.assetUid = "CASH";
  daily.categoryUid = "FOOD";
  daily.currencyUid = "KRW_KRW";
  daily.amountSub = 4500;
  daily.payee = "Coffee";
  daily.memo = "every morning";
  daily.nextDate = nextDate;
  daily.isDel = 0;
  daily.utime = 1700000000000;
  if (!repo.save(won, "bench") || !repo.save(group, "bench") || !repo.save(account, "bench") ||
      !repo.save(category, "bench") || !repo.save(daily, "bench")) {
    std::abort();
  }
  ledger.commonData().ReloadTheData();
}

// The template back where it was and no transactions.
void reset(Ledger& ledger, int64_t nextDate) {
  auto& db = ledger.store().db();
  db.exec("DELETE FROM ZINOUTCOME");
  SQLite::Statement st(db, "UPDATE ZREPEATTRANSACTION SET ZNEXTDATE = ?, ZUTIME = 1700000000000");
  st.bind(1, static_cast<int64_t>(nextDate));
  st.exec();
}

// The same rows by a bare prepared INSERT loop of the columns they fill, in one transaction.
void insertBare(Ledger& ledger, const std::vector<InOutCome>& rows) {
  StoreTransaction transaction(ledger.store());
  SQLite::Statement st(ledger.store().db(),
                       "INSERT INTO ZINOUTCOME (ZUID, ZDATE, ZTXDATESTR, ZDO_TYPE, ZASSETUID, ZCATEGORYUID, "
                       "ZCURRENCYUID, ZAMOUNTSUB, ZAMOUNT, ZAMOUNTACCOUNT, ZCONTENT, ZMEMO, ZUTIME, ZISSYNCED, "
                       "ZISDEL, ZCARDDIVIDEMONTH, ZCARDDIVIDEMONTHSTR) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  for (const InOutCome& r : rows) {
    st.reset();
    st.bind(1, *r.uid);
    st.bind(2, *r.Date);
    st.bind(3, *r.txDateStr);
    st.bind(4, *r.Do_Type);
    st.bind(5, *r.assetUid);
    st.bind(6, *r.categoryUid);
    st.bind(7, *r.currencyUid);
    st.bind(8, *r.amountSub);
    st.bind(9, *r.amount);
    st.bind(10, *r.amountAccount);
    st.bind(11, *r.Content);
    st.bind(12, *r.memo);
    st.bind(13, static_cast<int64_t>(*r.utime));
    st.bind(14, 1);
    st.bind(15, 0);
    st.bind(16, *r.cardDivideMonth);
    st.bind(17, *r.cardDivideMonthStr);
    st.exec();
  }
  transaction.commit();
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"repeat_bench: the recurring run against a bare INSERT loop of the same rows"};
  int years = 10, rounds = 5;
  bool noSync = false;
  app.add_option("--years", years, "How long the daily template is overdue")->check(CLI::Range(1, 100));
  app.add_option("--rounds", rounds, "Timed runs of each (median)")->check(CLI::Range(1, 100));
  app.add_flag("--no-sync", noSync, "Commit without waiting for the disk (the work alone)");
  CLI11_PARSE(app, argc, argv);

  const auto home = std::filesystem::temp_directory_path() / fmt::format("varnel-repeat-bench-{}", std::random_device{}());
  std::filesystem::remove_all(home);
  EnvironmentOptions o;
  o.home = home.string();
  o.tz = "Asia/Seoul";
  o.locale = "ko_KR";
  o.now = "2026-12-10T09:00:00";
  auto log = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
  auto ledger = Ledger::open(Environment::make(o), log);
  const DateUtil& dates = ledger->env().dates();
  const int64_t overdue = storeSecondsToMs(dates.fromLocal(2026 - years, 12, 10, 7, 30));
  setUp(*ledger, overdue);
  // Without the commit's wait for the disk both sides cost their work alone.
  if (noSync) ledger->store().db().exec("PRAGMA synchronous = OFF");

  std::vector<double> ours, bare;
  size_t rows = 0;
  for (int r = 0; r < rounds; ++r) {
    reset(*ledger, overdue);
    auto t0 = std::chrono::steady_clock::now();
    auto run = RepeatTransactionRepository(*ledger).repeatDataInputAll();
    ours.push_back(seconds(t0));
    if (!run.isOk()) {
      std::fprintf(stderr, "repeat_bench: %s\n", run.status().message().c_str());
      return 1;
    }
    const std::vector<InOutCome> booked = run->rows();
    rows = booked.size();
    reset(*ledger, overdue);
    t0 = std::chrono::steady_clock::now();
    insertBare(*ledger, booked);
    bare.push_back(seconds(t0));
  }
  const double oursSeconds = median(ours), bareSeconds = median(bare);
  const double oursRate = static_cast<double>(rows) / oursSeconds, bareRate = static_cast<double>(rows) / bareSeconds;
  std::printf("daily template overdue by        %d years%s\n", years, noSync ? " (commits not synced)" : "");
  std::printf("rows booked (three years)        %zu\n", rows);
  std::printf("recurring run                    %8.4f s  %10.0f rows/s\n", oursSeconds, oursRate);
  std::printf("bare prepared INSERT loop        %8.4f s  %10.0f rows/s\n", bareSeconds, bareRate);
  std::printf("ratio (run rate / bare rate)     %8.2f  (goal: at least 0.5)\n", oursRate / bareRate);
  ledger.reset();
  std::filesystem::remove_all(home);
  return 0;
}
