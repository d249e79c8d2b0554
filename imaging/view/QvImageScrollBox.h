// TImageScrollBox: the zooming, scrolling view of one image.
//
// The box shows a picture it is given (SetPicture; the picture's owner, the window's document,
// keeps it alive and loads and saves it) or, until it is given one, a picture of its own that
// SetGraphic fills. It shows the picture scaled to ZoomPercent, which the fit modes compute from
// the box's client size, optionally centred, black-and-white pictures optionally through a
// 16-level gray anti-aliased copy, and can step through the frames of a multi-image picture on
// its own timer. Mouse input over the picture goes to an exchangeable handler (MouseMode, see
// QvMouseHandler.h). The arithmetic of zoom, display size, scroll bars and display area is
// TZoomGeometry's (QvZoomGeometry.h).
//
// The display. ImageControl is a child of the viewport at (Left - horizontal position,
// Top - vertical position) whose size is that of the display copy: the whole picture scaled to
// the zoom (DisplayWidth x DisplayHeight), sampled by the non-interpolated TResizeTransform. Only
// the part of that copy around the visible area is built (DisplayArea, a window of the copy plus
// a margin for smooth scrolling); its pixels are exactly those the whole copy would have there,
// so a 1000 % zoom of a large picture costs about a redraw of the window. Scrolling paints from
// the window and rebuilds it only when the visible area leaves it.
//
// The display copy is built in device pixels and painted unscaled, so a picture at 100 % shows
// one picture pixel on one pixel of the screen also where the screen scales widgets
// (devicePixelRatio above 1): the zoom relates picture pixels to device pixels. The image
// control, the scroll bars and mouse positions count in widget pixels, as every widget does; the
// control's size (ControlWidth x ControlHeight) is the copy's size in widget pixels, rounded up.
// With a ratio of 1 (most screens) both are the same.
//
// Events are std::function members, called on the user-interface thread; an empty function is
// not called. Failures of transforms and frame selection pass to the caller as the library's
// exceptions.
#pragma once

#include <QAbstractScrollArea>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "model/QvDiGrph.h"
#include "view/QvMouseHandler.h"
#include "view/QvZoomGeometry.h"

class QTimer;

namespace quorvane {

class TResizeTransform;
class TAntiAliasTransform;
class TImageControl;

class TImageScrollBox : public QAbstractScrollArea {
 public:
  using TZoomChangeEvent = std::function<void(TImageScrollBox& sender, float zoom)>;
  using TRedrawEvent = std::function<void(TDibGraphic& graphic)>;
  using TQuickSelectEvent = std::function<void(TImageScrollBox& sender, TDibGraphic& graphic)>;

  // 100 x 100, no frame, both scroll bars hidden, drag mode, original size, 100 %.
  explicit TImageScrollBox(QWidget* parent = nullptr);
  ~TImageScrollBox() override;

  // --- the picture ---
  // The picture shown: the one given to SetPicture, else the box's own. Never null, possibly
  // empty. Changes made to it directly show after Redraw(true).
  TDibGraphic& Graphic() { return *FPicture; }
  const TDibGraphic& Graphic() const { return *FPicture; }
  // Shows Picture, which the box does not own: its owner keeps it alive while it is shown, and
  // gives the box another one (or null: the box's own again) before freeing it. Redraws; a
  // running animation goes on with the new picture's frames.
  void SetPicture(TDibGraphic* picture);
  // Assigns Source into the picture shown (frames are not copied) and redraws.
  void SetGraphic(const TDibGraphic& source);
  // For a BlackWhite picture its 16-level gray anti-aliased copy (built when the picture changes,
  // whether or not AntiAliased is set); empty otherwise.
  const TDibGraphic& AntiAliasedGraphic() const { return *FAntiAliasedGraphic; }

  // --- zoom and placement ---
  TZoomMode ZoomMode() const { return FZoomMode; }
  // Stores the mode and redraws, even when unchanged.
  void SetZoomMode(TZoomMode mode);
  float ZoomPercent() const { return FZoomPercent; }
  // Ignored for an empty image and for values up to 0.1; otherwise sets zmPercent and redraws.
  void SetZoomPercent(float percent);
  // As SetZoomPercent, but the picture point under Anchor (a point of the viewport) stays under
  // it instead of the view scrolling back to the top-left corner; reports the new zoom through
  // OnZoomChange.
  void SetZoomPercentAt(float percent, QPoint anchor);
  // Zooms Steps steps of the zoom ladder in (> 0) or out (< 0) about Anchor, or about the middle
  // of the viewport (TZoomGeometry::NextZoomStep); nothing beyond the ladder's ends. Ctrl with
  // the mouse wheel zooms one step per notch about the pointer.
  void ZoomStep(int steps, QPoint anchor);
  void ZoomStep(int steps);
  bool AntiAliased() const { return FAntiAliased; }
  void SetAntiAliased(bool value);
  bool Centered() const { return FCentered; }
  void SetCentered(bool value);

  // Rebuilds the display: the anti-aliased copy when GraphicChanged, the zoom of ZoomMode, the
  // display size, scroll bars and placement, and scrolls back to the top-left corner. Does
  // nothing while the box is hidden; a redraw asked for then runs when it is shown.
  void Redraw(bool graphicChanged);
  // Sets ZoomPercent from ZoomMode and the client size (hides scroll bars for the fit modes).
  void ComputeZoom();
  // The box's metrics as the zoom arithmetic sees them: outer size, frame, scroll-bar extents and
  // the device pixel ratio of its screen.
  TZoomGeometry Geometry() const;
  // Device pixels per widget pixel that the display copy was built for.
  double DisplayRatio() const { return FDisplayRatio; }

  // --- the display copy ---
  QWidget* ImageControl() const;
  // Size of the whole display copy in device pixels (0 x 0 for an empty view).
  int DisplayWidth() const { return FDisplayWidth; }
  int DisplayHeight() const { return FDisplayHeight; }
  // The same in widget pixels: the size of ImageControl.
  int ControlWidth() const { return FControlWidth; }
  int ControlHeight() const { return FControlHeight; }
  // The device pixels of the display copy that a rectangle of ImageControl covers.
  TRect DisplayRectOf(const TRect& controlRect) const;
  // Placement of ImageControl in the scrolled area (before scrolling).
  int DisplayLeft() const { return FDisplayLeft; }
  int DisplayTop() const { return FDisplayTop; }
  // The built part of the display copy and where it lies in the copy (device pixels).
  const TDibGraphic& DisplayGraphic() const { return *FDisplayGraphic; }
  TRect DisplayArea() const { return FDisplayArea; }
  // Builds the rectangle Area (device pixels, clipped to the display copy) of the display copy
  // into Dest, with the pixels and the format that the whole copy has there. Raises
  // "Destination graphic too small" when nothing of Area lies inside the copy.
  void BuildDisplayPart(const TRect& area, TDibGraphic& dest) const;
  // Makes sure the built part covers the display copy under ControlArea (a rectangle of
  // ImageControl, clipped), rebuilding it around that plus the scrolling margin when it does not.
  void EnsureDisplayArea(const TRect& controlArea);
  // The rectangle of ImageControl visible in the viewport now.
  TRect VisibleArea() const;
  // Client size: the viewport's, with the scroll bars as they are now.
  int ClientWidth() const;
  int ClientHeight() const;
  bool HorzScrollBarShown() const { return FBars.Horizontal; }
  bool VertScrollBarShown() const { return FBars.Vertical; }

  // --- colour ---
  // With colour management on (the default), the display copy's colours are converted from the
  // picture's embedded profile to ScreenProfile (empty: the screen is sRGB), perceptual intent;
  // the picture itself never changes. A picture without a profile is shown as it is, and so is
  // one whose profile the colour engine refuses. Both setters repaint at the same zoom and
  // scroll position.
  bool ColourManaged() const { return FColourManaged; }
  void SetColourManaged(bool value);
  const std::vector<uint8_t>& ScreenProfile() const { return FScreenProfile; }
  void SetScreenProfile(std::vector<uint8_t> profile);

  // --- mouse ---
  TMouseMode MouseMode() const { return FMouseMode; }
  // mmDrag and mmQuickSelect replace the handler; mmNone removes it (default cursor).
  void SetMouseMode(TMouseMode mode);
  TMouseHandler* MouseHandler() const { return FMouseHandler.get(); }

  // --- frames ---
  int FrameCount() const { return FPicture->FrameCount(); }
  int CurrentFrame() const { return FPicture->CurrentFrame(); }
  // Shows frame N (1-based) and redraws; raises "Frame %d does not exist".
  void ShowFrame(int n);
  bool Animate() const { return FAnimate; }
  // Steps through the frames on the view's own timer at the picture's FrameDelay; stays false
  // for a picture with fewer than 2 frames.
  void SetAnimate(bool value);
  // One tick of the animation timer (next frame, the first after the last).
  void AnimationTick();
  const QTimer& AnimationTimer() const { return *FAnimationTimer; }

  TZoomChangeEvent OnZoomChange;
  TRedrawEvent OnRedraw;
  TQuickSelectEvent OnQuickSelect;
  // Failures inside the view's own event handling (a timer tick, a mouse handler, a paint, a
  // size change) cannot pass to a caller; they go here (the window reports them as it reports
  // every failure), else to the platform's ShowWarning.
  std::function<void(std::exception_ptr error)> OnError;
  // Hands a failure to OnError (used by the event handlers of the view and its mouse handlers).
  void ReportError(std::exception_ptr error);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  friend class TImageControl;
  void PaintDisplay(class QPainter& painter, const QRect& area);
  void ClearDisplay();
  void BuildAntiAliasedCopy();
  const TDibGraphic& DisplaySource() const;
  void UpdateDisplaySize();
  void UpdateScrollBars(const TZoomGeometry& geometry);
  void PlaceImageControl(const TZoomGeometry& geometry);
  void SetScrollBarsShown(TScrollBars bars);
  void RebuildPaintImage();
  // Redraws on the next turn of the event loop (the screen's pixel ratio changed under a paint).
  void RedrawLater();
  void ForgetColourCopy();

  std::unique_ptr<TImageControl> FImageControl;
  std::unique_ptr<TDibGraphic> FOwnGraphic;  // shown until the box is given a picture
  TDibGraphic* FPicture;                     // the picture shown
  std::unique_ptr<TDibGraphic> FAntiAliasedGraphic;
  std::unique_ptr<TDibGraphic> FDisplayGraphic;
  std::unique_ptr<TResizeTransform> FResizeTransform;
  std::unique_ptr<TAntiAliasTransform> FAntiAliasTransform;
  std::unique_ptr<TMouseHandler> FMouseHandler;
  std::unique_ptr<QTimer> FAnimationTimer;
  std::unique_ptr<struct TPaintCache> FPaintCache;
  TMouseMode FMouseMode = TMouseMode::mmNone;
  TZoomMode FZoomMode = TZoomMode::zmOriginalSize;
  float FZoomPercent = 100.0f;
  bool FAntiAliased = false;
  bool FCentered = false;
  bool FAnimate = false;
  bool FRedrawPending = false;  // asked for while hidden
  bool FPendingGraphicChanged = false;
  int FRedrawDepth = 0;  // nesting of Redraw calls
  TScrollBars FBars;
  int FDisplayWidth = 0;  // device pixels
  int FDisplayHeight = 0;
  int FControlWidth = 0;  // widget pixels
  int FControlHeight = 0;
  double FDisplayRatio = 1.0;
  // Set while a zoom about a point redraws: the viewport point and the picture position that
  // must stay under it.
  struct TZoomAnchor {
    QPoint Viewport;
    double X, Y;
  };
  std::optional<TZoomAnchor> FAnchor;
  int FWheelDelta = 0;  // wheel turns not yet a whole notch
  bool FRedrawQueued = false;
  int FDisplayLeft = 0;
  int FDisplayTop = 0;
  TRect FDisplayArea;  // part of the display copy held by FDisplayGraphic
  bool FColourManaged = true;
  std::vector<uint8_t> FScreenProfile;  // empty: sRGB
  // The display source converted to the screen's colours, made when first needed; the source it
  // was made from (null: none made yet).
  std::unique_ptr<TDibGraphic> FColourGraphic;
  mutable const TDibGraphic* FColourBase = nullptr;
};

}  // namespace quorvane
