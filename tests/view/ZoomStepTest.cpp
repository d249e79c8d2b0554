// Zooming the view in steps: Ctrl with the wheel about the pointer, ZoomStep about a point or the
// middle; the picture point under the anchor stays there and the zoom is reported.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QWheelEvent>

#include "ViewTestSupport.h"

using namespace qvtest;

namespace {

void SendWheel(TImageScrollBox& box, QPoint at, int delta, Qt::KeyboardModifiers modifiers) {
  QWheelEvent event(QPointF(at), QPointF(box.viewport()->mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                    modifiers, Qt::NoScrollPhase, false);
  QApplication::sendEvent(box.viewport(), &event);
}

// The picture position (in picture pixels) shown at a point of the viewport.
QPointF PictureAt(const TImageScrollBox& box, QPoint at) {
  const double scale = 100.0 / box.ZoomPercent();
  return {(at.x() + box.horizontalScrollBar()->value() - box.DisplayLeft()) * scale,
          (at.y() + box.verticalScrollBar()->value() - box.DisplayTop()) * scale};
}

TEST(ZoomStep, CtrlWheelZoomsAboutThePointerAndThePlainWheelScrolls) {
  const struct {
    const char* Name;
    std::vector<int> Deltas;  // wheel turns, each sent with Ctrl
    float WantZoom;
    TZoomMode WantMode;
  } cases[] = {
      {"one notch in", {120}, 125, TZoomMode::zmPercent},
      {"two notches in", {120, 120}, 150, TZoomMode::zmPercent},
      {"one notch out", {-120}, 75, TZoomMode::zmPercent},
      {"half notches add up", {60, 60}, 125, TZoomMode::zmPercent},
      {"a half notch does nothing", {60}, 100, TZoomMode::zmOriginalSize},
      {"in and out again", {120, -120}, 100, TZoomMode::zmPercent},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto box = ShownBox(200, 200);
    TDibGraphic image;
    MakePattern(image, TImageFormat::TrueColor, 600, 500);
    box->SetGraphic(image);
    std::vector<float> reported;
    box->OnZoomChange = [&](TImageScrollBox&, float zoom) { reported.push_back(zoom); };
    box->horizontalScrollBar()->setValue(50);
    box->verticalScrollBar()->setValue(30);
    const QPoint pointer(100, 80);
    const QPointF before = PictureAt(*box, pointer);
    for (int delta : c.Deltas) SendWheel(*box, pointer, delta, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(box->ZoomPercent(), c.WantZoom);
    EXPECT_EQ(box->ZoomMode(), c.WantMode);
    // Every step reaches OnZoomChange (a zoom box follows it).
    if (c.WantMode == TZoomMode::zmPercent) {
      ASSERT_FALSE(reported.empty());
      EXPECT_FLOAT_EQ(reported.back(), c.WantZoom);
    } else {
      EXPECT_TRUE(reported.empty());
    }
    // The point under the pointer stays within a screen pixel.
    const QPointF after = PictureAt(*box, pointer);
    EXPECT_NEAR(after.x(), before.x(), 100.0 / c.WantZoom);
    EXPECT_NEAR(after.y(), before.y(), 100.0 / c.WantZoom);
  }
  // Without Ctrl the wheel scrolls and leaves the zoom.
  auto box = ShownBox(200, 200);
  TDibGraphic image;
  MakePattern(image, TImageFormat::TrueColor, 600, 500);
  box->SetGraphic(image);
  SendWheel(*box, QPoint(100, 80), -120, Qt::NoModifier);
  EXPECT_FLOAT_EQ(box->ZoomPercent(), 100);
  EXPECT_GT(box->verticalScrollBar()->value(), 0);
}

TEST(ZoomStep, StepsStopAtTheLadderEndsAndNeedAPicture) {
  auto box = ShownBox(200, 200);
  box->ZoomStep(1);  // an empty view has nothing to zoom
  EXPECT_FLOAT_EQ(box->ZoomPercent(), 100);
  TDibGraphic image;
  MakePattern(image, TImageFormat::Gray256, 40, 30);
  box->SetGraphic(image);
  box->ZoomStep(30);
  EXPECT_FLOAT_EQ(box->ZoomPercent(), 1000);
  EXPECT_EQ(box->DisplayWidth(), 400);
  box->ZoomStep(-100);
  EXPECT_FLOAT_EQ(box->ZoomPercent(), 1);
  EXPECT_EQ(box->DisplayWidth(), 1);  // a dot rather than nothing
  // A fitted zoom between steps goes to its neighbour.
  box->SetZoomMode(TZoomMode::zmFullPage);  // 200 / 40: 500 %, on the ladder
  box->ZoomStep(1);
  EXPECT_FLOAT_EQ(box->ZoomPercent(), 600);
}

}  // namespace
