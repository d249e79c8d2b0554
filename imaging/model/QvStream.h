// Byte streams: the one I/O abstraction of the library. Codecs read and write through a
// `TStream` and never own it; whoever opens a stream closes it.
//
// Which operations may throw (and so what a callback handed to a C library must guard):
// - Read, Write, Seek, Size, Position, SetPosition report failures through their results (a short
//   count, -1) and never raise for the streams of this header and QvBufferedStream.h, with one
//   exception: TMemoryStream::Write raises std::bad_alloc when the stream cannot grow. A stream
//   class of a caller may raise from any of them.
// - ReadBuffer, WriteBuffer and CopyFrom raise EReadError / EWriteError on short transfers.
// - Constructors of file streams raise EFOpenError / EFCreateError; TBufferedStream::Flush
//   raises EWriteError.
// A C callback therefore runs every stream call, the plain ones included, inside
// TCallbackGuard::Run (model/QvCBridge.h), and the caller rethrows after the C call returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;

  // Transfer up to Count bytes; the result is the number actually transferred.
  virtual size_t Read(void* buffer, size_t count) = 0;
  virtual size_t Write(const void* buffer, size_t count) = 0;
  // Moves the position; the result is the new position from the beginning, or -1 on failure.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  virtual int64_t Size();

  // Exact transfers: raise EReadError "Stream read error" / EWriteError "Stream write error"
  // when fewer bytes move than asked for.
  void ReadBuffer(void* buffer, size_t count);
  void WriteBuffer(const void* buffer, size_t count);
  // Copies Count bytes from Source's position (Count 0: the whole of Source from its start).
  // Returns the number of bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

enum class TFileMode { fmOpenRead, fmOpenReadWrite, fmCreate };

// A stream over a POSIX file. Opening failures raise EFOpenError / EFCreateError.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, TFileMode mode);
  // Takes over Handle, a file already open for the access wanted; FileName is for messages.
  TFileStream(int handle, const std::string& fileName);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  const std::string& FileName() const { return FFileName; }

 private:
  int FHandle = -1;
  std::string FFileName;
};

// A growable stream in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : FData(std::move(data)) {}

  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }

  const std::vector<uint8_t>& Data() const { return FData; }
  std::vector<uint8_t>& Data() { return FData; }
  void Clear() {
    FData.clear();
    FPosition = 0;
  }
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

 private:
  std::vector<uint8_t> FData;
  size_t FPosition = 0;
};

// A read-only window [Offset, Offset + Length) of another stream, positioned from 0. Used where a
// reader must see one extent of a container as a stream of its own.
class TSubStream : public TStream {
 public:
  TSubStream(TStream& base, int64_t offset, int64_t length);
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return FLength; }

 private:
  TStream& FBase;
  int64_t FOffset;
  int64_t FLength;
  int64_t FPosition = 0;
};

}  // namespace quorvane
