// What other programs get from a Copy: the PNG and BMP files of the clipboard's mime data, and
// the bitmap the program pastes back.
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <atomic>

#include "formats/FormatTestUtil.h"
#include "model/QvThreads.h"
#include "platform/QvDiGrphQt.h"
#include "platform/QvDiGrphQtClipboard.h"

using namespace qvtest;

namespace {

// Rows split into bands whatever their size, on Threads threads; the defaults come back after.
struct TBandSetting {
  explicit TBandSetting(int threads) : FWork(MinimumParallelWork()) {
    SetThreadCount(threads);
    SetMinimumParallelWork(0);
  }
  ~TBandSetting() {
    SetThreadCount(0);
    SetMinimumParallelWork(FWork);
  }
  size_t FWork;
};

TEST(ClipboardData, OfferedFilesDecodeToTheCopiedPixels) {
  QClipboard& clipboard = *QGuiApplication::clipboard();
  const struct { int Width, Height; } sizes[] = {{37, 11}, {1, 1}, {9, 70}};
  for (int threads : {1, 3}) {
    const TBandSetting bands(threads);
    for (int f = 0; f < kImageFormatCount; ++f)
      for (const auto& size : sizes) {
        const auto format = static_cast<TImageFormat>(f);
        SCOPED_TRACE(::testing::Message()
                     << ImageFormatName(format) << " " << size.Width << "x" << size.Height << " threads " << threads);
        TDibGraphic source;
        MakeImage(source, format, size.Width, size.Height, 5);
        CopyToClipboard(source, clipboard);
        const QMimeData* data = clipboard.mimeData();
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->formats(), QStringList({"image/png", "image/bmp"}));
        EXPECT_TRUE(data->hasImage());
        for (const char* type : {"image/png", "image/bmp"}) {
          SCOPED_TRACE(type);
          const QImage decoded = QImage::fromData(data->data(QString::fromLatin1(type)));
          ASSERT_FALSE(decoded.isNull());
          TDibGraphic read;
          LoadFromBitmapHandle(read, decoded);
          EXPECT_TRUE(SamePicture(read, source));
        }
        // The program's own paste reads the bitmap back unchanged.
        TDibGraphic pasted;
        Assign(pasted, clipboard);
        EXPECT_EQ(pasted.ImageFormat(), format == TImageFormat::BlackWhite ? format : TImageFormat::TrueColor);
        EXPECT_TRUE(SamePicture(pasted, source));
      }
  }
}

TEST(ClipboardData, CancelledEncodingGivesNothing) {
  QImage bitmap(300, 200, QImage::Format_RGB32);
  bitmap.fill(qRgb(10, 20, 30));
  const std::atomic<bool> cancelled{true};
  EXPECT_TRUE(EncodeClipboardPng(bitmap, cancelled).isEmpty());
  const std::atomic<bool> running{false};
  EXPECT_FALSE(EncodeClipboardPng(bitmap, running).isEmpty());
}

}  // namespace
