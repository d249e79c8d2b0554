// A program outside the source tree that uses the installed library: reads an image, turns it
// upside down and writes it in the format its output name asks for.
#include <cstdio>
#include <exception>

#include "formats/QvFormats.h"
#include "model/QvDiGrphRegistry.h"
#include "transforms/QvTransfGeometry.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: consumer INPUT OUTPUT\n");
    return 2;
  }
  try {
    quorvane::RegisterStandardGraphicFormats();
    auto image = quorvane::CreateGraphicForFile(argv[1]);
    image->LoadFromFile(argv[1]);
    quorvane::TFlipVerticalTransform().Apply(*image);
    auto output = quorvane::CreateGraphicForFile(argv[2]);
    output->Assign(image.get());
    output->SaveToFile(argv[2]);
    std::printf("%s: %d x %d written\n", argv[2], image->Width(), image->Height());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
