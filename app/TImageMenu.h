// The window's Image menu: one row per command, in display order, with its caption, the sub-menu
// holding it, the library operation it runs (by the operation table's name), the values it gives
// that operation's parameters, and where it asks for the rest. The window builds its menu from
// these rows and runs a command by its row.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "transforms/QvTransfCatalog.h"

namespace brindlex {

// The commands, one per row. Several share one operation with different parameters (Rotate
// 90/180/270/Specified, Increase/Decrease Brightness and Contrast).
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

// Where a command gets its parameters before it runs.
enum class TParameterSource : uint8_t {
  None,          // runs at once with the row's parameters
  Prompt,        // a one-line text prompt whose answer is a real number for one parameter
  CropDialog,    // the four margins
  ResizeDialog,  // size, interpolation, filter and destination format
  FormatDialog   // target format, quantize and dither
};

// The text prompt of a Prompt row.
struct TImagePrompt {
  const char* Caption = nullptr;
  const char* Text = nullptr;
  const char* Initial = nullptr;
  std::string_view Parameter;  // the operation's parameter the answer sets ("angle")
};

struct TImageMenuEntry {
  TImageCommand Command;
  const char* Submenu;  // caption of the sub-menu holding the entry ("&Rotate"), or nullptr
  const char* Caption;  // "&90 Degrees"
  const quorvane::TImageOperation* Operation;
  quorvane::TOperationParameters Parameters;  // the operation's defaults with the row's values
  TParameterSource Source;
  TImagePrompt Prompt;
};

// Every row in display order.
const std::vector<TImageMenuEntry>& ImageMenuEntries();
const TImageMenuEntry& ImageMenuEntry(TImageCommand command);

}  // namespace brindlex
