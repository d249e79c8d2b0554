// The catalogue of image operations: one place that turns an operation and its parameters into a
// configured transform, and that holds the Image menu's entries with their defaults. The window's
// Image menu and brindlex-convert both build their transforms here, so the two give the same
// result for the same request.
//
// Use:
//   TOperationParameters p = DefaultParameters(TImageOperation::Gamma);   // GammaValue 1.0
//   p.GammaValue = answer;                                                // from the prompt
//   std::unique_ptr<TImageTransform> t = CreateTransform(TImageOperation::Gamma, p);
//   t->ApplyOnDest(undoCopy, image);
// or, from a menu entry:
//   const TImageMenuEntry& e = ImageMenuEntry(TImageCommand::IncreaseBrightness);
//   auto t = CreateTransform(e.Operation, e.Parameters);                 // Amount 3
//
// CreateTransform never raises and never touches an image; values out of a transform's range are
// clamped by its setters (gamma, brightness) or refused when the transform runs (crop margins,
// resize sizes), exactly as when the transform is set up by hand.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "transforms/QvTransf.h"
#include "transforms/QvTransfResize.h"

namespace quorvane {

// The operations, one per transform set-up. Several menu entries share one operation with
// different parameters (Rotate 90/180/270/Specified, Increase/Decrease Brightness and Contrast).
enum class TImageOperation : uint8_t {
  Rotate,
  FlipHorizontal,
  FlipVertical,
  Negative,
  Crop,
  Sharpen,
  Smooth,
  Brightness,
  Contrast,
  EdgeDetection,
  Emboss,
  Gamma,
  ConvertToGray,
  FormatConversion,
  Resize
};

// Every parameter any operation takes; each operation reads only its own fields. The values in
// the declarations are the defaults of the menu commands (DefaultParameters adds the few that
// differ per operation).
struct TOperationParameters {
  double Angle = 45.0;        // Rotate: degrees clockwise (the angle prompt's initial text)
  double Amount = 3.0;        // Brightness: percent of the full range, -100..100 (clamped)
  bool RaiseContrast = true;  // Contrast
  double GammaValue = 1.0;    // Gamma: 0.1..7.0 (clamped)
  uint8_t Strength = 10;      // Sharpen (10) and Smooth (20)
  int32_t CropLeft = 0, CropTop = 0, CropRight = 0, CropBottom = 0;  // Crop: margins in pixels
  // FormatConversion: the target, and the dialog's two check boxes (both off by default).
  TImageFormat TargetFormat = TImageFormat::TrueColor;
  bool UseQuantizer = false;
  bool UseDither = false;
  // Resize: the new size (the dialog shows the image's own size), interpolation with Filter, and
  // with interpolation only, ForceFormat to give the result TargetFormat.
  int32_t NewWidth = 100, NewHeight = 100;
  bool Interpolate = false;
  TResizeFilter Filter = TResizeFilter::rfTriangle;
  bool ForceFormat = false;
};

// The menu defaults of one operation.
TOperationParameters DefaultParameters(TImageOperation operation);

// A new transform for Operation, set up from Parameters as the menu command sets it up.
std::unique_ptr<TImageTransform> CreateTransform(TImageOperation operation, const TOperationParameters& parameters);

// The operation's stable lower-case name ("rotate", "flip-h", "gray", ...), for command lines.
std::string_view OperationName(TImageOperation operation);

// The Image menu's entries, in display order.
enum class TImageCommand : uint8_t {
  Rotate90,
  Rotate180,
  Rotate270,
  RotateSpecified,
  FlipHorizontal,
  FlipVertical,
  Negative,
  Crop,
  Sharpen,
  Smooth,
  IncreaseBrightness,
  DecreaseBrightness,
  IncreaseContrast,
  DecreaseContrast,
  EdgeDetection,
  Emboss,
  Gamma,
  ConvertToGray,
  FormatConversion,
  Resize
};

// Where a menu command gets its parameters before it runs.
enum class TParameterSource : uint8_t {
  None,          // runs at once with the entry's parameters
  Prompt,        // a one-line text prompt (PromptCaption, PromptText, PromptInitial)
  CropDialog,    // the four margins
  ResizeDialog,  // size, interpolation, filter and destination format
  FormatDialog   // target format, quantize and dither
};

struct TImageMenuEntry {
  TImageCommand Command;
  const char* Submenu;  // caption of the sub-menu holding the entry ("&Rotate"), or nullptr
  const char* Caption;  // "&90 Degrees"
  TImageOperation Operation;
  TOperationParameters Parameters;  // what the command sets before asking for anything
  TParameterSource Source;
  // The prompt of a Prompt entry: its answer is a real number for Angle (Rotate) or GammaValue.
  const char* PromptCaption;
  const char* PromptText;
  const char* PromptInitial;
};

// All entries in display order; ImageMenuEntry(c) is ImageMenuEntries()[c].
const std::vector<TImageMenuEntry>& ImageMenuEntries();
const TImageMenuEntry& ImageMenuEntry(TImageCommand command);

}  // namespace quorvane
