#include "formats/QvJpegLossless.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>
#include <typeinfo>

#include "formats/QvExif.h"
#include "formats/QvMetadataBlocks.h"
#include "model/QvExcept.h"
#include "model/QvLimits.h"
#include "model/QvStream.h"
#include "transforms/QvTransfGeometry.h"

namespace quorvane {

namespace {

// A turn as the matrix that maps centred picture coordinates (x right, y down) onto the new ones:
// new x = A x + B y, new y = C x + D y.
struct TMatrix {
  int A, B, C, D;
  bool operator==(const TMatrix&) const = default;
};

// In the order of TDihedral.
constexpr std::array<TMatrix, 8> kMatrices{{
    {1, 0, 0, 1},    // Identity
    {-1, 0, 0, 1},   // FlipHorizontal
    {1, 0, 0, -1},   // FlipVertical
    {0, -1, 1, 0},   // Rotate90: the top left corner goes to the top right
    {-1, 0, 0, -1},  // Rotate180
    {0, 1, -1, 0},   // Rotate270
    {0, 1, 1, 0},    // Transpose
    {0, -1, -1, 0},  // Transverse
}};

TDihedral TurnOf(const TMatrix& m) {
  for (size_t i = 0; i < kMatrices.size(); ++i)
    if (kMatrices[i] == m) return static_cast<TDihedral>(i);
  return TDihedral::Identity;  // unreachable: the eight matrices form a group
}

const TMatrix& MatrixOf(TDihedral turn) { return kMatrices[static_cast<size_t>(turn)]; }

int TurboOperation(TDihedral turn) {
  switch (turn) {
    case TDihedral::Identity: return TJXOP_NONE;
    case TDihedral::FlipHorizontal: return TJXOP_HFLIP;
    case TDihedral::FlipVertical: return TJXOP_VFLIP;
    case TDihedral::Rotate90: return TJXOP_ROT90;
    case TDihedral::Rotate180: return TJXOP_ROT180;
    case TDihedral::Rotate270: return TJXOP_ROT270;
    case TDihedral::Transpose: return TJXOP_TRANSPOSE;
    case TDihedral::Transverse: return TJXOP_TRANSVERSE;
  }
  return TJXOP_NONE;
}

// Whether the turn leaves no partial block on an edge where it cannot stay: blocks that end on the
// right or bottom edge must not move to the left or top.
bool WholeBlocksWhereNeeded(TDihedral turn, int width, int height, int blockWidth, int blockHeight) {
  const bool wholeAcross = width % blockWidth == 0, wholeDown = height % blockHeight == 0;
  switch (turn) {
    case TDihedral::Identity:
    case TDihedral::Transpose: return true;
    case TDihedral::FlipHorizontal:
    case TDihedral::Rotate270: return wholeAcross;
    case TDihedral::FlipVertical:
    case TDihedral::Rotate90: return wholeDown;
    case TDihedral::Rotate180:
    case TDihedral::Transverse: return wholeAcross && wholeDown;
  }
  return false;
}

struct TTurboHandleFree {
  void operator()(void* handle) const { tjDestroy(handle); }
};
struct TTurboBufferFree {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

// A marker segment before the first scan: its marker and payload (after the length field).
struct TSegment {
  uint8_t Marker = 0;
  size_t Start = 0;  // of its 0xFF
  size_t End = 0;    // one past its payload
  std::span<const uint8_t> Payload;
};

constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kApp0 = 0xE0, kApp1 = 0xE1, kSofProgressive = 0xC2;

// The segments from the start-of-image marker to the first scan (or end of image), and where
// that scan starts; false when the bytes do not hold them whole.
bool HeaderSegments(std::span<const uint8_t> bytes, std::vector<TSegment>& segments, size_t& scanStart) {
  if (bytes.size() < 4 || bytes[0] != 0xFF || bytes[1] != kSoi) return false;
  size_t at = 2;
  while (at < bytes.size() && bytes[at] == 0xFF) {
    size_t m = at + 1;
    while (m < bytes.size() && bytes[m] == 0xFF) ++m;  // fill bytes
    if (m >= bytes.size()) return false;
    const uint8_t marker = bytes[m];
    if (marker == kSos || marker == kEoi) {
      scanStart = at;
      return true;
    }
    if (bytes.size() - m < 3) return false;
    const size_t length = size_t{bytes[m + 1]} << 8 | bytes[m + 2];
    if (length < 2 || bytes.size() - (m + 1) < length) return false;
    segments.push_back({marker, at, m + 1 + length, bytes.subspan(m + 3, length - 2)});
    at = m + 1 + length;
  }
  return false;
}

bool IsJfif(std::span<const uint8_t> payload) {
  return payload.size() >= 12 && std::memcmp(payload.data(), "JFIF\0", 5) == 0;
}

void AppendSegment(std::vector<uint8_t>& out, uint8_t marker, std::span<const uint8_t> head,
                   std::span<const uint8_t> body) {
  const size_t length = 2 + head.size() + body.size();
  out.insert(out.end(), {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF)});
  out.insert(out.end(), head.begin(), head.end());
  out.insert(out.end(), body.begin(), body.end());
}

// The EXIF block made true for the turned pixels: orientation 1 (else nothing: a block still
// saying the file is turned would turn it again), the new pixel dimensions, and no thumbnail,
// which still shows the picture as it was stored.
std::vector<uint8_t> ExifForTurnedPixels(std::span<const uint8_t> block, int width, int height) {
  const std::vector<uint8_t> upright = ExifWithOrientation(block, kOrientationTopLeft);
  if (upright.empty()) return {};
  return ExifForSaving(upright, width, height, true);
}

// The transformed file with its first EXIF block and its JFIF density made true for the new
// pixels; every other byte as TurboJPEG wrote it. Empty when its header cannot be followed.
std::vector<uint8_t> WithTrueMarkers(std::span<const uint8_t> file, TDihedral turn, int width, int height) {
  std::vector<TSegment> segments;
  size_t scanStart = 0;
  if (!HeaderSegments(file, segments, scanStart)) return {};
  std::vector<uint8_t> out;
  out.reserve(file.size() + 64);
  out.insert(out.end(), {0xFF, kSoi});
  bool exifDone = false, xmpDone = false;
  for (const TSegment& segment : segments) {
    if (segment.Marker == kApp1 && !exifDone && !ExifBlockOfApp1(segment.Payload).empty()) {
      // Only the first EXIF block counts: it is the one readers (ours too) take.
      exifDone = true;
      const std::vector<uint8_t> block = ExifForTurnedPixels(ExifBlockOfApp1(segment.Payload), width, height);
      static constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
      if (!block.empty() && block.size() <= kMaxExifBlockBytes) AppendSegment(out, kApp1, kExifHeader, block);
      continue;
    }
    if (segment.Marker == kApp1 && !xmpDone && !XmpOfApp1(segment.Payload).empty()) {
      // The XMP packet says the same as the EXIF block: upright, the new size, no thumbnail.
      xmpDone = true;
      const std::vector<uint8_t> packet =
          XmpForSaving(XmpOfApp1(segment.Payload), kOrientationTopLeft, width, height, true);
      const auto* header = reinterpret_cast<const uint8_t*>(kJpegXmpHeader);
      if (!packet.empty() && kJpegXmpHeaderBytes + packet.size() <= kMaxJpegSegmentBytes)
        AppendSegment(out, kApp1, {header, kJpegXmpHeaderBytes}, packet);
      continue;
    }
    if (segment.Marker == kApp0 && SwapsSides(turn) && IsJfif(segment.Payload)) {
      // Version and units, then the horizontal and vertical density, which change places.
      std::vector<uint8_t> payload(segment.Payload.begin(), segment.Payload.end());
      std::swap_ranges(payload.begin() + 8, payload.begin() + 10, payload.begin() + 10);
      AppendSegment(out, kApp0, {}, payload);
      continue;
    }
    out.insert(out.end(), file.begin() + static_cast<ptrdiff_t>(segment.Start),
               file.begin() + static_cast<ptrdiff_t>(segment.End));
  }
  out.insert(out.end(), file.begin() + static_cast<ptrdiff_t>(scanStart), file.end());
  return out;
}

bool IsProgressive(std::span<const uint8_t> jpeg) {
  std::vector<TSegment> segments;
  size_t scanStart = 0;
  if (!HeaderSegments(jpeg, segments, scanStart)) return false;
  for (const TSegment& segment : segments)
    if (segment.Marker == kSofProgressive) return true;
  return false;
}

}  // namespace

TDihedral Compose(TDihedral first, TDihedral then) {
  const TMatrix& f = MatrixOf(first);
  const TMatrix& t = MatrixOf(then);
  return TurnOf({t.A * f.A + t.B * f.C, t.A * f.B + t.B * f.D, t.C * f.A + t.D * f.C, t.C * f.B + t.D * f.D});
}

TDihedral Inverse(TDihedral turn) {
  for (size_t i = 0; i < kMatrices.size(); ++i)
    if (Compose(turn, static_cast<TDihedral>(i)) == TDihedral::Identity) return static_cast<TDihedral>(i);
  return TDihedral::Identity;  // unreachable
}

bool SwapsSides(TDihedral turn) { return MatrixOf(turn).A == 0; }

TDihedral UprightTurn(uint16_t orientation) {
  switch (orientation) {
    case kOrientationTopRight: return TDihedral::FlipHorizontal;
    case kOrientationBottomRight: return TDihedral::Rotate180;
    case kOrientationBottomLeft: return TDihedral::FlipVertical;
    case kOrientationLeftTop: return TDihedral::Transpose;
    case kOrientationRightTop: return TDihedral::Rotate90;
    case kOrientationRightBottom: return TDihedral::Transverse;
    case kOrientationLeftBottom: return TDihedral::Rotate270;
    default: return TDihedral::Identity;
  }
}

const char* TurnText(TDihedral turn) {
  switch (turn) {
    case TDihedral::Identity: return "unchanged";
    case TDihedral::FlipHorizontal: return "flipped horizontally";
    case TDihedral::FlipVertical: return "flipped vertically";
    case TDihedral::Rotate90: return "rotated 90°";
    case TDihedral::Rotate180: return "rotated 180°";
    case TDihedral::Rotate270: return "rotated 270°";
    case TDihedral::Transpose: return "rotated 90° and flipped horizontally";
    case TDihedral::Transverse: return "rotated 90° and flipped vertically";
  }
  return "";
}

std::optional<TDihedral> TurnOfTransform(const TImageTransform& transform) {
  if (typeid(transform) == typeid(TFlipHorizontalTransform)) return TDihedral::FlipHorizontal;
  if (typeid(transform) == typeid(TFlipVerticalTransform)) return TDihedral::FlipVertical;
  if (typeid(transform) == typeid(TRotateTransform)) {
    switch (static_cast<const TRotateTransform&>(transform).QuarterTurns()) {
      case 0: return TDihedral::Identity;
      case 1: return TDihedral::Rotate90;
      case 2: return TDihedral::Rotate180;
      case 3: return TDihedral::Rotate270;
      default: return std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<uint16_t> JpegFileOrientation(std::span<const uint8_t> jpeg) {
  std::vector<TSegment> segments;
  size_t scanStart = 0;
  if (!HeaderSegments(jpeg, segments, scanStart)) return std::nullopt;
  for (const TSegment& segment : segments) {
    if (segment.Marker != kApp1) continue;
    const std::span<const uint8_t> block = ExifBlockOfApp1(segment.Payload);
    if (block.empty()) continue;
    const TExifInfo exif = ReadExifBlock(block);
    return exif.Valid ? exif.Orientation : uint16_t{kOrientationTopLeft};
  }
  return uint16_t{kOrientationTopLeft};
}

std::vector<uint8_t> FileContent(const std::string& fileName) {
  try {
    TFileStream stream(fileName, TFileMode::fmOpenRead);
    const int64_t size = stream.Size();
    if (size <= 0) return {};
    CheckBufferSize(static_cast<uint64_t>(size));
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    stream.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
  } catch (const Exception&) {
    return {};
  }
}

TLosslessJpeg TransformJpegLossless(std::span<const uint8_t> jpeg, TDihedral turn) {
  TLosslessJpeg result;
  if (jpeg.empty() || jpeg.size() > ULONG_MAX) return result;
  const std::unique_ptr<void, TTurboHandleFree> handle(tjInitTransform());
  if (!handle) {
    result.Problem = tjGetErrorStr2(nullptr);
    return result;
  }
  int width = 0, height = 0, subsampling = -1, colourSpace = -1;
  if (tjDecompressHeader3(handle.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), &width, &height,
                          &subsampling, &colourSpace) != 0) {
    result.Problem = tjGetErrorStr2(handle.get());
    return result;
  }
  // The coefficients of the whole picture are held at once: as much memory as its pixels.
  if (!ImageSizeAllowed(width, height, 24)) {
    result.Problem = "CreateDibSection failed";
    return result;
  }
  if (subsampling < 0 || subsampling >= TJ_NUMSAMP) {
    result.Problem = "unknown chroma subsampling";
    return result;
  }
  result.Width = SwapsSides(turn) ? height : width;
  result.Height = SwapsSides(turn) ? width : height;
  if (!WholeBlocksWhereNeeded(turn, width, height, tjMCUWidth[subsampling], tjMCUHeight[subsampling])) {
    result.Result = TLosslessJpegResult::PartialBlocks;
    return result;
  }

  tjtransform transform{};
  transform.op = TurboOperation(turn);
  // Refused rather than done with partial blocks left in place (the check above should have
  // caught it); a progressive file stays progressive.
  transform.options = TJXOPT_PERFECT | (IsProgressive(jpeg) ? TJXOPT_PROGRESSIVE : 0);
  unsigned char* output = nullptr;
  unsigned long outputSize = 0;
  // A file with damaged data is not copied on: its pixels as read are encoded instead. Hostile
  // progressive files with endless scans are cut short.
  const int status = tjTransform(handle.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()), 1, &output,
                                 &outputSize, &transform, TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS);
  const std::unique_ptr<unsigned char, TTurboBufferFree> owned(output);
  if (status != 0 || output == nullptr) {
    result.Problem = tjGetErrorStr2(handle.get());
    return result;
  }
  result.Bytes = WithTrueMarkers({output, outputSize}, turn, result.Width, result.Height);
  if (result.Bytes.empty()) {
    result.Problem = "the transformed file's markers cannot be followed";
    return result;
  }
  result.Result = TLosslessJpegResult::Done;
  return result;
}

}  // namespace quorvane
