#include "model/QvLimits.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "model/QvExcept.h"

namespace quorvane {

namespace {

std::mutex LimitsLock;
bool LimitsRead = false;
TImageLimits CurrentLimits;

// A positive whole number from the environment, or 0 when the variable is absent or malformed.
int64_t PositiveFromEnvironment(const char* name) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return 0;
  int64_t value = 0;
  const char* end = text + std::strlen(text);
  auto [ptr, ec] = std::from_chars(text, end, value);
  if (ec != std::errc() || ptr != end || value <= 0) return 0;
  return value;
}

// Multiplies without overflow; the result saturates at the largest value.
int64_t SaturatingMultiply(int64_t a, int64_t b) {
  int64_t result = 0;
  if (__builtin_mul_overflow(a, b, &result)) return INT64_MAX;
  return result;
}

}  // namespace

TImageLimits LimitsFromEnvironment() {
  TImageLimits limits;
  if (int64_t area = PositiveFromEnvironment("QUORVANE_LIMIT_AREA"))
    limits.MaxArea = SaturatingMultiply(area, 1000 * 1000);
  if (int64_t memory = PositiveFromEnvironment("QUORVANE_LIMIT_MEMORY"))
    limits.MaxMemory = SaturatingMultiply(memory, int64_t{1} << 20);
  return limits;
}

TImageLimits ImageLimits() {
  std::lock_guard<std::mutex> lock(LimitsLock);
  if (!LimitsRead) {
    CurrentLimits = LimitsFromEnvironment();
    LimitsRead = true;
  }
  return CurrentLimits;
}

void SetImageLimits(const TImageLimits& limits) {
  std::lock_guard<std::mutex> lock(LimitsLock);
  CurrentLimits = limits;
  LimitsRead = true;
}

bool ImageSizeAllowed(int64_t width, int64_t height, int bits) {
  const TImageLimits limits = ImageLimits();
  if (width < 1 || height < 1 || bits < 1) return false;
  if (width > limits.MaxWidth || height > limits.MaxHeight) return false;
  if (width > limits.MaxArea / height) return false;
  // Rows are whole 32-bit words; width <= 2^20 keeps every product below 2^63.
  const int64_t rowBytes = ((width * bits + 31) / 32) * 4;
  if (rowBytes > INT32_MAX) return false;
  return height <= limits.MaxMemory / rowBytes;
}

void CheckImageSize(int64_t width, int64_t height, int bits) {
  if (!ImageSizeAllowed(width, height, bits)) throw EQuorvaneError("CreateDibSection failed");
}

void CheckBufferSize(uint64_t count, uint64_t elementSize) {
  uint64_t bytes = 0;
  if (__builtin_mul_overflow(count, elementSize, &bytes) || bytes > static_cast<uint64_t>(ImageLimits().MaxMemory))
    throw EQuorvaneError("CreateDibSection failed");
}

}  // namespace quorvane
