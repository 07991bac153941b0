// What the photo store refuses: damaged images that libjpeg would only warn
// about and decode into grey, headers that claim more pixels than any camera
// makes, and more bytes than a photo has. A refused photo leaves nothing.
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>

#include "ledger/photo_store.h"
#include "model/errors.h"
#include "support/test_jpeg.h"
#include "support/test_ledger.h"

namespace varnel {
namespace {

using testing::LedgerTest;
using testing::makeJpeg;

// The JPEG with its frame header (SOF0) claiming another size; the
// compressed data stays that of the original, far too short for the claim.
std::string claimingSize(std::string jpeg, int width, int height) {
  const size_t sof = jpeg.find("\xFF\xC0");
  EXPECT_NE(sof, std::string::npos);
  // Marker, length (2), precision (1), then height and width, big-endian.
  jpeg[sof + 5] = static_cast<char>(height >> 8);
  jpeg[sof + 6] = static_cast<char>(height & 0xFF);
  jpeg[sof + 7] = static_cast<char>(width >> 8);
  jpeg[sof + 8] = static_cast<char>(width & 0xFF);
  return jpeg;
}

// The first half of the JPEG with an end marker after it: cut short in a way
// that still ends like a whole file.
std::string truncatedWithEnd(const std::string& jpeg) { return jpeg.substr(0, jpeg.size() / 2) + "\xFF\xD9"; }

// Stray bytes between the JFIF header and the next marker.
std::string withStrayBytes(std::string jpeg) {
  const size_t app0Length = (static_cast<unsigned char>(jpeg[4]) << 8) | static_cast<unsigned char>(jpeg[5]);
  jpeg.insert(4 + app0Length, "\x12\x34\x56");
  return jpeg;
}

std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

size_t filesIn(const std::filesystem::path& folder) {
  if (!std::filesystem::exists(folder)) return 0;
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

struct LimitCase {
  const char* name;
  std::string data;
  const char* refusal;  // part of the InputError's message; null when the photo is stored
};

class PhotoLimits : public LedgerTest {};

TEST_F(PhotoLimits, PhotosThatAreDamagedHugeOrNotJpegAreRefusedAndLeaveNothing) {
  const std::string small = makeJpeg(300, 200);
  const std::string large = makeJpeg(2500, 300);  // resized on storing
  std::string oversized = makeJpeg(16, 16);
  oversized.resize(PhotoStore::kMaxPhotoBytes + 1, '\0');  // whole image, then padding past its end

  const LimitCase cases[] = {
      {"a whole small image", small, nullptr},
      {"the widest image accepted", makeJpeg(PhotoStore::kMaxImageSide, 8), nullptr},
      {"a small image cut short", truncatedWithEnd(small), "the photo is not a readable JPEG image: "},
      {"a large image cut short", truncatedWithEnd(large), "the photo is not a readable JPEG image: "},
      {"stray bytes between markers", withStrayBytes(small), "the photo is not a readable JPEG image: "},
      {"a header claiming 65000 x 65000", claimingSize(makeJpeg(40, 40), 65000, 65000),
       "the photo is too large: 65000 x 65000 pixels"},
      {"a header claiming 110 megapixels", claimingSize(makeJpeg(40, 40), 11000, 10000),
       "the photo is too large: 11000 x 10000 pixels"},
      {"bytes that are not a JPEG", "plain text, not an image", "the photo is not a JPEG image"},
      {"one byte over the size limit", oversized, "the photo is larger than 50 MiB"},
  };

  PhotoStore photos(*ledger_);
  for (const LimitCase& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t filesBefore = filesIn(photos.photoFolder());
    const size_t recordsBefore = photos.fetch<Photo>("").size();
    PhotoInput input;
    input.data = c.data;
    std::optional<std::string> refusal;
    std::optional<StoredPhoto> stored;
    try {
      auto added = photos.addPhoto(input, "TX", false);
      if (added) stored = added.value();
    } catch (const InputError& e) {
      refusal = e.what();
    }

    if (c.refusal) {
      EXPECT_EQ(filesIn(photos.photoFolder()), filesBefore);
      EXPECT_EQ(photos.fetch<Photo>("").size(), recordsBefore);
      if (!refusal) {
        ADD_FAILURE() << "stored instead of refused";
        continue;
      }
      EXPECT_NE(refusal->find(c.refusal), std::string::npos) << *refusal;
    } else if (refusal || !stored) {
      ADD_FAILURE() << "not stored: " << refusal.value_or("the store failed");
    } else {
      const std::string written = slurp(photos.photoFolder() / *stored->photo.fileName);
      EXPECT_EQ(written.size(), static_cast<size_t>(*stored->photo.fileSize));
      EXPECT_NO_THROW(PhotoStore::prepareImage(written));  // what is stored reads back whole
      EXPECT_EQ(photos.fetch<Photo>("").size(), recordsBefore + 1);
    }
  }
}

}  // namespace
}  // namespace varnel
