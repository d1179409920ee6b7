// Filter 5: a thresholded horizontal sharpen, in place from left to right, so
// every pixel sees its left neighbour already sharpened and its right
// neighbour still as it was. That chain makes each row strictly sequential;
// the fast loop therefore runs 16 rows side by side instead: it turns a band
// of 16 rows on its side (byte x of the 16 rows in one register), walks the
// chain once for all of them, and turns the band back.
#include <immintrin.h>

#include <cstdlib>
#include <memory>
#include <new>

#include "filter/filter_core.h"

namespace px::filter {
namespace {

void SharpenRows(const Plane& image, int firstRow) {
  const int step = image.step;
  const int pixels = image.used / step;
  for (int y = firstRow; y < image.rows; ++y) {
    unsigned char* v = image.Row(y) + step;
    for (int p = 1; p < pixels - 1; ++p, v += step) {
      // In colour a byte is tried only when the one before it in the same
      // pixel was replaced.
      for (int c = 0; c < step; ++c) {
        const int value = v[c];
        int s = 3 * value - v[c - step] - v[c + step];
        s = s < 0 ? 0 : (s > 255 ? 255 : s);
        if (std::abs(s - value) > 25) break;
        v[c] = static_cast<unsigned char>(s);
      }
    }
  }
}

#if defined(__x86_64__) || defined(__i386__)
constexpr int kBand = 16;

// Transposes a 16 x 16 block of bytes held in 16 registers.
inline void Transpose16(__m128i m[16]) {
  for (int stage = 0; stage < 4; ++stage) {
    __m128i t[16];
    for (int i = 0; i < 8; ++i) {
      t[2 * i] = _mm_unpacklo_epi8(m[i], m[i + 8]);
      t[2 * i + 1] = _mm_unpackhi_epi8(m[i], m[i + 8]);
    }
    for (int i = 0; i < 16; ++i) m[i] = t[i];
  }
}

// Band of 16 rows <-> side buffer: side[x * 16 + i] is byte x of row i.
void ToSide(const Plane& image, int y0, unsigned char* side) {
  const int used = image.used;
  int x = 0;
  for (; x + 16 <= used; x += 16) {
    __m128i m[16];
    for (int i = 0; i < 16; ++i)
      m[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(image.Row(y0 + i) + x));
    Transpose16(m);
    for (int i = 0; i < 16; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(side + (x + i) * kBand), m[i]);
  }
  for (; x < used; ++x)
    for (int i = 0; i < kBand; ++i) side[x * kBand + i] = image.Row(y0 + i)[x];
}

void FromSide(const Plane& image, int y0, const unsigned char* side) {
  const int used = image.used;
  int x = 0;
  for (; x + 16 <= used; x += 16) {
    __m128i m[16];
    for (int i = 0; i < 16; ++i)
      m[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(side + (x + i) * kBand));
    Transpose16(m);
    for (int i = 0; i < 16; ++i)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(image.Row(y0 + i) + x), m[i]);
  }
  for (; x < used; ++x)
    for (int i = 0; i < kBand; ++i) image.Row(y0 + i)[x] = side[x * kBand + i];
}

__attribute__((target("avx2"))) inline __m256i Widen(const unsigned char* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// The same rule as SharpenRows, for 16 rows at once in 16-bit lanes; "tried
// only if the byte before was replaced" becomes a mask carried along the
// bytes of a pixel.
__attribute__((target("avx2"))) void SharpenSide(unsigned char* side, int step, int pixels) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i top = _mm256_set1_epi16(255);
  const __m256i limit = _mm256_set1_epi16(25);
  __m256i left[3];
  for (int c = 0; c < step; ++c) left[c] = Widen(side + c * kBand);
  for (int p = 1; p < pixels - 1; ++p) {
    __m256i replaced = _mm256_set1_epi16(-1);
    for (int c = 0; c < step; ++c) {
      unsigned char* at = side + (p * step + c) * kBand;
      const __m256i v = Widen(at);
      const __m256i right = Widen(at + step * kBand);
      __m256i s = _mm256_sub_epi16(_mm256_add_epi16(_mm256_add_epi16(v, v), v), right);
      s = _mm256_sub_epi16(s, left[c]);
      s = _mm256_min_epi16(_mm256_max_epi16(s, zero), top);
      const __m256i tooFar = _mm256_cmpgt_epi16(_mm256_abs_epi16(_mm256_sub_epi16(s, v)), limit);
      replaced = _mm256_andnot_si256(tooFar, replaced);
      const __m256i out = _mm256_blendv_epi8(v, s, replaced);
      left[c] = out;
      const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(out, out), 0x08);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm256_castsi256_si128(bytes));
    }
  }
}

// Returns the first row left for the plain loop.
int SharpenBandsAvx2(const Plane& image) {
  const int pixels = image.used / image.step;
  const int bands = image.rows / kBand;
  if (bands == 0) return 0;
  // Without room for the side buffer the plain loop does all the rows.
  std::unique_ptr<unsigned char[]> side(
      new (std::nothrow) unsigned char[static_cast<std::size_t>(image.used) * kBand]);
  if (!side) return 0;
  for (int b = 0; b < bands; ++b) {
    ToSide(image, b * kBand, side.get());
    SharpenSide(side.get(), image.step, pixels);
    FromSide(image, b * kBand, side.get());
  }
  return bands * kBand;
}
#endif

}  // namespace

void Sharpen(const Plane& image) {
  const int pixels = image.used / image.step;
  if (pixels < 3) return;  // no pixel has both neighbours
  int firstRow = 0;
#if defined(__x86_64__) || defined(__i386__)
  if (ActiveCpu() == Cpu::kAvx2) firstRow = SharpenBandsAvx2(image);
#endif
  SharpenRows(image, firstRow);
}

}  // namespace px::filter
