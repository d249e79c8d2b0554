// Embedded colour profiles through brindlex-convert: kept where the output holds them, converted
// to sRGB where it does not or when asked, dropped with --strip.
#include "ToolTestSupport.h"
#include "colour/QvColour.h"
#include "support/TestProfiles.h"

using namespace quorvane;
using namespace qvtest;

TEST(ConvertColour, ProfileOptionsByOutputFormat) {
  TScratchFolder dir;
  const std::vector<uint8_t> wide = qvtest::WideGamutProfile();
  std::unique_ptr<TDibGraphic> input = MakeImage(TImageFormat::TrueColor, 13, 7, 5);
  input->SetIccProfile(wide);
  WriteImage(*input, dir / "wide.tif");
  TDibGraphic converted;
  converted.Assign(input.get());
  ASSERT_TRUE(ConvertToSrgb(converted));

  const struct {
    std::vector<std::string> Options;
    const char* Output;
    bool Kept;       // the output holds the input's profile
    bool Converted;  // the pixels are the sRGB conversion, else the input's own
    const char* Note;
  } cases[] = {
      {{}, "out.png", true, false, ""},
      {{"--keep-profile"}, "out.tif", true, false, ""},
      {{}, "out.pcx", false, true, "sRGB (the TPcxGraphic format holds no colour profile)"},
      {{}, "out.tga", false, true, "sRGB (the TTgaGraphic format holds no colour profile)"},
      {{"--to-srgb"}, "out.png", false, true, "converted from the embedded colour profile to sRGB"},
      {{"--strip"}, "out.png", false, false, "colour profile dropped"},
      {{"--gray"}, "out.png", false, false, "does not fit the 256 shades of gray pixels"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"-v", "--compression", "none",       dir / "wide.tif",
                                       "-o", dir / c.Output,  "--overwrite"};
    arguments.insert(arguments.end(), c.Options.begin(), c.Options.end());
    SCOPED_TRACE(c.Output + (c.Options.empty() ? std::string() : " " + c.Options[0]));
    const TRun run = RunConvert(arguments);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Err.find(c.Note), std::string::npos) << run.Err;
    if (*c.Note == '\0') {
      EXPECT_EQ(run.Err, "");
    }
    std::unique_ptr<TDibGraphic> output = ReadImage(dir / c.Output);
    EXPECT_EQ(output->IccProfile(), c.Kept ? wide : std::vector<uint8_t>{});
    if (c.Options.empty() || c.Options[0] != "--gray") {
      EXPECT_TRUE(SamePicture(*output, c.Converted ? converted : *input));
    }
  }
  const TRun both = RunConvert({"--strip", "--to-srgb", dir / "wide.tif", "-o", dir / "x.png"});
  EXPECT_EQ(both.Status, 2);
  EXPECT_NE(both.Err.find("exclude each other"), std::string::npos);
}

TEST(ConvertColour, InfoShowsTheProfile) {
  TScratchFolder dir;
  std::unique_ptr<TDibGraphic> input = MakeImage(TImageFormat::TrueColor, 4, 4, 1);
  input->SetIccProfile(qvtest::WideGamutProfile());
  WriteImage(*input, dir / "wide.png");
  const TRun run = RunConvert({"--info", dir / "wide.png"});
  EXPECT_NE(run.Out.find(", RGB colour profile (" + std::to_string(input->IccProfile().size()) + " bytes)"),
            std::string::npos)
      << run.Out;
}
