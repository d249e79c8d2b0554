// The list behind File > Open Recent: the last files opened or saved, newest first, at most
// kMaxRecentFiles, each once (compared as absolute paths). It lives in the program's settings
// under "RecentFiles", beside the window's own key, and is written whenever it changes so that a
// crash loses nothing.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QSettings;

namespace brindlex {

inline constexpr int kMaxRecentFiles = 8;

class TRecentFiles {
 public:
  const QStringList& Files() const { return FFiles; }
  // Puts Name first (moving it up when listed already) and drops what falls off the end.
  void Add(const QString& name);
  void Remove(const QString& name);
  // Removes the entries whose file has gone; true when any was removed.
  bool Prune(const std::function<bool(const QString&)>& exists);

  // Reads the list (empty names, duplicates and entries beyond the maximum are dropped) and
  // writes it.
  void Load(QSettings& settings);
  void Save(QSettings& settings) const;

 private:
  QStringList FFiles;
};

}  // namespace brindlex
