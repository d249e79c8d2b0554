// Default file operations over the system's files, the replaceable operation table, the buffer
// check and the byte reader.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "gbm/gbmcodec.h"

// The default operations' handle: a file descriptor of the system.
struct quorvane::gbm_file {
  int fd;
};

namespace quorvane {

namespace {

gbm_fd OpenFile(const char* fn, int mode) {
  if (fn == nullptr) return nullptr;
  int flags = O_CLOEXEC;
  switch (mode & 3) {
    case GBM_O_WRONLY: flags |= O_WRONLY; break;
    case GBM_O_RDWR: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
  }
  if ((mode & GBM_O_CREAT) != 0) flags |= O_CREAT;
  if ((mode & GBM_O_TRUNC) != 0) flags |= O_TRUNC;
  std::unique_ptr<gbm_file> file(new (std::nothrow) gbm_file{-1});
  if (!file) return nullptr;
  file->fd = ::open(fn, flags, 0666);
  if (file->fd < 0) return nullptr;
  return file.release();
}

// Written once by gbm_io_setup at start-up, otherwise only read.
gbm_io_table gIoTable = {gbm_file_open, gbm_file_create, gbm_file_close, gbm_file_lseek, gbm_file_read, gbm_file_write};
gbm_mem_check gMemCheck = nullptr;

}  // namespace

gbm_fd gbm_file_open(const char* fn, int mode) { return OpenFile(fn, mode); }

gbm_fd gbm_file_create(const char* fn, int mode) { return OpenFile(fn, mode | GBM_O_CREAT | GBM_O_TRUNC); }

int gbm_file_close(gbm_fd fd) {
  if (fd == nullptr) return -1;
  const std::unique_ptr<gbm_file> file(fd);
  return ::close(file->fd) == 0 ? 0 : -1;
}

int64_t gbm_file_lseek(gbm_fd fd, int64_t pos, int whence) {
  const int origin = whence == GBM_SEEK_SET ? SEEK_SET : whence == GBM_SEEK_END ? SEEK_END : SEEK_CUR;
  return ::lseek(fd->fd, pos, origin);
}

int64_t gbm_file_read(gbm_fd fd, void* buf, int64_t len) {
  auto* out = static_cast<uint8_t*>(buf);
  int64_t done = 0;
  while (done < len) {
    const ssize_t n = ::read(fd->fd, out + done, static_cast<size_t>(len - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return done > 0 ? done : -1;
    if (n == 0) break;
    done += n;
  }
  return done;
}

int64_t gbm_file_write(gbm_fd fd, const void* buf, int64_t len) {
  const auto* in = static_cast<const uint8_t*>(buf);
  int64_t done = 0;
  while (done < len) {
    const ssize_t n = ::write(fd->fd, in + done, static_cast<size_t>(len - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return done > 0 ? done : -1;
    done += n;
  }
  return done;
}

GBM_ERR gbm_io_setup(gbm_fd (*open)(const char*, int), gbm_fd (*create)(const char*, int), int (*close)(gbm_fd),
                     int64_t (*lseek)(gbm_fd, int64_t, int), int64_t (*read)(gbm_fd, void*, int64_t),
                     int64_t (*write)(gbm_fd, const void*, int64_t)) {
  gIoTable = {open, create, close, lseek, read, write};
  return GBM_ERR_OK;
}

const gbm_io_table& gbm_io() { return gIoTable; }

GBM_ERR gbm_mem_setup(gbm_mem_check allowed) {
  gMemCheck = allowed;
  return GBM_ERR_OK;
}

gbm_mem_check gbm_mem() { return gMemCheck; }

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
