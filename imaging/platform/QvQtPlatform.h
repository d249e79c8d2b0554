// The Qt implementation of the platform services the core calls: frame timers, processing of
// pending messages, the busy cursor, the screen's resolution, warnings shown to the user, and the
// picture loader for the formats the registry does not know.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "model/QvPlatform.h"

namespace quorvane {

// The window program's platform. Qt objects (timers) are made only on the thread that owns the
// application object; elsewhere, and before an application object exists, the core's do-nothing
// services answer. The screen's logical resolution is reported only while a QGuiApplication
// with a screen exists; otherwise the core's 96 dpi stands.
class TQtPlatform : public IPlatform {
 public:
  std::unique_ptr<IFrameTimer> CreateTimer() override;
  void ProcessMessages() override;
  void SetBusyCursor(bool busy) override;
  int ScreenDpiX() const override;
  int ScreenDpiY() const override;
  // Calls the warning handler (the window sets one that shows a message box); without one the
  // warning goes to Qt's message log.
  void ShowWarning(const std::string& caption, const std::string& text) override;

  using TWarningHandler = std::function<void(const std::string& caption, const std::string& text)>;
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
