#include "transforms/QvTransfKernels.h"

#include <bit>
#include <cstdlib>
#include <cstring>

#include "model/QvCpu.h"

#if QV_X86_KERNELS
// GCC 12 takes the intrinsics' deliberately undefined vectors for uninitialised variables.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

namespace quorvane {

// Pixels are moved as little-endian words in places.
static_assert(std::endian::native == std::endian::little);

namespace {

// ---- portable paths ----

// Eight three-byte pixels from 24 bytes, and back.
inline void LoadTriples8(const uint8_t* from, uint64_t p[8]) {
  constexpr uint64_t m = 0xFFFFFF;
  uint64_t a, b, c;
  std::memcpy(&a, from, 8);
  std::memcpy(&b, from + 8, 8);
  std::memcpy(&c, from + 16, 8);
  p[0] = a & m, p[1] = (a >> 24) & m, p[2] = (a >> 48) | ((b & 0xFF) << 16), p[3] = (b >> 8) & m;
  p[4] = (b >> 32) & m, p[5] = (b >> 56) | ((c & 0xFFFF) << 8), p[6] = (c >> 16) & m, p[7] = c >> 40;
}
inline void StoreTriples8(const uint64_t p[8], uint8_t* to) {
  const uint64_t a = p[0] | (p[1] << 24) | (p[2] << 48);
  const uint64_t b = (p[2] >> 16) | (p[3] << 8) | (p[4] << 32) | (p[5] << 56);
  const uint64_t c = (p[5] >> 8) | (p[6] << 16) | (p[7] << 40);
  std::memcpy(to, &a, 8);
  std::memcpy(to + 8, &b, 8);
  std::memcpy(to + 16, &c, 8);
}

// Eight three-byte pixels at a time, reordered in registers.
int ReverseTriplesByWords(const uint8_t* in, uint8_t* out, int width) {
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    uint64_t p[8];
    LoadTriples8(in + 3 * static_cast<ptrdiff_t>(x), p);
    const uint64_t r[8] = {p[7], p[6], p[5], p[4], p[3], p[2], p[1], p[0]};
    StoreTriples8(r, out + 3 * static_cast<ptrdiff_t>(width - 8 - x));
  }
  return x;
}

inline uint8_t GrayLevel(int32_t blue, int32_t green, int32_t red, const uint8_t* p) {
  const int32_t g = (red * p[2] + green * p[1] + blue * p[0]) / 1000;
  return static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
}

#if QV_X86_KERNELS

// ---- SSSE3 ----

// Five three-byte pixels per 16-byte shuffle. Each store also writes one byte just before its
// five pixels, a byte of the pixel the next step stores; so the loop stops while pixels remain
// on both sides (the 16-byte load reads the first byte of the pixel after the five).
__attribute__((target("ssse3"))) int ReverseTriplesSsse3(const uint8_t* in, uint8_t* out, int width) {
  const __m128i order = _mm_setr_epi8(0, 12, 13, 14, 9, 10, 11, 6, 7, 8, 3, 4, 5, 0, 1, 2);
  int x = 0;
  for (; x + 6 <= width; x += 5) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * static_cast<ptrdiff_t>(x)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * static_cast<ptrdiff_t>(width - 5 - x) - 1),
                     _mm_shuffle_epi8(v, order));
  }
  return x;
}

// One pixel per shuffle: its three bytes to the low bytes of three 32-bit lanes. The 16-byte
// load reads 13 bytes past the pixel, so the loop stops 5 pixels before the end.
__attribute__((target("ssse3"))) int TriplesToFloatsSsse3(const uint8_t* in, float* out, int width) {
  const __m128i order = _mm_setr_epi8(0, -1, -1, -1, 1, -1, -1, -1, 2, -1, -1, -1, -1, -1, -1, -1);
  int x = 0;
  for (; x + 6 <= width; ++x, in += 3, out += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    _mm_storeu_ps(out, _mm_cvtepi32_ps(_mm_shuffle_epi8(v, order)));
  }
  return x;
}

// Sixteen one-byte pixels per shuffle.
__attribute__((target("ssse3"))) int ReverseBytesSsse3(const uint8_t* in, uint8_t* out, int width) {
  const __m128i order = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + width - 16 - x), _mm_shuffle_epi8(v, order));
  }
  return x;
}

// ---- AVX-512 (F, BW, VBMI) ----

// 64 lookups per step: two 128-entry permutes, the top bit of each index choosing between them.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) size_t MapBytes64(const uint8_t table[256], const uint8_t* in,
                                                                         uint8_t* out, size_t count) {
  const __m512i t0 = _mm512_loadu_si512(table);
  const __m512i t1 = _mm512_loadu_si512(table + 64);
  const __m512i t2 = _mm512_loadu_si512(table + 128);
  const __m512i t3 = _mm512_loadu_si512(table + 192);
  size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    const __m512i v = _mm512_loadu_si512(in + i);
    const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
    const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
    _mm512_storeu_si512(out + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high));
  }
  return i;
}

// Output byte J of 64-byte block M is channel (64M + J) mod 3 of pixel (64M + J) / 3.
struct TInterleave {
  uint8_t BlueGreen[3][64]{};  // pixel, or 64 + pixel for green
  uint8_t Red[3][64]{};
  __mmask64 RedMask[3]{};
  TInterleave() {
    for (int m = 0; m < 3; ++m)
      for (int j = 0; j < 64; ++j) {
        const int k = 64 * m + j, pixel = k / 3, channel = k % 3;
        if (channel == 2) {
          Red[m][j] = static_cast<uint8_t>(pixel);
          RedMask[m] |= __mmask64{1} << j;
        } else {
          BlueGreen[m][j] = static_cast<uint8_t>(channel * 64 + pixel);
        }
      }
  }
};

// Indices to triples, 64 pixels per step: each channel is looked up on its own, then the three
// are interleaved by byte permutes. Returns how many pixels it did.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int ExpandTriples64(const uint8_t channels[3][256],
                                                                           const uint8_t* in, uint8_t* out, int width) {
  static const TInterleave il;
  __m512i tables[3][4];
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 4; ++k) tables[c][k] = _mm512_loadu_si512(channels[c] + 64 * k);
  __m512i blueGreen[3], red[3];
  for (int m = 0; m < 3; ++m) {
    blueGreen[m] = _mm512_loadu_si512(il.BlueGreen[m]);
    red[m] = _mm512_loadu_si512(il.Red[m]);
  }
  int x = 0;
  for (; x + 64 <= width; x += 64, out += 192) {
    const __m512i v = _mm512_loadu_si512(in + x);
    const __mmask64 high = _mm512_movepi8_mask(v);
    __m512i channel[3];
    for (int c = 0; c < 3; ++c)
      channel[c] = _mm512_mask_blend_epi8(high, _mm512_permutex2var_epi8(tables[c][0], v, tables[c][1]),
                                          _mm512_permutex2var_epi8(tables[c][2], v, tables[c][3]));
    for (int m = 0; m < 3; ++m) {
      __m512i o = _mm512_permutex2var_epi8(channel[0], blueGreen[m], channel[1]);
      o = _mm512_mask_permutexvar_epi8(o, il.RedMask[m], red[m], channel[2]);
      _mm512_storeu_si512(out + 64 * m, o);
    }
  }
  return x;
}

// Gray indices of 16 pixels per step; returns how many pixels it did. The weighted sums are
// formed by 16-bit multiply-adds, clamped to 0 .. 255999, and divided by 1000 as
// Trunc((Sum + 0.5) * 0.001) in single precision: exact for every sum in that range (checked for
// all of them), since 0.5 keeps the product 0.0005 away from the next whole number while the
// rounding error stays below 0.00003.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int GrayIndices16(int32_t blueWeight, int32_t greenWeight,
                                                                         int32_t redWeight,
                                                                         const uint8_t levelIndex[256],
                                                                         const uint8_t* in, uint8_t* out, int width) {
  // Blue and green of pixel I as 16-bit words 2I and 2I + 1; red as 32-bit lane I.
  alignas(64) uint8_t blueGreenOrder[64], redOrder[64];
  for (int i = 0; i < 16; ++i) {
    blueGreenOrder[4 * i] = static_cast<uint8_t>(3 * i);
    blueGreenOrder[4 * i + 2] = static_cast<uint8_t>(3 * i + 1);
    blueGreenOrder[4 * i + 1] = blueGreenOrder[4 * i + 3] = 0;
    redOrder[4 * i] = static_cast<uint8_t>(3 * i + 2);
    redOrder[4 * i + 1] = redOrder[4 * i + 2] = redOrder[4 * i + 3] = 0;
  }
  const __m512i blueGreen = _mm512_load_si512(blueGreenOrder);
  const __m512i red = _mm512_load_si512(redOrder);
  const __m512i blueGreenWeights = _mm512_set1_epi32(
      static_cast<int32_t>((static_cast<uint32_t>(greenWeight) << 16) | (static_cast<uint32_t>(blueWeight) & 0xFFFF)));
  const __m512i redWeights = _mm512_set1_epi32(redWeight & 0xFFFF);
  const __m512i zero = _mm512_setzero_si512();
  const __m512i largest = _mm512_set1_epi32(255999);
  const __m512 half = _mm512_set1_ps(0.5f), thousandth = _mm512_set1_ps(0.001f);
  __m512i tables[4];
  for (int k = 0; k < 4; ++k) tables[k] = _mm512_loadu_si512(levelIndex + 64 * k);
  int x = 0;
  // A whole 64-byte load (of which 48 bytes are used) while it stays within the row's pixels: a
  // masked load is much slower here.
  for (; x + 22 <= width; x += 16, in += 48) {
    const __m512i v = _mm512_loadu_si512(in);
    const __m512i bg = _mm512_maskz_permutexvar_epi8(0x5555555555555555ull, blueGreen, v);
    const __m512i r = _mm512_maskz_permutexvar_epi8(0x1111111111111111ull, red, v);
    __m512i sum = _mm512_add_epi32(_mm512_madd_epi16(bg, blueGreenWeights), _mm512_madd_epi16(r, redWeights));
    sum = _mm512_min_epi32(_mm512_max_epi32(sum, zero), largest);
    const __m512 level = _mm512_mul_ps(_mm512_add_ps(_mm512_cvtepi32_ps(sum), half), thousandth);
    const __m512i levels = _mm512_castsi128_si512(_mm512_cvtepi32_epi8(_mm512_cvttps_epi32(level)));
    const __m512i index =
        _mm512_mask_blend_epi8(_mm512_movepi8_mask(levels), _mm512_permutex2var_epi8(tables[0], levels, tables[1]),
                               _mm512_permutex2var_epi8(tables[2], levels, tables[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm512_castsi512_si128(index));
  }
  return x;
}

#define QV_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// Sixteen pixels per step from one 48-byte load: four groups of four pixels, each to sixteen
// 32-bit lanes.
QV_AVX512 int TriplesToFloats16(const uint8_t* in, float* out, int width) {
  alignas(64) uint8_t order[4][64];
  __mmask64 lanes = 0;
  for (int g = 0; g < 4; ++g)
    for (int j = 0; j < 64; ++j) {
      const int pixel = 4 * g + j / 16, channel = (j % 16) / 4;
      order[g][j] = static_cast<uint8_t>(channel < 3 ? 3 * pixel + channel : 0);
      if (g == 0 && j % 4 == 0 && channel < 3) lanes |= __mmask64{1} << j;
    }
  __m512i orders[4];
  for (int g = 0; g < 4; ++g) orders[g] = _mm512_load_si512(order[g]);
  int x = 0;
  for (; x + 16 <= width; x += 16, in += 48, out += 64) {
    const __m512i v = _mm512_maskz_loadu_epi8(0xFFFFFFFFFFFFull, in);
    for (int g = 0; g < 4; ++g)
      _mm512_storeu_ps(out + 16 * g, _mm512_cvtepi32_ps(_mm512_maskz_permutexvar_epi8(lanes, orders[g], v)));
  }
  return x;
}

constexpr int kRound = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;

// Byte / 255 of the low 8 lanes.
QV_AVX512 inline __m512d UnitOf(__m512i v) {
  return _mm512_div_round_pd(_mm512_cvtepi32_pd(_mm512_castsi512_si256(v)), _mm512_set1_pd(255.0), kRound);
}

// Trunc(C * 255 + 0.5) clamped to 0..255, in the low 8 32-bit lanes.
QV_AVX512 inline __m512i ByteOf(__m512d c) {
  const __m512d d255 = _mm512_set1_pd(255.0);
  __m512d v = _mm512_add_round_pd(_mm512_mul_round_pd(c, d255, kRound), _mm512_set1_pd(0.5), kRound);
  v = _mm512_min_pd(_mm512_max_pd(v, _mm512_setzero_pd()), d255);
  return _mm512_castsi256_si512(_mm512_cvttpd_epi32(v));
}

// Output channel K: the high value where the sector puts it at K, the low value likewise, else
// the middle one; a gray pixel takes the high value (the new lightness) in every channel.
QV_AVX512 inline __m512i ChannelOf(int k, __m512i highAt, __m512i lowAt, __m512i hv, __m512i lv, __m512i mv,
                                   __mmask16 gray) {
  const __m512i position = _mm512_set1_epi32(k);
  __m512i c = _mm512_mask_mov_epi32(mv, _mm512_cmpeq_epi32_mask(highAt, position), hv);
  c = _mm512_mask_mov_epi32(c, _mm512_cmpeq_epi32_mask(lowAt, position), lv);
  return _mm512_mask_mov_epi32(c, gray, hv);
}

// Lightness, 8 pixels per step in double lanes. Every operation is the one the scalar path
// performs, with explicit rounding so that none is fused with another; divisions by 255 give the
// same values as the scalar path's table of Byte / 255.
QV_AVX512 int MapLightness8(const TLightnessPair* pairs, const uint8_t* in, uint8_t* out, int width) {
  // Channel K of pixel I to 32-bit lane I; back from three lane vectors to 24 bytes.
  alignas(64) uint8_t split[3][64] = {};
  alignas(64) uint8_t merge[64] = {};
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 3; ++k) {
      split[k][4 * i] = static_cast<uint8_t>(3 * i + k);
      merge[3 * i + k] = static_cast<uint8_t>(64 * (k & 1) + 4 * i);  // blue and red from A, green from B
    }
  const __m512i splitB = _mm512_load_si512(split[0]), splitG = _mm512_load_si512(split[1]),
                splitR = _mm512_load_si512(split[2]);
  const __m512i mergeIndex = _mm512_load_si512(merge);
  constexpr __mmask64 kLaneBytes = 0x1111111111111111ull;
  constexpr __mmask64 kRedBytes = 0x0000000000924924ull;  // bytes 2, 5, 8, ... of 24
  constexpr __mmask64 kPixelBytes = 0xFFFFFFull;
  // Per hue case (see TLightnessMapper): base, sign, and which channel enters the hue.
  const __m512d caseBase = _mm512_setr_pd(1, 5, 3, 1, 5, 3, 0, 0);
  const __m512d caseSign = _mm512_setr_pd(-1, 1, -1, 1, -1, 1, 0, 0);
  const __m512i caseChannel = _mm512_setr_epi32(1, 2, 2, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  // Output position of the high, middle and low value for sectors 0..6.
  const __m512i high = _mm512_setr_epi32(0, 1, 1, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m512i low = _mm512_setr_epi32(2, 2, 0, 0, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m512d d6 = _mm512_set1_pd(6.0);
  const __m512i one = _mm512_set1_epi32(1), two = _mm512_set1_epi32(2), four = _mm512_set1_epi32(4);
  const auto* base = reinterpret_cast<const double*>(pairs);

  int x = 0;
  for (; x + 8 <= width; x += 8, in += 24, out += 24) {
    const __m512i v = _mm512_maskz_loadu_epi8(kPixelBytes, in);
    const __m512i b = _mm512_maskz_permutexvar_epi8(kLaneBytes, splitB, v);
    const __m512i g = _mm512_maskz_permutexvar_epi8(kLaneBytes, splitG, v);
    const __m512i r = _mm512_maskz_permutexvar_epi8(kLaneBytes, splitR, v);
    const __m512i mx = _mm512_max_epi32(b, _mm512_max_epi32(g, r));
    const __m512i mn = _mm512_min_epi32(b, _mm512_min_epi32(g, r));
    const __m256i key = _mm512_castsi512_si256(_mm512_slli_epi32(_mm512_or_si512(_mm512_slli_epi32(mx, 8), mn), 1));
    const __m512d m1 = _mm512_i32gather_pd(key, base, 8);
    const __m512d m2 = _mm512_i32gather_pd(key, base + 1, 8);

    // The hue case, as the scalar path's arithmetic on the comparisons.
    const __mmask16 max0 = _mm512_cmpeq_epi32_mask(b, mx);
    const __mmask16 max1 = static_cast<__mmask16>(~max0 & _mm512_cmpeq_epi32_mask(g, mx));
    const __mmask16 max2 = static_cast<__mmask16>(~max0 & ~max1);
    __m512i hueCase = _mm512_maskz_mov_epi32(max0 & _mm512_cmpeq_epi32_mask(g, mn), one);
    hueCase = _mm512_mask_add_epi32(hueCase, max1, two, _mm512_maskz_mov_epi32(_mm512_cmpeq_epi32_mask(r, mn), one));
    hueCase = _mm512_mask_add_epi32(hueCase, max2, four, _mm512_maskz_mov_epi32(_mm512_cmpeq_epi32_mask(b, mn), one));
    const __m512i channel = _mm512_permutexvar_epi32(hueCase, caseChannel);
    __m512i middle = _mm512_mask_mov_epi32(b, _mm512_cmpeq_epi32_mask(channel, one), g);
    middle = _mm512_mask_mov_epi32(middle, _mm512_cmpeq_epi32_mask(channel, two), r);
    const __m512i caseIndex = _mm512_cvtepu32_epi64(_mm512_castsi512_si256(hueCase));
    const __m512d hueBase = _mm512_permutexvar_pd(caseIndex, caseBase);
    const __m512d hueSign = _mm512_permutexvar_pd(caseIndex, caseSign);

    const __m512d umx = UnitOf(mx);
    const __m512d d = _mm512_sub_round_pd(umx, UnitOf(mn), kRound);
    const __m512d q = _mm512_div_round_pd(_mm512_sub_round_pd(umx, UnitOf(middle), kRound), d, kRound);
    const __m512d h = _mm512_add_round_pd(hueBase, _mm512_mul_round_pd(hueSign, q, kRound), kRound);
    const __m512d h6 = _mm512_mul_round_pd(_mm512_div_round_pd(h, d6, kRound), d6, kRound);
    __m512i sector = _mm512_castsi256_si512(_mm512_cvttpd_epi32(h6));
    const __m512d f = _mm512_sub_round_pd(h6, _mm512_cvtepi32_pd(_mm512_castsi512_si256(sector)), kRound);
    // Sectors outside 0..6 (never reached) count as sector 0, as in HslToRgb.
    sector = _mm512_maskz_mov_epi32(_mm512_cmple_epu32_mask(sector, _mm512_set1_epi32(6)), sector);
    const __m512d span = _mm512_sub_round_pd(m2, m1, kRound);
    const __m512d up = _mm512_add_round_pd(m1, _mm512_mul_round_pd(span, f, kRound), kRound);
    const __m512d down = _mm512_sub_round_pd(m2, _mm512_mul_round_pd(span, f, kRound), kRound);
    const __mmask8 odd =
        _mm512_test_epi64_mask(_mm512_cvtepi32_epi64(_mm512_castsi512_si256(sector)), _mm512_set1_epi64(1));
    const __m512i hv = ByteOf(m2), lv = ByteOf(m1), mv = ByteOf(_mm512_mask_mov_pd(up, odd, down));

    const __mmask16 gray = _mm512_cmpeq_epi32_mask(mx, mn);
    const __m512i highAt = _mm512_permutexvar_epi32(sector, high);
    const __m512i lowAt = _mm512_permutexvar_epi32(sector, low);
    const __m512i ob = ChannelOf(0, highAt, lowAt, hv, lv, mv, gray);
    const __m512i og = ChannelOf(1, highAt, lowAt, hv, lv, mv, gray);
    const __m512i orr = ChannelOf(2, highAt, lowAt, hv, lv, mv, gray);
    // Blue and red from the first source of the permute, green from the second; red moved in.
    __m512i bytes = _mm512_permutex2var_epi8(ob, mergeIndex, og);
    bytes = _mm512_mask_permutexvar_epi8(bytes, kRedBytes, mergeIndex, orr);
    _mm512_mask_storeu_epi8(out, kPixelBytes, bytes);
  }
  return x;
}

#endif  // QV_X86_KERNELS

}  // namespace

void TriplesToFloats(const uint8_t* in, float* out, int width) {
  int x = 0;
#if QV_X86_KERNELS
  if (CpuHas(TCpuLevel::Avx512))
    x = TriplesToFloats16(in, out, width);
  else if (CpuHas(TCpuLevel::Ssse3))
    x = TriplesToFloatsSsse3(in, out, width);
#endif
  for (in += 3 * static_cast<ptrdiff_t>(x), out += 4 * static_cast<ptrdiff_t>(x); x < width; ++x, in += 3, out += 4) {
    out[0] = static_cast<float>(in[0]);
    out[1] = static_cast<float>(in[1]);
    out[2] = static_cast<float>(in[2]);
    out[3] = 0.0f;
  }
}

int MapLightnessWide(const TLightnessPair* pairs, const uint8_t* in, uint8_t* out, int width) {
#if QV_X86_KERNELS
  if (CpuHas(TCpuLevel::Avx512)) return MapLightness8(pairs, in, out, width);
#endif
  (void)pairs, (void)in, (void)out, (void)width;
  return 0;
}

void MapBytes(const uint8_t table[256], const uint8_t* in, uint8_t* out, size_t count) {
  size_t i = 0;
#if QV_X86_KERNELS
  if (CpuHas(TCpuLevel::Avx512)) i = MapBytes64(table, in, out, count);
#endif
  for (; i < count; ++i) out[i] = table[in[i]];
}

void ReverseBytes(const uint8_t* in, uint8_t* out, int width) {
  int x = 0;
#if QV_X86_KERNELS
  if (CpuHas(TCpuLevel::Ssse3)) x = ReverseBytesSsse3(in, out, width);
#endif
  for (; x < width; ++x) out[width - 1 - x] = in[x];
}

void ReverseTriples(const uint8_t* in, uint8_t* out, int width) {
  int x = -1;
#if QV_X86_KERNELS
  if (CpuHas(TCpuLevel::Ssse3)) x = ReverseTriplesSsse3(in, out, width);
#endif
  if (x < 0) x = ReverseTriplesByWords(in, out, width);
  const uint8_t* p = in + 3 * static_cast<ptrdiff_t>(x);
  uint8_t* q = out + 3 * static_cast<ptrdiff_t>(width - 1 - x);
  for (; x < width; ++x, p += 3, q -= 3) {
    q[0] = p[0];
    q[1] = p[1];
    q[2] = p[2];
  }
}

// Each round interleaves row I with row I + 8, which moves element (A, B) to the position whose
// eight index bits are those of (A, B) rotated left by one; four rounds swap A and B. SSE2 is
// part of every x86-64 processor, so this is the baseline there.
void TransposeBytes16x16(const uint8_t* const in[16], uint8_t* const out[16]) {
#if QV_X86_KERNELS
  __m128i r[16];
  for (int k = 0; k < 16; ++k) r[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in[k]));
  for (int round = 0; round < 4; ++round) {
    __m128i t[16];
    for (int i = 0; i < 8; ++i) {
      t[2 * i] = _mm_unpacklo_epi8(r[i], r[i + 8]);
      t[2 * i + 1] = _mm_unpackhi_epi8(r[i], r[i + 8]);
    }
    for (int i = 0; i < 16; ++i) r[i] = t[i];
  }
  for (int i = 0; i < 16; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(out[i]), r[i]);
#else
  uint8_t block[16][16];
  for (int k = 0; k < 16; ++k) std::memcpy(block[k], in[k], 16);
  for (int i = 0; i < 16; ++i)
    for (int k = 0; k < 16; ++k) out[i][k] = block[k][i];
#endif
}

TTripleExpander::TTripleExpander(const std::array<uint32_t, 256>& colors)
    : FColors(colors), FWide(CpuHas(TCpuLevel::Avx512)) {
  for (size_t i = 0; i < 256; ++i) {
    FChannels[0][i] = static_cast<uint8_t>(colors[i]);
    FChannels[1][i] = static_cast<uint8_t>(colors[i] >> 8);
    FChannels[2][i] = static_cast<uint8_t>(colors[i] >> 16);
  }
}

void TTripleExpander::Expand(const uint8_t* in, uint8_t* out, int width) const {
  int done = 0;
#if QV_X86_KERNELS
  if (FWide) done = ExpandTriples64(FChannels, in, out, width);
#endif
  in += done;
  out += 3 * static_cast<ptrdiff_t>(done);
  const int rest = width - done;
  if (rest <= 0) return;
  // Four-byte stores that the next pixel partly overwrites; the last pixel is stored alone so
  // that nothing is written past it.
  for (int x = 0; x < rest - 1; ++x, out += 3) std::memcpy(out, &FColors[in[x]], 4);
  const uint32_t c = FColors[in[rest - 1]];
  out[0] = static_cast<uint8_t>(c);
  out[1] = static_cast<uint8_t>(c >> 8);
  out[2] = static_cast<uint8_t>(c >> 16);
}

TGrayIndexer::TGrayIndexer(int32_t blueWeight, int32_t greenWeight, int32_t redWeight,
                           const std::array<uint8_t, 256>& levelIndex)
    : FBlue(blueWeight), FGreen(greenWeight), FRed(redWeight), FLevelIndex(levelIndex) {
  // The wide path multiplies in 16 bits.
  constexpr int32_t kWord = 32767;
  FWide = CpuHas(TCpuLevel::Avx512) && std::abs(blueWeight) <= kWord && std::abs(greenWeight) <= kWord &&
          std::abs(redWeight) <= kWord;
}

void TGrayIndexer::Index(const uint8_t* in, uint8_t* out, int width) const {
  int x = 0;
#if QV_X86_KERNELS
  if (FWide) x = GrayIndices16(FBlue, FGreen, FRed, FLevelIndex.data(), in, out, width);
#endif
  for (in += 3 * static_cast<ptrdiff_t>(x); x < width; ++x, in += 3)
    out[x] = FLevelIndex[GrayLevel(FBlue, FGreen, FRed, in)];
}

}  // namespace quorvane
