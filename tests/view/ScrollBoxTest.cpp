// The image scroll box: zoom arithmetic on the widget, scroll bars, centring, events, frames and
// the pictures it is given.
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QTimer>

#include "ViewTestSupport.h"
#include "model/QvExcept.h"

using namespace qvtest;

namespace {

struct TZoomCase {
  const char* Name;
  int ImageWidth, ImageHeight;
  int BoxWidth, BoxHeight;
  TZoomMode Mode;
  float Percent;  // for zmPercent
  float WantZoom;
  int WantWidth, WantHeight;
  bool WantHorz, WantVert;
};

const TZoomCase kZoomCases[] = {
    {"full page, wide image", 200, 100, 100, 100, TZoomMode::zmFullPage, 0, 50.0f, 100, 50, false, false},
    {"full page, tall image", 100, 400, 100, 100, TZoomMode::zmFullPage, 0, 25.0f, 25, 100, false, false},
    {"full page enlarges", 20, 10, 100, 100, TZoomMode::zmFullPage, 0, 500.0f, 100, 50, false, false},
    {"percent 33", 100, 100, 150, 150, TZoomMode::zmPercent, 33.0f, 33.0f, 33, 33, false, false},
    {"percent 200 scrolls both ways", 100, 100, 150, 150, TZoomMode::zmPercent, 200.0f, 200.0f, 200, 200, true, true},
    {"original size fits", 80, 60, 100, 100, TZoomMode::zmOriginalSize, 0, 100.0f, 80, 60, false, false},
    {"original size, only wider", 300, 50, 100, 100, TZoomMode::zmOriginalSize, 0, 100.0f, 300, 50, true, false},
    {"fit height hides both bars", 50, 200, 100, 100, TZoomMode::zmFitHeight, 0, 50.0f, 25, 100, false, false},
    {"fit width, short image", 200, 50, 100, 100, TZoomMode::zmFitWidth, 0, 50.0f, 100, 25, false, false},
    {"tiny zoom keeps a pixel", 100, 100, 100, 100, TZoomMode::zmPercent, 0.2f, 0.2f, 1, 1, false, false},
    {"a vertical bar brings the horizontal", 95, 300, 100, 100, TZoomMode::zmOriginalSize, 0, 100.0f, 95, 300, true,
     true},
};

void PrintTo(const TZoomCase& c, std::ostream* os) { *os << c.Name; }

class ZoomArithmetic : public ::testing::TestWithParam<TZoomCase> {};

TEST_P(ZoomArithmetic, GivesZoomSizeAndScrollBars) {
  const TZoomCase& c = GetParam();
  auto box = ShownBox(c.BoxWidth, c.BoxHeight);
  ShowPattern(*box, TImageFormat::TrueColor, c.ImageWidth, c.ImageHeight, c.Mode, c.Percent);
  EXPECT_FLOAT_EQ(box->ZoomPercent(), c.WantZoom);
  EXPECT_EQ(box->DisplayWidth(), c.WantWidth);
  EXPECT_EQ(box->DisplayHeight(), c.WantHeight);
  EXPECT_EQ(box->ImageControl()->size(), QSize(c.WantWidth, c.WantHeight));
  EXPECT_EQ(box->HorzScrollBarShown(), c.WantHorz);
  EXPECT_EQ(box->VertScrollBarShown(), c.WantVert);
  // The widget's own layout agrees with the client size the zoom was computed from, and the
  // scroll range is the part of the copy that does not fit.
  EXPECT_EQ(box->viewport()->width(), box->ClientWidth());
  EXPECT_EQ(box->viewport()->height(), box->ClientHeight());
  EXPECT_EQ(box->horizontalScrollBar()->maximum(), std::max(0, c.WantWidth - box->ClientWidth()));
  EXPECT_EQ(box->verticalScrollBar()->maximum(), std::max(0, c.WantHeight - box->ClientHeight()));
}

INSTANTIATE_TEST_SUITE_P(Cases, ZoomArithmetic, ::testing::ValuesIn(kZoomCases), [](const auto& info) {
  std::string name = info.param.Name;
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
});

TEST(ScrollBox, TinyOrEmptyZoomIsIgnored) {
  auto box = ShownBox(100, 100);
  box->SetZoomPercent(50.0f);  // empty image: ignored
  EXPECT_EQ(box->ZoomMode(), TZoomMode::zmOriginalSize);
  TDibGraphic image;
  MakePattern(image, TImageFormat::Gray256, 40, 40);
  box->SetGraphic(image);
  box->SetZoomMode(TZoomMode::zmFitWidth);
  for (float tiny : {0.1f, 0.05f, 0.0f, -20.0f}) {
    box->SetZoomPercent(tiny);
    EXPECT_EQ(box->ZoomMode(), TZoomMode::zmFitWidth) << tiny;
  }
  // A zoom whose copy would be wider than a widget can be is refused, leaving the view as it was.
  EXPECT_THROW(box->SetZoomPercent(1e9f), EQuorvaneError);
  EXPECT_EQ(box->ZoomMode(), TZoomMode::zmFitWidth);
  EXPECT_EQ(box->DisplayWidth(), 100);
}

TEST(ScrollBox, FitWidthSettlesBesideTheVerticalBar) {
  auto box = ShownBox(100, 100);
  TDibGraphic image;
  MakePattern(image, TImageFormat::TrueColor, 200, 400);
  box->SetGraphic(image);
  box->SetZoomMode(TZoomMode::zmFitWidth);
  EXPECT_TRUE(box->VertScrollBarShown());
  EXPECT_FALSE(box->HorzScrollBarShown());
  EXPECT_LT(box->ClientWidth(), 100);
  EXPECT_EQ(box->DisplayWidth(), box->ClientWidth());
}

TEST(ScrollBox, CentredCopyUsesTheOuterSize) {
  auto box = ShownBox(150, 100);
  TDibGraphic image;
  MakePattern(image, TImageFormat::Color256, 100, 100);
  box->SetGraphic(image);
  box->SetZoomPercent(50.0f);
  EXPECT_EQ(box->ImageControl()->pos(), QPoint(0, 0));
  box->SetCentered(true);
  EXPECT_EQ(box->ImageControl()->geometry(), QRect(50, 25, 50, 50));
  // Larger than the box: no centring, the copy scrolls from the left and top.
  box->SetZoomPercent(300.0f);
  EXPECT_EQ(box->ImageControl()->pos(), QPoint(0, 0));
}

TEST(ScrollBox, RedrawScrollsBackAndScrollingMovesTheControl) {
  auto box = ShownBox(100, 100);
  TDibGraphic image;
  MakePattern(image, TImageFormat::TrueColor, 300, 300);
  box->SetGraphic(image);
  box->horizontalScrollBar()->setValue(70);
  box->verticalScrollBar()->setValue(40);
  EXPECT_EQ(box->ImageControl()->pos(), QPoint(-70, -40));
  box->Redraw(false);
  EXPECT_EQ(box->horizontalScrollBar()->value(), 0);
  EXPECT_EQ(box->ImageControl()->pos(), QPoint(0, 0));
}

TEST(ScrollBox, ZoomChangeFiresOnlyForAChangedZoom) {
  auto box = ShownBox(100, 100);
  std::vector<float> zooms;
  box->OnZoomChange = [&](TImageScrollBox&, float zoom) { zooms.push_back(zoom); };
  TDibGraphic image;
  MakePattern(image, TImageFormat::TrueColor, 300, 30);
  box->SetGraphic(image);
  EXPECT_TRUE(zooms.empty());
  box->SetZoomPercent(200.0f);  // the caller knows the zoom it set
  box->Redraw(false);           // an integer zoom compares equal to its rounded value
  EXPECT_TRUE(zooms.empty());
  box->SetZoomMode(TZoomMode::zmFullPage);
  ASSERT_EQ(zooms.size(), 1u);
  zooms.clear();
  box->SetZoomMode(TZoomMode::zmFitWidth);  // 100 / 300: a fractional zoom
  box->Redraw(false);
  box->Redraw(false);
  EXPECT_EQ(zooms.size(), 3u);
  EXPECT_FLOAT_EQ(zooms.back(), 100.0f * (100.0f / 300.0f));
}

TEST(ScrollBox, AnEmptyPictureEmptiesTheView) {
  auto box = ShownBox(100, 100);
  TDibGraphic image;
  MakePattern(image, TImageFormat::TrueColor, 300, 300);
  box->SetGraphic(image);
  ASSERT_TRUE(box->HorzScrollBarShown() && box->VertScrollBarShown());
  box->SetGraphic(TDibGraphic());
  EXPECT_TRUE(box->Graphic().Empty());
  EXPECT_FALSE(box->HorzScrollBarShown() || box->VertScrollBarShown());
  EXPECT_EQ(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_FALSE(box->ImageControl()->isVisible());
  EXPECT_TRUE(box->DisplayGraphic().Empty());
}

TEST(ScrollBox, AntiAliasedCopyFollowsTheImageNotTheFlag) {
  auto box = ShownBox(100, 100);
  TDibGraphic color;
  MakePattern(color, TImageFormat::TrueColor, 30, 30);
  box->SetGraphic(color);
  box->SetAntiAliased(true);
  EXPECT_TRUE(box->AntiAliased());
  EXPECT_TRUE(box->AntiAliasedGraphic().Empty());
  EXPECT_EQ(box->DisplayGraphic().ImageFormat(), TImageFormat::TrueColor);

  TDibGraphic bw;
  MakePattern(bw, TImageFormat::BlackWhite, 30, 30);
  box->SetGraphic(bw);
  ASSERT_EQ(box->AntiAliasedGraphic().ImageFormat(), TImageFormat::Gray16);
  EXPECT_EQ(box->DisplayGraphic().ImageFormat(), TImageFormat::Gray16);
  // A change of the image that the view is not told about keeps the old copy through flag changes.
  const auto copyOf = [](const TDibGraphic& g) { return std::vector<uint8_t>(g.Bits(), g.Bits() + g.ImageSize()); };
  const std::vector<uint8_t> before = copyOf(box->AntiAliasedGraphic());
  std::fill(box->Graphic().Bits(), box->Graphic().Bits() + box->Graphic().ImageSize(), uint8_t{0xFF});
  box->SetAntiAliased(false);
  EXPECT_EQ(box->DisplayGraphic().ImageFormat(), TImageFormat::BlackWhite);
  box->SetAntiAliased(true);
  EXPECT_EQ(copyOf(box->AntiAliasedGraphic()), before);
  box->Redraw(true);
  EXPECT_NE(copyOf(box->AntiAliasedGraphic()), before);
}

TEST(ScrollBox, HiddenBoxRedrawsWhenShown) {
  TImageScrollBox box;
  TDibGraphic bw;
  MakePattern(bw, TImageFormat::BlackWhite, 300, 20);
  box.SetGraphic(bw);
  EXPECT_EQ(box.DisplayWidth(), 0);
  box.show();
  QApplication::processEvents();
  EXPECT_EQ(box.DisplayWidth(), 300);
  EXPECT_FALSE(box.AntiAliasedGraphic().Empty());
  EXPECT_TRUE(box.HorzScrollBarShown());
}

// --- pictures given to the box, frames ---

// A picture of Count frames, frame N 10 N pixels wide, showing frame 1.
std::unique_ptr<TDibGraphic> FramedPicture(int count) {
  auto picture = std::make_unique<TDibGraphic>();
  for (int i = 1; i <= count; ++i) {
    auto frame = std::make_unique<TDibGraphic>();
    MakePattern(*frame, TImageFormat::Color256, 10 * i, 8);
    picture->AddFrame(std::move(frame));
  }
  picture->SetCurrentFrame(1);
  return picture;
}

// The box shows the picture it is given, and changes made to it, without a copy; null gives it
// its own picture back, which SetGraphic had filled.
TEST(ScrollBoxPicture, ShowsTheGivenPictureUntilTakenBack) {
  auto box = ShownBox(100, 100);
  TDibGraphic own;
  MakePattern(own, TImageFormat::Gray256, 30, 20);
  box->SetGraphic(own);
  TDibGraphic& ownPicture = box->Graphic();
  std::vector<int> redrawn;
  box->OnRedraw = [&](TDibGraphic& g) { redrawn.push_back(g.Width()); };

  TDibGraphic given;
  MakePattern(given, TImageFormat::TrueColor, 50, 40);
  box->SetPicture(&given);
  EXPECT_EQ(&box->Graphic(), &given);
  EXPECT_EQ(box->DisplayWidth(), 50);
  given.NewImage(60, 10, TImageFormat::TrueColor, nullptr, 96, 96);
  box->Redraw(true);
  EXPECT_EQ(box->DisplayWidth(), 60);

  box->SetPicture(nullptr);
  EXPECT_EQ(&box->Graphic(), &ownPicture);
  EXPECT_EQ(box->DisplayWidth(), 30);
  EXPECT_EQ(redrawn, (std::vector<int>{50, 60, 30}));
}

TEST(ScrollBoxFrames, AnimationStepsAndWrapsAround) {
  const auto picture = FramedPicture(3);
  auto box = ShownBox(100, 100);
  box->SetPicture(picture.get());
  box->Graphic().SetFrameDelay(120);
  box->SetAnimate(true);
  EXPECT_TRUE(box->Animate());
  EXPECT_TRUE(box->AnimationTimer().isActive());
  EXPECT_EQ(box->AnimationTimer().interval(), 120);
  std::vector<int> shown;
  for (int i = 0; i < 4; ++i) {
    box->AnimationTick();
    shown.push_back(box->CurrentFrame());
    EXPECT_EQ(box->DisplayWidth(), 10 * shown.back());
  }
  EXPECT_EQ(shown, (std::vector<int>{2, 3, 1, 2}));
  EXPECT_TRUE(box->AnimationTimer().isActive());
  box->SetAnimate(false);
  EXPECT_FALSE(box->AnimationTimer().isActive());
}

TEST(ScrollBoxFrames, OneFrameDoesNotAnimate) {
  const auto picture = FramedPicture(1);
  auto box = ShownBox(100, 100);
  box->SetPicture(picture.get());
  box->SetAnimate(true);
  EXPECT_FALSE(box->Animate());
  EXPECT_FALSE(box->AnimationTimer().isActive());
}

// A new picture while animating: the animation goes on with its frames and delay, and stops for
// a still picture.
TEST(ScrollBoxFrames, ANewPictureKeepsTheAnimationGoingWhileItHasFrames) {
  const auto first = FramedPicture(2);
  const auto second = FramedPicture(3);
  second->SetFrameDelay(70);
  TDibGraphic still;
  MakePattern(still, TImageFormat::TrueColor, 5, 5);
  auto box = ShownBox(100, 100);
  box->SetPicture(first.get());
  box->SetAnimate(true);
  box->SetPicture(second.get());
  EXPECT_TRUE(box->Animate());
  EXPECT_EQ(box->AnimationTimer().interval(), 70);
  box->AnimationTick();
  EXPECT_EQ(second->CurrentFrame(), 2);
  EXPECT_EQ(first->CurrentFrame(), 1);
  box->SetPicture(&still);
  EXPECT_FALSE(box->Animate());
  EXPECT_FALSE(box->AnimationTimer().isActive());
}

}  // namespace
