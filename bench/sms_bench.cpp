// Times the message pipeline over the message corpus in one process and one
// thread, and prints the messages read per second of processor time (goal: at
// least 5,000 per core), then the same run with the pattern cache switched off (every search
// compiles its pattern anew), and their ratio:
//   - each paste of the corpus goes through the paste driver (clean-ups, cut,
//     macro search, parser choice, the Korean parser, the already-stored
//     check); a paste of several messages is walked message by message the
//     way the input hands them on, without the clipboard and preferences;
//   - the ledger is the default ledger of a Korean device, or a generated one
//     (--ledger), whose transactions the category guess and the
//     already-stored check look up.
//
//   sms_bench [--corpus FILE] [--rounds R] [--ledger FILE] [--cached-only] [--tz Z] [--locale L] [--now ISO]
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "setup/app_start.h"
#include "sms/sms_parsing_helper.h"
#include "sms/sms_parsing_multi.h"
#include "sms/sms_patterns.h"

using namespace varnel;

namespace {

// Processor time of this thread: on a machine shared with other work the
// clock on the wall measures the others too, and the figure sought is per core.
double threadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

template <class F>
double timeIt(F&& f) {
  const double t0 = threadSeconds();
  f();
  return threadSeconds() - t0;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::vector<std::string> readCorpus(const std::string& file) {
  std::ifstream in(file);
  std::vector<std::string> pastes;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) pastes.push_back(nlohmann::json::parse(line)["text"].get<std::string>());
  }
  return pastes;
}

// Reads every message of every paste; returns how many were read.
size_t readAll(Ledger& ledger, const std::vector<std::string>& pastes) {
  const auto data = SmsPasteData::load(ledger);
  size_t messages = 0;
  for (const std::string& paste : pastes) {
    std::string text = paste;
    while (true) {
      SmsParsingHelper helper(ledger, data);
      auto parsed = helper.methodForPaste(text);
      if (parsed) parsed->getIsPastOverlap(parsed->smsOrigine);
      ++messages;
      if (helper.resultSmsStrCut.collectCount <= 1) break;
      text = remainderAfterFirstMessage(helper.resultSmsStrCut);
      if (sms::fromUtf8(text).length() <= kShortestRemainder) break;
    }
  }
  return messages;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"sms_bench: messages read per second over the message corpus, with and without the pattern cache"};
  std::string corpus = VARNEL_SMS_CORPUS, ledgerFile, tz = "Asia/Seoul", locale = "ko_KR", now = "2026-12-10T09:00:00";
  int rounds = 5;
  app.add_option("--corpus", corpus, "JSON Lines file of pastes (a \"text\" each)")->check(CLI::ExistingFile);
  app.add_option("--rounds", rounds, "Timed runs of each (median)")->check(CLI::Range(1, 100));
  app.add_option("--ledger", ledgerFile, "Store file made by make-ledger (<home>/Documents/varnel.sqlite)")
      ->check(CLI::ExistingFile);
  bool cachedOnly = false;
  app.add_flag("--cached-only", cachedOnly, "Time only the run with the pattern cache (for profiling it)");
  app.add_option("--tz", tz);
  app.add_option("--locale", locale);
  app.add_option("--now", now);
  CLI11_PARSE(app, argc, argv);

  std::filesystem::path home;
  std::optional<std::filesystem::path> temporary;
  if (ledgerFile.empty()) {
    temporary = std::filesystem::temp_directory_path() / ("sms_bench-" + std::to_string(::getpid()));
    home = *temporary;
  } else {
    const auto documents = std::filesystem::absolute(ledgerFile).parent_path();
    if (documents.filename() != "Documents" || std::filesystem::path(ledgerFile).filename() != "varnel.sqlite") {
      std::fprintf(stderr, "sms_bench: --ledger must be <home>/Documents/varnel.sqlite\n");
      return 2;
    }
    home = documents.parent_path();
  }
  EnvironmentOptions o;
  o.home = home.string();
  o.tz = tz;
  o.locale = locale;
  o.now = now;
  auto log = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
  int code = 0;
  {
    auto ledger = Ledger::open(Environment::make(o), log);
    if (!startLedger(*ledger).isOk()) {
      std::fprintf(stderr, "sms_bench: cannot set up the ledger\n");
      return 1;
    }
    const std::vector<std::string> pastes = readCorpus(corpus);
    if (pastes.empty()) {
      std::fprintf(stderr, "sms_bench: the corpus holds no paste\n");
      return 2;
    }
    size_t messages = readAll(*ledger, pastes);  // warms the caches and the store's pages
    auto run = [&](bool cached) {
      sms::setPatternCacheEnabled(cached);
      std::vector<double> times;
      for (int r = 0; r < rounds; ++r) times.push_back(timeIt([&] { messages = readAll(*ledger, pastes); }));
      return median(times);
    };
    const double cached = run(true);
    const double uncached = cachedOnly ? 0 : run(false);
    sms::setPatternCacheEnabled(true);
    std::printf("corpus: %zu pastes, %zu messages; median of %d rounds, one thread, processor time\n",
                pastes.size(), messages, rounds);
    std::printf("pattern cache on : %8.0f messages/s (%.3f s a round)\n", messages / cached, cached);
    if (!cachedOnly) {
      std::printf("pattern cache off: %8.0f messages/s (%.3f s a round)\n", messages / uncached, uncached);
      std::printf("ratio (off / on time): %.1f\n", uncached / cached);
    }
    if (messages / cached < 5000) code = 3;
  }
  if (temporary) std::filesystem::remove_all(*temporary);
  return code;
}
