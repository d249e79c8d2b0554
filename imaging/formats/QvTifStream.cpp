#include "formats/QvTifStream.h"

#include <tiffio.h>

#include <fcntl.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "model/QvLimits.h"

namespace quorvane {

void RaiseTiffError(const std::string& detail) { throw ETiffError("ETiffError " + detail); }

void SilenceTiffHandlers() {
  static std::once_flag once;
  std::call_once(once, []() {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
}

namespace {

using TClient = TTiffHandle::TClient;

TClient& ClientOf(thandle_t handle) { return *static_cast<TClient*>(handle); }

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  TClient& c = ClientOf(handle);
  if (size < 0) return -1;
  return c.Guard.Run(tmsize_t{-1},
                     [&]() { return static_cast<tmsize_t>(c.Stream->Read(buffer, static_cast<size_t>(size))); });
}

// libtiff seeks past the end to keep tag data on word boundaries and expects the gap to read as
// zeros, as with files; streams that cannot write past their end get the gap filled first.
bool FillGapBeforeWrite(TStream& stream) {
  const int64_t position = stream.Position();
  const int64_t size = stream.Size();
  if (position <= size) return position >= 0;
  const std::vector<uint8_t> zeros(static_cast<size_t>(std::min<int64_t>(position - size, 4096)), 0);
  if (stream.Seek(0, TSeekOrigin::soEnd) != size) return false;
  for (int64_t left = position - size; left > 0;) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(zeros.size())));
    if (stream.Write(zeros.data(), n) != n) return false;
    left -= static_cast<int64_t>(n);
  }
  return true;
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
  TClient& c = ClientOf(handle);
  if (size < 0) return -1;
  return c.Guard.Run(tmsize_t{-1}, [&]() -> tmsize_t {
    if (!FillGapBeforeWrite(*c.Stream)) return -1;
    return static_cast<tmsize_t>(c.Stream->Write(buffer, static_cast<size_t>(size)));
  });
}

// Offsets inside the TIFF count from its first byte, which sits at Base in the stream.
toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  TClient& c = ClientOf(handle);
  constexpr toff_t failed = static_cast<toff_t>(-1);
  return c.Guard.Run(failed, [&]() -> toff_t {
    int64_t target = 0;
    TSeekOrigin origin = TSeekOrigin::soBeginning;
    // libtiff passes signed relative offsets through the unsigned type.
    const auto signedOffset = static_cast<int64_t>(offset);
    switch (whence) {
      case SEEK_SET:
        if (offset > static_cast<toff_t>(std::numeric_limits<int64_t>::max() - c.Base)) return failed;
        target = c.Base + static_cast<int64_t>(offset);
        break;
      case SEEK_CUR:
        target = signedOffset;
        origin = TSeekOrigin::soCurrent;
        break;
      case SEEK_END:
        target = signedOffset;
        origin = TSeekOrigin::soEnd;
        break;
      default: return failed;
    }
    const int64_t position = c.Stream->Seek(target, origin);
    if (position < c.Base) return failed;
    return static_cast<toff_t>(position - c.Base);
  });
}

int CloseProc(thandle_t) { return 0; }

toff_t SizeProc(thandle_t handle) {
  TClient& c = ClientOf(handle);
  return c.Guard.Run(toff_t{0}, [&]() -> toff_t {
    const int64_t size = c.Stream->Size();
    return size > c.Base ? static_cast<toff_t>(size - c.Base) : 0;
  });
}

int NoMapProc(thandle_t, void**, toff_t*) { return 0; }

// Copies the TIFF into memory once and hands libtiff that copy.
int MapProc(thandle_t handle, void** base, toff_t* size) {
  TClient& c = ClientOf(handle);
  return c.Guard.Run(0, [&]() {
    if (c.Mapped.empty()) {
      const int64_t length = c.Stream->Size() - c.Base;
      if (length <= 0) return 0;
      CheckBufferSize(static_cast<uint64_t>(length));
      c.Mapped.resize(static_cast<size_t>(length));
      if (c.Stream->Seek(c.Base, TSeekOrigin::soBeginning) != c.Base) return 0;
      c.Stream->ReadBuffer(c.Mapped.data(), c.Mapped.size());
    }
    *base = c.Mapped.data();
    *size = static_cast<toff_t>(c.Mapped.size());
    return 1;
  });
}
void UnmapProc(thandle_t, void*, toff_t) {}

// libtiff's messages are dropped (the last error is kept for diagnostics); returning 1 tells
// libtiff the message was handled, so the process-wide handler is not called either.
int ErrorProc(TIFF*, void* user, const char*, const char* format, va_list args) {
  if (user) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, args);
    static_cast<TClient*>(user)->LastError = text;
  }
  return 1;
}

int WarningProc(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TOptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

TTiffHandle::TTiffHandle(TStream& stream, const char* mode, int64_t base, bool mapped) {
  SilenceTiffHandlers();
  FClient.Stream = &stream;
  FClient.Base = base;
  std::unique_ptr<TIFFOpenOptions, TOptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) throw std::bad_alloc();
  // A small hostile file must not make libtiff allocate more than the library would itself.
  const int64_t cap = ImageLimits().MaxMemory;
  TIFFOpenOptionsSetMaxSingleMemAlloc(
      options.get(), static_cast<tmsize_t>(std::min<int64_t>(cap, std::numeric_limits<tmsize_t>::max())));
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), ErrorProc, &FClient);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), WarningProc, &FClient);
  // libtiff reads the header from the current position.
  stream.Seek(base, TSeekOrigin::soBeginning);
  // Files are read and written through the procedures unless a mapped copy is asked for.
  const std::string fullMode = std::string(mode) + (mapped ? "" : "m");
  FTiff = TIFFClientOpenExt("", fullMode.c_str(), &FClient, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                            mapped ? MapProc : NoMapProc, UnmapProc, options.get());
  if (!FTiff) {
    CheckStream();
    RaiseTiffError("TIFFOpen");
  }
}

TTiffHandle::~TTiffHandle() {
  if (FTiff) TIFFClose(FTiff);
}

void TTiffHandle::Close() {
  if (!FTiff) return;
  const bool writing = TIFFGetMode(FTiff) != O_RDONLY;
  const int flushed = writing ? TIFFFlush(FTiff) : 1;
  TIFFClose(FTiff);
  FTiff = nullptr;
  CheckStream();
  if (!flushed) RaiseTiffError("TIFFWriteDirectory");
}

int TTiffHandle::GetFieldRaw(uint32_t tag, void* value) {
  const int result = TIFFGetField(FTiff, tag, value);
  CheckStream();
  return result;
}

void TTiffHandle::GetColormap(uint16_t*& red, uint16_t*& green, uint16_t*& blue) {
  const int result = TIFFGetField(FTiff, TIFFTAG_COLORMAP, &red, &green, &blue);
  CheckStream();
  if (!result) RaiseTiffError("TIFFGetField3: Tag = " + std::to_string(TIFFTAG_COLORMAP));
}

void TTiffHandle::SetIntField(uint32_t tag, int value) {
  if (!TIFFSetField(FTiff, tag, value)) RaiseTiffError("TIFFSetIntField: Tag = " + std::to_string(tag));
}

void TTiffHandle::SetFloatField(uint32_t tag, double value) {
  if (!TIFFSetField(FTiff, tag, value)) RaiseTiffError("TIFFSetFloatField: Tag = " + std::to_string(tag));
}

void TTiffHandle::SetStringField(uint32_t tag, const char* value) {
  if (!TIFFSetField(FTiff, tag, value)) RaiseTiffError("TIFFSetField: Tag = " + std::to_string(tag));
}

void TTiffHandle::SetColormap(uint16_t* red, uint16_t* green, uint16_t* blue) {
  if (!TIFFSetField(FTiff, TIFFTAG_COLORMAP, red, green, blue)) RaiseTiffError("TIFFSetColormap");
}

}  // namespace quorvane
