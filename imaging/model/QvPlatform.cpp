#include "model/QvPlatform.h"

namespace quorvane {

namespace {

// A timer that never ticks: the headless core has no message loop.
class TNullTimer : public IFrameTimer {
 public:
  void SetInterval(int) override {}
  void SetEnabled(bool enabled) override { FEnabled = enabled; }
  bool Enabled() const override { return FEnabled; }
  void SetOnTick(std::function<void()>) override {}

 private:
  bool FEnabled = false;
};

IPlatform& DefaultPlatform() {
  static IPlatform instance;
  return instance;
}

IPlatform* CurrentPlatform = nullptr;

}  // namespace

std::unique_ptr<IFrameTimer> IPlatform::CreateTimer() { return std::make_unique<TNullTimer>(); }

IPlatform& Platform() { return CurrentPlatform ? *CurrentPlatform : DefaultPlatform(); }

void SetPlatform(IPlatform* platform) { CurrentPlatform = platform; }

}  // namespace quorvane
