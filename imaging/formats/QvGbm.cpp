#include "formats/QvGbm.h"

#include <cstring>

#include "gbm/gbm.h"

namespace quorvane {

namespace {

struct TGbmLibrary {
  TGbmLibrary() { gbm_init(); }
  ~TGbmLibrary() { gbm_deinit(); }
} gGbmLibrary;

int GuessFormat(const std::string& hint) {
  int ft = 0;
  if (gbm_guess_filetype(hint.c_str(), &ft) != GBM_ERR_OK) throw EGbmError("gbm_guess_filetype failed.");
  return ft;
}

[[noreturn]] void InvalidImageFormat() { throw EGbmError("Internal error: Invalid image format"); }

TImageFormat FormatOfBits(int bpp) {
  switch (bpp) {
    case 1: return TImageFormat::BlackWhite;
    case 4: return TImageFormat::Color16;
    case 8: return TImageFormat::Color256;
    case 24: return TImageFormat::TrueColor;
    default: InvalidImageFormat();
  }
}

int BitsOfFormat(TImageFormat format) {
  switch (format) {
    case TImageFormat::BlackWhite: return 1;
    case TImageFormat::Gray16:
    case TImageFormat::Color16: return 4;
    case TImageFormat::Gray256:
    case TImageFormat::Color256: return 8;
    case TImageFormat::TrueColor: return 24;
    default: InvalidImageFormat();
  }
}

}  // namespace

void GbmReadImage(TStream& stream, TDibGraphic& image, const std::string& hint, const std::string& options) {
  const int ft = GuessFormat(hint);
  gbm_header header;
  std::memset(&header, 0, sizeof header);
  if (gbm_read_header(hint.c_str(), &stream, ft, &header, options.c_str()) != GBM_ERR_OK)
    throw EGbmError("gbm_read_header failed.");
  const TImageFormat format = FormatOfBits(header.bpp);

  TDibPalette palette{};
  if (format != TImageFormat::TrueColor) {
    gbm_rgb colors[256] = {};
    if (gbm_read_palette(&stream, ft, &header, colors) != GBM_ERR_OK) throw EGbmError("gbm_read_header failed.");
    palette.Count = static_cast<uint16_t>(1 << header.bpp);
    for (int i = 0; i < palette.Count; ++i) palette.Entries[i] = {colors[i].b, colors[i].g, colors[i].r, 0};
  }
  image.NewImage(header.w, header.h, format, format == TImageFormat::TrueColor ? nullptr : &palette, 0, 0);
  if (gbm_read_data(&stream, ft, &header, image.Bits()) != GBM_ERR_OK) throw EGbmError("gbm_read_data failed.");
}

void GbmWriteImage(TStream& stream, const TDibGraphic& image, const std::string& hint, const std::string& options) {
  const int ft = GuessFormat(hint);
  gbm_header header;
  std::memset(&header, 0, sizeof header);
  header.w = image.Width();
  header.h = image.Height();
  header.bpp = BitsOfFormat(image.ImageFormat());

  gbm_rgb colors[256] = {};
  if (image.ImageFormat() != TImageFormat::TrueColor) {
    const TDibPalette& palette = image.PaletteRecord();
    const int count = std::min<int>(palette.Count, 256);
    for (int i = 0; i < count; ++i)
      colors[i] = {palette.Entries[i].Red, palette.Entries[i].Green, palette.Entries[i].Blue};
  }
  if (gbm_write(hint.c_str(), &stream, ft, &header, colors, image.Bits(), options.c_str()) != GBM_ERR_OK)
    throw EGbmError("gbm_write failed.");
}

}  // namespace quorvane
