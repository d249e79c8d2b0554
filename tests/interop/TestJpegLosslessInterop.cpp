// Lossless JPEG turns against jpegtran: for the eight turns, colour (4:2:0) and gray files of whole
// blocks, partial blocks and whole blocks one way only, our turned file decodes (djpeg) to exactly
// the pixels of jpegtran's, and where jpegtran -perfect refuses a turn ours refuses it too. The
// metadata goes along and is made true (exiftool).
#include <gtest/gtest.h>

#include <array>

#include "formats/QvJpegLossless.h"
#include "interop/InteropSupport.h"
#include "support/JpegPeers.h"

using namespace quorvane;
using namespace qvtest;

namespace {

// A cjpeg file of a test picture; Options choose the sampling.
std::string CjpegFile(const TScratchFolder& folder, const std::string& name, int width, int height,
                      const std::string& options) {
  WritePpm(folder / (name + ".ppm"), TestPicture(width, height, 11));
  const std::string file = folder / (name + ".jpg");
  EXPECT_TRUE(Shell("cjpeg -quality 90 " + options + " -outfile " + file + " " + folder / (name + ".ppm")));
  return file;
}

}  // namespace

TEST(JpegLosslessInterop, EveryTurnDecodesAsJpegtransTurn) {
  QV_REQUIRE_JPEG_TOOLS();
  TScratchFolder folder;
  const struct {
    const char* Name;
    int Width, Height;
    const char* Options;
  } files[] = {
      {"whole-420", 48, 32, "-sample 2x2"},  {"odd-420", 37, 21, "-sample 2x2"},
      {"across-420", 48, 21, "-sample 2x2"}, {"whole-gray", 40, 24, "-grayscale"},
      {"odd-gray", 37, 21, "-grayscale"},    {"whole-444-prog", 40, 24, "-sample 1x1 -progressive"},
  };
  int done = 0, refused = 0;
  for (const auto& f : files) {
    const std::string input = CjpegFile(folder, f.Name, f.Width, f.Height, f.Options);
    const std::vector<uint8_t> bytes = FileBytes(input);
    for (TDihedral turn : kEveryTurn) {
      SCOPED_TRACE(testing::Message() << f.Name << " " << qvtest::JpegtranOptions(turn));
      const std::string theirs = folder / (std::string(f.Name) + "-" + std::to_string(int(turn)) + "-jpegtran.jpg");
      const std::string ours = folder / (std::string(f.Name) + "-" + std::to_string(int(turn)) + "-ours.jpg");
      const bool perfect = qvtest::JpegtranPerfect(input, turn, theirs);
      const TLosslessJpeg result = TransformJpegLossless(bytes, turn);
      EXPECT_EQ(result.Width, SwapsSides(turn) ? f.Height : f.Width);
      EXPECT_EQ(result.Height, SwapsSides(turn) ? f.Width : f.Height);
      if (!perfect) {
        EXPECT_EQ(result.Result, TLosslessJpegResult::PartialBlocks);
        ++refused;
        continue;
      }
      ASSERT_EQ(result.Result, TLosslessJpegResult::Done) << result.Problem;
      PutFileBytes(ours, result.Bytes);
      EXPECT_TRUE(qvtest::SameDecodedPixels(ours, theirs));
      ++done;
    }
  }
  // Both ways occur: whole-block files turn every way, the others only some.
  EXPECT_GT(done, 30);
  EXPECT_GT(refused, 10);
}

// What the file says goes along: the camera's tags, the comment and the profile; the orientation
// becomes 1 and the dimensions and density follow the turn.
TEST(JpegLosslessInterop, MetadataCarriedAndMadeTrue) {
  QV_REQUIRE_JPEG_TOOLS();
  if (!Shell("command -v exiftool >/dev/null")) GTEST_SKIP() << "exiftool is needed";
  TScratchFolder folder;
  const std::string input = CjpegFile(folder, "photo", 48, 32, "-sample 2x2");
  ASSERT_TRUE(
      Shell("timeout 60 exiftool -q -overwrite_original -n -Orientation=6 -Artist=Someone '-Model=Phone X' "
            "-ExifIFD:ExifImageWidth=48 -ExifIFD:ExifImageHeight=32 -JFIF:XResolution=72 "
            "-JFIF:YResolution=144 -JFIF:ResolutionUnit=1 '-Comment=kept too' " +
            input));
  const std::string tags =
      "-Orientation -Artist -Model -ExifImageWidth -ExifImageHeight -JFIF:XResolution "
      "-JFIF:YResolution -Comment -validate";
  const std::string inputValidation = qvtest::ExiftoolValues(input, "-validate")["Validate"];
  for (TDihedral turn : {TDihedral::Rotate90, TDihedral::Rotate180, TDihedral::Transpose}) {
    SCOPED_TRACE(qvtest::JpegtranOptions(turn));
    const TLosslessJpeg result = TransformJpegLossless(FileBytes(input), turn);
    ASSERT_EQ(result.Result, TLosslessJpegResult::Done) << result.Problem;
    const std::string output = folder / "turned.jpg";
    PutFileBytes(output, result.Bytes);
    const std::map<std::string, std::string> shown = qvtest::ExiftoolValues(output, tags);
    const bool swapped = SwapsSides(turn);
    EXPECT_EQ(shown.count("Orientation") ? shown.at("Orientation") : "1", "1");
    for (const auto& [tag, value] :
         std::vector<std::pair<std::string, std::string>>{{"Artist", "Someone"},
                                                          {"Model", "Phone X"},
                                                          {"Comment", "kept too"},
                                                          {"ExifImageWidth", swapped ? "32" : "48"},
                                                          {"ExifImageHeight", swapped ? "48" : "32"},
                                                          {"XResolution", swapped ? "144" : "72"},
                                                          {"YResolution", swapped ? "72" : "144"}})
      EXPECT_EQ(shown.count(tag) ? shown.at(tag) : "(absent)", value) << tag;
    // exiftool finds no more wrong with the turned file than with the original.
    EXPECT_EQ(shown.count("Validate") ? shown.at("Validate") : "(absent)", inputValidation);
  }
}
