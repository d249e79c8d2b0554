#include "transforms/QvTransfGeometry.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "model/QvExcept.h"
#include "transforms/QvTransfKernels.h"
#include "transforms/QvTransfRows.h"

namespace quorvane {

// Rows are moved as little-endian words in places.
static_assert(std::endian::native == std::endian::little);

namespace {

// Copies the pixels of a row without touching anything a per-pixel copy would leave alone: the
// unused bits of a partial last byte stay 0 and the row padding is not copied.
void CopyPixels(const uint8_t* from, uint8_t* to, int width, int bits) {
  const int64_t totalBits = static_cast<int64_t>(width) * bits;
  const auto whole = static_cast<size_t>(totalBits / 8);
  std::memcpy(to, from, whole);
  const int rest = static_cast<int>(totalBits % 8);
  if (rest) to[whole] = static_cast<uint8_t>(from[whole] & (0xFF00u >> rest));
}

// Four 24-bit pixels from 12 bytes, and back.
inline void LoadTriples4(const uint8_t* from, uint32_t p[4]) {
  uint64_t a;
  uint32_t b;
  std::memcpy(&a, from, 8);
  std::memcpy(&b, from + 8, 4);
  p[0] = static_cast<uint32_t>(a) & 0xFFFFFF;
  p[1] = static_cast<uint32_t>(a >> 24) & 0xFFFFFF;
  p[2] = static_cast<uint32_t>(a >> 48) | ((b & 0xFF) << 16);
  p[3] = b >> 8;
}
inline void StoreTriples4(const uint32_t p[4], uint8_t* to) {
  const uint64_t a = p[0] | (static_cast<uint64_t>(p[1]) << 24) | (static_cast<uint64_t>(p[2]) << 48);
  const uint32_t b = (p[2] >> 16) | (p[3] << 8);
  std::memcpy(to, &a, 8);
  std::memcpy(to + 8, &b, 4);
}

// Reverses the pixel order of a row: Out[W - 1 - x] = In[x]. Scratch serves sub-byte formats.
void ReverseRow(const uint8_t* in, uint8_t* out, int width, int bits, std::vector<uint8_t>& scratch) {
  switch (bits) {
    case 8: ReverseBytes(in, out, width); break;
    case 24: ReverseTriples(in, out, width); break;
    default:
      scratch.resize(2 * static_cast<size_t>(width));
      uint8_t* indices = scratch.data();
      uint8_t* reversed = indices + width;
      UnpackIndices(in, bits, 0, width, indices);
      for (int x = 0; x < width; ++x) reversed[width - 1 - x] = indices[x];
      PackIndices(reversed, width, bits, out);
      break;
  }
}

// The quarter turn of one-byte pixels in 16 x 16 blocks, for the source columns [X0, X1) (X0 a
// multiple of 16): destination rows X0 .. X1-1 (clockwise) are written whole. Columns past the
// last whole block and rows past the last whole block are moved pixel by pixel.
void QuarterTurnBytes(const std::vector<const uint8_t*>& rows, TDibGraphic& dest, int w, int h, bool clockwise, int x0,
                      int x1) {
  auto put = [&](int x, int y, uint8_t v) {
    if (clockwise)
      dest.ScanLine(x)[h - 1 - y] = v;
    else
      dest.ScanLine(w - 1 - x)[y] = v;
  };
  const int blockEnd = std::min(x1, w & ~15);
  // Strips as tall as most images: each destination row (a page of its own in large images) is
  // then written in one run rather than a piece at every strip; the source lines of a strip's
  // 16 columns stay in the second-level cache until the next columns use them.
  constexpr int kStrip = 4096;
  for (int y0 = 0; y0 < h; y0 += kStrip) {
    const int y1 = std::min(h, y0 + kStrip);
    const int rowBlockEnd = y0 + ((y1 - y0) & ~15);
    for (int bx = x0; bx < blockEnd; bx += 16) {
      for (int y = y0; y < rowBlockEnd; y += 16) {
        const uint8_t* in[16];
        uint8_t* out[16];
        // Clockwise, the last source row of the block becomes the first destination column.
        for (int k = 0; k < 16; ++k) in[k] = rows[static_cast<size_t>(clockwise ? y + 15 - k : y + k)] + bx;
        for (int i = 0; i < 16; ++i)
          out[i] = clockwise ? dest.ScanLine(bx + i) + (h - 16 - y) : dest.ScanLine(w - 1 - bx - i) + y;
        TransposeBytes16x16(in, out);
      }
    }
    for (int y = y0; y < y1; ++y) {
      const uint8_t* row = rows[static_cast<size_t>(y)];
      for (int x = y < rowBlockEnd ? std::max(x0, blockEnd) : x0; x < x1; ++x) put(x, y, row[x]);
    }
  }
}

// The quarter turn of 24-bit pixels in 4 x 4 blocks held in registers, as QuarterTurnBytes.
void QuarterTurnTriples(const std::vector<const uint8_t*>& rows, TDibGraphic& dest, int w, int h, bool clockwise,
                        int x0, int x1) {
  auto put = [&](int x, int y, const uint8_t* p) {
    uint8_t* q = clockwise ? dest.ScanLine(x) + 3 * static_cast<ptrdiff_t>(h - 1 - y)
                           : dest.ScanLine(w - 1 - x) + 3 * static_cast<ptrdiff_t>(y);
    q[0] = p[0], q[1] = p[1], q[2] = p[2];
  };
  const int blockEnd = std::min(x1, w & ~3);
  constexpr int kStrip = 2048;  // as for one-byte pixels
  for (int y0 = 0; y0 < h; y0 += kStrip) {
    const int y1 = std::min(h, y0 + kStrip);
    const int rowBlockEnd = y0 + ((y1 - y0) & ~3);
    for (int bx = x0; bx < blockEnd; bx += 4) {
      for (int y = y0; y < rowBlockEnd; y += 4) {
        uint32_t block[4][4];  // [source row k][column i]
        for (int k = 0; k < 4; ++k)
          LoadTriples4(rows[static_cast<size_t>(clockwise ? y + 3 - k : y + k)] + 3 * static_cast<ptrdiff_t>(bx),
                       block[k]);
        for (int i = 0; i < 4; ++i) {
          const uint32_t column[4] = {block[0][i], block[1][i], block[2][i], block[3][i]};
          uint8_t* out = clockwise ? dest.ScanLine(bx + i) + 3 * static_cast<ptrdiff_t>(h - 4 - y)
                                   : dest.ScanLine(w - 1 - bx - i) + 3 * static_cast<ptrdiff_t>(y);
          StoreTriples4(column, out);
        }
      }
    }
    for (int y = y0; y < y1; ++y) {
      const uint8_t* row = rows[static_cast<size_t>(y)];
      for (int x = y < rowBlockEnd ? std::max(x0, blockEnd) : x0; x < x1; ++x)
        put(x, y, row + 3 * static_cast<ptrdiff_t>(x));
    }
  }
}

// Sub-byte pixels: destination rows gathered one at a time, for the source columns [X0, X1).
void QuarterTurnPacked(const std::vector<const uint8_t*>& rows, TDibGraphic& dest, int w, int h, int bits,
                       bool clockwise, int x0, int x1, std::vector<uint8_t>& column) {
  column.resize(static_cast<size_t>(h));
  const int shift = bits == 1 ? 3 : 1;
  const int perByte = 8 / bits;
  const unsigned mask = (1u << bits) - 1;
  for (int x = x0; x < x1; ++x) {
    const int byte = x >> shift;
    const int offset = 8 - bits - bits * (x & (perByte - 1));
    for (int y = 0; y < h; ++y)
      column[static_cast<size_t>(clockwise ? h - 1 - y : y)] =
          static_cast<uint8_t>((rows[static_cast<size_t>(y)][byte] >> offset) & mask);
    PackIndices(column.data(), h, bits, dest.ScanLine(clockwise ? x : w - 1 - x));
  }
}

// A quarter turn. Clockwise: source (x, y) goes to (H - 1 - y, x); otherwise to (y, W - 1 - x).
// Source columns (destination rows) run in bands on the library's threads; the progress is that
// of a loop over the source rows.
void QuarterTurn(TImageTransform& transform, const TDibGraphic& source, TDibGraphic& dest, bool clockwise) {
  // The turn writes every pixel; only the padding needs clearing.
  NewImageForOverwriteLike(dest, source, source.Height(), source.Width(), source.ImageFormat(),
                           &source.PaletteRecord());
  ClearRowPadding(dest);
  const int w = source.Width();
  const int h = source.Height();
  const int bits = source.BitCount();
  std::vector<const uint8_t*> rows(static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) rows[static_cast<size_t>(y)] = source.ScanLine(y);
  // Bands of whole blocks of columns for the block paths.
  const int unit = bits == 8 ? 16 : bits == 24 ? 4 : 1;
  const int units = (w + unit - 1) / unit;
  const int threads = BandThreads(units, static_cast<size_t>(unit) * 2 * static_cast<size_t>(dest.BytesPerLine()));
  std::vector<std::vector<uint8_t>> columns(static_cast<size_t>(threads));
  RunProgressRows(transform, h, units, threads, [&](int first, int last, int slot) {
    const int x0 = first * unit, x1 = std::min(w, last * unit);
    if (bits == 8)
      QuarterTurnBytes(rows, dest, w, h, clockwise, x0, x1);
    else if (bits == 24)
      QuarterTurnTriples(rows, dest, w, h, clockwise, x0, x1);
    else
      QuarterTurnPacked(rows, dest, w, h, bits, clockwise, x0, x1, columns[static_cast<size_t>(slot)]);
  });
}

// Round to nearest with ties to even, for |V| < 2^51 (the default rounding of the addition).
inline double RoundEven(double v) {
  constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
  return (v + kShift) - kShift;
}

// Angle in [0, 360): the same turn, with a sine and cosine that stay accurate however large
// the angle was (pi times a huge angle overflows to infinity). Non-finite angles give 0.
double ReducedAngle(double angle) {
  if (!std::isfinite(angle)) return 0;
  double reduced = std::fmod(angle, 360.0);
  if (reduced < 0) reduced += 360;
  return reduced >= 360 ? 0 : reduced;
}

// One destination row of the any-angle rotation: the source position of every pixel (Sx < 0
// for a pixel outside the source) and what it needs to write the row.
struct TRotatedRowContext {
  const uint8_t* const* Rows;
  const int32_t* Sx;
  const int32_t* Sy;
  uint8_t* Indices;  // scratch of Width entries for palette formats
  int Width;
  int Bits;
  TColorValue Background;
  uint8_t BackgroundIndex;
};
using TRotatedRowWriter = void (*)(const TRotatedRowContext& c, uint8_t* out);

void WriteRotatedTriples(const TRotatedRowContext& c, uint8_t* out) {
  const uint8_t b0 = ColorByte0(c.Background), b1 = ColorByte1(c.Background), b2 = ColorByte2(c.Background);
  for (int x = 0; x < c.Width; ++x, out += 3) {
    const int32_t sx = c.Sx[x];
    if (sx < 0) {
      out[0] = b0, out[1] = b1, out[2] = b2;
    } else {
      const uint8_t* p = c.Rows[c.Sy[x]] + 3 * static_cast<ptrdiff_t>(sx);
      out[0] = p[0], out[1] = p[1], out[2] = p[2];
    }
  }
}

// Palette formats: the indices are gathered, then packed into the row.
template <int Bits>
void WriteRotatedIndices(const TRotatedRowContext& c, uint8_t* out) {
  for (int x = 0; x < c.Width; ++x) {
    const int32_t sx = c.Sx[x];
    uint8_t index = c.BackgroundIndex;
    if (sx >= 0) {
      const uint8_t* row = c.Rows[c.Sy[x]];
      if constexpr (Bits == 8)
        index = row[sx];
      else if constexpr (Bits == 4)
        index = static_cast<uint8_t>((row[sx >> 1] >> ((sx & 1) ? 0 : 4)) & 0x0F);
      else
        index = static_cast<uint8_t>((row[sx >> 3] >> (7 - (sx & 7))) & 1);
    }
    c.Indices[x] = index;
  }
  PackIndices(c.Indices, c.Width, Bits, out);
}

TRotatedRowWriter RotatedRowWriter(int bits) {
  switch (bits) {
    case 24: return WriteRotatedTriples;
    case 8: return WriteRotatedIndices<8>;
    case 4: return WriteRotatedIndices<4>;
    default: return WriteRotatedIndices<1>;
  }
}

int64_t CheckedExtent(int64_t extent) {
  if (extent < 1 || extent > std::numeric_limits<int32_t>::max()) throw EQuorvaneError("CreateDibSection failed");
  return extent;
}

// Angle rounded to three decimals, in whole thousandths of a degree, as its decimal text reads.
// The text is made without the locale (a comma-decimal locale must not change the count).
long long RoundedThousandths(double angle) {
  char text[64];
  const auto written = std::to_chars(text, text + sizeof text, angle, std::chars_format::fixed, 3);
  std::string digits(text, written.ptr);
  const size_t point = digits.find('.');
  if (point != std::string::npos) digits.erase(point, 1);
  long long thousandths = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), thousandths);
  return thousandths;
}

// The turn in 0..359 degrees when Angle, rounded to three decimals, lies within 0.005 of a whole
// number of degrees; -1 otherwise. The comparison is made in whole thousandths of a degree, so
// that 90.004 counts as whole and 90.0049 (90.005) does not, whatever the binary rounding.
// A non-finite angle turns nothing.
int WholeAngle(double angle) {
  if (!std::isfinite(angle)) return 0;
  const double n = std::nearbyint(angle);
  bool whole = true;  // beyond 10^15 every double is a whole number of degrees
  if (std::fabs(angle) < 1e15) whole = std::llabs(static_cast<long long>(n) * 1000 - RoundedThousandths(angle)) < 5;
  if (!whole) return -1;
  return static_cast<int>(ReducedAngle(n));
}

// A rotated corner coordinate as an integer. Finite angles keep it within a few times the
// source's size; anything else is refused rather than converted.
int64_t CornerCoordinate(double v) {
  if (!(std::fabs(v) < 0x1p52)) throw EQuorvaneError("CreateDibSection failed");
  return static_cast<int64_t>(std::nearbyint(v));
}

}  // namespace

// ---- flips ----

namespace {

// The flips and the half turn, as whole rows: each row copied or reversed (Reverse) into the same
// row or the mirrored one (UpsideDown). Horizontal flip: reversed; vertical flip: upside down;
// 180 degrees: both. Rows are written whole, padding included: the block need not be zeroed
// first. Steps is the loop's progress count.
void MoveRows(TImageTransform& transform, const TDibGraphic& source, TDibGraphic& dest, bool reverse, bool upsideDown,
              int steps) {
  const int w = source.Width();
  const int h = source.Height();
  const int bits = source.BitCount();
  NewImageForOverwriteLike(dest, source, w, h, source.ImageFormat(), &source.PaletteRecord());
  const size_t used = PixelBytes(w, bits);
  const auto bytesPerLine = static_cast<size_t>(dest.BytesPerLine());
  const int threads = BandThreads(h, 2 * bytesPerLine);
  std::vector<std::vector<uint8_t>> scratch(static_cast<size_t>(threads));
  RunProgressRows(transform, steps, h, threads, [&](int first, int last, int slot) {
    for (int y = first; y < last; ++y) {
      uint8_t* out = dest.ScanLine(upsideDown ? h - 1 - y : y);
      if (reverse)
        ReverseRow(source.ScanLine(y), out, w, bits, scratch[static_cast<size_t>(slot)]);
      else
        CopyPixels(source.ScanLine(y), out, w, bits);
      ClearRowTail(out, used, bytesPerLine);
    }
  });
}

}  // namespace

bool TFlipHorizontalTransform::PassesThrough(const TDibGraphic& source) const { return source.Width() < 2; }

void TFlipHorizontalTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  MoveRows(*this, source, dest, true, false, source.Height());
}

bool TFlipVerticalTransform::PassesThrough(const TDibGraphic& source) const { return source.Height() < 2; }

void TFlipVerticalTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  // Reported column by column; the copy itself moves whole rows.
  MoveRows(*this, source, dest, false, true, source.Width());
}

// ---- rotation ----

void TRotateTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  const int k = source.Empty() ? 0 : WholeAngle(Angle);
  switch (k) {
    case 0: dest.Assign(&source); break;
    case 90: Rotate90(source, dest); break;
    case 180: Rotate180(source, dest); break;
    case 270: Rotate270(source, dest); break;
    default: RotateByAngle(source, dest); break;
  }
}

int TRotateTransform::QuarterTurns() const {
  const int k = WholeAngle(Angle);
  return k >= 0 && k % 90 == 0 ? k / 90 : -1;
}

void TRotateTransform::Rotate90(const TDibGraphic& source, TDibGraphic& dest) {
  QuarterTurn(*this, source, dest, true);
}

void TRotateTransform::Rotate270(const TDibGraphic& source, TDibGraphic& dest) {
  QuarterTurn(*this, source, dest, false);
}

void TRotateTransform::Rotate180(const TDibGraphic& source, TDibGraphic& dest) {
  MoveRows(*this, source, dest, true, true, source.Height());
}

void TRotateTransform::RotateByAngle(const TDibGraphic& source, TDibGraphic& dest) {
  const int64_t w = source.Width();
  const int64_t h = source.Height();
  const double t = std::numbers::pi * ReducedAngle(Angle) / 180;
  const double s = std::sin(t), c = std::cos(t);
  const int64_t cx = w / 2, cy = h / 2;

  // The rotated corners give the new size; all of it in 64 bits so that no size can wrap.
  int64_t minX = std::numeric_limits<int64_t>::max(), maxX = std::numeric_limits<int64_t>::min();
  int64_t minY = minX, maxY = maxX;
  const int64_t corners[4][2] = {{0, 0}, {0, h - 1}, {w - 1, h - 1}, {w - 1, 0}};
  for (const auto& corner : corners) {
    const auto dx = static_cast<double>(corner[0] - cx), dy = static_cast<double>(corner[1] - cy);
    const int64_t X = CornerCoordinate(dx * c - dy * s + static_cast<double>(cx));
    const int64_t Y = CornerCoordinate(dx * s + dy * c + static_cast<double>(cy));
    minX = std::min(minX, X), maxX = std::max(maxX, X);
    minY = std::min(minY, Y), maxY = std::max(maxY, Y);
  }
  const int64_t nw = CheckedExtent(maxX - minX + 1);
  const int64_t nh = CheckedExtent(maxY - minY + 1);
  NewImageLike(dest, source, static_cast<int>(nw), static_cast<int>(nh), source.ImageFormat(), &source.PaletteRecord());

  const double is = std::sin(-t), ic = std::cos(-t);
  const int64_t ncx = nw / 2, ncy = nh / 2;
  const double fcx = static_cast<double>(cx), fcy = static_cast<double>(cy);
  const double fw = static_cast<double>(w), fh = static_cast<double>(h);
  // The column terms of both source coordinates, shared by every row.
  std::vector<double> colC(static_cast<size_t>(nw)), colS(static_cast<size_t>(nw));
  for (int64_t x = 0; x < nw; ++x) {
    colC[static_cast<size_t>(x)] = static_cast<double>(x - ncx) * ic;
    colS[static_cast<size_t>(x)] = static_cast<double>(x - ncx) * is;
  }

  const int bits = source.BitCount();
  const bool trueColor = bits == 24;
  std::vector<const uint8_t*> rows(static_cast<size_t>(h));
  for (int64_t y = 0; y < h; ++y) rows[static_cast<size_t>(y)] = source.ScanLine(static_cast<int>(y));
  const uint8_t backgroundIndex =
      trueColor ? 0 : static_cast<uint8_t>(dest.Converter()->PaletteIndexOf(BackgroundColor));
  const TRotatedRowWriter writeRow = RotatedRowWriter(bits);

  // Per thread: the source position of every pixel of a row, and the row's indices.
  struct TScratch {
    std::vector<int32_t> Sx, Sy;
    std::vector<uint8_t> Indices;
  };
  const int threads = BandThreads(nh, 3 * static_cast<size_t>(dest.BytesPerLine()));
  std::vector<TScratch> scratch(static_cast<size_t>(threads));
  RunProgressRows(*this, static_cast<int>(nh), static_cast<int>(nh), threads, [&](int first, int last, int slot) {
    TScratch& s = scratch[static_cast<size_t>(slot)];
    s.Sx.resize(static_cast<size_t>(nw));
    s.Sy.resize(static_cast<size_t>(nw));
    s.Indices.resize(trueColor ? 0 : static_cast<size_t>(nw));
    const TRotatedRowContext context{rows.data(),          s.Sx.data(), s.Sy.data(),     s.Indices.data(),
                                     static_cast<int>(nw), bits,        BackgroundColor, backgroundIndex};
    for (int64_t y = first; y < last; ++y) {
      const double rowS = static_cast<double>(y - ncy) * is;
      const double rowC = static_cast<double>(y - ncy) * ic;
      // Source coordinates, or -1 for a pixel outside the source.
      for (int64_t x = 0; x < nw; ++x) {
        double sx = RoundEven(colC[static_cast<size_t>(x)] - rowS + fcx);
        double sy = RoundEven(colS[static_cast<size_t>(x)] + rowC + fcy);
        if (sx == fw) sx = fw - 1;
        if (sy == fh) sy = fh - 1;
        const bool inside = sx >= 0 && sx < fw && sy >= 0 && sy < fh;
        s.Sx[static_cast<size_t>(x)] = inside ? static_cast<int32_t>(sx) : -1;
        s.Sy[static_cast<size_t>(x)] = inside ? static_cast<int32_t>(sy) : 0;
      }
      writeRow(context, dest.ScanLine(static_cast<int>(y)));
    }
  });
}

// ---- crop ----

bool TCropTransform::PassesThrough(const TDibGraphic&) const {
  return CropTop == 0 && CropLeft == 0 && CropBottom == 0 && CropRight == 0;
}

void TCropTransform::CheckParameters(const TDibGraphic& source) const {
  const int64_t w = source.Width();
  const int64_t h = source.Height();
  // Negative margins would read outside the source.
  if (CropTop < 0 || CropLeft < 0 || CropBottom < 0 || CropRight < 0 || !(CropTop < h - CropBottom) ||
      !(CropLeft < w - CropRight))
    throw EQuorvaneError("Invalid crop parameters");
}

void TCropTransform::Transform(const TDibGraphic& source, TDibGraphic& dest) {
  const int nw = source.Width() - CropRight - CropLeft;
  const int nh = source.Height() - CropBottom - CropTop;
  NewImageForOverwriteLike(dest, source, nw, nh, source.ImageFormat(), &source.PaletteRecord());
  const int bits = source.BitCount();
  const size_t used = PixelBytes(nw, bits);
  const auto bytesPerLine = static_cast<size_t>(dest.BytesPerLine());
  const int threads = BandThreads(nh, 2 * bytesPerLine);
  std::vector<std::vector<uint8_t>> indices(static_cast<size_t>(threads));
  RunProgressRows(*this, nh, nh, threads, [&](int first, int last, int slot) {
    std::vector<uint8_t>& unpacked = indices[static_cast<size_t>(slot)];
    if (bits < 8) unpacked.resize(static_cast<size_t>(nw));
    for (int y = first; y < last; ++y) {
      const uint8_t* in = source.ScanLine(y + CropTop);
      uint8_t* out = dest.ScanLine(y);
      if (bits >= 8) {
        std::memcpy(out, in + static_cast<ptrdiff_t>(CropLeft) * (bits / 8), static_cast<size_t>(nw) * (bits / 8));
      } else {
        UnpackIndices(in, bits, CropLeft, nw, unpacked.data());
        PackIndices(unpacked.data(), nw, bits, out);
      }
      ClearRowTail(out, used, bytesPerLine);
    }
  });
}

}  // namespace quorvane
