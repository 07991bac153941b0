#include "web/desktop_format.h"

#include <cmath>
#include <optional>

#include <fmt/format.h>

#include "model/text.h"
#include "web/file_lookup.h"

namespace varnel::web {

namespace {

// The decoded text; the text itself when an escape is broken.
std::string decodePiece(std::string_view text) {
  return percentDecode(text, true).value_or(std::string(text));
}

// Well-formed UTF-8 without the characters XML 1.0 cannot hold.
std::string xmlClean(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const unsigned char byte = static_cast<unsigned char>(text[pos]);
    if (byte < 0x80) {
      if (byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r') out += static_cast<char>(byte);
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    const auto code = decodeUtf8(text, pos);
    if (!code || *code == 0xFFFE || *code == 0xFFFF) {
      out += "\xEF\xBF\xBD";
      continue;
    }
    out.append(text.substr(start, pos - start));
  }
  return out;
}

double withoutMinusZero(double amount) { return amount == 0 ? 0.0 : amount; }

}  // namespace

Params parseParameters(std::string_view text) {
  Params params;
  while (true) {
    const auto amp = text.find('&');
    const std::string_view piece = text.substr(0, amp);
    const auto equals = piece.find('=');
    if (equals != std::string_view::npos) {
      std::string_view value = piece.substr(equals + 1);
      value = value.substr(0, value.find('='));
      std::string key = decodePiece(piece.substr(0, equals));
      std::string decoded = decodePiece(value);
      if (key.find('\0') == std::string::npos && decoded.find('\0') == std::string::npos) {
        params[std::move(key)] = std::move(decoded);
      }
    }
    if (amp == std::string_view::npos) break;
    text.remove_prefix(amp + 1);
  }
  return params;
}

std::string jsText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '\\' || c == '\'') out += '\\';
    out += c;
  }
  return out;
}

std::string joinEntries(const std::vector<std::string>& entries) {
  std::string out;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) out += ',';
    out += entries[i];
  }
  return out;
}

std::string cdata(std::string_view text) {
  std::string clean = xmlClean(text);
  std::string out;
  out.reserve(clean.size());
  std::size_t from = 0;
  while (true) {
    const auto end = clean.find("]]>", from);
    if (end == std::string::npos) break;
    // "]]" closes this section, ">" opens the next one.
    out.append(clean, from, end + 2 - from);
    out += "]]><![CDATA[";
    from = end + 2;
  }
  out.append(clean, from, std::string::npos);
  return out;
}

std::string xmlText(std::string_view text) {
  std::string out;
  for (const char c : xmlClean(text)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string MoneyForm::operator()(double amount) const {
  if (!std::isfinite(amount)) amount = 0;
  if (decimals_) return fmt::format("{:.2f}", withoutMinusZero(amount));
  return fmt::format("{}", static_cast<long long>(withoutMinusZero(std::round(amount))));
}

std::string sixDecimals(double amount) {
  if (!std::isfinite(amount)) amount = 0;
  return fmt::format("{:f}", withoutMinusZero(amount));
}

}  // namespace varnel::web
