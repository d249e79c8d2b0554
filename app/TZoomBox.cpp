#include "TZoomBox.h"

namespace brindlex {

TZoomBox::TZoomBox(QWidget* parent) : QSpinBox(parent) {
  setObjectName(QStringLiteral("seZoom"));
  setRange(10, 1000);
  setSingleStep(10);
  setValue(100);
  setKeyboardTracking(true);
}

QValidator::State TZoomBox::validate(QString& input, int& pos) const {
  const QValidator::State state = QSpinBox::validate(input, pos);
  // Out-of-range and non-numeric texts stay editable; leaving the box restores a valid value.
  return state == QValidator::Invalid ? QValidator::Intermediate : state;
}

}  // namespace brindlex
