// The catalogue sets each transform up as the Image menu does; the window and the converter
// depend on these defaults being in one place.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "transforms/QvTransfCatalog.h"
#include "transforms/QvTransfFilter.h"
#include "transforms/QvTransfFormat.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"

using namespace quorvane;

namespace {

template <typename T>
const T& As(const std::unique_ptr<TImageTransform>& t) {
  const T* typed = dynamic_cast<const T*>(t.get());
  if (!typed) throw std::runtime_error(std::string("not a ") + typeid(T).name() + ": " + t->ClassName());
  return *typed;
}

struct TMenuCase {
  TImageCommand Command;
  const char* Caption;
  const char* TransformClass;
  TParameterSource Source;
  std::function<bool(const std::unique_ptr<TImageTransform>&)> Parameters;  // null: none to check
};

const std::vector<TMenuCase>& MenuCases() {
  using C = TImageCommand;
  using S = TParameterSource;
  static const std::vector<TMenuCase> cases{
      {C::Rotate90, "&90 Degrees", "TRotateTransform", S::None,
       [](auto& t) { return As<TRotateTransform>(t).Angle == 90.0; }},
      {C::Rotate180, "&180 Degrees", "TRotateTransform", S::None,
       [](auto& t) { return As<TRotateTransform>(t).Angle == 180.0; }},
      {C::Rotate270, "&270 Degrees", "TRotateTransform", S::None,
       [](auto& t) { return As<TRotateTransform>(t).Angle == 270.0; }},
      {C::RotateSpecified, "&Specified...", "TRotateTransform", S::Prompt,
       [](auto& t) { return As<TRotateTransform>(t).Angle == 45.0; }},
      {C::FlipHorizontal, "&Horizontal", "TFlipHorizontalTransform", S::None, nullptr},
      {C::FlipVertical, "&Vertical", "TFlipVerticalTransform", S::None, nullptr},
      {C::Negative, "&Negative", "TNegativeTransform", S::None, nullptr},
      {C::Crop, "&Crop...", "TCropTransform", S::CropDialog,
       [](auto& t) {
         const auto& c = As<TCropTransform>(t);
         return c.CropLeft == 0 && c.CropTop == 0 && c.CropRight == 0 && c.CropBottom == 0;
       }},
      {C::Sharpen, "&Sharpen", "TSharpenTransform", S::None,
       [](auto& t) { return As<TSharpenTransform>(t).Strength == 10; }},
      {C::Smooth, "S&mooth", "TSmoothTransform", S::None,
       [](auto& t) { return As<TSmoothTransform>(t).Strength == 20; }},
      {C::IncreaseBrightness, "&Increase", "TBrightnessTransform", S::None,
       [](auto& t) { return As<TBrightnessTransform>(t).Amount == 3.0; }},
      {C::DecreaseBrightness, "&Decrease", "TBrightnessTransform", S::None,
       [](auto& t) { return As<TBrightnessTransform>(t).Amount == -3.0; }},
      {C::IncreaseContrast, "&Increase", "TContrastTransform", S::None,
       [](auto& t) { return As<TContrastTransform>(t).RaiseContrast; }},
      {C::DecreaseContrast, "&Decrease", "TContrastTransform", S::None,
       [](auto& t) { return !As<TContrastTransform>(t).RaiseContrast; }},
      {C::EdgeDetection, "E&dge Detection", "TEdgeTransform", S::None, nullptr},
      {C::Emboss, "&Emboss", "TEmbossTransform", S::None, nullptr},
      {C::Gamma, "&Gamma...", "TGammaTransform", S::Prompt,
       [](auto& t) { return As<TGammaTransform>(t).GammaValue == 1.0; }},
      {C::ConvertToGray, "&Convert to Gray", "TConvertToGrayTransform", S::None, nullptr},
      // The transform's own defaults quantize and dither; the dialog's boxes start unchecked.
      {C::FormatConversion, "&Format Conversion...", "TImageFormatTransform", S::FormatDialog,
       [](auto& t) {
         const auto& f = As<TImageFormatTransform>(t);
         return !f.UseQuantizer && !f.UseDither && f.TargetFormat == TImageFormat::TrueColor;
       }},
      {C::Resize, "&Resize...", "TResizeTransform", S::ResizeDialog,
       [](auto& t) {
         const auto& r = As<TResizeTransform>(t);
         return !r.Interpolate && !r.ForceFormat && r.Filter == TResizeFilter::rfTriangle;
       }},
  };
  return cases;
}

TEST(Catalog, EveryMenuEntryMakesItsTransformWithTheMenuDefaults) {
  ASSERT_EQ(ImageMenuEntries().size(), MenuCases().size());
  for (const TMenuCase& c : MenuCases()) {
    const TImageMenuEntry& entry = ImageMenuEntry(c.Command);
    SCOPED_TRACE(entry.Caption);
    EXPECT_EQ(entry.Command, c.Command) << "entries are in the order of TImageCommand";
    EXPECT_STREQ(entry.Caption, c.Caption);
    EXPECT_EQ(entry.Source, c.Source);
    const std::unique_ptr<TImageTransform> t = CreateTransform(entry.Operation, entry.Parameters);
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->ClassName(), c.TransformClass);
    if (c.Parameters) EXPECT_TRUE(c.Parameters(t));
  }
}

TEST(Catalog, PromptsCarryTheirTextsAndInitialAnswers) {
  const TImageMenuEntry& rotate = ImageMenuEntry(TImageCommand::RotateSpecified);
  EXPECT_STREQ(rotate.PromptCaption, "Rotate");
  EXPECT_STREQ(rotate.PromptText, "Rotation Angle");
  EXPECT_STREQ(rotate.PromptInitial, "45");
  const TImageMenuEntry& gamma = ImageMenuEntry(TImageCommand::Gamma);
  EXPECT_STREQ(gamma.PromptCaption, "Gamma");
  EXPECT_STREQ(gamma.PromptText, "Gamma value (0.1 - 7.0)");
  EXPECT_STREQ(gamma.PromptInitial, "1.0");
}

TEST(Catalog, ParametersReachTheTransformThroughItsSetters) {
  TOperationParameters p = DefaultParameters(TImageOperation::Gamma);
  p.GammaValue = 9.0;
  EXPECT_EQ(As<TGammaTransform>(CreateTransform(TImageOperation::Gamma, p)).GammaValue, 7.0) << "clamped";
  p = DefaultParameters(TImageOperation::Brightness);
  p.Amount = -250.0;
  EXPECT_EQ(As<TBrightnessTransform>(CreateTransform(TImageOperation::Brightness, p)).Amount, -100.0);
}

// Without interpolation the format list of the Resize dialog has no effect.
TEST(Catalog, ResizeChangesTheFormatOnlyWithInterpolation) {
  TOperationParameters p = DefaultParameters(TImageOperation::Resize);
  p.NewWidth = 7;
  p.NewHeight = 5;
  p.ForceFormat = true;
  p.TargetFormat = TImageFormat::Gray256;
  p.Filter = TResizeFilter::rfMitchell;
  const auto stretching = CreateTransform(TImageOperation::Resize, p);
  const auto& plain = As<TResizeTransform>(stretching);
  EXPECT_FALSE(plain.ForceFormat);
  EXPECT_EQ(plain.NewWidth, 7);
  EXPECT_EQ(plain.NewHeight, 5);
  p.Interpolate = true;
  const auto resampling = CreateTransform(TImageOperation::Resize, p);
  const auto& r = As<TResizeTransform>(resampling);
  EXPECT_TRUE(r.ForceFormat);
  EXPECT_EQ(r.TargetFormat, TImageFormat::Gray256);
  EXPECT_EQ(r.Filter, TResizeFilter::rfMitchell);
}

}  // namespace
