// Number conversion of texts typed into prompts and dialog fields. Failures raise EConvertError
// with the message a user sees in the error box.
#pragma once

#include <QString>

namespace brindlex {

// The text as a real number in the user's locale; a number written with a point as decimal
// separator is accepted too, so "1.0" works under a comma-decimal locale. Blanks around the
// number are ignored. Raises EConvertError "'%s' is not a valid floating point value".
double TextToFloat(const QString& text);

// The text as a 32-bit integer (blanks around it ignored). Raises EConvertError
// "'%s' is not a valid integer value".
int TextToInt(const QString& text);

}  // namespace brindlex
