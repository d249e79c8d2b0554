#include "formats/QvGbm.h"

#include <cstring>
#include <utility>

#include "formats/QvRowGate.h"
#include "model/QvBufferedStream.h"
#include "model/QvLimits.h"

namespace quorvane {

namespace {

// ---- the library's file operations over streams ----

TSeekOrigin OriginOf(int whence) {
  if (whence == GBM_SEEK_SET) return TSeekOrigin::soBeginning;
  if (whence == GBM_SEEK_END) return TSeekOrigin::soEnd;
  return TSeekOrigin::soCurrent;
}

gbm_fd OpenStream(const char* fn, int mode) {
  if (fn == nullptr) return nullptr;
  TFileMode fileMode = TFileMode::fmOpenRead;
  if ((mode & GBM_O_CREAT) != 0)
    fileMode = TFileMode::fmCreate;
  else if ((mode & 3) != GBM_O_RDONLY)
    fileMode = TFileMode::fmOpenReadWrite;
  try {
    // The handle owns its stream until CloseStream takes it back.
    return std::make_unique<TGbmStream>(std::make_unique<TBufferedStream>(fn, fileMode)).release()->Handle();
  } catch (...) {
    return nullptr;
  }
}

gbm_fd CreateStream(const char* fn, int mode) { return OpenStream(fn, mode | GBM_O_CREAT | GBM_O_TRUNC); }

int CloseStream(gbm_fd fd) {
  if (fd == nullptr) return -1;
  std::unique_ptr<TGbmStream> handle(&TGbmStream::Of(fd));
  return handle->Guard().Run(-1, [&] {
    if (auto* buffered = dynamic_cast<TBufferedStream*>(&handle->Stream())) buffered->Flush();
    return 0;
  });
}

int64_t SeekStream(gbm_fd fd, int64_t pos, int whence) {
  TGbmStream& handle = TGbmStream::Of(fd);
  return handle.Guard().Run(int64_t{-1}, [&] { return handle.Stream().Seek(pos, OriginOf(whence)); });
}

int64_t ReadStream(gbm_fd fd, void* buf, int64_t len) {
  if (len <= 0) return 0;
  TGbmStream& handle = TGbmStream::Of(fd);
  return handle.Guard().Run(int64_t{-1},
                            [&] { return static_cast<int64_t>(handle.Stream().Read(buf, static_cast<size_t>(len))); });
}

int64_t WriteStream(gbm_fd fd, const void* buf, int64_t len) {
  if (len <= 0) return 0;
  TGbmStream& handle = TGbmStream::Of(fd);
  return handle.Guard().Run(int64_t{-1},
                            [&] { return static_cast<int64_t>(handle.Stream().Write(buf, static_cast<size_t>(len))); });
}

const gbm_io_table kStreamOperations = {OpenStream, CreateStream, CloseStream, SeekStream, ReadStream, WriteStream};

// Set when the buffer check refused a size during the library call in progress on this thread.
thread_local bool tBufferRefused = false;

bool BufferAllowed(uint64_t bytes) {
  if (bytes <= static_cast<uint64_t>(ImageLimits().MaxMemory)) return true;
  tBufferRefused = true;
  return false;
}

struct TGbmLibrary {
  TGbmLibrary() {
    gbm_init();
    const gbm_io_table& t = kStreamOperations;
    gbm_io_setup(t.open, t.create, t.close, t.lseek, t.read, t.write);
    gbm_mem_setup(BufferAllowed);
  }
  ~TGbmLibrary() { gbm_deinit(); }
} gGbmLibrary;

// Runs one library call over Handle: a stream's exception comes first, then a refused buffer
// size, then the library's failure as EGbmError with Message.
template <typename Call>
void RunLibraryCall(TGbmStream& handle, const char* message, Call&& call) {
  tBufferRefused = false;
  const GBM_ERR rc = call();
  handle.Rethrow();
  if (std::exchange(tBufferRefused, false)) throw EQuorvaneError("CreateDibSection failed");
  if (rc != GBM_ERR_OK) throw EGbmError(message);
}

int GuessFormat(const std::string& hint) {
  int ft = 0;
  if (gbm_guess_filetype(hint.c_str(), &ft) != GBM_ERR_OK) throw EGbmError("gbm_guess_filetype failed.");
  return ft;
}

[[noreturn]] void InvalidImageFormat() { throw EGbmError("Internal error: Invalid image format"); }

TImageFormat FormatOfBits(int bpp) {
  switch (bpp) {
    case 1: return TImageFormat::BlackWhite;
    case 4: return TImageFormat::Color16;
    case 8: return TImageFormat::Color256;
    case 24: return TImageFormat::TrueColor;
    default: InvalidImageFormat();
  }
}

int BitsOfFormat(TImageFormat format) {
  switch (format) {
    case TImageFormat::BlackWhite: return 1;
    case TImageFormat::Gray16:
    case TImageFormat::Color16: return 4;
    case TImageFormat::Gray256:
    case TImageFormat::Color256: return 8;
    case TImageFormat::TrueColor: return 24;
    default: InvalidImageFormat();
  }
}

// The sentences for what the readers survived, naming the format.
void AddReaderWarnings(TDibGraphic& image, int ft, uint32_t warn) {
  gbm_filetype desc{};
  gbm_query_filetype(ft, &desc);
  if ((warn & GBM_WARN_PALETTE_ENDED) != 0)
    image.AddWarning(FormatMessage(
        "The %s palette ends early: the file is cut short and the missing entries are black.", desc.short_name));
  if ((warn & GBM_WARN_DATA_ENDED) != 0)
    image.AddWarning(FormatMessage(
        "The %s pixel data ends early: the file is cut short and the missing pixels are filled in.", desc.short_name));
}

// The library's row hooks over the image being read or written (formats/QvRowGate.h). A wait that
// raises is kept in Guard and ends the writer like rows withdrawn.
struct TRowHooks {
  const TDibGraphic& Image;
  TCallbackGuard Guard;
  bool Withdrawn = false;

  static void Done(void* ctx, int rows) { ReportRowsRead(static_cast<TRowHooks*>(ctx)->Image, rows); }
  static bool Wanted(void* ctx, int rows) {
    auto& hooks = *static_cast<TRowHooks*>(ctx);
    hooks.Withdrawn = !hooks.Guard.Run(false, [&] { return WaitForRows(hooks.Image, rows); });
    return !hooks.Withdrawn;
  }
};

}  // namespace

const gbm_io_table& GbmStreamOperations() { return kStreamOperations; }

void GbmReadImage(TStream& stream, TDibGraphic& image, const std::string& hint, const std::string& options,
                  const std::function<void(TDibGraphic&)>& prepare) {
  const int ft = GuessFormat(hint);
  TGbmStream handle(stream);
  gbm_header header;
  std::memset(&header, 0, sizeof header);
  RunLibraryCall(handle, "gbm_read_header failed.",
                 [&] { return gbm_read_header(hint.c_str(), handle.Handle(), ft, &header, options.c_str()); });
  const TImageFormat format = FormatOfBits(header.bpp);

  TDibPalette palette{};
  if (format != TImageFormat::TrueColor) {
    gbm_rgb colors[256] = {};
    RunLibraryCall(handle, "gbm_read_header failed.",
                   [&] { return gbm_read_palette(handle.Handle(), ft, &header, colors); });
    palette.Count = static_cast<uint16_t>(1 << header.bpp);
    for (int i = 0; i < palette.Count; ++i) palette.Entries[i] = {colors[i].b, colors[i].g, colors[i].r, 0};
  }
  image.NewImage(header.w, header.h, format, format == TImageFormat::TrueColor ? nullptr : &palette, 0, 0);
  if (prepare) prepare(image);
  TRowHooks hooks{image, {}};
  header.rows_done = TRowHooks::Done;
  header.rows_ctx = &hooks;
  RunLibraryCall(handle, "gbm_read_data failed.",
                 [&] { return gbm_read_data(handle.Handle(), ft, &header, image.Bits()); });
  AddReaderWarnings(image, ft, header.warn);
}

void GbmWriteImage(TStream& stream, const TDibGraphic& image, const std::string& hint, const std::string& options) {
  const int ft = GuessFormat(hint);
  gbm_header header;
  std::memset(&header, 0, sizeof header);
  header.w = image.Width();
  header.h = image.Height();
  header.bpp = BitsOfFormat(image.ImageFormat());

  gbm_rgb colors[256] = {};
  if (image.ImageFormat() != TImageFormat::TrueColor) {
    const TDibPalette& palette = image.PaletteRecord();
    const int count = std::min<int>(palette.Count, 256);
    for (int i = 0; i < count; ++i)
      colors[i] = {palette.Entries[i].Red, palette.Entries[i].Green, palette.Entries[i].Blue};
  }
  TRowHooks hooks{image, {}};
  header.rows_wanted = TRowHooks::Wanted;
  header.rows_ctx = &hooks;
  TGbmStream handle(stream);
  RunLibraryCall(handle, "gbm_write failed.", [&] {
    const GBM_ERR rc = gbm_write(hint.c_str(), handle.Handle(), ft, &header, colors, image.Bits(), options.c_str());
    hooks.Guard.Rethrow();
    if (hooks.Withdrawn) RaiseRowsWithdrawn();
    return rc;
  });
}

}  // namespace quorvane
