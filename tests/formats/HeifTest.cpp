// The HEIF reader's size checks: every size a file declares (items, grids, overlays, HEVC
// parameter sets and AV1 sequence headers, in configurations and in item data) is found on
// hand-built files; hostile files are refused before libheif allocates for them.
#include <filesystem>

#include "formats/FormatTestUtil.h"
#include "formats/QvHeif.h"
#include "formats/QvHeifLayout.h"
#include "model/QvExcept.h"
#include "model/QvLimits.h"

using namespace qvtest;

namespace {

void PutBE(Bytes& b, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Box(const char* type, const Bytes& payload) {
  Bytes b;
  PutBE(b, 8 + payload.size(), 4);
  b.insert(b.end(), type, type + 4);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

Bytes FullBox(const char* type, int version, uint32_t flags, const Bytes& payload) {
  Bytes b;
  PutBE(b, static_cast<uint64_t>(version) << 24 | flags, 4);
  b.insert(b.end(), payload.begin(), payload.end());
  return Box(type, b);
}

class TBitWriter {
 public:
  void Put(uint64_t value, int count) {
    // Runs of more than 64 bits are zero padding (a shift by 64 or more is undefined).
    for (int i = count - 1; i >= 0; --i) PutBit(i < 64 ? (value >> i) & 1 : 0);
  }
  void Golomb(uint64_t value) {
    int length = 0;
    while ((value + 1) >> (length + 1)) ++length;
    Put(0, length);
    Put(value + 1, length + 1);
  }
  Bytes Done() {
    PutBit(1);  // stop bit
    while (FCount % 8) PutBit(0);
    return FBytes;
  }

 private:
  void PutBit(uint64_t bit) {
    if (FCount % 8 == 0) FBytes.push_back(0);
    FBytes.back() |= static_cast<uint8_t>(bit << (7 - FCount % 8));
    ++FCount;
  }
  Bytes FBytes;
  size_t FCount = 0;
};

// An HEVC sequence parameter set NAL unit, emulation prevention included.
Bytes HevcSps(uint64_t width, uint64_t height, int subLayers = 0) {
  TBitWriter w;
  w.Put(0, 4);
  w.Put(static_cast<uint64_t>(subLayers), 3);
  w.Put(1, 1);
  w.Put(0, 88);
  w.Put(93, 8);
  for (int i = 0; i < subLayers; ++i) w.Put(3, 2);  // profile and level present
  if (subLayers > 0) w.Put(0, 2 * (8 - subLayers));
  for (int i = 0; i < subLayers; ++i) {
    w.Put(0, 88);
    w.Put(90, 8);
  }
  w.Golomb(0);
  w.Golomb(1);
  w.Golomb(width);
  w.Golomb(height);
  const Bytes rbsp = w.Done();
  Bytes nal = {0x42, 0x01};
  int zeros = 0;
  for (const uint8_t byte : rbsp) {
    if (zeros == 2 && byte <= 3) {
      nal.push_back(3);
      zeros = 0;
    }
    nal.push_back(byte);
    zeros = byte == 0 ? zeros + 1 : 0;
  }
  return nal;
}

Bytes HvcC(const std::vector<Bytes>& parameterSets) {
  Bytes b(21, 0);
  b[0] = 1;
  b.push_back(0xFF);  // 4-byte NAL lengths
  b.push_back(parameterSets.empty() ? 0 : 1);
  if (!parameterSets.empty()) {
    b.push_back(0x80 | 33);
    PutBE(b, parameterSets.size(), 2);
    for (const Bytes& nal : parameterSets) {
      PutBE(b, nal.size(), 2);
      b.insert(b.end(), nal.begin(), nal.end());
    }
  }
  return Box("hvcC", b);
}

// NAL units with 4-byte lengths, as HEVC item data holds them.
Bytes HevcData(std::initializer_list<Bytes> nals) {
  Bytes b;
  for (const Bytes& nal : nals) {
    PutBE(b, nal.size(), 4);
    b.insert(b.end(), nal.begin(), nal.end());
  }
  return b;
}

const Bytes kSlice = {0x26, 0x01, 0xAF, 0x00, 0x12};

// An AV1 sequence header OBU: the reduced still-picture form, or the full one with timing,
// decoder model and two operating points.
Bytes Av1SequenceHeader(uint64_t width, uint64_t height, bool reduced) {
  TBitWriter w;
  w.Put(0, 3);
  w.Put(1, 1);
  w.Put(reduced ? 1 : 0, 1);
  if (reduced) {
    w.Put(8, 5);
  } else {
    w.Put(1, 1);  // timing information
    w.Put(1001, 32);
    w.Put(60000, 32);
    w.Put(1, 1);
    w.Golomb(0);
    w.Put(1, 1);  // decoder model
    w.Put(4, 5);  // delays of 5 bits
    w.Put(90000, 32);
    w.Put(31, 5);
    w.Put(31, 5);
    w.Put(1, 1);  // initial display delay
    w.Put(1, 5);  // two operating points
    for (int i = 0; i < 2; ++i) {
      w.Put(0x101, 12);
      w.Put(9, 5);
      w.Put(0, 1);  // tier
      w.Put(1, 1);
      w.Put(7, 5);
      w.Put(9, 5);
      w.Put(0, 1);
      w.Put(1, 1);
      w.Put(3, 4);
    }
  }
  w.Put(15, 4);
  w.Put(15, 4);
  w.Put(width - 1, 16);
  w.Put(height - 1, 16);
  const Bytes payload = w.Done();
  Bytes obu = {0x0A, static_cast<uint8_t>(payload.size())};
  obu.insert(obu.end(), payload.begin(), payload.end());
  return obu;
}

Bytes Av1C(const Bytes& configObus) { return Box("av1C", Join({{0x81, 0x08, 0x0C, 0x00}, configObus})); }

Bytes Ispe(uint32_t width, uint32_t height) {
  Bytes b;
  PutBE(b, width, 4);
  PutBE(b, height, 4);
  return FullBox("ispe", 0, 0, b);
}

Bytes GridData(uint32_t width, uint32_t height, bool wide) {
  Bytes b = {0, static_cast<uint8_t>(wide ? 1 : 0), 0, 0};
  PutBE(b, width, wide ? 4 : 2);
  PutBE(b, height, wide ? 4 : 2);
  return b;
}

Bytes OverlayData(uint32_t width, uint32_t height) {
  Bytes b = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0xFF};
  PutBE(b, width, 4);
  PutBE(b, height, 4);
  return b;
}

struct TItemSpec {
  const char* Type;
  std::vector<Bytes> Properties;
  Bytes Data;
  bool InIdat = false;
  int Copies = 1;  // iloc entries for the item
};

// A HEIF file: ftyp, an mdat with the data of the items not in idat, and the meta box. Item 1 is
// the primary item.
Bytes HeifFile(const std::vector<TItemSpec>& items) {
  const Bytes ftyp = Box("ftyp", {'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1', 'h', 'e', 'i', 'c'});
  Bytes mdatPayload, idat, infes, locations, ipco, ipma;
  int propertyCount = 0, entries = 0;
  PutBE(ipma, items.size(), 4);
  for (size_t i = 0; i < items.size(); ++i) {
    const TItemSpec& item = items[i];
    const uint16_t id = static_cast<uint16_t>(i + 1);
    Bytes infe;
    PutBE(infe, id, 2);
    PutBE(infe, 0, 2);
    infe.insert(infe.end(), item.Type, item.Type + 4);
    infe.push_back(0);
    infes = Join({infes, FullBox("infe", 2, 0, infe)});
    const size_t offset = item.InIdat ? idat.size() : ftyp.size() + 8 + mdatPayload.size();
    (item.InIdat ? idat : mdatPayload)
        .insert((item.InIdat ? idat : mdatPayload).end(), item.Data.begin(), item.Data.end());
    for (int c = 0; c < item.Copies; ++c, ++entries) {
      PutBE(locations, id, 2);
      PutBE(locations, item.InIdat ? 1 : 0, 2);
      PutBE(locations, 0, 2);  // data reference
      PutBE(locations, 1, 2);  // one extent
      PutBE(locations, offset, 4);
      PutBE(locations, item.Copies > 1 ? 0 : item.Data.size(), 4);
    }
    PutBE(ipma, id, 2);
    ipma.push_back(static_cast<uint8_t>(item.Properties.size()));
    for (const Bytes& property : item.Properties) {
      ipco = Join({ipco, property});
      ipma.push_back(static_cast<uint8_t>(0x80 | ++propertyCount));
    }
  }
  Bytes iinf;
  PutBE(iinf, items.size(), 2);
  Bytes iloc = {0x44, 0x00};
  PutBE(iloc, static_cast<uint64_t>(entries), 2);
  Bytes hdlr(4, 0);
  hdlr.insert(hdlr.end(), {'p', 'i', 'c', 't'});
  hdlr.insert(hdlr.end(), 13, 0);
  const Bytes meta =
      FullBox("meta", 0, 0,
              Join({FullBox("hdlr", 0, 0, hdlr), FullBox("pitm", 0, 0, {0, 1}),
                    FullBox("iinf", 0, 0, Join({iinf, infes})), FullBox("iloc", 1, 0, Join({iloc, locations})),
                    Box("idat", idat), Box("iprp", Join({Box("ipco", ipco), FullBox("ipma", 0, 0, ipma)}))}));
  return Join({ftyp, Box("mdat", mdatPayload), meta});
}

bool HasSize(const THeifLayout& layout, int64_t width, int64_t height) {
  return std::any_of(layout.Sizes.begin(), layout.Sizes.end(),
                     [&](const THeifSize& s) { return s.Width == width && s.Height == height; });
}

THeifLayout LayoutOf(const Bytes& file) { return ReadHeifLayout(file.data(), file.size()); }

TEST(HeifLayout, FindsEverySizeTheFileDeclares) {
  const struct {
    const char* Name;
    Bytes File;
    THeifSize Expected;
    bool Unknown;
  } cases[] = {
      {"grid in idat, 16-bit sizes",
       HeifFile({{"grid", {Ispe(64, 48)}, GridData(20000, 20000, false), true},
                 {"hvc1", {HvcC({HevcSps(64, 64)}), Ispe(64, 64)}, HevcData({kSlice})}}),
       {20000, 20000},
       false},
      {"grid in the file, 32-bit sizes",
       HeifFile({{"grid", {Ispe(8, 8)}, GridData(70000, 3, true)}}),
       {70000, 3},
       false},
      {"overlay", HeifFile({{"iovl", {Ispe(8, 8)}, OverlayData(9000, 7000), true}}), {9000, 7000}, false},
      {"item size", HeifFile({{"grid", {Ispe(123, 456)}, GridData(1, 1, false), true}}), {123, 456}, false},
      {"HEVC parameter set with sub-layers",
       HeifFile({{"hvc1", {Ispe(8, 8), HvcC({HevcSps(4096, 2160, 2)})}, HevcData({kSlice})}}),
       {4096, 2160},
       false},
      {"HEVC parameter set sent in the item's data",
       HeifFile({{"hvc1", {HvcC({}), Ispe(8, 8)}, HevcData({HevcSps(30000, 20), kSlice})}}),
       {30000, 20},
       false},
      {"HEVC without any parameter set",
       HeifFile({{"hvc1", {HvcC({}), Ispe(8, 8)}, HevcData({kSlice})}}),
       {8, 8},
       true},
      {"AV1 reduced header in the item's data",
       HeifFile({{"av01", {Av1C({}), Ispe(8, 8)}, Av1SequenceHeader(40000, 2, true)}}),
       {40000, 2},
       false},
      {"AV1 full header in the configuration",
       HeifFile({{"av01", {Av1C(Av1SequenceHeader(5000, 6000, false)), Ispe(8, 8)}, {0x32, 0x00}}}),
       {5000, 6000},
       false},
      {"AV1 without a sequence header", HeifFile({{"av01", {Av1C({}), Ispe(8, 8)}, {0x32, 0x00}}}), {8, 8}, true},
      {"item data referenced again and again",
       HeifFile({{"hvc1", {HvcC({HevcSps(8, 8)}), Ispe(8, 8)}, HevcData({kSlice}), false, 3}}),
       {8, 8},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const THeifLayout layout = LayoutOf(c.File);
    EXPECT_TRUE(HasSize(layout, c.Expected.Width, c.Expected.Height));
    EXPECT_EQ(layout.UnknownCodedSize, c.Unknown);
  }
}

TEST(HeifLayout, EveryCutOfAFileReadsWithinItsBytes) {
  const Bytes file = HeifFile({{"grid", {Ispe(64, 48)}, GridData(64, 48, false), true},
                               {"hvc1", {HvcC({HevcSps(64, 64, 1)}), Ispe(64, 64)}, HevcData({kSlice})},
                               {"av01", {Av1C(Av1SequenceHeader(9, 9, false)), Ispe(9, 9)}, {0x32, 0x00}}});
  for (size_t size = 0; size <= file.size(); ++size) {
    const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
    const THeifLayout layout = LayoutOf(cut);
    for (const THeifSize& s : layout.Sizes) EXPECT_TRUE(HasSize(LayoutOf(file), s.Width, s.Height)) << size;
  }
}

std::unique_ptr<TDibGraphic> Load(const Bytes& bytes) {
  TMemoryStream stream(bytes);
  return LoadHeifImage(stream);
}

struct TLimitsScope {
  explicit TLimitsScope(int64_t maxArea) : Saved(ImageLimits()) {
    TImageLimits limits = Saved;
    limits.MaxArea = maxArea;
    SetImageLimits(limits);
  }
  ~TLimitsScope() { SetImageLimits(Saved); }
  TImageLimits Saved;
};

TEST(HeifReader, HostileFilesAreRefusedBeforeDecoding) {
  const struct {
    const char* File;
    int64_t MaxArea;
  } cases[] = {
      {"heic-64x48-grid-with-20000x20000-output.heic", TImageLimits().MaxArea},
      {"heic-64x64-ispe-over-hevc-of-4096x4096.heic", 16 * 1000 * 1000},
      {"avif-64x64-ispe-over-av1-of-4096x4096.avif", 16 * 1000 * 1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.File);
    const TLimitsScope limits(c.MaxArea);
    EXPECT_EQ(MessageOf<EQuorvaneError>([&] { Load(FileBytes(RegressionFile(c.File))); }), "CreateDibSection failed");
  }
}

TEST(HeifReader, ACodedPictureOfUnknownSizeIsNotDecoded) {
  const Bytes file = HeifFile({{"hvc1", {HvcC({}), Ispe(8, 8)}, HevcData({kSlice})}});
  EXPECT_EQ(MessageOf<EHeifError>([&] { Load(file); }),
            "Unreadable HEIF file: a coded picture without a readable size");
}

TEST(HeifReader, FilesLibheifCannotReadRaiseItsReason) {
  for (const Bytes& bytes : {Bytes{}, Bytes{'n', 'o', 't', ' ', 'h', 'e', 'i', 'f'}, HeifFile({})}) {
    const std::string message = MessageOf<EHeifError>([&] { Load(bytes); });
    EXPECT_FALSE(message.empty());
    EXPECT_NE(message.back(), '\n');
  }
}

// Every HEIF regression file either reads within the limits or is refused with an exception.
TEST(HeifReader, RegressionFilesReadOrAreRefused) {
  const TLimitsScope limits(16 * 1000 * 1000);
  for (const auto& entry : std::filesystem::directory_iterator(RegressionFile(""))) {
    const std::string extension = entry.path().extension().string();
    if (extension != ".heic" && extension != ".avif") continue;
    SCOPED_TRACE(entry.path().filename().string());
    try {
      const std::unique_ptr<TDibGraphic> image = Load(FileBytes(entry.path().string()));
      EXPECT_TRUE(ImageSizeAllowed(image->Width(), image->Height(), 24));
    } catch (const Exception&) {
    }
  }
}

TEST(HeifReader, FormatsFollowTheDecodersOfTheBuild) {
  const std::vector<TPlatformPictureFormat> formats = HeifFormats();
  for (const auto& format : formats) {
    EXPECT_TRUE(IsHeifExtension(format.Extension));
    EXPECT_TRUE(IsHeifExtension("." + format.Extension));
  }
  EXPECT_FALSE(IsHeifExtension(".png"));
  // This project's Debian build decodes both.
  EXPECT_TRUE(IsHeifExtension(".HEIC"));
  EXPECT_TRUE(IsHeifExtension("avif"));
}

}  // namespace
