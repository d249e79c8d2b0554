// The processor features the library's row kernels may use, decided once per process.
//
// Levels, each including the ones below it:
//   baseline  the portable C++ paths (on x86-64 they may use SSE2, which every such processor has)
//   ssse3     byte shuffles (row reversal)
//   avx512    AVX-512 F, BW and VBMI (64-byte table lookups and permutes)
// The level is the highest the processor offers, capped at start-up by the environment variable
// QUORVANE_CPU ("baseline" or "sse2", "ssse3", "avx512"), so that tests and users can run every
// path on one machine. An unknown name caps at baseline.
//
// Code that uses intrinsics compiles only where QV_X86_KERNELS is 1; every kernel keeps a
// portable path for other processors.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#if defined(__x86_64__) && defined(__GNUC__) && !defined(QV_PORTABLE_KERNELS)
#define QV_X86_KERNELS 1
#else
#define QV_X86_KERNELS 0
#endif

namespace quorvane {

enum class TCpuLevel : uint8_t { Baseline = 0, Ssse3 = 1, Avx512 = 2 };

// The level in force: the processor's, capped by QUORVANE_CPU; read once and cached.
TCpuLevel CpuLevel();
// True when the level in force includes Level.
inline bool CpuHas(TCpuLevel level) { return CpuLevel() >= level; }

// What the processor itself offers (without the cap).
TCpuLevel DetectedCpuLevel();
// The level a QUORVANE_CPU value names; nothing for an unknown name.
std::optional<TCpuLevel> CpuLevelFromName(std::string_view name);
// "baseline", "ssse3" or "avx512".
const char* CpuLevelName(TCpuLevel level);

}  // namespace quorvane
