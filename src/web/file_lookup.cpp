#include "web/file_lookup.h"

#include <system_error>

namespace varnel::web {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// True when `path` is `root` or lies below it, comparing whole components
// ("/srv/www2" is not inside "/srv/www").
bool isInside(const std::filesystem::path& path, const std::filesystem::path& root) {
  auto p = path.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++p) {
    if (r->empty()) continue;  // a trailing separator of the root
    if (p == path.end() || *p != *r) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> percentDecode(std::string_view text, bool keepNul) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = hexValue(text[i + 1]);
      const int low = hexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    if (c == '\0' && !keepNul) return std::nullopt;
    decoded += c;
  }
  return decoded;
}

std::optional<std::filesystem::path> filePathForURI(const std::filesystem::path& documentRoot,
                                                    std::string_view uri) {
  if (documentRoot.empty()) return std::nullopt;
  std::string_view target = uri.substr(0, uri.find_first_of("?#"));
  auto decoded = percentDecode(target);
  if (!decoded) return std::nullopt;
  std::string relative = std::move(*decoded);
  // Every leading "/" goes: the rest is relative to the root (joined to an
  // absolute path it would replace the root altogether).
  const auto firstKept = relative.find_first_not_of('/');
  relative.erase(0, firstKept == std::string::npos ? relative.size() : firstKept);
  if (relative.empty() || relative.back() == '/') relative += "index.html";

  const std::filesystem::path relativePath(relative);
  for (const auto& part : relativePath) {
    if (part == "..") return std::nullopt;
  }

  std::error_code error;
  const auto root = std::filesystem::canonical(documentRoot, error);
  if (error) return std::nullopt;
  const auto file = std::filesystem::canonical(root / relativePath, error);
  if (error) return std::nullopt;
  // Links are followed before the check, so one pointing out of the root
  // is refused like a path that climbs out of it.
  if (!isInside(file, root)) return std::nullopt;
  if (!std::filesystem::is_regular_file(file, error) || error) return std::nullopt;
  return file;
}

}  // namespace varnel::web
