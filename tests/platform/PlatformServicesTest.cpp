// The services the core asks of the platform, as the Qt platform provides them.
#include <gtest/gtest.h>

#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <thread>

#include "model/QvDiGrph.h"
#include "model/QvMisc.h"
#include "model/QvPlatform.h"
#include "platform/QvQtPlatform.h"

using namespace quorvane;

namespace {

// Runs the event loop until Done or a second has passed.
template <typename F>
bool RunEventsUntil(F done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 1000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

TEST(QtPlatform, FrameTimersTickOnTheEventLoop) {
  std::unique_ptr<IFrameTimer> timer = Platform().CreateTimer();
  int ticks = 0;
  timer->SetOnTick([&]() { ++ticks; });
  timer->SetInterval(5);
  timer->SetEnabled(true);
  EXPECT_TRUE(timer->Enabled());
  EXPECT_TRUE(RunEventsUntil([&]() { return ticks >= 2; }));
  timer->SetEnabled(false);
  EXPECT_FALSE(timer->Enabled());
}

QtMessageHandler PreviousHandler = nullptr;
int QtWarnings = 0;
void CountWarnings(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtWarningMsg) ++QtWarnings;
  if (PreviousHandler) PreviousHandler(type, context, text);
}

TEST(QtPlatform, WorkerThreadsGetNoQtTimer) {
  // A QTimer made and started on a thread without an event loop makes Qt complain; the platform
  // hands such threads the core's silent timer instead.
  QtWarnings = 0;
  PreviousHandler = qInstallMessageHandler(CountWarnings);
  std::thread worker([]() {
    TDibGraphic image;
    image.NewImage(2, 2, TImageFormat::TrueColor, nullptr, 0, 0);
    std::unique_ptr<IFrameTimer> timer = Platform().CreateTimer();
    timer->SetInterval(1);
    timer->SetEnabled(true);
    timer->SetEnabled(false);
    Platform().ProcessMessages();
    BeginBusyCursor();
    EndBusyCursor();
  });
  worker.join();
  qInstallMessageHandler(PreviousHandler);
  EXPECT_EQ(QtWarnings, 0);
}

TEST(QtPlatform, ProcessMessagesRunsPendingEvents) {
  bool ran = false;
  QTimer::singleShot(0, [&]() { ran = true; });
  Platform().ProcessMessages();
  EXPECT_TRUE(ran);
}

TEST(QtPlatform, BusyCursorNestsOnTheWaitCursor) {
  ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
  BeginBusyCursor();
  BeginBusyCursor();
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EndBusyCursor();
  EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
  EndBusyCursor();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(QtPlatform, ImagesWithoutResolutionTakeTheScreens) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  TDibGraphic image;
  image.NewImage(2, 2, TImageFormat::Gray256, nullptr, 0, 0);
  EXPECT_EQ(image.XDpi(), qRound(screen->logicalDotsPerInchX()));
  EXPECT_EQ(image.YDpi(), qRound(screen->logicalDotsPerInchY()));
}

TEST(QtPlatform, WarningsReachTheHandler) {
  TQtPlatform& platform = static_cast<TQtPlatform&>(Platform());
  std::string shown;
  platform.SetWarningHandler(
      [&](const std::string& caption, const std::string& text) { shown = caption + ": " + text; });
  Platform().ShowWarning("PNG Error", "iCCP: known incorrect sRGB profile");
  platform.SetWarningHandler(nullptr);
  EXPECT_EQ(shown, "PNG Error: iCCP: known incorrect sRGB profile");
}

}  // namespace
