// The window's saves and the file's metadata: EXIF, XMP and IPTC kept by JPEG, PNG and TIFF (the
// EXIF size fields giving the picture saved), left out by the formats that hold none, and every
// page of a TIFF saved over itself keeps its own.
#include <algorithm>

#include "TImageDocument.h"
#include "WindowTestUtil.h"
#include "formats/QvExif.h"
#include "formats/QvMultiPageWriter.h"
#include "model/QvDiGrphRegistry.h"
#include "transforms/QvTransfGeometry.h"

namespace qvtest {
namespace {

using brindlex::TImageDocument;
using quorvane::TDibGraphic;
using quorvane::TExifDirectory;
using quorvane::TImageFormat;

std::vector<uint8_t> ExifWithArtist(const std::string& artist) {
  std::vector<uint8_t> text(artist.begin(), artist.end());
  text.push_back(0);
  return quorvane::ExifBlockOfFields({{TExifDirectory::edImage, 315, 2, text},
                                      {TExifDirectory::edPhoto, 40962, 3, {1, 0}},  // PixelXDimension 1
                                      {TExifDirectory::edPhoto, 40963, 3, {1, 0}}},
                                     false, 1);
}

bool HoldsText(const std::vector<uint8_t>& block, const std::string& text) {
  return std::search(block.begin(), block.end(), text.begin(), text.end()) != block.end();
}

TEST(MetadataSave, KeptByFormatsThatHoldIt) {
  qvtest::TScratchFolder folder;
  const std::string input = folder / "photo.jpg";
  {
    std::unique_ptr<TDibGraphic> photo = quorvane::CreateGraphicForFile(input);
    photo->Assign(Gradient(16, 8, TImageFormat::TrueColor).get());
    photo->Metadata().Exif = ExifWithArtist("Ann Example");
    photo->Metadata().Xmp = {'<', 'x', '/', '>'};
    photo->Metadata().Iptc = {0x1C, 2, 25, 0, 2, 'h', 'i'};
    photo->SaveToFile(input);
  }
  TImageDocument document;
  document.Open(input);
  ASSERT_TRUE(HoldsText(document.Metadata().Exif, "Ann Example"));
  quorvane::TRotateTransform rotate;
  rotate.Angle = 90;
  document.Apply(rotate);

  const struct {
    const char* Name;
    bool Kept;
  } cases[] = {{"saved.png", true}, {"saved.tif", true}, {"saved.jpg", true}, {"saved.pcx", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    document.SaveAs(folder / c.Name);
    TImageDocument other;
    other.LoadFromFile(folder / c.Name, 1);
    const quorvane::TImageMetadata& metadata = other.Metadata();
    EXPECT_EQ(HoldsText(metadata.Exif, "Ann Example"), c.Kept);
    const std::vector<uint8_t> xmp{'<', 'x', '/', '>'};
    EXPECT_EQ(metadata.Xmp, c.Kept ? xmp : std::vector<uint8_t>{});
    EXPECT_EQ(metadata.Iptc.size(), c.Kept ? 7u : 0u);
    if (c.Kept) {
      // The saved picture is 8 x 16: its size fields say so.
      EXPECT_EQ(quorvane::ExifForSaving(metadata.Exif, 8, 16, true), metadata.Exif);
    }
  }
}

TEST(MetadataSave, EveryPageKeepsItsOwnWhenSavedOverItself) {
  qvtest::TScratchFolder folder;
  const std::string file = folder / "pages.tif";
  {
    quorvane::TMultiPageWriter writer(file);
    for (const char* artist : {"First", "Second"}) {
      std::unique_ptr<TDibGraphic> page = quorvane::CreateGraphicForFile(file);
      page->Assign(Gradient(6, 4, TImageFormat::Gray256).get());
      page->Metadata().Exif = ExifWithArtist(artist);
      writer.AddPage(*page);
    }
    ASSERT_TRUE(writer.Commit());
  }
  TImageDocument document;
  document.Open(file);
  ASSERT_TRUE(document.ShowPage(2));
  document.Save();
  for (int page : {1, 2}) {
    TImageDocument other;
    other.LoadFromFile(file, page);
    EXPECT_TRUE(HoldsText(other.Metadata().Exif, page == 1 ? "First" : "Second")) << "page " << page;
  }
}

}  // namespace
}  // namespace qvtest
