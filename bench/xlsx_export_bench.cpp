// Times the spreadsheet export of a whole ledger against a bare libxlsxwriter
// program writing the same cells, in the same run, and prints the ratio
// (ours / bare; goal: at most 1.25):
//   - ours: getExcelData, from the streaming query through the workbook's
//     close and rename;
//   - bare: the same workbook (options, formats, widths, header and rows)
//     written straight from rows already in memory, collected before the
//     timing starts.
// Both write into the same temporary folder; the files are removed after.
//
//   xlsx_export_bench --ledger FILE [--rounds R] [--tz Z] [--locale L] [--now ISO]
// FILE is a store written by make-ledger.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <vector>

#include <xlsxwriter.h>

#include "bench/bench_support.h"
#include "reports/xlsx_export.h"

using namespace varnel;

namespace {

double cpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Timing {
  double wall = 0;
  double cpu = 0;
};

// Wall time, and the processor time of this process alone, which other
// programs on a shared machine disturb far less.
template <class F>
Timing timeIt(F&& f) {
  const auto t0 = std::chrono::steady_clock::now();
  const double c0 = cpuSeconds();
  f();
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), cpuSeconds() - c0};
}

double median(const std::vector<Timing>& timings, double Timing::*which) {
  std::vector<double> v;
  for (const Timing& t : timings) v.push_back(t.*which);
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A row's cells, held by the bare side.
struct Cells {
  std::optional<LocalDateTime> date;
  std::string account, category, subCategory, content, kind, memo, currency;
  ExcelAmount amount, amountSub, amountAccount;
};

// The plain libxlsxwriter loop: every cell from memory, nothing checked but
// the close.
bool writeBare(const std::filesystem::path& file, const std::vector<Cells>& rows,
               const std::array<std::string, kExcelColumnCount>& headers, const std::string& dateFormat) {
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  lxw_workbook* workbook = workbook_new_opt(file.c_str(), &options);
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
  lxw_format* date = workbook_add_format(workbook);
  format_set_num_format(date, dateFormat.c_str());
  std::map<int, lxw_format*> amountFormats;
  auto amountFormat = [&](int decimals) {
    lxw_format*& f = amountFormats[decimals];
    if (!f) {
      f = workbook_add_format(workbook);
      format_set_num_format(
          f, decimals == 0 ? "#,##0" : ("#,##0." + std::string(static_cast<size_t>(decimals), '0')).c_str());
    }
    return f;
  };
  for (lxw_col_t c = 0; c < kExcelColumnCount; ++c) {
    worksheet_set_column(sheet, c, c, kExcelColumnWidths[c], nullptr);
    worksheet_write_string(sheet, 0, c, headers[c].c_str(), nullptr);
  }
  lxw_row_t r = 0;
  for (const Cells& row : rows) {
    ++r;
    if (row.date) {
      lxw_datetime d{row.date->year, row.date->month, row.date->day,
                     row.date->hour, row.date->minute, static_cast<double>(row.date->second)};
      worksheet_write_datetime(sheet, r, 0, &d, date);
    }
    worksheet_write_string(sheet, r, 1, row.account.c_str(), nullptr);
    worksheet_write_string(sheet, r, 2, row.category.c_str(), nullptr);
    worksheet_write_string(sheet, r, 3, row.subCategory.c_str(), nullptr);
    worksheet_write_string(sheet, r, 4, row.content.c_str(), nullptr);
    if (row.amount.value) worksheet_write_number(sheet, r, 5, *row.amount.value, amountFormat(row.amount.decimals));
    worksheet_write_string(sheet, r, 6, row.kind.c_str(), nullptr);
    worksheet_write_string(sheet, r, 7, row.memo.c_str(), nullptr);
    if (row.amountSub.value) {
      worksheet_write_number(sheet, r, 8, *row.amountSub.value, amountFormat(row.amountSub.decimals));
    }
    worksheet_write_string(sheet, r, 9, row.currency.c_str(), nullptr);
    if (row.amountAccount.value) {
      worksheet_write_number(sheet, r, 10, *row.amountAccount.value, amountFormat(row.amountAccount.decimals));
    }
  }
  return workbook_close(workbook) == LXW_NO_ERROR;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"xlsx_export_bench: the spreadsheet export against bare libxlsxwriter on one ledger"};
  bench::LedgerOptions opt;
  bench::addLedgerOptions(app, opt);
  CLI11_PARSE(app, argc, argv);

  auto ledger = bench::openLedger(opt, "xlsx_export_bench");

  // The bare side's input, and a warm page cache for both.
  std::vector<Cells> rows;
  forEachExcelRow(*ledger, std::nullopt, std::nullopt, [&](const ExcelRow& r) {
    rows.push_back({r.date, std::string(r.account), std::string(r.category), std::string(r.subCategory),
                    std::string(r.content), std::string(r.kind), std::string(r.memo), std::string(r.currency), r.amount,
                    r.amountSub, r.amountAccount});
    return true;
  });
  const auto headers = excelHeaders(*ledger);
  const std::string dateFormat =
      excelDateFormat(ledger->env().locale(), excelShowsTime(ledger->commonData().app().inputTimeType));

  const auto folder = std::filesystem::temp_directory_path() / ("xlsx_export_bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const auto oursFile = folder / "ours.xlsx", bareFile = folder / "bare.xlsx";
  std::vector<Timing> ours, bare;
  int64_t written = 0;
  bool failed = false;
  for (int r = 0; r < opt.rounds; ++r) {
    // Alternate which goes first, so neither always meets a warmer cache.
    auto runOurs = [&] {
      ours.push_back(timeIt([&] {
        Result<int64_t> result = getExcelData(*ledger, std::nullopt, std::nullopt, oursFile);
        if (result) written = *result;
        failed = failed || !result;
      }));
    };
    auto runBare = [&] {
      bare.push_back(timeIt([&] { failed = !writeBare(bareFile, rows, headers, dateFormat) || failed; }));
    };
    if (r % 2 == 0) {
      runOurs();
      runBare();
    } else {
      runBare();
      runOurs();
    }
  }
  const auto oursSize = std::filesystem::file_size(oursFile), bareSize = std::filesystem::file_size(bareFile);
  std::filesystem::remove_all(folder);
  if (failed || written != static_cast<int64_t>(rows.size())) {
    std::fprintf(stderr, "xlsx_export_bench: a workbook was not written whole\n");
    return 1;
  }
  std::printf("ledger: %s, %zu live transactions exported, rounds: %d (medians)\n", opt.file.c_str(), rows.size(), opt.rounds);
  std::printf("workbooks: ours %ju bytes, bare %ju bytes%s\n", static_cast<uintmax_t>(oursSize),
              static_cast<uintmax_t>(bareSize), oursSize == bareSize ? "" : "  (sizes differ: not the same cells)");
  const double oursWall = median(ours, &Timing::wall), bareWall = median(bare, &Timing::wall);
  const double oursCpu = median(ours, &Timing::cpu), bareCpu = median(bare, &Timing::cpu);
  std::printf("export %8.1f ms   bare libxlsxwriter %8.1f ms   ratio %.2f (goal <= 1.25)\n", oursWall * 1e3,
              bareWall * 1e3, oursWall / bareWall);
  std::printf("processor time %8.1f ms              %8.1f ms   ratio %.2f\n", oursCpu * 1e3, bareCpu * 1e3,
              oursCpu / bareCpu);
  return 0;
}
