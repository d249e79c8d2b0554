// The print options dialog: its start, which inputs each placement enables, and the up-downs.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QTest>

#include "model/QvExcept.h"
#include "print/QvPrintOpt.h"
#include "print/QvUpDown.h"

namespace qvtest {
namespace {

using quorvane::TPrintOptionForm;
using P = quorvane::TPrintPlacement;

bool WidthGroupEnabled(const TPrintOptionForm& form) {
  const bool enabled = form.WidthFld->isEnabled();
  EXPECT_EQ(form.WidthLbl->isEnabled(), enabled);
  EXPECT_EQ(form.WidthUpDown->isEnabled(), enabled);
  return enabled;
}

bool HeightGroupEnabled(const TPrintOptionForm& form) {
  const bool enabled = form.HeightFld->isEnabled();
  EXPECT_EQ(form.HeightLbl->isEnabled(), enabled);
  EXPECT_EQ(form.HeightUpDown->isEnabled(), enabled);
  return enabled;
}

TEST(PrintOptionForm, StartsAtFullPageWithBothInputGroupsDisabled) {
  TPrintOptionForm form;
  EXPECT_EQ(form.windowTitle(), "Print Options");
  EXPECT_TRUE(form.FullPageRB->isChecked());
  EXPECT_EQ(form.GetPlacement(), P::ppFullPage);
  EXPECT_FALSE(WidthGroupEnabled(form));
  EXPECT_FALSE(HeightGroupEnabled(form));
  EXPECT_EQ(form.WidthFld->text(), "5");
  EXPECT_EQ(form.HeightFld->text(), "3");
  EXPECT_EQ(form.WidthLbl->text(), "Width (inches)");
  EXPECT_EQ(form.HeightLbl->text(), "Height (inches)");
  EXPECT_EQ(form.WidthUpDown->Min(), 1);
  EXPECT_EQ(form.WidthUpDown->Max(), 24);
  EXPECT_EQ(form.WidthUpDown->Position(), 5);
  EXPECT_EQ(form.HeightUpDown->Position(), 3);
  EXPECT_TRUE(form.OkBtn->isDefault());
  EXPECT_EQ(form.BitBtn1->text(), "Cancel");
}

TEST(PrintOptionForm, EachRadioButtonGivesItsPlacementAndInputs) {
  struct {
    QRadioButton* TPrintOptionForm::*Button;
    const char* Caption;
    P Placement;
    bool Width, Height;
  } const cases[] = {
      {&TPrintOptionForm::OriginalSizeRB, "&Original Size (based on graphic resolution)", P::ppOriginalSize, false,
       false},
      {&TPrintOptionForm::StetchToPageRB, "&Stretch to page (ignore aspect ratio)", P::ppStretchToPage, false, false},
      {&TPrintOptionForm::SpecificWidthRB, "Specific &Width (respect aspect ratio)", P::ppSpecificWidth, true, false},
      {&TPrintOptionForm::SpecificHeightRB, "Specific &Height (respect aspect ratio)", P::ppSpecificHeight, false,
       true},
      {&TPrintOptionForm::SpecificWidthAndHeightRB, "Specific Width &and Height (ignore aspect ratio)",
       P::ppSpecificWidthAndHeight, true, true},
      {&TPrintOptionForm::FullPageRB, "Full &Page (respect aspect ratio)", P::ppFullPage, false, false},
  };
  TPrintOptionForm form;
  form.show();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Caption);
    QRadioButton* button = form.*c.Button;
    EXPECT_EQ(button->text(), c.Caption);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(form.GetPlacement(), c.Placement);
    EXPECT_EQ(WidthGroupEnabled(form), c.Width);
    EXPECT_EQ(HeightGroupEnabled(form), c.Height);
  }
  form.FullPageRB->setAutoExclusive(false);
  form.FullPageRB->setChecked(false);
  EXPECT_EQ(form.GetPlacement(), P::ppFullPage);
}

// The up-down steps whole inches between 1 and 24 without wrapping; the edit still takes any
// text, such as 2.5.
TEST(PrintOptionForm, UpDownStepsWholeInchesAndTheEditTakesFractions) {
  struct {
    const char* Typed;
    int Delta;
    const char* Expected;
  } const cases[] = {
      {"5", 1, "6"},    {"24", 1, "24"},   {"1", -1, "1"},
      {"7", -3, "4"},   {" 12 ", 1, "13"}, {"2.5", 1, "14"},  // not a whole number: steps from the last position
      {"99", -1, "13"},                                       // out of range: likewise
  };
  TPrintOptionForm form;
  form.SpecificWidthRB->setChecked(true);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Typed);
    form.WidthFld->setText(c.Typed);
    form.WidthUpDown->Step(c.Delta);
    EXPECT_EQ(form.WidthFld->text(), c.Expected);
  }
  QTest::keyClick(form.WidthFld, Qt::Key_Up);
  EXPECT_EQ(form.WidthFld->text(), "14");
  QTest::keyClick(form.WidthFld, Qt::Key_Down);
  EXPECT_EQ(form.WidthFld->text(), "13");
  form.WidthFld->setText("2.5");
  EXPECT_EQ(form.WidthFld->text(), "2.5");
  EXPECT_EQ(form.HeightFld->text(), "3");  // the other group is untouched
}

// Width and height are read as the window's prompts read numbers: the locale's decimal separator
// or a point, no group separators, nothing that is not a finite number.
TEST(PrintOptionForm, WidthAndHeightAcceptEitherDecimalSeparator) {
  const struct {
    const char* Locale;
    const char* Width;
    double Inches;  // 0: refused
  } cases[] = {
      {"de_DE", "2,5", 2.5},   {"de_DE", "2.5", 2.5}, {"de_DE", " 4,25 ", 4.25}, {"de_DE", "1.500", 0},
      {"de_DE", "1,500", 1.5}, {"C", "2.5", 2.5},     {"C", "2,5", 0},           {"C", "1,500", 0},
      {"C", "nan", 0},         {"de_DE", "inf", 0},   {"C", "1e400", 0},         {"C", "", 0},
  };
  struct TDefaultLocaleScope {
    QLocale Previous;
    ~TDefaultLocaleScope() { QLocale::setDefault(Previous); }
  } restore;
  TPrintOptionForm form;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Locale) + " '" + c.Width + "'");
    QLocale::setDefault(QLocale(QString::fromLatin1(c.Locale)));
    form.WidthFld->setText(QString::fromUtf8(c.Width));
    form.HeightFld->setText(QString::fromUtf8(c.Width));
    if (c.Inches != 0) {
      EXPECT_EQ(form.WidthInches(), c.Inches);
      EXPECT_EQ(form.HeightInches(), c.Inches);
      continue;
    }
    const std::string message = "'" + std::string(c.Width) + "' is not a valid floating point value";
    for (double (TPrintOptionForm::*read)() const : {&TPrintOptionForm::WidthInches, &TPrintOptionForm::HeightInches}) {
      try {
        (form.*read)();
        ADD_FAILURE() << "accepted";
      } catch (const quorvane::EConvertError& e) {
        EXPECT_EQ(e.Message(), message);
      }
    }
  }
}

}  // namespace
}  // namespace qvtest
