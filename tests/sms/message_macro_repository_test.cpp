#include <set>

#include <gtest/gtest.h>

#include "model/errors.h"
#include "model/resources.h"
#include "model/texts.h"
#include "sms/message_macro_repository.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;

std::string listOf(const std::vector<std::string>& items) {
  std::string xml = "<macros>";
  for (const auto& item : items) xml += "<item>" + item + "</item>";
  return xml + "</macros>";
}

std::vector<std::string> namesOf(const std::vector<MessageMacro2>& macros) {
  std::vector<std::string> out;
  for (const auto& m : macros) out.push_back(m.macroAssetName.value_or("?"));
  return out;
}

class MessageMacroTest : public LedgerTest {
 protected:
  MessageMacro2 addMacro(const std::string& uid, const std::string& name,
                         const std::string& useYN = "Y") {
    MessageMacroRepository repo(*ledger_);
    MessageMacro2 m = repo.newObjectForEntity<MessageMacro2>(uid);
    m.macroAssetName = name;
    m.useYN = useYN;
    m.utime = 5;
    EXPECT_TRUE(repo.save(m, "test"));
    return m;
  }
  Asset addAccount(const std::string& uid, const std::string& name, const std::string& smsString,
                   int64_t isDel = 0, int64_t order = 1) {
    MessageMacroRepository repo(*ledger_);
    Asset a = repo.newObjectForEntity<Asset>(uid);
    a.NicName = name;
    a.smsString = smsString;
    a.isDel = isDel;
    a.Order = order;
    EXPECT_TRUE(repo.save(a, "test"));
    return a;
  }
  int64_t macroCount() {
    return ledger_->store().db().execAndGet("SELECT COUNT(*) FROM ZMESSAGEMACRO2").getInt64();
  }
};

// --- the list format ---------------------------------------------------------

TEST(MacroListFormat, RecordsAreTrimmedSplitAndValidated) {
  struct Case {
    std::string item;
    std::string uid, sender;
    int64_t type;
    std::string tel, date, useYN, appName, appPackage;
  };
  const std::vector<Case> cases = {
      {"1;BC카드;1;15884000;2026-11-02;Y", "1", "BC카드", 1, "15884000", "2026-11-02", "Y", "", ""},
      // The whole record and each field lose surrounding white space.
      {"\n   2 ; 신한 카드 ;2; 1544 ;d;N  \n", "2", "신한 카드", 2, "1544", "d", "N", "", ""},
      // Seven fields: the application name without a package.
      {"3;Pay;4;;d;Y;Pay App", "3", "Pay", 4, "", "d", "Y", "Pay App", ""},
      {"4;Pay;4;;d;Y;Pay App;com.pay", "4", "Pay", 4, "", "d", "Y", "Pay App", "com.pay"},
      // Rule types read as a leading integer, held to 16 bits.
      {"5;A;7x;;d;Y", "5", "A", 7, "", "d", "Y", "", ""},
      {"6;A;x;;d;Y", "6", "A", 0, "", "d", "Y", "", ""},
      {"7;A;99999999999;;d;Y", "7", "A", 32767, "", "d", "Y", "", ""},
      {"8;A;-40000;;d;y", "8", "A", -32768, "", "d", "Y", "", ""},
      {"9;A;1;;d;n", "9", "A", 1, "", "d", "N", "", ""},
  };
  for (const auto& c : cases) {
    auto parsed = parseMacroList(listOf({c.item}));
    ASSERT_TRUE(parsed) << c.item;
    ASSERT_EQ(parsed->size(), 1u) << c.item;
    const auto& r = parsed->front();
    EXPECT_EQ(r.uid, c.uid) << c.item;
    EXPECT_EQ(r.senderText, c.sender) << c.item;
    EXPECT_EQ(r.ruleType, c.type) << c.item;
    EXPECT_EQ(r.smsTel, c.tel) << c.item;
    EXPECT_EQ(r.modiDate, c.date) << c.item;
    EXPECT_EQ(r.useYN, c.useYN) << c.item;
    EXPECT_EQ(r.appName, c.appName) << c.item;
    EXPECT_EQ(r.appPackage, c.appPackage) << c.item;
  }
}

TEST(MacroListFormat, IncompleteRecordsAreSkipped) {
  // Too few fields, no usable identifier, no sender text.
  for (const std::string item : {"10;A;1;;d", "", "0;A;1;;d;Y", ";A;1;;d;Y", "abc;A;1;;d;Y",
                                 "11; ;1;;d;Y"}) {
    auto parsed = parseMacroList(listOf({item, "12;Kept;1;;d;Y"}));
    ASSERT_TRUE(parsed) << item;
    ASSERT_EQ(parsed->size(), 1u) << item;
    EXPECT_EQ(parsed->front().uid, "12") << item;
  }
}

TEST(MacroListFormat, ItemsAreFoundAtAnyDepthInOrder) {
  auto parsed = parseMacroList(
      "<list><group><item>2;B;1;;d;Y</item></group><item>1;A;1;;d;Y</item></list>");
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->size(), 2u);
  EXPECT_EQ((*parsed)[0].uid, "2");
  EXPECT_EQ((*parsed)[1].uid, "1");
}

TEST(MacroListFormat, TextsThatAreNotListsAreRefused) {
  EXPECT_FALSE(parseMacroList("1;A;1;;d;Y"));
  EXPECT_FALSE(parseMacroList("<macros><item>1;A;1;;d;Y</item>"));
  EXPECT_THROW(readMacroList("not xml"), InputError);
  EXPECT_THROW(readMacroList("<macros/>"), InputError);
  EXPECT_THROW(readMacroList(listOf({"1;A;1;;d", "0;B;1;;d;Y"})), InputError);
  EXPECT_EQ(readMacroList(listOf({"1;A;1;;d;Y"})).size(), 1u);
}

TEST(MacroListFormat, BundledListIsCompleteAndConsistent) {
  const auto text = resource(kMessageMacroResource);
  ASSERT_TRUE(text);
  const auto records = parseMacroList(*text);
  ASSERT_TRUE(records);
  // No record of the bundled list may be silently dropped.
  size_t items = 0;
  for (size_t pos = 0; (pos = text->find("<item>", pos)) != std::string_view::npos; ++pos) ++items;
  EXPECT_EQ(records->size(), items);
  EXPECT_GT(records->size(), 50u);
  std::set<std::string> uids, names;
  for (const auto& r : *records) {
    EXPECT_TRUE(uids.insert(r.uid).second) << "duplicate uid " << r.uid;
    EXPECT_TRUE(names.insert(r.senderText).second) << "duplicate sender " << r.senderText;
    EXPECT_GE(r.ruleType, macro_type::kCard) << r.senderText;
    EXPECT_LE(r.ruleType, macro_type::kPayApp) << r.senderText;
    EXPECT_FALSE(r.modiDate.empty()) << r.senderText;
    // Identifiers become numeric keys in the interchange file.
    EXPECT_EQ(r.uid.find_first_not_of("0123456789"), std::string::npos) << r.uid;
  }
  for (const char* sender : {"KB국민카드", "신한카드", "삼성카드", "현대카드", "롯데카드", "우리카드",
                             "하나카드", "NH농협카드", "BC카드", "카카오뱅크", "케이뱅크", "토스",
                             "기업", "SC은행", "미래에셋증권", "우체국", "새마을금고", "카카오페이"}) {
    EXPECT_TRUE(names.count(sender)) << sender;
  }
}

TEST(MacroListFormat, RefreshMessageHasTextsInBothLanguages) {
  for (const char* language : {"en", "ko"}) {
    const auto table = loadTextTable(language);
    EXPECT_TRUE(table.count(kMacroRefreshFailKey)) << language;
    EXPECT_TRUE(table.count(kMacroRefreshFailButtonKey)) << language;
  }
  EXPECT_EQ(Texts("en").text(kMacroRefreshFailKey),
            "You cann't connect to sever. Please try again later.");
}

// --- lists and order -------------------------------------------------------------

TEST_F(MessageMacroTest, LongestSenderTextComesFirst) {
  addMacro("1", "BC");
  addMacro("2", "신한카드");  // four characters, twelve bytes
  addMacro("3", "BC Card");
  addMacro("4", "제일");
  addMacro("5", "Retired Bank", "N");
  addMacro("6", "");
  MessageMacroRepository repo(*ledger_);
  EXPECT_EQ(namesOf(repo.listAll(false)), (std::vector<std::string>{"BC Card", "신한카드", "BC"}));
  EXPECT_EQ(namesOf(repo.listAll(true)),
            (std::vector<std::string>{"BC", "신한카드", "BC Card", "제일", "Retired Bank", ""}));
  EXPECT_EQ(namesOf(repo.listOfUpdate(false)),
            (std::vector<std::string>{"Retired Bank", "BC Card", "신한카드", "BC", "제일"}));
  EXPECT_EQ(namesOf(repo.listOfUpdate(true)),
            (std::vector<std::string>{"Retired Bank", "BC Card", "신한카드", "BC"}));
}

TEST_F(MessageMacroTest, UserMacrosComeFromLiveAccountsPieceByPiece) {
  addAccount("A1", "Main", "KB; ;Shinhan \n", 0, 1);
  addAccount("A2", "Gone", "Deleted", 1, 2);
  addAccount("A3", "Also gone", "Removed", 2, 3);
  addAccount("A4", "Hidden", "Hidden card", 3, 4);
  addAccount("A5", "Empty", "", 0, 5);
  MessageMacroRepository repo(*ledger_);
  const auto users = repo.listOfUserCustom();
  std::vector<std::pair<std::string, std::string>> got;
  for (const auto& u : users) {
    ASSERT_TRUE(u.conAsset);
    got.emplace_back(u.smsString, *u.conAsset->uid);
    EXPECT_FALSE(u.uid);
    EXPECT_EQ(u.macroType, 0);
  }
  EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>{
                     {"Hidden card", "A4"}, {"Shinhan", "A1"}, {"KB", "A1"}}));
}

TEST_F(MessageMacroTest, MatchingTriesUserMacrosThenTheLongestBuiltInName) {
  addMacro("1", "BC");
  addMacro("2", "BC Card");
  addMacro("3", "제일");
  addMacro("4", "Off Bank", "N");
  addMacro("5", "씨티 카드");
  MessageMacroRepository repo(*ledger_);

  auto m = repo.findBySenderText("[Web] BC Card approved 12,000");
  ASSERT_TRUE(m.macro);
  EXPECT_EQ(m.macroName, "BC Card");
  EXPECT_EQ(*m.macro->uid, "2");

  EXPECT_FALSE(repo.findBySenderText("제일 은행 출금").found());
  EXPECT_FALSE(repo.findBySenderText("Off Bank deposit").found());
  EXPECT_EQ(repo.findBySenderText("승인 씨티\n카드 5,000원").macroName, "씨티 카드");

  addAccount("A1", "My card", "BC Card 1234");
  m = repo.findBySenderText("BC Card 1234 approved");
  ASSERT_TRUE(m.userMacro);
  EXPECT_FALSE(m.macro);
  EXPECT_EQ(m.userMacroName, "BC Card 1234");
  EXPECT_EQ(*m.userMacro->conAsset->uid, "A1");
}

TEST_F(MessageMacroTest, LookupsByUidNameAndAccount) {
  addMacro("1", "KB", "N");
  auto live = addMacro("2", "KB");
  live.conAssetUid = "A1";
  MessageMacroRepository repo(*ledger_);
  ASSERT_TRUE(repo.save(live, "test"));

  EXPECT_EQ(repo.messageMacro2WithUid("1")->useYN, "N");
  EXPECT_FALSE(repo.messageMacro2WithUid("9"));
  EXPECT_EQ(*repo.firstWithMacroAssetName("KB")->uid, "2");  // the one in use
  EXPECT_EQ(*repo.firstWithConAssetUid("A1", "KB")->uid, "2");
  EXPECT_FALSE(repo.firstWithConAssetUid("A2", "KB"));
}

TEST_F(MessageMacroTest, UpdateStampsAndFlagsOnlyWhenAsked) {
  MessageMacro2 m = addMacro("1", "KB");
  MessageMacroRepository repo(*ledger_);
  m.conAssetUid = "A1";
  ASSERT_TRUE(repo.update(m, false));
  EXPECT_EQ(m.utime, ledger_->env().nowMs());
  EXPECT_EQ(repo.messageMacro2WithUid("1")->isSynced, 0);
  ASSERT_TRUE(repo.update(m, true));
  EXPECT_EQ(repo.messageMacro2WithUid("1")->isSynced, 1);
  EXPECT_EQ(repo.messageMacro2WithUid("1")->conAssetUid, "A1");
  EXPECT_NE(logText().find("update messageMacro2 update"), std::string::npos);
}

// --- merging ---------------------------------------------------------------------

TEST_F(MessageMacroTest, MergeUpdatesByUidAndKeepsWhatTheUserChose) {
  MessageMacroRepository repo(*ledger_);
  MessageMacro2 linked = addMacro("10", "Old name");
  linked.conAssetUid = "A1";
  linked.appName = "Old app";
  linked.appPackage = "old.package";
  ASSERT_TRUE(repo.save(linked, "test"));
  addMacro("11", "Switched off by the user", "N");
  addMacro("12", "To be retired");
  addMacro("13", "Not in the list");

  const auto result = repo.updateByMacroDataList(*parseMacroList(listOf({
      "10;New name;2;1588;2026-12-01;Y;New app",
      "11;Back on?;1;;2026-12-01;Y",
      "12;To be retired;1;;2026-12-01;N",
      "20;Brand new;4;;2026-12-01;Y;App;com.app",
  })));
  ASSERT_TRUE(result.saved);
  EXPECT_EQ(result.added, 1);
  EXPECT_EQ(result.updated, 3);

  auto m10 = *repo.messageMacro2WithUid("10");
  EXPECT_EQ(m10.macroAssetName, "New name");
  EXPECT_EQ(m10.macroType, 2);
  EXPECT_EQ(m10.smsTel, "1588");
  EXPECT_EQ(m10.modiDate, "2026-12-01");
  EXPECT_EQ(m10.conAssetUid, "A1");           // the user's account link stays
  EXPECT_EQ(m10.appName, "New app");          // given: replaced
  EXPECT_EQ(m10.appPackage, "old.package");   // not given: kept
  EXPECT_EQ(m10.utime, ledger_->env().nowMs());

  EXPECT_EQ(repo.messageMacro2WithUid("11")->useYN, "N");  // the user's choice stays
  EXPECT_EQ(repo.messageMacro2WithUid("11")->macroAssetName, "Back on?");
  EXPECT_EQ(repo.messageMacro2WithUid("12")->useYN, "N");  // the list retires it
  EXPECT_EQ(repo.messageMacro2WithUid("13")->utime, 5);    // untouched

  auto m20 = *repo.messageMacro2WithUid("20");
  EXPECT_EQ(m20.useYN, "Y");
  EXPECT_EQ(m20.appPackage, "com.app");
  EXPECT_EQ(m20.orderSeq, 1);  // the macros added above carry no order number
  EXPECT_NE(logText().find("updateList messageMacro update"), std::string::npos);
}

TEST_F(MessageMacroTest, ARepeatedUidInOneListGivesOneMacro) {
  MessageMacroRepository repo(*ledger_);
  const auto result = repo.updateByMacroDataList(
      *parseMacroList(listOf({"1;First;1;;d;Y", "2;Other;1;;d;Y", "1;Second;3;;d;Y"})));
  ASSERT_TRUE(result.saved);
  EXPECT_EQ(result.added, 2);
  EXPECT_EQ(macroCount(), 2);
  EXPECT_EQ(repo.messageMacro2WithUid("1")->macroAssetName, "Second");
  EXPECT_EQ(repo.messageMacro2WithUid("1")->orderSeq, 1);
  EXPECT_EQ(repo.messageMacro2WithUid("2")->orderSeq, 2);
}

TEST_F(MessageMacroTest, AFailedMergeWritesNothing) {
  ledger_->store().db().exec(
      "CREATE TRIGGER refuse BEFORE INSERT ON ZMESSAGEMACRO2 WHEN NEW.ZUID = '2' "
      "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  MessageMacroRepository repo(*ledger_);
  const auto result =
      repo.updateByMacroDataList(*parseMacroList(listOf({"1;A;1;;d;Y", "2;B;1;;d;Y"})));
  EXPECT_FALSE(result.saved);
  EXPECT_EQ(macroCount(), 0);
  EXPECT_NE(logText().find("updateList messageMacro update fail"), std::string::npos);
}

TEST_F(MessageMacroTest, BundledListLoadsOnlyIntoAStoreWithoutMacros) {
  MessageMacroRepository repo(*ledger_);
  EXPECT_FALSE(repo.hasAnyMacro());
  ASSERT_TRUE(repo.initMessageMacroSetting().value());
  const int64_t loaded = macroCount();
  EXPECT_GT(loaded, 50);
  ASSERT_TRUE(repo.firstWithMacroAssetName("신한카드"));
  // Longest-first: the card company is tried before the bank's short name.
  const auto order = namesOf(repo.listAll(false));
  const auto pos = [&](const std::string& n) { return std::find(order.begin(), order.end(), n) - order.begin(); };
  EXPECT_LT(pos("신한카드"), pos("신한"));
  EXPECT_EQ(pos("제일"), static_cast<long>(order.size()));

  EXPECT_FALSE(repo.initMessageMacroSetting().value());
  EXPECT_EQ(macroCount(), loaded);
}

TEST_F(MessageMacroTest, AStoreWithOnlySwitchedOffMacrosGetsNoBundledList) {
  addMacro("1", "KB", "N");
  MessageMacroRepository repo(*ledger_);
  EXPECT_FALSE(repo.initMessageMacroSetting().value());
  EXPECT_EQ(macroCount(), 1);
}

// --- refresh from a downloaded list ----------------------------------------------

TEST_F(MessageMacroTest, RefreshRecordsTheVersionOnlyAfterASuccessfulMerge) {
  MessageMacroRepository repo(*ledger_);
  auto& prefs = ledger_->preferences();
  EXPECT_TRUE(repo.needsVersionRefresh("1.2.0"));

  for (const std::string& bad :
       std::vector<std::string>{"<html>Gateway timeout", "<macros/>", listOf({"1;A;1"})}) {
    const auto failed = repo.refreshFromDownloadedList(bad, "1.2.0");
    EXPECT_FALSE(failed.ok) << bad;
    EXPECT_EQ(failed.messageKey, kMacroRefreshFailKey) << bad;
  }
  EXPECT_EQ(macroCount(), 0);
  EXPECT_FALSE(prefs.getString(kPrefLastUpdateMacroVersion));
  EXPECT_FALSE(prefs.getString(kPrefReloadMessageMacro));

  const auto done = repo.refreshFromDownloadedList(listOf({"1;A;1;;d;Y"}), "1.2.0");
  EXPECT_TRUE(done.ok);
  EXPECT_TRUE(done.messageKey.empty());
  EXPECT_EQ(done.merge.added, 1);
  EXPECT_EQ(prefs.getString(kPrefLastUpdateMacroVersion), "1.2.0");
  EXPECT_EQ(prefs.getString(kPrefReloadMessageMacro), "YES");
  EXPECT_EQ(prefs.getString(kPrefMacroLastUpdateDate), std::to_string(ledger_->env().nowMs()));
  EXPECT_FALSE(repo.needsVersionRefresh("1.2.0"));
  EXPECT_TRUE(repo.needsVersionRefresh("1.3.0"));
}

}  // namespace
}  // namespace varnel
