// EXIF, XMP and IPTC kept with the image: each of JPEG, PNG and TIFF writes the blocks and reads
// them back, corrected to the picture written; the wrappers (Photoshop resources, PNG raw
// profiles) round-trip; and hostile blocks (damaged, cut short, claiming more than they hold)
// load the picture without a failure, the block left out.
#include <tiffio.h>

#include <string>

#include "FormatTestUtil.h"
#include "TiffTestUtil.h"
#include "formats/QvExif.h"
#include "formats/QvFormats.h"
#include "formats/QvMetadataBlocks.h"
#include "model/QvDiGrphRegistry.h"

using namespace qvtest;

namespace {

constexpr int kWidth = 23, kHeight = 11;

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

// A field of the given directory holding Text (ASCII, its NUL included).
TExifField AsciiField(TExifDirectory directory, uint16_t tag, std::string_view text) {
  Bytes value = Text(text);
  value.push_back(0);
  return {directory, tag, 2, value};
}

// A small EXIF block (little-endian): Make, Artist, the date taken, a size that is not the
// picture's and a GPS latitude reference.
Bytes TestExif() {
  const TExifField fields[] = {
      AsciiField(TExifDirectory::edImage, 271, "Quellmark"),
      AsciiField(TExifDirectory::edImage, 315, "Ann Example"),
      AsciiField(TExifDirectory::edPhoto, 36867, "2024:05:06 07:08:09"),
      {TExifDirectory::edPhoto, 40962, 4, {0xE7, 0x03, 0, 0}},  // PixelXDimension 999
      {TExifDirectory::edPhoto, 40963, 4, {0x78, 0x03, 0, 0}},  // PixelYDimension 888
      AsciiField(TExifDirectory::edGps, 1, "N"),
  };
  return ExifBlockOfFields({std::begin(fields), std::end(fields)}, false, kOrientationTopLeft);
}

const std::string kXmp =
    "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
    "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
    "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>"
    "<dc:subject><rdf:Bag><rdf:li>harbour</rdf:li><rdf:li>boats</rdf:li></rdf:Bag></dc:subject>"
    "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";

// IPTC records: the record version and one keyword.
const Bytes kIptc{0x1C, 2, 0, 0, 2, 0, 4, 0x1C, 2, 25, 0, 7, 'h', 'a', 'r', 'b', 'o', 'u', 'r'};

std::unique_ptr<TDibGraphic> ImageWithMetadata(const std::string& extension, TImageFormat format) {
  RegisterStandardGraphicFormats();
  std::unique_ptr<TDibGraphic> image = CreateGraphicForFile("x." + extension);
  image->NewImage(kWidth, kHeight, format, nullptr, 72, 72);
  image->Metadata().Exif = TestExif();
  image->Metadata().Xmp = Text(kXmp);
  image->Metadata().Iptc = kIptc;
  return image;
}

std::unique_ptr<TDibGraphic> ReadBack(const std::string& extension, Bytes bytes) {
  std::unique_ptr<TDibGraphic> image = CreateGraphicForFile("x." + extension);
  TMemoryStream stream(std::move(bytes));
  image->LoadFromStream(stream);
  return image;
}

Bytes Written(TDibGraphic& image) {
  TMemoryStream stream;
  image.SaveToStream(stream);
  return stream.Data();
}

// Block holds Text somewhere.
bool Holds(const Bytes& block, std::string_view text) {
  return std::search(block.begin(), block.end(), text.begin(), text.end()) != block.end();
}

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0xFFFFFFFFu) {
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

// PNG bytes with a chunk of Type and Data put in after the header chunk.
Bytes WithPngChunk(Bytes png, const char* type, const Bytes& data) {
  Bytes chunk;
  for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back(static_cast<uint8_t>(data.size() >> shift));
  chunk.insert(chunk.end(), type, type + 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  const uint32_t crc = ~Crc32(chunk.data() + 4, chunk.size() - 4);
  for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back(static_cast<uint8_t>(crc >> shift));
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());  // signature 8, IHDR 25
  return png;
}

// JPEG bytes with a marker segment put in after the start of image.
Bytes WithJpegSegment(Bytes jpeg, uint8_t marker, const Bytes& payload) {
  Bytes segment{0xFF, marker, static_cast<uint8_t>((payload.size() + 2) >> 8),
                static_cast<uint8_t>((payload.size() + 2) & 0xFF)};
  segment.insert(segment.end(), payload.begin(), payload.end());
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
  return jpeg;
}

Bytes Concat(std::string_view head, const Bytes& tail) {
  Bytes bytes = Text(head);
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

}  // namespace

// Each format stores the three blocks and reads them back; the EXIF size fields give the picture
// written, the rest of each block is kept.
TEST(Metadata, BlocksRoundTripThroughEachFormat) {
  ASSERT_FALSE(TestExif().empty());
  const struct {
    const char* Extension;
    TImageFormat Format;
  } cases[] = {{"jpg", TImageFormat::TrueColor}, {"jpg", TImageFormat::Gray256},   {"png", TImageFormat::TrueColor},
               {"png", TImageFormat::Color256},  {"tif", TImageFormat::TrueColor}, {"tif", TImageFormat::BlackWhite}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Extension) + " " + ImageFormatName(c.Format));
    std::unique_ptr<TDibGraphic> image = ImageWithMetadata(c.Extension, c.Format);
    std::unique_ptr<TDibGraphic> back = ReadBack(c.Extension, Written(*image));
    const TImageMetadata& metadata = back->Metadata();
    EXPECT_TRUE(metadata.HasExif);
    EXPECT_EQ(metadata.Camera.Make, "Quellmark");
    EXPECT_EQ(metadata.Camera.DateTaken, "2024:05:06 07:08:09");
    EXPECT_TRUE(Holds(metadata.Exif, "Ann Example"));
    // The written block was corrected to 23 x 11 (not 999 x 888): correcting it again changes nothing.
    EXPECT_EQ(ExifForSaving(metadata.Exif, kWidth, kHeight, true), metadata.Exif);
    EXPECT_NE(ExifForSaving(metadata.Exif, 999, 888, true), metadata.Exif);
    EXPECT_EQ(metadata.Xmp, Text(kXmp));
    EXPECT_EQ(metadata.Iptc, kIptc);
    EXPECT_TRUE(back->Warnings().empty());
  }
}

// The corrections: size fields to the picture, the thumbnail dropped, fields of the stored data
// (strip offsets) dropped; XMP orientation and sizes rewritten only where the packet has them.
TEST(Metadata, CorrectionsForTheWrittenPicture) {
  const Bytes block = TestExif();
  const Bytes saved = ExifForSaving(block, 640, 70000, true);
  ASSERT_FALSE(saved.empty());
  const Bytes again = ExifForSaving(saved, 640, 70000, true);
  EXPECT_EQ(again, saved) << "a corrected block needs no further correction";
  EXPECT_EQ(ReadExifBlock(saved).Camera, ReadExifBlock(block).Camera);

  const std::string turned =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description rdf:about='' xmlns:tiff='http://ns.adobe.com/tiff/1.0/' "
      "xmlns:exif='http://ns.adobe.com/exif/1.0/' tiff:Orientation='6' exif:PixelXDimension='37'/>"
      "</rdf:RDF></x:xmpmeta>";
  const struct {
    const char* Name;
    std::string Packet;
    bool Kept;  // byte for byte
    std::vector<const char*> Texts;
  } cases[] = {
      {"no field to correct", kXmp, true, {"harbour"}},
      {"orientation and width", turned, false, {"Orientation=\"1\"", "PixelXDimension=\"21\""}},
      {"damaged with a field to correct", "<x:xmpmeta Orientation", false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes result = XmpForSaving(Text(c.Packet), 1, 21, 37, true);
    if (c.Kept) {
      EXPECT_EQ(result, Text(c.Packet));
    }
    for (const char* text : c.Texts) {
      EXPECT_TRUE(Holds(result, text)) << std::string(result.begin(), result.end());
    }
    if (c.Texts.empty()) {
      EXPECT_TRUE(result.empty());
    }
  }
}

constexpr char kGuid[] = "0123456789ABCDEF0123456789ABCDEF";

// A packet that names the extension of kGuid, and the extension: a property longer than one JPEG
// segment holds.
const std::string kNamingPacket =
    "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
    "<rdf:Description rdf:about='' xmlns:xmpNote='http://ns.adobe.com/xmp/note/' "
    "xmlns:dc='http://purl.org/dc/elements/1.1/'><xmpNote:HasExtendedXMP>" +
    std::string(kGuid) +
    "</xmpNote:HasExtendedXMP><dc:format>image/jpeg</dc:format></rdf:Description></rdf:RDF></x:xmpmeta>";
const std::string kExtension =
    "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
    "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
    "rdf:about='' xmlns:ex='http://example.invalid/depth/' ex:Map='" +
    std::string(90000, 'd') + "'/></rdf:RDF></x:xmpmeta>";

// An extension segment of Guid: the part of Whole bytes at Offset.
Bytes ExtensionSegment(const char* guid, const std::string& whole, size_t offset, size_t bytes) {
  Bytes segment(kJpegXmpExtensionHeader, kJpegXmpExtensionHeader + kJpegXmpExtensionHeaderBytes);
  segment.insert(segment.end(), guid, guid + 32);
  for (uint32_t value : {static_cast<uint32_t>(whole.size()), static_cast<uint32_t>(offset)})
    for (int shift = 24; shift >= 0; shift -= 8) segment.push_back(static_cast<uint8_t>(value >> shift));
  segment.insert(segment.end(), whole.begin() + static_cast<ptrdiff_t>(offset),
                 whole.begin() + static_cast<ptrdiff_t>(offset + bytes));
  return segment;
}

// The extension in two segments, the second first (readers go by the offsets).
std::vector<Bytes> ExtensionSegments(const char* guid = kGuid) {
  const size_t first = 60000;
  return {ExtensionSegment(guid, kExtension, first, kExtension.size() - first),
          ExtensionSegment(guid, kExtension, 0, first)};
}

// A JPEG keeps the parts of its packet's extension as they are; PNG and TIFF, which hold a packet
// of any size, get the extension's properties in the packet itself. Parts that are missing,
// overlap or belong to another packet are left out, and so is an extension the packet does not name.
TEST(Metadata, XmpExtensionKeptOrMerged) {
  const std::vector<Bytes> parts = ExtensionSegments();
  EXPECT_EQ(XmpExtensionOf(Text(kNamingPacket), parts), parts);
  std::vector<Bytes> foreign = ExtensionSegments("FEDCBA9876543210FEDCBA9876543210");
  const struct {
    const char* Name;
    std::vector<Bytes> Segments;
  } broken[] = {
      {"a part missing", {parts[0]}},
      {"a part twice", {parts[0], parts[1], parts[1]}},
      {"another packet's parts", foreign},
      {"parts disagreeing on the whole length",
       {parts[1], ExtensionSegment(kGuid, kExtension + "xx", 60000, kExtension.size() - 59998)}},
  };
  for (const auto& c : broken) EXPECT_TRUE(XmpExtensionOf(Text(kNamingPacket), c.Segments).empty()) << c.Name;
  EXPECT_TRUE(XmpExtensionOf(Text(kXmp), parts).empty()) << "a packet that names none";

  for (const char* extension : {"jpg", "png", "tif"}) {
    SCOPED_TRACE(extension);
    std::unique_ptr<TDibGraphic> image = ImageWithMetadata(extension, TImageFormat::TrueColor);
    image->Metadata().Xmp = Text(kNamingPacket);
    image->Metadata().XmpExtension = parts;
    const TImageMetadata back = ReadBack(extension, Written(*image))->Metadata();
    if (std::string(extension) == "jpg") {
      EXPECT_EQ(back.XmpExtension, parts);
      EXPECT_TRUE(Holds(back.Xmp, kGuid));
    } else {
      EXPECT_TRUE(back.XmpExtension.empty());
      EXPECT_TRUE(Holds(back.Xmp, std::string(90000, 'd')));
      EXPECT_TRUE(Holds(back.Xmp, "image/jpeg")) << "the packet's own properties stay";
      EXPECT_FALSE(Holds(back.Xmp, "HasExtendedXMP")) << "the note of an extension goes with it";
    }
  }
}

// A packet keeps its own prefix for a namespace that a packet saved earlier declared under another.
TEST(Metadata, EachSavedPacketKeepsItsOwnPrefixes) {
  const auto packet = [](const std::string& prefix) {
    return Text(
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<rdf:Description rdf:about='' xmlns:tiff='http://ns.adobe.com/tiff/1.0/' xmlns:" +
        prefix + "='http://example.invalid/field/' tiff:Orientation='6' " + prefix +
        ":Field='kept'/></rdf:RDF></x:xmpmeta>");
  };
  for (const char* prefix : {"first", "second", "first"}) {
    const Bytes saved = XmpForSaving(packet(prefix), 1, 21, 37, false);
    EXPECT_TRUE(Holds(saved, std::string(prefix) + ":Field=\"kept\"")) << std::string(saved.begin(), saved.end());
  }
}

TEST(Metadata, WrappersRoundTrip) {
  EXPECT_EQ(IptcOfPhotoshopResources(PhotoshopResourcesOfIptc(kIptc)), kIptc);
  // Padding after the last record (a TIFF field's whole words) and a record cut short go.
  Bytes padded = kIptc;
  padded.insert(padded.end(), {0, 0, 0});
  EXPECT_EQ(WholeIptcRecords(padded), kIptc);
  EXPECT_EQ(WholeIptcRecords(Bytes(kIptc.begin(), kIptc.end() - 1)), Bytes(kIptc.begin(), kIptc.begin() + 7));
  EXPECT_TRUE(WholeIptcRecords(Bytes{0x1C, 2, 25, 0x80, 9, 1}).empty()) << "a length of 9 bytes";
  // A resource before the IPTC one, with a name.
  Bytes resources{'8', 'B', 'I', 'M', 0x03, 0xED, 3, 'a', 'b', 'c', 0, 0, 0, 3, 1, 2, 3, 0};
  const Bytes iptc = PhotoshopResourcesOfIptc(kIptc);
  resources.insert(resources.end(), iptc.begin(), iptc.end());
  EXPECT_EQ(IptcOfPhotoshopResources(resources), kIptc);
  for (const Bytes& data : {kIptc, Text(kXmp), Bytes(1000, 0xAB)}) {
    const std::string text = EncodeRawProfile("iptc", data);
    EXPECT_EQ(DecodeRawProfile(text, data.size()), data);
    EXPECT_TRUE(DecodeRawProfile(text, data.size() - 1).empty()) << "over the limit";
  }
  // exiftool names the profile in words.
  EXPECT_EQ(DecodeRawProfile("\nIPTC profile\n      4\n1c020000\n", 100), (Bytes{0x1C, 2, 0, 0}));
}

// Hostile blocks: the picture loads, the block is left out, nothing is raised.
TEST(Metadata, HostileBlocksLoadWithoutThem) {
  RegisterStandardGraphicFormats();
  std::unique_ptr<TDibGraphic> plain = CreateGraphicForFile("x.jpg");
  plain->NewImage(kWidth, kHeight, TImageFormat::TrueColor, nullptr, 72, 72);
  const Bytes jpeg = Written(*plain);
  std::unique_ptr<TDibGraphic> plainPng = CreateGraphicForFile("x.png");
  plainPng->Assign(plain.get());
  const Bytes png = Written(*plainPng);
  const Bytes oversizedResource{'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0x1C, 2};
  const Bytes exif = TestExif();
  const Bytes cutExif(exif.begin(), exif.begin() + 30);
  const Bytes rawIptcHuge = Text("\niptc\n 99999999999\n1c02");
  const Bytes rawIptcShort = Text("\niptc\n      20\n1c020000020004");
  const Bytes rawIptcBadHex = Text("\niptc\n       4\n1c0zz000");
  // A packet naming an extension of 65 parts: one more than a reader keeps.
  const std::string manyParts(650, 'p');
  Bytes withManyParts = jpeg;
  for (size_t offset = 650; offset > 0; offset -= 10)
    withManyParts = WithJpegSegment(withManyParts, 0xE1, ExtensionSegment(kGuid, manyParts, offset - 10, 10));
  withManyParts = WithJpegSegment(withManyParts, 0xE1,
                                  Concat(std::string_view(kJpegXmpHeader, kJpegXmpHeaderBytes), Text(kNamingPacket)));

  const struct {
    const char* Name;
    const char* Extension;
    Bytes File;
  } cases[] = {
      {"APP13 resource larger than its segment", "jpg",
       WithJpegSegment(jpeg, 0xED,
                       Concat(std::string_view(kPhotoshopHeader, kPhotoshopHeaderBytes), oversizedResource))},
      {"APP13 header only", "jpg", WithJpegSegment(jpeg, 0xED, Text(std::string_view(kPhotoshopHeader, 14)))},
      {"APP1 XMP header only", "jpg", WithJpegSegment(jpeg, 0xE1, Text(std::string_view(kJpegXmpHeader, 29)))},
      {"APP1 EXIF cut short", "jpg", WithJpegSegment(jpeg, 0xE1, Concat(std::string_view("Exif\0\0", 6), cutExif))},
      {"APP1 XMP extension header only", "jpg",
       WithJpegSegment(jpeg, 0xE1, Text(std::string_view(kJpegXmpExtensionHeader, kJpegXmpExtensionHeaderBytes)))},
      {"XMP extension of more parts than are kept", "jpg", withManyParts},
      {"eXIf cut short", "png", WithPngChunk(png, "eXIf", cutExif)},
      {"zTXt raw IPTC without data", "png",
       WithPngChunk(png, "zTXt", Concat(std::string_view("Raw profile type iptc\0\0", 23), {}))},
      {"raw IPTC text claiming 100 GB", "png",
       WithPngChunk(png, "tEXt", Concat(std::string_view("Raw profile type iptc\0", 22), rawIptcHuge))},
      {"raw IPTC cut short", "png",
       WithPngChunk(png, "tEXt", Concat(std::string_view("Raw profile type iptc\0", 22), rawIptcShort))},
      {"raw IPTC with bad digits", "png",
       WithPngChunk(png, "tEXt", Concat(std::string_view("Raw profile type iptc\0", 22), rawIptcBadHex))},
      {"TIFF directory pointers past the end", "tif", MakeTiff([](TIFF* tif) {
         SetBasicFields(tif, kWidth, kHeight, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE);
         TIFFSetField(tif, TIFFTAG_EXIFIFD, uint64_t{0x7FFFFFF0});
         TIFFSetField(tif, TIFFTAG_GPSIFD, uint64_t{3});
         TIFFSetField(tif, TIFFTAG_XMLPACKET, 5u, "<x:x>");
         WriteRows(tif, kHeight, kWidth, [](uint32_t, uint8_t* row) { std::fill_n(row, kWidth, 0x80); });
       })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::unique_ptr<TDibGraphic> image;
    ASSERT_NO_THROW(image = ReadBack(c.Extension, c.File));
    EXPECT_EQ(image->Width(), kWidth);
    EXPECT_EQ(image->Height(), kHeight);
    EXPECT_TRUE(image->Metadata().Iptc.empty());
    EXPECT_TRUE(image->Metadata().XmpExtension.empty());
    EXPECT_TRUE(image->Warnings().empty()) << image->Warnings()[0];
    // What was kept of a damaged EXIF block is what Exiv2 could read of it; saving again writes
    // a block that reads, and does not fail.
    if (!image->Metadata().Exif.empty()) {
      EXPECT_TRUE(ReadExifBlock(ExifForSaving(image->Metadata().Exif, kWidth, kHeight, true)).Valid);
    }
    EXPECT_NO_THROW(Written(*image));
  }
}
