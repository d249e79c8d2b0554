#include "model/QvDiGrphRegistry.h"

#include <sys/stat.h>
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "model/QvExcept.h"

namespace quorvane {

namespace {

std::vector<TGraphicFormatEntry>& Registrations() {
  static std::vector<TGraphicFormatEntry> list;
  return list;
}

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool SameText(const std::string& a, const std::string& b) { return UpperCase(a) == UpperCase(b); }

bool IsSeparator(char c) { return c == '/' || c == '\\' || c == ':'; }

// Splits "A|a|B|b|C" into pairs "A|a", "B|b", "C"; a last pair without "|" takes the rest.
std::vector<std::string> SplitPairs(const std::string& text) {
  std::vector<std::string> pairs;
  size_t start = 0;
  while (start < text.size()) {
    const size_t first = text.find('|', start);
    if (first == std::string::npos) {
      pairs.push_back(text.substr(start));
      break;
    }
    const size_t second = text.find('|', first + 1);
    if (second == std::string::npos) {
      pairs.push_back(text.substr(start));
      break;
    }
    pairs.push_back(text.substr(start, second - start));
    start = second + 1;
  }
  return pairs;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

void RegisterGraphicFormat(const std::string& extension, const std::string& description,
                           const TGraphicClass& graphicClass) {
  Registrations().push_back({UpperCase(extension), description, &graphicClass});
}

void UnregisterGraphicFormats() { Registrations().clear(); }

const std::vector<TGraphicFormatEntry>& GraphicFormatList() { return Registrations(); }

std::string ExtractFileExt(const std::string& fileName) {
  for (size_t i = fileName.size(); i > 0; --i) {
    const char c = fileName[i - 1];
    if (c == '.') return fileName.substr(i - 1);
    if (IsSeparator(c)) break;
  }
  return "";
}

const TGraphicClass* FindGraphicClass(const std::string& fileName) {
  std::string ext = UpperCase(ExtractFileExt(fileName));
  if (ext.empty()) ext = "." + fileName;
  ext.erase(0, 1);
  for (const auto& entry : Registrations())
    if (SameText(entry.Extension, ext)) return entry.GraphicClass;
  return nullptr;
}

std::unique_ptr<TDibGraphic> CreateGraphicForFile(const std::string& fileName) {
  const TGraphicClass* cls = FindGraphicClass(fileName);
  if (cls == nullptr)
    throw EQuorvaneError(FormatMessage("Graphic files of %s format are not supported or not registered",
                                       ExtractFileExt(fileName).c_str()));
  return cls->Create();
}

std::string GraphicFilter(bool withPlatformFormats) {
  // (extension, description) in registration order: the platform's own first.
  std::vector<std::pair<std::string, std::string>> formats;
  if (withPlatformFormats)
    for (const auto& f : PictureLoader().Formats()) formats.emplace_back(LowerCase(f.Extension), f.Description);
  for (const auto& entry : Registrations()) {
    // The open dialog lists only what can be read.
    if (withPlatformFormats && !entry.GraphicClass->Create()->Capabilities().Readable) continue;
    formats.emplace_back(LowerCase(entry.Extension), entry.Description);
  }

  std::string pairs, masks;
  int count = 0;
  for (auto it = formats.rbegin(); it != formats.rend(); ++it) {
    if (it->first.empty()) continue;
    const std::string mask = "*." + it->first;
    if (count > 0) {
      pairs += "|";
      masks += ";";
    }
    pairs += it->second + " (" + mask + ")|" + mask;
    masks += mask;
    ++count;
  }
  if (count > 1) return "All (" + masks + ")|" + masks + "|" + pairs;
  return pairs;
}

std::string SortGraphicFilter(const std::string& filter) {
  std::vector<std::string> pairs = SplitPairs(filter);
  std::string allPair;
  if (!pairs.empty()) {
    allPair = pairs.front();
    pairs.erase(pairs.begin());
  }
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const std::string& a, const std::string& b) { return LowerCase(a) < LowerCase(b); });
  std::string result;
  for (const auto& pair : pairs) result += pair + "|";
  return result + allPair + "|Any File (*.*)|*.*";
}

std::string AddTrailingBackslash(const std::string& path) {
  if (path.empty()) return "/";
  if (IsSeparator(path.back())) return path;
  return path + "/";
}

std::string CreateTempFile(const std::string& prefix, const std::string& extension) {
  std::error_code error;
  const std::string folder = std::filesystem::temp_directory_path(error).string();
  if (error || folder.empty()) throw Exception("QvMisc.CreateTempFile.GetTempPath failed");
  const std::string directory = AddTrailingBackslash(folder);
  std::string ext = extension;
  if (!ext.empty() && ext.front() != '.') ext.insert(ext.begin(), '.');
  for (unsigned long n = 0;; ++n) {
    std::string candidate = directory + prefix + std::to_string(n) + ext;
    if (!FileExists(candidate)) return candidate;
  }
}

}  // namespace quorvane
