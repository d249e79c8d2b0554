// A fresh folder for one test, removed with everything in it afterwards, and whole-file reads and
// writes. Every test program makes its scratch files here, under one naming scheme:
// <gtest temp folder>/qv-<suite>.<test>-XXXXXX/<file>, so that a folder left behind names its test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvtest {

class TScratchFolder {
 public:
  TScratchFolder();
  ~TScratchFolder();
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  std::string operator/(const std::string& name) const { return FPath + "/" + name; }
  const std::string& Path() const { return FPath; }
  // Names of the entries of the folder (or of a sub-folder), sorted.
  std::vector<std::string> List(const std::string& sub = "") const;

 private:
  std::string FPath;
};

// The whole file; a file that cannot be read fails the current test and gives no bytes.
std::vector<uint8_t> FileBytes(const std::string& file);
// Replaces File with Bytes.
void PutFileBytes(const std::string& file, const std::vector<uint8_t>& bytes);

}  // namespace qvtest
