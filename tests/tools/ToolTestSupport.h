// Helpers of the brindlex-convert tests: a scratch folder per test, running the built program,
// test images written through our own formats, and image comparison.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/QvDiGrph.h"
#include "support/PictureCompare.h"

using namespace quorvane;

namespace tooltest {

// A fresh folder for one test, removed by the destructor.
class TScratch {
 public:
  TScratch();
  ~TScratch();
  TScratch(const TScratch&) = delete;
  TScratch& operator=(const TScratch&) = delete;
  std::string operator/(const std::string& name) const { return FPath + "/" + name; }
  const std::string& Path() const { return FPath; }
  // Names of the entries of the folder (or of a sub-folder), sorted.
  std::vector<std::string> List(const std::string& sub = "") const;

 private:
  std::string FPath;
};

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
// Writes the images as the pages of one DCX file.
void WritePages(const std::vector<const TDibGraphic*>& pages, const std::string& file);
// Reads page Page of File through the registry.
std::unique_ptr<TDibGraphic> ReadImage(const std::string& file, int page = 1);
int PageCount(const std::string& file);

std::vector<uint8_t> FileBytes(const std::string& file);
void PutFileBytes(const std::string& file, const std::vector<uint8_t>& bytes);

using qvtest::SamePicture;

}  // namespace tooltest
