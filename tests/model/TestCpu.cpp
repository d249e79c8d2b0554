#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "model/QvCpu.h"

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
