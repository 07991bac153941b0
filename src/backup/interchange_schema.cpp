#include "backup/interchange_schema.h"

namespace varnel::interchange {

namespace {

constexpr Column key(std::string_view name, std::string_view type) { return {name, type, true, true}; }

// The synchronisation columns every table but android_metadata ends with.
void addSyncColumns(std::vector<Column>& columns) {
  columns.push_back({"isSynced", "integer"});
  columns.push_back({"syncTime", "real"});
  columns.push_back({"syncVersion", "integer"});
}

Table table(std::string_view name, std::vector<Column> columns, bool syncColumns = true,
            std::string_view keyword = "CREATE TABLE") {
  if (syncColumns) addSyncColumns(columns);
  return {name, keyword, std::move(columns)};
}

std::vector<Table> makeTables() {
  std::vector<Table> all;
  // Transactions keep AID without AUTOINCREMENT: the reader orders by it and
  // takes it as the legacy numeric id.
  all.push_back(table("INOUTCOME", {
      {"AID", "INTEGER", true, false}, {"uid", "TEXT"}, {"assetUid", "TEXT"}, {"CARDDIVIDMONTH", "VARCHAR"},
      {"ctgUid", "TEXT"}, {"toAssetUid", "TEXT"}, {"ZCONTENT", "VARCHAR"}, {"ZDATE", "VARCHAR"},
      {"WDATE", "VARCHAR"}, {"wtime", "TEXT"}, {"paid", "TEXT"}, {"DO_TYPE", "VARCHAR"}, {"ZMONEY", "VARCHAR"},
      {"txUidTrans", "TEXT"}, {"ZDATA", "VARCHAR"}, {"SMS_RDATE", "VARCHAR"}, {"IN_ZMONEY", "VARCHAR"},
      {"ASSET_NIC", "VARCHAR"}, {"CATEGORY_NAME", "VARCHAR"}, {"cardDivideUid", "TEXT"},
      {"CARD_DIVIDE_MONTH_STR", "VARCHAR"}, {"MARK", "INTEGER"}, {"txUidFee", "TEXT"}, {"SMS_ORIGIN", "VARCHAR"},
      {"SMS_PARSE_CONTENT", "VARCHAR"}, {"IS_DEL", "INTEGER"}, {"UTIME", "INTEGER"}, {"currencyUid", "TEXT"},
      {"AMOUNT_ACCOUNT", "REAL"}, {"lat", "TEXT"}, {"lng", "TEXT"}, {"gstd", "TEXT"}}));
  all.push_back(table("ASSETGROUP", {
      key("DEVICE_ID", "INTEGER"), {"uid", "TEXT"}, {"IS_DEL", "INTEGER"}, {"USETIME", "INTEGER"},
      {"ACC_GROUP_NAME", "VARCHAR"}, {"TYPE", "INTEGER"}, {"ORDERSEQ", "INTEGER"}},
      true, "create table"));
  all.push_back(table("ASSETS", {
      key("ID", "integer"), {"CARD_DAY_FIN", "varchar"}, {"CARD_DAY_PAY", "varchar"}, {"NIC_NAME", "varchar"},
      {"ORDERSEQ", "integer"}, {"ZDATA", "varchar"}, {"ZDATA1", "varchar"}, {"ZDATA2", "varchar"},
      {"IS_TRANS_EXPENSE", "INTEGER"}, {"IS_CARD_AUTO_PAY", "INTEGER"}, {"APP_PACKAGE", "varchar"},
      {"APP_NAME", "varchar"}, {"SMS_TEL", "varchar"}, {"SMS_STRING", "varchar"}, {"A_UTIME", "INTEGER"},
      {"CARD_USAGE_HURDLE_TYPE", "integer"}, {"CARD_USAGE_HURDLE_START_DATE", "real"},
      {"CARD_USAGE_HURDLE_AMOUNT", "real"}, {"uid", "TEXT"}, {"currencyUid", "TEXT"}, {"cardAssetUid", "TEXT"},
      {"groupUid", "TEXT"}}));
  all.push_back(table("ZCATEGORY", {
      key("ID", "integer"), {"C_IS_DEL", "integer"}, {"C_UTIME", "INTEGER"}, {"uid", "TEXT"}, {"NAME", "varchar"},
      {"ORDERSEQ", "integer"}, {"TYPE", "integer"}, {"STATUS", "integer"}, {"pUid", "TEXT"}}));
  all.push_back(table("ZETC", {
      key("Z_PK", "integer"), {"uid", "TEXT"}, {"E_UTIME", "INTEGER"}, {"ZDATATYPE", "integer"},
      {"ZDATA", "varchar"}, {"ZZDATA", "varchar"}, {"ZZDATA1", "varchar"}, {"ZZDATA2", "varchar"},
      {"dataTypeKey", "varchar"}, {"isDel", "integer"}}));
  all.push_back(table("BUDGET", {
      key("ID", "integer"), {"uid", "TEXT"}, {"targetUid", "TEXT"}, {"DO_TYPE", "integer"},
      {"PERIOD_TYPE", "integer"}, {"IS_TOTAL", "integer"}, {"IS_DEL", "integer"}, {"TRANSFER_TYPE", "integer"},
      {"ORDER_SEQ", "integer"}, {"MODIFY_DATE", "integer"}}));
  all.push_back(table("BUDGET_AMOUNT", {
      key("ID", "integer"), {"uid", "text"}, {"budgetUid", "TEXT"}, {"IS_DEL", "integer"}, {"AMOUNT", "real"},
      {"BUDGET_PERIOD", "integer"}, {"MODIFY_DATE", "integer"}}));
  all.push_back(table("CURRENCY", {
      key("ID", "integer"), {"uid", "varchar"}, {"NAME", "varchar"}, {"ISO", "varchar"}, {"MAIN_ISO", "varchar"},
      {"IS_DEL", "integer"}, {"ORDER_SEQ", "integer"}, {"RATE", "real"}, {"SYMBOL", "varchar"},
      {"INSERT_TYPE", "varchar"}, {"SYMBOL_POSITION", "varchar"}, {"IS_MAIN_CURRENCY", "integer"},
      {"IS_SHOW", "integer"}, {"MODIFY_DATE", "integer"}, {"DECIMAL_POINT", "integer"}}));
  // currencyUid is declared INTEGER here alone; it still holds the currency's
  // uid text (integer affinity keeps text that is not a number as text).
  all.push_back(table("FAVTRANSACTION", {
      key("DEVICE_ID", "INTEGER"), {"uid", "TEXT"}, {"IS_DEL", "INTEGER"}, {"USETIME", "INTEGER"},
      {"MARK", "INTEGER"}, {"DO_TYPE", "INTEGER"}, {"assetUid", "TEXT"}, {"toAssetUid", "TEXT"},
      {"ctgUid", "TEXT"}, {"AMOUNT_SUB", "REAL"}, {"currencyUid", "INTEGER"}, {"MEMO", "VARCHAR"},
      {"PAYEE", "VARCHAR"}, {"ORDERSEQ", "INTEGER"}}));
  all.push_back(table("MEMO", {
      key("id", "integer"), {"uid", "text"}, {"title", "text"}, {"content", "text"}, {"memoTime", "real"},
      {"memoDate", "text"}, {"pinned", "integer"}, {"pinnedTime", "real"}, {"orderSeq", "integer"},
      {"color", "text"}, {"isDel", "integer"}, {"utime", "real"}}));
  all.push_back(table("PHOTO", {
      key("DEVICE_ID", "INTEGER"), {"uid", "TEXT"}, {"IS_DEL", "INTEGER"}, {"USETIME", "INTEGER"},
      {"txUid", "TEXT"}, {"FILE_SIZE", "INTEGER"}, {"FILE_PATH", "VARCHAR"}, {"FILE_NAME", "VARCHAR"},
      {"ORG_FILE_NAME", "VARCHAR"}, {"ORG_FILE_PATH", "VARCHAR"}}));
  all.push_back(table("REPEATTRANSACTION", {
      key("DEVICE_ID", "INTEGER"), {"uid", "TEXT"}, {"IS_DEL", "INTEGER"}, {"USETIME", "INTEGER"},
      {"MARK", "INTEGER"}, {"END_DATE", "INTEGER"}, {"NEXT_DATE", "INTEGER"}, {"DO_TYPE", "INTEGER"},
      {"REPEAT_TYPE", "INTEGER"}, {"assetUid", "TEXT"}, {"toAssetUid", "TEXT"}, {"ctgUid", "TEXT"},
      {"currencyUid", "TEXT"}, {"AMOUNT_SUB", "REAL"}, {"MEMO", "VARCHAR"}, {"PAYEE", "VARCHAR"}}));
  all.push_back(table("TAG", {
      key("id", "integer"), {"uid", "text"}, {"name", "text"}, {"orderSeq", "integer"}, {"isDel", "integer"},
      {"utime", "real"}}));
  all.push_back(table("TX_TAG", {
      key("id", "integer"), {"uid", "text"}, {"txUid", "text"}, {"tagUid", "text"}, {"objName", "text"},
      {"orderSeq", "integer"}, {"isDel", "integer"}, {"utime", "real"}}));
  all.push_back(table("SMS_RAW_READ", {
      key("ID", "integer"), {"uid", "TEXT"}, {"RDATE", "varchar"}, {"ZDATE", "integer"}, {"TEL", "varchar"},
      {"ZDATA", "varchar"}, {"MACROTYPE", "integer"}, {"assetUid", "TEXT"}, {"toAssetUid", "TEXT"},
      {"NOTIFY_TYPE", "integer"}, {"AMOUNT", "varchar"}, {"TEXT_PARSING_TIME", "integer"},
      {"ASSETNAME", "varchar"}, {"TYPE", "varchar"}, {"MMSID", "integer"}, {"APP_PACKAGE", "varchar"},
      {"APP_NAME", "varchar"}, {"SENDER_NAME", "varchar"}, {"IS_DEL", "integer"}, {"utime", "real"}}));
  all.push_back(table("MESSAGEMACRO2", {
      key("AID", "INTEGER"), {"uid", "TEXT"}, {"conAssetUid", "TEXT"}, {"MACROASSETNAME", "VARCHAR"},
      {"MACROTYPE", "INTEGER"}, {"SMS_TEL", "VARCHAR"}, {"MODIDATE", "VARCHAR"}, {"USEYN", "VARCHAR"},
      {"APP_PACKAGE", "VARCHAR"}, {"APP_NAME", "VARCHAR"}, {"ORDERSEQ", "INTEGER"}, {"utime", "real"}}));
  all.push_back(table("CODE_DATA", {
      key("id", "integer"), {"uid", "text"}, {"code", "text"}, {"data", "text"}, {"num", "integer"},
      {"isDel", "integer"}, {"utime", "real"}, {"ctime", "real"}},
      true, "CREATE TABLE IF NOT EXISTS"));
  all.push_back(table("CODE_LINK", {
      key("id", "integer"), {"uid", "text"}, {"codeUid", "text"}, {"tableName", "text"}, {"tableUid", "text"},
      {"orderSeq", "integer"}, {"isDel", "integer"}, {"utime", "real"}, {"ctime", "real"}},
      true, "CREATE TABLE IF NOT EXISTS"));
  all.push_back(table("android_metadata", {{"locale", "TEXT"}}, false));
  return all;
}

std::vector<Index> makeIndexes() {
  std::vector<Index> all = {
      {"INOUTCOME_IDX2", "INOUTCOME", "DO_TYPE"},     {"INOUTCOME_IDX3", "INOUTCOME", "ZDATE"},
      {"INOUTCOME_IDX4", "INOUTCOME", "WDATE"},       {"INOUTCOME_IDX5", "INOUTCOME", "SMS_RDATE"},
      {"INOUTCOME_IDX6", "INOUTCOME", "UTIME"},       {"INOUTCOME_IDX7", "INOUTCOME", "assetUid"},
      {"INOUTCOME_IDX8", "INOUTCOME", "ctgUid"},      {"INOUTCOME_IDX9", "INOUTCOME", "currencyUid"},
      {"SMS_RAW_READ_IDX1", "SMS_RAW_READ", "ZDATE"}, {"SMS_RAW_READ_IDX2", "SMS_RAW_READ", "ZDATA"},
      {"SMS_RAW_READ_IDX3", "SMS_RAW_READ", "RDATE"}, {"SMS_RAW_READ_IDX4", "SMS_RAW_READ", "assetUid"},
  };
  const std::pair<std::string_view, std::string_view> uniqueUids[] = {
      {"UNIQUE_IDX_INOUTCOME_UID", "INOUTCOME"},      {"UNIQUE_IDX_CURRENCY_UID", "CURRENCY"},
      {"UNIQUE_IDX_ASSETGROUP_UID", "ASSETGROUP"},    {"UNIQUE_IDX_ASSETS_UID", "ASSETS"},
      {"UNIQUE_IDX_CATEGORY_UID", "ZCATEGORY"},       {"UNIQUE_IDX_PHOTO_UID", "PHOTO"},
      {"UNIQUE_IDX_FAV_UID", "FAVTRANSACTION"},       {"UNIQUE_IDX_REPEAT_UID", "REPEATTRANSACTION"},
      {"UNIQUE_IDX_MACRO_UID", "MESSAGEMACRO2"},      {"UNIQUE_IDX_ETC_UID", "ZETC"},
      {"UNIQUE_IDX_SMS_UID", "SMS_RAW_READ"},         {"UNIQUE_IDX_BUDGET_UID", "BUDGET"},
      {"UNIQUE_IDX_BUDGET_AMT_UID", "BUDGET_AMOUNT"}, {"UNIQUE_IDX_MEMO_UID", "MEMO"},
      {"UNIQUE_IDX_TAG_UID", "TAG"},                  {"UNIQUE_IDX_TX_TAG_UID", "TX_TAG"},
      {"UNIQUE_IDX_CODE_LINK_UID", "CODE_LINK"},      {"UNIQUE_IDX_CODE_DATA_UID", "CODE_DATA"},
  };
  for (const auto& [name, table] : uniqueUids) all.push_back({name, table, "uid", true});
  all.push_back({"MESSAGEMACRO2_IDX1", "MESSAGEMACRO2", "SMS_TEL"});
  return all;
}

}  // namespace

const Column* Table::column(std::string_view wanted) const {
  for (const auto& c : columns) {
    if (c.name == wanted) return &c;
  }
  return nullptr;
}

const std::vector<Table>& tables() {
  static const std::vector<Table> kTables = makeTables();
  return kTables;
}

const std::vector<Index>& indexes() {
  static const std::vector<Index> kIndexes = makeIndexes();
  return kIndexes;
}

const Table* findTable(std::string_view name) {
  for (const auto& t : tables()) {
    if (t.name == name) return &t;
  }
  return nullptr;
}

std::string createTableSql(const Table& table) {
  std::string sql = std::string(table.createKeyword) + " " + std::string(table.name) + "(";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const Column& c = table.columns[i];
    if (i > 0) sql += ", ";
    sql += std::string(c.name) + " " + std::string(c.type);
    if (c.primaryKey) sql += " PRIMARY KEY";
    if (c.autoincrement) sql += " AUTOINCREMENT";
  }
  return sql + ")";
}

std::string createIndexSql(const Index& index) {
  return std::string(index.unique ? "CREATE UNIQUE INDEX IF NOT EXISTS " : "CREATE INDEX ") +
         std::string(index.name) + " ON " + std::string(index.table) + " (" + std::string(index.column) + ")";
}

std::string createIndexBatchSql() {
  std::string sql;
  for (const auto& index : indexes()) sql += createIndexSql(index) + "; ";
  return sql;
}

std::string columnList(const Table& table) {
  std::string list;
  for (const auto& c : table.columns) {
    if (!list.empty()) list += ", ";
    list += c.name;
  }
  return list;
}

}  // namespace varnel::interchange
