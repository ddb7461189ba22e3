// The network's vector routines for x86 processors: SSE2 (every 64-bit x86
// and nearly every 32-bit one still in use) and AVX2, each compiled for its
// instruction set alone and chosen at start-up by what the processor has.
// They compute exactly what the plain routines do: int16 lanes that wrap
// like the plain code's conversions, int32 products and sums.

#include <immintrin.h>

#include "eval/net_eval.h"

namespace tovrane {

namespace {

[[gnu::target("sse2"), gnu::always_inline]] inline __m128i load128(const int16_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i load256(const int16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

[[gnu::target("sse2")]] void sse2Update(const int16_t* before, int16_t* after, const int16_t* add,
                                        const int16_t* sub, const int16_t* sub2, int hidden) {
  for (int i = 0; i < hidden; i += 8) {
    __m128i v = _mm_sub_epi16(_mm_add_epi16(load128(before + i), load128(add + i)), load128(sub + i));
    if (sub2 != nullptr) v = _mm_sub_epi16(v, load128(sub2 + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(after + i), v);
  }
}

[[gnu::target("sse2")]] int32_t sse2Output(const int16_t* us, const int16_t* them, const int16_t* weights,
                                           int hidden) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi16(static_cast<int16_t>(kNetActivationOne));
  __m128i total = zero;
  for (int side = 0; side < 2; ++side) {
    const int16_t* sums = side == 0 ? us : them;
    const int16_t* w = weights + side * hidden;
    for (int i = 0; i < hidden; i += 8) {
      const __m128i v = load128(sums + i);
      const __m128i clip = _mm_min_epi16(_mm_max_epi16(v, zero), one);
      total = _mm_add_epi32(total, _mm_madd_epi16(clip, load128(w + i)));
    }
  }
  total = _mm_add_epi32(total, _mm_shuffle_epi32(total, _MM_SHUFFLE(1, 0, 3, 2)));
  total = _mm_add_epi32(total, _mm_shuffle_epi32(total, _MM_SHUFFLE(2, 3, 0, 1)));
  return _mm_cvtsi128_si32(total);
}

[[gnu::target("avx2")]] void avx2Update(const int16_t* before, int16_t* after, const int16_t* add,
                                        const int16_t* sub, const int16_t* sub2, int hidden) {
  for (int i = 0; i < hidden; i += 16) {
    __m256i v = _mm256_sub_epi16(_mm256_add_epi16(load256(before + i), load256(add + i)), load256(sub + i));
    if (sub2 != nullptr) v = _mm256_sub_epi16(v, load256(sub2 + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(after + i), v);
  }
}

[[gnu::target("avx2")]] int32_t avx2Output(const int16_t* us, const int16_t* them, const int16_t* weights,
                                           int hidden) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i one = _mm256_set1_epi16(static_cast<int16_t>(kNetActivationOne));
  __m256i total = zero;
  for (int side = 0; side < 2; ++side) {
    const int16_t* sums = side == 0 ? us : them;
    const int16_t* w = weights + side * hidden;
    for (int i = 0; i < hidden; i += 16) {
      const __m256i v = load256(sums + i);
      const __m256i clip = _mm256_min_epi16(_mm256_max_epi16(v, zero), one);
      total = _mm256_add_epi32(total,
                               _mm256_madd_epi16(clip, load256(w + i)));
    }
  }
  __m128i half = _mm_add_epi32(_mm256_castsi256_si128(total), _mm256_extracti128_si256(total, 1));
  half = _mm_add_epi32(half, _mm_shuffle_epi32(half, _MM_SHUFFLE(1, 0, 3, 2)));
  half = _mm_add_epi32(half, _mm_shuffle_epi32(half, _MM_SHUFFLE(2, 3, 0, 1)));
  return _mm_cvtsi128_si32(half);
}

const NetKernels kSse2Kernels{"sse2", sse2Update, sse2Output};
const NetKernels kAvx2Kernels{"avx2", avx2Update, avx2Output};

}  // namespace

const NetKernels* netSse2Kernels() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("sse2") ? &kSse2Kernels : nullptr;
}

const NetKernels* netAvx2Kernels() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? &kAvx2Kernels : nullptr;
}

}  // namespace tovrane
