// Colour management of the display: the shown pixels are the display copy converted from the
// picture's profile to the screen's; the picture itself never changes.
#include <gtest/gtest.h>

#include "ViewTestSupport.h"
#include "colour/QvColour.h"
#include "support/PictureCompare.h"
#include "support/TestProfiles.h"

using namespace qvtest;

TEST(ColourDisplay, ShowsTheConvertedCopyAndLeavesThePicture) {
  const std::vector<uint8_t> wide = qvtest::WideGamutProfile();
  const struct {
    TImageFormat Format;
    std::vector<uint8_t> Profile;
    float Zoom;
  } cases[] = {
      {TImageFormat::TrueColor, wide, 100.0f},
      {TImageFormat::TrueColor, wide, 250.0f},
      {TImageFormat::Color256, wide, 100.0f},
      {TImageFormat::Gray256, qvtest::GrayProfile(1.0), 150.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ImageFormatName(c.Format) + " at " + std::to_string(c.Zoom));
    std::unique_ptr<TImageScrollBox> box = ShownBox(160, 120);
    TDibGraphic picture, before;
    MakePattern(picture, c.Format, 90, 70);
    picture.SetIccProfile(c.Profile);
    before.Assign(&picture);
    box->SetPicture(&picture);
    box->SetZoomPercent(c.Zoom);
    box->horizontalScrollBar()->setValue(17);

    TDibGraphic plain, converted;
    WholeDisplayCopy(*box, picture, plain);
    converted.Assign(&plain);
    ASSERT_TRUE(ConvertForDisplay(converted, {}));
    EXPECT_TRUE(ShownIsTheCopy(*box, converted));
    EXPECT_TRUE(qvtest::SamePicture(picture, before));
    EXPECT_EQ(picture.IccProfile(), c.Profile);

    const int scrolled = box->horizontalScrollBar()->value();
    box->SetColourManaged(false);
    EXPECT_EQ(box->horizontalScrollBar()->value(), scrolled);
    EXPECT_TRUE(ShownIsTheCopy(*box, plain));
    box->SetColourManaged(true);
    EXPECT_TRUE(ShownIsTheCopy(*box, converted));
    box->SetPicture(nullptr);
  }
}

// A screen whose profile is the picture's shows the picture's own numbers (within rounding); a
// picture without a profile is shown unchanged whatever the screen.
TEST(ColourDisplay, ScreenProfileIsTheTarget) {
  const std::vector<uint8_t> wide = qvtest::WideGamutProfile();
  std::unique_ptr<TImageScrollBox> box = ShownBox(120, 100);
  TDibGraphic picture;
  MakePattern(picture, TImageFormat::TrueColor, 60, 50);
  picture.SetIccProfile(wide);
  box->SetPicture(&picture);
  box->SetScreenProfile(wide);
  const QImage shown = box->viewport()->grab().toImage();
  int worst = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 60; ++x) {
      const QRgb got = shown.pixel(x, y);
      const TColorValue want = picture.GetPixel(x, y);
      worst = std::max({worst, std::abs(qRed(got) - static_cast<int>(want >> 16 & 255)),
                        std::abs(qGreen(got) - static_cast<int>(want >> 8 & 255)),
                        std::abs(qBlue(got) - static_cast<int>(want & 255))});
    }
  EXPECT_LE(worst, 1);

  TDibGraphic plain;
  MakePattern(plain, TImageFormat::TrueColor, 60, 50);
  box->SetPicture(&plain);
  EXPECT_TRUE(ShownIsTheCopy(*box, plain));
  box->SetPicture(nullptr);
}
