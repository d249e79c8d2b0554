// Numbers typed into the Image menu's prompts and dialogs that are not numbers the command can
// use: the conversion error is shown and the picture stays as it was, not marked modified.
#include <QLineEdit>
#include <QLocale>

#include "TCropForm.h"
#include "TResizeForm.h"
#include "WindowTestUtil.h"

namespace qvtest {
namespace {

using brindlex::TImageCommand;

TEST_F(WindowTest, TypedNumbersThatAreNoNumbersChangeNothing) {
  const auto cropTop = [](const char* text) {
    return [text](QDialog& d) {
      dynamic_cast<brindlex::TCropForm&>(d).TopFld->setText(QString::fromUtf8(text));
      return true;
    };
  };
  const auto resizeWidth = [](const char* text) {
    return [text](QDialog& d) {
      dynamic_cast<brindlex::TResizeForm&>(d).WidthFld->setText(QString::fromUtf8(text));
      return true;
    };
  };
  const struct {
    QLocale::Language Language;
    TImageCommand Command;
    const char* Prompt;                  // answer to the prompt, or nullptr
    std::function<bool(QDialog&)> Form;  // fills the dialog, if the command has one
    const char* Error;
  } cases[] = {
      {QLocale::C, TImageCommand::Gamma, "nan", {}, "'nan' is not a valid floating point value"},
      {QLocale::C, TImageCommand::Gamma, "inf", {}, "'inf' is not a valid floating point value"},
      {QLocale::German, TImageCommand::Gamma, "-inf", {}, "'-inf' is not a valid floating point value"},
      {QLocale::C, TImageCommand::RotateSpecified, "1e400", {}, "'1e400' is not a valid floating point value"},
      {QLocale::German, TImageCommand::RotateSpecified, "NaN", {}, "'NaN' is not a valid floating point value"},
      {QLocale::German, TImageCommand::Gamma, "1.500", {}, "'1.500' is not a valid floating point value"},
      {QLocale::C, TImageCommand::Gamma, "1,500", {}, "'1,500' is not a valid floating point value"},
      {QLocale::German, TImageCommand::Crop, nullptr, cropTop("1.500"), "'1.500' is not a valid integer value"},
      {QLocale::C, TImageCommand::Resize, nullptr, resizeWidth("1,500"), "'1,500' is not a valid integer value"},
      {QLocale::C, TImageCommand::Resize, nullptr, resizeWidth("0x20"), "'0x20' is not a valid integer value"},
  };
  struct TDefaultLocaleScope {
    QLocale Previous;
    ~TDefaultLocaleScope() { QLocale::setDefault(Previous); }
  } const restore;
  OpenGradient("start.tga", 40, 30);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Error);
    QLocale::setDefault(c.Language == QLocale::C ? QLocale::c() : QLocale(c.Language, QLocale::Germany));
    Dialogs->Errors.clear();
    if (c.Prompt) Dialogs->Prompts.push_back(QString::fromUtf8(c.Prompt));
    if (c.Form) Dialogs->Forms.push_back(c.Form);
    Trigger(c.Command);
    ASSERT_EQ(Dialogs->Errors.size(), 1u);
    EXPECT_EQ(Dialogs->Errors[0].toStdString(), c.Error);
    EXPECT_TRUE(SamePixels(Image(), *Gradient(40, 30)));
    EXPECT_FALSE(Window->Modified());
    EXPECT_TRUE(Window->UndoGraphic().Empty());
  }
}

}  // namespace
}  // namespace qvtest
