// Small numeric, text and cursor helpers shared by the whole library.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace quorvane {

int MinInt(int a, int b);
long double MinFloat(long double a, long double b);
long double MaxFloat(long double a, long double b);
// Raise to Low, then lower to High (so High wins when Low > High).
int ClampInt(int value, int low, int high);
long double ClampFloat(long double value, long double low, long double high);
// Every bit of Mask is set in Value.
bool HasFlags(uint32_t value, uint32_t mask);
// Integer part adjusted up (down) when the fraction is above (below) 0. A result beyond the range
// of int gives the nearest end of that range (so do the infinities); NaN gives 0.
int CeilInt(long double x);
int FloorInt(long double x);
// Base raised to Exponent through the base-2 logarithm and exponential.
long double Power(long double base, long double exponent);
// The value written with that many decimals and read back.
long double RoundToDecimals(long double value, int decimals);
// Nearest integer, ties to even: the library's rounding of reals to integers. A result beyond
// the range of int64_t gives the nearest end of that range (so do the infinities); NaN gives 0.
int64_t RoundHalfEven(long double x);

// Date and time text with a temporary pattern. Pattern letters: yyyy, yy, m, mm (month; minutes
// right after an hour), d, dd, h, hh, n, nn (minutes), s, ss; other characters are copied.
std::string FormatDateWith(const std::string& pattern, const std::tm& date);
std::string FormatTimeWith(const std::string& pattern, const std::tm& time);

// Keeps freed image memory in the process for reuse instead of returning it to the system at
// once. First touches of fresh pages are costly on some machines, and a program that makes and
// frees large images in turn (every transform does) would pay them again and again. Programs call
// this once at start; it changes the process's allocator settings.
void TuneAllocatorForLargeImages();

// Nestable busy cursor: the first Begin shows the hourglass, the matching last End restores it.
void BeginBusyCursor();
void EndBusyCursor();
int BusyCursorDepth();

// RAII pair for BeginBusyCursor/EndBusyCursor.
class TBusyCursor {
 public:
  TBusyCursor() { BeginBusyCursor(); }
  ~TBusyCursor() { EndBusyCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

}  // namespace quorvane
