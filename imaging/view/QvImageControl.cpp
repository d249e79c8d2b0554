#include "view/QvImageControl.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "view/QvImageScrollBox.h"

namespace quorvane {

namespace {

TShiftState ShiftOf(const QMouseEvent& event) { return TShiftState{event.modifiers(), event.buttons()}; }

int RoundedX(const QMouseEvent& event) { return event.position().toPoint().x(); }
int RoundedY(const QMouseEvent& event) { return event.position().toPoint().y(); }

// Qt's event loop must not see an exception: failures go to the view's error report.
template <typename TAction>
void Guarded(TImageScrollBox& box, TAction action) {
  try {
    action();
  } catch (...) {
    box.ReportError(std::current_exception());
  }
}

}  // namespace

TImageControl::TImageControl(TImageScrollBox& box, QWidget* parent) : QWidget(parent), FBox(box) {
  // The drag handler follows the pointer whatever buttons are held.
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TImageControl::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  Guarded(FBox, [&] { FBox.PaintDisplay(painter, event->rect()); });
}

void TImageControl::mousePressEvent(QMouseEvent* event) {
  if (TMouseHandler* handler = FBox.MouseHandler())
    Guarded(FBox, [&] { handler->MouseDown(event->button(), ShiftOf(*event), RoundedX(*event), RoundedY(*event)); });
}

void TImageControl::mouseReleaseEvent(QMouseEvent* event) {
  if (TMouseHandler* handler = FBox.MouseHandler())
    Guarded(FBox, [&] { handler->MouseUp(event->button(), ShiftOf(*event), RoundedX(*event), RoundedY(*event)); });
}

void TImageControl::mouseMoveEvent(QMouseEvent* event) {
  if (TMouseHandler* handler = FBox.MouseHandler())
    Guarded(FBox, [&] { handler->MouseMove(ShiftOf(*event), RoundedX(*event), RoundedY(*event)); });
}

}  // namespace quorvane
