// The commands of the main window: files, clipboard, undo, pages and the Image menu.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrinter>
#include <QRadioButton>

#include "AppNumbers.h"
#include "TBrindlexApplication.h"
#include "TCropForm.h"
#include "TFormatConversionForm.h"
#include "TResizeForm.h"
#include "TfrmImageConverter.h"
#include "formats/QvMultiPageWriter.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvMisc.h"
#include "platform/QvDiGrphQt.h"
#include "print/QvPrintCommand.h"
#include "scan/QvScan.h"
#include "scan/QvScanCommand.h"

namespace brindlex {

using quorvane::TDibGraphic;
using quorvane::TImageFormat;
using quorvane::TOperationParameters;

void TfrmImageConverter::ConfirmSave() {
  if (!FModified) return;
  switch (FDialogs->Confirm(this, QStringLiteral("Image is not saved. Save it?"), true)) {
    case TAnswer::Yes:
      // A save cancelled in its dialog saved nothing: going on would lose the changes.
      if (!SaveDocument()) throw EAbort();
      break;
    case TAnswer::No: break;
    case TAnswer::Cancel: throw EAbort();
  }
}

void TfrmImageConverter::Open() {
  ConfirmSave();
  const std::optional<QString> name = FDialogs->OpenFileName(this, {QStringLiteral("Open"), FOpenFilter, FDirectory});
  if (!name) return;
  LoadFile(*name);
}

void TfrmImageConverter::OpenFile(const QString& name) {
  ConfirmSave();
  LoadFile(QFileInfo(name).absoluteFilePath());
}

// Opens a file into the view. A failed load changes nothing but the dialogs' directory: the old
// picture stays under its own caption. A new file starts with nothing to undo, so Undo can never
// put another file's picture under this file's name.
void TfrmImageConverter::LoadFile(const QString& name) {
  SetDirectoryOf(name);
  {
    quorvane::TBusyCursor busy;
    FImageScrollBox->LoadFromFile(name.toStdString(), 0);
  }
  FCurrentFileName = name;
  SetCaption(name);
  FModified = false;
  FUndoGraphic->FreeImage();
  TDibGraphic& image = FImageScrollBox->Graphic();
  FPagesFileName = image.FrameCount() > 1 ? name : QString();
  FPageCompressions.clear();
  if (!FPagesFileName.isEmpty()) {
    for (int i = 1; i <= image.FrameCount(); ++i) {
      const auto* page = dynamic_cast<const quorvane::TTiffGraphic*>(&image.GetFrame(i));
      FPageCompressions.push_back(page ? std::optional(page->Compression()) : std::nullopt);
    }
  }
  seZoomChange();
  UpdatePageStatus();
  const std::vector<std::string>& warnings = FImageScrollBox->Graphic().Warnings();
  if (!warnings.empty()) {
    QStringList lines;
    for (const std::string& w : warnings) lines << QString::fromStdString(w);
    FDialogs->ShowMessage(this, lines.join(QLatin1Char('\n')));
  }
}

void TfrmImageConverter::SetDirectoryOf(const QString& fileName) { FDirectory = QFileInfo(fileName).absolutePath(); }

bool TfrmImageConverter::SaveDocument() {
  if (FCurrentFileName.isEmpty()) return ConvertDocument();
  SaveToFile(FCurrentFileName);
  FModified = false;
  return true;
}

bool TfrmImageConverter::ConvertDocument() {
  std::optional<QString> chosen = FDialogs->SaveFileName(this, {QStringLiteral("Convert To"), FSaveFilter, FDirectory});
  if (!chosen) return false;
  QString name = *chosen;
  SetDirectoryOf(name);
  if (quorvane::ExtractFileExt(name.toStdString()).empty()) name += QStringLiteral(".pcx");
  if (QFileInfo::exists(name) &&
      FDialogs->Confirm(this,
                        QStringLiteral("File ") + name + QStringLiteral(" exists.\r") + QStringLiteral(" Overwrite ?"),
                        false) != TAnswer::Yes)
    return false;
  SaveToFile(name);
  FCurrentFileName = name;
  SetCaption(name);
  return true;
}

bool TfrmImageConverter::IsOwnPagedFile(const QString& name) const {
  if (FPagesFileName.isEmpty() || FImageScrollBox->FrameCount() < 2) return false;
  if (QFileInfo(name).absoluteFilePath() != QFileInfo(FPagesFileName).absoluteFilePath()) return false;
  // The pages came from this class's reader, so its writer is the one that can append them.
  return quorvane::FindGraphicClass(name.toStdString()) == &FImageScrollBox->Graphic().ClassType();
}

void TfrmImageConverter::SaveToFile(const QString& name) {
  if (IsOwnPagedFile(name))
    SaveAllPages(name);
  else
    FImageScrollBox->SaveToFile(name.toStdString());
}

// A page of the open file keeps the compression it was read with as long as that compression
// can hold the page's format, which is always so for a page nobody changed; otherwise (a page
// converted to another format) it takes the compression of its format, as any saved image does.
quorvane::TTiffCompression TfrmImageConverter::PageCompression(int index, TImageFormat format) const {
  const auto i = static_cast<size_t>(index - 1);
  if (i < FPageCompressions.size() && FPageCompressions[i] &&
      quorvane::TiffCompressionAllowed(*FPageCompressions[i], format))
    return *FPageCompressions[i];
  return quorvane::DefaultSaveCompression(format);
}

// Writes every page, the shown one as edited, and replaces the file in one safe step: a failure
// on any page leaves the file as it was.
void TfrmImageConverter::SaveAllPages(const QString& name) {
  quorvane::TBusyCursor busy;
  TDibGraphic& image = FImageScrollBox->Graphic();
  image.GetFrame(FImageScrollBox->CurrentFrame()).Assign(&image);
  std::vector<std::optional<quorvane::TTiffCompression>> written(static_cast<size_t>(image.FrameCount()));
  quorvane::TMultiPageWriter file(name.toStdString());
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

void TfrmImageConverter::Copy() { quorvane::CopyToClipboard(FImageScrollBox->Graphic(), *QApplication::clipboard()); }

void TfrmImageConverter::Paste() {
  ConfirmSave();
  ClipboardChanged();
  if (!FClipboardHasImage) return;
  FUndoGraphic->Assign(&FImageScrollBox->Graphic());
  quorvane::Assign(FImageScrollBox->Graphic(), *QApplication::clipboard());
  FModified = true;
  FCurrentFileName.clear();
  FPagesFileName.clear();
  FPageCompressions.clear();
  FImageScrollBox->Redraw(true);
}

void TfrmImageConverter::Undo() {
  if (FUndoGraphic->Empty()) return;
  FImageScrollBox->SetGraphic(*FUndoGraphic);
  FUndoGraphic->FreeImage();
}

void TfrmImageConverter::Print() {
  if (FImageScrollBox->Graphic().Empty()) return;
  if (!FPrinter) FPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
  quorvane::PrintImage(this, FImageScrollBox->Graphic(), *FPrinter);
}

void TfrmImageConverter::PrintSetup() {
  if (!FPrinter) FPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
  quorvane::PrinterSetup(this, *FPrinter);
}

// A scanned page replaces the picture; what Undo held belonged to the picture before it.
void TfrmImageConverter::ShowScannedPage(const TDibGraphic& page, bool modified) {
  FImageScrollBox->SetGraphic(page);
  FModified = modified;
  FUndoGraphic->FreeImage();
  FCurrentFileName.clear();
  FPagesFileName.clear();
  FPageCompressions.clear();
  seZoomChange();
  UpdatePageStatus();
}

// Steps to another page of a file. The page shown goes back into its frame first, so edits
// survive stepping; the undo image belongs to the page left behind and is dropped.
void TfrmImageConverter::ShowPage(int page) {
  if (FPagesFileName.isEmpty() || page < 1 || page > FImageScrollBox->FrameCount() ||
      page == FImageScrollBox->CurrentFrame())
    return;
  TDibGraphic& image = FImageScrollBox->Graphic();
  image.GetFrame(FImageScrollBox->CurrentFrame()).Assign(&image);
  FUndoGraphic->FreeImage();
  FImageScrollBox->ShowFrame(page);
  UpdatePageStatus();
}

bool TfrmImageConverter::AskParameters(const TImageMenuEntry& entry, TOperationParameters& p) {
  const TDibGraphic& image = FImageScrollBox->Graphic();
  switch (entry.Source) {
    case TParameterSource::None: return true;
    case TParameterSource::Prompt: {
      const TImagePrompt& prompt = entry.Prompt;
      const std::optional<QString> answer =
          FDialogs->Prompt(this, QString::fromLatin1(prompt.Caption), QString::fromLatin1(prompt.Text),
                           QString::fromLatin1(prompt.Initial));
      if (!answer) return false;
      quorvane::FindParameter(*entry.Operation, prompt.Parameter)->Set(p, TextToFloat(*answer));
      return true;
    }
    case TParameterSource::CropDialog: {
      TCropForm form(this);
      if (!FDialogs->Execute(form)) throw EAbort();
      p.CropLeft = TextToInt(form.LeftFld->text());
      p.CropTop = TextToInt(form.TopFld->text());
      p.CropRight = TextToInt(form.RightFld->text());
      p.CropBottom = TextToInt(form.BottomFld->text());
      return true;
    }
    case TParameterSource::ResizeDialog: {
      TResizeForm form(this);
      form.WidthFld->setText(QString::number(image.Width()));
      form.HeightFld->setText(QString::number(image.Height()));
      const int current = static_cast<int>(image.ImageFormat());
      form.DestFormatCB->setCurrentIndex(current);
      if (!FDialogs->Execute(form)) throw EAbort();
      p.Interpolate = form.InterpolatedCB->isChecked();
      if (p.Interpolate) {
        p.Filter = static_cast<quorvane::TResizeFilter>(std::max(0, form.FilterCB->currentIndex()));
        if (form.DestFormatCB->currentIndex() != current && form.DestFormatCB->currentIndex() >= 0) {
          p.ForceFormat = true;
          p.TargetFormat = static_cast<TImageFormat>(form.DestFormatCB->currentIndex());
        }
      }
      p.NewWidth = TextToInt(form.WidthFld->text());
      p.NewHeight = TextToInt(form.HeightFld->text());
      return true;
    }
    case TParameterSource::FormatDialog: {
      TFormatConversionForm form(this);
      form.FormatButton(image.ImageFormat())->setEnabled(false);
      if (!FDialogs->Execute(form)) throw EAbort();
      p.TargetFormat = form.Target();
      p.UseQuantizer = form.QuantizeCB->isChecked();
      p.UseDither = form.DitherCB->isChecked();
      return true;
    }
  }
  return true;
}

void TfrmImageConverter::RunImageCommand(TImageCommand command) {
  if (FImageScrollBox->Graphic().Empty()) return;
  const TImageMenuEntry& entry = ImageMenuEntry(command);
  TOperationParameters parameters = entry.Parameters;
  if (!AskParameters(entry, parameters)) return;
  std::unique_ptr<quorvane::TImageTransform> transform = quorvane::CreateTransform(*entry.Operation, parameters);
  ApplyTransform(*transform);
}

void TfrmImageConverter::ApplyTransform(quorvane::TImageTransform& transform) {
  TDibGraphic& image = FImageScrollBox->Graphic();
  FUndoGraphic->Assign(&image);
  transform.OnProgress = [this](quorvane::TImageTransform*, int percent) { TransformProgress(percent); };
  {
    quorvane::TBusyCursor busy;
    FLastRepaint = QDateTime::currentMSecsSinceEpoch();
    transform.ApplyOnDest(*FUndoGraphic, image);
  }
  FModified = true;
  FImageScrollBox->Redraw(true);
}

// Lets the window repaint during a long operation (about ten times a second). User input waits
// until the command ends; whatever else arrives (a drop, a close request) waits in the command
// queue, so nothing replaces the image being rebuilt.
void TfrmImageConverter::TransformProgress(int) {
  const int64_t now = QDateTime::currentMSecsSinceEpoch();
  if (now - FLastRepaint < FRepaintInterval) return;
  FLastRepaint = now;
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace brindlex
