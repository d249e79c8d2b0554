// Shared pieces of the view tests: patterned images of every format, a shown box of a given
// size showing one at a zoom, mouse events sent to the image control, and the whole display copy
// to compare what is shown with.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <memory>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"
#include "transforms/QvTransfResize.h"
#include "view/QvImageScrollBox.h"

namespace qvtest {

using namespace quorvane;

constexpr TImageFormat kAllFormats[] = {TImageFormat::BlackWhite, TImageFormat::Gray16,   TImageFormat::Gray256,
                                        TImageFormat::Color16,    TImageFormat::Color256, TImageFormat::TrueColor};

// A pattern whose neighbouring pixels differ, so that any shift or wrong sample shows.
inline void MakePattern(TDibGraphic& image, TImageFormat format, int width, int height) {
  image.NewImage(width, height, format, nullptr, 96, 96);
  const int entries = format == TImageFormat::TrueColor ? 0 : 1 << image.BitCount();
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      if (entries == 0)
        image.SetPixel(x, y,
                       static_cast<TColorValue>(((x * 7 + y * 3) & 255) | (((x * 5 + y * 11) & 255) << 8) |
                                                (((x ^ y) * 13 & 255) << 16)));
      else
        image.SetPixelIndex(x, y, (x * 3 + y * 5 + (x * y) / 7) % entries);
    }
}

// A top-level box of Width x Height, shown (a hidden box does not redraw).
inline std::unique_ptr<TImageScrollBox> ShownBox(int width, int height) {
  auto box = std::make_unique<TImageScrollBox>();
  box->resize(width, height);
  box->show();
  QApplication::processEvents();
  return box;
}

// The zoom mode Mode, at Percent for zmPercent.
inline void SetZoom(TImageScrollBox& box, TZoomMode mode, float percent) {
  if (mode == TZoomMode::zmPercent)
    box.SetZoomPercent(percent);
  else
    box.SetZoomMode(mode);
}

// A pattern of Format and size shown by Box (in its own copy) at the zoom mode Mode (at Percent
// for zmPercent).
inline std::unique_ptr<TDibGraphic> ShowPattern(TImageScrollBox& box, TImageFormat format, int width, int height,
                                                TZoomMode mode, float percent = 0) {
  auto image = std::make_unique<TDibGraphic>();
  MakePattern(*image, format, width, height);
  box.SetGraphic(*image);
  SetZoom(box, mode, percent);
  return image;
}

// The whole display copy of the box's current image and zoom, as the resize transform builds it.
inline void WholeDisplayCopy(const TImageScrollBox& box, const TDibGraphic& source, TDibGraphic& whole) {
  TResizeTransform resize;
  resize.NewWidth = box.DisplayWidth();
  resize.NewHeight = box.DisplayHeight();
  if (box.ZoomPercent() == 100.0f)
    whole.Assign(&source);
  else
    resize.ApplyOnDest(source, whole);
}

// What the viewport shows of the visible area against Whole, a whole display copy, at the
// scrolled place.
inline ::testing::AssertionResult ShownIsTheCopy(TImageScrollBox& box, const TDibGraphic& whole) {
  const QImage shown = box.viewport()->grab().toImage();
  const TRect visible = box.VisibleArea();
  const int dx = box.horizontalScrollBar()->value() - box.DisplayLeft();
  const int dy = box.verticalScrollBar()->value() - box.DisplayTop();
  for (int y = visible.Top; y < visible.Bottom; ++y)
    for (int x = visible.Left; x < visible.Right; ++x) {
      const QRgb got = shown.pixel(x - dx, y - dy) & 0xFFFFFF;
      if (got != whole.GetPixel(x, y))
        return ::testing::AssertionFailure() << "shown (" << x << ", " << y << ") is " << std::hex << got
                                             << ", the copy has " << whole.GetPixel(x, y);
    }
  return ::testing::AssertionSuccess();
}

// Sends a mouse event of Type at (X, Y) of the image control.
inline void SendMouse(TImageScrollBox& box, QEvent::Type type, int x, int y, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
  QWidget* control = box.ImageControl();
  const QPointF local(x, y);
  QMouseEvent event(type, local, control->mapToGlobal(local), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(control, &event);
}

// Press at the first point, move through the rest with Buttons held, release at the last.
inline void Drag(TImageScrollBox& box, std::initializer_list<QPoint> points, Qt::MouseButton button = Qt::LeftButton) {
  const QPoint* p = points.begin();
  SendMouse(box, QEvent::MouseButtonPress, p->x(), p->y(), button, button);
  for (++p; p != points.end(); ++p) SendMouse(box, QEvent::MouseMove, p->x(), p->y(), Qt::NoButton, button);
  const QPoint last = *(points.end() - 1);
  SendMouse(box, QEvent::MouseButtonRelease, last.x(), last.y(), button, Qt::NoButton);
}

}  // namespace qvtest
