// Metadata through the peers exiftool and exiv2: whether they are installed, the test metadata
// exiftool writes into a file, and what each of them reads back (values and warnings).
#pragma once

#include <map>
#include <string>

namespace qvtest {

bool HaveExiftool();
bool HaveExiv2();

#define QV_REQUIRE_METADATA_PEERS()                        \
  if (!::qvtest::HaveExiftool() || !::qvtest::HaveExiv2()) \
  GTEST_SKIP() << "exiftool (libimage-exiftool-perl) or exiv2 is not installed"

struct TCommandOutput {
  int Status = -1;
  std::string Out;
  std::string Err;
};
// Runs Command through the shell, bounded to 60 seconds, with its outputs captured.
TCommandOutput RunCaptured(const std::string& command);

// The exiftool arguments that write the test metadata: Artist and Copyright (the first
// directory), DateTimeOriginal (the EXIF directory), a GPS position, XMP dc:subject and IPTC
// keywords "harbour" and "boats".
std::string TestMetadataArguments();
// Writes Arguments into File with exiftool (in place); false when exiftool fails.
bool ExiftoolWrite(const std::string& file, const std::string& arguments);

// What exiftool reads from File: "group:tag" to value (numbers as numbers, lists joined by ", "),
// for the test metadata's tags ("IFD0:Artist", "IFD0:Copyright", "ExifIFD:DateTimeOriginal",
// "GPS:GPSLatitude", "GPS:GPSLongitude", "XMP-dc:Subject", "IPTC:Keywords"), "IFD0:Orientation",
// "XMP-tiff:Orientation", "ExifIFD:ExifImageWidth"/"Height", "IFD1:ThumbnailLength" and
// "ExifTool:Warning". Extra: further tag arguments ("-IFD1:Artist").
std::map<std::string, std::string> ExiftoolTags(const std::string& file, const std::string& extra = "");
// What exiv2 -pa reads from File: key to interpreted value (several values of a key joined by
// ", "); the messages exiv2 printed on standard error go to Errors.
std::map<std::string, std::string> Exiv2Tags(const std::string& file, std::string& errors);

}  // namespace qvtest
