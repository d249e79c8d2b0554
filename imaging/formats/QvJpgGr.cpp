#include "formats/QvJpgGr.h"

#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "formats/QvExif.h"
#include "formats/QvMetadataBlocks.h"
#include "formats/QvRowGate.h"
#include "model/QvCBridge.h"
#include "model/QvIccProfile.h"
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
// Bytes of one block of coefficients that a multi-scan (progressive) file keeps in memory.
constexpr uint64_t kCoefficientBlockBytes = DCTSIZE2 * sizeof(JCOEF);
// Decoding work of the scans of a multi-scan file, counted in blocks visited: the file's own
// blocks this many times (ordinary progressive files visit each block 2 to 6 times) ...
constexpr uint64_t kScanPassesPerBlock = 16;
// ... or this many blocks, whichever is more, so that small images never meet the bound.
constexpr uint64_t kMinScanWork = uint64_t{1} << 20;
// What libjpeg's decoders make of blocks they have no data for: every sample mid-gray.
constexpr uint8_t kFillerSample = CENTERJSAMPLE;
// Bytes of markers before the image data kept with the original encoding (a file may hold more
// than its pixels' size only in them: thumbnails, colour profiles).
constexpr size_t kKeptHeaderBytes = size_t{16} << 20;

// How the end of a single-scan file's data is noticed (multi-scan files are decoded whole before
// any row is output, so there is nothing to save there).
enum class TDataEndWatch {
  None,
  // The Huffman decoder warns when it runs out of data and leaves every later block empty.
  Huffman,
  // The arithmetic decoder says nothing and goes on decoding zero bits into noise; the marker it
  // stopped at is seen once the row returns.
  Arithmetic,
};

// A marker segment's payload kept while the header is read: Data has room for any segment,
// Bytes is what it holds (0: none kept).
struct TKeptSegment {
  std::vector<uint8_t> Data;
  size_t Bytes = 0;
  std::span<const uint8_t> Payload() const { return {Data.data(), Bytes}; }
};

// What libjpeg's callbacks share during one read or write; libjpeg finds it through the
// object's client_data. Fatal errors store libjpeg's message and jump to Pad; exceptions of
// the stream are kept in Guard and raised once libjpeg has been left.
struct TJpegSession {
  jpeg_error_mgr Errors{};
  jpeg_source_mgr Source{};
  jpeg_destination_mgr Destination{};
  jpeg_progress_mgr Progress{};
  TStream* Stream = nullptr;
  TDibGraphic* Image = nullptr;
  bool Reading = true;
  bool StartOfFile = true;
  TDataEndWatch Watch = TDataEndWatch::None;
  // First output row after the end of the data from which on every row is filler; -1 while the
  // data lasts.
  int64_t FillFrom = -1;
  // Blocks the scans of a multi-scan file visit, and the bound on them.
  int LastScan = 0;
  uint64_t ScanWork = 0;
  uint64_t ScanWorkLimit = 0;
  // Message is this reader's own (raised as EJpegError), not libjpeg's.
  bool OwnError = false;
  // The bytes read, kept as the image's original encoding while Keep holds; keeping stops (and
  // the copy goes) once they would pass KeepLimit.
  bool Keep = false;
  size_t KeepLimit = 0;
  std::vector<uint8_t> Kept;
  TCallbackGuard Guard;
  TLandingPad Pad;
  char Message[JMSG_LENGTH_MAX] = {};
  JOCTET Buffer[kBufferSize] = {};
  // Reading: the payloads of the first APP1 segment with EXIF data, the first with an XMP packet
  // and the first APP13 segment with Photoshop resources, each in room sized for any segment
  // before the header is read (nothing is allocated inside libjpeg's calls).
  TKeptSegment Exif;
  TKeptSegment Xmp;
  TKeptSegment Photoshop;
  // The APP1 segments with parts of an XMP extension, one after another in room reserved for
  // kMaxXmpExtensionSegments of them (filled without allocating), and each one's length.
  std::vector<uint8_t> XmpExtension;
  std::vector<size_t> XmpExtensionLengths;
};

TJpegSession& SessionOf(j_common_ptr cinfo) { return *static_cast<TJpegSession*>(cinfo->client_data); }
TJpegSession& SessionOf(j_decompress_ptr cinfo) { return *static_cast<TJpegSession*>(cinfo->client_data); }
TJpegSession& SessionOf(j_compress_ptr cinfo) { return *static_cast<TJpegSession*>(cinfo->client_data); }

extern "C" [[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
  TJpegSession& session = SessionOf(cinfo);
  (*cinfo->err->format_message)(cinfo, session.Message);
  session.Pad.Jump();
}

// True when Marker, met inside a scan's data, ends the data for the rest of the scan: anything
// but the restart markers of a file that has restart intervals.
bool EndsScanData(const jpeg_decompress_struct& cinfo, int marker) {
  if (marker == 0) return false;
  return cinfo.restart_interval == 0 || marker < JPEG_RST0 || marker > JPEG_RST0 + 7;
}

// Output rows of one iMCU row (a row of MCUs of an interleaved scan).
int64_t RowsPerImcu(const jpeg_decompress_struct& cinfo) {
  return int64_t{cinfo.max_v_samp_factor} * cinfo.min_DCT_scaled_size;
}

// The Huffman decoder warns once when it runs out of data in iMCU row R; the blocks after the
// current MCU stay empty. Upsampling reaches one iMCU row into its neighbours, so from iMCU row
// R + 2 on every output row is filler.
void NoteHuffmanDataEnd(TJpegSession& session, j_common_ptr common) {
  const auto& cinfo = *reinterpret_cast<j_decompress_ptr>(common);
  if (!EndsScanData(cinfo, cinfo.unread_marker)) return;
  session.FillFrom = (int64_t{cinfo.input_iMCU_row} + 2) * RowsPerImcu(cinfo);
  session.Watch = TDataEndWatch::None;
}

// Warnings (level below 0) are counted, and while reading the first few are kept as the
// image's warnings; trace messages are dropped. Nothing is printed.
extern "C" void JpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  TJpegSession& session = SessionOf(cinfo);
  if (session.Watch == TDataEndWatch::Huffman && cinfo->err->msg_code == JWRN_HIT_MARKER)
    NoteHuffmanDataEnd(session, cinfo);
  const long count = cinfo->err->num_warnings++;
  if (!session.Reading || !session.Image || count >= kMaxWarningTexts) return;
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  session.Guard.RunVoid([&] { session.Image->AddWarning(text); });
}

extern "C" void JpegOutputMessage(j_common_ptr) {}

// Raises this reader's own error from inside a libjpeg call.
[[noreturn]] void OwnErrorExit(TJpegSession& session, const char* message) {
  std::snprintf(session.Message, sizeof session.Message, "%s", message);
  session.OwnError = true;
  session.Pad.Jump();
}

// Counts the blocks each scan of the file will visit when the scan begins, and stops a file
// whose scans would visit its blocks far more often than any encoder needs: a few kilobytes of
// nearly empty scans could otherwise cost seconds of decoding.
extern "C" void JpegProgressMonitor(j_common_ptr common) {
  if (!common->is_decompressor) return;
  auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
  TJpegSession& session = SessionOf(common);
  if (cinfo->input_scan_number == session.LastScan) return;
  session.LastScan = cinfo->input_scan_number;
  for (int i = 0; i < cinfo->comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i) {
    const jpeg_component_info* component = cinfo->cur_comp_info[i];
    if (component) session.ScanWork += uint64_t{component->width_in_blocks} * component->height_in_blocks;
  }
  if (session.ScanWork > session.ScanWorkLimit) OwnErrorExit(session, "JPEG file has too many scans");
}

extern "C" void JpegInitSource(j_decompress_ptr) {}

void KeepBytes(TJpegSession& session, size_t count) {
  const bool fits = session.Kept.size() + count <= session.KeepLimit;
  try {
    if (fits) {
      session.Kept.insert(session.Kept.end(), session.Buffer, session.Buffer + count);
      return;
    }
  } catch (...) {
    // Without memory for the copy the image is read all the same, without its original.
  }
  session.Keep = false;
  session.Kept = {};
}

// Fills the buffer from the stream. At the end of the stream, an end-of-image marker stands in
// for the missing data (with a warning), so that a truncated file decodes what it holds.
extern "C" boolean JpegFillInputBuffer(j_decompress_ptr cinfo) {
  TJpegSession& session = SessionOf(cinfo);
  size_t count = session.Guard.Run(size_t{0}, [&] { return session.Stream->Read(session.Buffer, kBufferSize); });
  if (session.Guard.Failed()) ERREXIT(cinfo, JERR_FILE_READ);
  if (count > 0 && session.Keep) KeepBytes(session, count);
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

// The segment a payload starting with Head is kept in: the first of each kind the reader keeps;
// nullptr for any other (skipped unread).
TKeptSegment* SegmentFor(TJpegSession& session, std::span<const uint8_t> head, bool app13) {
  const auto startsWith = [head](const char* text, size_t bytes) {
    return head.size() >= bytes && std::memcmp(head.data(), text, bytes) == 0;
  };
  TKeptSegment* segment = nullptr;
  if (app13)
    segment = startsWith(kPhotoshopHeader, kPhotoshopHeaderBytes) ? &session.Photoshop : nullptr;
  else if (startsWith("Exif\0", 6))
    segment = &session.Exif;
  else if (startsWith(kJpegXmpHeader, kJpegXmpHeaderBytes))
    segment = &session.Xmp;
  return segment && segment->Bytes == 0 && segment->Data.size() >= kMaxJpegSegmentBytes ? segment : nullptr;
}

// Room for an APP1 segment of Length bytes that starts with Head, when it holds a part of an XMP
// extension and the reserved room has a place for it; nullptr otherwise (skipped unread). The
// room's capacity was reserved before reading, so growing within it allocates nothing.
uint8_t* ExtensionRoom(TJpegSession& session, std::span<const uint8_t> head, size_t length) {
  constexpr size_t kPrefix = kJpegXmpExtensionHeaderBytes;
  if (head.size() < kPrefix || std::memcmp(head.data(), kJpegXmpExtensionHeader, kPrefix) != 0) return nullptr;
  std::vector<uint8_t>& room = session.XmpExtension;
  if (session.XmpExtensionLengths.size() >= kMaxXmpExtensionSegments || room.capacity() - room.size() < length)
    return nullptr;
  const size_t start = room.size();
  room.resize(start + length);
  session.XmpExtensionLengths.push_back(length);
  return room.data() + start;
}

// Reads an APP1 or APP13 segment. The first one of each kind of metadata is kept (its length
// field bounds it to 65533 bytes, which its room holds); every other one is skipped, so no file
// makes libjpeg keep segments in memory.
boolean ReadMetadataSegment(j_decompress_ptr cinfo, bool app13) {
  TJpegSession& session = SessionOf(cinfo);
  jpeg_source_mgr& source = *cinfo->src;
  const auto fill = [&] {
    if (source.bytes_in_buffer == 0 && !(*source.fill_input_buffer)(cinfo)) ERREXIT(cinfo, JERR_CANT_SUSPEND);
  };
  unsigned lengthField = 0;
  for (int i = 0; i < 2; ++i) {
    fill();
    lengthField = lengthField << 8 | *source.next_input_byte++;
    --source.bytes_in_buffer;
  }
  if (lengthField < 2) ERREXIT(cinfo, JERR_BAD_LENGTH);
  const size_t length = lengthField - 2;
  // The first bytes say what the segment holds (the XMP extension's header is the longest).
  static_assert(kJpegXmpExtensionHeaderBytes >= kJpegXmpHeaderBytes);
  uint8_t head[kJpegXmpExtensionHeaderBytes];
  const size_t headBytes = std::min(length, sizeof head);
  for (size_t done = 0; done < headBytes;) {
    fill();
    const size_t n = std::min(source.bytes_in_buffer, headBytes - done);
    std::memcpy(head + done, source.next_input_byte, n);
    source.next_input_byte += n;
    source.bytes_in_buffer -= n;
    done += n;
  }
  TKeptSegment* segment = SegmentFor(session, {head, headBytes}, app13);
  uint8_t* kept = segment ? segment->Data.data() : nullptr;
  if (!kept && !app13) kept = ExtensionRoom(session, {head, headBytes}, length);
  if (kept) std::memcpy(kept, head, headBytes);
  for (size_t done = headBytes; done < length;) {
    fill();
    const size_t n = std::min(source.bytes_in_buffer, length - done);
    if (kept) std::memcpy(kept + done, source.next_input_byte, n);
    source.next_input_byte += n;
    source.bytes_in_buffer -= n;
    done += n;
  }
  if (segment) segment->Bytes = length;
  return TRUE;
}

extern "C" boolean JpegReadApp1(j_decompress_ptr cinfo) { return ReadMetadataSegment(cinfo, false); }
extern "C" boolean JpegReadApp13(j_decompress_ptr cinfo) { return ReadMetadataSegment(cinfo, true); }

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
  session->Progress.progress_monitor = JpegProgressMonitor;
  return session;
}

// Runs libjpeg calls under the session's landing pad. Body must hold no object with a
// destructor. A libjpeg error becomes Exception with libjpeg's message; a stream's exception
// is raised unchanged instead.
template <class Body>
void RunJpeg(TJpegSession& session, Body&& body) {
  if (!RunWithLandingPad(session.Pad, std::forward<Body>(body))) {
    session.Guard.Rethrow();
    if (session.OwnError) throw EJpegError(session.Message);
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

// Blocks of all components, and the memory a multi-scan file's coefficients take (libjpeg keeps
// every block of every component, padded to whole MCUs).
uint64_t BlockCount(const jpeg_decompress_struct& cinfo) {
  uint64_t blocks = 0;
  for (int c = 0; c < cinfo.num_components; ++c)
    blocks += uint64_t{cinfo.comp_info[c].width_in_blocks} * cinfo.comp_info[c].height_in_blocks;
  return blocks;
}

uint64_t CoefficientBytes(const jpeg_decompress_struct& cinfo) {
  uint64_t bytes = 0;
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& component = cinfo.comp_info[c];
    const uint64_t h = std::max(component.h_samp_factor, 1), v = std::max(component.v_samp_factor, 1);
    const uint64_t width = (component.width_in_blocks + h - 1) / h * h;
    const uint64_t height = (component.height_in_blocks + v - 1) / v * v;
    bytes += width * height * kCoefficientBlockBytes;
  }
  return bytes;
}

// A multi-scan file is decoded into a coefficient buffer of the whole image first. That buffer
// and the image must fit the memory limit together, and the buffer may take no more than the
// largest image the area limit allows: a file of a few bytes may not make the reader hold more
// than a valid picture of the allowed size would.
void CheckCoefficientMemory(const jpeg_decompress_struct& cinfo, uint64_t imageBytes) {
  const TImageLimits limits = ImageLimits();
  const uint64_t coefficients = CoefficientBytes(cinfo);
  const uint64_t memory = static_cast<uint64_t>(std::max<int64_t>(limits.MaxMemory, 0));
  const uint64_t largestImage = static_cast<uint64_t>(std::max<int64_t>(limits.MaxArea, 0)) * 3;
  if (imageBytes > memory || coefficients > memory - imageBytes || coefficients > largestImage)
    throw EQuorvaneError("CreateDibSection failed");
}

// True when every byte of the row is the same.
bool UniformRow(const uint8_t* row, size_t bytes) {
  return bytes == 0 || std::all_of(row, row + bytes, [first = row[0]](uint8_t b) { return b == first; });
}

// Keeps the file's bytes from its start to its end-of-image marker as the image's original
// encoding, where any JPEG decoder gives the same picture from them: 8-bit Huffman-coded gray or
// YCbCr data (the colour space a decoder assumes for three components without other markers).
void KeepOriginal(TDibGraphic& image, TJpegSession& session, const jpeg_decompress_struct& cinfo) {
  const bool plainColors = cinfo.jpeg_color_space == JCS_GRAYSCALE || cinfo.jpeg_color_space == JCS_YCbCr;
  if (!session.Keep || !plainColors || cinfo.arith_code || cinfo.data_precision != 8) return;
  std::vector<uint8_t>& kept = session.Kept;
  const size_t unread = session.Source.bytes_in_buffer;
  if (unread > kept.size()) return;
  kept.resize(kept.size() - unread);
  if (kept.size() < 4 || kept[kept.size() - 2] != 0xFF || kept.back() != JPEG_EOI) return;
  kept.shrink_to_fit();
  auto original = std::make_shared<TOriginalEncoding>();
  original->Coding = TOriginalCoding::ocJpeg;
  original->Data = std::move(kept);
  image.SetOriginalEncoding(std::move(original));
}

// The profile the file's APP2 "ICC_PROFILE" chunks carry; a damaged one is dropped with a warning.
std::vector<uint8_t> ReadIccMarkers(const jpeg_decompress_struct& cinfo, TDibGraphic& image) {
  TIccChunkAssembler assembler;
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next)
    if (m->marker == JPEG_APP0 + 2) assembler.Add(m->data, m->data_length);
  std::vector<uint8_t> profile = assembler.Assemble();
  if (!assembler.Problem().empty()) image.AddWarning(IccDroppedWarning(assembler.Problem()));
  return profile;
}

uint16_t ClampDensity(int dpi) { return static_cast<uint16_t>(dpi < 0 ? 0 : dpi > 0xFFFF ? 0xFFFF : dpi); }

// The orientation and camera data of the file's EXIF block, and the EXIF, XMP and IPTC blocks kept
// for writers (the EXIF block when it could be read).
TImageMetadata MetadataOf(const TJpegSession& session) {
  TImageMetadata metadata;
  const std::span<const uint8_t> block = ExifBlockOfApp1(session.Exif.Payload());
  const TExifInfo exif = ReadExifBlock(block);
  if (exif.Valid) {
    metadata.HasExif = true;
    metadata.Orientation = exif.Orientation;
    metadata.Camera = exif.Camera;
    metadata.Exif.assign(block.begin(), block.end());
  }
  const std::span<const uint8_t> xmp = XmpOfApp1(session.Xmp.Payload());
  metadata.Xmp.assign(xmp.begin(), xmp.end());
  std::vector<std::vector<uint8_t>> extension;
  size_t start = 0;
  for (size_t length : session.XmpExtensionLengths) {
    const auto* first = session.XmpExtension.data() + start;
    extension.emplace_back(first, first + length);
    start += length;
  }
  metadata.XmpExtension = XmpExtensionOf(xmp, std::move(extension));
  const std::span<const uint8_t> photoshop = session.Photoshop.Payload();
  if (photoshop.size() > kPhotoshopHeaderBytes)
    metadata.Iptc = IptcOfPhotoshopResources(photoshop.subspan(kPhotoshopHeaderBytes));
  return metadata;
}

// The metadata segments a written file carries, whole payloads with their headers; a block that
// does not fit a segment is left out.
struct TMetadataSegments {
  std::vector<uint8_t> Exif, Xmp, Photoshop;
  std::vector<std::vector<uint8_t>> XmpExtension;  // after Xmp
};

std::vector<uint8_t> WithHeader(const char* header, size_t headerBytes, std::span<const uint8_t> data) {
  if (data.empty() || data.size() > kMaxJpegSegmentBytes - headerBytes) return {};
  std::vector<uint8_t> payload(header, header + headerBytes);
  payload.insert(payload.end(), data.begin(), data.end());
  return payload;
}

TMetadataSegments MetadataSegmentsOf(const TDibGraphic& image) {
  const TImageMetadata& metadata = image.Metadata();
  TMetadataSegments segments;
  if (!metadata.Exif.empty())
    segments.Exif = WithHeader("Exif\0", 6, ExifForSaving(metadata.Exif, image.Width(), image.Height(), true));
  if (!metadata.Xmp.empty()) {
    const std::vector<uint8_t> packet =
        XmpForSaving(metadata.Xmp, metadata.Orientation, image.Width(), image.Height(), true);
    segments.Xmp = WithHeader(kJpegXmpHeader, kJpegXmpHeaderBytes, packet);
    // The extension goes with a stored packet that still names it.
    if (!segments.Xmp.empty()) segments.XmpExtension = XmpExtensionOf(packet, metadata.XmpExtension);
  }
  if (IsIptcData(metadata.Iptc))
    segments.Photoshop = WithHeader(kPhotoshopHeader, kPhotoshopHeaderBytes, PhotoshopResourcesOfIptc(metadata.Iptc));
  return segments;
}

}  // namespace

void TJpegGraphic::LoadImageFromStream(TStream& stream, int) {
  ClearWarnings();
  Metadata() = TImageMetadata{};
  FWarningCount = 0;
  std::unique_ptr<TJpegSession> owner = NewSession(stream, *this, true);
  TJpegSession& session = *owner;
  for (TKeptSegment* segment : {&session.Exif, &session.Xmp, &session.Photoshop})
    segment->Data.resize(kMaxJpegSegmentBytes);
  session.XmpExtension.reserve(kMaxXmpExtensionSegments * kMaxJpegSegmentBytes);
  session.XmpExtensionLengths.reserve(kMaxXmpExtensionSegments);
  session.Keep = true;
  session.KeepLimit = kKeptHeaderBytes;
  TJpegObject<jpeg_decompress_struct> decoder(session);
  jpeg_decompress_struct& cinfo = decoder.Object;

  bool multiScan = false;
  RunJpeg(session, [&] {
    jpeg_create_decompress(&cinfo);
    cinfo.src = &session.Source;
    cinfo.progress = &session.Progress;
    jpeg_set_marker_processor(&cinfo, JPEG_APP0 + 1, JpegReadApp1);
    jpeg_set_marker_processor(&cinfo, JPEG_APP0 + 13, JpegReadApp13);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = cinfo.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_EXT_BGR;
    multiScan = jpeg_has_multiple_scans(&cinfo);
  });
  Metadata() = MetadataOf(session);
  session.Exif = session.Xmp = session.Photoshop = {};
  session.XmpExtension = std::vector<uint8_t>();
  session.XmpExtensionLengths = std::vector<size_t>();
  // Sizes are checked before libjpeg allocates its buffers for the image.
  const int bits = cinfo.out_color_space == JCS_GRAYSCALE ? 8 : 24;
  CheckImageSize(cinfo.image_width, cinfo.image_height, bits);
  const uint64_t imageBytes = (uint64_t{cinfo.image_width} * bits + 31) / 32 * 4 * cinfo.image_height;
  const TImageLimits limits = ImageLimits();
  if (multiScan) CheckCoefficientMemory(cinfo, imageBytes);
  session.KeepLimit = kKeptHeaderBytes + static_cast<size_t>(std::min<uint64_t>(imageBytes, SIZE_MAX / 2));
  // libjpeg takes 0 for "no limit"; what it may use is what the image leaves of the limit.
  cinfo.mem->max_memory_to_use =
      static_cast<long>(std::max<int64_t>(1, limits.MaxMemory - static_cast<int64_t>(imageBytes)));
  session.ScanWorkLimit = std::max(kMinScanWork, BlockCount(cinfo) * kScanPassesPerBlock);
  RunJpeg(session, [&] { jpeg_start_decompress(&cinfo); });

  TImageFormat format;
  switch (cinfo.output_components) {
    case 1: format = TImageFormat::Gray256; break;
    case 3: format = TImageFormat::TrueColor; break;
    default: throw EJpegError("Invalid number of samples, " + std::to_string(cinfo.output_components));
  }
  const uint16_t xDpi = DensityToDpi(cinfo.density_unit, cinfo.X_density);
  const uint16_t yDpi = DensityToDpi(cinfo.density_unit, cinfo.Y_density);
  std::vector<uint8_t> profile = ReadIccMarkers(cinfo, *this);
  NewImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), format, nullptr, xDpi, yDpi);
  SetIccProfile(std::move(profile));

  if (!multiScan) session.Watch = cinfo.arith_code ? TDataEndWatch::Arithmetic : TDataEndWatch::Huffman;
  const size_t rowBytes = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
  bool filled = false;
  for (bool decoding = true; decoding;) {
    RunJpeg(session, [&] {
      while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = ScanLine(static_cast<int>(cinfo.output_scanline));
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
        ReportRowsRead(*this, static_cast<int>(cinfo.output_scanline));
        // input_iMCU_row counts the decoded iMCU rows; the data ended in one of them.
        if (session.Watch == TDataEndWatch::Arithmetic && EndsScanData(cinfo, cinfo.unread_marker)) {
          session.FillFrom = (int64_t{cinfo.input_iMCU_row} + 1) * RowsPerImcu(cinfo);
          session.Watch = TDataEndWatch::None;
        }
        if (session.FillFrom >= 0 && cinfo.output_scanline > session.FillFrom) break;
      }
    });
    decoding = false;
    const int done = static_cast<int>(cinfo.output_scanline);
    if (session.FillFrom < 0 || done <= session.FillFrom || done >= Height()) break;
    // The data has ended: the rest is filler, set here instead of decoded. For Huffman files it
    // is what libjpeg gives (checked on the last decoded row; should that row differ, decoding
    // goes on). Arithmetic files get the same gray instead of libjpeg's noise from zero bits.
    const uint8_t* last = ScanLine(done - 1);
    if (cinfo.arith_code || UniformRow(last, rowBytes)) {
      const uint8_t value = cinfo.arith_code ? kFillerSample : last[0];
      for (int y = done; y < Height(); ++y) std::memset(ScanLine(y), value, rowBytes);
      filled = true;
      if (cinfo.arith_code) {
        cinfo.err->msg_code = JWRN_HIT_MARKER;
        (*cinfo.err->emit_message)(reinterpret_cast<j_common_ptr>(&cinfo), -1);
        session.Guard.Rethrow();
      }
    } else {
      session.FillFrom = -1;
      decoding = true;
    }
  }
  if (!filled) RunJpeg(session, [&] { jpeg_finish_decompress(&cinfo); });
  const long warnings = session.Errors.num_warnings;
  FWarningCount = warnings;
  if (!filled && warnings == 0) KeepOriginal(*this, session, cinfo);
  if (warnings > kMaxWarningTexts) AddWarning(FormatMessage("%ld further JPEG warnings", warnings - kMaxWarningTexts));
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
  const std::vector<std::vector<uint8_t>> iccChunks =
      IccProfileFits(IccProfile(), format) ? SplitIccForJpeg(IccProfile()) : std::vector<std::vector<uint8_t>>{};
  const TMetadataSegments metadata = MetadataSegmentsOf(*this);

  bool withdrawn = false;
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
    // After the JFIF header: EXIF and XMP (APP1), the profile (APP2), IPTC (APP13).
    if (!metadata.Exif.empty())
      jpeg_write_marker(&cinfo, JPEG_APP0 + 1, metadata.Exif.data(), static_cast<unsigned>(metadata.Exif.size()));
    if (!metadata.Xmp.empty())
      jpeg_write_marker(&cinfo, JPEG_APP0 + 1, metadata.Xmp.data(), static_cast<unsigned>(metadata.Xmp.size()));
    for (const std::vector<uint8_t>& part : metadata.XmpExtension)
      jpeg_write_marker(&cinfo, JPEG_APP0 + 1, part.data(), static_cast<unsigned>(part.size()));
    for (const std::vector<uint8_t>& chunk : iccChunks)
      jpeg_write_marker(&cinfo, JPEG_APP0 + 2, chunk.data(), static_cast<unsigned>(chunk.size()));
    if (!metadata.Photoshop.empty())
      jpeg_write_marker(&cinfo, JPEG_APP0 + 13, metadata.Photoshop.data(),
                        static_cast<unsigned>(metadata.Photoshop.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
      if (!WaitForRows(*this, static_cast<int>(cinfo.next_scanline + 1))) {
        withdrawn = true;
        return;
      }
      JSAMPROW row = ScanLine(static_cast<int>(cinfo.next_scanline));
      if (jpeg_write_scanlines(&cinfo, &row, 1) != 1) break;
    }
    jpeg_finish_compress(&cinfo);
  });
  FWarningCount = session.Errors.num_warnings;
  if (withdrawn) RaiseRowsWithdrawn();
}

}  // namespace quorvane
