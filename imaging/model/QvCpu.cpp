#include "model/QvCpu.h"

#include <algorithm>
#include <cstdlib>

namespace quorvane {

TCpuLevel DetectedCpuLevel() {
#if QV_X86_KERNELS
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi"))
    return TCpuLevel::Avx512;
  if (__builtin_cpu_supports("ssse3")) return TCpuLevel::Ssse3;
#endif
  return TCpuLevel::Baseline;
}

std::optional<TCpuLevel> CpuLevelFromName(std::string_view name) {
  if (name == "baseline" || name == "sse2") return TCpuLevel::Baseline;
  if (name == "ssse3") return TCpuLevel::Ssse3;
  if (name == "avx512") return TCpuLevel::Avx512;
  return std::nullopt;
}

const char* CpuLevelName(TCpuLevel level) {
  switch (level) {
    case TCpuLevel::Ssse3: return "ssse3";
    case TCpuLevel::Avx512: return "avx512";
    case TCpuLevel::Baseline: break;
  }
  return "baseline";
}

namespace {

TCpuLevel LevelInForce() {
  const TCpuLevel detected = DetectedCpuLevel();
  const char* cap = std::getenv("QUORVANE_CPU");
  if (cap == nullptr || *cap == '\0') return detected;
  // A cap that names no level is taken as the strictest: it was meant to restrict.
  return std::min(detected, CpuLevelFromName(cap).value_or(TCpuLevel::Baseline));
}

}  // namespace

TCpuLevel CpuLevel() {
  static const TCpuLevel level = LevelInForce();
  return level;
}

}  // namespace quorvane
