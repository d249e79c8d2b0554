// The pictures of the opened file's folder, in the order a file manager shows them.
//
// The list holds the folder's files that the program opens, by extension: those the registry
// knows and reads (not the formats it only writes) and those the platform's picture loader reads (hidden files are left
// out, as file managers leave them out). Names are in natural order (NaturalCompare). A QFileSystemWatcher on the
// folder keeps the list current: files added, removed or renamed there change it, and OnChanged
// tells the window (changes that come in a burst are taken together).
//
// The current file is a name, not an index: when it is removed from the folder it stays current
// between its neighbours, so steps go on from where it was.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <set>

class QFileSystemWatcher;
class QTimer;

namespace brindlex {

enum class TFileStep : int { Next, Previous, First, Last };

// Orders file names as a file manager does: runs of digits by their value ("img2" before
// "img10"), everything else case-insensitively. Names equal in that sense (differing only in case
// or in leading zeros) are ordered by those differences, so distinct names never compare equal.
// Negative, zero or positive, as A sorts before, with or after B.
int NaturalCompare(const QString& a, const QString& b);
inline bool NaturalLess(const QString& a, const QString& b) { return NaturalCompare(a, b) < 0; }

class TFolderBrowser {
 public:
  TFolderBrowser();
  ~TFolderBrowser();
  TFolderBrowser(const TFolderBrowser&) = delete;
  TFolderBrowser& operator=(const TFolderBrowser&) = delete;

  // Makes FileName (a full path) the current file; its folder is listed and watched when it is
  // not the folder listed already.
  void SetCurrentFile(const QString& fileName);
  // The current file's full path; empty before the first SetCurrentFile.
  const QString& CurrentFile() const { return FCurrent; }
  const QString& Folder() const { return FFolder; }
  // The names (without folder) of the pictures in the folder, in natural order.
  const QStringList& Files() const { return FFiles; }
  int Count() const { return static_cast<int>(FFiles.size()); }
  // The current file's place in Files, from 1; 0 when it is not listed (removed, hidden).
  int Position() const;
  // The full path of the file a step from From (a file of the folder, listed or not) leads to:
  // the next or previous name in order, or the first or last of the folder; empty when there is
  // none (From is the last or the first, or the folder holds no picture).
  QString StepTarget(const QString& from, TFileStep step) const;
  // Whether the program opens a file of this name (by its extension).
  bool Opens(const QString& fileName) const;
  // Lists the folder again now; OnChanged runs when the list changed. The watcher calls it.
  void Rescan();

  std::function<void()> OnChanged;

 private:
  void Watch(const QString& folder);

  std::set<QString> FExtensions;  // lower case, without the dot
  QString FFolder;
  QString FCurrent;
  QStringList FFiles;
  std::unique_ptr<QFileSystemWatcher> FWatcher;
  std::unique_ptr<QTimer> FRescanTimer;
};

}  // namespace brindlex
