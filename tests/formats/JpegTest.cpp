// TJpegGraphic: decoding into Gray256 and TrueColor, JFIF density, the written header and
// settings, refused formats, and damaged or hostile files.
#include <gtest/gtest.h>

#include <jpeglib.h>
#include <cstdio>

#include <chrono>
#include <csetjmp>

#include "FormatTestUtil.h"
#include "formats/QvJpgGr.h"
#include "model/QvLimits.h"

using namespace quorvane;
using namespace qvtest;

namespace {

// Encodes Components-sample rows (RGB order for 3, CMYK for 4) with libjpeg directly.
struct TJpegFile {
  int Width = 8, Height = 8, Components = 3;
  int DensityUnit = 1, XDensity = 72, YDensity = 72;
  bool Progressive = false;
  int HSampling = 2;             // of the first component: 2 gives 4:2:0, 1 gives 4:4:4
  std::vector<uint8_t> Samples;  // Width * Height * Components; filled with a pattern when empty
  bool Arithmetic = false;
  int RestartRows = 0;  // restart interval in MCU rows (0: none)
  bool Noise = false;   // fill with noise (photo-like data that stays large) instead of a pattern
  int VSampling = 0;    // of the first component; 0: as HSampling
};

struct TTestError {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
};
extern "C" void TestErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<TTestError*>(cinfo->err)->Jump, 1); }

Bytes BuildJpeg(TJpegFile f) {
  if (f.Samples.empty()) {
    f.Samples.resize(static_cast<size_t>(f.Width) * f.Height * f.Components);
    uint32_t state = 12345;
    for (size_t i = 0; i < f.Samples.size(); ++i) {
      state = state * 1103515245u + 12345u;
      f.Samples[i] = static_cast<uint8_t>(f.Noise ? state >> 24 : i * 29 % 251);
    }
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
  cinfo.comp_info[0].h_samp_factor = f.HSampling;
  cinfo.comp_info[0].v_samp_factor = f.VSampling ? f.VSampling : f.HSampling;
  jpeg_set_quality(&cinfo, 95, TRUE);
  if (f.Progressive) jpeg_simple_progression(&cinfo);
  cinfo.arith_code = f.Arithmetic ? TRUE : FALSE;
  cinfo.restart_in_rows = f.RestartRows;
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

// Sampling factors (odd ratios included) x odd widths x every coding: rows are written within
// the image and hold libjpeg's own samples.
TEST(Jpeg, EverySamplingAndCodingDecodesToLibrarySamples) {
  const std::pair<int, int> samplings[] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}, {4, 1}, {1, 4}, {4, 2}, {3, 1}, {3, 2}};
  for (const auto& [h, v] : samplings)
    for (int width : {1, 5, 17, 35})
      for (int coding = 0; coding < 4; ++coding) {
        TJpegFile file{width, 13, 3};
        file.HSampling = h;
        file.VSampling = v;
        file.Progressive = coding == 1;
        file.Arithmetic = coding == 2;
        file.RestartRows = coding == 3 ? 1 : 0;
        const Bytes bytes = BuildJpeg(file);
        TJpegGraphic image;
        ReadFromBytes(bytes, image);
        int components = 0;
        EXPECT_EQ(SamplesOf(image), DecodeDirectly(bytes, components))
            << h << "x" << v << " width " << width << " coding " << coding;
        EXPECT_TRUE(image.Warnings().empty());
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

namespace {

// The frame header of File made to declare Width x Height, its data then ending early.
void DeclareSize(Bytes& file, int width, int height) {
  for (size_t i = 0; i + 8 < file.size(); ++i)
    if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2 || file[i + 1] == 0xC9)) {
      file[i + 5] = static_cast<uint8_t>(height >> 8);
      file[i + 6] = static_cast<uint8_t>(height);
      file[i + 7] = static_cast<uint8_t>(width >> 8);
      file[i + 8] = static_cast<uint8_t>(width);
      return;
    }
  ADD_FAILURE() << "no frame header";
}

// A progressive gray file whose scans are nearly empty: each costs a few bytes and makes the
// decoder visit every block of the image.
Bytes ManyEmptyScans(int width, int height, int scans) {
  Bytes file{0xFF, 0xD8};
  auto segment = [&](uint8_t marker, const Bytes& body) {
    const size_t length = body.size() + 2;
    file.insert(file.end(), {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    file.insert(file.end(), body.begin(), body.end());
  };
  Bytes quant(65, 1);
  quant[0] = 0;
  segment(0xDB, quant);
  segment(0xC2, {8, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height), static_cast<uint8_t>(width >> 8),
                 static_cast<uint8_t>(width), 1, 1, 0x11, 0});
  for (uint8_t tableClass : {0x00, 0x10}) {
    Bytes table(18, 0);  // one code of length 1, for symbol 0
    table[0] = tableClass;
    table[1] = 1;
    segment(0xC4, table);
  }
  segment(0xDA, {1, 1, 0, 0, 0, 0});  // DC scan
  file.insert(file.end(), 4, 0);
  for (int i = 0; i < scans; ++i) {
    segment(0xDA, {1, 1, 0, 1, 63, 0});  // AC scan over every coefficient
    file.insert(file.end(), 2, 0);
  }
  file.insert(file.end(), {0xFF, 0xD9});
  return file;
}

// Rows of a decoded picture (libjpeg's sample order).
std::vector<uint8_t> Row(const std::vector<uint8_t>& samples, int width, int components, int y) {
  const size_t bytes = static_cast<size_t>(width) * components;
  return std::vector<uint8_t>(samples.begin() + static_cast<long>(y * bytes),
                              samples.begin() + static_cast<long>((y + 1) * bytes));
}

}  // namespace

// A photo-like file cut short keeps every row its data holds and the filler after them, exactly
// as libjpeg decodes them, and says that it ended early. A file whose data stops at an early
// end-of-image marker is the same case.
TEST(Jpeg, CutFilesDecodeAsLibjpegDecodesThem) {
  struct Case {
    const char* Name;
    TJpegFile File;
  };
  const Case cases[] = {
      {"colour 4:2:0", {256, 768, 3}},
      {"colour 4:4:4", {256, 768, 3, 1, 72, 72, false, 1}},
      {"gray", {256, 768, 1}},
      {"restart intervals", {256, 768, 3, 1, 72, 72, false, 2, {}, false, 1}},
      {"progressive", {256, 768, 3, 1, 72, 72, true}},
      {"progressive arithmetic", {256, 768, 3, 1, 72, 72, true, 2, {}, true}},
  };
  for (Case c : cases) {
    c.File.Noise = true;
    const Bytes whole = BuildJpeg(c.File);
    // The first cut leaves the data far fewer bits than the picture has blocks.
    for (size_t size : {size_t{900}, whole.size() / 2, whole.size() * 9 / 10})
      for (bool endMarker : {false, true}) {
        Bytes cut(whole.begin(), whole.begin() + static_cast<long>(size));
        if (endMarker) cut.insert(cut.end(), {0xFF, 0xD9});
        const std::string name =
            std::string(c.Name) + " cut at " + std::to_string(size) + (endMarker ? " with end marker" : "");
        TJpegGraphic image;
        ReadFromBytes(cut, image);
        int components = 0;
        EXPECT_EQ(SamplesOf(image), DecodeDirectly(cut, components)) << name;
        // Arithmetic decoding says nothing when a scan's data stops at a marker.
        if (!endMarker || !c.File.Arithmetic) {
          EXPECT_FALSE(image.Warnings().empty()) << name;
        }
      }
  }
}

// Arithmetic-coded single-scan files: libjpeg decodes zero bits into noise once the data has
// ended; the rows up to there are libjpeg's and every row from there on is mid-gray.
TEST(Jpeg, CutArithmeticFilesEndInGray) {
  for (int components : {1, 3}) {
    TJpegFile file{96, 200, components};
    file.Noise = true;
    file.Arithmetic = true;
    const Bytes whole = BuildJpeg(file);
    const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 5));
    TJpegGraphic image;
    ReadFromBytes(cut, image);
    int decodedComponents = 0;
    const std::vector<uint8_t> theirs = DecodeDirectly(cut, decodedComponents);
    const std::vector<uint8_t> ours = SamplesOf(image);
    int y = 0;
    while (y < 200 && Row(ours, 96, components, y) == Row(theirs, 96, components, y)) ++y;
    EXPECT_GE(y, 16) << components;
    for (; y < 200; ++y)
      EXPECT_EQ(Row(ours, 96, components, y), std::vector<uint8_t>(96u * components, 128)) << components << " " << y;
    ASSERT_FALSE(image.Warnings().empty());
    EXPECT_NE(image.Warnings().back().find("premature end of data segment"), std::string::npos);
  }
}

// Small files declaring large pictures: the limits refuse what they must before anything large
// is allocated; a picture within them reads with its filler and warnings, and nearly empty scans
// cannot make decoding take long.
TEST(Jpeg, HostileHeadersAreBoundedByLimitsAndWork) {
  struct Case {
    const char* Name;
    Bytes File;
    int64_t AreaMegapixels;
    const char* Message;  // "" when the file reads
  };
  auto declared = [](TJpegFile f, int side) {
    Bytes file = BuildJpeg(f);
    DeclareSize(file, side, side);
    return file;
  };
  const TJpegFile progressive444{8, 8, 3, 1, 72, 72, true, 1};
  const TJpegFile progressive420{8, 8, 3, 1, 72, 72, true, 2};
  const Case cases[] = {
      {"65000 x 65000 baseline", declared({8, 8, 3}, 65000), 512, "CreateDibSection failed"},
      {"4000 x 4000 baseline", declared({8, 8, 3}, 4000), 16, ""},
      {"4000 x 4000 progressive 4:2:0", declared(progressive420, 4000), 16, ""},
      {"4000 x 4000 progressive 4:4:4", declared(progressive444, 4000), 16, "CreateDibSection failed"},
      {"4000 x 4000 progressive 4:4:4, default limits", declared(progressive444, 4000), 512, ""},
      {"many empty scans", ManyEmptyScans(4000, 4000, 300), 16, "JPEG file has too many scans"},
      {"a few empty scans", ManyEmptyScans(4000, 4000, 10), 16, ""},
  };
  const TImageLimits saved = ImageLimits();
  for (const Case& c : cases) {
    TImageLimits limits;
    limits.MaxArea = c.AreaMegapixels * 1000 * 1000;
    SetImageLimits(limits);
    TJpegGraphic image;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(MessageOf<Exception>([&] { ReadFromBytes(c.File, image); }), c.Message) << c.Name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << c.Name;
    if (*c.Message == 0) {
      EXPECT_FALSE(image.Warnings().empty()) << c.Name;
      EXPECT_EQ(image.GetPixel(image.Width() - 1, image.Height() - 1) & 0xFFFFFF, 0x808080u) << c.Name;
    }
  }
  SetImageLimits(saved);
}

// The regression files: cut photographs read, hostile ones are refused by the limits with
// --limit-area 16.
TEST(Jpeg, RegressionFiles) {
  const std::pair<const char*, const char*> cases[] = {
      {"jpg-4000x4000-baseline-cut-short.jpg", ""},
      {"jpg-4000x4000-restart-cut-short.jpg", ""},
      {"jpg-4000x4000-arithmetic-cut-short.jpg", ""},
      {"jpg-4000x4000-progressive-420-cut-short.jpg", ""},
      {"jpg-4000x4000-progressive-444-cut-short.jpg", "CreateDibSection failed"},
      {"jpg-20000x20000-progressive-cut-short.jpg", "CreateDibSection failed"},
      {"jpg-4000x4000-gray-many-empty-scans.jpg", "JPEG file has too many scans"},
      {"jpg-2300x2300-colour-many-empty-scans.jpg", "JPEG file has too many scans"},
  };
  const TImageLimits saved = ImageLimits();
  TImageLimits limits;
  limits.MaxArea = 16 * 1000 * 1000;
  SetImageLimits(limits);
  for (const auto& [name, message] : cases) {
    TJpegGraphic image;
    EXPECT_EQ(MessageOf<Exception>([&] { ReadFromBytes(FileBytes(RegressionFile(name)), image); }), message) << name;
    if (*message == 0) {
      EXPECT_EQ(image.Width(), 4000) << name;
      EXPECT_FALSE(image.Warnings().empty()) << name;
    }
  }
  SetImageLimits(saved);
}
