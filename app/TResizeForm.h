// The Resize dialog: new width and height, and, only while "Interpolated" is checked, the
// resampling filter and the destination format.
#pragma once

#include "TParameterForm.h"

class QCheckBox;
class QComboBox;
class QLabel;

namespace brindlex {

class TResizeForm : public TParameterForm {
 public:
  explicit TResizeForm(QWidget* parent = nullptr);

  // Enables the two lists and their labels exactly when the check box is checked; enabled lists
  // show the window colour, disabled ones the button face.
  void InterpolatedCBClick();

  QLineEdit* WidthFld;
  QLineEdit* HeightFld;
  QCheckBox* InterpolatedCB;
  QLabel* DestFormatLbl;
  QComboBox* DestFormatCB;  // in the order of TImageFormat
  QLabel* FilterLbl;
  QComboBox* FilterCB;  // in the order of TResizeFilter
};

}  // namespace brindlex
