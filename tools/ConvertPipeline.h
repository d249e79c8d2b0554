// The operation pipeline: each command-line operation becomes the transform the window's Image
// menu uses, with the same parameters, and the operations run in order over one image.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "ConvertOptions.h"
#include "transforms/QvTransf.h"

namespace brindlex {
using namespace quorvane;

// The transform of one operation, set up as the menu command sets it up. Quantize, Dither and
// Filter come from the options and modify --convert and --resize.
std::unique_ptr<TImageTransform> MakeTransform(const TOperation& operation, const TConvertOptions& options);

// Progress of a pipeline run: the fraction (0 to 1) of all its operations done.
using TPipelineProgress = std::function<void(double fraction)>;

// Applies the operations in order, each through ApplyOnDest into a fresh image, and returns the
// result. The last operation builds its result in Final when given (so a result meant for a
// file can be made directly in the output class without another copy); the return value is then
// Final. With no operations, Image itself comes back. Transform errors pass on unchanged.
std::unique_ptr<TDibGraphic> ApplyOperations(std::unique_ptr<TDibGraphic> image, const TConvertOptions& options,
                                             std::unique_ptr<TDibGraphic> final, const TPipelineProgress& progress);

}  // namespace brindlex
