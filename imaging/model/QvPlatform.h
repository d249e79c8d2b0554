// The few services the core needs from a window system, behind a small interface. The core
// installs a do-nothing default so that it runs headless; the Qt layer installs its own at
// program start (`SetPlatform`), before any image exists.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

// A repeating message timer, ticking on the thread that runs the platform's message loop.
class IFrameTimer {
 public:
  virtual ~IFrameTimer() = default;
  virtual void SetInterval(int milliseconds) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
  virtual void SetOnTick(std::function<void()> onTick) = 0;
};

// A picture format the platform's own loader reads, for the open dialog's filter.
struct TPlatformPictureFormat {
  std::string Extension;  // lower case, without the dot
  std::string Description;
};

class IPlatform {
 public:
  virtual ~IPlatform() = default;
  virtual std::unique_ptr<IFrameTimer> CreateTimer();
  // Lets the platform handle pending messages (paints, timer ticks) from inside a long call.
  virtual void ProcessMessages() {}
  virtual void SetBusyCursor(bool /*busy*/) {}
  // The screen's logical resolution, used when an image is made with 0 dots per inch.
  virtual int ScreenDpiX() const { return 96; }
  virtual int ScreenDpiY() const { return 96; }
  // Formats of the platform's own picture loader, in its registration order.
  virtual std::vector<TPlatformPictureFormat> PictureFormats() const { return {}; }
};

IPlatform& Platform();
// Installs a platform; the library does not own it. Passing nullptr restores the default.
void SetPlatform(IPlatform* platform);

}  // namespace quorvane
