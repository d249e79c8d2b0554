#include "formats/QvIcoGr.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "model/QvBytes.h"
#include "model/QvLimits.h"

namespace quorvane {

QV_DEFINE_GRAPHIC_CLASS(TIconGraphic)

namespace {

constexpr size_t kDirectorySize = 6;
constexpr size_t kEntrySize = 16;
constexpr size_t kInfoHeaderSize = 40;
constexpr int kWrittenBits = 4;

[[noreturn]] void InvalidIcon() { throw EIconError("Invalid icon"); }

struct TIconEntry {
  int Width;  // 0 in the file stands for 256
  int Height;
  int BitCount;
  uint32_t Size;
  uint32_t Offset;
};

// The entry a platform icon of the standard size would show: nearest in size, then deepest.
const TIconEntry& ChooseEntry(const std::vector<TIconEntry>& entries) {
  const auto distance = [](const TIconEntry& e) {
    return std::abs(e.Width - TIconGraphic::kStandardIconSize) + std::abs(e.Height - TIconGraphic::kStandardIconSize);
  };
  const TIconEntry* best = &entries.front();
  for (const TIconEntry& e : entries)
    if (distance(e) < distance(*best) || (distance(e) == distance(*best) && e.BitCount > best->BitCount)) best = &e;
  return *best;
}

std::vector<TIconEntry> ReadDirectory(TStream& stream, int64_t available) {
  uint8_t head[kDirectorySize];
  if (available < static_cast<int64_t>(kDirectorySize) || stream.Read(head, sizeof head) != sizeof head) InvalidIcon();
  const int type = GetLe16(head + 2);
  const size_t count = GetLe16(head + 4);
  if (GetLe16(head) != 0 || (type != 1 && type != 2) || count == 0) InvalidIcon();
  if (static_cast<int64_t>(kDirectorySize + count * kEntrySize) > available) InvalidIcon();
  std::vector<uint8_t> raw(count * kEntrySize);
  if (stream.Read(raw.data(), raw.size()) != raw.size()) InvalidIcon();
  std::vector<TIconEntry> entries;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* e = raw.data() + i * kEntrySize;
    TIconEntry entry{e[0] ? e[0] : 256, e[1] ? e[1] : 256, GetLe16(e + 6), GetLe32(e + 8), GetLe32(e + 12)};
    // A picture must lie wholly behind the directory and inside the stream.
    if (entry.Size == 0 || entry.Offset < kDirectorySize + count * kEntrySize || entry.Size > available ||
        entry.Offset > available - static_cast<int64_t>(entry.Size))
      InvalidIcon();
    entries.push_back(entry);
  }
  return entries;
}

// Alpha blending onto black: what drawing a translucent pixel over the black background leaves.
uint8_t OverBlack(uint8_t value, uint8_t alpha) { return static_cast<uint8_t>((value * alpha + 127) / 255); }

void DecodePngEntry(TIconGraphic& image, const std::vector<uint8_t>& data) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  // The simplified interface keeps libpng's error jumps inside libpng and reports by result.
  if (!png_image_begin_read_from_memory(&png, data.data(), data.size())) InvalidIcon();
  struct TRelease {
    png_image& Png;
    ~TRelease() { png_image_free(&Png); }
  } release{png};
  png.format = PNG_FORMAT_BGRA;
  CheckImageSize(png.width, png.height, 32);
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) InvalidIcon();
  const int width = static_cast<int>(png.width), height = static_cast<int>(png.height);
  image.NewImageForOverwrite(width, height, TImageFormat::TrueColor, nullptr, 0, 0);
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = pixels.data() + static_cast<size_t>(y) * width * 4;
    uint8_t* dst = image.ScanLine(y);
    for (int x = 0; x < width; ++x, src += 4, dst += 3) {
      dst[0] = OverBlack(src[0], src[3]);
      dst[1] = OverBlack(src[1], src[3]);
      dst[2] = OverBlack(src[2], src[3]);
    }
    std::memset(dst, 0, static_cast<size_t>(image.BytesPerLine() - 3 * width));
  }
}

// A BMP-style picture: header with the doubled height, colour table, colour rows, then the mask.
// Drawn onto black the mask changes nothing (black AND mask is black, XOR the colour leaves the
// colour), so only the colour rows matter; 32-bit pictures with alpha are blended instead.
void DecodeBitmapEntry(TIconGraphic& image, const std::vector<uint8_t>& data) {
  if (data.size() < kInfoHeaderSize) InvalidIcon();
  const uint8_t* h = data.data();
  const uint32_t headerSize = GetLe32(h);
  const int32_t width = static_cast<int32_t>(GetLe32(h + 4));
  const int32_t doubledHeight = static_cast<int32_t>(GetLe32(h + 8));
  const int bits = GetLe16(h + 14);
  const uint32_t compression = GetLe32(h + 16);
  const uint32_t colorsUsed = GetLe32(h + 32);
  if (headerSize < kInfoHeaderSize || headerSize > data.size() || compression != 0) InvalidIcon();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) InvalidIcon();
  const int32_t height = doubledHeight / 2;
  if (width <= 0 || height <= 0) InvalidIcon();
  CheckImageSize(width, height, 24);

  const uint64_t colors = bits <= 8 ? (colorsUsed != 0 && colorsUsed < (1u << bits) ? colorsUsed : 1u << bits) : 0;
  const uint64_t rowBytes = static_cast<uint64_t>(RowBytes(width, bits));
  const uint64_t pixelOffset = headerSize + 4 * colors;
  if (pixelOffset > data.size() || rowBytes * static_cast<uint64_t>(height) > data.size() - pixelOffset) InvalidIcon();
  const uint8_t* table = h + headerSize;
  const uint8_t* pixels = h + pixelOffset;

  bool useAlpha = false;
  if (bits == 32)
    for (int32_t y = 0; y < height && !useAlpha; ++y)
      for (int32_t x = 0; x < width && !useAlpha; ++x)
        useAlpha = pixels[y * rowBytes + 4 * static_cast<uint64_t>(x) + 3] != 0;

  image.NewImage(width, height, TImageFormat::TrueColor, nullptr, 0, 0);
  const TPixelReader readIndex = bits <= 8 ? PixelReaderOf(bits) : nullptr;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* src = pixels + static_cast<uint64_t>(height - 1 - y) * rowBytes;
    uint8_t* dst = image.ScanLine(y);
    if (bits == 24) {
      std::memcpy(dst, src, 3 * static_cast<size_t>(width));
    } else if (bits == 32) {
      for (int32_t x = 0; x < width; ++x, src += 4, dst += 3) {
        const uint8_t alpha = useAlpha ? src[3] : 255;
        dst[0] = OverBlack(src[0], alpha);
        dst[1] = OverBlack(src[1], alpha);
        dst[2] = OverBlack(src[2], alpha);
      }
    } else {
      for (int32_t x = 0; x < width; ++x, dst += 3) {
        const uint32_t index = readIndex(src, x);
        if (index >= colors) continue;  // an index outside the table draws nothing
        std::memcpy(dst, table + 4 * index, 3);
      }
    }
  }
}

}  // namespace

void TIconGraphic::LoadImageFromStream(TStream& stream, int) {
  const int64_t start = stream.Position();
  const int64_t available = stream.Size() - start;
  const std::vector<TIconEntry> entries = ReadDirectory(stream, available);
  const TIconEntry& entry = ChooseEntry(entries);
  CheckBufferSize(entry.Size);
  std::vector<uint8_t> data(entry.Size);
  stream.Seek(start + entry.Offset, TSeekOrigin::soBeginning);
  if (stream.Read(data.data(), data.size()) != data.size()) InvalidIcon();
  static constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  try {
    if (data.size() >= 8 && std::memcmp(data.data(), kPngSignature, 8) == 0)
      DecodePngEntry(*this, data);
    else
      DecodeBitmapEntry(*this, data);
  } catch (...) {
    FreeImage();
    throw;
  }
}

void TIconGraphic::SaveToStream(TStream& stream) {
  constexpr int size = kStandardIconSize;
  const TDibPalette& palette = DefaultPalette(TImageFormat::Color16);
  TRgbToPaletteConverter nearest(&palette);
  const size_t rowBytes = static_cast<size_t>(RowBytes(size, kWrittenBits));
  const size_t maskRowBytes = static_cast<size_t>(RowBytes(size, 1));
  const uint32_t pictureBytes = static_cast<uint32_t>(kInfoHeaderSize + 4 * 16 + (rowBytes + maskRowBytes) * size);

  std::vector<uint8_t> file;
  AppendLe16(file, 0);
  AppendLe16(file, 1);  // an icon, not a cursor
  AppendLe16(file, 1);
  file.insert(file.end(), {static_cast<uint8_t>(size), static_cast<uint8_t>(size), 16, 0});
  AppendLe16(file, 1);
  AppendLe16(file, kWrittenBits);
  AppendLe32(file, pictureBytes);
  AppendLe32(file, static_cast<uint32_t>(kDirectorySize + kEntrySize));

  AppendLe32(file, kInfoHeaderSize);
  AppendLe32(file, size);
  AppendLe32(file, 2 * size);  // colour rows and mask rows
  AppendLe16(file, 1);
  AppendLe16(file, kWrittenBits);
  AppendLe32(file, 0);
  AppendLe32(file, static_cast<uint32_t>((rowBytes + maskRowBytes) * size));
  for (int i = 0; i < 4; ++i) AppendLe32(file, 0);
  for (int i = 0; i < 16; ++i)
    file.insert(file.end(), {palette.Entries[i].Blue, palette.Entries[i].Green, palette.Entries[i].Red, 0});

  // Colour rows bottom-up; pixels beyond the image stay index 0 (black).
  const int width = Empty() ? 0 : std::min(Width(), size);
  const int height = Empty() ? 0 : std::min(Height(), size);
  for (int row = size - 1; row >= 0; --row) {
    std::vector<uint8_t> line(rowBytes, 0);
    if (row < height)
      for (int x = 0; x < width; ++x)
        PixelWriterOf(kWrittenBits)(line.data(), x, static_cast<uint32_t>(nearest.PaletteIndexOf(GetPixel(x, row))));
    file.insert(file.end(), line.begin(), line.end());
  }
  file.insert(file.end(), maskRowBytes * size, 0);
  stream.WriteBuffer(file.data(), file.size());
}

}  // namespace quorvane
