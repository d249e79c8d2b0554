// brindlex-convert: converts image files in batches with the operations of the window's Image
// menu. Exit status 0 when every file succeeded, 1 when any failed, 2 for a usage error.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ConvertBatch.h"
#include "ConvertInfo.h"
#include "ConvertOptions.h"
#include "ConvertProgress.h"
#include "formats/QvFormats.h"
#include "model/QvMisc.h"
#include "model/QvSafeFile.h"
#include "model/QvThreads.h"
#include "platform/QvQtPlatform.h"

using namespace quorvane;
using namespace brindlex;

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int RunInfo(const TConvertOptions& options) {
  int failures = 0;
  for (const auto& input : options.Inputs) {
    try {
      std::vector<std::string> warnings;
      std::fputs(DescribeFile(input, options, &warnings).c_str(), stdout);
      std::fflush(stdout);
      for (const std::string& warning : warnings) std::fprintf(stderr, "%s\n", WarningLine({input, warning}).c_str());
    } catch (const TConvertFailure& failure) {
      std::fflush(stdout);
      std::fprintf(stderr, "%s\n", FailureLine(failure).c_str());
      ++failures;
    }
  }
  return failures == 0 ? kExitSuccess : kExitFailure;
}

int RunConvert(const TConvertOptions& options) {
  const bool visible = !options.Quiet && ::isatty(STDERR_FILENO);
  TConvertProgress progress(visible, static_cast<int>(options.Inputs.size()), options.Jobs);
  const int failures = RunBatch(options, progress);
  progress.Finish();
  return failures == 0 ? kExitSuccess : kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  TuneAllocatorForLargeImages();
  RegisterStandardGraphicFormats();
  InstallQtPictureLoader();
  InstallTemporaryFileCleanup();

  TConvertOptions options;
  try {
    options = ParseConvertOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "brindlex-convert: %s\nTry 'brindlex-convert --help' for more information.\n", e.what());
    return kExitUsage;
  }

  SetImageLimits(LimitsWithOptions(ImageLimits(), options));
  SetThreadCount(ThreadsPerFile(options, ThreadCount(), ProcessorCount()));
  switch (options.Mode) {
    case TConvertMode::Help: std::fputs(ConvertUsageText().c_str(), stdout); return kExitSuccess;
    case TConvertMode::Version:
      std::printf("brindlex-convert %s (Quorvane %s)\n", QV_VERSION, QuorvaneVersion().c_str());
      return kExitSuccess;
    case TConvertMode::Formats: std::fputs(FormatsText().c_str(), stdout); return kExitSuccess;
    case TConvertMode::Info: return RunInfo(options);
    case TConvertMode::Convert: return RunConvert(options);
  }
  return kExitUsage;
}
