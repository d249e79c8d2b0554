#include "formats/QvPdfGr.h"

#include <tiffio.h>
#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "formats/QvJpgGr.h"
#include "formats/QvTifStream.h"
#include "model/QvLimits.h"

namespace quorvane {

QV_DEFINE_GRAPHIC_CLASS(TPdfGraphic)

namespace {

constexpr const char* kProducer = "Quorvane Image Library";
constexpr double kPointsPerInch = 72;
// The resolution of an image that does not know its own.
constexpr int kUnknownDpi = 96;

using TQpdfBuffer = std::shared_ptr<Buffer>;

// Runs QPDF calls; what QPDF raises (QPDFExc, std::runtime_error, std::logic_error) becomes
// EPdfError "Context: QPDF's message". The library's own exceptions and out-of-memory pass as
// they are.
template <class Body>
auto RunQpdf(const char* context, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const Exception&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw EPdfError(FormatMessage("%s: %s", context, e.what()));
  }
}

// A number as PDF writes it: at most four decimals, no exponent, whatever the locale.
std::string PdfNumber(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 4);
  std::string number(text, result.ptr);
  if (number.find('.') != std::string::npos) {
    number.erase(number.find_last_not_of('0') + 1);
    if (number.back() == '.') number.pop_back();
  }
  return number;
}

// Points covered by Pixels at Dpi dots per inch.
double PageExtent(int pixels, int dpi) { return pixels * kPointsPerInch / (dpi > 0 ? dpi : kUnknownDpi); }

bool IsLevel(const TPaletteEntry& entry, uint8_t level) {
  return entry.Red == level && entry.Green == level && entry.Blue == level;
}

// Black and white entries, in either order; BlackFirst tells which.
bool IsBlackAndWhite(const TDibGraphic& image, bool& blackFirst) {
  const auto& entries = image.PaletteRecord().Entries;
  blackFirst = IsLevel(entries[0], 0) && IsLevel(entries[1], 255);
  return blackFirst || (IsLevel(entries[0], 255) && IsLevel(entries[1], 0));
}

// Every index of an 8-bit image shows its own gray level, so the indices are the gray samples.
bool IsGrayRamp(const TDibGraphic& image) {
  const auto& entries = image.PaletteRecord().Entries;
  for (size_t i = 0; i < entries.size(); ++i)
    if (!IsLevel(entries[i], static_cast<uint8_t>(i))) return false;
  return true;
}

// What a JPEG's frame header says, for the codings PDF readers decode: Huffman-coded baseline,
// extended or progressive data of 8-bit samples.
struct TJpegFrame {
  int Width = 0;
  int Height = 0;
  int Components = 0;
};

std::optional<TJpegFrame> ReadJpegFrame(const std::vector<uint8_t>& data) {
  const size_t size = data.size();
  if (size < 4 || data[0] != 0xFF || data[1] != 0xD8) return std::nullopt;
  size_t at = 2;
  while (at + 4 <= size) {
    if (data[at] != 0xFF) return std::nullopt;
    const uint8_t marker = data[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const size_t length = static_cast<size_t>(data[at + 2]) << 8 | data[at + 3];
    if (length < 2 || length > size - at - 2) return std::nullopt;
    if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
      if (length < 8) return std::nullopt;
      const uint8_t* p = &data[at + 4];
      if (p[0] != 8) return std::nullopt;
      return TJpegFrame{p[3] << 8 | p[4], p[1] << 8 | p[2], p[5]};
    }
    // Any other frame (lossless, hierarchical, arithmetic), or data before a frame.
    if ((marker >= 0xC3 && marker <= 0xCF && marker != 0xC4 && marker != 0xCC) || marker == 0xDA) return std::nullopt;
    at += 2 + length;
  }
  return std::nullopt;
}

// The image's original JPEG file when a PDF reader gets the image's own pixels from it.
const TOriginalEncoding* StorableOriginal(const TDibGraphic& image) {
  const TOriginalEncoding* original = image.OriginalEncoding();
  if (!original || original->Coding != TOriginalCoding::ocJpeg) return nullptr;
  const std::optional<TJpegFrame> frame = ReadJpegFrame(original->Data);
  if (!frame || frame->Width != image.Width() || frame->Height != image.Height()) return nullptr;
  const TImageFormat format = image.ImageFormat();
  const bool fits = (format == TImageFormat::TrueColor && frame->Components == 3) ||
                    (format == TImageFormat::Gray256 && frame->Components == 1 && IsGrayRamp(image));
  return fits ? original : nullptr;
}

// The pixels of a black-and-white image coded with CCITT Group 4 by libtiff, as the TIFF writer
// codes its pages, but in one strip so that the rows form one coded picture. Black pixels are
// coded as black runs, so a reader decodes them as 0 (PDF's default, BlackIs1 false).
TQpdfBuffer Group4Data(const TDibGraphic& image, bool blackFirst) {
  TMemoryStream file;
  {
    TTiffHandle h(file, "w");
    h.SetIntField(TIFFTAG_IMAGEWIDTH, image.Width());
    h.SetIntField(TIFFTAG_IMAGELENGTH, image.Height());
    h.SetIntField(TIFFTAG_BITSPERSAMPLE, 1);
    h.SetIntField(TIFFTAG_SAMPLESPERPIXEL, 1);
    h.SetIntField(TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    h.SetIntField(TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    h.SetIntField(TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    h.SetIntField(TIFFTAG_ROWSPERSTRIP, image.Height());
    // The coder takes 1 bits for black runs: indices of a black first entry are inverted.
    const size_t rowBytes = static_cast<size_t>(image.BytesPerLine());
    std::vector<uint8_t> row(rowBytes);
    for (int y = 0; y < image.Height(); ++y) {
      const uint8_t* source = image.ScanLine(y);
      if (blackFirst)
        std::transform(source, source + rowBytes, row.begin(), [](uint8_t b) { return static_cast<uint8_t>(~b); });
      else
        std::memcpy(row.data(), source, rowBytes);
      const int result = TIFFWriteScanline(h.Get(), row.data(), static_cast<uint32_t>(y), 0);
      h.CheckStream();
      if (result == -1) RaiseTiffError("TIFFWriteScanLine");
    }
    h.Close();
  }
  file.SetPosition(0);
  TTiffHandle h(file, "r");
  const tmsize_t size = TIFFRawStripSize(h.Get(), 0);
  h.CheckStream();
  if (size <= 0) RaiseTiffError("TIFFRawStripSize");
  auto data = std::make_shared<Buffer>(static_cast<size_t>(size));
  const tmsize_t read = TIFFReadRawStrip(h.Get(), 0, data->getBuffer(), size);
  h.CheckStream();
  if (read != size) RaiseTiffError("TIFFReadRawStrip");
  return data;
}

TQpdfBuffer CopyToBuffer(const std::vector<uint8_t>& bytes) {
  auto data = std::make_shared<Buffer>(bytes.size());
  if (!bytes.empty()) std::memcpy(data->getBuffer(), bytes.data(), bytes.size());
  return data;
}

TQpdfBuffer JpegData(const TPdfGraphic& image) {
  TJpegGraphic jpeg;
  jpeg.Assign(&image);
  jpeg.SetQuality(image.Quality());
  jpeg.SetProgressive(image.Progressive());
  jpeg.SetOptimizeCoding(image.OptimizeCoding());
  TMemoryStream file;
  jpeg.SaveToStream(file);
  return CopyToBuffer(file.Data());
}

// The indices, rows from the top, each padded to a whole byte as PDF samples are, deflated.
TQpdfBuffer FlateData(const TDibGraphic& image) {
  Pl_Buffer out("image");
  Pl_Flate flate("image", &out, Pl_Flate::a_deflate);
  const size_t rowBytes = (static_cast<size_t>(image.Width()) * image.BitCount() + 7) / 8;
  for (int y = 0; y < image.Height(); ++y) flate.write(image.ScanLine(y), rowBytes);
  flate.finish();
  return out.getBufferSharedPointer();
}

QPDFObjectHandle Name(const char* name) { return QPDFObjectHandle::newName(name); }
QPDFObjectHandle Integer(long long value) { return QPDFObjectHandle::newInteger(value); }

// [/Indexed /DeviceRGB hival <colours>] with an entry for every index the depth can hold, so that
// every pixel shows the colour the image gives it.
QPDFObjectHandle IndexedColorSpace(const TDibGraphic& image) {
  const int count = 1 << image.BitCount();
  std::string colours;
  colours.reserve(static_cast<size_t>(count) * 3);
  for (int i = 0; i < count; ++i) {
    const TPaletteEntry& entry = image.PaletteRecord().Entries[static_cast<size_t>(i)];
    colours += static_cast<char>(entry.Red);
    colours += static_cast<char>(entry.Green);
    colours += static_cast<char>(entry.Blue);
  }
  return QPDFObjectHandle::newArray(
      {Name("/Indexed"), Name("/DeviceRGB"), Integer(count - 1), QPDFObjectHandle::newString(colours)});
}

// The page's picture as an image XObject.
QPDFObjectHandle ImageObject(QPDF& pdf, const TPdfGraphic& image) {
  QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf);
  QPDFObjectHandle dict = stream.getDict();
  dict.replaceKey("/Type", Name("/XObject"));
  dict.replaceKey("/Subtype", Name("/Image"));
  dict.replaceKey("/Width", Integer(image.Width()));
  dict.replaceKey("/Height", Integer(image.Height()));
  const QPDFObjectHandle none = QPDFObjectHandle::newNull();
  switch (PdfPageCoding(image)) {
    case TPdfPageCoding::pcCcittGroup4: {
      bool blackFirst = true;
      IsBlackAndWhite(image, blackFirst);
      dict.replaceKey("/ColorSpace", Name("/DeviceGray"));
      dict.replaceKey("/BitsPerComponent", Integer(1));
      QPDFObjectHandle parameters = QPDFObjectHandle::newDictionary();
      parameters.replaceKey("/K", Integer(-1));
      parameters.replaceKey("/Columns", Integer(image.Width()));
      parameters.replaceKey("/Rows", Integer(image.Height()));
      stream.replaceStreamData(Group4Data(image, blackFirst), Name("/CCITTFaxDecode"), parameters);
      break;
    }
    case TPdfPageCoding::pcOriginalJpeg:
    case TPdfPageCoding::pcJpeg: {
      const bool gray = image.ImageFormat() == TImageFormat::Gray256;
      dict.replaceKey("/ColorSpace", Name(gray ? "/DeviceGray" : "/DeviceRGB"));
      dict.replaceKey("/BitsPerComponent", Integer(8));
      const TOriginalEncoding* original = StorableOriginal(image);
      stream.replaceStreamData(original ? CopyToBuffer(original->Data) : JpegData(image), Name("/DCTDecode"), none);
      break;
    }
    case TPdfPageCoding::pcFlate:
      dict.replaceKey("/ColorSpace", IndexedColorSpace(image));
      dict.replaceKey("/BitsPerComponent", Integer(image.BitCount()));
      stream.replaceStreamData(FlateData(image), Name("/FlateDecode"), none);
      break;
  }
  return stream;
}

// Adds a page as large as the image at its resolution, with the picture drawn over all of it.
void AddPage(QPDF& pdf, const TPdfGraphic& image) {
  const std::string width = PdfNumber(PageExtent(image.Width(), image.XDpi()));
  const std::string height = PdfNumber(PageExtent(image.Height(), image.YDpi()));
  QPDFObjectHandle picture = ImageObject(pdf, image);
  QPDFObjectHandle contents = pdf.newStream("q\n" + width + " 0 0 " + height + " 0 0 cm\n/Im0 Do\nQ\n");

  QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
  xobjects.replaceKey("/Im0", picture);
  QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
  resources.replaceKey("/XObject", xobjects);
  QPDFObjectHandle page = QPDFObjectHandle::newDictionary();
  page.replaceKey("/Type", Name("/Page"));
  page.replaceKey("/MediaBox", QPDFObjectHandle::newArray({Integer(0), Integer(0), QPDFObjectHandle::newReal(width),
                                                           QPDFObjectHandle::newReal(height)}));
  page.replaceKey("/Resources", resources);
  page.replaceKey("/Contents", contents);
  QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)), false);
}

// The document as bytes, streams stored as they are, at least AtLeast bytes long: a rewritten
// document that would end before the old one did is lengthened by a comment after its header.
TQpdfBuffer WriteDocument(QPDF& pdf, size_t atLeast) {
  auto write = [&pdf](const std::string& headerText) {
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setCompressStreams(false);
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setObjectStreamMode(qpdf_o_disable);
    writer.setDeterministicID(true);
    if (!headerText.empty()) writer.setExtraHeaderText(headerText);
    writer.write();
    return writer.getBufferSharedPointer();
  };
  TQpdfBuffer data = write("");
  if (data->getSize() >= atLeast) return data;
  // "%", the blanks and the newline that ends the comment.
  const size_t missing = atLeast - data->getSize();
  std::string comment(std::max<size_t>(missing, 2), ' ');
  comment.front() = '%';
  comment.back() = '\n';
  data = write(comment);
  if (data->getSize() < atLeast) throw EPdfError("The PDF file would become shorter than it was");
  return data;
}

// The stream from Start to its end, for QPDF to parse.
std::vector<char> ReadRest(TStream& stream, int64_t start) {
  const int64_t size = stream.Size();
  if (start < 0 || size < start) throw EReadError("Stream read error");
  CheckBufferSize(static_cast<uint64_t>(size - start));
  std::vector<char> bytes(static_cast<size_t>(size - start));
  stream.Seek(start, TSeekOrigin::soBeginning);
  if (!bytes.empty()) stream.ReadBuffer(bytes.data(), bytes.size());
  return bytes;
}

// Parses a document held in memory (Bytes must outlive Pdf). No repair of damaged files: only
// documents that read as they are get pages added.
void OpenDocument(QPDF& pdf, const std::vector<char>& bytes) {
  pdf.setSuppressWarnings(true);
  pdf.setAttemptRecovery(false);
  pdf.processMemoryFile("PDF file", bytes.data(), bytes.size());
}

void CheckWritable(const TDibGraphic& image) {
  if (image.Empty()) throw EPdfError("An empty image cannot be written as a PDF page");
}

}  // namespace

TPdfPageCoding PdfPageCoding(const TDibGraphic& image) {
  if (StorableOriginal(image)) return TPdfPageCoding::pcOriginalJpeg;
  bool blackFirst = false;
  switch (image.ImageFormat()) {
    case TImageFormat::BlackWhite:
      return IsBlackAndWhite(image, blackFirst) ? TPdfPageCoding::pcCcittGroup4 : TPdfPageCoding::pcFlate;
    case TImageFormat::Gray256: return IsGrayRamp(image) ? TPdfPageCoding::pcJpeg : TPdfPageCoding::pcFlate;
    case TImageFormat::TrueColor: return TPdfPageCoding::pcJpeg;
    default: return TPdfPageCoding::pcFlate;
  }
}

int TPdfGraphic::GetImageCount(TStream& stream) {
  const std::vector<char> bytes = ReadRest(stream, stream.Position());
  return RunQpdf("The PDF file cannot be read", [&] {
    QPDF pdf;
    OpenDocument(pdf, bytes);
    const size_t pages = pdf.getAllPages().size();
    return static_cast<int>(std::min<size_t>(pages, std::numeric_limits<int>::max()));
  });
}

void TPdfGraphic::LoadImageFromStream(TStream&, int) { throw EPdfError("PDF files can only be written, not read"); }

void TPdfGraphic::SaveToStream(TStream& stream) {
  CheckWritable(*this);
  const TQpdfBuffer data = RunQpdf("The PDF file cannot be written", [&] {
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.emptyPDF();
    AddPage(pdf, *this);
    QPDFObjectHandle info = QPDFObjectHandle::newDictionary();
    info.replaceKey("/Producer", QPDFObjectHandle::newString(kProducer));
    info.replaceKey("/CreationDate",
                    QPDFObjectHandle::newString(QUtil::qpdf_time_to_pdf_time(QUtil::get_current_qpdf_time())));
    pdf.getTrailer().replaceKey("/Info", pdf.makeIndirectObject(info));
    return WriteDocument(pdf, 0);
  });
  stream.WriteBuffer(data->getBuffer(), data->getSize());
}

void TPdfGraphic::AppendToStream(TStream& stream) {
  if (stream.Size() == 0) {
    SaveToStream(stream);
    return;
  }
  CheckWritable(*this);
  const std::vector<char> old = ReadRest(stream, 0);
  const TQpdfBuffer data = RunQpdf("A page cannot be added to the PDF file", [&] {
    QPDF pdf;
    OpenDocument(pdf, old);
    if (pdf.isEncrypted()) throw EPdfError("Pages cannot be added to an encrypted PDF file");
    AddPage(pdf, *this);
    return WriteDocument(pdf, old.size());
  });
  stream.Seek(0, TSeekOrigin::soBeginning);
  stream.WriteBuffer(data->getBuffer(), data->getSize());
}

}  // namespace quorvane
