// JPEG files checked with libjpeg-turbo's own tools: jpegtran's lossless turns as the reference,
// djpeg for the decoded pixels. Header only: the turns are the formats library's, which the
// support library does not link.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "formats/QvJpegLossless.h"
#include "support/ScratchFolder.h"

namespace qvtest {

inline bool HaveJpegTools() {
  return std::system("command -v jpegtran >/dev/null && command -v djpeg >/dev/null") == 0;
}

#define QV_REQUIRE_JPEG_TOOLS() \
  if (!::qvtest::HaveJpegTools()) GTEST_SKIP() << "jpegtran and djpeg (libjpeg-turbo-progs) are needed"

// jpegtran's options for a turn.
inline const char* JpegtranOptions(quorvane::TDihedral turn) {
  using quorvane::TDihedral;
  switch (turn) {
    case TDihedral::Identity: return "";
    case TDihedral::FlipHorizontal: return "-flip horizontal";
    case TDihedral::FlipVertical: return "-flip vertical";
    case TDihedral::Rotate90: return "-rotate 90";
    case TDihedral::Rotate180: return "-rotate 180";
    case TDihedral::Rotate270: return "-rotate 270";
    case TDihedral::Transpose: return "-transpose";
    case TDihedral::Transverse: return "-transverse";
  }
  return "";
}

// jpegtran's turn of Input into Output, refusing partial edge blocks (-perfect) as ours does;
// false when it refused or failed.
inline bool JpegtranPerfect(const std::string& input, quorvane::TDihedral turn, const std::string& output) {
  const std::string command = "timeout 60 jpegtran -perfect " + std::string(JpegtranOptions(turn)) + " -outfile '" +
                              output + "' '" + input + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Both JPEG files decode (djpeg, the same decoder settings) to the same pixels, byte for byte.
inline ::testing::AssertionResult SameDecodedPixels(const std::string& actual, const std::string& expected) {
  const auto decode = [](const std::string& file) {
    const std::string dump = file + ".ppm";
    const std::string command = "timeout 60 djpeg -ppm -outfile '" + dump + "' '" + file + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return std::vector<uint8_t>();
    return FileBytes(dump);
  };
  const std::vector<uint8_t> a = decode(actual), b = decode(expected);
  if (a.empty()) return ::testing::AssertionFailure() << "djpeg cannot read " << actual;
  if (b.empty()) return ::testing::AssertionFailure() << "djpeg cannot read " << expected;
  if (a != b) return ::testing::AssertionFailure() << actual << " and " << expected << " decode to different pixels";
  return ::testing::AssertionSuccess();
}

// exiftool's values (numbers as numbers, -n) of Tags ("Orientation", "JFIF:XResolution", ...) in
// File, by the tag names exiftool prints; a tag the file lacks is absent.
inline std::map<std::string, std::string> ExiftoolValues(const std::string& file, const std::string& tags) {
  std::map<std::string, std::string> values;
  const std::string command = "timeout 60 exiftool -q -s -n " + tags + " '" + file + "' 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return values;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe)) {
    const std::string text(line);
    const size_t colon = text.find(" : ");
    if (colon == std::string::npos) continue;
    const std::string name = text.substr(0, text.find(' '));
    std::string value = text.substr(colon + 3);
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r')) value.pop_back();
    values[name] = value;
  }
  ::pclose(pipe);
  return values;
}

}  // namespace qvtest
