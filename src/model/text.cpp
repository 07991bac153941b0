#include "model/text.h"

#include <cstdint>
#include <optional>

#include <fmt/format.h>
#include <unicode/utf8.h>

namespace varnel {

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

void appendUtf8(std::string& out, char32_t c) {
  uint8_t bytes[U8_MAX_LENGTH];
  int32_t length = 0;
  U8_APPEND_UNSAFE(bytes, length, static_cast<UChar32>(c));
  out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
}

std::optional<char32_t> decodeUtf8(std::string_view text, size_t& pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  int length = 0;
  unsigned char low = 0x80, high = 0xBF;
  char32_t value = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    ++pos;
    return std::nullopt;
  }
  if (pos + length > text.size()) {
    ++pos;
    return std::nullopt;
  }
  for (int i = 1; i < length; ++i) {
    const unsigned char b = byte(pos + i);
    if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF)) {
      ++pos;
      return std::nullopt;
    }
    value = (value << 6) | (b & 0x3F);
  }
  pos += length;
  return value;
}

std::string trimmed(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && isBlank(text[begin])) ++begin;
  while (end > begin && isBlank(text[end - 1])) --end;
  return std::string(text.substr(begin, end - begin));
}

std::vector<std::string> splitFields(std::string_view text, char separator) {
  std::vector<std::string> out;
  size_t start = 0;
  while (true) {
    const size_t pos = text.find(separator, start);
    if (pos == std::string_view::npos) {
      out.emplace_back(text.substr(start));
      return out;
    }
    out.emplace_back(text.substr(start, pos - start));
    start = pos + 1;
  }
}

bool isValidUtf8(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    if (!decodeUtf8(text, pos)) return false;
  }
  return true;
}

std::string escapedForLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t start = pos;
    const auto code = decodeUtf8(text, pos);
    if (!code) {
      out += "\xEF\xBF\xBD";
    } else if (*code == '\n') {
      out += "\\n";
    } else if (*code == '\r') {
      out += "\\r";
    } else if (*code == '\t') {
      out += "\\t";
    } else if (*code < 0x20 || *code == 0x7F) {
      out += fmt::format("\\x{:02x}", static_cast<uint32_t>(*code));
    } else if (*code >= 0x80 && *code <= 0x9F) {
      out += fmt::format("\\u{:04x}", static_cast<uint32_t>(*code));
    } else {
      out.append(text.substr(start, pos - start));
    }
  }
  return out;
}

}  // namespace varnel
