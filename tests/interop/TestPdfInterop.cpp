// Our PDF files in the peers: poppler's pdfinfo, pdfimages and pdftoppm, and qpdf --check. Pages
// of every kind report their sizes, codings and resolutions, render to our pixels, and keep an
// unchanged JPEG file's bytes; an A4 page of text and a photograph-like one stay small.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "formats/QvFormats.h"
#include "formats/QvJpgGr.h"
#include "formats/QvMultiPageWriter.h"
#include "formats/QvPdfGr.h"
#include "interop/InteropSupport.h"
#include "support/TestPalettes.h"
#include "transforms/QvTransfCatalog.h"

using namespace quorvane;
using namespace qvtest;

namespace {

bool HavePeers() {
  return std::system("command -v pdfinfo >/dev/null && command -v pdftoppm >/dev/null && command -v qpdf >/dev/null") ==
         0;
}

#define QV_REQUIRE_PDF_PEERS() \
  if (!HavePeers()) GTEST_SKIP() << "poppler-utils and qpdf are not installed"

struct TOutput {
  int Status = -1;
  std::string Text;
};

// Runs Command through the shell; its standard output (standard error dropped).
TOutput Capture(const std::string& command) {
  TOutput output;
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.Text.append(buffer, count);
  output.Status = ::pclose(pipe);
  return output;
}

// The rows of pdfimages -list after its two header lines, split into fields.
std::vector<std::vector<std::string>> ImageList(const std::string& pdf) {
  std::istringstream lines(Capture("pdfimages -list " + pdf).Text);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  for (int skip = 0; skip < 2 && std::getline(lines, line); ++skip) {
  }
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<std::string> row;
    for (std::string field; fields >> field;) row.push_back(field);
    rows.push_back(row);
  }
  return rows;
}

// Rendering at four times the page's resolution: at exactly the page's resolution poppler
// interpolates image pixels (bilinearly, half a pixel off), from four times on it replicates them,
// so every block of 4 x 4 rendered pixels is one of the image's.
constexpr int kRenderScale = 4;

// pdftoppm's rendering of page Page at kRenderScale times the image's resolution; Size > 0 renders
// only the top left Size x Size pixels of the image.
TRgbPicture Rendered(const std::string& pdf, int page, int xDpi, int yDpi, const std::string& out, int size = 0) {
  const std::string number = std::to_string(page);
  const std::string crop =
      size > 0 ? " -x 0 -y 0 -W " + std::to_string(size * kRenderScale) + " -H " + std::to_string(size * kRenderScale)
               : "";
  Capture("pdftoppm -f " + number + " -l " + number + " -rx " + std::to_string(xDpi * kRenderScale) + " -ry " +
          std::to_string(yDpi * kRenderScale) + crop + " -singlefile " + pdf + " " + out);
  std::ifstream in(out + ".ppm", std::ios::binary);
  std::string magic;
  TRgbPicture picture;
  int maxValue = 0;
  in >> magic >> picture.Width >> picture.Height >> maxValue;
  in.get();
  picture.Rgb.resize(static_cast<size_t>(picture.Width) * picture.Height * 3);
  in.read(reinterpret_cast<char*>(picture.Rgb.data()), static_cast<std::streamsize>(picture.Rgb.size()));
  if (magic != "P6" || !in) ADD_FAILURE() << "pdftoppm did not render page " << page << " of " << pdf;
  return picture;
}

// Picture with every pixel made a block of kRenderScale x kRenderScale, from the top left Size x
// Size pixels (all with Size 0).
TRgbPicture Enlarged(const TRgbPicture& picture, int size = 0) {
  const int width = size > 0 ? size : picture.Width, height = size > 0 ? size : picture.Height;
  TRgbPicture large{width * kRenderScale, height * kRenderScale, {}};
  large.Rgb.resize(static_cast<size_t>(large.Width) * large.Height * 3);
  for (int y = 0; y < large.Height; ++y)
    for (int x = 0; x < large.Width; ++x)
      std::copy_n(picture.At(x / kRenderScale, y / kRenderScale), 3, large.At(x, y));
  return large;
}

// What our JPEG reader makes of the page's JPEG stream, as pdfimages -j extracts it.
std::unique_ptr<TDibGraphic> OurJpegOfPage(const std::string& pdf, int page, const std::string& out) {
  const std::string number = std::to_string(page);
  Capture("pdfimages -j -f " + number + " -l " + number + " " + pdf + " " + out);
  auto image = std::make_unique<TJpegGraphic>();
  image->LoadFromFile(out + "-000.jpg");
  return image;
}

// ImageMagick's drawing of a page of text: 48 lines of 12-point serif type at 300 dpi,
// thresholded to black and white as a scanner's line-art mode does.
std::string TextPageDrawing() {
  static const char* const kWords[] = {"lorem",  "ipsum",   "dolor",   "sit",     "amet",   "consectetur",
                                       "elit",   "sed",     "eiusmod", "tempor",  "labore", "magna",
                                       "aliqua", "veniam",  "quis",    "nostrud", "ut",     "exercitation",
                                       "nisi",   "aliquip", "commodo", "ea",      "ad",     "consequat"};
  uint32_t seed = 3;
  std::string drawing;
  for (int line = 0; line < 48; ++line) {
    std::string text;
    while (text.size() < 70) {
      seed = seed * 1664525u + 1013904223u;
      text += std::string(kWords[(seed >> 16) % std::size(kWords)]) + " ";
    }
    drawing += "text 250," + std::to_string(330 + line * 60) + " '" + text + "' ";
  }
  return drawing;
}

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

struct TPeerPage {
  const char* Name;
  std::unique_ptr<TDibGraphic> Image;
  const char* Type;   // pdfimages -list: ccitt, jpeg, image
  const char* Color;  // gray, rgb, index
  int Bits;
};

using qvtest::TwoColours;

std::unique_ptr<TDibGraphic> WithResolution(std::unique_ptr<TDibGraphic> image, int xDpi, int yDpi) {
  image->SetXDpi(static_cast<uint16_t>(xDpi));
  image->SetYDpi(static_cast<uint16_t>(yDpi));
  return image;
}

// A black-and-white picture with Palette (pixels of MakeImage's pattern).
std::unique_ptr<TDibGraphic> BlackWhite(const TDibPalette& palette, int width, int height, uint32_t seed) {
  std::unique_ptr<TDibGraphic> pattern = MakeImage(TImageFormat::BlackWhite, width, height, seed);
  auto image = std::make_unique<TDibGraphic>();
  image->NewImage(width, height, TImageFormat::BlackWhite, &palette, 150, 150);
  for (int y = 0; y < height; ++y) std::copy_n(pattern->ScanLine(y), pattern->BytesPerLine(), image->ScanLine(y));
  return image;
}

// A smooth picture, for JPEG pages compared with their source.
std::unique_ptr<TDibGraphic> Smooth(TImageFormat format, int width, int height) {
  auto image = std::make_unique<TDibGraphic>();
  image->NewImage(width, height, format, nullptr, 200, 100);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const auto r = static_cast<uint8_t>(128 + 100 * std::sin(x / 9.0));
      const auto g = static_cast<uint8_t>(255 * y / height);
      const auto b = static_cast<uint8_t>((x + y) * 255 / (width + height));
      if (format == TImageFormat::TrueColor)
        image->SetPixel(x, y, PackColor(b, g, r));
      else
        image->SetPixelIndex(x, y, (r + g) / 2);
    }
  return image;
}

double MeanDifference(const TRgbPicture& a, const TRgbPicture& b) {
  if (a.Rgb.size() != b.Rgb.size() || a.Rgb.empty()) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < a.Rgb.size(); ++i) sum += std::abs(a.Rgb[i] - b.Rgb[i]);
  return sum / static_cast<double>(a.Rgb.size());
}

TEST(PdfInterop, PeersReadEveryKindOfPage) {
  QV_REQUIRE_PDF_PEERS();
  RegisterStandardGraphicFormats();
  TScratchFolder dir;
  std::vector<TPeerPage> pages;
  pages.push_back(
      {"black first", WithResolution(BlackWhite(TwoColours(0, 0xFFFFFF), 250, 350, 1), 300, 300), "ccitt", "gray", 1});
  pages.push_back(
      {"white first", WithResolution(BlackWhite(TwoColours(0xFFFFFF, 0), 96, 40, 2), 0, 0), "ccitt", "gray", 1});
  pages.push_back({"blue and yellow", BlackWhite(TwoColours(0xFF0000, 0x00FFFF), 61, 30, 3), "image", "index", 1});
  pages.push_back(
      {"16 grays", WithResolution(MakeImage(TImageFormat::Gray16, 64, 48, 4), 72, 96), "image", "index", 4});
  pages.push_back({"16 colours", MakeImage(TImageFormat::Color16, 33, 20, 5), "image", "index", 4});
  pages.push_back({"256 colours", MakeImage(TImageFormat::Color256, 50, 40, 6), "image", "index", 8});
  pages.push_back({"256 grays", Smooth(TImageFormat::Gray256, 120, 90), "jpeg", "gray", 8});
  pages.push_back({"true colour", Smooth(TImageFormat::TrueColor, 150, 100), "jpeg", "rgb", 8});

  const std::string pdf = dir / "pages.pdf";
  {
    TMultiPageWriter file(pdf);
    for (const TPeerPage& page : pages) file.AddPageCopy(*page.Image);
    ASSERT_TRUE(file.Commit());
  }

  const TOutput check = Capture("qpdf --check " + pdf);
  EXPECT_EQ(check.Status, 0);
  EXPECT_NE(check.Text.find("No syntax or stream encoding errors found"), std::string::npos) << check.Text;

  const TOutput info = Capture("pdfinfo -f 1 -l 8 " + pdf);
  EXPECT_NE(info.Text.find("Pages:           8\n"), std::string::npos) << info.Text;
  const std::vector<std::vector<std::string>> images = ImageList(pdf);
  ASSERT_EQ(images.size(), pages.size());
  for (size_t i = 0; i < pages.size(); ++i) {
    const TPeerPage& page = pages[i];
    const TDibGraphic& image = *page.Image;
    SCOPED_TRACE(page.Name);
    const int xDpi = image.XDpi() > 0 ? image.XDpi() : 96, yDpi = image.YDpi() > 0 ? image.YDpi() : 96;
    char size[96];
    std::snprintf(size, sizeof size, "Page %4zu size:  %g x %g pts", i + 1, image.Width() * 72.0 / xDpi,
                  image.Height() * 72.0 / yDpi);
    EXPECT_NE(info.Text.find(size), std::string::npos) << size << "\n" << info.Text;

    // page num type width height color comp bpc enc interp object ID x-ppi y-ppi size ratio
    const std::vector<std::string>& row = images[i];
    ASSERT_GE(row.size(), 14u);
    EXPECT_EQ(row[0], std::to_string(i + 1));
    EXPECT_EQ(row[2], "image");
    EXPECT_EQ(row[3], std::to_string(image.Width()));
    EXPECT_EQ(row[4], std::to_string(image.Height()));
    EXPECT_EQ(row[5], page.Color);
    EXPECT_EQ(row[7], std::to_string(page.Bits));
    EXPECT_EQ(row[8], page.Type);
    EXPECT_EQ(row[12], std::to_string(xDpi));
    EXPECT_EQ(row[13], std::to_string(yDpi));

    const TRgbPicture rendered =
        Rendered(pdf, static_cast<int>(i + 1), xDpi, yDpi, dir / ("page" + std::to_string(i + 1)));
    if (std::string(page.Type) != "jpeg") {
      EXPECT_TRUE(SamePixels(Enlarged(OurPixels(image)), rendered));
    } else {
      // The peer decodes the JPEG as our reader does, up to its own rounding, and the page is
      // close to the source.
      const std::unique_ptr<TDibGraphic> decoded = OurJpegOfPage(pdf, static_cast<int>(i + 1), dir / "jpeg");
      EXPECT_TRUE(SamePixels(Enlarged(OurPixels(*decoded)), rendered, 2));
      EXPECT_LT(MeanDifference(Enlarged(OurPixels(image)), rendered), 2.0);
    }
  }
}

// A JPEG file from the peers goes into the page unchanged, as long as its pixels are; one whose
// coding a PDF reader would read otherwise, or whose pixels changed, is encoded again.
TEST(PdfInterop, UnchangedJpegFilesKeepTheirBytes) {
  QV_REQUIRE_PDF_PEERS();
  if (!Shell("command -v cjpeg")) GTEST_SKIP() << "cjpeg is not installed";
  TScratchFolder dir;
  WritePpm(dir / "in.ppm", TestPicture(96, 64, 7));
  struct TCase {
    const char* Name;
    const char* Options;
    bool Kept;
  };
  const TCase cases[] = {
      {"baseline", "-quality 90", true},    {"progressive", "-progressive -optimize", true},
      {"gray", "-grayscale", true},         {"rgb", "-rgb", false},  // RGB samples: read as YCbCr without their marker
      {"arithmetic", "-arithmetic", false},                          // not a coding of PDF's
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string jpeg = dir / (std::string(c.Name) + ".jpg"), pdf = dir / (std::string(c.Name) + ".pdf");
    ASSERT_TRUE(Shell(std::string("cjpeg ") + c.Options + " -outfile " + jpeg + " " + dir / "in.ppm"));
    const std::unique_ptr<TDibGraphic> image = ReadThroughRegistry(jpeg);
    WriteThroughRegistry(*image, pdf);
    EXPECT_EQ(Capture("qpdf --check " + pdf).Status, 0);
    Capture("pdfimages -j " + pdf + " " + dir / c.Name);
    EXPECT_EQ(FileBytes(dir / (std::string(c.Name) + "-000.jpg")) == FileBytes(jpeg), c.Kept);
    const TRgbPicture rendered = Rendered(pdf, 1, 96, 96, dir / (std::string(c.Name) + "-page"));
    EXPECT_TRUE(SamePixels(Enlarged(OurPixels(*OurJpegOfPage(pdf, 1, dir / c.Name))), rendered, 2));
  }

  // Turned and turned back: the same pixels, but a new picture as far as anyone can tell.
  const std::unique_ptr<TDibGraphic> image = ReadThroughRegistry(dir / "baseline.jpg");
  CreateTransform(ImageOperation("negative"), DefaultParameters(ImageOperation("negative")))->Apply(*image);
  WriteThroughRegistry(*image, dir / "negative.pdf");
  Capture("pdfimages -j " + dir / "negative.pdf " + dir / "negative");
  EXPECT_NE(FileBytes(dir / "negative-000.jpg"), FileBytes(dir / "baseline.jpg"));
}

// An A4 page at 300 dpi: a page of text in black and white at most 100 KB; a photograph-like colour page at
// quality 85 at most 1.5 MB. The sizes go to the test's properties.
TEST(PdfInterop, A4PagesStaySmall) {
  QV_REQUIRE_PDF_PEERS();
  QV_REQUIRE_IMAGEMAGICK();
  TScratchFolder dir;
  ASSERT_TRUE(Convert("-size 2480x3508 xc:white -fill black -font DejaVu-Serif -pointsize 50 -draw \"" +
                      TextPageDrawing() + "\" -threshold 50% -compress Group4 " + dir / "text.tif"));
  std::unique_ptr<TDibGraphic> text = ReadThroughRegistry(dir / "text.tif");
  ASSERT_EQ(text->ImageFormat(), TImageFormat::BlackWhite);
  text->SetXDpi(300);
  text->SetYDpi(300);
  WriteThroughRegistry(*text, dir / "text.pdf");
  // Plasma clouds under a gradient, with the grain of a scanner (a few levels of noise).
  ASSERT_TRUE(
      Convert("-seed 4242 -size 2480x3508 plasma:steelblue-tan \\( -size 2480x3508 gradient:white-gray40 \\) "
              "-compose multiply -composite -attenuate 0.2 +noise Gaussian -type TrueColor -depth 8 " +
              dir / "photo.tga"));
  std::unique_ptr<TDibGraphic> photo = ReadThroughRegistry(dir / "photo.tga");
  photo->SetXDpi(300);
  photo->SetYDpi(300);
  ASSERT_EQ(photo->ImageFormat(), TImageFormat::TrueColor);
  WriteThroughRegistry(*photo, dir / "photo.pdf");

  for (const char* name : {"text.pdf", "photo.pdf"}) {
    const std::string pdf = dir / name;
    const TOutput info = Capture("pdfinfo " + pdf);
    EXPECT_NE(info.Text.find("Page size:       595.2 x 841.92 pts (A4)"), std::string::npos) << info.Text;
    EXPECT_EQ(Capture("qpdf --check " + pdf).Status, 0);
    const std::vector<std::vector<std::string>> images = ImageList(pdf);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0][12], "300");
  }
  const size_t textSize = FileBytes(dir / "text.pdf").size();
  const size_t photoSize = FileBytes(dir / "photo.pdf").size();
  RecordProperty("text_page_bytes", std::to_string(textSize));
  RecordProperty("photo_page_bytes", std::to_string(photoSize));
  EXPECT_LE(textSize, 100u * 1000);
  EXPECT_LE(photoSize, 1500u * 1000);
  EXPECT_EQ(ImageList(dir / "text.pdf")[0][8], "ccitt");
  EXPECT_EQ(ImageList(dir / "photo.pdf")[0][8], "jpeg");
  // The top left of the text page (rendered whole at four times it would be 400 MB).
  EXPECT_TRUE(SamePixels(Enlarged(OurPixels(*text), 600), Rendered(dir / "text.pdf", 1, 300, 300, dir / "text", 600)));
}

}  // namespace
