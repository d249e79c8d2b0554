#include "TRecentFiles.h"

#include <QFileInfo>
#include <QSettings>

namespace brindlex {

namespace {

const QString kRecentKey = QStringLiteral("RecentFiles");

QString Absolute(const QString& name) { return QFileInfo(name).absoluteFilePath(); }

}  // namespace

void TRecentFiles::Add(const QString& name) {
  if (name.isEmpty()) return;
  const QString path = Absolute(name);
  FFiles.removeAll(path);
  FFiles.prepend(path);
  while (FFiles.size() > kMaxRecentFiles) FFiles.removeLast();
}

void TRecentFiles::Remove(const QString& name) { FFiles.removeAll(Absolute(name)); }

bool TRecentFiles::Prune(const std::function<bool(const QString&)>& exists) {
  const qsizetype before = FFiles.size();
  FFiles.removeIf([&](const QString& name) { return !exists(name); });
  return FFiles.size() != before;
}

void TRecentFiles::Load(QSettings& settings) {
  const QStringList stored = settings.value(kRecentKey).toStringList();
  FFiles.clear();
  for (const QString& name : stored) {
    if (name.isEmpty()) continue;
    const QString path = Absolute(name);
    if (!FFiles.contains(path)) FFiles.append(path);
    if (FFiles.size() == kMaxRecentFiles) break;
  }
}

void TRecentFiles::Save(QSettings& settings) const {
  if (FFiles.isEmpty())
    settings.remove(kRecentKey);
  else
    settings.setValue(kRecentKey, FFiles);
}

}  // namespace brindlex
