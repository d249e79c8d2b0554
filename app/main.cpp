// brindlex: the desktop imaging tool.
#include <QTimer>
#include <cstdio>

#include "TBrindlexApplication.h"
#include "TCommandLine.h"
#include "TfrmImageConverter.h"
#include "formats/QvFormats.h"
#include "model/QvSafeFile.h"
#include "platform/QvQtPlatform.h"

namespace {

// --help and --version must work without a display, so they are answered before Qt starts.
int AnswerWithoutWindow(int argc, char** argv, brindlex::TCommandLine& line) {
  QStringList arguments;
  for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  line = brindlex::ParseCommandLine(arguments);
  switch (line.Action) {
    case brindlex::TCommandLine::TAction::Help:
    case brindlex::TCommandLine::TAction::Version: std::fputs(line.Message.toLocal8Bit().constData(), stdout); return 0;
    case brindlex::TCommandLine::TAction::Error: std::fputs(line.Message.toLocal8Bit().constData(), stderr); return 2;
    case brindlex::TCommandLine::TAction::Run: break;
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  brindlex::TCommandLine line;
  // Qt's own options are taken out by the application object; a quick look first answers --help
  // and --version before any display is needed.
  for (int i = 1; i < argc; ++i) {
    const QString argument = QString::fromLocal8Bit(argv[i]);
    if (argument == QLatin1String("--help") || argument == QLatin1String("--version") ||
        argument == QLatin1String("-h") || argument == QLatin1String("-v")) {
      const int code = AnswerWithoutWindow(argc, argv, line);
      if (code >= 0) return code;
    }
  }
  quorvane::InstallTemporaryFileCleanup();
  brindlex::TBrindlexApplication application(argc, argv);
  line = brindlex::ParseCommandLine(application.arguments().mid(1));
  if (line.Action != brindlex::TCommandLine::TAction::Run) {
    std::fputs(line.Message.toLocal8Bit().constData(),
               line.Action == brindlex::TCommandLine::TAction::Error ? stderr : stdout);
    return line.Action == brindlex::TCommandLine::TAction::Error ? 2 : 0;
  }
  quorvane::RegisterStandardGraphicFormats();
  quorvane::TQtPlatform& platform = quorvane::InstallQtPlatform();
  // The platform's warnings (libpng's, for one) reach the user as every failure does: through
  // the window's dialogs while the window exists, on the log otherwise.
  brindlex::InstallErrorRoute(platform);

  brindlex::TfrmImageConverter window;
  window.show();
  if (!line.FileName.isEmpty()) {
    const QString name = line.FileName;
    QTimer::singleShot(0, &window,
                       [&window, name] { window.Commands().Run([&window, name] { window.OpenFile(name); }); });
  }
  const int result = application.exec();
  platform.SetWarningHandler({});
  return result;
}
