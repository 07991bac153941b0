#include "ledger/photo_store.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <algorithm>
#include <set>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// jpeglib.h needs FILE and size_t declared first (<cstdio> above).
#include <jpeglib.h>
#include <jerror.h>
#include <nlohmann/json.hpp>
#include <openssl/evp.h>

#include <fmt/format.h>
#include <spdlog/spdlog.h>

#include "model/errors.h"
#include "model/liveness.h"

namespace varnel {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// it jumps back to the setjmp of the function that called into libjpeg.
// Everything with a destructor lives in a heap object created before setjmp,
// so the jump skips no destructor.
struct JpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = {};
};

void onJpegError(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, error->message);
  std::longjmp(error->jump, 1);
}

void onJpegMessage(j_common_ptr cinfo, int level) {
  // libjpeg only warns (level -1) about data it had to make up: a file cut
  // short, a segment ended early, stray bytes, bad codes. It then goes on and
  // hands back grey or smeared pixels, which would be stored as the photo for
  // good, so every warning stops the decode like an error. Trace messages
  // (level >= 0) are ignored.
  if (level < 0) {
    ++cinfo->err->num_warnings;
    (*cinfo->err->error_exit)(cinfo);
  }
}

void installErrorHandler(JpegError& error) {
  jpeg_std_error(&error.pub);
  error.pub.error_exit = onJpegError;
  error.pub.emit_message = onJpegMessage;
}

// The start of every JPEG file: the SOI marker and the first byte of the next marker.
constexpr size_t kJpegMagicSize = 3;

bool looksLikeJpeg(std::string_view data) {
  return data.size() >= kJpegMagicSize && static_cast<unsigned char>(data[0]) == 0xFF &&
         static_cast<unsigned char>(data[1]) == 0xD8 && static_cast<unsigned char>(data[2]) == 0xFF;
}

struct Marker {
  int code;
  std::string bytes;
};

// What one decode produces: the area-averaged pixels at the target size.
struct DecodeState {
  jpeg_decompress_struct cinfo;
  JpegError error;
  std::vector<JSAMPLE> row;
  std::vector<uint32_t> sums;
  std::vector<uint32_t> counts;
  std::vector<Marker> markers;
  int width = 0;
  int height = 0;
  int targetWidth = 0;
  int targetHeight = 0;
  int components = 0;
  J_COLOR_SPACE colorSpace = JCS_UNKNOWN;
};

std::string tooManyBytes(const std::string& what) {
  return fmt::format("{} is larger than {} MiB", what, PhotoStore::kMaxPhotoBytes / (1024 * 1024));
}

// Decodes `data`; when `maxLongSide` is positive and smaller than the long
// side, accumulates the pixels scaled to fit it. Throws InputError.
std::unique_ptr<DecodeState> decodeJpeg(std::string_view data, int maxLongSide, bool headerOnly) {
  // Bytes handed over directly (not read from a file) meet the same bound.
  if (data.size() > PhotoStore::kMaxPhotoBytes) throw InputError(tooManyBytes("the photo"));
  if (!looksLikeJpeg(data)) throw InputError("the photo is not a JPEG image");
  auto state = std::make_unique<DecodeState>();
  DecodeState* s = state.get();
  s->cinfo.err = &s->error.pub;
  installErrorHandler(s->error);
  if (setjmp(s->error.jump)) {
    jpeg_destroy_decompress(&s->cinfo);
    throw InputError(std::string("the photo is not a readable JPEG image: ") + s->error.message);
  }
  jpeg_create_decompress(&s->cinfo);
  jpeg_mem_src(&s->cinfo, reinterpret_cast<const unsigned char*>(data.data()),
               static_cast<unsigned long>(data.size()));
  jpeg_save_markers(&s->cinfo, JPEG_APP0 + 1, 0xFFFF);  // EXIF (orientation)
  jpeg_save_markers(&s->cinfo, JPEG_APP0 + 2, 0xFFFF);  // ICC colour profile
  jpeg_read_header(&s->cinfo, TRUE);
  s->width = static_cast<int>(s->cinfo.image_width);
  s->height = static_cast<int>(s->cinfo.image_height);
  // Decoding allocates by the header's claim, not by the bytes that follow it.
  if (s->width > PhotoStore::kMaxImageSide || s->height > PhotoStore::kMaxImageSide ||
      static_cast<int64_t>(s->width) * s->height > PhotoStore::kMaxImagePixels) {
    jpeg_destroy_decompress(&s->cinfo);
    throw InputError(fmt::format(
        "the photo is too large: {} x {} pixels (at most {} on a side and {} megapixels)", s->width,
        s->height, PhotoStore::kMaxImageSide, PhotoStore::kMaxImagePixels / 1'000'000));
  }
  if (headerOnly) {
    jpeg_destroy_decompress(&s->cinfo);
    return state;
  }

  switch (s->cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE: s->cinfo.out_color_space = JCS_GRAYSCALE; break;
    case JCS_CMYK:
    case JCS_YCCK: s->cinfo.out_color_space = JCS_CMYK; break;
    default: s->cinfo.out_color_space = JCS_RGB; break;
  }
  const int longSide = std::max(s->width, s->height);
  const bool scale = maxLongSide > 0 && longSide > maxLongSide;
  if (scale) {
    const double factor = static_cast<double>(maxLongSide) / longSide;
    s->targetWidth = std::max(1, static_cast<int>(s->width * factor + 0.5));
    s->targetHeight = std::max(1, static_cast<int>(s->height * factor + 0.5));
    if (s->width >= s->height) s->targetWidth = maxLongSide;
    else s->targetHeight = maxLongSide;
    // Let the decoder drop detail it would otherwise compute for nothing:
    // the smallest M/8 scale that still covers the target size.
    for (unsigned m = 1; m <= 8; ++m) {
      if (static_cast<long long>(s->width) * m >= 8LL * s->targetWidth &&
          static_cast<long long>(s->height) * m >= 8LL * s->targetHeight) {
        s->cinfo.scale_num = m;
        s->cinfo.scale_denom = 8;
        break;
      }
    }
  }
  jpeg_start_decompress(&s->cinfo);
  s->components = s->cinfo.output_components;
  s->colorSpace = s->cinfo.out_color_space;
  const int outWidth = static_cast<int>(s->cinfo.output_width);
  const int outHeight = static_cast<int>(s->cinfo.output_height);
  s->row.resize(static_cast<size_t>(outWidth) * s->components);
  if (scale) {
    s->sums.assign(static_cast<size_t>(s->targetWidth) * s->targetHeight * s->components, 0);
    s->counts.assign(static_cast<size_t>(s->targetWidth) * s->targetHeight, 0);
  }
  while (s->cinfo.output_scanline < s->cinfo.output_height) {
    JSAMPROW rowPointer = s->row.data();
    const int y = static_cast<int>(s->cinfo.output_scanline);
    jpeg_read_scanlines(&s->cinfo, &rowPointer, 1);
    if (!scale) continue;
    // Each decoded pixel adds to the one target pixel it falls in.
    const size_t ty = static_cast<size_t>(y) * s->targetHeight / outHeight;
    for (int x = 0; x < outWidth; ++x) {
      const size_t tx = static_cast<size_t>(x) * s->targetWidth / outWidth;
      const size_t cell = ty * s->targetWidth + tx;
      ++s->counts[cell];
      for (int c = 0; c < s->components; ++c) {
        s->sums[cell * s->components + c] += s->row[static_cast<size_t>(x) * s->components + c];
      }
    }
  }
  for (jpeg_saved_marker_ptr m = s->cinfo.marker_list; m; m = m->next) {
    s->markers.push_back({m->marker, std::string(reinterpret_cast<const char*>(m->data),
                                                 m->data_length)});
  }
  // Reads on to the end marker, so damage after the last row is caught too.
  jpeg_finish_decompress(&s->cinfo);
  jpeg_destroy_decompress(&s->cinfo);
  return state;
}

struct EncodeState {
  jpeg_compress_struct cinfo;
  JpegError error;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  std::vector<JSAMPLE> pixels;
  ~EncodeState() { std::free(buffer); }
};

std::string encodeJpeg(const DecodeState& image, int quality) {
  auto state = std::make_unique<EncodeState>();
  EncodeState* s = state.get();
  const size_t cells = static_cast<size_t>(image.targetWidth) * image.targetHeight;
  s->pixels.resize(cells * image.components);
  for (size_t cell = 0; cell < cells; ++cell) {
    const uint32_t n = std::max<uint32_t>(1, image.counts[cell]);
    for (int c = 0; c < image.components; ++c) {
      const size_t i = cell * image.components + c;
      s->pixels[i] = static_cast<JSAMPLE>((image.sums[i] + n / 2) / n);
    }
  }
  s->cinfo.err = &s->error.pub;
  installErrorHandler(s->error);
  if (setjmp(s->error.jump)) {
    jpeg_destroy_compress(&s->cinfo);
    throw InputError(std::string("the photo could not be re-encoded: ") + s->error.message);
  }
  jpeg_create_compress(&s->cinfo);
  jpeg_mem_dest(&s->cinfo, &s->buffer, &s->size);
  s->cinfo.image_width = static_cast<JDIMENSION>(image.targetWidth);
  s->cinfo.image_height = static_cast<JDIMENSION>(image.targetHeight);
  s->cinfo.input_components = image.components;
  s->cinfo.in_color_space = image.colorSpace;
  jpeg_set_defaults(&s->cinfo);
  jpeg_set_quality(&s->cinfo, quality, TRUE);
  jpeg_start_compress(&s->cinfo, TRUE);
  for (const Marker& m : image.markers) {
    jpeg_write_marker(&s->cinfo, m.code, reinterpret_cast<const JOCTET*>(m.bytes.data()),
                      static_cast<unsigned>(m.bytes.size()));
  }
  const size_t stride = static_cast<size_t>(image.targetWidth) * image.components;
  while (s->cinfo.next_scanline < s->cinfo.image_height) {
    JSAMPROW row = s->pixels.data() + s->cinfo.next_scanline * stride;
    jpeg_write_scanlines(&s->cinfo, &row, 1);
  }
  jpeg_finish_compress(&s->cinfo);
  jpeg_destroy_compress(&s->cinfo);
  return std::string(reinterpret_cast<const char*>(s->buffer), s->size);
}

nlohmann::json parseOrgFileName(const Text& text) {
  if (!text || text->empty()) return nlohmann::json::object();
  nlohmann::json json = nlohmann::json::parse(*text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return nlohmann::json::object();
  return json;
}

// A stored file name must stay inside the photo folder.
bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos && name.find('\0') == std::string::npos;
}

}  // namespace

std::filesystem::path PhotoStore::photoFolder() const {
  return ledger_.env().documentsDir() / kFolderName;
}

std::optional<std::filesystem::path> PhotoStore::photoPath(const Photo& photo) const {
  if (!photo.fileName || !isPlainFileName(*photo.fileName)) return std::nullopt;
  return photoFolder() / *photo.fileName;
}

std::string PhotoStore::md5Hex(std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_md5(), nullptr) != 1) {
    throw std::runtime_error("MD5 digest unavailable");
  }
  std::string out;
  out.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) out += fmt::format("{:02x}", digest[i]);
  return out;
}

namespace {

// Closes a descriptor on every way out, thrown or returned.
struct FileCloser {
  int fd;
  ~FileCloser() { ::close(fd); }
};

[[noreturn]] void cannotRead(const std::string& name) {
  throw InputError(fmt::format("cannot read the photo {}: {}", name, std::strerror(errno)));
}

// Appends from `fd` until `bytes` holds `total` bytes or the file ends.
void readUpTo(int fd, std::string& bytes, size_t total, const std::string& name) {
  char chunk[64 * 1024];
  while (bytes.size() < total) {
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, total - bytes.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) cannotRead(name);
    if (n == 0) return;
    bytes.append(chunk, static_cast<size_t>(n));
  }
}

}  // namespace

std::string PhotoStore::readPhotoFile(const std::filesystem::path& path) {
  const std::string name = path.string();
  // Non-blocking so that a named pipe cannot hang the open waiting for a
  // writer; it is refused below like any other file that is not regular.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) cannotRead(name);
  const FileCloser closer{fd};
  // Asked of the opened file rather than the name, so nothing can be swapped in between.
  struct stat info {};
  if (::fstat(fd, &info) != 0) cannotRead(name);
  if (!S_ISREG(info.st_mode)) throw InputError(fmt::format("the photo {} is not a regular file", name));
  const std::string tooLarge = tooManyBytes("the photo " + name);
  if (static_cast<uint64_t>(info.st_size) > kMaxPhotoBytes) throw InputError(tooLarge);

  std::string bytes;
  readUpTo(fd, bytes, kJpegMagicSize, name);
  if (!looksLikeJpeg(bytes)) throw InputError(fmt::format("the photo {} is not a JPEG image", name));
  bytes.reserve(static_cast<size_t>(info.st_size) + 1);
  // One byte past the limit tells a file that grew since fstat from one that fits.
  readUpTo(fd, bytes, kMaxPhotoBytes + 1, name);
  if (bytes.size() > kMaxPhotoBytes) throw InputError(tooLarge);
  return bytes;
}

JpegSize PhotoStore::jpegSize(std::string_view data) {
  auto state = decodeJpeg(data, 0, true);
  return {state->width, state->height};
}

std::string PhotoStore::prepareImage(std::string_view data, int maxLongSide, int quality) {
  auto decoded = decodeJpeg(data, maxLongSide, false);
  if (decoded->sums.empty()) return std::string(data);
  return encodeJpeg(*decoded, quality);
}

PreparedPhoto::PreparedPhoto(std::string bytes, Text orgFilePath)
    : bytes_(std::make_shared<const std::string>(std::move(bytes))),
      checksum_(PhotoStore::md5Hex(*bytes_)),
      orgFilePath_(std::move(orgFilePath)) {}

PreparedPhoto PhotoStore::preparePhotoFile(const std::filesystem::path& path) {
  return preparePhoto(readPhotoFile(path), path.string());
}

PreparedPhoto PhotoStore::preparePhoto(std::string_view data, Text orgFilePath) {
  return PreparedPhoto(prepareImage(data), std::move(orgFilePath));
}

std::string PhotoStore::photoChecksum(const Photo& photo) {
  const nlohmann::json json = parseOrgFileName(photo.orgFileName);
  auto it = json.find("checksum");
  return it != json.end() && it->is_string() ? it->get<std::string>() : std::string();
}

int64_t PhotoStore::photoCtime(const Photo& photo) {
  const nlohmann::json json = parseOrgFileName(photo.orgFileName);
  auto it = json.find("ctime");
  return it != json.end() && it->is_number() ? it->get<int64_t>() : 0;
}

int PhotoStore::photoOrder(const Photo& photo) {
  const nlohmann::json json = parseOrgFileName(photo.orgFileName);
  auto it = json.find("order");
  return it != json.end() && it->is_number() ? it->get<int>() : 0;
}

std::vector<Photo> PhotoStore::listPhoto(const std::string& txUid) {
  return fetch<Photo>(fmt::format(" WHERE {} AND ZTXUID = ? ORDER BY ZUTIME, ZFILENAME, Z_PK", live::recordSql()),
                      txUid);
}

int64_t PhotoStore::countPhoto(const std::string& txUid) {
  try {
    // Bound, never pasted into the SQL: identifiers can come from other devices.
    auto st = getContext().prepare("SELECT COUNT(*) FROM ZPHOTO WHERE " + live::recordSql() + " AND ZTXUID = ?");
    st.bind(1, txUid);
    const int64_t count = st.executeStep() ? st.getColumn(0).getInt64() : 0;
    st.reset();
    return count;
  } catch (const SQLite::Exception& e) {
    getContext().readFailed("countPhoto", e);
  }
}

std::vector<Photo> PhotoStore::getListByFileName(const std::string& fileName) {
  return fetch<Photo>(" WHERE " + live::recordSql() + " AND ZFILENAME = ? ORDER BY Z_PK",
                      fileName);
}

std::vector<Photo> PhotoStore::photoListWithCheckSum(const std::string& checksum) {
  // An empty checksum occurs in every text; it identifies no image.
  if (checksum.empty()) return {};
  return fetch<Photo>(
      fmt::format(" WHERE {} AND instr(lower(ZORGFILENAME), lower(?)) > 0 ORDER BY Z_PK", live::recordSql()),
      checksum);
}

std::optional<Photo> PhotoStore::getPhotoByUid(const std::string& uid) {
  return getFirst(fetch<Photo>(" WHERE ZUID = ? LIMIT 1", uid));
}

std::optional<std::filesystem::path> PhotoStore::writeFile(const std::string& fileName,
                                                           const std::string& bytes) {
  std::error_code ec;
  const auto folder = photoFolder();
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    log().error("updatePhoto fail cannot create {}: {}", folder.string(), ec.message());
    return std::nullopt;
  }
  const auto path = folder / fileName;
  const auto temporary = folder / ("." + fileName + ".part");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temporary, ec);
      log().error("updatePhoto fail cannot write {}", path.string());
      return std::nullopt;
    }
  }
  // Renamed into place whole, so a crash never leaves half an image under a photo's name.
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    std::filesystem::remove(temporary, ec);
    log().error("updatePhoto fail cannot write {}", path.string());
    return std::nullopt;
  }
  return path;
}

Result<StoredPhoto> PhotoStore::addPhoto(const PhotoInput& input,
                                                const std::string& newInOutComeId, bool isCopy) {
  if (!isCopy) {
    return addPreparedPhoto(preparePhoto(input.data, input.orgFilePath), newInOutComeId, input.order,
                            input.orgFileName);
  }
  if (!input.fileName || !isPlainFileName(*input.fileName)) {
    throw InputError("a photo copy needs the file name of the photo it copies");
  }
  StoredPhoto stored;
  Photo& photo = stored.photo;
  photo = newObjectForEntity<Photo>();
  photo.isDel = 0;
  if (!newInOutComeId.empty()) photo.txUid = newInOutComeId;
  photo.orgFilePath = input.orgFilePath;
  photo.fileName = input.fileName;
  photo.filePath = fmt::format("Documents/{}/{}", kFolderName, *input.fileName);
  photo.orgFileName = input.orgFileName;
  photo.fileSize = input.fileSize;
  VARNEL_RETURN_IF_ERROR(updatePhoto(photo));
  return stored;
}

Result<StoredPhoto> PhotoStore::addPreparedPhoto(const PreparedPhoto& prepared, const std::string& txUid,
                                                 int order, const Text& orgFileName) {
  StoredPhoto stored;
  Photo& photo = stored.photo;
  photo = newObjectForEntity<Photo>();
  photo.isDel = 0;
  if (!txUid.empty()) photo.txUid = txUid;
  photo.orgFilePath = prepared.orgFilePath();
  stored.sameChecksum = photoListWithCheckSum(prepared.checksum());

  nlohmann::json json = parseOrgFileName(orgFileName);
  json["order"] = order;
  json["checksum"] = prepared.checksum();
  json["ctime"] = nowMs();
  const std::string fileName = newPhotoFileName();
  photo.fileName = fileName;
  photo.filePath = fmt::format("Documents/{}/{}", kFolderName, fileName);
  photo.orgFileName = json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  photo.fileSize = static_cast<int64_t>(prepared.bytes().size());

  const auto path = writeFile(fileName, prepared.bytes());
  if (!path) return Status::systemFailure("cannot write the photo file " + fileName + " (see the log)");
  Status saved = updatePhoto(photo);
  if (!saved) {
    std::error_code ec;
    std::filesystem::remove(*path, ec);
    return saved;
  }
  return stored;
}

Status PhotoStore::updatePhoto(Photo& photo) { return saveStamped(photo, "updatePhoto"); }

Status PhotoStore::stampInOrder(std::vector<Photo>& photos) {
  // Photos are listed by `utime`, then file name: stamps one millisecond
  // apart keep the given order instead of the random order of file names.
  const int64_t base = nowMs();
  std::vector<std::pair<Int, Int>> before;
  for (size_t i = 0; i < photos.size(); ++i) {
    before.emplace_back(photos[i].utime, photos[i].isSynced);
    photos[i].utime = base + static_cast<int64_t>(i);
    photos[i].isSynced = 1;
  }
  Status saved = saveAll(photos, "updatePhoto", false);
  if (saved) return saved;
  for (size_t i = 0; i < photos.size(); ++i) std::tie(photos[i].utime, photos[i].isSynced) = before[i];
  return saved;
}

Status PhotoStore::attachPhotos(std::vector<Photo>& photos, const std::string& txUid) {
  for (Photo& p : photos) p.txUid = txUid;
  return stampInOrder(photos);
}

Status PhotoStore::copyUpdatePhoto(const std::string& sourceTxUid, const std::string& targetTxUid) {
  // Copying onto itself would first delete the very photos it copies.
  if (sourceTxUid.empty() || targetTxUid.empty() || sourceTxUid == targetTxUid) return Status::ok();
  std::vector<Photo> source = listPhoto(sourceTxUid);
  std::stable_sort(source.begin(), source.end(),
                   [](const Photo& a, const Photo& b) { return photoOrder(a) < photoOrder(b); });
  std::vector<Photo> target = listPhoto(targetTxUid);
  for (Photo& p : target) p.isDel = 1;
  std::vector<Photo> copies;
  for (const Photo& p : source) {
    if (!p.fileName || !isPlainFileName(*p.fileName)) continue;
    Photo copy = newObjectForEntity<Photo>();
    copy.isDel = 0;
    copy.txUid = targetTxUid;
    copy.fileName = p.fileName;
    copy.filePath = p.filePath;
    copy.orgFileName = p.orgFileName;
    copy.orgFilePath = p.orgFilePath;
    copy.fileSize = p.fileSize;
    copies.push_back(std::move(copy));
  }
  return inTransaction([&]() -> Status {
    VARNEL_RETURN_IF_ERROR(saveAll(target, "updatePhoto", true));
    return stampInOrder(copies);
  }, "updatePhoto");
}

Status PhotoStore::deletePhotoByInOutCome(const std::string& txUid) {
  std::vector<Photo> photos = listPhoto(txUid);
  for (Photo& p : photos) p.isDel = 1;
  return saveAll(photos, "updatePhoto", true);
}

Status PhotoStore::deletePhotoWithPhotoName(const std::string& fileName) {
  std::vector<Photo> photos = getListByFileName(fileName);
  for (Photo& p : photos) p.isDel = 1;
  Status saved = saveAll(photos, "updatePhoto", true);
  if (!saved) log().error("deletePhoto error! {}", fileName);
  return saved;
}

Status PhotoStore::deletePhotoByList(const std::vector<Photo>& photos) {
  if (photos.empty()) return Status::ok();
  std::set<std::string> fileNames;
  try {
    StoreTransaction transaction(getContext());
    auto st = getContext().prepare("DELETE FROM ZPHOTO WHERE Z_PK = ?");
    for (const Photo& p : photos) {
      if (p.pk == 0) continue;
      st.reset();
      st.bind(1, p.pk);
      st.exec();
      if (p.fileName) fileNames.insert(*p.fileName);
    }
    transaction.commit();
  } catch (const SQLite::Exception& e) {
    log().error("deletePhoto error! {}", e.what());
    return Status::storeFailure(std::string("cannot delete the photos: ") + e.what());
  }
  // A file shared with a copy on another transaction stays while any record needs it.
  Status ok;
  for (const std::string& name : fileNames) {
    if (!isPlainFileName(name) || !fetch<Photo>(" WHERE ZFILENAME = ? LIMIT 1", name).empty()) continue;
    std::error_code ec;
    std::filesystem::remove(photoFolder() / name, ec);
    if (ec) {
      log().error("deletePhoto error! {}", ec.message());
      ok = Status::systemFailure("cannot remove the photo file " + name + ": " + ec.message());
    }
  }
  return ok;
}

}  // namespace varnel
