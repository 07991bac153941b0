// Photos attached to transactions: the JPEG files in the photo folder
// ("Varnel" in the documents folder) and their `Photo` records (file name,
// size, the "orgFileName" JSON with order, MD5 checksum and creation time).
// Owns resizing, storing, copying to another transaction and deletion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/base_repository.h"

namespace varnel {

// One photo as the transaction screen hands it over.
struct PhotoInput {
  std::string data;      // the image file's bytes; must be a JPEG (ignored for a copy)
  Text orgFileName;      // JSON already attached to the image; its keys are kept
  Text orgFilePath;      // where the image came from
  int order = 0;         // position among the transaction's photos
  // For a copy: the stored file the new record shares, and its size.
  Text fileName;
  Int fileSize;
};

// A photo read and decoded once, ready to be stored: the bytes the photo
// folder keeps (scaled down when larger than PhotoStore::kMaxLongSide) and
// their checksum. Only PhotoStore makes one, by decoding the whole image, so
// holding one means the image was checked; storing it decodes nothing again.
// Copies share the bytes.
class PreparedPhoto {
 public:
  const std::string& bytes() const { return *bytes_; }
  const std::string& checksum() const { return checksum_; }
  // Where the image came from (kept on its record).
  const Text& orgFilePath() const { return orgFilePath_; }

 private:
  friend class PhotoStore;
  PreparedPhoto(std::string bytes, Text orgFilePath);

  std::shared_ptr<const std::string> bytes_;
  std::string checksum_;
  Text orgFilePath_;
};

struct StoredPhoto {
  Photo photo;
  // Live photos that already held the same image when it was stored.
  std::vector<Photo> sameChecksum;
};

struct JpegSize {
  int width = 0;
  int height = 0;
};

class PhotoStore : public BaseRepository {
 public:
  // Images are stored at most this many pixels on the long side.
  static constexpr int kMaxLongSide = 2048;
  static constexpr int kJpegQuality = 90;
  static constexpr const char* kFolderName = "Varnel";
  // What is accepted at all, checked before anything is decoded: no camera
  // photo comes near these, while a few hostile bytes can claim a 65000 x
  // 65000 image (gigabytes once decoded) or a device can stream forever.
  static constexpr std::size_t kMaxPhotoBytes = 50 * 1024 * 1024;
  static constexpr int kMaxImageSide = 12000;
  static constexpr int64_t kMaxImagePixels = 100'000'000;

  using BaseRepository::BaseRepository;

  std::filesystem::path photoFolder() const;
  // The file of a photo record; none when the record's file name is not a
  // plain file name (so a foreign record can never point outside the folder).
  std::optional<std::filesystem::path> photoPath(const Photo& photo) const;

  // --- Image helpers ---

  // Lower-case hexadecimal MD5 digest of the bytes.
  static std::string md5Hex(std::string_view data);
  // The bytes of a photo file named by the user. Throws InputError when it
  // cannot be opened, is not a regular file (a device, a pipe, a folder),
  // does not start like a JPEG (only its first bytes are read to tell) or
  // holds more than kMaxPhotoBytes; never reads more than kMaxPhotoBytes + 1
  // bytes, even from a file that grows while it is read.
  static std::string readPhotoFile(const std::filesystem::path& path);
  // Width and height from a JPEG's header. Throws InputError when the data
  // is not a JPEG, is larger than kMaxPhotoBytes or its header claims more
  // than kMaxImageSide on a side or kMaxImagePixels in all.
  static JpegSize jpegSize(std::string_view data);
  // The bytes to store for an image: the JPEG unchanged when its long side
  // is at most `maxLongSide`, else decoded, scaled down (area average) to
  // exactly `maxLongSide` on the long side and re-encoded at `quality`, its
  // EXIF and colour-profile markers kept. Either way the whole image is
  // decoded first. Throws InputError for what jpegSize refuses and for data
  // that is not a complete, undamaged JPEG (any decoder warning counts).
  static std::string prepareImage(std::string_view data, int maxLongSide = kMaxLongSide,
                                  int quality = kJpegQuality);
  // The photo file named by the user, opened and read once (readPhotoFile)
  // and decoded once (prepareImage); throws InputError as those do.
  static PreparedPhoto preparePhotoFile(const std::filesystem::path& path);
  // The same for bytes already in memory.
  static PreparedPhoto preparePhoto(std::string_view data, Text orgFilePath = std::nullopt);
  // Values of the "orgFileName" JSON; "" / 0 when it is missing or not JSON.
  static std::string photoChecksum(const Photo& photo);
  static int64_t photoCtime(const Photo& photo);
  static int photoOrder(const Photo& photo);

  // --- Reads ---

  // Live photos of a transaction, by `utime` then `fileName`.
  std::vector<Photo> listPhoto(const std::string& txUid);
  // Number of live photos of a transaction (aggregate query).
  int64_t countPhoto(const std::string& txUid);
  // Live photos stored under this file name.
  std::vector<Photo> getListByFileName(const std::string& fileName);
  // Live photos whose "orgFileName" holds this checksum; empty for "".
  std::vector<Photo> photoListWithCheckSum(const std::string& checksum);
  std::optional<Photo> getPhotoByUid(const std::string& uid);

  // --- Writes ---

  // Stores one photo for the transaction `newInOutComeId` ("" when it is not
  // saved yet). Not a copy: the image is prepared (preparePhoto: InputError
  // before anything is written when it is refused) and stored as
  // addPreparedPhoto does. A copy (`isCopy`) makes
  // a new record sharing `input.fileName`, keeping the given "orgFileName",
  // path and size. The failure when the file or the record could not be
  // saved (the new file is then removed again).
  Result<StoredPhoto> addPhoto(const PhotoInput& input, const std::string& newInOutComeId,
                                      bool isCopy);
  // Stores a prepared photo for the transaction `txUid` ("" when it is not
  // saved yet) at position `order`: its bytes under a new file name, and a
  // record whose "orgFileName" JSON is `orgFileName`'s keys plus the order,
  // checksum and creation time. The failure when the file or the record
  // could not be saved (the new file is then removed again); on success the
  // caller owns the file should an enclosing transaction roll back.
  Result<StoredPhoto> addPreparedPhoto(const PreparedPhoto& prepared, const std::string& txUid, int order,
                                       const Text& orgFileName = std::nullopt);
  // Gives each photo the transaction's identifier and saves them stamped,
  // in one transaction, so that they list in the given order.
  Status attachPhotos(std::vector<Photo>& photos, const std::string& txUid);
  // Replaces the target transaction's photos by copies of the source's live
  // photos (same files, "orgFileName", path and position, listed in the
  // order of their positions), in one transaction. Nothing happens when
  // source and target are the same transaction.
  Status copyUpdatePhoto(const std::string& sourceTxUid, const std::string& targetTxUid);
  // Soft-deletes every live photo of the transaction, stamped.
  Status deletePhotoByInOutCome(const std::string& txUid);
  // Soft-deletes the live photos stored under this file name, stamped.
  Status deletePhotoWithPhotoName(const std::string& fileName);
  // Physically removes the records (once their deletion has reached the
  // cloud), then each of their files that no remaining record refers to.
  // Logs "deletePhoto error! <error>" on failure.
  Status deletePhotoByList(const std::vector<Photo>& photos);
  // Stamped save of one photo ("updatePhoto fail <error>").
  Status updatePhoto(Photo& photo);

 private:
  Status stampInOrder(std::vector<Photo>& photos);
  std::optional<std::filesystem::path> writeFile(const std::string& fileName,
                                                 const std::string& bytes);
};

}  // namespace varnel
