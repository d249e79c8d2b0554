#include "support/ScratchFolder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qvtest {

namespace fs = std::filesystem;

TScratchFolder::TScratchFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "scratch";
  // Parameterised tests have slashes in their names.
  std::replace(name.begin(), name.end(), '/', '_');
  std::string pattern = (fs::path(::testing::TempDir()) / ("qv-" + name + "-XXXXXX")).lexically_normal().string();
  if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed for " << pattern;
  FPath = pattern;
}

TScratchFolder::~TScratchFolder() {
  std::error_code ignored;
  fs::remove_all(FPath, ignored);
}

std::vector<std::string> TScratchFolder::List(const std::string& sub) const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(sub.empty() ? FPath : FPath + "/" + sub))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> FileBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << file;
    return {};
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void PutFileBytes(const std::string& file, const std::vector<uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << file;
}

}  // namespace qvtest
