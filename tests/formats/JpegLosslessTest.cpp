// Lossless JPEG turns without peers: the algebra of the eight turns against the pixel transforms
// and AutoOrient, the quarter turns of a rotation angle, the turned file's markers, and files that
// must not be copied on. tests/interop/TestJpegLosslessInterop.cpp compares the pixels with
// jpegtran's.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "FormatTestUtil.h"
#include "formats/QvExif.h"
#include "formats/QvJpegLossless.h"
#include "formats/QvJpgGr.h"
#include "formats/QvOrient.h"
#include "transforms/QvTransfGeometry.h"

using namespace quorvane;
using namespace qvtest;

namespace {

// Image turned by the library's pixel transforms: the two diagonals as a quarter turn and a flip.
std::unique_ptr<TDibGraphic> Turned(const TDibGraphic& image, TDihedral turn) {
  auto result = std::make_unique<TDibGraphic>();
  result->Assign(&image);
  const auto apply = [&](TImageTransform&& transform) { transform.ApplyOnDest(*result, *result); };
  const auto rotate = [&](double angle) {
    TRotateTransform rotation;
    rotation.Angle = angle;
    apply(std::move(rotation));
  };
  switch (turn) {
    case TDihedral::Identity: break;
    case TDihedral::FlipHorizontal: apply(TFlipHorizontalTransform()); break;
    case TDihedral::FlipVertical: apply(TFlipVerticalTransform()); break;
    case TDihedral::Rotate90: rotate(90); break;
    case TDihedral::Rotate180: rotate(180); break;
    case TDihedral::Rotate270: rotate(270); break;
    case TDihedral::Transpose:
      rotate(90);
      apply(TFlipHorizontalTransform());
      break;
    case TDihedral::Transverse:
      rotate(90);
      apply(TFlipVerticalTransform());
      break;
  }
  return result;
}

// The JPEG with an APP1 segment holding Payload inserted after its start-of-image marker.
Bytes WithApp1(const Bytes& jpeg, const Bytes& payload) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  Append(out, {0xFF, 0xE1, int((payload.size() + 2) >> 8), int((payload.size() + 2) & 0xFF)});
  out.insert(out.end(), payload.begin(), payload.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// An APP1 payload with an EXIF block that holds only an orientation.
Bytes ExifOrientationPayload(uint16_t orientation) {
  Bytes payload{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0};
  Put32(payload, 8);
  Put16(payload, 1);
  Append(payload, {0x12, 0x01, 3, 0, 1, 0, 0, 0, orientation, 0, 0, 0});
  Put32(payload, 0);
  return payload;
}

// 5 x 3, every pixel different: no symmetry hides a wrong turn.
std::unique_ptr<TDibGraphic> Asymmetric() {
  auto image = std::make_unique<TDibGraphic>();
  MakeImage(*image, TImageFormat::TrueColor, 5, 3, 7);
  return image;
}

}  // namespace

TEST(JpegLossless, TurnsComposeAsThePixelTransforms) {
  const auto image = Asymmetric();
  // The diagonals as named: transposition puts pixel (x, y) at (y, x), the other diagonal at
  // (h - 1 - y, w - 1 - x).
  const auto transposed = Turned(*image, TDihedral::Transpose);
  const auto transversed = Turned(*image, TDihedral::Transverse);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(transposed->GetPixel(y, x), image->GetPixel(x, y));
      EXPECT_EQ(transversed->GetPixel(2 - y, 4 - x), image->GetPixel(x, y));
    }
  for (TDihedral first : kEveryTurn)
    for (TDihedral then : kEveryTurn) {
      SCOPED_TRACE(testing::Message() << int(first) << " then " << int(then));
      EXPECT_TRUE(qvtest::SameImage(*Turned(*Turned(*image, first), then), *Turned(*image, Compose(first, then))));
    }
  for (TDihedral turn : kEveryTurn) {
    SCOPED_TRACE(int(turn));
    EXPECT_EQ(Compose(turn, Inverse(turn)), TDihedral::Identity);
    EXPECT_EQ(SwapsSides(turn), Turned(*image, turn)->Width() == 3);
  }
}

// The turn a lossless save makes for a photo's orientation is the one AutoOrient made: the pixels
// of the file are turned exactly as the picture shown was.
TEST(JpegLossless, UprightTurnIsAutoOrientsTurn) {
  const auto image = Asymmetric();
  for (uint16_t orientation = 0; orientation <= 9; ++orientation) {
    SCOPED_TRACE(orientation);
    TDibGraphic oriented;
    oriented.Assign(image.get());
    oriented.Metadata().Orientation = orientation;
    AutoOrient(oriented);
    EXPECT_TRUE(qvtest::SameImage(oriented, *Turned(*image, UprightTurn(orientation))));
  }
}

TEST(JpegLossless, QuarterTurnsOfAnAngle) {
  const struct {
    double Angle;
    int Turns;
  } cases[] = {{0, 0},      {90, 1},      {180, 2}, {270, 3}, {360, 0},       {-90, 3},         {450, 1},
               {90.004, 1}, {90.005, -1}, {45, -1}, {1, -1},  {89.999999, 1}, {std::nan(""), 0}};
  for (const auto& c : cases) {
    TRotateTransform rotation;
    rotation.Angle = c.Angle;
    EXPECT_EQ(rotation.QuarterTurns(), c.Turns) << c.Angle;
  }
}

TEST(JpegLossless, RefusesWhatItCannotTurnCleanly) {
  TJpegGraphic source;
  MakeImage(source, TImageFormat::TrueColor, 32, 16);
  const Bytes jpeg = SavedBytes(source);
  // Cut inside the coded data: the damaged file is not copied on.
  const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<ptrdiff_t>(jpeg.size() * 2 / 3));
  const struct {
    const char* Name;
    Bytes File;
  } cases[] = {{"empty", {}},
               {"not a JPEG", Bytes(200, 0x55)},
               {"header only", Bytes(jpeg.begin(), jpeg.begin() + 2)},
               {"cut short", cut}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const TLosslessJpeg result = TransformJpegLossless(c.File, TDihedral::Rotate90);
    EXPECT_EQ(result.Result, TLosslessJpegResult::NotTransformable);
    EXPECT_TRUE(result.Bytes.empty());
  }
  // The whole file turns; a turn needing whole blocks where the size has none is refused as such.
  const TLosslessJpeg whole = TransformJpegLossless(jpeg, TDihedral::Rotate90);
  ASSERT_EQ(whole.Result, TLosslessJpegResult::Done) << whole.Problem;
  EXPECT_EQ(whole.Width, 16);
  EXPECT_EQ(whole.Height, 32);
  MakeImage(source, TImageFormat::TrueColor, 33, 17);
  const TLosslessJpeg partial = TransformJpegLossless(SavedBytes(source), TDihedral::Rotate180);
  EXPECT_EQ(partial.Result, TLosslessJpegResult::PartialBlocks);
  EXPECT_EQ(partial.Width, 33);
}

// The turned file's EXIF block says orientation 1 (a block that cannot is dropped); the JFIF
// density follows the sides.
TEST(JpegLossless, TurnedFileMarkersTellTheTruth) {
  TJpegGraphic source;
  MakeImage(source, TImageFormat::TrueColor, 32, 16);
  source.SetXDpi(72);
  source.SetYDpi(144);
  const Bytes jpeg = WithApp1(SavedBytes(source), ExifOrientationPayload(6));

  for (TDihedral turn : kEveryTurn) {
    SCOPED_TRACE(int(turn));
    const TLosslessJpeg result = TransformJpegLossless(jpeg, turn);
    ASSERT_EQ(result.Result, TLosslessJpegResult::Done) << result.Problem;
    TJpegGraphic read;
    ReadFromBytes(result.Bytes, read);
    EXPECT_EQ(read.Width(), result.Width);
    EXPECT_EQ(read.Height(), result.Height);
    EXPECT_TRUE(read.Metadata().HasExif);
    EXPECT_EQ(read.Metadata().Orientation, 1);
    EXPECT_EQ(read.XDpi(), SwapsSides(turn) ? 144 : 72);
    EXPECT_EQ(read.YDpi(), SwapsSides(turn) ? 72 : 144);
  }
}

// The orientation found in the file is the one the JPEG reader found: the first EXIF segment
// counts, other APP1 segments do not, a damaged block says 1; markers that cannot be followed
// give none.
TEST(JpegLossless, FileOrientationIsTheReadersOrientation) {
  TJpegGraphic source;
  MakeImage(source, TImageFormat::TrueColor, 16, 8);
  const Bytes plain = SavedBytes(source);
  const Bytes xmp{'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0};
  const Bytes damaged{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0xFF};
  const struct {
    const char* Name;
    Bytes File;
  } cases[] = {
      {"none", plain},
      {"3", WithApp1(plain, ExifOrientationPayload(3))},
      {"6", WithApp1(plain, ExifOrientationPayload(6))},
      {"8", WithApp1(plain, ExifOrientationPayload(8))},
      {"other APP1 first", WithApp1(WithApp1(plain, ExifOrientationPayload(5)), xmp)},
      {"first of two", WithApp1(WithApp1(plain, ExifOrientationPayload(2)), ExifOrientationPayload(7))},
      {"damaged", WithApp1(plain, damaged)},
      {"out of range", WithApp1(plain, ExifOrientationPayload(9))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TJpegGraphic read;
    ReadFromBytes(c.File, read);
    EXPECT_EQ(JpegFileOrientation(c.File), read.Metadata().Orientation);
  }
  EXPECT_EQ(JpegFileOrientation(WithApp1(plain, ExifOrientationPayload(7))), 7);
  // Cut inside a segment, or not a JPEG.
  EXPECT_EQ(JpegFileOrientation(Bytes(plain.begin(), plain.begin() + 10)), std::nullopt);
  EXPECT_EQ(JpegFileOrientation(Bytes(100, 0)), std::nullopt);
}
