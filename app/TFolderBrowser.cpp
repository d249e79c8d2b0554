#include "TFolderBrowser.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <algorithm>

#include "model/QvDiGrphRegistry.h"
#include "model/QvPlatform.h"

namespace brindlex {

namespace {

// Changes in a folder come in bursts (a copy of many files); one listing serves the burst.
constexpr int kRescanDelay = 50;

bool IsDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace

int NaturalCompare(const QString& a, const QString& b) {
  // The first difference that the order ignores (case, leading zeros) decides between names
  // that are otherwise equal.
  int tie = 0;
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      const qsizetype startA = i, startB = j;
      while (i < a.size() && IsDigit(a[i])) ++i;
      while (j < b.size() && IsDigit(b[j])) ++j;
      // Leading zeros do not change the value; the last digit of a run of zeros is its value.
      qsizetype digitsA = startA, digitsB = startB;
      while (digitsA < i - 1 && a[digitsA] == QLatin1Char('0')) ++digitsA;
      while (digitsB < j - 1 && b[digitsB] == QLatin1Char('0')) ++digitsB;
      // More significant digits, larger value; runs of equal length compare digit by digit.
      if (i - digitsA != j - digitsB) return i - digitsA < j - digitsB ? -1 : 1;
      for (qsizetype k = 0; k < i - digitsA; ++k)
        if (a[digitsA + k] != b[digitsB + k]) return a[digitsA + k] < b[digitsB + k] ? -1 : 1;
      if (tie == 0) tie = Sign(static_cast<int>((digitsA - startA) - (digitsB - startB)));
      continue;
    }
    const QChar foldedA = a[i].toCaseFolded(), foldedB = b[j].toCaseFolded();
    if (foldedA != foldedB) return foldedA.unicode() < foldedB.unicode() ? -1 : 1;
    if (tie == 0 && a[i] != b[j]) tie = a[i].unicode() < b[j].unicode() ? -1 : 1;
    ++i;
    ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return tie;
}

TFolderBrowser::TFolderBrowser() {
  // Formats that are only written (PDF) have no picture to show.
  for (const quorvane::TGraphicFormatEntry& entry : quorvane::GraphicFormatList())
    if (entry.GraphicClass->Create()->Capabilities().Readable)
      FExtensions.insert(QString::fromStdString(entry.Extension).toLower());
  for (const quorvane::TPlatformPictureFormat& format : quorvane::PictureLoader().Formats())
    FExtensions.insert(QString::fromStdString(format.Extension).toLower());
  FExtensions.erase(QString());
  FRescanTimer = std::make_unique<QTimer>();
  FRescanTimer->setSingleShot(true);
  FRescanTimer->setInterval(kRescanDelay);
  QObject::connect(FRescanTimer.get(), &QTimer::timeout, FRescanTimer.get(), [this] { Rescan(); });
}

TFolderBrowser::~TFolderBrowser() = default;

bool TFolderBrowser::Opens(const QString& fileName) const {
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  return !suffix.isEmpty() && FExtensions.count(suffix) != 0;
}

void TFolderBrowser::SetCurrentFile(const QString& fileName) {
  const QFileInfo info(fileName);
  const QString folder = info.absolutePath();
  FCurrent = info.absoluteFilePath();
  if (folder == FFolder) return;
  FFolder = folder;
  Watch(folder);
  FFiles.clear();
  Rescan();
}

void TFolderBrowser::Watch(const QString& folder) {
  // A new watcher forgets the old folder and whatever it had still to report about it.
  FRescanTimer->stop();
  FWatcher = std::make_unique<QFileSystemWatcher>();
  QObject::connect(FWatcher.get(), &QFileSystemWatcher::directoryChanged, FWatcher.get(),
                   [this] { FRescanTimer->start(); });
  FWatcher->addPath(folder);
}

void TFolderBrowser::Rescan() {
  QStringList files;
  const QDir folder(FFolder);
  for (const QString& name : folder.entryList(QDir::Files, QDir::NoSort))
    if (Opens(name)) files << name;
  std::sort(files.begin(), files.end(), NaturalLess);
  if (files == FFiles) return;
  FFiles = std::move(files);
  if (OnChanged) OnChanged();
}

int TFolderBrowser::Position() const {
  const QString name = QFileInfo(FCurrent).fileName();
  const auto it = std::lower_bound(FFiles.begin(), FFiles.end(), name, NaturalLess);
  if (it == FFiles.end() || *it != name) return 0;
  return static_cast<int>(it - FFiles.begin()) + 1;
}

QString TFolderBrowser::StepTarget(const QString& from, TFileStep step) const {
  if (FFiles.isEmpty()) return QString();
  const QString name = QFileInfo(from).fileName();
  QStringList::const_iterator target = FFiles.end();
  switch (step) {
    case TFileStep::Next: target = std::upper_bound(FFiles.begin(), FFiles.end(), name, NaturalLess); break;
    case TFileStep::Previous: {
      const auto at = std::lower_bound(FFiles.begin(), FFiles.end(), name, NaturalLess);
      if (at != FFiles.begin()) target = at - 1;
      break;
    }
    case TFileStep::First: target = FFiles.begin(); break;
    case TFileStep::Last: target = FFiles.end() - 1; break;
  }
  if (target == FFiles.end()) return QString();
  return QDir(FFolder).filePath(*target);
}

}  // namespace brindlex
