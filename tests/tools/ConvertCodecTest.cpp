// brindlex-convert with PNG and JPEG: the writers' settings on the command line, and what a
// damaged input reports.
#include <gtest/gtest.h>

#include "ToolTestSupport.h"

using namespace qvtest;

namespace {

bool HasMarker(const std::vector<uint8_t>& file, uint8_t marker) {
  for (size_t i = 0; i + 1 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == marker) return true;
  return false;
}

// Byte 28 of a PNG file is the interlace method of its header.
int PngInterlace(const std::vector<uint8_t>& file) { return file.size() > 28 ? file[28] : -1; }

}  // namespace

TEST(ConvertCodecs, WriterSettingsReachTheFiles) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 64, 48, 3), dir / "in.tga");
  auto convert = [&](const std::string& out, std::vector<std::string> options) {
    std::vector<std::string> arguments{dir / "in.tga", "-o", dir / out};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const TRun run = RunConvert(arguments);
    EXPECT_EQ(run.Status, 0) << out << run.Err;
    return FileBytes(dir / out);
  };
  const auto plain = convert("plain.jpg", {});
  const auto low = convert("low.jpg", {"--quality", "20"});
  const auto progressive = convert("progressive.jpg", {"--progressive"});
  const auto optimized = convert("optimized.jpg", {"--optimize"});
  EXPECT_LT(low.size(), plain.size());
  EXPECT_LT(optimized.size(), plain.size());
  EXPECT_TRUE(HasMarker(plain, 0xC0));
  EXPECT_TRUE(HasMarker(progressive, 0xC2));

  const auto interlaced = convert("interlaced.png", {});
  const auto flat = convert("flat.png", {"--no-interlace"});
  const auto fast = convert("fast.png", {"--png-level", "fast", "--no-interlace"});
  const auto best = convert("best.png", {"--png-level=best", "--no-interlace"});
  EXPECT_EQ(PngInterlace(interlaced), 1);
  EXPECT_EQ(PngInterlace(flat), 0);
  EXPECT_LE(best.size(), fast.size());
  for (const char* name : {"interlaced.png", "flat.png", "fast.png", "best.png"})
    EXPECT_TRUE(SamePicture(*ReadImage(dir / name), *ReadImage(dir / "in.tga"))) << name;

  // JPEG settings do not disturb a PNG output and the other way round.
  const auto mixed = convert("mixed.png", {"--quality", "10", "--progressive"});
  EXPECT_EQ(mixed, interlaced);
}

TEST(ConvertCodecs, DamagedInputsReportWithTheFileName) {
  TScratchFolder dir;
  WriteWholeAndCut(dir, *MakeImage(TImageFormat::TrueColor, 64, 48, 5), {"jpg", "png"});
  // A JPEG cut short decodes what it holds, with libjpeg's warning; a PNG cut short fails.
  const TRun jpeg = RunConvert({dir / "cut.jpg", "-o", dir / "out.tga"});
  EXPECT_EQ(jpeg.Status, 0);
  EXPECT_TRUE(jpeg.Err.starts_with("brindlex-convert: warning: " + dir / "cut.jpg" + ": Premature end of JPEG file\n"))
      << jpeg.Err;
  const TRun strict = RunConvert({dir / "cut.jpg", "-o", dir / "strict.tga", "--strict"});
  EXPECT_EQ(strict.Status, 1);
  const TRun png = RunConvert({dir / "cut.png", "-o", dir / "out2.tga"});
  EXPECT_EQ(png.Status, 1);
  EXPECT_TRUE(png.Err.starts_with("brindlex-convert: " + dir / "cut.png" + ": ")) << png.Err;
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"cut.jpg", "cut.png", "out.tga", "whole.jpg", "whole.png"}));
}
