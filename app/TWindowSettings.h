// The window's settings in QSettings("QUELLMARK", "Brindlex"): "ToolbarStyle" at the top, and
// under "ImageTool" the window rectangle and state, the dialogs' directory and one group per tool
// bar with its layout.
#pragma once

#include <QList>
#include <QString>

class QMainWindow;
class QSettings;
class QToolBar;

namespace brindlex {

// The program's settings store.
QSettings ProgramSettings();

// The settings key of the window and the revision tool-bar layouts are written with.
inline constexpr const char* kImageToolKey = "ImageTool";
inline constexpr int kToolbarLayoutRevision = 2000;

struct TWindowPlacement {
  int Top = 0, Left = 0, Width = 0, Height = 0;
  int WindowState = 0;  // 0 normal, 1 minimised, 2 maximised
};

// What start-up reads. ImageToolKey is false on the first run: nothing else was read then.
struct TStartSettings {
  bool HasToolbarStyle = false;
  int ToolbarStyle = 0;
  bool ImageToolKey = false;
  bool HasDirectory = false;
  QString Directory;
  bool HasPlacement = false;  // "WindowState" present (then the four integers are used too)
  TWindowPlacement Placement;
};

TStartSettings ReadStartSettings(QSettings& settings);
void WriteEndSettings(QSettings& settings, const TWindowPlacement& placement, const QString& directory);

// Tool-bar layouts in the group of each bar (named after its object name): "Rev", "Visible",
// "DockedTo", "LastDock", "DockRow", "DockPos", "FloatLeft", "FloatTop"; the main window's own
// state blob ("Layout") beside them restores floating bars exactly.
void SaveToolbarLayout(QSettings& settings, QMainWindow& window, const QList<QToolBar*>& bars);
// Applies the stored layout of the bars whose "Rev" is 2000; the others keep their place.
void LoadToolbarLayout(QSettings& settings, QMainWindow& window, const QList<QToolBar*>& bars);

// The window's rectangle and state as written at the end.
TWindowPlacement PlacementOf(const QMainWindow& window);
void ApplyPlacement(QMainWindow& window, const TWindowPlacement& placement);

}  // namespace brindlex
