#include "sms/sms_parsing_kor.h"

namespace varnel {

void SmsParsingKor::parsing(const std::string& text, const std::string& findMacroName,
                            const std::string& findUserMacroName) {
  SmsParsing::parsing(text, findMacroName, findUserMacroName);
  checkDpDate();
}


// First cut: the readers pass their text through until the pipeline lands.
std::string SmsParsingKor::moneyMainStrFilter(const std::string& text) { return text; }
std::string SmsParsingKor::krwMoneyFilter(const std::string& text, const std::string&,
                                          const std::vector<std::string>&) {
  return text;
}
std::string SmsParsingKor::currencyMoneyFilter(const std::string& text, const std::string&,
                                               const std::string&, double) {
  return text;
}
std::string SmsParsingKor::dateFilter(const std::string& text) { return text; }
std::string SmsParsingKor::accountFilter(const std::string& text, const std::string&,
                                         const std::string&) {
  return text;
}
std::string SmsParsingKor::addressStringFilter(const std::string& text) { return text; }
std::string SmsParsingKor::lastWordsFilterUS(const std::string& text) { return text; }

}  // namespace varnel
