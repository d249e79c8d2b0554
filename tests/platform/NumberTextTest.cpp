// Numbers typed by the user, as every prompt and dialog reads them: under the C locale and under a
// comma-decimal locale that groups thousands with a point.
#include <gtest/gtest.h>

#include <QLocale>
#include <limits>
#include <optional>

#include "common/CommaLocale.h"
#include "model/QvExcept.h"
#include "platform/QvNumberText.h"

namespace {

using quorvane::ReadFloatText;
using quorvane::ReadIntText;

const QLocale kC(QLocale::C);
const QLocale kGerman(QLocale::German, QLocale::Germany);

constexpr std::optional<double> kRefused;

struct TFloatCase {
  const char* Text;
  std::optional<double> C, German;
};

const TFloatCase kFloatCases[] = {
    {"2.5", 2.5, 2.5},  // a point works everywhere
    {"2,5", kRefused, 2.5},
    {"1.500", 1.5, kRefused},  // 1500 or 1.5 under a point-grouping locale: refused, not guessed
    {"12.345", 12.345, kRefused},
    {"-1.500", -1.5, kRefused},
    {"1,500", kRefused, 1.5},
    {"0.125", 0.125, 0.125},  // no thousands group starts with 0
    {"1234.567", 1234.567, 1234.567},
    {"1.5000", 1.5, 1.5},
    {"1.500,5", kRefused, kRefused},
    {"1,500.5", kRefused, kRefused},
    {"1.234.567", kRefused, kRefused},
    {" 3 ", 3, 3},
    {"\t-4.25\n", -4.25, -4.25},
    {"+2", 2, 2},
    {".5", 0.5, 0.5},
    {",5", kRefused, 0.5},
    {"1e3", 1000, 1000},
    {"2.5e-2", 0.025, 0.025},
    {"2,5e2", kRefused, 250},
    {"1.500e3", 1500, kRefused},
    {"1.7976931348623157e308", 1.7976931348623157e308, 1.7976931348623157e308},
    {"1e400", kRefused, kRefused},
    {"-1e400", kRefused, kRefused},
    {"nan", kRefused, kRefused},
    {"NaN", kRefused, kRefused},
    {"inf", kRefused, kRefused},
    {"-inf", kRefused, kRefused},
    {"+inf", kRefused, kRefused},
    {"infinity", kRefused, kRefused},
    {"0x10", kRefused, kRefused},
    {"0x1p3", kRefused, kRefused},
    {"", kRefused, kRefused},
    {"   ", kRefused, kRefused},
    {"abc", kRefused, kRefused},
    {"5 inches", kRefused, kRefused},
    {"2.5.", kRefused, kRefused},
    {"1 500", kRefused, kRefused},
    {"e3", kRefused, kRefused},
};

void CheckFloatCases() {
  for (const TFloatCase& c : kFloatCases) {
    SCOPED_TRACE(::testing::Message() << "'" << c.Text << "'");
    EXPECT_EQ(ReadFloatText(QString::fromUtf8(c.Text), kC), c.C) << "C";
    EXPECT_EQ(ReadFloatText(QString::fromUtf8(c.Text), kGerman), c.German) << "de_DE";
  }
}

TEST(NumberText, RealNumbersInTheLocaleOrWithAPoint) { CheckFloatCases(); }

// The C library's locale (which the window program sets from the environment) does not change
// the reading.
TEST(NumberText, RealNumbersDoNotDependOnTheCLibraryLocale) {
  qvtest::TCommaLocaleScope comma;
  ASSERT_TRUE(comma.Active()) << qvtest::kCommaLocale << " is missing: run scripts/install-deps.sh";
  CheckFloatCases();
}

TEST(NumberText, IntegersInDecimalDigitsOnly) {
  constexpr std::optional<int> refused;
  const struct {
    const char* Text;
    std::optional<int> Expected;  // the same under both locales
  } cases[] = {
      {"0", 0},
      {"42", 42},
      {" 7 ", 7},
      {"+2", 2},
      {"-13", -13},
      {"2147483647", std::numeric_limits<int>::max()},
      {"-2147483648", std::numeric_limits<int>::min()},
      {"2147483648", refused},
      {"-2147483649", refused},
      {"1.500", refused},
      {"1,500", refused},
      {"1 500", refused},
      {"2.5", refused},
      {"2,5", refused},
      {"1e3", refused},
      {"0x10", refused},
      {"nan", refused},
      {"inf", refused},
      {"", refused},
      {"12 3", refused},
      {"x1", refused},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "'" << c.Text << "'");
    EXPECT_EQ(ReadIntText(QString::fromUtf8(c.Text), kC), c.Expected) << "C";
    EXPECT_EQ(ReadIntText(QString::fromUtf8(c.Text), kGerman), c.Expected) << "de_DE";
  }
}

// The throwing forms read in the default locale and quote the text as it was typed.
TEST(NumberText, ConversionErrorsQuoteTheText) {
  struct TDefaultLocale {
    QLocale Previous;
    ~TDefaultLocale() { QLocale::setDefault(Previous); }
  } restore;
  QLocale::setDefault(kGerman);
  EXPECT_EQ(quorvane::TextToFloat("2,5"), 2.5);
  EXPECT_EQ(quorvane::TextToFloat("2.5"), 2.5);
  EXPECT_EQ(quorvane::TextToInt(" 12 "), 12);
  const struct {
    const char* Text;
    bool Integer;
    const char* Message;
  } cases[] = {
      {" nan ", false, "' nan ' is not a valid floating point value"},
      {"1.500", false, "'1.500' is not a valid floating point value"},
      {"", false, "'' is not a valid floating point value"},
      {"2,5", true, "'2,5' is not a valid integer value"},
      {"x1", true, "'x1' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    try {
      if (c.Integer)
        quorvane::TextToInt(QString::fromUtf8(c.Text));
      else
        quorvane::TextToFloat(QString::fromUtf8(c.Text));
      ADD_FAILURE() << "accepted '" << c.Text << "'";
    } catch (const quorvane::EConvertError& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
}

}  // namespace
