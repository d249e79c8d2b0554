#include "TfrmImageConverter.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinter>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

#include "TBrindlexApplication.h"
#include "TPreloader.h"
#include "TScanCommand.h"
#include "TToolIcons.h"
#include "TWindowSettings.h"
#include "TZoomBox.h"
#include "formats/QvTifGr.h"
#include "model/QvDiGrphRegistry.h"
#include "platform/QvDiGrphQt.h"
#include "scan/QvScan.h"

namespace brindlex {

using quorvane::TImageScrollBox;
using quorvane::TMouseMode;
using quorvane::TZoomMode;

namespace {

const QString kCaption = QStringLiteral("Brindlex Imaging Tool");

// Tool-bar colours of the visual styles after style 0 (the platform's own look).
const QColor kStyleColours[] = {QColor(0xD4, 0xD0, 0xC8), QColor(0xC0, 0xD8, 0xF0), QColor(0xE0, 0xE0, 0xE0)};

}  // namespace

// The scanner commands' view of the window: its dialogs, its enabling, and the document state
// of a scanned page or file.
class TfrmImageConverter::TScanWindow : public IScanWindow {
 public:
  explicit TScanWindow(TfrmImageConverter& window) : FWindow(window) {}

  TUserDialogs& Dialogs() override { return FWindow.Dialogs(); }
  QWidget* DialogParent() override { return &FWindow; }
  QString Directory() const override { return FWindow.FDirectory; }
  bool ConfirmSave() override {
    try {
      FWindow.ConfirmSave();
      return true;
    } catch (const EAbort&) {
      return false;
    }
  }
  void SetWindowEnabled(bool enabled) override { FWindow.setEnabled(enabled); }
  void ShowScannedPage(const quorvane::TDibGraphic& page, bool modified) override {
    FWindow.ShowScannedPage(page, modified);
  }
  void OpenScannedFile(const QString& fileName) override { FWindow.LoadFile(fileName); }
  void ProcessMessages() override { QCoreApplication::processEvents(); }
  TScanChoices LastScanChoices() override {
    QSettings settings = ProgramSettings();
    return ReadScanChoices(settings);
  }
  void KeepScanChoices(const TScanChoices& choices) override {
    QSettings settings = ProgramSettings();
    WriteScanChoices(settings, choices);
  }

 private:
  TfrmImageConverter& FWindow;
};

void TfrmImageConverter::Scan() { ScanCommand(*FScanner, *FScanWindow); }

void TfrmImageConverter::SelectScanner() { SelectScannerCommand(*FScanner, *FScanWindow); }

QString QtFileFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
  QStringList entries;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    entries << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return entries.join(QStringLiteral(";;"));
}

TfrmImageConverter::TfrmImageConverter(QWidget* parent)
    : QMainWindow(parent), FDialogs(std::make_unique<TQtUserDialogs>()) {
  setObjectName(QStringLiteral("frmImageConverter"));
  FCaption = kCaption;
  setWindowTitle(kCaption);
  resize(724, 447);
  setAcceptDrops(true);

  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  auto* panelLayout = new QVBoxLayout(panel);
  panelLayout->setContentsMargins(4, 4, 4, 4);
  FImageScrollBox = new TImageScrollBox(panel);
  FImageScrollBox->setObjectName(QStringLiteral("ImageScrollBox"));
  panelLayout->addWidget(FImageScrollBox);
  setCentralWidget(panel);
  FImageScrollBox->SetZoomMode(TZoomMode::zmPercent);
  FImageScrollBox->SetPicture(&FDocument.Image());
  FDocument.OnImageReplaced = [this](quorvane::TDibGraphic& image) { FImageScrollBox->SetPicture(&image); };
  FDocument.OnBeforeSave = [this](quorvane::TDibGraphic& g) { BeforeSave(g); };
  FImageScrollBox->OnZoomChange = [this](TImageScrollBox&, float zoom) { ZoomChanged(zoom); };
  FImageScrollBox->OnRedraw = [this](quorvane::TDibGraphic& g) { GraphicRedrawn(g); };
  FImageScrollBox->OnQuickSelect = [this](TImageScrollBox&, quorvane::TDibGraphic& g) {
    // The view frees the selection when the event returns; the command may run later.
    auto selection = std::make_shared<quorvane::TDibGraphic>();
    selection->Assign(&g);
    FCommands.Run([this, selection] { QuickSelected(*selection); });
  };
  // Failures of the view's own event handling reach the user the way every failure does.
  FImageScrollBox->OnError = [](std::exception_ptr error) { HandleException(error); };

  CreateActions();
  CreateViewActions();
  CreateToolBars();
  CreateMenus();
  lblFilePosition = new QLabel(this);
  lblFilePosition->setObjectName(QStringLiteral("lblFilePosition"));
  lblFilePosition->setToolTip(QStringLiteral("Place of the picture in its folder"));
  statusBar()->addPermanentWidget(lblFilePosition);
  lblPage = new QLabel(this);
  lblPage->setObjectName(QStringLiteral("lblPage"));
  statusBar()->addPermanentWidget(lblPage);
  CreateBrowsing();

  ReadSettings();
  FSaveFilter = QtFileFilter(quorvane::SortGraphicFilter(quorvane::GraphicFilter(false)));
  FOpenFilter = QtFileFilter(quorvane::SortGraphicFilter(quorvane::GraphicFilter(true)));

  FIdleConnection = connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                            [this] { UpdateCommands(); });
  FScanner = std::make_unique<quorvane::TScanner>();
  FScanWindow = std::make_unique<TScanWindow>(*this);

  Action(QStringLiteral("acAntiAliased"))->setChecked(FImageScrollBox->AntiAliased());
  Action(QStringLiteral("acCentered"))->setChecked(FImageScrollBox->Centered());
  Action(QStringLiteral("acDrag"))->setChecked(FImageScrollBox->MouseMode() == TMouseMode::mmDrag);
  Action(QStringLiteral("acSelect"))->setChecked(FImageScrollBox->MouseMode() == TMouseMode::mmQuickSelect);

  if (QClipboard* clipboard = QGuiApplication::clipboard()) {
    connect(clipboard, &QClipboard::dataChanged, this, [this] { ClipboardChanged(); });
    ClipboardChanged();
  }
  SetErrorReporter([this](const QString& caption, const QString& text) { FDialogs->ShowError(this, caption, text); });
  UpdateCommands();
  // The view has the keyboard at start, so that the zoom keys (+, -, 0, 1) act on the picture
  // instead of being typed into the zoom box.
  FImageScrollBox->setFocus();
}

TfrmImageConverter::~TfrmImageConverter() {
  // The settings keep the window and bars as they are outside full screen.
  SetFullScreen(false);
  disconnect(FIdleConnection);
  // The view outlives this object's members for a moment while Qt deletes the children.
  FImageScrollBox->OnZoomChange = nullptr;
  FImageScrollBox->OnRedraw = nullptr;
  FImageScrollBox->OnQuickSelect = nullptr;
  FImageScrollBox->OnError = nullptr;
  FDocument.OnImageReplaced = nullptr;
  FDocument.OnBeforeSave = nullptr;
  FFolderBrowser->OnChanged = nullptr;
  FImageScrollBox->SetPicture(nullptr);
  SetErrorReporter({});
  FScanWindow.reset();
  FScanner.reset();
  try {
    WriteSettings();
  } catch (...) {
    // Settings that cannot be written are not worth a failure at exit.
  }
}

void TfrmImageConverter::SetUserDialogs(std::unique_ptr<TUserDialogs> dialogs) { FDialogs = std::move(dialogs); }

QAction* TfrmImageConverter::NewAction(const char* name, const QString& caption, const QString& hint,
                                       const QKeySequence& shortcut, void (TfrmImageConverter::*command)()) {
  auto* action = new QAction(caption, this);
  action->setObjectName(QString::fromLatin1(name));
  if (!hint.isEmpty()) {
    action->setToolTip(hint);
    action->setStatusTip(hint);
  }
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  if (command != nullptr)
    connect(action, &QAction::triggered, this,
            [this, command] { FCommands.Run([this, command] { (this->*command)(); }); });
  FActions[action->objectName()] = action;
  addAction(action);
  return action;
}

QAction* TfrmImageConverter::Action(const QString& name) const {
  const auto it = FActions.find(name);
  return it == FActions.end() ? nullptr : it->second;
}

void TfrmImageConverter::CreateActions() {
  using W = TfrmImageConverter;
  NewAction("acOpen", QStringLiteral("&Open..."), QStringLiteral("Open"), QKeySequence(QStringLiteral("Ctrl+O")),
            &W::Open);
  NewAction("acSave", QStringLiteral("&Save"), QStringLiteral("Save"), QKeySequence(QStringLiteral("Ctrl+S")),
            &W::Save);
  NewAction("acConvertTo", QStringLiteral("&Convert To..."), QStringLiteral("Convert To"), {}, &W::ConvertTo);
  NewAction("acPrint", QStringLiteral("&Print"), QStringLiteral("Print"), QKeySequence(QStringLiteral("Ctrl+P")),
            &W::Print);
  NewAction("acPrintSetup", QStringLiteral("Printer Setu&p..."), QStringLiteral("Print Setup"), {}, &W::PrintSetup);
  NewAction("acScan", QStringLiteral("Sca&n..."), QStringLiteral("Scan"), {}, &W::Scan);
  NewAction("acSelectScanner", QStringLiteral("S&elect Scanner"), QStringLiteral("Select Scanner"), {},
            &W::SelectScanner);
  NewAction("acProperties", QStringLiteral("P&roperties..."), QStringLiteral("Properties"),
            QKeySequence(QStringLiteral("Alt+Return")), &W::Properties);
  NewAction("acExit", QStringLiteral("E&xit"), QStringLiteral("Exit"), QKeySequence(QStringLiteral("Alt+X")), nullptr);
  connect(Action(QStringLiteral("acExit")), &QAction::triggered, this, &QWidget::close);
  NewAction("acUndo", QStringLiteral("&Undo"), QStringLiteral("Undo"), QKeySequence(QStringLiteral("Ctrl+Z")),
            &W::Undo);
  NewAction("acCopy", QStringLiteral("&Copy"), QStringLiteral("Copy"), QKeySequence(QStringLiteral("Ctrl+C")),
            &W::Copy);
  NewAction("acPaste", QStringLiteral("&Paste as New Image"), QStringLiteral("Paste as New Image"),
            QKeySequence(QStringLiteral("Ctrl+V")), &W::Paste);

  QAction* antiAliased = NewAction("acAntiAliased", QStringLiteral("&Anti Aliased"), {}, {}, nullptr);
  antiAliased->setCheckable(true);
  connect(antiAliased, &QAction::triggered, this,
          [this](bool on) { FCommands.Run([this, on] { FImageScrollBox->SetAntiAliased(on); }); });
  QAction* centered = NewAction("acCentered", QStringLiteral("&Centered"), {}, {}, nullptr);
  centered->setCheckable(true);
  connect(centered, &QAction::triggered, this,
          [this](bool on) { FCommands.Run([this, on] { FImageScrollBox->SetCentered(on); }); });
  QAction* drag = NewAction("acDrag", QStringLiteral("&Drag"), {}, {}, nullptr);
  drag->setCheckable(true);
  connect(drag, &QAction::triggered, this, [this] { FCommands.Run([this] { SetMouseMode(TMouseMode::mmDrag); }); });
  QAction* select = NewAction("acSelect", QStringLiteral("&Select"), {}, {}, nullptr);
  select->setCheckable(true);
  connect(select, &QAction::triggered, this,
          [this] { FCommands.Run([this] { SetMouseMode(TMouseMode::mmQuickSelect); }); });

  const std::pair<const char*, QString> zoomModes[] = {{"acActualSize", QStringLiteral("Actual &Size")},
                                                       {"acFullPage", QStringLiteral("&Full Page")},
                                                       {"acFitWidth", QStringLiteral("Fit &Width")},
                                                       {"acFitHeight", QStringLiteral("Fit &Height")}};
  const TZoomMode modes[] = {TZoomMode::zmOriginalSize, TZoomMode::zmFullPage, TZoomMode::zmFitWidth,
                             TZoomMode::zmFitHeight};
  for (size_t i = 0; i < std::size(modes); ++i) {
    QAction* action = NewAction(zoomModes[i].first, zoomModes[i].second, {}, {}, nullptr);
    const TZoomMode mode = modes[i];
    connect(action, &QAction::triggered, this,
            [this, mode] { FCommands.Run([this, mode] { FImageScrollBox->SetZoomMode(mode); }); });
  }

  QAction* previous = NewAction("acPreviousPage", QStringLiteral("Pre&vious Page"), QStringLiteral("Previous Page"),
                                QKeySequence(Qt::Key_PageUp), nullptr);
  connect(previous, &QAction::triggered, this,
          [this] { FCommands.Run([this] { ShowPage(FDocument.CurrentPage() - 1); }); });
  QAction* next = NewAction("acNextPage", QStringLiteral("Ne&xt Page"), QStringLiteral("Next Page"),
                            QKeySequence(Qt::Key_PageDown), nullptr);
  connect(next, &QAction::triggered, this,
          [this] { FCommands.Run([this] { ShowPage(FDocument.CurrentPage() + 1); }); });

  CreateBrowseActions();

  for (const TImageMenuEntry& entry : ImageMenuEntries()) {
    auto* action = new QAction(QString::fromLatin1(entry.Caption), this);
    const TImageCommand command = entry.Command;
    connect(action, &QAction::triggered, this,
            [this, command] { FCommands.Run([this, command] { RunImageCommand(command); }); });
    FImageActions[command] = action;
  }
}

void TfrmImageConverter::CreateMenus() {
  auto* bar = new QMenuBar(tbImageMenu);
  bar->setObjectName(QStringLiteral("MainMenu"));
  bar->setNativeMenuBar(false);
  tbImageMenu->addWidget(bar);
  const auto add = [this](QMenu* menu, const char* name) { menu->addAction(Action(QString::fromLatin1(name))); };

  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  for (const char* name : {"acOpen", "acSave", "acConvertTo"}) add(file, name);
  file->addSeparator();
  add(file, "acPrint");
  add(file, "acPrintSetup");
  file->addSeparator();
  add(file, "acScan");
  add(file, "acSelectScanner");
  file->addSeparator();
  add(file, "acProperties");
  file->addSeparator();
  add(file, "acExit");

  QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
  add(edit, "acUndo");
  edit->addSeparator();
  add(edit, "acCopy");
  add(edit, "acPaste");

  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  add(view, "acAntiAliased");
  add(view, "acCentered");
  QMenu* mouse = view->addMenu(QStringLiteral("&Mouse Mode"));
  add(mouse, "acDrag");
  add(mouse, "acSelect");
  view->addSeparator();
  for (const char* name : {"acActualSize", "acFullPage", "acFitWidth", "acFitHeight"}) add(view, name);
  view->addSeparator();
  add(view, "acPreviousPage");
  add(view, "acNextPage");
  view->addSeparator();
  for (const char* name : {"acNextFile", "acPreviousFile", "acFirstFile", "acLastFile"}) add(view, name);

  FImageMenu = bar->addMenu(QStringLiteral("&Image"));
  CreateImageMenu(FImageMenu);
  CreateViewMenus(file, view);
}

void TfrmImageConverter::CreateImageMenu(QMenu* menu) {
  QMenu* submenu = nullptr;
  const char* submenuCaption = nullptr;
  for (const TImageMenuEntry& entry : ImageMenuEntries()) {
    if (entry.Submenu == nullptr) {
      submenu = nullptr;
      submenuCaption = nullptr;
      menu->addAction(FImageActions.at(entry.Command));
      continue;
    }
    if (submenuCaption == nullptr || std::string_view(submenuCaption) != entry.Submenu) {
      submenuCaption = entry.Submenu;
      submenu = menu->addMenu(QString::fromLatin1(entry.Submenu));
      FImageSubmenus << submenu;
    }
    submenu->addAction(FImageActions.at(entry.Command));
  }
}

void TfrmImageConverter::CreateToolBars() {
  const auto bar = [this](const char* name, const QString& title) {
    auto* toolBar = new QToolBar(title, this);
    toolBar->setObjectName(QString::fromLatin1(name));
    toolBar->setMovable(true);
    toolBar->setIconSize(QSize(24, 24));
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, toolBar);
    return toolBar;
  };
  const std::pair<const char*, TToolIcon> icons[] = {
      {"acOpen", TToolIcon::Open},   {"acSave", TToolIcon::Save}, {"acPrint", TToolIcon::Print},
      {"acScan", TToolIcon::Scan},   {"acUndo", TToolIcon::Undo}, {"acCopy", TToolIcon::Copy},
      {"acPaste", TToolIcon::Paste}, {"acDrag", TToolIcon::Drag}, {"acSelect", TToolIcon::Select}};
  for (const auto& [name, icon] : icons) Action(QString::fromLatin1(name))->setIcon(ToolIcon(icon));
  tbImageMenu = bar("tbImageMenu", QStringLiteral("Imaging Menu"));
  addToolBarBreak(Qt::TopToolBarArea);
  tbImageFile = bar("tbImageFile", QStringLiteral("Imaging File"));
  tbImageFile->addAction(Action(QStringLiteral("acOpen")));
  tbImageFile->addAction(Action(QStringLiteral("acSave")));
  tbImageFile->addSeparator();
  tbImageFile->addAction(Action(QStringLiteral("acPrint")));
  tbImageFile->addAction(Action(QStringLiteral("acScan")));
  tbImageEdit = bar("tbImageEdit", QStringLiteral("Imaging Edit"));
  tbImageEdit->addAction(Action(QStringLiteral("acUndo")));
  tbImageEdit->addSeparator();
  tbImageEdit->addAction(Action(QStringLiteral("acCopy")));
  tbImageEdit->addAction(Action(QStringLiteral("acPaste")));
  tbImageLocation = bar("tbImageLocation", QStringLiteral("Imaging Location"));
  tbImageLocation->addAction(Action(QStringLiteral("acDrag")));
  tbImageLocation->addAction(Action(QStringLiteral("acSelect")));
  tbImageLocation->addSeparator();

  auto* zoom = new TZoomBox(tbImageLocation);
  seZoom = zoom;
  const auto label = [this](const char* name, const QString& text) {
    auto* l = new QLabel(text, tbImageLocation);
    l->setObjectName(QString::fromLatin1(name));
    return l;
  };
  lblZoom = label("lblZoom", QStringLiteral("   &Zoom:"));
  lblZoom->setBuddy(seZoom);
  lblSize = label("lblSize", QStringLiteral("    Size: "));
  lblX = label("lblX", QString());
  lblBy = label("lblBy", QStringLiteral(" x "));
  lblY = label("lblY", QString());
  tbImageLocation->addWidget(lblZoom);
  tbImageLocation->addWidget(seZoom);
  tbImageLocation->addSeparator();
  for (QLabel* l : {lblSize, lblX, lblBy, lblY}) tbImageLocation->addWidget(l);
  // Typed texts come from the editor (the spin box reports only valid values); value changes
  // from the arrows and from setValue come from the box, whose editor is silent then.
  const auto changed = [this] {
    if (FZoomHandlerAttached) FCommands.Run([this] { seZoomChange(); });
  };
  connect(zoom->Editor(), &QLineEdit::textChanged, this, changed);
  connect(zoom, &QDoubleSpinBox::valueChanged, this, changed);
}

void TfrmImageConverter::ReadSettings() {
  QSettings settings = ProgramSettings();
  const TStartSettings start = ReadStartSettings(settings);
  if (start.HasToolbarStyle) ApplyToolbarStyle(start.ToolbarStyle);
  if (!start.ImageToolKey) return;
  LoadToolbarLayout(settings, *this, {tbImageMenu, tbImageFile, tbImageEdit, tbImageLocation});
  if (start.HasDirectory) FDirectory = start.Directory;
  if (start.HasPlacement)
    ApplyPlacement(*this, start.Placement);
  else
    setWindowState(Qt::WindowMaximized);
}

void TfrmImageConverter::WriteSettings() {
  QSettings settings = ProgramSettings();
  SaveToolbarLayout(settings, *this, {tbImageMenu, tbImageFile, tbImageEdit, tbImageLocation});
  WriteEndSettings(settings, PlacementOf(*this), FDirectory);
  settings.sync();
}

void TfrmImageConverter::ApplyToolbarStyle(int style) {
  if (style <= 0 || style > static_cast<int>(std::size(kStyleColours))) return;
  const QColor colour = kStyleColours[style - 1];
  for (QToolBar* bar : {tbImageMenu, tbImageFile, tbImageEdit, tbImageLocation}) {
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, colour);
    bar->setPalette(palette);
    bar->setAutoFillBackground(true);
  }
  for (QLabel* l : {lblZoom, lblSize, lblX, lblBy, lblY}) {
    QPalette palette = l->palette();
    palette.setColor(QPalette::Window, colour);
    l->setPalette(palette);
    l->setAutoFillBackground(true);
  }
}

void TfrmImageConverter::UpdateCommands() {
  const bool hasImage = !FDocument.Image().Empty();
  Action(QStringLiteral("acPaste"))->setEnabled(FClipboardHasImage);
  Action(QStringLiteral("acCopy"))->setEnabled(hasImage);
  for (const char* name : {"acSave", "acConvertTo"}) Action(QString::fromLatin1(name))->setEnabled(hasImage);
  Action(QStringLiteral("acPrint"))->setEnabled(hasImage);
  Action(QStringLiteral("acProperties"))->setEnabled(hasImage);
  for (const auto& [command, action] : FImageActions) action->setEnabled(hasImage);
  for (QMenu* submenu : FImageSubmenus) submenu->setEnabled(hasImage);
  Action(QStringLiteral("acUndo"))->setEnabled(!FDocument.UndoGraphic().Empty());
  const bool paged = FDocument.HasPages();
  Action(QStringLiteral("acPreviousPage"))->setEnabled(paged && FDocument.CurrentPage() > 1);
  Action(QStringLiteral("acNextPage"))->setEnabled(paged && FDocument.CurrentPage() < FDocument.PageCount());
  UpdateViewCommands();
  UpdateBrowseCommands();
}

void TfrmImageConverter::ClipboardChanged() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  FClipboardHasImage = data != nullptr && data->hasImage();
}

// A close request asks about unsaved changes first. One that arrives while a command runs waits
// for it: the question is asked, and the window closed, once the command has ended.
void TfrmImageConverter::closeEvent(QCloseEvent* event) {
  if (FCloseConfirmed) {
    FCloseConfirmed = false;
    event->accept();
    return;
  }
  // Cancel in the question, or a save that failed, leaves the window open with its image. Once
  // the window closes, nothing asked for meanwhile runs any more.
  if (FCommands.Busy()) {
    event->ignore();
    FCommands.Run([this] {
      ConfirmSave();
      FCommands.Clear();
      FCloseConfirmed = true;
      close();
      FCloseConfirmed = false;
    });
    return;
  }
  bool confirmed = false;
  FCommands.Run([this, &confirmed] {
    ConfirmSave();
    FCommands.Clear();
    confirmed = true;
  });
  event->setAccepted(confirmed);
}

void TfrmImageConverter::dragEnterEvent(QDragEnterEvent* event) {
  const QMimeData* data = event->mimeData();
  if (data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile()) event->acceptProposedAction();
}

void TfrmImageConverter::dropEvent(QDropEvent* event) {
  const QString name = event->mimeData()->urls().first().toLocalFile();
  event->acceptProposedAction();
  FCommands.Run([this, name] { OpenFile(name); });
}

// The box's text is a number (a whole one, or one with decimals such as a fitted zoom shows);
// anything else zooms to 10 %.
void TfrmImageConverter::seZoomChange() {
  const std::optional<double> typed = TZoomBox::ParseZoom(seZoom->text(), seZoom->locale());
  if (typed && *typed > 1000) {
    seZoom->setValue(1000);
    return;  // the new value ran this handler again
  }
  const float zoom = typed ? static_cast<float>(*typed) : 10.0f;
  // A valid typed text arrives twice (editor and value); the second changes nothing.
  if (FImageScrollBox->ZoomMode() == TZoomMode::zmPercent && FImageScrollBox->ZoomPercent() == zoom) return;
  FZoomFromBox = true;
  struct TReset {
    bool& Flag;
    ~TReset() { Flag = false; }
  } reset{FZoomFromBox};
  FImageScrollBox->SetZoomPercent(zoom);
}

// The box shows the real zoom (one decimal), except while its own text is being applied: the
// text being typed stays as typed.
void TfrmImageConverter::ZoomChanged(float zoom) {
  if (FZoomFromBox) return;
  FZoomHandlerAttached = false;
  seZoom->setValue(zoom);
  FZoomHandlerAttached = true;
}

void TfrmImageConverter::GraphicRedrawn(quorvane::TDibGraphic& graphic) {
  lblX->setText(QStringLiteral(" ") + QString::number(graphic.Width()));
  lblY->setText(QString::number(graphic.Height()) + QStringLiteral("    "));
  UpdatePageStatus();
}

void TfrmImageConverter::UpdatePageStatus() {
  if (!FDocument.HasPages())
    lblPage->clear();
  else
    lblPage->setText(QStringLiteral("Page %1 of %2").arg(FDocument.CurrentPage()).arg(FDocument.PageCount()));
}

void TfrmImageConverter::SetMouseMode(TMouseMode mode) {
  FImageScrollBox->SetMouseMode(mode);
  Action(QStringLiteral("acDrag"))->setChecked(mode == TMouseMode::mmDrag);
  Action(QStringLiteral("acSelect"))->setChecked(mode == TMouseMode::mmQuickSelect);
}

void TfrmImageConverter::QuickSelected(quorvane::TDibGraphic& graphic) {
  if (FDialogs->Confirm(this, QStringLiteral("Copy selection to clipboard ?"), false) == TAnswer::Yes)
    quorvane::CopyToClipboard(graphic, *QGuiApplication::clipboard());
}

// A TIFF file about to be written gets the compression of its pixel format: Group 4 for black
// and white, JPEG for true colour, PackBits for the rest; other formats are left alone.
void TfrmImageConverter::BeforeSave(quorvane::TDibGraphic& graphic) {
  if (auto* tiff = dynamic_cast<quorvane::TTiffGraphic*>(&graphic))
    tiff->SetCompression(quorvane::DefaultSaveCompression(tiff->ImageFormat()));
}

void TfrmImageConverter::SetCaption(const QString& fileName) {
  FCaption = kCaption + QStringLiteral(" - ") + fileName;
  UpdateCaption();
}

}  // namespace brindlex
