#include "TCommandLine.h"

namespace brindlex {

namespace {

const char* const kUsage =
    "Usage: brindlex [OPTION]... [FILE]\n"
    "Shows an image file and changes, prints, saves or converts it.\n"
    "FILE is opened at start, every page of a multi-page file included.\n"
    "\n"
    "      --help     show this help and exit\n"
    "      --version  show the version and exit\n"
    "\n"
    "Qt's own options (-platform, -display, ...) are accepted as well.\n";

}  // namespace

TCommandLine ParseCommandLine(const QStringList& arguments) {
  TCommandLine result;
  bool optionsEnd = false;
  for (const QString& argument : arguments) {
    if (!optionsEnd && argument == QLatin1String("--")) {
      optionsEnd = true;
    } else if (!optionsEnd && (argument == QLatin1String("--help") || argument == QLatin1String("-h"))) {
      result.Action = TCommandLine::TAction::Help;
      result.Message = QString::fromLatin1(kUsage);
      return result;
    } else if (!optionsEnd && (argument == QLatin1String("--version") || argument == QLatin1String("-v"))) {
      result.Action = TCommandLine::TAction::Version;
      result.Message = QStringLiteral("brindlex " QV_VERSION "\n");
      return result;
    } else if (!optionsEnd && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
      result.Action = TCommandLine::TAction::Error;
      result.Message = QStringLiteral("brindlex: unknown option '%1'\nTry 'brindlex --help'.\n").arg(argument);
      return result;
    } else if (result.FileName.isEmpty()) {
      result.FileName = argument;
    } else {
      result.Action = TCommandLine::TAction::Error;
      result.Message = QStringLiteral("brindlex: only one file can be opened\nTry 'brindlex --help'.\n");
      return result;
    }
  }
  return result;
}

}  // namespace brindlex
