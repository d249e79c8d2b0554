// TPrinter: the printer object of the library over a QPrinter. It runs one print job at a time
// (title, begin, end, abort), offers the canvas of the running job, sets the paper orientation
// and reports the device metrics that placement works with.
//
// A job still running when the object goes away is aborted, so a failure anywhere between
// BeginDoc and EndDoc never leaves the device held.
#pragma once

#include <memory>
#include <string>

class QPainter;
class QPrinter;

namespace quorvane {

enum class TPrinterOrientation { poPortrait, poLandscape };

// Device metrics, all in device pixels: the printable area's size, the pixels per inch across and
// down, and the offset of the printable area from the paper's top-left edge.
struct TPrinterMetrics {
  int PageWidth = 0;
  int PageHeight = 0;
  int PixelsPerInchX = 0;
  int PixelsPerInchY = 0;
  int OffsetX = 0;
  int OffsetY = 0;
};

class TPrinter {
 public:
  explicit TPrinter(QPrinter& device);
  ~TPrinter();
  TPrinter(const TPrinter&) = delete;
  TPrinter& operator=(const TPrinter&) = delete;

  QPrinter& Device() { return FDevice; }

  // The metrics for the orientation and paper set at this moment. Painting origin (0, 0) is the
  // top-left corner of the printable area.
  TPrinterMetrics Metrics() const;

  std::string Title() const;
  void SetTitle(const std::string& title);
  TPrinterOrientation Orientation() const;
  // Raises "Printing in progress" while a job runs: the page cannot turn mid-job.
  void SetOrientation(TPrinterOrientation value);

  // Starts a job; raises EQuorvaneError "Printing in progress" when one runs already, and
  // "The printer could not start the print job" when the device refuses (no file, no printer).
  void BeginDoc();
  // Finishes the job and hands it to the device; raises "Printer is not currently printing"
  // without a job and "The printer could not finish the print job" when the device fails.
  void EndDoc();
  // Drops the running job, if any. Never raises.
  void Abort() noexcept;
  bool Printing() const { return FCanvas != nullptr; }

  // The canvas of the running job; raises "Printer is not currently printing" without one.
  QPainter& Canvas();

 private:
  QPrinter& FDevice;
  std::unique_ptr<QPainter> FCanvas;
};

}  // namespace quorvane
