#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/QvCpu.h"
#include "model/QvDiGrphRows.h"

using namespace quorvane;

TEST(Cpu, LevelNamesReadBack) {
  for (TCpuLevel level : {TCpuLevel::Baseline, TCpuLevel::Ssse3, TCpuLevel::Avx512})
    EXPECT_EQ(CpuLevelFromName(CpuLevelName(level)), level);
  EXPECT_EQ(CpuLevelFromName("sse2"), TCpuLevel::Baseline) << "every x86-64 processor has SSE2";
  EXPECT_FALSE(CpuLevelFromName("avx"));
  EXPECT_FALSE(CpuLevelFromName(""));
}

// The suites run again with QUORVANE_CPU set: the level in force must be the cap (or the
// processor's own level when that is lower), or those runs would test nothing new.
TEST(Cpu, TheEnvironmentCapsTheLevel) {
  const TCpuLevel detected = DetectedCpuLevel();
  const char* cap = std::getenv("QUORVANE_CPU");
  if (cap == nullptr || *cap == '\0') {
    EXPECT_EQ(CpuLevel(), detected);
    return;
  }
  EXPECT_EQ(CpuLevel(), std::min(detected, CpuLevelFromName(cap).value_or(TCpuLevel::Baseline))) << cap;
}

// Row kernels with a processor path, checked here so that every level's run covers them: each
// length that ends inside, at and after a shuffle's reach, into a separate row and in place, and
// nothing past the row is written.
TEST(Cpu, SwapRedBlueMatchesThePlainExchangeAtEveryLength) {
  for (size_t count = 0; count <= 40; ++count) {
    std::vector<uint8_t> in(3 * count + 16);
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<uint8_t>(i * 37 + 11);
    std::vector<uint8_t> expected = in;
    for (size_t x = 0; x < count; ++x) std::swap(expected[3 * x], expected[3 * x + 2]);

    std::vector<uint8_t> out = in;
    SwapRedBlue(in.data(), out.data(), count);
    EXPECT_EQ(out, expected) << count << " pixels";
    std::vector<uint8_t> same = in;
    SwapRedBlue(same.data(), same.data(), count);
    EXPECT_EQ(same, expected) << count << " pixels in place";
  }
}

// 1-bit rows are packed eight indices at a time: every index that is not 0 (not only 1) sets its
// bit, the first index lands in the highest bit, and a partial last byte has zero padding.
TEST(RowIndices, OneBitPackingSetsTheBitOfEveryIndexNotZero) {
  const uint8_t values[] = {0, 1, 2, 0x7F, 0x80, 0x81, 0xFE, 0xFF};
  for (int count = 0; count <= 27; ++count) {
    std::vector<uint8_t> indices(static_cast<size_t>(count));
    for (int seed = 0; seed < 64; ++seed) {
      for (int i = 0; i < count; ++i) indices[static_cast<size_t>(i)] = values[(i * 5 + seed * 3 + i * seed) % 8];
      std::vector<uint8_t> expected(static_cast<size_t>(count + 7) / 8 + 1, 0xAB);
      std::vector<uint8_t> row = expected;
      for (size_t b = 0; b < static_cast<size_t>(count + 7) / 8; ++b) expected[b] = 0;
      for (int i = 0; i < count; ++i)
        if (indices[static_cast<size_t>(i)] != 0) expected[static_cast<size_t>(i / 8)] |= 0x80 >> (i % 8);
      PackIndices(indices.data(), count, 1, row.data());
      ASSERT_EQ(row, expected) << "count " << count << ", seed " << seed;
    }
  }
}
