// Every question the program asks its user goes through one TUserDialogs object, the window's:
// file dialogs, confirmations, text prompts, the modal dialogs (parameters, print options, the
// print dialog) and message boxes, also those of the Print and Scan commands and the error
// reports. The window uses the Qt implementation below; tests install scripted answers instead
// of modal loops.
#pragma once

#include <QString>
#include <optional>

class QDialog;
class QWidget;

namespace brindlex {

enum class TAnswer { Yes, No, Cancel };

// The file-dialog needs of the window: a filter, an initial directory, a modal run that returns
// the chosen full file name or nothing when cancelled.
struct TFileRequest {
  QString Caption;
  QString Filter;     // Qt's form: "Description (*.a *.b);;..."
  QString Directory;  // initial directory
  // Save dialogs: appended to a name typed without one (empty: nothing), and whether the dialog
  // itself asks before an existing file is chosen (the program asks its own question elsewhere).
  QString DefaultSuffix;
  bool ConfirmOverwrite = false;
  // The filter the dialog starts on (one entry of Filter); empty: the first.
  QString SelectedFilter;
};

// A save dialog's name for the file type chosen in it: a name typed without an extension gets
// the extension of the chosen entry when that entry stands for one file type ("PNG (*.png)"
// gives .png); under an entry of several types or of any file the name stays as typed.
QString NameWithFilterSuffix(const QString& name, const QString& nameFilter);

// The entry of Filter (Qt's form) that lists every format: the one whose description is "All".
QString AllFormatsFilter(const QString& filter);

class TUserDialogs {
 public:
  virtual ~TUserDialogs() = default;
  virtual std::optional<QString> OpenFileName(QWidget* parent, const TFileRequest& request) = 0;
  virtual std::optional<QString> SaveFileName(QWidget* parent, const TFileRequest& request) = 0;
  // A confirmation box with the question icon; WithCancel adds the Cancel button to Yes and No.
  virtual TAnswer Confirm(QWidget* parent, const QString& text, bool withCancel) = 0;
  // An information box with OK (the default) and Cancel; true for OK.
  virtual bool ConfirmOk(QWidget* parent, const QString& caption, const QString& text) = 0;
  // A one-line text prompt; nothing when cancelled.
  virtual std::optional<QString> Prompt(QWidget* parent, const QString& caption, const QString& prompt,
                                        const QString& initial) = 0;
  // Runs a dialog modally (a parameter dialog, the print options, the print dialog); true when
  // it closed with OK.
  virtual bool Execute(QDialog& dialog) = 0;
  // An information box, and the box of a failure (ReportError). An empty caption is the
  // application's title.
  virtual void ShowMessage(QWidget* parent, const QString& caption, const QString& text) = 0;
  virtual void ShowError(QWidget* parent, const QString& caption, const QString& text) = 0;
};

class TQtUserDialogs : public TUserDialogs {
 public:
  std::optional<QString> OpenFileName(QWidget* parent, const TFileRequest& request) override;
  std::optional<QString> SaveFileName(QWidget* parent, const TFileRequest& request) override;
  TAnswer Confirm(QWidget* parent, const QString& text, bool withCancel) override;
  bool ConfirmOk(QWidget* parent, const QString& caption, const QString& text) override;
  std::optional<QString> Prompt(QWidget* parent, const QString& caption, const QString& prompt,
                                const QString& initial) override;
  bool Execute(QDialog& dialog) override;
  void ShowMessage(QWidget* parent, const QString& caption, const QString& text) override;
  void ShowError(QWidget* parent, const QString& caption, const QString& text) override;
};

}  // namespace brindlex
