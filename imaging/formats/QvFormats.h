// Start-up of the library: registers every file format of the core in its fixed order.
#pragma once

#include <string>

#include "model/QvDiGrph.h"

namespace quorvane {

// Registers the core's formats once; later calls do nothing. Call before using the registry.
void RegisterStandardGraphicFormats();

std::string QuorvaneVersion();

// Whether the class reads its files row by row from the top, reporting the rows, and waits for
// each row when it writes (formats/QvRowGate.h): an image of it can be written while it is read.
bool WritesWhileReading(const TGraphicClass& graphicClass);

}  // namespace quorvane
