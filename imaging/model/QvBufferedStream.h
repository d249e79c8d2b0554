// A file stream with one buffer in front of the system calls, for codecs that read and write in
// small pieces. Reads fill the buffer ahead; writes collect in it and go to the file when it is
// full, when the stream moves elsewhere, on Flush and on destruction. Reading and writing may be
// mixed, as containers that update their own tables do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/QvStream.h"

namespace quorvane {

class TBufferedStream : public TStream {
 public:
  static constexpr size_t kBufferSize = 256 * 1024;

  // Opening failures raise as TFileStream's do.
  TBufferedStream(const std::string& fileName, TFileMode mode);
  // Takes over Handle, a file already open for the access wanted; FileName is for messages.
  TBufferedStream(int handle, const std::string& fileName);
  // Writes what is still buffered; errors are lost here, so writers call Flush first.
  ~TBufferedStream() override;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;

  // Writes the buffered bytes; raises EWriteError "Stream write error" when the file takes fewer.
  void Flush();

 private:
  bool WriteBack();
  int64_t BufferEnd() const { return FBufferStart + static_cast<int64_t>(FBufferLength); }

  TFileStream FFile;
  std::vector<uint8_t> FBuffer;
  int64_t FPosition = 0;     // the stream's position
  int64_t FBufferStart = 0;  // file position of FBuffer[0]
  size_t FBufferLength = 0;  // valid bytes in FBuffer
  bool FDirty = false;       // FBuffer holds bytes not yet in the file
};

}  // namespace quorvane
