// The child of the image view that stands for the display copy: it lies in the viewport at the
// copy's scrolled position with the copy's size, paints the part of the copy that is exposed,
// and hands its mouse events to the view's mouse handler.
#pragma once

#include <QWidget>

namespace quorvane {

class TImageScrollBox;

class TImageControl : public QWidget {
 public:
  TImageControl(TImageScrollBox& box, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  TImageScrollBox& FBox;
};

}  // namespace quorvane
