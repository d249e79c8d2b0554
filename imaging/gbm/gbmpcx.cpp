// PCX codec: 1, 4 (one 4-bit plane or four 1-bit planes), 8 and 24-bit (three planes) files,
// run-length coded, with the 8-bit palette in a trailer at the end of the file.
#include <algorithm>
#include <array>
#include <cstring>

#include "gbm/gbmcodec.h"

namespace quorvane {

namespace {

constexpr int kHeaderSize = 128;
constexpr int kHeaderReadSize = 70;
constexpr int kTrailerSize = 769;
constexpr uint8_t kTrailerMarker = 12;
constexpr int kMaxRun = 63;

struct PcxPriv {
  uint8_t version;
  uint8_t bppl;  // bits per pixel in one plane
  uint8_t planes;
  int32_t bpl;    // decoded bytes of one plane line
  uint8_t trunc;  // runs end at every line end
};

GBM_ERR Describe(gbm_filetype* gbmft) {
  *gbmft = {"PCX", "ZSoft PC Paintbrush Image format", "PCX PCC", 0xFF};
  return GBM_ERR_OK;
}

// Image bits per pixel of an accepted plane layout, or 0.
int ImageBits(int bppl, int planes) {
  if (bppl == 1 && planes == 1) return 1;
  if (bppl == 1 && planes == 4) return 4;
  if (bppl == 4 && planes == 1) return 4;
  if (bppl == 8 && planes == 1) return 8;
  if (bppl == 8 && planes == 3) return 24;
  return 0;
}

// Bytes one plane line needs to carry the row's pixels.
int64_t NeededLineBytes(int64_t w, int bppl, int planes) {
  if (planes == 1) return (bppl * w + 7) / 8;
  if (planes == 4) return (w + 7) / 8;
  return w;
}

GBM_ERR ReadHeader(const char*, gbm_fd fd, gbm_header* gbm, const char* opt) {
  uint8_t h[kHeaderReadSize];
  // A stream too short for the fixed header cannot be a PCX file.
  if (!gbm_read_all(fd, h, kHeaderReadSize)) return GBM_ERR_READ;
  PcxPriv priv{};
  priv.trunc = gbm_find_word(opt, "trunc") != nullptr;
  if (h[0] != 0x0A) return GBM_ERR_BAD_MAGIC;
  priv.version = h[1];
  if (priv.version == 4 || priv.version > 5) return GBM_ERR_PCX_BAD_VERSION;
  if (h[2] != 1) return GBM_ERR_PCX_BAD_ENCMODE;
  priv.bppl = h[3];
  priv.planes = h[65];
  const int bpp = ImageBits(priv.bppl, priv.planes);
  if (bpp == 0) return GBM_ERR_PCX_BAD_BITS;
  const int w = gbm_get16(h + 8) - gbm_get16(h + 4) + 1;
  const int hgt = gbm_get16(h + 10) - gbm_get16(h + 6) + 1;
  if (w <= 0 || hgt <= 0) return GBM_ERR_BAD_SIZE;
  priv.bpl = gbm_get16(h + 66);
  // Lines shorter than the row needs cannot hold the picture; longer ones are padded and read
  // in full, of which the row keeps what it holds.
  if (priv.bpl < NeededLineBytes(w, priv.bppl, priv.planes)) return GBM_ERR_BAD_SIZE;
  gbm->w = w;
  gbm->h = hgt;
  gbm->bpp = bpp;
  gbm_store_priv(*gbm, priv);
  return GBM_ERR_OK;
}

GBM_ERR ReadPalette(gbm_fd fd, gbm_header* gbm, gbm_rgb* gbmrgb) {
  switch (gbm->bpp) {
    case 1:
      gbmrgb[0] = {0, 0, 0};
      gbmrgb[1] = {255, 255, 255};
      return GBM_ERR_OK;
    case 4: {
      uint8_t pal[48];
      if (gbm_lseek(fd, 16, GBM_SEEK_SET) != 16 || !gbm_read_all(fd, pal, sizeof pal)) return GBM_ERR_READ;
      for (int i = 0; i < 16; ++i) gbmrgb[i] = {pal[3 * i], pal[3 * i + 1], pal[3 * i + 2]};
      return GBM_ERR_OK;
    }
    case 8: {
      uint8_t trailer[kTrailerSize];
      if (gbm_lseek(fd, -kTrailerSize, GBM_SEEK_END) < 0) return GBM_ERR_PCX_BAD_TRAILER;
      if (gbm_read(fd, trailer, 1) != 1 || trailer[0] != kTrailerMarker) return GBM_ERR_PCX_BAD_TRAILER;
      if (!gbm_read_all(fd, trailer + 1, kTrailerSize - 1)) return GBM_ERR_READ;
      for (int i = 0; i < 256; ++i) gbmrgb[i] = {trailer[1 + 3 * i], trailer[2 + 3 * i], trailer[3 + 3 * i]};
      return GBM_ERR_OK;
    }
    default: return GBM_ERR_OK;
  }
}

// Decodes plane lines one after another; a run may carry from one line into the next. Lines are
// stored every Stride bytes, so the planes of a 24-bit row go straight into their pixel bytes.
class LineDecoder {
 public:
  LineDecoder(gbm_byte_reader& reader, bool trunc) : FReader(reader), FTrunc(trunc) {}

  // Decodes the next N bytes of the current line; LineEnd says they end it.
  template <int Stride = 1>
  void Decode(uint8_t* dst, int n, bool lineEnd = true) {
    int i = std::min(FCarry, n);
    Fill<Stride>(dst, 0, i, FCarryValue);
    FCarry -= i;
    while (i < n) {
      // Past the end of the data every byte reads as 255, which decodes as runs of 255.
      if (FEnded) {
        Fill<Stride>(dst, i, n, 0xFF);
        break;
      }
      i = DecodeBuffered<Stride>(dst, i, n);
      if (i < n) i = DecodeOneCode<Stride>(dst, i, n);
    }
    if (FTrunc && lineEnd) FCarry = 0;
  }
  // True once the data ended before the lines did.
  bool Ended() const { return FEnded; }
  // True when every further byte decodes as 255: the data has ended and no run carries on.
  bool OnlyPaddingLeft() const { return FEnded && FCarry == 0; }

 private:
  template <int Stride>
  static void Fill(uint8_t* dst, int from, int to, uint8_t v) {
    if (Stride == 1)
      std::memset(dst + from, v, static_cast<size_t>(to - from));
    else
      for (int k = from; k < to; ++k) dst[static_cast<size_t>(k) * Stride] = v;
  }

  // Decodes the codes that lie wholly in the reader's buffer, from column I; returns the column
  // reached. Literal bytes and the single-byte runs that escape values of 0xC0 and above take
  // one path without branching on the kind of code, as photographs mix them at random.
  template <int Stride>
  int DecodeBuffered(uint8_t* dst, int i, int n) {
    const uint8_t* const buf = FReader.buf.get();
    const uint8_t* p = buf + FReader.inx;
    const uint8_t* const end = buf + std::max(FReader.cnt, FReader.inx);
    while (i < n && end - p >= 2) {
      const uint8_t b = p[0];
      const bool run = b >= 0xC0;
      const int count = run ? b & 0x3F : 1;
      const uint8_t v = run ? p[1] : b;
      p += 1 + static_cast<int>(run);
      if (count == 1) {
        dst[static_cast<size_t>(i) * Stride] = v;
        ++i;
        continue;
      }
      const int k = std::min(count, n - i);
      Fill<Stride>(dst, i, i + k, v);
      i += k;
      FCarry = count - k;
      FCarryValue = v;
    }
    FReader.inx = static_cast<int32_t>(p - buf);
    return i;
  }

  // One code through the byte reader, which refills its buffer; returns the column reached.
  template <int Stride>
  int DecodeOneCode(uint8_t* dst, int i, int n) {
    const int b = gbm_read_byte(FReader);
    if (b < 0) {
      FEnded = true;
      return i;
    }
    if ((b & 0xC0) != 0xC0) {
      dst[static_cast<size_t>(i) * Stride] = static_cast<uint8_t>(b);
      return i + 1;
    }
    const int count = b & 0x3F;
    int v = gbm_read_byte(FReader);
    if (v < 0) {
      FEnded = true;
      v = 0xFF;
    }
    const int k = std::min(count, n - i);
    Fill<Stride>(dst, i, i + k, static_cast<uint8_t>(v));
    FCarry = count - k;
    FCarryValue = static_cast<uint8_t>(v);
    return i + k;
  }

  gbm_byte_reader& FReader;
  bool FTrunc;
  bool FEnded = false;
  int FCarry = 0;
  uint8_t FCarryValue = 0;
};

// For each byte of a 1-bit plane line: the four bytes of 4-bit pixels that have bit 0 set where
// the plane byte has its bits set (pixel 0 in the high nibble of byte 0).
constexpr std::array<std::array<uint8_t, 4>, 256> MakePlaneSpread() {
  std::array<std::array<uint8_t, 4>, 256> table{};
  for (int b = 0; b < 256; ++b)
    for (int j = 0; j < 8; ++j)
      if (b & (0x80 >> j)) table[b][j / 2] |= static_cast<uint8_t>((j % 2 == 0) ? 0x10 : 0x01);
  return table;
}
constexpr auto kPlaneSpread = MakePlaneSpread();

void MergePlane(const uint8_t* line, int w, int plane, uint8_t* row) {
  const int fullBytes = w / 8;
  for (int i = 0; i < fullBytes; ++i) {
    const auto& s = kPlaneSpread[line[i]];
    uint8_t* p = row + 4 * i;
    p[0] |= static_cast<uint8_t>(s[0] << plane);
    p[1] |= static_cast<uint8_t>(s[1] << plane);
    p[2] |= static_cast<uint8_t>(s[2] << plane);
    p[3] |= static_cast<uint8_t>(s[3] << plane);
  }
  if (const int rest = w % 8) {
    const auto& s = kPlaneSpread[line[fullBytes] & static_cast<uint8_t>(0xFF00 >> rest)];
    uint8_t* p = row + 4 * fullBytes;
    for (int k = 0; k < (rest + 1) / 2; ++k) p[k] |= static_cast<uint8_t>(s[k] << plane);
  }
}

GBM_ERR ReadData(gbm_fd fd, gbm_header* gbm, uint8_t* data) {
  const PcxPriv priv = gbm_load_priv<PcxPriv>(*gbm);
  std::unique_ptr<gbm_byte_reader> reader = gbm_create_byte_reader(fd);
  if (!reader) return GBM_ERR_MEM;
  gbm_lseek(fd, kHeaderSize, GBM_SEEK_SET);
  std::unique_ptr<uint8_t[]> line = gbm_alloc<uint8_t>(static_cast<size_t>(priv.bpl));
  if (!line) return GBM_ERR_MEM;

  const int w = gbm->w;
  const int h = gbm->h;
  const size_t stride = static_cast<size_t>(gbm_row_bytes(w, gbm->bpp));
  const int bpl = priv.bpl;
  LineDecoder decoder(*reader, priv.trunc != 0);
  auto rowOf = [&](int y) { return data + static_cast<size_t>(h - 1 - y) * stride; };

  // Once only padding is left, the remaining rows get in one fill the 255 bytes that decoding
  // them would give (a file that declares a large picture and ends after its header).
  auto padRest = [&](int y, size_t bytes) {
    for (; y < h; ++y) std::memset(rowOf(y), 0xFF, bytes);
  };
  if (priv.planes == 1) {
    const bool direct = static_cast<size_t>(bpl) <= stride;
    for (int y = 0; y < h; ++y) {
      if (decoder.OnlyPaddingLeft()) {
        padRest(y, direct ? static_cast<size_t>(bpl) : stride);
        break;
      }
      uint8_t* row = rowOf(y);
      if (direct) {
        decoder.Decode(row, bpl);
      } else {
        decoder.Decode(line.get(), bpl);
        std::memcpy(row, line.get(), stride);
      }
      gbm_rows_done(*gbm, y + 1);
    }
  } else if (priv.planes == 4) {
    std::memset(data, 0, stride * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
      uint8_t* row = rowOf(y);
      for (int plane = 0; plane < 4; ++plane) {
        decoder.Decode(line.get(), bpl);
        MergePlane(line.get(), w, plane, row);
      }
      gbm_rows_done(*gbm, y + 1);
    }
  } else {
    for (int y = 0; y < h; ++y) {
      if (decoder.OnlyPaddingLeft()) {
        padRest(y, 3 * static_cast<size_t>(w));
        break;
      }
      uint8_t* row = rowOf(y);
      // Red, green and blue lines go into bytes 2, 1 and 0 of the pixels; what a line holds
      // beyond the width is padding.
      for (int plane = 0; plane < 3; ++plane) {
        decoder.Decode<3>(row + (2 - plane), w, false);
        decoder.Decode(line.get(), bpl - w);
      }
      gbm_rows_done(*gbm, y + 1);
    }
  }
  if (decoder.Ended()) gbm->warn |= GBM_WARN_DATA_ENDED;
  return GBM_ERR_OK;
}

// Run-length codes one line into Out, which has room for twice its length: Count bytes taken every
// Stride bytes of Src, then Pad zero bytes. Returns the encoded length. Runs are found greedily
// from the left and never cross the line's end; the pair or single byte of each code is stored
// without branching on which it is, as photographs mix the two at random.
template <int Stride>
size_t EncodeLine(const uint8_t* src, int count, int pad, uint8_t* out) {
  uint8_t* o = out;
  auto put = [&o](uint8_t v, int run) {
    const bool pair = run > 1 || v >= 0xC0;
    o[0] = pair ? static_cast<uint8_t>(0xC0 | run) : v;
    o[1] = v;
    o += 1 + static_cast<int>(pair);
  };
  for (int i = 0; i < count;) {
    const uint8_t v = src[static_cast<size_t>(i) * Stride];
    int run = 1;
    if (i + 1 < count && src[static_cast<size_t>(i + 1) * Stride] == v) {
      const int limit = std::min(kMaxRun, count - i);
      for (run = 2; run < limit && src[static_cast<size_t>(i + run) * Stride] == v;) ++run;
    }
    if (i + run == count && v == 0) {
      // A run of zeros goes on into the padding.
      const int more = std::min(pad, kMaxRun - run);
      run += more;
      pad -= more;
    }
    put(v, run);
    i += run;
  }
  for (; pad > 0; pad -= std::min(pad, kMaxRun)) put(0, std::min(pad, kMaxRun));
  return static_cast<size_t>(o - out);
}

GBM_ERR Write(const char*, gbm_fd fd, const gbm_header* gbm, const gbm_rgb* gbmrgb, const uint8_t* data, const char*) {
  int bppl = 0, planes = 1;
  switch (gbm->bpp) {
    case 1: bppl = 1; break;
    case 4: bppl = 4; break;
    case 8: bppl = 8; break;
    case 24:
      bppl = 8;
      planes = 3;
      break;
    default: return GBM_ERR_NOT_SUPP;
  }
  const int w = gbm->w;
  const int h = gbm->h;
  int64_t bpl = (static_cast<int64_t>(bppl) * w + 7) / 8;
  bpl += bpl & 1;  // lines are padded to an even length
  // The corner and line-length fields are 16 bits wide.
  if (w > 65536 || h > 65536 || bpl > 0xFFFF) return GBM_ERR_BAD_SIZE;

  uint8_t hdr[kHeaderSize] = {};
  hdr[0] = 0x0A;
  hdr[1] = 5;
  hdr[2] = 1;
  hdr[3] = static_cast<uint8_t>(bppl);
  gbm_put16(hdr + 8, static_cast<uint32_t>(w - 1));
  gbm_put16(hdr + 10, static_cast<uint32_t>(h - 1));
  if (gbm->bpp == 4)
    for (int i = 0; i < 16; ++i) {
      hdr[16 + 3 * i] = gbmrgb[i].r;
      hdr[17 + 3 * i] = gbmrgb[i].g;
      hdr[18 + 3 * i] = gbmrgb[i].b;
    }
  hdr[65] = static_cast<uint8_t>(planes);
  gbm_put16(hdr + 66, static_cast<uint32_t>(bpl));
  gbm_put16(hdr + 68, 1);
  if (!gbm_write_all(fd, hdr, kHeaderSize)) return GBM_ERR_WRITE;

  const int n = static_cast<int>(bpl);
  std::unique_ptr<uint8_t[]> out = gbm_alloc<uint8_t>(2 * static_cast<size_t>(n));
  if (!out) return GBM_ERR_MEM;
  // 1-bit files show a set bit in the brighter colour; planes of 24-bit rows are gathered here.
  const bool invert = gbm->bpp == 1 && gbm_brightness(gbmrgb[0]) > gbm_brightness(gbmrgb[1]);
  std::unique_ptr<uint8_t[]> line;
  if (invert) {
    line = gbm_alloc<uint8_t>(static_cast<size_t>(n));
    if (!line) return GBM_ERR_MEM;
  }
  const size_t stride = static_cast<size_t>(gbm_row_bytes(w, gbm->bpp));
  auto put = [&](size_t length) { return gbm_write_all(fd, out.get(), static_cast<int64_t>(length)); };

  for (int y = h - 1; y >= 0; --y) {
    if (!gbm_rows_wanted(*gbm, h - y)) return GBM_ERR_WRITE;
    const uint8_t* row = data + static_cast<size_t>(y) * stride;
    if (planes == 3) {
      // The planes are taken straight from the pixels' red, green and blue bytes; the lines'
      // padding byte (odd widths) is 0.
      for (int plane = 2; plane >= 0; --plane)
        if (!put(EncodeLine<3>(row + plane, w, n - w, out.get()))) return GBM_ERR_WRITE;
    } else if (invert) {
      for (int i = 0; i < n; ++i) line[i] = static_cast<uint8_t>(~row[i]);
      if (!put(EncodeLine<1>(line.get(), n, 0, out.get()))) return GBM_ERR_WRITE;
    } else if (!put(EncodeLine<1>(row, n, 0, out.get()))) {
      return GBM_ERR_WRITE;
    }
  }

  if (gbm->bpp == 8) {
    uint8_t trailer[kTrailerSize];
    trailer[0] = kTrailerMarker;
    for (int i = 0; i < 256; ++i) {
      trailer[1 + 3 * i] = gbmrgb[i].r;
      trailer[2 + 3 * i] = gbmrgb[i].g;
      trailer[3 + 3 * i] = gbmrgb[i].b;
    }
    if (!gbm_write_all(fd, trailer, kTrailerSize)) return GBM_ERR_WRITE;
  }
  return GBM_ERR_OK;
}

const char* Message(GBM_ERR rc) {
  switch (rc) {
    case GBM_ERR_PCX_BAD_VERSION: return "version number not 4 or 5";
    case GBM_ERR_PCX_BAD_ENCMODE: return "encoding mode not 1";
    case GBM_ERR_PCX_BAD_BITS: return "unsupported bpp/plane / plane combination";
    case GBM_ERR_PCX_BAD_TRAILER: return "corrupt file trailer";
    default: return nullptr;
  }
}

}  // namespace

const gbm_format_ops gbm_pcx_ops = {Describe, ReadHeader, ReadPalette, ReadData, Write, Message};

}  // namespace quorvane
