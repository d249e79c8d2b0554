#include "formats/QvDcxGr.h"

#include <limits>
#include <vector>

#include "model/QvBytes.h"

namespace quorvane {

QV_DEFINE_GRAPHIC_CLASS(TDcxGraphic)

namespace {

constexpr const char* kHeaderNotValid = "The DCX file header is not valid";
constexpr const char* kHeaderFull = "The DCX file header is full";
constexpr int64_t kFirstPageOffset = 4 * TDcxGraphic::kTableEntries + 4;

void CheckSignature(TStream& stream) {
  uint8_t sig[4];
  stream.ReadBuffer(sig, sizeof sig);
  if (GetLe32(sig) != TDcxGraphic::kSignature) throw EDcxError(kHeaderNotValid);
}

// Reads the page table entry by entry from the stream's position, a block at a time, and keeps
// the stream position in step with the entries handed out. The table has the format's 1024
// entries at most: one that runs on past them (into the pages) is not a valid header, which keeps
// the cost of reading it fixed.
class TTableReader {
 public:
  explicit TTableReader(TStream& stream) : FStream(stream), FPosition(stream.Position()) {}

  // The next entry; raises "not valid" when the stream ends inside it or the table has no more.
  uint32_t Next() {
    if (++FCount > TDcxGraphic::kTableEntries) throw EDcxError(kHeaderNotValid);
    if (FIndex + 4 > FBuffer.size()) {
      FStream.Seek(FPosition, TSeekOrigin::soBeginning);
      FBuffer.resize(kBlock);
      FBuffer.resize(FStream.Read(FBuffer.data(), kBlock));
      FIndex = 0;
      if (FBuffer.size() < 4) throw EDcxError(kHeaderNotValid);
    }
    const uint32_t value = GetLe32(FBuffer.data() + FIndex);
    FIndex += 4;
    FPosition += 4;
    return value;
  }
  // Stream position just after the last entry handed out.
  int64_t Position() const { return FPosition; }

 private:
  static constexpr size_t kBlock = 4096;
  TStream& FStream;
  int64_t FPosition;
  std::vector<uint8_t> FBuffer;
  size_t FIndex = 0;
  int FCount = 0;  // entries handed out
};

}  // namespace

int TDcxGraphic::GetImageCount(TStream& stream) {
  CheckSignature(stream);
  TTableReader table(stream);
  int count = 0;
  while (table.Next() != 0) ++count;
  return count;
}

void TDcxGraphic::LoadImageFromStream(TStream& stream, int index) {
  CheckSignature(stream);
  if (index < 1) throw EDcxError(kHeaderNotValid);
  TTableReader table(stream);
  uint32_t offset = 0;
  for (int i = 0; i < index; ++i) {
    offset = table.Next();
    if (offset == 0) throw EDcxError(kHeaderNotValid);
  }
  const uint32_t next = table.Next();
  const int64_t size = stream.Size();
  const int64_t end = next == 0 ? size : next;
  // Pages must lie inside the stream in increasing order; an empty or reversed extent is no page.
  if (end <= offset || end > size) throw EDcxError(kHeaderNotValid);
  TSubStream page(stream, offset, end - offset);
  TPcxGraphic::LoadImageFromStream(page, 1);
}

void TDcxGraphic::SaveToStream(TStream& stream) {
  std::vector<uint8_t> header(static_cast<size_t>(kFirstPageOffset), 0);
  PutLe32(header.data(), kSignature);
  PutLe32(header.data() + 4, static_cast<uint32_t>(kFirstPageOffset));
  stream.WriteBuffer(header.data(), header.size());
  TPcxGraphic::SaveToStream(stream);
}

void TDcxGraphic::AppendToStream(TStream& stream) {
  const int64_t size = stream.Size();
  if (size == 0) {
    SaveToStream(stream);
    return;
  }
  stream.Seek(0, TSeekOrigin::soBeginning);
  CheckSignature(stream);
  TTableReader table(stream);
  const uint32_t firstPage = table.Next();
  if (firstPage == 0) throw EDcxError(kHeaderNotValid);
  // A first page past the end would let the table's new end entry grow the stream, and the page
  // would then be written four bytes after the offset registered for it.
  if (firstPage > size) throw EDcxError(kHeaderNotValid);
  while (table.Next() != 0) {
  }
  // The zero entry that will end the table must still lie wholly before the first page.
  if (table.Position() + 4 > firstPage) throw EDcxError(kHeaderFull);
  // Page offsets are 32-bit: a container that has grown past that cannot register another page.
  if (size > std::numeric_limits<uint32_t>::max()) throw EDcxError(kHeaderFull);

  uint8_t entries[8] = {};
  PutLe32(entries, static_cast<uint32_t>(size));
  stream.Seek(table.Position() - 4, TSeekOrigin::soBeginning);
  stream.WriteBuffer(entries, sizeof entries);
  stream.Seek(0, TSeekOrigin::soEnd);
  TPcxGraphic::SaveToStream(stream);
}

}  // namespace quorvane
