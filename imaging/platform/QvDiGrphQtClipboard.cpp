#include "platform/QvDiGrphQtClipboard.h"

#include <zlib.h>

#include <QBuffer>
#include <QImageWriter>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "model/QvThreads.h"

namespace quorvane {

namespace {

const QString kImageType = QStringLiteral("application/x-qt-image");
const QString kPngType = QStringLiteral("image/png");
const QString kBmpType = QStringLiteral("image/bmp");

void PutBigEndian(QByteArray& out, uint32_t value) {
  const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
                         static_cast<char>(value)};
  out.append(bytes, 4);
}

void PutChunk(QByteArray& out, const char* type, const uint8_t* data, size_t size) {
  PutBigEndian(out, static_cast<uint32_t>(size));
  const qsizetype start = out.size();
  out.append(type, 4);
  out.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const auto* typed = reinterpret_cast<const Bytef*>(out.constData() + start);
  PutBigEndian(out, static_cast<uint32_t>(crc32(0, typed, static_cast<uInt>(size + 4))));
}

struct TDeflater {
  z_stream Stream{};
  bool Ready = false;
  ~TDeflater() {
    if (Ready) deflateEnd(&Stream);
  }
};

// One PNG row: filter type 1 (Sub) and the differences to the pixel on the left, which keeps a
// photograph compressible at deflate's fastest level for little work.
void SubFilterRow(const QImage& bitmap, int y, bool mono, std::vector<uint8_t>& row) {
  row[0] = 1;
  uint8_t* out = row.data() + 1;
  if (mono) {
    const uchar* in = bitmap.constScanLine(y);
    const size_t bytes = row.size() - 1;
    out[0] = in[0];
    for (size_t i = 1; i < bytes; ++i) out[i] = static_cast<uint8_t>(in[i] - in[i - 1]);
    return;
  }
  const auto* in = reinterpret_cast<const QRgb*>(bitmap.constScanLine(y));
  int r = 0, g = 0, b = 0;
  for (int x = 0; x < bitmap.width(); ++x, out += 3) {
    const int nr = qRed(in[x]), ng = qGreen(in[x]), nb = qBlue(in[x]);
    out[0] = static_cast<uint8_t>(nr - r);
    out[1] = static_cast<uint8_t>(ng - g);
    out[2] = static_cast<uint8_t>(nb - b);
    r = nr, g = ng, b = nb;
  }
}

// Rows [First, Last) filtered and deflated as raw deflate data that the next band's data can
// follow: the last band ends the stream, the others end on a byte boundary (a sync flush), so
// that the bands' data put one after the other is one deflate stream.
struct TBand {
  // Sized to deflate's bound; only the pages written are ever touched.
  std::unique_ptr<uint8_t[]> Data;
  size_t Size = 0;
  uLong Adler = 1;  // of the band's filtered rows
  uLong Length = 0;
  bool Ok = false;
};

void DeflateBand(const QImage& bitmap, bool mono, int first, int last, bool final, size_t rowBytes,
                 const std::atomic<bool>& cancelled, TBand& band) {
  TDeflater z;
  if (deflateInit2(&z.Stream, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return;
  z.Ready = true;
  std::vector<uint8_t> row(rowBytes);
  const size_t capacity = deflateBound(&z.Stream, static_cast<uLong>(rowBytes) * static_cast<uLong>(last - first)) + 64;
  if (capacity > std::numeric_limits<uInt>::max()) return;
  band.Data = std::make_unique_for_overwrite<uint8_t[]>(capacity);
  z.Stream.next_out = band.Data.get();
  z.Stream.avail_out = static_cast<uInt>(capacity);
  for (int y = first; y < last; ++y) {
    if (((y - first) & 63) == 0 && cancelled.load(std::memory_order_relaxed)) return;
    SubFilterRow(bitmap, y, mono, row);
    band.Adler = adler32(band.Adler, row.data(), static_cast<uInt>(row.size()));
    band.Length += static_cast<uLong>(row.size());
    z.Stream.next_in = row.data();
    z.Stream.avail_in = static_cast<uInt>(row.size());
    const bool lastRow = y + 1 == last;
    const int flush = lastRow ? (final ? Z_FINISH : Z_SYNC_FLUSH) : Z_NO_FLUSH;
    const int result = deflate(&z.Stream, flush);
    // The buffer holds deflate's bound for the whole band, so every call takes its row.
    if (result != (flush == Z_FINISH ? Z_STREAM_END : Z_OK) || z.Stream.avail_in != 0) return;
  }
  band.Size = capacity - z.Stream.avail_out;
  band.Ok = true;
}

}  // namespace

QByteArray EncodeClipboardPng(const QImage& source, const std::atomic<bool>& cancelled) {
  const bool mono = source.format() == QImage::Format_Mono && source.colorCount() == 2;
  const QImage bitmap = mono || source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                            ? source
                            : source.convertToFormat(QImage::Format_RGB32);
  if (bitmap.isNull()) return {};
  const size_t width = static_cast<size_t>(bitmap.width());
  const size_t rowBytes = 1 + (mono ? (width + 7) / 8 : 3 * width);
  const int height = bitmap.height();
  try {
    // The rows are deflated in bands on the library's threads; the zlib stream's checksum is
    // combined from the bands' own.
    const int bandCount = BandThreads(height, rowBytes);
    std::vector<TBand> bands(static_cast<size_t>(bandCount));
    auto firstRow = [&](int b) { return static_cast<int>(static_cast<int64_t>(height) * b / bandCount); };
    RunRowBands(bandCount, bandCount, [&](int first, int last, int) {
      for (int b = first; b < last; ++b)
        DeflateBand(bitmap, mono, firstRow(b), firstRow(b + 1), b + 1 == bandCount, rowBytes, cancelled,
                    bands[static_cast<size_t>(b)]);
    });
    uLong adler = 1;
    for (const TBand& band : bands) {
      if (!band.Ok) return {};
      adler = adler32_combine(adler, band.Adler, static_cast<z_off_t>(band.Length));
    }

    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    uint8_t header[13] = {};
    for (int i = 0; i < 4; ++i) {
      header[i] = static_cast<uint8_t>(bitmap.width() >> (24 - 8 * i));
      header[4 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    header[8] = mono ? 1 : 8;  // bit depth
    header[9] = mono ? 3 : 2;  // palette or RGB
    PutChunk(out, "IHDR", header, sizeof header);
    if (mono) {
      uint8_t palette[6];
      for (int i = 0; i < 2; ++i) {
        const QRgb c = bitmap.color(i);
        palette[3 * i] = static_cast<uint8_t>(qRed(c));
        palette[3 * i + 1] = static_cast<uint8_t>(qGreen(c));
        palette[3 * i + 2] = static_cast<uint8_t>(qBlue(c));
      }
      PutChunk(out, "PLTE", palette, sizeof palette);
    }
    // The zlib stream in IDAT chunks of at most 1 MiB (a stream may be split anywhere between
    // chunks): the header for the fastest level, the bands, the checksum.
    const uint8_t zlibHeader[2] = {0x78, 0x01};
    PutChunk(out, "IDAT", zlibHeader, sizeof zlibHeader);
    constexpr size_t kChunk = 1 << 20;
    for (TBand& band : bands) {
      for (size_t at = 0; at < band.Size; at += kChunk)
        PutChunk(out, "IDAT", band.Data.get() + at, std::min(kChunk, band.Size - at));
      band.Data.reset();
    }
    uint8_t checksum[4];
    for (int i = 0; i < 4; ++i) checksum[i] = static_cast<uint8_t>(adler >> (24 - 8 * i));
    PutChunk(out, "IDAT", checksum, sizeof checksum);
    PutChunk(out, "IEND", nullptr, 0);
    return out;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

QByteArray EncodeClipboardBmp(const QImage& bitmap) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!QImageWriter(&buffer, "bmp").write(bitmap)) return {};
  return bytes;
}

TClipboardImageData::TClipboardImageData(QImage bitmap)
    : FBitmap(std::move(bitmap)), FCancelled(std::make_shared<std::atomic<bool>>(false)) {
  // The workers hold their own references to the pixels and the flag: the clipboard may drop
  // this object (a later Copy) while they run, and a pixel block shared read-only is safe across
  // threads.
  const QImage pixels = FBitmap;
  FPng = QtConcurrent::run([pixels, cancelled = FCancelled] { return EncodeClipboardPng(pixels, *cancelled); });
  FBmp = QtConcurrent::run([pixels] { return EncodeClipboardBmp(pixels); });
}

TClipboardImageData::~TClipboardImageData() {
  // A task that has not started is not started any more; a running PNG encoding stops soon.
  FCancelled->store(true);
  FPng.cancel();
  FBmp.cancel();
}

bool TClipboardImageData::hasFormat(const QString& mimeType) const {
  return mimeType == kImageType || mimeType == kPngType || mimeType == kBmpType;
}

QStringList TClipboardImageData::formats() const { return {kPngType, kBmpType}; }

QVariant TClipboardImageData::retrieveData(const QString& mimeType, QMetaType type) const {
  if (mimeType == kImageType) return FBitmap;
  // The futures' results: there at once unless the encoding is still running.
  if (mimeType == kPngType) return QFuture<QByteArray>(FPng).result();
  if (mimeType == kBmpType) return QFuture<QByteArray>(FBmp).result();
  return QMimeData::retrieveData(mimeType, type);
}

}  // namespace quorvane
