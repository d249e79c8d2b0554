// The application object: its title, and the one route by which failures reach the user.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace quorvane {
class TQtPlatform;
}

namespace brindlex {

// The application's title: the caption of its message boxes.
QString ApplicationTitle();

// The user's Cancel in a confirmation: ends the running command silently (the handler shows
// nothing for it).
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// The message the error handler shows for an exception.
QString ExceptionMessage(const std::exception_ptr& error);

// The one route of failures to the user. Whatever fails in a command, in an event handler, in
// the view's own event handling, and what the platform's ShowWarning reports (libpng's warnings,
// for one), ends here: the text goes to Qt's log, and, while a window has installed its reporter,
// to the user through that window's dialogs (TUserDialogs::ShowError). Never throws. An empty
// caption is the application's title.
void ReportError(const QString& caption, const QString& text);

// The application error handler: reports the exception's message through ReportError; EAbort
// shows nothing. Never throws.
void HandleException(const std::exception_ptr& error);

// Where ReportError shows a failure: the window installs one that shows it through its dialogs
// (tests record them). Without one, failures go to the log only.
using TErrorReporter = std::function<void(const QString& caption, const QString& text)>;
void SetErrorReporter(TErrorReporter reporter);

// Sends the platform's warnings into ReportError (the window program and its tests, at start).
void InstallErrorRoute(quorvane::TQtPlatform& platform);

// Runs a command; any exception it raises goes to HandleException.
template <typename F>
void RunCommand(F&& command) noexcept {
  try {
    command();
  } catch (...) {
    HandleException(std::current_exception());
  }
}

// The QApplication that also catches what escapes an event handler and reports it, so the
// window stays usable after any failure.
class TBrindlexApplication : public QApplication {
 public:
  TBrindlexApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace brindlex
