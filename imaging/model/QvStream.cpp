#include "model/QvStream.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "model/QvExcept.h"

namespace quorvane {

int64_t TStream::Size() {
  const int64_t position = Seek(0, TSeekOrigin::soCurrent);
  const int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::ReadBuffer(void* buffer, size_t count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  constexpr size_t kChunk = 1 << 16;
  std::vector<uint8_t> buffer(kChunk);
  int64_t remaining = count;
  while (remaining > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(remaining, kChunk));
    source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    remaining -= static_cast<int64_t>(n);
  }
  return count;
}

// ---- TFileStream ----

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : FFileName(fileName) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case TFileMode::fmOpenRead: flags |= O_RDONLY; break;
    case TFileMode::fmOpenReadWrite: flags |= O_RDWR; break;
    case TFileMode::fmCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  FHandle = ::open(fileName.c_str(), flags, 0644);
  if (FHandle < 0) {
    const char* reason = std::strerror(errno);
    if (mode == TFileMode::fmCreate)
      throw EFCreateError(FormatMessage("Cannot create file \"%s\". %s", fileName.c_str(), reason));
    throw EFOpenError(FormatMessage("Cannot open file \"%s\". %s", fileName.c_str(), reason));
  }
}

TFileStream::TFileStream(int handle, const std::string& fileName) : FHandle(handle), FFileName(fileName) {}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

size_t TFileStream::Read(void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(FHandle, out + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

size_t TFileStream::Write(const void* buffer, size_t count) {
  const auto* in = static_cast<const uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(FHandle, in + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
  return ::lseek(FHandle, offset, whence);
}

// ---- TMemoryStream ----

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (count == 0 || FPosition >= FData.size()) return 0;
  const size_t n = std::min(count, FData.size() - FPosition);
  std::memcpy(buffer, FData.data() + FPosition, n);
  FPosition += n;
  return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  if (FPosition > FData.size() || count > FData.max_size() - FPosition) return 0;
  if (FPosition + count > FData.size()) FData.resize(FPosition + count);
  std::memcpy(FData.data() + FPosition, buffer, count);
  FPosition += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = static_cast<int64_t>(FPosition);
  if (origin == TSeekOrigin::soEnd) base = static_cast<int64_t>(FData.size());
  if ((offset < 0 && base < -offset)) return -1;
  FPosition = static_cast<size_t>(base + offset);
  return static_cast<int64_t>(FPosition);
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, TFileMode::fmOpenRead);
  const int64_t size = file.Size();
  FData.assign(static_cast<size_t>(std::max<int64_t>(size, 0)), 0);
  file.ReadBuffer(FData.data(), FData.size());
  FPosition = 0;
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
  TFileStream file(fileName, TFileMode::fmCreate);
  file.WriteBuffer(FData.data(), FData.size());
}

// ---- TSubStream ----

TSubStream::TSubStream(TStream& base, int64_t offset, int64_t length)
    : FBase(base), FOffset(offset), FLength(std::max<int64_t>(length, 0)) {}

size_t TSubStream::Read(void* buffer, size_t count) {
  if (FPosition >= FLength) return 0;
  const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), FLength - FPosition));
  if (FBase.Seek(FOffset + FPosition, TSeekOrigin::soBeginning) < 0) return 0;
  const size_t got = FBase.Read(buffer, n);
  FPosition += static_cast<int64_t>(got);
  return got;
}

size_t TSubStream::Write(const void*, size_t) { return 0; }

int64_t TSubStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = FPosition;
  if (origin == TSeekOrigin::soEnd) base = FLength;
  if (offset < 0 && base < -offset) return -1;
  FPosition = base + offset;
  return FPosition;
}

}  // namespace quorvane
