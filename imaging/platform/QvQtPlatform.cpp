#include "platform/QvQtPlatform.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QtGlobal>
#include <atomic>

#include "platform/QvQtPictureLoader.h"

namespace quorvane {

namespace {

// True on the thread that owns the application object: the only place for Qt's GUI objects.
bool OnEventLoopThread() {
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

bool HaveGuiApplication() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

class TQtFrameTimer : public IFrameTimer {
 public:
  TQtFrameTimer() {
    QObject::connect(&FTimer, &QTimer::timeout, [this]() {
      if (FOnTick) FOnTick();
    });
  }
  void SetInterval(int milliseconds) override { FTimer.setInterval(milliseconds); }
  void SetEnabled(bool enabled) override {
    if (enabled)
      FTimer.start();
    else
      FTimer.stop();
  }
  bool Enabled() const override { return FTimer.isActive(); }
  void SetOnTick(std::function<void()> onTick) override { FOnTick = std::move(onTick); }

 private:
  QTimer FTimer;
  std::function<void()> FOnTick;
};

// The resolution last read on the application's thread, for the other threads: QScreen
// belongs to the application's thread.
std::atomic<int> LastDpiX{96}, LastDpiY{96};

int ScreenDpi(bool horizontal) {
  std::atomic<int>& last = horizontal ? LastDpiX : LastDpiY;
  if (!HaveGuiApplication()) return 96;
  if (!OnEventLoopThread()) return last.load(std::memory_order_relaxed);
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return 96;
  const int dpi = qRound(horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY());
  const int result = dpi > 0 && dpi <= 65535 ? dpi : 96;
  last.store(result, std::memory_order_relaxed);
  return result;
}

}  // namespace

std::unique_ptr<IFrameTimer> TQtPlatform::CreateTimer() {
  if (!OnEventLoopThread()) return IPlatform::CreateTimer();
  return std::make_unique<TQtFrameTimer>();
}

void TQtPlatform::ProcessMessages() {
  if (OnEventLoopThread()) QCoreApplication::processEvents();
}

void TQtPlatform::SetBusyCursor(bool busy) {
  if (!HaveGuiApplication() || !OnEventLoopThread()) return;
  if (busy)
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  else
    QGuiApplication::restoreOverrideCursor();
}

int TQtPlatform::ScreenDpiX() const { return ScreenDpi(true); }
int TQtPlatform::ScreenDpiY() const { return ScreenDpi(false); }

void TQtPlatform::ShowWarning(const std::string& caption, const std::string& text) {
  // The handler shows boxes; a worker's picture keeps its warnings for the window to report.
  if (OnEventLoopThread() && FWarningHandler)
    FWarningHandler(caption, text);
  else
    qWarning("%s: %s", caption.c_str(), text.c_str());
}

TQtPlatform& InstallQtPlatform() {
  static TQtPlatform platform;
  SetPlatform(&platform);
  // Read once here, so that worker threads see the screen's resolution from the start.
  platform.ScreenDpiX();
  platform.ScreenDpiY();
  InstallQtPictureLoader();
  return platform;
}

void InstallQtPictureLoader() {
  static TQtPictureLoader loader;
  SetPictureLoader(&loader);
}

}  // namespace quorvane
