// The zoom box: a spin edit from 10 to 1000 in steps of 10 that lets any text be typed, so that
// the window's change handler sees every text (5000 is cut to 1000, 5 zooms to 5 %, letters to 10 %).
#pragma once

#include <QSpinBox>

namespace brindlex {

class TZoomBox : public QSpinBox {
 public:
  explicit TZoomBox(QWidget* parent = nullptr);
  // The text being edited (QSpinBox keeps its line edit to itself).
  QLineEdit* Editor() const { return lineEdit(); }

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
};

}  // namespace brindlex
