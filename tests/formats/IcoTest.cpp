// The icon image: what it writes (one 32 x 32 4-bit picture with an opaque mask), which picture
// it reads from a file of several, how transparency ends up black, and malformed directories.
#include <functional>

#include "FormatTestUtil.h"
#include "formats/QvIcoGr.h"
#include "support/PngBytes.h"

using namespace qvtest;

namespace {

struct TPicture {
  int Width, Height, Bits;
  Bytes Data;  // header, colour table, colour rows, mask rows
};

// A BMP-style icon picture whose pixel (x, y) has the colour table index or BGRA value Pixel(x, y).
TPicture BitmapPicture(int w, int h, int bits, const std::function<uint32_t(int, int)>& pixel) {
  TPicture p{w, h, bits, {}};
  Bytes& b = p.Data;
  Put32(b, 40);
  Put32(b, static_cast<uint32_t>(w));
  Put32(b, static_cast<uint32_t>(2 * h));
  Put16(b, 1);
  Put16(b, static_cast<unsigned>(bits));
  for (int i = 0; i < 6; ++i) Put32(b, 0);
  if (bits <= 8)
    for (int i = 0; i < (1 << bits); ++i) Append(b, {i, 2 * i & 0xFF, 3 * i & 0xFF, 0});
  const size_t rowBytes = static_cast<size_t>(RowBytes(w, bits));
  for (int y = h - 1; y >= 0; --y) {
    Bytes row(rowBytes, 0);
    for (int x = 0; x < w; ++x) {
      const uint32_t v = pixel(x, y);
      if (bits == 32)
        for (int k = 0; k < 4; ++k) row[4 * x + k] = static_cast<uint8_t>(v >> (8 * k));
      else if (bits == 24)
        for (int k = 0; k < 3; ++k) row[3 * x + k] = static_cast<uint8_t>(v >> (8 * k));
      else
        PixelWriterOf(bits)(row.data(), x, v);
    }
    b.insert(b.end(), row.begin(), row.end());
  }
  b.insert(b.end(), static_cast<size_t>(RowBytes(w, 1)) * h, 0xFF);  // mask: all transparent
  return p;
}

TPicture PngPicture(int w, int h, const std::function<uint32_t(int, int)>& bgra) {
  Bytes rgba;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t v = bgra(x, y);
      Append(rgba, {static_cast<int>(v >> 16 & 0xFF), static_cast<int>(v >> 8 & 0xFF), static_cast<int>(v & 0xFF),
                    static_cast<int>(v >> 24)});
    }
  TPicture p{w, h, 32, qvtest::RgbaPng(w, h, rgba)};
  EXPECT_FALSE(p.Data.empty());
  return p;
}

Bytes IconFile(const std::vector<TPicture>& pictures) {
  Bytes b;
  Put16(b, 0);
  Put16(b, 1);
  Put16(b, static_cast<unsigned>(pictures.size()));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * pictures.size());
  for (const TPicture& p : pictures) {
    Append(b, {p.Width & 0xFF, p.Height & 0xFF, 0, 0});
    Put16(b, 1);
    Put16(b, static_cast<unsigned>(p.Bits));
    Put32(b, static_cast<uint32_t>(p.Data.size()));
    Put32(b, offset);
    offset += static_cast<uint32_t>(p.Data.size());
  }
  for (const TPicture& p : pictures) b.insert(b.end(), p.Data.begin(), p.Data.end());
  return b;
}

void ReadIcon(TIconGraphic& icon, const Bytes& file) {
  TMemoryStream stream(file);
  icon.LoadFromStream(stream);
}

Bytes WriteIcon(const TDibGraphic& image) {
  TIconGraphic icon;
  icon.Assign(&image);
  TMemoryStream stream;
  icon.SaveToStream(stream);
  return stream.Data();
}

bool IsStandardColor(TColorValue c) {
  const TDibPalette& p = DefaultPalette(TImageFormat::Color16);
  for (int i = 0; i < 16; ++i)
    if (p.Entries[i].Value() == c) return true;
  return false;
}

TEST(Icon, WritesOneStandardPictureOfTheTopLeftPixels) {
  for (const auto& [w, h] : {std::pair{100, 80}, std::pair{16, 16}}) {
    SCOPED_TRACE(w);
    TDibGraphic source;
    MakeImage(source, TImageFormat::TrueColor, w, h, 5);
    const Bytes file = WriteIcon(source);
    ASSERT_EQ(file.size(), 6u + 16 + 40 + 64 + 32 * 16 + 32 * 4);
    EXPECT_EQ(Get16(file, 4), 1);         // one picture
    EXPECT_EQ(file[6], 32);               // 32 x 32
    EXPECT_EQ(Get16(file, 12), 4);        // 4 bits
    EXPECT_EQ(Get32(file, 18), 22u);      // right behind the directory
    EXPECT_EQ(Get32(file, 22 + 8), 64u);  // colour and mask rows
    for (size_t i = file.size() - 128; i < file.size(); ++i) ASSERT_EQ(file[i], 0) << "mask byte " << i;

    TIconGraphic back;
    ReadIcon(back, file);
    ASSERT_EQ(back.Width(), 32);
    ASSERT_EQ(back.Height(), 32);
    EXPECT_EQ(back.ImageFormat(), TImageFormat::TrueColor);
    TRgbToPaletteConverter nearest(&DefaultPalette(TImageFormat::Color16));
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 32; ++x) {
        const TColorValue c = back.GetPixel(x, y);
        ASSERT_TRUE(IsStandardColor(c));
        const TColorValue expected =
            x < w && y < h
                ? DefaultPalette(TImageFormat::Color16).Entries[nearest.PaletteIndexOf(source.GetPixel(x, y))].Value()
                : 0;
        ASSERT_EQ(c, expected) << x << "," << y;
      }
  }
}

TEST(Icon, ReadsThePictureNearestTheStandardSizeDeepestFirst) {
  const auto flat = [](uint32_t v) { return [v](int, int) { return v; }; };
  const struct {
    const char* Name;
    std::vector<TPicture> Pictures;
    int Width;
    TColorValue Pixel;
  } cases[] = {
      {"sizes 16, 32, 48",
       {BitmapPicture(16, 16, 8, flat(1)), BitmapPicture(32, 32, 24, flat(0x123456)),
        BitmapPicture(48, 48, 32, flat(0xFF010203))},
       32,
       0x123456},
      {"two 32 x 32 depths",
       {BitmapPicture(32, 32, 4, flat(3)), BitmapPicture(32, 32, 32, flat(0xFF0A0B0C))},
       32,
       0x0A0B0C},
      {"no standard size",
       {BitmapPicture(64, 64, 1, flat(1)), BitmapPicture(24, 24, 8, flat(2))},
       24,
       PackColor(2, 4, 6)},
      {"PNG entry", {BitmapPicture(16, 16, 8, flat(1)), PngPicture(32, 32, flat(0xFF102030))}, 32, 0x102030},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TIconGraphic icon;
    ReadIcon(icon, IconFile(c.Pictures));
    EXPECT_EQ(icon.Width(), c.Width);
    EXPECT_EQ(icon.GetPixel(c.Width - 1, c.Width - 1), c.Pixel);
  }
}

TEST(Icon, TransparentAreasBecomeBlack) {
  // Left half transparent, right half opaque, one column half covered.
  const auto bgra = [](int x, int) -> uint32_t { return x < 4 ? 0x00FFFFFF : x == 4 ? 0x80FF8040 : 0xFF204060; };
  for (const TPicture& picture : {BitmapPicture(8, 8, 32, bgra), PngPicture(8, 8, bgra)}) {
    SCOPED_TRACE(picture.Data[0] == 0x89 ? "PNG" : "BMP");
    TIconGraphic icon;
    ReadIcon(icon, IconFile({picture}));
    EXPECT_EQ(icon.GetPixel(0, 3), 0u);
    EXPECT_EQ(icon.GetPixel(4, 3), PackColor(0x20, 0x40, 0x80));
    EXPECT_EQ(icon.GetPixel(7, 3), 0x204060u);
  }
  // A 32-bit picture whose alpha is zero throughout has no alpha: the mask decides, and drawn
  // onto black the colours show.
  TIconGraphic icon;
  ReadIcon(icon, IconFile({BitmapPicture(4, 4, 32, [](int, int) { return 0x00336699u; })}));
  EXPECT_EQ(icon.GetPixel(1, 1), 0x336699u);
}

// Every bit count at widths around byte and word boundaries: a picture needs its header, colour
// table and colour rows and no more (the mask rows may be missing); one byte fewer is refused.
TEST(Icon, EveryBitCountReadsItsColourRowsAndNoMore) {
  for (int bits : {1, 4, 8, 24, 32})
    for (int w : {1, 2, 3, 5, 16, 17, 33}) {
      SCOPED_TRACE(testing::Message() << bits << " bits, width " << w);
      constexpr int h = 3;
      const auto pixel = [bits](int x, int y) -> uint32_t {
        return bits <= 8 ? static_cast<uint32_t>((x * 3 + y) % (1 << bits)) : 0xFF000000u | (x * 40 + y * 7 + 1);
      };
      TPicture picture = BitmapPicture(w, h, bits, pixel);
      const size_t colours = bits <= 8 ? size_t{1} << bits : 0;
      picture.Data.resize(40 + 4 * colours + static_cast<size_t>(RowBytes(w, bits)) * h);
      TIconGraphic icon;
      ReadIcon(icon, IconFile({picture}));
      ASSERT_EQ(icon.Width(), w);
      ASSERT_EQ(icon.Height(), h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const uint32_t v = pixel(x, y);
          // Table entry i of BitmapPicture is (blue i, green 2i, red 3i).
          const TColorValue expected =
              bits <= 8 ? PackColor(static_cast<uint8_t>(v), static_cast<uint8_t>(2 * v), static_cast<uint8_t>(3 * v))
                        : v & 0xFFFFFF;
          ASSERT_EQ(icon.GetPixel(x, y), expected) << x << "," << y;
        }
      picture.Data.pop_back();
      EXPECT_EQ(MessageOf<EIconError>([&] { ReadIcon(icon, IconFile({picture})); }), "Invalid icon");
    }
}

TEST(Icon, MalformedFilesAreRefused) {
  const Bytes good = IconFile({BitmapPicture(8, 8, 4, [](int x, int) { return x; })});
  const auto patched = [&](size_t at, std::initializer_list<int> bytes) {
    Bytes b = good;
    for (int v : bytes) b[at++] = static_cast<uint8_t>(v);
    return b;
  };
  const struct {
    const char* Name;
    Bytes File;
  } cases[] = {
      {"empty", {}},
      {"cut in the directory", Bytes(good.begin(), good.begin() + 12)},
      {"no pictures", patched(4, {0, 0})},
      {"type 3", patched(2, {3, 0})},
      {"count beyond the file", patched(4, {0xFF, 0x7F})},
      {"offset beyond the file", patched(18, {0xFF, 0xFF, 0, 0})},
      {"offset inside the directory", patched(18, {2, 0, 0, 0})},
      {"size beyond the file", patched(14, {0, 0, 1, 0})},
      {"size zero", patched(14, {0, 0, 0, 0})},
      {"found by fuzzing: size zero", FileBytes(RegressionFile("ico-entry-size-zero.ico"))},
      {"picture cut short", Bytes(good.begin(), good.end() - 100)},
      {"bit count 2", patched(22 + 14, {2, 0})},
      {"compressed picture", patched(22 + 16, {1, 0})},
      {"header size beyond the picture", patched(22, {0, 0, 1, 0})},
      {"zero width", patched(22 + 4, {0, 0, 0, 0})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TIconGraphic icon;
    EXPECT_EQ(MessageOf<EIconError>([&]() { ReadIcon(icon, c.File); }), "Invalid icon");
    EXPECT_TRUE(icon.Empty());
  }
}

}  // namespace
