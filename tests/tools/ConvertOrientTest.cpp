// brindlex-convert and photo orientation: pages are written upright by default, each by its own
// orientation, also when the page would otherwise be written while it is read; --no-auto-orient
// keeps the order the reader gives.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <array>

#include "ConvertFile.h"
#include "ConvertOptions.h"
#include "ToolTestSupport.h"
#include "formats/QvFormats.h"
#include "formats/QvOrient.h"

using namespace quorvane;
using namespace brindlex;
using namespace qvtest;

namespace {

// Large enough to be worth a writer thread (formats written while read).
constexpr int kWidth = 400, kHeight = 300;

// A TIFF whose pages hold Stored with the given orientations, uncompressed, in strips.
void WriteOrientedTiff(const std::string& file, const TDibGraphic& stored, const std::vector<uint16_t>& orientations) {
  TIFF* tif = TIFFOpen(file.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  std::vector<uint8_t> row(static_cast<size_t>(stored.Width()) * 3);
  for (uint16_t orientation : orientations) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(stored.Width()));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(stored.Height()));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
    for (int y = 0; y < stored.Height(); ++y) {
      for (int x = 0; x < stored.Width(); ++x) {
        const uint32_t c = stored.GetPixel(x, y);
        row[3 * x] = uint8_t(c >> 16), row[3 * x + 1] = uint8_t(c >> 8), row[3 * x + 2] = uint8_t(c);
      }
      TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
    }
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
}

std::string Convert(const std::string& input, const std::string& output, bool overlap,
                    std::vector<std::string> options) {
  RegisterStandardGraphicFormats();
  options.insert(options.begin(), {input, "-o", output, "--overwrite", "--compression", "zlib"});
  TConvertOptions parsed = ParseConvertOptions(options);
  parsed.WriteWhileReading = overlap;
  std::string text;
  for (const TConvertFailure& f : ConvertFile({input, output, {}}, parsed, {}, {})) text += f.Message + "\n";
  return text;
}

// Stored turned by hand: what the page with Orientation looks like upright.
std::unique_ptr<TDibGraphic> Upright(const TDibGraphic& stored, uint16_t orientation) {
  auto image = std::make_unique<TDibGraphic>();
  image->Assign(&stored);
  image->Metadata().Orientation = orientation;
  AutoOrient(*image);
  return image;
}

}  // namespace

TEST(ConvertOrient, PagesAreWrittenUprightUnlessAsked) {
  TScratchFolder dir;
  const auto stored = MakeImage(TImageFormat::TrueColor, kWidth, kHeight, 5);
  // 5 is transposed and needs no flips of the RGBA conversion, so its rows would be handed to the
  // writer as read; 6 is taken whole for its flips, then turned.
  for (uint16_t orientation : {5, 6}) {
    for (bool overlap : {false, true}) {
      SCOPED_TRACE(testing::Message() << "orientation " << orientation << (overlap ? ", written while read" : ""));
      const std::string input = dir / ("in" + std::to_string(orientation) + ".tif");
      WriteOrientedTiff(input, *stored, {orientation});
      ASSERT_EQ(Convert(input, dir / "up.tif", overlap, {}), "");
      EXPECT_TRUE(SamePicture(*ReadImage(dir / "up.tif"), *Upright(*stored, orientation)));
      // Kept as read: in the order of the RGBA conversion's flips, never transposed.
      ASSERT_EQ(Convert(input, dir / "kept.tif", overlap, {"--no-auto-orient"}), "");
      const auto kept = ReadImage(dir / "kept.tif");
      EXPECT_EQ(kept->Width(), kWidth);
      EXPECT_TRUE(SamePicture(*kept, *Upright(*stored, orientation == 5 ? 1 : 2)));
    }
  }
}

TEST(ConvertOrient, EachPageByItsOwnOrientation) {
  TScratchFolder dir;
  const auto stored = MakeImage(TImageFormat::TrueColor, 30, 20, 6);
  const std::vector<uint16_t> orientations{8, 1, 3};
  WriteOrientedTiff(dir / "pages.tif", *stored, orientations);
  ASSERT_EQ(Convert(dir / "pages.tif", dir / "out.tif", false, {"--all-pages"}), "");
  ASSERT_EQ(PageCount(dir / "out.tif"), 3);
  for (int page = 1; page <= 3; ++page) {
    SCOPED_TRACE(page);
    const auto expected = Upright(*stored, orientations[page - 1]);
    EXPECT_TRUE(SamePicture(*ReadImage(dir / "out.tif", page), *expected));
  }
}
