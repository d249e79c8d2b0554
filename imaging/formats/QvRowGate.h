// Writing an image while it is still being read: the reader of a file reports the rows it has
// finished, from the top down, and a writer on another thread waits for each row before it
// encodes it, so that decoding and encoding overlap (a conversion takes about the longer of the
// two instead of their sum).
//
// The codecs take part through two calls that do nothing unless a scope on the calling thread
// binds the image they work on to a gate:
// - readers call ReportRowsRead(image, n) once rows 0 to n - 1 are final. The first report hands
//   the image over: from then on the reader changes nothing of the image but the pixels of rows
//   not yet reported (no NewImage, no setting a writer reads, no transform applied afterwards);
//   a reader that cannot promise that reports nothing, and the image is handed over whole once
//   it is read.
// - writers call WaitForRows(image, n) before they use rows 0 to n - 1, and stop with
//   ERowsWithdrawn when it returns false (the reader failed before those rows).
// Readers and writers that take no part work as always; a gate whose image is never reported is
// simply not used.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"

namespace quorvane {

// Raised by a writer whose rows will never come: the reader it waited for failed.
QV_DECLARE_EXCEPTION(ERowsWithdrawn);

class TRowGate {
 public:
  // Runs on the reading thread at the first report, before any row is released: prepares the
  // handed-over image for writing and starts the writer; false (or an exception, which is
  // dropped) declines, and the reports that follow are ignored.
  std::function<bool()> OnHandOff;

  // The reader's side. Rows 0 to Rows - 1 are final.
  void Publish(int rows) noexcept;
  // The reader has finished: with Completed every row is final; otherwise the rows not yet
  // published never will be.
  void Close(bool completed) noexcept;
  // True once OnHandOff accepted the image.
  bool HandedOff() const { return FState == TState::Open; }

  // The writer's side: waits until rows 0 to Rows - 1 are final; false when they never will be.
  bool WaitFor(int rows);

 private:
  enum class TState { Waiting, Open, Declined };
  TState FState = TState::Waiting;  // the reading thread's only
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::atomic<int> FReady{0};
  bool FClosed = false;  // under FMutex
};

// While it lives, reports of readers that load Image on this thread go to Gate.
class TRowReportScope {
 public:
  TRowReportScope(const TDibGraphic& image, TRowGate& gate);
  ~TRowReportScope();
  TRowReportScope(const TRowReportScope&) = delete;
  TRowReportScope& operator=(const TRowReportScope&) = delete;

 private:
  const TDibGraphic* FPreviousImage;
  TRowGate* FPreviousGate;
};

// While it lives, writers that save Image on this thread wait for its rows at Gate.
class TRowWaitScope {
 public:
  TRowWaitScope(const TDibGraphic& image, TRowGate& gate);
  ~TRowWaitScope();
  TRowWaitScope(const TRowWaitScope&) = delete;
  TRowWaitScope& operator=(const TRowWaitScope&) = delete;

 private:
  const TDibGraphic* FPreviousImage;
  TRowGate* FPreviousGate;
};

// For readers: rows 0 to Rows - 1 of Image are final (see the top of this header).
void ReportRowsRead(const TDibGraphic& image, int rows) noexcept;
// For writers: waits until rows 0 to Rows - 1 of Image are final; false when they never will be.
bool WaitForRows(const TDibGraphic& image, int rows);
// WaitForRows that raises ERowsWithdrawn instead of returning false.
void RequireRows(const TDibGraphic& image, int rows);
[[noreturn]] void RaiseRowsWithdrawn();

}  // namespace quorvane
