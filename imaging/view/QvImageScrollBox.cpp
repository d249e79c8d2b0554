#include "view/QvImageScrollBox.h"

#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "colour/QvColour.h"
#include "model/QvExcept.h"
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
  // The last conversion's image, kept while the part is built again: a conversion of the same
  // size writes into it, which spares the page faults of a fresh block at every redraw.
  QImage Spare;
};

// Spare when it has the size and format asked for and nobody else holds it, else a new image.
QImage ReusedOrNew(QImage& spare, int width, int height, QImage::Format format) {
  QImage image = std::move(spare);
  spare = QImage();
  if (image.width() == width && image.height() == height && image.format() == format && image.isDetached())
    return image;
  return QImage(width, height, format);
}

namespace {

static_assert(kMaxDisplayExtent == QWIDGETSIZE_MAX, "the display copy is a widget");

// The largest picture whose colour-converted copy the view keeps (a 9000 x 9000 photograph).
constexpr size_t kMaxColourCopyBytes = size_t{256} << 20;

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
QImage ExpandNibbles(const TDibGraphic& image, QImage& spare) {
  QImage result = ReusedOrNew(spare, image.Width(), image.Height(), QImage::Format_Indexed8);
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
QImage TopDownRgb32(const TDibGraphic& image, QImage& spare) {
  QImage result = ReusedOrNew(spare, image.Width(), image.Height(), QImage::Format_RGB32);
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

// The message of a failure that has no caller to go to.
std::string FailureText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown error";
  }
}

}  // namespace

TImageScrollBox::TImageScrollBox(QWidget* parent)
    : QAbstractScrollArea(parent),
      FOwnGraphic(std::make_unique<TDibGraphic>()),
      FPicture(FOwnGraphic.get()),
      FAntiAliasedGraphic(std::make_unique<TDibGraphic>()),
      FDisplayGraphic(std::make_unique<TDibGraphic>()),
      FResizeTransform(std::make_unique<TResizeTransform>()),
      FAntiAliasTransform(std::make_unique<TAntiAliasTransform>()),
      FAnimationTimer(std::make_unique<QTimer>()),
      FPaintCache(std::make_unique<TPaintCache>()),
      FColourGraphic(std::make_unique<TDibGraphic>()) {
  setFrameShape(QFrame::NoFrame);
  resize(100, 100);
  SetScrollBarsShown(TScrollBars{});
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

void TImageScrollBox::ReportError(std::exception_ptr error) {
  if (OnError) {
    OnError(error);
    return;
  }
  Platform().ShowWarning("Error", FailureText(error));
}

// --- the picture ---

void TImageScrollBox::SetPicture(TDibGraphic* picture) {
  FPicture = picture != nullptr ? picture : FOwnGraphic.get();
  ForgetColourCopy();
  Redraw(true);
  if (FAnimate) {
    // The timer follows the new picture's frames and delay (and stops for a still picture).
    SetAnimate(false);
    SetAnimate(true);
  }
}

void TImageScrollBox::SetGraphic(const TDibGraphic& source) {
  if (&source != FPicture) FPicture->Assign(&source);
  Redraw(true);
}

// --- zoom and placement ---

void TImageScrollBox::SetZoomMode(TZoomMode mode) {
  FZoomMode = mode;
  Redraw(false);
}

void TImageScrollBox::SetZoomPercent(float percent) {
  if (FPicture->Empty() || percent <= 0.1f) return;
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

void TImageScrollBox::SetZoomPercentAt(float percent, QPoint anchor) {
  if (FPicture->Empty() || percent <= 0.1f) return;
  const TZoomGeometry geometry = Geometry();
  const TRect copy = geometry.CopyRect(FControlWidth, FControlHeight, FBars, FCentered);
  FAnchor =
      TZoomAnchor{anchor, geometry.PicturePosition(anchor.x(), horizontalScrollBar()->value(), copy.Left, FZoomPercent),
                  geometry.PicturePosition(anchor.y(), verticalScrollBar()->value(), copy.Top, FZoomPercent)};
  struct TDropAnchor {
    std::optional<TZoomAnchor>& Anchor;
    ~TDropAnchor() { Anchor.reset(); }
  } dropAnchor{FAnchor};
  SetZoomPercent(percent);
  FAnchor.reset();
  // SetZoomPercent stores the zoom before its redraw, which then reports nothing: the caller of
  // SetZoomPercent knows the zoom it set, but a zoom box must follow a step of the keys or wheel.
  if (OnZoomChange) OnZoomChange(*this, FZoomPercent);
}

void TImageScrollBox::ZoomStep(int steps, QPoint anchor) {
  if (FPicture->Empty() || steps == 0) return;
  float target = FZoomPercent;
  for (int i = 0; i < std::abs(steps); ++i) target = TZoomGeometry::NextZoomStep(target, steps);
  if (target == FZoomPercent) return;
  SetZoomPercentAt(target, anchor);
}

void TImageScrollBox::ZoomStep(int steps) {
  ZoomStep(steps, QPoint(viewport()->width() / 2, viewport()->height() / 2));
}

void TImageScrollBox::SetAntiAliased(bool value) {
  if (value == FAntiAliased) return;
  FAntiAliased = value;
  if (FPicture->ImageFormat() == TImageFormat::BlackWhite && !FPicture->Empty()) Redraw(false);
}

void TImageScrollBox::SetCentered(bool value) {
  if (value == FCentered) return;
  FCentered = value;
  Redraw(false);
}

TZoomGeometry TImageScrollBox::Geometry() const {
  return TZoomGeometry(width(), height(), frameWidth(), verticalScrollBar()->sizeHint().width(),
                       horizontalScrollBar()->sizeHint().height(), devicePixelRatioF());
}

int TImageScrollBox::ClientWidth() const { return Geometry().ClientWidth(FBars); }

int TImageScrollBox::ClientHeight() const { return Geometry().ClientHeight(FBars); }

void TImageScrollBox::SetScrollBarsShown(TScrollBars bars) {
  FBars = bars;
  setHorizontalScrollBarPolicy(bars.Horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(bars.Vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void TImageScrollBox::ComputeZoom() {
  const TZoomGeometry geometry = Geometry();
  SetScrollBarsShown(TZoomGeometry::BarsWhileZooming(FZoomMode, FBars));
  FZoomPercent = geometry.Zoom(FZoomMode, FZoomPercent, FPicture->Width(), FPicture->Height(), FBars);
}

// A redraw scrolls back to the top-left corner, unless it zooms about a point (FAnchor).
void TImageScrollBox::UpdateScrollBars(const TZoomGeometry& geometry) {
  SetScrollBarsShown(geometry.ScrollBarsFor(FControlWidth, FControlHeight));
  const int clientWidth = geometry.ClientWidth(FBars);
  const int clientHeight = geometry.ClientHeight(FBars);
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  const int horizontalRange = geometry.HorizontalRange(FControlWidth, FBars);
  const int verticalRange = geometry.VerticalRange(FControlHeight, FBars);
  h->setRange(0, horizontalRange);
  h->setPageStep(std::max(1, clientWidth));
  h->setSingleStep(16);
  v->setRange(0, verticalRange);
  v->setPageStep(std::max(1, clientHeight));
  v->setSingleStep(16);
  int x = 0;
  int y = 0;
  if (FAnchor) {
    const TRect copy = geometry.CopyRect(FControlWidth, FControlHeight, FBars, FCentered);
    x = geometry.ScrollToKeep(FAnchor->X, FAnchor->Viewport.x(), copy.Left, FZoomPercent, horizontalRange);
    y = geometry.ScrollToKeep(FAnchor->Y, FAnchor->Viewport.y(), copy.Top, FZoomPercent, verticalRange);
  }
  h->setValue(x);
  v->setValue(y);
}

void TImageScrollBox::PlaceImageControl(const TZoomGeometry& geometry) {
  const TRect copy = geometry.CopyRect(FControlWidth, FControlHeight, FBars, FCentered);
  FDisplayLeft = copy.Left;
  FDisplayTop = copy.Top;
  FImageControl->setGeometry(FDisplayLeft - horizontalScrollBar()->value(), FDisplayTop - verticalScrollBar()->value(),
                             FControlWidth, FControlHeight);
}

void TImageScrollBox::ClearDisplay() {
  FDisplayGraphic->FreeImage();
  FDisplayArea = TRect{};
  FPaintCache->Image = QImage();
  FDisplayWidth = FDisplayHeight = 0;
  FControlWidth = FControlHeight = 0;
  SetScrollBarsShown(TScrollBars{});
  FImageControl->hide();
}

void TImageScrollBox::BuildAntiAliasedCopy() {
  if (FPicture->ImageFormat() == TImageFormat::BlackWhite)
    FAntiAliasTransform->ApplyOnDest(*FPicture, *FAntiAliasedGraphic);
  else
    FAntiAliasedGraphic->FreeImage();
}

const TDibGraphic& TImageScrollBox::DisplaySource() const {
  const TDibGraphic& base =
      FPicture->ImageFormat() == TImageFormat::BlackWhite && FAntiAliased && !FAntiAliasedGraphic->Empty()
          ? *FAntiAliasedGraphic
          : *FPicture;
  if (!FColourManaged || !HasUsableProfile(base)) return base;
  // The whole source is converted once, so that a redraw costs what it costs without a profile;
  // a source too large to hold twice has its display parts converted instead.
  if (FColourBase != &base) {
    FColourBase = &base;
    FColourGraphic->FreeImage();
    if (base.ImageSize() <= kMaxColourCopyBytes) {
      try {
        FColourGraphic->Assign(&base);
        ConvertForDisplay(*FColourGraphic, FScreenProfile);
        FColourGraphic->SetIccProfile({});
      } catch (const Exception&) {
        FColourGraphic->FreeImage();
      } catch (const std::bad_alloc&) {
        FColourGraphic->FreeImage();
      }
    }
  }
  return FColourGraphic->Empty() ? base : *FColourGraphic;
}

void TImageScrollBox::ForgetColourCopy() {
  FColourBase = nullptr;
  FColourGraphic->FreeImage();
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
  FDisplayRatio = devicePixelRatioF();

  if (FPicture->Empty()) {
    ForgetColourCopy();
    if (graphicChanged) FAntiAliasedGraphic->FreeImage();
    ClearDisplay();
    return;
  }
  if (graphicChanged) {
    BuildAntiAliasedCopy();
    ForgetColourCopy();
  }

  const bool vertBefore = FBars.Vertical;
  const float previousZoom = FZoomPercent;
  const float oldZoom = std::nearbyint(FZoomPercent);
  ComputeZoom();
  const int displayWidth = TZoomGeometry::DisplayExtent(FPicture->Width(), FZoomPercent);
  const int displayHeight = TZoomGeometry::DisplayExtent(FPicture->Height(), FZoomPercent);
  // Reported when it differs from the old zoom rounded (so a fractional fit is reported on every
  // redraw) and whenever it changed at all, so that a zoom box showing the real zoom follows a
  // change from 8.7 to 9 as well.
  if ((oldZoom != FZoomPercent || previousZoom != FZoomPercent) && OnZoomChange) OnZoomChange(*this, FZoomPercent);

  const TZoomGeometry geometry = Geometry();
  FDisplayWidth = displayWidth;
  FDisplayHeight = displayHeight;
  FControlWidth = geometry.LogicalExtent(displayWidth);
  FControlHeight = geometry.LogicalExtent(displayHeight);
  UpdateScrollBars(geometry);
  PlaceImageControl(geometry);
  FDisplayArea = TRect{};
  EnsureDisplayArea(VisibleArea());
  FImageControl->update();
  if (OnRedraw) OnRedraw(*FPicture);
  if (!FImageControl->isVisible()) FImageControl->show();

  // A vertical bar that came or went changes the width that fit-to-width divides; the view
  // settles on the width it ends up with, as a size change of the client would make it.
  if (FZoomMode == TZoomMode::zmFitWidth && FBars.Vertical != vertBefore && FRedrawDepth == 1) Redraw(false);
}

// --- the display copy ---

TRect TImageScrollBox::VisibleArea() const {
  const TRect copy{FDisplayLeft, FDisplayTop, FDisplayLeft + FControlWidth, FDisplayTop + FControlHeight};
  return Geometry().VisibleArea(horizontalScrollBar()->value(), verticalScrollBar()->value(), copy, FBars);
}

TRect TImageScrollBox::DisplayRectOf(const TRect& controlRect) const {
  // The ratio the copy was built for, not the screen's now: the two differ only until the redraw
  // that a change of screen brings.
  const TZoomGeometry geometry(width(), height(), frameWidth(), 0, 0, FDisplayRatio);
  return geometry.DeviceRect(controlRect, FDisplayWidth, FDisplayHeight);
}

void TImageScrollBox::BuildDisplayPart(const TRect& area, TDibGraphic& dest) const {
  const TRect part = IntersectRect(area, TRect{0, 0, FDisplayWidth, FDisplayHeight});
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

void TImageScrollBox::EnsureDisplayArea(const TRect& controlArea) {
  const TRect area = DisplayRectOf(controlArea);
  const TZoomGeometry geometry(width(), height(), frameWidth(), verticalScrollBar()->sizeHint().width(),
                               horizontalScrollBar()->sizeHint().height(), FDisplayRatio);
  const std::optional<TRect> built = geometry.AreaToBuild(area, FDisplayArea, FDisplayWidth, FDisplayHeight, FBars);
  if (!built) return;
  FDisplayArea = TRect{};
  // A conversion (not flipped) owns its pixels and can be written again; a flipped image only
  // looks at the display copy's rows, which the build replaces.
  if (!FPaintCache->Flipped) FPaintCache->Spare = std::move(FPaintCache->Image);
  FPaintCache->Image = QImage();
  BuildDisplayPart(*built, *FDisplayGraphic);
  FDisplayArea = *built;
  if (FColourManaged) {
    try {
      ConvertForDisplay(*FDisplayGraphic, FScreenProfile);
    } catch (const Exception&) {
      // A profile the colour engine refuses: the picture is shown as if it were sRGB.
    }
  }
  RebuildPaintImage();
}

void TImageScrollBox::SetColourManaged(bool value) {
  if (value == FColourManaged) return;
  FColourManaged = value;
  ForgetColourCopy();
  // The built part is rebuilt at the next paint; zoom and scroll position stay.
  FDisplayArea = TRect{};
  FImageControl->update();
}

void TImageScrollBox::SetScreenProfile(std::vector<uint8_t> profile) {
  FScreenProfile = std::move(profile);
  ForgetColourCopy();
  FDisplayArea = TRect{};
  FImageControl->update();
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
      cache.Image = TopDownRgb32(d, cache.Spare);
      cache.Flipped = false;
      break;
    default:
      cache.Image = ExpandNibbles(d, cache.Spare);
      cache.Flipped = false;
      break;
  }
  cache.Spare = QImage();
  // Drawn pixel for pixel onto the device: Qt does not scale an image of the screen's ratio.
  cache.Image.setDevicePixelRatio(FDisplayRatio);
}

void TImageScrollBox::RedrawLater() {
  if (FRedrawQueued) return;
  FRedrawQueued = true;
  QTimer::singleShot(0, this, [this] {
    FRedrawQueued = false;
    try {
      Redraw(false);
    } catch (...) {
      ReportError(std::current_exception());
    }
  });
}

void TImageScrollBox::PaintDisplay(QPainter& painter, const QRect& area) {
  const TRect exposed{area.left(), area.top(), area.right() + 1, area.bottom() + 1};
  EnsureDisplayArea(IntersectRect(exposed, VisibleArea()));
  // The window moved to a screen of another pixel ratio: the copy is built again for it.
  if (devicePixelRatioF() != FDisplayRatio) RedrawLater();
  if (FPaintCache->Image.isNull()) return;
  painter.setClipRect(area);
  // The built part's place in widget pixels (whole device pixels there).
  const double left = FDisplayArea.Left / FDisplayRatio;
  const double top = FDisplayArea.Top / FDisplayRatio;
  const double height = FDisplayArea.Height() / FDisplayRatio;
  if (FPaintCache->Flipped) {
    // The rows are stored bottom-up: Qt draws them upside down onto the right place.
    painter.setTransform(QTransform(1, 0, 0, -1, left, top + height), true);
    painter.drawImage(QPointF(0, 0), FPaintCache->Image);
  } else {
    painter.drawImage(QPointF(left, top), FPaintCache->Image);
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
  FPicture->SetCurrentFrame(n);
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
  FAnimationTimer->setInterval(FPicture->FrameDelay());
  FAnimationTimer->start();
}

void TImageScrollBox::AnimationTick() {
  if (FrameCount() < 2) return;
  FAnimationTimer->stop();
  struct TRestart {
    TImageScrollBox& Box;
    ~TRestart() {
      if (!Box.FAnimate) return;
      Box.FAnimationTimer->setInterval(Box.FPicture->FrameDelay());
      Box.FAnimationTimer->start();
    }
  };
  try {
    TRestart restart{*this};
    ShowFrame(CurrentFrame() >= FrameCount() ? 1 : CurrentFrame() + 1);
  } catch (...) {
    ReportError(std::current_exception());
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
  } catch (...) {
    ReportError(std::current_exception());
  }
}

void TImageScrollBox::showEvent(QShowEvent* event) {
  QAbstractScrollArea::showEvent(event);
  if (!FRedrawPending) return;
  try {
    Redraw(false);
  } catch (...) {
    ReportError(std::current_exception());
  }
}

void TImageScrollBox::scrollContentsBy(int dx, int dy) {
  // Moves the image control with the viewport's pixels; only the strip uncovered is painted.
  viewport()->scroll(dx, dy);
}

// Ctrl with the wheel zooms about the pointer, one step of the ladder per notch (finer wheels
// and touchpads add up their turns to notches); without Ctrl the wheel scrolls.
void TImageScrollBox::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) {
    QAbstractScrollArea::wheelEvent(event);
    return;
  }
  event->accept();
  FWheelDelta += event->angleDelta().y();
  const int steps = FWheelDelta / QWheelEvent::DefaultDeltasPerStep;
  FWheelDelta %= QWheelEvent::DefaultDeltasPerStep;
  if (steps == 0) return;
  try {
    ZoomStep(steps, event->position().toPoint());
  } catch (...) {
    ReportError(std::current_exception());
  }
}

}  // namespace quorvane
