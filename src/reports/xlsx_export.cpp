#include "reports/xlsx_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <numeric>
#include <memory>
#include <unordered_map>

#include <fmt/format.h>
#include <sqlite3.h>
#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>
#include <xlsxwriter.h>

#include "model/liveness.h"
#include "model/period.h"
#include "model/safety_copy.h"
#include "model/text.h"
#include "model/tx_kind.h"

namespace varnel {

namespace {

// --- Cell texts ------------------------------------------------------------------

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "_x0041_" at `i`: the form in which a workbook escapes a character, so a
// reader would show "A" for text that says "_x0041_".
bool startsEscapeForm(std::string_view text, size_t i) {
  if (i + 7 > text.size() || text[i] != '_' || text[i + 1] != 'x' || text[i + 6] != '_') return false;
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i + 2),
                     text.begin() + static_cast<std::ptrdiff_t>(i + 6), isHexDigit);
}

// `text` as a cell can hold it: bytes that are not UTF-8 as U+FFFD; control
// characters other than tab (and line breaks, unless `removeLineBreaks`) and
// the two non-characters U+FFFE/U+FFFF left out, since the workbook's XML
// cannot carry them and a reader would refuse the whole file; a literal
// "_xHHHH_" written with its underscore escaped, so that it reads back as
// typed; cut at the cell's limit (counting each escape at its written length
// and each character beyond U+FFFF as two, so both the writer's count and a
// reader's stay within it).
std::string_view cellText(std::string_view text, bool removeLineBreaks, std::string& buffer) {
  const bool plain = text.size() <= kExcelMaxCellText &&
                     std::all_of(text.begin(), text.end(), [](char c) {
                       const auto b = static_cast<unsigned char>(c);
                       return b >= 0x20 && b < 0x7F && c != '_';
                     });
  if (plain) return text;
  std::string& out = buffer;
  out.clear();
  size_t used = 0;
  for (size_t i = 0; i < text.size();) {
    const bool escapeForm = startsEscapeForm(text, i);
    // A byte that does not start a well-formed sequence is U+FFFD, skipped alone.
    const char32_t cp = decodeUtf8(text, i).value_or(0xFFFD);
    if (cp == '\n' || cp == '\r') {
      if (removeLineBreaks) continue;
    } else if ((cp < 0x20 && cp != '\t') || cp == 0xFFFE || cp == 0xFFFF) {
      continue;
    }
    const size_t cost = escapeForm ? 7 : (cp >= 0x10000 ? 2 : 1);
    if (used + cost > kExcelMaxCellText) break;
    used += cost;
    if (escapeForm) {
      out += "_x005F_";
    } else {
      appendUtf8(out, cp);
    }
  }
  return out;
}

std::string cellText(std::string_view text, bool removeLineBreaks) {
  std::string buffer;
  return std::string(cellText(text, removeLineBreaks, buffer));
}

// --- Date format -----------------------------------------------------------------

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The spreadsheet code of a run of `count` pattern letters `letter`; "" for
// a field a date cell cannot show.
std::string excelCode(char letter, size_t count) {
  switch (letter) {
    case 'y':
    case 'Y':
    case 'u':
    case 'r':
      return count == 2 ? "yy" : "yyyy";
    case 'M':
    case 'L':
      return std::string(std::min<size_t>(count, 5), 'm');
    case 'd':
      return count == 1 ? "d" : "dd";
    case 'E':
      return count == 4 ? "dddd" : "ddd";
    case 'c':
    case 'e':
      // One or two letters are the weekday's number, which has no code.
      if (count <= 2) return "";
      return count == 4 ? "dddd" : "ddd";
    case 'a':
    case 'b':
    case 'B':
      return "AM/PM";
    case 'h':
    case 'K':
    case 'H':
    case 'k':
      return count == 1 ? "h" : "hh";
    case 'm':
      return count == 1 ? "m" : "mm";
    case 's':
      return count == 1 ? "s" : "ss";
    default:
      return "";
  }
}

// Literal pattern text as format text: spaces and ":" as they are, every
// other character inside double quotes (a quote itself as \").
void appendLiteral(std::string& out, std::string_view literal) {
  bool open = false;
  for (char c : literal) {
    if (c == ' ' || c == ':' || c == '"') {
      if (open) out += '"';
      open = false;
      out += c == '"' ? "\\\"" : std::string(1, c);
      continue;
    }
    if (!open) out += '"';
    open = true;
    out += c;
  }
  if (open) out += '"';
}

// --- Reading -------------------------------------------------------------------------

// The export's one query, as a statement of its own on the store's
// connection, read through SQLite's value calls: a hundred thousand rows of
// fifteen columns make the wrappers' per-column objects and locks show in
// the time. Finalized when it goes, so no read outlives the export. Throws
// SQLite::Exception as the wrappers do.
class RowReader {
 public:
  RowReader(Store& store, const std::string& sql) : db_(store.db().getHandle()) {
    const int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement_, nullptr);
    if (rc != SQLITE_OK) throw SQLite::Exception(db_, rc);
  }
  ~RowReader() { sqlite3_finalize(statement_); }
  RowReader(const RowReader&) = delete;
  RowReader& operator=(const RowReader&) = delete;

  void bind(int index, double value) {
    const int rc = sqlite3_bind_double(statement_, index, value);
    if (rc != SQLITE_OK) throw SQLite::Exception(db_, rc);
  }
  bool step() {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw SQLite::Exception(db_, rc);
  }
  // Valid until the next step.
  sqlite3_value* value(int column) { return sqlite3_column_value(statement_, column); }

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

// The rows come through the date index, so their pages are visited in no
// particular order; reading them mapped saves a system call and a copy per
// page. The connection gets its own setting back afterwards.
class MappedReads {
 public:
  explicit MappedReads(Store& store) : store_(store) {
    before_ = store_.db().execAndGet("PRAGMA mmap_size").getInt64();
    store_.db().exec("PRAGMA mmap_size = " + std::to_string(kMappedBytes));
  }
  ~MappedReads() {
    try {
      store_.db().exec("PRAGMA mmap_size = " + std::to_string(before_));
    } catch (const SQLite::Exception&) {
      // Only the speed of later reads depends on it.
    }
  }
  MappedReads(const MappedReads&) = delete;
  MappedReads& operator=(const MappedReads&) = delete;

 private:
  static constexpr int64_t kMappedBytes = int64_t{1} << 30;
  Store& store_;
  int64_t before_ = 0;
};

}  // namespace

ExcelRowOrder sortTxExcel(int inputTimeType) {
  return inputTimeType == 1 || inputTimeType == 2 || inputTimeType == 5 ? ExcelRowOrder::kNewestFirst
                                                                         : ExcelRowOrder::kOldestFirst;
}

bool excelShowsTime(int inputTimeType) { return inputTimeType != 0 && inputTimeType != 5; }

std::string excelFormatOfDatePattern(std::string_view pattern) {
  std::string out, literal;
  bool amPmWritten = false;
  auto flush = [&] {
    appendLiteral(out, literal);
    literal.clear();
  };
  for (size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    if (c == '\'') {
      // '' is a quote; otherwise text up to the next lone quote is literal.
      if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
        literal += '\'';
        i += 2;
        continue;
      }
      for (++i; i < pattern.size(); ++i) {
        if (pattern[i] != '\'') {
          literal += pattern[i];
        } else if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
          literal += '\'';
          ++i;
        } else {
          ++i;
          break;
        }
      }
      continue;
    }
    if (!isAsciiLetter(c)) {
      literal += c;
      ++i;
      continue;
    }
    size_t count = 1;
    while (i + count < pattern.size() && pattern[i + count] == c) ++count;
    i += count;
    std::string code = excelCode(c, count);
    if (code == "AM/PM") {
      if (amPmWritten) code.clear();
      amPmWritten = true;
    }
    if (code.empty()) continue;
    flush();
    out += code;
  }
  flush();
  // A field left out may leave the space that separated it.
  const size_t first = out.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::string excelDateFormat(const std::string& locale, bool withTime) {
  UErrorCode status = U_ZERO_ERROR;
  // The cells hold Gregorian dates, so the pattern must count in that
  // calendar too (th_TH would otherwise write Buddhist years).
  icu::Locale icuLocale(locale.c_str());
  icuLocale.setKeywordValue("calendar", "gregorian", status);
  std::unique_ptr<icu::DateTimePatternGenerator> generator(
      icu::DateTimePatternGenerator::createInstance(icuLocale, status));
  std::string pattern = withTime ? "yyyy-MM-dd HH:mm:ss" : "yyyy-MM-dd";
  if (U_SUCCESS(status) && generator) {
    const icu::UnicodeString best =
        generator->getBestPattern(icu::UnicodeString::fromUTF8(withTime ? "yyyyMMddHHmmss" : "yyyyMMdd"), status);
    if (U_SUCCESS(status) && !best.isEmpty()) {
      pattern.clear();
      best.toUTF8String(pattern);
    }
  }
  return excelFormatOfDatePattern(pattern);
}

std::array<std::string, kExcelColumnCount> excelHeaders(Ledger& ledger) {
  const Texts& t = ledger.texts();
  const auto& main = ledger.commonData().mainCurrency();
  std::array<std::string, kExcelColumnCount> headers = {
      t.text("period_user_title"),
      t.text("assets_title"),
      t.text("category"),
      t.text("config2_list1_title4"),
      t.text("inout_edit_lable5"),
      main ? main->iso.value_or("") : std::string(),
      t.text("assets_stats_graph_title2"),
      t.text("Add Contents"),
      t.text("inout_edit_lable4"),
      t.text("config_button_text1_currency"),
      t.text("assets_title"),
  };
  for (auto& h : headers) h = cellText(h, false);
  return headers;
}

void forEachExcelRow(Ledger& ledger, std::optional<double> startDate, std::optional<double> endDate,
                     const std::function<bool(const ExcelRow&)>& visit) {
  CommonData& common = ledger.commonData();
  const Texts& texts = ledger.texts();
  const AppValues& app = common.app();
  const DateUtil& dates = ledger.env().dates();

  // Labels by kind number; kinds without one stay empty.
  std::array<std::string, 9> labels;
  labels[static_cast<int>(TxKind::kIncome)] = texts.text("app_text_income");
  labels[static_cast<int>(TxKind::kExpense)] = texts.text("app_text_expenses");
  labels[static_cast<int>(TxKind::kTransferOut)] = texts.text("dotype_3");
  labels[static_cast<int>(TxKind::kTransferIn)] = texts.text("dotype_4");
  labels[static_cast<int>(TxKind::kOldAdjustment)] = texts.text("config_assets_category_name2");
  labels[static_cast<int>(TxKind::kAdjustmentUp)] = texts.text("dotype_7");
  labels[static_cast<int>(TxKind::kAdjustmentDown)] = texts.text("dotype_8");
  for (auto& l : labels) l = cellText(l, false);
  const std::string adjustment = cellText(texts.text("config_assets_category_name2"), false);

  struct CurrencyCell {
    std::string iso;
    int decimals = 0;
  };
  const auto& main = common.mainCurrency();
  const CurrencyCell mainCell{main ? cellText(main->iso.value_or(""), false) : std::string(),
                              main ? static_cast<int>(main->point.value_or(0)) : 0};
  // Names and currencies repeat from row to row: each is looked up once.
  std::unordered_map<std::string, CurrencyCell> currencies;
  auto currencyOf = [&](const std::string& uid) -> const CurrencyCell& {
    auto it = currencies.find(uid);
    if (it != currencies.end()) return it->second;
    CurrencyCell cell = mainCell;
    if (auto row = common.currencyByUid(uid)) {
      cell = {cellText(row->iso.value_or(""), false), static_cast<int>(row->point.value_or(0))};
    }
    return currencies.emplace(uid, std::move(cell)).first->second;
  };
  struct AccountCell {
    std::string name;
    int decimals = 0;
  };
  std::unordered_map<std::string, AccountCell> accounts;
  auto accountOf = [&](const std::string& uid) -> const AccountCell& {
    auto it = accounts.find(uid);
    if (it != accounts.end()) return it->second;
    AccountCell cell{std::string(), mainCell.decimals};
    if (auto asset = common.assetByUid(uid)) {
      cell.name = cellText(asset->NicName.value_or(""), false);
      cell.decimals = currencyOf(asset->currencyUid.value_or("")).decimals;
    }
    return accounts.emplace(uid, std::move(cell)).first->second;
  };
  std::unordered_map<std::string, std::pair<std::string, std::string>> categories;
  auto categoryOf = [&](const std::string& uid) -> const std::pair<std::string, std::string>& {
    auto it = categories.find(uid);
    if (it != categories.end()) return it->second;
    InOutCome probe;
    probe.categoryUid = uid;
    return categories
        .emplace(uid, std::pair{cellText(common.categoryName(probe), false),
                                cellText(common.subCategoryName(probe), false)})
        .first->second;
  };

  // One row as read, kept only while the rows of its date are read.
  struct Stored {
    std::optional<double> date;  // as stored: none for NULL
    std::optional<int64_t> utime, aId;
    int64_t pk = 0;
    std::string kind, account, toAccount, category, currency, content, memo, position;
    std::optional<double> amount, amountSub, amountAccount;
  };
  auto assignText = [](std::string& target, sqlite3_value* value) {
    const auto* bytes = static_cast<const char*>(sqlite3_value_blob(value));
    if (bytes) {
      target.assign(bytes, static_cast<size_t>(sqlite3_value_bytes(value)));
    } else {
      target.clear();
    }
  };
  auto optionalInt = [](sqlite3_value* value) -> std::optional<int64_t> {
    if (sqlite3_value_type(value) == SQLITE_NULL) return std::nullopt;
    return sqlite3_value_int64(value);
  };
  // A number that is not finite has no place in a cell (and breaks the file).
  auto optionalReal = [](sqlite3_value* value) -> std::optional<double> {
    if (sqlite3_value_type(value) == SQLITE_NULL) return std::nullopt;
    const double v = sqlite3_value_double(value);
    if (!std::isfinite(v)) return std::nullopt;
    return v;
  };

  // Rows come in date order, so most share their day with the row before:
  // the calendar is asked for a day's bounds once, and a time within a day
  // of exactly 24 hours is counted from its midnight.
  struct Day {
    double start = 0;
    double end = 0;  // empty until a day is known
    LocalDateTime midnight;
  } day;
  auto localTime = [&](double date) {
    if (date >= day.start && date < day.end) {
      LocalDateTime t = day.midnight;
      const auto seconds = static_cast<int>(date - day.start);
      t.hour = seconds / 3600;
      t.minute = seconds / 60 % 60;
      t.second = seconds % 60;
      return t;
    }
    const LocalDateTime t = dates.toLocal(date);
    const double start = dates.fromLocal(t.year, t.month, t.day);
    const double end = dates.fromLocal(t.year, t.month, t.day + 1);
    if (end - start == 86400 && date >= start && date < end) {
      day = {start, end, t};
      day.midnight.hour = day.midnight.minute = day.midnight.second = 0;
    }
    return t;
  };

  ExcelRow row;
  std::string content, contentCell, memoCell;
  auto toRow = [&](const Stored& s) {
    row.date.reset();
    // An infinite date (only older or synced data can hold one) shows none.
    if (s.date && std::isfinite(*s.date)) row.date = localTime(*s.date);
    const std::optional<TxKind> kind = kindOfCode(s.kind);
    row.kind = kind ? std::string_view(labels[static_cast<int>(*kind)]) : std::string_view();
    const AccountCell& account = accountOf(s.account);
    row.account = account.name;
    row.subCategory = {};
    if (kind == TxKind::kIncome || kind == TxKind::kExpense) {
      const auto& [name, sub] = categoryOf(s.category);
      row.category = name;
      row.subCategory = sub;
    } else if (kind == TxKind::kAdjustmentUp || kind == TxKind::kAdjustmentDown) {
      row.category = adjustment;
    } else {
      row.category = accountOf(s.toAccount).name;
    }
    const CurrencyCell& currency = currencyOf(s.currency);
    row.currency = currency.iso;
    row.amount = {s.amount, mainCell.decimals};
    row.amountSub = {s.amountSub, currency.decimals};
    row.amountAccount = {s.amountAccount, account.decimals};
    if (s.position.empty()) {
      row.content = cellText(s.content, true, contentCell);
    } else {
      content = s.content;
      content += ' ';
      content += s.position;
      row.content = cellText(content, true, contentCell);
    }
    row.memo = cellText(s.memo, true, memoCell);
  };

  const bool newestFirst = sortTxExcel(app.inputTimeType) == ExcelRowOrder::kNewestFirst;
  std::string sql =
      "SELECT ZDATE, ZUTIME, ZAID, Z_PK, ZDO_TYPE, ZASSETUID, ZTOASSETUID, ZCATEGORYUID, ZCURRENCYUID, ZAMOUNT, "
      "ZAMOUNTSUB, ZAMOUNTACCOUNT, ZCONTENT, ZMEMO, ZCARDDIVIDEMONTHSTR FROM ZINOUTCOME WHERE " +
      live::recordSql();
  if (startDate) sql += " AND ZDATE >= ?";
  if (endDate) sql += " AND ZDATE < ?";
  // The date index gives the rows by date without sorting the table; the few
  // that share a date are put in order here, by change time, then the older
  // numeric id, then the row key, so that the order is the same from one
  // export to the next.
  sql += newestFirst ? " ORDER BY ZDATE DESC" : " ORDER BY ZDATE";

  std::vector<Stored> group;  // the rows of one date; reused, so their texts keep their buffers
  size_t held = 0;
  std::vector<size_t> order;
  auto flush = [&] {
    order.resize(held);
    std::iota(order.begin(), order.end(), size_t{0});
    if (held > 1) {
      std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const Stored& x = group[newestFirst ? b : a];
        const Stored& y = group[newestFirst ? a : b];
        return std::tie(x.utime, x.aId, x.pk) < std::tie(y.utime, y.aId, y.pk);
      });
    }
    held = 0;
    for (size_t i : order) {
      toRow(group[i]);
      if (!visit(row)) return false;
    }
    return true;
  };

  Store& store = ledger.store();
  try {
    const MappedReads mapped(store);
    RowReader reader(store, sql);
    int n = 0;
    if (startDate) reader.bind(++n, *startDate);
    if (endDate) reader.bind(++n, PeriodRules(dates, app).addDays(*endDate, 1));
    bool going = true;
    while (going && reader.step()) {
      const std::optional<double> date = [&]() -> std::optional<double> {
        sqlite3_value* value = reader.value(0);
        if (sqlite3_value_type(value) == SQLITE_NULL) return std::nullopt;
        return sqlite3_value_double(value);
      }();
      if (held > 0 && date != group[0].date) going = flush();
      if (!going) break;
      if (held == group.size()) group.emplace_back();
      Stored& s = group[held++];
      s.date = date;
      s.utime = optionalInt(reader.value(1));
      s.aId = optionalInt(reader.value(2));
      s.pk = sqlite3_value_int64(reader.value(3));
      assignText(s.kind, reader.value(4));
      assignText(s.account, reader.value(5));
      assignText(s.toAccount, reader.value(6));
      assignText(s.category, reader.value(7));
      assignText(s.currency, reader.value(8));
      s.amount = optionalReal(reader.value(9));
      s.amountSub = optionalReal(reader.value(10));
      s.amountAccount = optionalReal(reader.value(11));
      assignText(s.content, reader.value(12));
      assignText(s.memo, reader.value(13));
      assignText(s.position, reader.value(14));
    }
    if (going && held > 0) flush();
  } catch (const SQLite::Exception& e) {
    store.readFailed(sql, e);
  }
}

namespace {

// --- Writing -----------------------------------------------------------------------

// The workbook being written and its file under the temporary name: both are
// given up (the workbook freed unwritten, the file removed) unless published.
class WorkbookFile {
 public:
  explicit WorkbookFile(std::filesystem::path partial) : partial_(std::move(partial)) {}
  ~WorkbookFile() {
    if (workbook_) {
      // Freeing a workbook that was never closed leaves the sheet's row
      // file open: one descriptor lost per failed export otherwise.
      if (sheet_ && sheet_->optimize_tmpfile) {
        std::fclose(sheet_->optimize_tmpfile);
        sheet_->optimize_tmpfile = nullptr;
      }
      lxw_workbook_free(workbook_);
    }
    if (!published_) {
      std::error_code ec;
      std::filesystem::remove(partial_, ec);
    }
  }
  WorkbookFile(const WorkbookFile&) = delete;
  WorkbookFile& operator=(const WorkbookFile&) = delete;

  const std::filesystem::path& partial() const { return partial_; }
  lxw_workbook* workbook() const { return workbook_; }
  void setWorkbook(lxw_workbook* workbook) { workbook_ = workbook; }
  void setSheet(lxw_worksheet* sheet) { sheet_ = sheet; }
  // Writes the file; the workbook is gone afterwards whatever the outcome.
  lxw_error close() {
    lxw_workbook* workbook = workbook_;
    workbook_ = nullptr;
    return workbook_close(workbook);
  }
  void published() { published_ = true; }

 private:
  std::filesystem::path partial_;
  lxw_workbook* workbook_ = nullptr;
  lxw_worksheet* sheet_ = nullptr;
  bool published_ = false;
};

// A new empty file in `folder` under a name no one else uses, created with
// the permissions an ordinary new file gets.
Result<std::filesystem::path> createPartial(const std::filesystem::path& folder) {
  for (int n = 0; n < 1000; ++n) {
    const auto path = folder / fmt::format(".varnel-export-{}-{}.partial", ::getpid(), n);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST) return Status::systemFailure(std::strerror(errno));
  }
  return Status::systemFailure("no free temporary name in " + folder.string());
}

// Flushes the file's content to disk before it takes the final name, so that
// a power cut never leaves an empty workbook under that name.
bool syncFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

std::string amountFormat(int decimals) {
  return decimals == 0 ? "#,##0" : "#,##0." + std::string(static_cast<size_t>(decimals), '0');
}

// Doubles carry about 15 significant digits; a currency row claiming more
// decimals shows no more than that.
constexpr int kMaxShownDecimals = 15;

}  // namespace

Result<int64_t> getExcelData(Ledger& ledger, std::optional<double> startDate, std::optional<double> endDate,
                             const std::filesystem::path& fileName) {
  auto failure = [&](const std::string& why) {
    return Status::systemFailure("cannot write the spreadsheet " + fileName.string() + ": " + why);
  };
  if (fileName.filename().empty()) return failure("not a file name");
  const std::filesystem::path folder = fileName.has_parent_path() ? fileName.parent_path() : ".";
  Result<std::filesystem::path> partial = createPartial(folder);
  if (!partial) return failure(partial.status().message());
  WorkbookFile file(*partial);

  lxw_error error = LXW_NO_ERROR;
  const char* failedStep = "";
  auto ok = [&](lxw_error e, const char* step) {
    if (e == LXW_NO_ERROR) return true;
    if (error == LXW_NO_ERROR) error = e, failedStep = step;
    return false;
  };
  int systemError = 0;
  auto lxwFailure = [&] {
    std::string why = lxw_strerror(error);
    if (!why.empty() && why.back() == '.') why.pop_back();
    if (systemError != 0) why += fmt::format(" ({})", std::strerror(systemError));
    return failure(fmt::format("{}: {}", failedStep, why));
  };

  // Rows go to disk as they are written instead of staying in memory until
  // the workbook is closed.
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  file.setWorkbook(workbook_new_opt(file.partial().c_str(), &options));
  if (!file.workbook()) return failure("the workbook cannot be started");
  lxw_worksheet* sheet = workbook_add_worksheet(file.workbook(), nullptr);
  file.setSheet(sheet);
  lxw_format* dateFormat = workbook_add_format(file.workbook());
  if (!sheet || !dateFormat) return failure("the worksheet cannot be started");
  const bool withTime = excelShowsTime(ledger.commonData().app().inputTimeType);
  const std::string datePattern = excelDateFormat(ledger.env().locale(), withTime);
  format_set_num_format(dateFormat, datePattern.c_str());
  std::map<int, lxw_format*> amountFormats;
  auto amountFormatOf = [&](int decimals) -> lxw_format* {
    decimals = std::clamp(decimals, 0, kMaxShownDecimals);
    auto it = amountFormats.find(decimals);
    if (it != amountFormats.end()) return it->second;
    lxw_format* format = workbook_add_format(file.workbook());
    if (format) format_set_num_format(format, amountFormat(decimals).c_str());
    return amountFormats.emplace(decimals, format).first->second;
  };

  for (int c = 0; c < kExcelColumnCount; ++c) {
    if (!ok(worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                 kExcelColumnWidths[static_cast<size_t>(c)], nullptr),
            "setting the column widths")) {
      return lxwFailure();
    }
  }
  const auto headers = excelHeaders(ledger);
  for (int c = 0; c < kExcelColumnCount; ++c) {
    if (!ok(worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), headers[static_cast<size_t>(c)].c_str(),
                                   nullptr),
            "writing the header row")) {
      return lxwFailure();
    }
  }

  lxw_row_t row = 0;
  bool tooMany = false;
  bool noFormat = false;
  auto writeAmount = [&](lxw_col_t col, const ExcelAmount& a) {
    if (!a.value) return true;
    lxw_format* format = amountFormatOf(a.decimals);
    if (!format) {
      noFormat = true;
      return false;
    }
    return ok(worksheet_write_number(sheet, row, col, *a.value, format), "writing an amount");
  };
  std::string cell;  // the text of a cell with the terminating NUL the library needs
  auto writeText = [&](lxw_col_t col, std::string_view text) {
    cell.assign(text);
    return ok(worksheet_write_string(sheet, row, col, cell.c_str(), nullptr), "writing a text");
  };
  forEachExcelRow(ledger, startDate, endDate, [&](const ExcelRow& r) {
    if (row + 1 >= static_cast<lxw_row_t>(LXW_ROW_MAX)) {
      tooMany = true;
      return false;
    }
    ++row;
    bool written = true;
    if (r.date) {
      const LocalDateTime& d = *r.date;
      // A date cell counts days from 1900; a date outside the years it can
      // show is kept as text rather than shown as a wrong day or "#####".
      if (d.year >= 1900 && d.year <= 9999) {
        lxw_datetime cell{d.year, d.month, d.day, d.hour, d.minute, static_cast<double>(d.second)};
        written = ok(worksheet_write_datetime(sheet, row, 0, &cell, dateFormat), "writing a date");
      } else {
        written = writeText(0, withTime ? fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", d.year, d.month,
                                                      d.day, d.hour, d.minute, d.second)
                                        : fmt::format("{:04}-{:02}-{:02}", d.year, d.month, d.day));
      }
    }
    written = written && writeText(1, r.account) && writeText(2, r.category) && writeText(3, r.subCategory) &&
              writeText(4, r.content) && writeAmount(5, r.amount) && writeText(6, r.kind) &&
              writeText(7, r.memo) && writeAmount(8, r.amountSub) && writeText(9, r.currency) &&
              writeAmount(10, r.amountAccount);
    return written;
  });
  if (tooMany) {
    return failure(fmt::format("the period holds more transactions than a worksheet's {} rows", LXW_ROW_MAX - 1));
  }
  if (noFormat) return failure("a number format cannot be added");
  if (error != LXW_NO_ERROR) return lxwFailure();

  errno = 0;
  const lxw_error closed = file.close();
  if (closed != LXW_NO_ERROR) {
    // The library's own file and zip calls set errno; its reason alone
    // ("zip error") would not tell a full disk from a missing folder.
    systemError = errno;
    ok(closed, "writing the file");
    return lxwFailure();
  }
  if (!syncFile(file.partial())) return failure(std::string("cannot flush the file: ") + std::strerror(errno));
  if (std::rename(file.partial().c_str(), fileName.c_str()) != 0) return failure(std::strerror(errno));
  file.published();
  syncFolder(folder);
  return static_cast<int64_t>(row);
}

std::string excelDownloadName(bool forAccount, const std::string& startText, const std::string& endText) {
  return fmt::format("{}_{}~{}.xlsx", forAccount ? "Account" : "CASHBOOK", startText, endText);
}

}  // namespace varnel
