// Numbers typed by the user into prompts and dialog fields: one reading for every window of the
// program and the print options, so that the same text means the same number everywhere.
//
// A real number is read in the locale's notation, and a point is accepted as the decimal separator
// as well, so "1.0" works under a comma-decimal locale. Blanks around the number are ignored; a
// sign, a fraction and an exponent are allowed. Refused: group separators ("1.500" under a locale
// whose thousands are grouped with a point could mean 1500 or 1.5), numbers a double cannot hold
// (1e400), "nan" and "inf", hexadecimal, and empty texts.
//
// An integer is a 32-bit signed number in decimal digits with an optional sign, blanks around it
// ignored; group separators, fractions and exponents are refused.
#pragma once

#include <QLocale>
#include <QString>
#include <optional>

namespace quorvane {

// The text as a finite real number in Locale's notation or with a decimal point; nothing when
// it is not one.
std::optional<double> ReadFloatText(const QString& text, const QLocale& locale = QLocale());
// The text as a 32-bit integer; nothing when it is not one.
std::optional<int> ReadIntText(const QString& text, const QLocale& locale = QLocale());

// As above in the default locale; a text that is not a number raises EConvertError
// "'%s' is not a valid floating point value" (or "... integer value") with the text as typed.
double TextToFloat(const QString& text);
int TextToInt(const QString& text);

}  // namespace quorvane
