// TIFF image: single- and multi-page files read and written through libtiff.
//
// Reading takes one directory (page) of the TIFF that starts at the stream's position into the
// image: 1, 4 and 8-bit gray or palette pages keep their depth, everything else becomes true
// colour (libtiff's RGBA conversion serves tiled, separated, JPEG, CMYK, YCbCr and 16-bit pages).
// Every page takes the flips of the RGBA conversion for its Orientation (274); what is left to
// turn it upright, and the camera's data of its EXIF directory, go to Metadata().
// Writing makes a one-page TIFF (SaveToStream) or links a further page after the last one
// (AppendToStream), with the compression chosen by SetCompression.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "formats/QvTifStream.h"
#include "model/QvDiGrph.h"

namespace quorvane {

enum class TTiffCompression : uint8_t {
  tcNone = 0,
  tcPackbits = 1,
  tcGroup3_1D = 2,
  tcGroup3_2D = 3,
  tcGroup4 = 4,
  tcZLib = 5,
  tcJpeg = 6
};

constexpr int kTiffCompressionCount = 7;

// "None", "Packbits", "CCITT Group 3, 1D", ...; empty for other values.
std::string TiffCompressionName(TTiffCompression compression);
// Whether a page of Format may be written with Compression (formats outside the six: always).
bool TiffCompressionAllowed(TTiffCompression compression, TImageFormat format);
// The compression a window or a scan chooses before writing: CCITT Group 4 for black and white,
// JPEG for true colour, PackBits for the rest.
TTiffCompression DefaultSaveCompression(TImageFormat format);
// "yyyy:mm:dd hh:nn:ss", the DateTime field of written pages.
std::string TiffDateTime(const std::tm& local);

class TTiffGraphic : public TDibGraphic {
 public:
  QV_GRAPHIC_CLASS(TTiffGraphic)

  TGraphicCapabilities Capabilities() const override { return {true, kAllImageFormats, true, true, true}; }

  TTiffCompression Compression() const { return FCompression; }
  // Stores Value when the current format allows it; raises EQuorvaneError
  // "%s compression not supported with %s images" otherwise, keeping the old value.
  void SetCompression(TTiffCompression value);

  // As the base class, then the format's default compression: CCITT Group 4 for black and
  // white, PackBits otherwise.
  void NewImage(int width, int height, TImageFormat format, const TDibPalette* palette, uint16_t xDpi,
                uint16_t yDpi) override;

  // Number of pages of the TIFF that starts at the stream's position.
  int GetImageCount(TStream& stream) override;
  // Reads page Index (1-based; a page that does not exist reads the first) of the TIFF that starts
  // at the stream's position. Raises ETiffError or EQuorvaneError; a failed read leaves the image
  // as far as it got.
  void LoadImageFromStream(TStream& stream, int index) override;
  // Writes a one-page TIFF at the stream's position.
  void SaveToStream(TStream& stream) override;
  // Links the image as a further page after the last page of the TIFF that starts at position 0;
  // an empty stream gets a new TIFF through SaveToStream.
  void AppendToStream(TStream& stream) override;

 private:
  void WriteTiff(TStream& stream, const char* mode, int64_t base);

  TTiffCompression FCompression = TTiffCompression::tcNone;
};

}  // namespace quorvane
