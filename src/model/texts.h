// Localised display texts, looked up by message key in the interface
// language, then in English, then falling back to the key itself.
#pragma once

#include <map>
#include <string>

namespace varnel {

class Texts {
 public:
  // Loads the text tables for `language` ("ko", "en", "zh_CN" …) and English.
  explicit Texts(const std::string& language);

  // The text of `key`; the key itself when no table has it.
  std::string text(const std::string& key) const;
  bool has(const std::string& key) const;

 private:
  std::map<std::string, std::string> language_;
  std::map<std::string, std::string> english_;
};

// The table of one language: every "strings/<language>/*.xml" resource
// merged; empty when there is none. Exposed for tests that check the tables cover each other.
std::map<std::string, std::string> loadTextTable(const std::string& language);

}  // namespace varnel
