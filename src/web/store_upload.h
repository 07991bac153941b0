// Receiving a file from a browser's multipart form upload as it streams in:
// the part headers are read, the file's bytes go straight to a file on disk
// (never held whole in memory) and the closing delimiter is recognised even
// when it is split across chunks. What the upload means for the ledger is the
// caller's business.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace varnel::web {

// The name a browser gave an uploaded file, reduced to its last path part:
// everything up to the last "/" or "\" goes, NUL and other control
// characters go, and what is left may not be "", "." or ".." (then
// "upload"). Safe to show; never used as a path.
std::string uploadFileName(std::string_view given);

class MultipartFileReceiver {
 public:
  // Writes the first part that carries a file name into `target`, which is
  // created (an existing file is replaced); at most `maxFileBytes` of it.
  MultipartFileReceiver(std::filesystem::path target, uint64_t maxFileBytes);
  ~MultipartFileReceiver();
  MultipartFileReceiver(const MultipartFileReceiver&) = delete;
  MultipartFileReceiver& operator=(const MultipartFileReceiver&) = delete;

  // Takes the next bytes of the body.
  void feed(std::string_view chunk);
  // Whether the file part arrived whole (its closing delimiter was seen) and
  // was written and flushed to disk; the file is closed either way.
  bool finish();

  // Why the upload failed, once it has; "" otherwise.
  const std::string& failure() const { return failure_; }
  // The file name the part gave (see uploadFileName); "" before its headers.
  const std::string& fileName() const { return fileName_; }
  uint64_t fileBytes() const { return fileBytes_; }

 private:
  enum class State { kDelimiter, kHeaders, kFileData, kSkipPart, kDone, kFailed };

  void fail(std::string why);
  void parseHeaders(std::string_view headers);
  // Consumes part data from `pending_` up to the delimiter; writes it when
  // `write`.
  void takeData(bool write);
  void write(std::string_view bytes);

  std::filesystem::path target_;
  uint64_t maxFileBytes_;
  std::FILE* file_ = nullptr;
  State state_ = State::kDelimiter;
  // "\r\n--boundary": what ends a part's data.
  std::string delimiter_;
  std::string pending_;
  std::string fileName_;
  uint64_t fileBytes_ = 0;
  std::string failure_;
};

}  // namespace varnel::web
