#include "web/store_upload.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <fmt/format.h>

#include "web/http_request.h"

namespace varnel::web {

namespace {

// Longer part heads or delimiter lines are not from a browser.
constexpr std::size_t kMaxHeadBytes = 16 * 1024;
constexpr std::size_t kMaxDelimiterLine = 200;

std::string_view trimmedView(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string uploadFileName(std::string_view given) {
  const auto cut = given.find_last_of("/\\");
  if (cut != std::string_view::npos) given.remove_prefix(cut + 1);
  std::string name;
  for (const char c : given) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) continue;
    name += c;
  }
  if (name.empty() || name == "." || name == "..") return "upload";
  return name;
}

MultipartFileReceiver::MultipartFileReceiver(std::filesystem::path target, uint64_t maxFileBytes)
    : target_(std::move(target)), maxFileBytes_(maxFileBytes) {}

MultipartFileReceiver::~MultipartFileReceiver() {
  if (file_) std::fclose(file_);
}

void MultipartFileReceiver::fail(std::string why) {
  if (state_ == State::kFailed) return;
  state_ = State::kFailed;
  failure_ = std::move(why);
  pending_.clear();
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

void MultipartFileReceiver::feed(std::string_view chunk) {
  if (state_ == State::kDone || state_ == State::kFailed) return;
  pending_.append(chunk);
  while (true) {
    switch (state_) {
      case State::kDelimiter: {
        const auto end = pending_.find("\r\n");
        if (end == std::string::npos) {
          if (pending_.size() > kMaxDelimiterLine) fail("the body is not a multipart upload");
          return;
        }
        const std::string line = pending_.substr(0, end);
        if (line.size() < 3 || line.size() > kMaxDelimiterLine || line.compare(0, 2, "--") != 0 ||
            line.substr(line.size() - 2) == "--") {
          fail("the body is not a multipart upload");
          return;
        }
        delimiter_ = "\r\n" + line;
        pending_.erase(0, end + 2);
        state_ = State::kHeaders;
        break;
      }
      case State::kHeaders: {
        std::size_t headEnd = 0;
        std::size_t skip = 0;
        if (pending_.compare(0, 2, "\r\n") == 0) {
          skip = 2;
        } else {
          headEnd = pending_.find("\r\n\r\n");
          if (headEnd == std::string::npos) {
            if (pending_.size() > kMaxHeadBytes) fail("a part head is too long");
            return;
          }
          skip = headEnd + 4;
        }
        parseHeaders(std::string_view(pending_).substr(0, headEnd));
        if (state_ == State::kFailed) return;
        pending_.erase(0, skip);
        break;
      }
      case State::kFileData:
      case State::kSkipPart: {
        const State was = state_;
        takeData(was == State::kFileData);
        if (state_ == was) return;  // needs more bytes
        break;
      }
      case State::kDone:
      case State::kFailed:
        return;
    }
  }
}

void MultipartFileReceiver::parseHeaders(std::string_view headers) {
  std::optional<std::string> name;
  while (!headers.empty()) {
    const auto end = headers.find("\r\n");
    const std::string_view line = headers.substr(0, end);
    headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 2);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    if (!equalsIgnoringCase(trimmedView(line.substr(0, colon)), "Content-Disposition")) continue;
    const std::string_view value = line.substr(colon + 1);
    const auto at = value.find("filename=");
    if (at == std::string_view::npos) continue;
    std::string_view given = value.substr(at + 9);
    if (!given.empty() && given.front() == '"') {
      given.remove_prefix(1);
      given = given.substr(0, given.find('"'));
    } else {
      given = trimmedView(given.substr(0, given.find(';')));
    }
    name = uploadFileName(given);
  }
  if (!name || file_ || fileBytes_ > 0) {
    state_ = State::kSkipPart;
    return;
  }
  fileName_ = *name;
  file_ = std::fopen(target_.c_str(), "wb");
  if (!file_) {
    fail(fmt::format("cannot write {}: {}", target_.string(), std::strerror(errno)));
    return;
  }
  state_ = State::kFileData;
}

void MultipartFileReceiver::takeData(bool writing) {
  const auto found = pending_.find(delimiter_);
  if (found == std::string::npos) {
    // The end may hold the start of the delimiter: keep it for the next chunk.
    const std::size_t keep = std::min(pending_.size(), delimiter_.size() - 1);
    const std::size_t ready = pending_.size() - keep;
    if (writing) write(std::string_view(pending_).substr(0, ready));
    if (state_ == State::kFailed) return;
    pending_.erase(0, ready);
    return;
  }
  if (pending_.size() < found + delimiter_.size() + 2) {
    // The two bytes after the delimiter tell whether more parts follow.
    if (writing) write(std::string_view(pending_).substr(0, found));
    if (state_ == State::kFailed) return;
    pending_.erase(0, found);
    return;
  }
  if (writing) write(std::string_view(pending_).substr(0, found));
  if (state_ == State::kFailed) return;
  const std::string after = pending_.substr(found + delimiter_.size(), 2);
  pending_.erase(0, found + delimiter_.size() + 2);
  if (writing) {
    // The file is whole; whatever follows is of no interest.
    state_ = State::kDone;
    pending_.clear();
    return;
  }
  if (after == "--") {
    state_ = State::kDone;
  } else if (after == "\r\n") {
    state_ = State::kHeaders;
  } else {
    fail("the body is not a well-formed multipart upload");
  }
}

void MultipartFileReceiver::write(std::string_view bytes) {
  if (bytes.empty()) return;
  if (fileBytes_ + bytes.size() > maxFileBytes_) {
    fail(fmt::format("the file is larger than {} bytes", maxFileBytes_));
    return;
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    fail(fmt::format("cannot write {}: {}", target_.string(), std::strerror(errno)));
    return;
  }
  fileBytes_ += bytes.size();
}

bool MultipartFileReceiver::finish() {
  if (state_ == State::kFailed) return false;
  if (state_ != State::kDone || !file_) {
    fail(file_ ? "the upload ended before its file did" : "the upload holds no file");
    return false;
  }
  const bool flushed = std::fflush(file_) == 0 && ::fsync(::fileno(file_)) == 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed || !closed) {
    fail(fmt::format("cannot write {}: {}", target_.string(), std::strerror(errno)));
    return false;
  }
  return true;
}

}  // namespace varnel::web
