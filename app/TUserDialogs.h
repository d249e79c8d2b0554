// Every question the main window asks its user goes through one TUserDialogs object: file
// dialogs, confirmations, text prompts, the modal parameter dialogs and message boxes. The
// window uses the Qt implementation below; tests install scripted answers instead of modal loops.
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
};

class TUserDialogs {
 public:
  virtual ~TUserDialogs() = default;
  virtual std::optional<QString> OpenFileName(QWidget* parent, const TFileRequest& request) = 0;
  // The program asks its own overwrite question; the dialog must not.
  virtual std::optional<QString> SaveFileName(QWidget* parent, const TFileRequest& request) = 0;
  // A confirmation box with the question icon; WithCancel adds the Cancel button to Yes and No.
  virtual TAnswer Confirm(QWidget* parent, const QString& text, bool withCancel) = 0;
  // A one-line text prompt; nothing when cancelled.
  virtual std::optional<QString> Prompt(QWidget* parent, const QString& caption, const QString& prompt,
                                        const QString& initial) = 0;
  // Runs a parameter dialog modally; true when it closed with OK.
  virtual bool Execute(QDialog& dialog) = 0;
  virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
};

class TQtUserDialogs : public TUserDialogs {
 public:
  std::optional<QString> OpenFileName(QWidget* parent, const TFileRequest& request) override;
  std::optional<QString> SaveFileName(QWidget* parent, const TFileRequest& request) override;
  TAnswer Confirm(QWidget* parent, const QString& text, bool withCancel) override;
  std::optional<QString> Prompt(QWidget* parent, const QString& caption, const QString& prompt,
                                const QString& initial) override;
  bool Execute(QDialog& dialog) override;
  void ShowMessage(QWidget* parent, const QString& text) override;
  void ShowError(QWidget* parent, const QString& text) override;
};

}  // namespace brindlex
