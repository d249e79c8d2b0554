// The page writer: page sets that read back page by page, a target that changes only when it
// should, and nothing left behind beside it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "FormatTestUtil.h"
#include "formats/QvFormats.h"
#include "formats/QvMultiPageWriter.h"
#include "formats/QvTifGr.h"
#include "model/QvDiGrphRegistry.h"
#include "model/QvExcept.h"

using namespace quorvane;
using namespace qvtest;

namespace {

using TPages = std::vector<std::unique_ptr<TDibGraphic>>;

// Three pages of different formats and sizes (black and white with its own two colours, which
// every format keeps).
TPages SamplePages() {
  TPages pages;
  int seed = 1;
  for (const auto& [format, width, height] :
       {std::tuple{TImageFormat::BlackWhite, 21, 9}, std::tuple{TImageFormat::Color256, 8, 13},
        std::tuple{TImageFormat::TrueColor, 11, 6}}) {
    pages.push_back(std::make_unique<TDibGraphic>());
    if (format == TImageFormat::BlackWhite) {
      pages.back()->NewImage(width, height, format, nullptr, 0, 0);
      FillPattern(*pages.back(), static_cast<unsigned>(seed++));
    } else {
      MakeImage(*pages.back(), format, width, height, static_cast<unsigned>(seed++));
    }
  }
  return pages;
}

int PageCountOf(const std::string& file) {
  std::unique_ptr<TDibGraphic> reader = CreateGraphicForFile(file);
  TFileStream stream(file, TFileMode::fmOpenRead);
  return reader->GetImageCount(stream);
}

std::unique_ptr<TDibGraphic> ReadPage(const std::string& file, int page) {
  std::unique_ptr<TDibGraphic> image = CreateGraphicForFile(file);
  image->SetImageIndex(page);
  image->LoadFromFile(file);
  return image;
}

struct TRoundTrip {
  const char* Name;
  TPageCommit Commit;
};

class MultiPageWriterRoundTrip : public ::testing::TestWithParam<std::tuple<const char*, TRoundTrip>> {};

TEST_P(MultiPageWriterRoundTrip, EveryPageReadsBackInOrder) {
  RegisterStandardGraphicFormats();
  const auto& [extension, mode] = GetParam();
  TScratchFolder folder;
  const std::string target = folder / (std::string("pages.") + extension);
  const TPages pages = SamplePages();
  std::vector<int> numbers;
  {
    TMultiPageWriter file(target, mode.Commit);
    file.OnBeforePage = [&](TDibGraphic& page, int number) {
      numbers.push_back(number);
      if (auto* tiff = dynamic_cast<TTiffGraphic*>(&page); tiff && number == 2)
        tiff->SetCompression(TTiffCompression::tcZLib);
    };
    for (const auto& page : pages) file.AddPageCopy(*page);
    EXPECT_EQ(file.PageCount(), 3);
    EXPECT_TRUE(file.Commit());
  }
  EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(folder.List(), std::vector<std::string>{std::string("pages.") + extension});
  ASSERT_EQ(PageCountOf(target), 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i + 1);
    const std::unique_ptr<TDibGraphic> back = ReadPage(target, i + 1);
    const TDibGraphic& page = *pages[static_cast<size_t>(i)];
    EXPECT_TRUE(SameIndices(*back, page));
    // The copies start with the class's own compression; the hook changed the second page's.
    const TTiffCompression own =
        page.ImageFormat() == TImageFormat::BlackWhite ? TTiffCompression::tcGroup4 : TTiffCompression::tcPackbits;
    if (auto* tiff = dynamic_cast<TTiffGraphic*>(back.get())) {
      EXPECT_EQ(tiff->Compression(), i == 1 ? TTiffCompression::tcZLib : own);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, MultiPageWriterRoundTrip,
                         ::testing::Combine(::testing::Values("tif", "dcx"),
                                            ::testing::Values(TRoundTrip{"AtEnd", TPageCommit::pcAtEnd},
                                                              TRoundTrip{"EachPage", TPageCommit::pcEachPage})),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param)) + std::get<1>(info.param).Name;
                         });

TEST(MultiPageWriter, AddPageWritesThePageAsItIsAndCopiesLeaveTheSourceAlone) {
  RegisterStandardGraphicFormats();
  TScratchFolder folder;
  const std::string target = folder / "two.tif";
  TTiffGraphic own;
  MakeImage(own, TImageFormat::Gray256, 5, 4, 7);
  own.SetCompression(TTiffCompression::tcJpeg);
  TTiffGraphic source;
  MakeImage(source, TImageFormat::Gray256, 5, 4, 8);
  source.SetCompression(TTiffCompression::tcNone);
  TMultiPageWriter file(target);
  file.AddPage(own);
  file.OnBeforePage = [](TDibGraphic& page, int) {
    static_cast<TTiffGraphic&>(page).SetCompression(TTiffCompression::tcZLib);
  };
  file.AddPageCopy(source);
  file.Commit();
  EXPECT_EQ(dynamic_cast<TTiffGraphic&>(*ReadPage(target, 1)).Compression(), TTiffCompression::tcJpeg);
  EXPECT_EQ(dynamic_cast<TTiffGraphic&>(*ReadPage(target, 2)).Compression(), TTiffCompression::tcZLib);
  EXPECT_EQ(source.Compression(), TTiffCompression::tcNone) << "the copy took the setting, not the source";
}

// A page that fails (here an empty image, which no writer takes) ends the writer at once.
TEST(MultiPageWriter, AFailedPageLeavesTheTargetAsItWasAndNothingBeside) {
  RegisterStandardGraphicFormats();
  for (const char* extension : {"tif", "dcx"}) {
    SCOPED_TRACE(extension);
    TScratchFolder folder;
    const std::string target = folder / (std::string("old.") + extension);
    const std::vector<uint8_t> old{'o', 'l', 'd'};
    PutFileBytes(target, old);
    const TPages pages = SamplePages();
    TMultiPageWriter file(target);
    file.AddPageCopy(*pages[0]);
    file.AddPageCopy(*pages[1]);
    EXPECT_ANY_THROW(file.AddPageCopy(TDibGraphic()));
    EXPECT_EQ(folder.List(), std::vector<std::string>{std::string("old.") + extension}) << "temporary file gone";
    const std::string closed = "No further page can be written to \"" + target + "\"";
    EXPECT_EQ(MessageOf([&] { file.AddPageCopy(*pages[2]); }), closed);
    EXPECT_EQ(MessageOf([&] { file.Commit(); }), closed);
    EXPECT_EQ(FileBytes(target), old);
  }
}

TEST(MultiPageWriter, WithoutPagesOrCommitNothingIsWritten) {
  RegisterStandardGraphicFormats();
  TScratchFolder folder;
  const std::string fresh = folder / "fresh.tif";
  const std::string old = folder / "old.tif";
  PutFileBytes(old, {1, 2, 3});
  for (const TPageCommit commit : {TPageCommit::pcAtEnd, TPageCommit::pcEachPage}) {
    TMultiPageWriter file(fresh, commit);
    EXPECT_EQ(folder.List().size(), 2u) << "the temporary file exists while the writer does";
    EXPECT_FALSE(file.Commit()) << "no page";
  }
  {
    TMultiPageWriter file(old);
    file.AddPageCopy(*SamplePages()[0]);
  }  // no Commit
  {
    TMultiPageWriter file(old);
    file.AddPageCopy(*SamplePages()[0]);
    EXPECT_FALSE(file.Commit(false)) << "an existing target is kept without Overwrite";
  }
  EXPECT_EQ(folder.List(), std::vector<std::string>{"old.tif"});
  EXPECT_EQ(FileBytes(old), (std::vector<uint8_t>{1, 2, 3}));
}

// Pages that arrive one by one are each in the target once stored, also when a later one fails
// or the writer goes without Commit.
TEST(MultiPageWriter, EachPageIsKeptOnceStored) {
  RegisterStandardGraphicFormats();
  for (const char* extension : {"tif", "dcx"}) {
    SCOPED_TRACE(extension);
    TScratchFolder folder;
    const std::string target = folder / (std::string("scan.") + extension);
    PutFileBytes(target, {'o', 'l', 'd'});
    const TPages pages = SamplePages();
    {
      TMultiPageWriter file(target, TPageCommit::pcEachPage);
      for (size_t i = 0; i < pages.size(); ++i) {
        file.AddPageCopy(*pages[i]);
        ASSERT_EQ(PageCountOf(target), static_cast<int>(i + 1));
        EXPECT_TRUE(SameIndices(*ReadPage(target, static_cast<int>(i + 1)), *pages[i]));
      }
      EXPECT_ANY_THROW(file.AddPageCopy(TDibGraphic()));
    }
    EXPECT_EQ(PageCountOf(target), 3);
    EXPECT_TRUE(SameIndices(*ReadPage(target, 3), *pages[2]));
    EXPECT_EQ(folder.List(), std::vector<std::string>{std::string("scan.") + extension});
  }
}

// Pages as text: a count in front that every append rewrites (twice, as a format may rewrite a
// link), then the pages. An append asked to fail does so after changing the count and adding data.
class TCountedPages : public TDibGraphic {
 public:
  void SaveToStream(TStream& stream) override { stream.WriteBuffer("1|a", 3); }
  void AppendToStream(TStream& stream) override {
    const int64_t size = stream.Size();
    char count = 0;
    stream.ReadBuffer(&count, 1);
    for (const char c : {'9', static_cast<char>(count + 1)}) {
      stream.Seek(0, TSeekOrigin::soBeginning);
      stream.WriteBuffer(&c, 1);
    }
    stream.Seek(size, TSeekOrigin::soBeginning);
    stream.WriteBuffer("|b", 2);
    if (FailAppend) throw EWriteError("Stream write error");
  }
  bool FailAppend = false;
};

TEST(MultiPageWriter, AFailedAppendIsUndoneAndThePagesStoredStay) {
  TScratchFolder folder;
  const std::string target = folder / "pages.txt";
  TCountedPages pages;
  TMultiPageWriter file(target, TPageCommit::pcEachPage);
  file.AddPage(pages);
  file.AddPage(pages);
  EXPECT_EQ(FileBytes(target), (std::vector<uint8_t>{'2', '|', 'a', '|', 'b'}));
  pages.FailAppend = true;
  EXPECT_THROW(file.AddPage(pages), EWriteError);
  EXPECT_EQ(FileBytes(target), (std::vector<uint8_t>{'2', '|', 'a', '|', 'b'}));
  EXPECT_EQ(file.PageCount(), 2);
}

TEST(MultiPageWriter, FormatsOfOneImageRefuseTheSecondPage) {
  RegisterStandardGraphicFormats();
  TScratchFolder folder;
  const TPages pages = SamplePages();
  TMultiPageWriter png(folder / "one.png");
  png.AddPageCopy(*pages[2]);
  EXPECT_EQ(MessageOf([&] { png.AddPageCopy(*pages[2]); }), "The TPngGraphic format does not support multiple images");
  TMultiPageWriter unknown(folder / "x.qqq");
  EXPECT_EQ(MessageOf([&] { unknown.AddPageCopy(*pages[0]); }),
            "Graphic files of .qqq format are not supported or not registered");
  EXPECT_EQ(
      MessageOf([] { TMultiPageWriter(std::string("/nonexistent-folder/x.tif")); }).rfind("Cannot create file", 0), 0u);
}

}  // namespace
