#include "ConvertCompression.h"

#include <array>
#include <utility>

namespace brindlex {

namespace {

constexpr std::array<std::pair<const char*, TTiffCompression>, kTiffCompressionCount> kNames{{
    {"none", TTiffCompression::tcNone},
    {"packbits", TTiffCompression::tcPackbits},
    {"g3", TTiffCompression::tcGroup3_1D},
    {"g3-2d", TTiffCompression::tcGroup3_2D},
    {"g4", TTiffCompression::tcGroup4},
    {"zlib", TTiffCompression::tcZLib},
    {"jpeg", TTiffCompression::tcJpeg},
}};

}  // namespace

std::optional<TTiffCompression> CompressionByName(const std::string& name) {
  for (const auto& [text, value] : kNames)
    if (name == text) return value;
  return std::nullopt;
}

std::string CompressionNames() {
  std::string names;
  for (const auto& entry : kNames) {
    if (!names.empty()) names += '|';
    names += entry.first;
  }
  return names;
}

void ChooseTiffCompression(TDibGraphic& image, const std::optional<TTiffCompression>& asked) {
  auto* tiff = dynamic_cast<TTiffGraphic*>(&image);
  if (tiff == nullptr) return;
  tiff->SetCompression(asked.value_or(DefaultSaveCompression(tiff->ImageFormat())));
}

std::string CompressionInfo(const TDibGraphic& image) {
  const auto* tiff = dynamic_cast<const TTiffGraphic*>(&image);
  return tiff ? ", " + TiffCompressionName(tiff->Compression()) : "";
}

}  // namespace brindlex
