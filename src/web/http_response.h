// The bodies a connection sends: bytes in memory and files on disk. A
// response hands out its bytes from an offset in chunks, so the connection
// never holds a whole body, and a file response reads only the part asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnel::web {

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

class HTTPResponse {
 public:
  virtual ~HTTPResponse() = default;

  virtual uint64_t contentLength() const = 0;
  virtual uint64_t offset() const = 0;
  virtual void setOffset(uint64_t offset) = 0;
  // Copies up to `size` bytes from the offset into `into` and advances the
  // offset past them. Returns how many were copied: 0 once the content is
  // exhausted, or when it cannot be read any more (the connection then
  // closes instead of sending a body shorter than it announced).
  virtual std::size_t readData(char* into, std::size_t size) = 0;
  // The next bytes from the offset, at most `length` of them; empty when
  // exhausted.
  std::string readDataOfLength(std::size_t length);
  // Header fields of the response's own, added to every head it is sent
  // with (206 too). A field the head already has is not repeated.
  virtual HeaderFields httpHeaders() const { return {}; }

  // What a handler asks of a 200 reply beyond its length: a content type,
  // sent together with "Expires: 0" and "Pragma: no-cache" ...
  void setReplyContentType(std::string contentType) { replyContentType_ = std::move(contentType); }
  const std::optional<std::string>& replyContentType() const { return replyContentType_; }
  // ... and a download: "Content-Disposition: attachment; filename=<name>"
  // (with the same two fields); an empty name stands for
  // "cashbookExcel.xls".
  void setDownloadFileName(std::string name) { downloadFileName_ = std::move(name); }
  const std::optional<std::string>& downloadFileName() const { return downloadFileName_; }

 private:
  std::optional<std::string> replyContentType_;
  std::optional<std::string> downloadFileName_;
};

// Bytes held in memory.
class HTTPDataResponse : public HTTPResponse {
 public:
  explicit HTTPDataResponse(std::string data) : data_(std::move(data)) {}
  uint64_t contentLength() const override { return data_.size(); }
  uint64_t offset() const override { return offset_; }
  void setOffset(uint64_t offset) override { offset_ = offset; }
  std::size_t readData(char* into, std::size_t size) override;

 private:
  std::string data_;
  uint64_t offset_ = 0;
};

// A file, opened when the response is made: its length is the file's size
// then, and the bytes served are those of that file even if the name is
// replaced meanwhile. Reads take only the part asked for, with pread.
class HTTPFileResponse : public HTTPResponse {
 public:
  // None when the path is not a regular file that can be opened for reading.
  static std::unique_ptr<HTTPFileResponse> open(const std::filesystem::path& path);
  ~HTTPFileResponse() override;
  HTTPFileResponse(const HTTPFileResponse&) = delete;
  HTTPFileResponse& operator=(const HTTPFileResponse&) = delete;

  uint64_t contentLength() const override { return length_; }
  uint64_t offset() const override { return offset_; }
  void setOffset(uint64_t offset) override { offset_ = offset; }
  std::size_t readData(char* into, std::size_t size) override;
  // "Content-Type" from the file's extension: a browser refuses a module
  // script or a style sheet served without its type.
  HeaderFields httpHeaders() const override;
  const std::filesystem::path& filePath() const { return path_; }

 private:
  HTTPFileResponse(int fd, uint64_t length, std::filesystem::path path)
      : fd_(fd), length_(length), path_(std::move(path)) {}

  int fd_;
  uint64_t length_;
  uint64_t offset_ = 0;
  std::filesystem::path path_;
};

// The media type for a file name's extension (case ignored);
// "application/octet-stream" for one we do not know.
std::string_view contentTypeForPath(const std::filesystem::path& path);

}  // namespace varnel::web
