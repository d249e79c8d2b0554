// The picture the window works on, and its file.
//
// TImageDocument owns the image (with the frames of a file of several pages), loads it through
// the extension registry (the platform's picture loader for extensions the registry does not
// know), saves it safely in the format of a file's extension, and keeps what belongs to it: the
// file name, the file whose pages the frames are, the page shown, the modified flag, the undo
// image and the TIFF compression each page was read with. The window shows the image in its view
// and asks its questions; the document asks nothing and needs no Qt.
//
// The image changes identity only when a file is loaded: OnImageReplaced then hands over the new
// one before the old one is freed, so a view never shows a freed image. Every other change
// assigns into the same object. Failures pass to the caller as the library's exceptions; a failed
// load or save leaves the document as it was.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/QvJpegLossless.h"
#include "formats/QvTifGr.h"
#include "model/QvDiGrph.h"

namespace quorvane {
class TImageTransform;
class TStream;
}  // namespace quorvane

namespace brindlex {

class TImageDocument {
 public:
  TImageDocument();
  ~TImageDocument();
  TImageDocument(const TImageDocument&) = delete;
  TImageDocument& operator=(const TImageDocument&) = delete;

  // --- the picture ---
  // Never null, possibly empty.
  quorvane::TDibGraphic& Image() { return *FImage; }
  const quorvane::TDibGraphic& Image() const { return *FImage; }
  // The image as it was before the last image command or paste; empty when there is nothing to
  // undo.
  const quorvane::TDibGraphic& UndoGraphic() const { return *FUndoGraphic; }
  // Called with the new image when a load replaced the image object.
  std::function<void(quorvane::TDibGraphic& image)> OnImageReplaced;
  // Called with the instance about to be written by a save of the current image, so the program
  // can set format options (the window sets the TIFF compression there).
  std::function<void(quorvane::TDibGraphic& graphic)> OnBeforeSave;

  // --- its file ---
  // The file the image belongs to; empty for a pasted or scanned image.
  const std::string& FileName() const { return FFileName; }
  // The image has changes that were not saved.
  bool Modified() const { return FModified; }
  void SetModified(bool modified) { FModified = modified; }
  // Whether the image holds the pages of its file as frames (a file of several pages).
  bool HasPages() const { return !FPagesFileName.empty() && FImage->FrameCount() > 1; }
  int PageCount() const { return FImage->FrameCount(); }
  int CurrentPage() const { return FImage->CurrentFrame(); }

  // What the file said of the picture shown (its page's, for a file of several pages): camera
  // data and orientation. Empty for a picture without a file.
  const quorvane::TImageMetadata& Metadata() const;

  // Replaces the image with the file's: ImageIndex N >= 1 reads image N, 0 reads every image as
  // a frame (frame 1 shown). Photos are turned upright by their orientation, each page by its
  // own, as part of the load. On failure the error passes on and nothing changes.
  void LoadFromFile(const std::string& fileName, int imageIndex);
  // Reads a file as LoadFromFile does into a new image that no document holds yet. It touches no
  // document, shows no busy cursor and may run on any thread (the window's preloader reads the
  // pictures beside the one shown with it).
  static std::unique_ptr<quorvane::TDibGraphic> ReadImageFile(const std::string& fileName, int imageIndex);
  // Opens a file as the window's Open does: every page as a frame; the file becomes the
  // document's, unmodified, with nothing to undo (Undo must never put another file's picture
  // under this file's name), and each page's TIFF compression is remembered for saving.
  void Open(const std::string& fileName);
  // Open with the picture already read: Image is what ReadImageFile(FileName, 0) returned.
  void OpenRead(const std::string& fileName, std::unique_ptr<quorvane::TDibGraphic> image);
  // Writes the image to FileName in the format of its extension: over the document's own file of
  // several pages, every page (the shown one as edited) in one safe step, each keeping the
  // compression it was read with where that can hold its format; otherwise the current image
  // through the library's safe save, OnBeforeSave seeing the instance to be written. An unknown
  // extension raises "Graphic files of %s format are not supported or not registered" before any
  // file is touched, and a failed write leaves an existing file as it was.
  //
  // Lossless JPEG: a picture opened from a JPEG file whose only changes are quarter turns and flips
  // (the turn upright by its EXIF orientation included) is saved to a JPEG file by turning the
  // file's compressed data (formats/QvJpegLossless.h) instead of encoding the pixels again, as long
  // as the file is still the one opened (device, inode, size and modification time) and its size
  // allows the turn in whole blocks; otherwise it is encoded as usual. OnBeforeSave is not called
  // then: no instance is written.
  void SaveToFile(const std::string& fileName);
  // Writes the current image to Stream in the format of Extension ("png", ".tif", a file name);
  // OnBeforeSave sees the instance about to be written.
  void SaveToStream(quorvane::TStream& stream, const std::string& extension);
  // Save: to the document's file, which leaves it unmodified (the file name must be set).
  void Save();
  // Convert To: to another file, which becomes the document's; the modified flag stays.
  void SaveAs(const std::string& fileName);
  // What the last save to a file did beyond the usual, in a sentence for the status bar: a JPEG
  // saved without re-encoding, or the reason a turned one had to be re-encoded. Empty otherwise.
  const std::string& LastSaveNote() const { return FLastSaveNote; }
  // The quarter turns and flips that make the picture from its JPEG file's picture as opened
  // (upright); none when it is not that picture turned (another change, no such file).
  std::optional<quorvane::TDihedral> LosslessTurn() const { return FSource ? FTurn : std::nullopt; }

  // --- what commands do to it ---
  // An image command: the undo image takes a copy of the image, Transform rebuilds the image
  // from that copy, and the image is modified. When the transform fails the undo image still
  // holds the image as it was.
  void Apply(quorvane::TImageTransform& transform);
  // Paste, first step: the undo image takes a copy of the image (which the caller then replaces).
  void KeepUndo();
  // The image no longer belongs to a file (pasted, scanned): no file name, no pages, nothing the
  // file said; Modified set as given.
  void DetachFromFile(bool modified);
  // A scanned page: the image becomes a copy of Page, detached from any file, with nothing to
  // undo (the undo image belonged to the picture before it).
  void ReplaceImage(const quorvane::TDibGraphic& page, bool modified);
  // Puts the undo image back and empties it; false when there was nothing to undo. Modified and
  // the file name are left alone.
  bool Undo();
  // Shows page Page (1-based) of the document's file: the page shown goes back into its frame
  // first, so edits survive stepping, and the undo image, which belongs to the page left behind,
  // is dropped. False (nothing done) without pages, out of range, or for the page shown.
  bool ShowPage(int page);

 private:
  // Makes Image the document's image; the old one is freed after OnImageReplaced.
  void ReplaceWith(std::unique_ptr<quorvane::TDibGraphic> image);
  bool IsOwnPagedFile(const std::string& fileName) const;
  void SaveAllPages(const std::string& fileName);
  // The TIFF compression page Index (1-based) of the open file is written with.
  quorvane::TTiffCompression PageCompression(int index, quorvane::TImageFormat format) const;
  std::unique_ptr<quorvane::TDibGraphic> PrepareSave(const std::string& extension);
  // When the picture was opened from a JPEG file, that file with its stamp, for lossless saves.
  void TrackSourceFile(const std::string& fileName);
  void ForgetSourceFile();
  // Saves by turning the source file's data; false when that cannot be done (nothing written).
  bool SaveLossless(const std::string& fileName);

  // What identifies a file's content without reading it.
  struct TFileStamp {
    uint64_t Device = 0, Inode = 0;
    int64_t Size = -1, ModifiedSeconds = 0, ModifiedNanoseconds = 0;
    bool operator==(const TFileStamp&) const = default;
  };
  static std::optional<TFileStamp> StampOf(const std::string& fileName);
  struct TSourceFile {
    std::string FileName;
    TFileStamp Stamp;
  };

  std::unique_ptr<quorvane::TDibGraphic> FImage;
  std::unique_ptr<quorvane::TDibGraphic> FUndoGraphic;
  std::string FFileName;
  bool FModified = false;
  // The file whose pages the image holds as frames; empty when it holds none.
  std::string FPagesFileName;
  // The compression each page of that file was read with (TIFF pages), by page.
  std::vector<std::optional<quorvane::TTiffCompression>> FPageCompressions;
  // The JPEG file the picture came from, and the turns that make the picture (FTurn) and the undo
  // image (FUndoTurn) from the file's picture as opened; a turn is empty once its picture is
  // anything else. A save adds the turn upright by the file's orientation.
  std::optional<TSourceFile> FSource;
  std::optional<quorvane::TDihedral> FTurn;
  std::optional<quorvane::TDihedral> FUndoTurn;
  std::string FLastSaveNote;
};

}  // namespace brindlex
