#include "view/QvImageScrollBox.h"

#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "model/QvDiGrphRegistry.h"
#include "model/QvExcept.h"
#include "model/QvMisc.h"
#include "model/QvPlatform.h"
#include "model/QvStream.h"
#include "model/QvThreads.h"
#include "transforms/QvTransfFilter.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfResize.h"
#include "view/QvImageControl.h"

namespace quorvane {

// What Qt paints: a QImage over the built part's own rows where Qt has the format (the rows are
// bottom-up, so it is drawn flipped), or a top-down conversion for the 4-bit formats Qt lacks.
struct TPaintCache {
  QImage Image;
  bool Flipped = false;
};

namespace {

// Widest and highest display copy a widget can stand for.
constexpr int kMaxDisplayExtent = QWIDGETSIZE_MAX;
// Smallest margin built around the visible area, in display pixels.
constexpr int kMinScrollMargin = 64;

QList<QRgb> ColorTableOf(const TDibGraphic& image) {
  const TDibPalette& palette = image.PaletteRecord();
  const int count = std::min<int>(palette.Count, 1 << std::min(image.BitCount(), 8));
  QList<QRgb> table;
  table.reserve(1 << image.BitCount());
  for (int i = 0; i < count; ++i) {
    const TPaletteEntry& e = palette.Entries[static_cast<size_t>(i)];
    table.push_back(qRgb(e.Red, e.Green, e.Blue));
  }
  // Indices past a short palette show black rather than reading outside the table.
  while (table.size() < (1 << image.BitCount())) table.push_back(qRgb(0, 0, 0));
  return table;
}

// 4-bit rows, high nibble first, as a top-down 8-bit image, in row bands.
QImage ExpandNibbles(const TDibGraphic& image) {
  QImage result(image.Width(), image.Height(), QImage::Format_Indexed8);
  result.setColorTable(ColorTableOf(image));
  uchar* bits = result.bits();
  const qsizetype stride = result.bytesPerLine();
  const int pairs = image.Width() / 2;
  RunRowBands(image.Height(), BandThreads(image.Height(), 2 * static_cast<size_t>(image.Width())),
              [&](int first, int last, int) {
                for (int y = first; y < last; ++y) {
                  const uint8_t* src = image.ScanLine(y);
                  uint8_t* out = bits + y * stride;
                  for (int i = 0; i < pairs; ++i) {
                    out[2 * i] = src[i] >> 4;
                    out[2 * i + 1] = src[i] & 0x0F;
                  }
                  if (image.Width() & 1) out[image.Width() - 1] = src[pairs] >> 4;
                }
              });
  return result;
}

// 1-bit rows as top-down 32-bit pixels: Qt draws them as a plain copy, where a one-bit image
// (upside down all the more) is converted at every paint.
QImage TopDownRgb32(const TDibGraphic& image) {
  QImage result(image.Width(), image.Height(), QImage::Format_RGB32);
  const QList<QRgb> colors = ColorTableOf(image);
  // The four pixels of each nibble.
  QRgb nibbles[16][4];
  for (int v = 0; v < 16; ++v)
    for (int i = 0; i < 4; ++i) nibbles[v][i] = colors[(v >> (3 - i)) & 1];
  uchar* bits = result.bits();
  const qsizetype stride = result.bytesPerLine();
  const int w = image.Width();
  RunRowBands(image.Height(), BandThreads(image.Height(), 4 * static_cast<size_t>(w)), [&](int first, int last, int) {
    for (int y = first; y < last; ++y) {
      const uint8_t* in = image.ScanLine(y);
      auto* out = reinterpret_cast<QRgb*>(bits + y * stride);
      int x = 0;
      for (; x + 8 <= w; x += 8, ++in) {
        std::memcpy(out + x, nibbles[*in >> 4], sizeof nibbles[0]);
        std::memcpy(out + x + 4, nibbles[*in & 15], sizeof nibbles[0]);
      }
      for (int i = 0; x < w; ++x, ++i) out[x] = colors[(*in >> (7 - i)) & 1];
    }
  });
  return result;
}

TRect Intersect(const TRect& a, const TRect& b) {
  return TRect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
               std::min(a.Bottom, b.Bottom)};
}

bool IsEmptyRect(const TRect& r) { return r.Width() <= 0 || r.Height() <= 0; }

bool Contains(const TRect& outer, const TRect& inner) {
  return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
         inner.Bottom <= outer.Bottom;
}

// Image extent times Zoom percent, truncated toward zero; at least one pixel so that a tiny zoom
// (a fit mode in a box of no height) shows a dot instead of failing every redraw.
int ScaledExtent(int extent, float zoomPercent) {
  const double scaled = std::trunc(static_cast<double>(extent) * (static_cast<double>(zoomPercent) / 100.0));
  if (scaled > kMaxDisplayExtent) throw EQuorvaneError("CreateDibSection failed");
  return std::max(1, static_cast<int>(scaled));
}

}  // namespace

TImageScrollBox::TImageScrollBox(QWidget* parent)
    : QAbstractScrollArea(parent),
      FGraphic(std::make_unique<TDibGraphic>()),
      FAntiAliasedGraphic(std::make_unique<TDibGraphic>()),
      FDisplayGraphic(std::make_unique<TDibGraphic>()),
      FResizeTransform(std::make_unique<TResizeTransform>()),
      FAntiAliasTransform(std::make_unique<TAntiAliasTransform>()),
      FAnimationTimer(std::make_unique<QTimer>()),
      FPaintCache(std::make_unique<TPaintCache>()) {
  setFrameShape(QFrame::NoFrame);
  resize(100, 100);
  SetScrollBarsShown(false, false);
  FImageControl = std::make_unique<TImageControl>(*this, viewport());
  FImageControl->setGeometry(0, 0, 0, 0);
  FImageControl->hide();
  FAnimationTimer->setSingleShot(false);
  QObject::connect(FAnimationTimer.get(), &QTimer::timeout, this, [this] { AnimationTick(); });
  SetMouseMode(TMouseMode::mmDrag);
}

TImageScrollBox::~TImageScrollBox() {
  FAnimationTimer->stop();
  // The handler may hold widgets of the viewport; it goes before them.
  FMouseHandler.reset();
}

QWidget* TImageScrollBox::ImageControl() const { return FImageControl.get(); }

void TImageScrollBox::ReportError(const std::exception& error) {
  if (OnError) {
    OnError(error);
    return;
  }
  Platform().ShowWarning("Error", error.what());
}

// --- the image ---

void TImageScrollBox::SetGraphic(const TDibGraphic& source) {
  if (&source != FGraphic.get()) FGraphic->Assign(&source);
  Redraw(true);
}

void TImageScrollBox::LoadFromFile(const std::string& fileName, int imageIndex) {
  // The animation pauses for the load and resumes afterwards, also on failure.
  struct TAnimationPause {
    TImageScrollBox& Box;
    bool WasAnimating;
    ~TAnimationPause() {
      if (WasAnimating) Box.SetAnimate(true);
    }
  } pause{*this, FAnimate};
  if (FAnimate) SetAnimate(false);

  std::unique_ptr<TDibGraphic> loaded;
  if (FindGraphicClass(fileName)) {
    loaded = CreateGraphicForFile(fileName);
    if (imageIndex != 0)
      loaded->SetImageIndex(imageIndex);
    else
      loaded->SetMultiImage(true);
    loaded->LoadFromFile(fileName);
  } else {
    TFileStream stream(fileName, TFileMode::fmOpenRead);
    loaded = LoadPlatformPicture(stream, fileName, imageIndex == 0);
  }
  FGraphic = std::move(loaded);
  Redraw(true);
}

// A new instance of the extension's class holding the current image, seen by OnBeforeSave.
static std::unique_ptr<TDibGraphic> PrepareSave(TImageScrollBox& box, const std::string& extension) {
  std::unique_ptr<TDibGraphic> target = CreateGraphicForFile(extension);
  target->Assign(&box.Graphic());
  if (box.OnBeforeSave) box.OnBeforeSave(box, *target);
  return target;
}

void TImageScrollBox::SaveToFile(const std::string& fileName) {
  // CreateGraphicForFile refuses an unknown extension before the file is touched.
  std::unique_ptr<TDibGraphic> target = CreateGraphicForFile(fileName);
  {
    TBusyCursor busy;
    target = PrepareSave(*this, fileName);
    target->SaveToFile(fileName);
  }
  FFileName = fileName;
}

void TImageScrollBox::SaveToStream(TStream& stream, const std::string& extension) {
  const std::string name = extension.find('.') == std::string::npos ? "." + extension : extension;
  std::unique_ptr<TDibGraphic> target = CreateGraphicForFile(name);
  TBusyCursor busy;
  target = PrepareSave(*this, name);
  target->SaveToStream(stream);
}

void TImageScrollBox::SetFileName(const std::string& fileName) {
  FFileName = fileName;
  if (!fileName.empty()) {
    LoadFromFile(fileName, 1);
    return;
  }
  FGraphic->FreeImage();
  Redraw(true);
}

// --- zoom and placement ---

void TImageScrollBox::SetZoomMode(TZoomMode mode) {
  FZoomMode = mode;
  Redraw(false);
}

void TImageScrollBox::SetZoomPercent(float percent) {
  if (FGraphic->Empty() || percent <= 0.1f) return;
  const float oldPercent = FZoomPercent;
  const TZoomMode oldMode = FZoomMode;
  FZoomPercent = percent;
  FZoomMode = TZoomMode::zmPercent;
  try {
    Redraw(false);
  } catch (...) {
    // A zoom whose display would not fit leaves the view as it was.
    FZoomPercent = oldPercent;
    FZoomMode = oldMode;
    Redraw(false);
    throw;
  }
}

void TImageScrollBox::SetAntiAliased(bool value) {
  if (value == FAntiAliased) return;
  FAntiAliased = value;
  if (FGraphic->ImageFormat() == TImageFormat::BlackWhite && !FGraphic->Empty()) Redraw(false);
}

void TImageScrollBox::SetCentered(bool value) {
  if (value == FCentered) return;
  FCentered = value;
  Redraw(false);
}

int TImageScrollBox::ClientWidth() const {
  const int frame = 2 * frameWidth();
  const int bar = FVertShown ? verticalScrollBar()->sizeHint().width() : 0;
  return std::max(0, width() - frame - bar);
}

int TImageScrollBox::ClientHeight() const {
  const int frame = 2 * frameWidth();
  const int bar = FHorzShown ? horizontalScrollBar()->sizeHint().height() : 0;
  return std::max(0, height() - frame - bar);
}

void TImageScrollBox::SetScrollBarsShown(bool horizontal, bool vertical) {
  FHorzShown = horizontal;
  FVertShown = vertical;
  setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void TImageScrollBox::ComputeZoom() {
  const float width = static_cast<float>(FGraphic->Width());
  const float height = static_cast<float>(FGraphic->Height());
  switch (FZoomMode) {
    case TZoomMode::zmFullPage: {
      SetScrollBarsShown(FHorzShown, false);
      const float ratioW = static_cast<float>(ClientWidth()) / width;
      SetScrollBarsShown(false, false);
      const float ratioH = static_cast<float>(ClientHeight()) / height;
      FZoomPercent = 100.0f * (ratioW < ratioH ? ratioW : ratioH);
      break;
    }
    case TZoomMode::zmFitWidth: {
      const float ratio = static_cast<float>(ClientWidth()) / width;
      FZoomPercent = 100.0f * ratio;
      break;
    }
    case TZoomMode::zmFitHeight: {
      SetScrollBarsShown(false, false);
      const float ratio = static_cast<float>(ClientHeight()) / height;
      FZoomPercent = 100.0f * ratio;
      break;
    }
    case TZoomMode::zmPercent: break;
    default: FZoomPercent = 100.0f; break;
  }
}

void TImageScrollBox::UpdateScrollBars() {
  // A bar appears when the copy exceeds the client extent; a bar in one direction narrows the
  // client in the other, so each is decided again once the other is known.
  SetScrollBarsShown(false, false);
  const int fullWidth = ClientWidth(), fullHeight = ClientHeight();
  const int barWidth = verticalScrollBar()->sizeHint().width();
  const int barHeight = horizontalScrollBar()->sizeHint().height();
  bool horizontal = FDisplayWidth > fullWidth;
  bool vertical = FDisplayHeight > fullHeight - (horizontal ? barHeight : 0);
  if (vertical && !horizontal) {
    horizontal = FDisplayWidth > fullWidth - barWidth;
    if (horizontal) vertical = FDisplayHeight > fullHeight - barHeight;
  }
  SetScrollBarsShown(horizontal, vertical);
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  h->setRange(0, std::max(0, FDisplayWidth - ClientWidth()));
  h->setPageStep(std::max(1, ClientWidth()));
  h->setSingleStep(16);
  v->setRange(0, std::max(0, FDisplayHeight - ClientHeight()));
  v->setPageStep(std::max(1, ClientHeight()));
  v->setSingleStep(16);
  h->setValue(0);
  v->setValue(0);
}

void TImageScrollBox::PlaceImageControl() {
  FDisplayLeft = 0;
  FDisplayTop = 0;
  if (FCentered) {
    // The box's outer size decides, as long as there is nothing to scroll in that direction.
    if (FDisplayHeight < height() && !FVertShown) FDisplayTop = (height() - FDisplayHeight) / 2;
    if (FDisplayWidth < width() && !FHorzShown) FDisplayLeft = (width() - FDisplayWidth) / 2;
  }
  FImageControl->setGeometry(FDisplayLeft - horizontalScrollBar()->value(), FDisplayTop - verticalScrollBar()->value(),
                             FDisplayWidth, FDisplayHeight);
}

void TImageScrollBox::ClearDisplay() {
  FDisplayGraphic->FreeImage();
  FDisplayArea = TRect{};
  FPaintCache->Image = QImage();
  FDisplayWidth = FDisplayHeight = 0;
  SetScrollBarsShown(false, false);
  FImageControl->hide();
}

void TImageScrollBox::BuildAntiAliasedCopy() {
  if (FGraphic->ImageFormat() == TImageFormat::BlackWhite)
    FAntiAliasTransform->ApplyOnDest(*FGraphic, *FAntiAliasedGraphic);
  else
    FAntiAliasedGraphic->FreeImage();
}

const TDibGraphic& TImageScrollBox::DisplaySource() const {
  if (FGraphic->ImageFormat() == TImageFormat::BlackWhite && FAntiAliased && !FAntiAliasedGraphic->Empty())
    return *FAntiAliasedGraphic;
  return *FGraphic;
}

void TImageScrollBox::Redraw(bool graphicChanged) {
  if (!isVisible()) {
    // Nothing is shown yet; the redraw runs when the box is shown.
    FRedrawPending = true;
    FPendingGraphicChanged = FPendingGraphicChanged || graphicChanged;
    return;
  }
  graphicChanged = graphicChanged || FPendingGraphicChanged;
  FRedrawPending = false;
  FPendingGraphicChanged = false;
  // The viewport's size changes that the scroll bars cause here are part of this redraw.
  ++FRedrawDepth;
  struct TDepth {
    int& Depth;
    ~TDepth() { --Depth; }
  } depth{FRedrawDepth};

  if (FGraphic->Empty()) {
    if (graphicChanged) FAntiAliasedGraphic->FreeImage();
    ClearDisplay();
    return;
  }
  if (graphicChanged) BuildAntiAliasedCopy();

  const bool vertBefore = FVertShown;
  const float oldZoom = std::nearbyint(FZoomPercent);
  ComputeZoom();
  const int displayWidth = ScaledExtent(FGraphic->Width(), FZoomPercent);
  const int displayHeight = ScaledExtent(FGraphic->Height(), FZoomPercent);
  if (oldZoom != FZoomPercent && OnZoomChange) OnZoomChange(*this, FZoomPercent);

  FDisplayWidth = displayWidth;
  FDisplayHeight = displayHeight;
  UpdateScrollBars();
  PlaceImageControl();
  FDisplayArea = TRect{};
  EnsureDisplayArea(VisibleArea());
  FImageControl->update();
  if (OnRedraw) OnRedraw(*FGraphic);
  if (!FImageControl->isVisible()) FImageControl->show();

  // A vertical bar that came or went changes the width that fit-to-width divides; the view
  // settles on the width it ends up with, as a size change of the client would make it.
  if (FZoomMode == TZoomMode::zmFitWidth && FVertShown != vertBefore && FRedrawDepth == 1) Redraw(false);
}

// --- the display copy ---

TRect TImageScrollBox::VisibleArea() const {
  const int left = horizontalScrollBar()->value() - FDisplayLeft;
  const int top = verticalScrollBar()->value() - FDisplayTop;
  const TRect visible{left, top, left + ClientWidth(), top + ClientHeight()};
  return Intersect(visible, TRect{0, 0, FDisplayWidth, FDisplayHeight});
}

void TImageScrollBox::BuildDisplayPart(const TRect& area, TDibGraphic& dest) const {
  const TRect part = Intersect(area, TRect{0, 0, FDisplayWidth, FDisplayHeight});
  if (IsEmptyRect(part)) throw EQuorvaneError("Destination graphic too small");
  const TDibGraphic& source = DisplaySource();
  if (FZoomPercent == 100.0f) {
    // At 100 % the copy is the source itself: the part is cut out unchanged.
    TCropTransform crop;
    crop.CropLeft = part.Left;
    crop.CropTop = part.Top;
    crop.CropRight = source.Width() - part.Right;
    crop.CropBottom = source.Height() - part.Bottom;
    crop.ApplyOnDest(source, dest);
    return;
  }
  FResizeTransform->NewWidth = FDisplayWidth;
  FResizeTransform->NewHeight = FDisplayHeight;
  FResizeTransform->ApplyOnDestPart(source, dest, part);
}

void TImageScrollBox::EnsureDisplayArea(const TRect& area) {
  const TRect wanted = Intersect(area, TRect{0, 0, FDisplayWidth, FDisplayHeight});
  if (IsEmptyRect(wanted) || Contains(FDisplayArea, wanted)) return;
  const int marginX = std::max(kMinScrollMargin, ClientWidth() / 4);
  const int marginY = std::max(kMinScrollMargin, ClientHeight() / 4);
  const TRect built =
      Intersect(TRect{wanted.Left - marginX, wanted.Top - marginY, wanted.Right + marginX, wanted.Bottom + marginY},
                TRect{0, 0, FDisplayWidth, FDisplayHeight});
  FDisplayArea = TRect{};
  FPaintCache->Image = QImage();
  BuildDisplayPart(built, *FDisplayGraphic);
  FDisplayArea = built;
  RebuildPaintImage();
}

void TImageScrollBox::RebuildPaintImage() {
  TDibGraphic& d = *FDisplayGraphic;
  TPaintCache& cache = *FPaintCache;
  cache.Flipped = true;
  switch (d.BitCount()) {
    case 24: cache.Image = QImage(d.Bits(), d.Width(), d.Height(), d.BytesPerLine(), QImage::Format_BGR888); break;
    case 8:
      cache.Image = QImage(d.Bits(), d.Width(), d.Height(), d.BytesPerLine(), QImage::Format_Indexed8);
      cache.Image.setColorTable(ColorTableOf(d));
      break;
    case 1:
      cache.Image = TopDownRgb32(d);
      cache.Flipped = false;
      break;
    default:
      cache.Image = ExpandNibbles(d);
      cache.Flipped = false;
      break;
  }
}

void TImageScrollBox::PaintDisplay(QPainter& painter, const QRect& area) {
  const TRect exposed{area.left(), area.top(), area.right() + 1, area.bottom() + 1};
  EnsureDisplayArea(Intersect(exposed, VisibleArea()));
  if (FPaintCache->Image.isNull()) return;
  painter.setClipRect(area);
  if (FPaintCache->Flipped) {
    // The rows are stored bottom-up: Qt draws them upside down onto the right place.
    painter.setTransform(QTransform(1, 0, 0, -1, FDisplayArea.Left, FDisplayArea.Top + FDisplayArea.Height()), true);
    painter.drawImage(0, 0, FPaintCache->Image);
  } else {
    painter.drawImage(FDisplayArea.Left, FDisplayArea.Top, FPaintCache->Image);
  }
}

// --- mouse ---

void TImageScrollBox::SetMouseMode(TMouseMode mode) {
  if (mode == FMouseMode && (FMouseHandler || mode == TMouseMode::mmNone)) return;
  FMouseHandler.reset();
  FMouseHandler = CreateMouseHandler(mode, *this);
  if (!FMouseHandler) FImageControl->setCursor(Qt::ArrowCursor);
  FMouseMode = mode;
}

// --- frames ---

void TImageScrollBox::ShowFrame(int n) {
  FGraphic->SetCurrentFrame(n);
  Redraw(true);
}

void TImageScrollBox::SetAnimate(bool value) {
  if (value == FAnimate) return;
  FAnimate = value;
  if (!value || FrameCount() <= 1) {
    FAnimationTimer->stop();
    FAnimate = false;
    return;
  }
  FAnimationTimer->setInterval(FGraphic->FrameDelay());
  FAnimationTimer->start();
}

void TImageScrollBox::AnimationTick() {
  if (FrameCount() < 2) return;
  FAnimationTimer->stop();
  struct TRestart {
    TImageScrollBox& Box;
    ~TRestart() {
      if (!Box.FAnimate) return;
      Box.FAnimationTimer->setInterval(Box.FGraphic->FrameDelay());
      Box.FAnimationTimer->start();
    }
  };
  try {
    TRestart restart{*this};
    ShowFrame(CurrentFrame() >= FrameCount() ? 1 : CurrentFrame() + 1);
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

// --- Qt events ---

// Qt hands the viewport's size changes here: those of the box, and those of scroll bars coming
// and going, which only a redraw itself causes.
void TImageScrollBox::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (FRedrawDepth > 0) return;
  try {
    Redraw(false);
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

void TImageScrollBox::showEvent(QShowEvent* event) {
  QAbstractScrollArea::showEvent(event);
  if (!FRedrawPending) return;
  try {
    Redraw(false);
  } catch (const std::exception& error) {
    ReportError(error);
  }
}

void TImageScrollBox::scrollContentsBy(int dx, int dy) {
  // Moves the image control with the viewport's pixels; only the strip uncovered is painted.
  viewport()->scroll(dx, dy);
}

}  // namespace quorvane
