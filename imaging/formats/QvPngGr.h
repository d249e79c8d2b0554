// PNG image: every colour type and bit depth is read into one of the six image formats through
// libpng (16-bit samples reduced to 8, alpha and transparency composited onto a background,
// gamma corrected for the screen); every format is written, palette formats with their palette.
//
// libpng's errors raise EPNGError with libpng's message; its warnings go to the image's
// Warnings() (reading) and to the platform's warning box captioned "PNG Error".
#pragma once

#include <cstdint>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"

namespace quorvane {

QV_DECLARE_EXCEPTION(EPNGError);

// Deflate effort of the writer; other stored values leave libpng's default level in force.
enum class TPngCompressionLevel : uint8_t { clFast = 0, clNormal = 1, clBest = 2 };

// The gamma of a file made for an ordinary screen: 1 / ScreenGamma, as sRGB files carry it.
constexpr double kDefaultPngGamma = 1.0 / ScreenGamma;

class TPngGraphic : public TDibGraphic {
 public:
  QV_GRAPHIC_CLASS(TPngGraphic)

  TGraphicCapabilities Capabilities() const override { return {false, kAllImageFormats, true, true, true}; }

  // Reads the PNG at the stream's position (the index is ignored) and leaves the stream after
  // the image data.
  void LoadImageFromStream(TStream& stream, int index) override;
  // Writes the image at the stream's position.
  void SaveToStream(TStream& stream) override;

  // Gamma written into the gAMA chunk. Reading a file of more than 2 bits without sRGB replaces
  // it with the gamma its pixels carry once read: 1 / ScreenGamma when they were corrected for
  // the screen, else the file's own (or that default when it has none).
  double Gamma() const { return FGamma; }
  void SetGamma(double value) { FGamma = value; }
  // Colour onto which transparent pixels of colour files are composited when reading.
  TColorValue BackColor() const { return FBackColor; }
  void SetBackColor(TColorValue value) { FBackColor = value; }
  // When true, BackColor is used even if the file has a bKGD chunk.
  bool IgnoreFileBackground() const { return FIgnoreFileBackground; }
  void SetIgnoreFileBackground(bool value) { FIgnoreFileBackground = value; }
  TPngCompressionLevel CompressionLevel() const { return FCompressionLevel; }
  void SetCompressionLevel(TPngCompressionLevel value) { FCompressionLevel = value; }
  // Write Adam7-interlaced files.
  bool Interlaced() const { return FInterlaced; }
  void SetInterlaced(bool value) { FInterlaced = value; }

 private:
  double FGamma = kDefaultPngGamma;
  TColorValue FBackColor = 0;
  bool FIgnoreFileBackground = false;
  TPngCompressionLevel FCompressionLevel = TPngCompressionLevel::clNormal;
  bool FInterlaced = true;
};

}  // namespace quorvane
