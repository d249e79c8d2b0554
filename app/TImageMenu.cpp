#include "TImageMenu.h"

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace brindlex {

using quorvane::TImageOperation;

namespace {

// A value the row gives a parameter of its operation.
struct TPreset {
  std::string_view Parameter;
  double Value;
};

const quorvane::TOperationParameter& ParameterOf(const TImageOperation& operation, std::string_view name) {
  const quorvane::TOperationParameter* parameter = quorvane::FindParameter(operation, name);
  if (parameter == nullptr)
    throw std::logic_error("the operation " + std::string(operation.Name) + " has no parameter " + std::string(name));
  return *parameter;
}

TImageMenuEntry Entry(TImageCommand command, const char* submenu, const char* caption, std::string_view operationName,
                      std::initializer_list<TPreset> presets = {}, TParameterSource source = TParameterSource::None,
                      TImagePrompt prompt = {}) {
  const TImageOperation& operation = quorvane::ImageOperation(operationName);
  quorvane::TOperationParameters parameters = quorvane::DefaultParameters(operation);
  for (const TPreset& preset : presets) ParameterOf(operation, preset.Parameter).Set(parameters, preset.Value);
  if (source == TParameterSource::Prompt) ParameterOf(operation, prompt.Parameter);
  return {command, submenu, caption, &operation, parameters, source, prompt};
}

std::vector<TImageMenuEntry> BuildMenu() {
  using C = TImageCommand;
  using S = TParameterSource;
  return {
      Entry(C::Rotate90, "&Rotate", "&90 Degrees", "rotate", {{"angle", 90}}),
      Entry(C::Rotate180, "&Rotate", "&180 Degrees", "rotate", {{"angle", 180}}),
      Entry(C::Rotate270, "&Rotate", "&270 Degrees", "rotate", {{"angle", 270}}),
      Entry(C::RotateSpecified, "&Rotate", "&Specified...", "rotate", {}, S::Prompt,
            {"Rotate", "Rotation Angle", "45", "angle"}),
      Entry(C::FlipHorizontal, "&Flip", "&Horizontal", "flip-h"),
      Entry(C::FlipVertical, "&Flip", "&Vertical", "flip-v"),
      Entry(C::Negative, nullptr, "&Negative", "negative"),
      Entry(C::Crop, nullptr, "&Crop...", "crop", {}, S::CropDialog),
      Entry(C::Sharpen, nullptr, "&Sharpen", "sharpen"),
      Entry(C::Smooth, nullptr, "S&mooth", "smooth"),
      Entry(C::IncreaseBrightness, "&Brightness", "&Increase", "brightness", {{"amount", 3}}),
      Entry(C::DecreaseBrightness, "&Brightness", "&Decrease", "brightness", {{"amount", -3}}),
      Entry(C::IncreaseContrast, "&Contrast", "&Increase", "contrast", {{"direction", 1}}),
      Entry(C::DecreaseContrast, "&Contrast", "&Decrease", "contrast", {{"direction", 0}}),
      Entry(C::EdgeDetection, nullptr, "E&dge Detection", "edge"),
      Entry(C::Emboss, nullptr, "&Emboss", "emboss"),
      Entry(C::Gamma, nullptr, "&Gamma...", "gamma", {}, S::Prompt,
            {"Gamma", "Gamma value (0.1 - 7.0)", "1.0", "gamma"}),
      Entry(C::ConvertToGray, nullptr, "&Convert to Gray", "gray"),
      Entry(C::FormatConversion, nullptr, "&Format Conversion...", "convert", {}, S::FormatDialog),
      Entry(C::Resize, nullptr, "&Resize...", "resize", {}, S::ResizeDialog),
  };
}

}  // namespace

const std::vector<TImageMenuEntry>& ImageMenuEntries() {
  static const std::vector<TImageMenuEntry> entries = BuildMenu();
  return entries;
}

const TImageMenuEntry& ImageMenuEntry(TImageCommand command) {
  const std::vector<TImageMenuEntry>& entries = ImageMenuEntries();
  const auto entry = std::find_if(entries.begin(), entries.end(),
                                  [command](const TImageMenuEntry& e) { return e.Command == command; });
  if (entry == entries.end()) throw std::logic_error("no Image menu entry for a command");
  return *entry;
}

}  // namespace brindlex
