// Colour values, palette records, the default palettes and the nearest-entry lookup.
#pragma once

#include <array>
#include <cstdint>

namespace quorvane {

// The six pixel formats of an image.
enum class TImageFormat : uint8_t { BlackWhite = 0, Gray16 = 1, Gray256 = 2, Color16 = 3, Color256 = 4, TrueColor = 5 };

constexpr int kImageFormatCount = 6;

// A colour: bits 0-7 blue, 8-15 green, 16-23 red (the byte order of a pixel triple), 24-31 zero.
using TColorValue = uint32_t;

// Builds A or B shl 8 or C shl 16 from three bytes.
constexpr TColorValue PackColor(uint8_t a, uint8_t b, uint8_t c) {
  return static_cast<TColorValue>(a) | (static_cast<TColorValue>(b) << 8) | (static_cast<TColorValue>(c) << 16);
}
constexpr uint8_t ColorByte0(TColorValue c) { return static_cast<uint8_t>(c); }
constexpr uint8_t ColorByte1(TColorValue c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t ColorByte2(TColorValue c) { return static_cast<uint8_t>(c >> 16); }

// One palette entry in the byte order of a bitmap colour table.
struct TPaletteEntry {
  uint8_t Blue = 0;
  uint8_t Green = 0;
  uint8_t Red = 0;
  uint8_t Reserved = 0;

  constexpr TColorValue Value() const { return PackColor(Blue, Green, Red); }
  friend constexpr bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

constexpr TPaletteEntry EntryOf(TColorValue c) { return {ColorByte0(c), ColorByte1(c), ColorByte2(c), 0}; }

// A logical palette: version 0x300, the count of valid entries and room for 256.
struct TDibPalette {
  uint16_t Version = 0x300;
  uint16_t Count = 0;
  std::array<TPaletteEntry, 256> Entries{};
};
static_assert(sizeof(TDibPalette) == 1028, "the palette record has the platform's layout");

// The default palette of each palette format (the entry for TrueColor is empty).
const TDibPalette& DefaultPalette(TImageFormat format);

// White, the colour that uncovered pixels of an any-angle rotation take.
constexpr TColorValue BackgroundColor = PackColor(0xFF, 0xFF, 0xFF);
// The display gamma handed to gamma-correcting readers.
constexpr double ScreenGamma = 2.2;

// Finds the nearest palette entry of a colour, with a 1020-slot cache in front of the linear
// search. It references the palette (never copies it): the owner keeps the record alive and
// unchanged. Not for use by two threads at once: lookups write the cache.
class TRgbToPaletteConverter {
 public:
  explicit TRgbToPaletteConverter(const TDibPalette* palette);
  // Index 0..Count-1 of the nearest entry (squared distance, ties to the lowest index);
  // 0 for a palette without entries.
  int16_t PaletteIndexOf(TColorValue color);

 private:
  static constexpr uint32_t kSlots = 1020;
  struct TSlot {
    TColorValue Color;
    int16_t Index;
  };
  const TDibPalette* FPalette;
  std::array<TSlot, kSlots> FCache;
};

}  // namespace quorvane
