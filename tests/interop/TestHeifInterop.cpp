// HEIC and AVIF files made by heif-enc (and by libheif's encoder where heif-enc has no option for
// it) read through the picture loader with the pixels heif-convert writes: exactly for 8-bit
// pictures, and for deeper ones exactly the rounded scaling of heif-convert's samples. Rotations
// and mirrorings (irot, imir) are applied once; an Exif orientation is not applied on top.
#include <libheif/heif.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "formats/QvHeifLayout.h"
#include "interop/InteropSupport.h"
#include "platform/QvQtPictureLoader.h"

using namespace quorvane;
using namespace qvtest;

namespace {

bool HavePeers() {
  return HaveImageMagick() && access("/usr/bin/heif-enc", X_OK) == 0 && access("/usr/bin/heif-convert", X_OK) == 0;
}

#define QV_REQUIRE_HEIF_PEERS() \
  if (!HavePeers()) GTEST_SKIP() << "heif-enc, heif-convert or ImageMagick is not installed"

bool RunPeer(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::unique_ptr<TDibGraphic> Load(const std::string& file) { return TQtPictureLoader().LoadFromFile(file, true); }

// heif-convert's PNG of File, as 16-bit samples (alpha left out).
std::vector<uint16_t> PeerSamples16(const std::string& file, int width, int height) {
  const std::string png = file + ".peer.png", dump = file + ".peer.rgb16";
  if (!RunPeer("heif-convert " + file + " " + png) || !Convert(png + " -alpha off -depth 16 -endian MSB rgb:" + dump)) {
    ADD_FAILURE() << "heif-convert or ImageMagick failed on " << file;
    return {};
  }
  const std::vector<uint8_t> bytes = FileBytes(dump);
  std::vector<uint16_t> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
  if (samples.size() != static_cast<size_t>(width) * height * 3)
    ADD_FAILURE() << "heif-convert's picture has another size";
  return samples;
}

// heif-convert keeps Bits significant bits at the top of its 16-bit PNG samples; the loader
// scales them to 8 bits with rounding.
TRgbPicture ScaledToEightBits(const std::vector<uint16_t>& samples, int width, int height, int bits) {
  TRgbPicture picture{width, height, std::vector<uint8_t>(samples.size())};
  const uint32_t maximum = (1u << bits) - 1;
  for (size_t i = 0; i < samples.size(); ++i) {
    const uint32_t v = samples[i] >> (16 - bits);
    picture.Rgb[i] = static_cast<uint8_t>((v * 255 + maximum / 2) / maximum);
  }
  return picture;
}

int MaxDifference(const TRgbPicture& a, const TRgbPicture& b) {
  if (a.Rgb.size() != b.Rgb.size()) return 256;
  int worst = 0;
  for (size_t i = 0; i < a.Rgb.size(); ++i) worst = std::max(worst, std::abs(a.Rgb[i] - b.Rgb[i]));
  return worst;
}

TEST(HeifInterop, HeifEncFilesReadWithHeifConvertsPixels) {
  QV_REQUIRE_HEIF_PEERS();
  TScratchFolder dir;
  constexpr int kWidth = 61, kHeight = 29;
  const std::string ppm = dir / "source.ppm";
  WritePpm(ppm, TestPicture(kWidth, kHeight, 5));
  ASSERT_TRUE(Convert(ppm + " -depth 8 PNG24:" + (dir / "rgb8.png")));
  ASSERT_TRUE(Convert(ppm + " -depth 16 PNG48:" + (dir / "rgb16.png")));
  ASSERT_TRUE(Convert(ppm + " -colorspace gray -depth 8 PNG8:" + (dir / "gray.png")));
  ASSERT_TRUE(Convert(ppm + " -alpha set -channel A -fx 'i/w' +channel -depth 8 PNG32:" + (dir / "rgba.png")));
  const struct {
    const char* Name;
    const char* Source;
    const char* Options;
    const char* Extension;
    int Bits;
  } cases[] = {
      {"HEIC 8-bit", "rgb8.png", "-q 80", "heic", 8},
      {"HEIC 8-bit gray", "gray.png", "-q 80", "heic", 8},
      {"HEIC 8-bit alpha", "rgba.png", "-q 80", "heic", 8},
      // heif-enc's lossless mode still moves some samples by one level; heif-convert reads the same.
      {"HEIC 4:4:4 lossless", "rgb8.png", "-L -p chroma=444 --matrix_coefficients=0", "heic", 8},
      {"HEIC 10-bit", "rgb16.png", "-q 80 -b 10", "heic", 10},
      {"HEIC 12-bit", "rgb16.png", "-q 80 -b 12", "heic", 12},
      {"AVIF 8-bit", "rgb8.png", "-q 80", "avif", 8},
      {"AVIF 8-bit 4:4:4", "rgb8.png", "-q 80 -p chroma=444", "avif", 8},
      {"AVIF 8-bit alpha", "rgba.png", "-q 80", "avif", 8},
      {"AVIF 4:4:4 lossless", "rgb8.png", "-L -p chroma=444 --matrix_coefficients=0", "avif", 8},
      {"AVIF 10-bit 4:2:2", "rgb16.png", "-q 80 -b 10 -p chroma=422", "avif", 10},
      {"AVIF 12-bit", "rgb16.png", "-q 80 -b 12", "avif", 12},
  };
  std::printf("| format | maker | pixels compared | max difference (ours vs heif-convert, ImageMagick 8-bit) |\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = dir / (std::string("picture.") + c.Extension);
    ASSERT_TRUE(RunPeer(std::string("heif-enc ") + c.Options + " " + (dir / c.Source) + " -o " + file));
    const std::unique_ptr<TDibGraphic> image = Load(file);
    ASSERT_EQ(image->ImageFormat(), TImageFormat::TrueColor);
    const TRgbPicture ours = OurPixels(*image);
    const std::vector<uint16_t> samples = PeerSamples16(file, kWidth, kHeight);
    const TRgbPicture expected = ScaledToEightBits(samples, kWidth, kHeight, c.Bits);
    EXPECT_TRUE(SamePixels(ours, expected));
    // ImageMagick's own 8 bits of the same samples round differently by at most one.
    const int magick = MaxDifference(ours, MagickPixels(file + ".peer.png", kWidth, kHeight, "-alpha off"));
    EXPECT_LE(magick, c.Bits == 8 ? 0 : 1);
    std::printf("| %s | heif-enc %s | %d x %d x 3 | %d, %d |\n", c.Name, c.Options, kWidth, kHeight,
                MaxDifference(ours, expected), magick);
  }
}

// A picture written through libheif's encoder with the rotation and mirroring of an Exif
// Orientation value (irot, imir) and an Exif block that claims another orientation.
void WriteOriented(const std::string& file, const TRgbPicture& picture, int orientation, bool av1) {
  struct TContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
  };
  struct TEncoderRelease {
    void operator()(heif_encoder* e) const { heif_encoder_release(e); }
  };
  struct TImageRelease {
    void operator()(heif_image* i) const { heif_image_release(i); }
  };
  struct THandleRelease {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
  };
  struct TOptionsFree {
    void operator()(heif_encoding_options* o) const { heif_encoding_options_free(o); }
  };
  const std::unique_ptr<heif_context, TContextFree> context(heif_context_alloc());
  heif_encoder* rawEncoder = nullptr;
  ASSERT_EQ(heif_context_get_encoder_for_format(context.get(), av1 ? heif_compression_AV1 : heif_compression_HEVC,
                                                &rawEncoder)
                .code,
            heif_error_Ok);
  const std::unique_ptr<heif_encoder, TEncoderRelease> encoder(rawEncoder);
  heif_encoder_set_lossy_quality(encoder.get(), 80);
  heif_image* rawImage = nullptr;
  heif_image_create(picture.Width, picture.Height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &rawImage);
  const std::unique_ptr<heif_image, TImageRelease> image(rawImage);
  heif_image_add_plane(image.get(), heif_channel_interleaved, picture.Width, picture.Height, 8);
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
  for (int y = 0; y < picture.Height; ++y)
    std::copy(picture.At(0, y), picture.At(0, y) + 3 * picture.Width, plane + static_cast<size_t>(y) * stride);
  const std::unique_ptr<heif_encoding_options, TOptionsFree> options(heif_encoding_options_alloc());
  options->image_orientation = static_cast<heif_orientation>(orientation);
  heif_image_handle* rawHandle = nullptr;
  ASSERT_EQ(heif_context_encode_image(context.get(), image.get(), encoder.get(), options.get(), &rawHandle).code,
            heif_error_Ok);
  const std::unique_ptr<heif_image_handle, THandleRelease> handle(rawHandle);
  // Big-endian Exif (TIFF) block with one entry: Orientation = 6.
  const uint8_t exif[] = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(heif_context_add_exif_metadata(context.get(), handle.get(), exif, sizeof exif).code, heif_error_Ok);
  ASSERT_EQ(heif_context_write_to_file(context.get(), file.c_str()).code, heif_error_Ok);
}

// The picture as an Exif Orientation value shows it.
TRgbPicture Oriented(const TRgbPicture& in, int orientation) {
  const int w = in.Width, h = in.Height;
  const bool turned = orientation >= 5;
  TRgbPicture out{turned ? h : w, turned ? w : h, std::vector<uint8_t>(in.Rgb.size())};
  for (int y = 0; y < out.Height; ++y)
    for (int x = 0; x < out.Width; ++x) {
      int sx = x, sy = y;
      switch (orientation) {
        case 2: sx = w - 1 - x; break;
        case 3: sx = w - 1 - x, sy = h - 1 - y; break;
        case 4: sy = h - 1 - y; break;
        case 5: sx = y, sy = x; break;
        case 6: sx = y, sy = h - 1 - x; break;
        case 7: sx = w - 1 - y, sy = h - 1 - x; break;
        case 8: sx = w - 1 - y, sy = x; break;
        default: break;
      }
      std::copy(in.At(sx, sy), in.At(sx, sy) + 3, out.At(x, y));
    }
  return out;
}

TEST(HeifInterop, RotationAndMirroringAreAppliedOnceAndExifIsNotApplied) {
  QV_REQUIRE_HEIF_PEERS();
  TScratchFolder dir;
  const TRgbPicture source = TestPicture(24, 16, 9);
  for (const bool av1 : {false, true}) {
    SCOPED_TRACE(av1 ? "AVIF" : "HEIC");
    const std::string extension = av1 ? ".avif" : ".heic";
    WriteOriented(dir / ("o1" + extension), source, 1, av1);
    const TRgbPicture upright = OurPixels(*Load(dir / ("o1" + extension)));
    ASSERT_EQ(upright.Width, 24);
    for (int orientation = 1; orientation <= 8; ++orientation) {
      SCOPED_TRACE(orientation);
      const std::string file = dir / ("o" + std::to_string(orientation) + extension);
      WriteOriented(file, source, orientation, av1);
      const TRgbPicture ours = OurPixels(*Load(file));
      // The coded pixels are the same in every file; only the boxes differ.
      EXPECT_TRUE(SamePixels(ours, Oriented(upright, orientation)));
      const std::vector<uint16_t> samples = PeerSamples16(file, ours.Width, ours.Height);
      EXPECT_TRUE(SamePixels(ours, ScaledToEightBits(samples, ours.Width, ours.Height, 8)));
    }
  }
}

// The size checks find, in files heif-enc writes, the frame sizes of the coded streams.
TEST(HeifInterop, TheSizeChecksSeeTheCodedFrameSizes) {
  QV_REQUIRE_HEIF_PEERS();
  TScratchFolder dir;
  WritePpm(dir / "source.ppm", TestPicture(40, 24, 2));
  ASSERT_TRUE(Convert((dir / "source.ppm") + " -depth 8 PNG24:" + (dir / "source.png")));
  for (const char* extension : {"heic", "avif"}) {
    SCOPED_TRACE(extension);
    const std::string file = dir / (std::string("p.") + extension);
    ASSERT_TRUE(RunPeer("heif-enc -q 50 " + (dir / "source.png") + " -o " + file));
    const std::vector<uint8_t> bytes = FileBytes(file);
    const THeifLayout layout = ReadHeifLayout(bytes.data(), bytes.size());
    EXPECT_FALSE(layout.UnknownCodedSize);
    // The item's size and the coded frame's (HEVC codes whole 8 x 8 blocks, AV1 the size itself).
    int found = 0;
    for (const THeifSize& size : layout.Sizes) found += size.Width >= 40 && size.Width <= 48 && size.Height == 24;
    EXPECT_GE(found, 2);
  }
}

}  // namespace
