// The keyword table of the category guess: which category a merchant or
// service word points to ("category_sms.xml" among the embedded resources),
// and the names a category of the default lists goes by, so that a table
// written with the Korean names of the current lists also finds the
// categories of an English ledger and of a ledger set up with the older
// lists.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sms/sms_patterns.h"

namespace varnel {

// Name of the table among the embedded resources.
inline constexpr const char* kSmsCategoryResource = "category_sms.xml";

class SmsCategory {
 public:
  struct Item {
    std::string category;     // main category name
    std::string subCategory;  // sub-category name
    sms::UString keyword;     // in lower case
  };

  // The table of the embedded resources, read once per process (thread-safe).
  static const SmsCategory& shared();
  // Reads a table: the text of every "item" element, "category;sub-category;
  // keyword" (items with fewer fields or an empty keyword are skipped), and
  // the "counterpart" elements pairing a category of the current default
  // lists with one of the older lists (`current`, `older`: identifiers of
  // "category.xml"). `defaultCategoriesXml` is that list file. Nothing is
  // read from a text that is not XML.
  static SmsCategory parse(std::string_view tableXml, std::string_view defaultCategoriesXml);

  // The items whose keyword occurs in `text`, ignoring case, in table order.
  std::vector<const Item*> itemsIn(const std::string& text) const;
  const std::vector<Item>& items() const { return items_; }

  // The names to look for when the table says `name`: the name itself, then
  // the other-language name of the default category of that name.
  std::vector<std::string> namesFor(const std::string& name) const;
  // The names (Korean and English) of the older default category that
  // stands for the current default category of `name`.
  std::vector<std::string> olderNamesFor(const std::string& name) const;

 private:
  struct DefaultName {
    int id = 0;
    std::string korean;
    std::string english;
  };
  const DefaultName* byName(const std::string& name) const;
  const DefaultName* byId(int id) const;

  std::vector<Item> items_;
  std::vector<DefaultName> defaults_;
  std::vector<std::pair<int, int>> counterparts_;  // current id → older id
};

}  // namespace varnel
