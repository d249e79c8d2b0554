// The operation table sets each transform up as the Image menu does, and describes each
// parameter truly: the window and the converter both build on these rows.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "model/QvExcept.h"
#include "support/TransformAs.h"
#include "transforms/QvTransfCatalog.h"
#include "transforms/QvTransfFilter.h"
#include "transforms/QvTransfFormat.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"

using namespace quorvane;

using qvtest::As;

namespace {

struct TOperationCase {
  const char* Name;
  const char* TransformClass;
  std::function<bool(const std::unique_ptr<TImageTransform>&)> Defaults;  // null: nothing to set
};

// In the order of the table, which is the Image menu's.
const std::vector<TOperationCase>& OperationCases() {
  static const std::vector<TOperationCase> cases{
      {"rotate", "TRotateTransform", [](auto& t) { return As<TRotateTransform>(t).Angle == 45.0; }},
      {"flip-h", "TFlipHorizontalTransform", nullptr},
      {"flip-v", "TFlipVerticalTransform", nullptr},
      {"negative", "TNegativeTransform", nullptr},
      {"crop", "TCropTransform",
       [](auto& t) {
         const auto& c = As<TCropTransform>(t);
         return c.CropLeft == 0 && c.CropTop == 0 && c.CropRight == 0 && c.CropBottom == 0;
       }},
      {"sharpen", "TSharpenTransform", [](auto& t) { return As<TSharpenTransform>(t).Strength == 10; }},
      {"smooth", "TSmoothTransform", [](auto& t) { return As<TSmoothTransform>(t).Strength == 20; }},
      {"brightness", "TBrightnessTransform", [](auto& t) { return As<TBrightnessTransform>(t).Amount == 3.0; }},
      {"contrast", "TContrastTransform", [](auto& t) { return As<TContrastTransform>(t).RaiseContrast; }},
      {"edge", "TEdgeTransform", nullptr},
      {"emboss", "TEmbossTransform", nullptr},
      {"gamma", "TGammaTransform", [](auto& t) { return As<TGammaTransform>(t).GammaValue == 1.0; }},
      {"gray", "TConvertToGrayTransform", nullptr},
      // The transform's own defaults quantize and dither; the operation's do not.
      {"convert", "TImageFormatTransform",
       [](auto& t) {
         const auto& f = As<TImageFormatTransform>(t);
         return !f.UseQuantizer && !f.UseDither && f.TargetFormat == TImageFormat::TrueColor;
       }},
      {"resize", "TResizeTransform",
       [](auto& t) {
         const auto& r = As<TResizeTransform>(t);
         return r.NewWidth == 100 && r.NewHeight == 100 && !r.Interpolate && !r.ForceFormat &&
                r.Filter == TResizeFilter::rfTriangle;
       }},
  };
  return cases;
}

TEST(Catalog, EveryOperationMakesItsTransformWithItsDefaults) {
  ASSERT_EQ(ImageOperations().size(), OperationCases().size());
  for (size_t i = 0; i < OperationCases().size(); ++i) {
    const TOperationCase& c = OperationCases()[i];
    SCOPED_TRACE(c.Name);
    const TImageOperation& operation = ImageOperations()[i];
    EXPECT_EQ(operation.Name, c.Name);
    EXPECT_EQ(FindImageOperation(c.Name), &operation);
    const std::unique_ptr<TImageTransform> t = CreateTransform(operation, DefaultParameters(operation));
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->ClassName(), c.TransformClass);
    if (c.Defaults) {
      EXPECT_TRUE(c.Defaults(t));
    }
  }
  EXPECT_EQ(FindImageOperation("spin"), nullptr);
  try {
    ImageOperation("spin");
    ADD_FAILURE() << "no error";
  } catch (const EQuorvaneError& e) {
    EXPECT_EQ(e.Message(), "Unknown image operation spin");
  }
}

// What readers of the descriptions (the converter's options, the menu's presets) rely on.
TEST(Catalog, ParametersDescribeTheirFieldsTruly) {
  for (const TImageOperation& operation : ImageOperations()) {
    SCOPED_TRACE(std::string(operation.Name));
    int arguments = 0;
    for (const TOperationParameter& parameter : operation.Parameters) {
      SCOPED_TRACE(std::string(parameter.Name));
      EXPECT_EQ(FindParameter(operation, parameter.Name), &parameter) << "names are unique";
      EXPECT_FALSE(parameter.Noun.empty());
      TOperationParameters p = DefaultParameters(operation);
      EXPECT_EQ(parameter.Get(p), parameter.Default);
      switch (parameter.Kind) {
        case TParameterKind::pkReal:
        case TParameterKind::pkInteger:
          EXPECT_LE(parameter.Minimum, parameter.Default);
          EXPECT_LE(parameter.Default, parameter.Maximum);
          for (const double value : {parameter.Minimum, parameter.Maximum}) {
            parameter.Set(p, value);
            EXPECT_EQ(parameter.Get(p), value) << "the field holds the whole range";
          }
          break;
        case TParameterKind::pkFlag:
          EXPECT_FALSE(parameter.Argument) << "flags are settings";
          for (const double value : {1.0, 0.0}) {
            parameter.Set(p, value);
            EXPECT_EQ(parameter.Get(p), value);
          }
          break;
        case TParameterKind::pkChoice: {
          bool defaultIsAChoice = false;
          for (const TParameterChoice& choice : parameter.Choices) {
            parameter.Set(p, choice.Value);
            EXPECT_EQ(parameter.Get(p), choice.Value) << choice.Name;
            defaultIsAChoice |= choice.Value == parameter.Default;
          }
          EXPECT_TRUE(defaultIsAChoice);
          break;
        }
      }
      arguments += parameter.Argument ? 1 : 0;
    }
    EXPECT_EQ(operation.Separator != 0, arguments > 1) << "several arguments are written with a separator";
  }
  TOperationParameters p;
  FindParameter(ImageOperation("crop"), "left")->Set(p, 1e12);
  EXPECT_EQ(p.CropLeft, INT32_MAX) << "values beyond the field's type stop at its end";
  FindParameter(ImageOperation("sharpen"), "strength")->Set(p, -4);
  EXPECT_EQ(p.Strength, 0);
}

TEST(Catalog, ClampedParametersReachTheTransformThroughItsSetters) {
  const TImageOperation& gamma = ImageOperation("gamma");
  TOperationParameters p = DefaultParameters(gamma);
  p.GammaValue = 9.0;
  EXPECT_EQ(As<TGammaTransform>(CreateTransform(gamma, p)).GammaValue, 7.0);
  const TImageOperation& brightness = ImageOperation("brightness");
  p = DefaultParameters(brightness);
  p.Amount = -250.0;
  EXPECT_EQ(As<TBrightnessTransform>(CreateTransform(brightness, p)).Amount, -100.0);
  EXPECT_TRUE(FindParameter(gamma, "gamma")->Clamped);
  EXPECT_FALSE(FindParameter(ImageOperation("resize"), "width")->Clamped) << "sizes below 1 are refused";
}

// Without interpolation the format list of the Resize dialog has no effect.
TEST(Catalog, ResizeChangesTheFormatOnlyWithInterpolation) {
  const TImageOperation& resize = ImageOperation("resize");
  TOperationParameters p = DefaultParameters(resize);
  p.NewWidth = 7;
  p.NewHeight = 5;
  p.ForceFormat = true;
  p.TargetFormat = TImageFormat::Gray256;
  p.Filter = TResizeFilter::rfMitchell;
  const auto stretching = CreateTransform(resize, p);
  const auto& plain = As<TResizeTransform>(stretching);
  EXPECT_FALSE(plain.ForceFormat);
  EXPECT_EQ(plain.NewWidth, 7);
  EXPECT_EQ(plain.NewHeight, 5);
  p.Interpolate = true;
  const auto resampling = CreateTransform(resize, p);
  const auto& r = As<TResizeTransform>(resampling);
  EXPECT_TRUE(r.ForceFormat);
  EXPECT_EQ(r.TargetFormat, TImageFormat::Gray256);
  EXPECT_EQ(r.Filter, TResizeFilter::rfMitchell);
}

}  // namespace
