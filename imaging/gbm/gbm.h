// gbm: a small table-driven library of bitmap-file codecs (BMP, PCX, Targa).
//
// Procedural by design: every call returns a result code (GBM_ERR_OK for success) and never throws;
// the file operations report failures through their results too. The library knows nothing of
// images: it fills plain header and palette records and a pixel buffer supplied by the caller, and
// writes from them.
//
// Pixel buffers hold height x gbm_row_bytes(width, bpp) bytes, rows bottom-up; 1-bit pixels most
// significant bit first, 4-bit pixels high nibble first, 24-bit pixels blue, green, red.
//
// All file access goes through a table of six operations over an opaque file handle; a caller
// with streams of its own installs a table over them (gbm_io_setup) and passes its own handles.
// Buffers that a header sizes are checked against a limit the caller may install (gbm_mem_setup).
// The library keeps no mutable state of its own, so conversions may run on several threads at
// once as long as each uses its own handle and records; the two setup calls are for start-up only.
//
// The library stands alone: it uses the C++ standard library and the system's file calls only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quorvane {

// ---- result codes ----
using GBM_ERR = int;

constexpr GBM_ERR GBM_ERR_OK = 0;
constexpr GBM_ERR GBM_ERR_MEM = 1;
constexpr GBM_ERR GBM_ERR_NOT_SUPP = 2;
constexpr GBM_ERR GBM_ERR_BAD_OPTION = 3;
constexpr GBM_ERR GBM_ERR_NOT_FOUND = 4;
constexpr GBM_ERR GBM_ERR_BAD_MAGIC = 5;
constexpr GBM_ERR GBM_ERR_BAD_SIZE = 6;
constexpr GBM_ERR GBM_ERR_READ = 7;
constexpr GBM_ERR GBM_ERR_WRITE = 8;
constexpr GBM_ERR GBM_ERR_BAD_ARG = 9;

constexpr GBM_ERR GBM_ERR_BMP_PLANES = 300;
constexpr GBM_ERR GBM_ERR_BMP_BITCOUNT = 301;
constexpr GBM_ERR GBM_ERR_BMP_CBFIX = 302;
constexpr GBM_ERR GBM_ERR_BMP_COMP = 303;
constexpr GBM_ERR GBM_ERR_BMP_OFFSET = 304;

constexpr GBM_ERR GBM_ERR_TGA_BAD_BPP = 400;
constexpr GBM_ERR GBM_ERR_TGA_BAD_TYPE = 401;
constexpr GBM_ERR GBM_ERR_TGA_BAD_PAL = 402;

constexpr GBM_ERR GBM_ERR_PCX_BAD_VERSION = 700;
constexpr GBM_ERR GBM_ERR_PCX_BAD_ENCMODE = 701;
constexpr GBM_ERR GBM_ERR_PCX_BAD_BITS = 702;
constexpr GBM_ERR GBM_ERR_PCX_BAD_TRAILER = 703;

// ---- records ----

// Capability flags of a format.
constexpr uint32_t GBM_FT_R1 = 0x01;
constexpr uint32_t GBM_FT_R4 = 0x02;
constexpr uint32_t GBM_FT_R8 = 0x04;
constexpr uint32_t GBM_FT_R24 = 0x08;
constexpr uint32_t GBM_FT_W1 = 0x10;
constexpr uint32_t GBM_FT_W4 = 0x20;
constexpr uint32_t GBM_FT_W8 = 0x40;
constexpr uint32_t GBM_FT_W24 = 0x80;

struct gbm_filetype {
  const char* short_name;
  const char* long_name;
  const char* extensions;  // separated by spaces
  uint32_t flags;
};

constexpr size_t GBM_PRIV_SIZE = 2000;

// Zeroed by the caller before the header read; the same record is then passed to the palette and
// data reads of that image, which find in `priv` what the header reader kept for them.
struct gbm_header {
  int32_t w;
  int32_t h;
  int32_t bpp;  // 1, 4, 8 or 24 after a successful header read
  uint8_t priv[GBM_PRIV_SIZE];
  uint32_t warn;  // GBM_WARN_* bits: problems the palette and data readers met and survived
  // Optional, for a caller that writes a picture while it is still being read (rows_ctx is the
  // caller's): a data reader calls rows_done with the number of rows, from the top of the
  // picture, whose bytes are final; a writer calls rows_wanted before it uses rows from the top
  // and fails with GBM_ERR_WRITE when the answer is false. Not called while null.
  void (*rows_done)(void* ctx, int rows);
  bool (*rows_wanted)(void* ctx, int rows);
  void* rows_ctx;
};

// The hooks of a header, for the codecs.
inline void gbm_rows_done(const gbm_header& gbm, int rows) {
  if (gbm.rows_done != nullptr) gbm.rows_done(gbm.rows_ctx, rows);
}
inline bool gbm_rows_wanted(const gbm_header& gbm, int rows) {
  return gbm.rows_wanted == nullptr || gbm.rows_wanted(gbm.rows_ctx, rows);
}

// The file ended inside the pixel data; the rest of the picture is what the format's rules fill
// in for missing data.
constexpr uint32_t GBM_WARN_DATA_ENDED = 0x01;
// The file ended inside the palette; the missing entries are black.
constexpr uint32_t GBM_WARN_PALETTE_ENDED = 0x02;

struct gbm_rgb {
  uint8_t r;
  uint8_t g;
  uint8_t b;
};

// Stride of one pixel-buffer row: ((w * bpp + 31) div 32) * 4, computed without overflow.
inline int64_t gbm_row_bytes(int64_t w, int bpp) { return ((w * bpp + 31) / 32) * 4; }

// ---- file operations ----

// The handle of the file operations. Opaque to the library, which only hands it back to the
// operations of the table in use: the default operations make handles of their own in
// gbm_file_open/create; a table a caller installs takes the caller's handles.
struct gbm_file;
using gbm_fd = gbm_file*;

// Access flags of gbm_file_open: the low two bits pick the access, the others add to it.
constexpr int GBM_O_RDONLY = 0x0000;
constexpr int GBM_O_WRONLY = 0x0001;
constexpr int GBM_O_RDWR = 0x0002;
constexpr int GBM_O_CREAT = 0x0100;
constexpr int GBM_O_TRUNC = 0x0200;

constexpr int GBM_SEEK_SET = 0;
constexpr int GBM_SEEK_CUR = 1;
constexpr int GBM_SEEK_END = 2;

struct gbm_io_table {
  gbm_fd (*open)(const char* fn, int mode);
  gbm_fd (*create)(const char* fn, int mode);
  int (*close)(gbm_fd fd);
  int64_t (*lseek)(gbm_fd fd, int64_t pos, int whence);
  int64_t (*read)(gbm_fd fd, void* buf, int64_t len);
  int64_t (*write)(gbm_fd fd, const void* buf, int64_t len);
};

// The default operations, over the system's files. Opens Fn (nullptr when it cannot be opened);
// the handle belongs to the caller until gbm_file_close releases it.
gbm_fd gbm_file_open(const char* fn, int mode);
// The same with GBM_O_CREAT | GBM_O_TRUNC added.
gbm_fd gbm_file_create(const char* fn, int mode);
// Closes a handle made by gbm_file_open/create: 0, or -1 if that failed.
int gbm_file_close(gbm_fd fd);
// Origin GBM_SEEK_SET or GBM_SEEK_END, anything else counts as GBM_SEEK_CUR; the new position
// or -1.
int64_t gbm_file_lseek(gbm_fd fd, int64_t pos, int whence);
// Up to Len bytes; fewer at the end of the data, 0 past it.
int64_t gbm_file_read(gbm_fd fd, void* buf, int64_t len);
int64_t gbm_file_write(gbm_fd fd, const void* buf, int64_t len);

// Replaces all six operations at once; returns 0. Start-up only: not while conversions run.
// The operations must not throw: they report failures through their results.
GBM_ERR gbm_io_setup(gbm_fd (*open)(const char*, int), gbm_fd (*create)(const char*, int), int (*close)(gbm_fd),
                     int64_t (*lseek)(gbm_fd, int64_t, int), int64_t (*read)(gbm_fd, void*, int64_t),
                     int64_t (*write)(gbm_fd, const void*, int64_t));

// ---- memory ----

// Decides whether a buffer of Bytes bytes, sized from a file's header, may be allocated.
using gbm_mem_check = bool (*)(uint64_t bytes);
// Installs the check (nullptr: every size that the system can allocate); returns 0. Start-up only.
GBM_ERR gbm_mem_setup(gbm_mem_check allowed);

// ---- buffered byte reader of the run-length decoders ----

constexpr int GBM_BYTE_READER_SIZE = 16384;

struct gbm_byte_reader {
  std::unique_ptr<uint8_t[]> buf;  // GBM_BYTE_READER_SIZE bytes
  int32_t inx = 0;                 // read position in buf
  int32_t cnt = 0;                 // valid bytes in buf
  gbm_fd fd = nullptr;
};

// A reader over Fd, or nullptr when its buffer cannot be allocated (result code 1 for the caller).
std::unique_ptr<gbm_byte_reader> gbm_create_byte_reader(gbm_fd fd);
// Refills the buffer; the next byte, or -1 at the end of the data.
int gbm_refill_byte_reader(gbm_byte_reader& reader);

// The next byte (0..255), or -1 at the end of the data; every later call reads again and
// returns -1 again.
inline int gbm_read_byte(gbm_byte_reader& reader) {
  if (reader.inx < reader.cnt) return reader.buf[static_cast<size_t>(reader.inx++)];
  return gbm_refill_byte_reader(reader);
}

// Copies the next N bytes to Dst; bytes past the end of the data become 255. Returns the number
// of bytes that came from the data.
size_t gbm_read_bytes(gbm_byte_reader& reader, uint8_t* dst, size_t n);

// ---- library calls ----

GBM_ERR gbm_init();
GBM_ERR gbm_deinit();
GBM_ERR gbm_query_n_filetypes(int* n_ft);
// Format index of the file name's extension (text after the last "." not followed by "/" or "\").
GBM_ERR gbm_guess_filetype(const char* fn, int* ft);
GBM_ERR gbm_query_filetype(int ft, gbm_filetype* gbmft);
// Ft must come from gbm_guess_filetype. The header is read from the current position of Fd,
// everything else from absolute positions.
GBM_ERR gbm_read_header(const char* fn, gbm_fd fd, int ft, gbm_header* gbm, const char* opt);
// Palette: 256 entries; the reader fills 2, 16 or 256 of them.
GBM_ERR gbm_read_palette(gbm_fd fd, int ft, gbm_header* gbm, gbm_rgb* gbmrgb);
GBM_ERR gbm_read_data(gbm_fd fd, int ft, gbm_header* gbm, uint8_t* data);
GBM_ERR gbm_write(const char* fn, gbm_fd fd, int ft, const gbm_header* gbm, const gbm_rgb* gbmrgb, const uint8_t* data,
                  const char* opt);
// Message text of a result code; "general error" for codes no format knows.
const char* gbm_err(GBM_ERR rc);
// Position in Opt of the first whole word equal to Word (ASCII case ignored; words separated by
// spaces, tabs and commas), or nullptr.
const char* gbm_find_word(const char* opt, const char* word);

}  // namespace quorvane
