// Default file operations over TStream, the replaceable operation table and the byte reader.
#include <algorithm>
#include <cstring>
#include <exception>

#include "gbm/gbmcodec.h"

namespace quorvane {

namespace {

TStream* OpenFileStream(const char* fn, int mode) {
  if (fn == nullptr) return nullptr;
  TFileMode fileMode = TFileMode::fmOpenRead;
  if ((mode & GBM_O_CREAT) != 0)
    fileMode = TFileMode::fmCreate;
  else if ((mode & 3) != GBM_O_RDONLY)
    fileMode = TFileMode::fmOpenReadWrite;
  try {
    return std::make_unique<TFileStream>(fn, fileMode).release();
  } catch (const std::exception&) {
    return nullptr;
  }
}

// Written once by gbm_io_setup at start-up, otherwise only read.
gbm_io_table gIoTable = {gbm_file_open, gbm_file_create, gbm_file_close, gbm_file_lseek, gbm_file_read, gbm_file_write};

}  // namespace

gbm_fd gbm_file_open(const char* fn, int mode) { return OpenFileStream(fn, mode); }

gbm_fd gbm_file_create(const char* fn, int mode) { return OpenFileStream(fn, mode | GBM_O_CREAT | GBM_O_TRUNC); }

int gbm_file_close(gbm_fd fd) {
  if (fd == nullptr) return -1;
  std::unique_ptr<TStream> owned(fd);
  return 0;
}

int64_t gbm_file_lseek(gbm_fd fd, int64_t pos, int whence) {
  const TSeekOrigin origin = whence == GBM_SEEK_SET   ? TSeekOrigin::soBeginning
                             : whence == GBM_SEEK_END ? TSeekOrigin::soEnd
                                                      : TSeekOrigin::soCurrent;
  return fd->Seek(pos, origin);
}

int64_t gbm_file_read(gbm_fd fd, void* buf, int64_t len) {
  if (len <= 0) return 0;
  return static_cast<int64_t>(fd->Read(buf, static_cast<size_t>(len)));
}

int64_t gbm_file_write(gbm_fd fd, const void* buf, int64_t len) {
  if (len <= 0) return 0;
  return static_cast<int64_t>(fd->Write(buf, static_cast<size_t>(len)));
}

GBM_ERR gbm_io_setup(gbm_fd (*open)(const char*, int), gbm_fd (*create)(const char*, int), int (*close)(gbm_fd),
                     int64_t (*lseek)(gbm_fd, int64_t, int), int64_t (*read)(gbm_fd, void*, int64_t),
                     int64_t (*write)(gbm_fd, const void*, int64_t)) {
  gIoTable = {open, create, close, lseek, read, write};
  return GBM_ERR_OK;
}

const gbm_io_table& gbm_io() { return gIoTable; }

std::unique_ptr<gbm_byte_reader> gbm_create_byte_reader(gbm_fd fd) {
  std::unique_ptr<gbm_byte_reader> reader(new (std::nothrow) gbm_byte_reader);
  if (!reader) return nullptr;
  reader->buf.reset(new (std::nothrow) uint8_t[GBM_BYTE_READER_SIZE]);
  if (!reader->buf) return nullptr;
  reader->fd = fd;
  return reader;
}

int gbm_refill_byte_reader(gbm_byte_reader& reader) {
  const int64_t n = gbm_read(reader.fd, reader.buf.get(), GBM_BYTE_READER_SIZE);
  if (n <= 0) {
    reader.cnt = static_cast<int32_t>(std::max<int64_t>(n, -1));
    reader.inx = reader.cnt;
    return -1;
  }
  reader.cnt = static_cast<int32_t>(n);
  reader.inx = 1;
  return reader.buf[0];
}

size_t gbm_read_bytes(gbm_byte_reader& reader, uint8_t* dst, size_t n) {
  size_t done = 0;
  while (done < n) {
    if (reader.inx >= reader.cnt) {
      const int b = gbm_refill_byte_reader(reader);
      if (b < 0) {
        std::memset(dst + done, 0xFF, n - done);
        return done;
      }
      reader.inx = 0;
    }
    const size_t avail = static_cast<size_t>(reader.cnt - reader.inx);
    const size_t take = std::min(avail, n - done);
    std::memcpy(dst + done, reader.buf.get() + reader.inx, take);
    reader.inx += static_cast<int32_t>(take);
    done += take;
  }
  return done;
}

}  // namespace quorvane
