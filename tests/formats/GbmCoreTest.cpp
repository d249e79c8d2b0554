// The library core: format table, format guessing, option words, messages, byte reader, bridge.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "FormatTestUtil.h"
#include "formats/QvDcxGr.h"
#include "formats/QvGbm.h"
#include "formats/QvTgaGr.h"
#include "gbm/gbm.h"
#include "model/QvLimits.h"
#include "support/FailingStream.h"

using namespace quorvane;

using namespace qvtest;

TEST(GbmCore, FormatTableInFixedOrder) {
  int n = 0;
  ASSERT_EQ(gbm_query_n_filetypes(&n), GBM_ERR_OK);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(gbm_query_n_filetypes(nullptr), GBM_ERR_BAD_ARG);
  const char* shortNames[] = {"Bitmap", "PCX", "Targa"};
  const char* extensions[] = {"BMP VGA BGA RLE DIB RL4 RL8", "PCX PCC", "TGA VST AFI"};
  const uint32_t flags[] = {0xFF, 0xFF, 0xCC};
  for (int i = 0; i < 3; ++i) {
    gbm_filetype ft{};
    ASSERT_EQ(gbm_query_filetype(i, &ft), GBM_ERR_OK);
    EXPECT_STREQ(ft.short_name, shortNames[i]);
    EXPECT_STREQ(ft.extensions, extensions[i]);
    EXPECT_EQ(ft.flags, flags[i]);
  }
  gbm_filetype ft{};
  gbm_query_filetype(1, &ft);
  EXPECT_STREQ(ft.long_name, "ZSoft PC Paintbrush Image format");
  EXPECT_EQ(gbm_query_filetype(0, nullptr), GBM_ERR_BAD_ARG);
}

TEST(GbmCore, GuessFiletypeByExtension) {
  const std::pair<const char*, int> cases[] = {{"a.pcx", 1}, {"A.PcC", 1}, {"dir.x/File.TGA", 2},
                                               {"x.vst", 2}, {"x.afi", 2}, {"x.bmp", 0},
                                               {"x.rl8", 0}, {"x.Dib", 0}, {"x.tar.gz.vga", 0}};
  for (const auto& [name, expected] : cases) {
    int ft = -1;
    EXPECT_EQ(gbm_guess_filetype(name, &ft), GBM_ERR_OK) << name;
    EXPECT_EQ(ft, expected) << name;
  }
  int ft = 0;
  for (const char* name : {"noextension", "dir.pcx\\file", "dir.pcx/file", "x.", "x.pc", "x.pcxx", ""})
    EXPECT_EQ(gbm_guess_filetype(name, &ft), GBM_ERR_NOT_FOUND) << name;
  EXPECT_EQ(gbm_guess_filetype(nullptr, &ft), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_guess_filetype("a.pcx", nullptr), GBM_ERR_BAD_ARG);
}

TEST(GbmCore, FindWordMatchesWholeWordsOnly) {
  const char* opt = "16, ydown\tTrunc";
  EXPECT_EQ(gbm_find_word(opt, "ydown"), opt + 4);
  EXPECT_EQ(gbm_find_word(opt, "16"), opt);
  EXPECT_EQ(gbm_find_word(opt, "YDOWN"), opt + 4);
  EXPECT_EQ(gbm_find_word(opt, "trunc"), opt + 10);
  EXPECT_EQ(gbm_find_word(opt, "down"), nullptr);
  EXPECT_EQ(gbm_find_word(opt, "1"), nullptr);
  EXPECT_EQ(gbm_find_word(opt, "ydow"), nullptr);
  EXPECT_EQ(gbm_find_word("", "16"), nullptr);
  const char* inv = "inv invb";
  EXPECT_EQ(gbm_find_word(inv, "invb"), inv + 4);
  const char* both = "invb inv";
  EXPECT_EQ(gbm_find_word(both, "inv"), both + 5);
}

TEST(GbmCore, FindWordHasNoLengthLimitAndNoSharedState) {
  // Options longer than a fixed splitting buffer are searched in full.
  std::string longOpt(300, ',');
  longOpt += "lightfg";
  EXPECT_NE(gbm_find_word(longOpt.c_str(), "lightfg"), nullptr);
  // Splitting keeps no state between calls: threads searching at once all get their answers.
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&failures, t]() {
      const std::string opt = "a b c word" + std::to_string(t) + " d e";
      for (int i = 0; i < 20000; ++i)
        if (gbm_find_word(opt.c_str(), ("word" + std::to_string(t)).c_str()) != opt.c_str() + 6) ++failures;
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, 0);
}

TEST(GbmCore, MessagesOfResultCodes) {
  EXPECT_STREQ(gbm_err(0), "ok");
  EXPECT_STREQ(gbm_err(5), "bad magic number / signiture block");
  EXPECT_STREQ(gbm_err(9), "bad argument to gbm function");
  EXPECT_STREQ(gbm_err(300), "number of bitmap planes is not 1");
  EXPECT_STREQ(gbm_err(304), "less bitmaps in file than index requested");
  EXPECT_STREQ(gbm_err(401), "unsupported compression type for bits per pixel");
  EXPECT_STREQ(gbm_err(701), "encoding mode not 1");
  EXPECT_STREQ(gbm_err(703), "corrupt file trailer");
  EXPECT_STREQ(gbm_err(10), "general error");
  EXPECT_STREQ(gbm_err(500), "general error");
  EXPECT_STREQ(gbm_err(-1), "general error");
}

TEST(GbmCore, MissingArgumentsGiveCode9) {
  TMemoryStream s;
  gbm_header h{};
  gbm_rgb pal[256];
  uint8_t data[4];
  EXPECT_EQ(gbm_read_header(nullptr, TGbmStream(s).Handle(), 1, &h, ""), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_read_header("a.pcx", TGbmStream(s).Handle(), 1, nullptr, ""), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_read_header("a.pcx", TGbmStream(s).Handle(), 1, &h, nullptr), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_read_palette(TGbmStream(s).Handle(), 1, &h, nullptr), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_read_data(TGbmStream(s).Handle(), 1, &h, nullptr), GBM_ERR_BAD_ARG);
  h.w = h.h = 1;
  h.bpp = 8;
  EXPECT_EQ(gbm_write(nullptr, TGbmStream(s).Handle(), 1, &h, pal, data, ""), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_write("a.pcx", TGbmStream(s).Handle(), 1, &h, pal, data, nullptr), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_write("a.pcx", TGbmStream(s).Handle(), 1, &h, pal, nullptr, ""), GBM_ERR_BAD_ARG);
  h.w = 0;
  EXPECT_EQ(gbm_write("a.pcx", TGbmStream(s).Handle(), 1, &h, pal, data, ""), GBM_ERR_BAD_SIZE);
  EXPECT_EQ(s.Size(), 0);
}

// A stream that counts the read calls made on it.
class TCountingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  size_t Read(void* buffer, size_t count) override {
    ++Reads;
    return TMemoryStream::Read(buffer, count);
  }
  int Reads = 0;
};

TEST(GbmCore, ByteReaderReadsBlocksAndRepeatsEnd) {
  Bytes data(GBM_BYTE_READER_SIZE + 10);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  TCountingStream s(data);
  TGbmStream handle(s);
  auto reader = gbm_create_byte_reader(handle.Handle());
  ASSERT_TRUE(reader);
  for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(gbm_read_byte(*reader), data[i]) << i;
  EXPECT_EQ(s.Reads, 2);
  EXPECT_EQ(gbm_read_byte(*reader), -1);
  EXPECT_EQ(gbm_read_byte(*reader), -1);
  EXPECT_EQ(s.Reads, 4);  // every call past the end asks the stream again

  TMemoryStream t(Bytes{1, 2, 3});
  TGbmStream bulkHandle(t);
  auto bulk = gbm_create_byte_reader(bulkHandle.Handle());
  uint8_t out[6];
  EXPECT_EQ(gbm_read_byte(*bulk), 1);
  EXPECT_EQ(gbm_read_bytes(*bulk, out, 4), 2u);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{2, 3, 255, 255}));
}

TEST(GbmCore, DefaultFileOperationsOverSystemFiles) {
  const TScratchFolder folder;
  const std::string path = folder / "io.bin";
  gbm_fd fd = gbm_file_create(path.c_str(), GBM_O_WRONLY);
  ASSERT_NE(fd, nullptr);
  EXPECT_EQ(gbm_file_write(fd, "abcdef", 6), 6);
  EXPECT_EQ(gbm_file_close(fd), 0);
  fd = gbm_file_open(path.c_str(), GBM_O_RDONLY);
  ASSERT_NE(fd, nullptr);
  char buf[8] = {};
  EXPECT_EQ(gbm_file_lseek(fd, -2, GBM_SEEK_END), 4);
  EXPECT_EQ(gbm_file_read(fd, buf, 8), 2);
  EXPECT_EQ(gbm_file_lseek(fd, 1, GBM_SEEK_SET), 1);
  EXPECT_EQ(gbm_file_lseek(fd, 2, 7), 3);  // any other origin counts as the current position
  EXPECT_EQ(gbm_file_read(fd, buf, 8), 3);
  EXPECT_EQ(std::string(buf, 3), "def");
  EXPECT_EQ(gbm_file_close(fd), 0);
  EXPECT_EQ(gbm_file_open((path + ".missing").c_str(), GBM_O_RDONLY), nullptr);
}

TEST(GbmBridge, UnknownHintAndBadFiles) {
  TMemoryStream s(Bytes(200, 0));
  TDibGraphic image;
  EXPECT_EQ(MessageOf<EGbmError>([&] { GbmReadImage(s, image, "File"); }), "gbm_guess_filetype failed.");
  EXPECT_EQ(MessageOf<EGbmError>([&] { GbmReadImage(s, image, "dir.pcx\\File"); }), "gbm_guess_filetype failed.");
  s.SetPosition(0);
  EXPECT_EQ(MessageOf<EGbmError>([&] { GbmReadImage(s, image, "File.pcx"); }), "gbm_read_header failed.");
  TDibGraphic empty;
  TMemoryStream out;
  EXPECT_EQ(MessageOf<EGbmError>([&] { GbmWriteImage(out, empty, "File.pcx"); }), "gbm_write failed.");
  MakeImage(image, TImageFormat::TrueColor, 4, 4);
  EXPECT_EQ(MessageOf<EGbmError>([&] { GbmWriteImage(out, image, "File.xyz"); }), "gbm_guess_filetype failed.");
}

TEST(GbmBridge, WritePassesPaletteAndBitsOfEachFormat) {
  // Through BMP, which stores the palette as given: a Gray16 image is written with 4 bits and its
  // palette, a TrueColor image with none.
  TDibGraphic image;
  image.NewImage(5, 3, TImageFormat::Gray16, nullptr, 0, 0);
  FillPattern(image);
  TMemoryStream s;
  GbmWriteImage(s, image, "x.bmp");
  EXPECT_EQ(Get16(s.Data(), 28), 4);
  EXPECT_EQ(Get32(s.Data(), 10), 54u + 64u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(s.Data()[54 + 4 * i + 2], image.PaletteRecord().Entries[i].Red);
  TDibGraphic back;
  s.SetPosition(0);
  GbmReadImage(s, back, "x.bmp");
  EXPECT_EQ(back.ImageFormat(), TImageFormat::Color16);
  EXPECT_TRUE(SameIndices(image, back));
}

namespace {

// Counting wrappers around the bridge's file operations.
std::atomic<int> gReads{0}, gWrites{0};
std::atomic<int64_t> gSmallestRead{INT64_MAX};
int64_t CountingRead(gbm_fd fd, void* buf, int64_t len) {
  ++gReads;
  int64_t smallest = gSmallestRead;
  while (len < smallest && !gSmallestRead.compare_exchange_weak(smallest, len)) {
  }
  return GbmStreamOperations().read(fd, buf, len);
}
int64_t CountingWrite(gbm_fd fd, const void* buf, int64_t len) {
  ++gWrites;
  return GbmStreamOperations().write(fd, buf, len);
}

struct TCountingIo {
  TCountingIo() {
    gReads = gWrites = 0;
    gSmallestRead = INT64_MAX;
    const gbm_io_table& t = GbmStreamOperations();
    gbm_io_setup(t.open, t.create, t.close, t.lseek, CountingRead, CountingWrite);
  }
  ~TCountingIo() {
    const gbm_io_table& t = GbmStreamOperations();
    gbm_io_setup(t.open, t.create, t.close, t.lseek, t.read, t.write);
  }
};

}  // namespace

TEST(GbmCore, RunLengthCodecsUseBlockReadsAndWholeLineWrites) {
  TDibGraphic image;
  MakeImage(image, TImageFormat::TrueColor, 300, 200);
  TMemoryStream s;
  {
    TCountingIo io;
    GbmWriteImage(s, image, "f.pcx");
    EXPECT_EQ(gWrites, 1 + 200 * 3);  // the header, then one write per plane line
  }
  {
    TCountingIo io;
    s.SetPosition(0);
    TDibGraphic back;
    GbmReadImage(s, back, "f.pcx");
    EXPECT_TRUE(SamePicture(image, back));
    EXPECT_LE(gReads, 2 + static_cast<int>(s.Size() / GBM_BYTE_READER_SIZE) + 2);
  }
  TDibGraphic gray;
  MakeImage(gray, TImageFormat::Color256, 300, 200);
  TMemoryStream t;
  {
    TCountingIo io;
    GbmWriteImage(t, gray, "f.tga");
    EXPECT_EQ(gWrites, 2 + 200);  // header, colour map, rows
  }
}

TEST(GbmCore, ConversionsRunOnSeveralThreadsAtOnce) {
  const char* hints[] = {"a.pcx", "a.tga", "a.bmp", "a.pcc"};
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t]() {
      for (int i = 0; i < 20; ++i) {
        TDibGraphic image;
        MakeImage(image, t == 2 ? TImageFormat::Color16 : TImageFormat::TrueColor, 40 + i, 30, i + 1);
        TMemoryStream s;
        GbmWriteImage(s, image, hints[t]);
        s.SetPosition(0);
        TDibGraphic back;
        GbmReadImage(s, back, hints[t], "trunc inv ydown");
        if (!SameIndices(image, back)) ++failures;
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures, 0);
}

namespace {

const char* const kDataEnded = " pixel data ends early: the file is cut short and the missing pixels are filled in.";

}  // namespace

TEST(GbmBridge, FilesCutShortReadWithAWarningNamingWhatEnded) {
  struct TCase {
    const char* File;
    const char* Hint;
    std::vector<std::string> Warnings;
    std::vector<std::pair<std::pair<int, int>, TColorValue>> Pixels;
  };
  const TCase cases[] = {
      {"pcx-pixel-data-cut-short.pcx",
       "File.pcx",
       {std::string("The PCX") + kDataEnded},
       {{{0, 0}, 0x000000}, {{1, 0}, 0xFFFFFF}, {{2, 2}, 0x000000}, {{2, 3}, 0xFFFFFF}, {{0, 7}, 0xFFFFFF}}},
      {"tga-rle-cut-inside-packet.tga",
       "File.tga",
       {std::string("The Targa") + kDataEnded},
       {{{0, 1}, PackColor(1, 2, 3)}, {{0, 0}, PackColor(4, 255, 255)}, {{1, 0}, 0xFFFFFF}}},
      {"bmp-pixel-data-cut-short.bmp",
       "File.bmp",
       {std::string("The Bitmap") + kDataEnded},
       {{{3, 3}, PackColor(10, 20, 30)}, {{0, 2}, PackColor(40, 50, 60)}, {{0, 0}, 0}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.File);
    TMemoryStream s(FileBytes(RegressionFile(c.File)));
    TDibGraphic image;
    GbmReadImage(s, image, c.Hint);
    EXPECT_EQ(image.Warnings(), c.Warnings);
    for (const auto& [at, colour] : c.Pixels) EXPECT_EQ(image.GetPixel(at.first, at.second), colour);
  }

  // A colour table cut short: the palette first, then the pixels that are missing too.
  Bytes bmp = {'B', 'M'};
  Put32(bmp, 0);
  Put32(bmp, 0);
  Put32(bmp, 54 + 1024);
  Append(bmp, {40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 8, 0});
  bmp.resize(54 + 40, 0);
  TMemoryStream s(bmp);
  TDibGraphic image;
  GbmReadImage(s, image, "File.bmp");
  EXPECT_EQ(image.Warnings(),
            (std::vector<std::string>{
                "The Bitmap palette ends early: the file is cut short and the missing entries are black.",
                std::string("The Bitmap") + kDataEnded}));
}

TEST(GbmBridge, CompleteFilesGiveNoWarnings) {
  for (const char* hint : {"File.pcx", "File.tga", "File.bmp"})
    for (TImageFormat format :
         {TImageFormat::BlackWhite, TImageFormat::Color16, TImageFormat::Color256, TImageFormat::TrueColor}) {
      if (std::string(hint) == "File.tga" && ImageFormatBits(format) < 8) continue;
      TDibGraphic image;
      MakeImage(image, format, 13, 5);
      TMemoryStream s;
      GbmWriteImage(s, image, hint);
      s.SetPosition(0);
      TDibGraphic back;
      back.AddWarning("left over from an earlier load");
      back.ClearWarnings();
      GbmReadImage(s, back, hint);
      EXPECT_TRUE(back.Warnings().empty()) << hint << " " << ImageFormatBits(format);
    }
}

TEST(GbmBridge, StreamExceptionsComeOutUnchangedAfterTheLibraryCall) {
  TDibGraphic image;
  MakeImage(image, TImageFormat::TrueColor, 40, 30);
  TMemoryStream good;
  GbmWriteImage(good, image, "File.pcx");
  for (int64_t budget : {int64_t{10}, int64_t{128}, int64_t{500}, good.Size() - 10}) {
    TFailingStream in(good.Data(), static_cast<size_t>(budget));
    TDibGraphic back;
    EXPECT_EQ(MessageOf<EReadError>([&] { GbmReadImage(in, back, "File.pcx"); }), kReadGone) << budget;
    TFailingStream out({}, static_cast<size_t>(budget));
    EXPECT_EQ(MessageOf<EWriteError>([&] { GbmWriteImage(out, image, "File.pcx"); }), kWriteGone) << budget;
  }
}

TEST(GbmBridge, HeaderSizedBuffersStayWithinTheMemoryLimit) {
  // One pixel per row, but plane lines of 65534 bytes each: the line buffer is refused.
  Bytes b(128, 0);
  b[0] = 10;
  b[1] = 5;
  b[2] = 1;
  b[3] = 8;
  b[65] = 3;
  b[66] = 0xFE;
  b[67] = 0xFF;
  const TImageLimits saved = ImageLimits();
  TImageLimits small = saved;
  small.MaxMemory = 32 * 1024;
  SetImageLimits(small);
  TMemoryStream s(b);
  TDibGraphic image;
  const std::string message = MessageOf<EQuorvaneError>([&] { GbmReadImage(s, image, "File.pcx"); });
  SetImageLimits(saved);
  EXPECT_EQ(message, "CreateDibSection failed");
  s.SetPosition(0);
  GbmReadImage(s, image, "File.pcx");  // within the default limits
  EXPECT_EQ(image.Width(), 1);
}

TEST(GbmBridge, OpenAndCreateOperationsMakeStreamsOfTheirOwn) {
  const gbm_io_table& io = GbmStreamOperations();
  const TScratchFolder folder;
  const std::string path = folder / "io.bin";
  gbm_fd fd = io.create(path.c_str(), GBM_O_WRONLY);
  ASSERT_NE(fd, nullptr);
  EXPECT_EQ(io.write(fd, "abcdef", 6), 6);
  EXPECT_EQ(io.close(fd), 0);
  fd = io.open(path.c_str(), GBM_O_RDONLY);
  ASSERT_NE(fd, nullptr);
  char buf[8] = {};
  EXPECT_EQ(io.lseek(fd, -3, GBM_SEEK_END), 3);
  EXPECT_EQ(io.read(fd, buf, 8), 3);
  EXPECT_EQ(std::string(buf, 3), "def");
  EXPECT_EQ(io.close(fd), 0);
  EXPECT_EQ(io.open((path + ".missing").c_str(), GBM_O_RDONLY), nullptr);
}

TEST(GbmBridge, ImageClassesReportWarningsOfTheirLastLoadOnly) {
  const Bytes cutPcx = FileBytes(RegressionFile("pcx-pixel-data-cut-short.pcx"));
  Bytes cutDcx;
  Put32(cutDcx, TDcxGraphic::kSignature);
  Put32(cutDcx, 12);
  Put32(cutDcx, 0);
  cutDcx.insert(cutDcx.end(), cutPcx.begin(), cutPcx.end());
  struct TCase {
    std::unique_ptr<TDibGraphic> Image;
    Bytes Cut;
    std::string Warning;
  };
  TCase cases[3];
  cases[0] = {std::make_unique<TPcxGraphic>(), cutPcx, std::string("The PCX") + kDataEnded};
  cases[1] = {std::make_unique<TTgaGraphic>(), FileBytes(RegressionFile("tga-rle-cut-inside-packet.tga")),
              std::string("The Targa") + kDataEnded};
  cases[2] = {std::make_unique<TDcxGraphic>(), cutDcx, std::string("The PCX") + kDataEnded};
  for (TCase& c : cases) {
    SCOPED_TRACE(c.Image->ClassName());
    TMemoryStream cut(c.Cut);
    c.Image->LoadFromStream(cut);
    EXPECT_EQ(c.Image->Warnings(), std::vector<std::string>{c.Warning});

    std::unique_ptr<TDibGraphic> writer = c.Image->ClassType().Create();
    MakeImage(*writer, TImageFormat::TrueColor, 4, 4);
    TMemoryStream good;
    writer->SaveToStream(good);
    good.SetPosition(0);
    c.Image->LoadFromStream(good);
    EXPECT_TRUE(c.Image->Warnings().empty());
  }

  // Every page's warnings are gathered into the image that loaded the pages as frames.
  Bytes twoPages;
  Put32(twoPages, TDcxGraphic::kSignature);
  Put32(twoPages, 16);
  Put32(twoPages, static_cast<uint32_t>(16 + cutPcx.size()));
  Put32(twoPages, 0);
  twoPages.insert(twoPages.end(), cutPcx.begin(), cutPcx.end());
  twoPages.insert(twoPages.end(), cutPcx.begin(), cutPcx.end());
  TMemoryStream s(twoPages);
  TDcxGraphic frames;
  frames.SetMultiImage(true);
  frames.LoadFromStream(s);
  EXPECT_EQ(frames.FrameCount(), 2);
  EXPECT_EQ(frames.Warnings(), std::vector<std::string>(2, std::string("The PCX") + kDataEnded));
}
