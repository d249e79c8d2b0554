// TUpDown: a pair of arrow buttons attached to a line edit that step a whole number between a
// minimum and a maximum and write it into the edit. The edit stays free text, so a value such as
// "2.5" can still be typed; a step starts from the edit's number when it holds a whole number in
// range, else from the last position. The Up and Down keys in the edit step as the arrows do.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace quorvane {

class TUpDown : public QWidget {
  Q_OBJECT

 public:
  TUpDown(QLineEdit* associate, int min, int max, int position, QWidget* parent = nullptr);

  int Min() const { return FMin; }
  int Max() const { return FMax; }
  int Position() const { return FPosition; }
  bool Wrap() const { return false; }
  QLineEdit* Associate() const { return FAssociate; }

  // Moves by Delta whole steps, clamped to Min..Max, and writes the position into the edit.
  void Step(int delta);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* FAssociate;
  QToolButton* FUp;
  QToolButton* FDown;
  int FMin;
  int FMax;
  int FPosition;
};

}  // namespace quorvane
