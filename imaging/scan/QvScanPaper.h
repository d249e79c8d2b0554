// Paper sizes for scanning: the named sizes the programs offer and sizes written as WxH in
// millimetres. The scanner sets its area to the paper from its top left corner (TScanner).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quorvane {

struct TPaperSize {
  std::string Name;  // as typed: "a4", "letter", or "210x297" for a size of one's own
  double Width = 0;  // millimetres
  double Height = 0;
};

// The named sizes in the order the programs offer them: a4, a5, a6, letter, legal.
const std::vector<TPaperSize>& StandardPaperSizes();

// A named size (any case) or WxH with positive millimetres up to kMaxPaperMillimetres ("x" or
// "X", decimals with a point); nothing for any other text.
std::optional<TPaperSize> ParsePaperSize(const std::string& text);

// No scanner scans more than this in either direction; larger numbers are typing errors.
inline constexpr double kMaxPaperMillimetres = 10000;

// Millimetres as messages give them: "210", "215.9" (one decimal at most).
std::string MillimetreText(double value);

// "A4 (210 x 297 mm)", "Letter (215.9 x 279.4 mm)", "100 x 150 mm": the size as the window and
// the messages name it.
std::string PaperSizeText(const TPaperSize& paper);

}  // namespace quorvane
