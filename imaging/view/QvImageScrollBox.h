// TImageScrollBox: the zooming, scrolling view of one image.
//
// The box owns the image (Graphic), loads it from files through the extension registry (the
// platform picture loader for extensions the registry does not know) and saves it safely in the
// format of a file's extension. It shows the image scaled to ZoomPercent, which the fit modes
// compute from the box's client size, optionally centred, black-and-white images optionally
// through a 16-level gray anti-aliased copy, and can step through the frames of a multi-image
// file on its own timer. Mouse input over the image goes to an exchangeable handler (MouseMode,
// see QvMouseHandler.h). The arithmetic of zoom, display size, scroll bars and display area is
// TZoomGeometry's (QvZoomGeometry.h).
//
// The display. ImageControl is a child of the viewport at (Left - horizontal position,
// Top - vertical position) whose size is that of the display copy: the whole image scaled to the
// zoom (DisplayWidth x DisplayHeight), sampled by the non-interpolated TResizeTransform. Only
// the part of that copy around the visible area is built (DisplayArea, a window of the copy plus
// a margin for smooth scrolling); its pixels are exactly those the whole copy would have there,
// so a 1000 % zoom of a large image costs about a redraw of the window. Scrolling paints from the
// window and rebuilds it only when the visible area leaves it. Image-control coordinates are
// display-copy pixels, whatever part is built.
//
// Events are std::function members, called on the user-interface thread; an empty function is
// not called. Failures of loading, saving, transforms and frame selection pass to the caller as
// the library's exceptions; a failed load leaves the image and the display as they were.
#pragma once

#include <QAbstractScrollArea>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "model/QvDiGrph.h"
#include "view/QvMouseHandler.h"
#include "view/QvZoomGeometry.h"

class QTimer;

namespace quorvane {

class TStream;
class TResizeTransform;
class TAntiAliasTransform;
class TImageControl;

class TImageScrollBox : public QAbstractScrollArea {
 public:
  using TZoomChangeEvent = std::function<void(TImageScrollBox& sender, float zoom)>;
  using TBeforeSaveEvent = std::function<void(TImageScrollBox& sender, TDibGraphic& graphic)>;
  using TRedrawEvent = std::function<void(TDibGraphic& graphic)>;
  using TQuickSelectEvent = std::function<void(TImageScrollBox& sender, TDibGraphic& graphic)>;

  // 100 x 100, no frame, both scroll bars hidden, drag mode, original size, 100 %.
  explicit TImageScrollBox(QWidget* parent = nullptr);
  ~TImageScrollBox() override;

  // --- the image ---
  // The image shown: never null, possibly empty. Changes made to it directly show after Redraw(true).
  TDibGraphic& Graphic() { return *FGraphic; }
  const TDibGraphic& Graphic() const { return *FGraphic; }
  // Assigns Source into the image (frames are not copied) and redraws.
  void SetGraphic(const TDibGraphic& source);
  // For a BlackWhite image its 16-level gray anti-aliased copy (built when the image changes,
  // whether or not AntiAliased is set); empty otherwise.
  const TDibGraphic& AntiAliasedGraphic() const { return *FAntiAliasedGraphic; }

  // Replaces the image with the file's: ImageIndex N >= 1 reads image N, 0 reads every image as
  // a frame (frame 1 shown). Extensions the registry does not know go to the platform picture
  // loader. On failure the error passes on and the view keeps its image.
  void LoadFromFile(const std::string& fileName, int imageIndex);
  // Writes the current image (its current frame) in the format of FileName's extension through
  // the library's safe save: an unknown extension raises "Graphic files of %s format are not
  // supported or not registered" before any file is touched, and a failed write leaves an
  // existing file as it was. Remembers FileName on success.
  void SaveToFile(const std::string& fileName);
  // Writes the current image to Stream in the format of Extension ("png", ".tif", a file name);
  // OnBeforeSave sees the instance about to be written.
  void SaveToStream(TStream& stream, const std::string& extension);
  // The last file saved or assigned through SetFileName.
  const std::string& FileName() const { return FFileName; }
  // Remembers the name; a non-empty name loads its first image, an empty one empties the view.
  void SetFileName(const std::string& fileName);

  // --- zoom and placement ---
  TZoomMode ZoomMode() const { return FZoomMode; }
  // Stores the mode and redraws, even when unchanged.
  void SetZoomMode(TZoomMode mode);
  float ZoomPercent() const { return FZoomPercent; }
  // Ignored for an empty image and for values up to 0.1; otherwise sets zmPercent and redraws.
  void SetZoomPercent(float percent);
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
  // The box's metrics as the zoom arithmetic sees them: outer size, frame, scroll-bar extents.
  TZoomGeometry Geometry() const;

  // --- the display copy ---
  QWidget* ImageControl() const;
  // Size of the whole display copy (0 x 0 for an empty view).
  int DisplayWidth() const { return FDisplayWidth; }
  int DisplayHeight() const { return FDisplayHeight; }
  // Placement of ImageControl in the scrolled area (before scrolling).
  int DisplayLeft() const { return FDisplayLeft; }
  int DisplayTop() const { return FDisplayTop; }
  // The built part of the display copy and where it lies in the copy.
  const TDibGraphic& DisplayGraphic() const { return *FDisplayGraphic; }
  TRect DisplayArea() const { return FDisplayArea; }
  // Builds the rectangle Area (clipped to the display copy) of the display copy into Dest, with
  // the pixels and the format that the whole copy has there. Raises "Destination graphic too
  // small" when nothing of Area lies inside the copy.
  void BuildDisplayPart(const TRect& area, TDibGraphic& dest) const;
  // Makes sure the built part covers Area of the display copy (clipped), rebuilding it around
  // Area plus the scrolling margin when it does not.
  void EnsureDisplayArea(const TRect& area);
  // The display copy's rectangle visible in the viewport now.
  TRect VisibleArea() const;
  // Client size: the viewport's, with the scroll bars as they are now.
  int ClientWidth() const;
  int ClientHeight() const;
  bool HorzScrollBarShown() const { return FBars.Horizontal; }
  bool VertScrollBarShown() const { return FBars.Vertical; }

  // --- mouse ---
  TMouseMode MouseMode() const { return FMouseMode; }
  // mmDrag and mmQuickSelect replace the handler; mmNone removes it (default cursor).
  void SetMouseMode(TMouseMode mode);
  TMouseHandler* MouseHandler() const { return FMouseHandler.get(); }

  // --- frames ---
  int FrameCount() const { return FGraphic->FrameCount(); }
  int CurrentFrame() const { return FGraphic->CurrentFrame(); }
  // Shows frame N (1-based) and redraws; raises "Frame %d does not exist".
  void ShowFrame(int n);
  bool Animate() const { return FAnimate; }
  // Steps through the frames on the view's own timer at the image's FrameDelay; stays false for
  // an image with fewer than 2 frames.
  void SetAnimate(bool value);
  // One tick of the animation timer (next frame, the first after the last).
  void AnimationTick();
  const QTimer& AnimationTimer() const { return *FAnimationTimer; }

  TZoomChangeEvent OnZoomChange;
  TBeforeSaveEvent OnBeforeSave;
  TRedrawEvent OnRedraw;
  TQuickSelectEvent OnQuickSelect;
  // Failures inside the view's own event handling (a timer tick, a mouse handler, a paint)
  // cannot pass to a caller; they go here (the window shows them), else to the platform's
  // ShowWarning.
  std::function<void(const std::exception& error)> OnError;
  // Hands a failure to OnError (used by the event handlers of the view and its mouse handlers).
  void ReportError(const std::exception& error);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

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

  std::unique_ptr<TImageControl> FImageControl;
  std::unique_ptr<TDibGraphic> FGraphic;
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
  std::string FFileName;
  int FDisplayWidth = 0;
  int FDisplayHeight = 0;
  int FDisplayLeft = 0;
  int FDisplayTop = 0;
  TRect FDisplayArea;  // part of the display copy held by FDisplayGraphic
};

}  // namespace quorvane
