#include "model/QvDiGrph.h"
#include "model/QvLimits.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "model/QvBufferedStream.h"
#include "model/QvDiGrphStretch.h"
#include "model/QvExcept.h"
#include "model/QvMisc.h"
#include "model/QvSafeFile.h"

namespace quorvane {

namespace {

// Large pixel buffers are filled right after they are made; in 2 MiB pages the kernel faults
// them in 512 times less often than in 4 KiB pages. Only the whole large pages inside the
// buffer are marked; a kernel without them ignores the request.
void AskForLargePages(void* start, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
  if (bytes < 4 * kLargePage) return;
  const auto first = (reinterpret_cast<uintptr_t>(start) + kLargePage - 1) & ~(kLargePage - 1);
  const auto end = (reinterpret_cast<uintptr_t>(start) + bytes) & ~(kLargePage - 1);
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)start;
  (void)bytes;
#endif
}

constexpr long double kInchesPerMetre = 39.370078740157480317L;

// Pixel readers and writers per bit count. Rows are addressed by the caller.
uint32_t Read1(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1u; }
uint32_t Read4(const uint8_t* row, int x) { return (x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4; }
uint32_t Read8(const uint8_t* row, int x) { return row[x]; }
uint32_t Read24(const uint8_t* row, int x) {
  const uint8_t* p = row + 3 * static_cast<ptrdiff_t>(x);
  return PackColor(p[0], p[1], p[2]);
}

void Write1(uint8_t* row, int x, uint32_t value) {
  const auto mask = static_cast<uint8_t>(0x80u >> (x & 7));
  // The value is taken as signed: above 0 sets the bit, 0 or negative clears it.
  if (static_cast<int32_t>(value) > 0)
    row[x >> 3] |= mask;
  else
    row[x >> 3] &= static_cast<uint8_t>(~mask);
}
void Write4(uint8_t* row, int x, uint32_t value) {
  uint8_t& b = row[x >> 1];
  if (x & 1)
    b = static_cast<uint8_t>((b & 0xF0) | (value & 0x0F));
  else
    b = static_cast<uint8_t>((b & 0x0F) | ((value & 0x0F) << 4));
}
void Write8(uint8_t* row, int x, uint32_t value) { row[x] = static_cast<uint8_t>(value); }
void Write24(uint8_t* row, int x, uint32_t value) {
  uint8_t* p = row + 3 * static_cast<ptrdiff_t>(x);
  p[0] = ColorByte0(value);
  p[1] = ColorByte1(value);
  p[2] = ColorByte2(value);
}

int32_t DpiToPelsPerMetre(uint16_t dpi) { return static_cast<int32_t>(RoundHalfEven(dpi * kInchesPerMetre)); }
int PelsPerMetreToDpi(int32_t ppm) { return static_cast<int>(RoundHalfEven(ppm / kInchesPerMetre)); }

}  // namespace

int ImageFormatBits(TImageFormat format) {
  switch (format) {
    case TImageFormat::BlackWhite: return 1;
    case TImageFormat::Gray16: return 4;
    case TImageFormat::Gray256: return 8;
    case TImageFormat::Color16: return 4;
    case TImageFormat::Color256: return 8;
    case TImageFormat::TrueColor: return 24;
  }
  throw EQuorvaneError("Internal error: Invalid image format");
}

TImageFormat BitCountToImageFormat(int bits) {
  switch (bits) {
    case 1: return TImageFormat::BlackWhite;
    case 4: return TImageFormat::Color16;
    case 8: return TImageFormat::Color256;
    case 24: return TImageFormat::TrueColor;
    default: throw EQuorvaneError("Unsupported bit count");
  }
}

std::string ImageFormatName(TImageFormat format) {
  switch (format) {
    case TImageFormat::BlackWhite: return "Black and white";
    case TImageFormat::Gray16: return "16 shades of gray";
    case TImageFormat::Gray256: return "256 shades of gray";
    case TImageFormat::Color16: return "16 color";
    case TImageFormat::Color256: return "256 color";
    case TImageFormat::TrueColor: return "True color";
  }
  return "";
}

bool IsPaletteFormat(TImageFormat format) { return format != TImageFormat::TrueColor; }

int64_t RowBytes(int64_t width, int bits) { return ((width * bits + 31) / 32) * 4; }

TPixelReader PixelReaderOf(int bits) {
  switch (bits) {
    case 1: return Read1;
    case 4: return Read4;
    case 8: return Read8;
    default: return Read24;
  }
}

TPixelWriter PixelWriterOf(int bits) {
  switch (bits) {
    case 1: return Write1;
    case 4: return Write4;
    case 8: return Write8;
    default: return Write24;
  }
}

void TDibGraphic::TFreeDeleter::operator()(uint8_t* p) const { std::free(p); }

const TGraphicClass& TDibGraphic::StaticClass() {
  static const TGraphicClass cls{"TDibGraphic", []() { return std::make_unique<TDibGraphic>(); }};
  return cls;
}

TDibGraphic::TDibGraphic() = default;

TDibGraphic::~TDibGraphic() {
  if (!FFrameTimer) return;
  FFrameTimer->SetEnabled(false);
  FFrameTimer->SetOnTick(nullptr);
}

void TDibGraphic::NewImage(int width, int height, TImageFormat format, const TDibPalette* palette, uint16_t xDpi,
                           uint16_t yDpi) {
  // The old block is kept aside: a new image of about its size reuses it, which spares the
  // page faults of a fresh mapping (transforms rebuild their destination at every application).
  std::unique_ptr<uint8_t, TFreeDeleter> previous = std::move(FPixels);
  const size_t previousCapacity = FPixelCapacity;
  FreeImage();
  try {
    const int bits = ImageFormatBits(format);
    FImageFormat = format;
    if (format != TImageFormat::TrueColor && palette == nullptr) palette = &DefaultPalette(format);

    CheckImageSize(width, height, bits);
    const int64_t rowBytes = RowBytes(width, bits);
    const uint64_t imageSize = static_cast<uint64_t>(height) * static_cast<uint64_t>(rowBytes);

    TBitmapInfoHeader& h = FInfo.Header;
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<uint16_t>(bits);
    h.biCompression = 0;
    FBytesPerLine = static_cast<int>(rowBytes);
    h.biSizeImage = imageSize <= std::numeric_limits<uint32_t>::max() ? static_cast<uint32_t>(imageSize) : 0;
    h.biClrImportant = 0;

    TDibPalette source{};
    if (format != TImageFormat::TrueColor) {
      // Copy first: the palette given may be this image's own palette copy.
      source = *palette;
      // A palette never holds more entries than the format can index, so the converter can only
      // answer indices that the pixel writer stores unchanged.
      const uint16_t capacity = static_cast<uint16_t>(1u << bits);
      if (source.Count > capacity) source.Count = capacity;
      h.biClrUsed = source.Count;
      std::memcpy(FInfo.Colors.data(), source.Entries.data(), source.Count * sizeof(TPaletteEntry));
    } else {
      h.biClrUsed = 0;
    }

    h.biXPelsPerMeter = DpiToPelsPerMetre(xDpi > 0 ? xDpi : static_cast<uint16_t>(Platform().ScreenDpiX()));
    h.biYPelsPerMeter = DpiToPelsPerMetre(yDpi > 0 ? yDpi : static_cast<uint16_t>(Platform().ScreenDpiY()));

    if (previous && imageSize <= previousCapacity && previousCapacity / 2 <= imageSize) {
      FPixels = std::move(previous);
      FPixelCapacity = previousCapacity;
      if (!FSkipZeroing) std::memset(FPixels.get(), 0, static_cast<size_t>(imageSize));
    } else {
      previous.reset();
      // calloc hands out zeroed pages lazily, so a large image costs nothing until it is written.
      FPixels.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(imageSize), 1)));
      if (!FPixels) throw EQuorvaneError("CreateDibSection failed");
      AskForLargePages(FPixels.get(), static_cast<size_t>(imageSize));
      FPixelCapacity = static_cast<size_t>(imageSize);
    }
    FBits = FPixels.get();

    FReader = PixelReaderOf(bits);
    FWriter = PixelWriterOf(bits);

    FPalette = TDibPalette{};
    if (format != TImageFormat::TrueColor) {
      FPalette.Count = source.Count;
      FPalette.Entries = source.Entries;
      FPalette.Version = 0x300;
      FConverter = std::make_unique<TRgbToPaletteConverter>(&FPalette);
    }
  } catch (...) {
    FreeImage();
    throw;
  }
}

void TDibGraphic::NewImageForOverwrite(int width, int height, TImageFormat format, const TDibPalette* palette,
                                       uint16_t xDpi, uint16_t yDpi) {
  // Through the virtual NewImage, so that descendants still see every allocation.
  FSkipZeroing = true;
  try {
    NewImage(width, height, format, palette, xDpi, yDpi);
  } catch (...) {
    FSkipZeroing = false;
    throw;
  }
  FSkipZeroing = false;
}

void TDibGraphic::FreeImage() {
  FOriginal.reset();
  FConverter.reset();
  FPixels.reset();
  FPixelCapacity = 0;
  FBits = nullptr;
  FReader = nullptr;
  FWriter = nullptr;
  FBytesPerLine = 0;
  FInfo = TBitmapInfo{};
}

void TDibGraphic::SetWidth(int) { throw EQuorvaneError("Dimensions must be change with the NewImage method"); }
void TDibGraphic::SetHeight(int) { throw EQuorvaneError("Dimensions must be change with the NewImage method"); }

int TDibGraphic::XDpi() const { return PelsPerMetreToDpi(FInfo.Header.biXPelsPerMeter); }
int TDibGraphic::YDpi() const { return PelsPerMetreToDpi(FInfo.Header.biYPelsPerMeter); }
void TDibGraphic::SetXDpi(uint16_t dpi) { FInfo.Header.biXPelsPerMeter = DpiToPelsPerMetre(dpi); }
void TDibGraphic::SetYDpi(uint16_t dpi) { FInfo.Header.biYPelsPerMeter = DpiToPelsPerMetre(dpi); }

TColorValue TDibGraphic::GetPixel(int x, int y) const {
  if (FImageFormat == TImageFormat::TrueColor) return FReader(ScanLine(y), x);
  return FPalette.Entries[static_cast<size_t>(GetPixelIndex(x, y)) & 0xFF].Value();
}

void TDibGraphic::SetPixel(int x, int y, TColorValue color) {
  if (FImageFormat == TImageFormat::TrueColor)
    FWriter(ScanLine(y), x, color);
  else
    SetPixelIndex(x, y, FConverter->PaletteIndexOf(color));
}

int TDibGraphic::GetPixelIndex(int x, int y) const {
  if (FImageFormat == TImageFormat::TrueColor) throw EQuorvaneError("The image does not have a palette");
  return static_cast<int>(FReader(ScanLine(y), x));
}

void TDibGraphic::SetPixelIndex(int x, int y, int index) {
  if (FImageFormat == TImageFormat::TrueColor) throw EQuorvaneError("The image does not have a palette");
  FWriter(ScanLine(y), x, static_cast<uint32_t>(index) & 0xFF);
}

const TDibPalette* TDibGraphic::PaletteHandle() const {
  return Empty() || FImageFormat == TImageFormat::TrueColor ? nullptr : &FPalette;
}

void TDibGraphic::Draw(TDibGraphic& target, const TRect& rect) const {
  if (Empty() || target.Empty()) return;
  const TStretchMode mode =
      FImageFormat == TImageFormat::TrueColor ? TStretchMode::smColorOnColor : TStretchMode::smHalftone;
  StretchImage(*this, TRect{0, 0, Width(), Height()}, target, rect, mode);
}

void TDibGraphic::TakeImage(TDibGraphic& source) {
  if (&source == this) return;
  FreeImage();
  if (source.Empty()) return;
  FInfo = source.FInfo;
  FPixels = std::move(source.FPixels);
  FPixelCapacity = source.FPixelCapacity;
  FBits = source.FBits;
  FImageFormat = source.FImageFormat;
  FPalette = source.FPalette;
  FBytesPerLine = source.FBytesPerLine;
  FReader = source.FReader;
  FWriter = source.FWriter;
  FFrameDelay = source.FFrameDelay;
  FOriginal = std::move(source.FOriginal);
  FIccProfile = source.FIccProfile;
  // The converter searches the palette it was made over: this image's own copy.
  if (FImageFormat != TImageFormat::TrueColor) FConverter = std::make_unique<TRgbToPaletteConverter>(&FPalette);
  source.FreeImage();
}

void TDibGraphic::Assign(const TDibGraphic* source) {
  if (source == this) return;
  if (source == nullptr || source->Empty() || source->Width() <= 0 || source->Height() <= 0) {
    FreeImage();
    FIccProfile = source != nullptr ? source->FIccProfile : nullptr;
    return;
  }
  NewImage(source->Width(), source->Height(), source->ImageFormat(), &source->PaletteRecord(),
           static_cast<uint16_t>(source->XDpi()), static_cast<uint16_t>(source->YDpi()));
  // Set again so that a resolution of 0 stays 0 rather than becoming the screen's.
  FInfo.Header.biXPelsPerMeter = DpiToPelsPerMetre(static_cast<uint16_t>(source->XDpi()));
  FInfo.Header.biYPelsPerMeter = DpiToPelsPerMetre(static_cast<uint16_t>(source->YDpi()));
  FFrameDelay = source->FFrameDelay;
  std::memcpy(FBits, source->Bits(), ImageSize());
  FOriginal = source->FOriginal;
  FIccProfile = source->FIccProfile;
}

const std::vector<uint8_t>& TDibGraphic::IccProfile() const {
  static const std::vector<uint8_t> none;
  return FIccProfile ? *FIccProfile : none;
}

void TDibGraphic::SetIccProfile(std::vector<uint8_t> value) {
  if (value.empty())
    FIccProfile.reset();
  else
    FIccProfile = std::make_shared<const std::vector<uint8_t>>(std::move(value));
}

void TDibGraphic::LoadFromStream(TStream& stream) {
  const bool wasAnimated = FAnimate;
  SetAnimate(false);
  struct TRestore {
    TDibGraphic& Image;
    bool Animate;
    ~TRestore() { Image.SetAnimate(Animate); }
  } restore{*this, wasAnimated};

  FWarnings.clear();
  FMetadata = TImageMetadata{};
  FIccProfile.reset();
  const int64_t start = stream.Position();
  int count = 1;
  if (FMultiImage) {
    count = GetImageCount(stream);
    if (count == 1) FMultiImage = false;
  }
  if (FMultiImage) {
    for (int i = 1; i <= count; ++i) {
      std::unique_ptr<TDibGraphic> frame = ClassType().Create();
      stream.Seek(start, TSeekOrigin::soBeginning);
      frame->LoadImageFromStream(stream, i);
      for (std::string& warning : frame->FWarnings) FWarnings.push_back(std::move(warning));
      frame->FWarnings.clear();
      FFrames.push_back(std::move(frame));
    }
    SetCurrentFrame(1);
  } else {
    // Counting may have moved the stream; the image starts where the load started.
    stream.Seek(start, TSeekOrigin::soBeginning);
    LoadImageFromStream(stream, FImageIndex);
  }
}

void TDibGraphic::SaveToStream(TStream&) {}

void TDibGraphic::LoadFromFile(const std::string& fileName) {
  TBufferedStream stream(fileName, TFileMode::fmOpenRead);
  LoadFromStream(stream);
}

void TDibGraphic::SaveToFile(const std::string& fileName) {
  TSafeFile file(fileName);
  SaveToStream(file.Stream());
  file.Commit();
}

int TDibGraphic::GetImageCount(TStream&) { return 1; }

void TDibGraphic::LoadImageFromStream(TStream&, int) {}

void TDibGraphic::AppendToStream(TStream&) {
  throw EQuorvaneError(FormatMessage("The %s format does not support multiple images", ClassName().c_str()));
}

void TDibGraphic::ThrowFrameMissing(int index) const {
  throw EQuorvaneError(FormatMessage("Frame %d does not exist", index));
}

TDibGraphic& TDibGraphic::GetFrame(int index) {
  if (index < 1 || index > FrameCount()) ThrowFrameMissing(index);
  return *FFrames[static_cast<size_t>(index - 1)];
}

void TDibGraphic::SetCurrentFrame(int index) {
  if (index == FCurrentFrame) return;
  if (index < 1 || index > FrameCount()) ThrowFrameMissing(index);
  Assign(FFrames[static_cast<size_t>(index - 1)].get());
  FCurrentFrame = index;
  Changed();
  // Last: a handler run by the pending messages may replace or free this image, so nothing of it
  // is touched afterwards.
  Platform().ProcessMessages();
}

void TDibGraphic::AddFrame(std::unique_ptr<TDibGraphic> frame) {
  FFrames.push_back(std::move(frame));
  UpdateTimer();
}

void TDibGraphic::SetAnimate(bool value) {
  FAnimate = value;
  UpdateTimer();
}

// The timer is made only for an image that animates, so frames and the many images that never
// animate hold no platform timer.
IFrameTimer& TDibGraphic::FrameTimer() {
  if (!FFrameTimer) {
    FFrameTimer = Platform().CreateTimer();
    FFrameTimer->SetOnTick([this]() {
      try {
        StepFrame();
      } catch (const std::exception&) {
        // A timer tick has no caller to report to; the next tick tries again.
      }
    });
  }
  return *FFrameTimer;
}

void TDibGraphic::UpdateTimer() {
  if (FAnimate && !FFrames.empty()) {
    FrameTimer().SetInterval(FFrameDelay);
    FrameTimer().SetEnabled(true);
  } else if (FFrameTimer) {
    FFrameTimer->SetEnabled(false);
  }
}

void TDibGraphic::StepFrame() {
  if (FFrames.empty()) return;
  // Stopped while the frame is selected (which lets pending messages, ticks included, run), then
  // restarted with the new frame's delay only when the image animates.
  if (FFrameTimer) FFrameTimer->SetEnabled(false);
  struct TRestart {
    TDibGraphic& Image;
    ~TRestart() { Image.UpdateTimer(); }
  } restart{*this};
  SetCurrentFrame(FCurrentFrame >= FrameCount() ? 1 : FCurrentFrame + 1);
}

void TDibGraphic::Changed() {
  if (OnChange) OnChange(*this);
}

}  // namespace quorvane
