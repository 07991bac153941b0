#include "backup/file_kind.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string_view>

#include <fmt/format.h>

namespace varnel {

namespace {

constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};
constexpr std::string_view kGzipMagic{"\x1f\x8b", 2};

}  // namespace

Result<FileKind> sniffFileKind(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return Status::systemFailure("cannot open " + file.string() + ": " + std::strerror(errno));
  std::array<char, 16> head{};
  in.read(head.data(), head.size());
  if (in.bad()) return Status::systemFailure("cannot read " + file.string() + ": " + std::strerror(errno));
  const std::string_view bytes(head.data(), static_cast<size_t>(in.gcount()));
  if (bytes.empty()) return FileKind::kEmpty;
  if (bytes == kSqliteMagic) return FileKind::kSqlite;
  if (bytes.substr(0, kGzipMagic.size()) == kGzipMagic) return FileKind::kGzip;
  return FileKind::kOther;
}

const char* fileKindName(FileKind kind) {
  switch (kind) {
    case FileKind::kEmpty: return "empty";
    case FileKind::kSqlite: return "SQLite database";
    case FileKind::kGzip: return "gzip";
    case FileKind::kOther: return "unknown";
  }
  return "unknown";
}

std::string readOnlyUri(const std::filesystem::path& file, bool immutable) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(file, ec);
  if (ec) absolute = file;
  std::string uri = "file:";
  for (unsigned char c : absolute.string()) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += fmt::format("%{:02X}", c);
    }
  }
  return uri + (immutable ? "?mode=ro&immutable=1" : "?mode=ro");
}

}  // namespace varnel
