// Reading a whole file through memory: the file is mapped read-only and reads copy straight from
// its pages, with no system call and no buffer in between (a large picture is read with one copy
// of its bytes instead of two). Files that cannot be mapped (pipes, devices, empty files) are read
// through a buffered stream instead; OpenFileForReading chooses.
//
// A mapped file that another program cuts short while it is read would end the process (the
// system signals SIGBUS on the pages that are gone). Reads therefore copy under a guard: such a
// read fails (returns 0), as reading past the end of a file does, and the stream reads nothing
// more. The guard's SIGBUS handler is installed with the first mapped stream; a fault outside a
// guarded copy goes on to the handler that was there before, or to the default action.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "model/QvStream.h"

namespace quorvane {

class TMappedFileStream : public TStream {
 public:
  // Maps the file open on Handle, which stays the caller's: nullptr when it is not a regular,
  // non-empty file or cannot be mapped. FileName is for messages.
  static std::unique_ptr<TMappedFileStream> TryMap(int handle, const std::string& fileName);
  ~TMappedFileStream() override;
  TMappedFileStream(const TMappedFileStream&) = delete;
  TMappedFileStream& operator=(const TMappedFileStream&) = delete;

  size_t Read(void* buffer, size_t count) override;
  // Read-only: writes nothing.
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(FSize); }
  const std::string& FileName() const { return FFileName; }

 private:
  TMappedFileStream(const uint8_t* memory, size_t size, std::string fileName);

  const uint8_t* FMemory;
  size_t FSize;
  size_t FPosition = 0;
  bool FFailed = false;  // the file was cut short under a read
  std::string FFileName;
};

// Opens a file for reading: mapped where possible, else buffered (model/QvBufferedStream.h).
// Raises EFOpenError "Cannot open file "%s". <reason>" as TFileStream does.
std::unique_ptr<TStream> OpenFileForReading(const std::string& fileName);

}  // namespace quorvane
