#include "ConvertPromotion.h"

#include <cctype>

#include "model/QvExcept.h"
#include "transforms/QvTransfCatalog.h"

namespace brindlex {
using namespace quorvane;

namespace {

bool PaletteIsGray(const TDibGraphic& image) {
  const TDibPalette& palette = image.PaletteRecord();
  for (int i = 0; i < palette.Count; ++i) {
    const auto& e = palette.Entries[static_cast<size_t>(i)];
    if (e.Red != e.Green || e.Green != e.Blue) return false;
  }
  return true;
}

std::string Lowered(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

}  // namespace

std::optional<TImageFormat> PromotionTarget(const TDibGraphic& image, const TGraphicCapabilities& capabilities) {
  const TImageFormat format = image.ImageFormat();
  if (capabilities.CanWrite(format) || format == TImageFormat::TrueColor) return std::nullopt;
  // 256 grays hold any gray palette exactly; a palette with a colour needs true colour.
  const bool grayFits = format != TImageFormat::Gray256 && PaletteIsGray(image);
  if (grayFits && capabilities.CanWrite(TImageFormat::Gray256)) return TImageFormat::Gray256;
  if (capabilities.CanWrite(TImageFormat::TrueColor)) return TImageFormat::TrueColor;
  return std::nullopt;
}

std::unique_ptr<TDibGraphic> Promote(const TDibGraphic& image, TImageFormat target) {
  const TImageOperation& convert = ImageOperation("convert");
  TOperationParameters parameters = DefaultParameters(convert);
  parameters.TargetFormat = target;  // neither quantized nor dithered: each pixel keeps its colour
  auto result = std::make_unique<TDibGraphic>();
  CreateTransform(convert, parameters)->ApplyOnDest(image, *result);
  return result;
}

std::string PromotionNote(TImageFormat from, TImageFormat to, const std::string& writerClass) {
  return FormatMessage("%s written as %s (the %s format does not hold %s)", ImageFormatName(from).c_str(),
                       Lowered(ImageFormatName(to)).c_str(), writerClass.c_str(),
                       Lowered(ImageFormatName(from)).c_str());
}

}  // namespace brindlex
