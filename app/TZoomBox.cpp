#include "TZoomBox.h"

#include <QLineEdit>
#include <cmath>
#include <optional>

namespace brindlex {

TZoomBox::TZoomBox(QWidget* parent) : QDoubleSpinBox(parent) {
  setObjectName(QStringLiteral("seZoom"));
  setDecimals(1);
  // Typed zooms stop at 1000 (the window's change handler); a fit may compute more, which the
  // box shows as it is.
  setRange(0.1, kLargestShownZoom);
  setSingleStep(10);
  setValue(100);
  setKeyboardTracking(true);
}

std::optional<double> TZoomBox::ParseZoom(const QString& text, const QLocale& locale) {
  const QString trimmed = text.trimmed();
  bool ok = false;
  double value = locale.toDouble(trimmed, &ok);
  if (!ok) value = trimmed.toDouble(&ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

QString TZoomBox::textFromValue(double value) const {
  const double whole = std::round(value);
  if (std::fabs(value - whole) < 0.05) return QString::number(static_cast<long long>(whole));
  QLocale plain = locale();
  plain.setNumberOptions(QLocale::OmitGroupSeparator);
  return plain.toString(value, 'f', 1);
}

double TZoomBox::valueFromText(const QString& text) const { return ParseZoom(text, locale()).value_or(value()); }

QValidator::State TZoomBox::validate(QString& input, int& pos) const {
  const QValidator::State state = QDoubleSpinBox::validate(input, pos);
  // Out-of-range and non-numeric texts stay editable; leaving the box restores a valid value.
  return state == QValidator::Invalid ? QValidator::Intermediate : state;
}

}  // namespace brindlex
