#include "model/QvIccProfile.h"

#include <algorithm>
#include <cstring>

#include "model/QvExcept.h"

namespace quorvane {

const char kIccJpegSignature[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', '\0'};

namespace {

constexpr size_t kJpegChunkHeader = sizeof kIccJpegSignature + 2;
constexpr int kMaxJpegChunks = 255;

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

}  // namespace

std::string IccProfileProblem(const uint8_t* data, size_t size) {
  // The header and the tag count that follows it.
  if (data == nullptr || size < kIccHeaderBytes + 4) return "the profile is shorter than its header";
  if (size > kMaxIccProfileBytes) return "the profile is larger than 16 MiB";
  if (std::memcmp(data + 36, "acsp", 4) != 0) return "the profile has no ICC signature";
  const uint32_t declared = BigEndian32(data);
  if (declared < kIccHeaderBytes + 4 || declared > size) return "the profile's size does not match its data";
  return {};
}

size_t IccDeclaredSize(const uint8_t* data) { return BigEndian32(data); }

std::string IccColourSpace(const std::vector<uint8_t>& profile) {
  if (profile.size() < kIccHeaderBytes) return {};
  return std::string(reinterpret_cast<const char*>(profile.data()) + 16, 4);
}

bool IccProfileFits(const std::vector<uint8_t>& profile, TImageFormat format) {
  const std::string space = IccColourSpace(profile);
  switch (format) {
    case TImageFormat::BlackWhite:
    case TImageFormat::Gray16:
    case TImageFormat::Gray256: return space == "GRAY";
    case TImageFormat::Color16:
    case TImageFormat::Color256:
    case TImageFormat::TrueColor: return space == "RGB ";
  }
  return false;
}

std::vector<std::vector<uint8_t>> SplitIccForJpeg(const std::vector<uint8_t>& profile) {
  std::vector<std::vector<uint8_t>> chunks;
  if (profile.empty()) return chunks;
  const size_t count = (profile.size() + kIccJpegChunkData - 1) / kIccJpegChunkData;
  if (count > kMaxJpegChunks) throw EQuorvaneError("The colour profile is too large for a JPEG file");
  for (size_t i = 0; i < count; ++i) {
    const size_t start = i * kIccJpegChunkData;
    const size_t length = std::min(kIccJpegChunkData, profile.size() - start);
    std::vector<uint8_t> chunk(kJpegChunkHeader + length);
    std::memcpy(chunk.data(), kIccJpegSignature, sizeof kIccJpegSignature);
    chunk[12] = static_cast<uint8_t>(i + 1);
    chunk[13] = static_cast<uint8_t>(count);
    std::memcpy(chunk.data() + kJpegChunkHeader, profile.data() + start, length);
    chunks.push_back(std::move(chunk));
  }
  return chunks;
}

void TIccChunkAssembler::Add(const uint8_t* payload, size_t size) {
  if (size < sizeof kIccJpegSignature || std::memcmp(payload, kIccJpegSignature, sizeof kIccJpegSignature) != 0) return;
  if (!FProblem.empty()) return;
  if (size < kJpegChunkHeader) {
    FProblem = "a chunk of the profile is cut short";
    return;
  }
  const int number = payload[12], count = payload[13];
  if (count == 0 || number == 0 || number > count) {
    FProblem = "a chunk of the profile is numbered outside its count";
    return;
  }
  if (!FChunks.empty() && FChunks.front().Count != count) {
    FProblem = "the chunks of the profile disagree on their count";
    return;
  }
  for (const TChunk& chunk : FChunks) {
    if (chunk.Number == number) {
      FProblem = "a chunk of the profile appears twice";
      return;
    }
  }
  const size_t length = size - kJpegChunkHeader;
  if (length > kMaxIccProfileBytes - FTotal) {
    FProblem = "the profile is larger than 16 MiB";
    return;
  }
  FTotal += length;
  FChunks.push_back(TChunk{number, count, std::vector<uint8_t>(payload + kJpegChunkHeader, payload + size)});
}

std::vector<uint8_t> TIccChunkAssembler::Assemble() {
  std::vector<uint8_t> profile;
  if (!FProblem.empty() || FChunks.empty()) return profile;
  if (FChunks.size() != static_cast<size_t>(FChunks.front().Count)) {
    FProblem = "chunks of the profile are missing";
    return profile;
  }
  // Files may store the chunks out of order; their numbers say where each belongs.
  std::sort(FChunks.begin(), FChunks.end(), [](const TChunk& a, const TChunk& b) { return a.Number < b.Number; });
  profile.reserve(FTotal);
  for (const TChunk& chunk : FChunks) profile.insert(profile.end(), chunk.Data.begin(), chunk.Data.end());
  FProblem = IccProfileProblem(profile);
  if (!FProblem.empty()) return {};
  profile.resize(IccDeclaredSize(profile.data()));
  return profile;
}

std::string IccDroppedWarning(const std::string& problem) {
  return "The embedded colour profile was ignored: " + problem + ".";
}

}  // namespace quorvane
