// The window's viewing commands: zoom keys, full screen, the bars, the recent files, Properties
// and the frames of an animated picture.
#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>

#include "TWindowSettings.h"
#include "TfrmImageConverter.h"
#include "model/QvDiGrphRegistry.h"

namespace brindlex {

using quorvane::TZoomMode;

namespace {

// The key sequences named (in QKeySequence's portable text form).
QList<QKeySequence> Keys(std::initializer_list<const char*> keys) {
  QList<QKeySequence> result;
  for (const char* key : keys) result << QKeySequence(QString::fromLatin1(key));
  return result;
}

}  // namespace

void TfrmImageConverter::CreateViewActions() {
  // The plain keys act only where no text is being typed: a focused edit takes them first.
  QAction* zoomIn = NewAction("acZoomIn", QStringLiteral("Zoom &In"), QStringLiteral("Zoom In"), {}, nullptr);
  zoomIn->setShortcuts(Keys({"+", "=", "Ctrl++", "Ctrl+="}));
  connect(zoomIn, &QAction::triggered, this, [this] { FCommands.Run([this] { ZoomStep(1); }); });
  QAction* zoomOut = NewAction("acZoomOut", QStringLiteral("Zoom &Out"), QStringLiteral("Zoom Out"), {}, nullptr);
  zoomOut->setShortcuts(Keys({"-", "Ctrl+-"}));
  connect(zoomOut, &QAction::triggered, this, [this] { FCommands.Run([this] { ZoomStep(-1); }); });
  Action(QStringLiteral("acFullPage"))->setShortcuts(Keys({"0", "Ctrl+0"}));
  Action(QStringLiteral("acActualSize"))->setShortcuts(Keys({"1", "Ctrl+1"}));

  QAction* fullScreen =
      NewAction("acFullScreen", QStringLiteral("F&ull Screen"), QStringLiteral("Full Screen"), Qt::Key_F11, nullptr);
  fullScreen->setCheckable(true);
  connect(fullScreen, &QAction::triggered, this, [this] { FCommands.Run([this] { SetFullScreen(!FullScreen()); }); });
  // Esc leaves full screen; it is enabled only then, so that everywhere else Esc does what it did.
  QAction* leave = NewAction("acLeaveFullScreen", QStringLiteral("Leave Full Screen"), {}, Qt::Key_Escape, nullptr);
  leave->setEnabled(false);
  connect(leave, &QAction::triggered, this, [this] { FCommands.Run([this] { SetFullScreen(false); }); });
  QAction* bars =
      NewAction("acShowBars", QStringLiteral("Show All &Bars"), QStringLiteral("Show All Bars"), {}, nullptr);
  bars->setShortcut(QKeySequence(QStringLiteral("Ctrl+M")));
  connect(bars, &QAction::triggered, this, [this] { FCommands.Run([this] { ShowAllBars(); }); });

  Action(QStringLiteral("acExit"))->setShortcuts(Keys({"Alt+X", "Ctrl+Q"}));

  QAction* play = NewAction("acPlay", QStringLiteral("&Play Animation"), QStringLiteral("Play Animation"), {}, nullptr);
  play->setCheckable(true);
  play->setShortcut(QKeySequence(Qt::Key_P));
  connect(play, &QAction::triggered, this, [this] { FCommands.Run([this] { TogglePlay(); }); });
  QAction* step = NewAction("acNextFrame", QStringLiteral("Next &Frame"), QStringLiteral("Next Frame"),
                            QKeySequence(Qt::Key_Period), nullptr);
  connect(step, &QAction::triggered, this, [this] { FCommands.Run([this] { StepFrame(); }); });
}

void TfrmImageConverter::CreateViewMenus(QMenu* file, QMenu* view) {
  FRecentMenu = new QMenu(QStringLiteral("Open &Recent"), file);
  FRecentMenu->setObjectName(QStringLiteral("miOpenRecent"));
  file->insertMenu(Action(QStringLiteral("acSave")), FRecentMenu);
  // Entries whose file has gone are dropped whenever the list is shown.
  connect(FRecentMenu, &QMenu::aboutToShow, this, [this] { FillRecentMenu(); });
  {
    QSettings settings = ProgramSettings();
    FRecentFiles.Load(settings);
  }
  FillRecentMenu();

  view->addSeparator();
  view->addAction(Action(QStringLiteral("acZoomIn")));
  view->addAction(Action(QStringLiteral("acZoomOut")));
  view->addAction(Action(QStringLiteral("acFullScreen")));
  QMenu* bars = view->addMenu(QStringLiteral("&Tool Bars"));
  for (QToolBar* bar : {tbImageMenu, tbImageFile, tbImageEdit, tbImageLocation})
    bars->addAction(bar->toggleViewAction());
  bars->addSeparator();
  bars->addAction(Action(QStringLiteral("acShowBars")));
  view->addSeparator();
  view->addAction(Action(QStringLiteral("acPlay")));
  view->addAction(Action(QStringLiteral("acNextFrame")));
}

void TfrmImageConverter::UpdateViewCommands() {
  const bool hasImage = !FDocument.Image().Empty();
  Action(QStringLiteral("acZoomIn"))->setEnabled(hasImage);
  Action(QStringLiteral("acZoomOut"))->setEnabled(hasImage);
  Action(QStringLiteral("acFullScreen"))->setChecked(FullScreen());
  Action(QStringLiteral("acLeaveFullScreen"))->setEnabled(FullScreen());
  const bool animated = FImageScrollBox->FrameCount() > 1;
  Action(QStringLiteral("acPlay"))->setEnabled(animated);
  Action(QStringLiteral("acPlay"))->setChecked(FImageScrollBox->Animate());
  Action(QStringLiteral("acNextFrame"))->setEnabled(animated);
  UpdateCaption();
}

void TfrmImageConverter::ZoomStep(int steps) {
  if (FDocument.Image().Empty()) return;
  FImageScrollBox->ZoomStep(steps);
}

void TfrmImageConverter::SetFullScreen(bool on) {
  if (on == FullScreen()) return;
  if (on) {
    TFullScreenState saved{windowState(), {}};
    for (QWidget* bar :
         std::initializer_list<QWidget*>{tbImageMenu, tbImageFile, tbImageEdit, tbImageLocation, statusBar()}) {
      saved.Bars.emplace_back(bar, bar->isVisibleTo(this));
      bar->hide();
    }
    FFullScreen = std::move(saved);
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowFullScreen);
  } else {
    const TFullScreenState saved = std::move(*FFullScreen);
    FFullScreen.reset();
    setWindowState(saved.State & ~Qt::WindowFullScreen);
    for (const auto& [bar, visible] : saved.Bars) bar->setVisible(visible);
  }
  UpdateViewCommands();
}

void TfrmImageConverter::ShowAllBars() {
  // Out of full screen first, which would otherwise bring back the bars of before.
  SetFullScreen(false);
  for (QToolBar* bar : {tbImageMenu, tbImageFile, tbImageEdit, tbImageLocation}) bar->show();
  statusBar()->show();
}

void TfrmImageConverter::RememberFile(const QString& name) {
  FRecentFiles.Add(name);
  QSettings settings = ProgramSettings();
  FRecentFiles.Save(settings);
  FillRecentMenu();
}

void TfrmImageConverter::FillRecentMenu() {
  if (FRecentFiles.Prune([](const QString& name) { return QFileInfo::exists(name); })) {
    QSettings settings = ProgramSettings();
    FRecentFiles.Save(settings);
  }
  FRecentMenu->clear();
  int number = 0;
  for (const QString& name : FRecentFiles.Files()) {
    ++number;
    // "&1 name": the number is the accelerator; ampersands of the name are shown as such.
    QString text = QFileInfo(name).fileName();
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    QAction* entry = FRecentMenu->addAction(QStringLiteral("&%1 %2").arg(number).arg(text));
    entry->setToolTip(name);
    entry->setStatusTip(name);
    entry->setData(name);
    connect(entry, &QAction::triggered, this, [this, name] { FCommands.Run([this, name] { OpenRecent(name); }); });
  }
  FRecentMenu->setEnabled(!FRecentFiles.Files().isEmpty());
}

// A file that has gone since leaves the list; the open then reports why it failed.
void TfrmImageConverter::OpenRecent(const QString& name) {
  if (!QFileInfo::exists(name)) {
    FRecentFiles.Remove(name);
    QSettings settings = ProgramSettings();
    FRecentFiles.Save(settings);
    FillRecentMenu();
  }
  OpenFile(name);
}

void TfrmImageConverter::UpdateCaption() {
  // Qt shows the mark where "[*]" stands while the window is marked modified.
  const QString title = Modified() ? FCaption + QStringLiteral("[*]") : FCaption;
  if (windowTitle() != title) setWindowTitle(title);
  setWindowModified(Modified());
}

// The frames of a file the picture loader read (GIF, animated WebP) are an animation and play at
// once; the pages of a file of a registered class (TIFF, DCX) are stepped by the page keys.
void TfrmImageConverter::PlayIfAnimated(const QString& name) {
  FImageScrollBox->SetAnimate(FImageScrollBox->FrameCount() > 1 &&
                              quorvane::FindGraphicClass(name.toStdString()) == nullptr);
  UpdateViewCommands();
}

// An image command, a paste or a scan works on the frame shown: the animation stops there, so
// that its next frame does not replace the result.
void TfrmImageConverter::StopAnimation() { FImageScrollBox->SetAnimate(false); }

void TfrmImageConverter::TogglePlay() {
  if (FImageScrollBox->FrameCount() < 2) return;
  FImageScrollBox->SetAnimate(!FImageScrollBox->Animate());
  UpdateViewCommands();
}

// One frame on, the first after the last; a running animation pauses first. The frame shown goes
// back into its place first, as paging does, so an edit of a frame is kept.
void TfrmImageConverter::StepFrame() {
  if (FImageScrollBox->FrameCount() < 2) return;
  FImageScrollBox->SetAnimate(false);
  const int next = FDocument.CurrentPage() >= FDocument.PageCount() ? 1 : FDocument.CurrentPage() + 1;
  ShowPage(next);
  UpdateViewCommands();
}

}  // namespace brindlex
