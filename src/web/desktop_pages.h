// The HTML shells of the desktop access: the client page, the login page and
// the print page. They only load the browser client's style sheets and
// scripts from the assets location and carry the page language, the locale
// and the hidden spreadsheet form; everything else is the client's.
#pragma once

#include <filesystem>
#include <string>

namespace varnel::web {

inline constexpr const char* kPageTitle = "Varnel Desk";
inline constexpr const char* kPageContentType = "text/html; charset=UTF-8";

struct PageSettings {
  // Where the client's files come from: "" for this server's own document
  // root (the default: nothing is fetched from anywhere else), or a base
  // address such as "https://assets.example/desk" (no trailing "/").
  std::string assetsBase;
  // The document root, to leave out of a shell served from it the files the
  // client does not have (a missing script would come back as the client
  // page and break the page). Ignored for another assets location.
  std::filesystem::path documentRoot;
  std::string language;  // the page language (DesktopApi::pageLanguage)
  std::string locale;    // the device locale ("ko_KR")
};

std::string createIndex(const PageSettings& settings);
std::string createLogin(const PageSettings& settings);
std::string createPrint(const PageSettings& settings);

// The language file of the client for a page language.
std::string languageFile(const std::string& language);

}  // namespace varnel::web
