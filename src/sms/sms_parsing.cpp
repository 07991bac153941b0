#include "sms/sms_parsing.h"

#include <fmt/format.h>

#include "model/ledger.h"

namespace varnel {

SmsParsing::SmsParsing(Ledger& ledger) : ledger_(ledger) {
  const Environment& env = ledger_.env();
  const LocalDateTime now = env.dates().toLocal(env.nowStoreSeconds());
  today_ = LocalDateTime{now.year, now.month, now.day, 0, 0, 0, now.weekday};
  pastDate = today_;
  timeStampStr = fmt::format("{}:{:02d}", now.hour, now.minute);
  region_ = env.region();
  language_ = env.language();
  appCurrency = ledger_.commonData().mainCurrency();
}

SmsParsing::~SmsParsing() = default;

void SmsParsing::parsing(const std::string& text, const std::string&, const std::string&) {
  smsOrigine = text;
}

std::string SmsParsing::dpDateKey() const {
  const LocalDateTime& d = dpDate ? *dpDate : pastDate;
  return fmt::format("{:04d}-{:02d}-{:02d}", d.year, d.month, d.day);
}

double SmsParsing::dpDateTime() const {
  const LocalDateTime& d = dpDate ? *dpDate : pastDate;
  return ledger_.env().dates().fromLocal(d.year, d.month, d.day);
}

// First cut: the filters pass their text through until the pipeline lands.
std::string SmsParsing::removeLineChange(const std::string& text) { return text; }
std::string SmsParsing::emptyStringFilter(const std::string& text) { return text; }
std::string SmsParsing::removeWordNotNecessary(const std::string& text) { return text; }
bool SmsParsing::isSmsTailAssetName(const std::string& name) {
  return name == "기업" || name == "KB스타알림" || name == "씨티 카드";
}
bool SmsParsing::isInCome(const std::string&) { return false; }
std::string SmsParsing::filterPastStr(const std::string&, const std::string& text) { return text; }
std::string SmsParsing::removeAllFilter(const std::string&, const std::string& text) { return text; }
std::string SmsParsing::lastWordsFilter(const std::string& text) { return text; }
std::string SmsParsing::lastWordsFilterSelective(const std::string& text) { return text; }
std::string SmsParsing::ectSpeciallCharFilter(const std::string& text) { return text; }
std::string SmsParsing::filterUrl(const std::string& text) { return text; }
std::string SmsParsing::hyunDaeCardPasteStrException(const std::string& text) { return text; }
std::string SmsParsing::timerFilter(const std::string& text) { return text; }
std::string SmsParsing::installmentFilter(const std::string& text) { return text; }
void SmsParsing::findCategoryFromSMSKo(const std::string&, const std::string&) {}
bool SmsParsing::isValidCategory(const InOutCome&) { return false; }
void SmsParsing::getIsPastOverlap(const std::string&) {}

void SmsParsing::checkDpDate() {
  if (!dpDate) dpDate = pastDate;
}

}  // namespace varnel
