#include "web/http_response.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace varnel::web {

std::string HTTPResponse::readDataOfLength(std::size_t length) {
  std::string bytes(length, '\0');
  bytes.resize(readData(bytes.data(), length));
  return bytes;
}

std::size_t HTTPDataResponse::readData(char* into, std::size_t size) {
  if (offset_ >= data_.size()) return 0;
  const std::size_t count = std::min<uint64_t>(size, data_.size() - offset_);
  std::memcpy(into, data_.data() + offset_, count);
  offset_ += count;
  return count;
}

std::unique_ptr<HTTPFileResponse> HTTPFileResponse::open(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<HTTPFileResponse>(
      new HTTPFileResponse(fd, static_cast<uint64_t>(info.st_size), path));
}

HTTPFileResponse::~HTTPFileResponse() { ::close(fd_); }

std::size_t HTTPFileResponse::readData(char* into, std::size_t size) {
  if (offset_ >= length_) return 0;
  const std::size_t wanted = std::min<uint64_t>(size, length_ - offset_);
  ssize_t got;
  do {
    got = ::pread(fd_, into, wanted, static_cast<off_t>(offset_));
  } while (got < 0 && errno == EINTR);
  // A read error or a file that shrank under us ends the body here.
  if (got <= 0) return 0;
  offset_ += static_cast<uint64_t>(got);
  return static_cast<std::size_t>(got);
}

HeaderFields HTTPFileResponse::httpHeaders() const {
  return {{"Content-Type", std::string(contentTypeForPath(path_))}};
}

std::string_view contentTypeForPath(const std::filesystem::path& path) {
  static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
      {".html", "text/html; charset=UTF-8"},
      {".htm", "text/html; charset=UTF-8"},
      {".js", "text/javascript; charset=UTF-8"},
      {".mjs", "text/javascript; charset=UTF-8"},
      {".css", "text/css; charset=UTF-8"},
      {".json", "application/json"},
      {".map", "application/json"},
      {".txt", "text/plain; charset=UTF-8"},
      {".xml", "application/xml"},
      {".svg", "image/svg+xml"},
      {".png", "image/png"},
      {".gif", "image/gif"},
      {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},
      {".webp", "image/webp"},
      {".ico", "image/x-icon"},
      {".woff", "font/woff"},
      {".woff2", "font/woff2"},
      {".ttf", "font/ttf"},
      {".wasm", "application/wasm"},
      {".pdf", "application/pdf"},
      {".xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
      {".webmanifest", "application/manifest+json"},
  };
  std::string extension = path.extension().string();
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  for (const auto& [suffix, type] : kTypes) {
    if (extension == suffix) return type;
  }
  return "application/octet-stream";
}

}  // namespace varnel::web
