#include "AppNumbers.h"

#include <QLocale>

#include "model/QvExcept.h"

namespace brindlex {

double TextToFloat(const QString& text) {
  const QString trimmed = text.trimmed();
  bool ok = false;
  double value = QLocale().toDouble(trimmed, &ok);
  if (!ok) value = QLocale::c().toDouble(trimmed, &ok);
  if (!ok)
    throw quorvane::EConvertError(
        quorvane::FormatMessage("'%s' is not a valid floating point value", text.toStdString().c_str()));
  return value;
}

int TextToInt(const QString& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok, 10);
  if (!ok)
    throw quorvane::EConvertError(
        quorvane::FormatMessage("'%s' is not a valid integer value", text.toStdString().c_str()));
  return value;
}

}  // namespace brindlex
