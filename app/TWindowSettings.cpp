#include "TWindowSettings.h"

#include <QMainWindow>
#include <QSettings>
#include <QToolBar>
#include <algorithm>
#include <map>
#include <vector>

namespace brindlex {

namespace {

constexpr const char* kDockNames[] = {"TBDock1", "dkImageLeft", "dkImageRight", "dkImageBottom"};
constexpr Qt::ToolBarArea kDockAreas[] = {Qt::TopToolBarArea, Qt::LeftToolBarArea, Qt::RightToolBarArea,
                                          Qt::BottomToolBarArea};

QString DockName(Qt::ToolBarArea area) {
  for (size_t i = 0; i < std::size(kDockAreas); ++i)
    if (kDockAreas[i] == area) return QString::fromLatin1(kDockNames[i]);
  return {};
}

Qt::ToolBarArea DockArea(const QString& name) {
  for (size_t i = 0; i < std::size(kDockNames); ++i)
    if (name == QLatin1String(kDockNames[i])) return kDockAreas[i];
  return Qt::NoToolBarArea;
}

bool Horizontal(Qt::ToolBarArea area) { return area == Qt::TopToolBarArea || area == Qt::BottomToolBarArea; }

int IntValue(QSettings& settings, const char* key, int fallback = 0) {
  bool ok = false;
  const int value = settings.value(QLatin1String(key)).toInt(&ok);
  return ok ? value : fallback;
}

// The row of each docked bar within its dock: bars of one dock sharing a line coordinate share a row.
std::map<QToolBar*, int> DockRows(QMainWindow& window, const QList<QToolBar*>& bars) {
  std::map<Qt::ToolBarArea, std::vector<int>> lines;
  for (QToolBar* bar : bars) {
    const Qt::ToolBarArea area = window.toolBarArea(bar);
    lines[area].push_back(Horizontal(area) ? bar->y() : bar->x());
  }
  for (auto& [area, v] : lines) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
  }
  std::map<QToolBar*, int> rows;
  for (QToolBar* bar : bars) {
    const Qt::ToolBarArea area = window.toolBarArea(bar);
    const std::vector<int>& v = lines[area];
    const int line = Horizontal(area) ? bar->y() : bar->x();
    rows[bar] = static_cast<int>(std::lower_bound(v.begin(), v.end(), line) - v.begin());
  }
  return rows;
}

}  // namespace

QSettings ProgramSettings() { return QSettings(QStringLiteral("QUELLMARK"), QStringLiteral("Brindlex")); }

TStartSettings ReadStartSettings(QSettings& settings) {
  TStartSettings result;
  if (settings.contains(QStringLiteral("ToolbarStyle"))) {
    bool ok = false;
    result.ToolbarStyle = settings.value(QStringLiteral("ToolbarStyle")).toInt(&ok);
    result.HasToolbarStyle = ok;
  }
  result.ImageToolKey = settings.childGroups().contains(QLatin1String(kImageToolKey));
  if (!result.ImageToolKey) return result;
  settings.beginGroup(QLatin1String(kImageToolKey));
  if (settings.contains(QStringLiteral("Directory"))) {
    result.HasDirectory = true;
    result.Directory = settings.value(QStringLiteral("Directory")).toString();
  }
  if (settings.contains(QStringLiteral("WindowState"))) {
    result.HasPlacement = true;
    TWindowPlacement& p = result.Placement;
    p.WindowState = IntValue(settings, "WindowState");
    p.Top = IntValue(settings, "Top");
    p.Left = IntValue(settings, "Left");
    p.Width = IntValue(settings, "Width", 724);
    p.Height = IntValue(settings, "Height", 447);
  }
  settings.endGroup();
  return result;
}

void WriteEndSettings(QSettings& settings, const TWindowPlacement& placement, const QString& directory) {
  settings.beginGroup(QLatin1String(kImageToolKey));
  settings.setValue(QStringLiteral("Top"), placement.Top);
  settings.setValue(QStringLiteral("Left"), placement.Left);
  settings.setValue(QStringLiteral("Width"), placement.Width);
  settings.setValue(QStringLiteral("Height"), placement.Height);
  settings.setValue(QStringLiteral("WindowState"), placement.WindowState);
  settings.setValue(QStringLiteral("Directory"), directory);
  settings.endGroup();
}

void SaveToolbarLayout(QSettings& settings, QMainWindow& window, const QList<QToolBar*>& bars) {
  const std::map<QToolBar*, int> rows = DockRows(window, bars);
  settings.beginGroup(QLatin1String(kImageToolKey));
  for (QToolBar* bar : bars) {
    const Qt::ToolBarArea area = window.toolBarArea(bar);
    settings.beginGroup(bar->objectName());
    settings.setValue(QStringLiteral("Rev"), kToolbarLayoutRevision);
    settings.setValue(QStringLiteral("Visible"), bar->isVisibleTo(&window) ? 1 : 0);
    settings.setValue(QStringLiteral("DockedTo"), bar->isFloating() ? QStringLiteral("+") : DockName(area));
    settings.setValue(QStringLiteral("LastDock"), DockName(area));
    settings.setValue(QStringLiteral("DockRow"), rows.at(bar));
    settings.setValue(QStringLiteral("DockPos"), Horizontal(area) ? bar->x() : bar->y());
    settings.setValue(QStringLiteral("FloatLeft"), bar->isFloating() ? bar->x() : 0);
    settings.setValue(QStringLiteral("FloatTop"), bar->isFloating() ? bar->y() : 0);
    settings.endGroup();
  }
  settings.setValue(QStringLiteral("Layout"), window.saveState());
  settings.endGroup();
}

void LoadToolbarLayout(QSettings& settings, QMainWindow& window, const QList<QToolBar*>& bars) {
  struct TStored {
    QToolBar* Bar;
    Qt::ToolBarArea Area;
    int Row, Pos;
    bool Visible;
  };
  std::vector<TStored> stored;
  settings.beginGroup(QLatin1String(kImageToolKey));
  for (QToolBar* bar : bars) {
    settings.beginGroup(bar->objectName());
    if (IntValue(settings, "Rev") == kToolbarLayoutRevision) {
      Qt::ToolBarArea area = DockArea(settings.value(QStringLiteral("DockedTo")).toString());
      if (area == Qt::NoToolBarArea) area = DockArea(settings.value(QStringLiteral("LastDock")).toString());
      if (area == Qt::NoToolBarArea) area = Qt::TopToolBarArea;
      stored.push_back({bar, area, IntValue(settings, "DockRow"), IntValue(settings, "DockPos"),
                        IntValue(settings, "Visible", 1) != 0});
    }
    settings.endGroup();
  }
  const QByteArray layout = settings.value(QStringLiteral("Layout")).toByteArray();
  settings.endGroup();

  // Rebuild the docks row by row, left to right; a break starts each new row.
  std::sort(stored.begin(), stored.end(), [](const TStored& a, const TStored& b) {
    return std::tie(a.Area, a.Row, a.Pos) < std::tie(b.Area, b.Row, b.Pos);
  });
  for (size_t i = 0; i < stored.size(); ++i) {
    const TStored& s = stored[i];
    if (i > 0 && stored[i - 1].Area == s.Area && stored[i - 1].Row != s.Row) window.addToolBarBreak(s.Area);
    window.addToolBar(s.Area, s.Bar);
    s.Bar->setVisible(s.Visible);
  }
  if (!stored.empty() && !layout.isEmpty()) window.restoreState(layout);
}

TWindowPlacement PlacementOf(const QMainWindow& window) {
  const QRect r = window.normalGeometry().isValid() ? window.normalGeometry() : window.geometry();
  TWindowPlacement p;
  p.Left = r.left();
  p.Top = r.top();
  p.Width = r.width();
  p.Height = r.height();
  p.WindowState = window.isMinimized() ? 1 : window.isMaximized() ? 2 : 0;
  return p;
}

void ApplyPlacement(QMainWindow& window, const TWindowPlacement& placement) {
  if (placement.Width > 0 && placement.Height > 0)
    window.setGeometry(placement.Left, placement.Top, placement.Width, placement.Height);
  switch (placement.WindowState) {
    case 1: window.setWindowState(Qt::WindowMinimized); break;
    case 2: window.setWindowState(Qt::WindowMaximized); break;
    default: window.setWindowState(Qt::WindowNoState); break;
  }
}

}  // namespace brindlex
