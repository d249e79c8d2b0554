// One opened SANE device with the few settings a scanning source needs: the scan mode, the
// resolution, the document feeder and the scan area. Option values the device does not offer are mapped to the
// nearest one it does (a resolution range is clamped, a list gives its nearest entry).
#pragma once

#include <sane/sane.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvane::dsm {

enum class TScanMode { Lineart, Gray, Color };

struct TResolutionRange {
  int Minimum = 1;
  int Maximum = 9600;
};

// The largest area the device scans, in millimetres.
struct TScanArea {
  double Width = 0;
  double Height = 0;
};

// One frame as the device delivered it.
struct TSaneFrame {
  SANE_Parameters Parameters{};
  std::vector<uint8_t> Bytes;
};

class TSaneDevice {
 public:
  // Opens the named device; Status() tells whether it worked.
  explicit TSaneDevice(const std::string& name);
  ~TSaneDevice();
  TSaneDevice(const TSaneDevice&) = delete;
  TSaneDevice& operator=(const TSaneDevice&) = delete;

  SANE_Status OpenStatus() const { return FOpenStatus; }

  bool HasFeeder() const;
  bool FeederSelected() const;
  TScanMode CurrentMode() const;
  int CurrentResolution() const;
  TResolutionRange ResolutionRange() const;
  // The device's largest area, when its four geometry options can be set in millimetres.
  bool AreaLimits(TScanArea& area) const;

  // Each returns the status of the device's option call; unknown options are left alone.
  SANE_Status SelectMode(TScanMode mode);
  SANE_Status SelectResolution(int dpi);
  SANE_Status SelectFeeder(bool feeder);
  // Scans Width x Height millimetres at Left, Top from the area's top left corner (AreaLimits
  // must hold).
  SANE_Status SelectArea(double left, double top, double width, double height);

  // Starts one page (for a feeder: takes in the next sheet).
  SANE_Status Start();
  // Reads every frame of the started page. KeepGoing is asked between reads; when it answers
  // false the scan is cancelled and the result is SANE_STATUS_CANCELLED.
  SANE_Status ReadPage(std::vector<TSaneFrame>& frames, const std::function<bool()>& keepGoing);
  // Ends the page or the feeder batch that Start began.
  void Cancel();

 private:
  int FindOption(const char* name) const;
  const SANE_Option_Descriptor* Descriptor(int index) const;
  std::vector<std::string> StringList(const char* name) const;
  std::string StringValue(const char* name) const;
  SANE_Status SetString(const char* name, const std::string& value);
  SANE_Status SetNumber(const char* name, double value);
  double NumberValue(const char* name, double fallback) const;
  // The range of a settable number option in millimetres; false for any other option.
  bool MillimetreRange(const char* name, double& minimum, double& maximum) const;
  SANE_Status ReadFrame(TSaneFrame& frame, const std::function<bool()>& keepGoing);

  SANE_Handle FHandle = nullptr;
  SANE_Status FOpenStatus = SANE_STATUS_INVAL;
  bool FStarted = false;
};

// Which entries of a device's "source" list are feeders.
bool IsFeederSourceName(const std::string& value);

}  // namespace quorvane::dsm
