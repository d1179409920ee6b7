// Filter 7: emboss, the vertical difference of each byte and the same byte
// one row below, shifted to mid-gray.
#include <emmintrin.h>

#include <cstring>

#include "filter/filter_core.h"

namespace px::filter {
namespace {

inline unsigned char EmbossValue(int value, int below) {
  const int d = value - below;
  if (d >= 128) return 255;
  if (d < -128) return 0;
  return static_cast<unsigned char>(d + 128);
}

// d + 128 clamped to [0, 255] is the signed saturating difference of the
// two bytes moved to the signed range, moved back; 16 bytes per step.
void EmbossRow(unsigned char* row, const unsigned char* below, int used) {
  int x = 0;
  const __m128i bias = _mm_set1_epi8(static_cast<char>(0x80));
  for (; x + 16 <= used; x += 16) {
    const __m128i a = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)), bias);
    const __m128i b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(below + x)), bias);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), _mm_xor_si128(_mm_subs_epi8(a, b), bias));
  }
  for (; x < used; ++x) row[x] = EmbossValue(row[x], below[x]);
}

}  // namespace

void Emboss(const Plane& image) {
  const int used = image.used;
  const int step = image.step;
  if (image.rows == 1) {
    // No row below: the right neighbour (not yet changed) stands in, and the
    // last pixel, which has none, becomes mid-gray.
    unsigned char* row = image.Row(0);
    const int last = used - step;
    for (int x = 0; x < last; ++x) row[x] = EmbossValue(row[x], row[x + step]);
    std::memset(row + last, 128, static_cast<std::size_t>(step));
    return;
  }
  // Top to bottom, so the row below is still unfiltered when it is read.
  for (int y = 0; y + 1 < image.rows; ++y) EmbossRow(image.Row(y), image.Row(y + 1), used);
  std::memcpy(image.Row(image.rows - 1), image.Row(image.rows - 2), static_cast<std::size_t>(used));
}

}  // namespace px::filter
