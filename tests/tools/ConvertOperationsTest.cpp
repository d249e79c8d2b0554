// Every operation of brindlex-convert gives what the window's menu command gives: the same
// transform with the same parameters, applied to the same image.
#include <functional>

#include "ToolTestSupport.h"
#include "transforms/QvTransfFilter.h"
#include "transforms/QvTransfFormat.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"
#include "transforms/QvTransfResize.h"

using namespace quorvane;

using namespace qvtest;

namespace {

struct TOperationCase {
  const char* Name;
  std::vector<std::string> Arguments;
  std::function<std::unique_ptr<TImageTransform>()> MenuTransform;
};

template <typename T, typename TSetup>
std::function<std::unique_ptr<TImageTransform>()> Menu(TSetup setup) {
  return [setup]() {
    auto t = std::make_unique<T>();
    setup(*t);
    return std::unique_ptr<TImageTransform>(std::move(t));
  };
}

template <typename T>
std::function<std::unique_ptr<TImageTransform>()> Menu() {
  return Menu<T>([](T&) {});
}

std::function<std::unique_ptr<TImageTransform>()> Conversion(TImageFormat target, bool quantize, bool dither) {
  return Menu<TImageFormatTransform>([=](TImageFormatTransform& t) {
    t.TargetFormat = target;
    t.UseQuantizer = quantize;
    t.UseDither = dither;
  });
}

std::function<std::unique_ptr<TImageTransform>()> Resampling(TResizeFilter filter) {
  return Menu<TResizeTransform>([=](TResizeTransform& t) {
    t.NewWidth = 20;
    t.NewHeight = 13;
    t.Interpolate = true;
    t.Filter = filter;
  });
}

const std::vector<TOperationCase>& Cases() {
  static const std::vector<TOperationCase> cases{
      {"Rotate90", {"--rotate", "90"}, Menu<TRotateTransform>([](auto& t) { t.Angle = 90; })},
      {"Rotate45", {"--rotate", "45"}, Menu<TRotateTransform>([](auto& t) { t.Angle = 45; })},
      {"RotateMinus90", {"--rotate", "-90"}, Menu<TRotateTransform>([](auto& t) { t.Angle = -90; })},
      {"FlipH", {"--flip-h"}, Menu<TFlipHorizontalTransform>()},
      {"FlipV", {"--flip-v"}, Menu<TFlipVerticalTransform>()},
      {"Negative", {"--negative"}, Menu<TNegativeTransform>()},
      {"Crop", {"--crop", "3,4,5,6"}, Menu<TCropTransform>([](auto& t) {
         t.CropLeft = 3;
         t.CropTop = 4;
         t.CropRight = 5;
         t.CropBottom = 6;
       })},
      {"Sharpen", {"--sharpen"}, Menu<TSharpenTransform>()},
      {"Smooth", {"--smooth"}, Menu<TSmoothTransform>()},
      {"BrightnessUp", {"--brightness", "3"}, Menu<TBrightnessTransform>([](auto& t) { t.SetAmount(3.0); })},
      {"BrightnessDown", {"--brightness=-3"}, Menu<TBrightnessTransform>([](auto& t) { t.SetAmount(-3.0); })},
      {"ContrastUp", {"--contrast", "up"}, Menu<TContrastTransform>([](auto& t) { t.RaiseContrast = true; })},
      {"ContrastDown", {"--contrast", "down"}, Menu<TContrastTransform>([](auto& t) { t.RaiseContrast = false; })},
      {"Edge", {"--edge"}, Menu<TEdgeTransform>()},
      {"Emboss", {"--emboss"}, Menu<TEmbossTransform>()},
      {"Gamma", {"--gamma", "2.2"}, Menu<TGammaTransform>([](auto& t) { t.SetGammaValue(2.2); })},
      {"GammaClamped", {"--gamma", "9"}, Menu<TGammaTransform>([](auto& t) { t.SetGammaValue(7.0); })},
      {"Gray", {"--gray"}, Menu<TConvertToGrayTransform>()},
      {"ConvertBw", {"--convert", "bw"}, Conversion(TImageFormat::BlackWhite, false, false)},
      {"ConvertGray16Dither", {"--convert", "gray16", "--dither"}, Conversion(TImageFormat::Gray16, false, true)},
      {"ConvertGray256", {"--convert", "gray256"}, Conversion(TImageFormat::Gray256, false, false)},
      {"ConvertColor16", {"--convert", "color16"}, Conversion(TImageFormat::Color16, false, false)},
      {"ConvertColor256QuantizeDither",
       {"--convert", "color256", "--quantize", "--dither"},
       Conversion(TImageFormat::Color256, true, true)},
      {"ConvertTrueColor", {"--convert", "truecolor"}, Conversion(TImageFormat::TrueColor, false, false)},
      {"ResizeStretch", {"--resize", "20x13"}, Menu<TResizeTransform>([](auto& t) {
         t.NewWidth = 20;
         t.NewHeight = 13;
       })},
      {"ResizeTriangle", {"--resize", "20x13", "--filter", "triangle"}, Resampling(TResizeFilter::rfTriangle)},
      {"ResizeHermite", {"--resize", "20x13", "--filter", "hermite"}, Resampling(TResizeFilter::rfHermite)},
      {"ResizeBell", {"--resize", "20x13", "--filter", "bell"}, Resampling(TResizeFilter::rfBell)},
      {"ResizeBSpline", {"--resize", "20x13", "--filter", "bspline"}, Resampling(TResizeFilter::rfBSpline)},
      {"ResizeLanczos3", {"--resize", "20x13", "--filter", "lanczos3"}, Resampling(TResizeFilter::rfLanczos3)},
      {"ResizeMitchell", {"--resize", "20x13", "--filter", "mitchell"}, Resampling(TResizeFilter::rfMitchell)},
  };
  return cases;
}

class ConvertOperationTest : public ::testing::TestWithParam<size_t> {};

TEST_P(ConvertOperationTest, GivesTheMenuCommandsResult) {
  const TOperationCase& c = Cases()[GetParam()];
  TScratchFolder dir;
  // A true-colour and a palette source: palette images take other paths in most transforms.
  for (TImageFormat format : {TImageFormat::TrueColor, TImageFormat::Color256}) {
    SCOPED_TRACE(ImageFormatName(format));
    WriteImage(*MakeImage(format, 41, 27, 7), dir / "in.pcx");
    std::vector<std::string> arguments{dir / "in.pcx", "-o", dir / "out.pcx", "--overwrite", "--quiet"};
    arguments.insert(arguments.end(), c.Arguments.begin(), c.Arguments.end());
    const TRun run = RunConvert(arguments);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");

    std::unique_ptr<TDibGraphic> source = ReadImage(dir / "in.pcx");
    TDibGraphic expected;
    c.MenuTransform()->ApplyOnDest(*source, expected);
    std::unique_ptr<TDibGraphic> actual = ReadImage(dir / "out.pcx");
    // PCX stores gray palettes as colour palettes: the depth and the colours must match.
    EXPECT_EQ(actual->BitCount(), expected.BitCount());
    EXPECT_EQ(actual->XDpi(), 150);
    EXPECT_EQ(actual->YDpi(), 75);
    EXPECT_TRUE(SamePicture(*actual, expected));
  }
}

INSTANTIATE_TEST_SUITE_P(EveryOperation, ConvertOperationTest, ::testing::Range<size_t>(0, Cases().size()),
                         [](const auto& info) { return std::string(Cases()[info.param].Name); });

TEST(ConvertOperations, ApplyInTheOrderGiven) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 40, 20, 3), dir / "in.tga");
  // Cropping 10 columns after a quarter turn removes rows of the original.
  ASSERT_EQ(RunConvert({dir / "in.tga", "--rotate", "90", "--crop", "10,0,0,0", "-o", dir / "a.tga"}).Status, 0);
  ASSERT_EQ(RunConvert({dir / "in.tga", "--crop", "10,0,0,0", "--rotate", "90", "-o", dir / "b.tga"}).Status, 0);
  EXPECT_EQ(ReadImage(dir / "a.tga")->Width(), 10);
  EXPECT_EQ(ReadImage(dir / "a.tga")->Height(), 40);
  EXPECT_EQ(ReadImage(dir / "b.tga")->Width(), 20);
  EXPECT_EQ(ReadImage(dir / "b.tga")->Height(), 30);

  // Chained operations equal the transforms one after the other.
  ASSERT_EQ(RunConvert({dir / "in.tga", "--negative", "--flip-h", "--gray", "-o", dir / "c.pcx"}).Status, 0);
  std::unique_ptr<TDibGraphic> image = ReadImage(dir / "in.tga");
  TNegativeTransform().Apply(*image);
  TFlipHorizontalTransform().Apply(*image);
  TConvertToGrayTransform().Apply(*image);
  EXPECT_TRUE(SamePicture(*ReadImage(dir / "c.pcx"), *image));
}

TEST(ConvertOperations, TransformFailureCarriesTheLibrarysMessage) {
  TScratchFolder dir;
  WriteImage(*MakeImage(TImageFormat::TrueColor, 10, 10, 1), dir / "in.tga");
  TRun run = RunConvert({dir / "in.tga", "--crop", "5,0,5,0", "-o", dir / "out.tga"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "brindlex-convert: " + dir / "in.tga" + ": Invalid crop parameters\n");
  run = RunConvert({dir / "in.tga", "--resize", "1x5", "--filter", "bell", "-o", dir / "out.tga"});
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, "brindlex-convert: " + dir / "in.tga" + ": Destination graphic too small\n");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"in.tga"});
}

}  // namespace
