#include "model/texts.h"

#include <pugixml.hpp>

#include "model/resources.h"

namespace varnel {

std::map<std::string, std::string> loadTextTable(const std::string& language) {
  std::map<std::string, std::string> table;
  // Every file in the language's folder, one per area of the ledger.
  const std::string prefix = "strings/" + language + "/";
  for (const auto& r : detail::embeddedResources()) {
    if (std::string_view(r.name).rfind(prefix, 0) != 0) continue;
    pugi::xml_document doc;
    if (!doc.load_buffer(r.data.data(), r.data.size())) continue;
    for (auto node : doc.child("texts").children("text")) {
      table[node.attribute("key").as_string()] = node.text().as_string();
    }
  }
  return table;
}

Texts::Texts(const std::string& language) : english_(loadTextTable("en")) {
  if (language != "en") {
    language_ = loadTextTable(language);
    // "ko_KR" and "pt_BR" fall back to their language's table.
    if (language_.empty() && language.size() > 2) language_ = loadTextTable(language.substr(0, 2));
  }
}

std::string Texts::text(const std::string& key) const {
  if (auto it = language_.find(key); it != language_.end()) return it->second;
  if (auto it = english_.find(key); it != english_.end()) return it->second;
  return key;
}

bool Texts::has(const std::string& key) const {
  return language_.count(key) > 0 || english_.count(key) > 0;
}

}  // namespace varnel
