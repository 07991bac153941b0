#include "backup/interchange_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <variant>

#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <sqlite3.h>

#include "backup/file_kind.h"
#include "backup/interchange_schema.h"
#include "ledger/tag_repository.h"
#include "model/base_repository.h"
#include "model/dates.h"
#include "model/entities.h"
#include "model/errors.h"
#include "model/etc_repository.h"
#include "model/liveness.h"
#include "model/record_io.h"
#include "model/safety_copy.h"
#include "model/search_index.h"
#include "model/tx_kind.h"

namespace varnel {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// --- Failures ------------------------------------------------------------------

// The file is not a usable interchange file; the message says what is wrong
// with it.
class FileUnusable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file could not be read for a reason outside it (an I/O error, memory).
class FileUnreadable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A write of the ledger that failed, carried to the end of the load.
class WriteFailed : public std::runtime_error {
 public:
  explicit WriteFailed(Status status) : std::runtime_error(status.message()), status_(std::move(status)) {}
  const Status& status() const { return status_; }

 private:
  Status status_;
};

void must(Status status) {
  if (!status) throw WriteFailed(std::move(status));
}

[[noreturn]] void fileFailed(const std::string& what, const SQLite::Exception& e) {
  switch (e.getErrorCode() & 0xFF) {
    case SQLITE_NOMEM:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_FULL:
    case SQLITE_INTERRUPT:
      throw FileUnreadable(what + ": " + e.what());
    case SQLITE_READONLY:
      // A journal of a write that was cut short, which only the program that
      // wrote the file may roll back.
      if (e.getExtendedErrorCode() == SQLITE_READONLY_ROLLBACK ||
          e.getExtendedErrorCode() == SQLITE_READONLY_RECOVERY) {
        throw FileUnusable("a write to it was cut short and its journal lies beside it");
      }
      break;
    case SQLITE_IOERR:
      // A file shorter than its pages say reads as a short read.
      if (e.getExtendedErrorCode() == SQLITE_IOERR_SHORT_READ) break;
      throw FileUnreadable(what + ": " + e.what());
    default:
      break;
  }
  throw FileUnusable(what.empty() ? e.what() : what + ": " + e.what());
}

// --- Opening the file --------------------------------------------------------------

// A journal or write-ahead log beside the file holds writes the file alone
// does not show; SQLite must then read it with them (and refuses to when a
// write was cut short, which a read-only connection cannot roll back).
bool hasJournalBeside(const std::filesystem::path& file) {
  std::error_code ec;
  return std::filesystem::exists(file.string() + "-journal", ec) ||
         std::filesystem::exists(file.string() + "-wal", ec);
}

// A foreign file's schema may name functions, virtual tables and triggers of
// its own choosing: none of them run on a connection of ours.
void harden(SQLite::Database& db) {
  sqlite3_db_config(db.getHandle(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(db.getHandle(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  db.exec("PRAGMA trusted_schema = OFF");
  db.exec("PRAGMA cell_size_check = ON");
}

// Opens `file` for reading only. Without a journal beside it the file is
// read as immutable: no lock is taken and nothing is created beside it, so
// the folder stays exactly as it was.
std::unique_ptr<SQLite::Database> openReadOnly(const std::filesystem::path& file) {
  try {
    auto db = std::make_unique<SQLite::Database>(readOnlyUri(file, !hasJournalBeside(file)),
                                                 SQLite::OPEN_READONLY | SQLite::OPEN_URI);
    harden(*db);
    db->exec("PRAGMA query_only = ON");
    return db;
  } catch (const SQLite::Exception& e) {
    fileFailed("", e);
  }
}

// The tables, views and other objects of a file, by upper-case name (SQLite
// names are case-insensitive).
class FileSchema {
 public:
  explicit FileSchema(SQLite::Database& db) : db_(db) {
    try {
      SQLite::Statement st(db, "SELECT type, name, COALESCE(sql, '') FROM sqlite_master");
      while (st.executeStep()) {
        objects_[upper(st.getColumn(1).getString())] = {st.getColumn(0).getString(), st.getColumn(2).getString()};
      }
    } catch (const SQLite::Exception& e) {
      fileFailed("", e);
    }
  }

  // True when the file has an ordinary table `name`; false when it has no
  // object of that name. Throws FileUnusable for a view, a virtual table or
  // anything else in its place: reading it would run the file's own SQL.
  bool hasTable(std::string_view name) const {
    const auto it = objects_.find(upper(name));
    if (it == objects_.end()) return false;
    const Object& o = it->second;
    if (o.type != "table" || upper(o.sql).rfind("CREATE VIRTUAL", 0) == 0) {
      throw FileUnusable(std::string(name) + " is a " + (o.type == "table" ? "virtual table" : o.type) +
                         ", not a table");
    }
    return true;
  }

  // The upper-case column names of the table `name`.
  const std::set<std::string>& columns(std::string_view name) {
    const std::string key = upper(name);
    auto it = columns_.find(key);
    if (it != columns_.end()) return it->second;
    std::set<std::string> names;
    try {
      SQLite::Statement st(db_, "SELECT name FROM pragma_table_info(?)");
      st.bind(1, std::string(name));
      while (st.executeStep()) names.insert(upper(st.getColumn(0).getString()));
    } catch (const SQLite::Exception& e) {
      fileFailed(std::string(name), e);
    }
    return columns_.emplace(key, std::move(names)).first->second;
  }

  bool hasColumn(std::string_view table, std::string_view column) {
    return columns(table).count(upper(column)) > 0;
  }

 private:
  struct Object {
    std::string type;
    std::string sql;
  };
  SQLite::Database& db_;
  std::map<std::string, Object> objects_;
  std::map<std::string, std::set<std::string>> columns_;
};

int userVersionOf(SQLite::Database& db) {
  try {
    return db.execAndGet("PRAGMA user_version;").getInt();
  } catch (const SQLite::Exception& e) {
    fileFailed("", e);
  }
}

// --- Reading values the way the other platform reads them -------------------------

// The number at the start of `text` after white space (as "12.5abc" reads
// 12.5), 0 when there is none. Never infinite or NaN: a spelled-out
// "Infinity" is no amount.
double leadingNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
  if (ec != std::errc() || !std::isfinite(value)) return 0;
  (void)end;
  return value;
}

bool spellsNonFinite(std::string_view text) {
  std::string t = upper(text);
  return t.find("INF") != std::string::npos || t.find("NAN") != std::string::npos;
}

std::string withoutLineBreaks(std::string text) {
  text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }), text.end());
  return text;
}

std::string trimmed(const std::string& text) {
  const char* space = " \t\r\n\v\f";
  const size_t first = text.find_first_not_of(space);
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// The rows of one selection on the file, with the readings of the other
// platform: a text of NULL is "", an integer of NULL is 0 (and of a text its
// leading digits), a "value" of NULL is nothing.
class FileRows {
 public:
  FileRows(SQLite::Database& db, std::string table, const std::string& sql) : table_(std::move(table)) {
    try {
      statement_ = std::make_unique<SQLite::Statement>(db, sql);
    } catch (const SQLite::Exception& e) {
      fileFailed(table_, e);
    }
  }

  bool next() {
    try {
      return statement_->executeStep();
    } catch (const SQLite::Exception& e) {
      fileFailed(table_, e);
    }
  }

  int columnCount() const { return statement_->getColumnCount(); }
  bool isNull(int i) const { return statement_->isColumnNull(i); }
  bool isText(int i) const { return statement_->getColumn(i).isText(); }
  std::string text(int i) const { return statement_->getColumn(i).getString(); }
  int64_t integer(int i) const { return statement_->getColumn(i).getInt64(); }
  double real(int i) const { return statement_->getColumn(i).getDouble(); }
  Text value(int i) const {
    if (isNull(i)) return std::nullopt;
    return text(i);
  }
  Int intValue(int i) const {
    if (isNull(i)) return std::nullopt;
    return integer(i);
  }
  // An identifier: none for NULL and for "", which no two records may share.
  Text uid(int i) const {
    std::string t = text(i);
    if (t.empty()) return std::nullopt;
    return t;
  }
  // A sync time in milliseconds; none for NULL and 0.
  StoreDate syncTime(int i) const {
    const double ms = isNull(i) ? 0 : real(i);
    if (ms == 0) return std::nullopt;
    return (ms - static_cast<double>(kReferenceDateOffset) * 1000.0) / 1000.0;
  }
  // A number read from its text by leadingNumber, or as stored.
  double number(int i) const {
    if (isNull(i)) return 0;
    if (isText(i)) return leadingNumber(withoutLineBreaks(text(i)));
    const double v = real(i);
    return std::isfinite(v) ? v : 0;
  }

  const std::string& table() const { return table_; }

 private:
  std::string table_;
  std::unique_ptr<SQLite::Statement> statement_;
};

// --- Writing records into the ledger ---------------------------------------------

template <class T>
class RecordInserter {
 public:
  RecordInserter(Store& store, std::string fileTable)
      : store_(store), fileTable_(std::move(fileTable)), statement_(store.prepare(record_io::insertSql<T>())) {}

  int64_t insert(const T& record) {
    SQLite::Statement& st = statement_.get();
    st.tryReset();
    record_io::bindFields(st, record);
    try {
      st.exec();
    } catch (const SQLite::Exception& e) {
      if (e.getExtendedErrorCode() == SQLITE_CONSTRAINT_UNIQUE) {
        throw FileUnusable(fmt::format("{}: the uid '{}' stands on more than one row", fileTable_,
                                       record.uid.value_or("")));
      }
      throw;
    }
    return store_.db().getLastInsertRowid();
  }

 private:
  Store& store_;
  std::string fileTable_;
  Store::Statement statement_;
};

// --- One load -------------------------------------------------------------------------

constexpr int64_t kProgressEvery = 20000;

struct Load {
  Load(Ledger& ledger, SQLite::Database& db, FileSchema& fileSchema, int schemaVersion,
       InterchangeLoadReport& loadReport, const InterchangeLoadProgress& onProgress)
      : target(ledger), file(db), schema(fileSchema), version(schemaVersion), report(loadReport),
        progress(onProgress) {}

  Ledger& target;
  SQLite::Database& file;
  FileSchema& schema;
  int version;
  InterchangeLoadReport& report;
  const InterchangeLoadProgress& progress;

  spdlog::logger& log() { return target.log(); }
  const DateUtil& dates() { return target.env().dates(); }

  // The tables no ledger is without. A file lacking one of them is not a
  // ledger; any other table it lacks simply has nothing to load.
  static bool essential(std::string_view table) {
    return table == "INOUTCOME" || table == "ASSETS" || table == "ASSETGROUP" || table == "ZCATEGORY" ||
           table == "ZETC";
  }

  // Starts the report's entry of `fileTable`. Null when the file has no such
  // table (after logging `missingLine`); throws FileUnusable when it must
  // have it or has something else under its name.
  InterchangeTableLoad* begin(const std::string& fileTable, const std::string& storeTable,
                              const std::string& missingLine) {
    report.tables.push_back({fileTable, storeTable, 0, 0, false});
    InterchangeTableLoad& entry = report.tables.back();
    if (!schema.hasTable(fileTable)) {
      if (essential(fileTable)) throw FileUnusable("it has no table " + fileTable);
      entry.absent = true;
      log().error("{}", missingLine);
      return nullptr;
    }
    total_ = 0;
    if (progress) {
      FileRows count(file, fileTable, "SELECT count(*) FROM " + fileTable);
      if (count.next()) total_ = count.integer(0);
      progress({entry.fileTable, 0, total_});
    }
    return &entry;
  }

  void written(InterchangeTableLoad& entry) {
    if (++entry.rows % kProgressEvery == 0 && progress) progress({entry.fileTable, entry.rows, total_});
  }
  void done(const InterchangeTableLoad& entry) {
    if (progress) progress({entry.fileTable, entry.rows, std::max(total_, entry.rows)});
  }

 private:
  int64_t total_ = 0;
};

// --- Reading a table by its current column names ---------------------------------------

// How a column's value becomes the attribute's.
enum class Read {
  kAsStored,  // by the attribute's type
  kMillisecondsDate,  // milliseconds since 1970 (the text of a number) as a store date
  kSyncTime,  // milliseconds since 1970, 0 for none, as a store date; as stored for other types
  kSelectOnly,  // selected for the table's own rule, not assigned here
};

struct ColumnRead {
  std::string_view column;
  std::string_view attribute;
  Read read = Read::kAsStored;
};

struct NamedTable {
  std::string_view fileTable;
  std::string_view key;  // the order the rows are read in
  std::vector<ColumnRead> columns;
};

// The columns of a selection by name, for the rules that read several.
class SelectedColumns {
 public:
  void add(std::string_view column, int index) { index_[upper(column)] = index; }
  // The index of `column` in the selection, -1 when it was not selected.
  int operator[](std::string_view column) const {
    const auto it = index_.find(upper(column));
    return it == index_.end() ? -1 : it->second;
  }

 private:
  std::map<std::string, int> index_;
};

template <class T>
const Field<T>& fieldOf(std::string_view attribute) {
  for (const auto& f : Entity<T>::fields()) {
    if (f.attribute == attribute) return f;
  }
  throw std::logic_error(std::string(Entity<T>::kName) + " has no attribute " + std::string(attribute));
}

template <class T>
void assign(T& record, const Field<T>& field, Read read, const FileRows& row, int i) {
  std::visit(
      [&](auto member) {
        auto& value = record.*member;
        using V = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<V, int64_t>) {
          value = row.isNull(i) ? 0 : row.integer(i);
        } else if (row.isNull(i)) {
          value.reset();
        } else if constexpr (std::is_same_v<V, Text>) {
          value = row.text(i);
        } else if constexpr (std::is_same_v<V, Int>) {
          value = row.integer(i);
        } else if (read == Read::kMillisecondsDate) {
          // Exact for every whole millisecond: the difference of two
          // integers below 2^53, then one division.
          value = (row.number(i) - static_cast<double>(kReferenceDateOffset) * 1000.0) / 1000.0;
        } else if (read == Read::kSyncTime && field.type == ColumnType::kDate) {
          value = row.syncTime(i);
        } else {
          value = row.real(i);
        }
      },
      field.member);
}

// Reads `table` of the file into records of T by column names, hands each to
// `finish` (the table's own rules) and writes it. `strict`: every column must
// exist (a current-format file); otherwise the columns the file lacks read as
// NULL. Returns the entry of the table in the report (null when absent).
template <class T, class Finish>
InterchangeTableLoad* readNamedTable(Load& load, const NamedTable& table, bool strict, const std::string& missingLine,
                                     Finish&& finish) {
  const std::string fileTable(table.fileTable);
  InterchangeTableLoad* entry = load.begin(fileTable, Entity<T>::table(), missingLine);
  if (!entry) return nullptr;
  std::vector<std::pair<const Field<T>*, Read>> targets;
  SelectedColumns selected;
  std::string list;
  for (const ColumnRead& c : table.columns) {
    if (!load.schema.hasColumn(fileTable, c.column)) {
      if (strict) throw FileUnusable(fileTable + " has no column " + std::string(c.column));
      continue;
    }
    selected.add(c.column, static_cast<int>(targets.size()));
    targets.emplace_back(c.attribute.empty() ? nullptr : &fieldOf<T>(c.attribute), c.read);
    list += (list.empty() ? "" : ", ") + std::string(c.column);
  }
  if (list.empty()) list = "null";
  const std::string order =
      load.schema.hasColumn(fileTable, table.key) ? std::string(table.key) : std::string("rowid");
  FileRows rows(load.file, fileTable, "SELECT " + list + " FROM " + fileTable + " ORDER BY " + order);
  RecordInserter<T> inserter(load.target.store(), fileTable);
  while (rows.next()) {
    T record;
    for (size_t i = 0; i < targets.size(); ++i) {
      if (targets[i].first && targets[i].second != Read::kSelectOnly) {
        assign(record, *targets[i].first, targets[i].second, rows, static_cast<int>(i));
      }
    }
    finish(record, rows, selected);
    inserter.insert(record);
    load.written(*entry);
  }
  load.done(*entry);
  return entry;
}

template <class T>
void noRule(T&, const FileRows&, const SelectedColumns&) {}

// The current layout, table by table: the inverse of what the writer puts
// into each column. Every column the writer fills is read back, so a ledger
// that makes the round trip keeps every attribute the file carries.
const NamedTable& groupTable() {
  static const NamedTable kTable{"ASSETGROUP", "DEVICE_ID", {
      {"uid", "uid"}, {"IS_DEL", "isDel"}, {"USETIME", "utime"}, {"ACC_GROUP_NAME", "AssetGroupName"},
      {"TYPE", "Status"}, {"ORDERSEQ", "Order"}, {"isSynced", "isSynced"},
      {"syncTime", "syncTime", Read::kSyncTime}, {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& accountTable() {
  static const NamedTable kTable{"ASSETS", "ID", {
      {"ID", "aId"}, {"CARD_DAY_FIN", "Card_DayFin"}, {"CARD_DAY_PAY", "Card_DayPay"}, {"NIC_NAME", "NicName"},
      {"ORDERSEQ", "Order"}, {"ZDATA", "isDel"}, {"ZDATA1", "memo"}, {"ZDATA2", "isReflect"},
      {"IS_TRANS_EXPENSE", "transferExpense"}, {"IS_CARD_AUTO_PAY", "isCardAutoPay"},
      {"APP_PACKAGE", "appPackage"}, {"APP_NAME", "appName"}, {"SMS_TEL", "smsTel"}, {"SMS_STRING", "smsString"},
      {"A_UTIME", "utime"}, {"CARD_USAGE_HURDLE_TYPE", "card_usage_hurdle_type"},
      {"CARD_USAGE_HURDLE_START_DATE", "card_usage_hurdle_start_date"},
      {"CARD_USAGE_HURDLE_AMOUNT", "card_usage_hurdle_amount"}, {"uid", "uid"}, {"currencyUid", "currencyUid"},
      {"cardAssetUid", "cardAssetUid"}, {"groupUid", "groupUid"}, {"isSynced", "isSynced"},
      {"syncTime", "syncTime", Read::kSyncTime}, {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& categoryTable() {
  static const NamedTable kTable{"ZCATEGORY", "ID", {
      {"C_IS_DEL", "isDel"}, {"C_UTIME", "utime"}, {"uid", "uid"}, {"NAME", "Name"}, {"ORDERSEQ", "Order"},
      {"TYPE", "doType"}, {"STATUS", "Status"}, {"pUid", "pUid"}, {"isSynced", "isSynced"},
      {"syncTime", "syncTime", Read::kSyncTime}, {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& settingsTable() {
  static const NamedTable kTable{"ZETC", "Z_PK", {
      {"uid", "uid"}, {"E_UTIME", "utime"}, {"ZDATATYPE", "DataType"}, {"ZDATA", "Data"}, {"ZZDATA", "zData"},
      {"ZZDATA1", "zData1"}, {"ZZDATA2", "zData2"}, {"dataTypeKey", "datayTypeKey"}, {"isDel", "isDel"},
      {"isSynced", "isSynced"}, {"syncTime", "syncTime", Read::kSyncTime}, {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& budgetTable() {
  static const NamedTable kTable{"BUDGET", "ID", {
      {"uid", "uid"}, {"targetUid", "targetUid"}, {"DO_TYPE", "doTypeStr"}, {"PERIOD_TYPE", "periodTypeInt"},
      {"IS_TOTAL", "totalTypeInt"}, {"IS_DEL", "isDel"}, {"TRANSFER_TYPE", "transTypeInt"},
      {"ORDER_SEQ", "order"}, {"MODIFY_DATE", "utime"}, {"isSynced", "isSynced"},
      {"syncTime", "syncTime", Read::kSyncTime}, {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& budgetAmountTable() {
  static const NamedTable kTable{"BUDGET_AMOUNT", "ID", {
      {"uid", "uid"}, {"budgetUid", "budgetUid"}, {"IS_DEL", "isDel"}, {"AMOUNT", "amount"},
      {"BUDGET_PERIOD", "budgetPeriod"}, {"MODIFY_DATE", "utime"}, {"isSynced", "isSynced"},
      {"syncTime", "syncTime", Read::kSyncTime}, {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& currencyTable() {
  static const NamedTable kTable{"CURRENCY", "ID", {
      {"uid", "uid"}, {"NAME", "memo"}, {"ISO", "iso"}, {"MAIN_ISO", "mainIso"}, {"IS_DEL", "isDel"},
      {"ORDER_SEQ", "orderSeq"}, {"RATE", "rate"}, {"SYMBOL", "symbol"}, {"INSERT_TYPE", "insertType"},
      {"SYMBOL_POSITION", "symbolPosition"}, {"IS_MAIN_CURRENCY", "isMainCurrency"}, {"IS_SHOW", "isShow"},
      {"MODIFY_DATE", "utime"}, {"DECIMAL_POINT", "point"}, {"isSynced", "isSynced"},
      {"syncTime", "syncTime", Read::kSyncTime}, {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& favouriteTable() {
  static const NamedTable kTable{"FAVTRANSACTION", "DEVICE_ID", {
      {"uid", "uid"}, {"IS_DEL", "isDel"}, {"USETIME", "utime"}, {"MARK", "mark"}, {"DO_TYPE", "doType"},
      {"assetUid", "assetUid"}, {"toAssetUid", "toAssetUid"}, {"ctgUid", "categoryUid"},
      {"AMOUNT_SUB", "amountSub"}, {"currencyUid", "currencyUid"}, {"MEMO", "memo"}, {"PAYEE", "payee"},
      {"ORDERSEQ", "order"}, {"isSynced", "isSynced"}, {"syncTime", "syncTime", Read::kSyncTime},
      {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& memoTable() {
  static const NamedTable kTable{"MEMO", "id", {
      {"uid", "uid"}, {"title", "title"}, {"content", "content"}, {"memoTime", "memoTime"},
      {"memoDate", "memoDate"}, {"pinned", "pinned"}, {"pinnedTime", "pinnedTime"}, {"orderSeq", "orderSeq"},
      {"color", "color"}, {"isDel", "isDel"}, {"utime", "utime"}, {"isSynced", "isSynced"},
      {"syncTime", "syncTime", Read::kSyncTime}, {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& photoTable() {
  static const NamedTable kTable{"PHOTO", "DEVICE_ID", {
      {"uid", "uid"}, {"IS_DEL", "isDel"}, {"USETIME", "utime"}, {"txUid", "txUid"}, {"FILE_SIZE", "fileSize"},
      {"FILE_PATH", "filePath"}, {"FILE_NAME", "fileName"}, {"ORG_FILE_NAME", "orgFileName"},
      {"ORG_FILE_PATH", "orgFilePath"}, {"isSynced", "isSynced"}, {"syncTime", "syncTime", Read::kSyncTime},
      {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& repeatTable() {
  static const NamedTable kTable{"REPEATTRANSACTION", "DEVICE_ID", {
      {"uid", "uid"}, {"IS_DEL", "isDel"}, {"USETIME", "utime"}, {"MARK", "mark"}, {"END_DATE", "endDate"},
      {"NEXT_DATE", "nextDate"}, {"DO_TYPE", "doType"}, {"REPEAT_TYPE", "repeatType"},
      {"assetUid", "assetUid"}, {"toAssetUid", "toAssetUid"}, {"ctgUid", "categoryUid"},
      {"currencyUid", "currencyUid"}, {"AMOUNT_SUB", "amountSub"}, {"MEMO", "memo"}, {"PAYEE", "payee"},
      {"isSynced", "isSynced"}, {"syncTime", "syncTime", Read::kSyncTime}, {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& macroTable() {
  static const NamedTable kTable{"MESSAGEMACRO2", "AID", {
      {"uid", "uid"}, {"conAssetUid", "conAssetUid"}, {"MACROASSETNAME", "macroAssetName"},
      {"MACROTYPE", "macroType"}, {"SMS_TEL", "smsTel"}, {"MODIDATE", "modiDate"}, {"USEYN", "useYN"},
      {"APP_PACKAGE", "appPackage"}, {"APP_NAME", "appName"}, {"ORDERSEQ", "orderSeq"}, {"utime", "utime"},
      {"isSynced", "isSynced"}, {"syncTime", "syncTime", Read::kSyncTime}}};
  return kTable;
}

const NamedTable& codeDataTable() {
  static const NamedTable kTable{"CODE_DATA", "id", {
      {"uid", "uid"}, {"code", "code"}, {"data", "data"}, {"num", "num"}, {"isDel", "isDel"},
      {"utime", "utime"}, {"ctime", "ctime"}, {"isSynced", "isSynced"}, {"syncTime", "syncTime", Read::kSyncTime},
      {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& codeLinkTable() {
  static const NamedTable kTable{"CODE_LINK", "id", {
      {"uid", "uid"}, {"codeUid", "codeUid"}, {"tableName", "tableName"}, {"tableUid", "tableUid"},
      {"orderSeq", "orderSeq"}, {"isDel", "isDel"}, {"utime", "utime"}, {"ctime", "ctime"},
      {"isSynced", "isSynced"}, {"syncTime", "syncTime", Read::kSyncTime}, {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& transactionTable() {
  static const NamedTable kTable{"INOUTCOME", "AID", {
      {"AID", "aId"}, {"uid", "uid"}, {"assetUid", "assetUid"}, {"CARDDIVIDMONTH", "cardDivideMonth"},
      {"ctgUid", "categoryUid"}, {"toAssetUid", "toAssetUid"}, {"ZCONTENT", "Content"},
      {"ZDATE", "Date", Read::kMillisecondsDate}, {"WDATE", "txDateStr"}, {"wtime", "wtime"}, {"paid", "paid"},
      {"DO_TYPE", "Do_Type"}, {"ZMONEY", "amount", Read::kSelectOnly}, {"txUidTrans", "txUidTrans"},
      {"ZDATA", "memo"}, {"SMS_RDATE", "smsRDate"}, {"IN_ZMONEY", "amountSub", Read::kSelectOnly},
      {"ASSET_NIC", "Asset_Nic"}, {"CATEGORY_NAME", "Category_Name"}, {"cardDivideUid", "cardDivideUid"},
      {"CARD_DIVIDE_MONTH_STR", "cardDivideMonthStr"}, {"MARK", "mark"}, {"txUidFee", "txUidFee"},
      {"SMS_ORIGIN", "smsOrigine"}, {"SMS_PARSE_CONTENT", "smsParseContents"}, {"IS_DEL", "isDel"},
      {"UTIME", "utime"}, {"currencyUid", "currencyUid"}, {"AMOUNT_ACCOUNT", "amountAccount", Read::kSelectOnly},
      {"lat", "lat"}, {"lng", "lng"}, {"gstd", "gstd"}, {"syncTime", "syncTime", Read::kSyncTime},
      {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& tagTable() {
  static const NamedTable kTable{"TAG", "id", {
      {"uid", "uid"}, {"name", "name"}, {"orderSeq", "orderSeq"}, {"isDel", "isDel"}, {"utime", "utime"},
      {"isSynced", "isSynced"}, {"syncTime", "syncTime", Read::kSyncTime}, {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& transactionTagTable() {
  static const NamedTable kTable{"TX_TAG", "id", {
      {"uid", "uid"}, {"txUid", "txUid"}, {"tagUid", "tagUid"}, {"objName", "objName"}, {"orderSeq", "orderSeq"},
      {"isDel", "isDel"}, {"utime", "utime"}, {"isSynced", "isSynced"}, {"syncTime", "syncTime", Read::kSyncTime},
      {"syncVersion", "syncVersion"}}};
  return kTable;
}

const NamedTable& messageTable() {
  static const NamedTable kTable{"SMS_RAW_READ", "ID", {
      {"uid", "uid"}, {"RDATE", "rDate"}, {"ZDATE", "zDate"}, {"TEL", "tel"}, {"ZDATA", "zData"},
      {"MACROTYPE", "macroType"}, {"assetUid", "assetUid"}, {"toAssetUid", "toAssetUid"},
      {"NOTIFY_TYPE", "notifyType"}, {"AMOUNT", "amount"}, {"TEXT_PARSING_TIME", "textParsingTime"},
      {"ASSETNAME", "assetName"}, {"TYPE", "type"}, {"MMSID", "mmsid"}, {"APP_PACKAGE", "appPackage"},
      {"APP_NAME", "appName"}, {"SENDER_NAME", "senderName"}, {"IS_DEL", "isDel"}, {"utime", "utime"},
      {"syncTime", "syncTime"}, {"syncVersion", "syncVersion"}}};
  return kTable;
}

// The three amounts of a transaction row. A spelled-out "Infinity" (which
// older releases of the other platform wrote after dividing by a zero rate)
// is no amount: the entered amount stands in for the main-currency one, and
// the others read 0.
struct Amounts {
  Real amountSub;
  Real amount;
  Real amountAccount;
};

Real amountOf(const FileRows& row, int i) {
  if (i < 0 || row.isNull(i)) return std::nullopt;
  return row.number(i);
}

bool isInfinity(const FileRows& row, int i) {
  return i >= 0 && !row.isNull(i) && row.isText(i) && spellsNonFinite(row.text(i));
}

// The current format's amounts: as stored, "Infinity" aside.
Amounts currentAmounts(const FileRows& row, int inZMoney, int zMoney, int amountAccount) {
  Amounts a;
  a.amountSub = isInfinity(row, inZMoney) ? Real(0) : amountOf(row, inZMoney);
  if (isInfinity(row, zMoney)) {
    const bool entered = !row.isNull(inZMoney) && !withoutLineBreaks(row.text(inZMoney)).empty();
    a.amount = entered ? a.amountSub : Real(0);
  } else {
    a.amount = amountOf(row, zMoney);
  }
  a.amountAccount = isInfinity(row, amountAccount) ? Real(0) : amountOf(row, amountAccount);
  return a;
}

// Transactions of the current format, inserted with isSynced 2.
void currentTransactions(Load& load, bool strict) {
  const auto start = Clock::now();
  auto* entry = readNamedTable<InOutCome>(
      load, transactionTable(), strict, "copyTx error",
      [](InOutCome& r, const FileRows& row, const SelectedColumns& c) {
        const Amounts a = currentAmounts(row, c["IN_ZMONEY"], c["ZMONEY"], c["AMOUNT_ACCOUNT"]);
        r.amountSub = a.amountSub;
        r.amount = a.amount;
        r.amountAccount = a.amountAccount;
        r.isSynced = 2;
      });
  if (entry) load.log().info("copyTx time {:f}", secondsSince(start));
}

// The links of transactions and tags to their records, by uid, once both are
// in the ledger.
void linkTransactionTags(Load& load) {
  load.target.store().db().exec(
      "UPDATE ZTXTAG SET ZTX = (SELECT Z_PK FROM ZINOUTCOME WHERE ZINOUTCOME.ZUID = ZTXTAG.ZTXUID), "
      "ZTAG = (SELECT Z_PK FROM ZTAG WHERE ZTAG.ZUID = ZTXTAG.ZTAGUID)");
}

// --- The current-format loader ---------------------------------------------------------

template <class T>
void loadCurrentTable(Load& load, const NamedTable& table, const char* name) {
  const auto start = Clock::now();
  if (readNamedTable<T>(load, table, true, std::string(name) + " error", noRule<T>)) {
    load.log().info("{} time {:f}", name, secondsSince(start));
  }
}

// Every table of a current-format file, in the order the other platform
// loads them: the records transactions refer to first.
void androidToMyDB(Load& load) {
  loadCurrentTable<AssetGroup>(load, groupTable(), "assetGroupToMyDB");
  loadCurrentTable<Asset>(load, accountTable(), "assetToMyDB");
  loadCurrentTable<Category>(load, categoryTable(), "categoryToMyDB");
  loadCurrentTable<Etc>(load, settingsTable(), "etcToMyDB");
  loadCurrentTable<Budget>(load, budgetTable(), "budgetToMyDB");
  loadCurrentTable<BudgetAmount>(load, budgetAmountTable(), "budgetAmountToMyDB");
  loadCurrentTable<Currency>(load, currencyTable(), "currencyToMyDB");
  loadCurrentTable<FavTransaction>(load, favouriteTable(), "favToMyDB");
  loadCurrentTable<Memo>(load, memoTable(), "memoToMyDB");
  loadCurrentTable<Photo>(load, photoTable(), "photoToMyDB");
  loadCurrentTable<RepeatTransaction>(load, repeatTable(), "repeatToMyDB");
  loadCurrentTable<MessageMacro2>(load, macroTable(), "messageMacroToMyDB");
  loadCurrentTable<CodeData>(load, codeDataTable(), "codeDataToMyDB");
  loadCurrentTable<CodeLink>(load, codeLinkTable(), "codeLinkToMyDB");
  currentTransactions(load, true);
  const auto tagsStart = Clock::now();
  const bool tags = readNamedTable<Tag>(load, tagTable(), true, "tagToMyDB error", noRule<Tag>) != nullptr;
  const bool links =
      readNamedTable<TxTag>(load, transactionTagTable(), true, "tagToMyDB error", noRule<TxTag>) != nullptr;
  if (links) linkTransactionTags(load);
  if (tags || links) load.log().info("tagToMyDB time {:f}", secondsSince(tagsStart));
  const auto messagesStart = Clock::now();
  if (readNamedTable<SmsRawRead>(load, messageTable(), true, "copySmsRawRead error",
                                 [](SmsRawRead& r, const FileRows&, const SelectedColumns&) { r.isSynced = 2; })) {
    load.log().info("copySmsRawRead time {:f}", secondsSince(messagesStart));
  }
  // The file's data needs no migration: it is at the current data version.
  // A file that says so already keeps its record as it came, so that the
  // load alone changes nothing that would go out as a change of this device.
  EtcRepository settings(load.target);
  const std::string current = std::to_string(kCurrentDataVersion);
  const std::vector<Etc> versions = settings.fetch<Etc>(
      " WHERE ZDATATYPE = ? AND " + live::recordSql(), etc_kind::kDbVersion);
  if (versions.size() != 1 || versions.front().Data != current) must(settings.updateDBVersion());
  load.report.dataVersion = current;
}

// --- The version-tolerant loader --------------------------------------------------------

// Reads `sql` (a band's selection) from `fileTable` into records of T; `row`
// fills a record from the current row and returns false for a row the rules
// leave out.
template <class T, class Row>
InterchangeTableLoad* readSelection(Load& load, const std::string& fileTable, const std::string& sql,
                                    const std::string& errorLine, Row&& row) {
  InterchangeTableLoad* entry = load.begin(fileTable, Entity<T>::table(), errorLine);
  if (!entry) return nullptr;
  FileRows rows(load.file, fileTable, sql);
  RecordInserter<T> inserter(load.target.store(), fileTable);
  while (rows.next()) {
    T record;
    if (!row(record, rows)) {
      ++entry->skipped;
      continue;
    }
    inserter.insert(record);
    load.written(*entry);
  }
  load.done(*entry);
  return entry;
}

// The integer at the start of `text` (its leading digits after white space
// and a sign), 0 when there is none.
int64_t leadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  int64_t value = 0;
  std::from_chars(text.data() + i, text.data() + text.size(), value);
  return value;
}

// The date of a transaction of an older file: the day of WDATE at the time
// of day that ZDATE has in the ledger's time zone. WDATE is the day the
// person chose, which ZDATE (an instant) shows as another day in another
// time zone. A WDATE that names no day gives ZDATE's own instant.
StoreDate transactionDate(const DateUtil& dates, const std::string& wdate, const FileRows& row, int zdate) {
  std::string digits = wdate;
  digits.erase(std::remove(digits.begin(), digits.end(), '-'), digits.end());
  const int64_t day = leadingInteger(digits);
  const int64_t seconds = row.integer(zdate) / 1000;
  const double instant = static_cast<double>(seconds - kReferenceDateOffset);
  const int year = static_cast<int>(day / 10000);
  const int month = static_cast<int>(day % 10000 / 100);
  const int dayOfMonth = static_cast<int>(day % 100);
  if (year >= kFirstYear && year <= kLastYear && month >= 1 && month <= 12 && dayOfMonth >= 1) {
    const LocalDateTime time = dates.toLocal(instant);
    const double date = dates.fromLocal(year, month, dayOfMonth, time.hour, time.minute, time.second);
    const LocalDateTime check = dates.toLocal(date);
    if (check.month == month && check.day == dayOfMonth) return date;
  }
  if (row.isNull(zdate)) return std::nullopt;
  return instant;
}

// The selections of every schema version, column for column as the other
// platform's files of that version have them ("null" where a version lacks
// a column the others have).
std::string categorySelection(int v) {
  if (v < 12) return "SELECT ID, NAME, ORDERSEQ, TYPE, STATUS, PID FROM ZCATEGORY";
  if (v == 12 || v == 15) return "SELECT ID, NAME, ORDERSEQ, TYPE, STATUS, PID, C_IS_DEL, C_UTIME FROM ZCATEGORY";
  if (v < 16) return "SELECT ID, NAME, ORDERSEQ, TYPE, STATUS, PID, C_IS_DEL, C_UTIME, C_UID FROM ZCATEGORY";
  return "SELECT ID, NAME, ORDERSEQ, TYPE, STATUS, null, C_IS_DEL, C_UTIME, uid, pUid, syncTime, syncVersion "
         "FROM ZCATEGORY";
}

std::string groupSelection(int v) {
  if (v < 13) {
    return "SELECT DEVICE_ID, CLOUD_ID, SYNC_CHECK, IS_DEL, USETIME, ACC_GROUP_NAME, CONTENT, TYPE, ORDERSEQ "
           "FROM ASSETGROUP";
  }
  if (v < 15) {
    return "SELECT DEVICE_ID, AG_UID, SYNC_CHECK, IS_DEL, USETIME, ACC_GROUP_NAME, CONTENT, TYPE, ORDERSEQ "
           "FROM ASSETGROUP";
  }
  if (v == 15) {
    return "SELECT DEVICE_ID, null, null, IS_DEL, USETIME, ACC_GROUP_NAME, CONTENT, TYPE, ORDERSEQ FROM ASSETGROUP";
  }
  return "SELECT DEVICE_ID, null, null, IS_DEL, USETIME, ACC_GROUP_NAME, null, TYPE, ORDERSEQ, uid, syncTime, "
         "syncVersion FROM ASSETGROUP";
}

std::string accountSelection(int v) {
  std::string columns =
      "ID, CARD_ACCOUNT_ID, CARD_ACCOUNT_NAME, CARD_DAY_FIN, CARD_DAY_PAY, GROUP_ID, NIC_NAME, ORDERSEQ, TYPE, "
      "ZDATA, ZDATA1, ZDATA2";
  if (v >= 12 && v < 16) columns += ", A_UTIME";
  if (v >= 13 && v < 16) columns += ", CARD_USAGE_HURDLE_TYPE, CARD_USAGE_HURDLE_AMOUNT, CURRENCY_ID";
  if (v >= 16) {
    columns =
        "ID, null, null, CARD_DAY_FIN, CARD_DAY_PAY, null, NIC_NAME, ORDERSEQ, null, ZDATA, ZDATA1, ZDATA2, A_UTIME, "
        "CARD_USAGE_HURDLE_TYPE, CARD_USAGE_HURDLE_AMOUNT, null, uid, groupUid, cardAssetUid, currencyUid, "
        "IS_TRANS_EXPENSE, syncTime, syncVersion, SMS_STRING, SMS_TEL, APP_PACKAGE, APP_NAME";
  }
  // Files of the current layout also carry the automatic card payment and the
  // start of the usage target; leaving them out would switch off the
  // payments a person set up.
  if (v >= 19) columns += ", IS_CARD_AUTO_PAY, CARD_USAGE_HURDLE_START_DATE";
  return "SELECT " + columns + " FROM ASSETS" + (v >= 16 ? " ORDER BY ID" : "");
}

std::string favouriteSelection(int v) {
  if (v < 16) {
    return std::string("SELECT DEVICE_ID, ") + (v < 14 ? "CLOUD_ID" : "FAV_UID") +
           ", SYNC_CHECK, IS_DEL, USETIME, MARK, DO_TYPE, ACCOUNT_ID, TO_ACCOUNT_ID, CATEGORY_ID, SUBCATEGORY_ID, "
           "AMOUNT_SUB, CURRENCY_SUB, MEMO, PAYEE, ORDERSEQ" +
           (v >= 13 ? ", CURRENCY_ID" : "") + " FROM FAVTRANSACTION";
  }
  return std::string(
             "SELECT DEVICE_ID, null, null, IS_DEL, USETIME, MARK, DO_TYPE, null, null, null, null, AMOUNT_SUB, null, "
             "MEMO, PAYEE, ORDERSEQ, null, uid, assetUid, toAssetUid, ") +
         (v < 18 ? "categoryUid" : "null") + ", currencyUid, syncTime, syncVersion" + (v >= 18 ? ", ctgUid" : "") +
         " FROM FAVTRANSACTION";
}

std::string repeatSelection(int v) {
  if (v < 16) {
    return std::string("SELECT DEVICE_ID, ") + (v < 13 ? "CLOUD_ID" : "RTX_UID") +
           ", SYNC_CHECK, IS_DEL, USETIME, MARK, END_DATE, NEXT_DATE, DO_TYPE, REPEAT_TYPE, ACCOUNT_ID, "
           "TO_ACCOUNT_ID, CATEGORY_ID, SUBCATEGORY_ID, AMOUNT_SUB, CURRENCY_SUB, MEMO, PAYEE, TZ_NAME, TZ_OFFSET" +
           (v >= 13 ? ", CURRENCY_ID" : "") + " FROM REPEATTRANSACTION";
  }
  return std::string(
             "SELECT DEVICE_ID, null, null, IS_DEL, USETIME, MARK, END_DATE, NEXT_DATE, DO_TYPE, REPEAT_TYPE, null, "
             "null, null, null, AMOUNT_SUB, null, MEMO, PAYEE, null, null, null, uid, assetUid, toAssetUid, ") +
         (v < 18 ? "categoryUid" : "null") + ", currencyUid, syncTime, syncVersion" + (v >= 18 ? ", ctgUid" : "") +
         " FROM REPEATTRANSACTION";
}

std::string currencySelection(int v) {
  std::string columns = std::string("ID, null, ") + (v >= 15 ? "NAME" : "null") +
                        ", ISO, MAIN_ISO, IS_DEL, ORDER_SEQ, RATE, SYMBOL, INSERT_TYPE, SYMBOL_POSITION, "
                        "IS_MAIN_CURRENCY, IS_SHOW, MODIFY_DATE, DECIMAL_POINT";
  if (v >= 16) columns += ", uid, syncTime, syncVersion";
  return "SELECT " + columns + " FROM CURRENCY";
}

std::string settingsSelection(int v) {
  std::string columns = "ZDATATYPE, ZDATA, ZZDATA2, ZZDATA, ZZDATA1";
  if (v >= 16) columns += ", dataTypeKey, uid, syncTime, syncVersion";
  if (v >= 19) columns += ", isDel, E_UTIME";
  return "SELECT " + columns + " FROM ZETC";
}

std::string transactionSelection(int v) {
  const std::string older =
      "AID, ASSET_GROUP, ASSET_ID, ASSET_NIC, ASSET_NAME, CARDDIVIDID, CARDDIVIDMONTH, CATEGORY_ID, CATEGORY_NAME, "
      "ZCONTENT, WDATE, DO_TYPE, OPPOSITEAID, ZDATA, ZDATA1, ZDATA2, IN_ZMONEY, ZMONEY, ZDATE";
  if (v < 12) return "SELECT " + older + " FROM INOUTCOME";
  if (v == 12) return "SELECT " + older + ", FEE_ID, SMS_ORIGIN, SMS_PARSE_CONTENT FROM INOUTCOME";
  if (v < 16) {
    return "SELECT " + older +
           ", FEE_ID, SMS_ORIGIN, SMS_PARSE_CONTENT, CURRENCY_ID, AMOUNT_ACCOUNT, TX_UID, CARD_DIVIDE_MONTH_STR "
           "FROM INOUTCOME";
  }
  std::string columns = std::string(
                            "AID, null, null, ASSET_NIC, null, null, CARDDIVIDMONTH, null, CATEGORY_NAME, ZCONTENT, "
                            "WDATE, DO_TYPE, null, ZDATA, null, ") +
                        (v < 18 ? "ZDATA2" : "null") +
                        ", IN_ZMONEY, ZMONEY, ZDATE, null, SMS_ORIGIN, SMS_PARSE_CONTENT, null, AMOUNT_ACCOUNT, null, "
                        "CARD_DIVIDE_MONTH_STR, uid, assetUid, " +
                        (v < 18 ? "categoryUid" : "null") +
                        ", txUidTrans, cardDivideUid, txUidFee, currencyUid, syncTime, syncVersion";
  if (v >= 18) columns += ", ctgUid, toAssetUid, UTIME";
  if (v >= 19) return "SELECT " + columns + ", mark, lat, lng, gstd, wtime, paid, SMS_RDATE, IS_DEL FROM INOUTCOME order by aid";
  return "SELECT " + columns + " FROM INOUTCOME";
}

std::string photoSelection(int v) {
  if (v < 16) {
    return "SELECT DEVICE_ID, FILE_NAME, CLOUD_ID, INOUT_ID, USETIME, IS_DEL, FILE_SIZE, FILE_PATH, SYNC_CHECK, "
           "ORG_FILE_PATH, ORG_FILE_NAME FROM PHOTO";
  }
  return "SELECT DEVICE_ID, FILE_NAME, null, null, USETIME, IS_DEL, FILE_SIZE, FILE_PATH, null, ORG_FILE_PATH, "
         "ORG_FILE_NAME, uid, txUid, syncTime, syncVersion FROM PHOTO";
}

std::string budgetSelection(int v) {
  if (v < 16) {
    return "SELECT ID, B_UID, CATEGORY_ID, TO_ACCOUNT_ID, DO_TYPE, PERIOD_TYPE, IS_TOTAL, IS_DEL, TRANSFER_TYPE, "
           "ORDER_SEQ, MODIFY_DATE FROM BUDGET";
  }
  return "SELECT ID, null, null, null, DO_TYPE, PERIOD_TYPE, IS_TOTAL, IS_DEL, TRANSFER_TYPE, ORDER_SEQ, "
         "MODIFY_DATE, uid, targetUid, syncTime, syncVersion FROM BUDGET";
}

std::string budgetAmountSelection(int v) {
  if (v < 16) return "SELECT ID, UID, BUDGET_ID, IS_DEL, AMOUNT, BUDGET_PERIOD, MODIFY_DATE FROM BUDGET_AMOUNT";
  return "SELECT ID, UID, null, IS_DEL, AMOUNT, BUDGET_PERIOD, MODIFY_DATE, uid, budgetUid, syncTime, syncVersion "
         "FROM BUDGET_AMOUNT";
}

void categorySection(Load& load) {
  const int v = load.version;
  readSelection<Category>(load, "ZCATEGORY", categorySelection(v), "android ZCATEGORY error",
                          [v](Category& r, const FileRows& row) {
                            r.aId = row.integer(0);
                            r.Name = row.text(1);
                            r.Order = row.integer(2);
                            r.doType = row.integer(3);
                            r.Status = row.integer(4);
                            if (v < 16) r.zData = row.text(5);
                            if (v >= 12) {
                              r.isDel = row.integer(6);
                              r.utime = row.integer(7);
                            }
                            if (v >= 16) {
                              r.uid = row.uid(8);
                              r.pUid = row.text(9);
                              r.syncTime = row.syncTime(10);
                              r.syncVersion = row.integer(11);
                            }
                            return true;
                          });
}

void groupSection(Load& load) {
  const int v = load.version;
  readSelection<AssetGroup>(load, "ASSETGROUP", groupSelection(v), "android ASSETGROUP error",
                            [v](AssetGroup& r, const FileRows& row) {
                              r.aId = row.integer(0);
                              r.isDel = row.integer(3);
                              r.utime = row.integer(4);
                              r.AssetGroupName = row.text(5);
                              r.Status = row.integer(7);
                              r.Order = row.integer(8);
                              if (v >= 16) {
                                r.uid = row.uid(9);
                                r.syncTime = row.syncTime(10);
                                r.syncVersion = row.integer(11);
                              }
                              return true;
                            });
}

void accountSection(Load& load) {
  const int v = load.version;
  readSelection<Asset>(load, "ASSETS", accountSelection(v), "android account error",
                       [v](Asset& r, const FileRows& row) {
                         r.aId = row.integer(0);
                         if (v < 16) {
                           r.Card_Account_ID = row.integer(1);
                           r.Card_Account_Name = row.text(2);
                           r.Group_ID = row.integer(5);
                         }
                         r.Card_DayFin = row.text(3);
                         r.Card_DayPay = row.text(4);
                         r.NicName = row.text(6);
                         r.Order = row.integer(7);
                         // The deletion code, the memo and the include-in-totals flag.
                         r.isDel = row.integer(9);
                         r.memo = row.text(10);
                         r.isReflect = row.integer(11);
                         if (v >= 12) r.utime = row.integer(12);
                         if (v >= 13) {
                           r.card_usage_hurdle_type = row.integer(13);
                           r.card_usage_hurdle_amount = row.integer(14);
                         }
                         if (v >= 13 && v < 16) r.currencyId = row.integer(15);
                         if (v >= 16) {
                           r.uid = row.uid(16);
                           r.groupUid = row.text(17);
                           r.cardAssetUid = row.text(18);
                           r.currencyUid = row.text(19);
                           r.transferExpense = row.integer(20);
                           r.syncTime = row.syncTime(21);
                           r.syncVersion = row.integer(22);
                           r.smsString = row.text(23);
                           r.smsTel = row.text(24);
                           r.appPackage = row.text(25);
                           r.appName = row.text(26);
                         }
                         if (v >= 19) {
                           r.isCardAutoPay = row.intValue(27);
                           r.card_usage_hurdle_start_date = row.intValue(28);
                         }
                         return true;
                       });
}

void favouriteSection(Load& load) {
  const int v = load.version;
  readSelection<FavTransaction>(load, "FAVTRANSACTION", favouriteSelection(v), "FAVTRANSACTION sql error",
                                [v](FavTransaction& r, const FileRows& row) {
                                  r.aId = row.integer(0);
                                  r.isDel = row.integer(3);
                                  r.utime = row.integer(4);
                                  r.mark = row.integer(5);
                                  r.doType = row.integer(6);
                                  if (v < 16) {
                                    r.account_id = row.integer(7);
                                    r.to_account_id = row.integer(8);
                                    r.category_id = row.integer(9);
                                    r.subcategory_id = row.integer(10);
                                    r.currency_sub = row.text(12);
                                  }
                                  r.amountSub = row.number(11);
                                  r.memo = row.text(13);
                                  r.payee = row.text(14);
                                  r.order = row.integer(15);
                                  if (v >= 13 && v < 16) r.currencyId = row.integer(16);
                                  if (v >= 16) {
                                    r.uid = row.uid(17);
                                    r.assetUid = row.text(18);
                                    r.toAssetUid = row.text(19);
                                    if (v < 18) r.categoryUid = row.text(20);
                                    r.currencyUid = row.text(21);
                                    r.syncTime = row.syncTime(22);
                                    r.syncVersion = row.integer(23);
                                  }
                                  if (v >= 18) r.categoryUid = row.value(24);
                                  return true;
                                });
}

void currencySection(Load& load) {
  const int v = load.version;
  readSelection<Currency>(load, "CURRENCY", currencySelection(v), "android CURRENCY error",
                          [v](Currency& r, const FileRows& row) {
                            r.aId = row.integer(0);
                            if (v >= 15) r.memo = row.text(2);
                            r.iso = row.text(3);
                            r.mainIso = row.text(4);
                            r.isDel = row.integer(5);
                            r.orderSeq = row.integer(6);
                            r.rate = row.number(7);
                            r.symbol = row.text(8);
                            r.insertType = row.text(9);
                            r.symbolPosition = row.text(10);
                            r.isMainCurrency = row.integer(11);
                            r.isShow = row.integer(12);
                            r.utime = row.integer(13);
                            r.point = row.integer(14);
                            if (v >= 16) {
                              r.uid = row.uid(15);
                              r.syncTime = row.syncTime(16);
                              r.syncVersion = row.integer(17);
                            }
                            return true;
                          });
}

// Currency symbols that older releases of the other platform wrote.
std::string currentSymbol(const std::string& data) {
  static const std::map<std::string, std::string> kRenamed = {
      {"￥", "JP￥"}, {"$", "US$"}, {"R", "руб"}, {"Kč ", "Kč"}, {"MXN", "Mex$"}};
  const auto it = kRenamed.find(data);
  return it == kRenamed.end() ? data : it->second;
}

// The data version that tells the migrations what a file of schema version
// `v` still needs.
std::string dataVersionOfSchema(int v) {
  if (v < 13) return "1280";
  if (v < 15) return "2190";
  if (v == 15) return "2191";
  return "2192";
}

void settingsSection(Load& load) {
  const int v = load.version;
  readSelection<Etc>(load, "ZETC", settingsSelection(v), "Etc sql error", [v](Etc& r, const FileRows& row) {
    r.DataType = row.integer(0);
    r.Data = currentSymbol(row.text(1));
    r.zData2 = row.text(2);
    r.zData = row.text(3);
    r.zData1 = row.text(4);
    if (v < 16) {
      r.uid = BaseRepository::newUid();
    } else {
      r.datayTypeKey = row.text(5);
      r.uid = row.uid(6).value_or(BaseRepository::newUid());
      r.syncTime = row.syncTime(7);
      r.syncVersion = row.integer(8);
    }
    if (v >= 19) {
      r.isDel = row.integer(9);
      r.utime = row.integer(10);
    }
    return true;
  });
  // Made single-valued by the setting's own rule, so that no older version
  // record the file carries can stand beside it.
  load.report.dataVersion = dataVersionOfSchema(v);
  must(EtcRepository(load.target).updateEtcUserSettingByType(etc_kind::kDbVersion, load.report.dataVersion));
  // The older transfer-total option is no longer read here: a file that
  // still has it on gets it off, as the other phone turns it off on its way
  // in.
  EtcRepository settings(load.target);
  if (const auto old = settings.getEtcUserSettingByType(etc_kind::kOldTransferTotal); old && old->Data != "0") {
    must(settings.updateEtcUserSettingByType(etc_kind::kOldTransferTotal, "0"));
  }
}

void repeatSection(Load& load) {
  const int v = load.version;
  readSelection<RepeatTransaction>(load, "REPEATTRANSACTION", repeatSelection(v), "android repeatTransaction error",
                                   [v](RepeatTransaction& r, const FileRows& row) {
                                     r.aId = row.integer(0);
                                     r.isDel = row.integer(3);
                                     r.utime = row.integer(4);
                                     r.mark = row.integer(5);
                                     r.endDate = row.integer(6);
                                     r.nextDate = row.integer(7);
                                     r.doType = row.integer(8);
                                     r.repeatType = row.integer(9);
                                     if (v < 16) {
                                       r.account_id = row.integer(10);
                                       r.to_account_id = row.integer(11);
                                       r.category_id = row.integer(12);
                                       r.subcategory_id = row.integer(13);
                                       r.currency_sub = row.text(15);
                                     }
                                     r.amountSub = row.number(14);
                                     r.memo = row.text(16);
                                     r.payee = row.text(17);
                                     if (v >= 13 && v < 16) r.currencyId = row.integer(20);
                                     if (v >= 16) {
                                       r.uid = row.uid(21);
                                       r.assetUid = row.text(22);
                                       r.toAssetUid = row.text(23);
                                       if (v < 18) r.categoryUid = row.text(24);
                                       r.currencyUid = row.text(25);
                                       r.syncTime = row.syncTime(26);
                                       r.syncVersion = row.integer(27);
                                     }
                                     if (v >= 18) r.categoryUid = row.value(28);
                                     return true;
                                   });
}

// The three amounts of an older file's transaction. Line breaks inside the
// numbers are dropped; "Infinity" reads as 0, except that the main-currency
// amount then takes the entered one; an account amount of 0 beside a
// non-zero entered amount takes the entered amount.
void olderAmounts(InOutCome& r, const FileRows& row) {
  const std::string entered = withoutLineBreaks(row.text(16));
  std::string main = withoutLineBreaks(row.text(17));
  r.amountSub = spellsNonFinite(entered) ? 0 : leadingNumber(entered);
  if (spellsNonFinite(main) && !entered.empty()) main = entered;
  r.amount = spellsNonFinite(main) ? 0 : leadingNumber(main);
  const std::string account = withoutLineBreaks(row.text(23));
  double amountAccount = spellsNonFinite(account) ? 0 : leadingNumber(account);
  if (amountAccount == 0 && *r.amountSub != 0) amountAccount = *r.amountSub;
  r.amountAccount = amountAccount;
}

void transactionSection(Load& load) {
  const int v = load.version;
  const auto start = Clock::now();
  const DateUtil& dates = load.dates();
  auto* entry = readSelection<InOutCome>(
      load, "INOUTCOME", transactionSelection(v), "InOutCome sql error", [v, &dates](InOutCome& r, const FileRows& row) {
        r.aId = row.integer(0);
        if (v < 16) {
          r.Asset_Group = row.integer(1);
          r.Asset_ID = row.integer(2);
          r.Asset_Name = row.text(4);
          r.CardDividId = row.integer(5);
          r.Category_ID = row.integer(7);
          r.OppositeAid = row.integer(12);
          r.zData1 = row.text(14);
        }
        r.Asset_Nic = row.text(3);
        if (!row.isNull(6) && !row.text(6).empty()) {
          const int64_t months = row.integer(6);
          r.cardDivideMonth = std::to_string(months == 9 ? 10009 : months);
        }
        r.Category_Name = row.text(8);
        r.Content = trimmed(row.text(9));
        r.Date = transactionDate(dates, row.text(10), row, 18);
        if (r.Date) r.txDateStr = dates.dayKey(*r.Date);
        r.Do_Type = row.text(11);
        if (!row.isNull(13)) r.memo = row.text(13);
        if (v < 18) r.zData2 = row.text(15);
        r.currency = "";
        if (v >= 12) {
          if (v < 16) r.fee_ID = row.integer(19);
          const std::string origin = row.text(20);
          if (!origin.empty()) r.smsOrigine = origin;
          r.smsParseContents = row.text(21);
        }
        if (v >= 13) {
          olderAmounts(r, row);
          r.cardDivideMonthStr = row.text(25);
        } else {
          // No amounts before version 13; the main-currency amount as the file
          // wrote it stays in the older model's field for the migrations.
          std::string main = withoutLineBreaks(row.text(17));
          if (spellsNonFinite(main)) main = withoutLineBreaks(row.text(16));
          r.Money = main;
        }
        if (v >= 13 && v < 16) r.currencyId = row.integer(22);
        if (v >= 16) {
          r.uid = row.uid(26);
          r.assetUid = row.text(27);
          const std::string categoryColumn = row.text(28);
          r.categoryUid = categoryColumn;
          const std::string replacement = v < 18 ? row.text(15) : std::string();
          if (!replacement.empty()) r.categoryUid = replacement;
          if (isKind(r, TxKind::kTransferOut) || isKind(r, TxKind::kTransferIn)) r.toAssetUid = categoryColumn;
          r.txUidTrans = row.text(29);
          r.cardDivideUid = row.text(30);
          r.txUidFee = row.text(31);
          r.currencyUid = row.text(32);
          r.syncTime = row.syncTime(33);
          r.syncVersion = row.integer(34);
        } else {
          r.uid = std::to_string(*r.aId);
        }
        if (v >= 18) {
          if (auto category = row.value(35)) r.categoryUid = category;
          if (auto opposite = row.value(36)) r.toAssetUid = opposite;
          if (auto utime = row.intValue(37)) r.utime = utime;
        }
        if (v >= 19) {
          if (auto mark = row.intValue(38)) r.mark = mark;
          if (auto lat = row.value(39)) r.lat = lat;
          if (auto lng = row.value(40)) r.lng = lng;
          if (auto gstd = row.value(41)) r.gstd = gstd;
          if (auto wtime = row.value(42)) r.wtime = wtime;
          if (auto paid = row.value(43)) r.paid = paid;
          if (auto received = row.value(44)) r.smsRDate = received;
          if (auto isDel = row.intValue(45)) r.isDel = isDel;
        }
        return true;
      });
  if (entry) load.log().info("android tx data recovery executionTime = {:f}", secondsSince(start));
}

void photoSection(Load& load) {
  const int v = load.version;
  readSelection<Photo>(load, "PHOTO", photoSelection(v), "Photo sql error", [v](Photo& r, const FileRows& row) {
    r.deviceId = row.integer(0);
    r.fileName = row.text(1);
    if (v < 16) r.inOutComeId = row.integer(3);
    r.utime = row.integer(4);
    r.isDel = row.integer(5);
    r.fileSize = row.integer(6);
    // The file lives in our photo folder, whatever path the other phone had.
    r.filePath = "Documents/Varnel/" + *r.fileName;
    r.orgFilePath = row.text(9);
    r.orgFileName = row.text(10);
    if (v < 16) {
      r.uid = BaseRepository::newUid();
    } else {
      r.uid = row.uid(11);
      r.txUid = row.text(12);
      r.syncTime = row.syncTime(13);
      r.syncVersion = row.integer(14);
    }
    return true;
  });
}

void budgetSection(Load& load) {
  const int v = load.version;
  readSelection<Budget>(load, "BUDGET", budgetSelection(v), "android Budget error", [v](Budget& r, const FileRows& row) {
    // Deleted budgets are not brought over.
    if (row.integer(7) == 1) return false;
    r.aId = row.integer(0);
    r.doTypeStr = row.text(4);
    r.periodTypeInt = row.integer(5);
    r.totalTypeInt = row.integer(6);
    r.isDel = row.integer(7);
    r.transTypeInt = row.integer(8);
    r.order = row.integer(9);
    r.utime = row.integer(10);
    if (v < 16) {
      const std::string category = row.text(2);
      if (!category.empty()) {
        r.targetUid = *r.totalTypeInt == 1 && row.integer(2) == 0 ? std::string() : category;
      } else {
        r.targetUid = row.text(3);
      }
      r.uid = row.text(0);
    } else {
      r.uid = row.uid(11);
      r.targetUid = row.text(12);
      r.syncTime = row.syncTime(13);
      r.syncVersion = row.integer(14);
    }
    return true;
  });
}

void budgetAmountSection(Load& load) {
  const int v = load.version;
  readSelection<BudgetAmount>(load, "BUDGET_AMOUNT", budgetAmountSelection(v), "android budgetAmount sql error",
                              [v](BudgetAmount& r, const FileRows& row) {
                                r.aId = row.integer(0);
                                r.uid = row.uid(1);
                                if (v < 16) r.budgetId = row.integer(2);
                                r.isDel = row.integer(3);
                                r.amount = row.number(4);
                                r.budgetPeriod = row.integer(5);
                                r.utime = row.integer(6);
                                if (v >= 16) {
                                  r.budgetUid = row.text(8);
                                  r.syncTime = row.syncTime(9);
                                  r.syncVersion = row.integer(10);
                                }
                                return true;
                              });
}

void memoSection(Load& load) {
  readSelection<Memo>(load, "MEMO",
                      "SELECT id, uid, title, content, memoTime, memoDate, pinned, pinnedTime, orderSeq, color, isDel, "
                      "utime, syncTime, syncVersion FROM MEMO",
                      "android memo error", [](Memo& r, const FileRows& row) {
                        r.uid = row.uid(1);
                        r.title = row.value(2);
                        r.content = row.value(3);
                        r.memoTime = row.intValue(4);
                        r.memoDate = row.value(5);
                        r.pinned = row.intValue(6);
                        r.pinnedTime = row.integer(7);
                        r.orderSeq = row.intValue(8);
                        r.color = row.value(9);
                        r.isDel = row.intValue(10);
                        r.utime = row.intValue(11);
                        r.syncTime = row.syncTime(12);
                        r.syncVersion = row.intValue(13);
                        return true;
                      });
}

// The identifier repair on the working copy: "0" is no identifier, and of the
// rows that share one, the first (by its key) keeps it and every other gets
// "<uid>_<key>". Copies of transactions, favourites, recurring entries and
// memos stay live; copies of anything else are marked deleted where the
// table has its deletion column (message rules are switched off).
struct RepairTable {
  const char* table;
  const char* key;
  const char* deletion;
  const char* deleted;  // the deletion column's value for a copy; null: copies stay live
};

constexpr RepairTable kRepairTables[] = {
    {"INOUTCOME", "AID", "IS_DEL", nullptr},
    {"ASSETS", "ID", "ZDATA", "1"},
    {"ASSETGROUP", "DEVICE_ID", "IS_DEL", "1"},
    {"ZCATEGORY", "ID", "C_IS_DEL", "1"},
    {"CURRENCY", "ID", "IS_DEL", "1"},
    {"MESSAGEMACRO2", "AID", "USEYN", "'N'"},
    {"ZETC", "Z_PK", "isDel", "1"},
    {"BUDGET", "ID", "IS_DEL", "1"},
    {"BUDGET_AMOUNT", "ID", "IS_DEL", "1"},
    {"TX_TAG", "ID", "isDel", "1"},
    {"TAG", "ID", "isDel", "1"},
    {"PHOTO", "DEVICE_ID", "IS_DEL", "1"},
    {"REPEATTRANSACTION", "DEVICE_ID", "IS_DEL", nullptr},
    {"FAVTRANSACTION", "DEVICE_ID", "IS_DEL", nullptr},
    {"MEMO", "ID", "isDel", nullptr},
    {"SMS_RAW_READ", "ID", "IS_DEL", "1"},
};

std::vector<TableRepair> repairUids(SQLite::Database& db, FileSchema& schema, spdlog::logger& log) {
  std::vector<TableRepair> repairs;
  SQLite::Transaction transaction(db);
  for (const RepairTable& t : kRepairTables) {
    if (!schema.hasTable(t.table) || !schema.hasColumn(t.table, "uid")) continue;
    TableRepair repair;
    repair.table = t.table;
    // The key names each copy; a table without its key column still has its
    // row ids.
    const std::string key = schema.hasColumn(t.table, t.key) ? t.key : "rowid";
    try {
      db.exec(fmt::format("Update {} set uid = null where uid = '0'", t.table));
      repair.zeroUidsCleared = db.getChanges();
      repair.duplicateUids =
          db.execAndGet(fmt::format("select count(*) from (select uid from {} where uid is not null group by uid "
                                    "having count(*) > 1)",
                                    t.table))
              .getInt();
      if (repair.duplicateUids > 0) {
        log.info("tableName {} arraypk {}", t.table, repair.duplicateUids);
        std::string set = fmt::format("uid = uid||'_'||{}", key);
        // A table of a version before its deletion column still gets unique
        // identifiers; its copies then stay live.
        if (t.deleted && schema.hasColumn(t.table, t.deletion)) set += fmt::format(", {} = {}", t.deletion, t.deleted);
        db.exec(fmt::format(
            "Update {0} set {1} where {2} in (select k from (select {2} as k, row_number() over "
            "(partition by uid order by {2}) as copy from {0} where uid is not null) where copy > 1)",
            t.table, set, key));
        repair.rowsRenamed = db.getChanges();
      }
    } catch (const SQLite::Exception& e) {
      fileFailed(t.table, e);
    }
    repairs.push_back(repair);
  }
  transaction.commit();
  return repairs;
}

// A copy of the file in the documents folder's "temp" folder, removed (with
// whatever SQLite kept beside it) when it goes.
class WorkingCopy {
 public:
  explicit WorkingCopy(const Environment& env) {
    const std::filesystem::path folder = env.documentsDir() / "temp";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) throw WriteFailed(Status::systemFailure("cannot create " + folder.string() + ": " + ec.message()));
    std::random_device random;
    path_ = folder / fmt::format("interchange-{}-{:08x}.sqlite", ::getpid(), random());
  }
  ~WorkingCopy() {
    std::error_code ec;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::filesystem::remove(path_.string() + suffix, ec);
  }
  WorkingCopy(const WorkingCopy&) = delete;
  WorkingCopy& operator=(const WorkingCopy&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Copies every page of `source` into a new file at `copy` (SQLite's online
// backup: what the file holds with its journal, never a torn read).
void copyDatabase(SQLite::Database& source, const std::filesystem::path& copy) {
  std::unique_ptr<SQLite::Database> target;
  try {
    target = std::make_unique<SQLite::Database>(copy.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
  } catch (const SQLite::Exception& e) {
    throw WriteFailed(Status::systemFailure("cannot create the working copy " + copy.string() + ": " + e.what()));
  }
  sqlite3_backup* backup = sqlite3_backup_init(target->getHandle(), "main", source.getHandle(), "main");
  if (!backup) {
    throw WriteFailed(Status::systemFailure("cannot copy into " + copy.string() + ": " +
                                            sqlite3_errmsg(target->getHandle())));
  }
  const int rc = sqlite3_backup_step(backup, -1);
  sqlite3_backup_finish(backup);
  if (rc == SQLITE_DONE) return;
  const int primary = rc & 0xFF;
  if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT || rc == SQLITE_IOERR_SHORT_READ) {
    throw FileUnusable(sqlite3_errstr(rc));
  }
  throw WriteFailed(Status::systemFailure("cannot copy the file into " + copy.string() + ": " + sqlite3_errstr(rc)));
}

// The file's triggers would run on our writes to the working copy: they go
// before anything is written.
void dropTriggers(SQLite::Database& db) {
  std::vector<std::string> names;
  SQLite::Statement st(db, "SELECT name FROM sqlite_master WHERE type = 'trigger'");
  while (st.executeStep()) names.push_back(st.getColumn(0).getString());
  for (std::string name : names) {
    for (size_t pos = 0; (pos = name.find('"', pos)) != std::string::npos; pos += 2) name.insert(pos, "\"");
    db.exec("DROP TRIGGER IF EXISTS \"" + name + "\"");
  }
}

// Every section the file's version has, in the order the other platform
// reads them.
void androidDBRecovery(Load& load) {
  const int v = load.version;
  categorySection(load);
  groupSection(load);
  accountSection(load);
  favouriteSection(load);
  if (v >= 13) currencySection(load);
  settingsSection(load);
  repeatSection(load);
  transactionSection(load);
  photoSection(load);
  readNamedTable<SmsRawRead>(load, messageTable(), false, "android smsRawRead error", noRule<SmsRawRead>);
  if (v >= 13) {
    budgetSection(load);
    budgetAmountSection(load);
  }
  if (v >= 15) memoSection(load);
  if (v >= 18) {
    readNamedTable<Tag>(load, tagTable(), false, "android tag error", noRule<Tag>);
    must(TagRepository(load.target).initTag());
    if (readNamedTable<TxTag>(load, transactionTagTable(), false, "android txTag error", noRule<TxTag>)) {
      linkTransactionTags(load);
    }
    readNamedTable<MessageMacro2>(load, macroTable(), false, "android messageMacro error", noRule<MessageMacro2>);
  }
  if (v >= 19) {
    readNamedTable<CodeData>(load, codeDataTable(), false, "android codeData error", noRule<CodeData>);
    readNamedTable<CodeLink>(load, codeLinkTable(), false, "android codeLink error", noRule<CodeLink>);
  }
}

// Caches read from rows a failed load rolled back must not outlive them.
void forgetCaches(Ledger& target) noexcept {
  try {
    target.commonData().ReloadTheData();
  } catch (const std::exception& e) {
    target.log().error("cannot reload the caches after a failed load: {}", e.what());
  }
}

// The first ledger table that holds a row, if any.
std::optional<std::string> firstTableWithRows(Store& store) {
  for (const TableSchema& schema : allTableSchemas()) {
    if (store.db().execAndGet("SELECT EXISTS (SELECT 1 FROM " + schema.table + ")").getInt() != 0) {
      return schema.table;
    }
  }
  return std::nullopt;
}

}  // namespace

const char* interchangeLoadModeName(InterchangeLoadMode mode) {
  return mode == InterchangeLoadMode::kCurrentFormat ? "current format" : "any version";
}

int64_t InterchangeLoadReport::rows(const std::string& storeTable) const {
  int64_t n = 0;
  for (const auto& t : tables) {
    if (t.storeTable == storeTable) n += t.rows;
  }
  return n;
}

bool isAndroiFile(const std::filesystem::path& path, spdlog::logger* log) {
  try {
    auto kind = sniffFileKind(path);
    if (!kind || *kind != FileKind::kSqlite) throw FileUnusable("not an SQLite database");
    auto db = openReadOnly(path);
    SQLite::Statement sequence(*db, "SELECT * FROM sqlite_sequence");
    return FileSchema(*db).hasTable("INOUTCOME");
  } catch (const std::exception&) {
    if (log) log->error("android db error");
    return false;
  }
}

int queryUserVersion(const std::filesystem::path& path) {
  try {
    auto kind = sniffFileKind(path);
    if (!kind || *kind != FileKind::kSqlite) return -1;
    auto db = openReadOnly(path);
    return userVersionOf(*db);
  } catch (const std::exception&) {
    return -1;
  }
}

Result<InterchangeLoadReport> loadInterchange(Ledger& target, const std::filesystem::path& file,
                                              InterchangeLoadMode mode, const InterchangeLoadProgress& progress) {
  InterchangeLoadReport report;
  report.mode = mode;
  const std::string name = file.string();
  auto unusable = [&](const std::string& why) {
    target.log().error("android db error: {}: {}", name, why);
    return Status::invalidInput(name + " is not a usable interchange file: " + why);
  };
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return Status::invalidInput("no such file: " + name);
  if (std::filesystem::is_directory(file, ec)) return Status::invalidInput(name + " is a folder, not a file");
  const Result<FileKind> kind = sniffFileKind(file);
  if (!kind) return kind.status();
  switch (*kind) {
    case FileKind::kSqlite: break;
    case FileKind::kEmpty: return unusable("it is empty");
    case FileKind::kGzip: return unusable("it is a gzip stream, not an SQLite database");
    case FileKind::kOther: return unusable("it is not an SQLite database");
  }
  try {
    if (auto table = firstTableWithRows(target.store())) {
      return Status::invalidInput("the ledger to load into is not empty (" + *table + " has records)");
    }
    std::unique_ptr<SQLite::Database> db = openReadOnly(file);
    std::optional<FileSchema> schema;
    schema.emplace(*db);
    for (const char* table : {"INOUTCOME", "ASSETS", "ASSETGROUP", "ZCATEGORY", "ZETC"}) {
      if (!schema->hasTable(table)) {
        int applicationId = 0;
        try {
          applicationId = db->execAndGet("PRAGMA application_id").getInt();
        } catch (const SQLite::Exception&) {
        }
        if (applicationId == Store::kApplicationId) throw FileUnusable("it is a Varnel ledger store");
        throw FileUnusable(std::string("it has no table ") + table);
      }
    }
    report.schemaVersion = userVersionOf(*db);
    std::optional<WorkingCopy> copy;
    if (mode == InterchangeLoadMode::kCurrentFormat) {
      if (report.schemaVersion != interchange::kUserVersion) {
        throw FileUnusable(fmt::format("its schema version is {}, not the current {}", report.schemaVersion,
                                       interchange::kUserVersion));
      }
    } else {
      // The repair renames rows: it works on a copy, never on the file it
      // was given.
      copy.emplace(target.env());
      copyDatabase(*db, copy->path());
      db.reset();
      try {
        SQLite::Database working(copy->path().string(), SQLite::OPEN_READWRITE);
        harden(working);
        working.exec("PRAGMA journal_mode = DELETE");
        dropTriggers(working);
        FileSchema workingSchema(working);
        report.uidRepairs = repairUids(working, workingSchema, target.log());
      } catch (const SQLite::Exception& e) {
        fileFailed("", e);
      }
      db = openReadOnly(copy->path());
      schema.emplace(*db);
    }
    {
      StoreTransaction transaction(target.store());
      // The text search index is built once over the loaded transactions:
      // kept in step row by row, each insert would write an index segment of
      // its own. Both happen inside the load's transaction, so a failed load
      // leaves the index as it was.
      search_index::dropSearchIndex(target.store().db());
      Load load(target, *db, *schema, report.schemaVersion, report, progress);
      if (mode == InterchangeLoadMode::kCurrentFormat) {
        androidToMyDB(load);
      } else {
        androidDBRecovery(load);
      }
      search_index::createSearchIndex(target.store().db());
      transaction.commit();
    }
    target.commonData().ReloadTheData();
    return report;
  } catch (const FileUnusable& e) {
    forgetCaches(target);
    return unusable(e.what());
  } catch (const FileUnreadable& e) {
    forgetCaches(target);
    return Status::systemFailure("cannot read " + name + ": " + e.what());
  } catch (const WriteFailed& e) {
    forgetCaches(target);
    return e.status();
  } catch (const SQLite::Exception& e) {
    forgetCaches(target);
    return target.store().writeFailed("loadInterchange", e);
  } catch (const StoreError& e) {
    forgetCaches(target);
    return Status::storeFailure(e.what());
  }
}

Result<InterchangeReplaceReport> replaceStoreWithInterchange(const Environment& env,
                                                             const std::shared_ptr<spdlog::logger>& log,
                                                             const std::filesystem::path& storeFile,
                                                             const std::filesystem::path& file, InterchangeLoadMode mode,
                                                             const InterchangeLoadProgress& progress) {
  std::error_code ec;
  std::filesystem::create_directories(storeFile.parent_path(), ec);
  removeLeftoverWorkFiles(storeFile, *log);
  const std::filesystem::path candidate = workFilePath(storeFile, "interchange");
  auto removeCandidate = [&] {
    std::filesystem::remove(candidate, ec);
    std::filesystem::remove(candidate.string() + "-journal", ec);
  };
  InterchangeReplaceReport report;
  try {
    auto ledger = Ledger::open(env, log, candidate);
    auto loaded = loadInterchange(*ledger, file, mode, progress);
    if (!loaded) {
      ledger.reset();
      removeCandidate();
      return loaded.status();
    }
    report.load = std::move(loaded).value();
  } catch (const InputError& e) {
    removeCandidate();
    return Status::invalidInput(e.what());
  } catch (const std::exception& e) {
    removeCandidate();
    return Status::storeFailure(std::string("cannot build the new ledger beside the old one: ") + e.what());
  }
  auto swapped = replaceStoreFile(env, *log, storeFile, candidate);
  if (!swapped) {
    removeCandidate();
    return swapped.status();
  }
  report.swap = std::move(swapped).value();
  log->info("loaded the interchange file {} (schema {}) into {}", file.string(), report.load.schemaVersion,
            storeFile.string());
  return report;
}

}  // namespace varnel
