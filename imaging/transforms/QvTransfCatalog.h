// The table of image operations: one row per operation with its stable name, its parameters
// (their defaults, ranges and the names of their choices) and the factory that sets its
// transform up. The window's Image menu and brindlex-convert's operation options are both built
// from it, so the two give the same result for the same request, and a new operation is one row.
//
// Use:
//   const TImageOperation& gamma = ImageOperation("gamma");
//   TOperationParameters p = DefaultParameters(gamma);                 // GammaValue 1.0
//   FindParameter(gamma, "gamma")->Set(p, answer);                     // or p.GammaValue = answer
//   std::unique_ptr<TImageTransform> t = CreateTransform(gamma, p);
//   t->ApplyOnDest(undoCopy, image);
//
// CreateTransform never raises and never touches an image; values out of a transform's range are
// clamped by its setters (gamma, brightness) or refused when the transform runs (crop margins,
// resize sizes), exactly as when the transform is set up by hand.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "transforms/QvTransf.h"
#include "transforms/QvTransfResize.h"

namespace quorvane {

// Every parameter any operation takes; each operation reads only its own fields. Start from
// DefaultParameters of the operation.
struct TOperationParameters {
  double Angle = 0;                                                  // rotate: degrees clockwise
  double Amount = 0;                                                 // brightness: percent of the full range
  bool RaiseContrast = true;                                         // contrast
  double GammaValue = 1.0;                                           // gamma
  uint8_t Strength = 0;                                              // sharpen, smooth
  int32_t CropLeft = 0, CropTop = 0, CropRight = 0, CropBottom = 0;  // crop: margins in pixels
  TImageFormat TargetFormat = TImageFormat::TrueColor;               // convert; resize with ForceFormat
  bool UseQuantizer = false;                                         // convert
  bool UseDither = false;                                            // convert
  int32_t NewWidth = 0, NewHeight = 0;                               // resize
  bool Interpolate = false;                                          // resize
  TResizeFilter Filter = TResizeFilter::rfTriangle;                  // resize with Interpolate
  bool ForceFormat = false;                                          // resize with Interpolate
};

enum class TParameterKind : uint8_t {
  pkReal,
  pkInteger,
  pkFlag,   // 0 or 1
  pkChoice  // one of the named Choices
};

struct TParameterChoice {
  std::string_view Name;  // "up", "bw", "lanczos3"
  double Value;
};

struct TOperationParameter {
  std::string_view Name;  // stable lower-case name: "angle", "left", "filter"
  std::string_view Noun;  // how a message names a value of it: "the angle", "a margin"
  TParameterKind Kind;
  // An argument is given with every request of the operation (the angle of a rotation, the
  // margins of a crop); the other parameters are settings that keep their defaults unless a
  // dialog or an option changes them.
  bool Argument;
  double Default;
  double Minimum, Maximum;  // pkReal and pkInteger: the values that mean something
  // Values outside Minimum..Maximum are brought into range (by the transform's setter) rather
  // than refused by whoever reads them.
  bool Clamped;
  std::span<const TParameterChoice> Choices;  // pkChoice
  // Stores Value (a whole number for pkInteger, 0 or 1 for pkFlag, a choice's value for pkChoice)
  // in its field; values beyond the field's type are brought to its nearest end.
  void (*Set)(TOperationParameters& parameters, double value);
  double (*Get)(const TOperationParameters& parameters);
};

struct TImageOperation {
  std::string_view Name;  // stable lower-case name: "rotate", "flip-h", "gray", ...
  std::span<const TOperationParameter> Parameters;
  // Between the values of several arguments written as one text ("10,0,10,0", "640x480").
  char Separator;
  // A new transform set up from the parameters as the menu command sets it up.
  std::unique_ptr<TImageTransform> (*Create)(const TOperationParameters& parameters);
};

// Every operation, in the order of the Image menu.
std::span<const TImageOperation> ImageOperations();
// The operation called Name; nullptr when there is none.
const TImageOperation* FindImageOperation(std::string_view name);
// The operation called Name; raises EQuorvaneError "Unknown image operation %s" when there is none.
const TImageOperation& ImageOperation(std::string_view name);
// The parameter of Operation called Name; nullptr when it has none.
const TOperationParameter* FindParameter(const TImageOperation& operation, std::string_view name);

// The defaults of every parameter of Operation.
TOperationParameters DefaultParameters(const TImageOperation& operation);
std::unique_ptr<TImageTransform> CreateTransform(const TImageOperation& operation,
                                                 const TOperationParameters& parameters);

}  // namespace quorvane
