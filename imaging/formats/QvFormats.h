// Start-up of the library: registers every file format of the core in its fixed order.
#pragma once

#include <string>

namespace quorvane {

// Registers the core's formats once; later calls do nothing. Call before using the registry.
void RegisterStandardGraphicFormats();

std::string QuorvaneVersion();

}  // namespace quorvane
