// The median pass of the descreen filter: each value becomes the fifth of the
// nine sorted values of its neighbourhood, with the buffering and borders of
// a kernel pass. Both loops work without branches: the plain one through a
// fixed 19-exchange network, the AVX2 one on 32 bytes at once from sorted
// columns.
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

// With each column of three sorted (low, middle, high), the median of nine is
// the median of: the highest low, the middle of the middles, the lowest high.
// Each sorted column serves three outputs, so it is sorted once, for a chunk
// of the row at a time.
__attribute__((target("avx2"))) inline void Sort3(__m256i& a, __m256i& b, __m256i& c) {
  __m256i t = _mm256_min_epu8(a, b);
  b = _mm256_max_epu8(a, b);
  a = t;
  t = _mm256_min_epu8(b, c);
  c = _mm256_max_epu8(b, c);
  b = t;
  t = _mm256_min_epu8(a, b);
  b = _mm256_max_epu8(a, b);
  a = t;
}

__attribute__((target("avx2"))) inline __m256i Median3(__m256i a, __m256i b, __m256i c) {
  return _mm256_max_epu8(_mm256_min_epu8(a, b), _mm256_min_epu8(_mm256_max_epu8(a, b), c));
}

constexpr int kChunk = 256;

__attribute__((target("avx2"))) void SortColumns(const unsigned char* above,
                                                 const unsigned char* own,
                                                 const unsigned char* below, int x,
                                                 unsigned char* lo, unsigned char* mid,
                                                 unsigned char* hi) {
  __m256i a = Load32(above + x), b = Load32(own + x), c = Load32(below + x);
  Sort3(a, b, c);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(lo), a);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(mid), b);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(hi), c);
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
  alignas(32) unsigned char lo[kChunk + 32], mid[kChunk + 32], hi[kChunk + 32];
  while (end - x >= 32) {
    const int n = std::min(kChunk, (end - x) / 32 * 32);
    // Columns for positions x - step .. x + n + step - 1: n of them in full
    // blocks, then the last 2 x step through one block that overlaps.
    const int base = x - step;
    for (int i = 0; i < n; i += 32) SortColumns(above, own, below, base + i, lo + i, mid + i, hi + i);
    const int tail = n + 2 * step - 32;
    SortColumns(above, own, below, base + tail, lo + tail, mid + tail, hi + tail);
    for (int i = 0; i < n; i += 32) {
      const int l = i, c = i + step, r = i + 2 * step;
      const __m256i maxLow = _mm256_max_epu8(_mm256_max_epu8(Load32(lo + l), Load32(lo + c)), Load32(lo + r));
      const __m256i minHigh = _mm256_min_epu8(_mm256_min_epu8(Load32(hi + l), Load32(hi + c)), Load32(hi + r));
      const __m256i midMid = Median3(Load32(mid + l), Load32(mid + c), Load32(mid + r));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x + i), Median3(maxLow, midMid, minHigh));
    }
    x += n;
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
