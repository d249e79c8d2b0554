#include <gtest/gtest.h>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"
#include "support/ErrorMessage.h"

using namespace quorvane;

namespace {

// A multi-image format for tests: byte 0 of the stream is the page count; page N is an N x 1
// gray image whose pixels are N.
class TPagedGraphic : public TDibGraphic {
 public:
  QV_GRAPHIC_CLASS(TPagedGraphic)
  int GetImageCount(TStream& stream) override {
    uint8_t count = 0;
    stream.ReadBuffer(&count, 1);
    return count;
  }
  void LoadImageFromStream(TStream& stream, int index) override {
    uint8_t count = 0;
    stream.ReadBuffer(&count, 1);
    if (index > count) throw EQuorvaneError("no such page");
    NewImage(index, 1, TImageFormat::Gray256, nullptr, 0, 0);
    for (int x = 0; x < index; ++x) SetPixelIndex(x, 0, index);
  }
};
QV_DEFINE_GRAPHIC_CLASS(TPagedGraphic)

// A timer that ticks only when told to.
class TManualTimer : public IFrameTimer {
 public:
  void SetInterval(int ms) override { Interval = ms; }
  void SetEnabled(bool enabled) override { On = enabled; }
  bool Enabled() const override { return On; }
  void SetOnTick(std::function<void()> onTick) override { Tick = std::move(onTick); }
  int Interval = 0;
  bool On = false;
  std::function<void()> Tick;
};

class TManualPlatform : public IPlatform {
 public:
  std::unique_ptr<IFrameTimer> CreateTimer() override {
    auto timer = std::make_unique<TManualTimer>();
    Last = timer.get();
    ++Created;
    return timer;
  }
  void ProcessMessages() override {
    ++Processed;
    if (OnProcess) OnProcess();
  }
  std::function<void()> OnProcess;  // a message handler run by frame selection
  TManualTimer* Last = nullptr;
  int Created = 0;
  int Processed = 0;
};

using qvtest::MessageOf;

TEST(Frames, MultiImageLoadReadsEveryPageFromTheStartPosition) {
  TMemoryStream stream({9, 9, 3});  // two bytes of something else, then the paged data
  stream.Seek(2, TSeekOrigin::soBeginning);
  TPagedGraphic image;
  image.SetMultiImage(true);
  image.LoadFromStream(stream);
  ASSERT_EQ(image.FrameCount(), 3);
  EXPECT_TRUE(image.MultiImage());
  EXPECT_EQ(image.CurrentFrame(), 1);
  EXPECT_EQ(image.Width(), 1);
  EXPECT_EQ(image.GetFrame(3).Width(), 3);
  EXPECT_EQ(image.GetFrame(2).ClassName(), "TPagedGraphic") << "frames keep the loading class";

  image.SetCurrentFrame(3);
  EXPECT_EQ(image.Width(), 3);
  EXPECT_EQ(image.GetPixelIndex(2, 0), 3);
  for (int bad : {0, 4}) {
    EXPECT_EQ(MessageOf([&] { image.SetCurrentFrame(bad); }), "Frame " + std::to_string(bad) + " does not exist");
    EXPECT_EQ(image.Width(), 3) << "a failed selection keeps the pixels";
    EXPECT_EQ(image.CurrentFrame(), 3);
  }
  EXPECT_EQ(MessageOf([&] { image.GetFrame(0); }), "Frame 0 does not exist");
}

// Pending messages run last: a handler sees the new frame, and may even free the image (a file
// opened meanwhile replaces it) without the selection writing into freed memory afterwards.
TEST(Frames, MessagesRunAfterTheFrameIsSelected) {
  TManualPlatform platform;
  SetPlatform(&platform);
  auto image = std::make_unique<TPagedGraphic>();
  TMemoryStream stream({3});
  image->SetMultiImage(true);
  image->LoadFromStream(stream);
  int seenFrame = 0, seenWidth = 0;
  platform.OnProcess = [&] {
    seenFrame = image->CurrentFrame();
    seenWidth = image->Width();
    image.reset();
  };
  image->SetCurrentFrame(3);
  EXPECT_EQ(seenFrame, 3);
  EXPECT_EQ(seenWidth, 3);
  EXPECT_EQ(image, nullptr);
  SetPlatform(nullptr);
}

TEST(Frames, SingleImageStreamLoadsIntoTheImageItself) {
  TMemoryStream stream({1});
  TPagedGraphic image;
  image.SetMultiImage(true);
  image.LoadFromStream(stream);
  EXPECT_FALSE(image.MultiImage());
  EXPECT_EQ(image.FrameCount(), 0);
  EXPECT_EQ(image.Width(), 1);
  EXPECT_EQ(image.CurrentFrame(), -1);
}

TEST(Frames, EmptyMultiImageStreamRaisesForFrameOne) {
  TMemoryStream stream({0});
  TPagedGraphic image;
  image.SetMultiImage(true);
  EXPECT_EQ(MessageOf([&] { image.LoadFromStream(stream); }), "Frame 1 does not exist");
  EXPECT_EQ(image.FrameCount(), 0);
}

TEST(Frames, ImageIndexSelectsThePageOfASingleLoad) {
  TMemoryStream stream({4});
  TPagedGraphic image;
  image.SetImageIndex(2);
  image.LoadFromStream(stream);
  EXPECT_EQ(image.Width(), 2);
}

TEST(Frames, AnimationStepsThroughFramesAndWraps) {
  TManualPlatform platform;
  SetPlatform(&platform);
  {
    TPagedGraphic image;
    int changes = 0;
    image.OnChange = [&](TDibGraphic&) { ++changes; };
    image.SetAnimate(true);
    EXPECT_EQ(platform.Created, 0) << "no timer without frames";
    TMemoryStream stream({2});
    image.SetMultiImage(true);
    image.SetFrameDelay(40);
    image.LoadFromStream(stream);
    EXPECT_TRUE(image.Animate()) << "restored after the load";
    EXPECT_EQ(platform.Created, 1) << "one timer, for the animated image only, none for its frames";
    TManualTimer* timer = platform.Last;
    ASSERT_NE(timer, nullptr);
    EXPECT_TRUE(timer->On);
    EXPECT_EQ(timer->Interval, 200) << "the image takes the selected frame's delay";
    EXPECT_GE(platform.Processed, 1) << "selecting a frame lets pending messages run";
    timer->Tick();
    EXPECT_EQ(image.CurrentFrame(), 2);
    timer->Tick();
    EXPECT_EQ(image.CurrentFrame(), 1);
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(timer->On);
    image.SetAnimate(false);
    EXPECT_FALSE(timer->On);
  }
  SetPlatform(nullptr);
}

// Stepping by hand shows the next frame and leaves the timer as Animate says.
TEST(Frames, StepFrameKeepsTheTimerAsAnimateSays) {
  TManualPlatform platform;
  SetPlatform(&platform);
  {
    TPagedGraphic image;
    TMemoryStream stream({3});
    image.SetMultiImage(true);
    image.LoadFromStream(stream);
    image.StepFrame();
    EXPECT_EQ(image.CurrentFrame(), 2);
    EXPECT_TRUE(platform.Last == nullptr || !platform.Last->On) << "not animated: no timer runs";
    image.SetAnimate(true);
    ASSERT_NE(platform.Last, nullptr);
    image.StepFrame();
    EXPECT_EQ(image.CurrentFrame(), 3);
    EXPECT_TRUE(platform.Last->On) << "animated: the timer runs on";
    image.SetAnimate(false);
    image.StepFrame();
    EXPECT_EQ(image.CurrentFrame(), 1);
    EXPECT_FALSE(platform.Last->On);
  }
  SetPlatform(nullptr);
}

}  // namespace
