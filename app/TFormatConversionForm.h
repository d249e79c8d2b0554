// The Format Conversion dialog: six radio buttons for the target format (none checked at first),
// dithering and quantizing check boxes.
#pragma once

#include <array>

#include "TParameterForm.h"
#include "model/QvDiGrph.h"

class QCheckBox;
class QRadioButton;

namespace brindlex {

class TFormatConversionForm : public TParameterForm {
 public:
  explicit TFormatConversionForm(QWidget* parent = nullptr);

  // The radio button of a format.
  QRadioButton* FormatButton(quorvane::TImageFormat format) const;
  // The first checked button among the five palette formats, else TrueColor (also when none is
  // checked).
  quorvane::TImageFormat Target() const;

  QRadioButton* BlackWhiteRB;
  QRadioButton* Gray16RB;
  QRadioButton* Gray256RB;
  QRadioButton* Color16RB;
  QRadioButton* Color256RB;
  QRadioButton* TrueColorRB;
  QCheckBox* DitherCB;
  QCheckBox* QuantizeCB;

 private:
  std::array<QRadioButton*, 6> FButtons;  // in the order of TImageFormat
};

}  // namespace brindlex
