// TIFF files made with libtiff itself, for the tests of the TIFF reader.
#pragma once

#include <tiffio.h>

#include <functional>
#include <string>

#include "FormatTestUtil.h"

namespace qvtest {

// Writes a TIFF with libtiff itself: Fill sets the fields and writes the pixels.
inline Bytes MakeTiff(const std::function<void(TIFF*)>& fill, const char* mode = "w") {
  const TScratchFolder folder;
  const std::string path = folder / "case.tif";
  TIFF* tif = TIFFOpen(path.c_str(), mode);
  EXPECT_NE(tif, nullptr);
  fill(tif);
  TIFFClose(tif);
  return FileBytes(path);
}

inline void SetBasicFields(TIFF* tif, uint32_t w, uint32_t h, int bits, int samples, int photometric, int compression) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  if (bits) TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  if (photometric >= 0) TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
}

// Writes rows of Bytes each, row y filled by Row(y, buffer).
inline void WriteRows(TIFF* tif, uint32_t h, size_t bytes, const std::function<void(uint32_t, uint8_t*)>& row) {
  std::vector<uint8_t> buffer(bytes);
  for (uint32_t y = 0; y < h; ++y) {
    row(y, buffer.data());
    TIFFWriteScanline(tif, buffer.data(), y, 0);
  }
}

}  // namespace qvtest
