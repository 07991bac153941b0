#include "backup/gzip_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace varnel {

namespace {

// Slices compressed apart. Each slice starts from the last 32 KiB of the one
// before as its dictionary, so that slicing costs next to nothing in size.
constexpr size_t kSliceSize = size_t{1} << 20;
constexpr size_t kWindowSize = size_t{1} << 15;
constexpr size_t kReadSize = size_t{1} << 20;
constexpr unsigned kMaxThreads = 4;

std::string errnoText() { return std::strerror(errno); }

// A file descriptor closed at the end of its scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // Closes now, reporting a failed close (where a full disk may show).
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Reads up to `size` bytes; fewer only at the end of the file. -1 on error.
ssize_t readFull(int fd, unsigned char* data, size_t size) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, data + got, size - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

struct Slice {
  std::vector<unsigned char> input;
  std::vector<unsigned char> dictionary;  // the 32 KiB before the slice
  bool last = false;
  std::vector<unsigned char> output;
  uLong crc = 0;
  bool ok = false;
};

// Compresses one slice as raw deflate data. A slice that is not the last
// ends with a sync flush: its output stops at a byte boundary inside an
// unfinished stream, so the slices' outputs joined are one deflate stream.
void compressSlice(Slice& slice, int level) {
  slice.crc = crc32(0L, slice.input.data(), static_cast<uInt>(slice.input.size()));
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
  if (!slice.dictionary.empty()) {
    deflateSetDictionary(&z, slice.dictionary.data(), static_cast<uInt>(slice.dictionary.size()));
  }
  slice.output.resize(deflateBound(&z, static_cast<uLong>(slice.input.size())) + 64);
  z.next_in = slice.input.data();
  z.avail_in = static_cast<uInt>(slice.input.size());
  size_t produced = 0;
  const int flush = slice.last ? Z_FINISH : Z_SYNC_FLUSH;
  for (;;) {
    if (produced == slice.output.size()) slice.output.resize(slice.output.size() * 2);
    z.next_out = slice.output.data() + produced;
    z.avail_out = static_cast<uInt>(slice.output.size() - produced);
    const int rc = deflate(&z, flush);
    produced = slice.output.size() - z.avail_out;
    if (rc == Z_STREAM_ERROR) break;
    if (slice.last ? rc == Z_STREAM_END : (z.avail_in == 0 && z.avail_out > 0)) {
      slice.ok = true;
      break;
    }
  }
  slice.output.resize(produced);
  deflateEnd(&z);
}

void putLittleEndian(unsigned char* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

Status gzipFile(const std::filesystem::path& source, const std::filesystem::path& target, int level,
                const Progress& progress) {
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.ok()) return Status::systemFailure("cannot open " + source.string() + ": " + errnoText());
  struct stat info {};
  if (::fstat(in.get(), &info) != 0) return Status::systemFailure("cannot read " + source.string());
  const uint64_t total = static_cast<uint64_t>(info.st_size);
  Fd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  if (!out.ok()) return Status::systemFailure("cannot create " + target.string() + ": " + errnoText());
  std::error_code ec;
  auto fail = [&](const std::string& why) {
    out.close();
    std::filesystem::remove(target, ec);
    return Status::systemFailure(why);
  };

  // Header: no name, no time (the file's own dates say when), Unix.
  const unsigned char header[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3};
  if (!writeAll(out.get(), header, sizeof header)) return fail("cannot write " + target.string() + ": " + errnoText());

  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t done = 0;
  std::vector<unsigned char> window;  // the last 32 KiB read so far
  bool finished = false;
  while (!finished) {
    std::vector<Slice> batch;
    for (unsigned t = 0; t < threads && !finished; ++t) {
      Slice slice;
      const uint64_t remaining = total - done;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(remaining, kSliceSize));
      slice.input.resize(want);
      const ssize_t got = readFull(in.get(), slice.input.data(), want);
      if (got != static_cast<ssize_t>(want)) {
        return fail("cannot read " + source.string() + ": " + (got < 0 ? errnoText() : "it changed while read"));
      }
      slice.dictionary = window;
      done += want;
      slice.last = done == total;
      finished = slice.last;
      const size_t keep = std::min(kWindowSize, slice.input.size());
      if (keep == kWindowSize) {
        window.assign(slice.input.end() - static_cast<std::ptrdiff_t>(keep), slice.input.end());
      } else {
        window.insert(window.end(), slice.input.begin(), slice.input.end());
        if (window.size() > kWindowSize) {
          window.erase(window.begin(), window.end() - static_cast<std::ptrdiff_t>(kWindowSize));
        }
      }
      batch.push_back(std::move(slice));
    }
    if (batch.size() == 1) {
      compressSlice(batch[0], level);
    } else {
      std::vector<std::thread> workers;
      for (size_t i = 1; i < batch.size(); ++i) workers.emplace_back(compressSlice, std::ref(batch[i]), level);
      compressSlice(batch[0], level);
      for (auto& w : workers) w.join();
    }
    for (const Slice& slice : batch) {
      if (!slice.ok) return fail("cannot compress " + source.string());
      crc = crc32_combine(crc, slice.crc, static_cast<z_off_t>(slice.input.size()));
      if (!writeAll(out.get(), slice.output.data(), slice.output.size())) {
        return fail("cannot write " + target.string() + ": " + errnoText());
      }
    }
    if (progress) progress("compressing", done, total);
  }
  unsigned char trailer[8];
  putLittleEndian(trailer, static_cast<uint32_t>(crc));
  putLittleEndian(trailer + 4, static_cast<uint32_t>(total & 0xFFFFFFFFu));
  if (!writeAll(out.get(), trailer, sizeof trailer) || ::fsync(out.get()) != 0) {
    return fail("cannot write " + target.string() + ": " + errnoText());
  }
  if (!out.close()) return fail("cannot write " + target.string() + ": " + errnoText());
  return Status::ok();
}

Status gunzipFile(const std::filesystem::path& source, const std::filesystem::path& target,
                  const Progress& progress) {
  Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (!in.ok()) return Status::systemFailure("cannot open " + source.string() + ": " + errnoText());
  struct stat info {};
  if (::fstat(in.get(), &info) != 0) return Status::systemFailure("cannot read " + source.string());
  const uint64_t total = static_cast<uint64_t>(info.st_size);
  Fd out(::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!out.ok()) return Status::systemFailure("cannot create " + target.string() + ": " + errnoText());

  z_stream z{};
  // 16 + window bits: gzip framing only, whose trailer inflate checks.
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return Status::systemFailure("cannot start zlib");
  std::error_code ec;
  auto fail = [&](Status status) {
    inflateEnd(&z);
    out.close();
    std::filesystem::remove(target, ec);
    return status;
  };
  auto bad = [&](const std::string& why) {
    return fail(Status::invalidInput("it is not a whole gzip file: " + why));
  };

  std::vector<unsigned char> input(kReadSize);
  std::vector<unsigned char> output(kReadSize);
  uint64_t done = 0;
  bool atMemberStart = true;  // nothing of the current member read yet
  bool sawMember = false;
  for (;;) {
    if (z.avail_in == 0) {
      const ssize_t got = readFull(in.get(), input.data(), input.size());
      if (got < 0) return fail(Status::systemFailure("cannot read " + source.string() + ": " + errnoText()));
      if (got == 0) break;
      z.next_in = input.data();
      z.avail_in = static_cast<uInt>(got);
      done += static_cast<uint64_t>(got);
      if (progress) progress("decompressing", done, total);
    }
    if (atMemberStart) {
      // What follows a whole member must be another member: anything else
      // was never written by a gzip writer.
      if (z.next_in[0] != 0x1f || (z.avail_in > 1 && z.next_in[1] != 0x8b)) {
        return bad(sawMember ? "data follows the end of the compressed stream" : "it does not start as gzip");
      }
      atMemberStart = false;
    }
    z.next_out = output.data();
    z.avail_out = static_cast<uInt>(output.size());
    const int rc = inflate(&z, Z_NO_FLUSH);
    const size_t produced = output.size() - z.avail_out;
    if (produced > 0 && !writeAll(out.get(), output.data(), produced)) {
      return fail(Status::systemFailure("cannot write " + target.string() + ": " + errnoText()));
    }
    if (rc == Z_STREAM_END) {
      // inflate has checked this member's trailer: its CRC-32 and length.
      sawMember = true;
      atMemberStart = true;
      inflateReset(&z);
      continue;
    }
    if (rc == Z_DATA_ERROR) return bad(std::string("damaged (") + (z.msg ? z.msg : "invalid data") + ")");
    if (rc == Z_MEM_ERROR) return fail(Status::systemFailure("out of memory while decompressing"));
    if (rc != Z_OK && rc != Z_BUF_ERROR) return bad("zlib error " + std::to_string(rc));
  }
  if (!atMemberStart || !sawMember) return bad(sawMember || done > 0 ? "it is cut short" : "it is empty");
  inflateEnd(&z);
  if (::fsync(out.get()) != 0 || !out.close()) {
    std::filesystem::remove(target, ec);
    return Status::systemFailure("cannot write " + target.string() + ": " + errnoText());
  }
  return Status::ok();
}

}  // namespace varnel
