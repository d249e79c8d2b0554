#include "support/MetadataPeers.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace qvtest {

namespace {

std::string ReadWhole(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A temporary file name, the file made (and later removed by the caller).
std::string TemporaryFile() {
  char name[] = "/tmp/qv-peer-XXXXXX";
  const int fd = ::mkstemp(name);
  if (fd >= 0) ::close(fd);
  return name;
}

std::string Trimmed(std::string text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

bool HaveExiftool() {
  static const bool have = std::system("exiftool -ver >/dev/null 2>&1") == 0;
  return have;
}

bool HaveExiv2() {
  static const bool have = std::system("exiv2 --version >/dev/null 2>&1") == 0;
  return have;
}

TCommandOutput RunCaptured(const std::string& command) {
  const std::string out = TemporaryFile(), err = TemporaryFile();
  TCommandOutput result;
  const int status = std::system(("timeout 60 " + command + " >" + out + " 2>" + err).c_str());
  result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.Out = ReadWhole(out);
  result.Err = ReadWhole(err);
  std::remove(out.c_str());
  std::remove(err.c_str());
  return result;
}

std::string TestMetadataArguments() {
  return "-Artist='Ann Example' -Copyright='(c) Quellmark test' -DateTimeOriginal='2024:05:06 07:08:09' "
         "-GPSLatitude=48.5 -GPSLatitudeRef=N -GPSLongitude=9.25 -GPSLongitudeRef=E "
         "-XMP-dc:Subject=harbour -XMP-dc:Subject=boats -IPTC:Keywords=harbour -IPTC:Keywords=boats";
}

bool ExiftoolWrite(const std::string& file, const std::string& arguments) {
  return RunCaptured("exiftool -q -q -overwrite_original " + arguments + " " + file).Status == 0;
}

std::map<std::string, std::string> ExiftoolTags(const std::string& file, const std::string& extra) {
  const TCommandOutput run = RunCaptured(
      "exiftool -G1 -S -n -IFD0:Artist -IFD0:Copyright -ExifIFD:DateTimeOriginal -GPS:GPSLatitude "
      "-GPS:GPSLongitude -XMP-dc:Subject -IPTC:Keywords -IFD0:Orientation -XMP-tiff:Orientation "
      "-ExifIFD:ExifImageWidth -ExifIFD:ExifImageHeight -IFD1:ThumbnailLength -Warning " +
      extra + " " + file);
  std::map<std::string, std::string> tags;
  std::istringstream lines(run.Out);
  // "[IFD0] Artist: Ann Example" becomes "IFD0:Artist".
  for (std::string line; std::getline(lines, line);) {
    const size_t close = line.find("] "), colon = line.find(':', close == std::string::npos ? 0 : close);
    if (line.empty() || line[0] != '[' || close == std::string::npos || colon == std::string::npos) continue;
    tags[line.substr(1, close - 1) + ":" + Trimmed(line.substr(close + 2, colon - close - 2))] =
        Trimmed(line.substr(colon + 1));
  }
  return tags;
}

std::map<std::string, std::string> Exiv2Tags(const std::string& file, std::string& errors) {
  const TCommandOutput run = RunCaptured("exiv2 -pa " + file);
  errors = run.Err;
  std::map<std::string, std::string> tags;
  std::istringstream lines(run.Out);
  for (std::string line; std::getline(lines, line);) {
    // "Exif.Image.Artist    Ascii    12  Ann Example": key, type, count, value.
    std::istringstream fields(line);
    std::string key, type, count;
    if (!(fields >> key >> type >> count)) continue;
    std::string value;
    std::getline(fields, value);
    std::string& kept = tags[key];
    kept += (kept.empty() ? "" : ", ") + Trimmed(value);
  }
  return tags;
}

}  // namespace qvtest
