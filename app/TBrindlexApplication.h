// The application object: its title, and the one error handler every command reports through.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

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

// The application error handler: shows the exception's message in a message box through the
// installed reporter; EAbort shows nothing. Never throws.
void HandleException(const std::exception_ptr& error);

// Where HandleException sends messages: the window installs one that shows a message box over
// itself (tests record them). Without one, messages go to Qt's log.
using TErrorReporter = std::function<void(const QString& message)>;
void SetErrorReporter(TErrorReporter reporter);

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
