// The libtiff side of the TIFF image: one libtiff handle over a TStream for the length of one
// operation, the stream procedures libtiff calls, its silenced error and warning handlers, and
// field access that turns libtiff's failures into ETiffError.
//
// The stream procedures run every stream call inside a TCallbackGuard: an exception from the
// caller's stream is kept, libtiff sees a failed transfer and returns through its own error path,
// and CheckStream() (called after each libtiff call that may have touched the stream) raises it
// once libtiff has returned. No exception ever unwinds through libtiff.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/QvCBridge.h"
#include "model/QvExcept.h"
#include "model/QvStream.h"

struct tiff;

namespace quorvane {

QV_DECLARE_EXCEPTION(ETiffError);

// Raises ETiffError "ETiffError " followed by Detail.
[[noreturn]] void RaiseTiffError(const std::string& detail);

// Makes libtiff's process-wide error and warning handlers silent. Idempotent; every handle
// calls it, and its own handlers drop libtiff's texts as well.
void SilenceTiffHandlers();

class TTiffHandle {
 public:
  // Opens the TIFF that starts at Base in Stream with a libtiff mode ("r", "w", "a"); offsets
  // inside the TIFF count from Base. Raises ETiffError "TIFFOpen" when libtiff refuses (or the
  // stream's own exception when the stream failed). libtiff's single allocations are capped at
  // the library's memory limit. Mapped (reading only): libtiff reads from a copy of the TIFF in
  // memory instead of through the stream procedures.
  TTiffHandle(TStream& stream, const char* mode, int64_t base = 0, bool mapped = false);
  // Closes silently when Close() was not reached (a failure is already on its way).
  ~TTiffHandle();
  TTiffHandle(const TTiffHandle&) = delete;
  TTiffHandle& operator=(const TTiffHandle&) = delete;

  tiff* Get() const { return FTiff; }
  // Raises the exception a stream procedure kept, if any.
  void CheckStream() { FClient.Guard.Rethrow(); }
  // Writes what is pending (directory of a written image) and closes. Raises the stream's
  // exception or ETiffError "TIFFWriteDirectory" when that write fails.
  void Close();

  // Field functions: each raises ETiffError with its detail and the tag when libtiff fails.
  // Get: one result of the tag's own type (uint16_t, uint32_t, float, ...).
  template <class T>
  void GetField(uint32_t tag, T& value) {
    if (!GetFieldRaw(tag, &value)) RaiseTiffError("TIFFGetField: Tag = " + std::to_string(tag));
  }
  // Get with a fallback for absent optional fields; false when the field was absent.
  template <class T>
  bool GetOptionalField(uint32_t tag, T& value, T fallback) {
    if (GetFieldRaw(tag, &value)) return true;
    value = fallback;
    return false;
  }
  void GetColormap(uint16_t*& red, uint16_t*& green, uint16_t*& blue);
  void SetIntField(uint32_t tag, int value);
  void SetFloatField(uint32_t tag, double value);
  void SetStringField(uint32_t tag, const char* value);
  void SetColormap(uint16_t* red, uint16_t* green, uint16_t* blue);

  // The text of libtiff's last error on this handle (kept for diagnostics; never shown).
  const std::string& LastLibraryError() const { return FClient.LastError; }

  // libtiff's client state; public for the C procedures only.
  struct TClient {
    TStream* Stream = nullptr;
    int64_t Base = 0;
    TCallbackGuard Guard;
    std::string LastError;
    std::vector<uint8_t> Mapped;  // the TIFF's bytes when libtiff maps it
  };

 private:
  int GetFieldRaw(uint32_t tag, void* value);

  TClient FClient;
  tiff* FTiff = nullptr;
};

}  // namespace quorvane
