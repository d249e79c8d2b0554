#include "formats/QvHeifLayout.h"

#include <algorithm>
#include <initializer_list>
#include <map>
#include <set>

namespace quorvane {

namespace {

constexpr uint32_t FourCC(const char (&text)[5]) {
  return static_cast<uint32_t>(text[0]) << 24 | static_cast<uint32_t>(text[1]) << 16 |
         static_cast<uint32_t>(text[2]) << 8 | static_cast<uint32_t>(text[3]);
}

// A byte range; every read is checked against it and an overrun empties it and marks it failed.
class TBytes {
 public:
  TBytes() = default;
  TBytes(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  bool Failed() const { return FFailed; }
  size_t Left() const { return FFailed ? 0 : FSize - FPos; }
  const uint8_t* Here() const { return FData + FPos; }
  uint64_t Read(int bytes) {
    if (FFailed || static_cast<size_t>(bytes) > FSize - FPos) return Fail();
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | FData[FPos++];
    return value;
  }
  TBytes Take(size_t count) {
    if (FFailed || count > FSize - FPos) {
      Fail();
      return {};
    }
    TBytes part(FData + FPos, count);
    FPos += count;
    return part;
  }
  void Skip(size_t count) { Take(count); }

 private:
  uint64_t Fail() {
    FFailed = true;
    return 0;
  }
  const uint8_t* FData = nullptr;
  size_t FSize = 0;
  size_t FPos = 0;
  bool FFailed = false;
};

struct TBox {
  uint32_t Type = 0;
  TBytes Payload;
};

// The next box of Rest; false at the end or when the box does not fit.
bool NextBox(TBytes& rest, TBox& box) {
  if (rest.Left() < 8) return false;
  const size_t start = rest.Left();
  uint64_t size = rest.Read(4);
  box.Type = static_cast<uint32_t>(rest.Read(4));
  if (size == 1) size = rest.Read(8);
  const size_t header = start - rest.Left();
  if (size == 0) size = start;
  if (rest.Failed() || size < header || size > start) return false;
  box.Payload = rest.Take(static_cast<size_t>(size - header));
  return !rest.Failed();
}

// The first child box of the given type, or an empty range.
TBytes FirstChild(TBytes children, uint32_t type) {
  TBox box;
  while (NextBox(children, box))
    if (box.Type == type) return box.Payload;
  return {};
}

// Reads bits most significant first, over the payload of a coded-stream header.
class TBits {
 public:
  explicit TBits(std::vector<uint8_t> bytes) : FBytes(std::move(bytes)) {}
  bool Failed() const { return FFailed; }
  uint64_t Read(int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
      if (FPos >= FBytes.size() * 8) {
        FFailed = true;
        return 0;
      }
      value = value << 1 | ((FBytes[FPos / 8] >> (7 - FPos % 8)) & 1);
      ++FPos;
    }
    return value;
  }
  void Skip(int count) { Read(count); }
  // Exp-Golomb code; more than 31 leading zeros is malformed.
  uint64_t ReadGolomb() {
    int zeros = 0;
    while (!FFailed && Read(1) == 0)
      if (++zeros > 31) FFailed = true;
    return FFailed ? 0 : (uint64_t{1} << zeros) - 1 + Read(zeros);
  }

 private:
  std::vector<uint8_t> FBytes;
  size_t FPos = 0;
  bool FFailed = false;
};

// The frame size of an HEVC sequence parameter set (a whole NAL unit, header included).
bool HevcSpsSize(TBytes nal, THeifSize& size) {
  if (nal.Left() < 3 || ((nal.Here()[0] >> 1) & 0x3F) != 33) return false;
  nal.Skip(2);
  // The payload without its emulation prevention bytes (00 00 03).
  std::vector<uint8_t> payload;
  int zeros = 0;
  while (nal.Left() > 0 && payload.size() < 1024) {
    const uint8_t byte = static_cast<uint8_t>(nal.Read(1));
    if (zeros >= 2 && byte == 3) {
      zeros = 0;
      continue;
    }
    zeros = byte == 0 ? zeros + 1 : 0;
    payload.push_back(byte);
  }
  TBits bits(std::move(payload));
  bits.Skip(4);
  const int subLayers = static_cast<int>(bits.Read(3));
  bits.Skip(1);
  bits.Skip(88 + 8);  // general profile, tier and level
  std::vector<bool> profilePresent(subLayers), levelPresent(subLayers);
  for (int i = 0; i < subLayers; ++i) {
    profilePresent[i] = bits.Read(1) != 0;
    levelPresent[i] = bits.Read(1) != 0;
  }
  if (subLayers > 0) bits.Skip(2 * (8 - subLayers));
  for (int i = 0; i < subLayers; ++i) {
    if (profilePresent[i]) bits.Skip(88);
    if (levelPresent[i]) bits.Skip(8);
  }
  bits.ReadGolomb();  // sequence parameter set id
  if (bits.ReadGolomb() == 3) bits.Skip(1);
  size.Width = static_cast<int64_t>(bits.ReadGolomb());
  size.Height = static_cast<int64_t>(bits.ReadGolomb());
  return !bits.Failed();
}

// Each AV1 sequence header's maximum frame size among the OBUs in Data.
void Av1SequenceSizes(TBytes data, std::vector<THeifSize>& sizes, bool& found) {
  while (data.Left() > 0) {
    const uint8_t header = static_cast<uint8_t>(data.Read(1));
    if (header & 0x04) data.Skip(1);  // extension
    uint64_t length = data.Left();
    if (header & 0x02) {
      length = 0;
      for (int i = 0; i < 8; ++i) {
        const uint64_t byte = data.Read(1);
        length |= (byte & 0x7F) << (7 * i);
        if ((byte & 0x80) == 0) break;
      }
    }
    TBytes obu = data.Take(static_cast<size_t>(std::min<uint64_t>(length, data.Left())));
    if (data.Failed() || obu.Failed()) return;
    if (((header >> 3) & 0x0F) != 1) continue;  // not a sequence header
    TBits bits(std::vector<uint8_t>(obu.Here(), obu.Here() + std::min<size_t>(obu.Left(), 1024)));
    bits.Skip(4);
    if (bits.Read(1) != 0) {  // reduced still-picture header
      bits.Skip(5);
    } else {
      bool decoderModel = false;
      int delayBits = 0;
      if (bits.Read(1) != 0) {  // timing information
        bits.Skip(64);
        if (bits.Read(1) != 0) bits.ReadGolomb();
        decoderModel = bits.Read(1) != 0;
        if (decoderModel) {
          delayBits = static_cast<int>(bits.Read(5)) + 1;
          bits.Skip(32 + 5 + 5);
        }
      }
      const bool displayDelay = bits.Read(1) != 0;
      const int points = static_cast<int>(bits.Read(5)) + 1;
      for (int i = 0; i < points && !bits.Failed(); ++i) {
        bits.Skip(12);
        if (bits.Read(5) > 7) bits.Skip(1);
        if (decoderModel && bits.Read(1) != 0) bits.Skip(2 * delayBits + 1);
        if (displayDelay && bits.Read(1) != 0) bits.Skip(4);
      }
    }
    const int widthBits = static_cast<int>(bits.Read(4)) + 1, heightBits = static_cast<int>(bits.Read(4)) + 1;
    THeifSize size;
    size.Width = static_cast<int64_t>(bits.Read(widthBits)) + 1;
    size.Height = static_cast<int64_t>(bits.Read(heightBits)) + 1;
    if (bits.Failed()) return;
    sizes.push_back(size);
    found = true;
  }
}

// The HEVC parameter sets of an 'hvcC' configuration; LengthSize receives the size of the NAL
// length fields of the item's data.
void HevcConfigSizes(TBytes config, std::vector<THeifSize>& sizes, bool& found, int& lengthSize) {
  config.Skip(21);
  lengthSize = static_cast<int>(config.Read(1) & 3) + 1;
  const int arrays = static_cast<int>(config.Read(1));
  for (int a = 0; a < arrays && !config.Failed(); ++a) {
    config.Skip(1);
    const int count = static_cast<int>(config.Read(2));
    for (int n = 0; n < count && !config.Failed(); ++n) {
      TBytes nal = config.Take(static_cast<size_t>(config.Read(2)));
      THeifSize size;
      if (!config.Failed() && HevcSpsSize(nal, size)) {
        sizes.push_back(size);
        found = true;
      }
    }
  }
}

// Parameter sets sent within an HEVC item's data, which the decoder takes as well.
void HevcDataSizes(TBytes data, int lengthSize, std::vector<THeifSize>& sizes, bool& found) {
  while (data.Left() > 0) {
    TBytes nal = data.Take(static_cast<size_t>(data.Read(lengthSize)));
    if (data.Failed()) return;
    THeifSize size;
    if (HevcSpsSize(nal, size)) {
      sizes.push_back(size);
      found = true;
    }
  }
}

// The output size of a grid ('grid') or overlay ('iovl') description.
bool DerivedImageSize(TBytes data, uint32_t type, THeifSize& size) {
  data.Skip(1);
  const int fieldBytes = (data.Read(1) & 1) ? 4 : 2;
  data.Skip(type == FourCC("grid") ? 2 : 8);  // rows and columns; or the canvas fill values
  size.Width = static_cast<int64_t>(data.Read(fieldBytes));
  size.Height = static_cast<int64_t>(data.Read(fieldBytes));
  return !data.Failed();
}

struct TItem {
  std::set<uint32_t> Types;                // every type an 'infe' entry gives the item
  std::vector<int> Properties;             // 1-based indexes into 'ipco'
  std::vector<std::vector<uint8_t>> Data;  // one per 'iloc' entry, its extents joined
};

void ReadItemTypes(TBytes iinf, std::map<uint32_t, TItem>& items) {
  const int version = static_cast<int>(iinf.Read(1));
  iinf.Skip(3 + (version == 0 ? 2 : 4));
  TBox box;
  while (NextBox(iinf, box)) {
    if (box.Type != FourCC("infe")) continue;
    TBytes infe = box.Payload;
    const int infeVersion = static_cast<int>(infe.Read(1));
    infe.Skip(3);
    if (infeVersion < 2) continue;
    const uint32_t id = static_cast<uint32_t>(infe.Read(infeVersion == 2 ? 2 : 4));
    infe.Skip(2);
    const uint32_t type = static_cast<uint32_t>(infe.Read(4));
    if (!infe.Failed()) items[id].Types.insert(type);
  }
}

void ReadPropertyLinks(TBytes ipma, std::map<uint32_t, TItem>& items) {
  const int version = static_cast<int>(ipma.Read(1));
  const bool wide = (ipma.Read(3) & 1) != 0;
  const uint64_t entries = ipma.Read(4);
  for (uint64_t e = 0; e < entries && !ipma.Failed(); ++e) {
    const uint32_t id = static_cast<uint32_t>(ipma.Read(version < 1 ? 2 : 4));
    const int count = static_cast<int>(ipma.Read(1));
    for (int a = 0; a < count && !ipma.Failed(); ++a) {
      const int index = static_cast<int>(ipma.Read(wide ? 2 : 1) & (wide ? 0x7FFF : 0x7F));
      if (!ipma.Failed()) items[id].Properties.push_back(index);
    }
  }
}

// The bytes of each 'iloc' entry, its extents joined, from the file (construction method 0) or
// the 'idat' box (method 1). Entries may point at the same bytes over and over; beyond Budget
// bytes joined in all, the walk stops and returns false.
bool ReadItemData(TBytes iloc, TBytes file, TBytes idat, std::map<uint32_t, TItem>& items, size_t budget) {
  const int version = static_cast<int>(iloc.Read(1));
  iloc.Skip(3);
  const int sizes = static_cast<int>(iloc.Read(2));
  const int offsetSize = sizes >> 12, lengthSize = (sizes >> 8) & 15, baseSize = (sizes >> 4) & 15;
  const int indexSize = version >= 1 ? sizes & 15 : 0;
  const uint64_t count = iloc.Read(version < 2 ? 2 : 4);
  for (uint64_t i = 0; i < count && !iloc.Failed(); ++i) {
    const uint32_t id = static_cast<uint32_t>(iloc.Read(version < 2 ? 2 : 4));
    const int method = version >= 1 ? static_cast<int>(iloc.Read(2) & 15) : 0;
    iloc.Skip(2);
    const uint64_t base = iloc.Read(baseSize);
    const int extents = static_cast<int>(iloc.Read(2));
    std::vector<uint8_t> joined;
    for (int x = 0; x < extents && !iloc.Failed(); ++x) {
      iloc.Skip(static_cast<size_t>(indexSize));
      const uint64_t offset = base + iloc.Read(offsetSize);
      uint64_t length = iloc.Read(lengthSize);
      const TBytes& source = method == 1 ? idat : file;
      if (method > 1 || offset < base || offset > source.Left()) continue;
      if (length == 0 || length > source.Left() - offset) length = source.Left() - offset;
      if (length > budget) return false;
      budget -= static_cast<size_t>(length);
      joined.insert(joined.end(), source.Here() + offset, source.Here() + offset + length);
    }
    if (iloc.Failed()) return true;
    items[id].Data.push_back(std::move(joined));
  }
  return true;
}

}  // namespace

THeifLayout ReadHeifLayout(const uint8_t* data, size_t size) {
  THeifLayout layout;
  const TBytes file(data, size);
  const TBytes meta = FirstChild(file, FourCC("meta"));
  if (meta.Left() < 4) return layout;
  TBytes children = meta;
  children.Skip(4);
  const TBytes iprp = FirstChild(children, FourCC("iprp"));
  std::vector<TBox> properties;
  {
    TBytes ipco = FirstChild(iprp, FourCC("ipco"));
    TBox box;
    while (NextBox(ipco, box)) properties.push_back(box);
  }
  std::map<uint32_t, TItem> items;
  ReadItemTypes(FirstChild(children, FourCC("iinf")), items);
  {
    TBytes rest = iprp;
    TBox box;
    while (NextBox(rest, box))
      if (box.Type == FourCC("ipma")) ReadPropertyLinks(box.Payload, items);
  }
  // Coded items' data is walked in full for parameter sets sent with it. Items of a sound file
  // do not share bytes, so together they hold at most the file.
  if (!ReadItemData(FirstChild(children, FourCC("iloc")), file, FirstChild(children, FourCC("idat")), items, size))
    layout.UnknownCodedSize = true;

  for (const auto& entry : items) {
    const TItem& item = entry.second;
    const bool hevc = item.Types.count(FourCC("hvc1")) > 0, av1 = item.Types.count(FourCC("av01")) > 0;
    bool codedSizeFound = false;
    int lengthSize = 4;
    for (const int index : item.Properties) {
      if (index < 1 || static_cast<size_t>(index) > properties.size()) continue;
      const TBox& property = properties[static_cast<size_t>(index) - 1];
      TBytes payload = property.Payload;
      if (property.Type == FourCC("ispe")) {
        payload.Skip(4);
        THeifSize declared;
        declared.Width = static_cast<int64_t>(payload.Read(4));
        declared.Height = static_cast<int64_t>(payload.Read(4));
        if (!payload.Failed()) layout.Sizes.push_back(declared);
      } else if (hevc && property.Type == FourCC("hvcC")) {
        HevcConfigSizes(payload, layout.Sizes, codedSizeFound, lengthSize);
      } else if (av1 && property.Type == FourCC("av1C")) {
        payload.Skip(4);
        Av1SequenceSizes(payload, layout.Sizes, codedSizeFound);
      }
    }
    for (const std::vector<uint8_t>& bytes : item.Data) {
      const TBytes itemData(bytes.data(), bytes.size());
      if (hevc) HevcDataSizes(itemData, lengthSize, layout.Sizes, codedSizeFound);
      if (av1) Av1SequenceSizes(itemData, layout.Sizes, codedSizeFound);
      for (const uint32_t derivedType : {FourCC("grid"), FourCC("iovl")}) {
        THeifSize derived;
        if (item.Types.count(derivedType) > 0 && DerivedImageSize(itemData, derivedType, derived))
          layout.Sizes.push_back(derived);
      }
    }
    if ((hevc || av1) && !codedSizeFound) layout.UnknownCodedSize = true;
  }
  return layout;
}

}  // namespace quorvane
