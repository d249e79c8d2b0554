// The window reads the numbers typed into its prompts and parameter dialogs with the library's
// reading of user numbers, the same the print options use (see platform/QvNumberText.h).
#pragma once

#include "platform/QvNumberText.h"

namespace brindlex {

using quorvane::TextToFloat;
using quorvane::TextToInt;

}  // namespace brindlex
