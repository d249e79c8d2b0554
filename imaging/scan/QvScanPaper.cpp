#include "scan/QvScanPaper.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace quorvane {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A positive number of millimetres written in full ("210", "215.9"); nothing otherwise.
std::optional<double> Millimetres(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
  if (text.empty() || error != std::errc() || ptr != end || !(value > 0) || value > kMaxPaperMillimetres) return {};
  return value;
}

}  // namespace

std::string MillimetreText(double value) {
  char text[64];
  const double tenths = std::round(value * 10) / 10;
  const int decimals = std::fabs(tenths - std::round(tenths)) < 1e-9 ? 0 : 1;
  const auto result = std::to_chars(text, text + sizeof text, tenths, std::chars_format::fixed, decimals);
  return std::string(text, result.ptr);
}

const std::vector<TPaperSize>& StandardPaperSizes() {
  static const std::vector<TPaperSize> sizes = {
      {"a4", 210, 297}, {"a5", 148, 210}, {"a6", 105, 148}, {"letter", 215.9, 279.4}, {"legal", 215.9, 355.6}};
  return sizes;
}

std::optional<TPaperSize> ParsePaperSize(const std::string& text) {
  const std::string name = Lower(text);
  for (const TPaperSize& paper : StandardPaperSizes())
    if (paper.Name == name) return paper;
  const size_t by = name.find('x');
  if (by == std::string::npos) return {};
  const auto width = Millimetres(name.substr(0, by));
  const auto height = Millimetres(name.substr(by + 1));
  if (!width || !height) return {};
  return TPaperSize{name, *width, *height};
}

std::string PaperSizeText(const TPaperSize& paper) {
  const std::string size = MillimetreText(paper.Width) + " x " + MillimetreText(paper.Height) + " mm";
  const auto& standard = StandardPaperSizes();
  const bool named =
      std::any_of(standard.begin(), standard.end(), [&](const TPaperSize& p) { return p.Name == paper.Name; });
  if (!named) return size;
  std::string caption = paper.Name;
  if (caption == "letter" || caption == "legal")
    caption[0] = 'L';
  else
    caption[0] = 'A';
  return caption + " (" + size + ")";
}

}  // namespace quorvane
