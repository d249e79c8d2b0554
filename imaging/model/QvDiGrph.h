// TDibGraphic: the one in-memory image of the library.
//
// An image is a device-independent bitmap: bottom-up rows of RowBytes(Width, Bits) bytes
// (whole 32-bit words), ScanLine(0) being the top row; 1-bit pixels most significant bit first,
// 4-bit pixels high nibble first, 24-bit pixels blue, green, red. It has one of six formats, a
// palette copy for the five palette formats, a resolution, and optionally a list of frames for
// files that hold several images. Every file format class descends from it.
//
// Pixels exist only between a successful NewImage and the next FreeImage/NewImage. Pixel access
// does no range checks; bulk code addresses rows through ScanLine/Bits/BytesPerLine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "model/QvMetadata.h"
#include "model/QvPalette.h"
#include "model/QvPlatform.h"
#include "model/QvStream.h"

namespace quorvane {

struct TBitmapInfoHeader {
  uint32_t biSize = 0;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 0;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

struct TBitmapInfo {
  TBitmapInfoHeader Header;
  std::array<TPaletteEntry, 256> Colors{};
};

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
};

// Bits per pixel of a format; raises "Internal error: Invalid image format" for other values.
int ImageFormatBits(TImageFormat format);
// 1, 4, 8, 24 to BlackWhite, Color16, Color256, TrueColor; raises "Unsupported bit count".
TImageFormat BitCountToImageFormat(int bits);
// Display text of a format ("True color", ...); empty for other values.
std::string ImageFormatName(TImageFormat format);
bool IsPaletteFormat(TImageFormat format);
// Bytes of one stored row: ((Width * Bits + 31) div 32) * 4, computed without overflow.
int64_t RowBytes(int64_t width, int bits);

// Per-format pixel access on one row, chosen once per NewImage.
using TPixelReader = uint32_t (*)(const uint8_t* row, int x);
using TPixelWriter = void (*)(uint8_t* row, int x, uint32_t value);
TPixelReader PixelReaderOf(int bits);
TPixelWriter PixelWriterOf(int bits);

class TDibGraphic;

// What an image class can do with files, so that callers choose without probing: whether it
// holds several images in one stream (GetImageCount, AppendToStream), and which pixel formats its
// SaveToStream writes.
struct TGraphicCapabilities {
  bool MultipleImages = false;
  uint8_t WritableFormats = 0;  // bit (1 << format) per writable TImageFormat
  bool Readable = true;         // false for formats that are only written (kept out of open dialogs)
  bool IccProfiles = false;     // its files hold the image's ICC profile (IccProfile)
  bool MetadataBlocks = false;  // its files hold EXIF, XMP and IPTC (Metadata(): Exif, Xmp, Iptc)

  bool CanWrite(TImageFormat format) const { return (WritableFormats >> static_cast<int>(format)) & 1u; }
  bool CanWriteAny() const { return WritableFormats != 0; }
};
// The bit set of a list of formats, for TGraphicCapabilities::WritableFormats.
constexpr uint8_t FormatSet(std::initializer_list<TImageFormat> formats) {
  uint8_t set = 0;
  for (TImageFormat f : formats) set |= static_cast<uint8_t>(1u << static_cast<int>(f));
  return set;
}
constexpr uint8_t kAllImageFormats = 0x3F;

// The compressed data a file held an image's pixels in. A reader keeps it with the image so that a
// writer that stores the same coding can embed it unchanged instead of encoding the pixels again
// (a JPEG page in a PDF file: each lossy encoding loses more).
enum class TOriginalCoding : uint8_t { ocJpeg };
struct TOriginalEncoding {
  TOriginalCoding Coding = TOriginalCoding::ocJpeg;
  std::vector<uint8_t> Data;
};

// A class reference: the class name and its virtual constructor.
struct TGraphicClass {
  const char* ClassName;
  std::unique_ptr<TDibGraphic> (*Create)();
};

class TDibGraphic {
 public:
  TDibGraphic();
  virtual ~TDibGraphic();
  TDibGraphic(const TDibGraphic&) = delete;
  TDibGraphic& operator=(const TDibGraphic&) = delete;

  static const TGraphicClass& StaticClass();
  // The class of this object; every descendant overrides it so frames and copies keep the class.
  virtual const TGraphicClass& ClassType() const { return StaticClass(); }
  std::string ClassName() const { return ClassType().ClassName; }
  // What this class writes and holds; the base class writes nothing and holds one image.
  virtual TGraphicCapabilities Capabilities() const { return {}; }

  // --- allocation ---
  // Discards the current pixels and allocates Width x Height zeroed pixels of Format.
  // Palette: the palette to use (nullptr: the format's default); ignored for TrueColor.
  // Dpi 0 takes the screen's. Raises "CreateDibSection failed" for sizes below 1 or above the
  // limit, and leaves the image empty on any failure.
  virtual void NewImage(int width, int height, TImageFormat format, const TDibPalette* palette, uint16_t xDpi,
                        uint16_t yDpi);
  // As NewImage, except that a reused pixel block keeps whatever bytes it held. Only for callers
  // that write every byte of every row, row padding included, before the pixels are read.
  void NewImageForOverwrite(int width, int height, TImageFormat format, const TDibPalette* palette, uint16_t xDpi,
                            uint16_t yDpi);
  void FreeImage();
  bool Empty() const { return FBits == nullptr; }

  int Width() const { return FInfo.Header.biWidth; }
  int Height() const { return FInfo.Header.biHeight; }
  // Both raise: dimensions change only through NewImage.
  void SetWidth(int value);
  void SetHeight(int value);

  int XDpi() const;
  int YDpi() const;
  void SetXDpi(uint16_t dpi);
  void SetYDpi(uint16_t dpi);

  // --- pixels ---
  TImageFormat ImageFormat() const { return FImageFormat; }
  int BitCount() const { return FInfo.Header.biBitCount; }
  int BytesPerLine() const { return FBytesPerLine; }
  // The non-const accessors hand out pixels to change, so they drop the original encoding.
  uint8_t* Bits() {
    PixelsMayChange();
    return FBits;
  }
  const uint8_t* Bits() const { return FBits; }
  uint8_t* ScanLine(int y) {
    PixelsMayChange();
    return FBits + static_cast<ptrdiff_t>(Height() - 1 - y) * FBytesPerLine;
  }
  const uint8_t* ScanLine(int y) const { return FBits + static_cast<ptrdiff_t>(Height() - 1 - y) * FBytesPerLine; }
  size_t ImageSize() const { return static_cast<size_t>(Height()) * static_cast<size_t>(FBytesPerLine); }
  const TBitmapInfo& BitmapInfo() const { return FInfo; }

  TColorValue GetPixel(int x, int y) const;
  void SetPixel(int x, int y, TColorValue color);
  // Palette formats only; raise "The image does not have a palette" on TrueColor.
  int GetPixelIndex(int x, int y) const;
  void SetPixelIndex(int x, int y, int index);
  TPixelReader PixelReader() const { return FReader; }
  TPixelWriter PixelWriter() const { return FWriter; }

  TDibPalette& PaletteRecord() {
    PixelsMayChange();
    return FPalette;
  }
  const TDibPalette& PaletteRecord() const { return FPalette; }
  // The palette for platform drawing: none for TrueColor, else the image's palette copy.
  const TDibPalette* PaletteHandle() const;
  // Nearest-entry finder over the palette copy; nullptr for TrueColor and empty images.
  TRgbToPaletteConverter* Converter() { return FConverter.get(); }

  // Stretches the whole image into Rect of Target: nearest pixel for TrueColor images,
  // averaging for palette images; colours are mapped into Target's format.
  void Draw(TDibGraphic& target, const TRect& rect) const;

  // Copies size, format, palette, resolution, delay, pixels and original encoding of Source
  // (nullptr or an empty source leaves this image empty). Frames and subclass settings are not
  // copied.
  virtual void Assign(const TDibGraphic* source);
  // As Assign, but the pixel block moves over instead of being copied (no second block of a large
  // image exists at any time); Source is left empty.
  void TakeImage(TDibGraphic& source);

  // The compressed data the pixels were read from (nullptr when none was kept). Readers set it
  // once the pixels are complete; everything that may change pixels or palette drops it: NewImage,
  // FreeImage and the non-const Bits, ScanLine and PaletteRecord (and so SetPixel and
  // SetPixelIndex). Assign and TakeImage carry it with the pixels; the resolution does not touch it.
  const TOriginalEncoding* OriginalEncoding() const { return FOriginal.get(); }
  void SetOriginalEncoding(std::shared_ptr<const TOriginalEncoding> value) { FOriginal = std::move(value); }

  // The ICC profile that says what colours the pixels mean (empty: none, the pixels are sRGB).
  // Readers of files that embed one set it, LoadFromStream clears it first, and writers of
  // formats that hold one store it. It describes the colours, not the pixel values, so it stays
  // with the image through every change of pixels: NewImage and FreeImage leave it alone,
  // Assign and TakeImage carry it, and the transforms hand it from source to destination.
  const std::vector<uint8_t>& IccProfile() const;
  void SetIccProfile(std::vector<uint8_t> value);
  bool HasIccProfile() const { return FIccProfile != nullptr; }
  // Takes Source's profile (shared, not copied).
  void CopyIccProfile(const TDibGraphic& source) { FIccProfile = source.FIccProfile; }

  // --- streams ---
  // Reads image ImageIndex, or with MultiImage every image of the stream as frames.
  virtual void LoadFromStream(TStream& stream);
  // Writes the image in the class's format; nothing here.
  virtual void SaveToStream(TStream& stream);
  // Reads the file through a buffered stream.
  void LoadFromFile(const std::string& fileName);
  // Writes the file safely (model/QvSafeFile.h): a temporary file beside it replaces the old file
  // only once the whole image is written, so a failed save leaves the old file as it was.
  void SaveToFile(const std::string& fileName);
  // Number of images in the stream (1 here).
  virtual int GetImageCount(TStream& stream);
  // Reads image Index (1-based) of the stream; nothing here.
  virtual void LoadImageFromStream(TStream& stream, int index);
  // Writes a further image; single-image formats raise "The %s format does not support
  // multiple images".
  virtual void AppendToStream(TStream& stream);

  // Problems that the last stream load met and survived (a file that ends before its image, a
  // codec's warning), in order, each a complete sentence. LoadFromStream clears the list first;
  // the warnings of frames are gathered into the image that loaded them. Codecs add to it with
  // AddWarning; programs show or print them (the converter fails on them with --strict).
  const std::vector<std::string>& Warnings() const { return FWarnings; }
  void AddWarning(std::string message) { FWarnings.push_back(std::move(message)); }
  void ClearWarnings() { FWarnings.clear(); }

  // What the file said besides the pixels (model/QvMetadata.h): set by readers, started afresh by
  // LoadFromStream, never copied by Assign or TakeImage nor changed by transforms.
  const TImageMetadata& Metadata() const { return FMetadata; }
  TImageMetadata& Metadata() { return FMetadata; }

  // --- frames ---
  int ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int index) { FImageIndex = index; }
  bool MultiImage() const { return FMultiImage; }
  void SetMultiImage(bool value) { FMultiImage = value; }
  int FrameCount() const { return static_cast<int>(FFrames.size()); }
  // Frame Index (1-based); raises "Frame %d does not exist".
  TDibGraphic& GetFrame(int index);
  int CurrentFrame() const { return FCurrentFrame; }
  // Shows frame Index: assigns it into the image, sets CurrentFrame, fires OnChange, and lets
  // pending messages run last, touching nothing of the image after them (a handler run then may
  // free it; StepFrame, which restarts the timer afterwards, needs the image to stay).
  void SetCurrentFrame(int index);
  // Appends a frame (the image takes ownership).
  void AddFrame(std::unique_ptr<TDibGraphic> frame);
  int FrameDelay() const { return FFrameDelay; }
  void SetFrameDelay(int milliseconds) { FFrameDelay = milliseconds; }
  bool Animate() const { return FAnimate; }
  void SetAnimate(bool value);
  // Advances to the next frame, as the frame timer does; the timer then runs exactly when Animate
  // is set.
  void StepFrame();

  // Fired when the pixels change through frame selection.
  std::function<void(TDibGraphic&)> OnChange;

 protected:
  void Changed();

 private:
  void PixelsMayChange() {
    if (FOriginal) FOriginal.reset();
  }
  IFrameTimer& FrameTimer();
  void UpdateTimer();
  void ThrowFrameMissing(int index) const;

  struct TFreeDeleter {
    void operator()(uint8_t* p) const;
  };

  TBitmapInfo FInfo{};
  std::unique_ptr<uint8_t, TFreeDeleter> FPixels;
  size_t FPixelCapacity = 0;  // bytes allocated for FPixels
  uint8_t* FBits = nullptr;
  TImageFormat FImageFormat = TImageFormat::BlackWhite;
  TDibPalette FPalette{};
  int FBytesPerLine = 0;
  int FImageIndex = 1;
  bool FMultiImage = false;
  std::vector<std::unique_ptr<TDibGraphic>> FFrames;
  int FFrameDelay = 200;
  bool FAnimate = false;
  std::unique_ptr<IFrameTimer> FFrameTimer;  // made when the image first animates
  int FCurrentFrame = -1;
  bool FSkipZeroing = false;  // set only during NewImageForOverwrite
  TPixelReader FReader = nullptr;
  TPixelWriter FWriter = nullptr;
  std::unique_ptr<TRgbToPaletteConverter> FConverter;
  std::vector<std::string> FWarnings;
  TImageMetadata FMetadata;
  std::shared_ptr<const TOriginalEncoding> FOriginal;       // shared by the copies of unchanged pixels
  std::shared_ptr<const std::vector<uint8_t>> FIccProfile;  // shared by the image's copies; never empty
};

// Declares the class reference of a TDibGraphic descendant; put QV_GRAPHIC_CLASS(TName) in the
// public section of the class and QV_DEFINE_GRAPHIC_CLASS(TName) in its source file.
#define QV_GRAPHIC_CLASS(Name)               \
  static const TGraphicClass& StaticClass(); \
  const TGraphicClass& ClassType() const override { return StaticClass(); }

#define QV_DEFINE_GRAPHIC_CLASS(Name)                                                                                 \
  const TGraphicClass& Name::StaticClass() {                                                                          \
    static const TGraphicClass cls{#Name, []() -> std::unique_ptr<TDibGraphic> { return std::make_unique<Name>(); }}; \
    return cls;                                                                                                       \
  }

}  // namespace quorvane
