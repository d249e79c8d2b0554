// EXIF blocks: any input, taken as the block a JPEG APP1 segment carries, is read without a crash
// or an exception; a block that reads can be rewritten with orientation 1, and the rewritten block
// reads back as orientation 1 with the same camera data.
#include <cstdlib>
#include <span>

#include "formats/QvExif.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> block(data, size);
  const TExifInfo info = ReadExifBlock(block);
  if (info.Orientation < 1 || info.Orientation > 8) std::abort();
  if (!info.Valid) return 0;
  const std::vector<uint8_t> upright = ExifWithOrientation(block, kOrientationTopLeft);
  if (upright.empty()) return 0;
  const TExifInfo back = ReadExifBlock(upright);
  if (!back.Valid || back.Orientation != kOrientationTopLeft) std::abort();
  // A block whose orientation was 1 already is kept as it is; a rewritten one keeps the camera's
  // fields.
  if (info.Orientation == kOrientationTopLeft && upright != std::vector<uint8_t>(block.begin(), block.end()))
    std::abort();
  if (info.Camera != back.Camera) std::abort();
  return 0;
}
