// The Qt implementation of the platform services the core calls: frame timers, processing of
// pending messages, the busy cursor, the screen's resolution, warnings shown to the user, and the
// picture loader for the formats the registry does not know.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "model/QvPlatform.h"

namespace quorvane {

// The window program's platform. Its services may be called from any thread (pictures are read
// on worker threads beside the window's), but Qt's GUI objects live on the thread that owns the
// application object. There, timers are Qt timers, pending messages are processed, the busy
// cursor shows and warnings reach the warning handler. On other threads, and before an
// application object exists, the core's do-nothing services answer: timers never tick, messages
// are left to the window's thread, the cursor is left alone, and a warning stays with the image
// that carries it (TDibGraphic::Warnings), for whoever shows that image to report. The screen's
// logical resolution is read while a QGuiApplication with a screen exists, on its thread; other
// threads get the value last read there (96 dpi before that).
class TQtPlatform : public IPlatform {
 public:
  std::unique_ptr<IFrameTimer> CreateTimer() override;
  void ProcessMessages() override;
  void SetBusyCursor(bool busy) override;
  int ScreenDpiX() const override;
  int ScreenDpiY() const override;
  // Calls the warning handler (the window sets one that shows a message box); without one the
  // warning goes to Qt's message log. Off the application's thread only the log hears of it.
  void ShowWarning(const std::string& caption, const std::string& text) override;

  using TWarningHandler = std::function<void(const std::string& caption, const std::string& text)>;
  // Set on the application's thread while no other thread reads pictures.
  void SetWarningHandler(TWarningHandler handler) { FWarningHandler = std::move(handler); }

 private:
  TWarningHandler FWarningHandler;
};

// Installs the Qt platform and the Qt picture loader in the core; the window program calls it
// once at start, after creating its application object. Returns the installed platform.
TQtPlatform& InstallQtPlatform();
// Installs only the picture loader: what a program without a window (the converter) needs.
void InstallQtPictureLoader();

}  // namespace quorvane
