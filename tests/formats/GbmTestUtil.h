// The format tests' calls into the bitmap-format library over bytes in memory. A file type is
// given by a name with its extension ("f.bmp") and by its number in the library's format table.
#pragma once

#include <string>

#include "FormatTestUtil.h"
#include "formats/QvGbm.h"
#include "gbm/gbm.h"

namespace qvtest {

// The library's result for the header of Bytes.
inline GBM_ERR GbmHeaderRc(const Bytes& bytes, const char* name, int type) {
  TMemoryStream s(bytes);
  gbm_header h{};
  return gbm_read_header(name, TGbmStream(s).Handle(), type, &h, "");
}

// Image written by the library with Options; Rc, when given, receives the library's result.
inline Bytes GbmWritten(const TDibGraphic& image, const char* name, int type, const char* options,
                        GBM_ERR* rc = nullptr) {
  TMemoryStream s;
  gbm_header h{};
  h.w = image.Width();
  h.h = image.Height();
  h.bpp = image.BitCount();
  gbm_rgb pal[256] = {};
  for (int i = 0; i < image.PaletteRecord().Count; ++i)
    pal[i] = {image.PaletteRecord().Entries[i].Red, image.PaletteRecord().Entries[i].Green,
              image.PaletteRecord().Entries[i].Blue};
  const GBM_ERR r = gbm_write(name, TGbmStream(s).Handle(), type, &h, pal, image.Bits(), options);
  if (rc) *rc = r;
  return s.Data();
}

}  // namespace qvtest
