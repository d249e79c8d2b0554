#include "ConvertPipeline.h"

#include "transforms/QvTransfFilter.h"
#include "transforms/QvTransfFormat.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"
#include "transforms/QvTransfResize.h"

namespace brindlex {
using namespace quorvane;

namespace {

std::unique_ptr<TImageTransform> MakeRotate(double angle) {
  auto t = std::make_unique<TRotateTransform>();
  t->Angle = angle;
  return t;
}

std::unique_ptr<TImageTransform> MakeCrop(const TOperation& op) {
  auto t = std::make_unique<TCropTransform>();
  t->CropLeft = op.CropLeft;
  t->CropTop = op.CropTop;
  t->CropRight = op.CropRight;
  t->CropBottom = op.CropBottom;
  return t;
}

std::unique_ptr<TImageTransform> MakeBrightness(double amount) {
  auto t = std::make_unique<TBrightnessTransform>();
  t->SetAmount(amount);
  return t;
}

std::unique_ptr<TImageTransform> MakeContrast(bool raise) {
  auto t = std::make_unique<TContrastTransform>();
  t->RaiseContrast = raise;
  return t;
}

std::unique_ptr<TImageTransform> MakeGamma(double value) {
  auto t = std::make_unique<TGammaTransform>();
  t->SetGammaValue(value);
  return t;
}

// As the Format Conversion dialog: the two check boxes, unchecked unless asked for.
std::unique_ptr<TImageTransform> MakeFormatConversion(TImageFormat target, const TConvertOptions& options) {
  auto t = std::make_unique<TImageFormatTransform>();
  t->TargetFormat = target;
  t->UseQuantizer = options.Quantize;
  t->UseDither = options.Dither;
  return t;
}

// As the Resize dialog: interpolation only with a filter; the format is never forced.
std::unique_ptr<TImageTransform> MakeResize(const TOperation& op, const TConvertOptions& options) {
  auto t = std::make_unique<TResizeTransform>();
  t->NewWidth = op.Width;
  t->NewHeight = op.Height;
  t->Interpolate = options.Filter.has_value();
  if (options.Filter) t->Filter = *options.Filter;
  return t;
}

}  // namespace

std::unique_ptr<TImageTransform> MakeTransform(const TOperation& op, const TConvertOptions& options) {
  switch (op.Kind) {
    case TOperationKind::Rotate: return MakeRotate(op.Value);
    case TOperationKind::FlipHorizontal: return std::make_unique<TFlipHorizontalTransform>();
    case TOperationKind::FlipVertical: return std::make_unique<TFlipVerticalTransform>();
    case TOperationKind::Negative: return std::make_unique<TNegativeTransform>();
    case TOperationKind::Crop: return MakeCrop(op);
    case TOperationKind::Sharpen: return std::make_unique<TSharpenTransform>();
    case TOperationKind::Smooth: return std::make_unique<TSmoothTransform>();
    case TOperationKind::Brightness: return MakeBrightness(op.Value);
    case TOperationKind::Contrast: return MakeContrast(op.RaiseContrast);
    case TOperationKind::Edge: return std::make_unique<TEdgeTransform>();
    case TOperationKind::Emboss: return std::make_unique<TEmbossTransform>();
    case TOperationKind::Gamma: return MakeGamma(op.Value);
    case TOperationKind::Gray: return std::make_unique<TConvertToGrayTransform>();
    case TOperationKind::Convert: return MakeFormatConversion(op.TargetFormat, options);
    case TOperationKind::Resize: return MakeResize(op, options);
  }
  return nullptr;
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
