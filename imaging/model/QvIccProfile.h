// Embedded ICC profiles as bytes: the checks every reader makes before it keeps a profile, and
// the splitting and reassembly of the JPEG APP2 "ICC_PROFILE" chunks. Nothing here interprets a
// profile's colours (colour/QvColour.h does, with Little CMS); this unit only guards the bytes
// that files hand over, which are untrusted input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/QvPalette.h"

namespace quorvane {

// The largest profile a reader keeps. Real profiles stay far below it (a few kilobytes for
// matrix profiles, a few megabytes for large printer tables); a JPEG can carry up to 255 chunks
// of 65519 bytes, just under 16 MiB.
constexpr size_t kMaxIccProfileBytes = size_t{16} << 20;
// The fixed header every profile starts with.
constexpr size_t kIccHeaderBytes = 128;

// Empty when Data looks like an ICC profile a colour engine may be given: at least the header and
// a tag count, no larger than kMaxIccProfileBytes, the "acsp" signature in place and a declared
// size that fits the bytes. Otherwise the reason, as words for a warning.
std::string IccProfileProblem(const uint8_t* data, size_t size);
inline std::string IccProfileProblem(const std::vector<uint8_t>& profile) {
  return IccProfileProblem(profile.data(), profile.size());
}
// The declared size of a profile that passed IccProfileProblem: extra bytes after it (the padding
// some writers add to the last JPEG chunk) are not part of the profile.
size_t IccDeclaredSize(const uint8_t* data);

// The profile's colour space signature (bytes 16 to 19, "RGB ", "GRAY", "CMYK", ...), empty when
// the profile is shorter than its header.
std::string IccColourSpace(const std::vector<uint8_t>& profile);
// True when a profile of this colour space describes pixels of Format: "GRAY" for the gray and
// black-and-white formats, "RGB " for the colour formats. Writers store a profile only then, and
// colour conversion ignores a profile that does not fit.
bool IccProfileFits(const std::vector<uint8_t>& profile, TImageFormat format);

// JPEG APP2 marker payloads: "ICC_PROFILE\0", the chunk number (1-based), the chunk count, then
// up to kIccJpegChunkData bytes of the profile.
constexpr size_t kIccJpegChunkData = 65519;
extern const char kIccJpegSignature[12];

// The APP2 payloads that carry Profile (none for an empty profile); raises EQuorvaneError for a
// profile that needs more than 255 chunks.
std::vector<std::vector<uint8_t>> SplitIccForJpeg(const std::vector<uint8_t>& profile);

// Gathers APP2 payloads in the order the file has them and rebuilds the profile from its
// numbered chunks. Payloads without the signature are not ICC chunks and are ignored.
class TIccChunkAssembler {
 public:
  void Add(const uint8_t* payload, size_t size);
  bool Empty() const { return FChunks.empty() && FProblem.empty(); }
  // The profile, or an empty vector with Problem set: chunks missing, numbered twice or
  // beyond their count, counts that disagree, or a profile that fails IccProfileProblem.
  std::vector<uint8_t> Assemble();
  const std::string& Problem() const { return FProblem; }

 private:
  struct TChunk {
    int Number;
    int Count;
    std::vector<uint8_t> Data;
  };
  std::vector<TChunk> FChunks;
  size_t FTotal = 0;
  std::string FProblem;
};

// The warning a reader adds when it drops a damaged profile.
std::string IccDroppedWarning(const std::string& problem);

}  // namespace quorvane
