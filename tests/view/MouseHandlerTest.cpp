// Mouse modes: dragging scrolls by the distance moved, quick selection cuts display pixels.
#include <gtest/gtest.h>

#include <QRubberBand>
#include <QScrollBar>

#include "ViewTestSupport.h"

using namespace qvtest;

namespace {

struct TSelection {
  int Count = 0;
  TDibGraphic Image;
};

// A box in quick-select mode showing a TrueColor pattern at Zoom, whose selections are kept.
std::unique_ptr<TImageScrollBox> SelectingBox(TSelection& selection, int imageSize, float zoom, int boxSize = 300) {
  auto box = ShownBox(boxSize, boxSize);
  TDibGraphic image;
  MakePattern(image, TImageFormat::TrueColor, imageSize, imageSize);
  box->SetGraphic(image);
  box->SetZoomPercent(zoom);
  box->SetMouseMode(TMouseMode::mmQuickSelect);
  box->OnQuickSelect = [&selection](TImageScrollBox&, TDibGraphic& g) {
    ++selection.Count;
    selection.Image.Assign(&g);
  };
  return box;
}

struct TSelectCase {
  const char* Name;
  float Zoom;
  QPoint From, To;
  TRect Want;  // in display pixels
};

const TSelectCase kSelectCases[] = {
    {"forward at 100", 100.0f, {10, 10}, {60, 40}, {10, 10, 60, 40}},
    {"backward at 100", 100.0f, {60, 40}, {10, 10}, {10, 10, 60, 40}},
    {"beyond the right edge", 100.0f, {80, 20}, {250, 30}, {80, 20, 100, 30}},
    {"at 200 in display pixels", 200.0f, {10, 10}, {60, 40}, {10, 10, 60, 40}},
    {"at 200 near the far corner", 200.0f, {150, 170}, {199, 199}, {150, 170, 199, 199}},
};

void PrintTo(const TSelectCase& c, std::ostream* os) { *os << c.Name; }

class QuickSelect : public ::testing::TestWithParam<TSelectCase> {};

TEST_P(QuickSelect, CutsTheDisplayRectangle) {
  const TSelectCase& c = GetParam();
  TSelection selection;
  auto box = SelectingBox(selection, 100, c.Zoom);
  Drag(*box, {c.From, (c.From + c.To) / 2, c.To});
  ASSERT_EQ(selection.Count, 1);
  ASSERT_EQ(selection.Image.Width(), c.Want.Width());
  ASSERT_EQ(selection.Image.Height(), c.Want.Height());
  TDibGraphic whole;
  WholeDisplayCopy(*box, box->Graphic(), whole);
  for (int y = 0; y < c.Want.Height(); ++y)
    for (int x = 0; x < c.Want.Width(); ++x)
      ASSERT_EQ(selection.Image.GetPixel(x, y), whole.GetPixel(x + c.Want.Left, y + c.Want.Top)) << x << "," << y;
  EXPECT_FALSE(box->MouseHandler()->MouseIsDown());
  EXPECT_EQ(dynamic_cast<TQuickSelectMouseHandler*>(box->MouseHandler())->RubberBand(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, QuickSelect, ::testing::ValuesIn(kSelectCases), [](const auto& info) {
  std::string name = info.param.Name;
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
});

TEST(QuickSelectPress, SamePointRaisesNothing) {
  TSelection selection;
  auto box = SelectingBox(selection, 100, 100.0f);
  Drag(*box, {{30, 30}, {30, 30}});
  EXPECT_EQ(selection.Count, 0);
}

TEST(QuickSelectPress, BandFollowsTheLeftButtonOnly) {
  TSelection selection;
  auto box = SelectingBox(selection, 100, 100.0f);
  auto* handler = dynamic_cast<TQuickSelectMouseHandler*>(box->MouseHandler());
  SendMouse(*box, QEvent::MouseButtonPress, 20, 20, Qt::RightButton, Qt::RightButton);
  SendMouse(*box, QEvent::MouseMove, 70, 70, Qt::NoButton, Qt::RightButton);
  ASSERT_NE(handler->RubberBand(), nullptr);
  EXPECT_FALSE(handler->RubberBand()->isVisible());
  EXPECT_EQ(handler->EndX(), 20);
  SendMouse(*box, QEvent::MouseMove, 70, 500, Qt::NoButton, Qt::LeftButton);
  EXPECT_TRUE(handler->RubberBand()->isVisible());
  // The corner stays on the last display pixel.
  EXPECT_EQ(handler->EndY(), 99);
  EXPECT_EQ(handler->RubberBand()->geometry(), QRect(QPoint(20, 20), QPoint(70, 99)));
}

TEST(QuickSelectPress, ScrollingDuringTheSelectionKeepsItOnTheCopy) {
  TSelection selection;
  auto box = SelectingBox(selection, 200, 100.0f, 100);
  box->horizontalScrollBar()->setValue(60);
  SendMouse(*box, QEvent::MouseButtonPress, 10, 10, Qt::LeftButton, Qt::LeftButton);
  box->horizontalScrollBar()->setValue(0);  // the wheel scrolls; the press now lies left of the copy
  SendMouse(*box, QEvent::MouseButtonRelease, 80, 50, Qt::LeftButton, Qt::NoButton);
  ASSERT_EQ(selection.Count, 1);
  EXPECT_EQ(selection.Image.Width(), 80);
  EXPECT_EQ(selection.Image.Height(), 40);
}

TEST(DragMode, MovesByTheDragDistanceWithTheClosedHand) {
  auto box = ShownBox(100, 100);
  TDibGraphic image;
  MakePattern(image, TImageFormat::Gray256, 400, 300);
  box->SetGraphic(image);
  QWidget* control = box->ImageControl();
  SendMouse(*box, QEvent::MouseButtonPress, 50, 50, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(control->cursor().shape(), Qt::ClosedHandCursor);
  SendMouse(*box, QEvent::MouseMove, 20, 30, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(box->horizontalScrollBar()->value(), 30);
  EXPECT_EQ(box->verticalScrollBar()->value(), 20);
  // The pressed point is under the pointer again: the control moved by the distance.
  EXPECT_EQ(control->pos(), QPoint(-30, -20));
  SendMouse(*box, QEvent::MouseMove, 500, 500, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(box->horizontalScrollBar()->value(), 0);  // kept within range
  SendMouse(*box, QEvent::MouseMove, -5000, -5000, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(box->horizontalScrollBar()->value(), box->horizontalScrollBar()->maximum());
  SendMouse(*box, QEvent::MouseButtonRelease, 0, 0, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(control->cursor().shape(), Qt::OpenHandCursor);
  EXPECT_FALSE(box->MouseHandler()->MouseIsDown());
}

TEST(DragMode, NothingToScrollKeepsTheOpenHand) {
  auto box = ShownBox(100, 100);
  TDibGraphic image;
  MakePattern(image, TImageFormat::TrueColor, 50, 50);
  box->SetGraphic(image);
  SendMouse(*box, QEvent::MouseButtonPress, 10, 10, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(box->ImageControl()->cursor().shape(), Qt::OpenHandCursor);
  SendMouse(*box, QEvent::MouseMove, 40, 40, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(box->ImageControl()->pos(), QPoint(0, 0));
  SendMouse(*box, QEvent::MouseButtonRelease, 40, 40, Qt::LeftButton, Qt::NoButton);
}

TEST(MouseErrors, AFailingSelectionHandlerIsReportedNotThrownIntoQt) {
  TSelection selection;
  auto box = SelectingBox(selection, 100, 100.0f);
  box->OnQuickSelect = [](TImageScrollBox&, TDibGraphic&) { throw EQuorvaneError("handler failed"); };
  std::string reported;
  box->OnError = [&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const Exception& error) {
      reported = error.Message();
    }
  };
  Drag(*box, {{10, 10}, {40, 40}});
  EXPECT_EQ(reported, "handler failed");
  EXPECT_FALSE(box->MouseHandler()->MouseIsDown());
}

}  // namespace
