// Embedded colour profiles through the three formats that hold them.
#include <cstring>
#include <functional>

#include "FormatTestUtil.h"
#include "formats/QvJpgGr.h"
#include "formats/QvPngGr.h"
#include "formats/QvTifGr.h"
#include "model/QvIccProfile.h"
#include "support/TestProfiles.h"

using namespace qvtest;

namespace {

using TFactory = std::function<std::unique_ptr<TDibGraphic>()>;

template <class T>
TFactory Make() {
  return [] { return std::make_unique<T>(); };
}

// A profile that passes the byte checks and is Size bytes long (JPEG and TIFF keep the bytes
// without reading them; libpng checks what it writes, so PNG cases use real profiles).
Bytes LargeProfile(size_t size) {
  Bytes p = qvtest::WideGamutProfile();
  p.resize(size, 0x5A);
  p[0] = static_cast<uint8_t>(size >> 24);
  p[1] = static_cast<uint8_t>(size >> 16);
  p[2] = static_cast<uint8_t>(size >> 8);
  p[3] = static_cast<uint8_t>(size);
  return p;
}

std::unique_ptr<TDibGraphic> ReadBack(const TFactory& make, const Bytes& bytes) {
  std::unique_ptr<TDibGraphic> image = make();
  ReadFromBytes(bytes, *image);
  return image;
}

// Offsets of the APP2 segments of a JPEG file (before its image data).
std::vector<size_t> App2Segments(const Bytes& jpeg) {
  std::vector<size_t> found;
  for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA;) {
    if (jpeg[at + 1] == 0xE2) found.push_back(at);
    at += 2 + (size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
  }
  return found;
}

}  // namespace

TEST(IccProfile, RoundTripsWhereTheFormatHoldsIt) {
  const Bytes wide = qvtest::WideGamutProfile(), gray = qvtest::GrayProfile(1.8);
  const struct {
    const char* Name;
    TFactory Create;
    TImageFormat Format;
    Bytes Profile;
    bool Kept;
  } cases[] = {
      {"JPEG colour", Make<TJpegGraphic>(), TImageFormat::TrueColor, wide, true},
      {"JPEG gray", Make<TJpegGraphic>(), TImageFormat::Gray256, gray, true},
      {"JPEG gray with colour profile", Make<TJpegGraphic>(), TImageFormat::Gray256, wide, false},
      {"JPEG in 3 chunks", Make<TJpegGraphic>(), TImageFormat::TrueColor, LargeProfile(2 * kIccJpegChunkData + 7),
       true},
      {"PNG colour", Make<TPngGraphic>(), TImageFormat::TrueColor, wide, true},
      {"PNG palette", Make<TPngGraphic>(), TImageFormat::Color256, wide, true},
      {"PNG gray", Make<TPngGraphic>(), TImageFormat::Gray256, gray, true},
      {"PNG gray with colour profile", Make<TPngGraphic>(), TImageFormat::Gray256, wide, false},
      {"TIFF colour", Make<TTiffGraphic>(), TImageFormat::TrueColor, wide, true},
      {"TIFF 16 colours", Make<TTiffGraphic>(), TImageFormat::Color16, wide, true},
      {"TIFF black and white", Make<TTiffGraphic>(), TImageFormat::BlackWhite, gray, true},
      {"TIFF large", Make<TTiffGraphic>(), TImageFormat::TrueColor, LargeProfile(300000), true},
      {"TIFF colour with gray profile", Make<TTiffGraphic>(), TImageFormat::TrueColor, gray, false},
  };
  for (const auto& c : cases) {
    std::unique_ptr<TDibGraphic> image = c.Create();
    // The formats' own palettes, so that gray pictures are written as gray.
    image->NewImage(9, 5, c.Format, nullptr, 0, 0);
    FillPattern(*image);
    image->SetIccProfile(c.Profile);
    std::unique_ptr<TDibGraphic> back = ReadBack(c.Create, SavedBytes(*image));
    EXPECT_EQ(back->IccProfile(), c.Kept ? c.Profile : Bytes{}) << c.Name;
    EXPECT_TRUE(back->Warnings().empty()) << c.Name;
    // A file without a profile read into the same object leaves none behind.
    std::unique_ptr<TDibGraphic> plain = c.Create();
    MakeImage(*plain, c.Format, 3, 3);
    ReadFromBytes(SavedBytes(*plain), *back);
    EXPECT_FALSE(back->HasIccProfile()) << c.Name;
  }
}

// Damaged chunk sequences in a JPEG: the picture still reads, the profile is dropped with a
// warning.
TEST(IccProfile, DamagedJpegChunksAreDroppedWithAWarning) {
  TJpegGraphic image;
  MakeImage(image, TImageFormat::TrueColor, 8, 8);
  image.SetIccProfile(LargeProfile(kIccJpegChunkData + 500));
  const Bytes good = SavedBytes(image);
  const std::vector<size_t> segments = App2Segments(good);
  ASSERT_EQ(segments.size(), 2u);

  Bytes missing = good;  // the second chunk removed
  const size_t length = 2 + (size_t{good[segments[1] + 2]} << 8 | good[segments[1] + 3]);
  missing.erase(missing.begin() + static_cast<ptrdiff_t>(segments[1]),
                missing.begin() + static_cast<ptrdiff_t>(segments[1] + length));
  Bytes renumbered = good;  // both chunks claim number 1
  renumbered[segments[1] + 4 + 12] = 1;
  Bytes broken = good;  // the signature inside the profile
  broken[segments[0] + 4 + 14 + 36] = 'x';

  for (const Bytes* bytes : {&missing, &renumbered, &broken}) {
    TJpegGraphic back;
    ReadFromBytes(*bytes, back);
    EXPECT_EQ(back.Width(), 8);
    EXPECT_FALSE(back.HasIccProfile());
    ASSERT_EQ(back.Warnings().size(), 1u);
    EXPECT_NE(back.Warnings()[0].find("colour profile was ignored"), std::string::npos) << back.Warnings()[0];
  }
}

// Every page of a TIFF keeps its own profile, and the shown frame carries the current page's.
TEST(IccProfile, TiffPagesKeepTheirOwnProfiles) {
  const Bytes wide = qvtest::WideGamutProfile(), srgb = qvtest::SrgbProfile();
  TMemoryStream stream;
  TTiffGraphic first, second;
  MakeImage(first, TImageFormat::TrueColor, 4, 4);
  MakeImage(second, TImageFormat::TrueColor, 5, 5);
  first.SetIccProfile(wide);
  second.SetIccProfile(srgb);
  first.AppendToStream(stream);
  second.AppendToStream(stream);
  TTiffGraphic all;
  all.SetMultiImage(true);
  stream.SetPosition(0);
  all.LoadFromStream(stream);
  ASSERT_EQ(all.FrameCount(), 2);
  EXPECT_EQ(all.GetFrame(1).IccProfile(), wide);
  EXPECT_EQ(all.GetFrame(2).IccProfile(), srgb);
  EXPECT_EQ(all.IccProfile(), wide);
  all.SetCurrentFrame(2);
  EXPECT_EQ(all.IccProfile(), srgb);
}
