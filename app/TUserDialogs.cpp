#include "TUserDialogs.h"

#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include "TBrindlexApplication.h"

namespace brindlex {

namespace {

QString CaptionOr(const QString& caption) { return caption.isEmpty() ? ApplicationTitle() : caption; }

std::optional<QString> RunFileDialog(QWidget* parent, const TFileRequest& request, QFileDialog::AcceptMode mode) {
  QFileDialog dialog(parent, request.Caption, request.Directory, request.Filter);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.ConfirmOverwrite);
  if (!request.DefaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.DefaultSuffix);
  if (!request.SelectedFilter.isEmpty()) dialog.selectNameFilter(request.SelectedFilter);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString chosen = dialog.selectedFiles().first();
  if (mode == QFileDialog::AcceptSave) return NameWithFilterSuffix(chosen, dialog.selectedNameFilter());
  return chosen;
}

}  // namespace

QString NameWithFilterSuffix(const QString& name, const QString& nameFilter) {
  if (name.isEmpty() || !QFileInfo(name).suffix().isEmpty()) return name;
  const qsizetype open = nameFilter.lastIndexOf(QLatin1Char('('));
  const qsizetype close = nameFilter.lastIndexOf(QLatin1Char(')'));
  if (open < 0 || close < open) return name;
  const QStringList patterns = nameFilter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (patterns.size() != 1) return name;
  const QString& pattern = patterns.front();
  if (!pattern.startsWith(QStringLiteral("*.")) || pattern.size() < 3) return name;
  const QString extension = pattern.mid(2);
  // Only a plain extension: "*.*" and other wildcards say nothing about the type.
  for (const QChar c : extension)
    if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('[') || c == QLatin1Char('.')) return name;
  return name + QLatin1Char('.') + extension;
}

QString AllFormatsFilter(const QString& filter) {
  for (const QString& entry : filter.split(QStringLiteral(";;")))
    if (entry.startsWith(QStringLiteral("All ("))) return entry;
  return QString();
}

std::optional<QString> TQtUserDialogs::OpenFileName(QWidget* parent, const TFileRequest& request) {
  return RunFileDialog(parent, request, QFileDialog::AcceptOpen);
}

std::optional<QString> TQtUserDialogs::SaveFileName(QWidget* parent, const TFileRequest& request) {
  return RunFileDialog(parent, request, QFileDialog::AcceptSave);
}

TAnswer TQtUserDialogs::Confirm(QWidget* parent, const QString& text, bool withCancel) {
  QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
  if (withCancel) buttons |= QMessageBox::Cancel;
  switch (QMessageBox::question(parent, ApplicationTitle(), text, buttons)) {
    case QMessageBox::Yes: return TAnswer::Yes;
    case QMessageBox::No: return TAnswer::No;
    default: return withCancel ? TAnswer::Cancel : TAnswer::No;
  }
}

bool TQtUserDialogs::ConfirmOk(QWidget* parent, const QString& caption, const QString& text) {
  return QMessageBox::information(parent, CaptionOr(caption), text, QMessageBox::Ok | QMessageBox::Cancel,
                                  QMessageBox::Ok) == QMessageBox::Ok;
}

std::optional<QString> TQtUserDialogs::Prompt(QWidget* parent, const QString& caption, const QString& prompt,
                                              const QString& initial) {
  bool ok = false;
  const QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, initial, &ok);
  if (!ok) return std::nullopt;
  return text;
}

bool TQtUserDialogs::Execute(QDialog& dialog) { return dialog.exec() == QDialog::Accepted; }

void TQtUserDialogs::ShowMessage(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox::information(parent, CaptionOr(caption), text);
}

void TQtUserDialogs::ShowError(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox::critical(parent, CaptionOr(caption), text);
}

}  // namespace brindlex
