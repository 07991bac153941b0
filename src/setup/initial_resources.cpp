#include "setup/initial_resources.h"

#include <algorithm>
#include <limits>

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <pugixml.hpp>

#include "model/errors.h"
#include "model/number_input.h"
#include "model/resources.h"
#include "model/text.h"

namespace varnel {

namespace {

constexpr const char* kCategoryResource = "category.xml";
constexpr const char* kAssetGroupResource = "assets_group.xml";

// A leading decimal integer ("12", "-3", "7x" is 7); 0 when there is none or
// it does not fit an int.
int leadingInt(std::string_view s) {
  s.remove_prefix(std::min(s.size(), s.find_first_not_of(" \t\r\n")));
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  long long value = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > 0x7fffffffLL) return 0;
  }
  return static_cast<int>(negative ? -value : value);
}

// The record of an item, trimmed and split; fewer than `minFields` gives none.
std::optional<std::vector<std::string>> recordOf(const pugi::xml_node& item, size_t minFields) {
  auto fields = splitFields(trimmed(item.text().get()));
  if (fields.size() < minFields) return std::nullopt;
  for (auto& f : fields) f = trimmed(f);
  return fields;
}

std::string localName(const pugi::xml_node& item, const std::string& english,
                      const std::string& language) {
  if (usesKoreanNames(language)) {
    std::string korean = trimmed(item.attribute("ko").as_string());
    if (!korean.empty()) return korean;
  }
  return english;
}

}  // namespace

bool usesKoreanNames(const std::string& language) {
  return language == "ko" || language.rfind("ko_", 0) == 0 || language.rfind("ko-", 0) == 0;
}

std::optional<std::vector<CategorySeed>> parseCategoryList(std::string_view xml,
                                                           std::string_view listName,
                                                           const std::string& language) {
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size())) return std::nullopt;
  pugi::xml_node list;
  for (auto node : doc.document_element().children("list")) {
    if (listName == node.attribute("name").as_string()) {
      list = node;
      break;
    }
  }
  if (!list) return std::nullopt;
  std::vector<CategorySeed> out;
  for (auto item : list.children("item")) {
    auto fields = recordOf(item, 4);
    if (!fields) continue;
    std::string id = (*fields)[0];
    id.erase(std::remove(id.begin(), id.end(), ' '), id.end());
    CategorySeed seed;
    seed.id = leadingInt(id);
    if (seed.id == 0) continue;
    seed.doType = leadingInt((*fields)[1]);
    seed.name = localName(item, (*fields)[2], language);
    seed.parentId = leadingInt((*fields)[3]);
    out.push_back(std::move(seed));
  }
  return out;
}

std::optional<std::vector<AssetGroupSeed>> parseAssetGroups(std::string_view xml,
                                                            const std::string& language) {
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size())) return std::nullopt;
  std::vector<AssetGroupSeed> out;
  for (auto item : doc.document_element().children("item")) {
    auto fields = recordOf(item, 5);
    if (!fields) continue;
    AssetGroupSeed seed;
    seed.typeCode = leadingInt((*fields)[0]);
    if (seed.typeCode == 0) continue;
    seed.name = localName(item, (*fields)[1], language);
    seed.position = leadingInt((*fields)[4]);
    out.push_back(std::move(seed));
  }
  return out;
}

std::vector<CategorySeed> defaultCategories(std::string_view listName, const std::string& language) {
  const auto text = resource(kCategoryResource);
  if (!text) return {};
  return parseCategoryList(*text, listName, language).value_or(std::vector<CategorySeed>{});
}

std::vector<AssetGroupSeed> defaultAssetGroups(const std::string& language) {
  const auto text = resource(kAssetGroupResource);
  if (!text) return {};
  return parseAssetGroups(*text, language).value_or(std::vector<AssetGroupSeed>{});
}

int64_t parseAssetGroupTypeText(std::string_view text, std::string_view what) {
  const int64_t type =
      parseIntegerText(text, what, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
  std::vector<std::string> known;
  for (const AssetGroupSeed& seed : defaultAssetGroups("en")) {
    if (seed.typeCode == type) return type;
    known.push_back(std::to_string(seed.typeCode));
  }
  throw InputError(fmt::format("{} must be a group type code ({}): '{}'", what, fmt::join(known, ", "), text));
}

}  // namespace varnel
