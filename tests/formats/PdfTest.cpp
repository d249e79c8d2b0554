// The PDF writer: how each kind of page is stored, page sizes, pages added to a document, what it
// refuses; and the original encoding an image keeps from its JPEG file while its pixels stay.
#include <gtest/gtest.h>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <memory>
#include <string>
#include <vector>

#include "FormatTestUtil.h"
#include "formats/QvFormats.h"
#include "formats/QvJpgGr.h"
#include "formats/QvMultiPageWriter.h"
#include "formats/QvPdfGr.h"
#include "model/QvDiGrphRegistry.h"
#include "support/TestPalettes.h"
#include "transforms/QvTransfCatalog.h"

using namespace quorvane;
using namespace qvtest;

namespace {

std::string Text(const std::shared_ptr<Buffer>& data) {
  return {reinterpret_cast<const char*>(data->getBuffer()), data->getSize()};
}

// One page of a written document, as QPDF reads it.
struct TPageFacts {
  std::string MediaBox;  // "[ 0 0 w h ]"
  std::string Contents;
  std::string Filter;
  std::string ColorSpace;  // a name, or the unparsed array of an indexed space
  int Bits = 0, Width = 0, Height = 0;
  std::string DecodeParms;
  std::string Raw;      // the stream as stored
  std::string Decoded;  // Flate streams decoded
};

std::vector<TPageFacts> PagesOf(const Bytes& file) {
  QPDF pdf;
  pdf.processMemoryFile("test", reinterpret_cast<const char*>(file.data()), file.size());
  std::vector<TPageFacts> pages;
  for (QPDFPageObjectHelper& helper : QPDFPageDocumentHelper(pdf).getAllPages()) {
    QPDFObjectHandle page = helper.getObjectHandle();
    QPDFObjectHandle image = page.getKey("/Resources").getKey("/XObject").getKey("/Im0");
    QPDFObjectHandle dict = image.getDict();
    TPageFacts facts;
    facts.MediaBox = page.getKey("/MediaBox").unparse();
    facts.Contents = Text(page.getKey("/Contents").getRawStreamData());
    facts.Filter = dict.getKey("/Filter").unparse();
    facts.ColorSpace = dict.getKey("/ColorSpace").unparse();
    facts.Bits = static_cast<int>(dict.getKey("/BitsPerComponent").getIntValue());
    facts.Width = static_cast<int>(dict.getKey("/Width").getIntValue());
    facts.Height = static_cast<int>(dict.getKey("/Height").getIntValue());
    facts.DecodeParms = dict.getKey("/DecodeParms").unparse();
    facts.Raw = Text(image.getRawStreamData());
    if (facts.Filter == "/FlateDecode") facts.Decoded = Text(image.getStreamData(qpdf_dl_generalized));
    pages.push_back(facts);
  }
  return pages;
}

Bytes PdfOf(const TDibGraphic& page) {
  TPdfGraphic pdf;
  pdf.Assign(&page);
  return SavedBytes(pdf);
}

using qvtest::TwoColours;

constexpr TColorValue kBlack = 0, kWhite = 0xFFFFFF;

// A JPEG file written here, and the image read from it.
Bytes JpegFile(TImageFormat format, int width, int height, bool progressive = false) {
  TJpegGraphic jpeg;
  if (format == TImageFormat::Gray256) {
    jpeg.NewImage(width, height, format, nullptr, 200, 200);
    FillPattern(jpeg, 3);
  } else {
    MakeImage(jpeg, format, width, height, 3);
  }
  jpeg.SetProgressive(progressive);
  return SavedBytes(jpeg);
}

std::unique_ptr<TJpegGraphic> ReadJpeg(const Bytes& file) {
  auto image = std::make_unique<TJpegGraphic>();
  ReadFromBytes(file, *image);
  return image;
}

struct TCodingCase {
  const char* Name;
  TImageFormat Format;
  std::optional<TDibPalette> Palette;  // none: the format's default
  TPdfPageCoding Coding;
  const char* Filter;
  const char* ColorSpace;  // name, or "indexed"
  int Bits;
};

TEST(PdfWriter, EachKindOfPageIsStoredInItsCoding) {
  const TDibPalette ramp = DefaultPalette(TImageFormat::Gray256);
  const TCodingCase cases[] = {
      {"black first", TImageFormat::BlackWhite, TwoColours(kBlack, kWhite), TPdfPageCoding::pcCcittGroup4,
       "/CCITTFaxDecode", "/DeviceGray", 1},
      {"white first", TImageFormat::BlackWhite, TwoColours(kWhite, kBlack), TPdfPageCoding::pcCcittGroup4,
       "/CCITTFaxDecode", "/DeviceGray", 1},
      {"two colours", TImageFormat::BlackWhite, TwoColours(0x0000FF, 0xFFFF00), TPdfPageCoding::pcFlate, "/FlateDecode",
       "indexed", 1},
      {"16 grays", TImageFormat::Gray16, std::nullopt, TPdfPageCoding::pcFlate, "/FlateDecode", "indexed", 4},
      {"16 colours", TImageFormat::Color16, TestPalette(16), TPdfPageCoding::pcFlate, "/FlateDecode", "indexed", 4},
      {"256 grays", TImageFormat::Gray256, ramp, TPdfPageCoding::pcJpeg, "/DCTDecode", "/DeviceGray", 8},
      {"256 other grays", TImageFormat::Gray256, TestPalette(256), TPdfPageCoding::pcFlate, "/FlateDecode", "indexed",
       8},
      {"256 colours", TImageFormat::Color256, TestPalette(256), TPdfPageCoding::pcFlate, "/FlateDecode", "indexed", 8},
      {"true colour", TImageFormat::TrueColor, std::nullopt, TPdfPageCoding::pcJpeg, "/DCTDecode", "/DeviceRGB", 8},
  };
  for (const TCodingCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TDibGraphic image;
    image.NewImage(37, 11, c.Format, c.Palette ? &*c.Palette : nullptr, 150, 150);
    FillPattern(image, 5);
    EXPECT_EQ(PdfPageCoding(image), c.Coding);
    const std::vector<TPageFacts> pages = PagesOf(PdfOf(image));
    ASSERT_EQ(pages.size(), 1u);
    const TPageFacts& page = pages[0];
    EXPECT_EQ(page.Filter, c.Filter);
    EXPECT_EQ(page.Bits, c.Bits);
    EXPECT_EQ(page.Width, 37);
    EXPECT_EQ(page.Height, 11);
    if (std::string(c.ColorSpace) != "indexed") {
      EXPECT_EQ(page.ColorSpace, c.ColorSpace);
    } else {
      // Every index the depth holds has the image's colour, rows are whole bytes from the top.
      const int count = 1 << c.Bits;
      std::string colours;
      for (int i = 0; i < count; ++i) {
        const TPaletteEntry& e = image.PaletteRecord().Entries[static_cast<size_t>(i)];
        colours += {static_cast<char>(e.Red), static_cast<char>(e.Green), static_cast<char>(e.Blue)};
      }
      QPDFObjectHandle space = QPDFObjectHandle::parse(page.ColorSpace);
      EXPECT_EQ(space.getArrayItem(0).getName(), "/Indexed");
      EXPECT_EQ(space.getArrayItem(1).getName(), "/DeviceRGB");
      EXPECT_EQ(space.getArrayItem(2).getIntValue(), count - 1);
      EXPECT_EQ(space.getArrayItem(3).getStringValue(), colours);
      const size_t rowBytes = (37 * static_cast<size_t>(c.Bits) + 7) / 8;
      std::string rows;
      for (int y = 0; y < 11; ++y) rows.append(reinterpret_cast<const char*>(image.ScanLine(y)), rowBytes);
      EXPECT_EQ(page.Decoded, rows);
    }
    if (c.Coding == TPdfPageCoding::pcCcittGroup4) {
      EXPECT_EQ(page.DecodeParms, "<< /Columns 37 /K -1 /Rows 11 >>");
    }
  }
}

TEST(PdfWriter, PageSizeFollowsTheResolutionAndThePictureCoversIt) {
  struct TSizeCase {
    int Width, Height, XDpi, YDpi;
    const char* Box;
    const char* Matrix;
  };
  const TSizeCase cases[] = {
      {2480, 3508, 300, 300, "[ 0 0 595.2 841.92 ]", "595.2 0 0 841.92 0 0 cm"},  // A4 at 300 dpi
      {100, 50, 0, 0, "[ 0 0 75 37.5 ]", "75 0 0 37.5 0 0 cm"},                   // unknown: 96 dpi
      {300, 200, 150, 75, "[ 0 0 144 192 ]", "144 0 0 192 0 0 cm"},
      {7, 3, 72, 600, "[ 0 0 7 0.36 ]", "7 0 0 0.36 0 0 cm"},
  };
  for (const TSizeCase& c : cases) {
    SCOPED_TRACE(c.Box);
    TDibGraphic image;
    image.NewImage(c.Width, c.Height, TImageFormat::BlackWhite, nullptr, 1, 1);
    image.SetXDpi(static_cast<uint16_t>(c.XDpi));
    image.SetYDpi(static_cast<uint16_t>(c.YDpi));
    const std::vector<TPageFacts> pages = PagesOf(PdfOf(image));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].MediaBox, c.Box);
    EXPECT_EQ(pages[0].Contents, std::string("q\n") + c.Matrix + "\n/Im0 Do\nQ\n");
  }
}

// Three pages through the page writer, in both ways of committing; the document on disk is
// whole after every page stored one by one.
TEST(PdfWriter, PagesAreAddedInOrderThroughThePageWriter) {
  RegisterStandardGraphicFormats();
  TDibGraphic bw, palette, colour;
  bw.NewImage(40, 20, TImageFormat::BlackWhite, nullptr, 300, 300);
  FillPattern(bw, 1);
  MakeImage(palette, TImageFormat::Color256, 30, 10, 2);
  MakeImage(colour, TImageFormat::TrueColor, 24, 12, 3);
  colour.SetXDpi(72);
  colour.SetYDpi(72);
  const TDibGraphic* pages[] = {&bw, &palette, &colour};
  for (const TPageCommit commit : {TPageCommit::pcAtEnd, TPageCommit::pcEachPage}) {
    TScratchFolder folder;
    const std::string target = folder / "doc.pdf";
    {
      TMultiPageWriter file(target, commit);
      for (int i = 0; i < 3; ++i) {
        file.AddPageCopy(*pages[i]);
        if (commit == TPageCommit::pcEachPage) {
          TFileStream stream(target, TFileMode::fmOpenRead);
          EXPECT_EQ(TPdfGraphic().GetImageCount(stream), i + 1);
        }
      }
      EXPECT_TRUE(file.Commit());
    }
    const std::vector<TPageFacts> facts = PagesOf(FileBytes(target));
    ASSERT_EQ(facts.size(), 3u);
    EXPECT_EQ(facts[0].Filter, "/CCITTFaxDecode");
    EXPECT_EQ(facts[0].MediaBox, "[ 0 0 9.6 4.8 ]");
    EXPECT_EQ(facts[1].Filter, "/FlateDecode");
    EXPECT_EQ(facts[1].MediaBox, "[ 0 0 22.5 7.5 ]");
    EXPECT_EQ(facts[2].Filter, "/DCTDecode");
    EXPECT_EQ(facts[2].MediaBox, "[ 0 0 24 12 ]");
    EXPECT_EQ(folder.List(), std::vector<std::string>{"doc.pdf"});
  }
}

TEST(PdfWriter, ReadingIsRefusedAndTheOpenDialogLeavesPdfOut) {
  RegisterStandardGraphicFormats();
  TScratchFolder folder;
  const std::string file = folder / "page.PDF";
  std::unique_ptr<TDibGraphic> writer = CreateGraphicForFile(file);
  ASSERT_EQ(writer->ClassName(), "TPdfGraphic");
  EXPECT_FALSE(writer->Capabilities().Readable);
  EXPECT_TRUE(writer->Capabilities().MultipleImages);
  MakeImage(*writer, TImageFormat::Color16, 5, 5);
  writer->SaveToFile(file);

  TPdfGraphic reader;
  EXPECT_EQ(MessageOf<EPdfError>([&] { reader.LoadFromFile(file); }), "PDF files can only be written, not read");
  reader.SetMultiImage(true);
  EXPECT_EQ(MessageOf<EPdfError>([&] { reader.LoadFromFile(file); }), "PDF files can only be written, not read");

  EXPECT_NE(GraphicFilter(false).find("Portable Document Format (*.pdf)|*.pdf"), std::string::npos);
  EXPECT_EQ(GraphicFilter(true).find("pdf"), std::string::npos);
}

TEST(PdfWriter, WhatCannotBeExtendedIsRefusedUnchanged) {
  TDibGraphic image;
  MakeImage(image, TImageFormat::Color16, 6, 6);
  TPdfGraphic pdf;
  pdf.Assign(&image);

  const Bytes garbage = {'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n', 'x', 'y', 'z'};
  TMemoryStream stream(garbage);
  EXPECT_EQ(
      MessageOf<EPdfError>([&] { pdf.AppendToStream(stream); }).rfind("A page cannot be added to the PDF file: ", 0),
      0u);
  EXPECT_EQ(stream.Data(), garbage);
  stream.SetPosition(0);
  EXPECT_EQ(MessageOf<EPdfError>([&] { pdf.GetImageCount(stream); }).rfind("The PDF file cannot be read: ", 0), 0u);

  // An encrypted document (opened without a password) keeps its protection: no page is added.
  QPDF source;
  const Bytes plain = SavedBytes(pdf);
  source.processMemoryFile("plain", reinterpret_cast<const char*>(plain.data()), plain.size());
  QPDFWriter encrypt(source);
  encrypt.setOutputMemory();
  encrypt.setR6EncryptionParameters("", "owner", true, true, true, true, true, true, qpdf_r3p_full, true);
  encrypt.write();
  const std::string encrypted = Text(encrypt.getBufferSharedPointer());
  TMemoryStream locked(Bytes(encrypted.begin(), encrypted.end()));
  EXPECT_EQ(MessageOf<EPdfError>([&] { pdf.AppendToStream(locked); }),
            "Pages cannot be added to an encrypted PDF file");
  EXPECT_EQ(locked.Size(), static_cast<int64_t>(encrypted.size()));

  TPdfGraphic empty;
  TMemoryStream nothing;
  EXPECT_EQ(MessageOf<EPdfError>([&] { empty.SaveToStream(nothing); }),
            "An empty image cannot be written as a PDF page");
  EXPECT_EQ(nothing.Size(), 0);
}

// The document is written again over the old one; where the new one would be shorter (a long
// comment QPDF does not keep), it is lengthened so that nothing of the old one is left behind.
TEST(PdfWriter, AnAddedPageNeverLeavesTheOldTailBehind) {
  TDibGraphic image;
  MakeImage(image, TImageFormat::Color16, 4, 4);
  TPdfGraphic pdf;
  pdf.Assign(&image);
  const Bytes first = SavedBytes(pdf);
  QPDF source;
  source.processMemoryFile("first", reinterpret_cast<const char*>(first.data()), first.size());
  QPDFWriter padded(source);
  padded.setOutputMemory();
  padded.setExtraHeaderText("%" + std::string(20000, 'x'));
  padded.write();
  const std::string old = Text(padded.getBufferSharedPointer());

  TMemoryStream stream(Bytes(old.begin(), old.end()));
  pdf.AppendToStream(stream);
  EXPECT_GE(stream.Size(), static_cast<int64_t>(old.size()));
  QPDF back;
  back.setAttemptRecovery(false);
  back.processMemoryFile("back", reinterpret_cast<const char*>(stream.Data().data()), stream.Data().size());
  EXPECT_EQ(back.getAllPages().size(), 2u);
  EXPECT_FALSE(back.anyWarnings());
}

TEST(PdfWriter, AnUnchangedJpegPageIsStoredAsItsFile) {
  for (const bool progressive : {false, true}) {
    for (const TImageFormat format : {TImageFormat::TrueColor, TImageFormat::Gray256}) {
      SCOPED_TRACE(ImageFormatName(format) + (progressive ? ", progressive" : ""));
      const Bytes file = JpegFile(format, 33, 17, progressive);
      std::unique_ptr<TJpegGraphic> image = ReadJpeg(file);
      ASSERT_NE(image->OriginalEncoding(), nullptr);
      EXPECT_EQ(image->OriginalEncoding()->Data, file);
      EXPECT_EQ(PdfPageCoding(*image), TPdfPageCoding::pcOriginalJpeg);
      const std::vector<TPageFacts> pages = PagesOf(PdfOf(*image));
      ASSERT_EQ(pages.size(), 1u);
      EXPECT_EQ(pages[0].Raw, std::string(file.begin(), file.end()));
      EXPECT_EQ(pages[0].ColorSpace, format == TImageFormat::Gray256 ? "/DeviceGray" : "/DeviceRGB");

      // Changed pixels are encoded again.
      image->SetPixel(0, 0, 0x123456);
      EXPECT_EQ(PdfPageCoding(*image), TPdfPageCoding::pcJpeg);
      EXPECT_NE(PagesOf(PdfOf(*image))[0].Raw, std::string(file.begin(), file.end()));
    }
  }
}

TEST(PdfWriter, OnlyWholeUndamagedJpegFilesAreKept) {
  const Bytes file = JpegFile(TImageFormat::TrueColor, 64, 64);
  // Cut inside the data: read with filler and a warning, so the file's bytes are not the picture.
  const Bytes cut(file.begin(), file.begin() + static_cast<ptrdiff_t>(file.size() / 2));
  std::unique_ptr<TJpegGraphic> image = ReadJpeg(cut);
  EXPECT_FALSE(image->Warnings().empty());
  EXPECT_EQ(image->OriginalEncoding(), nullptr);
  // Bytes after the end-of-image marker are not part of the JPEG.
  Bytes trailed = file;
  trailed.insert(trailed.end(), {'t', 'a', 'i', 'l'});
  image = ReadJpeg(trailed);
  ASSERT_NE(image->OriginalEncoding(), nullptr);
  EXPECT_EQ(image->OriginalEncoding()->Data, file);
}

// What may change pixels or palette drops the original encoding; copies of unchanged pixels carry it.
TEST(OriginalEncoding, GoesWithTheFirstChangeAndStaysWithCopies) {
  const Bytes file = JpegFile(TImageFormat::Gray256, 8, 8);
  struct TChange {
    const char* Name;
    void (*Apply)(TDibGraphic&);
    bool Kept;
  };
  const TChange changes[] = {
      {"SetPixel", [](TDibGraphic& i) { i.SetPixel(1, 1, 0); }, false},
      {"SetPixelIndex", [](TDibGraphic& i) { i.SetPixelIndex(1, 1, 7); }, false},
      {"ScanLine", [](TDibGraphic& i) { i.ScanLine(2)[0] = 9; }, false},
      {"Bits", [](TDibGraphic& i) { i.Bits()[0] = 9; }, false},
      {"PaletteRecord", [](TDibGraphic& i) { i.PaletteRecord().Entries[3] = EntryOf(0xFF0000); }, false},
      {"NewImage", [](TDibGraphic& i) { i.NewImage(8, 8, TImageFormat::Gray256, nullptr, 0, 0); }, false},
      {"FreeImage", [](TDibGraphic& i) { i.FreeImage(); }, false},
      {"resolution", [](TDibGraphic& i) { i.SetXDpi(300), i.SetYDpi(100); }, true},
      {"const reads", [](TDibGraphic& i) { (void)std::as_const(i).ScanLine(0), (void)i.GetPixel(1, 1); }, true},
  };
  for (const TChange& change : changes) {
    SCOPED_TRACE(change.Name);
    std::unique_ptr<TJpegGraphic> image = ReadJpeg(file);
    change.Apply(*image);
    EXPECT_EQ(image->OriginalEncoding() != nullptr, change.Kept);
  }

  std::unique_ptr<TJpegGraphic> image = ReadJpeg(file);
  const TOriginalEncoding* original = image->OriginalEncoding();
  TDibGraphic copy;
  copy.Assign(image.get());
  EXPECT_EQ(copy.OriginalEncoding(), original);  // shared, not copied
  TDibGraphic moved;
  moved.TakeImage(copy);
  EXPECT_EQ(moved.OriginalEncoding(), original);
  EXPECT_EQ(copy.OriginalEncoding(), nullptr);
}

// Every image operation that changes the picture drops it, whether it writes into another image
// or into the same one; what an operation leaves as it was may keep it.
TEST(OriginalEncoding, EveryOperationThatChangesThePictureDropsIt) {
  const std::unique_ptr<TJpegGraphic> source = ReadJpeg(JpegFile(TImageFormat::TrueColor, 12, 10));
  ASSERT_NE(source->OriginalEncoding(), nullptr);
  for (const TImageOperation& operation : ImageOperations()) {
    SCOPED_TRACE(std::string(operation.Name));
    TOperationParameters changing = DefaultParameters(operation);
    changing.Angle = 90;
    changing.Amount = 10;
    changing.GammaValue = 1.5;
    changing.Strength = 10;
    changing.CropLeft = changing.CropTop = 1;
    changing.TargetFormat = TImageFormat::Color256;
    changing.NewWidth = 13;
    changing.NewHeight = 9;

    TDibGraphic into;
    into.Assign(source.get());
    CreateTransform(operation, changing)->ApplyOnDest(*source, into);
    EXPECT_EQ(into.OriginalEncoding(), nullptr);
    TDibGraphic same;
    same.Assign(source.get());
    CreateTransform(operation, changing)->Apply(same);
    EXPECT_EQ(same.OriginalEncoding(), nullptr);

    // With its defaults an operation may pass the picture through; it keeps it only then.
    TDibGraphic defaults;
    defaults.Assign(source.get());
    try {
      CreateTransform(operation, DefaultParameters(operation))->ApplyOnDest(*source, defaults);
    } catch (const Exception&) {
      continue;  // defaults an operation refuses (a resize to 0 x 0)
    }
    if (defaults.OriginalEncoding()) {
      EXPECT_TRUE(qvtest::SameImage(defaults, *source));
    }
  }
}

}  // namespace
