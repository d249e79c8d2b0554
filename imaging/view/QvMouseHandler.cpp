#include "view/QvMouseHandler.h"

#include <QRubberBand>
#include <QScrollBar>
#include <algorithm>

#include "model/QvDiGrph.h"
#include "view/QvImageScrollBox.h"

namespace quorvane {

TMouseHandler::TMouseHandler(TImageScrollBox& imageScrollBox) : FImageScrollBox(imageScrollBox) {}

TMouseHandler::~TMouseHandler() = default;

void TMouseHandler::MouseDown(Qt::MouseButton, TShiftState, int, int) { FMouseIsDown = true; }

void TMouseHandler::MouseUp(Qt::MouseButton, TShiftState, int, int) { FMouseIsDown = false; }

void TMouseHandler::MouseMove(TShiftState, int, int) {}

// --- drag ---

TDragMouseHandler::TDragMouseHandler(TImageScrollBox& imageScrollBox) : TMouseHandler(imageScrollBox) {
  imageScrollBox.ImageControl()->setCursor(Qt::OpenHandCursor);
}

void TDragMouseHandler::MouseDown(Qt::MouseButton, TShiftState, int x, int y) {
  FMouseIsDown = true;
  FDownX = x;
  FDownY = y;
  QWidget* control = ImageScrollBox().ImageControl();
  FSavedCursor = control->cursor().shape();
  FGrabbed = ImageScrollBox().HorzScrollBarShown() || ImageScrollBox().VertScrollBarShown();
  if (FGrabbed) control->setCursor(Qt::ClosedHandCursor);
}

void TDragMouseHandler::MouseMove(TShiftState, int x, int y) {
  if (!FMouseIsDown) return;
  // The control moves with the scrolling and X, Y are relative to it, so the point pressed
  // stays under the pointer; the scroll bars keep their values within range.
  QScrollBar* h = ImageScrollBox().horizontalScrollBar();
  QScrollBar* v = ImageScrollBox().verticalScrollBar();
  h->setValue(h->value() + FDownX - x);
  v->setValue(v->value() + FDownY - y);
}

void TDragMouseHandler::MouseUp(Qt::MouseButton, TShiftState, int, int) {
  if (!FMouseIsDown) return;
  QWidget* control = ImageScrollBox().ImageControl();
  if (FGrabbed && control->cursor().shape() == Qt::ClosedHandCursor) control->setCursor(FSavedCursor);
  FGrabbed = false;
  FMouseIsDown = false;
}

// --- quick select ---

TQuickSelectMouseHandler::TQuickSelectMouseHandler(TImageScrollBox& imageScrollBox) : TMouseHandler(imageScrollBox) {
  imageScrollBox.ImageControl()->setCursor(Qt::ArrowCursor);
}

TQuickSelectMouseHandler::~TQuickSelectMouseHandler() = default;

void TQuickSelectMouseHandler::MouseDown(Qt::MouseButton, TShiftState, int x, int y) {
  FMouseIsDown = true;
  const QWidget* control = ImageScrollBox().ImageControl();
  FStartX = FEndX = x + control->x();
  FStartY = FEndY = y + control->y();
  // Nothing is drawn until the pointer moves.
  FRubberBand = std::make_unique<QRubberBand>(QRubberBand::Rectangle, ImageScrollBox().viewport());
}

void TQuickSelectMouseHandler::MouseMove(TShiftState shift, int x, int y) {
  if (!FMouseIsDown || !(shift.Buttons & Qt::LeftButton)) return;
  const QWidget* control = ImageScrollBox().ImageControl();
  const int left = control->x(), top = control->y();
  const int width = ImageScrollBox().ControlWidth(), height = ImageScrollBox().ControlHeight();
  // The corner stays on the display copy's pixels.
  FEndX = std::clamp(x + left, left, left + std::max(width, 1) - 1);
  FEndY = std::clamp(y + top, top, top + std::max(height, 1) - 1);
  ShowRectangle();
}

void TQuickSelectMouseHandler::ShowRectangle() {
  if (!FRubberBand) return;
  FRubberBand->setGeometry(QRect(QPoint(FStartX, FStartY), QPoint(FEndX, FEndY)).normalized());
  FRubberBand->show();
}

void TQuickSelectMouseHandler::MouseUp(Qt::MouseButton, TShiftState, int x, int y) {
  if (!FMouseIsDown) return;
  // The pressed state ends whatever the selection's event does.
  struct TRelease {
    TQuickSelectMouseHandler& Handler;
    ~TRelease() {
      Handler.FRubberBand.reset();
      Handler.FMouseIsDown = false;
    }
  } release{*this};
  if (FRubberBand) FRubberBand->hide();

  TImageScrollBox& box = ImageScrollBox();
  const QWidget* control = box.ImageControl();
  int right = std::clamp(x, 0, box.ControlWidth());
  int bottom = std::clamp(y, 0, box.ControlHeight());
  // The press lies on the copy unless the view scrolled meanwhile; keep it there.
  int left = std::clamp(FStartX - control->x(), 0, box.ControlWidth());
  int top = std::clamp(FStartY - control->y(), 0, box.ControlHeight());
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  if (right - left < 1 || bottom - top < 1) return;

  // The selected rectangle of the display copy, built as the whole copy has it (in device
  // pixels: on a screen that scales widgets the selection holds what it covers on the screen).
  TDibGraphic selection;
  box.BuildDisplayPart(box.DisplayRectOf(TRect{left, top, right, bottom}), selection);
  if (box.OnQuickSelect) box.OnQuickSelect(box, selection);
}

std::unique_ptr<TMouseHandler> CreateMouseHandler(TMouseMode mode, TImageScrollBox& imageScrollBox) {
  switch (mode) {
    case TMouseMode::mmDrag: return std::make_unique<TDragMouseHandler>(imageScrollBox);
    case TMouseMode::mmQuickSelect: return std::make_unique<TQuickSelectMouseHandler>(imageScrollBox);
    default: return nullptr;
  }
}

}  // namespace quorvane
