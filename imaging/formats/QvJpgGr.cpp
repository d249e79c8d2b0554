#include "formats/QvJpgGr.h"

#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <memory>

#include "model/QvCBridge.h"
#include "model/QvLimits.h"
#include "model/QvMisc.h"

#ifndef JCS_EXTENSIONS
#error "The JPEG library must offer the BGR colour spaces (JCS_EXT_BGR)"
#endif

namespace quorvane {

QV_DEFINE_GRAPHIC_CLASS(TJpegGraphic)

namespace {

constexpr size_t kBufferSize = 4096;
// Warnings kept word for word; a damaged file can produce thousands of the same kind.
constexpr long kMaxWarningTexts = 10;

// What libjpeg's callbacks share during one read or write; libjpeg finds it through the
// object's client_data. Fatal errors store libjpeg's message and jump to Pad; exceptions of
// the stream are kept in Guard and raised once libjpeg has been left.
struct TJpegSession {
  jpeg_error_mgr Errors{};
  jpeg_source_mgr Source{};
  jpeg_destination_mgr Destination{};
  TStream* Stream = nullptr;
  TDibGraphic* Image = nullptr;
  bool Reading = true;
  bool StartOfFile = true;
  TCallbackGuard Guard;
  TLandingPad Pad;
  char Message[JMSG_LENGTH_MAX] = {};
  JOCTET Buffer[kBufferSize] = {};
};

TJpegSession& SessionOf(j_common_ptr cinfo) { return *static_cast<TJpegSession*>(cinfo->client_data); }
TJpegSession& SessionOf(j_decompress_ptr cinfo) { return *static_cast<TJpegSession*>(cinfo->client_data); }
TJpegSession& SessionOf(j_compress_ptr cinfo) { return *static_cast<TJpegSession*>(cinfo->client_data); }

extern "C" [[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
  TJpegSession& session = SessionOf(cinfo);
  (*cinfo->err->format_message)(cinfo, session.Message);
  session.Pad.Jump();
}

// Warnings (level below 0) are counted, and while reading the first few are kept as the
// image's warnings; trace messages are dropped. Nothing is printed.
extern "C" void JpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  TJpegSession& session = SessionOf(cinfo);
  const long count = cinfo->err->num_warnings++;
  if (!session.Reading || !session.Image || count >= kMaxWarningTexts) return;
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  session.Guard.RunVoid([&] { session.Image->AddWarning(text); });
}

extern "C" void JpegOutputMessage(j_common_ptr) {}

extern "C" void JpegInitSource(j_decompress_ptr) {}

// Fills the buffer from the stream. At the end of the stream, an end-of-image marker stands in
// for the missing data (with a warning), so that a truncated file decodes what it holds.
extern "C" boolean JpegFillInputBuffer(j_decompress_ptr cinfo) {
  TJpegSession& session = SessionOf(cinfo);
  size_t count = session.Guard.Run(size_t{0}, [&] { return session.Stream->Read(session.Buffer, kBufferSize); });
  if (session.Guard.Failed()) ERREXIT(cinfo, JERR_FILE_READ);
  if (count == 0) {
    if (session.StartOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    WARNMS(cinfo, JWRN_JPEG_EOF);
    session.Buffer[0] = 0xFF;
    session.Buffer[1] = JPEG_EOI;
    count = 2;
  }
  session.Source.next_input_byte = session.Buffer;
  session.Source.bytes_in_buffer = count;
  session.StartOfFile = false;
  return TRUE;
}

extern "C" void JpegSkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr& source = SessionOf(cinfo).Source;
  while (count > static_cast<long>(source.bytes_in_buffer)) {
    count -= static_cast<long>(source.bytes_in_buffer);
    JpegFillInputBuffer(cinfo);
  }
  source.next_input_byte += count;
  source.bytes_in_buffer -= static_cast<size_t>(count);
}

extern "C" void JpegTermSource(j_decompress_ptr) {}

void WriteBufferOut(j_compress_ptr cinfo, size_t count) {
  TJpegSession& session = SessionOf(cinfo);
  session.Guard.RunVoid([&] { session.Stream->WriteBuffer(session.Buffer, count); });
  if (session.Guard.Failed()) ERREXIT(cinfo, JERR_FILE_WRITE);
}

extern "C" void JpegInitDestination(j_compress_ptr cinfo) {
  TJpegSession& session = SessionOf(cinfo);
  session.Destination.next_output_byte = session.Buffer;
  session.Destination.free_in_buffer = kBufferSize;
}

extern "C" boolean JpegEmptyOutputBuffer(j_compress_ptr cinfo) {
  WriteBufferOut(cinfo, kBufferSize);
  JpegInitDestination(cinfo);
  return TRUE;
}

extern "C" void JpegTermDestination(j_compress_ptr cinfo) {
  const size_t count = kBufferSize - SessionOf(cinfo).Destination.free_in_buffer;
  if (count > 0) WriteBufferOut(cinfo, count);
}

// A session over Stream with the error manager and both data managers set up.
std::unique_ptr<TJpegSession> NewSession(TStream& stream, TDibGraphic& image, bool reading) {
  auto session = std::make_unique<TJpegSession>();
  session->Stream = &stream;
  session->Image = &image;
  session->Reading = reading;
  jpeg_std_error(&session->Errors);
  session->Errors.error_exit = JpegErrorExit;
  session->Errors.emit_message = JpegEmitMessage;
  session->Errors.output_message = JpegOutputMessage;
  session->Source.init_source = JpegInitSource;
  session->Source.fill_input_buffer = JpegFillInputBuffer;
  session->Source.skip_input_data = JpegSkipInputData;
  session->Source.resync_to_restart = jpeg_resync_to_restart;
  session->Source.term_source = JpegTermSource;
  session->Destination.init_destination = JpegInitDestination;
  session->Destination.empty_output_buffer = JpegEmptyOutputBuffer;
  session->Destination.term_destination = JpegTermDestination;
  return session;
}

// Runs libjpeg calls under the session's landing pad. Body must hold no object with a
// destructor. A libjpeg error becomes Exception with libjpeg's message; a stream's exception
// is raised unchanged instead.
template <class Body>
void RunJpeg(TJpegSession& session, Body&& body) {
  if (!RunWithLandingPad(session.Pad, std::forward<Body>(body))) {
    session.Guard.Rethrow();
    throw Exception(session.Message);
  }
  session.Guard.Rethrow();
}

// The libjpeg object of one operation, destroyed on every way out. libjpeg's create functions
// keep err and client_data, and destroying an object whose creation failed is harmless.
template <class Info>
struct TJpegObject {
  Info Object{};
  explicit TJpegObject(TJpegSession& session) {
    Object.err = &session.Errors;
    Object.client_data = &session;
  }
  ~TJpegObject() { jpeg_destroy(reinterpret_cast<j_common_ptr>(&Object)); }
  TJpegObject(const TJpegObject&) = delete;
  TJpegObject& operator=(const TJpegObject&) = delete;
};

// Dots per inch of a JFIF density; densities per centimetre are converted, other units and
// values that do not fit count as unknown (0).
uint16_t DensityToDpi(int unit, unsigned density) {
  int64_t dpi = 0;
  if (unit == 1) dpi = density;
  if (unit == 2) dpi = RoundHalfEven(static_cast<long double>(density) * 2.54L);
  return dpi > 0 && dpi <= 0xFFFF ? static_cast<uint16_t>(dpi) : 0;
}

// Refuses a Huffman-coded file too short to hold its image: every block of every component
// costs at least one bit (its DC code), so fewer bits than blocks cannot be a whole picture, and
// decoding the missing rest would cost time for nothing. Arithmetic coding has no such bound.
void CheckDataCanHoldBlocks(const jpeg_decompress_struct& cinfo, int64_t bytesAvailable) {
  if (cinfo.arith_code || bytesAvailable <= 0) return;
  uint64_t blocks = 0;
  for (int c = 0; c < cinfo.num_components; ++c)
    blocks += uint64_t{cinfo.comp_info[c].width_in_blocks} * cinfo.comp_info[c].height_in_blocks;
  if (blocks / 8 > static_cast<uint64_t>(bytesAvailable)) throw EJpegError("JPEG file is too short for its image size");
}

uint16_t ClampDensity(int dpi) { return static_cast<uint16_t>(dpi < 0 ? 0 : dpi > 0xFFFF ? 0xFFFF : dpi); }

}  // namespace

void TJpegGraphic::LoadImageFromStream(TStream& stream, int) {
  ClearWarnings();
  FWarningCount = 0;
  const int64_t start = stream.Position(), size = stream.Size();
  std::unique_ptr<TJpegSession> owner = NewSession(stream, *this, true);
  TJpegSession& session = *owner;
  TJpegObject<jpeg_decompress_struct> decoder(session);
  jpeg_decompress_struct& cinfo = decoder.Object;

  RunJpeg(session, [&] {
    jpeg_create_decompress(&cinfo);
    cinfo.src = &session.Source;
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = cinfo.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_EXT_BGR;
  });
  // Sizes are checked before libjpeg allocates its buffers for the image.
  CheckImageSize(cinfo.image_width, cinfo.image_height, cinfo.out_color_space == JCS_GRAYSCALE ? 8 : 24);
  if (start >= 0 && size > start) CheckDataCanHoldBlocks(cinfo, size - start);
  const TImageLimits limits = ImageLimits();
  cinfo.mem->max_memory_to_use = static_cast<long>(limits.MaxMemory);
  RunJpeg(session, [&] { jpeg_start_decompress(&cinfo); });

  TImageFormat format;
  switch (cinfo.output_components) {
    case 1: format = TImageFormat::Gray256; break;
    case 3: format = TImageFormat::TrueColor; break;
    default: throw EJpegError("Invalid number of samples, " + std::to_string(cinfo.output_components));
  }
  const uint16_t xDpi = DensityToDpi(cinfo.density_unit, cinfo.X_density);
  const uint16_t yDpi = DensityToDpi(cinfo.density_unit, cinfo.Y_density);
  NewImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), format, nullptr, xDpi, yDpi);

  RunJpeg(session, [&] {
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = ScanLine(static_cast<int>(cinfo.output_scanline));
      if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
    }
    jpeg_finish_decompress(&cinfo);
  });
  FWarningCount = session.Errors.num_warnings;
  if (FWarningCount > kMaxWarningTexts)
    AddWarning(FormatMessage("%ld further JPEG warnings", FWarningCount - kMaxWarningTexts));
}

void TJpegGraphic::SaveToStream(TStream& stream) {
  const TImageFormat format = ImageFormat();
  if (Empty() || (format != TImageFormat::Gray256 && format != TImageFormat::TrueColor))
    throw EJpegError("JPEG image must be gray scale or true color");
  const bool gray = format == TImageFormat::Gray256;
  FWarningCount = 0;
  std::unique_ptr<TJpegSession> owner = NewSession(stream, *this, false);
  TJpegSession& session = *owner;
  TJpegObject<jpeg_compress_struct> encoder(session);
  jpeg_compress_struct& cinfo = encoder.Object;
  const uint16_t xDpi = ClampDensity(XDpi()), yDpi = ClampDensity(YDpi());

  RunJpeg(session, [&] {
    jpeg_create_compress(&cinfo);
    cinfo.dest = &session.Destination;
    cinfo.image_width = static_cast<JDIMENSION>(Width());
    cinfo.image_height = static_cast<JDIMENSION>(Height());
    // The rows go to libjpeg as they are: TrueColor rows are already blue, green, red.
    cinfo.input_components = gray ? 1 : 3;
    cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    cinfo.density_unit = 1;
    cinfo.X_density = xDpi;
    cinfo.Y_density = yDpi;
    jpeg_set_quality(&cinfo, FQuality, TRUE);
    if (FProgressive) jpeg_simple_progression(&cinfo);
    cinfo.optimize_coding = FOptimizeCoding ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
      JSAMPROW row = ScanLine(static_cast<int>(cinfo.next_scanline));
      if (jpeg_write_scanlines(&cinfo, &row, 1) != 1) break;
    }
    jpeg_finish_compress(&cinfo);
  });
  FWarningCount = session.Errors.num_warnings;
}

}  // namespace quorvane
