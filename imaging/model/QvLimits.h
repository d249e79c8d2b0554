// Resource limits: the largest image and working memory that a file or a parameter may make the
// library allocate. Every place that sizes a buffer from untrusted numbers (NewImage, codec row
// and table buffers, the resampler's contributor lists) checks here first, in 64-bit arithmetic,
// and refuses with EQuorvaneError "CreateDibSection failed" before allocating anything.
//
// Defaults: width and height up to 1,048,576 pixels each, 512 megapixels of area and 2 GiB of
// pixel memory. The environment variables QUORVANE_LIMIT_AREA (megapixels) and
// QUORVANE_LIMIT_MEMORY (MiB) change the defaults when the limits are first read; programs may set
// them explicitly (SetImageLimits) before work starts.
#pragma once

#include <cstdint>

namespace quorvane {

struct TImageLimits {
  int64_t MaxWidth = int64_t{1} << 20;
  int64_t MaxHeight = int64_t{1} << 20;
  int64_t MaxArea = int64_t{512} * 1000 * 1000;  // pixels
  int64_t MaxMemory = int64_t{2} << 30;          // bytes of one pixel block or working buffer
};

// The limits in force: the defaults adjusted by the environment on first use, or what
// SetImageLimits set. Safe to read from several threads.
TImageLimits ImageLimits();
void SetImageLimits(const TImageLimits& limits);
// Re-reads the environment variables over the built-in defaults (tests use it).
TImageLimits LimitsFromEnvironment();

// True when a Width x Height image of Bits per pixel stays within the limits (sizes below 1
// are outside them).
bool ImageSizeAllowed(int64_t width, int64_t height, int bits);
// Raises EQuorvaneError "CreateDibSection failed" unless ImageSizeAllowed.
void CheckImageSize(int64_t width, int64_t height, int bits);
// Raises EQuorvaneError "CreateDibSection failed" when a working buffer of Count elements of
// ElementSize bytes would exceed the memory limit (or overflow 64 bits).
void CheckBufferSize(uint64_t count, uint64_t elementSize = 1);

}  // namespace quorvane
