// Helpers of the interoperability tests: running ImageMagick, pixel dumps of its reading and of
// ours, test pictures, and small file builders for variants ImageMagick cannot write.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/QvDiGrph.h"
#include "support/PictureCompare.h"
#include "support/ScratchFolder.h"
#include "support/TestBytes.h"

using namespace quorvane;

namespace qvtest {

// Debian's ImageMagick; a "convert" elsewhere on the path may be a stand-in.
inline constexpr const char* kConvert = "/usr/bin/convert";
bool HaveImageMagick();

#define QV_REQUIRE_IMAGEMAGICK() \
  if (!::qvtest::HaveImageMagick()) GTEST_SKIP() << "ImageMagick (/usr/bin/convert) is not installed"

// netpbm is a second peer: its writers make layouts ImageMagick does not, and its own readers
// decode them independently of ours.
#define QV_REQUIRE_NETPBM() \
  if (!::qvtest::Shell("command -v pnmquant >/dev/null 2>&1")) GTEST_SKIP() << "netpbm is not installed"

// Runs Command through the shell; true on exit status 0.
bool Shell(const std::string& command);
// Runs /usr/bin/convert with Arguments (paths must not need quoting); true on exit status 0.
bool Convert(const std::string& arguments);

// A deterministic picture with gradients, flat blocks (runs for run-length coders) and noise.
TRgbPicture TestPicture(int width, int height, uint32_t seed);
void WritePpm(const std::string& fileName, const TRgbPicture& picture);

// What ImageMagick reads from File (a page selector like "[2]" may follow the name), as 8-bit
// RGB. Fails the current test (empty picture) if convert fails or the dump has the wrong size.
TRgbPicture MagickPixels(const std::string& file, int width, int height, const std::string& extraOptions = "");
// The colours of Image as ImageMagick would dump them.
TRgbPicture OurPixels(const TDibGraphic& image);

// Reads File through the registry (by extension).
std::unique_ptr<TDibGraphic> ReadThroughRegistry(const std::string& fileName);
// Writes Image through the registry class of File's extension.
void WriteThroughRegistry(const TDibGraphic& image, const std::string& fileName);

// Test images of each format, filled from a test picture (palette formats get a palette that
// spreads over the colour cube and indices from the picture).
std::unique_ptr<TDibGraphic> MakeImage(TImageFormat format, int width, int height, uint32_t seed);

}  // namespace qvtest
