// Filters 1 and 2: invert every byte, mirror every row.
#include <emmintrin.h>

#include <algorithm>
#include <array>

#include "filter/filter_core.h"

namespace px::filter {
namespace {

constexpr std::array<unsigned char, 256> MakeBitReverse() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) {
    int r = 0;
    for (int b = 0; b < 8; ++b) {
      if (i & (1 << b)) r |= 0x80 >> b;
    }
    t[static_cast<std::size_t>(i)] = static_cast<unsigned char>(r);
  }
  return t;
}
constexpr std::array<unsigned char, 256> kBitReverse = MakeBitReverse();

}  // namespace

void Invert(unsigned char* data, std::size_t bytes) {
  std::size_t i = 0;
  const __m128i ones = _mm_set1_epi8(static_cast<char>(0xFF));
  for (; i + 16 <= bytes; i += 16) {
    __m128i* p = reinterpret_cast<__m128i*>(data + i);
    _mm_storeu_si128(p, _mm_xor_si128(_mm_loadu_si128(p), ones));
  }
  for (; i < bytes; ++i) data[i] = static_cast<unsigned char>(~data[i]);
}

void Flip(const Plane& image, int mode) {
  const int used = image.used;
  for (int y = 0; y < image.rows; ++y) {
    unsigned char* row = image.Row(y);
    if (mode == 2) {
      // Whole 3-byte pixels change places; the bytes inside a pixel keep
      // their order.
      unsigned char* l = row;
      unsigned char* r = row + used - 3;
      for (; l < r; l += 3, r -= 3) {
        std::swap(l[0], r[0]);
        std::swap(l[1], r[1]);
        std::swap(l[2], r[2]);
      }
    } else {
      std::reverse(row, row + used);
      if (mode == 0) {
        // 1-bit pixels, most significant bit first: the bits of each byte
        // turn round as well.
        for (int x = 0; x < used; ++x) row[x] = kBitReverse[row[x]];
      }
    }
  }
}

}  // namespace px::filter
