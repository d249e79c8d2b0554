#include "ConvertPipeline.h"

#include "transforms/QvTransfCatalog.h"

namespace brindlex {
using namespace quorvane;

// The option modifiers --quantize, --dither and --filter act as the dialogs' check boxes and
// filter list do.
std::unique_ptr<TImageTransform> MakeTransform(const TOperation& op, const TConvertOptions& options) {
  TOperationParameters parameters = op.Parameters;
  if (op.Operation->Name == "convert") {
    parameters.UseQuantizer = options.Quantize;
    parameters.UseDither = options.Dither;
  }
  if (op.Operation->Name == "resize" && options.Filter) {
    parameters.Interpolate = true;
    parameters.Filter = *options.Filter;
  }
  return CreateTransform(*op.Operation, parameters);
}

std::unique_ptr<TDibGraphic> ApplyOperations(std::unique_ptr<TDibGraphic> image, const TConvertOptions& options,
                                             std::unique_ptr<TDibGraphic> final, const TPipelineProgress& progress) {
  const size_t count = options.Operations.size();
  for (size_t i = 0; i < count; ++i) {
    std::unique_ptr<TImageTransform> transform = MakeTransform(options.Operations[i], options);
    if (progress)
      transform->OnProgress = [&progress, i, count](TImageTransform*, int percent) {
        progress((static_cast<double>(i) + percent / 100.0) / static_cast<double>(count));
      };
    const bool last = i + 1 == count;
    std::unique_ptr<TDibGraphic> result = last && final ? std::move(final) : std::make_unique<TDibGraphic>();
    transform->ApplyOnDest(*image, *result);
    // The source is released before the next step so that its memory serves the next result.
    image = std::move(result);
  }
  if (progress) progress(1.0);
  return image;
}

}  // namespace brindlex
