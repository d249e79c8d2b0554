#include "model/QvBufferedStream.h"

#include <algorithm>
#include <cstring>

#include "model/QvExcept.h"

namespace quorvane {

TBufferedStream::TBufferedStream(const std::string& fileName, TFileMode mode)
    : FFile(fileName, mode), FBuffer(kBufferSize) {}

TBufferedStream::TBufferedStream(int handle, const std::string& fileName)
    : FFile(handle, fileName), FBuffer(kBufferSize) {}

TBufferedStream::~TBufferedStream() { WriteBack(); }

bool TBufferedStream::WriteBack() {
  if (!FDirty) return true;
  FDirty = false;
  const size_t length = FBufferLength;
  FBufferLength = 0;
  if (FFile.Seek(FBufferStart, TSeekOrigin::soBeginning) != FBufferStart) return false;
  return FFile.Write(FBuffer.data(), length) == length;
}

void TBufferedStream::Flush() {
  if (!WriteBack()) throw EWriteError("Stream write error");
}

size_t TBufferedStream::Read(void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    if (FPosition >= FBufferStart && FPosition < BufferEnd()) {
      const size_t offset = static_cast<size_t>(FPosition - FBufferStart);
      const size_t n = std::min(count - done, FBufferLength - offset);
      std::memcpy(out + done, FBuffer.data() + offset, n);
      done += n;
      FPosition += static_cast<int64_t>(n);
      continue;
    }
    if (!WriteBack()) break;
    if (FFile.Seek(FPosition, TSeekOrigin::soBeginning) != FPosition) break;
    // Large reads go straight into the caller's buffer.
    if (count - done >= kBufferSize) {
      const size_t n = FFile.Read(out + done, count - done);
      done += n;
      FPosition += static_cast<int64_t>(n);
      break;
    }
    FBufferStart = FPosition;
    FBufferLength = FFile.Read(FBuffer.data(), kBufferSize);
    if (FBufferLength == 0) break;
  }
  return done;
}

size_t TBufferedStream::Write(const void* buffer, size_t count) {
  const auto* in = static_cast<const uint8_t*>(buffer);
  size_t done = 0;
  while (done < count) {
    // Bytes join the buffer when they start inside or right after its dirty range.
    const bool joins = FDirty && FPosition >= FBufferStart && FPosition <= BufferEnd() &&
                       FPosition < FBufferStart + static_cast<int64_t>(kBufferSize);
    if (!joins) {
      if (!WriteBack()) break;
      if (count - done >= kBufferSize) {
        FBufferLength = 0;  // read-ahead bytes this write may overtake
        if (FFile.Seek(FPosition, TSeekOrigin::soBeginning) != FPosition) break;
        const size_t n = FFile.Write(in + done, count - done);
        done += n;
        FPosition += static_cast<int64_t>(n);
        break;
      }
      FBufferStart = FPosition;
      FBufferLength = 0;
      FDirty = true;
    }
    const size_t offset = static_cast<size_t>(FPosition - FBufferStart);
    const size_t n = std::min(count - done, kBufferSize - offset);
    std::memcpy(FBuffer.data() + offset, in + done, n);
    FBufferLength = std::max(FBufferLength, offset + n);
    done += n;
    FPosition += static_cast<int64_t>(n);
  }
  return done;
}

int64_t TBufferedStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = FPosition;
  if (origin == TSeekOrigin::soEnd) base = Size();
  if (base < 0 || base + offset < 0) return -1;
  FPosition = base + offset;
  return FPosition;
}

int64_t TBufferedStream::Size() {
  const int64_t fileSize = FFile.Seek(0, TSeekOrigin::soEnd);
  return FDirty ? std::max(fileSize, BufferEnd()) : fileSize;
}

}  // namespace quorvane
