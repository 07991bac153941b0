#include "sms/sms_category.h"

#include <algorithm>
#include <charconv>

#include <pugixml.hpp>

#include "model/resources.h"
#include "model/text.h"

namespace varnel {

namespace {

int numberOf(std::string_view text) {
  int value = 0;
  const std::string t = trimmed(text);
  std::from_chars(t.data(), t.data() + t.size(), value);
  return value;
}

}  // namespace

const SmsCategory& SmsCategory::shared() {
  static const SmsCategory table =
      parse(resource(kSmsCategoryResource).value_or(std::string_view()), resource("category.xml").value_or(""));
  return table;
}

SmsCategory SmsCategory::parse(std::string_view tableXml, std::string_view defaultCategoriesXml) {
  SmsCategory table;
  pugi::xml_document doc;
  if (doc.load_buffer(tableXml.data(), tableXml.size())) {
    for (pugi::xml_node node : doc.document_element().children()) {
      if (std::string_view(node.name()) == "item") {
        std::vector<std::string> fields = splitFields(trimmed(node.text().get()));
        if (fields.size() < 3) continue;
        Item item{trimmed(fields[0]), trimmed(fields[1]), sms::lowered(sms::fromUtf8(trimmed(fields[2])))};
        if (item.keyword.isEmpty() || item.category.empty()) continue;
        table.items_.push_back(std::move(item));
      } else if (std::string_view(node.name()) == "counterpart") {
        table.counterparts_.emplace_back(node.attribute("current").as_int(), node.attribute("older").as_int());
      }
    }
  }
  pugi::xml_document defaults;
  if (defaults.load_buffer(defaultCategoriesXml.data(), defaultCategoriesXml.size())) {
    for (pugi::xml_node list : defaults.document_element().children("list")) {
      for (pugi::xml_node node : list.children("item")) {
        std::vector<std::string> fields = splitFields(trimmed(node.text().get()));
        if (fields.size() < 3) continue;
        DefaultName name{numberOf(fields[0]), trimmed(node.attribute("ko").as_string()), trimmed(fields[2])};
        if (name.id != 0) table.defaults_.push_back(std::move(name));
      }
    }
  }
  return table;
}

std::vector<const SmsCategory::Item*> SmsCategory::itemsIn(const std::string& text) const {
  std::vector<const Item*> found;
  if (text.empty()) return found;
  const sms::UString lower = sms::lowered(sms::fromUtf8(text));
  for (const Item& item : items_) {
    if (lower.indexOf(item.keyword) >= 0) found.push_back(&item);
  }
  return found;
}

const SmsCategory::DefaultName* SmsCategory::byName(const std::string& name) const {
  // The current lists come first in the file, so a name both list sets use
  // ("식비") stands for the current category.
  for (const DefaultName& d : defaults_) {
    if (d.korean == name || d.english == name) return &d;
  }
  return nullptr;
}

const SmsCategory::DefaultName* SmsCategory::byId(int id) const {
  for (const DefaultName& d : defaults_) {
    if (d.id == id) return &d;
  }
  return nullptr;
}

std::vector<std::string> SmsCategory::namesFor(const std::string& name) const {
  std::vector<std::string> names{name};
  if (const DefaultName* d = byName(name)) {
    for (const std::string* other : {&d->korean, &d->english}) {
      if (!other->empty() && std::find(names.begin(), names.end(), *other) == names.end()) {
        names.push_back(*other);
      }
    }
  }
  return names;
}

std::vector<std::string> SmsCategory::olderNamesFor(const std::string& name) const {
  std::vector<std::string> names;
  const DefaultName* d = byName(name);
  if (!d) return names;
  for (const auto& [current, older] : counterparts_) {
    if (current != d->id) continue;
    if (const DefaultName* o = byId(older)) {
      for (const std::string* n : {&o->korean, &o->english}) {
        if (!n->empty() && std::find(names.begin(), names.end(), *n) == names.end()) names.push_back(*n);
      }
    }
  }
  return names;
}

}  // namespace varnel
