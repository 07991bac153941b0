// The message corpus: realistic pastes of Korean card, bank, pay-app and
// securities messages (tests/sms/corpus/messages.jsonl), each with what the
// input must fill in for every message of the paste, in order. A line holds
// "id", "text" and "messages" (one object per message, keyed like the
// program's JSON result; a key left out is not checked, null means nothing
// found).
#include <fstream>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "sms/sms_parsing_multi.h"
#include "sms_test_fixture.h"

namespace varnel {
namespace {

using testing::SmsTest;

std::vector<nlohmann::json> corpus() {
  std::ifstream in(VARNEL_SMS_CORPUS);
  std::vector<nlohmann::json> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) lines.push_back(nlohmann::json::parse(line));
  }
  return lines;
}

nlohmann::json textOrNull(const std::string& text) {
  return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

// The fields the corpus names, as the input would show them.
nlohmann::json observed(const SmsParsingHelper& helper, const SmsParsing* parse) {
  const std::string& macro =
      !helper.findMacro.macroName.empty() ? helper.findMacro.macroName : helper.findMacro.userMacroName;
  nlohmann::json out = {{"parser", textOrNull(helper.parserName)},
                        {"macroName", textOrNull(macro)},
                        {"collectCount", helper.resultSmsStrCut.collectCount},
                        {"isException", helper.resultSmsStrCut.isException},
                        {"moneyMainStr", nullptr},
                        {"currency", nullptr},
                        {"doTypeStr", nullptr},
                        {"dpDate", nullptr},
                        {"timeStampStr", nullptr},
                        {"installment", nullptr},
                        {"mainContentStr", nullptr}};
  if (!parse) return out;
  if (parse->moneyMainStr != "0") out["moneyMainStr"] = parse->moneyMainStr;
  if (parse->currency) out["currency"] = parse->currency->iso.value_or("");
  out["doTypeStr"] = parse->doTypeStr;
  if (parse->dpDate) out["dpDate"] = parse->dpDateKey();
  out["timeStampStr"] = parse->timeStampStr;
  out["installment"] = parse->installment;
  out["mainContentStr"] = textOrNull(parse->mainContentStr);
  return out;
}

class SmsCorpusTest : public SmsTest {
 protected:
  void SetUp() override {
    SmsTest::SetUp();
    // The person holds dollars and yen; other currencies are converted.
    addCurrency("KRW_USD", "USD", 1385.2, 2);
    addCurrency("KRW_JPY", "JPY", 9.1, 0);
    ledger_->commonData().ReloadTheData();
  }
  void addCurrency(const std::string& uid, const std::string& iso, double rate, int point) {
    BaseRepository repo(*ledger_);
    Currency c = repo.newObjectForEntity<Currency>(uid);
    c.iso = iso;
    c.mainIso = "KRW";
    c.rate = rate;
    c.point = point;
    c.isMainCurrency = 0;
    c.isShow = 1;
    ASSERT_TRUE(repo.save(c, "updateCurrency"));
  }
};

TEST_F(SmsCorpusTest, EveryMessageReadsAsExpected) {
  const std::vector<nlohmann::json> lines = corpus();
  size_t messages = 0;
  for (const auto& line : lines) messages += line["messages"].size();
  ASSERT_GE(messages, 150u) << "the corpus file was not found or lost lines";

  for (const auto& line : lines) {
    const std::string id = line["id"];
    SCOPED_TRACE(id);
    MemoryClipboard clipboard(line["text"].get<std::string>());
    SmsParsingMulti multi(*ledger_, clipboard);
    multi.parsing();
    const auto& expected = line["messages"];
    size_t shown = 0;
    while (multi.getCountSms() > 0 && multi.smsParsingHelper() && shown < expected.size()) {
      const nlohmann::json got = observed(*multi.smsParsingHelper(), multi.smsParsing());
      for (const auto& [key, value] : expected[shown].items()) {
        ASSERT_TRUE(got.contains(key)) << "unknown key " << key;
        EXPECT_EQ(got[key], value) << id << " message " << shown + 1 << ": " << key;
      }
      ++shown;
      multi.next();
    }
    EXPECT_EQ(shown, expected.size()) << id << ": messages shown";
    EXPECT_EQ(multi.getCountSms(), 0) << id << ": messages left over";
  }
}

}  // namespace
}  // namespace varnel
