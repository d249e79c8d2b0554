#include "transforms/QvTransfCatalog.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <type_traits>

#include "model/QvExcept.h"
#include "model/QvMisc.h"
#include "transforms/QvTransfFilter.h"
#include "transforms/QvTransfFormat.h"
#include "transforms/QvTransfGeometry.h"
#include "transforms/QvTransfPoint.h"

namespace quorvane {

namespace {

using P = TOperationParameters;
using K = TParameterKind;

// ---- parameters ----

// Whole numbers of type T: rounded, and brought to the nearest end of T's range.
template <typename T>
T Saturated(double value) {
  const int64_t whole = RoundHalfEven(value);
  return static_cast<T>(std::clamp<int64_t>(whole, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

template <auto Field>
void SetField(P& p, double value) {
  using T = std::remove_cvref_t<decltype(p.*Field)>;
  if constexpr (std::is_same_v<T, double>)
    p.*Field = value;
  else if constexpr (std::is_same_v<T, bool>)
    p.*Field = value != 0;
  else if constexpr (std::is_enum_v<T>)
    p.*Field = static_cast<T>(Saturated<std::underlying_type_t<T>>(value));
  else
    p.*Field = Saturated<T>(value);
}

template <auto Field>
double GetField(const P& p) {
  return static_cast<double>(p.*Field);
}

struct TRange {
  double Minimum = 0, Maximum = 0;
  bool Clamped = false;
};

template <auto Field>
constexpr TOperationParameter Parameter(std::string_view name, std::string_view noun, K kind, bool argument,
                                        double fallback, TRange range = {},
                                        std::span<const TParameterChoice> choices = {}) {
  return {name,          noun,          kind,    argument,         fallback,        range.Minimum,
          range.Maximum, range.Clamped, choices, &SetField<Field>, &GetField<Field>};
}

constexpr double kAnyReal = std::numeric_limits<double>::max();
constexpr double kLargestInt = std::numeric_limits<int32_t>::max();

template <typename TEnum>
constexpr double ValueOf(TEnum value) {
  return static_cast<double>(static_cast<std::underlying_type_t<TEnum>>(value));
}

constexpr TParameterChoice kDirections[] = {{"up", 1}, {"down", 0}};
constexpr TParameterChoice kFormats[] = {
    {"bw", ValueOf(TImageFormat::BlackWhite)},     {"gray16", ValueOf(TImageFormat::Gray16)},
    {"gray256", ValueOf(TImageFormat::Gray256)},   {"color16", ValueOf(TImageFormat::Color16)},
    {"color256", ValueOf(TImageFormat::Color256)}, {"truecolor", ValueOf(TImageFormat::TrueColor)}};
constexpr TParameterChoice kFilters[] = {
    {"triangle", ValueOf(TResizeFilter::rfTriangle)}, {"hermite", ValueOf(TResizeFilter::rfHermite)},
    {"bell", ValueOf(TResizeFilter::rfBell)},         {"bspline", ValueOf(TResizeFilter::rfBSpline)},
    {"lanczos3", ValueOf(TResizeFilter::rfLanczos3)}, {"mitchell", ValueOf(TResizeFilter::rfMitchell)}};

constexpr TRange kMargin{0, kLargestInt, false};
constexpr TRange kSize{1, kLargestInt, false};
constexpr TRange kStrength{0, 255, true};

constexpr TOperationParameter kRotate[] = {
    Parameter<&P::Angle>("angle", "the angle", K::pkReal, true, 45.0, {-kAnyReal, kAnyReal, false})};
constexpr TOperationParameter kCrop[] = {
    Parameter<&P::CropLeft>("left", "a margin", K::pkInteger, true, 0, kMargin),
    Parameter<&P::CropTop>("top", "a margin", K::pkInteger, true, 0, kMargin),
    Parameter<&P::CropRight>("right", "a margin", K::pkInteger, true, 0, kMargin),
    Parameter<&P::CropBottom>("bottom", "a margin", K::pkInteger, true, 0, kMargin)};
constexpr TOperationParameter kSharpen[] = {
    Parameter<&P::Strength>("strength", "the strength", K::pkInteger, false, 10, kStrength)};
constexpr TOperationParameter kSmooth[] = {
    Parameter<&P::Strength>("strength", "the strength", K::pkInteger, false, 20, kStrength)};
// The menu's steps are 3 and -3; the transform clamps to the full range.
constexpr TOperationParameter kBrightness[] = {
    Parameter<&P::Amount>("amount", "the amount", K::pkReal, true, 3.0, {-100, 100, true})};
constexpr TOperationParameter kContrast[] = {
    Parameter<&P::RaiseContrast>("direction", "the direction", K::pkChoice, true, 1, {}, kDirections)};
constexpr TOperationParameter kGamma[] = {
    Parameter<&P::GammaValue>("gamma", "the gamma value", K::pkReal, true, 1.0, {0.1, 7.0, true})};
// The transform's own defaults quantize and dither; the dialog's boxes start unchecked.
constexpr TOperationParameter kConvert[] = {Parameter<&P::TargetFormat>("format", "the format", K::pkChoice, true,
                                                                        ValueOf(TImageFormat::TrueColor), {}, kFormats),
                                            Parameter<&P::UseQuantizer>("quantize", "quantizing", K::pkFlag, false, 0),
                                            Parameter<&P::UseDither>("dither", "dithering", K::pkFlag, false, 0)};
// The format is changed only with interpolation, and then only with force-format.
constexpr TOperationParameter kResize[] = {
    Parameter<&P::NewWidth>("width", "the width", K::pkInteger, true, 100, kSize),
    Parameter<&P::NewHeight>("height", "the height", K::pkInteger, true, 100, kSize),
    Parameter<&P::Interpolate>("interpolate", "interpolating", K::pkFlag, false, 0),
    Parameter<&P::Filter>("filter", "the filter", K::pkChoice, false, ValueOf(TResizeFilter::rfTriangle), {}, kFilters),
    Parameter<&P::TargetFormat>("format", "the format", K::pkChoice, false, ValueOf(TImageFormat::TrueColor), {},
                                kFormats),
    Parameter<&P::ForceFormat>("force-format", "forcing the format", K::pkFlag, false, 0)};

// ---- factories ----

template <typename T>
std::unique_ptr<TImageTransform> Make(const P&) {
  return std::make_unique<T>();
}

std::unique_ptr<TImageTransform> MakeRotate(const P& p) {
  auto t = std::make_unique<TRotateTransform>();
  t->Angle = p.Angle;
  return t;
}

std::unique_ptr<TImageTransform> MakeCrop(const P& p) {
  auto t = std::make_unique<TCropTransform>();
  t->CropLeft = p.CropLeft;
  t->CropTop = p.CropTop;
  t->CropRight = p.CropRight;
  t->CropBottom = p.CropBottom;
  return t;
}

template <typename TConvolution>
std::unique_ptr<TImageTransform> MakeConvolution(const P& p) {
  auto t = std::make_unique<TConvolution>();
  t->Strength = p.Strength;
  return t;
}

std::unique_ptr<TImageTransform> MakeBrightness(const P& p) {
  auto t = std::make_unique<TBrightnessTransform>();
  t->SetAmount(p.Amount);
  return t;
}

std::unique_ptr<TImageTransform> MakeContrast(const P& p) {
  auto t = std::make_unique<TContrastTransform>();
  t->RaiseContrast = p.RaiseContrast;
  return t;
}

std::unique_ptr<TImageTransform> MakeGamma(const P& p) {
  auto t = std::make_unique<TGammaTransform>();
  t->SetGammaValue(p.GammaValue);
  return t;
}

std::unique_ptr<TImageTransform> MakeFormatConversion(const P& p) {
  auto t = std::make_unique<TImageFormatTransform>();
  t->TargetFormat = p.TargetFormat;
  t->UseQuantizer = p.UseQuantizer;
  t->UseDither = p.UseDither;
  return t;
}

// Without interpolation the format never changes, whatever the dialog's format list shows.
std::unique_ptr<TImageTransform> MakeResize(const P& p) {
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

// ---- the table ----

constexpr TImageOperation kOperations[] = {
    {"rotate", kRotate, 0, MakeRotate},
    {"flip-h", {}, 0, Make<TFlipHorizontalTransform>},
    {"flip-v", {}, 0, Make<TFlipVerticalTransform>},
    {"negative", {}, 0, Make<TNegativeTransform>},
    {"crop", kCrop, ',', MakeCrop},
    {"sharpen", kSharpen, 0, MakeConvolution<TSharpenTransform>},
    {"smooth", kSmooth, 0, MakeConvolution<TSmoothTransform>},
    {"brightness", kBrightness, 0, MakeBrightness},
    {"contrast", kContrast, 0, MakeContrast},
    {"edge", {}, 0, Make<TEdgeTransform>},
    {"emboss", {}, 0, Make<TEmbossTransform>},
    {"gamma", kGamma, 0, MakeGamma},
    {"gray", {}, 0, Make<TConvertToGrayTransform>},
    {"convert", kConvert, 0, MakeFormatConversion},
    {"resize", kResize, 'x', MakeResize},
};

}  // namespace

std::span<const TImageOperation> ImageOperations() { return kOperations; }

const TImageOperation* FindImageOperation(std::string_view name) {
  for (const TImageOperation& operation : kOperations)
    if (operation.Name == name) return &operation;
  return nullptr;
}

const TImageOperation& ImageOperation(std::string_view name) {
  const TImageOperation* operation = FindImageOperation(name);
  if (operation == nullptr)
    throw EQuorvaneError(FormatMessage("Unknown image operation %s", std::string(name).c_str()));
  return *operation;
}

const TOperationParameter* FindParameter(const TImageOperation& operation, std::string_view name) {
  for (const TOperationParameter& parameter : operation.Parameters)
    if (parameter.Name == name) return &parameter;
  return nullptr;
}

TOperationParameters DefaultParameters(const TImageOperation& operation) {
  TOperationParameters p;
  for (const TOperationParameter& parameter : operation.Parameters) parameter.Set(p, parameter.Default);
  return p;
}

std::unique_ptr<TImageTransform> CreateTransform(const TImageOperation& operation,
                                                 const TOperationParameters& parameters) {
  return operation.Create(parameters);
}

}  // namespace quorvane
