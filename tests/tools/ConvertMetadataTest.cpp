// EXIF, XMP and IPTC through brindlex-convert, checked with exiftool and exiv2: kept by default
// in JPEG, PNG and TIFF outputs (and said so with -v), dropped with --strip and for outputs that
// hold none, and kept page by page for a multi-page TIFF.
#include "ToolTestSupport.h"
#include "support/MetadataPeers.h"

using namespace quorvane;
using namespace qvtest;
using qvtest::ExiftoolTags;
using qvtest::Exiv2Tags;

namespace {

std::string Tag(const std::map<std::string, std::string>& tags, const std::string& key) {
  const auto it = tags.find(key);
  return it == tags.end() ? std::string() : it->second;
}

}  // namespace

TEST(ConvertMetadata, KeptByDefaultDroppedWithStrip) {
  QV_REQUIRE_METADATA_PEERS();
  TScratchFolder dir;
  const std::string input = dir / "photo.jpg";
  WriteImage(*MakeImage(TImageFormat::TrueColor, 30, 20, 4), input);
  ASSERT_TRUE(qvtest::ExiftoolWrite(input, "-Orientation#=6 " + qvtest::TestMetadataArguments()));

  const struct {
    std::vector<std::string> Options;
    const char* Output;
    bool Kept;
    const char* Note;
  } cases[] = {
      {{}, "out.jpg", true, "metadata kept (EXIF, XMP, IPTC)"},
      {{}, "out.png", true, "metadata kept (EXIF, XMP, IPTC)"},
      // Uncompressed: exiftool warns about every JPEG-compressed TIFF page of several strips.
      {{"--to-srgb", "--compression", "none"}, "out.tif", true, "metadata kept (EXIF, XMP, IPTC)"},
      {{"--strip"}, "strip.jpg", false, "metadata dropped (EXIF, XMP, IPTC)"},
      {{"--strip"}, "strip.png", false, "metadata dropped (EXIF, XMP, IPTC)"},
      {{"--strip"}, "strip.tif", false, "metadata dropped (EXIF, XMP, IPTC)"},
      {{}, "out.pcx", false, "metadata dropped (EXIF, XMP, IPTC): the TPcxGraphic format holds none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Output);
    std::vector<std::string> arguments{"-v", input, "-o", dir / c.Output};
    arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
    const TRun run = RunConvert(arguments);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Err.find(c.Note), std::string::npos) << run.Err;
    if (std::string(c.Output).ends_with(".pcx")) continue;
    const std::map<std::string, std::string> tags = ExiftoolTags(dir / c.Output);
    std::string errors;
    const std::map<std::string, std::string> keys = Exiv2Tags(dir / c.Output, errors);
    if (c.Kept) {
      EXPECT_EQ(Tag(tags, "IFD0:Artist"), "Ann Example");
      EXPECT_EQ(Tag(tags, "XMP-dc:Subject"), "harbour, boats");
      EXPECT_EQ(Tag(tags, "IPTC:Keywords"), "harbour, boats");
      EXPECT_EQ(Tag(tags, "GPS:GPSLatitude"), "48.5");
      // Turned upright on the way: 20 x 30, orientation 1 (TIFF pages hold none).
      EXPECT_EQ(Tag(tags, "IFD0:Orientation"), std::string(c.Output).ends_with(".tif") ? "" : "1");
      EXPECT_EQ(Tag(tags, "ExifTool:Warning"), "");
      EXPECT_EQ(Tag(keys, "Exif.Photo.DateTimeOriginal"), "2024:05:06 07:08:09");
      EXPECT_EQ(errors, "");
    } else {
      for (const char* key : {"IFD0:Artist", "ExifIFD:DateTimeOriginal", "GPS:GPSLatitude", "XMP-dc:Subject",
                              "IPTC:Keywords", "IFD0:Orientation"})
        EXPECT_EQ(Tag(tags, key), "") << key;
      // A TIFF page's own fields (size, compression, the writer's name) are Exif.Image keys to
      // exiv2; nothing of the photo's metadata may be left.
      for (const auto& [key, value] : keys)
        for (const char* prefix : {"Exif.Photo.", "Exif.GPSInfo.", "Exif.Image.Artist", "Exif.Image.Copyright",
                                   "Exif.Image.Orientation", "Exif.Thumbnail.", "Xmp.", "Iptc."})
          EXPECT_NE(key.rfind(prefix, 0), 0u) << "exiv2 still reads " << key;
    }
  }
}

// Every page keeps its own fields through a conversion of all pages, and --strip drops them all.
TEST(ConvertMetadata, MultiPageTiffKeepsEachPagesOwn) {
  QV_REQUIRE_METADATA_PEERS();
  TScratchFolder dir;
  const std::string input = dir / "pages.tif";
  std::unique_ptr<TDibGraphic> first = MakeImage(TImageFormat::TrueColor, 12, 9, 1);
  std::unique_ptr<TDibGraphic> second = MakeImage(TImageFormat::Gray256, 9, 12, 2);
  WritePages({first.get(), second.get()}, input);
  ASSERT_TRUE(qvtest::ExiftoolWrite(input, "-IFD0:Artist=First -IFD1:Artist=Second -XMP-dc:Subject=one"));

  const struct {
    const char* Option;
    const char* First;
    const char* Second;
  } cases[] = {{"--keep-profile", "First", "Second"}, {"--strip", "", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Option);
    const std::string output = dir / (std::string(c.Option + 2) + ".tif");
    const TRun run = RunConvert({"--all-pages", "--compression", "none", c.Option, input, "-o", output});
    ASSERT_EQ(run.Status, 0) << run.Err;
    ASSERT_EQ(PageCount(output), 2);
    const std::map<std::string, std::string> tags = ExiftoolTags(output, "-IFD1:Artist");
    EXPECT_EQ(Tag(tags, "IFD0:Artist"), c.First);
    EXPECT_EQ(Tag(tags, "IFD1:Artist"), c.Second);
    EXPECT_EQ(Tag(tags, "XMP-dc:Subject"), *c.First ? "one" : "");
    EXPECT_EQ(Tag(tags, "ExifTool:Warning"), "");
  }
}
