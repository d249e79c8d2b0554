// brindlex-convert turning a JPEG into a JPEG: with only quarter turns and flips (and the turn
// upright by the photo's orientation) the file's data is turned as jpegtran turns it; partial
// edge blocks, codec settings or another operation give the usual encoding.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "ToolTestSupport.h"
#include "support/JpegPeers.h"

using namespace qvtest;
using quorvane::TDihedral;

TEST(ConvertLossless, TurnsOnlyAreWrittenWithoutReencoding) {
  QV_REQUIRE_JPEG_TOOLS();
  if (std::system("command -v exiftool >/dev/null") != 0) GTEST_SKIP() << "exiftool is needed";
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 48, 32, 3), dir / "whole.jpg");
  WriteImage(*MakeImage(TImageFormat::TrueColor, 48, 32, 3), dir / "phone.jpg");
  WriteImage(*MakeImage(TImageFormat::TrueColor, 37, 21, 3), dir / "odd.jpg");
  ASSERT_EQ(std::system(("timeout 60 exiftool -q -overwrite_original -n -Orientation=6 " + dir / "phone.jpg").c_str()),
            0);
  const struct {
    const char* Input;
    std::vector<std::string> Options;
    std::optional<TDihedral> Turn;  // of the input's data; none: encoded as usual
  } cases[] = {
      {"whole.jpg", {"--rotate", "90"}, TDihedral::Rotate90},
      {"whole.jpg", {"--flip-h", "--rotate", "270"}, TDihedral::Transpose},
      {"phone.jpg", {"--rotate", "90"}, TDihedral::Rotate180},
      {"phone.jpg", {"--rotate", "90", "--no-auto-orient"}, TDihedral::Rotate90},
      {"odd.jpg", {"--rotate", "90"}, std::nullopt},
      {"whole.jpg", {"--rotate", "90", "--quality", "50"}, std::nullopt},
      {"whole.jpg", {"--rotate", "90", "--negative"}, std::nullopt},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string output = dir / ("out" + std::to_string(++n) + ".jpg");
    std::vector<std::string> arguments{dir / c.Input, "-o", output, "-v"};
    arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
    SCOPED_TRACE(output);
    const TRun run = RunConvert(arguments);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const bool lossless = run.Err.find("written without re-encoding") != std::string::npos;
    EXPECT_EQ(lossless, c.Turn.has_value()) << run.Err;
    if (!c.Turn) continue;
    EXPECT_NE(run.Err.find(std::string("written without re-encoding: ") + TurnText(*c.Turn)), std::string::npos)
        << run.Err;
    ASSERT_TRUE(qvtest::JpegtranPerfect(dir / c.Input, *c.Turn, output + ".jpegtran.jpg"));
    EXPECT_TRUE(qvtest::SameDecodedPixels(output, output + ".jpegtran.jpg"));
  }
  // A turn that partial edge blocks do not allow says why it was encoded.
  const TRun odd = RunConvert({dir / "odd.jpg", "-o", dir / "odd-again.jpg", "-v", "--rotate", "90"});
  EXPECT_NE(odd.Err.find("re-encoded: the size is not a whole number of JPEG blocks"), std::string::npos) << odd.Err;
  EXPECT_EQ(ReadImage(dir / "odd-again.jpg")->Width(), 21);
}
