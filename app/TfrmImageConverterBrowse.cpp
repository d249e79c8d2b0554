// Browsing the folder of the opened file: the keys that step through its pictures, the position
// in the status bar, the pictures read ahead, and what a step does.
//
// A step is a command like any other (it runs through the command queue and asks about unsaved
// changes first). A file that does not open is no reason for a message box in the middle of
// browsing: the step names it in the status bar and goes on past it in the same direction. At
// either end of the folder the step stops and says so.
#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <future>

#include "TBrindlexApplication.h"
#include "TPreloader.h"
#include "TfrmImageConverter.h"
#include "model/QvMisc.h"

namespace brindlex {

namespace {

// The way a step goes on past a file that does not open: First goes on forwards, Last backwards.
TFileStep Onward(TFileStep step) {
  return step == TFileStep::First || step == TFileStep::Next ? TFileStep::Next : TFileStep::Previous;
}

QString EndMessage(const TFolderBrowser& browser, TFileStep onward) {
  if (browser.Count() == 0) return QStringLiteral("The folder holds no picture.");
  return onward == TFileStep::Next ? QStringLiteral("This is the last picture in the folder.")
                                   : QStringLiteral("This is the first picture in the folder.");
}

QString NameOf(const QString& path) { return QFileInfo(path).fileName(); }

// Reads a file that was not read ahead, on a thread of its own while this one waits: off the
// window's thread a reader's warnings stay with the picture (for the status bar) instead of
// each opening a message box in the middle of browsing.
std::unique_ptr<quorvane::TDibGraphic> ReadWaiting(const std::string& fileName) {
  quorvane::TBusyCursor busy;
  return std::async(std::launch::async, [&fileName] { return TImageDocument::ReadImageFile(fileName, 0); }).get();
}

}  // namespace

void TfrmImageConverter::CreateBrowseActions() {
  const struct {
    const char* Name;
    QString Caption, Hint;
    QList<QKeySequence> Keys;
    TFileStep Step;
  } rows[] = {
      {"acNextFile",
       QStringLiteral("&Next Picture"),
       QStringLiteral("Next picture in the folder"),
       {QKeySequence(Qt::Key_Right), QKeySequence(Qt::Key_Space)},
       TFileStep::Next},
      {"acPreviousFile",
       QStringLiteral("P&revious Picture"),
       QStringLiteral("Previous picture in the folder"),
       {QKeySequence(Qt::Key_Left), QKeySequence(Qt::Key_Backspace)},
       TFileStep::Previous},
      {"acFirstFile",
       QStringLiteral("F&irst Picture"),
       QStringLiteral("First picture in the folder"),
       {QKeySequence(Qt::Key_Home)},
       TFileStep::First},
      {"acLastFile",
       QStringLiteral("&Last Picture"),
       QStringLiteral("Last picture in the folder"),
       {QKeySequence(Qt::Key_End)},
       TFileStep::Last},
  };
  for (const auto& row : rows) {
    QAction* action = NewAction(row.Name, row.Caption, row.Hint, {}, nullptr);
    action->setShortcuts(row.Keys);
    const TFileStep step = row.Step;
    connect(action, &QAction::triggered, this, [this, step] { FCommands.Run([this, step] { StepFile(step); }); });
  }
}

void TfrmImageConverter::CreateBrowsing() {
  FFolderBrowser = std::make_unique<TFolderBrowser>();
  FFolderBrowser->OnChanged = [this] { FCommands.Run([this] { FolderChanged(); }); };
  FPreloader = std::make_unique<TPreloader>(
      [](const std::string& fileName) { return TImageDocument::ReadImageFile(fileName, 0); });
}

// The folder followed is that of the document's file; a picture without a file (pasted,
// scanned) leaves it where it was, so steps go on from the last file shown. What the last step
// reported is about a picture no longer in question once another file is the document's.
void TfrmImageConverter::FollowDocumentFile() {
  if (FDocument.FileName().empty()) return;
  statusBar()->clearMessage();
  FFolderBrowser->SetCurrentFile(CurrentFileName());
  UpdateBrowseCommands();
  PreloadNeighbours();
}

void TfrmImageConverter::FolderChanged() {
  UpdateBrowseCommands();
  PreloadNeighbours();
}

void TfrmImageConverter::UpdateBrowseCommands() {
  const QString& current = FFolderBrowser->CurrentFile();
  for (const char* name : {"acNextFile", "acPreviousFile", "acFirstFile", "acLastFile"})
    Action(QString::fromLatin1(name))->setEnabled(!current.isEmpty());
  QString position;
  if (!current.isEmpty() && !FDocument.FileName().empty() &&
      QFileInfo(CurrentFileName()).absoluteFilePath() == current) {
    const int at = FFolderBrowser->Position();
    position = (at > 0 ? QString::number(at) : QStringLiteral("-")) + QStringLiteral(" of ") +
               QString::number(FFolderBrowser->Count());
  }
  if (lblFilePosition->text() != position) lblFilePosition->setText(position);
}

// The neighbours of the current file are read ahead, the one in the direction of the last step
// first; whatever was read for other files is dropped.
void TfrmImageConverter::PreloadNeighbours() {
  std::vector<std::string> wanted;
  const QString& current = FFolderBrowser->CurrentFile();
  if (!current.isEmpty()) {
    const TFileStep back = FLastStep == TFileStep::Next ? TFileStep::Previous : TFileStep::Next;
    for (const TFileStep step : {FLastStep, back}) {
      const QString file = FFolderBrowser->StepTarget(current, step);
      if (!file.isEmpty()) wanted.push_back(file.toStdString());
    }
  }
  FPreloader->SetWanted(wanted);
}

void TfrmImageConverter::StepFile(TFileStep step) {
  FollowDocumentFile();
  const QString current = FFolderBrowser->CurrentFile();
  if (current.isEmpty()) return;
  const TFileStep onward = Onward(step);
  QString target = FFolderBrowser->StepTarget(current, step);
  // Home on the first picture (End on the last) has nothing to open while that picture is shown.
  const bool showingCurrent =
      !FDocument.FileName().empty() && QFileInfo(CurrentFileName()).absoluteFilePath() == current;
  if (target == current && showingCurrent) target.clear();
  if (target.isEmpty()) {
    statusBar()->showMessage(EndMessage(*FFolderBrowser, onward));
    return;
  }
  ConfirmSave();
  FLastStep = onward;

  QStringList report;
  bool shown = false;
  for (; !target.isEmpty() && !shown; target = FFolderBrowser->StepTarget(target, onward)) {
    std::unique_ptr<quorvane::TDibGraphic> image;
    std::exception_ptr error;
    if (std::optional<TPreloader::TResult> ready = FPreloader->Take(target.toStdString())) {
      image = std::move(ready->Image);
      error = ready->Error;
    } else {
      try {
        image = ReadWaiting(target.toStdString());
      } catch (...) {
        error = std::current_exception();
      }
    }
    if (image) {
      ShowBrowsedFile(target, std::move(image));
      shown = true;
    } else {
      report << QStringLiteral("Skipped ") + NameOf(target) + QStringLiteral(": ") + ExceptionMessage(error);
    }
  }
  if (shown) {
    // Damage the file survived is worth a line, not a box, while browsing.
    for (const std::string& warning : FDocument.Image().Warnings())
      report << NameOf(CurrentFileName()) + QStringLiteral(": ") + QString::fromStdString(warning);
  } else {
    report << EndMessage(*FFolderBrowser, onward);
  }
  if (report.isEmpty())
    statusBar()->clearMessage();
  else
    statusBar()->showMessage(report.join(QStringLiteral("  ")));
}

// A picture read for a step becomes the document's, as Open would make it, and the window shows
// it in the zoom mode it has.
void TfrmImageConverter::ShowBrowsedFile(const QString& name, std::unique_ptr<quorvane::TDibGraphic> image) {
  FDocument.OpenRead(name.toStdString(), std::move(image));
  SetDirectoryOf(name);
  SetCaption(name);
  UpdatePageStatus();
  FFolderBrowser->SetCurrentFile(name);
  UpdateBrowseCommands();
  PreloadNeighbours();
}

}  // namespace brindlex
