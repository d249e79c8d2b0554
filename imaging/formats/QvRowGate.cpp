#include "formats/QvRowGate.h"

#include <limits>

namespace quorvane {

namespace {

// The image and gate each scope binds on this thread.
struct TBinding {
  const TDibGraphic* Image = nullptr;
  TRowGate* Gate = nullptr;
};
thread_local TBinding tReport;
thread_local TBinding tWait;

}  // namespace

void TRowGate::Publish(int rows) noexcept {
  if (FState == TState::Declined) return;
  if (FState == TState::Waiting) {
    bool accepted = false;
    try {
      accepted = OnHandOff && OnHandOff();
    } catch (...) {
      accepted = false;
    }
    FState = accepted ? TState::Open : TState::Declined;
    if (!accepted) return;
  }
  if (rows <= FReady.load(std::memory_order_relaxed)) return;
  {
    const std::lock_guard<std::mutex> lock(FMutex);
    FReady.store(rows, std::memory_order_release);
  }
  FChanged.notify_all();
}

void TRowGate::Close(bool completed) noexcept {
  {
    const std::lock_guard<std::mutex> lock(FMutex);
    FClosed = true;
    if (completed) FReady.store(std::numeric_limits<int>::max(), std::memory_order_release);
  }
  FChanged.notify_all();
}

bool TRowGate::WaitFor(int rows) {
  if (FReady.load(std::memory_order_acquire) >= rows) return true;
  std::unique_lock<std::mutex> lock(FMutex);
  FChanged.wait(lock, [&] { return FClosed || FReady.load(std::memory_order_relaxed) >= rows; });
  return FReady.load(std::memory_order_relaxed) >= rows;
}

TRowReportScope::TRowReportScope(const TDibGraphic& image, TRowGate& gate)
    : FPreviousImage(tReport.Image), FPreviousGate(tReport.Gate) {
  tReport = {&image, &gate};
}

TRowReportScope::~TRowReportScope() { tReport = {FPreviousImage, FPreviousGate}; }

TRowWaitScope::TRowWaitScope(const TDibGraphic& image, TRowGate& gate)
    : FPreviousImage(tWait.Image), FPreviousGate(tWait.Gate) {
  tWait = {&image, &gate};
}

TRowWaitScope::~TRowWaitScope() { tWait = {FPreviousImage, FPreviousGate}; }

void ReportRowsRead(const TDibGraphic& image, int rows) noexcept {
  if (tReport.Image == &image) tReport.Gate->Publish(rows);
}

bool WaitForRows(const TDibGraphic& image, int rows) { return tWait.Image != &image || tWait.Gate->WaitFor(rows); }

void RequireRows(const TDibGraphic& image, int rows) {
  if (!WaitForRows(image, rows)) RaiseRowsWithdrawn();
}

void RaiseRowsWithdrawn() { throw ERowsWithdrawn("The image being read could not be read to its end"); }

}  // namespace quorvane
