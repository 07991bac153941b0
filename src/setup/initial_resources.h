// Readers of the bundled lists a new ledger is built from: the default
// categories ("category.xml", lists "in"/"out" and the older "old_in"/
// "old_out") and the default account groups ("assets_group.xml").
//
// Both files hold "item" elements whose text is a ";"-separated record; the
// name field carries the English name and the item's `ko` attribute the
// Korean one. A record whose first field reads as 0 (empty, non-numeric or
// zero) is skipped, and so is one with fewer fields than the reader needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// One default category: "id;kind;name;parent id".
struct CategorySeed {
  int id = 0;        // becomes the category's `uid` as decimal text
  int doType = 0;    // 0 income, 1 expense
  std::string name;  // in the requested language
  int parentId = 0;  // 0 for a main category
  bool isSub() const { return parentId != 0; }
};

// One default account group: "type code;name;key;reserved;position".
struct AssetGroupSeed {
  int typeCode = 0;   // `Status`, and its `uid` as decimal text
  std::string name;   // in the requested language
  int position = 0;   // the group's `Order` is position + 100
};

// Category list names.
inline constexpr const char* kCategoryListIn = "in";
inline constexpr const char* kCategoryListOut = "out";
inline constexpr const char* kCategoryListOldIn = "old_in";
inline constexpr const char* kCategoryListOldOut = "old_out";

// Whether names are taken in Korean: the language "ko" (or a "ko_…" form);
// every other language gets the English names.
bool usesKoreanNames(const std::string& language);

// The records of the category list `listName` (a "list" element with that
// `name` attribute) in `xml`, in document order. Returns nothing when the
// text is not XML or has no such list. The id has its spaces removed before
// it is read.
std::optional<std::vector<CategorySeed>> parseCategoryList(std::string_view xml,
                                                           std::string_view listName,
                                                           const std::string& language);
// The account group records in `xml`, in document order; nothing when the
// text is not XML.
std::optional<std::vector<AssetGroupSeed>> parseAssetGroups(std::string_view xml,
                                                            const std::string& language);

// The same, read from the bundled resources; empty when a list is missing.
std::vector<CategorySeed> defaultCategories(std::string_view listName, const std::string& language);
std::vector<AssetGroupSeed> defaultAssetGroups(const std::string& language);

// An account group type code as a person types it: one of the codes of the
// bundled groups (cards carry logic, the others place accounts in the
// overview). Throws InputError naming `what` and the codes otherwise.
int64_t parseAssetGroupTypeText(std::string_view text, std::string_view what);

}  // namespace varnel
