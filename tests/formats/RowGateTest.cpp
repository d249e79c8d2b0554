// Writing an image while it is read (formats/QvRowGate.h): the gate's order and failure rules,
// and every format that takes part, read slowly while a writer thread encodes the rows it is
// given: the file written is the one written after reading, and a reader that fails withdraws
// the rows it never read.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "FormatTestUtil.h"
#include "TiffTestUtil.h"
#include "formats/QvJpgGr.h"
#include "formats/QvPcxGr.h"
#include "formats/QvPngGr.h"
#include "formats/QvRowGate.h"
#include "formats/QvTifGr.h"

using namespace qvtest;

namespace {

// A memory stream that takes its time over every read, so that a writer that did not wait for
// its rows would overtake the reader.
class TSlowStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  size_t Read(void* buffer, size_t count) override {
    std::this_thread::sleep_for(std::chrono::microseconds(150));
    return TMemoryStream::Read(buffer, count);
  }
};

struct TTogether {
  Bytes Written;
  bool HandedOff = false;
  std::string ReadError, WriteError;
};

// Reads File into Image while a second thread writes Image, as the converter does.
TTogether ReadAndWriteTogether(const Bytes& file, TDibGraphic& image) {
  TTogether result;
  TRowGate gate;
  TMemoryStream out;
  std::thread writer;
  gate.OnHandOff = [&]() {
    writer = std::thread([&]() {
      try {
        const TRowWaitScope wait(image, gate);
        image.SaveToStream(out);
      } catch (const Exception& e) {
        result.WriteError = e.Message();
      }
    });
    return true;
  };
  try {
    const TRowReportScope report(image, gate);
    TSlowStream in(file);
    image.LoadFromStream(in);
    gate.Close(true);
  } catch (const Exception& e) {
    result.ReadError = e.Message();
    gate.Close(false);
  }
  result.HandedOff = gate.HandedOff();
  if (writer.joinable()) writer.join();
  result.Written = out.Data();
  return result;
}

// A picture with smooth parts, edges and noise, so that every coder has work to do.
void FillPicture(TDibGraphic& image) {
  uint32_t state = 3;
  for (int y = 0; y < image.Height(); ++y) {
    uint8_t* row = image.ScanLine(y);
    for (int i = 0; i < image.BytesPerLine(); ++i) {
      state = state * 1664525u + 1013904223u;
      row[i] = static_cast<uint8_t>((i / 7 + y / 3) % 200 + (y % 50 < 20 ? (state >> 28) : 0));
    }
  }
}

}  // namespace

TEST(RowGate, RowsAreReleasedInOrderAndWithdrawnOnFailure) {
  TRowGate gate;
  int handOffs = 0;
  gate.OnHandOff = [&]() { return ++handOffs > 0; };
  std::atomic<int> reached{0};
  std::atomic<bool> lastAnswer{true};
  std::thread writer([&]() {
    for (int row = 1; row <= 10; ++row) {
      if (!gate.WaitFor(row)) {
        lastAnswer = false;
        return;
      }
      reached = row;
    }
  });
  gate.Publish(3);
  while (reached < 3) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(reached, 3);  // row 4 is not given before it is published
  gate.Publish(2);        // a smaller count changes nothing
  gate.Publish(5);
  gate.Close(false);
  writer.join();
  EXPECT_EQ(reached, 5);
  EXPECT_FALSE(lastAnswer);
  EXPECT_EQ(handOffs, 1);
  EXPECT_TRUE(gate.HandedOff());
  EXPECT_FALSE(gate.WaitFor(6));
  EXPECT_TRUE(gate.WaitFor(5));

  TRowGate completed;
  completed.OnHandOff = [] { return true; };
  completed.Publish(1);
  completed.Close(true);
  EXPECT_TRUE(completed.WaitFor(1000000));
}

TEST(RowGate, DeclinedOrFailedHandOffIgnoresTheReports) {
  for (bool raise : {false, true}) {
    TRowGate gate;
    gate.OnHandOff = [raise]() -> bool {
      if (raise) throw EQuorvaneError("no writer");
      return false;
    };
    gate.Publish(4);
    gate.Publish(8);
    EXPECT_FALSE(gate.HandedOff());
    gate.Close(false);
    EXPECT_FALSE(gate.WaitFor(1));
  }
}

// Scopes bind one image on one thread: other images, and other threads, are not affected.
TEST(RowGate, ScopesBindOneImageOnOneThread) {
  TDibGraphic image, other;
  TRowGate gate;
  gate.OnHandOff = [] { return true; };
  {
    const TRowReportScope report(image, gate);
    ReportRowsRead(other, 7);
    EXPECT_FALSE(gate.HandedOff());
    std::thread([&]() { ReportRowsRead(image, 7); }).join();
    EXPECT_FALSE(gate.HandedOff());
    ReportRowsRead(image, 2);
    EXPECT_TRUE(gate.HandedOff());
  }
  ReportRowsRead(image, 9);
  const TRowWaitScope wait(image, gate);
  EXPECT_TRUE(WaitForRows(other, 100));  // not bound: never waits
  EXPECT_TRUE(WaitForRows(image, 2));
  gate.Close(false);
  EXPECT_FALSE(WaitForRows(image, 3));
  EXPECT_THROW(RequireRows(image, 3), ERowsWithdrawn);
}

// Each format that hands its rows over, in its layouts: the file written while reading is the
// file written after reading.
TEST(RowGate, FilesWrittenWhileReadingEqualFilesWrittenAfter) {
  struct TCase {
    const char* Name;
    std::function<std::unique_ptr<TDibGraphic>()> Make;
  };
  auto png = [](TImageFormat format, bool interlaced) {
    auto image = std::make_unique<TPngGraphic>();
    image->NewImage(301, 203, format, nullptr, 96, 96);
    FillPicture(*image);
    image->SetInterlaced(interlaced);
    return image;
  };
  auto jpeg = [](bool progressive) {
    auto image = std::make_unique<TJpegGraphic>();
    image->NewImage(301, 203, TImageFormat::TrueColor, nullptr, 96, 96);
    FillPicture(*image);
    image->SetProgressive(progressive);
    return image;
  };
  auto tiff = [](TImageFormat format, TTiffCompression compression) {
    auto image = std::make_unique<TTiffGraphic>();
    MakeImage(*image, format, 301, 203, 4);
    if (format == TImageFormat::TrueColor) FillPicture(*image);
    image->SetCompression(compression);
    return image;
  };
  auto pcx = [](TImageFormat format) {
    auto image = std::make_unique<TPcxGraphic>();
    MakeImage(*image, format, 301, 203, 4);
    return image;
  };
  const TCase cases[] = {
      {"PNG true colour", [&] { return png(TImageFormat::TrueColor, false); }},
      {"PNG true colour, interlaced", [&] { return png(TImageFormat::TrueColor, true); }},
      {"PNG 16 colours, interlaced", [&] { return png(TImageFormat::Color16, true); }},
      {"JPEG", [&] { return jpeg(false); }},
      {"JPEG progressive", [&] { return jpeg(true); }},
      {"TIFF uncompressed", [&] { return tiff(TImageFormat::TrueColor, TTiffCompression::tcNone); }},
      {"TIFF PackBits, 256 colours", [&] { return tiff(TImageFormat::Color256, TTiffCompression::tcPackbits); }},
      {"TIFF deflate", [&] { return tiff(TImageFormat::TrueColor, TTiffCompression::tcZLib); }},
      {"TIFF JPEG", [&] { return tiff(TImageFormat::TrueColor, TTiffCompression::tcJpeg); }},
      {"PCX true colour", [&] { return pcx(TImageFormat::TrueColor); }},
      {"PCX 16 colours", [&] { return pcx(TImageFormat::Color16); }},
      {"PCX black and white", [&] { return pcx(TImageFormat::BlackWhite); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::unique_ptr<TDibGraphic> original = c.Make();
    const Bytes file = SavedBytes(*original);
    const std::unique_ptr<TDibGraphic> image = original->ClassType().Create();
    const TTogether together = ReadAndWriteTogether(file, *image);
    EXPECT_TRUE(together.HandedOff);
    EXPECT_EQ(together.ReadError, "");
    EXPECT_EQ(together.WriteError, "");
    // Written again after reading; TIFF files carry the time of writing, so they are compared as
    // pictures.
    const Bytes after = SavedBytes(*image);
    if (dynamic_cast<TTiffGraphic*>(image.get())) {
      const std::unique_ptr<TDibGraphic> a = image->ClassType().Create(), b = image->ClassType().Create();
      ReadFromBytes(together.Written, *a);
      ReadFromBytes(after, *b);
      EXPECT_TRUE(SameIndices(*a, *b));
      EXPECT_EQ(together.Written.size(), after.size());
    } else {
      EXPECT_EQ(together.Written, after);
    }
  }
}

// Pages that are inverted or flipped once read are handed over whole, after that.
TEST(RowGate, TiffPagesChangedAfterReadingAreHandedOverWhole) {
  for (int orientation : {ORIENTATION_TOPLEFT, ORIENTATION_BOTLEFT, ORIENTATION_TOPRIGHT})
    for (int photometric : {PHOTOMETRIC_MINISBLACK, PHOTOMETRIC_MINISWHITE}) {
      SCOPED_TRACE(testing::Message() << "orientation " << orientation << ", photometric " << photometric);
      const Bytes file = MakeTiff([&](TIFF* tif) {
        SetBasicFields(tif, 300, 200, 8, 1, photometric, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
        TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
        WriteRows(tif, 200, 300, [](uint32_t y, uint8_t* row) {
          for (int x = 0; x < 300; ++x) row[x] = static_cast<uint8_t>(x + 3 * y);
        });
      });
      TTiffGraphic image;
      const TTogether together = ReadAndWriteTogether(file, image);
      EXPECT_EQ(together.HandedOff, orientation == ORIENTATION_TOPLEFT && photometric == PHOTOMETRIC_MINISBLACK);
      EXPECT_EQ(together.ReadError, "");
      TTiffGraphic expected;
      ReadFromBytes(file, expected);
      EXPECT_TRUE(SameIndices(image, expected));
      if (together.HandedOff) {
        TTiffGraphic written;
        ReadFromBytes(together.Written, written);
        EXPECT_TRUE(SameIndices(written, expected));
      }
    }
}

// A reader that fails after handing its first rows over: its error stands, and the writer, which
// waited for rows that never came, stops with ERowsWithdrawn.
TEST(RowGate, ReaderFailingAfterTheHandOffWithdrawsTheRest) {
  TPngGraphic png;
  png.NewImage(400, 300, TImageFormat::TrueColor, nullptr, 96, 96);
  FillPicture(png);
  png.SetInterlaced(false);
  Bytes cutPng = SavedBytes(png);
  cutPng.resize(cutPng.size() * 2 / 3);

  TTiffGraphic tiff;
  tiff.NewImage(400, 300, TImageFormat::TrueColor, nullptr, 96, 96);
  FillPicture(tiff);
  tiff.SetCompression(TTiffCompression::tcZLib);
  Bytes damagedTiff = SavedBytes(tiff);
  // Strips follow the 8-byte header in order; one in the second half is made unreadable.
  std::fill_n(damagedTiff.begin() + static_cast<ptrdiff_t>(damagedTiff.size() * 3 / 5), 64, 0xA5);

  const std::pair<const char*, Bytes> cases[] = {{"PNG cut short", cutPng}, {"TIFF damaged strip", damagedTiff}};
  for (const auto& [name, file] : cases) {
    SCOPED_TRACE(name);
    const std::unique_ptr<TDibGraphic> image =
        std::string(name).starts_with("PNG") ? png.ClassType().Create() : tiff.ClassType().Create();
    const TTogether together = ReadAndWriteTogether(file, *image);
    EXPECT_TRUE(together.HandedOff);
    EXPECT_NE(together.ReadError, "");
    EXPECT_EQ(together.WriteError, "The image being read could not be read to its end");
  }
}
