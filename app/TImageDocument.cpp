#include "TImageDocument.h"

#include <sys/stat.h>

#include <filesystem>
#include <utility>

#include "colour/QvColour.h"
#include "formats/QvJpgGr.h"
#include "formats/QvMultiPageWriter.h"
#include "formats/QvOrient.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvMisc.h"
#include "model/QvPlatform.h"
#include "model/QvSafeFile.h"
#include "model/QvStream.h"
#include "transforms/QvTransf.h"

namespace brindlex {

using quorvane::TDibGraphic;

namespace {

std::string AbsolutePath(const std::string& fileName) {
  return std::filesystem::absolute(fileName).lexically_normal().string();
}

using quorvane::TDihedral;

bool IsJpegFile(const std::string& fileName) {
  return quorvane::FindGraphicClass(fileName) == &quorvane::TJpegGraphic::StaticClass();
}

}  // namespace

TImageDocument::TImageDocument()
    : FImage(std::make_unique<TDibGraphic>()), FUndoGraphic(std::make_unique<TDibGraphic>()) {}

TImageDocument::~TImageDocument() = default;

std::unique_ptr<TDibGraphic> TImageDocument::ReadImageFile(const std::string& fileName, int imageIndex) {
  std::unique_ptr<TDibGraphic> loaded;
  if (quorvane::FindGraphicClass(fileName)) {
    loaded = quorvane::CreateGraphicForFile(fileName);
    if (imageIndex != 0)
      loaded->SetImageIndex(imageIndex);
    else
      loaded->SetMultiImage(true);
    loaded->LoadFromFile(fileName);
  } else {
    quorvane::TFileStream stream(fileName, quorvane::TFileMode::fmOpenRead);
    loaded = quorvane::LoadPlatformPicture(stream, fileName, imageIndex == 0);
  }
  // Upright before anyone sees it (also pictures read ahead while browsing): the view, every
  // command, printing and Copy work on the picture as it is meant to be seen, and saving writes
  // it so.
  quorvane::AutoOrientPages(*loaded);
  return loaded;
}

void TImageDocument::ReplaceWith(std::unique_ptr<TDibGraphic> image) {
  // The old image is freed only after whoever shows it has the new one.
  const std::unique_ptr<TDibGraphic> old = std::exchange(FImage, std::move(image));
  if (OnImageReplaced) OnImageReplaced(*FImage);
}

void TImageDocument::LoadFromFile(const std::string& fileName, int imageIndex) {
  std::unique_ptr<TDibGraphic> loaded;
  {
    quorvane::TBusyCursor busy;
    loaded = ReadImageFile(fileName, imageIndex);
  }
  ReplaceWith(std::move(loaded));
  ForgetSourceFile();
}

const quorvane::TImageMetadata& TImageDocument::Metadata() const {
  if (HasPages() && FImage->CurrentFrame() >= 1) return FImage->GetFrame(FImage->CurrentFrame()).Metadata();
  return FImage->Metadata();
}

void TImageDocument::Open(const std::string& fileName) {
  const std::optional<TFileStamp> before = StampOf(fileName);
  std::unique_ptr<TDibGraphic> loaded;
  {
    quorvane::TBusyCursor busy;
    loaded = ReadImageFile(fileName, 0);
  }
  // Everything below happens only once the file has been read.
  OpenRead(fileName, std::move(loaded));
  // A file that changed while it was read may not hold the picture read.
  if (FSource && FSource->Stamp != before) ForgetSourceFile();
}

void TImageDocument::OpenRead(const std::string& fileName, std::unique_ptr<TDibGraphic> image) {
  ReplaceWith(std::move(image));
  FFileName = fileName;
  FModified = false;
  FUndoGraphic->FreeImage();
  FPagesFileName = FImage->FrameCount() > 1 ? fileName : std::string();
  FPageCompressions.clear();
  if (!FPagesFileName.empty()) {
    for (int i = 1; i <= FImage->FrameCount(); ++i) {
      const auto* page = dynamic_cast<const quorvane::TTiffGraphic*>(&FImage->GetFrame(i));
      FPageCompressions.push_back(page ? std::optional(page->Compression()) : std::nullopt);
    }
  }
  TrackSourceFile(fileName);
}

std::optional<TImageDocument::TFileStamp> TImageDocument::StampOf(const std::string& fileName) {
  struct stat info {};
  if (::stat(fileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return TFileStamp{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                    static_cast<int64_t>(info.st_size), static_cast<int64_t>(info.st_mtim.tv_sec),
                    static_cast<int64_t>(info.st_mtim.tv_nsec)};
}

// The picture of a JPEG file read by the JPEG reader without warnings is the file's stored pixels
// turned upright by the orientation its EXIF data gives, which a save finds again in the file
// (JpegFileOrientation: a file that needed the reader's leniency is left alone).
void TImageDocument::TrackSourceFile(const std::string& fileName) {
  ForgetSourceFile();
  if (FImage->FrameCount() > 1 || FImage->Empty() || !FImage->Warnings().empty() || !IsJpegFile(fileName) ||
      &FImage->ClassType() != &quorvane::TJpegGraphic::StaticClass())
    return;
  const std::optional<TFileStamp> stamp = StampOf(fileName);
  if (!stamp) return;
  FSource = TSourceFile{AbsolutePath(fileName), *stamp};
  FTurn = TDihedral::Identity;
}

void TImageDocument::ForgetSourceFile() {
  FSource.reset();
  FTurn.reset();
  FUndoTurn.reset();
}

bool TImageDocument::IsOwnPagedFile(const std::string& fileName) const {
  if (!HasPages()) return false;
  if (AbsolutePath(fileName) != AbsolutePath(FPagesFileName)) return false;
  // The pages came from this class's reader, so its writer is the one that can append them.
  return quorvane::FindGraphicClass(fileName) == &FImage->ClassType();
}

// A new instance of the extension's class holding the current image, seen by OnBeforeSave.
std::unique_ptr<TDibGraphic> TImageDocument::PrepareSave(const std::string& extension) {
  std::unique_ptr<TDibGraphic> target = quorvane::CreateGraphicForFile(extension);
  target->Assign(FImage.get());
  // JPEG, PNG and TIFF files keep the colour profile; other formats get the colours in sRGB,
  // which is how a file without a profile is seen. They keep the file's EXIF, XMP and IPTC too
  // (each writer corrects them to the picture it writes).
  if (!target->Capabilities().IccProfiles) quorvane::ConvertToSrgb(*target);
  if (target->Capabilities().MetadataBlocks) target->Metadata() = Metadata();
  if (OnBeforeSave) OnBeforeSave(*target);
  return target;
}

void TImageDocument::SaveToFile(const std::string& fileName) {
  FLastSaveNote.clear();
  if (IsOwnPagedFile(fileName)) {
    SaveAllPages(fileName);
    return;
  }
  if (SaveLossless(fileName)) return;
  // PrepareSave refuses an unknown extension before the file is touched.
  quorvane::TBusyCursor busy;
  PrepareSave(fileName)->SaveToFile(fileName);
  // The source file replaced by other pixels cannot be turned for this picture any more.
  if (FSource && AbsolutePath(fileName) == FSource->FileName) ForgetSourceFile();
}

bool TImageDocument::SaveLossless(const std::string& fileName) {
  if (!FSource || !FTurn || !IsJpegFile(fileName)) return false;
  quorvane::TBusyCursor busy;
  // The file must still be the one the picture was read from, before and after reading it.
  if (StampOf(FSource->FileName) != FSource->Stamp) return false;
  const std::vector<uint8_t> original = quorvane::FileContent(FSource->FileName);
  if (original.empty() || StampOf(FSource->FileName) != FSource->Stamp) return false;
  // The stored pixels were turned upright when the picture was read, then by the commands.
  const std::optional<uint16_t> orientation = quorvane::JpegFileOrientation(original);
  if (!orientation) return false;
  const TDihedral turn = quorvane::Compose(quorvane::UprightTurn(*orientation), *FTurn);
  const quorvane::TLosslessJpeg turned = quorvane::TransformJpegLossless(original, turn);
  if (turned.Result == quorvane::TLosslessJpegResult::PartialBlocks)
    FLastSaveNote = "Re-encoded: the picture's size is not a whole number of JPEG blocks for a lossless turn";
  // The turned file must be the picture shown, at least in size.
  if (turned.Result != quorvane::TLosslessJpegResult::Done || turned.Width != FImage->Width() ||
      turned.Height != FImage->Height())
    return false;
  quorvane::TSafeFile file(fileName);
  file.Stream().WriteBuffer(turned.Bytes.data(), turned.Bytes.size());
  file.Commit();
  FLastSaveNote = turn == TDihedral::Identity ? std::string("Saved without re-encoding")
                                              : std::string("Saved without re-encoding: ") + quorvane::TurnText(turn);
  // The new file holds the picture as it stands, upright: later turns start from it. The undo
  // image is that picture turned back, then by its own turn.
  const std::optional<TFileStamp> stamp = StampOf(fileName);
  if (!stamp) {
    ForgetSourceFile();
    return true;
  }
  if (FUndoTurn) FUndoTurn = quorvane::Compose(quorvane::Inverse(*FTurn), *FUndoTurn);
  FSource = TSourceFile{AbsolutePath(fileName), *stamp};
  FTurn = TDihedral::Identity;
  return true;
}

void TImageDocument::SaveToStream(quorvane::TStream& stream, const std::string& extension) {
  const std::string name = extension.find('.') == std::string::npos ? "." + extension : extension;
  quorvane::TBusyCursor busy;
  PrepareSave(name)->SaveToStream(stream);
}

void TImageDocument::Save() {
  SaveToFile(FFileName);
  FModified = false;
}

void TImageDocument::SaveAs(const std::string& fileName) {
  SaveToFile(fileName);
  FFileName = fileName;
}

// A page of the open file keeps the compression it was read with as long as that compression
// can hold the page's format, which is always so for a page nobody changed; otherwise (a page
// converted to another format) it takes the compression of its format, as any saved image does.
quorvane::TTiffCompression TImageDocument::PageCompression(int index, quorvane::TImageFormat format) const {
  const auto i = static_cast<size_t>(index - 1);
  if (i < FPageCompressions.size() && FPageCompressions[i] &&
      quorvane::TiffCompressionAllowed(*FPageCompressions[i], format))
    return *FPageCompressions[i];
  return quorvane::DefaultSaveCompression(format);
}

// Writes every page, the shown one as edited, and replaces the file in one safe step: a failure
// on any page leaves the file as it was.
void TImageDocument::SaveAllPages(const std::string& fileName) {
  quorvane::TBusyCursor busy;
  TDibGraphic& image = *FImage;
  image.GetFrame(image.CurrentFrame()).Assign(&image);
  std::vector<std::optional<quorvane::TTiffCompression>> written(static_cast<size_t>(image.FrameCount()));
  quorvane::TMultiPageWriter file(fileName);
  file.OnBeforePage = [&](TDibGraphic& page, int number) {
    if (auto* tiffPage = dynamic_cast<quorvane::TTiffGraphic*>(&page)) {
      tiffPage->SetCompression(PageCompression(number, page.ImageFormat()));
      written[static_cast<size_t>(number - 1)] = tiffPage->Compression();
    }
  };
  for (int i = 1; i <= image.FrameCount(); ++i) file.AddPageCopy(image.GetFrame(i));
  file.Commit();
  FPageCompressions = std::move(written);
}

void TImageDocument::Apply(quorvane::TImageTransform& transform) {
  FUndoGraphic->Assign(FImage.get());
  // The undo image is the picture as it was; the picture is the file turned only while every
  // change was a turn (and not while a failed command may have left it half rebuilt).
  FUndoTurn = std::exchange(FTurn, std::nullopt);
  transform.ApplyOnDest(*FUndoGraphic, *FImage);
  FModified = true;
  const std::optional<TDihedral> step = quorvane::TurnOfTransform(transform);
  if (FUndoTurn && step) FTurn = quorvane::Compose(*FUndoTurn, *step);
}

void TImageDocument::KeepUndo() {
  FUndoGraphic->Assign(FImage.get());
  FUndoTurn = FTurn;
}

void TImageDocument::DetachFromFile(bool modified) {
  FModified = modified;
  FImage->Metadata() = quorvane::TImageMetadata{};
  FFileName.clear();
  FPagesFileName.clear();
  FPageCompressions.clear();
  ForgetSourceFile();
}

void TImageDocument::ReplaceImage(const TDibGraphic& page, bool modified) {
  if (&page != FImage.get()) FImage->Assign(&page);
  FUndoGraphic->FreeImage();
  DetachFromFile(modified);
}

bool TImageDocument::Undo() {
  if (FUndoGraphic->Empty()) return false;
  FImage->Assign(FUndoGraphic.get());
  FUndoGraphic->FreeImage();
  FTurn = std::exchange(FUndoTurn, std::nullopt);
  return true;
}

bool TImageDocument::ShowPage(int page) {
  if (FPagesFileName.empty() || page < 1 || page > FImage->FrameCount() || page == FImage->CurrentFrame()) return false;
  FImage->GetFrame(FImage->CurrentFrame()).Assign(FImage.get());
  FUndoGraphic->FreeImage();
  ForgetSourceFile();
  FImage->SetCurrentFrame(page);
  return true;
}

}  // namespace brindlex
