#include "transforms/QvTransfCatalog.h"

#include "transforms/QvTransfFilter.h"
#include "transforms/QvTransfFormat.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"

namespace quorvane {

namespace {

std::unique_ptr<TImageTransform> MakeRotate(const TOperationParameters& p) {
  auto t = std::make_unique<TRotateTransform>();
  t->Angle = p.Angle;
  return t;
}

std::unique_ptr<TImageTransform> MakeCrop(const TOperationParameters& p) {
  auto t = std::make_unique<TCropTransform>();
  t->CropLeft = p.CropLeft;
  t->CropTop = p.CropTop;
  t->CropRight = p.CropRight;
  t->CropBottom = p.CropBottom;
  return t;
}

template <typename TConvolution>
std::unique_ptr<TImageTransform> MakeConvolution(const TOperationParameters& p) {
  auto t = std::make_unique<TConvolution>();
  t->Strength = p.Strength;
  return t;
}

std::unique_ptr<TImageTransform> MakeBrightness(const TOperationParameters& p) {
  auto t = std::make_unique<TBrightnessTransform>();
  t->SetAmount(p.Amount);
  return t;
}

std::unique_ptr<TImageTransform> MakeContrast(const TOperationParameters& p) {
  auto t = std::make_unique<TContrastTransform>();
  t->RaiseContrast = p.RaiseContrast;
  return t;
}

std::unique_ptr<TImageTransform> MakeGamma(const TOperationParameters& p) {
  auto t = std::make_unique<TGammaTransform>();
  t->SetGammaValue(p.GammaValue);
  return t;
}

std::unique_ptr<TImageTransform> MakeFormatConversion(const TOperationParameters& p) {
  auto t = std::make_unique<TImageFormatTransform>();
  t->TargetFormat = p.TargetFormat;
  t->UseQuantizer = p.UseQuantizer;
  t->UseDither = p.UseDither;
  return t;
}

// Without interpolation the format never changes, whatever the dialog's format list shows.
std::unique_ptr<TImageTransform> MakeResize(const TOperationParameters& p) {
  auto t = std::make_unique<TResizeTransform>();
  t->NewWidth = p.NewWidth;
  t->NewHeight = p.NewHeight;
  t->Interpolate = p.Interpolate;
  if (p.Interpolate) {
    t->Filter = p.Filter;
    t->ForceFormat = p.ForceFormat;
    t->TargetFormat = p.TargetFormat;
  }
  return t;
}

TOperationParameters With(TOperationParameters p, void (*set)(TOperationParameters&)) {
  set(p);
  return p;
}

TImageMenuEntry Entry(TImageCommand command, const char* submenu, const char* caption, TImageOperation operation,
                      TParameterSource source = TParameterSource::None) {
  return {command, submenu, caption, operation, DefaultParameters(operation), source, nullptr, nullptr, nullptr};
}

TImageMenuEntry Preset(TImageMenuEntry entry, void (*set)(TOperationParameters&)) {
  entry.Parameters = With(entry.Parameters, set);
  return entry;
}

TImageMenuEntry Prompted(TImageMenuEntry entry, const char* caption, const char* text, const char* initial) {
  entry.Source = TParameterSource::Prompt;
  entry.PromptCaption = caption;
  entry.PromptText = text;
  entry.PromptInitial = initial;
  return entry;
}

std::vector<TImageMenuEntry> BuildMenu() {
  using C = TImageCommand;
  using O = TImageOperation;
  using S = TParameterSource;
  return {
      Preset(Entry(C::Rotate90, "&Rotate", "&90 Degrees", O::Rotate), [](TOperationParameters& p) { p.Angle = 90.0; }),
      Preset(Entry(C::Rotate180, "&Rotate", "&180 Degrees", O::Rotate),
             [](TOperationParameters& p) { p.Angle = 180.0; }),
      Preset(Entry(C::Rotate270, "&Rotate", "&270 Degrees", O::Rotate),
             [](TOperationParameters& p) { p.Angle = 270.0; }),
      Prompted(Entry(C::RotateSpecified, "&Rotate", "&Specified...", O::Rotate), "Rotate", "Rotation Angle", "45"),
      Entry(C::FlipHorizontal, "&Flip", "&Horizontal", O::FlipHorizontal),
      Entry(C::FlipVertical, "&Flip", "&Vertical", O::FlipVertical),
      Entry(C::Negative, nullptr, "&Negative", O::Negative),
      Entry(C::Crop, nullptr, "&Crop...", O::Crop, S::CropDialog),
      Entry(C::Sharpen, nullptr, "&Sharpen", O::Sharpen),
      Entry(C::Smooth, nullptr, "S&mooth", O::Smooth),
      Preset(Entry(C::IncreaseBrightness, "&Brightness", "&Increase", O::Brightness),
             [](TOperationParameters& p) { p.Amount = 3.0; }),
      Preset(Entry(C::DecreaseBrightness, "&Brightness", "&Decrease", O::Brightness),
             [](TOperationParameters& p) { p.Amount = -3.0; }),
      Preset(Entry(C::IncreaseContrast, "&Contrast", "&Increase", O::Contrast),
             [](TOperationParameters& p) { p.RaiseContrast = true; }),
      Preset(Entry(C::DecreaseContrast, "&Contrast", "&Decrease", O::Contrast),
             [](TOperationParameters& p) { p.RaiseContrast = false; }),
      Entry(C::EdgeDetection, nullptr, "E&dge Detection", O::EdgeDetection),
      Entry(C::Emboss, nullptr, "&Emboss", O::Emboss),
      Prompted(Entry(C::Gamma, nullptr, "&Gamma...", O::Gamma), "Gamma", "Gamma value (0.1 - 7.0)", "1.0"),
      Entry(C::ConvertToGray, nullptr, "&Convert to Gray", O::ConvertToGray),
      Entry(C::FormatConversion, nullptr, "&Format Conversion...", O::FormatConversion, S::FormatDialog),
      Entry(C::Resize, nullptr, "&Resize...", O::Resize, S::ResizeDialog),
  };
}

}  // namespace

TOperationParameters DefaultParameters(TImageOperation operation) {
  TOperationParameters p;
  if (operation == TImageOperation::Smooth) p.Strength = 20;
  return p;
}

std::unique_ptr<TImageTransform> CreateTransform(TImageOperation operation, const TOperationParameters& p) {
  switch (operation) {
    case TImageOperation::Rotate: return MakeRotate(p);
    case TImageOperation::FlipHorizontal: return std::make_unique<TFlipHorizontalTransform>();
    case TImageOperation::FlipVertical: return std::make_unique<TFlipVerticalTransform>();
    case TImageOperation::Negative: return std::make_unique<TNegativeTransform>();
    case TImageOperation::Crop: return MakeCrop(p);
    case TImageOperation::Sharpen: return MakeConvolution<TSharpenTransform>(p);
    case TImageOperation::Smooth: return MakeConvolution<TSmoothTransform>(p);
    case TImageOperation::Brightness: return MakeBrightness(p);
    case TImageOperation::Contrast: return MakeContrast(p);
    case TImageOperation::EdgeDetection: return std::make_unique<TEdgeTransform>();
    case TImageOperation::Emboss: return std::make_unique<TEmbossTransform>();
    case TImageOperation::Gamma: return MakeGamma(p);
    case TImageOperation::ConvertToGray: return std::make_unique<TConvertToGrayTransform>();
    case TImageOperation::FormatConversion: return MakeFormatConversion(p);
    case TImageOperation::Resize: return MakeResize(p);
  }
  return nullptr;
}

std::string_view OperationName(TImageOperation operation) {
  switch (operation) {
    case TImageOperation::Rotate: return "rotate";
    case TImageOperation::FlipHorizontal: return "flip-h";
    case TImageOperation::FlipVertical: return "flip-v";
    case TImageOperation::Negative: return "negative";
    case TImageOperation::Crop: return "crop";
    case TImageOperation::Sharpen: return "sharpen";
    case TImageOperation::Smooth: return "smooth";
    case TImageOperation::Brightness: return "brightness";
    case TImageOperation::Contrast: return "contrast";
    case TImageOperation::EdgeDetection: return "edge";
    case TImageOperation::Emboss: return "emboss";
    case TImageOperation::Gamma: return "gamma";
    case TImageOperation::ConvertToGray: return "gray";
    case TImageOperation::FormatConversion: return "convert";
    case TImageOperation::Resize: return "resize";
  }
  return "";
}

const std::vector<TImageMenuEntry>& ImageMenuEntries() {
  static const std::vector<TImageMenuEntry> entries = BuildMenu();
  return entries;
}

const TImageMenuEntry& ImageMenuEntry(TImageCommand command) {
  return ImageMenuEntries()[static_cast<size_t>(command)];
}

}  // namespace quorvane
