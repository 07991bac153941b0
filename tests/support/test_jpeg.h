// JPEG images made in memory for the photo tests, so no sample file has to
// be shipped: a gradient whose size, quality and EXIF block the test picks.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <cstdio>
#include <jpeglib.h>

namespace varnel::testing {

// A synthetic RGB JPEG with a diagonal gradient, with `app1` (when given)
// written as its APP1 (EXIF) marker.
inline std::string makeJpeg(int width, int height, int quality = 85, const std::string& app1 = "") {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  if (!app1.empty()) {
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(app1.data()),
                      static_cast<unsigned>(app1.size()));
  }
  std::vector<JSAMPLE> row(static_cast<size_t>(width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < width; ++x) {
      row[x * 3] = static_cast<JSAMPLE>(x * 255 / width);
      row[x * 3 + 1] = static_cast<JSAMPLE>(y * 255 / height);
      row[x * 3 + 2] = 128;
    }
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&cinfo, &p, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string out(reinterpret_cast<char*>(buffer), size);
  std::free(buffer);
  return out;
}

}  // namespace varnel::testing
