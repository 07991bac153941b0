// The texts of a language come from one file per area of the ledger, merged
// into one table; a key two areas both define would show one area's wording
// in the other, whichever file happened to load last.
#include <map>
#include <string>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "model/resources.h"

namespace varnel {
namespace {

TEST(Texts, NoKeyIsDefinedTwiceWithinALanguage) {
  std::map<std::string, std::string> firstFile;  // "<lang>/<key>" → file
  int files = 0;
  for (const auto& r : detail::embeddedResources()) {
    const std::string name = r.name;
    if (name.rfind("strings/", 0) != 0) continue;
    const auto slash = name.find('/', 8);
    if (slash == std::string::npos) continue;
    const std::string language = name.substr(8, slash - 8);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_buffer(r.data.data(), r.data.size())) << name;
    ++files;
    for (auto node : doc.child("texts").children("text")) {
      const std::string key = language + "/" + node.attribute("key").as_string();
      const auto [it, added] = firstFile.emplace(key, name);
      EXPECT_TRUE(added) << key << " is in both " << it->second << " and " << name;
    }
  }
  EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace varnel
