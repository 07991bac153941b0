// The desktop API over loopback with a real client: every reply format byte
// for byte, the changes it makes to the ledger, and the session rule.
#include <algorithm>

#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include "ledger/in_out_come_repository.h"
#include "web/desktop_test_fixture.h"

namespace varnel {
namespace {

using testing::DesktopTest;
using testing::fileBytes;
using testing::getRequest;
using testing::HttpTestClient;

// The same ledger with a main currency of two decimals.
class DesktopDecimalsTest : public DesktopTest {
 protected:
  void SetUp() override { setUpLedger(2); }
};

TEST_F(DesktopTest, ObjectTextRepliesByteForByte) {
  startServer();
  const std::string session = login();
  struct Case {
    std::string target;
    std::string body;
  } cases[] = {
      {"/varnelBook/getInitData",
       "{\tinitData: {initStartDate:'2026-12-01',initEndDate:'2026-12-31',mbid:'1', mbName:'My ledger'},\t"
       "multiBooks: [{mbid:'1', mbname:'My ledger', baseDate:'1'}],"
       "category_1: [{mcid:'SALARY',mcname:'Salary',mcsc:[]}],"
       "category_0: [{mcid:'FOOD',mcname:'Food',mcsc:[{mcscid:'LUNCH', mcscname:'Lunch'}]}],"
       "payType:[{ptid:'WALLET',ptname:'Wallet'},{ptid:'BANK',ptname:'Bank'},{ptid:'VISA',ptname:'Visa'}],"
       "inOutText:[['Income'],['Expense']],"
       "assetGroups:[{assetGroupId:'G_CASH', assetType:'group',assetName:'Cash'},"
       "{assetGroupId:'G_CARD', assetType:'group',assetName:'Cards'}],"
       "assetNames:[{assetType:'item', assetId:'WALLET',assetName:'Wallet'},"
       "{assetType:'item', assetId:'BANK',assetName:'Bank'},{assetType:'item', assetId:'VISA',assetName:'Visa'}]}"},
      {"/varnelBook/getSummaryDataByPeriod?startDate=2026-12-01&endDate=2026-12-31",
       "{summary:{startDate:'2026-12-01',endDate:'2026-12-31',income:'3000000',outcome:'12000',         "
       "cash:'12000',card:'0',etcExpenseOpt:false, etcExpense:'0', sum:'2988000'},"
       "income: [{mcname:'Salary',mcSum:'3000000', budget:'0'}],"
       "outcome: [{mcname:'Food',mcSum:'12000', budget:'200000'}]}"},
      {"/varnelBook/getAssetData",
       "[{assetName:'Cash',assetGroupId:'G_CASH',assetType:'group',assetMoney:'2988000',iconCls:'task-folder',"
       "expanded:true,children:["
       "{assetType:'item',assetId:'WALLET',assetName:'Wallet',color:'#4169e1',linkAssetId:'',assetMoney:'38000',"
       "leaf:true,iconCls:'task'},"
       "{assetType:'item',assetId:'BANK',assetName:'Bank',color:'#4169e1',linkAssetId:'',assetMoney:'2950000',"
       "leaf:true,iconCls:'task'}]},"
       "{assetName:'Cards',assetGroupId:'G_CARD',assetType:'group',assetMoney:'-30000',iconCls:'task-folder',"
       "expanded:true,children:["
       "{assetType:'item',assetId:'VISA',assetName:'Visa (Month 12)',color:'#dc143c',linkAssetId:'BANK',"
       "assetMoney:'-30000',leaf:true,iconCls:'task'}]}]"},
      {"/varnelBook/getCardData",
       "[{             assetGroupId:'G_CARD',             assetType:'group',             assetName:'Cards',"
       "             assetMoney:'-30000',             notPayMoney:'30000',             iconCls:'task-folder',"
       "             expanded:true,             children:["
       "{assetId:'VISA',assetType:'item',assetName:'Visa', color:'#dc143c', linkAssetName:'Bank', "
       "linkAssetId:'BANK',assetMoney:'-30000',notPayMoney:'30000',jungsanDay:'1',paymentDay:'15',leaf:'true',"
       "iconCls:'task'}]}]"},
      {"/varnelBook/getEachAssetChartData?assetId=WALLET",
       "{assetChartData:[{month:'2026-01-31', assetMoney:'0'},{month:'2026-02-28', assetMoney:'0'},"
       "{month:'2026-03-31', assetMoney:'0'},{month:'2026-04-30', assetMoney:'0'},"
       "{month:'2026-05-31', assetMoney:'0'},{month:'2026-06-30', assetMoney:'0'},"
       "{month:'2026-07-31', assetMoney:'0'},{month:'2026-08-31', assetMoney:'0'},"
       "{month:'2026-09-30', assetMoney:'0'},{month:'2026-10-31', assetMoney:'0'},"
       "{month:'2026-11-30', assetMoney:'0'},{month:'2026-12-31', assetMoney:'38000'}]}"},
      {"/varnelBook/getDashBoardData",
       "{assetLine:[{month:'2026-01',total:'0',asset:'0.000000',debt:'0.000000'},"
       "{month:'2026-02',total:'0',asset:'0.000000',debt:'0.000000'},"
       "{month:'2026-03',total:'0',asset:'0.000000',debt:'0.000000'},"
       "{month:'2026-04',total:'0',asset:'0.000000',debt:'0.000000'},"
       "{month:'2026-05',total:'0',asset:'0.000000',debt:'0.000000'},"
       "{month:'2026-06',total:'0',asset:'0.000000',debt:'0.000000'},"
       "{month:'2026-07',total:'0',asset:'0.000000',debt:'0.000000'},"
       "{month:'2026-08',total:'0',asset:'0.000000',debt:'0.000000'},"
       "{month:'2026-09',total:'0',asset:'0.000000',debt:'0.000000'},"
       "{month:'2026-10',total:'0',asset:'0.000000',debt:'0.000000'},"
       "{month:'2026-11',total:'-30000',asset:'0.000000',debt:'30000.000000'},"
       "{month:'2026-12',total:'2958000',asset:'2988000.000000',debt:'30000.000000'}], "
       "assetRatio:[{assetName:'Wallet', assetMoney:'38000'},{assetName:'Bank', assetMoney:'2950000'}], "
       "debtRatio:[{assetName:'Visa', assetMoney:'30000'}], "
       "assetSummary:{'totalAsset':'2958000.000000', 'asset':'2988000.000000', 'debt':'30000.000000'}}"},
  };
  for (const auto& c : cases) {
    const auto reply = get(c.target, session);
    EXPECT_EQ(reply.status, 200) << c.target;
    EXPECT_EQ(reply.body, c.body) << c.target;
    EXPECT_EQ(reply.fields.at("content-type"), "text/plain; charset=UTF-8") << c.target;
  }
}

TEST_F(DesktopTest, FixedRepliesByteForByte) {
  startServer();
  HttpTestClient client(port_);
  client.send(getRequest("/varnelBook/initVar.js") + getRequest("/varnelBook/test"));
  const std::string settings = "Tarnwick.lang = 'en';Tarnwick.moneyFormat='0,000';Tarnwick.uri='varnelBook';";
  const std::string expected =
      fmt::format("HTTP/1.1 200 OK\r\nContent-Length: {}\r\nDate: Thu, 10 Dec 2026 00:00:00 GMT\r\n"
                  "Accept-Ranges: bytes\r\n\r\n{}",
                  settings.size(), settings) +
      "HTTP/1.1 200 OK\r\nContent-Length: 15\r\nContent-Type: text/plain; charset=UTF-8\r\nExpires: 0\r\n"
      "Pragma: no-cache\r\nDate: Thu, 10 Dec 2026 00:00:00 GMT\r\nAccept-Ranges: bytes\r\n\r\n한글테스트";
  EXPECT_EQ(client.readBytes(expected.size()), expected);

  const auto refused = post("/varnelBook/login", "pwd=wrong1", "");
  EXPECT_EQ(refused.body, "{success:false, sessionid:''}");
  EXPECT_EQ(refused.fields.at("content-type"), "text/plain; charset=UTF-8");
}

TEST_F(DesktopDecimalsTest, AMainCurrencyWithDecimalsWritesTwoDecimals) {
  startServer();
  const std::string session = login();
  EXPECT_EQ(get("/varnelBook/initVar.js", session).body,
            "Tarnwick.lang = 'en';Tarnwick.moneyFormat='0,000.00';Tarnwick.uri='varnelBook';");
  const auto startsWith = [](const std::string& text, const std::string& start) {
    return text.substr(0, start.size()) == start ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << text;
  };
  EXPECT_TRUE(startsWith(get("/varnelBook/getEachAssetChartData?assetId=BANK", session).body,
                         "{assetChartData:[{month:'2026-01-31', assetMoney:'0.00'},{month:'2026-02-28', "
                         "assetMoney:'0.00'},"));
  EXPECT_TRUE(startsWith(get("/varnelBook/getCardData", session).body,
                         "[{             assetGroupId:'G_CARD',             assetType:'group',             "
                         "assetName:'Cards',             assetMoney:'-30000.00',             notPayMoney:'30000.00',"));
  EXPECT_TRUE(startsWith(get("/varnelBook/getSummaryDataByPeriod?startDate=2026-12-01&endDate=2026-12-31", session).body,
                         "{summary:{startDate:'2026-12-01',endDate:'2026-12-31',income:'3000000.00',"
                         "outcome:'12000.00',         cash:'12000.00',card:'0.00',"));
}

TEST_F(DesktopDecimalsTest, AChangedBalanceKeepsItsCents) {
  startServer();
  const std::string session = login();
  EXPECT_EQ(post("/varnelBook/assetAdd", "assetGroupId=G_CASH&assetName=Piggy&assetMoney=100.25&linkAssetId=", session).body,
            "{success:true}");
  const auto piggy = onServer([&] { return *ledger_->commonData().getAssetByName("Piggy")->uid; });
  const std::string modify = "assetId=" + piggy + "&assetGroupId=G_CASH&assetName=Piggy&linkAssetId=&assetMoney=";
  EXPECT_EQ(post("/varnelBook/assetModify", modify + "250.75", session).body, "{success:true}");
  EXPECT_EQ(post("/varnelBook/assetModify", modify + "250.759", session).body, "{success:true}");
  EXPECT_EQ(post("/varnelBook/assetModify", modify + "0.1", session).body, "{success:true}");
  const auto corrections = onServer([&] {
    std::vector<std::pair<std::string, double>> out;
    for (const auto& r : InOutComeRepository(*ledger_).inOutComeByAssetUid(piggy)) {
      out.emplace_back(r.Do_Type.value_or(""), r.amount.value_or(0));
    }
    return out;
  });
  // A third decimal is below the currency's cents and books nothing.
  EXPECT_EQ(corrections, (std::vector<std::pair<std::string, double>>{{"7", 100.25}, {"7", 150.5}, {"8", 250.65}}));
}

TEST_F(DesktopTest, TheDatasetOfAPeriodByteForByte) {
  startServer();
  const std::string session = login();
  const auto row = [](const std::string& id, const std::string& date, const std::string& code,
                      const std::string& account, const std::string& accountName, const std::string& kindName,
                      const std::string& middle, const std::string& content, const std::string& memo,
                      const std::string& cash) {
    return "<row><id>" + id + "</id><mbDate>" + date + "</mbDate><inOutCode>" + code + "</inOutCode><assetId>" +
           account + "</assetId><payType><![CDATA[" + accountName + "]]></payType><inOutType>" + kindName +
           "</inOutType>" + middle + "<mbContent><![CDATA[" + content + "]]></mbContent><mbDetailContent><![CDATA[" +
           memo + "]]></mbDetailContent><mbCash>" + cash + "</mbCash></row>";
  };
  const std::string noCategory = "<mcid></mcid><mbCategory></mbCategory><mcscid></mcscid><subCategory></subCategory>";
  const std::string transferOut =
      row(transferOut_, "2026-12-06", "3", "BANK", "Bank", "Transfer out", "<toAssetId>WALLET</toAssetId>" + noCategory,
          "Top up", "", "-50000.000000");
  const std::string lunch =
      row(lunch_, "2026-12-05", "1", "WALLET", "Wallet", "Expense",
          "<mcid>FOOD</mcid><mbCategory><![CDATA[Food]]></mbCategory><mcscid>LUNCH</mcscid>"
          "<subCategory><![CDATA[Lunch]]></subCategory>",
          "Noodles", "with Kim", "12000.000000");
  const std::string salary =
      row(salary_, "2026-12-01", "0", "BANK", "Bank", "Income",
          "<mcid>SALARY</mcid><mbCategory><![CDATA[Salary]]></mbCategory><mcscid></mcscid><subCategory></subCategory>",
          "December pay", "", "3000000.000000");
  const std::string transferIn =
      row(transferIn_, "2026-12-06", "4", "WALLET", "Wallet", "Transfer in", "<toAssetId>BANK</toAssetId>" + noCategory,
          "Top up", "", "50000.000000");
  const std::string head = "<?xml version='1.0' encoding='UTF-8'?><dataset><results>";
  struct Case {
    std::string query;
    std::string dataset;
  } cases[] = {
      // The whole of the last day; transfer-in rows left out.
      {"startDate=2026-12-01&endDate=2026-12-31", head + "3</results>" + transferOut + lunch + salary + "</dataset>"},
      {"startDate=2026-12-02&endDate=2026-12-06", head + "2</results>" + transferOut + lunch + "</dataset>"},
      // One account: its rows of every kind.
      {"startDate=2026-12-01&endDate=2026-12-31&assetId=WALLET",
       head + "2</results>" + transferIn + lunch + "</dataset>"},
      // A query of one piece has no parameters: the fallback day only.
      {"startDate", head + "0</results></dataset>"},
  };
  for (const auto& c : cases) {
    const auto reply = get("/varnelBook/getDataByPeriod?" + c.query, session);
    EXPECT_EQ(reply.body, c.dataset) << c.query;
    EXPECT_EQ(reply.fields.at("content-type"), "application/xml; charset=UTF-8");
  }
}

TEST_F(DesktopTest, TransactionsAreCreatedChangedAndDeletedThroughTheSave) {
  startServer();
  const std::string session = login();
  const auto dataset = [&] {
    return get("/varnelBook/getDataByPeriod?startDate=2026-12-20&endDate=2026-12-20", session).body;
  };
  // The content before "(" of a text with "(", "/" and ")"; an encoded "&"
  // stays in the memo.
  const auto created = post("/varnelBook/create",
                            "mbDate=2026-12-20&assetId=WALLET&inOutCode=1&mcid=FOOD&mcscid=LUNCH&"
                            "mbContent=Lunch%20(A%2FB)&mbCash=8000&mbDetailContent=%20rice%20%26%20soup%20",
                            session);
  EXPECT_EQ(created.body, "{success:true}");
  EXPECT_EQ(created.fields.count("content-type"), 0u);
  std::string rows = dataset();
  EXPECT_NE(rows.find("<mcscid>LUNCH</mcscid>"), std::string::npos) << rows;
  EXPECT_NE(rows.find("<mbContent><![CDATA[Lunch]]></mbContent>"), std::string::npos) << rows;
  EXPECT_NE(rows.find("<mbDetailContent><![CDATA[rice & soup]]></mbDetailContent><mbCash>8000.000000"),
            std::string::npos)
      << rows;
  const std::string id = rows.substr(rows.find("<id>") + 4, 36);

  EXPECT_EQ(post("/varnelBook/update", "id=" + id + "&mbDate=2026-12-20&assetId=BANK&inOutCode=1&mcid=FOOD&"
                                                    "mbContent=Dinner&mbCash=9000",
                 session)
                .body,
            "{success:true}");
  rows = dataset();
  EXPECT_NE(rows.find("<assetId>BANK</assetId>"), std::string::npos) << rows;
  EXPECT_NE(rows.find("<mcid>FOOD</mcid><mbCategory><![CDATA[Food]]></mbCategory><mcscid></mcscid>"),
            std::string::npos)
      << rows;
  EXPECT_NE(rows.find("<mbCash>9000.000000</mbCash>"), std::string::npos) << rows;
  const auto kept = onServer([&] { return InOutComeRepository(*ledger_).inOutComeByUid(id); });
  ASSERT_TRUE(kept);
  // A changed transaction keeps its time of day (created at --now's 09:00).
  EXPECT_EQ(ledger_->env().dates().toLocal(*kept->Date).hour, 9);

  // Refusals say so and change nothing.
  struct Refused {
    const char* path;
    std::string body;
  } refusals[] = {
      {"/varnelBook/create", "mbDate=2026-12-20&assetId=(null)&inOutCode=1&mcid=FOOD&mbCash=1"},
      {"/varnelBook/create", "mbDate=2026-12-20&assetId=WALLET&inOutCode=1&mcid=FOOD&mbCash=abc"},
      {"/varnelBook/create", "mbDate=2026-02-30&assetId=WALLET&inOutCode=1&mcid=FOOD&mbCash=1"},
      {"/varnelBook/create", "mbDate=2026-12-20&assetId=WALLET&inOutCode=3&mcid=FOOD&mbCash=1"},
      {"/varnelBook/update", "id=NOPE&assetId=WALLET&inOutCode=1&mcid=FOOD&mbCash=1"},
      {"/varnelBook/update", "id=" + transferOut_ + "&assetId=WALLET&inOutCode=1&mcid=FOOD&mbCash=1"},
      {"/varnelBook/modifyMoveAsset", "id=" + lunch_ + "&fromAssetId=BANK&toAssetId=WALLET&moveMoney=1"},
      {"/varnelBook/moveAsset", "moveDate=2026-12-20&fromAssetId=BANK&toAssetId=BANK&moveMoney=1"},
  };
  for (const auto& r : refusals) EXPECT_EQ(post(r.path, r.body, session).body, "{success:false}") << r.body;
  EXPECT_NE(dataset().find("<results>1</results>"), std::string::npos);

  // Deleting one side of a transfer deletes both.
  EXPECT_EQ(post("/varnelBook/delete", "ids=:" + transferIn_ + ":" + id, session).body, "{success:true}");
  const auto live = onServer([&] {
    InOutComeRepository repository(*ledger_);
    return std::vector<bool>{isLive(*repository.inOutComeByUid(transferOut_)),
                             isLive(*repository.inOutComeByUid(transferIn_)), isLive(*repository.inOutComeByUid(id))};
  });
  EXPECT_EQ(live, (std::vector<bool>{false, false, false}));
}

TEST_F(DesktopTest, TransfersAreSavedAsTheirPairAndChangedFromEitherSide) {
  startServer();
  const std::string session = login();
  EXPECT_EQ(post("/varnelBook/modifyMoveAsset",
                 "id=" + transferIn_ + "&moveDate=2026-12-07&fromAssetId=BANK&toAssetId=WALLET&moveMoney=70000&"
                                       "moneyContent=More&mbDetailContent=",
                 session)
                .body,
            "{success:true}");
  const auto pair = onServer([&] {
    InOutComeRepository repository(*ledger_);
    return std::make_pair(*repository.inOutComeByUid(transferOut_), *repository.inOutComeByUid(transferIn_));
  });
  EXPECT_EQ(pair.first.amount, 70000);
  EXPECT_EQ(pair.second.amount, 70000);
  EXPECT_EQ(pair.first.Content, "More");
  EXPECT_EQ(ledger_->env().dates().dayKey(*pair.second.Date), "2026-12-07");
  EXPECT_EQ(ledger_->env().dates().toLocal(*pair.second.Date).hour, 10);
}

TEST_F(DesktopTest, AChangedBalanceIsOneCorrectionOfTheWholeDifference) {
  startServer();
  const std::string session = login();
  EXPECT_EQ(post("/varnelBook/assetAdd", "assetGroupId=G_CASH&assetName=Piggy&assetMoney=100&linkAssetId=", session).body,
            "{success:true}");
  const auto piggy = onServer([&] { return *ledger_->commonData().getAssetByName("Piggy")->uid; });
  const auto corrections = [&] {
    return onServer([&] {
      std::vector<std::pair<std::string, double>> out;
      for (const auto& r : InOutComeRepository(*ledger_).inOutComeByAssetUid(piggy)) {
        out.emplace_back(r.Do_Type.value_or(""), r.amount.value_or(0));
      }
      return out;
    });
  };
  using Rows = std::vector<std::pair<std::string, double>>;
  EXPECT_EQ(corrections(), (Rows{{"7", 100}}));
  const std::string modify = "assetId=" + piggy + "&assetGroupId=G_CASH&assetName=Piggy&linkAssetId=&assetMoney=";
  EXPECT_EQ(post("/varnelBook/assetModify", modify + "250", session).body, "{success:true}");
  EXPECT_EQ(corrections(), (Rows{{"7", 100}, {"7", 150}}));
  // Less than one whole unit of difference books nothing.
  EXPECT_EQ(post("/varnelBook/assetModify", modify + "250.6", session).body, "{success:true}");
  EXPECT_EQ(post("/varnelBook/assetModify", modify + "40", session).body, "{success:true}");
  EXPECT_EQ(corrections(), (Rows{{"7", 100}, {"7", 150}, {"8", 210}}));

  EXPECT_EQ(post("/varnelBook/addAssetCard", "cardName=Master&paymentDay=25&jungsanDay=10&linkAssetId=BANK&notPayMoney=0",
                 session)
                .body,
            "{success:true}");
  const auto master = onServer([&] { return *ledger_->commonData().getAssetByName("Master"); });
  EXPECT_EQ(master.groupUid, "G_CARD");
  EXPECT_EQ(master.Card_DayFin, "10");
  EXPECT_EQ(master.Card_DayPay, "25");
  EXPECT_EQ(master.cardAssetUid, "BANK");
  EXPECT_EQ(post("/varnelBook/modifyCard", "assetId=" + *master.uid + "&cardName=Master&paymentDay=32", session).body,
            "{success:false}");
  EXPECT_EQ(post("/varnelBook/removeAsset", "assetId=NOPE", session).body, "{success:false}");
  EXPECT_EQ(post("/varnelBook/removeAsset", "assetId=" + piggy, session).body, "{success:true}");
  EXPECT_EQ(post("/varnelBook/removeAsset", "assetId=" + piggy, session).body, "{success:false}");
}

TEST_F(DesktopTest, ACreateTheStoreRefusesIsReportedAsAFailure) {
  // The store refuses every new transaction row, as a full disk would.
  ledger_->store().db().exec(
      "CREATE TRIGGER refuse_rows BEFORE INSERT ON ZINOUTCOME BEGIN SELECT RAISE(ABORT, 'disk full'); END");
  startServer();
  const std::string session = login();
  EXPECT_EQ(post("/varnelBook/create", "mbDate=2026-12-20&assetId=WALLET&inOutCode=1&mcid=FOOD&mbCash=5000", session).body,
            "{success:false}");
  EXPECT_EQ(post("/varnelBook/moveAsset", "moveDate=2026-12-20&fromAssetId=BANK&toAssetId=WALLET&moveMoney=5", session)
                .body,
            "{success:false}");
  EXPECT_EQ(get("/varnelBook/getDataByPeriod?startDate=2026-12-20&endDate=2026-12-20", session).body,
            "<?xml version='1.0' encoding='UTF-8'?><dataset><results>0</results></dataset>");
}

TEST_F(DesktopTest, DownloadsOfTheSpreadsheetAndOfTheStore) {
  startServer();
  const std::string session = login();
  auto sheet = post("/varnelBook/getExcelFile", "startDate=2026-12-01&endDate=2026-12-31&mbid=1&assetId=&inOutType=",
                    session);
  EXPECT_EQ(sheet.status, 200);
  EXPECT_EQ(sheet.fields.at("content-type"), "application/vnd.ms-excel; charset=UTF-8");
  EXPECT_EQ(sheet.fields.at("content-disposition"), "attachment; filename=CASHBOOK_2026-12-01~2026-12-31.xlsx");
  EXPECT_EQ(sheet.fields.at("expires"), "0");
  EXPECT_EQ(sheet.body.substr(0, 2), "PK");
  sheet = post("/varnelBook/getExcelFile", "startDate=2026-12-01&endDate=2026-12-31&assetId=WALLET", session);
  EXPECT_EQ(sheet.fields.at("content-disposition"), "attachment; filename=Account_2026-12-01~2026-12-31.xlsx");

  const auto store = get("/varnelBook/varnel.sqlite", session);
  EXPECT_EQ(store.status, 200);
  EXPECT_EQ(store.fields.at("content-type"), "application/octet-stream; charset=UTF-8");
  EXPECT_EQ(store.fields.at("content-disposition"), "attachment; filename=varnel.sqlite");
  EXPECT_EQ(store.fields.at("pragma"), "no-cache");
  const auto copy = dir_.path() / "downloaded.sqlite";
  std::ofstream(copy, std::ios::binary) << store.body;
  SQLite::Database db(copy.string());
  EXPECT_EQ(db.execAndGet("SELECT COUNT(*) FROM ZINOUTCOME WHERE ZISDEL IS NULL OR ZISDEL != 1").getInt(), 5);
  EXPECT_EQ(db.execAndGet("PRAGMA quick_check").getString(), "ok");
  // Neither download leaves a file beside the store.
  for (const auto& entry : std::filesystem::directory_iterator(storePath().parent_path())) {
    EXPECT_EQ(entry.path().filename().string().rfind(".varnel.sqlite.", 0), std::string::npos) << entry.path();
  }
}

TEST_F(DesktopTest, WithoutTheSessionTheLedgerAnswersNothing) {
  startServer();
  const std::vector<std::pair<std::string, std::string>> protectedRequests = {
      {"GET", "/varnelBook/getInitData"},
      {"GET", "/varnelBook/getDataByPeriod?startDate=2026-12-01&endDate=2026-12-31"},
      {"GET", "/varnelBook/getSummaryDataByPeriod?startDate=2026-12-01&endDate=2026-12-31"},
      {"GET", "/varnelBook/getAssetData"},
      {"GET", "/varnelBook/getCardData"},
      {"GET", "/varnelBook/getEachAssetChartData?assetId=BANK"},
      {"GET", "/varnelBook/getDashBoardData"},
      {"GET", "/varnelBook/varnel.sqlite"},
      {"POST", "/varnelBook/getExcelFile"},
      {"POST", "/varnelBook/create"},
      {"POST", "/varnelBook/update"},
      {"POST", "/varnelBook/delete"},
      {"POST", "/varnelBook/assetAdd"},
      {"POST", "/varnelBook/assetModify"},
      {"POST", "/varnelBook/addAssetCard"},
      {"POST", "/varnelBook/modifyCard"},
      {"POST", "/varnelBook/removeAsset"},
      {"POST", "/varnelBook/moveAsset"},
      {"POST", "/varnelBook/modifyMoveAsset"},
  };
  const std::string stale = std::string(32, 'a');
  for (const auto& [method, target] : protectedRequests) {
    for (const std::string& session : {std::string(), stale}) {
      const auto reply = call(method, target, method == "POST" ? "ids=:" + lunch_ : "", session);
      EXPECT_EQ(reply.status, 403) << target;
      EXPECT_EQ(reply.body, "") << target;
    }
  }
  // The page asks for the password; the client's files and the open
  // endpoints answer.
  const auto page = get("/", "");
  EXPECT_NE(page.body.find("<script type='text/javascript' src='/js/login.js'></script>"), std::string::npos);
  EXPECT_EQ(page.body.find("layout.js"), std::string::npos);
  EXPECT_EQ(get("/js/layout.js", "").body, "/* js/layout.js */");
  EXPECT_EQ(get("/varnelBook/test", "").status, 200);
  EXPECT_EQ(get("/varnelBook/initVar.js", "").status, 200);
  // Nothing above changed the ledger.
  const std::string session = login();
  EXPECT_NE(get("/varnelBook/getDataByPeriod?startDate=2026-12-05&endDate=2026-12-05", session).body.find(lunch_),
            std::string::npos);
  // With the session, the client page.
  const auto client = get("/", session);
  EXPECT_NE(client.body.find("<script type='text/javascript' src='/js/layout.js'></script>"), std::string::npos);
}

TEST_F(DesktopTest, ThePageShellsCarryTheLanguageTheLocaleAndTheSpreadsheetForm) {
  startServer(std::nullopt);
  for (const char* path : {"/", "/index.html", "/any/deep/link"}) {
    const auto page = get(path, "");
    EXPECT_EQ(page.fields.at("content-type"), "text/html; charset=UTF-8");
    const std::string& html = page.body;
    for (const std::string piece : {
             "<title>Varnel Desk</title>",
             "<link rel='stylesheet' type='text/css' href='/css/tarnwick.css'>",
             "<script type='text/javascript' src='/js/init.js'></script>\n"
             "<script type='text/javascript' src='/varnelBook/initVar.js'></script>\n"
             "<script type='text/javascript' src='/js/locale/tarnwick-lang.js'></script>\n"
             "<script>Ext.namespace('Tarnwick');Tarnwick.lang = 'en';</script>\n"
             "<script type='text/javascript' src='/js/layout.js'></script>\n",
             "<body onUnload='reset()'>\n<div id='header'><h1>Varnel Desk</h1></div>",
             "<form id='excelForm' name='excelForm' method='post' action='/varnelBook/getExcelFile'",
             "<input type='hidden' name='inOutType' id='inOutType' value=''>",
             "<iframe id='hiddenIframe' src='/?lang=en&amp;loc=en_US&amp;nw=W' width='0' height='0' "
             "style='border: 0'></iframe>",
         }) {
      EXPECT_NE(html.find(piece), std::string::npos) << path << ": " << piece << "\n" << html;
    }
    // Files the client does not have are not asked for.
    EXPECT_EQ(html.find("lib/ext"), std::string::npos);
    EXPECT_EQ(html.find("varnelbook.js"), std::string::npos);
  }
  // A missing file of the client is not found, not a page.
  EXPECT_EQ(get("/js/missing.js", "").status, 404);
  EXPECT_EQ(get("/varnelBook/nothing", "").status, 404);
}

TEST_F(DesktopTest, WrongPasswordsAreRefusedAndAnAddressInItsWaitIsNotHeard) {
  // The throttle's clock stands still: the wait after the first wrong
  // password never ends.
  web::LoginThrottle::Settings throttle;
  throttle.first = std::chrono::milliseconds(20);
  const auto frozen = web::LoginThrottle::Clock::now();
  throttle.clock = [frozen] { return frozen; };
  startServer(std::string(kPassword), throttle);
  for (const std::string body : {"pwd=abc12", "pwd=abc1234", "pwd=ABC123", "password=abc123", "x=1&pwd=abc123", ""}) {
    EXPECT_EQ(post("/varnelBook/login", body, "").body, "{success:false, sessionid:''}") << body;
  }
  EXPECT_EQ(post("/varnelBook/login", "pwd=abc123", "").body, "{success:false, sessionid:''}");
  EXPECT_EQ(onServer([&] { return service_->access().session(); }), "");
}

TEST_F(DesktopTest, AHeldRefusalHoldsUpNoOneElse) {
  web::LoginThrottle::Settings throttle;
  throttle.first = std::chrono::minutes(1);
  startServer(std::string(kPassword), throttle);
  HttpTestClient guesser(port_);
  guesser.send(getRequest("/varnelBook/login", "Content-Length: 10\r\n", "POST") + "pwd=wrong1");
  for (int i = 0; i < 1000 && onServer([&] { return service_->access().throttle().failures("127.0.0.1"); }) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(onServer([&] { return service_->access().throttle().failures("127.0.0.1"); }), 1);
  // While that refusal waits its minute, the server answers others (a
  // server that slept would leave this read to time out).
  EXPECT_EQ(get("/varnelBook/test", "").body, "한글테스트");
  EXPECT_EQ(get("/varnelBook/getAssetData", "").status, 403);
}

TEST_F(DesktopTest, AStoreUploadReplacesTheLedger) {
  startServer();
  const std::string session = login();
  const std::string snapshot = get("/varnelBook/varnel.sqlite", session).body;
  ASSERT_EQ(post("/varnelBook/create", "mbDate=2026-12-20&assetId=WALLET&inOutCode=1&mcid=FOOD&mbCash=777", session).body,
            "{success:true}");
  const std::string body = "--XyZ\r\nContent-Disposition: form-data; name=\"file\"; filename=\"varnel.sqlite\"\r\n"
                           "Content-Type: application/octet-stream\r\n\r\n" + snapshot + "\r\n--XyZ--\r\n";
  HttpTestClient client(port_);
  client.send(getRequest("/varnelBook/uploadSqlFile",
                         fmt::format("Cookie: conid={}\r\nContent-Type: multipart/form-data; boundary=XyZ\r\n"
                                     "Content-Length: {}\r\n",
                                     session, body.size()),
                         "POST") +
              body);
  const auto reply = client.readReply();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->body, "{success:true}");
  EXPECT_EQ(reply->fields.at("content-type"), "text/html; charset=UTF-8");
  // The ledger is the uploaded one: the later transaction is gone.
  EXPECT_EQ(get("/varnelBook/getDataByPeriod?startDate=2026-12-20&endDate=2026-12-20", session).body,
            "<?xml version='1.0' encoding='UTF-8'?><dataset><results>0</results></dataset>");
  EXPECT_NE(get("/varnelBook/getDataByPeriod?startDate=2026-12-05&endDate=2026-12-05", session).body.find(lunch_),
            std::string::npos);
  // The replaced ledger was kept.
  EXPECT_FALSE(std::filesystem::is_empty(dir_.path() / "home" / "Documents" / "InternalData"));
}

// Uploads that must leave the ledger as it was, byte for byte.
class DesktopUploadTest : public DesktopTest {
 protected:
  std::string multipart(const std::string& fileName, const std::string& content) {
    return "--XyZ\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + fileName +
           "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + content + "\r\n--XyZ--\r\n";
  }
  std::string uploadHead(const std::string& session, std::size_t length) {
    return getRequest("/varnelBook/uploadSqlFile",
                      (session.empty() ? std::string() : "Cookie: conid=" + session + "\r\n") +
                          fmt::format("Content-Type: multipart/form-data; boundary=XyZ\r\nContent-Length: {}\r\n", length),
                      "POST");
  }
  std::vector<std::string> homeFiles() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.path() / "home")) {
      if (entry.path().filename() != "varnel.log") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
  }
  // Waits until no working file of an upload is left beside the store (the
  // server learns of a dropped connection in its own time).
  bool noUploadLeft() {
    for (int i = 0; i < 500; ++i) {
      bool left = false;
      for (const auto& entry : std::filesystem::directory_iterator(storePath().parent_path())) {
        if (entry.path().filename().string().rfind(".varnel.sqlite.upload-", 0) == 0) left = true;
      }
      if (!left) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
};

TEST_F(DesktopUploadTest, RefusedUploadsLeaveTheLedgerByteIdentical) {
  web::DesktopSettings settings;
  settings.maxUploadBytes = 64 * 1024;
  startServer(std::string(kPassword), {}, settings);
  const std::string session = login();
  const std::string before = fileBytes(storePath());
  const auto files = homeFiles();
  const std::string notALedger = "SQLite format 3" + std::string(1, '\0') + std::string(5000, 'x');
  struct Case {
    const char* what;
    std::string fileName;
    std::string content;
  } cases[] = {
      {"not a ledger", "varnel.sqlite", "hello, this is text"},
      {"damaged", "varnel.sqlite", notALedger},
      {"empty", "varnel.sqlite", ""},
      {"too big", "varnel.sqlite", std::string(100 * 1024, 'x')},
      {"announced far too big", "varnel.sqlite", std::string(300 * 1024, 'x')},
      {"path in the name", "../../Documents/varnel.sqlite", "junk"},
      {"windows path", "..\\..\\varnel.sqlite", "junk"},
      {"absolute", "/tmp/evil.sqlite", "junk"},
      {"dots", "..", "junk"},
  };
  for (const auto& c : cases) {
    HttpTestClient client(port_);
    const std::string body = multipart(c.fileName, c.content);
    client.send(uploadHead(session, body.size()) + body);
    const auto reply = client.readReply();
    ASSERT_TRUE(reply) << c.what;
    EXPECT_EQ(reply->body, "{success:false}") << c.what;
  }
  // Cut off in the middle of its file.
  {
    HttpTestClient client(port_);
    const std::string body = multipart("varnel.sqlite", before);
    client.send(uploadHead(session, body.size()) + body.substr(0, body.size() / 2));
  }
  // Without the session: refused before a byte of the body is read.
  {
    HttpTestClient client(port_);
    const std::string body = multipart("varnel.sqlite", before);
    client.send(uploadHead("", body.size()));
    const auto reply = client.readReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 403);
    EXPECT_TRUE(client.closedByServer());
  }
  EXPECT_TRUE(noUploadLeft());
  EXPECT_EQ(homeFiles(), files);
  EXPECT_TRUE(fileBytes(storePath()) == before);
  EXPECT_NE(get("/varnelBook/getDataByPeriod?startDate=2026-12-05&endDate=2026-12-05", session).body.find(lunch_),
            std::string::npos);
}

}  // namespace
}  // namespace varnel
