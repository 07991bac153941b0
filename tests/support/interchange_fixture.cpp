#include "support/interchange_fixture.h"

#include <set>
#include <string_view>
#include <vector>

#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "backup/interchange_schema.h"
#include "backup/interchange_writer.h"

namespace varnel::testing {

namespace {

struct OlderTable {
  std::string name;
  std::vector<std::string> columns;  // the first is the table's key
};

// The tables of a file of schema `v` below 19. Columns a version's loader
// reads as null are kept where later files still had them (ZDATA2 and
// categoryUid of version 18), so that reading them would show.
std::vector<OlderTable> olderTables(int v) {
  std::vector<OlderTable> t;
  std::vector<std::string> tx = {"AID", "ASSET_GROUP", "ASSET_ID", "ASSET_NIC", "ASSET_NAME", "CARDDIVIDID",
                                 "CARDDIVIDMONTH", "CATEGORY_ID", "CATEGORY_NAME", "ZCONTENT", "WDATE", "DO_TYPE",
                                 "OPPOSITEAID", "ZDATA", "ZDATA1", "ZDATA2", "IN_ZMONEY", "ZMONEY", "ZDATE"};
  if (v >= 12) tx.insert(tx.end(), {"FEE_ID", "SMS_ORIGIN", "SMS_PARSE_CONTENT"});
  if (v >= 13) tx.insert(tx.end(), {"CURRENCY_ID", "AMOUNT_ACCOUNT", "TX_UID", "CARD_DIVIDE_MONTH_STR"});
  if (v >= 16) {
    tx = {"AID", "ASSET_NIC", "CARDDIVIDMONTH", "CATEGORY_NAME", "ZCONTENT", "WDATE", "DO_TYPE", "ZDATA", "ZDATA2",
          "IN_ZMONEY", "ZMONEY", "ZDATE", "SMS_ORIGIN", "SMS_PARSE_CONTENT", "AMOUNT_ACCOUNT",
          "CARD_DIVIDE_MONTH_STR", "uid", "assetUid", "categoryUid", "txUidTrans", "cardDivideUid", "txUidFee",
          "currencyUid", "syncTime", "syncVersion"};
  }
  if (v >= 18) tx.insert(tx.end(), {"ctgUid", "toAssetUid", "UTIME"});
  t.push_back({"INOUTCOME", tx});

  std::vector<std::string> groups = {"DEVICE_ID", v < 13 ? "CLOUD_ID" : "AG_UID", "SYNC_CHECK", "IS_DEL", "USETIME",
                                     "ACC_GROUP_NAME", "CONTENT", "TYPE", "ORDERSEQ"};
  if (v == 15) groups = {"DEVICE_ID", "IS_DEL", "USETIME", "ACC_GROUP_NAME", "CONTENT", "TYPE", "ORDERSEQ"};
  if (v >= 16) {
    groups = {"DEVICE_ID", "IS_DEL", "USETIME", "ACC_GROUP_NAME", "TYPE", "ORDERSEQ", "uid", "syncTime",
              "syncVersion"};
  }
  t.push_back({"ASSETGROUP", groups});

  std::vector<std::string> accounts = {"ID", "CARD_ACCOUNT_ID", "CARD_ACCOUNT_NAME", "CARD_DAY_FIN", "CARD_DAY_PAY",
                                       "GROUP_ID", "NIC_NAME", "ORDERSEQ", "TYPE", "ZDATA", "ZDATA1", "ZDATA2"};
  if (v >= 12) accounts.push_back("A_UTIME");
  if (v >= 13) accounts.insert(accounts.end(), {"CARD_USAGE_HURDLE_TYPE", "CARD_USAGE_HURDLE_AMOUNT", "CURRENCY_ID"});
  if (v >= 16) {
    accounts = {"ID", "CARD_DAY_FIN", "CARD_DAY_PAY", "NIC_NAME", "ORDERSEQ", "ZDATA", "ZDATA1", "ZDATA2", "A_UTIME",
                "CARD_USAGE_HURDLE_TYPE", "CARD_USAGE_HURDLE_AMOUNT", "uid", "groupUid", "cardAssetUid",
                "currencyUid", "IS_TRANS_EXPENSE", "syncTime", "syncVersion", "SMS_STRING", "SMS_TEL", "APP_PACKAGE",
                "APP_NAME"};
  }
  t.push_back({"ASSETS", accounts});

  std::vector<std::string> categories = {"ID", "NAME", "ORDERSEQ", "TYPE", "STATUS", "PID"};
  if (v >= 12) categories.insert(categories.end(), {"C_IS_DEL", "C_UTIME"});
  if (v == 13 || v == 14) categories.push_back("C_UID");
  if (v >= 16) {
    categories = {"ID", "NAME", "ORDERSEQ", "TYPE", "STATUS", "C_IS_DEL", "C_UTIME", "uid", "pUid", "syncTime",
                  "syncVersion"};
  }
  t.push_back({"ZCATEGORY", categories});

  std::vector<std::string> favourites = {"DEVICE_ID", v >= 14 ? "FAV_UID" : "CLOUD_ID", "SYNC_CHECK", "IS_DEL",
                                         "USETIME", "MARK", "DO_TYPE", "ACCOUNT_ID", "TO_ACCOUNT_ID", "CATEGORY_ID",
                                         "SUBCATEGORY_ID", "AMOUNT_SUB", "CURRENCY_SUB", "MEMO", "PAYEE", "ORDERSEQ"};
  if (v >= 13) favourites.push_back("CURRENCY_ID");
  if (v >= 16) {
    favourites = {"DEVICE_ID", "IS_DEL", "USETIME", "MARK", "DO_TYPE", "AMOUNT_SUB", "MEMO", "PAYEE", "ORDERSEQ",
                  "uid", "assetUid", "toAssetUid", "categoryUid", "currencyUid", "syncTime", "syncVersion"};
  }
  if (v >= 18) favourites.push_back("ctgUid");
  t.push_back({"FAVTRANSACTION", favourites});

  std::vector<std::string> repeats = {"DEVICE_ID", v >= 13 ? "RTX_UID" : "CLOUD_ID", "SYNC_CHECK", "IS_DEL",
                                      "USETIME", "MARK", "END_DATE", "NEXT_DATE", "DO_TYPE", "REPEAT_TYPE",
                                      "ACCOUNT_ID", "TO_ACCOUNT_ID", "CATEGORY_ID", "SUBCATEGORY_ID", "AMOUNT_SUB",
                                      "CURRENCY_SUB", "MEMO", "PAYEE", "TZ_NAME", "TZ_OFFSET"};
  if (v >= 13) repeats.push_back("CURRENCY_ID");
  if (v >= 16) {
    repeats = {"DEVICE_ID", "IS_DEL", "USETIME", "MARK", "END_DATE", "NEXT_DATE", "DO_TYPE", "REPEAT_TYPE",
               "AMOUNT_SUB", "MEMO", "PAYEE", "uid", "assetUid", "toAssetUid", "categoryUid", "currencyUid",
               "syncTime", "syncVersion"};
  }
  if (v >= 18) repeats.push_back("ctgUid");
  t.push_back({"REPEATTRANSACTION", repeats});

  if (v >= 13) {
    std::vector<std::string> currencies = {"ID", "ISO", "MAIN_ISO", "IS_DEL", "ORDER_SEQ", "RATE", "SYMBOL",
                                           "INSERT_TYPE", "SYMBOL_POSITION", "IS_MAIN_CURRENCY", "IS_SHOW",
                                           "MODIFY_DATE", "DECIMAL_POINT"};
    if (v >= 15) currencies.push_back("NAME");
    if (v >= 16) currencies.insert(currencies.end(), {"uid", "syncTime", "syncVersion"});
    t.push_back({"CURRENCY", currencies});
    if (v < 16) {
      t.push_back({"BUDGET", {"ID", "B_UID", "CATEGORY_ID", "TO_ACCOUNT_ID", "DO_TYPE", "PERIOD_TYPE", "IS_TOTAL",
                              "IS_DEL", "TRANSFER_TYPE", "ORDER_SEQ", "MODIFY_DATE"}});
      t.push_back({"BUDGET_AMOUNT", {"ID", "UID", "BUDGET_ID", "IS_DEL", "AMOUNT", "BUDGET_PERIOD", "MODIFY_DATE"}});
    } else {
      t.push_back({"BUDGET", {"ID", "DO_TYPE", "PERIOD_TYPE", "IS_TOTAL", "IS_DEL", "TRANSFER_TYPE", "ORDER_SEQ",
                              "MODIFY_DATE", "uid", "targetUid", "syncTime", "syncVersion"}});
      t.push_back({"BUDGET_AMOUNT", {"ID", "uid", "IS_DEL", "AMOUNT", "BUDGET_PERIOD", "MODIFY_DATE", "budgetUid",
                                     "syncTime", "syncVersion"}});
    }
  }

  std::vector<std::string> settings = {"Z_PK", "ZDATATYPE", "ZDATA", "ZZDATA2", "ZZDATA", "ZZDATA1"};
  if (v >= 16) settings.insert(settings.end(), {"dataTypeKey", "uid", "syncTime", "syncVersion"});
  t.push_back({"ZETC", settings});

  if (v >= 15) {
    t.push_back({"MEMO", {"id", "uid", "title", "content", "memoTime", "memoDate", "pinned", "pinnedTime", "orderSeq",
                          "color", "isDel", "utime", "syncTime", "syncVersion"}});
  }

  if (v < 16) {
    t.push_back({"PHOTO", {"DEVICE_ID", "FILE_NAME", "CLOUD_ID", "INOUT_ID", "USETIME", "IS_DEL", "FILE_SIZE",
                           "FILE_PATH", "SYNC_CHECK", "ORG_FILE_PATH", "ORG_FILE_NAME"}});
  } else {
    t.push_back({"PHOTO", {"DEVICE_ID", "FILE_NAME", "USETIME", "IS_DEL", "FILE_SIZE", "FILE_PATH", "ORG_FILE_PATH",
                           "ORG_FILE_NAME", "uid", "txUid", "syncTime", "syncVersion"}});
  }
  return t;
}

// Tables whose files of every version have the current columns.
std::vector<std::string_view> currentTablesOf(int v) {
  std::vector<std::string_view> names = {"SMS_RAW_READ"};
  if (v >= 18) names.insert(names.end(), {"TAG", "TX_TAG", "MESSAGEMACRO2"});
  return names;
}

}  // namespace

void writeInterchangeFile(const std::filesystem::path& path, int version) {
  std::filesystem::remove(path);
  if (version >= 19) {
    auto log = std::make_shared<spdlog::logger>("fixture", std::make_shared<spdlog::sinks::null_sink_mt>());
    if (!MyDBCopyAndroid::createTable(path, *log)) throw std::runtime_error("cannot create " + path.string());
    SQLite::Database db(path.string(), SQLite::OPEN_READWRITE);
    db.exec("PRAGMA user_version = " + std::to_string(version));
    return;
  }
  SQLite::Database db(path.string(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
  SQLite::Transaction transaction(db);
  for (const OlderTable& table : olderTables(version)) {
    // No declared types: each value keeps the storage class it is given,
    // as the text-typed columns of older files often held numbers.
    std::string sql = "CREATE TABLE " + table.name + " (" + table.columns.front() + " INTEGER PRIMARY KEY AUTOINCREMENT";
    for (size_t i = 1; i < table.columns.size(); ++i) sql += ", " + table.columns[i];
    db.exec(sql + ")");
  }
  for (std::string_view name : currentTablesOf(version)) {
    db.exec(interchange::createTableSql(*interchange::findTable(name)));
  }
  db.exec("CREATE TABLE android_metadata (locale TEXT)");
  db.exec("INSERT INTO android_metadata VALUES ('ko_KR')");
  db.exec("PRAGMA user_version = " + std::to_string(version));
  transaction.commit();
}

void insertRow(SQLite::Database& db, const std::string& table, const Row& row) {
  std::set<std::string> present;
  SQLite::Statement info(db, "SELECT upper(name) FROM pragma_table_info(?)");
  info.bind(1, table);
  while (info.executeStep()) present.insert(info.getColumn(0).getString());
  std::string columns, values;
  for (const auto& [column, value] : row) {
    std::string key = column;
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!present.count(key)) continue;
    columns += (columns.empty() ? "" : ", ") + column;
    values += (values.empty() ? "" : ", ") + value;
  }
  db.exec("INSERT INTO " + table + " (" + columns + ") VALUES (" + values + ")");
}

}  // namespace varnel::testing
