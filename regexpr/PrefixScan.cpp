// Candidates for a match start: where the first one or two characters are
// each one of two bytes (a character and its other case, say), found 16 or
// 32 positions at a time. The matcher checks the rest of the prefix.
#include <cstdint>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "regexpr/Engine.h"

namespace quorvane::regex {

namespace {

#if defined(__SSE2__)
// Reads up to stop + 16 bytes.
const char* ScanPairSse2(const char* q, const char* stop, const PairScan& scan) {
  const __m128i a0 = _mm_set1_epi8(static_cast<char>(scan.a0)), b0 = _mm_set1_epi8(static_cast<char>(scan.b0));
  const __m128i a1 = _mm_set1_epi8(static_cast<char>(scan.a1)), b1 = _mm_set1_epi8(static_cast<char>(scan.b1));
  for (; q < stop; q += 16) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    unsigned mask = unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v0, a0), _mm_cmpeq_epi8(v0, b0))));
    if (!mask) continue;
    if (scan.second) {
      const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 1));
      mask &= unsigned(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v1, a1), _mm_cmpeq_epi8(v1, b1))));
      if (!mask) continue;
    }
    const char* hit = q + __builtin_ctz(mask);
    return hit < stop ? hit : stop;
  }
  return stop;
}

#if defined(__GNUC__) && !defined(__clang__)
#define QV_HAVE_AVX2_SCAN 1
#include <immintrin.h>
// Reads up to stop + 16 bytes: the 64-byte loop runs while more than 48
// bytes are left before stop.
__attribute__((target("avx2"))) const char* ScanPairAvx2(const char* q, const char* stop,
                                                          const PairScan& scan) {
  const __m256i a0 = _mm256_set1_epi8(static_cast<char>(scan.a0)), b0 = _mm256_set1_epi8(static_cast<char>(scan.b0));
  const __m256i a1 = _mm256_set1_epi8(static_cast<char>(scan.a1)), b1 = _mm256_set1_epi8(static_cast<char>(scan.b1));
  // Hits are rare: test 64 bytes for the first character at once, then
  // look closer.
  for (; stop - q > 48; q += 64) {
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32));
    __m256i e0 = _mm256_cmpeq_epi8(v0, a0), e1 = _mm256_cmpeq_epi8(v1, a0);
    if (scan.a0 != scan.b0) {
      e0 = _mm256_or_si256(e0, _mm256_cmpeq_epi8(v0, b0));
      e1 = _mm256_or_si256(e1, _mm256_cmpeq_epi8(v1, b0));
    }
    if (_mm256_testz_si256(_mm256_or_si256(e0, e1), _mm256_or_si256(e0, e1))) continue;
    std::uint64_t mask = std::uint32_t(_mm256_movemask_epi8(e0)) |
                         std::uint64_t(std::uint32_t(_mm256_movemask_epi8(e1))) << 32;
    if (scan.second) {
      const __m256i w0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 1));
      const __m256i w1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 33));
      const __m256i f0 = _mm256_or_si256(_mm256_cmpeq_epi8(w0, a1), _mm256_cmpeq_epi8(w0, b1));
      const __m256i f1 = _mm256_or_si256(_mm256_cmpeq_epi8(w1, a1), _mm256_cmpeq_epi8(w1, b1));
      mask &= std::uint32_t(_mm256_movemask_epi8(f0)) |
              std::uint64_t(std::uint32_t(_mm256_movemask_epi8(f1))) << 32;
      if (!mask) continue;
    }
    const char* hit = q + __builtin_ctzll(mask);
    return hit < stop ? hit : stop;
  }
  return ScanPairSse2(q, stop, scan);
}

bool HaveAvx2() {
  static const bool have = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
  return have;
}
#endif
#endif

}  // namespace

PairScanner BestPairScanner() {
#if defined(QV_HAVE_AVX2_SCAN)
  if (HaveAvx2()) return ScanPairAvx2;
#endif
#if defined(__SSE2__)
  return ScanPairSse2;
#else
  return nullptr;
#endif
}

}  // namespace quorvane::regex
