// Helpers of the brindlex-convert tests: a scratch folder per test, running the built program,
// test images written through our own formats, and image comparison.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/QvDiGrph.h"
#include "support/PictureCompare.h"
#include "support/ScratchFolder.h"

using namespace quorvane;

namespace qvtest {

struct TRun {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// Runs brindlex-convert with Arguments (no shell involved in their meaning).
TRun RunConvert(const std::vector<std::string>& arguments);
// The same under a pseudo-terminal, so that standard error is a terminal.
TRun RunConvertOnTerminal(const std::vector<std::string>& arguments);

// A deterministic picture in Format (palette formats use their default palette).
std::unique_ptr<TDibGraphic> MakeImage(TImageFormat format, int width, int height, uint32_t seed);
// Writes Image through the registry class of File's extension.
void WriteImage(const TDibGraphic& image, const std::string& file);
// For each extension, Image written as whole.<extension> in Dir and that file cut to two thirds
// as cut.<extension> (a damaged input).
void WriteWholeAndCut(const TScratchFolder& dir, const TDibGraphic& image, const std::vector<std::string>& extensions);
// Writes the images as the pages of one DCX file.
void WritePages(const std::vector<const TDibGraphic*>& pages, const std::string& file);
// Reads page Page of File through the registry.
std::unique_ptr<TDibGraphic> ReadImage(const std::string& file, int page = 1);
int PageCount(const std::string& file);

}  // namespace qvtest
