#include "model/QvDiGrphRows.h"

#include <cstring>

void ReadRowIndices(const TDibGraphic& image, int y, int x0, int count, uint8_t* indices) {
  const uint8_t* row = image.ScanLine(y);
  switch (image.BitCount()) {
    case 1:
      for (int i = 0; i < count; ++i) {
        const int x = x0 + i;
        indices[i] = (row[x >> 3] >> (7 - (x & 7))) & 1;
      }
      break;
    case 4:
      for (int i = 0; i < count; ++i) {
        const int x = x0 + i;
        indices[i] = (x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4;
      }
      break;
    default: std::memcpy(indices, row + x0, static_cast<size_t>(count)); break;
  }
}

void WriteRowIndices(TDibGraphic& image, int y, int x0, int count, const uint8_t* indices) {
  uint8_t* row = image.ScanLine(y);
  switch (image.BitCount()) {
    case 1:
      for (int i = 0; i < count; ++i) {
        const int x = x0 + i;
        const auto mask = static_cast<uint8_t>(0x80u >> (x & 7));
        if (indices[i])
          row[x >> 3] |= mask;
        else
          row[x >> 3] &= static_cast<uint8_t>(~mask);
      }
      break;
    case 4:
      for (int i = 0; i < count; ++i) {
        const int x = x0 + i;
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (indices[i] & 0x0F))
                    : static_cast<uint8_t>((b & 0x0F) | ((indices[i] & 0x0F) << 4));
      }
      break;
    default: std::memcpy(row + x0, indices, static_cast<size_t>(count)); break;
  }
}

const uint8_t* RowAsBgr(const TDibGraphic& image, int y, int x0, int count, std::vector<uint8_t>& scratch) {
  if (image.ImageFormat() == TImageFormat::TrueColor) return image.ScanLine(y) + 3 * static_cast<ptrdiff_t>(x0);
  scratch.resize(4 * static_cast<size_t>(count));
  // Indices go to the back half of the scratch, triples to the front; they never overlap
  // because triple i is written after index i has been read.
  uint8_t* indices = scratch.data() + 3 * static_cast<size_t>(count);
  ReadRowIndices(image, y, x0, count, indices);
  const auto& entries = image.PaletteRecord().Entries;
  uint8_t* out = scratch.data();
  for (int i = 0; i < count; ++i) {
    const TPaletteEntry& e = entries[indices[i]];
    out[0] = e.Blue;
    out[1] = e.Green;
    out[2] = e.Red;
    out += 3;
  }
  return scratch.data();
}

void WriteBgrToRow(TDibGraphic& image, int y, int x0, int count, const uint8_t* bgr) {
  if (image.ImageFormat() == TImageFormat::TrueColor) {
    std::memcpy(image.ScanLine(y) + 3 * static_cast<ptrdiff_t>(x0), bgr, 3 * static_cast<size_t>(count));
    return;
  }
  TRgbToPaletteConverter& converter = *image.Converter();
  std::vector<uint8_t> indices(static_cast<size_t>(count));
  TColorValue previous = 0xFFFFFFFFu;
  uint8_t previousIndex = 0;
  for (int i = 0; i < count; ++i, bgr += 3) {
    const TColorValue c = PackColor(bgr[0], bgr[1], bgr[2]);
    if (c != previous) {
      previous = c;
      previousIndex = static_cast<uint8_t>(converter.PaletteIndexOf(c));
    }
    indices[static_cast<size_t>(i)] = previousIndex;
  }
  WriteRowIndices(image, y, x0, count, indices.data());
}

void ReadRowColors(const TDibGraphic& image, int y, TColorValue* colors) {
  const int width = image.Width();
  if (image.ImageFormat() == TImageFormat::TrueColor) {
    const uint8_t* p = image.ScanLine(y);
    for (int x = 0; x < width; ++x, p += 3) colors[x] = PackColor(p[0], p[1], p[2]);
    return;
  }
  std::vector<uint8_t> indices(static_cast<size_t>(width));
  ReadRowIndices(image, y, 0, width, indices.data());
  const auto& entries = image.PaletteRecord().Entries;
  for (int x = 0; x < width; ++x) colors[x] = entries[indices[static_cast<size_t>(x)]].Value();
}

void WriteRowColors(TDibGraphic& image, int y, const TColorValue* colors) {
  const int width = image.Width();
  if (image.ImageFormat() == TImageFormat::TrueColor) {
    uint8_t* p = image.ScanLine(y);
    for (int x = 0; x < width; ++x, p += 3) {
      p[0] = ColorByte0(colors[x]);
      p[1] = ColorByte1(colors[x]);
      p[2] = ColorByte2(colors[x]);
    }
    return;
  }
  TRgbToPaletteConverter& converter = *image.Converter();
  std::vector<uint8_t> indices(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x)
    indices[static_cast<size_t>(x)] = static_cast<uint8_t>(converter.PaletteIndexOf(colors[x]));
  WriteRowIndices(image, y, 0, width, indices.data());
}
