// The main window: a menu bar and three tool bars over one image view. Its document
// (TImageDocument) holds the picture and its file; the window runs the commands on it (open,
// save, convert to another format by extension, clipboard, one level of undo, pages, the Image
// menu, print and scan), shows the picture in its view, asks every question through its
// TUserDialogs, controls the view and remembers its placement, tool-bar layout and last
// directory. Files of several pages show "Page n of N" and step through their pages.
#pragma once

#include <QMainWindow>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TCommandQueue.h"
#include "TFolderBrowser.h"
#include "TImageDocument.h"
#include "TImageMenu.h"
#include "TRecentFiles.h"
#include "TUserDialogs.h"
#include "model/QvDiGrph.h"
#include "view/QvImageScrollBox.h"

namespace quorvane {
class TScanner;
}  // namespace quorvane

class QAction;
class QLabel;
class QMenu;
class QPrinter;
class QDoubleSpinBox;
class QToolBar;

namespace brindlex {

class TPreloader;

class TfrmImageConverter : public QMainWindow {
 public:
  // Reads the settings, builds the dialog filters, menus and tool bars and installs the idle handler.
  explicit TfrmImageConverter(QWidget* parent = nullptr);
  // Writes the settings.
  ~TfrmImageConverter() override;

  // Replaces how the window asks its user (tests script the answers).
  void SetUserDialogs(std::unique_ptr<TUserDialogs> dialogs);
  TUserDialogs& Dialogs() { return *FDialogs; }

  // The idle handler: enables the commands by the state of the image, the undo image and the clipboard.
  void UpdateCommands();

  // Every command, drop, start-up file and close request of the window runs through this queue,
  // one at a time (see TCommandQueue.h); tests hand it their commands too.
  TCommandQueue& Commands() { return FCommands; }
  bool CommandRunning() const { return FCommands.Busy(); }

  // Commands. Each raises what fails; the actions run them through the command queue, which hands
  // failures to the application's error handler.
  void Open();
  // Opens Name after the unsaved-changes question (start-up argument, dropped file).
  void OpenFile(const QString& name);
  void Save() { SaveDocument(); }
  void ConvertTo() { ConvertDocument(); }
  void Copy();
  void Paste();
  void Undo();
  void Print();
  void PrintSetup();
  void Scan();
  void SelectScanner();
  void ShowPage(int page);
  // Opens the next, previous, first or last picture of the current file's folder (see
  // TfrmImageConverterBrowse.cpp).
  void StepFile(TFileStep step);
  // File > Properties: the picture, its file and the camera's data, in a dialog.
  void Properties();
  // Runs one Image-menu command.
  void RunImageCommand(TImageCommand command);
  // Asks about unsaved changes: Yes saves, No goes on, Cancel raises EAbort. A save that the
  // user cancels (the save dialog or the overwrite question) counts as Cancel.
  void ConfirmSave();
  // How often a running transform lets the window repaint, in milliseconds (100; tests use 0).
  void SetRepaintInterval(int milliseconds) { FRepaintInterval = milliseconds; }

  // The view's keys (TfrmImageConverterView.cpp): zoom steps, full screen, the bars, the recent
  // files and the frames of an animation.
  void ZoomStep(int steps);
  // F11: the window fills the screen without its bars; Esc (or F11 again) brings back the
  // window state and the bars it had.
  void SetFullScreen(bool on);
  bool FullScreen() const { return FFullScreen.has_value(); }
  // Shows every tool bar and the status bar again (after all of them were hidden).
  void ShowAllBars();
  // File > Open Recent: the last files opened or saved, newest first, kept in the settings.
  const TRecentFiles& RecentFiles() const { return FRecentFiles; }
  QMenu* RecentMenu() const { return FRecentMenu; }
  void OpenRecent(const QString& name);
  // Animated pictures: pause or resume the frames, and one frame on while paused.
  void TogglePlay();
  void StepFrame();
  // File > Properties: the picture's size, format, resolution and pages, and its file's.
  void PlayIfAnimated(const QString& name);
  void StopAnimation();

  // State: the document's, and the objects of the session.
  TImageDocument& Document() { return FDocument; }
  bool Modified() const { return FDocument.Modified(); }
  QString CurrentFileName() const { return QString::fromStdString(FDocument.FileName()); }
  const quorvane::TDibGraphic& UndoGraphic() const { return FDocument.UndoGraphic(); }
  quorvane::TImageScrollBox& ImageScrollBox() { return *FImageScrollBox; }
  QString Directory() const { return FDirectory; }
  // The printer of the session: what Printer Setup chooses holds for every later Print.
  QPrinter& Printer();
  quorvane::TScanner& Scanner() { return *FScanner; }
  // The folder of the current file, and the pictures read ahead for steps through it.
  TFolderBrowser& FolderBrowser() { return *FFolderBrowser; }
  TPreloader& Preloader() { return *FPreloader; }

  // Controls, by the names of the window's resource.
  QAction* Action(const QString& name) const;
  QAction* ImageCommandAction(TImageCommand command) const { return FImageActions.at(command); }
  QMenu* ImageMenu() const { return FImageMenu; }
  QDoubleSpinBox* seZoom;
  QLabel* lblZoom;
  QLabel* lblSize;
  QLabel* lblX;
  QLabel* lblBy;
  QLabel* lblY;
  QLabel* lblPage;
  QLabel* lblFilePosition;
  QToolBar* tbImageMenu;
  QToolBar* tbImageFile;
  QToolBar* tbImageEdit;
  QToolBar* tbImageLocation;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QAction* NewAction(const char* name, const QString& caption, const QString& hint, const QKeySequence& shortcut,
                     void (TfrmImageConverter::*command)());
  void CreateActions();
  void CreateMenus();
  void CreateImageMenu(QMenu* menu);
  void CreateToolBars();
  void ReadSettings();
  void WriteSettings();
  void ApplyToolbarStyle(int style);

  void LoadFile(const QString& name);
  // Save and Convert To; false when the user cancelled, so nothing was written.
  bool SaveDocument();
  bool ConvertDocument();
  // The document's note on the save just made, in the status bar for a while.
  void ShowSaveNote();
  static constexpr int kSaveNoteMilliseconds = 10000;
  void ShowScannedPage(const quorvane::TDibGraphic& page, bool modified);
  void SetDirectoryOf(const QString& fileName);
  void SetCaption(const QString& fileName);
  // Applies an image command to the document and shows the result, repainting meanwhile.
  void ApplyTransform(quorvane::TImageTransform& transform);
  bool AskParameters(const TImageMenuEntry& entry, quorvane::TOperationParameters& parameters);
  void TransformProgress(int percent);

  void seZoomChange();
  void ZoomChanged(float zoom);
  void GraphicRedrawn(quorvane::TDibGraphic& graphic);
  void QuickSelected(quorvane::TDibGraphic& graphic);
  void BeforeSave(quorvane::TDibGraphic& graphic);
  void UpdatePageStatus();
  void SetMouseMode(quorvane::TMouseMode mode);
  void ClipboardChanged();
  void CreateViewActions();
  void CreateViewMenus(QMenu* file, QMenu* view);
  void FillRecentMenu();
  void RememberFile(const QString& name);
  void UpdateCaption();
  void UpdateViewCommands();
  // Browsing the folder: the actions, the file followed, the position shown, the pictures read
  // ahead, and a picture read for a step taking the window.
  void CreateBrowseActions();
  void CreateBrowsing();
  void FollowDocumentFile();
  void UpdateBrowseCommands();
  void FolderChanged();
  void PreloadNeighbours();
  void ShowBrowsedFile(const QString& name, std::unique_ptr<quorvane::TDibGraphic> image);

  std::unique_ptr<TUserDialogs> FDialogs;
  TImageDocument FDocument;
  quorvane::TImageScrollBox* FImageScrollBox;
  std::unique_ptr<QPrinter> FPrinter;
  std::unique_ptr<quorvane::TScanner> FScanner;
  // What the scanner commands need of the window.
  class TScanWindow;
  std::unique_ptr<TScanWindow> FScanWindow;
  QString FDirectory;
  QString FOpenFilter;
  QString FSaveFilter;
  bool FClipboardHasImage = false;
  bool FZoomHandlerAttached = true;
  TCommandQueue FCommands;
  // Set by a close that the queue runs after a command: the question has been answered.
  bool FCloseConfirmed = false;
  int FRepaintInterval = 100;
  int64_t FLastRepaint = 0;
  std::map<QString, QAction*> FActions;
  std::map<TImageCommand, QAction*> FImageActions;
  QMenu* FImageMenu = nullptr;
  QList<QMenu*> FImageSubmenus;
  QMetaObject::Connection FIdleConnection;
  // Caption without the unsaved-changes mark.
  QString FCaption;
  TRecentFiles FRecentFiles;
  QMenu* FRecentMenu = nullptr;
  // While full screen: the window state and the bars shown before it.
  struct TFullScreenState {
    Qt::WindowStates State;
    std::vector<std::pair<QWidget*, bool>> Bars;
  };
  std::optional<TFullScreenState> FFullScreen;
  // Set while the zoom box's own text is applied: the box is not rewritten under the typing.
  bool FZoomFromBox = false;
  std::unique_ptr<TFolderBrowser> FFolderBrowser;
  std::unique_ptr<TPreloader> FPreloader;
  // The direction of the last step: its way on is read ahead first.
  TFileStep FLastStep = TFileStep::Next;
};

// The library's filter text ("Description|*.a;*.b|...") in the form of Qt's file dialogs.
QString QtFileFilter(const std::string& filter);

}  // namespace brindlex
