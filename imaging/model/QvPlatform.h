// The few services the core needs from a window system, behind a small interface. The core
// installs a do-nothing default so that it runs headless; the Qt layer installs its own at
// program start (`SetPlatform`), before any image exists.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvane {

class TDibGraphic;
class TStream;

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
  // Shows a warning to the user (a message box in the window program); the default does nothing,
  // since programs without a window report the image's Warnings() themselves.
  virtual void ShowWarning(const std::string& /*caption*/, const std::string& /*text*/) {}
};

IPlatform& Platform();
// Installs a platform; the library does not own it. Passing nullptr restores the default.
void SetPlatform(IPlatform* platform);

// The platform's own picture loader: reads the files whose extension the registry does not know.
// The default reads nothing.
class IPictureLoader {
 public:
  virtual ~IPictureLoader() = default;
  // The formats it reads, in its registration order (for the open dialog's filter).
  virtual std::vector<TPlatformPictureFormat> Formats() const { return {}; }
  // Reads the picture in the named file into a new plain TDibGraphic. With AllImages, every image
  // of a multi-image file becomes a frame (frame 1 shown); otherwise the first image is read.
  // The default raises "Graphic files of %s format are not supported or not registered".
  virtual std::unique_ptr<TDibGraphic> LoadFromFile(const std::string& fileName, bool allImages);
};

IPictureLoader& PictureLoader();
// Installs a loader; the library does not own it. Passing nullptr restores the default.
void SetPictureLoader(IPictureLoader* loader);

// Reads FileName's picture through the picture loader. When no file of that name exists (Stream
// did not come from it), Stream's content from its position on is first copied into a temporary
// file with FileName's extension, which is removed again on every path.
std::unique_ptr<TDibGraphic> LoadPlatformPicture(TStream& stream, const std::string& fileName, bool allImages);

}  // namespace quorvane
