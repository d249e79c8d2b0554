#include <gtest/gtest.h>

#include <cstring>

#include "model/QvDiGrph.h"
#include "model/QvExcept.h"
#include "model/QvIccProfile.h"

using namespace quorvane;

namespace {

using Bytes = std::vector<uint8_t>;

// A profile that passes the byte checks: header, declared size, colour space and signature.
Bytes FakeProfile(size_t size, const char* space = "RGB ", uint8_t fill = 0) {
  Bytes p(size, fill);
  p[0] = static_cast<uint8_t>(size >> 24);
  p[1] = static_cast<uint8_t>(size >> 16);
  p[2] = static_cast<uint8_t>(size >> 8);
  p[3] = static_cast<uint8_t>(size);
  std::memcpy(p.data() + 16, space, 4);
  std::memcpy(p.data() + 36, "acsp", 4);
  for (size_t i = 128; i < size; ++i) p[i] = static_cast<uint8_t>(i * 7);
  return p;
}

Bytes Chunk(int number, int count, const Bytes& data) {
  Bytes c(kIccJpegSignature, kIccJpegSignature + 12);
  c.push_back(static_cast<uint8_t>(number));
  c.push_back(static_cast<uint8_t>(count));
  c.insert(c.end(), data.begin(), data.end());
  return c;
}

Bytes Slice(const Bytes& b, size_t from, size_t to) { return Bytes(b.begin() + from, b.begin() + to); }

}  // namespace

TEST(IccProfileBytes, ChecksHeaderSizeAndSignature) {
  EXPECT_EQ(IccProfileProblem(FakeProfile(200)), "");
  EXPECT_NE(IccProfileProblem(FakeProfile(200).data(), 131), "");  // shorter than header + tag count
  Bytes noSignature = FakeProfile(200);
  noSignature[36] = 'x';
  EXPECT_NE(IccProfileProblem(noSignature), "");
  Bytes longerThanData = FakeProfile(200);
  longerThanData[3] = 201;
  EXPECT_NE(IccProfileProblem(longerThanData), "");
  Bytes shorterDeclared = FakeProfile(200);
  shorterDeclared[3] = 190;  // padding after the profile is allowed, and cut off
  EXPECT_EQ(IccProfileProblem(shorterDeclared), "");
  EXPECT_EQ(IccDeclaredSize(shorterDeclared.data()), 190u);
  EXPECT_NE(IccProfileProblem(nullptr, 0), "");
}

TEST(IccProfileBytes, FitsFormatsByColourSpace) {
  const Bytes rgb = FakeProfile(200, "RGB "), gray = FakeProfile(200, "GRAY"), cmyk = FakeProfile(200, "CMYK");
  for (TImageFormat f : {TImageFormat::Color16, TImageFormat::Color256, TImageFormat::TrueColor}) {
    EXPECT_TRUE(IccProfileFits(rgb, f));
    EXPECT_FALSE(IccProfileFits(gray, f));
    EXPECT_FALSE(IccProfileFits(cmyk, f));
  }
  for (TImageFormat f : {TImageFormat::BlackWhite, TImageFormat::Gray16, TImageFormat::Gray256}) {
    EXPECT_FALSE(IccProfileFits(rgb, f));
    EXPECT_TRUE(IccProfileFits(gray, f));
  }
  EXPECT_FALSE(IccProfileFits(Bytes{}, TImageFormat::TrueColor));
}

TEST(IccProfileBytes, JpegChunksRoundTripInAnyOrder) {
  const Bytes profile = FakeProfile(kIccJpegChunkData * 2 + 1000);
  std::vector<Bytes> chunks = SplitIccForJpeg(profile);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].size(), 14 + kIccJpegChunkData);
  EXPECT_EQ(chunks[2][12], 3);
  EXPECT_EQ(chunks[2][13], 3);
  TIccChunkAssembler assembler;
  assembler.Add(chunks[2].data(), chunks[2].size());
  const Bytes other = {'E', 'x', 'i', 'f', 0, 0};  // an APP2 of another kind is not a chunk
  assembler.Add(other.data(), other.size());
  assembler.Add(chunks[0].data(), chunks[0].size());
  assembler.Add(chunks[1].data(), chunks[1].size());
  EXPECT_EQ(assembler.Assemble(), profile);
  EXPECT_EQ(assembler.Problem(), "");
  EXPECT_TRUE(SplitIccForJpeg({}).empty());
  EXPECT_THROW(SplitIccForJpeg(Bytes(kIccJpegChunkData * 255 + 1, 0)), EQuorvaneError);
}

// Damaged chunk sequences give no profile and a reason, never a partial profile.
TEST(IccProfileBytes, DamagedJpegChunksAreRefused) {
  const Bytes p = FakeProfile(300);
  const Bytes a = Slice(p, 0, 150), b = Slice(p, 150, 300);
  const struct {
    const char* Name;
    std::vector<Bytes> Chunks;
  } cases[] = {
      {"missing chunk", {Chunk(1, 2, a)}},
      {"chunk twice", {Chunk(1, 2, a), Chunk(1, 2, a)}},
      {"number zero", {Chunk(0, 2, a), Chunk(2, 2, b)}},
      {"number beyond count", {Chunk(1, 2, a), Chunk(3, 2, b)}},
      {"counts disagree", {Chunk(1, 2, a), Chunk(2, 3, b)}},
      {"count zero", {Chunk(1, 0, p)}},
      {"header cut short", {Bytes(kIccJpegSignature, kIccJpegSignature + 12)}},
      {"not a profile", {Chunk(1, 1, Bytes(300, 0x41))}},
      {"chunks swapped in numbering", {Chunk(2, 2, a), Chunk(1, 2, b)}},
  };
  for (const auto& c : cases) {
    TIccChunkAssembler assembler;
    for (const Bytes& chunk : c.Chunks) assembler.Add(chunk.data(), chunk.size());
    EXPECT_TRUE(assembler.Assemble().empty()) << c.Name;
    EXPECT_NE(assembler.Problem(), "") << c.Name;
  }
}

// The profile describes the colours, so it follows the pixels through copies but is not touched
// by reallocation.
TEST(IccProfileProperty, FollowsPixelsThroughCopies) {
  const Bytes profile = FakeProfile(200);
  TDibGraphic image;
  image.NewImage(4, 3, TImageFormat::TrueColor, nullptr, 0, 0);
  EXPECT_FALSE(image.HasIccProfile());
  image.SetIccProfile(profile);
  image.NewImage(5, 5, TImageFormat::Gray256, nullptr, 0, 0);
  image.FreeImage();
  image.NewImage(4, 3, TImageFormat::TrueColor, nullptr, 0, 0);
  EXPECT_EQ(image.IccProfile(), profile);

  TDibGraphic copy;
  copy.Assign(&image);
  EXPECT_EQ(copy.IccProfile(), profile);
  TDibGraphic plain;
  plain.NewImage(2, 2, TImageFormat::TrueColor, nullptr, 0, 0);
  copy.Assign(&plain);
  EXPECT_FALSE(copy.HasIccProfile());

  TDibGraphic moved;
  moved.TakeImage(image);
  EXPECT_EQ(moved.IccProfile(), profile);
  moved.SetIccProfile({});
  EXPECT_FALSE(moved.HasIccProfile());
  EXPECT_TRUE(moved.IccProfile().empty());
}
