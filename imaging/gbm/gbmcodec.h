// Internal interface between the library core and its codecs: the operations of one format row,
// the file-operation table in use, and small helpers the codecs share.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "gbm/gbm.h"

namespace quorvane {

struct gbm_format_ops {
  GBM_ERR (*describe)(gbm_filetype* gbmft);
  GBM_ERR (*read_header)(const char* fn, gbm_fd fd, gbm_header* gbm, const char* opt);
  GBM_ERR (*read_palette)(gbm_fd fd, gbm_header* gbm, gbm_rgb* gbmrgb);
  GBM_ERR (*read_data)(gbm_fd fd, gbm_header* gbm, uint8_t* data);
  GBM_ERR(*write)
  (const char* fn, gbm_fd fd, const gbm_header* gbm, const gbm_rgb* gbmrgb, const uint8_t* data, const char* opt);
  const char* (*message)(GBM_ERR rc);
};

// The file operations in use (the defaults unless gbm_io_setup replaced them).
const gbm_io_table& gbm_io();

inline int64_t gbm_lseek(gbm_fd fd, int64_t pos, int whence) { return gbm_io().lseek(fd, pos, whence); }
inline int64_t gbm_read(gbm_fd fd, void* buf, int64_t len) { return gbm_io().read(fd, buf, len); }
inline int64_t gbm_write_bytes(gbm_fd fd, const void* buf, int64_t len) { return gbm_io().write(fd, buf, len); }
// True when exactly Len bytes moved.
inline bool gbm_read_all(gbm_fd fd, void* buf, int64_t len) { return gbm_read(fd, buf, len) == len; }
inline bool gbm_write_all(gbm_fd fd, const void* buf, int64_t len) { return gbm_write_bytes(fd, buf, len) == len; }

// The buffer check installed by gbm_mem_setup, or nullptr.
gbm_mem_check gbm_mem();

// A zeroed array of N elements, or nullptr when it cannot be allocated or the installed check
// refuses its size. Every buffer sized from a file comes from here.
template <typename T>
std::unique_ptr<T[]> gbm_alloc(size_t n) {
  static_assert(std::is_trivial_v<T>);
  if (n > SIZE_MAX / sizeof(T)) return nullptr;
  if (const gbm_mem_check allowed = gbm_mem(); allowed != nullptr && !allowed(uint64_t{n} * sizeof(T))) return nullptr;
  std::unique_ptr<T[]> p(new (std::nothrow) T[n]);
  if (p) std::memset(p.get(), 0, n * sizeof(T));
  return p;
}

// The private area of a header holds a codec's own record; copied in and out so that no alignment
// or aliasing assumptions are made about the byte array.
template <typename T>
void gbm_store_priv(gbm_header& gbm, const T& priv) {
  static_assert(std::is_trivially_copyable_v<T> && sizeof(T) <= GBM_PRIV_SIZE);
  std::memcpy(gbm.priv, &priv, sizeof(T));
}
template <typename T>
T gbm_load_priv(const gbm_header& gbm) {
  static_assert(std::is_trivially_copyable_v<T> && sizeof(T) <= GBM_PRIV_SIZE);
  T priv;
  std::memcpy(&priv, gbm.priv, sizeof(T));
  return priv;
}

inline uint16_t gbm_get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t gbm_get32(const uint8_t* p) {
  return static_cast<uint32_t>(gbm_get16(p)) | (static_cast<uint32_t>(gbm_get16(p + 2)) << 16);
}
inline void gbm_put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void gbm_put32(uint8_t* p, uint32_t v) {
  gbm_put16(p, v & 0xFFFF);
  gbm_put16(p + 2, v >> 16);
}

// Brightness used to decide which of two palette entries is the foreground.
inline int gbm_brightness(const gbm_rgb& c) { return 30 * c.r + 60 * c.g + 10 * c.b; }

// The codecs, in the order of the format table.
extern const gbm_format_ops gbm_bmp_ops;
extern const gbm_format_ops gbm_pcx_ops;
extern const gbm_format_ops gbm_tga_ops;

}  // namespace quorvane
