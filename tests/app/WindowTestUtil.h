// The main window under test: scripted answers instead of modal dialogs, a scratch folder, and
// images made in code and written as files.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QMimeData>
#include <QSettings>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TUserDialogs.h"
#include "TfrmImageConverter.h"
#include "model/QvDiGrph.h"
#include "support/ScratchFolder.h"

namespace qvtest {

// Answers in the order the window asks; a question without a scripted answer fails the test and
// answers Cancel/No. Every question, message and error is recorded.
class TScriptedDialogs : public brindlex::TUserDialogs {
 public:
  std::deque<std::optional<QString>> OpenNames, SaveNames, Prompts;
  // Yes/No/Cancel questions, and OK/Cancel ones (Yes is OK).
  std::deque<brindlex::TAnswer> Answers;
  // Fills a modal dialog and says whether it closes with OK.
  std::deque<std::function<bool(QDialog&)>> Forms;
  std::vector<QString> Questions, Messages, Errors, PromptCaptions;
  // The captions of the messages and errors, in order (empty: the application's title).
  std::vector<QString> MessageCaptions, ErrorCaptions;

  std::optional<QString> OpenFileName(QWidget*, const brindlex::TFileRequest& r) override {
    LastDirectory = r.Directory;
    LastOpenRequest = r;
    return Next(OpenNames, "open dialog");
  }
  std::optional<QString> SaveFileName(QWidget*, const brindlex::TFileRequest& r) override {
    LastDirectory = r.Directory;
    LastSaveRequest = r;
    return Next(SaveNames, "save dialog");
  }
  brindlex::TAnswer Confirm(QWidget*, const QString& text, bool withCancel) override {
    Questions.push_back(text);
    if (Answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text.toStdString();
      return withCancel ? brindlex::TAnswer::Cancel : brindlex::TAnswer::No;
    }
    const brindlex::TAnswer a = Answers.front();
    Answers.pop_front();
    return a;
  }
  bool ConfirmOk(QWidget* parent, const QString& caption, const QString& text) override {
    QuestionCaptions.push_back(caption);
    return Confirm(parent, text, true) == brindlex::TAnswer::Yes;
  }
  std::optional<QString> Prompt(QWidget*, const QString& caption, const QString& prompt,
                                const QString& initial) override {
    PromptCaptions.push_back(caption + "|" + prompt + "|" + initial);
    return Next(Prompts, "prompt");
  }
  bool Execute(QDialog& dialog) override {
    if (Forms.empty()) {
      ADD_FAILURE() << "unexpected dialog " << dialog.windowTitle().toStdString();
      return false;
    }
    auto fill = std::move(Forms.front());
    Forms.pop_front();
    return fill(dialog);
  }
  void ShowMessage(QWidget*, const QString& caption, const QString& text) override {
    MessageCaptions.push_back(caption);
    Messages.push_back(text);
  }
  void ShowError(QWidget*, const QString& caption, const QString& text) override {
    ErrorCaptions.push_back(caption);
    Errors.push_back(text);
  }

  QString LastDirectory;
  brindlex::TFileRequest LastOpenRequest, LastSaveRequest;
  std::vector<QString> QuestionCaptions;  // of the OK/Cancel questions

 private:
  std::optional<QString> Next(std::deque<std::optional<QString>>& queue, const char* what) {
    if (queue.empty()) {
      ADD_FAILURE() << "unexpected " << what;
      return std::nullopt;
    }
    std::optional<QString> value = std::move(queue.front());
    queue.pop_front();
    return value;
  }
};

// A TrueColor image whose pixel (x, y) has blue x, green y and red x + y (mod 256).
std::unique_ptr<quorvane::TDibGraphic> Gradient(int width, int height,
                                                quorvane::TImageFormat format = quorvane::TImageFormat::TrueColor);
// True when both images have the same size, format and pixels.
bool SamePixels(const quorvane::TDibGraphic& a, const quorvane::TDibGraphic& b);
// Writes Image through the registry's class for the file name.
void WriteImage(const quorvane::TDibGraphic& image, const std::string& fileName);
// Writes the images as the pages of one multi-page file of the name's format.
void WritePages(const std::vector<const quorvane::TDibGraphic*>& pages, const std::string& fileName);
// Page Index of a file (1-based), and the number of its pages.
std::unique_ptr<quorvane::TDibGraphic> ReadPage(const std::string& fileName, int index);
int PageCount(const std::string& fileName);

// Delivers a drop of Data's files to the window as a drag-and-drop would end. Outside a real drag
// the application does not route a drop event, so it goes to the window's event handler directly.
void SendDrop(brindlex::TfrmImageConverter& window, const QMimeData& data);

// Clears the program's settings.
void ClearSettings();

// Runs a shell command of peer tools quietly; true when it succeeded.
bool RunTool(const std::string& command);
// What a shell command prints on its standard output.
std::string ToolOutput(const std::string& command);
// tiffinfo's compression of each page of a TIFF file, in order.
std::vector<std::string> PageCompressions(const std::string& file);

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Triggers an action by its name and runs the idle handler afterwards.
  void Trigger(const char* name);
  void Trigger(brindlex::TImageCommand command);
  // Writes a gradient image to Name in the scratch folder and opens it through the Open command.
  std::string OpenGradient(const std::string& name, int width, int height,
                           quorvane::TImageFormat format = quorvane::TImageFormat::TrueColor);
  bool Enabled(const char* name) const { return Window->Action(QString::fromLatin1(name))->isEnabled(); }
  quorvane::TDibGraphic& Image() { return Window->Document().Image(); }
  // Puts a copy of Image into the window as a picture without a file (as a scanned page comes).
  void ShowPicture(const quorvane::TDibGraphic& image);
  std::string Path(const std::string& name) const { return Folder / name; }

  qvtest::TScratchFolder Folder;
  std::unique_ptr<brindlex::TfrmImageConverter> Window;
  TScriptedDialogs* Dialogs = nullptr;
};

}  // namespace qvtest
