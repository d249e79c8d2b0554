// Every Image-menu command through the window: its dialog or prompt values, the result in the
// view, the modified flag, the undo image and Undo.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>

#include "TCropForm.h"
#include "TFormatConversionForm.h"
#include "TResizeForm.h"
#include "WindowTestUtil.h"

namespace qvtest {
namespace {

using brindlex::TImageCommand;
using quorvane::TImageFormat;

struct TCommandCase {
  const char* Name;
  TImageCommand Command;
  std::optional<QString> Prompt;       // answer to a prompt, if the command asks one
  std::function<bool(QDialog&)> Form;  // fills the command's dialog, if it has one
  int Width, Height;                   // expected size after the command
  TImageFormat Format;                 // expected format after the command
};

template <typename F>
std::function<bool(QDialog&)> Fill(std::function<void(F&)> set) {
  return [set](QDialog& d) {
    auto* form = dynamic_cast<F*>(&d);
    EXPECT_NE(form, nullptr);
    if (form != nullptr) set(*form);
    return form != nullptr;
  };
}

class ImageCommandTest : public WindowTest, public ::testing::WithParamInterface<TCommandCase> {};

TEST_P(ImageCommandTest, ChangesTheImageKeepsTheOriginalForUndo) {
  const TCommandCase& c = GetParam();
  OpenGradient("start.tga", 300, 200);
  const auto original = Gradient(300, 200);
  ASSERT_TRUE(SamePixels(Image(), *original));
  if (c.Prompt) Dialogs->Prompts.push_back(c.Prompt);
  if (c.Form) Dialogs->Forms.push_back(c.Form);

  Trigger(c.Command);

  EXPECT_TRUE(Dialogs->Errors.empty()) << Dialogs->Errors.front().toStdString();
  EXPECT_EQ(Image().Width(), c.Width);
  EXPECT_EQ(Image().Height(), c.Height);
  EXPECT_EQ(Image().ImageFormat(), c.Format);
  EXPECT_TRUE(Window->Modified());
  EXPECT_TRUE(SamePixels(Window->UndoGraphic(), *original));
  EXPECT_EQ(Window->lblX->text(), " " + QString::number(c.Width));
  EXPECT_EQ(Window->lblY->text(), QString::number(c.Height) + "    ");
  EXPECT_TRUE(Enabled("acUndo"));

  Trigger("acUndo");
  EXPECT_TRUE(SamePixels(Image(), *original));
  EXPECT_TRUE(Window->UndoGraphic().Empty());
  EXPECT_FALSE(Enabled("acUndo"));
  EXPECT_TRUE(Window->Modified());  // Undo leaves the flag alone
}

const auto kTrue = TImageFormat::TrueColor;

INSTANTIATE_TEST_SUITE_P(
    AllCommands, ImageCommandTest,
    ::testing::Values(TCommandCase{"Rotate90", TImageCommand::Rotate90, {}, {}, 200, 300, kTrue},
                      TCommandCase{"Rotate180", TImageCommand::Rotate180, {}, {}, 300, 200, kTrue},
                      TCommandCase{"Rotate270", TImageCommand::Rotate270, {}, {}, 200, 300, kTrue},
                      TCommandCase{
                          "RotateSpecified90", TImageCommand::RotateSpecified, QString("90"), {}, 200, 300, kTrue},
                      TCommandCase{"FlipHorizontal", TImageCommand::FlipHorizontal, {}, {}, 300, 200, kTrue},
                      TCommandCase{"FlipVertical", TImageCommand::FlipVertical, {}, {}, 300, 200, kTrue},
                      TCommandCase{"Negative", TImageCommand::Negative, {}, {}, 300, 200, kTrue},
                      TCommandCase{"Crop",
                                   TImageCommand::Crop,
                                   {},
                                   Fill<brindlex::TCropForm>([](brindlex::TCropForm& f) {
                                     f.LeftFld->setText("10");
                                     f.TopFld->setText("20");
                                     f.RightFld->setText("30");
                                     f.BottomFld->setText("40");
                                   }),
                                   260,
                                   140,
                                   kTrue},
                      TCommandCase{"Sharpen", TImageCommand::Sharpen, {}, {}, 300, 200, kTrue},
                      TCommandCase{"Smooth", TImageCommand::Smooth, {}, {}, 300, 200, kTrue},
                      TCommandCase{"BrightnessUp", TImageCommand::IncreaseBrightness, {}, {}, 300, 200, kTrue},
                      TCommandCase{"BrightnessDown", TImageCommand::DecreaseBrightness, {}, {}, 300, 200, kTrue},
                      TCommandCase{"ContrastUp", TImageCommand::IncreaseContrast, {}, {}, 300, 200, kTrue},
                      TCommandCase{"ContrastDown", TImageCommand::DecreaseContrast, {}, {}, 300, 200, kTrue},
                      TCommandCase{"Edges", TImageCommand::EdgeDetection, {}, {}, 300, 200, kTrue},
                      TCommandCase{"Emboss", TImageCommand::Emboss, {}, {}, 300, 200, kTrue},
                      TCommandCase{"Gamma", TImageCommand::Gamma, QString("2.2"), {}, 300, 200, kTrue},
                      TCommandCase{"Gray", TImageCommand::ConvertToGray, {}, {}, 300, 200, TImageFormat::Gray256},
                      TCommandCase{"FormatColor16",
                                   TImageCommand::FormatConversion,
                                   {},
                                   Fill<brindlex::TFormatConversionForm>([](brindlex::TFormatConversionForm& f) {
                                     EXPECT_FALSE(f.TrueColorRB->isEnabled());  // the image's own format
                                     f.Color16RB->setChecked(true);
                                     f.DitherCB->setChecked(true);
                                   }),
                                   300,
                                   200,
                                   TImageFormat::Color16},
                      TCommandCase{"FormatNoneChosen",
                                   TImageCommand::FormatConversion,
                                   {},
                                   Fill<brindlex::TFormatConversionForm>([](brindlex::TFormatConversionForm&) {}),
                                   300,
                                   200,
                                   kTrue},
                      TCommandCase{"ResizePlain",
                                   TImageCommand::Resize,
                                   {},
                                   Fill<brindlex::TResizeForm>([](brindlex::TResizeForm& f) {
                                     EXPECT_EQ(f.WidthFld->text(), "300");
                                     EXPECT_EQ(f.HeightFld->text(), "200");
                                     EXPECT_EQ(f.DestFormatCB->currentIndex(), 5);
                                     EXPECT_FALSE(f.FilterCB->isEnabled());
                                     f.WidthFld->setText("150");
                                     f.HeightFld->setText("50");
                                     f.DestFormatCB->setCurrentIndex(0);  // ignored without interpolation
                                   }),
                                   150,
                                   50,
                                   kTrue},
                      TCommandCase{"ResizeInterpolated",
                                   TImageCommand::Resize,
                                   {},
                                   Fill<brindlex::TResizeForm>([](brindlex::TResizeForm& f) {
                                     f.InterpolatedCB->setChecked(true);
                                     EXPECT_TRUE(f.FilterCB->isEnabled());
                                     EXPECT_TRUE(f.DestFormatCB->isEnabled());
                                     f.FilterCB->setCurrentIndex(4);
                                     f.DestFormatCB->setCurrentIndex(2);
                                     f.WidthFld->setText("600");
                                     f.HeightFld->setText("400");
                                   }),
                                   600,
                                   400,
                                   TImageFormat::Gray256}),
    [](const ::testing::TestParamInfo<TCommandCase>& info) { return std::string(info.param.Name); });

TEST_F(WindowTest, RotateByAnAngleGrowsTheImage) {
  OpenGradient("square.tga", 100, 100);
  Dialogs->Prompts.push_back(QString("45"));
  Trigger(TImageCommand::RotateSpecified);
  EXPECT_EQ(Image().Width(), 141);
  EXPECT_EQ(Image().Height(), 141);
  EXPECT_EQ(Image().GetPixel(0, 0), 0xFFFFFFu);  // white corners
  ASSERT_EQ(Dialogs->PromptCaptions.size(), 1u);
  EXPECT_EQ(Dialogs->PromptCaptions[0], "Rotate|Rotation Angle|45");
}

// Cancelled prompts and dialogs, and answers that are not numbers, change nothing, not even the
// undo image; a transform that refuses its parameters reports its message and leaves the
// flag clear with the undo image taken.
struct TRefusalCase {
  const char* Name;
  TImageCommand Command;
  std::optional<QString> Prompt;
  std::function<bool(QDialog&)> Form;
  const char* Error;  // nullptr: silent
  bool UndoTaken;
};

class CommandRefusalTest : public WindowTest, public ::testing::WithParamInterface<TRefusalCase> {};

TEST_P(CommandRefusalTest, LeavesTheImageAsItWas) {
  const TRefusalCase& c = GetParam();
  OpenGradient("start.tga", 40, 30);
  if (c.Prompt || c.Form == nullptr) Dialogs->Prompts.push_back(c.Prompt);
  if (c.Form) Dialogs->Forms.push_back(c.Form);
  Trigger(c.Command);
  if (c.Error == nullptr) {
    EXPECT_TRUE(Dialogs->Errors.empty());
  } else {
    ASSERT_EQ(Dialogs->Errors.size(), 1u);
    EXPECT_EQ(Dialogs->Errors[0].toStdString(), c.Error);
  }
  EXPECT_TRUE(SamePixels(Image(), *Gradient(40, 30)));
  EXPECT_FALSE(Window->Modified());
  EXPECT_EQ(Window->UndoGraphic().Empty(), !c.UndoTaken);
}

const auto kCancel = [](QDialog&) { return false; };

INSTANTIATE_TEST_SUITE_P(
    Refusals, CommandRefusalTest,
    ::testing::Values(
        TRefusalCase{"RotatePromptCancelled", TImageCommand::RotateSpecified, std::nullopt, {}, nullptr, false},
        TRefusalCase{"GammaNotANumber",
                     TImageCommand::Gamma,
                     QString("abc"),
                     {},
                     "'abc' is not a valid floating point value",
                     false},
        TRefusalCase{"CropCancelled", TImageCommand::Crop, {}, kCancel, nullptr, false},
        TRefusalCase{"ResizeCancelled", TImageCommand::Resize, {}, kCancel, nullptr, false},
        TRefusalCase{"FormatCancelled", TImageCommand::FormatConversion, {}, kCancel, nullptr, false},
        TRefusalCase{"CropFieldNotANumber",
                     TImageCommand::Crop,
                     {},
                     Fill<brindlex::TCropForm>([](brindlex::TCropForm& f) { f.TopFld->setText("x1"); }),
                     "'x1' is not a valid integer value",
                     false},
        TRefusalCase{"CropLeavesNothing",
                     TImageCommand::Crop,
                     {},
                     Fill<brindlex::TCropForm>([](brindlex::TCropForm& f) { f.LeftFld->setText("40"); }),
                     "Invalid crop parameters",
                     true},
        TRefusalCase{"ResizeToNothing",
                     TImageCommand::Resize,
                     {},
                     Fill<brindlex::TResizeForm>([](brindlex::TResizeForm& f) { f.WidthFld->setText("0"); }),
                     "Destination graphic too small",
                     true}),
    [](const ::testing::TestParamInfo<TRefusalCase>& info) { return std::string(info.param.Name); });

TEST_F(WindowTest, CropOfNothingStillCountsAsAChange) {
  OpenGradient("start.tga", 40, 30);
  Dialogs->Forms.push_back([](QDialog&) { return true; });
  Trigger(TImageCommand::Crop);
  EXPECT_TRUE(SamePixels(Image(), *Gradient(40, 30)));
  EXPECT_TRUE(Window->Modified());
  EXPECT_FALSE(Window->UndoGraphic().Empty());
}

TEST_F(WindowTest, BrightnessStepsAddUp) {
  auto black = std::make_unique<quorvane::TDibGraphic>();
  black->NewImage(4, 4, TImageFormat::Color256, nullptr, 96, 96);  // index 0 is black
  WriteImage(*black, Path("black.pcx"));
  Dialogs->OpenNames.push_back(QString::fromStdString(Path("black.pcx")));
  Trigger("acOpen");
  Trigger(TImageCommand::IncreaseBrightness);
  EXPECT_EQ(Image().ImageFormat(), TImageFormat::TrueColor);
  EXPECT_EQ(Image().GetPixel(2, 2), 0x080808u);
  Trigger(TImageCommand::IncreaseBrightness);
  EXPECT_EQ(Image().GetPixel(2, 2), 0x101010u);
}

TEST_F(WindowTest, GammaIsClampedAndUnderstoodInTheUsersLocale) {
  const auto gammaOf = [this](const QString& answer) {
    Dialogs->Prompts.push_back(answer);
    Trigger(TImageCommand::Gamma);
    auto result = std::make_unique<quorvane::TDibGraphic>();
    result->Assign(&Image());
    Trigger("acUndo");
    return result;
  };
  OpenGradient("start.tga", 40, 30);
  const auto seven = gammaOf("7.0");
  EXPECT_TRUE(SamePixels(*gammaOf("10"), *seven));
  const QLocale previous;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const auto commaAnswer = gammaOf("2,5");
  const auto pointAnswer = gammaOf("2.5");
  QLocale::setDefault(previous);
  EXPECT_TRUE(SamePixels(*commaAnswer, *pointAnswer));
  EXPECT_FALSE(SamePixels(*commaAnswer, *Gradient(40, 30)));
  EXPECT_TRUE(Dialogs->Errors.empty());
}

}  // namespace
}  // namespace qvtest
