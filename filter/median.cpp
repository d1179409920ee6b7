// The median pass of the descreen filter: each value becomes the fifth of the
// nine sorted values of its neighbourhood, with the buffering and borders of
// a kernel pass. A fixed 19-exchange network finds the median without
// branches, so the AVX2 loop runs it on 32 bytes at once.
#include <immintrin.h>

#include <algorithm>

#include "filter/filter_core.h"

namespace px::filter {
namespace {

// Exchanges that leave the median of p[0..8] in p[4] (sorting the pairs
// named, smaller first).
#define PX_MEDIAN9_NETWORK(SORT)                   \
  SORT(1, 2) SORT(4, 5) SORT(7, 8) SORT(0, 1)       \
  SORT(3, 4) SORT(6, 7) SORT(1, 2) SORT(4, 5)       \
  SORT(7, 8) SORT(0, 3) SORT(5, 8) SORT(4, 7)       \
  SORT(3, 6) SORT(1, 4) SORT(2, 5) SORT(4, 7)       \
  SORT(4, 2) SORT(6, 4) SORT(4, 2)

inline unsigned char MedianAt(const unsigned char* above, const unsigned char* own,
                              const unsigned char* below, int x, int used, int step) {
  const int l = x >= step ? x - step : x;
  const int r = x + step < used ? x + step : x;
  unsigned char p[9] = {above[l], above[x], above[r], own[l], own[x],
                        own[r],   below[l], below[x], below[r]};
#define PX_SORT(a, b)                               \
  {                                                 \
    const unsigned char small = std::min(p[a], p[b]); \
    p[b] = std::max(p[a], p[b]);                    \
    p[a] = small;                                   \
  }
  PX_MEDIAN9_NETWORK(PX_SORT)
#undef PX_SORT
  return p[4];
}

void MedianRowScalar(const unsigned char* above, const unsigned char* own,
                     const unsigned char* below, unsigned char* out, int used, int step,
                     const Kernel*) {
  for (int x = 0; x < used; ++x) out[x] = MedianAt(above, own, below, x, used, step);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) inline __m256i Load32(const unsigned char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) void MedianRowAvx2(const unsigned char* above,
                                                   const unsigned char* own,
                                                   const unsigned char* below,
                                                   unsigned char* out, int used, int step,
                                                   const Kernel*) {
  const int first = step < used ? step : used;
  int x = 0;
  for (; x < first; ++x) out[x] = MedianAt(above, own, below, x, used, step);
  const int end = used - step;
  for (; x + 32 <= end; x += 32) {
    __m256i p[9] = {Load32(above + x - step), Load32(above + x), Load32(above + x + step),
                    Load32(own + x - step),   Load32(own + x),   Load32(own + x + step),
                    Load32(below + x - step), Load32(below + x), Load32(below + x + step)};
#define PX_SORT(a, b)                                 \
  {                                                   \
    const __m256i small = _mm256_min_epu8(p[a], p[b]); \
    p[b] = _mm256_max_epu8(p[a], p[b]);               \
    p[a] = small;                                     \
  }
    PX_MEDIAN9_NETWORK(PX_SORT)
#undef PX_SORT
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), p[4]);
  }
  for (; x < used; ++x) out[x] = MedianAt(above, own, below, x, used, step);
}
#endif

}  // namespace

void MedianPass(const Plane& image, WorkRows& work) {
  RowFunction row = MedianRowScalar;
#if defined(__x86_64__) || defined(__i386__)
  if (ActiveCpu() == Cpu::kAvx2) row = MedianRowAvx2;
#endif
  BufferedPass(image, work, row, nullptr);
}

}  // namespace px::filter
