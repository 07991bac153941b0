// What every benchmark over a generated ledger shares: the options naming the
// ledger and the environment it is read in, opening it, and the timing.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "model/ledger.h"

namespace varnel::bench {

struct LedgerOptions {
  std::string file;  // <home>/Documents/varnel.sqlite, as make-ledger writes it
  std::string tz = "Asia/Seoul";
  std::string locale = "ko_KR";
  std::string now = "2026-12-10T09:00:00";
  int rounds = 5;
};

// --ledger (required), --rounds, --tz, --locale and --now.
void addLedgerOptions(CLI::App& app, LedgerOptions& options);

// Opens the ledger the options name, with a log that writes nothing. Prints
// why and exits with 2 when the file is not <home>/Documents/varnel.sqlite,
// the only place a ledger opens from.
std::unique_ptr<Ledger> openLedger(const LedgerOptions& options, const char* program);

template <class F>
double timeIt(F&& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v);

}  // namespace varnel::bench
