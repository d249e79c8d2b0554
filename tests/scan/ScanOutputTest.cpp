// The output file of a multi-page scan, which replaces its target only once a page is stored.
// (The Scan command itself is driven through the window in tests/app/ScanCommandTest.cpp.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "model/QvExcept.h"
#include "model/QvStream.h"
#include "scan/QvScanOutput.h"
#include "support/ScratchFolder.h"

using namespace quorvane;

namespace {

std::string FileText(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A multi-image class whose pages are lines of text: "page N" per stored page.
class TLinePages : public TDibGraphic {
 public:
  void SaveToStream(TStream& stream) override {
    if (FailNext) throw EWriteError("Stream write error");
    stream.WriteBuffer("page 1\n", 7);
  }
  void AppendToStream(TStream& stream) override {
    const int64_t size = stream.Seek(0, TSeekOrigin::soEnd);
    const std::string line = "page " + std::to_string(size / 7 + 1) + "\n";
    stream.WriteBuffer(line.data(), line.size());
  }
  bool FailNext = false;
};

TEST(ScanOutputFile, TheTargetChangesOnlyOnceAPageIsStored) {
  qvtest::TScratchFolder folder;
  const std::string target = folder / "pages.tif";
  std::ofstream(target) << "old file";
  TLinePages pages;
  {
    TScanOutputFile output(target);
    EXPECT_EQ(folder.List().size(), 2u) << "the temporary file is made beside the target";
    EXPECT_EQ(FileText(target), "old file");
  }
  EXPECT_EQ(folder.List(), (std::vector<std::string>{"pages.tif"})) << "no page: the temporary file is gone";
  EXPECT_EQ(FileText(target), "old file");
  {
    TScanOutputFile output(target);
    output.StorePage(pages);
    EXPECT_EQ(FileText(target), "page 1\n") << "complete after the first page";
    output.StorePage(pages);
    output.StorePage(pages);
    EXPECT_EQ(output.PagesStored(), 3);
  }
  EXPECT_EQ(FileText(target), "page 1\npage 2\npage 3\n");
  EXPECT_EQ(folder.List(), (std::vector<std::string>{"pages.tif"}));
  {
    TScanOutputFile output(target);
    pages.FailNext = true;
    EXPECT_THROW(output.StorePage(pages), EWriteError);
  }
  EXPECT_EQ(FileText(target), "page 1\npage 2\npage 3\n") << "a first page that fails keeps the old file";
  EXPECT_EQ(folder.List(), (std::vector<std::string>{"pages.tif"}));
}

}  // namespace
