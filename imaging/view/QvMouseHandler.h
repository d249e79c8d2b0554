// Mouse modes of the image view. The view does not interpret mouse input itself: the mouse
// events of its image control go to one exchangeable handler object, which the view owns and
// replaces when its MouseMode changes.
//
// Coordinates handed to a handler are those of the image control, that is, pixels of the
// zoomed display copy (widget pixels: on a screen that scales widgets by a ratio, one of them
// covers ratio x ratio device pixels of the copy). View coordinates (the viewport's) are
// image-control coordinates plus the control's left and top. Handlers never convert to pixels of
// the full-size image: a quick selection is cut from the display copy, so at a zoom other than
// 100 % its size is in display pixels.
#pragma once

#include <QPoint>
#include <Qt>
#include <cstdint>
#include <memory>

class QCursor;
class QRubberBand;

namespace quorvane {

class TImageScrollBox;

enum class TMouseMode : uint8_t { mmDrag = 0, mmQuickSelect = 1, mmNone = 2 };

// The keys and mouse buttons held while an event happened.
struct TShiftState {
  Qt::KeyboardModifiers Keys;
  Qt::MouseButtons Buttons;
};

class TMouseHandler {
 public:
  explicit TMouseHandler(TImageScrollBox& imageScrollBox);
  virtual ~TMouseHandler();
  TMouseHandler(const TMouseHandler&) = delete;
  TMouseHandler& operator=(const TMouseHandler&) = delete;

  virtual void MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);

  TImageScrollBox& ImageScrollBox() const { return FImageScrollBox; }
  bool MouseIsDown() const { return FMouseIsDown; }

 protected:
  bool FMouseIsDown = false;

 private:
  TImageScrollBox& FImageScrollBox;
};

// Pressing and moving the mouse scrolls the image as if the picture were grabbed with a hand:
// the image point pressed stays under the pointer. The image control shows the open hand, and
// the closed hand while pressed when there is anything to scroll.
class TDragMouseHandler : public TMouseHandler {
 public:
  explicit TDragMouseHandler(TImageScrollBox& imageScrollBox);

  void MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;

  int DownX() const { return FDownX; }
  int DownY() const { return FDownY; }

 private:
  Qt::CursorShape FSavedCursor = Qt::OpenHandCursor;
  bool FGrabbed = false;  // the closed hand is shown
  int FDownX = 0;
  int FDownY = 0;
};

// The user draws a rubber band over the display copy with the left button; on release the
// rectangle (at least 1 x 1 display pixels) is cut from the display copy and handed to the
// view's OnQuickSelect as a new image, which is freed when the event returns.
class TQuickSelectMouseHandler : public TMouseHandler {
 public:
  explicit TQuickSelectMouseHandler(TImageScrollBox& imageScrollBox);
  ~TQuickSelectMouseHandler() override;

  void MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;

  // Press position and current corner, in view (viewport) coordinates.
  int StartX() const { return FStartX; }
  int StartY() const { return FStartY; }
  int EndX() const { return FEndX; }
  int EndY() const { return FEndY; }
  // The rubber band shown on the viewport while pressed (null otherwise).
  const QRubberBand* RubberBand() const { return FRubberBand.get(); }

 private:
  void ShowRectangle();

  int FStartX = 0;
  int FStartY = 0;
  int FEndX = 0;
  int FEndY = 0;
  std::unique_ptr<QRubberBand> FRubberBand;
};

// A new handler for a mode: drag, quick-select, or none for mmNone and any other value.
std::unique_ptr<TMouseHandler> CreateMouseHandler(TMouseMode mode, TImageScrollBox& imageScrollBox);

}  // namespace quorvane
