// The program's command line: brindlex [FILE], --help, --version.
#pragma once

#include <QString>
#include <QStringList>

namespace brindlex {

struct TCommandLine {
  enum class TAction { Run, Help, Version, Error } Action = TAction::Run;
  QString FileName;  // empty: start without an image
  QString Message;   // the text --help, --version or the error prints
};

// Parses the arguments after the program name.
TCommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace brindlex
