// TPrintOptionForm: the modal "Print Options" dialog, where the user picks a placement and, for
// the placements that need them, a width and a height in inches.
#pragma once

#include <QDialog>

#include "print/QvPrint.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quorvane {

class TUpDown;

class TPrintOptionForm : public QDialog {
  Q_OBJECT

 public:
  explicit TPrintOptionForm(QWidget* parent = nullptr);

  // Enables the width edit, label and up-down exactly while Specific Width or Specific Width and
  // Height is checked, and the height group while Specific Height or Specific Width and Height is.
  void RBClick();
  // The placement of the checked radio button, ppFullPage when none is checked.
  TPrintPlacement GetPlacement() const;
  // The texts of WidthFld and HeightFld as inches, read as every typed number is (see
  // platform/QvNumberText.h); a text that is not a number raises EConvertError
  // "'%s' is not a valid floating point value".
  double WidthInches() const;
  double HeightInches() const;

  QFrame* pnlAlign;
  QFrame* Bevel;
  QRadioButton* FullPageRB;
  QRadioButton* OriginalSizeRB;
  QRadioButton* StetchToPageRB;
  QRadioButton* SpecificWidthRB;
  QRadioButton* SpecificHeightRB;
  QRadioButton* SpecificWidthAndHeightRB;
  QLabel* WidthLbl;
  QLineEdit* WidthFld;
  TUpDown* WidthUpDown;
  QLabel* HeightLbl;
  QLineEdit* HeightFld;
  TUpDown* HeightUpDown;
  QPushButton* OkBtn;
  QPushButton* BitBtn1;

 protected:
  void showEvent(QShowEvent* event) override;
};

}  // namespace quorvane
