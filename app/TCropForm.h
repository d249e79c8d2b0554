// The Crop dialog: the four margins to remove, each a one-line edit holding "0".
#pragma once

#include "TParameterForm.h"

namespace brindlex {

class TCropForm : public TParameterForm {
 public:
  explicit TCropForm(QWidget* parent = nullptr);

  QLineEdit* LeftFld;
  QLineEdit* TopFld;
  QLineEdit* RightFld;
  QLineEdit* BottomFld;
};

}  // namespace brindlex
