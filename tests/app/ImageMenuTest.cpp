// The Image menu's rows: captions in display order, each command's operation with the values it
// gives it, and where it asks for the rest.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TImageMenu.h"
#include "support/TransformAs.h"
#include "transforms/QvTransfFormat.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"

using brindlex::ImageMenuEntries;
using brindlex::ImageMenuEntry;
using brindlex::TImageCommand;
using brindlex::TImageMenuEntry;
using brindlex::TParameterSource;
using quorvane::TImageTransform;

using qvtest::As;

namespace {

struct TMenuCase {
  TImageCommand Command;
  const char* Submenu;  // "" for none
  const char* Caption;
  const char* Operation;
  TParameterSource Source;
  std::function<bool(const std::unique_ptr<TImageTransform>&)> Preset;  // null: the operation's defaults
};

const std::vector<TMenuCase>& MenuCases() {
  using C = TImageCommand;
  using S = TParameterSource;
  static const std::vector<TMenuCase> cases{
      {C::Rotate90, "&Rotate", "&90 Degrees", "rotate", S::None,
       [](auto& t) { return As<quorvane::TRotateTransform>(t).Angle == 90.0; }},
      {C::Rotate180, "&Rotate", "&180 Degrees", "rotate", S::None,
       [](auto& t) { return As<quorvane::TRotateTransform>(t).Angle == 180.0; }},
      {C::Rotate270, "&Rotate", "&270 Degrees", "rotate", S::None,
       [](auto& t) { return As<quorvane::TRotateTransform>(t).Angle == 270.0; }},
      {C::RotateSpecified, "&Rotate", "&Specified...", "rotate", S::Prompt, nullptr},
      {C::FlipHorizontal, "&Flip", "&Horizontal", "flip-h", S::None, nullptr},
      {C::FlipVertical, "&Flip", "&Vertical", "flip-v", S::None, nullptr},
      {C::Negative, "", "&Negative", "negative", S::None, nullptr},
      {C::Crop, "", "&Crop...", "crop", S::CropDialog, nullptr},
      {C::Sharpen, "", "&Sharpen", "sharpen", S::None, nullptr},
      {C::Smooth, "", "S&mooth", "smooth", S::None, nullptr},
      {C::IncreaseBrightness, "&Brightness", "&Increase", "brightness", S::None,
       [](auto& t) { return As<quorvane::TBrightnessTransform>(t).Amount == 3.0; }},
      {C::DecreaseBrightness, "&Brightness", "&Decrease", "brightness", S::None,
       [](auto& t) { return As<quorvane::TBrightnessTransform>(t).Amount == -3.0; }},
      {C::IncreaseContrast, "&Contrast", "&Increase", "contrast", S::None,
       [](auto& t) { return As<quorvane::TContrastTransform>(t).RaiseContrast; }},
      {C::DecreaseContrast, "&Contrast", "&Decrease", "contrast", S::None,
       [](auto& t) { return !As<quorvane::TContrastTransform>(t).RaiseContrast; }},
      {C::EdgeDetection, "", "E&dge Detection", "edge", S::None, nullptr},
      {C::Emboss, "", "&Emboss", "emboss", S::None, nullptr},
      {C::Gamma, "", "&Gamma...", "gamma", S::Prompt, nullptr},
      {C::ConvertToGray, "", "&Convert to Gray", "gray", S::None, nullptr},
      {C::FormatConversion, "", "&Format Conversion...", "convert", S::FormatDialog, nullptr},
      {C::Resize, "", "&Resize...", "resize", S::ResizeDialog, nullptr},
  };
  return cases;
}

TEST(ImageMenu, RowsInDisplayOrderRunTheirOperationsWithTheirValues) {
  ASSERT_EQ(ImageMenuEntries().size(), MenuCases().size());
  for (size_t i = 0; i < MenuCases().size(); ++i) {
    const TMenuCase& c = MenuCases()[i];
    const TImageMenuEntry& entry = ImageMenuEntries()[i];
    SCOPED_TRACE(c.Caption);
    EXPECT_EQ(entry.Command, c.Command);
    EXPECT_EQ(&ImageMenuEntry(c.Command), &entry);
    EXPECT_EQ(std::string(entry.Submenu ? entry.Submenu : ""), c.Submenu);
    EXPECT_STREQ(entry.Caption, c.Caption);
    EXPECT_EQ(entry.Operation->Name, c.Operation);
    EXPECT_EQ(entry.Source, c.Source);
    const auto transform = quorvane::CreateTransform(*entry.Operation, entry.Parameters);
    if (c.Preset) {
      EXPECT_TRUE(c.Preset(transform));
    } else {
      for (const quorvane::TOperationParameter& parameter : entry.Operation->Parameters)
        EXPECT_EQ(parameter.Get(entry.Parameters), parameter.Default) << parameter.Name;
    }
  }
}

TEST(ImageMenu, PromptsCarryTheirTextsAndSetTheirParameter) {
  struct TPromptCase {
    TImageCommand Command;
    const char* Caption;
    const char* Text;
    const char* Initial;
    const char* Parameter;
  };
  for (const TPromptCase& c : {TPromptCase{TImageCommand::RotateSpecified, "Rotate", "Rotation Angle", "45", "angle"},
                               TPromptCase{TImageCommand::Gamma, "Gamma", "Gamma value (0.1 - 7.0)", "1.0", "gamma"}}) {
    const TImageMenuEntry& entry = ImageMenuEntry(c.Command);
    SCOPED_TRACE(c.Caption);
    EXPECT_STREQ(entry.Prompt.Caption, c.Caption);
    EXPECT_STREQ(entry.Prompt.Text, c.Text);
    EXPECT_STREQ(entry.Prompt.Initial, c.Initial);
    EXPECT_EQ(entry.Prompt.Parameter, c.Parameter);
    EXPECT_NE(quorvane::FindParameter(*entry.Operation, entry.Prompt.Parameter), nullptr);
  }
}

}  // namespace
