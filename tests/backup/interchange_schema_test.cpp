#include "backup/interchange_schema.h"

#include <cctype>
#include <string>
#include <vector>

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include "backup/interchange_writer.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

// The interchange layout as the format defines it, written out by hand: a
// table's columns as "name type", "PK" for its key and "auto" for
// AUTOINCREMENT. SQLite reports the common type names in capitals whatever
// their case in the statement, so types compare without regard to case.
const struct {
  const char* table;
  const char* columns;
} kLayout[] = {
    {"INOUTCOME",
     "AID INTEGER PK, uid TEXT, assetUid TEXT, CARDDIVIDMONTH VARCHAR, ctgUid TEXT, toAssetUid TEXT, "
     "ZCONTENT VARCHAR, ZDATE VARCHAR, WDATE VARCHAR, wtime TEXT, paid TEXT, DO_TYPE VARCHAR, ZMONEY VARCHAR, "
     "txUidTrans TEXT, ZDATA VARCHAR, SMS_RDATE VARCHAR, IN_ZMONEY VARCHAR, ASSET_NIC VARCHAR, "
     "CATEGORY_NAME VARCHAR, cardDivideUid TEXT, CARD_DIVIDE_MONTH_STR VARCHAR, MARK INTEGER, txUidFee TEXT, "
     "SMS_ORIGIN VARCHAR, SMS_PARSE_CONTENT VARCHAR, IS_DEL INTEGER, UTIME INTEGER, currencyUid TEXT, "
     "AMOUNT_ACCOUNT REAL, lat TEXT, lng TEXT, gstd TEXT, isSynced integer, syncTime real, syncVersion integer"},
    {"ASSETGROUP",
     "DEVICE_ID INTEGER PK auto, uid TEXT, IS_DEL INTEGER, USETIME INTEGER, ACC_GROUP_NAME VARCHAR, "
     "TYPE INTEGER, ORDERSEQ INTEGER, isSynced integer, syncTime real, syncVersion integer"},
    {"ASSETS",
     "ID integer PK auto, CARD_DAY_FIN varchar, CARD_DAY_PAY varchar, NIC_NAME varchar, ORDERSEQ integer, "
     "ZDATA varchar, ZDATA1 varchar, ZDATA2 varchar, IS_TRANS_EXPENSE INTEGER, IS_CARD_AUTO_PAY INTEGER, "
     "APP_PACKAGE varchar, APP_NAME varchar, SMS_TEL varchar, SMS_STRING varchar, A_UTIME INTEGER, "
     "CARD_USAGE_HURDLE_TYPE integer, CARD_USAGE_HURDLE_START_DATE real, CARD_USAGE_HURDLE_AMOUNT real, "
     "uid TEXT, currencyUid TEXT, cardAssetUid TEXT, groupUid TEXT, isSynced integer, syncTime real, "
     "syncVersion integer"},
    {"ZCATEGORY",
     "ID integer PK auto, C_IS_DEL integer, C_UTIME INTEGER, uid TEXT, NAME varchar, ORDERSEQ integer, "
     "TYPE integer, STATUS integer, pUid TEXT, isSynced integer, syncTime real, syncVersion integer"},
    {"ZETC",
     "Z_PK integer PK auto, uid TEXT, E_UTIME INTEGER, ZDATATYPE integer, ZDATA varchar, ZZDATA varchar, "
     "ZZDATA1 varchar, ZZDATA2 varchar, dataTypeKey varchar, isDel integer, isSynced integer, syncTime real, "
     "syncVersion integer"},
    {"BUDGET",
     "ID integer PK auto, uid TEXT, targetUid TEXT, DO_TYPE integer, PERIOD_TYPE integer, IS_TOTAL integer, "
     "IS_DEL integer, TRANSFER_TYPE integer, ORDER_SEQ integer, MODIFY_DATE integer, isSynced integer, "
     "syncTime real, syncVersion integer"},
    {"BUDGET_AMOUNT",
     "ID integer PK auto, uid text, budgetUid TEXT, IS_DEL integer, AMOUNT real, BUDGET_PERIOD integer, "
     "MODIFY_DATE integer, isSynced integer, syncTime real, syncVersion integer"},
    {"CURRENCY",
     "ID integer PK auto, uid varchar, NAME varchar, ISO varchar, MAIN_ISO varchar, IS_DEL integer, "
     "ORDER_SEQ integer, RATE real, SYMBOL varchar, INSERT_TYPE varchar, SYMBOL_POSITION varchar, "
     "IS_MAIN_CURRENCY integer, IS_SHOW integer, MODIFY_DATE integer, DECIMAL_POINT integer, isSynced integer, "
     "syncTime real, syncVersion integer"},
    {"FAVTRANSACTION",
     "DEVICE_ID INTEGER PK auto, uid TEXT, IS_DEL INTEGER, USETIME INTEGER, MARK INTEGER, DO_TYPE INTEGER, "
     "assetUid TEXT, toAssetUid TEXT, ctgUid TEXT, AMOUNT_SUB REAL, currencyUid INTEGER, MEMO VARCHAR, "
     "PAYEE VARCHAR, ORDERSEQ INTEGER, isSynced integer, syncTime real, syncVersion integer"},
    {"MEMO",
     "id integer PK auto, uid text, title text, content text, memoTime real, memoDate text, pinned integer, "
     "pinnedTime real, orderSeq integer, color text, isDel integer, utime real, isSynced integer, syncTime real, "
     "syncVersion integer"},
    {"PHOTO",
     "DEVICE_ID INTEGER PK auto, uid TEXT, IS_DEL INTEGER, USETIME INTEGER, txUid TEXT, FILE_SIZE INTEGER, "
     "FILE_PATH VARCHAR, FILE_NAME VARCHAR, ORG_FILE_NAME VARCHAR, ORG_FILE_PATH VARCHAR, isSynced integer, "
     "syncTime real, syncVersion integer"},
    {"REPEATTRANSACTION",
     "DEVICE_ID INTEGER PK auto, uid TEXT, IS_DEL INTEGER, USETIME INTEGER, MARK INTEGER, END_DATE INTEGER, "
     "NEXT_DATE INTEGER, DO_TYPE INTEGER, REPEAT_TYPE INTEGER, assetUid TEXT, toAssetUid TEXT, ctgUid TEXT, "
     "currencyUid TEXT, AMOUNT_SUB REAL, MEMO VARCHAR, PAYEE VARCHAR, isSynced integer, syncTime real, "
     "syncVersion integer"},
    {"TAG",
     "id integer PK auto, uid text, name text, orderSeq integer, isDel integer, utime real, isSynced integer, "
     "syncTime real, syncVersion integer"},
    {"TX_TAG",
     "id integer PK auto, uid text, txUid text, tagUid text, objName text, orderSeq integer, isDel integer, "
     "utime real, isSynced integer, syncTime real, syncVersion integer"},
    {"SMS_RAW_READ",
     "ID integer PK auto, uid TEXT, RDATE varchar, ZDATE integer, TEL varchar, ZDATA varchar, MACROTYPE integer, "
     "assetUid TEXT, toAssetUid TEXT, NOTIFY_TYPE integer, AMOUNT varchar, TEXT_PARSING_TIME integer, "
     "ASSETNAME varchar, TYPE varchar, MMSID integer, APP_PACKAGE varchar, APP_NAME varchar, SENDER_NAME varchar, "
     "IS_DEL integer, utime real, isSynced integer, syncTime real, syncVersion integer"},
    {"MESSAGEMACRO2",
     "AID INTEGER PK auto, uid TEXT, conAssetUid TEXT, MACROASSETNAME VARCHAR, MACROTYPE INTEGER, SMS_TEL VARCHAR, "
     "MODIDATE VARCHAR, USEYN VARCHAR, APP_PACKAGE VARCHAR, APP_NAME VARCHAR, ORDERSEQ INTEGER, utime real, "
     "isSynced integer, syncTime real, syncVersion integer"},
    {"CODE_DATA",
     "id integer PK auto, uid text, code text, data text, num integer, isDel integer, utime real, ctime real, "
     "isSynced integer, syncTime real, syncVersion integer"},
    {"CODE_LINK",
     "id integer PK auto, uid text, codeUid text, tableName text, tableUid text, orderSeq integer, isDel integer, "
     "utime real, ctime real, isSynced integer, syncTime real, syncVersion integer"},
    {"android_metadata", "locale TEXT"},
};

// Index, table (column), and "unique" for the unique ones, in batch order.
const std::vector<std::string> kIndexes = {
    "INOUTCOME_IDX2 INOUTCOME (DO_TYPE)",
    "INOUTCOME_IDX3 INOUTCOME (ZDATE)",
    "INOUTCOME_IDX4 INOUTCOME (WDATE)",
    "INOUTCOME_IDX5 INOUTCOME (SMS_RDATE)",
    "INOUTCOME_IDX6 INOUTCOME (UTIME)",
    "INOUTCOME_IDX7 INOUTCOME (assetUid)",
    "INOUTCOME_IDX8 INOUTCOME (ctgUid)",
    "INOUTCOME_IDX9 INOUTCOME (currencyUid)",
    "SMS_RAW_READ_IDX1 SMS_RAW_READ (ZDATE)",
    "SMS_RAW_READ_IDX2 SMS_RAW_READ (ZDATA)",
    "SMS_RAW_READ_IDX3 SMS_RAW_READ (RDATE)",
    "SMS_RAW_READ_IDX4 SMS_RAW_READ (assetUid)",
    "UNIQUE_IDX_INOUTCOME_UID INOUTCOME (uid) unique",
    "UNIQUE_IDX_CURRENCY_UID CURRENCY (uid) unique",
    "UNIQUE_IDX_ASSETGROUP_UID ASSETGROUP (uid) unique",
    "UNIQUE_IDX_ASSETS_UID ASSETS (uid) unique",
    "UNIQUE_IDX_CATEGORY_UID ZCATEGORY (uid) unique",
    "UNIQUE_IDX_PHOTO_UID PHOTO (uid) unique",
    "UNIQUE_IDX_FAV_UID FAVTRANSACTION (uid) unique",
    "UNIQUE_IDX_REPEAT_UID REPEATTRANSACTION (uid) unique",
    "UNIQUE_IDX_MACRO_UID MESSAGEMACRO2 (uid) unique",
    "UNIQUE_IDX_ETC_UID ZETC (uid) unique",
    "UNIQUE_IDX_SMS_UID SMS_RAW_READ (uid) unique",
    "UNIQUE_IDX_BUDGET_UID BUDGET (uid) unique",
    "UNIQUE_IDX_BUDGET_AMT_UID BUDGET_AMOUNT (uid) unique",
    "UNIQUE_IDX_MEMO_UID MEMO (uid) unique",
    "UNIQUE_IDX_TAG_UID TAG (uid) unique",
    "UNIQUE_IDX_TX_TAG_UID TX_TAG (uid) unique",
    "UNIQUE_IDX_CODE_LINK_UID CODE_LINK (uid) unique",
    "UNIQUE_IDX_CODE_DATA_UID CODE_DATA (uid) unique",
    "MESSAGEMACRO2_IDX1 MESSAGEMACRO2 (SMS_TEL)",
};

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class InterchangeSchemaTest : public testing::LedgerTest {};

// An empty ledger gives the whole layout, as SQLite reports it back from the
// file, with no rows but the metadata row.
TEST_F(InterchangeSchemaTest, AnEmptyLedgerGivesTheWholeLayoutAndOnlyTheMetadataRow) {
  const auto file = dir_.path() / "empty.sqlite";
  MyDBCopyAndroid writer(ledger_->env(), *log_);
  const auto written = writer.myDBCopyAndroid(ledger_->store().path(), file);
  ASSERT_TRUE(written.isOk()) << written.status().message();
  SQLite::Database db(file.string(), SQLite::OPEN_READONLY);
  EXPECT_EQ(db.execAndGet("PRAGMA user_version").getInt(), 19);

  std::vector<std::string> tables, expectedTables;
  SQLite::Statement list(db,
                         "SELECT name, sql FROM sqlite_master WHERE type = 'table' AND name != 'sqlite_sequence' "
                         "ORDER BY rowid");
  while (list.executeStep()) {
    const std::string name = list.getColumn(0).getString(), sql = list.getColumn(1).getString();
    tables.push_back(name);
    std::string columns;
    SQLite::Statement info(db, "SELECT name, type, pk FROM pragma_table_info(?) ORDER BY cid");
    info.bind(1, name);
    while (info.executeStep()) {
      columns += (columns.empty() ? "" : ", ") + info.getColumn(0).getString() + " " + info.getColumn(1).getString();
      if (info.getColumn(2).getInt()) columns += sql.find("AUTOINCREMENT") != std::string::npos ? " PK auto" : " PK";
    }
    for (const auto& t : kLayout) {
      if (name != t.table) continue;
      SCOPED_TRACE(name);
      EXPECT_EQ(upper(columns), upper(t.columns));
      EXPECT_EQ(db.execAndGet("SELECT count(*) FROM \"" + name + "\"").getInt(), name == "android_metadata");
    }
  }
  for (const auto& t : kLayout) expectedTables.push_back(t.table);
  EXPECT_EQ(tables, expectedTables);

  std::vector<std::string> indexes;
  SQLite::Statement index(db,
                          "SELECT m.name, m.tbl_name, i.name, l.\"unique\" FROM sqlite_master m, "
                          "pragma_index_info(m.name) i, pragma_index_list(m.tbl_name) l WHERE m.type = 'index' "
                          "AND l.name = m.name AND m.name NOT LIKE 'sqlite_%' ORDER BY m.rowid");
  while (index.executeStep()) {
    indexes.push_back(index.getColumn(0).getString() + " " + index.getColumn(1).getString() + " (" +
                      index.getColumn(2).getString() + ")" + (index.getColumn(3).getInt() ? " unique" : ""));
  }
  EXPECT_EQ(indexes, kIndexes);
  EXPECT_EQ(db.execAndGet("SELECT locale FROM android_metadata").getString(), "ko_KR");
}

// The reader picks current-format columns from these lists: each table's
// list in the file's order.
TEST(InterchangeSchema, ColumnListsFollowTheLayout) {
  ASSERT_NE(interchange::findTable("TAG"), nullptr);
  EXPECT_EQ(interchange::columnList(*interchange::findTable("TAG")),
            "id, uid, name, orderSeq, isDel, utime, isSynced, syncTime, syncVersion");
  EXPECT_EQ(interchange::findTable("tag"), nullptr);
}

}  // namespace
}  // namespace varnel
