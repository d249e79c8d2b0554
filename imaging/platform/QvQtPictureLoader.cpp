#include "platform/QvQtPictureLoader.h"

#include <QImageReader>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <unordered_map>

#include "formats/QvDiGrphDib.h"
#include "formats/QvHeif.h"
#include "formats/QvIcoGr.h"
#include "model/QvBytes.h"
#include "model/QvDiGrph.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvDiGrphRows.h"
#include "model/QvExcept.h"
#include "model/QvLimits.h"
#include "platform/QvDiGrphQt.h"

namespace quorvane {

namespace {

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::set<std::string> ReadableExtensions() {
  std::set<std::string> result;
  for (const QByteArray& format : QImageReader::supportedImageFormats()) result.insert(LowerCase(format.toStdString()));
  return result;
}

std::string DescriptionOf(const std::string& extension) {
  static const std::map<std::string, std::string> known = {{"bmp", "Bitmaps"},
                                                           {"ico", "Icons"},
                                                           {"cur", "Cursors"},
                                                           {"gif", "GIF Images"},
                                                           {"pbm", "Portable Bitmaps"},
                                                           {"pgm", "Portable Graymaps"},
                                                           {"ppm", "Portable Pixmaps"},
                                                           {"xbm", "X11 Bitmaps"},
                                                           {"xpm", "X11 Pixmaps"},
                                                           {"jpg", "JPEG Images"},
                                                           {"jpeg", "JPEG Images"},
                                                           {"png", "PNG Images"},
                                                           {"svg", "Scalable Vector Graphics"},
                                                           {"svgz", "Compressed Scalable Vector Graphics"},
                                                           {"webp", "WebP Images"},
                                                           {"tif", "TIFF Images"},
                                                           {"tiff", "TIFF Images"},
                                                           {"tga", "Targa Images"},
                                                           {"wbmp", "Wireless Bitmaps"},
                                                           {"icns", "Apple Icons"}};
  const auto it = known.find(extension);
  if (it != known.end()) return it->second;
  std::string upper = extension;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper + " Images";
}

// Qt's limit counts megabytes of one decoded image; it follows the library's memory limit, so a
// file that claims a huge size is refused before Qt allocates for it.
// Loads may run on several threads; Qt's limit is one process-wide value that Qt's readers read
// without a lock, so it is written only when the library's limit has changed.
void ApplyAllocationLimit() {
  static std::mutex guard;
  const std::lock_guard<std::mutex> lock(guard);
  const int64_t megabytes = ImageLimits().MaxMemory >> 20;
  const int limit = static_cast<int>(std::clamp<int64_t>(megabytes, 1, 1 << 30));
  if (QImageReader::allocationLimit() != limit) QImageReader::setAllocationLimit(limit);
}

[[noreturn]] void Unreadable(const QImageReader& reader) { throw EInvalidGraphic(reader.errorString().toStdString()); }

void CheckDeclaredSize(const QImageReader& reader) {
  const QSize size = reader.size();
  if (size.isValid()) CheckImageSize(size.width(), size.height(), 32);
}

// The bit count in a BMP file's header: Qt hands 4-bit bitmaps over as 8-bit ones.
int BmpBitCount(const std::string& fileName) {
  uint8_t header[30] = {};
  std::FILE* file = std::fopen(fileName.c_str(), "rb");
  if (file == nullptr) return 0;
  const size_t got = std::fread(header, 1, sizeof header, file);
  std::fclose(file);
  if (got < sizeof header || header[0] != 'B' || header[1] != 'M') return 0;
  const size_t at = GetLe32(header + 14) == 12 ? 24 : 28;
  return GetLe16(header + at);
}

// A BMP file of 16 or 32 bits per pixel, read by the library's packed-bitmap reader: Qt widens
// 5 and 6-bit channels by shifting (white becomes 248, 252, 248), the library to the full range.
// Null when the file is not such a bitmap.
std::unique_ptr<TDibGraphic> LoadDeepBitmap(const std::string& fileName) {
  std::error_code error;
  const uintmax_t fileSize = std::filesystem::file_size(fileName, error);
  if (error) return nullptr;
  CheckBufferSize(fileSize);
  TMemoryStream file;
  file.LoadFromFile(fileName);
  auto image = std::make_unique<TDibGraphic>();
  if (!LoadDeepBitmapFile(*image, file.Data())) return nullptr;
  return image;
}

// A TrueColor picture of at most 256 colours (Qt hands GIF frames over as 32-bit images) stored
// as the 8-bit palette picture it was, its colours in order of first appearance.
void NarrowToPalette(TDibGraphic& image) {
  if (image.ImageFormat() != TImageFormat::TrueColor) return;
  std::unordered_map<TColorValue, uint8_t> indexOf;
  TDibPalette palette{};
  std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(image.Height()));
  for (int y = 0; y < image.Height(); ++y) {
    rows[y].resize(static_cast<size_t>(image.Width()));
    const uint8_t* p = image.ScanLine(y);
    for (int x = 0; x < image.Width(); ++x, p += 3) {
      const TColorValue color = PackColor(p[0], p[1], p[2]);
      auto [it, added] = indexOf.try_emplace(color, static_cast<uint8_t>(palette.Count));
      if (added) {
        if (palette.Count == 256) return;
        palette.Entries[palette.Count++] = EntryOf(color);
      }
      rows[y][x] = it->second;
    }
  }
  const uint16_t xDpi = static_cast<uint16_t>(image.XDpi()), yDpi = static_cast<uint16_t>(image.YDpi());
  const int delay = image.FrameDelay();
  image.NewImage(image.Width(), image.Height(), TImageFormat::Color256, &palette, xDpi, yDpi);
  image.SetXDpi(xDpi);
  image.SetYDpi(yDpi);
  image.SetFrameDelay(delay);
  for (int y = 0; y < image.Height(); ++y) WriteRowIndices(image, y, 0, image.Width(), rows[y].data());
}

// An 8-bit image whose colour table and pixels fit in 4 bits, stored as the 4-bit image it was.
void NarrowToFourBits(TDibGraphic& image) {
  if (image.ImageFormat() != TImageFormat::Color256 || image.PaletteRecord().Count > 16) return;
  std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(image.Height()));
  for (int y = 0; y < image.Height(); ++y) {
    rows[y].resize(static_cast<size_t>(image.Width()));
    ReadRowIndices(image, y, 0, image.Width(), rows[y].data());
    if (*std::max_element(rows[y].begin(), rows[y].end()) >= 16) return;
  }
  const TDibPalette palette = image.PaletteRecord();
  const uint16_t xDpi = static_cast<uint16_t>(image.XDpi()), yDpi = static_cast<uint16_t>(image.YDpi());
  image.NewImage(image.Width(), image.Height(), TImageFormat::Color16, &palette, xDpi, yDpi);
  image.SetXDpi(xDpi);
  image.SetYDpi(yDpi);
  for (int y = 0; y < image.Height(); ++y) WriteRowIndices(image, y, 0, image.Width(), rows[y].data());
}

std::unique_ptr<TDibGraphic> ImageOf(const QImage& picture, const QByteArray& format) {
  auto image = std::make_unique<TDibGraphic>();
  LoadFromBitmapHandle(*image, picture);
  if (format == "gif") NarrowToPalette(*image);
  return image;
}

// The icon's picture nearest the standard size (deepest of equal sizes), drawn onto black.
std::unique_ptr<TDibGraphic> LoadIcon(QImageReader& reader) {
  const int standard = TIconGraphic::kStandardIconSize;
  QImage best;
  int bestDistance = 0;
  const int count = std::max(reader.imageCount(), 1);
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !reader.jumpToImage(i)) break;
    CheckDeclaredSize(reader);
    QImage picture;
    if (!reader.read(&picture)) {
      if (best.isNull() && i + 1 == count) Unreadable(reader);
      continue;
    }
    const int distance = std::abs(picture.width() - standard) + std::abs(picture.height() - standard);
    if (best.isNull() || distance < bestDistance || (distance == bestDistance && picture.depth() > best.depth())) {
      best = picture;
      bestDistance = distance;
    }
  }
  if (best.isNull()) Unreadable(reader);
  auto image = std::make_unique<TDibGraphic>();
  DrawOntoBlack(*image, best);
  return image;
}

// Every image of an animation as a frame; a file with one image gives that image, no frames.
std::unique_ptr<TDibGraphic> LoadFrames(QImageReader& reader) {
  std::vector<std::unique_ptr<TDibGraphic>> frames;
  uint64_t totalBytes = 0;
  for (;;) {
    CheckDeclaredSize(reader);
    QImage picture;
    if (!reader.read(&picture)) {
      if (frames.empty()) Unreadable(reader);
      break;
    }
    std::unique_ptr<TDibGraphic> frame = ImageOf(picture, reader.format());
    // Frames live side by side; together they stay within the memory limit of one image.
    totalBytes += frame->ImageSize();
    CheckBufferSize(totalBytes);
    if (reader.nextImageDelay() > 0) frame->SetFrameDelay(reader.nextImageDelay());
    frames.push_back(std::move(frame));
    if (!reader.canRead()) break;
  }
  if (frames.size() == 1) return std::move(frames.front());
  auto image = std::make_unique<TDibGraphic>();
  image->SetMultiImage(true);
  for (auto& frame : frames) image->AddFrame(std::move(frame));
  image->SetCurrentFrame(1);
  return image;
}

}  // namespace

std::vector<TPlatformPictureFormat> TQtPictureLoader::Formats() const {
  // Extension to description: what Qt reads, and the HEIF pictures libheif decodes.
  std::map<std::string, std::string> readable;
  for (const std::string& extension : ReadableExtensions()) readable[extension] = DescriptionOf(extension);
  for (const TPlatformPictureFormat& format : HeifFormats()) readable[format.Extension] = format.Description;
  std::vector<TPlatformPictureFormat> result;
  for (const char* first : {"bmp", "ico"}) {
    const auto it = readable.find(first);
    if (it == readable.end()) continue;
    result.push_back({it->first, it->second});
    readable.erase(it);
  }
  for (const auto& [extension, description] : readable)
    if (FindGraphicClass(extension) == nullptr) result.push_back({extension, description});
  return result;
}

std::unique_ptr<TDibGraphic> TQtPictureLoader::LoadFromFile(const std::string& fileName, bool allImages) {
  const std::string extension = LowerCase(ExtractFileExt(fileName));
  // HEIC and AVIF go to libheif even where a Qt plugin offers them: one primary picture, turned
  // as the file says, whichever plugins are installed.
  if (IsHeifExtension(extension)) {
    TFileStream file(fileName, TFileMode::fmOpenRead);
    return LoadHeifImage(file);
  }
  if (extension.size() < 2 || ReadableExtensions().count(extension.substr(1)) == 0)
    return IPictureLoader::LoadFromFile(fileName, allImages);
  ApplyAllocationLimit();
  QImageReader reader(QString::fromStdString(fileName));
  if (!reader.canRead()) Unreadable(reader);
  const QByteArray format = reader.format();
  if (format == "ico" || format == "cur") return LoadIcon(reader);
  if (format == "bmp")
    if (std::unique_ptr<TDibGraphic> deep = LoadDeepBitmap(fileName)) return deep;
  std::unique_ptr<TDibGraphic> image;
  if (allImages) {
    image = LoadFrames(reader);
  } else {
    CheckDeclaredSize(reader);
    QImage picture;
    if (!reader.read(&picture)) Unreadable(reader);
    image = ImageOf(picture, format);
  }
  if (format == "bmp" && BmpBitCount(fileName) == 4) NarrowToFourBits(*image);
  return image;
}

}  // namespace quorvane
