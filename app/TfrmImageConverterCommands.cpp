// The commands of the main window: files, clipboard, undo, pages, print and the Image menu.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QLineEdit>
#include <QPrinter>
#include <QRadioButton>
#include <QStatusBar>

#include "AppNumbers.h"
#include "TBrindlexApplication.h"
#include "TCropForm.h"
#include "TFormatConversionForm.h"
#include "TPrintCommand.h"
#include "TPropertiesForm.h"
#include "TResizeForm.h"
#include "TfrmImageConverter.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvMisc.h"
#include "platform/QvDiGrphQt.h"

namespace brindlex {

using quorvane::TDibGraphic;
using quorvane::TImageFormat;
using quorvane::TOperationParameters;

void TfrmImageConverter::ConfirmSave() {
  if (!FDocument.Modified()) return;
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
  TFileRequest request{QStringLiteral("Open"), FOpenFilter, FDirectory};
  request.SelectedFilter = AllFormatsFilter(FOpenFilter);
  const std::optional<QString> name = FDialogs->OpenFileName(this, request);
  if (!name) return;
  LoadFile(*name);
}

void TfrmImageConverter::OpenFile(const QString& name) {
  ConfirmSave();
  LoadFile(QFileInfo(name).absoluteFilePath());
}

// Opens a file into the view. A failed load changes nothing but the dialogs' directory: the old
// picture stays under its own caption. A new file starts with nothing to undo (the document sees
// to it), so Undo can never put another file's picture under this file's name.
void TfrmImageConverter::LoadFile(const QString& name) {
  SetDirectoryOf(name);
  FDocument.Open(name.toStdString());
  SetCaption(name);
  RememberFile(name);
  PlayIfAnimated(name);
  seZoomChange();
  UpdatePageStatus();
  FollowDocumentFile();
  const std::vector<std::string>& warnings = FDocument.Image().Warnings();
  if (!warnings.empty()) {
    QStringList lines;
    for (const std::string& w : warnings) lines << QString::fromStdString(w);
    FDialogs->ShowMessage(this, QString(), lines.join(QLatin1Char('\n')));
  }
}

void TfrmImageConverter::SetDirectoryOf(const QString& fileName) { FDirectory = QFileInfo(fileName).absolutePath(); }

bool TfrmImageConverter::SaveDocument() {
  if (FDocument.FileName().empty()) return ConvertDocument();
  FDocument.Save();
  ShowSaveNote();
  return true;
}

// A JPEG saved by turning its compressed data, or re-encoded where that could not be done, says so;
// any other save takes away the note of an earlier one.
void TfrmImageConverter::ShowSaveNote() {
  statusBar()->showMessage(QString::fromStdString(FDocument.LastSaveNote()), kSaveNoteMilliseconds);
}

bool TfrmImageConverter::ConvertDocument() {
  // Under "All" a name without an extension becomes a PCX file (below); under one type the dialog
  // gives it that type's extension.
  TFileRequest request{QStringLiteral("Convert To"), FSaveFilter, FDirectory};
  request.SelectedFilter = AllFormatsFilter(FSaveFilter);
  std::optional<QString> chosen = FDialogs->SaveFileName(this, request);
  if (!chosen) return false;
  QString name = *chosen;
  SetDirectoryOf(name);
  if (quorvane::ExtractFileExt(name.toStdString()).empty()) name += QStringLiteral(".pcx");
  if (QFileInfo::exists(name) &&
      FDialogs->Confirm(this,
                        QStringLiteral("File ") + name + QStringLiteral(" exists.\r") + QStringLiteral(" Overwrite ?"),
                        false) != TAnswer::Yes)
    return false;
  FDocument.SaveAs(name.toStdString());
  SetCaption(name);
  RememberFile(name);
  FollowDocumentFile();
  ShowSaveNote();
  return true;
}

void TfrmImageConverter::Copy() { quorvane::CopyToClipboard(FDocument.Image(), *QApplication::clipboard()); }

void TfrmImageConverter::Paste() {
  ConfirmSave();
  ClipboardChanged();
  if (!FClipboardHasImage) return;
  StopAnimation();
  FDocument.KeepUndo();
  quorvane::Assign(FDocument.Image(), *QApplication::clipboard());
  FDocument.DetachFromFile(true);
  FImageScrollBox->Redraw(true);
}

void TfrmImageConverter::Undo() {
  if (FDocument.Undo()) FImageScrollBox->Redraw(true);
}

QPrinter& TfrmImageConverter::Printer() {
  if (!FPrinter) FPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *FPrinter;
}

void TfrmImageConverter::Print() {
  if (FDocument.Image().Empty()) return;
  PrintImage(*FDialogs, this, FDocument.Image(), Printer());
}

void TfrmImageConverter::PrintSetup() { PrinterSetup(*FDialogs, this, Printer()); }

void TfrmImageConverter::Properties() {
  if (FDocument.Image().Empty()) return;
  TPropertiesForm form(this, DocumentProperties(FDocument));
  FDialogs->Execute(form);
}

// A scanned page replaces the picture; what Undo held belonged to the picture before it.
void TfrmImageConverter::ShowScannedPage(const TDibGraphic& page, bool modified) {
  StopAnimation();
  FDocument.ReplaceImage(page, modified);
  FImageScrollBox->Redraw(true);
  seZoomChange();
  UpdatePageStatus();
}

// Steps to another page of a file (the document keeps edits and drops the undo image).
void TfrmImageConverter::ShowPage(int page) {
  if (!FDocument.ShowPage(page)) return;
  FImageScrollBox->Redraw(true);
  UpdatePageStatus();
}

bool TfrmImageConverter::AskParameters(const TImageMenuEntry& entry, TOperationParameters& p) {
  const TDibGraphic& image = FDocument.Image();
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
  if (FDocument.Image().Empty()) return;
  const TImageMenuEntry& entry = ImageMenuEntry(command);
  TOperationParameters parameters = entry.Parameters;
  if (!AskParameters(entry, parameters)) return;
  std::unique_ptr<quorvane::TImageTransform> transform = quorvane::CreateTransform(*entry.Operation, parameters);
  ApplyTransform(*transform);
}

void TfrmImageConverter::ApplyTransform(quorvane::TImageTransform& transform) {
  transform.OnProgress = [this](quorvane::TImageTransform*, int percent) { TransformProgress(percent); };
  {
    StopAnimation();
    quorvane::TBusyCursor busy;
    FLastRepaint = QDateTime::currentMSecsSinceEpoch();
    FDocument.Apply(transform);
  }
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
