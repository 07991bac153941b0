#include "backup/interchange_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <variant>

#include <fmt/format.h>
#include <spdlog/spdlog.h>
#include <sqlite3.h>

#include "backup/file_kind.h"
#include "backup/gzip_file.h"
#include "backup/interchange_schema.h"
#include "backup/progress.h"
#include "model/entities.h"
#include "model/environment.h"
#include "model/safety_copy.h"
#include "model/store.h"

namespace varnel {

namespace {

// --- The mapping ---------------------------------------------------------------

// How a store value becomes the value of its interchange column.
enum class Value {
  kAsStored,          // the stored value with its storage class
  kMillisecondsText,  // a store date (seconds since 2001) as milliseconds since 1970: the text of a real
  kNumberText,        // a number as SQLite renders it in text ("1500.0")
  kMainCurrencyWhenEmpty,  // the stored currency uid, or the main currency's when missing or empty
  kIntegerOfText,     // SQLite's integer reading of a text: its leading digits, 0 without any
};

struct ColumnCopy {
  std::string_view column;     // interchange column
  std::string_view attribute;  // store attribute
  Value value = Value::kAsStored;
};

using TableCopy = InterchangeTableCopy;

std::string expressionFor(const std::string& column, Value value) {
  switch (value) {
    case Value::kAsStored: return column;
    // 1000.0 rather than 1000: a date of whole seconds is stored as an
    // integer, and the file's convention is the text of a real ("….0").
    case Value::kMillisecondsText: return "CAST((" + column + " + 978307200) * 1000.0 AS TEXT)";
    case Value::kNumberText: return "CAST(" + column + " AS TEXT)";
    // The main currency as the currency list finds it, read in the same
    // snapshot as the accounts.
    case Value::kMainCurrencyWhenEmpty:
      return "COALESCE(NULLIF(" + column + ", ''), (SELECT ZUID FROM store.ZCURRENCY WHERE ZISMAINCURRENCY = 1 " +
             "ORDER BY Z_PK LIMIT 1), " + column + ")";
    case Value::kIntegerOfText: return "CAST(" + column + " AS INTEGER)";
  }
  return column;
}

// A copy of the entity T's table. Every attribute and column is checked
// against the record's field list and the interchange layout, so a name
// that drifts stops the first export instead of writing a column of NULLs.
template <class T>
TableCopy copyOf(std::string_view name, std::string_view table, std::initializer_list<ColumnCopy> columns,
                 std::string where = {}) {
  const interchange::Table* layout = interchange::findTable(table);
  if (!layout) throw std::logic_error("no interchange table " + std::string(table));
  TableCopy copy{name, table, Entity<T>::table(), {}, {}, std::move(where), false};
  for (const ColumnCopy& c : columns) {
    if (!layout->column(c.column)) {
      throw std::logic_error(std::string(table) + " has no column " + std::string(c.column));
    }
    std::string storeColumn;
    for (const auto& f : Entity<T>::fields()) {
      if (f.attribute == c.attribute) storeColumn = f.column;
    }
    if (storeColumn.empty()) {
      throw std::logic_error(std::string(Entity<T>::kName) + " has no attribute " + std::string(c.attribute));
    }
    copy.columns.emplace_back(c.column);
    copy.expressions.push_back(expressionFor(storeColumn, c.value));
  }
  return copy;
}

}  // namespace

// Columns a copy does not name stay NULL.
const std::vector<InterchangeTableCopy>& interchangeTableCopies() {
  static const std::vector<TableCopy> kCopies = [] {
    std::vector<TableCopy> all;
    // AID is left to SQLite: 1, 2, 3, … in copy order.
    all.push_back(copyOf<InOutCome>("copyTx", "INOUTCOME", {
        {"uid", "uid"}, {"assetUid", "assetUid"}, {"CARDDIVIDMONTH", "cardDivideMonth"},
        {"ctgUid", "categoryUid"}, {"toAssetUid", "toAssetUid"}, {"ZCONTENT", "Content"},
        {"ZDATE", "Date", Value::kMillisecondsText}, {"WDATE", "txDateStr"}, {"wtime", "wtime"},
        // The other platform keeps `paid` and reads it back from this column;
        // leaving it empty would lose it on every round trip through us.
        {"paid", "paid"},
        {"DO_TYPE", "Do_Type"}, {"ZMONEY", "amount", Value::kNumberText}, {"txUidTrans", "txUidTrans"},
        {"ZDATA", "memo"}, {"SMS_RDATE", "smsRDate"}, {"IN_ZMONEY", "amountSub", Value::kNumberText},
        {"ASSET_NIC", "Asset_Nic"}, {"CATEGORY_NAME", "Category_Name"}, {"cardDivideUid", "cardDivideUid"},
        {"CARD_DIVIDE_MONTH_STR", "cardDivideMonthStr"}, {"MARK", "mark"}, {"txUidFee", "txUidFee"},
        {"SMS_ORIGIN", "smsOrigine"}, {"SMS_PARSE_CONTENT", "smsParseContents"}, {"IS_DEL", "isDel"},
        {"UTIME", "utime"}, {"currencyUid", "currencyUid"}, {"AMOUNT_ACCOUNT", "amountAccount"},
        {"lat", "lat"}, {"lng", "lng"}, {"gstd", "gstd"}}));
    all.push_back(copyOf<AssetGroup>("copyAssetGroup", "ASSETGROUP", {
        {"uid", "uid"}, {"IS_DEL", "isDel"}, {"USETIME", "utime"}, {"ACC_GROUP_NAME", "AssetGroupName"},
        {"TYPE", "Status"}, {"ORDERSEQ", "Order"}}));
    // The deletion code lives in ZDATA, the memo in ZDATA1 and the
    // include-in-totals flag in ZDATA2.
    all.push_back(copyOf<Asset>("copyAsset", "ASSETS", {
        {"CARD_DAY_FIN", "Card_DayFin"}, {"CARD_DAY_PAY", "Card_DayPay"}, {"NIC_NAME", "NicName"},
        {"ORDERSEQ", "Order"}, {"ZDATA", "isDel"}, {"ZDATA1", "memo"}, {"ZDATA2", "isReflect"},
        {"IS_TRANS_EXPENSE", "transferExpense"}, {"IS_CARD_AUTO_PAY", "isCardAutoPay"}, {"A_UTIME", "utime"},
        {"CARD_USAGE_HURDLE_TYPE", "card_usage_hurdle_type"},
        {"CARD_USAGE_HURDLE_START_DATE", "card_usage_hurdle_start_date"},
        {"CARD_USAGE_HURDLE_AMOUNT", "card_usage_hurdle_amount"}, {"uid", "uid"},
        {"currencyUid", "currencyUid", Value::kMainCurrencyWhenEmpty}, {"cardAssetUid", "cardAssetUid"},
        {"groupUid", "groupUid"}, {"SMS_STRING", "smsString"}, {"SMS_TEL", "smsTel"},
        {"APP_PACKAGE", "appPackage"}, {"APP_NAME", "appName"}}));
    all.push_back(copyOf<Category>("copyCategory", "ZCATEGORY", {
        {"C_IS_DEL", "isDel"}, {"C_UTIME", "utime"}, {"uid", "uid"}, {"NAME", "Name"}, {"ORDERSEQ", "Order"},
        {"TYPE", "doType"}, {"STATUS", "Status"}, {"pUid", "pUid"}}));
    // Four kinds stay on the device: the older model's currency records
    // (-8540, 25278) and two device-only kinds (41, -18683). A row without a
    // kind is carried: nothing tells it belongs to the device.
    all.push_back(copyOf<Etc>("copyEtc", "ZETC", {
        {"uid", "uid"}, {"E_UTIME", "utime"}, {"ZDATATYPE", "DataType"}, {"ZDATA", "Data"}, {"ZZDATA", "zData"},
        {"dataTypeKey", "datayTypeKey"}, {"isDel", "isDel"}},
        "ZDATATYPE IS NULL OR ZDATATYPE NOT IN (-8540, 41, 25278, -18683)"));
    all.push_back(copyOf<Budget>("copyBudget", "BUDGET", {
        {"uid", "uid"}, {"targetUid", "targetUid"}, {"DO_TYPE", "doTypeStr"}, {"PERIOD_TYPE", "periodTypeInt"},
        {"IS_TOTAL", "totalTypeInt"}, {"IS_DEL", "isDel"}, {"TRANSFER_TYPE", "transTypeInt"},
        {"ORDER_SEQ", "order"}, {"MODIFY_DATE", "utime"}}));
    all.push_back(copyOf<BudgetAmount>("copyBudgetAmount", "BUDGET_AMOUNT", {
        {"uid", "uid"}, {"budgetUid", "budgetUid"}, {"IS_DEL", "isDel"}, {"AMOUNT", "amount"},
        {"BUDGET_PERIOD", "budgetPeriod"}, {"MODIFY_DATE", "utime"}}));
    all.push_back(copyOf<Currency>("copyCurrency", "CURRENCY", {
        {"uid", "uid"}, {"NAME", "memo"}, {"ISO", "iso"}, {"MAIN_ISO", "mainIso"}, {"IS_DEL", "isDel"},
        {"ORDER_SEQ", "orderSeq"}, {"RATE", "rate"}, {"SYMBOL", "symbol"}, {"INSERT_TYPE", "insertType"},
        {"SYMBOL_POSITION", "symbolPosition"}, {"IS_MAIN_CURRENCY", "isMainCurrency"}, {"IS_SHOW", "isShow"},
        {"MODIFY_DATE", "utime"}, {"DECIMAL_POINT", "point"}}));
    all.push_back(copyOf<FavTransaction>("copyFav", "FAVTRANSACTION", {
        {"uid", "uid"}, {"IS_DEL", "isDel"}, {"USETIME", "utime"}, {"MARK", "mark"}, {"DO_TYPE", "doType"},
        {"assetUid", "assetUid"}, {"toAssetUid", "toAssetUid"}, {"ctgUid", "categoryUid"},
        {"AMOUNT_SUB", "amountSub"}, {"currencyUid", "currencyUid"}, {"MEMO", "memo"}, {"PAYEE", "payee"},
        {"ORDERSEQ", "order"}}));
    all.push_back(copyOf<Memo>("copyMemo", "MEMO", {
        {"uid", "uid"}, {"title", "title"}, {"content", "content"}, {"memoTime", "memoTime"},
        {"memoDate", "memoDate"},
        // Carried although the other platform's writer leaves it empty: the
        // memo list shows pinned memos apart, and a sync snapshot must not
        // unpin them.
        {"pinned", "pinned"},
        {"pinnedTime", "pinnedTime"}, {"orderSeq", "orderSeq"}, {"color", "color"}, {"isDel", "isDel"},
        {"utime", "utime"}}));
    all.push_back(copyOf<Photo>("copyPhoto", "PHOTO", {
        {"uid", "uid"}, {"IS_DEL", "isDel"}, {"USETIME", "utime"}, {"txUid", "txUid"}, {"FILE_SIZE", "fileSize"},
        {"FILE_PATH", "filePath"}, {"FILE_NAME", "fileName"}, {"ORG_FILE_NAME", "orgFileName"},
        {"ORG_FILE_PATH", "orgFilePath"}}));
    // USETIME takes the modification time, not the template's `useTime`.
    all.push_back(copyOf<RepeatTransaction>("copyRepeat", "REPEATTRANSACTION", {
        {"uid", "uid"}, {"IS_DEL", "isDel"}, {"USETIME", "utime"}, {"MARK", "mark"}, {"END_DATE", "endDate"},
        {"NEXT_DATE", "nextDate"}, {"DO_TYPE", "doType"}, {"REPEAT_TYPE", "repeatType"},
        {"assetUid", "assetUid"}, {"toAssetUid", "toAssetUid"}, {"ctgUid", "categoryUid"},
        {"currencyUid", "currencyUid"}, {"AMOUNT_SUB", "amountSub"}, {"MEMO", "memo"}, {"PAYEE", "payee"}}));
    all.push_back(copyOf<Tag>("copyTag", "TAG", {
        {"uid", "uid"}, {"name", "name"}, {"orderSeq", "orderSeq"}, {"isDel", "isDel"}, {"utime", "utime"}}));
    all.push_back(copyOf<TxTag>("copyTxTag", "TX_TAG", {
        {"uid", "uid"}, {"txUid", "txUid"}, {"tagUid", "tagUid"}, {"isDel", "isDel"}, {"orderSeq", "orderSeq"},
        {"objName", "objName"}, {"utime", "utime"}}));
    TableCopy macros = copyOf<MessageMacro2>("copyMessageMacro", "MESSAGEMACRO2", {
        {"AID", "uid", Value::kIntegerOfText}, {"MACROASSETNAME", "macroAssetName"}, {"MACROTYPE", "macroType"},
        {"SMS_TEL", "smsTel"}, {"MODIDATE", "modiDate"}, {"USEYN", "useYN"}, {"APP_PACKAGE", "appPackage"},
        {"APP_NAME", "appName"}, {"ORDERSEQ", "orderSeq"}, {"uid", "uid"}, {"conAssetUid", "conAssetUid"},
        {"utime", "utime"}});
    macros.keyFromUid = true;
    all.push_back(std::move(macros));
    all.push_back(copyOf<SmsRawRead>("copySmsRawRead", "SMS_RAW_READ", {
        {"uid", "uid"}, {"RDATE", "rDate"}, {"ZDATE", "zDate"}, {"TEL", "tel"}, {"ZDATA", "zData"},
        {"MACROTYPE", "macroType"}, {"assetUid", "assetUid"}, {"toAssetUid", "toAssetUid"},
        {"NOTIFY_TYPE", "notifyType"}, {"AMOUNT", "amount"}, {"TEXT_PARSING_TIME", "textParsingTime"},
        {"ASSETNAME", "assetName"}, {"TYPE", "type"}, {"MMSID", "mmsid"}, {"APP_PACKAGE", "appPackage"},
        {"APP_NAME", "appName"}, {"SENDER_NAME", "senderName"}, {"IS_DEL", "isDel"}, {"utime", "utime"}}));
    all.push_back(copyOf<CodeData>("copyCodeData", "CODE_DATA", {
        {"uid", "uid"}, {"code", "code"}, {"data", "data"}, {"num", "num"}, {"isDel", "isDel"},
        {"utime", "utime"}, {"ctime", "ctime"}}));
    all.push_back(copyOf<CodeLink>("copyCodeLink", "CODE_LINK", {
        {"uid", "uid"}, {"codeUid", "codeUid"}, {"tableName", "tableName"}, {"tableUid", "tableUid"},
        {"orderSeq", "orderSeq"}, {"isDel", "isDel"}, {"utime", "utime"}, {"ctime", "ctime"}}));
    return all;
  }();
  return kCopies;
}

namespace {

// --- SQLite helpers ------------------------------------------------------------

class Connection {
 public:
  Connection() = default;
  ~Connection() { close(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens `path`; on failure returns SQLite's reason.
  std::string open(const std::filesystem::path& path, int flags) {
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (rc == SQLITE_OK) return {};
    std::string why = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    close();
    return why.empty() ? "cannot open" : why;
  }
  // Runs `sql`; returns SQLite's reason on failure.
  std::string exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return {};
    std::string why = message ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    return why;
  }
  // Closes the connection; returns SQLite's reason when it could not.
  std::string close() {
    if (!db_) return {};
    const int rc = sqlite3_close(db_);
    if (rc == SQLITE_OK) {
      db_ = nullptr;
      return {};
    }
    const std::string why = sqlite3_errmsg(db_);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    return why;
  }
  sqlite3* get() const { return db_; }
  std::string error() const { return db_ ? sqlite3_errmsg(db_) : "not open"; }

 private:
  sqlite3* db_ = nullptr;
};

class PreparedStatement {
 public:
  PreparedStatement() = default;
  ~PreparedStatement() { sqlite3_finalize(statement_); }
  PreparedStatement(const PreparedStatement&) = delete;
  PreparedStatement& operator=(const PreparedStatement&) = delete;

  bool prepare(sqlite3* db, const std::string& sql) {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
    return sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &statement_, nullptr) == SQLITE_OK;
  }
  sqlite3_stmt* get() const { return statement_; }
  // Ends the statement now, so that its connection can close.
  void finalize() {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

// --- Files ---------------------------------------------------------------------

// Files under temporary names that are removed unless published.
class PartialFiles {
 public:
  PartialFiles() = default;
  ~PartialFiles() {
    std::error_code ec;
    for (const auto& file : files_) {
      std::filesystem::remove(file, ec);
      std::filesystem::remove(file.string() + "-journal", ec);
    }
  }
  PartialFiles(const PartialFiles&) = delete;
  PartialFiles& operator=(const PartialFiles&) = delete;

  // A new empty file in `folder` under a name no one else uses.
  Result<std::filesystem::path> create(const std::filesystem::path& folder) {
    for (int n = 0; n < 1000; ++n) {
      const auto path = folder / fmt::format(".varnel-interchange-{}-{}.partial", ::getpid(), n);
      const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        ::close(fd);
        files_.push_back(path);
        return path;
      }
      if (errno != EEXIST) return Status::systemFailure(std::strerror(errno));
    }
    return Status::systemFailure("no free temporary name in " + folder.string());
  }
  // `file` has taken its final name: it is no longer removed.
  void published(const std::filesystem::path& file) { std::erase(files_, file); }

 private:
  std::vector<std::filesystem::path> files_;
};

// Flushes the file's content to disk, so that a power cut never leaves a
// truncated file under the final name.
std::string syncFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  const bool ok = ::fsync(fd) == 0;
  const int error = errno;
  ::close(fd);
  return ok ? std::string() : std::strerror(error);
}

std::string seconds(std::chrono::steady_clock::time_point since) {
  return fmt::format("{:f}", std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count());
}

}  // namespace

// --- The writer ----------------------------------------------------------------

MyDBCopyAndroid::MyDBCopyAndroid(const Environment& env, spdlog::logger& log) : env_(env), log_(log) {}

bool MyDBCopyAndroid::beginTransactionWithDatabase(sqlite3* db) {
  return sqlite3_exec(db, "BEGIN EXCLUSIVE TRANSACTION", nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool MyDBCopyAndroid::endTransactionWithDatabase(sqlite3* db) {
  return sqlite3_exec(db, "COMMIT TRANSACTION", nullptr, nullptr, nullptr) == SQLITE_OK;
}

Status MyDBCopyAndroid::createTable(const std::filesystem::path& path, spdlog::logger& log) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
  Connection db;
  if (const std::string why = db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE); !why.empty()) {
    log.error("Open table failed..");
    return Status::systemFailure(why);
  }
  // The file is private until it is renamed into place: no rollback journal
  // on disk, no waiting for the disk on each statement.
  if (const std::string why = db.exec("PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF"); !why.empty()) {
    return Status::systemFailure(why);
  }
  for (const auto& table : interchange::tables()) {
    if (const std::string why = db.exec(interchange::createTableSql(table)); !why.empty()) {
      log.error("{} table creation failed..", table.name);
      return Status::systemFailure(why);
    }
  }
  if (const std::string why = db.exec(fmt::format("PRAGMA user_version = {}", interchange::kUserVersion));
      !why.empty()) {
    log.error("PRAGMA user_version failed..");
    return Status::systemFailure(why);
  }
  log.info("PRAGMA user_version successfully..");
  if (const std::string why = db.exec(interchange::createIndexBatchSql()); !why.empty()) {
    log.error("PRAGMA CREATE INDEX failed..");
    return Status::systemFailure(why);
  }
  log.info("PRAGMA CREATE INDEX successfully..");
  if (const std::string why = db.close(); !why.empty()) return Status::systemFailure(why);
  return Status::ok();
}

namespace {

// Counts the rows a copy has read and reports them every few thousand rows.
// Called by SQLite as the function varnel_progress() in the copy's WHERE
// clause, once per row read from the store.
struct RowCounter {
  const std::function<void(const InterchangeProgress&)>* progress = nullptr;
  std::string_view table;
  int64_t done = 0;
  int64_t total = 0;
};

void countRow(sqlite3_context* context, int, sqlite3_value**) {
  auto* counter = static_cast<RowCounter*>(sqlite3_user_data(context));
  if (++counter->done % 8192 == 0) (*counter->progress)({counter->table, counter->done, counter->total});
  sqlite3_result_int(context, 1);
}

struct CopyFailure {
  bool reading;  // the store could not be read (else the file could not be written)
  std::string why;
};

// Copies one table inside one exclusive transaction of the file, as one
// INSERT … SELECT from the store attached as "store".
std::variant<InterchangeTableRows, CopyFailure> copyTable(const TableCopy& copy, sqlite3* db, spdlog::logger& log,
                                                          RowCounter* counter) {
  const auto started = std::chrono::steady_clock::now();
  const std::string where = copy.where.empty() ? "" : " WHERE (" + copy.where + ")";
  PreparedStatement count;
  if (!count.prepare(db, "SELECT count(*) FROM store." + copy.storeTable + where) ||
      sqlite3_step(count.get()) != SQLITE_ROW) {
    log.error("{} error", copy.name);
    return CopyFailure{true, sqlite3_errmsg(db)};
  }
  const int64_t total = sqlite3_column_int64(count.get(), 0);
  count.finalize();
  if (counter) {
    counter->table = copy.table;
    counter->done = 0;
    counter->total = total;
  }
  std::string columns, expressions;
  for (size_t i = 0; i < copy.columns.size(); ++i) {
    columns += (i ? ", " : "") + copy.columns[i];
    expressions += (i ? ", " : "") + copy.expressions[i];
  }
  const std::string counted = counter ? (where.empty() ? " WHERE " : where + " AND ") + "varnel_progress()" : where;
  std::vector<std::string> statements = {"INSERT OR IGNORE INTO main." + std::string(copy.table) + " (" + columns +
                                         ", isSynced) SELECT " + expressions + ", 2 FROM store." + copy.storeTable +
                                         counted + " ORDER BY Z_PK"};
  if (copy.keyFromUid) {
    // Rows whose key an earlier row took (two uids with the same integer
    // value, or none) take the next free key rather than being lost.
    const auto uid = std::find(copy.columns.begin(), copy.columns.end(), "uid") - copy.columns.begin();
    const std::string& storeUid = copy.expressions[static_cast<size_t>(uid)];
    std::string rest = "NULL";
    for (size_t i = 1; i < copy.expressions.size(); ++i) rest += ", " + copy.expressions[i];
    statements.push_back("INSERT OR IGNORE INTO main." + std::string(copy.table) + " (" + columns +
                         ", isSynced) SELECT " + rest + ", 2 FROM store." + copy.storeTable +
                         (where.empty() ? " WHERE " : where + " AND ") + storeUid + " IS NOT NULL AND " + storeUid +
                         " NOT IN (SELECT uid FROM main." + std::string(copy.table) +
                         " WHERE uid IS NOT NULL) ORDER BY Z_PK");
  }
  if (!MyDBCopyAndroid::beginTransactionWithDatabase(db)) return CopyFailure{false, sqlite3_errmsg(db)};
  InterchangeTableRows rows{std::string(copy.table)};
  for (const std::string& sql : statements) {
    PreparedStatement insert;
    if (!insert.prepare(db, sql)) {
      log.error("{} error", copy.name);
      return CopyFailure{true, sqlite3_errmsg(db)};
    }
    const int stepped = sqlite3_step(insert.get());
    if (stepped != SQLITE_DONE) {
      // A full disk, or a store page that cannot be read.
      const int code = sqlite3_extended_errcode(db) & 0xFF;
      return CopyFailure{code == SQLITE_CORRUPT || code == SQLITE_NOTADB || code == SQLITE_BUSY, sqlite3_errmsg(db)};
    }
    rows.rows += sqlite3_changes64(db);
  }
  if (!MyDBCopyAndroid::endTransactionWithDatabase(db)) return CopyFailure{false, sqlite3_errmsg(db)};
  // The file holds one row per uid: the first in store order stays.
  rows.dropped = total - rows.rows;
  if (counter) (*counter->progress)({copy.table, total, total});
  if (rows.dropped > 0) {
    log.warn("{} left out {} rows whose uid was already written", copy.name, rows.dropped);
  }
  log.info("{} time {}", copy.name, seconds(started));
  return rows;
}

}  // namespace

Result<InterchangeExport> MyDBCopyAndroid::myDBCopyAndroid(const std::filesystem::path& storeFile,
                                                           const std::filesystem::path& target,
                                                           const InterchangeExportOptions& options) {
  auto writeFailure = [&](const std::string& why) {
    log_.error("interchange export to {} failed: {}", target.string(), why);
    return Status::systemFailure("cannot write the interchange file " + target.string() + ": " + why);
  };
  auto readFailure = [&](const std::string& why) {
    log_.error("interchange export of {} failed: {}", storeFile.string(), why);
    return Status::storeFailure("cannot read the ledger " + storeFile.string() + ": " + why);
  };
  if (target.filename().empty() || target.filename() == "." || target.filename() == "..") {
    return writeFailure("not a file name");
  }
  std::error_code ec;
  if (std::filesystem::is_directory(target, ec)) return writeFailure("it is a folder");
  if (!std::filesystem::is_regular_file(storeFile, ec)) return readFailure("no such file");
  // The file is renamed over the target at the end: never over the ledger.
  if (std::filesystem::equivalent(target, storeFile, ec)) return writeFailure("it is the ledger store");

  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  PartialFiles partials;
  Result<std::filesystem::path> database = partials.create(folder);
  if (!database) return writeFailure(database.status().message());
  if (Status created = createTable(*database, log_); !created) return writeFailure(created.message());

  InterchangeExport result{target, options.gzip, {}};
  {
    Connection file;
    if (const std::string why = file.open(*database, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI); !why.empty()) {
      return writeFailure(why);
    }
    // Room for the uid index's pages, which a million random uids visit all
    // over; the rest of the file is written once.
    if (const std::string why =
            file.exec("PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF; PRAGMA cache_size = -65536");
        !why.empty()) {
      return writeFailure(why);
    }
    sqlite3_busy_timeout(file.get(), Store::kBusyTimeoutMs);
    // The store is attached read-only: nothing the export runs can change it.
    PreparedStatement attach;
    if (!attach.prepare(file.get(), "ATTACH DATABASE ? AS store")) return writeFailure(file.error());
    const std::string uri = readOnlyUri(storeFile, false);
    sqlite3_bind_text(attach.get(), 1, uri.c_str(), static_cast<int>(uri.size()), SQLITE_STATIC);
    if (sqlite3_step(attach.get()) != SQLITE_DONE) return readFailure(file.error());
    attach.finalize();
    // One read of the store stays open from here to the end: its shared
    // lock outlives each table's commit, so every table comes from the same
    // committed state while other processes' commits wait.
    PreparedStatement snapshot;
    if (!snapshot.prepare(file.get(), "SELECT 1 FROM store.sqlite_master") ||
        sqlite3_step(snapshot.get()) != SQLITE_ROW) {
      return readFailure(sqlite3_errmsg(file.get()));
    }
    RowCounter counter;
    counter.progress = &options.progress;
    if (options.progress && sqlite3_create_function_v2(file.get(), "varnel_progress", 0, SQLITE_UTF8, &counter,
                                                       countRow, nullptr, nullptr, nullptr) != SQLITE_OK) {
      return writeFailure(file.error());
    }
    for (const TableCopy& copy : interchangeTableCopies()) {
      auto copied = copyTable(copy, file.get(), log_, options.progress ? &counter : nullptr);
      if (auto* failure = std::get_if<CopyFailure>(&copied)) {
        const std::string why = "copying " + std::string(copy.table) + ": " + failure->why;
        return failure->reading ? readFailure(why) : writeFailure(why);
      }
      result.tables.push_back(std::get<InterchangeTableRows>(std::move(copied)));
    }
    // copyMetaData
    PreparedStatement metadata;
    if (!metadata.prepare(file.get(), "INSERT INTO main.android_metadata (locale) VALUES (?)")) {
      log_.error("222");
      return writeFailure(file.error());
    }
    const std::string locale = interchangeLocale(env_);
    sqlite3_bind_text(metadata.get(), 1, locale.c_str(), static_cast<int>(locale.size()), SQLITE_STATIC);
    if (sqlite3_step(metadata.get()) != SQLITE_DONE) return writeFailure(file.error());
    metadata.finalize();
    result.tables.push_back({"android_metadata", 1, 0});
    snapshot.finalize();
    if (const std::string why = file.exec("DETACH DATABASE store"); !why.empty()) return writeFailure(why);
    if (const std::string why = file.close(); !why.empty()) return writeFailure(why);
  }

  std::filesystem::path finished = *database;
  if (options.gzip) {
    Result<std::filesystem::path> compressed = partials.create(folder);
    if (!compressed) return writeFailure(compressed.status().message());
    Progress zipping;
    if (options.progress) {
      zipping = [&options](std::string_view stage, uint64_t done, uint64_t total) {
        options.progress({stage, static_cast<int64_t>(done), static_cast<int64_t>(total)});
      };
    }
    if (const Status zipped = gzipFile(*database, *compressed, kBackupGzipLevel, zipping); !zipped) {
      return writeFailure(zipped.message());
    }
    std::filesystem::remove(*database, ec);
    finished = *compressed;
  } else if (const std::string why = syncFile(finished); !why.empty()) {
    return writeFailure("cannot flush the file: " + why);
  }
  if (std::rename(finished.c_str(), target.c_str()) != 0) return writeFailure(std::strerror(errno));
  partials.published(finished);
  syncFolder(folder);
  log_.info("interchange file written: {}", target.string());
  return result;
}

Result<std::string> MyDBCopyAndroid::myDBCopyAndroid(const std::filesystem::path& storeFile) {
  const std::filesystem::path path = interchangeTempPath(env_);
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  if (ec) {
    return Status::systemFailure("cannot create " + path.parent_path().string() + ": " + ec.message());
  }
  Result<InterchangeExport> written = myDBCopyAndroid(storeFile, path);
  if (!written) return written.status();
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in) return Status::systemFailure("cannot read " + path.string());
  return bytes.str();
}

std::filesystem::path interchangeTempPath(const Environment& env) {
  return env.documentsDir() / "temp" / "tempCloudDB.sqlite";
}

std::string interchangeLocale(const Environment& env) {
  // "zh_CN" as the interface language still names its language first.
  std::string language = env.language().substr(0, env.language().find('_'));
  return env.region().empty() ? language : language + "_" + env.region();
}

}  // namespace varnel
