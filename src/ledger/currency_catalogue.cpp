#include "ledger/currency_catalogue.h"

#include <charconv>
#include <map>

#include <pugixml.hpp>
#include <unicode/ucurr.h>

#include "model/resources.h"

namespace varnel {

namespace {

std::vector<std::string> splitFields(const std::string& text) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(';', start);
    fields.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return fields;
}

std::vector<AppCurrency> readCatalogue() {
  std::vector<AppCurrency> out;
  const auto data = resource("currency.xml");
  if (!data) return out;
  pugi::xml_document doc;
  if (!doc.load_buffer(data->data(), data->size())) return out;
  for (auto item : doc.child("currencies").children("item")) {
    const auto fields = splitFields(item.text().as_string());
    if (fields.size() != 6 || fields[0].empty()) continue;
    int point = -1;
    const std::string& digits = fields[5];
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), point);
    if (ec != std::errc() || end != digits.data() + digits.size() || point < 0 || point > 10) continue;
    out.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], point});
  }
  return out;
}

}  // namespace

const std::vector<AppCurrency>& CalcCurrency::list() {
  static const std::vector<AppCurrency> kList = readCatalogue();
  return kList;
}

std::optional<AppCurrency> CalcCurrency::currencyByIso(std::string_view iso) {
  for (const auto& c : list()) {
    if (c.iso == iso) return c;
  }
  return std::nullopt;
}

std::string CalcCurrency::isoForLocale(const std::string& locale) {
  UChar buffer[4] = {};
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = ucurr_forLocale(locale.c_str(), buffer, 4, &status);
  if (U_FAILURE(status) || length != 3) return "";
  std::string iso;
  for (int i = 0; i < 3; ++i) iso += static_cast<char>(buffer[i]);
  return iso;
}

std::string CalcCurrency::defaultMainIso(const std::string& locale) {
  const std::string code = isoForLocale(locale);
  if (!code.empty()) {
    const std::string prefix = code + " - ";
    for (const auto& c : list()) {
      if (c.longIso.rfind(prefix, 0) == 0) return c.iso;
    }
  }
  return "USD";
}

std::string CalcCurrency::getNewSymbol(const std::string& symbol) {
  static const std::map<std::string, std::string> kRenewed = {
      {"￥", "JP￥"}, {"CZK", "Kč"}, {"£", "￡"},     {"INR", "₹"}, {"रू", "₹"},
      {"MXN", "Mex$"}, {"Leu", "Lei"}, {"රු", "Rs."}, {"د.م.", "MAD"}, {"DT", "د.ت"},
      {"TL", "₺"},
  };
  auto it = kRenewed.find(symbol);
  return it == kRenewed.end() ? symbol : it->second;
}

}  // namespace varnel
