// The comma-decimal locale that number formatting must not depend on. The install script
// generates it; its absence is a test failure, not a skip.
#pragma once

#include <clocale>
#include <string>

namespace qvtest {

inline constexpr const char* kCommaLocale = "de_DE.UTF-8";

// Switches the C locale to kCommaLocale for one scope and restores the previous one.
class TCommaLocaleScope {
 public:
  TCommaLocaleScope() {
    if (const char* current = std::setlocale(LC_ALL, nullptr)) FPrevious = current;
    FActive = std::setlocale(LC_ALL, kCommaLocale) != nullptr;
  }
  ~TCommaLocaleScope() { std::setlocale(LC_ALL, FPrevious.c_str()); }
  TCommaLocaleScope(const TCommaLocaleScope&) = delete;
  TCommaLocaleScope& operator=(const TCommaLocaleScope&) = delete;

  // The locale is in force and really writes a comma before the fraction.
  bool Active() const { return FActive && *std::localeconv()->decimal_point == ','; }

 private:
  std::string FPrevious = "C";
  bool FActive = false;
};

}  // namespace qvtest
