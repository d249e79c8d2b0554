// The clipboard's content after a Copy: a picture offered in the types other programs ask for.
#pragma once

#include <QByteArray>
#include <QFuture>
#include <QImage>
#include <QMimeData>
#include <atomic>
#include <memory>

namespace quorvane {

// Offers a clipboard bitmap as "image/png" (deflate level 1 over rows with the Sub filter: a paste
// is about speed, not size), as "image/bmp", and, to this program, as the bitmap itself ("application/x-qt-image", the
// exact pixels that Paste reads back). Both files are encoded on worker threads from the moment
// the object is made, so that a paste by another program, which Qt serves on the window's thread,
// only waits for an encoding that is usually finished: Qt's own clipboard would encode the
// picture at the time of the request, on that thread, with its slowest PNG settings.
//
// Only the two file types are listed in formats(): Qt adds every type it can write to a list that
// names the bitmap type, and would encode those on the window's thread when asked. hasImage()
// still answers true, and imageData() gives the bitmap.
class TClipboardImageData : public QMimeData {
 public:
  explicit TClipboardImageData(QImage bitmap);
  ~TClipboardImageData() override;

  const QImage& Bitmap() const { return FBitmap; }
  bool hasFormat(const QString& mimeType) const override;
  QStringList formats() const override;

 protected:
  QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

 private:
  QImage FBitmap;
  // Set when the clipboard drops this object, so that an encoding still running stops early.
  std::shared_ptr<std::atomic<bool>> FCancelled;
  QFuture<QByteArray> FPng;
  QFuture<QByteArray> FBmp;
};

// The picture as a PNG file in memory: a Format_Mono bitmap as 1-bit palette image, anything else
// as 8-bit RGB. Returns an empty array when Cancelled becomes true meanwhile or memory runs out.
QByteArray EncodeClipboardPng(const QImage& bitmap, const std::atomic<bool>& cancelled);
// The picture as a BMP file in memory (Qt's writer); empty on failure.
QByteArray EncodeClipboardBmp(const QImage& bitmap);

}  // namespace quorvane
