// BMP codec: OS/2 1.x (12-byte header), Windows 3 and OS/2 2.x (16 to 64-byte headers) bitmaps,
// the first bitmap of an OS/2 bitmap array, uncompressed, RLE8 and RLE4; writes uncompressed
// Windows 3 or OS/2 1.1 bitmaps.
#include <algorithm>
#include <cstring>

#include "gbm/gbmcodec.h"

namespace quorvane {

namespace {

constexpr int kFileHeaderSize = 14;
constexpr uint32_t kCbFixOs2 = 12;
constexpr uint32_t kCbFixWin = 40;

struct BmpPriv {
  int64_t bmPos;  // position of the "BM" signature
  uint8_t style;  // 0: 12-byte header, 1: larger headers
  uint32_t cbFix;
  uint32_t compression;
  uint32_t colorsUsed;
  uint32_t offBits;  // pixel data offset from the start of the stream
  uint8_t inv;       // keep the 1-bit palette in file order
  uint8_t invb;      // invert every pixel bit
};

GBM_ERR Describe(gbm_filetype* gbmft) {
  *gbmft = {"Bitmap", "OS/2 1.1, 1.2, 2.0 / Windows 3.0 bitmap", "BMP VGA BGA RLE DIB RL4 RL8", 0xFF};
  return GBM_ERR_OK;
}

bool AcceptedCbFix(uint32_t cbFix) {
  return cbFix == kCbFixOs2 || (cbFix >= 16 && cbFix <= 64 && cbFix % 4 == 0) || cbFix == 42 || cbFix == 46;
}

GBM_ERR CheckGeometry(int64_t w, int64_t h, unsigned planes, unsigned bitCount) {
  // Top-down bitmaps (negative height) are not provided for.
  if (w <= 0 || h <= 0) return GBM_ERR_BAD_SIZE;
  if (planes != 1) return GBM_ERR_BMP_PLANES;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24) return GBM_ERR_BMP_BITCOUNT;
  return GBM_ERR_OK;
}

GBM_ERR ReadHeader(const char*, gbm_fd fd, gbm_header* gbm, const char* opt) {
  BmpPriv priv{};
  priv.inv = gbm_find_word(opt, "inv") != nullptr;
  priv.invb = gbm_find_word(opt, "invb") != nullptr;
  uint8_t sig[2];
  if (!gbm_read_all(fd, sig, 2)) return GBM_ERR_READ;
  if (sig[0] == 'B' && sig[1] == 'A') {
    // A bitmap array: the first bitmap's file header follows the 14-byte array header.
    gbm_lseek(fd, 12, GBM_SEEK_CUR);
    if (!gbm_read_all(fd, sig, 2)) return GBM_ERR_READ;
  }
  if (sig[0] != 'B' || sig[1] != 'M') return GBM_ERR_BAD_MAGIC;
  priv.bmPos = gbm_lseek(fd, 0, GBM_SEEK_CUR) - 2;

  uint8_t fh[16];  // file size, two reserved fields, data offset, cbFix
  if (!gbm_read_all(fd, fh, sizeof fh)) return GBM_ERR_READ;
  priv.offBits = gbm_get32(fh + 8);
  priv.cbFix = gbm_get32(fh + 12);

  int64_t w, h;
  unsigned bitCount;
  if (priv.cbFix == kCbFixOs2) {
    uint8_t b[8];
    if (!gbm_read_all(fd, b, sizeof b)) return GBM_ERR_READ;
    w = gbm_get16(b);
    h = gbm_get16(b + 2);
    bitCount = gbm_get16(b + 6);
    if (const GBM_ERR rc = CheckGeometry(w, h, gbm_get16(b + 4), bitCount)) return rc;
    priv.style = 0;
    priv.colorsUsed = bitCount <= 8 ? 1u << bitCount : 0;
  } else {
    if (!AcceptedCbFix(priv.cbFix)) return GBM_ERR_BMP_CBFIX;
    uint8_t b[60];  // the header after cbFix; field at header offset k is at b[k - 4]
    if (!gbm_read_all(fd, b, priv.cbFix - 4)) return GBM_ERR_READ;
    w = static_cast<int32_t>(gbm_get32(b));
    h = static_cast<int32_t>(gbm_get32(b + 4));
    bitCount = gbm_get16(b + 10);
    if (const GBM_ERR rc = CheckGeometry(w, h, gbm_get16(b + 8), bitCount)) return rc;
    priv.style = 1;
    priv.compression = priv.cbFix > 16 ? gbm_get32(b + 12) : 0;
    const uint32_t full = bitCount <= 8 ? 1u << bitCount : 0;
    const uint32_t used = priv.cbFix > 32 ? gbm_get32(b + 28) : 0;
    priv.colorsUsed = used == 0 ? full : std::min(used, full);
  }
  gbm->w = static_cast<int32_t>(w);
  gbm->h = static_cast<int32_t>(h);
  gbm->bpp = static_cast<int32_t>(bitCount);
  gbm_store_priv(*gbm, priv);
  return GBM_ERR_OK;
}

GBM_ERR ReadPalette(gbm_fd fd, gbm_header* gbm, gbm_rgb* gbmrgb) {
  if (gbm->bpp == 24) return GBM_ERR_OK;
  const BmpPriv priv = gbm_load_priv<BmpPriv>(*gbm);
  uint8_t table[4 * 256] = {};
  const int n = static_cast<int>(priv.colorsUsed);
  const int entrySize = priv.style == 0 ? 3 : 4;
  gbm_lseek(fd, priv.bmPos + kFileHeaderSize + (priv.style == 0 ? kCbFixOs2 : priv.cbFix), GBM_SEEK_SET);
  // Short colour tables are not refused: missing entries stay black.
  if (gbm_read(fd, table, static_cast<int64_t>(n) * entrySize) < static_cast<int64_t>(n) * entrySize)
    gbm->warn |= GBM_WARN_PALETTE_ENDED;
  for (int i = 0; i < n; ++i) {
    const uint8_t* e = table + i * entrySize;
    gbmrgb[i] = {e[2], e[1], e[0]};
  }
  if (gbm->bpp == 1 && !priv.inv) std::swap(gbmrgb[0], gbmrgb[1]);
  return GBM_ERR_OK;
}

// Writes into the pixel buffer with every store clipped to its end.
class ClippedBuffer {
 public:
  ClippedBuffer(uint8_t* data, int64_t size) : FData(data), FSize(size) {}
  int64_t Size() const { return FSize; }
  void Fill(int64_t pos, int64_t n, uint8_t v) {
    if (pos >= FSize || n <= 0) return;
    std::memset(FData + pos, v, static_cast<size_t>(std::min(n, FSize - pos)));
  }
  void Put(int64_t pos, uint8_t v) {
    if (pos < FSize) FData[pos] = v;
  }
  void Or(int64_t pos, uint8_t v) {
    if (pos < FSize) FData[pos] |= v;
  }
  void Copy(int64_t pos, const uint8_t* src, int64_t n) {
    if (pos >= FSize || n <= 0) return;
    std::memcpy(FData + pos, src, static_cast<size_t>(std::min(n, FSize - pos)));
  }

 private:
  uint8_t* FData;
  int64_t FSize;
};

// Escape codes of the run-length compressions.
constexpr int kEndOfLine = 0;
constexpr int kEndOfBitmap = 1;
constexpr int kDelta = 2;

// Run-length data that ends before an end code is refused (code 7); data that would store past
// the end of the pixel buffer ends the decoding there, keeping what fits.
GBM_ERR DecodeRle8(gbm_byte_reader& reader, uint8_t* data, int64_t stride, int h) {
  ClippedBuffer out(data, stride * h);
  int64_t x = 0, y = 0;
  uint8_t absolute[255];
  for (;;) {
    const int64_t pos = y * stride + x;
    if (pos >= out.Size()) return GBM_ERR_OK;
    const int c = gbm_read_byte(reader);
    const int d = gbm_read_byte(reader);
    if (c < 0 || d < 0) return GBM_ERR_READ;
    if (c != 0) {
      out.Fill(pos, c, static_cast<uint8_t>(d));
      x += c;
    } else if (d == kEndOfLine) {
      if (x < stride) out.Fill(pos, stride - x, 0);
      x = 0;
      if (++y >= h) return GBM_ERR_OK;
    } else if (d == kEndOfBitmap) {
      out.Fill(pos, out.Size() - pos, 0);
      return GBM_ERR_OK;
    } else if (d == kDelta) {
      const int dx = gbm_read_byte(reader);
      const int dy = gbm_read_byte(reader);
      if (dx < 0 || dy < 0) return GBM_ERR_READ;
      out.Fill(pos, dx + dy * stride, 0);
      x += dx;
      y += dy;
      if (y >= h) return GBM_ERR_OK;
    } else {
      if (gbm_read_bytes(reader, absolute, static_cast<size_t>(d)) != static_cast<size_t>(d)) return GBM_ERR_READ;
      out.Copy(pos, absolute, d);
      x += d;
      if (d & 1) gbm_read_byte(reader);
    }
  }
}

GBM_ERR DecodeRle4(gbm_byte_reader& reader, uint8_t* data, int64_t stride, int h) {
  ClippedBuffer out(data, stride * h);
  out.Fill(0, out.Size(), 0);
  int64_t x = 0, y = 0;
  uint8_t absolute[128];
  for (;;) {
    const int64_t rowStart = y * stride;
    if (rowStart + x / 2 >= out.Size()) return GBM_ERR_OK;
    const int c = gbm_read_byte(reader);
    const int d = gbm_read_byte(reader);
    if (c < 0 || d < 0) return GBM_ERR_READ;
    if (c != 0) {
      const uint8_t nibbles[2] = {static_cast<uint8_t>(d >> 4), static_cast<uint8_t>(d & 0x0F)};
      for (int i = 0; i < c; ++i, ++x) {
        const uint8_t v = nibbles[i & 1];
        out.Or(rowStart + x / 2, (x & 1) ? v : static_cast<uint8_t>(v << 4));
      }
    } else if (d == kEndOfLine) {
      x = 0;
      if (++y >= h) return GBM_ERR_OK;
    } else if (d == kEndOfBitmap) {
      return GBM_ERR_OK;
    } else if (d == kDelta) {
      const int dx = gbm_read_byte(reader);
      const int dy = gbm_read_byte(reader);
      if (dx < 0 || dy < 0) return GBM_ERR_READ;
      x += dx;
      y += dy;
      if (y >= h) return GBM_ERR_OK;
    } else {
      const int bytes = (d + 1) / 2;
      if (gbm_read_bytes(reader, absolute, static_cast<size_t>(bytes)) != static_cast<size_t>(bytes))
        return GBM_ERR_READ;
      const int64_t pos = rowStart + x / 2;
      if ((x & 1) == 0) {
        out.Copy(pos, absolute, bytes);
      } else {
        for (int j = 0; j < bytes; ++j) {
          out.Or(pos + j, static_cast<uint8_t>(absolute[j] >> 4));
          out.Or(pos + j + 1, static_cast<uint8_t>(absolute[j] << 4));
        }
      }
      x += d;
      if (bytes & 1) gbm_read_byte(reader);
    }
  }
}

GBM_ERR ReadData(gbm_fd fd, gbm_header* gbm, uint8_t* data) {
  const BmpPriv priv = gbm_load_priv<BmpPriv>(*gbm);
  const int64_t stride = gbm_row_bytes(gbm->w, gbm->bpp);
  const int64_t size = stride * gbm->h;
  if (gbm_lseek(fd, priv.offBits, GBM_SEEK_SET) < 0) return GBM_ERR_READ;
  GBM_ERR rc = GBM_ERR_OK;
  if (priv.style == 0 || priv.compression == 0) {
    // A short read is not refused: missing rows keep what the buffer held.
    if (gbm_read(fd, data, size) < size) gbm->warn |= GBM_WARN_DATA_ENDED;
  } else if (priv.compression == 1 || priv.compression == 2) {
    std::unique_ptr<gbm_byte_reader> reader = gbm_create_byte_reader(fd);
    if (!reader) return GBM_ERR_MEM;
    rc = priv.compression == 1 ? DecodeRle8(*reader, data, stride, gbm->h) : DecodeRle4(*reader, data, stride, gbm->h);
  } else {
    return GBM_ERR_BMP_COMP;
  }
  if (rc == GBM_ERR_OK && priv.invb)
    for (int64_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(~data[i]);
  return rc;
}

GBM_ERR WritePixels(gbm_fd fd, const uint8_t* data, int64_t size, bool invert) {
  if (!invert) return gbm_write_all(fd, data, size) ? GBM_ERR_OK : GBM_ERR_WRITE;
  uint8_t scratch[1024];
  for (int64_t done = 0; done < size;) {
    const int64_t n = std::min<int64_t>(sizeof scratch, size - done);
    for (int64_t i = 0; i < n; ++i) scratch[i] = static_cast<uint8_t>(~data[done + i]);
    if (!gbm_write_all(fd, scratch, n)) return GBM_ERR_WRITE;
    done += n;
  }
  return GBM_ERR_OK;
}

GBM_ERR Write(const char*, gbm_fd fd, const gbm_header* gbm, const gbm_rgb* gbmrgb, const uint8_t* data,
              const char* opt) {
  const bool os2 = gbm_find_word(opt, "1.1") != nullptr;
  if (os2 && (gbm_find_word(opt, "win") != nullptr || gbm_find_word(opt, "2.0") != nullptr)) return GBM_ERR_BAD_OPTION;
  const int bpp = gbm->bpp;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return GBM_ERR_NOT_SUPP;
  const int w = gbm->w;
  const int h = gbm->h;
  if (os2 && (w > 0xFFFF || h > 0xFFFF)) return GBM_ERR_BAD_SIZE;
  const int n = bpp == 24 ? 0 : 1 << bpp;
  bool invb = gbm_find_word(opt, "invb") != nullptr;

  gbm_rgb palette[256] = {};
  std::copy(gbmrgb, gbmrgb + n, palette);
  if (bpp == 1) {
    const bool inv = gbm_find_word(opt, "inv") != nullptr;
    palette[0] = inv ? gbm_rgb{255, 255, 255} : gbm_rgb{0, 0, 0};
    palette[1] = inv ? gbm_rgb{0, 0, 0} : gbm_rgb{255, 255, 255};
    const int b0 = gbm_brightness(gbmrgb[0]);
    const int b1 = gbm_brightness(gbmrgb[1]);
    if (gbm_find_word(opt, "darkfg") != nullptr && b0 < b1) invb = !invb;
    if (gbm_find_word(opt, "lightfg") != nullptr && b0 >= b1) invb = !invb;
  }

  const int64_t stride = gbm_row_bytes(w, bpp);
  const int64_t size = stride * h;
  const int entrySize = os2 ? 3 : 4;
  const uint32_t offBits = static_cast<uint32_t>(n * entrySize + (os2 ? 26 : 54));

  uint8_t hdr[54] = {};
  hdr[0] = 'B';
  hdr[1] = 'M';
  gbm_put32(hdr + 2, static_cast<uint32_t>(size) + offBits);  // the field keeps the low 32 bits
  gbm_put32(hdr + 10, offBits);
  size_t hdrSize;
  if (os2) {
    gbm_put32(hdr + 14, kCbFixOs2);
    gbm_put16(hdr + 18, static_cast<uint32_t>(w));
    gbm_put16(hdr + 20, static_cast<uint32_t>(h));
    gbm_put16(hdr + 22, 1);
    gbm_put16(hdr + 24, static_cast<uint32_t>(bpp));
    hdrSize = 26;
  } else {
    gbm_put32(hdr + 14, kCbFixWin);
    gbm_put32(hdr + 18, static_cast<uint32_t>(w));
    gbm_put32(hdr + 22, static_cast<uint32_t>(h));
    gbm_put16(hdr + 26, 1);
    gbm_put16(hdr + 28, static_cast<uint32_t>(bpp));
    gbm_put32(hdr + 34, static_cast<uint32_t>(size));
    hdrSize = 54;
  }
  if (!gbm_write_all(fd, hdr, static_cast<int64_t>(hdrSize))) return GBM_ERR_WRITE;

  uint8_t table[4 * 256] = {};
  for (int i = 0; i < n; ++i) {
    uint8_t* e = table + i * entrySize;
    e[0] = palette[i].b;
    e[1] = palette[i].g;
    e[2] = palette[i].r;
  }
  if (!gbm_write_all(fd, table, static_cast<int64_t>(n) * entrySize)) return GBM_ERR_WRITE;
  // The pixels go out bottom row first: all of them are needed.
  if (!gbm_rows_wanted(*gbm, h)) return GBM_ERR_WRITE;
  return WritePixels(fd, data, size, invb);
}

const char* Message(GBM_ERR rc) {
  switch (rc) {
    case GBM_ERR_BMP_PLANES: return "number of bitmap planes is not 1";
    case GBM_ERR_BMP_BITCOUNT: return "bit count not 1, 4, 8 or 24";
    case GBM_ERR_BMP_CBFIX: return "cbFix bad";
    case GBM_ERR_BMP_COMP: return "compression type not uncompressed, RLE4 or RLE8";
    case GBM_ERR_BMP_OFFSET: return "less bitmaps in file than index requested";
    default: return nullptr;
  }
}

}  // namespace

const gbm_format_ops gbm_bmp_ops = {Describe, ReadHeader, ReadPalette, ReadData, Write, Message};

}  // namespace quorvane
