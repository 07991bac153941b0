#include "web/desktop_pages.h"

#include <vector>

#include <fmt/format.h>

#include "web/file_lookup.h"

namespace varnel::web {

namespace {

constexpr const char* kStyleSheets[] = {
    "lib/ext/resources/css/ext-all.css", "lib/ext/ux/css/GroupSummary.css", "lib/ext/ux/css/RowEditor.css",
    "css/tarnwick.css",                  "lib/ext/ux/treegrid/treegrid.css",
};
constexpr const char* kLibraries[] = {
    "lib/ext/adapter/ext/ext-base.js", "lib/highchart/highcharts.js", "lib/highchart/no-data-to-display.js",
    "lib/ext/ext-all.js",              "lib/ext/ux/ux-all.js",        "js/init.js",
};
constexpr const char* kIndexScripts[] = {
    "js/varnelbookLeft.js", "js/varnelbook.js", "js/assetDashBoard.js", "js/assetDetailList.js",
    "js/asset.js",          "js/setting.js",    "js/layout.js",
};

std::string attribute(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\'': out += "&#39;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// A text inside the inline script's single-quoted string.
std::string scriptText(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\' || c == '\'') out += '\\';
    // "</script>" must not end the script early.
    if (c == '<' || c == '>') {
      out += fmt::format("\\x{:02x}", static_cast<unsigned char>(c));
      continue;
    }
    out += c;
  }
  return out;
}

class Shell {
 public:
  explicit Shell(const PageSettings& settings) : settings_(settings) {
    html_ =
        "<!DOCTYPE html>\n<html>\n<head>\n<meta http-equiv='Content-Type' content='text/html; charset=utf-8'>\n"
        "<meta name='viewport' content='width=device-width, initial-scale=1'>\n";
    html_ += fmt::format("<title>{}</title>\n", kPageTitle);
  }

  // Whether the assets location has `file`: always for another location,
  // which we cannot look into.
  bool has(const std::string& file) const {
    if (!settings_.assetsBase.empty()) return true;
    return filePathForURI(settings_.documentRoot, "/" + file).has_value();
  }
  std::string url(const std::string& file) const { return settings_.assetsBase + "/" + file; }

  void styleSheets() {
    for (const char* file : kStyleSheets) {
      if (has(file)) html_ += fmt::format("<link rel='stylesheet' type='text/css' href='{}'>\n", attribute(url(file)));
    }
  }
  void script(const std::string& file) {
    if (has(file)) html_ += fmt::format("<script type='text/javascript' src='{}'></script>\n", attribute(url(file)));
  }
  void libraries() {
    for (const char* file : kLibraries) script(file);
  }
  // The settings script comes from this server whatever the assets location.
  void settingsScript() { html_ += "<script type='text/javascript' src='/varnelBook/initVar.js'></script>\n"; }
  void languageScript() { script(languageFile(settings_.language)); }
  void inline_() {
    html_ += fmt::format("<script>Ext.namespace('Tarnwick');Tarnwick.lang = '{}';</script>\n",
                         scriptText(settings_.language));
  }
  void body() {
    html_ += "</head>\n<body onUnload='reset()'>\n";
    html_ += fmt::format("<div id='header'><h1>{}</h1></div>\n", kPageTitle);
  }
  void spreadsheetForm() {
    html_ += "<form id='excelForm' name='excelForm' method='post' action='/varnelBook/getExcelFile' style='display:none'>\n";
    for (const char* name : {"startDate", "endDate", "mbid", "assetId", "inOutType"}) {
      html_ += fmt::format("<input type='hidden' name='{}' id='{}' value=''>\n", name, name);
    }
    html_ += "</form>\n";
  }
  void frame() {
    html_ += fmt::format(
        "<iframe id='hiddenIframe' src='{}' width='0' height='0' style='border: 0'></iframe>\n",
        attribute(fmt::format("{}/?lang={}&loc={}&nw={}", settings_.assetsBase, settings_.language,
                              settings_.locale, "W")));
  }
  std::string end() { return html_ + "</body>\n</html>\n"; }

 private:
  const PageSettings& settings_;
  std::string html_;
};

}  // namespace

std::string languageFile(const std::string& language) {
  if (language == "pt_BR") return "js/locale/tarnwick-lang_pt_BR.js";
  if (language == "ru" || language == "es" || language == "de" || language == "fr") {
    return "js/locale/tarnwick-lang_frdeesru.js";
  }
  return "js/locale/tarnwick-lang.js";
}

std::string createIndex(const PageSettings& settings) {
  Shell page(settings);
  page.styleSheets();
  page.libraries();
  page.settingsScript();
  page.languageScript();
  page.inline_();
  for (const char* file : kIndexScripts) page.script(file);
  page.body();
  page.spreadsheetForm();
  page.frame();
  return page.end();
}

std::string createLogin(const PageSettings& settings) {
  Shell page(settings);
  page.styleSheets();
  page.libraries();
  page.settingsScript();
  page.languageScript();
  page.inline_();
  page.script("js/login.js");
  page.body();
  return page.end();
}

std::string createPrint(const PageSettings& settings) {
  Shell page(settings);
  page.styleSheets();
  page.libraries();
  page.settingsScript();
  page.languageScript();
  page.inline_();
  page.script("js/print.js");
  page.body();
  return page.end();
}

}  // namespace varnel::web
