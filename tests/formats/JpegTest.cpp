// TJpegGraphic: decoding into Gray256 and TrueColor, JFIF density, the written header and
// settings, refused formats, and damaged or hostile files.
#include <gtest/gtest.h>

#include <jpeglib.h>
#include <cstdio>

#include <chrono>
#include <csetjmp>

#include "FormatTestUtil.h"
#include "formats/QvJpgGr.h"

using namespace quorvane;
using namespace fmt_test;

namespace {

// Encodes Components-sample rows (RGB order for 3, CMYK for 4) with libjpeg directly.
struct TJpegFile {
  int Width = 8, Height = 8, Components = 3;
  int DensityUnit = 1, XDensity = 72, YDensity = 72;
  bool Progressive = false;
  int HSampling = 2;             // of the first component: 2 gives 4:2:0, 1 gives 4:4:4
  std::vector<uint8_t> Samples;  // Width * Height * Components; filled with a pattern when empty
};

struct TTestError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};
extern "C" void TestErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<TTestError*>(cinfo->err)->Jump, 1); }

Bytes BuildJpeg(TJpegFile f) {
  if (f.Samples.empty()) {
    f.Samples.resize(static_cast<size_t>(f.Width) * f.Height * f.Components);
    for (size_t i = 0; i < f.Samples.size(); ++i) f.Samples[i] = static_cast<uint8_t>(i * 29 % 251);
  }
  jpeg_compress_struct cinfo{};
  TTestError error;
  cinfo.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = TestErrorExit;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (setjmp(error.Jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    ADD_FAILURE() << "test file could not be built";
    return {};
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = f.Width;
  cinfo.image_height = f.Height;
  cinfo.input_components = f.Components;
  cinfo.in_color_space = f.Components == 1 ? JCS_GRAYSCALE : f.Components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  cinfo.density_unit = static_cast<UINT8>(f.DensityUnit);
  cinfo.X_density = static_cast<UINT16>(f.XDensity);
  cinfo.Y_density = static_cast<UINT16>(f.YDensity);
  cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = f.HSampling;
  jpeg_set_quality(&cinfo, 95, TRUE);
  if (f.Progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = f.Samples.data() + static_cast<size_t>(cinfo.next_scanline) * f.Width * f.Components;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// Decodes with libjpeg directly into red, green, blue (or gray) samples.
std::vector<uint8_t> DecodeDirectly(const Bytes& file, int& components) {
  jpeg_decompress_struct cinfo{};
  TTestError error;
  cinfo.err = jpeg_std_error(&error.Manager);
  error.Manager.error_exit = TestErrorExit;
  std::vector<uint8_t> samples;
  if (setjmp(error.Jump)) {
    jpeg_destroy_decompress(&cinfo);
    ADD_FAILURE() << "reference decode failed";
    return {};
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), file.size());
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  components = cinfo.output_components;
  samples.resize(static_cast<size_t>(cinfo.output_width) * cinfo.output_height * components);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = samples.data() + static_cast<size_t>(cinfo.output_scanline) * cinfo.output_width * components;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return samples;
}

// The image's samples in file order (red, green, blue for TrueColor).
std::vector<uint8_t> SamplesOf(const TJpegGraphic& image) {
  std::vector<uint8_t> out;
  for (int y = 0; y < image.Height(); ++y)
    for (int x = 0; x < image.Width(); ++x) {
      const TColorValue c = image.GetPixel(x, y);
      if (image.ImageFormat() == TImageFormat::Gray256) {
        out.push_back(static_cast<uint8_t>(image.GetPixelIndex(x, y)));
      } else {
        out.push_back(ColorByte2(c));
        out.push_back(ColorByte1(c));
        out.push_back(ColorByte0(c));
      }
    }
  return out;
}

bool HasMarker(const Bytes& file, uint8_t marker) {
  for (size_t i = 0; i + 1 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == marker) return true;
  return false;
}

}  // namespace

TEST(Jpeg, NewObjectHasItsInitialSettings) {
  TJpegGraphic jpeg;
  EXPECT_EQ(jpeg.Quality(), 80);
  EXPECT_FALSE(jpeg.Progressive());
  EXPECT_FALSE(jpeg.OptimizeCoding());
  EXPECT_TRUE(jpeg.Capabilities().CanWrite(TImageFormat::Gray256));
  EXPECT_TRUE(jpeg.Capabilities().CanWrite(TImageFormat::TrueColor));
  EXPECT_FALSE(jpeg.Capabilities().CanWrite(TImageFormat::Color256));
}

// Files of every kind decode to exactly libjpeg's own samples, in the image's byte order.
TEST(Jpeg, DecodesToLibrarySamples) {
  struct Case {
    const char* Name;
    TJpegFile File;
    TImageFormat Format;
  };
  const Case cases[] = {
      {"gray", {17, 9, 1}, TImageFormat::Gray256},
      {"colour 4:2:0", {17, 9, 3}, TImageFormat::TrueColor},
      {"colour 4:4:4", {17, 9, 3, 1, 72, 72, false, 1}, TImageFormat::TrueColor},
      {"progressive", {17, 9, 3, 1, 72, 72, true}, TImageFormat::TrueColor},
      {"1 x 1", {1, 1, 3}, TImageFormat::TrueColor},
  };
  for (const Case& c : cases) {
    const Bytes file = BuildJpeg(c.File);
    TJpegGraphic image;
    ReadFromBytes(file, image);
    ASSERT_EQ(image.ImageFormat(), c.Format) << c.Name;
    EXPECT_EQ(image.Width(), c.File.Width);
    EXPECT_EQ(image.Height(), c.File.Height);
    int components = 0;
    EXPECT_EQ(SamplesOf(image), DecodeDirectly(file, components)) << c.Name;
    EXPECT_TRUE(image.Warnings().empty()) << c.Name;
  }
}

TEST(Jpeg, DensityRules) {
  struct Case {
    int Unit, X, Y, XDpi, YDpi;
  };
  const Case cases[] = {{1, 300, 150, 300, 150}, {2, 28, 118, 71, 300}, {0, 1, 1, 96, 96}, {1, 0, 0, 96, 96}};
  for (const Case& c : cases) {
    TJpegGraphic image;
    ReadFromBytes(BuildJpeg({8, 8, 1, c.Unit, c.X, c.Y}), image);
    EXPECT_EQ(image.XDpi(), c.XDpi) << c.Unit << " " << c.X;
    EXPECT_EQ(image.YDpi(), c.YDpi) << c.Unit << " " << c.Y;
  }
}

TEST(Jpeg, WrittenFilesAndSettings) {
  TJpegGraphic image;
  MakeImage(image, TImageFormat::TrueColor, 40, 24);
  image.SetXDpi(150);
  image.SetYDpi(300);
  const Bytes baseline = SavedBytes(image);
  // JFIF APP0: identifier, version, unit 1 and the image's own resolution.
  ASSERT_GT(baseline.size(), 20u);
  EXPECT_EQ(std::string(baseline.begin() + 6, baseline.begin() + 10), "JFIF");
  EXPECT_EQ(baseline[13], 1);
  EXPECT_EQ(baseline[14] << 8 | baseline[15], 150);
  EXPECT_EQ(baseline[16] << 8 | baseline[17], 300);
  EXPECT_TRUE(HasMarker(baseline, 0xC0));
  EXPECT_FALSE(HasMarker(baseline, 0xC2));

  image.SetProgressive(true);
  const Bytes progressive = SavedBytes(image);
  EXPECT_TRUE(HasMarker(progressive, 0xC2));
  image.SetProgressive(false);
  image.SetOptimizeCoding(true);
  EXPECT_LT(SavedBytes(image).size(), baseline.size());
  image.SetOptimizeCoding(false);
  image.SetQuality(20);
  EXPECT_LT(SavedBytes(image).size(), baseline.size());

  TJpegGraphic back;
  ReadFromBytes(progressive, back);
  EXPECT_EQ(back.XDpi(), 150);
  EXPECT_EQ(back.YDpi(), 300);
}

TEST(Jpeg, OtherFormatsRefusedBeforeWriting) {
  for (TImageFormat format :
       {TImageFormat::BlackWhite, TImageFormat::Gray16, TImageFormat::Color16, TImageFormat::Color256}) {
    TJpegGraphic image;
    MakeImage(image, format, 4, 4);
    TMemoryStream s;
    EXPECT_EQ(MessageOf<EJpegError>([&] { image.SaveToStream(s); }), "JPEG image must be gray scale or true color");
    EXPECT_EQ(s.Size(), 0);
  }
}

TEST(Jpeg, LibraryErrorsCarryLibraryMessages) {
  TJpegGraphic image;
  // CMYK cannot be converted to RGB by libjpeg.
  const std::string cmyk = MessageOf<Exception>([&] { ReadFromBytes(BuildJpeg({8, 8, 4}), image); });
  EXPECT_NE(cmyk.find("color conversion"), std::string::npos) << cmyk;
  EXPECT_NE(MessageOf<Exception>([&] { ReadFromBytes(Bytes{'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'}, image); }), "");
  EXPECT_NE(MessageOf<Exception>([&] { ReadFromBytes(Bytes{}, image); }), "");
}

// A file cut anywhere either fails with an exception or decodes with a warning; never a crash.
TEST(Jpeg, TruncatedFilesDecodeWhatTheyHold) {
  const Bytes whole = BuildJpeg({33, 17, 3, 1, 72, 72, true});
  const size_t headerEnd = whole.size() - 10;
  for (size_t n = 0; n < whole.size(); n += 7) {
    TJpegGraphic image;
    try {
      ReadFromBytes(Bytes(whole.begin(), whole.begin() + n), image);
    } catch (const Exception&) {
      continue;
    }
    if (n + 2 < whole.size()) {
      EXPECT_FALSE(image.Warnings().empty()) << n;
      EXPECT_GT(image.WarningCount(), 0) << n;
    }
  }
  TJpegGraphic image;
  ReadFromBytes(Bytes(whole.begin(), whole.begin() + static_cast<long>(headerEnd)), image);
  EXPECT_EQ(image.Width(), 33);
  EXPECT_NE(image.Warnings()[0].find("Premature end"), std::string::npos) << image.Warnings()[0];
}

// 65000 x 65000 is beyond the area limit; 16000 x 16000 is within it, but a few hundred bytes
// cannot hold its blocks.
TEST(Jpeg, HugeDeclaredImageRefusedBeforeAllocation) {
  const std::pair<int, const char*> cases[] = {{65000, "CreateDibSection failed"},
                                               {16000, "JPEG file is too short for its image size"}};
  for (const auto& [side, message] : cases) {
    Bytes file = BuildJpeg({8, 8, 3});
    // SOF0: marker, length, precision, height, width.
    for (size_t i = 0; i + 8 < file.size(); ++i)
      if (file[i] == 0xFF && file[i + 1] == 0xC0) {
        file[i + 5] = file[i + 7] = static_cast<uint8_t>(side >> 8);
        file[i + 6] = file[i + 8] = static_cast<uint8_t>(side);
      }
    TJpegGraphic image;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageOf<Exception>([&] { ReadFromBytes(file, image); }), message);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  }
}
