#include "TBrindlexApplication.h"

#include <QtGlobal>

#include "model/QvExcept.h"
#include "platform/QvQtPlatform.h"

namespace brindlex {

namespace {

TErrorReporter& Reporter() {
  static TErrorReporter reporter;
  return reporter;
}

}  // namespace

QString ApplicationTitle() { return QStringLiteral("Brindlex Image Converter"); }

QString ExceptionMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const quorvane::Exception& e) {
    return QString::fromStdString(e.Message());
  } catch (const std::bad_alloc&) {
    return QStringLiteral("Out of memory");
  } catch (const std::exception& e) {
    return QString::fromLocal8Bit(e.what());
  } catch (...) {
    return QStringLiteral("Unknown error");
  }
}

void ReportError(const QString& caption, const QString& text) {
  try {
    // Also on the log, so a terminal or a test run keeps a record of what the box said.
    if (caption.isEmpty())
      qWarning("%s", qPrintable(text));
    else
      qWarning("%s: %s", qPrintable(caption), qPrintable(text));
    if (Reporter()) Reporter()(caption, text);
  } catch (...) {
    qWarning("An error occurred while an error was being reported");
  }
}

void HandleException(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const EAbort&) {
    return;
  } catch (...) {
  }
  try {
    ReportError(QString(), ExceptionMessage(error));
  } catch (...) {
    qWarning("An error occurred while an error was being reported");
  }
}

void SetErrorReporter(TErrorReporter reporter) { Reporter() = std::move(reporter); }

void InstallErrorRoute(quorvane::TQtPlatform& platform) {
  platform.SetWarningHandler([](const std::string& caption, const std::string& text) {
    ReportError(QString::fromStdString(caption), QString::fromStdString(text));
  });
}

TBrindlexApplication::TBrindlexApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("brindlex"));
  setApplicationVersion(QStringLiteral(QV_VERSION));
  setOrganizationName(QStringLiteral("QUELLMARK"));
  setDesktopFileName(QStringLiteral("org.quellmark.Brindlex"));
}

bool TBrindlexApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    HandleException(std::current_exception());
    return false;
  }
}

}  // namespace brindlex
