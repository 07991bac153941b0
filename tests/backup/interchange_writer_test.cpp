#include "backup/interchange_writer.h"

#include <signal.h>
#include <sys/resource.h>
#include <zlib.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/test_ledger.h"

namespace varnel {
namespace {

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::set<std::string> filesIn(const std::filesystem::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

// Every row of `table`, in key order, as its cells in SQL literal form
// joined by "|": 'text' is quoted, a real keeps its ".0", NULL is NULL, so
// the storage class of each cell is compared as well as its value.
std::vector<std::string> rowsOf(SQLite::Database& db, const std::string& table) {
  std::string cells;
  SQLite::Statement info(db, "SELECT name FROM pragma_table_info(?) ORDER BY cid");
  info.bind(1, table);
  while (info.executeStep()) {
    cells += (cells.empty() ? "quote(\"" : " || '|' || quote(\"") + info.getColumn(0).getString() + "\")";
  }
  std::vector<std::string> rows;
  SQLite::Statement select(db, "SELECT " + cells + " FROM \"" + table + "\" ORDER BY rowid");
  while (select.executeStep()) rows.push_back(select.getColumn(0).getString());
  return rows;
}

class InterchangeWriterTest : public testing::LedgerTest {
 protected:
  SQLite::Database& store() { return ledger_->store().db(); }

  Result<InterchangeExport> exportTo(const std::filesystem::path& target, InterchangeExportOptions options = {}) {
    MyDBCopyAndroid writer(ledger_->env(), *log_);
    return writer.myDBCopyAndroid(ledger_->store().path(), target, options);
  }

  // A ledger with a record of every kind, deleted ones included, written
  // straight into the store so that each stored value is known.
  void writeEveryKindOfRecord() {
    store().exec(R"sql(
      INSERT INTO ZINOUTCOME (Z_PK, ZUID, ZDATE, ZTXDATESTR, ZDO_TYPE, ZASSETUID, ZCATEGORYUID, ZCURRENCYUID,
          ZAMOUNTSUB, ZAMOUNT, ZAMOUNTACCOUNT, ZCONTENT, ZMEMO, ZMARK, ZSMSORIGINE, ZSMSPARSECONTENTS, ZSMSRDATE,
          ZLAT, ZLNG, ZGSTD, ZWTIME, ZPAID, ZASSET_NIC, ZCATEGORY_NAME, ZCARDTIMESTAMPSTR, ZZDATA1, ZUTIME,
          ZISSYNCED, ZSYNCTIME)
        VALUES (1, 'TX-E', 721692800, '2023-11-15', '1', 'A-CASH', 'C-FOOD', 'KRW_KRW', 1500, 1500, 1500, 'Lunch',
          'with team', 2, '[Card] 1,500 Lunch', 'Lunch', '2023-11-15 07:13:20', '37.5665', '126.978', 'G1', '07:13',
          'P', 'Cash', 'Food', 'stamp', 'z1', 1700000000123, 1, 700000000);
      INSERT INTO ZINOUTCOME (Z_PK, ZUID, ZDATE, ZTXDATESTR, ZDO_TYPE, ZASSETUID, ZTOASSETUID, ZCURRENCYUID,
          ZAMOUNTSUB, ZAMOUNT, ZAMOUNTACCOUNT, ZCONTENT, ZTXUIDTRANS, ZTXUIDFEE, ZISDEL, ZUTIME) VALUES
        (2, 'TX-OUT', 721692800.5, '2023-11-15', '3', 'A-CASH', 'A-USD', 'KRW_USD', 10, 13000.5, 13000.5,
          'Exchange', 'TR-1', 'FEE-1', 0, 1700000000200),
        (3, 'TX-IN', 721692800.5, '2023-11-15', '4', 'A-USD', 'A-CASH', 'KRW_USD', 10, 13000.5, 10,
          'Exchange', 'TR-1', 'FEE-1', 0, 1700000000200);
      INSERT INTO ZINOUTCOME (Z_PK, ZUID, ZDATE, ZTXDATESTR, ZDO_TYPE, ZASSETUID, ZCATEGORYUID, ZCURRENCYUID,
          ZAMOUNTSUB, ZAMOUNT, ZAMOUNTACCOUNT, ZCONTENT, ZTXUIDFEE, ZCARDDIVIDEMONTH, ZCARDDIVIDEMONTHSTR,
          ZCARDDIVIDEUID, ZISDEL, ZUTIME) VALUES
        (4, 'TX-FEE', 721692800.5, '2023-11-15', '1', 'A-CASH', '-2', 'KRW_KRW', 500, 500, 500, 'Fee', 'FEE-1',
          NULL, NULL, NULL, NULL, 1700000000201),
        (5, 'TX-I1', 721692800, '2023-11-15', '1', 'A-CARD', 'C-FOOD', 'KRW_KRW', 50000, 50000, 50000, 'TV', NULL,
          '10001', '(1/2)', 'TX-I1', NULL, 1700000000300),
        (6, 'TX-I2', 724284800, '2023-12-15', '1', 'A-CARD', 'C-FOOD', 'KRW_KRW', 50000, 50000, 50000, 'TV', NULL,
          '10001', '(2/2)', 'TX-I1', NULL, 1700000000300),
        (7, 'TX-DEL', 721692799.25, '2023-11-15', '0', 'A-CASH', 'C-SALARY', 'KRW_KRW', 0.1, 0.1, 0.1, NULL, NULL,
          NULL, NULL, NULL, 1, 1700000000400);

      INSERT INTO ZASSETGROUP (ZUID, ZASSETGROUPNAME, ZSTATUS, ZORDER, ZISDEL, ZUTIME) VALUES
        ('1', 'Bank', 1, 1, NULL, 1700000000010), ('2', 'Credit card', 2, 2, 4, 1700000000011);

      -- Written out of key order: the file follows the key.
      INSERT INTO ZASSET (Z_PK, ZUID, ZNICNAME, ZGROUPUID, ZORDER, ZCURRENCYUID, ZISDEL, ZUTIME) VALUES
        (4, 'A-OLD', 'Old', '1', 4, NULL, 1, 1700000000023);
      INSERT INTO ZASSET (Z_PK, ZUID, ZNICNAME, ZGROUPUID, ZORDER, ZCURRENCYUID, ZMEMO, ZISDEL, ZISREFLECT,
          ZTRANSFEREXPENSE, ZCARD_DAYFIN, ZCARD_DAYPAY, ZCARDASSETUID, ZISCARDAUTOPAY, ZCARD_USAGE_HURDLE_TYPE,
          ZCARD_USAGE_HURDLE_START_DATE, ZCARD_USAGE_HURDLE_AMOUNT, ZSMSSTRING, ZSMSTEL, ZAPPPACKAGE, ZAPPNAME,
          ZCARD_ACCOUNT_NAME, ZUTIME) VALUES
        (2, 'A-CARD', 'Visa', '2', 2, '', NULL, 3, 1, 1, '14', '25', 'A-CASH', 1, 1, 5, 300000, 'VISA', '1588-0000',
          'com.example.card', 'Card', 'old name', 1700000000021),
        (1, 'A-CASH', 'Cash', '1', 1, 'KRW_KRW', 'wallet', NULL, 0, 0, '1', '1', NULL, 0, NULL, NULL, NULL, NULL,
          NULL, NULL, NULL, NULL, 1700000000020),
        (3, 'A-USD', 'Dollars', '1', 3, 'KRW_USD', NULL, 0, 0, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
          NULL, NULL, NULL, NULL, 1700000000022);

      INSERT INTO ZCATEGORY (ZUID, ZNAME, ZDOTYPE, ZPUID, ZSTATUS, ZORDER, ZISDEL, ZUTIME) VALUES
        ('C-FOOD', 'Food', 1, NULL, 1, 1, 0, 1700000000030),
        ('C-SNACK', 'Snacks', 1, 'C-FOOD', 2, 1, NULL, 1700000000031),
        ('C-SALARY', 'Salary', 0, NULL, 1, 2, 1, 1700000000032);

      INSERT INTO ZETC (ZUID, ZDATATYPE, ZDATA, ZZDATA, ZZDATA1, ZZDATA2, ZDATAYTYPEKEY, ZISDEL, ZUTIME) VALUES
        ('E-START', -23459, '25', NULL, NULL, NULL, 'start_day', NULL, 1700000000040),
        ('E-OLD-CURRENCY', -8540, 'KRW', NULL, NULL, NULL, '', NULL, 1700000000043),
        ('E-41', 41, '1', NULL, NULL, NULL, '', NULL, 1700000000044),
        ('E-WEEK', 10002, '1', '0', 'one', 'two', '', NULL, 1700000000041),
        ('E-25278', 25278, 'USD', NULL, NULL, NULL, '', NULL, 1700000000045),
        ('E-18683', -18683, '1', NULL, NULL, NULL, '', NULL, 1700000000046),
        ('E-NO-KIND', NULL, 'x', NULL, NULL, NULL, NULL, 1, 1700000000042);

      INSERT INTO ZBUDGET (ZUID, ZTARGETUID, ZDOTYPESTR, ZPERIODTYPEINT, ZTOTALTYPEINT, ZTRANSTYPEINT, ZORDER,
          ZISDEL, ZUTIME) VALUES
        ('B-FOOD', 'C-FOOD', '1', 1, 0, 0, 1, NULL, 1700000000050),
        ('B-OLD', '', '1', 1, 1, 0, 2, 1, 1700000000051);
      INSERT INTO ZBUDGETAMOUNT (ZUID, ZBUDGETUID, ZBUDGETPERIOD, ZAMOUNT, ZISDEL, ZUTIME) VALUES
        ('BA-1', 'B-FOOD', 202311, 300000, 0, 1700000000060);
      INSERT INTO ZCURRENCY (ZUID, ZISO, ZMAINISO, ZRATE, ZSYMBOL, ZSYMBOLPOSITION, ZPOINT, ZISMAINCURRENCY,
          ZISSHOW, ZINSERTTYPE, ZORDERSEQ, ZMEMO, ZMODIFYDATE, ZISDEL, ZUTIME) VALUES
        ('KRW_KRW', 'KRW', 'KRW', 1, '₩', '0', 0, 1, 1, '0', 1, 'Korean won', 700000000, NULL, 1700000000070),
        ('KRW_USD', 'USD', 'KRW', 1300.05, '$', '1', 2, 0, 1, '1', 2, 'US dollar', NULL, 0, 1700000000071);
      INSERT INTO ZFAVTRANSACTION (ZUID, ZDOTYPE, ZASSETUID, ZCATEGORYUID, ZCURRENCYUID, ZCURRENCY_SUB,
          ZSUBCATEGORY_ID, ZAMOUNTSUB, ZMEMO, ZPAYEE, ZMARK, ZORDER, ZUTIME) VALUES
        ('F-1', 1, 'A-CASH', 'C-FOOD', 'KRW_KRW', 'KRW', 9, 8000, 'coffee', 'Cafe', 0, 1, 1700000000080);
      INSERT INTO ZMEMO (ZUID, ZTITLE, ZCONTENT, ZCOLOR, ZMEMODATE, ZMEMOTIME, ZORDERSEQ, ZPINNED, ZPINNEDTIME,
          ZDEL_SYNCTIME, ZUTIME) VALUES
        ('M-1', 'Rent', 'pay on 25th', '#FFCC00', '2023-11-25', 1700870400000, 1, 1, 1700000000090, 5,
          1700000000091);
      INSERT INTO ZPHOTO (ZUID, ZTXUID, ZFILENAME, ZFILEPATH, ZORGFILENAME, ZORGFILEPATH, ZFILESIZE, ZISDEL,
          ZUTIME) VALUES
        ('P-1', 'TX-E', 'p-1.jpg', 'Documents/Varnel/p-1.jpg', 'IMG_1.jpg', '/cam/IMG_1.jpg', 2048, 0,
          1700000000100);
      INSERT INTO ZREPEATTRANSACTION (ZUID, ZDOTYPE, ZASSETUID, ZCATEGORYUID, ZCURRENCYUID, ZAMOUNTSUB,
          ZCURRENCY_SUB, ZMEMO, ZPAYEE, ZMARK, ZREPEATTYPE, ZNEXTDATE, ZENDDATE, ZUSETIME, ZUTIME) VALUES
        ('R-1', 1, 'A-CASH', 'C-FOOD', 'KRW_KRW', 700000, 'KRW', 'rent', 'Landlord', 1, 1, 20231225, 0, 99,
          1700000000110);
      INSERT INTO ZTAG (ZUID, ZNAME, ZORDERSEQ, ZISDEL, ZUTIME) VALUES
        ('system_prepayment', 'Prepayment', 1, 0, 1700000000120);
      INSERT INTO ZTXTAG (ZUID, ZTXUID, ZTAGUID, ZTX, ZTAG, ZORDERSEQ, ZOBJNAME, ZISDEL, ZUTIME) VALUES
        ('TT-1', 'TX-I1', 'system_prepayment', 5, 1, 1, 'InOutCome', 0, 1700000000130);
      -- "12" is also the integer value of the second rule's uid; the third has none.
      INSERT INTO ZMESSAGEMACRO2 (ZUID, ZMACROTYPE, ZMACROASSETNAME, ZCONASSETUID, ZSMSTEL, ZAPPPACKAGE, ZAPPNAME,
          ZUSEYN, ZMODIDATE, ZORDERSEQ, ZUTIME) VALUES
        ('12', 1, 'KB Card', 'A-CARD', '15881688', NULL, NULL, 'Y', '20231114', 1, 1700000000140),
        ('12AB34CD-0000-4000-8000-000000000001', 2, 'My bank', 'A-CASH', '16449999', 'com.bank', 'Bank', 'N',
          '20231115', 2, 1700000000141),
        ('Z-RULE', 1, 'Pay', NULL, NULL, 'com.pay', 'Pay', 'Y', NULL, 3, 1700000000142);
      INSERT INTO ZSMSRAWREAD (ZUID, ZRDATE, ZTEL, ZSENDERNAME, ZAPPPACKAGE, ZAPPNAME, ZTYPE, ZAMOUNT, ZASSETNAME,
          ZASSETUID, ZZDATA, ZZDATE, ZMACROTYPE, ZNOTIFYTYPE, ZMMSID, ZTEXTPARSINGTIME, ZISDEL, ZISSYNCED,
          ZSYNCVERSION, ZUTIME) VALUES
        ('S-1', '2023-11-15 07:13:20', '15881688', 'KB', 'com.card', 'Card', '1', '1,500', 'Visa', 'A-CARD',
          '[KB] 1,500', 1700000000000, 1, 0, 0, 3, 0, 1, 0, 1700000000150.5);
      -- The code tables' uids are not unique in the store; the file keeps the first.
      INSERT INTO ZCODEDATA (ZUID, ZCODE, ZDATA, ZNUM, ZCTIME, ZUTIME, ZISDEL) VALUES
        ('CD-1', 'color', 'red', 1, 1700000000160, 1700000000161, 0),
        ('CD-1', 'color', 'blue', 2, 1700000000162, 1700000000163, 0);
      INSERT INTO ZCODELINK (ZUID, ZCODEUID, ZTABLENAME, ZTABLEUID, ZORDERSEQ, ZCTIME, ZUTIME, ZISDEL) VALUES
        ('CL-1', 'CD-1', 'ZINOUTCOME', 'TX-E', 1, 1700000000170, 1700000000171, 0);
    )sql");
  }
};

TEST_F(InterchangeWriterTest, WritesEveryRecordCellByCellInTheFilesConventions) {
  writeEveryKindOfRecord();
  const auto file = dir_.path() / "book.sqlite";
  const auto written = exportTo(file);
  ASSERT_TRUE(written.isOk()) << written.status().message();

  const struct {
    const char* table;
    std::vector<std::string> rows;
  } expected[] = {
      // AID in copy order; ZDATE the text of a real number of milliseconds since
      // 1970 (a whole second gets ".0", a half second 500 ms); ZMONEY and
      // IN_ZMONEY text, AMOUNT_ACCOUNT real; isSynced 2; `paid` carried.
      {"INOUTCOME",
       {"1|'TX-E'|'A-CASH'|NULL|'C-FOOD'|NULL|'Lunch'|'1700000000000.0'|'2023-11-15'|'07:13'|'P'|'1'|'1500.0'|NULL|"
        "'with team'|'2023-11-15 07:13:20'|'1500.0'|'Cash'|'Food'|NULL|NULL|2|NULL|'[Card] 1,500 Lunch'|'Lunch'|NULL|"
        "1700000000123|'KRW_KRW'|1500.0|'37.5665'|'126.978'|'G1'|2|NULL|NULL",
        "2|'TX-OUT'|'A-CASH'|NULL|NULL|'A-USD'|'Exchange'|'1700000000500.0'|'2023-11-15'|NULL|NULL|'3'|'13000.5'|"
        "'TR-1'|NULL|NULL|'10.0'|NULL|NULL|NULL|NULL|NULL|'FEE-1'|NULL|NULL|0|1700000000200|'KRW_USD'|13000.5|NULL|"
        "NULL|NULL|2|NULL|NULL",
        "3|'TX-IN'|'A-USD'|NULL|NULL|'A-CASH'|'Exchange'|'1700000000500.0'|'2023-11-15'|NULL|NULL|'4'|'13000.5'|"
        "'TR-1'|NULL|NULL|'10.0'|NULL|NULL|NULL|NULL|NULL|'FEE-1'|NULL|NULL|0|1700000000200|'KRW_USD'|10.0|NULL|"
        "NULL|NULL|2|NULL|NULL",
        "4|'TX-FEE'|'A-CASH'|NULL|'-2'|NULL|'Fee'|'1700000000500.0'|'2023-11-15'|NULL|NULL|'1'|'500.0'|NULL|NULL|"
        "NULL|'500.0'|NULL|NULL|NULL|NULL|NULL|'FEE-1'|NULL|NULL|NULL|1700000000201|'KRW_KRW'|500.0|NULL|NULL|NULL|"
        "2|NULL|NULL",
        "5|'TX-I1'|'A-CARD'|'10001'|'C-FOOD'|NULL|'TV'|'1700000000000.0'|'2023-11-15'|NULL|NULL|'1'|'50000.0'|NULL|"
        "NULL|NULL|'50000.0'|NULL|NULL|'TX-I1'|'(1/2)'|NULL|NULL|NULL|NULL|NULL|1700000000300|'KRW_KRW'|50000.0|NULL|"
        "NULL|NULL|2|NULL|NULL",
        "6|'TX-I2'|'A-CARD'|'10001'|'C-FOOD'|NULL|'TV'|'1702592000000.0'|'2023-12-15'|NULL|NULL|'1'|'50000.0'|NULL|"
        "NULL|NULL|'50000.0'|NULL|NULL|'TX-I1'|'(2/2)'|NULL|NULL|NULL|NULL|NULL|1700000000300|'KRW_KRW'|50000.0|NULL|"
        "NULL|NULL|2|NULL|NULL",
        "7|'TX-DEL'|'A-CASH'|NULL|'C-SALARY'|NULL|NULL|'1699999999250.0'|'2023-11-15'|NULL|NULL|'0'|'0.1'|NULL|NULL|"
        "NULL|'0.1'|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|1|1700000000400|'KRW_KRW'|0.1|NULL|NULL|NULL|2|NULL|"
        "NULL"}},
      {"ASSETGROUP",
       {"1|'1'|NULL|1700000000010|'Bank'|1|1|2|NULL|NULL", "2|'2'|4|1700000000011|'Credit card'|2|2|2|NULL|NULL"}},
      // ZDATA the deletion code, ZDATA1 the memo, ZDATA2 isReflect; an account
      // without a currency (NULL or "") gets the main currency's uid.
      {"ASSETS",
       {"1|'1'|'1'|'Cash'|1|NULL|'wallet'|'0'|0|0|NULL|NULL|NULL|NULL|1700000000020|NULL|NULL|NULL|'A-CASH'|"
        "'KRW_KRW'|NULL|'1'|2|NULL|NULL",
        "2|'14'|'25'|'Visa'|2|'3'|NULL|'1'|1|1|'com.example.card'|'Card'|'1588-0000'|'VISA'|1700000000021|1|5.0|"
        "300000.0|'A-CARD'|'KRW_KRW'|'A-CASH'|'2'|2|NULL|NULL",
        "3|NULL|NULL|'Dollars'|3|'0'|NULL|'0'|NULL|NULL|NULL|NULL|NULL|NULL|1700000000022|NULL|NULL|NULL|'A-USD'|"
        "'KRW_USD'|NULL|'1'|2|NULL|NULL",
        "4|NULL|NULL|'Old'|4|'1'|NULL|NULL|NULL|NULL|NULL|NULL|NULL|NULL|1700000000023|NULL|NULL|NULL|'A-OLD'|"
        "'KRW_KRW'|NULL|'1'|2|NULL|NULL"}},
      {"ZCATEGORY",
       {"1|0|1700000000030|'C-FOOD'|'Food'|1|1|1|NULL|2|NULL|NULL",
        "2|NULL|1700000000031|'C-SNACK'|'Snacks'|1|1|2|'C-FOOD'|2|NULL|NULL",
        "3|1|1700000000032|'C-SALARY'|'Salary'|2|0|1|NULL|2|NULL|NULL"}},
      // Kinds -8540, 41, 25278 and -18683 stay behind; ZZDATA1 and ZZDATA2 stay NULL.
      {"ZETC",
       {"1|'E-START'|1700000000040|-23459|'25'|NULL|NULL|NULL|'start_day'|NULL|2|NULL|NULL",
        "2|'E-WEEK'|1700000000041|10002|'1'|'0'|NULL|NULL|''|NULL|2|NULL|NULL",
        "3|'E-NO-KIND'|1700000000042|NULL|'x'|NULL|NULL|NULL|NULL|1|2|NULL|NULL"}},
      {"BUDGET",
       {"1|'B-FOOD'|'C-FOOD'|1|1|0|NULL|0|1|1700000000050|2|NULL|NULL",
        "2|'B-OLD'|''|1|1|1|1|0|2|1700000000051|2|NULL|NULL"}},
      {"BUDGET_AMOUNT", {"1|'BA-1'|'B-FOOD'|0|300000.0|202311|1700000000060|2|NULL|NULL"}},
      {"CURRENCY",
       {"1|'KRW_KRW'|'Korean won'|'KRW'|'KRW'|NULL|1|1.0|'₩'|'0'|'0'|1|1|1700000000070|0|2|NULL|NULL",
        "2|'KRW_USD'|'US dollar'|'USD'|'KRW'|0|2|1300.05|'$'|'1'|'1'|0|1|1700000000071|2|2|NULL|NULL"}},
      {"FAVTRANSACTION",
       {"1|'F-1'|NULL|1700000000080|0|1|'A-CASH'|NULL|'C-FOOD'|8000.0|'KRW_KRW'|'coffee'|'Cafe'|1|2|NULL|NULL"}},
      // `pinned` carried, so that a snapshot does not unpin the memo.
      {"MEMO",
       {"1|'M-1'|'Rent'|'pay on 25th'|1700870400000.0|'2023-11-25'|1|1700000000090.0|1|'#FFCC00'|NULL|"
        "1700000000091.0|2|NULL|NULL"}},
      {"PHOTO",
       {"1|'P-1'|0|1700000000100|'TX-E'|2048|'Documents/Varnel/p-1.jpg'|'p-1.jpg'|'IMG_1.jpg'|'/cam/IMG_1.jpg'|2|"
        "NULL|NULL"}},
      // USETIME is the change time, not the template's own use time (99).
      {"REPEATTRANSACTION",
       {"1|'R-1'|NULL|1700000000110|1|0|20231225|1|1|'A-CASH'|NULL|'C-FOOD'|'KRW_KRW'|700000.0|'rent'|'Landlord'|2|"
        "NULL|NULL"}},
      {"TAG", {"1|'system_prepayment'|'Prepayment'|1|0|1700000000120.0|2|NULL|NULL"}},
      {"TX_TAG", {"1|'TT-1'|'TX-I1'|'system_prepayment'|'InOutCome'|1|0|1700000000130.0|2|NULL|NULL"}},
      // AID is the uid's integer value; a value already taken gives the next
      // free key, a uid without digits gives 0.
      {"MESSAGEMACRO2",
       {"0|'Z-RULE'|NULL|'Pay'|1|NULL|NULL|'Y'|'com.pay'|'Pay'|3|1700000000142.0|2|NULL|NULL",
        "12|'12'|'A-CARD'|'KB Card'|1|'15881688'|'20231114'|'Y'|NULL|NULL|1|1700000000140.0|2|NULL|NULL",
        "13|'12AB34CD-0000-4000-8000-000000000001'|'A-CASH'|'My bank'|2|'16449999'|'20231115'|'N'|'com.bank'|"
        "'Bank'|2|1700000000141.0|2|NULL|NULL"}},
      {"SMS_RAW_READ",
       {"1|'S-1'|'2023-11-15 07:13:20'|1700000000000|'15881688'|'[KB] 1,500'|1|'A-CARD'|NULL|0|'1,500'|3|'Visa'|"
        "'1'|0|'com.card'|'Card'|'KB'|0|1700000000150.5|2|NULL|NULL"}},
      {"CODE_DATA", {"1|'CD-1'|'color'|'red'|1|0|1700000000161.0|1700000000160.0|2|NULL|NULL"}},
      {"CODE_LINK", {"1|'CL-1'|'CD-1'|'ZINOUTCOME'|'TX-E'|1|0|1700000000171.0|1700000000170.0|2|NULL|NULL"}},
      {"android_metadata", {"'ko_KR'"}},
  };
  SQLite::Database db(file.string(), SQLite::OPEN_READONLY);
  for (const auto& e : expected) {
    SCOPED_TRACE(e.table);
    EXPECT_EQ(rowsOf(db, e.table), e.rows);
  }

  // What the caller is told: rows per table in copy order, and the row left out.
  std::vector<std::string> counts;
  for (const auto& t : written->tables) {
    counts.push_back(t.table + " " + std::to_string(t.rows) + (t.dropped ? " -" + std::to_string(t.dropped) : ""));
  }
  EXPECT_EQ(counts, (std::vector<std::string>{
                        "INOUTCOME 7", "ASSETGROUP 2", "ASSETS 4", "ZCATEGORY 3", "ZETC 3", "BUDGET 2",
                        "BUDGET_AMOUNT 1", "CURRENCY 2", "FAVTRANSACTION 1", "MEMO 1", "PHOTO 1",
                        "REPEATTRANSACTION 1", "TAG 1", "TX_TAG 1", "MESSAGEMACRO2 3", "SMS_RAW_READ 1",
                        "CODE_DATA 1 -1", "CODE_LINK 1", "android_metadata 1"}));
  EXPECT_NE(logText().find("copyTx time "), std::string::npos);
  EXPECT_NE(logText().find("copyCodeLink time "), std::string::npos);
}

TEST_F(InterchangeWriterTest, ReadsOneSnapshotAndNeverWritesTheStore) {
  writeEveryKindOfRecord();
  const std::string before = slurp(ledger_->store().path());
  // Between two tables another process tries to change an account the
  // export has yet to copy: its commit must wait for the export.
  int blockedWrite = SQLITE_OK;
  bool tried = false;
  InterchangeExportOptions options;
  options.progress = [&](const InterchangeProgress& p) {
    if (tried || p.table != "INOUTCOME" || p.done != p.total) return;
    tried = true;
    SQLite::Database other(ledger_->store().path().string(), SQLite::OPEN_READWRITE);
    blockedWrite = sqlite3_exec(other.getHandle(), "UPDATE ZASSET SET ZNICNAME = 'Changed' WHERE ZUID = 'A-CASH'",
                                nullptr, nullptr, nullptr);
  };
  const auto file = dir_.path() / "book.sqlite";
  const auto written = exportTo(file, options);
  ASSERT_TRUE(written.isOk()) << written.status().message();
  ASSERT_TRUE(tried);
  EXPECT_EQ(blockedWrite, SQLITE_BUSY);
  EXPECT_TRUE(slurp(ledger_->store().path()) == before) << "the store changed";
  EXPECT_FALSE(std::filesystem::exists(ledger_->store().path().string() + "-journal"));
  SQLite::Database db(file.string(), SQLite::OPEN_READONLY);
  EXPECT_EQ(db.execAndGet("SELECT NIC_NAME FROM ASSETS WHERE uid = 'A-CASH'").getString(), "Cash");
  // Once the export is done, the store takes writes again.
  store().exec("UPDATE ZASSET SET ZNICNAME = 'Changed' WHERE ZUID = 'A-CASH'");
}

TEST_F(InterchangeWriterTest, GzipHoldsTheSameDatabaseAndASecondExportReplacesTheFirst) {
  writeEveryKindOfRecord();
  const auto plain = dir_.path() / "book.sqlite";
  const auto packed = dir_.path() / "book.sqlite.gz";
  ASSERT_TRUE(exportTo(plain).isOk());
  InterchangeExportOptions options;
  options.gzip = true;
  ASSERT_TRUE(exportTo(packed, options).isOk());
  std::string unpacked;
  {
    gzFile in = gzopen(packed.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    char buffer[65536];
    int n;
    while ((n = gzread(in, buffer, sizeof buffer)) > 0) unpacked.append(buffer, static_cast<size_t>(n));
    EXPECT_EQ(n, 0);
    gzclose(in);
  }
  EXPECT_TRUE(unpacked == slurp(plain)) << "the gzip stream holds another database";

  store().exec("DELETE FROM ZINOUTCOME");
  ASSERT_TRUE(exportTo(plain).isOk());
  SQLite::Database db(plain.string(), SQLite::OPEN_READONLY);
  EXPECT_EQ(db.execAndGet("SELECT count(*) FROM INOUTCOME").getInt(), 0);
  EXPECT_EQ(filesIn(dir_.path()), (std::set<std::string>{"book.sqlite", "book.sqlite.gz", "home"}));
}

// Lets a test write files of at most `bytes` bytes; a write beyond fails
// (EFBIG) instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  sighandler_t previous_;
};

TEST_F(InterchangeWriterTest, AFailureLeavesNoFileBehindAndSaysWhy) {
  writeEveryKindOfRecord();
  // Enough text that the file outgrows the limit below while rows are copied.
  store().exec(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
      "INSERT INTO ZINOUTCOME (ZUID, ZDATE, ZDO_TYPE, ZMEMO) SELECT 'BULK-' || i, 721692800, '1', "
      "hex(randomblob(1000)) FROM n");
  const auto folder = dir_.path() / "out";
  std::filesystem::create_directories(folder);
  const auto existing = folder / "book.sqlite";
  std::ofstream(existing) << "the earlier export";
  std::ofstream(dir_.path() / "a-file") << "not a folder";

  const struct {
    const char* name;
    std::filesystem::path target;
    bool gzip;
    bool limitFileSize;
    StatusCode code;
    std::string reason;
  } cases[] = {
      {"missing folder", dir_.path() / "missing" / "book.sqlite", false, false, StatusCode::kSystemFailure,
       "No such file or directory"},
      {"a file where the folder should be", dir_.path() / "a-file" / "book.sqlite", true, false,
       StatusCode::kSystemFailure, "Not a directory"},
      {"target is a folder", folder, false, false, StatusCode::kSystemFailure, "it is a folder"},
      {"target is the store", ledger_->store().path(), false, false, StatusCode::kSystemFailure,
       "it is the ledger store"},
      {"the file outgrows what may be written", existing, false, true, StatusCode::kSystemFailure,
       "copying INOUTCOME"},
      {"the same, compressed", existing, true, true, StatusCode::kSystemFailure, "copying INOUTCOME"},
  };
  const std::string store = slurp(ledger_->store().path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto before = filesIn(folder);
    InterchangeExportOptions options;
    options.gzip = c.gzip;
    Result<InterchangeExport> written = Status::ok();
    {
      std::optional<FileSizeLimit> limit;
      if (c.limitFileSize) limit.emplace(256 * 1024);
      written = exportTo(c.target, options);
    }
    ASSERT_FALSE(written.isOk());
    EXPECT_EQ(written.status().code(), c.code);
    EXPECT_NE(written.status().message().find(c.reason), std::string::npos) << written.status().message();
    EXPECT_EQ(filesIn(folder), before);
    EXPECT_EQ(filesIn(dir_.path()), (std::set<std::string>{"a-file", "home", "out"}));
    EXPECT_EQ(slurp(existing), "the earlier export");
    EXPECT_TRUE(slurp(ledger_->store().path()) == store) << "the store changed";
  }

  MyDBCopyAndroid writer(ledger_->env(), *log_);
  const auto missingStore = writer.myDBCopyAndroid(dir_.path() / "no-ledger.sqlite", folder / "x.sqlite");
  ASSERT_FALSE(missingStore.isOk());
  EXPECT_EQ(missingStore.status().code(), StatusCode::kStoreFailure);
  EXPECT_EQ(filesIn(folder), (std::set<std::string>{"book.sqlite"}));
}

}  // namespace
}  // namespace varnel
