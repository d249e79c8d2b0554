#include "platform/QvNumberText.h"

#include <cmath>

#include "model/QvExcept.h"

namespace quorvane {

namespace {

QLocale WithoutGrouping(QLocale locale) {
  locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
  return locale;
}

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Whether a point in the text may be meant as the locale's thousands separator: one to three
// digits without a leading zero before it and exactly three after it, as in "1.500" or "12.345".
// Such a text is refused under a locale that groups with a point rather than guessed at.
bool CouldBeGrouped(QStringView text, const QLocale& locale) {
  if (locale.groupSeparator() != QLatin1String(".")) return false;
  if (!text.isEmpty() && (text.front() == QLatin1Char('+') || text.front() == QLatin1Char('-') ||
                          locale.negativeSign() == text.left(1) || locale.positiveSign() == text.left(1)))
    text = text.mid(1);
  const qsizetype exponent = text.indexOf(QLatin1Char('e'), 0, Qt::CaseInsensitive);
  if (exponent >= 0) text = text.left(exponent);
  const qsizetype point = text.indexOf(QLatin1Char('.'));
  if (point < 1 || point > 3 || text.size() - point - 1 != 3 || text.front() == QLatin1Char('0')) return false;
  for (qsizetype i = 0; i < text.size(); ++i)
    if (i != point && !IsDigit(text[i])) return false;
  return true;
}

}  // namespace

std::optional<double> ReadFloatText(const QString& text, const QLocale& locale) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return std::nullopt;
  bool ok = false;
  double value = WithoutGrouping(locale).toDouble(trimmed, &ok);
  if (!ok && locale.decimalPoint() != QLatin1String(".") && !CouldBeGrouped(trimmed, locale))
    value = WithoutGrouping(QLocale::c()).toDouble(trimmed, &ok);
  // Qt reads "nan" and "inf"; no prompt or dialog has a use for them.
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int> ReadIntText(const QString& text, const QLocale& locale) {
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return std::nullopt;
  bool ok = false;
  int value = WithoutGrouping(locale).toInt(trimmed, &ok);
  // Plain ASCII digits are read whatever digits the locale writes.
  if (!ok) value = WithoutGrouping(QLocale::c()).toInt(trimmed, &ok);
  if (!ok) return std::nullopt;
  return value;
}

double TextToFloat(const QString& text) {
  const std::optional<double> value = ReadFloatText(text);
  if (!value) throw EConvertError(FormatMessage("'%s' is not a valid floating point value", text.toUtf8().constData()));
  return *value;
}

int TextToInt(const QString& text) {
  const std::optional<int> value = ReadIntText(text);
  if (!value) throw EConvertError(FormatMessage("'%s' is not a valid integer value", text.toUtf8().constData()));
  return *value;
}

}  // namespace quorvane
