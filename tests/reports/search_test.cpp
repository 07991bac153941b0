#include "reports/search.h"

#include <gtest/gtest.h>

#include <fmt/format.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>

#include "ledger/in_out_come_repository.h"
#include "model/base_repository.h"
#include "model/etc_repository.h"
#include "model/search_index.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using Uids = std::vector<std::string>;

SearchCriteria onAccounts(Uids uids) {
  SearchCriteria c;
  c.accounts = std::move(uids);
  return c;
}
SearchCriteria inCategories(Uids uids) {
  SearchCriteria c;
  c.categories = std::move(uids);
  return c;
}
SearchCriteria days(std::optional<double> start, std::optional<double> end) {
  SearchCriteria c;
  c.startDate = start;
  c.endDate = end;
  return c;
}
SearchCriteria amounts(std::optional<double> min, std::optional<double> max) {
  SearchCriteria c;
  c.minMoney = min;
  c.maxMoney = max;
  return c;
}

Uids uidsOf(const std::vector<InOutCome>& rows) {
  Uids out;
  for (const auto& r : rows) out.push_back(*r.uid);
  return out;
}

// Two accounts, a main expense category with a sub-category, an income
// category; transactions are added by each test.
class SearchTest : public testing::LedgerTest {
 protected:
  void SetUp() override {
    LedgerTest::SetUp();
    BaseRepository repo(*ledger_);
    AssetGroup g = repo.newObjectForEntity<AssetGroup>("G");
    g.Status = 1;
    ASSERT_TRUE(repo.save(g, "updateAssetGroup"));
    for (auto [uid, name] : {std::pair{"BANK", "Bank"}, {"SAVE", "Savings"}}) {
      Asset a = repo.newObjectForEntity<Asset>(uid);
      a.NicName = name;
      a.groupUid = "G";
      a.isDel = 0;
      ASSERT_TRUE(repo.save(a, "updateAsset"));
    }
    for (auto [uid, parent, doType] :
         {std::tuple{"FOOD", "", 1}, {"LUNCH", "FOOD", 1}, {"PAY", "", 0}}) {
      Category c = repo.newObjectForEntity<Category>(uid);
      c.Name = uid;
      c.doType = doType;
      c.Status = *parent ? 2 : 0;
      if (*parent) c.pUid = parent;
      ASSERT_TRUE(repo.save(c, "updateCategory"));
    }
    ledger_->commonData().ReloadTheData();
  }

  struct Row {
    const char* uid;
    const char* content;
    const char* memo = "";
    const char* message = "";
    const char* kind = "1";
    int day = 10;
    int isDel = 0;
  };
  void add(const Row& row) {
    InOutCome t = BaseRepository(*ledger_).newObjectForEntity<InOutCome>(row.uid);
    t.Do_Type = row.kind;
    t.assetUid = "BANK";
    t.categoryUid = std::string(row.kind) == "0" ? "PAY" : "FOOD";
    t.amount = t.amountSub = t.amountAccount = 10;
    t.Date = at(3, row.day, 12);
    if (*row.content) t.Content = row.content;
    if (*row.memo) t.memo = row.memo;
    if (*row.message) t.smsOrigine = row.message;
    t.isDel = row.isDel;
    t.utime = 1000;
    ASSERT_TRUE(InOutComeRepository(*ledger_).updateInOutCome(t, false));
  }
  double at(int month, int day, int hour, int minute = 0) {
    return ledger_->env().dates().fromLocal(2026, month, day, hour, minute);
  }
  void setFullMessage(bool on) {
    ASSERT_TRUE(EtcRepository(*ledger_).updateEtcUserSettingByType(etc_kind::kShowFullMessage, on ? "1" : "0"));
  }
  Uids search(const std::string& text, const SearchCriteria& criteria = {}) {
    return uidsOf(TransactionSearch(*ledger_).search(text, criteria));
  }
  // What the trigram index alone returns for a phrase, deleted rows too; an
  // entry left for a row that is gone shows as "#<row key>".
  Uids indexed(const std::string& phrase) {
    auto st = ledger_->store().prepare(
        "SELECT coalesce(t.ZUID, '#' || s.rowid) AS uid FROM ZINOUTCOME_SEARCH s "
        "LEFT JOIN ZINOUTCOME t ON t.Z_PK = s.rowid WHERE ZINOUTCOME_SEARCH MATCH ? ORDER BY uid");
    st.bind(1, "\"" + phrase + "\"");
    Uids out;
    while (st.executeStep()) out.push_back(st.getColumn(0).getString());
    return out;
  }
};

// Korean and Latin text, in the content, the memo and the full message
// text; accents and case folded; texts of one and two characters (which
// the trigram index cannot serve) and longer ones (which it does), each
// against text it folds itself and text it cannot.
TEST_F(SearchTest, TextMatchesFoldedSubstringsOfContentAndMemo) {
  add({"starbucks", "스타벅스 강남점", "", "", "1", 1});
  add({"memo", "이마트", "스타벅스 카드로", "", "1", 2});
  add({"cafe", "Café Noir", "", "", "1", 3});
  add({"decomposed", "Cafe\xCC\x81 Bleu", "", "", "1", 4});  // e + combining acute
  add({"coffee", "COFFEE Bean", "", "", "1", 5});
  add({"street", "Straße 5", "", "", "1", 6});
  add({"quoted", "say \"hi\" shop", "", "", "1", 7});
  add({"message", "카드", "", "[Web발신]\n신한카드 승인\n올리브영", "1", 8});
  add({"deleted", "스타벅스 역삼점", "coffee", "", "1", 9, 1});
  add({"percent", "50% off_sale", "", "", "1", 11});
  add({"room", "Room 101", "", "", "1", 12});

  struct Case {
    const char* text;
    Uids expected;  // newest first
  } cases[] = {
      {"스타벅스", {"memo", "starbucks"}},
      {"벅스 강남", {"starbucks"}},
      {"  스타벅스  ", {"memo", "starbucks"}},
      {"스타", {"memo", "starbucks"}},
      {"강", {"starbucks"}},
      {"coffee", {"coffee"}},
      {"bEaN", {"coffee"}},
      {"cafe", {"decomposed", "cafe"}},
      {"CAFÉ", {"decomposed", "cafe"}},
      {"é", {"percent", "street", "coffee", "decomposed", "cafe"}},
      {"fé", {"coffee", "decomposed", "cafe"}},
      {"afé", {"decomposed", "cafe"}},
      {"strasse", {"street"}},
      {"STRASSE 5", {"street"}},
      {"\"hi\"", {"quoted"}},
      {"hi\" s", {"quoted"}},
      {"올리브영", {}},
      {"역삼", {}},
      {"nothing here", {}},
      // Wildcards of LIKE are plain characters here.
      {"0%", {"percent"}},
      {"f_", {"percent"}},
      {"% off", {"percent"}},
      {"1", {"room"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(search(c.text), c.expected) << c.text;
  }
}

TEST_F(SearchTest, TheFullMessageTextIsSearchedOnlyWhileTheLedgerShowsIt) {
  add({"message", "카드", "", "[Web발신]\n신한카드 승인\nOlive Young", "1", 8});
  add({"content", "Olive Young", "", "", "1", 7});
  for (const char* text : {"olive young", "ol", "발신", "신한카드 승인"}) {
    const Uids byContent = std::string(text).find("ol") == 0 ? Uids{"content"} : Uids{};
    setFullMessage(false);
    EXPECT_EQ(search(text), byContent) << text;
    setFullMessage(true);
    Uids both = {"message"};
    both.insert(both.end(), byContent.begin(), byContent.end());
    EXPECT_EQ(search(text), both) << text;
  }
}

TEST_F(SearchTest, ATransferIsFoundOnceByItsSendingSideFromEitherAccount) {
  InOutComeRepository repo(*ledger_);
  for (auto [uid, kind, account, to] :
       {std::tuple{"out", "3", "BANK", "SAVE"}, {"in", "4", "SAVE", "BANK"}}) {
    InOutCome t = repo.newObjectForEntity<InOutCome>(uid);
    t.Do_Type = kind;
    t.assetUid = account;
    t.toAssetUid = to;
    t.txUidTrans = "T1";
    t.amount = t.amountSub = t.amountAccount = 500;
    t.Content = "월세 이체";
    t.Date = at(3, 5, 9);
    ASSERT_TRUE(repo.updateInOutCome(t));
  }
  const Uids once = {"out"};
  EXPECT_EQ(search("월세"), once);
  EXPECT_EQ(search("월세 이체"), once);
  EXPECT_EQ(search("", onAccounts({"SAVE"})), once);
  EXPECT_EQ(search("월세", onAccounts({"BANK", "SAVE"})), once);
}

TEST_F(SearchTest, DaysAreCalendarDaysAndTheEndDayIsIncludedWhole) {
  BaseRepository repo(*ledger_);
  struct Dated {
    const char* uid;
    double date;
  } rows[] = {
      {"beforeStart", at(3, 31, 23, 59)}, {"start", at(4, 1, 0, 0)},
      {"lateLastDay", at(4, 30, 23, 59)}, {"nextDay", at(5, 1, 0, 0)},
  };
  for (const auto& r : rows) {
    InOutCome t = repo.newObjectForEntity<InOutCome>(r.uid);
    t.Do_Type = "1";
    t.Content = "April";
    t.Date = r.date;
    ASSERT_TRUE(InOutComeRepository(*ledger_).updateInOutCome(t));
  }
  struct Case {
    std::optional<double> start, end;
    Uids expected;
  } cases[] = {
      {at(4, 1, 0), at(4, 30, 0), {"lateLastDay", "start"}},
      // Instants inside the days stand for the whole days.
      {at(4, 1, 15), at(4, 30, 8), {"lateLastDay", "start"}},
      {std::nullopt, at(4, 1, 0), {"start", "beforeStart"}},
      {at(4, 30, 0), std::nullopt, {"nextDay", "lateLastDay"}},
  };
  for (const auto& c : cases) {
    const SearchCriteria criteria = days(c.start, c.end);
    EXPECT_EQ(search("april", criteria), c.expected);
    Uids ascending = c.expected;
    std::reverse(ascending.begin(), ascending.end());
    EXPECT_EQ(uidsOf(TransactionSearch(*ledger_).getListByDateNotMoveIn(criteria)), ascending);
  }
}

TEST_F(SearchTest, CategoriesTakeTheirSubCategoriesOnlyWhileSubCategoriesAreOff) {
  BaseRepository repo(*ledger_);
  for (auto [uid, kind, category] : {std::tuple{"food", "1", "FOOD"}, {"lunch", "1", "LUNCH"},
                                     {"salary", "0", "PAY"}, {"adjust", "7", "FOOD"}}) {
    InOutCome t = repo.newObjectForEntity<InOutCome>(uid);
    t.Do_Type = kind;
    t.categoryUid = category;
    t.Date = at(3, 1, 12);
    t.utime = static_cast<int64_t>(std::string(uid).size());  // orders rows of the same date
    ASSERT_TRUE(repo.save(t, "updateInOutCome"));
  }
  ASSERT_TRUE(EtcRepository(*ledger_).updateUseSubCategory(false));
  EXPECT_EQ(search("", inCategories({"FOOD"})), (Uids{"lunch", "food"}));
  EXPECT_EQ(search("", inCategories({"LUNCH", "PAY"})), (Uids{"salary", "lunch"}));
  ASSERT_TRUE(EtcRepository(*ledger_).updateUseSubCategory(true));
  EXPECT_EQ(search("", inCategories({"FOOD"})), Uids{"food"});
}

TEST_F(SearchTest, AmountBoundsApplyToTheMainCurrencyAmountAndIncludeThemselves) {
  BaseRepository repo(*ledger_);
  for (auto [uid, entered, main] :
       {std::tuple{"ten", 10.0, 10.0}, {"fifty", 50.0, 50.0}, {"hundred", 100.0, 100.0},
        {"foreign", 8000.0, 5.0}}) {
    InOutCome t = repo.newObjectForEntity<InOutCome>(uid);
    t.Do_Type = "1";
    t.amountSub = t.amountAccount = entered;
    t.amount = main;
    t.Date = at(3, static_cast<int>(main) % 28 + 1, 12);
    ASSERT_TRUE(repo.save(t, "updateInOutCome"));
  }
  struct Case {
    std::optional<double> min, max;
    Uids expected;
  } cases[] = {
      {50, std::nullopt, {"fifty", "hundred"}},
      {std::nullopt, 50, {"fifty", "ten", "foreign"}},
      {50, 50, {"fifty"}},
      {6, 99, {"fifty", "ten"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(search("", amounts(c.min, c.max)), c.expected);
  }
}

TEST_F(SearchTest, DeletedRowsAreNeverFound) {
  add({"live", "Market", "", "", "1", 1});
  add({"gone", "Market", "", "", "1", 2, 1});
  add({"goneShort", "Ma", "", "", "1", 3, 1});
  setFullMessage(true);
  for (const char* text : {"", "market", "ma", "m"}) EXPECT_EQ(search(text), Uids{"live"}) << text;
}

// Adds, edits and deletes through the repository; the trigram index follows
// each, for text it folds and text it leaves to the folded comparison.
TEST_F(SearchTest, TheIndexFollowsSavesEditsAndDeletesOfTheRepository) {
  InOutComeRepository repo(*ledger_);
  add({"a", "Bakery 빵집", "fresh", "", "1", 1});
  add({"b", "Bakery 빵집", "", "", "1", 2});
  EXPECT_EQ(indexed("bakery"), (Uids{"a", "b"}));

  auto a = *repo.inOutComeByUid("a");
  a.Content = "Crème brûlée";
  a.memo = "dessert";
  ASSERT_TRUE(repo.updateInOutCome(a));
  EXPECT_EQ(indexed("bakery"), Uids{"b"});
  EXPECT_EQ(indexed("fresh"), Uids{});
  EXPECT_EQ(indexed("dessert"), Uids{"a"});
  EXPECT_EQ(search("creme brulee"), Uids{"a"});
  EXPECT_EQ(search("bakery"), Uids{"b"});

  auto changed = repo.updateContentInOutComeArray({*repo.inOutComeByUid("b")}, "Florist 꽃집");
  ASSERT_TRUE(changed.ok());
  EXPECT_EQ(indexed("빵집"), Uids{});
  EXPECT_EQ(search("꽃집"), Uids{"b"});
  EXPECT_EQ(search("florist 꽃"), Uids{"b"});

  ASSERT_TRUE(repo.deleteWithInOutCome(*repo.inOutComeByUid("b")));
  EXPECT_EQ(search("florist"), Uids{});

  // Rows removed from the table leave the index too.
  EXPECT_EQ(indexed("florist"), Uids{"b"});
  ledger_->store().db().exec("DELETE FROM ZINOUTCOME");
  EXPECT_EQ(indexed("florist"), Uids{});
  EXPECT_EQ(indexed("dessert"), Uids{});
}

std::shared_ptr<spdlog::logger> nullLog() {
  return std::make_shared<spdlog::logger>("null", std::make_shared<spdlog::sinks::null_sink_mt>());
}

// A ledger written before the index existed, with rows added by a writer
// that knew nothing of it: opening it builds the index over every row.
TEST(SearchIndexUpgrade, ALedgerOfTheEarlierSchemaGetsItsRowsIndexedOnOpen) {
  testing::TempDir dir;
  const Environment env = testing::testEnvironment(dir.path());
  auto log = nullLog();
  { Ledger::open(env, log); }
  {
    SQLite::Database db(env.storePath().string(), SQLite::OPEN_READWRITE);
    SQLite::Statement objects(db,
                              "SELECT type, name FROM sqlite_master WHERE name LIKE 'ZINOUTCOME_SEARCH%' "
                              "AND type IN ('trigger', 'index')");
    std::vector<std::string> drops;
    while (objects.executeStep()) {
      drops.push_back(fmt::format("DROP {} {}", objects.getColumn(0).getString(), objects.getColumn(1).getString()));
    }
    ASSERT_EQ(drops.size(), 4u);
    for (const auto& sql : drops) db.exec(sql);
    db.exec("DROP TABLE ZINOUTCOME_SEARCH");
    db.exec("PRAGMA user_version = 3");  // the schema before the text index
    db.exec("INSERT INTO ZINOUTCOME (ZUID, ZDO_TYPE, ZDATE, ZCONTENT, ZMEMO) VALUES "
            "('old1', '1', 100, '동네 세탁소', NULL), ('old2', '1', 200, 'Laundry', 'Ironing'), "
            "('old3', '1', 300, 'Blanchisserie Élise', NULL)");
  }
  auto ledger = Ledger::open(env, log);
  auto& db = ledger->store().db();
  EXPECT_EQ(db.execAndGet("PRAGMA user_version").getInt(), Store::kSchemaVersion);
  EXPECT_EQ(db.execAndGet("SELECT group_concat(t.ZUID) FROM ZINOUTCOME_SEARCH s JOIN ZINOUTCOME t "
                          "ON t.Z_PK = s.rowid WHERE ZINOUTCOME_SEARCH MATCH '\"세탁소\" OR \"ironing\"'")
                .getString(),
            "old1,old2");
  TransactionSearch search(*ledger);
  EXPECT_EQ(uidsOf(search.search("세탁소", {})), Uids{"old1"});
  EXPECT_EQ(uidsOf(search.search("IRONING", {})), Uids{"old2"});
  EXPECT_EQ(uidsOf(search.search("elise", {})), Uids{"old3"});
  // The triggers are back: a row added now is found too.
  db.exec("INSERT INTO ZINOUTCOME (ZUID, ZDO_TYPE, ZDATE, ZCONTENT) VALUES ('new', '1', 400, '세탁소 2호점')");
  EXPECT_EQ(uidsOf(search.search("세탁소", {})), (Uids{"new", "old1"}));
}

}  // namespace
}  // namespace varnel
