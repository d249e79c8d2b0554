// Bridge between the bitmap-format library (gbm) and TDibGraphic: reads a file's picture into an
// image and writes an image, turning the library's result codes into EGbmError.
//
// At start-up the bridge installs its file operations into the library (handles are TGbmStream,
// a stream plus the guard that keeps its exceptions out of the library) and its buffer check (the
// library's memory limit, model/QvLimits.h). An exception a stream raises inside a library call is
// raised again, unchanged, once the call has returned.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "gbm/gbm.h"
#include "model/QvCBridge.h"
#include "model/QvDiGrph.h"
#include "model/QvExcept.h"
#include "model/QvStream.h"

namespace quorvane {

QV_DECLARE_EXCEPTION(EGbmError);

// A stream as a file handle of the library.
class TGbmStream {
 public:
  explicit TGbmStream(TStream& stream) : FStream(&stream) {}
  // A handle over a stream of its own (the library's open and create operations).
  explicit TGbmStream(std::unique_ptr<TStream> owned) : FStream(owned.get()), FOwned(std::move(owned)) {}

  gbm_fd Handle() { return reinterpret_cast<gbm_fd>(this); }
  static TGbmStream& Of(gbm_fd fd) { return *reinterpret_cast<TGbmStream*>(fd); }

  TStream& Stream() { return *FStream; }
  TCallbackGuard& Guard() { return FGuard; }
  // Raises the first exception a stream operation met, if any.
  void Rethrow() { FGuard.Rethrow(); }

 private:
  TStream* FStream;
  std::unique_ptr<TStream> FOwned;
  TCallbackGuard FGuard;
};

// The file operations the bridge installs (for callers that wrap them).
const gbm_io_table& GbmStreamOperations();

// Replaces Image with the picture in Stream. The stream is positioned at the image's first byte,
// which must be the stream's beginning: the header is read from the current position and the rest
// from absolute positions. Hint selects the format by its extension only ("File.pcx"). Raises
// EGbmError; after a failed pixel read the image keeps its new size and the pixels read so far.
// A file that ends early but still gives a picture adds a warning to the image (Warnings()).
// Prepare, when given, runs once the image has its size and palette, before any pixel is read
// (for what the caller reads from the file around the library, such as a resolution). Rows are
// reported to a row gate as they are read (formats/QvRowGate.h).
void GbmReadImage(TStream& stream, TDibGraphic& image, const std::string& hint, const std::string& options = "",
                  const std::function<void(TDibGraphic&)>& prepare = {});

// Writes Image in the format of Hint's extension from the stream's position on, with the codec's
// option words. Raises EGbmError; ERowsWithdrawn when rows it waited for at a row gate never came.
void GbmWriteImage(TStream& stream, const TDibGraphic& image, const std::string& hint, const std::string& options = "");

}  // namespace quorvane
