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
