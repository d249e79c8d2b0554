// The two informational modes of brindlex-convert: --formats and --info.
#pragma once

#include <string>
#include <vector>

#include "ConvertFile.h"
#include "ConvertOptions.h"

namespace brindlex {
using namespace quorvane;

// The registered formats as the save dialog lists them: one line per description with its mask,
// sorted, then the all-formats line.
std::string FormatsText();

// Class, page count and, per page, size, pixel format and resolution of File: every page, or
// only the one --page names. The readers' warnings are added to Warnings (with --strict they
// fail the file). Raises TConvertFailure.
std::string DescribeFile(const std::string& file, const TConvertOptions& options,
                         std::vector<std::string>* warnings = nullptr);

}  // namespace brindlex
