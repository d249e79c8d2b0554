// EXIF, XMP and IPTC kept through our readers and writers, checked with exiftool and exiv2: the
// peers' own metadata written into JPEG, PNG and TIFF files by exiftool survives a save in each
// of the three formats; the fields that describe the picture are corrected on the way (the
// orientation after the picture was turned upright, the width and height, the thumbnail); every
// page of a TIFF keeps its own; and the files written raise no warning in exiftool, exiv2,
// tiffinfo or pngcheck.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "formats/QvFormats.h"
#include "formats/QvMultiPageWriter.h"
#include "formats/QvOrient.h"
#include "interop/InteropSupport.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvStream.h"
#include "support/MetadataPeers.h"

using namespace quorvane;
using namespace qvtest;
using qvtest::ExiftoolTags;
using qvtest::ExiftoolWrite;
using qvtest::Exiv2Tags;

namespace {

constexpr int kWidth = 37, kHeight = 21;

std::string Extension(const std::string& file) { return file.substr(file.rfind('.') + 1); }

// What the window's save and the converter do: the picture read and turned upright, written by
// the class of the output's extension with the file's metadata.
void ReadAndSave(const std::string& input, const std::string& output) {
  std::unique_ptr<TDibGraphic> image = ReadThroughRegistry(input);
  AutoOrient(*image);
  std::unique_ptr<TDibGraphic> writer = CreateGraphicForFile(output);
  writer->Assign(image.get());
  writer->Metadata() = image->Metadata();
  writer->SaveToFile(output);
}

// An input written by us (no metadata) and then given metadata by exiftool.
void MakeInput(const std::string& file, const std::string& arguments, int width = kWidth, int height = kHeight) {
  WriteThroughRegistry(*MakeImage(TImageFormat::TrueColor, width, height, 7), file);
  ASSERT_TRUE(ExiftoolWrite(file, arguments)) << "exiftool could not write into " << file;
}

// The peers that check a file's structure say nothing about File.
void ExpectStructureClean(const std::string& file) {
  const std::string ext = Extension(file);
  if (ext == "tif" && Shell("command -v tiffinfo >/dev/null 2>&1")) {
    const qvtest::TCommandOutput run = qvtest::RunCaptured("tiffinfo " + file);
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Err, "") << "tiffinfo on " << file;
  }
  if (ext == "png" && Shell("command -v pngcheck >/dev/null 2>&1")) {
    const qvtest::TCommandOutput run = qvtest::RunCaptured("pngcheck " + file);
    EXPECT_EQ(run.Status, 0) << run.Out;
  }
}

const char* const kExpectedExiftool[][2] = {
    {"IFD0:Artist", "Ann Example"},
    {"IFD0:Copyright", "(c) Quellmark test"},
    {"ExifIFD:DateTimeOriginal", "2024:05:06 07:08:09"},
    {"GPS:GPSLatitude", "48.5"},
    {"GPS:GPSLongitude", "9.25"},
    {"XMP-dc:Subject", "harbour, boats"},
    {"IPTC:Keywords", "harbour, boats"},
};
const char* const kExpectedExiv2[][2] = {
    {"Exif.Image.Artist", "Ann Example"},
    {"Exif.Photo.DateTimeOriginal", "2024:05:06 07:08:09"},
    {"Exif.GPSInfo.GPSLatitudeRef", "North"},
    {"Xmp.dc.subject", "harbour, boats"},
    {"Iptc.Application2.Keywords", "harbour, boats"},
};

// Checks File with both peers; the result is a row of the interop table.
std::string CheckTestMetadata(const std::string& file) {
  const std::map<std::string, std::string> tags = ExiftoolTags(file);
  int exiftoolMissing = 0, exiv2Missing = 0;
  for (const auto& [key, value] : kExpectedExiftool) {
    const auto it = tags.find(key);
    EXPECT_TRUE(it != tags.end() && it->second == value) << "exiftool " << key << " in " << file;
    exiftoolMissing += it == tags.end() || it->second != value;
  }
  EXPECT_EQ(tags.count("ExifTool:Warning"), 0u) << tags.find("ExifTool:Warning")->second;
  std::string errors;
  const std::map<std::string, std::string> keys = Exiv2Tags(file, errors);
  for (const auto& [key, value] : kExpectedExiv2) {
    const auto it = keys.find(key);
    EXPECT_TRUE(it != keys.end() && it->second == value) << "exiv2 " << key << " in " << file;
    exiv2Missing += it == keys.end() || it->second != value;
  }
  EXPECT_EQ(errors, "") << "exiv2 -pa " << file;
  ExpectStructureClean(file);
  std::ostringstream row;
  row << (exiftoolMissing == 0 ? "pass" : std::to_string(exiftoolMissing) + " missing") << " / "
      << (exiv2Missing == 0 && errors.empty() ? "pass" : std::to_string(exiv2Missing) + " missing, " + errors);
  return row.str();
}

}  // namespace

// Every pair of input and output format, the input's metadata written by exiftool.
TEST(MetadataInterop, PeersMetadataSurvivesEveryFormat) {
  QV_REQUIRE_METADATA_PEERS();
  TScratchFolder dir;
  RegisterStandardGraphicFormats();
  std::ostringstream table;
  table << "input -> output: exiftool / exiv2\n";
  for (const std::string in : {"jpg", "png", "tif"}) {
    const std::string input = dir / ("in." + in);
    MakeInput(input, qvtest::TestMetadataArguments());
    for (const std::string out : {"jpg", "png", "tif"}) {
      SCOPED_TRACE(in + " -> " + out);
      const std::string output = dir / (in + "-to." + out);
      ReadAndSave(input, output);
      table << in << " -> " << out << ": " << CheckTestMetadata(output) << "\n";
    }
  }
  std::cout << table.str();
}

// A photo stored turned, with a thumbnail and size fields that no longer fit: saved upright, its
// fields say orientation 1 (EXIF and XMP), the upright size, and it has no thumbnail.
TEST(MetadataInterop, FieldsCorrectedToTheSavedPicture) {
  QV_REQUIRE_METADATA_PEERS();
  TScratchFolder dir;
  RegisterStandardGraphicFormats();
  const std::string thumbnail = dir / "thumb.jpg";
  WriteThroughRegistry(*MakeImage(TImageFormat::TrueColor, 8, 6, 3), thumbnail);
  const std::string input = dir / "turned.jpg";
  MakeInput(input,
            "-Orientation#=6 -XMP-tiff:Orientation#=6 -ExifImageWidth=999 -ExifImageHeight=888 "
            "'-ThumbnailImage<=" +
                thumbnail + "' " + qvtest::TestMetadataArguments());
  const std::map<std::string, std::string> before = ExiftoolTags(input);
  ASSERT_EQ(before.count("IFD1:ThumbnailLength"), 1u) << "exiftool wrote no thumbnail";
  ASSERT_EQ(before.at("IFD0:Orientation"), "6");

  const struct {
    const char* Output;
    const char* Orientation;  // of the first directory; TIFF pages carry none (upright)
  } cases[] = {{"upright.jpg", "1"}, {"upright.png", "1"}, {"upright.tif", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Output);
    ReadAndSave(input, dir / c.Output);
    const std::map<std::string, std::string> tags = ExiftoolTags(dir / c.Output);
    if (c.Orientation)
      EXPECT_EQ(tags.count("IFD0:Orientation") ? tags.at("IFD0:Orientation") : "", c.Orientation);
    else
      EXPECT_EQ(tags.count("IFD0:Orientation"), 0u);
    EXPECT_EQ(tags.count("XMP-tiff:Orientation") ? tags.at("XMP-tiff:Orientation") : "", "1");
    // The picture was 37 x 21 as stored; upright it is 21 x 37.
    EXPECT_EQ(tags.count("ExifIFD:ExifImageWidth") ? tags.at("ExifIFD:ExifImageWidth") : "", std::to_string(kHeight));
    EXPECT_EQ(tags.count("ExifIFD:ExifImageHeight") ? tags.at("ExifIFD:ExifImageHeight") : "", std::to_string(kWidth));
    EXPECT_EQ(tags.count("IFD1:ThumbnailLength"), 0u);
    EXPECT_EQ(tags.count("IFD0:Artist") ? tags.at("IFD0:Artist") : "", "Ann Example");
    EXPECT_EQ(tags.count("ExifTool:Warning"), 0u);
    std::string errors;
    Exiv2Tags(dir / c.Output, errors);
    EXPECT_EQ(errors, "");
    ExpectStructureClean(dir / c.Output);
  }
}

// XMP larger than one JPEG segment, which exiftool spreads over an extension: a JPEG saved again
// carries the extension (the packet itself rewritten for the upright picture), PNG and TIFF hold
// it within their one packet; exiftool reads the whole property back from each.
TEST(MetadataInterop, ExtendedXmpSurvivesEveryFormat) {
  QV_REQUIRE_METADATA_PEERS();
  TScratchFolder dir;
  RegisterStandardGraphicFormats();
  const std::string text = dir / "long.txt";
  const std::string description(80000, 'w');
  std::ofstream(text) << description;
  const std::string input = dir / "extended.jpg";
  MakeInput(input, "-Orientation#=6 -XMP-tiff:Orientation#=6 '-XMP-dc:Description<=" + text + "'");
  ASSERT_EQ(ExiftoolTags(input, "-XMP-dc:Description")["XMP-dc:Description"], description)
      << "exiftool wrote no extended XMP";
  for (const char* output : {"extended-out.jpg", "extended-out.png", "extended-out.tif"}) {
    SCOPED_TRACE(output);
    ReadAndSave(input, dir / output);
    std::map<std::string, std::string> tags = ExiftoolTags(dir / output, "-XMP-dc:Description");
    EXPECT_EQ(tags["XMP-dc:Description"].size(), description.size());
    EXPECT_EQ(tags["XMP-dc:Description"], description);
    EXPECT_EQ(tags["XMP-tiff:Orientation"], "1");
    EXPECT_EQ(tags.count("ExifTool:Warning"), 0u) << tags["ExifTool:Warning"];
    ExpectStructureClean(dir / output);
  }
}

// Each page of a TIFF keeps its own fields when all pages are saved again (the page writer's
// copies, as the window's save over the file does).
TEST(MetadataInterop, EveryTiffPageKeepsItsOwn) {
  QV_REQUIRE_METADATA_PEERS();
  TScratchFolder dir;
  RegisterStandardGraphicFormats();
  const std::string input = dir / "pages.tif";
  {
    std::unique_ptr<TDibGraphic> first = CreateGraphicForFile(input), second = CreateGraphicForFile(input);
    first->Assign(MakeImage(TImageFormat::TrueColor, kWidth, kHeight, 1).get());
    second->Assign(MakeImage(TImageFormat::Gray256, kHeight, kWidth, 2).get());
    TMemoryStream stream;
    first->SaveToStream(stream);
    second->AppendToStream(stream);
    PutFileBytes(input, stream.Data());
  }
  ASSERT_TRUE(ExiftoolWrite(input,
                            "-IFD0:Artist='First Page' -IFD1:Artist='Second Page' -IFD0:Copyright=one "
                            "-IFD1:Copyright=two"));
  const std::string output = dir / "saved.tif";
  {
    std::unique_ptr<TDibGraphic> image = CreateGraphicForFile(input);
    image->SetMultiImage(true);
    image->LoadFromFile(input);
    ASSERT_EQ(image->FrameCount(), 2);
    TMultiPageWriter file(output);
    for (int i = 1; i <= image->FrameCount(); ++i) file.AddPageCopy(image->GetFrame(i));
    ASSERT_TRUE(file.Commit());
  }
  const std::map<std::string, std::string> tags = ExiftoolTags(output, "-IFD1:Artist -IFD1:Copyright");
  EXPECT_EQ(tags.count("IFD0:Artist") ? tags.at("IFD0:Artist") : "", "First Page");
  EXPECT_EQ(tags.count("IFD1:Artist") ? tags.at("IFD1:Artist") : "", "Second Page");
  EXPECT_EQ(tags.count("IFD0:Copyright") ? tags.at("IFD0:Copyright") : "", "one");
  EXPECT_EQ(tags.count("IFD1:Copyright") ? tags.at("IFD1:Copyright") : "", "two");
  EXPECT_EQ(tags.count("ExifTool:Warning"), 0u);
  ExpectStructureClean(output);
}
