// Targa codec: colour-mapped (types 1, 9), true-colour (2, 10) and gray (3, 11) files, read as
// 8 or 24-bit pictures; written uncompressed as 8-bit colour-mapped or 16, 24, 32-bit true colour.
#include <algorithm>
#include <cstring>

#include "gbm/gbmcodec.h"

namespace quorvane {

namespace {

constexpr int kHeaderSize = 18;

struct TgaPriv {
  uint8_t hdr[kHeaderSize];  // the file header as read
};

struct TgaHeader {
  int idLength, cmType, type, cmFirst, cmLength, cmEntryBits, width, height, depth, descriptor;

  explicit TgaHeader(const uint8_t* h)
      : idLength(h[0]),
        cmType(h[1]),
        type(h[2]),
        cmFirst(gbm_get16(h + 3)),
        cmLength(gbm_get16(h + 5)),
        cmEntryBits(h[7]),
        width(gbm_get16(h + 12)),
        height(gbm_get16(h + 14)),
        depth(h[16]),
        descriptor(h[17]) {}

  bool TopDown() const { return (descriptor & 0x20) != 0; }
  bool Compressed() const { return type >= 9; }
  // Bytes the colour map occupies; 15-bit entries take 16 bits.
  int64_t ColourMapBytes() const {
    const int entryBits = cmEntryBits == 15 ? 16 : cmEntryBits;
    return static_cast<int64_t>(cmLength) * entryBits / 8;
  }
};

GBM_ERR Describe(gbm_filetype* gbmft) {
  *gbmft = {"Targa", "Truevision Targa/Vista bitmap", "TGA VST AFI", 0xCC};
  return GBM_ERR_OK;
}

GBM_ERR CheckTypeAndDepth(const TgaHeader& t) {
  switch (t.type) {
    case 1:
    case 9:
      if (t.depth != 8) return GBM_ERR_TGA_BAD_BPP;
      if (t.cmEntryBits != 24) return GBM_ERR_TGA_BAD_PAL;
      return GBM_ERR_OK;
    case 2:
    case 10:
      if (t.depth != 16 && t.depth != 24 && t.depth != 32) return GBM_ERR_TGA_BAD_BPP;
      return GBM_ERR_OK;
    case 3:
    case 11:
      if (t.depth != 8) return GBM_ERR_TGA_BAD_BPP;
      return GBM_ERR_OK;
    default: return GBM_ERR_TGA_BAD_TYPE;
  }
}

GBM_ERR ReadHeader(const char*, gbm_fd fd, gbm_header* gbm, const char*) {
  TgaPriv priv{};
  // A stream too short for the fixed header cannot be a Targa file.
  if (!gbm_read_all(fd, priv.hdr, kHeaderSize)) return GBM_ERR_READ;
  const TgaHeader t(priv.hdr);
  if (const GBM_ERR rc = CheckTypeAndDepth(t)) return rc;
  if (t.width == 0 || t.height == 0) return GBM_ERR_BAD_SIZE;
  gbm->w = t.width;
  gbm->h = t.height;
  gbm->bpp = t.depth == 8 ? 8 : 24;
  gbm_store_priv(*gbm, priv);
  return GBM_ERR_OK;
}

GBM_ERR ReadPalette(gbm_fd fd, gbm_header* gbm, gbm_rgb* gbmrgb) {
  const TgaHeader t(gbm_load_priv<TgaPriv>(*gbm).hdr);
  switch (t.type) {
    case 1:
    case 9: {
      for (int i = 0; i < 256; ++i) gbmrgb[i] = {0, 0, 0};
      // Entries past index 255 have no place in the palette and are not read.
      const int count = std::clamp(256 - t.cmFirst, 0, t.cmLength);
      if (count == 0) return GBM_ERR_OK;
      uint8_t map[3 * 256];
      if (gbm_lseek(fd, kHeaderSize + t.idLength, GBM_SEEK_SET) < 0) return GBM_ERR_READ;
      if (!gbm_read_all(fd, map, 3 * count)) return GBM_ERR_READ;
      for (int i = 0; i < count; ++i) gbmrgb[t.cmFirst + i] = {map[3 * i + 2], map[3 * i + 1], map[3 * i]};
      return GBM_ERR_OK;
    }
    case 3:
    case 11:
      for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(i);
        gbmrgb[i] = {v, v, v};
      }
      return GBM_ERR_OK;
    default: return GBM_ERR_OK;
  }
}

// 16-bit words stored at byte offset W of a row become blue, green, red triples at its start;
// each word lies at or after the bytes it expands into, so left to right is safe.
void Expand16(uint8_t* row, int w) {
  const uint8_t* src = row + w;
  for (int x = 0; x < w; ++x) {
    const unsigned word = gbm_get16(src + 2 * x);
    uint8_t* p = row + 3 * x;
    p[0] = static_cast<uint8_t>((word & 0x1F) << 3);
    p[1] = static_cast<uint8_t>(((word >> 5) & 0x1F) << 3);
    p[2] = static_cast<uint8_t>(((word >> 10) & 0x1F) << 3);
  }
}

GBM_ERR ReadUncompressed(gbm_fd fd, const TgaHeader& t, uint8_t* data, size_t stride) {
  const int w = t.width;
  std::unique_ptr<uint8_t[]> wide;
  if (t.depth == 32) {
    wide = gbm_alloc<uint8_t>(4 * static_cast<size_t>(w));
    if (!wide) return GBM_ERR_MEM;
  }
  for (int i = 0; i < t.height; ++i) {
    const int y = t.TopDown() ? t.height - 1 - i : i;
    uint8_t* row = data + static_cast<size_t>(y) * stride;
    switch (t.depth) {
      case 8:
        if (!gbm_read_all(fd, row, w)) return GBM_ERR_READ;
        break;
      case 16:
        if (!gbm_read_all(fd, row + w, 2 * static_cast<int64_t>(w))) return GBM_ERR_READ;
        Expand16(row, w);
        break;
      case 24:
        if (!gbm_read_all(fd, row, 3 * static_cast<int64_t>(w))) return GBM_ERR_READ;
        break;
      default:
        if (!gbm_read_all(fd, wide.get(), 4 * static_cast<int64_t>(w))) return GBM_ERR_READ;
        for (int x = 0; x < w; ++x) std::memcpy(row + 3 * x, wide.get() + 4 * x, 3);
        break;
    }
  }
  return GBM_ERR_OK;
}

// Run-length decoding for one pixel size. Pixels are stored where an uncompressed row would put
// them (16-bit words at row offset W, expanded afterwards); packets may run on into the next
// row, and whatever lies past the last pixel of the picture is ignored. Ended is set when the
// data ends inside a packet (its missing bytes read as 255).
template <int FileBytes>
GBM_ERR DecodeRuns(gbm_byte_reader& reader, const TgaHeader& t, uint8_t* data, size_t stride, bool& ended) {
  constexpr int kStoreBytes = FileBytes == 4 ? 3 : FileBytes;
  const int w = t.width;
  const int h = t.height;
  const size_t rowOffset = FileBytes == 2 ? static_cast<size_t>(w) : 0;
  int row = 0;
  int column = 0;
  uint8_t* p = nullptr;
  auto startRow = [&]() {
    const int y = t.TopDown() ? h - 1 - row : row;
    p = data + static_cast<size_t>(y) * stride + rowOffset;
  };
  startRow();
  uint8_t value[4];
  while (row < h) {
    const int c = gbm_read_byte(reader);
    if (c < 0) return GBM_ERR_READ;
    int count = (c & 0x7F) + 1;
    const bool run = (c & 0x80) != 0;
    auto read = [&](uint8_t* dst, size_t n) {
      if (gbm_read_bytes(reader, dst, n) < n) ended = true;
    };
    if (run) read(value, FileBytes);
    while (count > 0 && row < h) {
      const int n = std::min(count, w - column);
      if (run) {
        for (int i = 0; i < n; ++i, p += kStoreBytes) std::memcpy(p, value, kStoreBytes);
      } else if (FileBytes != 4) {
        read(p, static_cast<size_t>(n) * FileBytes);
        p += static_cast<size_t>(n) * FileBytes;
      } else {
        for (int i = 0; i < n; ++i, p += 3) {
          read(value, 4);
          std::memcpy(p, value, 3);
        }
      }
      count -= n;
      column += n;
      if (column == w) {
        column = 0;
        if (++row < h) startRow();
      }
    }
  }
  return GBM_ERR_OK;
}

GBM_ERR ReadCompressed(gbm_fd fd, const TgaHeader& t, uint8_t* data, size_t stride, uint32_t& warn) {
  std::unique_ptr<gbm_byte_reader> reader = gbm_create_byte_reader(fd);
  if (!reader) return GBM_ERR_MEM;
  GBM_ERR rc;
  bool ended = false;
  switch (t.depth) {
    case 8: rc = DecodeRuns<1>(*reader, t, data, stride, ended); break;
    case 16: rc = DecodeRuns<2>(*reader, t, data, stride, ended); break;
    case 24: rc = DecodeRuns<3>(*reader, t, data, stride, ended); break;
    default: rc = DecodeRuns<4>(*reader, t, data, stride, ended); break;
  }
  if (rc == GBM_ERR_OK && ended) warn |= GBM_WARN_DATA_ENDED;
  if (t.depth == 16)
    for (int y = 0; y < t.height; ++y) Expand16(data + static_cast<size_t>(y) * stride, t.width);
  return rc;
}

GBM_ERR ReadData(gbm_fd fd, gbm_header* gbm, uint8_t* data) {
  const TgaHeader t(gbm_load_priv<TgaPriv>(*gbm).hdr);
  int64_t start = kHeaderSize + t.idLength;
  if (t.cmType != 0) start += t.ColourMapBytes();
  if (gbm_lseek(fd, start, GBM_SEEK_SET) < 0) return GBM_ERR_READ;
  const size_t stride = static_cast<size_t>(gbm_row_bytes(t.width, gbm->bpp));
  return t.Compressed() ? ReadCompressed(fd, t, data, stride, gbm->warn) : ReadUncompressed(fd, t, data, stride);
}

GBM_ERR Write(const char*, gbm_fd fd, const gbm_header* gbm, const gbm_rgb* gbmrgb, const uint8_t* data,
              const char* opt) {
  const bool o16 = gbm_find_word(opt, "16") != nullptr;
  const bool o24 = gbm_find_word(opt, "24") != nullptr;
  const bool o32 = gbm_find_word(opt, "32") != nullptr;
  const bool yup = gbm_find_word(opt, "yup") != nullptr;
  const bool ydown = gbm_find_word(opt, "ydown") != nullptr;
  int depth;
  if (gbm->bpp == 24) {
    if (int(o16) + int(o24) + int(o32) > 1) return GBM_ERR_BAD_OPTION;
    depth = o16 ? 16 : o32 ? 32 : 24;
  } else if (gbm->bpp == 8) {
    if (o16 || o24 || o32) return GBM_ERR_BAD_OPTION;
    depth = 8;
  } else {
    return GBM_ERR_NOT_SUPP;
  }
  if (yup && ydown) return GBM_ERR_BAD_OPTION;
  const int w = gbm->w;
  const int h = gbm->h;
  if (w > 0xFFFF || h > 0xFFFF) return GBM_ERR_BAD_SIZE;

  uint8_t hdr[kHeaderSize] = {};
  hdr[1] = depth == 8 ? 1 : 0;
  hdr[2] = depth == 8 ? 1 : 2;
  gbm_put16(hdr + 5, depth == 8 ? 256 : 0);
  hdr[7] = depth == 8 ? 24 : 0;
  gbm_put16(hdr + 12, static_cast<uint32_t>(w));
  gbm_put16(hdr + 14, static_cast<uint32_t>(h));
  hdr[16] = static_cast<uint8_t>(depth);
  hdr[17] = ydown ? 0x20 : 0;
  if (!gbm_write_all(fd, hdr, kHeaderSize)) return GBM_ERR_WRITE;

  if (depth == 8) {
    uint8_t map[3 * 256];
    for (int i = 0; i < 256; ++i) {
      map[3 * i] = gbmrgb[i].b;
      map[3 * i + 1] = gbmrgb[i].g;
      map[3 * i + 2] = gbmrgb[i].r;
    }
    if (!gbm_write_all(fd, map, sizeof map)) return GBM_ERR_WRITE;
  }

  const size_t rowBytes = static_cast<size_t>(w) * static_cast<size_t>(depth / 8);
  std::unique_ptr<uint8_t[]> buf;
  if (depth == 16 || depth == 32) {
    buf = gbm_alloc<uint8_t>(rowBytes);
    if (!buf) return GBM_ERR_MEM;
  }
  const size_t stride = static_cast<size_t>(gbm_row_bytes(w, gbm->bpp));
  // Rows go out from the bottom up (or with "ydown" from the top): all of them are needed.
  if (!gbm_rows_wanted(*gbm, h)) return GBM_ERR_WRITE;
  for (int i = 0; i < h; ++i) {
    const int y = ydown ? h - 1 - i : i;
    const uint8_t* row = data + static_cast<size_t>(y) * stride;
    const uint8_t* out = row;
    if (depth == 16) {
      for (int x = 0; x < w; ++x) {
        const uint8_t* s = row + 3 * x;
        gbm_put16(buf.get() + 2 * x, static_cast<uint32_t>((s[2] >> 3) << 10 | (s[1] >> 3) << 5 | (s[0] >> 3)));
      }
      out = buf.get();
    } else if (depth == 32) {
      for (int x = 0; x < w; ++x) {
        std::memcpy(buf.get() + 4 * x, row + 3 * x, 3);
        buf[4 * x + 3] = 0xFF;  // opaque, for readers that take the fourth byte as alpha
      }
      out = buf.get();
    }
    if (!gbm_write_all(fd, out, static_cast<int64_t>(rowBytes))) return GBM_ERR_WRITE;
  }
  return GBM_ERR_OK;
}

const char* Message(GBM_ERR rc) {
  switch (rc) {
    case GBM_ERR_TGA_BAD_BPP: return "bits per pixel not 8, 16, 24 or 32";
    case GBM_ERR_TGA_BAD_TYPE: return "unsupported compression type for bits per pixel";
    case GBM_ERR_TGA_BAD_PAL: return "color map entry size not 24 bits per pixel";
    default: return nullptr;
  }
}

}  // namespace

const gbm_format_ops gbm_tga_ops = {Describe, ReadHeader, ReadPalette, ReadData, Write, Message};

}  // namespace quorvane
