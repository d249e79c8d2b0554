// The extension registry: which image class reads and writes a file, decided by the file's
// extension alone. Format units register at start-up (see RegisterStandardGraphicFormats);
// afterwards the registry is only read, so any number of threads may look things up.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/QvDiGrph.h"

namespace quorvane {

struct TGraphicFormatEntry {
  std::string Extension;  // upper case, without the dot
  std::string Description;
  const TGraphicClass* GraphicClass;
};

// Appends (upper-cased Extension, Class); duplicates are kept and the first one wins lookups.
// Start-up only: not to be called while other threads use the registry.
void RegisterGraphicFormat(const std::string& extension, const std::string& description,
                           const TGraphicClass& graphicClass);
// Removes every registration (for programs and tests that rebuild the registry).
void UnregisterGraphicFormats();
const std::vector<TGraphicFormatEntry>& GraphicFormatList();

// The class for a file name, or for an extension with or without dot; nullptr when none.
const TGraphicClass* FindGraphicClass(const std::string& fileName);
// A new empty instance for the file name; raises "Graphic files of %s format are not supported
// or not registered" with the extension (dot included) when no class is registered.
std::unique_ptr<TDibGraphic> CreateGraphicForFile(const std::string& fileName);

// The extension of a file name from the last dot, dot included; empty when no dot follows the
// last folder separator ("/", "\" or ":").
std::string ExtractFileExt(const std::string& fileName);

// Dialog filter text built from the registrations, last registration first, with an "All" pair
// in front when more than one qualifies. WithPlatformFormats adds the platform loader's formats
// and leaves out the formats that are only written (the open dialog); without them the library's
// formats are listed (the save dialog).
std::string GraphicFilter(bool withPlatformFormats);
// The filter's pairs sorted case-insensitively, then its first (all-formats) pair, then
// "Any File (*.*)|*.*".
std::string SortGraphicFilter(const std::string& filter);

// A path ending in a separator: "" becomes "/", a path not ending in "/", "\" or ":" gets "/".
std::string AddTrailingBackslash(const std::string& path);
// Full path of a temporary file name not in use yet: Prefix + N + Extension in the temporary
// folder, N counting from 0. The file is not created.
std::string CreateTempFile(const std::string& prefix, const std::string& extension);

}  // namespace quorvane
