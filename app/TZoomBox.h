// The zoom box: a spin edit up to 1000 in steps of 10 that lets any text be typed, so that the
// window's change handler sees every text (5000 is cut to 1000, 5 zooms to 5 %, letters to 10 %).
// It shows the view's real zoom: a whole zoom as a whole number ("100"), any other with one
// decimal ("8.7"), from 0.1 up to kLargestShownZoom (a fit of a small picture may exceed the
// 1000 that typing is limited to).
#pragma once

#include <QDoubleSpinBox>
#include <optional>

namespace brindlex {

inline constexpr double kLargestShownZoom = 100000;

class TZoomBox : public QDoubleSpinBox {
 public:
  explicit TZoomBox(QWidget* parent = nullptr);
  // The text being edited (the spin box keeps its line edit to itself).
  QLineEdit* Editor() const { return lineEdit(); }
  // The number a typed text means (the box's locale, or digits with a point), if any.
  static std::optional<double> ParseZoom(const QString& text, const QLocale& locale);

  QString textFromValue(double value) const override;
  double valueFromText(const QString& text) const override;

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
};

}  // namespace brindlex
