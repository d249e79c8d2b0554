// JPEG image: gray and colour JPEG files are read into Gray256 or TrueColor images through
// libjpeg; those two formats are written as baseline or progressive JFIF files.
//
// libjpeg's fatal errors raise Exception with libjpeg's message; its warnings (a file that ends
// inside the image data, corrupt data that was skipped) go to the image's Warnings().
//
// A file read without warnings whose data any decoder reads alike (8-bit Huffman-coded gray or
// YCbCr) stays with the image as its original encoding (TDibGraphic::OriginalEncoding), from its
// first byte to its end-of-image marker, for writers that can store it unchanged (PDF pages).
#pragma once

#include <atomic>
#include <cstdint>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"

namespace quorvane {

QV_DECLARE_EXCEPTION(EJpegError);

class TJpegGraphic : public TDibGraphic {
 public:
  QV_GRAPHIC_CLASS(TJpegGraphic)

  TGraphicCapabilities Capabilities() const override {
    return {false, FormatSet({TImageFormat::Gray256, TImageFormat::TrueColor}), true, true, true};
  }

  // Reads the JPEG at the stream's position (the index is ignored).
  void LoadImageFromStream(TStream& stream, int index) override;
  // Writes a Gray256 or TrueColor image; other formats raise EJpegError "JPEG image must be gray
  // scale or true color" before any byte is written.
  void SaveToStream(TStream& stream) override;

  // Quality of the encoder, 1 to 100 (values outside are clamped by libjpeg).
  uint8_t Quality() const { return FQuality; }
  void SetQuality(uint8_t value) { FQuality = value; }
  bool Progressive() const { return FProgressive; }
  void SetProgressive(bool value) { FProgressive = value; }
  // Optimal Huffman tables instead of the standard ones.
  bool OptimizeCoding() const { return FOptimizeCoding; }
  void SetOptimizeCoding(bool value) { FOptimizeCoding = value; }

  // Warnings libjpeg reported during the last read or write.
  long WarningCount() const { return FWarningCount.load(std::memory_order_relaxed); }

 private:
  uint8_t FQuality = 80;
  bool FProgressive = false;
  bool FOptimizeCoding = false;
  // Atomic: a conversion may write the image while its reader is still finishing
  // (formats/QvRowGate.h).
  std::atomic<long> FWarningCount{0};
};

}  // namespace quorvane
