// Prints the library version and the registered file formats.
#include <cstdio>

#include "formats/QvFormats.h"
#include "model/QvDiGrphRegistry.h"

using namespace quorvane;

int main() {
  RegisterStandardGraphicFormats();
  std::printf("Quorvane %s\n", QuorvaneVersion().c_str());
  std::printf("Registered formats:\n");
  for (const auto& entry : GraphicFormatList())
    std::printf("  %-5s %-28s %s\n", entry.Extension.c_str(), entry.Description.c_str(), entry.GraphicClass->ClassName);
  std::printf("Save filter: %s\n", SortGraphicFilter(GraphicFilter(false)).c_str());
  return 0;
}
