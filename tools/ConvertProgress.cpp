#include "ConvertProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace brindlex {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

int TerminalWidth() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
  return 80;
}

}  // namespace

TConvertProgress::TConvertProgress(bool visible, int totalFiles, int slots)
    : FVisible(visible),
      FTotal(totalFiles),
      FSlotFraction(static_cast<size_t>(slots), -1.0),
      FSlotName(static_cast<size_t>(slots)) {}

TConvertProgress::~TConvertProgress() { Finish(); }

std::string TConvertProgress::BarText(double share, int done, int total, int width) {
  share = std::clamp(share, 0.0, 1.0);
  const int filled = static_cast<int>(share * width);
  std::string text(1, '[');
  text.append(static_cast<size_t>(filled), '#');
  text.append(static_cast<size_t>(width - filled), ' ');
  text += ']';
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, " %3d%%  %d/%d files", static_cast<int>(share * 100), done, total);
  return text + numbers;
}

void TConvertProgress::FileStarted(int slot, const std::string& name) {
  std::lock_guard lock(FLock);
  FSlotFraction[static_cast<size_t>(slot)] = 0.0;
  FSlotName[static_cast<size_t>(slot)] = name;
  Draw(false);
}

void TConvertProgress::FileProgress(int slot, double fraction) {
  std::lock_guard lock(FLock);
  FSlotFraction[static_cast<size_t>(slot)] = fraction;
  Draw(false);
}

void TConvertProgress::FileFinished(int slot) {
  std::lock_guard lock(FLock);
  FSlotFraction[static_cast<size_t>(slot)] = -1.0;
  ++FDone;
  Draw(true);
}

void TConvertProgress::Message(const std::string& line) {
  std::lock_guard lock(FLock);
  Clear();
  std::fprintf(stderr, "%s\n", line.c_str());
  std::fflush(stderr);
  Draw(true);
}

void TConvertProgress::Finish() {
  std::lock_guard lock(FLock);
  Clear();
  FVisible = false;
}

void TConvertProgress::Clear() {
  if (!FDrawn) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  FDrawn = false;
}

void TConvertProgress::Draw(bool force) {
  if (!FVisible) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && FDrawn && now - FLastDraw < kRedrawInterval) return;
  FLastDraw = now;
  double share = FDone;
  std::string current;
  for (size_t i = 0; i < FSlotFraction.size(); ++i) {
    if (FSlotFraction[i] < 0) continue;
    share += FSlotFraction[i];
    if (current.empty()) current = FSlotName[i];
  }
  const int columns = TerminalWidth();
  std::string line = BarText(FTotal > 0 ? share / FTotal : 1.0, FDone, FTotal, std::min(30, columns / 3));
  if (!current.empty()) line += "  " + current;
  if (static_cast<int>(line.size()) >= columns) line.resize(static_cast<size_t>(columns - 1));
  if (FDrawn && line == FLastLine) return;
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
  FLastLine = line;
  FDrawn = true;
}

}  // namespace brindlex
