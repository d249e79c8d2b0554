#include "model/QvMisc.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <limits>

#include "model/QvPlatform.h"

namespace quorvane {

namespace {
// Digits after the point of the smallest subnormal long double: every value is exact with that many.
constexpr int kLongestFraction = 16500;

// A whole number (already rounded) as the integer type, held to the type's range; NaN becomes 0.
// Converting a value the type cannot hold would be undefined behaviour.
template <typename T>
T WholeToInt(long double whole) {
  if (std::isnan(whole)) return 0;
  // min() is a power of two and exact; max() is not exact where long double is a double, so the
  // upper test uses the power of two above it.
  constexpr long double low = static_cast<long double>(std::numeric_limits<T>::min());
  constexpr long double aboveHigh = static_cast<long double>(std::numeric_limits<T>::max() / 2 + 1) * 2;
  if (whole < low) return std::numeric_limits<T>::min();
  if (whole >= aboveHigh) return std::numeric_limits<T>::max();
  return static_cast<T>(whole);
}
}  // namespace

int MinInt(int a, int b) { return a < b ? a : b; }
long double MinFloat(long double a, long double b) { return a < b ? a : b; }
long double MaxFloat(long double a, long double b) { return a > b ? a : b; }

int ClampInt(int value, int low, int high) {
  if (value < low) value = low;
  if (value > high) value = high;
  return value;
}

long double ClampFloat(long double value, long double low, long double high) {
  if (value < low) value = low;
  if (value > high) value = high;
  return value;
}

bool HasFlags(uint32_t value, uint32_t mask) { return (value & mask) == mask; }

int CeilInt(long double x) { return WholeToInt<int>(std::ceil(x)); }

int FloorInt(long double x) { return WholeToInt<int>(std::floor(x)); }

long double Power(long double base, long double exponent) {
  if (exponent == 0) return 1.0L;
  if (base == 0) return 0.0L;
  return std::exp2(exponent * std::log2(base));
}

long double RoundToDecimals(long double value, int decimals) {
  if (!std::isfinite(value)) return value;
  // A negative count means the default of six, as in the formatted output it stands for. Beyond
  // the longest fraction a long double has, more decimals change nothing.
  if (decimals < 0) decimals = 6;
  decimals = std::min(decimals, kLongestFraction);
  // Sized for the whole number: the largest values have thousands of digits before the point.
  std::string text(
      static_cast<size_t>(std::numeric_limits<long double>::max_exponent10) + 4 + static_cast<size_t>(decimals), '\0');
  const auto written = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, decimals);
  long double result = value;
  if (written.ec == std::errc()) std::from_chars(text.data(), written.ptr, result);
  return result;
}

int64_t RoundHalfEven(long double x) {
  // The default floating-point environment rounds to nearest with ties to even.
  return WholeToInt<int64_t>(std::nearbyint(x));
}

namespace {

std::string Padded(int value, size_t width) {
  char digits[16];
  std::string text(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
  while (text.size() < width) text.insert(text.begin(), '0');
  return text;
}

std::string FormatWithPattern(const std::string& pattern, const std::tm& t) {
  std::string out;
  bool afterHour = false;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    size_t run = 1;
    while (i + run < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[i + run])) == c) ++run;
    const size_t width = run >= 2 ? 2 : 1;
    switch (c) {
      case 'y': out += run >= 3 ? Padded(t.tm_year + 1900, 4) : Padded((t.tm_year + 1900) % 100, 2); break;
      case 'm': out += afterHour ? Padded(t.tm_min, width) : Padded(t.tm_mon + 1, width); break;
      case 'd': out += Padded(t.tm_mday, width); break;
      case 'h': out += Padded(t.tm_hour, width); break;
      case 'n': out += Padded(t.tm_min, width); break;
      case 's': out += Padded(t.tm_sec, width); break;
      default: out.append(pattern, i, run); break;
    }
    if (c == 'h')
      afterHour = true;
    else if (std::isalpha(static_cast<unsigned char>(c)))
      afterHour = false;
    i += run;
  }
  return out;
}

std::atomic<int> BusyDepth{0};

}  // namespace

void TuneAllocatorForLargeImages() {
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

std::string FormatDateWith(const std::string& pattern, const std::tm& date) { return FormatWithPattern(pattern, date); }

std::string FormatTimeWith(const std::string& pattern, const std::tm& time) { return FormatWithPattern(pattern, time); }

void BeginBusyCursor() {
  if (BusyDepth.fetch_add(1) == 0) Platform().SetBusyCursor(true);
}

void EndBusyCursor() {
  if (BusyDepth.load() <= 0) return;
  if (BusyDepth.fetch_sub(1) == 1) Platform().SetBusyCursor(false);
}

int BusyCursorDepth() { return BusyDepth.load(); }

}  // namespace quorvane
