// The 3 x 3 kernel pass and the row buffering it shares with the median pass.
//
// Every output is the plain formula of KernelValue: the nine products are
// added in one fixed order (row above left to right, own row, row below), in
// 32-bit floats, then divided (or combined with the centre), clamped and
// truncated. The AVX2 loop performs exactly the same operations per output,
// eight outputs at a time, so both give the same bytes.
#include <immintrin.h>

#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "filter/filter_core.h"

namespace px::filter {

Kernel MakeKernel(float corner, float edge, float centre, KernelKind kind) {
  Kernel k{{corner, edge, corner, edge, centre, edge, corner, edge, corner}, 0.0f, kind};
  float sum = k.weight[0];
  for (int i = 1; i < 9; ++i) sum = sum + k.weight[i];
  k.weightSum = sum;
  return k;
}

void BufferedPass(const Plane& image, WorkRows& work, RowFunction row, const Kernel* kernel) {
  const std::size_t used = static_cast<std::size_t>(image.used);
  unsigned char* previous = work.previous;
  unsigned char* current = work.current;
  // Row 0 is its own upper neighbour.
  std::memcpy(previous, image.Row(0), used);
  for (int y = 0; y < image.rows; ++y) {
    unsigned char* out = image.Row(y);
    std::memcpy(current, out, used);
    // The row below has not been filtered yet; the last row is its own
    // lower neighbour, taken from its copy because the row itself is being
    // overwritten.
    const unsigned char* below = (y + 1 < image.rows) ? image.Row(y + 1) : current;
    row(previous, current, below, out, image.used, image.step, kernel);
    std::swap(previous, current);
  }
}

namespace {

// One output with the borders repeated: the first and last pixel are their
// own left and right neighbours.
inline unsigned char KernelAt(const unsigned char* above, const unsigned char* own,
                              const unsigned char* below, int x, int used, int step,
                              const Kernel& k) {
  const int l = x >= step ? x - step : x;
  const int r = x + step < used ? x + step : x;
  const unsigned char n[9] = {above[l], above[x], above[r], own[l], own[x],
                              own[r],   below[l], below[x], below[r]};
  return KernelValue(k, n);
}

void KernelRowScalar(const unsigned char* above, const unsigned char* own,
                     const unsigned char* below, unsigned char* out, int used, int step,
                     const Kernel* kernel) {
  for (int x = 0; x < used; ++x) out[x] = KernelAt(above, own, below, x, used, step, *kernel);
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) inline __m256 Load8(const unsigned char* p) {
  return _mm256_cvtepi32_ps(
      _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}

// Rows converted to floats once serve three output rows (as the row below,
// the own row and the row above), so the inner loop only multiplies and adds.
__attribute__((target("avx2"))) void ToFloats(const unsigned char* row, float* out, int used) {
  int x = 0;
  for (; x + 8 <= used; x += 8) _mm256_storeu_ps(out + x, Load8(row + x));
  for (; x < used; ++x) out[x] = static_cast<float>(row[x]);
}

// One row: the byte rows serve the two border pixels, the float rows (the
// same values) the rest, eight outputs at a time.
__attribute__((target("avx2"))) void KernelRowAvx2(const unsigned char* above,
                                                   const unsigned char* own,
                                                   const unsigned char* below,
                                                   const float* fa, const float* fo,
                                                   const float* fb, unsigned char* out,
                                                   int used, int step, const Kernel& k) {
  const int first = step < used ? step : used;
  int x = 0;
  for (; x < first; ++x) out[x] = KernelAt(above, own, below, x, used, step, k);
  const int end = used - step;
  if (x < end) {
    __m256 w[9];
    for (int i = 0; i < 9; ++i) w[i] = _mm256_set1_ps(k.weight[i]);
    const __m256 sum = _mm256_set1_ps(k.weightSum);
    const __m256 two = _mm256_set1_ps(2.0f);
    const __m256 zero = _mm256_setzero_ps();
    const __m256 top = _mm256_set1_ps(255.0f);
    const bool unsharp = k.kind == KernelKind::kUnsharpTwice;
    const bool divide = !unsharp && k.weightSum != 0.0f;
    for (; x + 8 <= end; x += 8) {
      const float* a = fa + x;
      const float* o = fo + x;
      const float* b = fb + x;
      __m256 s = _mm256_mul_ps(w[0], _mm256_loadu_ps(a - step));
      s = _mm256_add_ps(s, _mm256_mul_ps(w[1], _mm256_loadu_ps(a)));
      s = _mm256_add_ps(s, _mm256_mul_ps(w[2], _mm256_loadu_ps(a + step)));
      s = _mm256_add_ps(s, _mm256_mul_ps(w[3], _mm256_loadu_ps(o - step)));
      const __m256 centre = _mm256_loadu_ps(o);
      s = _mm256_add_ps(s, _mm256_mul_ps(w[4], centre));
      s = _mm256_add_ps(s, _mm256_mul_ps(w[5], _mm256_loadu_ps(o + step)));
      s = _mm256_add_ps(s, _mm256_mul_ps(w[6], _mm256_loadu_ps(b - step)));
      s = _mm256_add_ps(s, _mm256_mul_ps(w[7], _mm256_loadu_ps(b)));
      s = _mm256_add_ps(s, _mm256_mul_ps(w[8], _mm256_loadu_ps(b + step)));
      if (unsharp) {
        s = _mm256_add_ps(centre, _mm256_mul_ps(two, s));
      } else if (divide) {
        s = _mm256_div_ps(s, sum);
      }
      s = _mm256_min_ps(_mm256_max_ps(s, zero), top);
      const __m256i v = _mm256_cvttps_epi32(s);
      const __m128i words =
          _mm_packus_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(words, words));
    }
  }
  for (; x < used; ++x) out[x] = KernelAt(above, own, below, x, used, step, k);
}

// The buffering of BufferedPass, with a float copy of the rows above, own and
// below kept beside the byte rows. Returns false (nothing done) when there is
// no room for the float rows.
bool KernelPassAvx2(const Plane& image, const Kernel& kernel, WorkRows& work) {
  const int used = image.used;
  std::unique_ptr<float[]> floats(new (std::nothrow) float[3 * static_cast<std::size_t>(used)]);
  if (!floats) return false;
  float* fa = floats.get();
  float* fo = fa + used;
  float* fb = fo + used;
  unsigned char* previous = work.previous;
  unsigned char* current = work.current;
  std::memcpy(previous, image.Row(0), static_cast<std::size_t>(used));
  ToFloats(image.Row(0), fo, used);
  std::memcpy(fa, fo, static_cast<std::size_t>(used) * sizeof(float));
  for (int y = 0; y < image.rows; ++y) {
    unsigned char* out = image.Row(y);
    std::memcpy(current, out, static_cast<std::size_t>(used));
    const bool last = y + 1 == image.rows;
    const unsigned char* below = last ? current : image.Row(y + 1);
    if (!last) ToFloats(below, fb, used);
    KernelRowAvx2(previous, current, below, fa, fo, last ? fo : fb, out, used, image.step, kernel);
    std::swap(previous, current);
    float* oldAbove = fa;
    fa = fo;
    fo = fb;
    fb = oldAbove;
  }
  return true;
}
#endif

}  // namespace

void KernelPass(const Plane& image, const Kernel& kernel, WorkRows& work) {
#if defined(__x86_64__) || defined(__i386__)
  if (ActiveCpu() == Cpu::kAvx2 && KernelPassAvx2(image, kernel, work)) return;
#endif
  BufferedPass(image, work, KernelRowScalar, &kernel);
}

}  // namespace px::filter
