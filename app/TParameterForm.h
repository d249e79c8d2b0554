// The frame the parameter dialogs share: fixed size, centred on the screen, an OK button that
// closes with the OK result and a Cancel button that closes with cancel, below the dialog's own
// controls.
#pragma once

#include <QDialog>

class QBoxLayout;
class QFormLayout;
class QLineEdit;
class QPushButton;

namespace brindlex {

// The room beside a dialog's title in its title bar: the icon and the window buttons.
inline constexpr int kTitleAllowance = 140;

class TParameterForm : public QDialog {
 public:
  TParameterForm(const QString& caption, QWidget* parent);

  QPushButton* OkBtn;
  QPushButton* CancelBtn;

 protected:
  // The layout the dialog's controls go into, above the buttons.
  QBoxLayout* Body() const { return FBody; }
  // A one-line edit with a label (its accelerator focuses the edit), named Name.
  QLineEdit* AddField(const char* name, const QString& label, const QString& text);
  void showEvent(QShowEvent* event) override;

 private:
  QBoxLayout* FBody;
  QFormLayout* FFields = nullptr;
};

}  // namespace brindlex
