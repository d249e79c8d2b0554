// Images of the tool-bar buttons: the desktop's icon theme where it has one, otherwise small
// pictures drawn here, so the bars stay compact on any desktop.
#pragma once

#include <QIcon>

namespace brindlex {

enum class TToolIcon { Open, Save, Print, Scan, Undo, Copy, Paste, Drag, Select };

QIcon ToolIcon(TToolIcon icon);

}  // namespace brindlex
