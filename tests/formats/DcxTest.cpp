// DCX container: layout, paging, appending, capacity and invalid tables.
#include <gtest/gtest.h>

#include "FormatTestUtil.h"
#include "formats/QvDcxGr.h"
#include "formats/QvGbm.h"

using namespace quorvane;

using namespace qvtest;

namespace {

const char* const kNotValid = "The DCX file header is not valid";

void AppendPage(TMemoryStream& s, TImageFormat format, int w, int h, unsigned seed) {
  TDcxGraphic page;
  MakeImage(page, format, w, h, seed);
  page.AppendToStream(s);
}

}  // namespace

TEST(Dcx, NewContainerLayout) {
  TDcxGraphic image;
  MakeImage(image, TImageFormat::Color16, 5, 4);
  TMemoryStream s;
  image.SaveToStream(s);
  const Bytes& b = s.Data();
  EXPECT_EQ(Get32(b, 0), 987654321u);
  EXPECT_EQ(Get32(b, 4), 4100u);
  for (int i = 2; i <= 1024; ++i) ASSERT_EQ(Get32(b, 4 * static_cast<size_t>(i)), 0u) << i;
  EXPECT_EQ(b[4100], 10);  // the PCX page starts right after the table

  TMemoryStream appended;
  image.AppendToStream(appended);
  EXPECT_EQ(appended.Data(), s.Data());
}

TEST(Dcx, PagesAreCountedAndReadByNumber) {
  TMemoryStream s;
  AppendPage(s, TImageFormat::TrueColor, 3, 2, 1);
  AppendPage(s, TImageFormat::Color256, 7, 5, 2);  // its palette trailer ends its own extent
  AppendPage(s, TImageFormat::BlackWhite, 9, 3, 3);
  TDcxGraphic reader;
  s.SetPosition(0);
  EXPECT_EQ(reader.GetImageCount(s), 3);

  for (int page = 1; page <= 3; ++page) {
    TDcxGraphic expected;
    const TImageFormat formats[] = {TImageFormat::TrueColor, TImageFormat::Color256, TImageFormat::BlackWhite};
    const int widths[] = {3, 7, 9}, heights[] = {2, 5, 3};
    MakeImage(expected, formats[page - 1], widths[page - 1], heights[page - 1], static_cast<unsigned>(page));
    s.SetPosition(0);
    TDcxGraphic image;
    image.LoadImageFromStream(s, page);
    if (page == 3)
      EXPECT_EQ(image.Width(), 9);  // 1-bit pages keep brighter-is-set, not the palette order
    else
      EXPECT_TRUE(SameIndices(expected, image)) << page;
  }
  s.SetPosition(0);
  TDcxGraphic image;
  EXPECT_EQ(MessageOf<EDcxError>([&] { image.LoadImageFromStream(s, 4); }), kNotValid);
  s.SetPosition(0);
  EXPECT_EQ(MessageOf<EDcxError>([&] { image.LoadImageFromStream(s, 0); }), kNotValid);
}

TEST(Dcx, MultiImageLoadGivesOneFramePerPage) {
  const TScratchFolder folder;
  const std::string path = folder / "frames.dcx";
  {
    TMemoryStream s;
    for (unsigned i = 1; i <= 3; ++i) AppendPage(s, TImageFormat::Color256, 4, 4, i);
    s.SaveToFile(path);
  }
  TDcxGraphic image;
  image.SetMultiImage(true);
  image.LoadFromFile(path);
  ASSERT_EQ(image.FrameCount(), 3);
  EXPECT_EQ(image.GetFrame(2).ClassName(), "TDcxGraphic");
  TDcxGraphic second;
  MakeImage(second, TImageFormat::Color256, 4, 4, 2);
  EXPECT_TRUE(SameIndices(second, image.GetFrame(2)));
  TDcxGraphic single;
  single.SetImageIndex(3);
  single.LoadFromFile(path);
  TDcxGraphic third;
  MakeImage(third, TImageFormat::Color256, 4, 4, 3);
  EXPECT_TRUE(SameIndices(third, single));
}

TEST(Dcx, CapacityIs1023Pages) {
  TMemoryStream s;
  TDcxGraphic page;
  page.NewImage(1, 1, TImageFormat::BlackWhite, nullptr, 0, 0);
  for (int i = 0; i < 1022; ++i) page.AppendToStream(s);
  page.AppendToStream(s);  // the 1023rd fits
  s.SetPosition(0);
  EXPECT_EQ(page.GetImageCount(s), 1023);
  const Bytes before = s.Data();
  EXPECT_EQ(MessageOf<EDcxError>([&] { page.AppendToStream(s); }), "The DCX file header is full");
  EXPECT_EQ(s.Data(), before);
  s.SetPosition(0);
  TDcxGraphic last;
  last.LoadImageFromStream(s, 1023);
  EXPECT_EQ(last.Width(), 1);
}

TEST(Dcx, BadSignatureAndTables) {
  TMemoryStream bad(Bytes{1, 2, 3, 4, 0, 0, 0, 0});
  TDcxGraphic image;
  EXPECT_EQ(MessageOf<EDcxError>([&] { image.GetImageCount(bad); }), kNotValid);
  bad.SetPosition(0);
  EXPECT_EQ(MessageOf<EDcxError>([&] { image.LoadImageFromStream(bad, 1); }), kNotValid);
  MakeImage(image, TImageFormat::Color16, 2, 2);
  EXPECT_EQ(MessageOf<EDcxError>([&] { image.AppendToStream(bad); }), kNotValid);
  EXPECT_EQ(bad.Size(), 8);

  // Too short for the signature: the stream's own read error.
  TMemoryStream tiny(Bytes{1, 2});
  EXPECT_EQ(MessageOf<EReadError>([&] { image.GetImageCount(tiny); }), "Stream read error");

  // Empty table: nothing to append after.
  TMemoryStream empty(Bytes{0xB1, 0x68, 0xDE, 0x3A, 0, 0, 0, 0});
  EXPECT_EQ(MessageOf<EDcxError>([&] { image.AppendToStream(empty); }), kNotValid);

  auto load = [&](const char* name, int page) {
    TMemoryStream s(FileBytes(RegressionFile(name)));
    TDcxGraphic g;
    g.LoadImageFromStream(s, page);
  };
  load("dcx-table-not-increasing.dcx", 2);  // the second page lies before the first but ends at the end
  EXPECT_EQ(MessageOf<EDcxError>([&] { load("dcx-table-not-increasing.dcx", 1); }), kNotValid);
  EXPECT_EQ(MessageOf<EDcxError>([&] { load("dcx-offset-past-end.dcx", 1); }), kNotValid);
  EXPECT_EQ(MessageOf<EDcxError>([&] { load("dcx-offset-past-end.dcx", 2); }), kNotValid);
  TMemoryStream noEnd(FileBytes(RegressionFile("dcx-table-without-end.dcx")));
  EXPECT_EQ(MessageOf<EDcxError>([&] { image.GetImageCount(noEnd); }), kNotValid);
}

TEST(Dcx, TableWithoutRoomBeforeAnUnalignedFirstPage) {
  // The first page starts two bytes after the zero entry: a further entry would overwrite it.
  TDcxGraphic page;
  MakeImage(page, TImageFormat::Color16, 2, 2);
  TMemoryStream pcx;
  page.TPcxGraphic::SaveToStream(pcx);
  Bytes b;
  Put32(b, 987654321);
  Put32(b, 14);
  Put32(b, 0);
  Append(b, {0, 0});
  b.insert(b.end(), pcx.Data().begin(), pcx.Data().end());
  TMemoryStream s(b);
  EXPECT_EQ(MessageOf<EDcxError>([&] { page.AppendToStream(s); }), "The DCX file header is full");
  EXPECT_EQ(s.Data(), b);
  s.SetPosition(0);
  TDcxGraphic back;
  back.LoadImageFromStream(s, 1);
  EXPECT_TRUE(SameIndices(page, back));
}

TEST(Dcx, AppendRefusesFirstPagePastTheEnd) {
  // A table that names a first page the stream does not hold: the new page would be registered at
  // the current end but land after the grown table, so the container is refused unchanged.
  Bytes b;
  Put32(b, 987654321);
  Put32(b, 4100);
  Put32(b, 0);
  TMemoryStream s(b);
  TDcxGraphic page;
  MakeImage(page, TImageFormat::Color16, 2, 2);
  EXPECT_EQ(MessageOf<EDcxError>([&] { page.AppendToStream(s); }), kNotValid);
  EXPECT_EQ(s.Data(), b);
}

TEST(Dcx, PageTableEndsWithinTheFormatsEntries) {
  // Pages counted for a table of N non-zero entries and then a zero (-1: not valid).
  const std::pair<int, int> cases[] = {{0, 0}, {1, 1}, {1023, 1023}, {1024, -1}, {5000, -1}};
  for (const auto& [entries, expected] : cases) {
    Bytes b;
    Put32(b, TDcxGraphic::kSignature);
    for (int i = 0; i < entries; ++i) Put32(b, 4100);
    Put32(b, 0);
    TMemoryStream s(b);
    TDcxGraphic image;
    if (expected < 0) {
      EXPECT_EQ(MessageOf<EDcxError>([&] { image.GetImageCount(s); }), kNotValid) << entries;
      MakeImage(image, TImageFormat::BlackWhite, 2, 2);
      EXPECT_EQ(MessageOf<EDcxError>([&] { image.AppendToStream(s); }), kNotValid) << entries;
      EXPECT_EQ(s.Data(), b);
    } else {
      EXPECT_EQ(image.GetImageCount(s), expected) << entries;
    }
  }
  TMemoryStream crafted(FileBytes(RegressionFile("dcx-page-table-past-1024-entries.dcx")));
  TDcxGraphic image;
  EXPECT_EQ(MessageOf<EDcxError>([&] { image.GetImageCount(crafted); }), kNotValid);
  crafted.SetPosition(0);
  EXPECT_EQ(MessageOf<EDcxError>([&] { image.LoadImageFromStream(crafted, 1024); }), kNotValid);
  TMemoryStream empty(FileBytes(RegressionFile("dcx-empty-page-table.dcx")));
  EXPECT_EQ(image.GetImageCount(empty), 0);
}
