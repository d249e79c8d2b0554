// The progress bar of brindlex-convert on standard error: one line redrawn in place, with the
// share of the whole run done (finished files plus the transform progress of those in hand) and
// a file counter. Every worker thread reports into it; messages printed through it clear the bar
// first so that they never mix with it.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

namespace brindlex {

class TConvertProgress {
 public:
  // Visible: draw the bar (standard error is a terminal and --quiet is not given).
  TConvertProgress(bool visible, int totalFiles, int slots);
  ~TConvertProgress();

  // A worker (Slot 0..slots-1) starts a file, reports how far it is (0 to 1), and finishes it.
  void FileStarted(int slot, const std::string& name);
  void FileProgress(int slot, double fraction);
  void FileFinished(int slot);

  // Prints Line on standard error (with a line feed), clearing and redrawing the bar around it.
  void Message(const std::string& line);
  // Removes the bar; later calls draw nothing.
  void Finish();

  // The bar's text for a share of the whole (0 to 1): what Draw prints before the file name.
  static std::string BarText(double share, int done, int total, int width);

 private:
  void Draw(bool force);
  void Clear();

  std::mutex FLock;
  bool FVisible;
  bool FDrawn = false;
  int FTotal;
  int FDone = 0;
  std::vector<double> FSlotFraction;  // -1: the slot is idle
  std::vector<std::string> FSlotName;
  std::chrono::steady_clock::time_point FLastDraw{};
  std::string FLastLine;
};

}  // namespace brindlex
