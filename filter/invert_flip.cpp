// Filters 1 and 2: invert every byte, mirror every row.
#include <immintrin.h>

#include <cstring>

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

// Reverses the 3-byte pixels of [row, row + used) with a plain loop.
void ReversePixels(unsigned char* l, unsigned char* r) {
  for (; l < r; l += 3, r -= 3) {
    std::swap(l[0], r[0]);
    std::swap(l[1], r[1]);
    std::swap(l[2], r[2]);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels from each end at a time: one byte shuffle turns a block of four
// pixels round, and the two blocks change places. Stores are 12 bytes wide so
// nothing beyond the blocks is written; loads may read further, but never
// outside the row.
__attribute__((target("ssse3"))) void FlipColourRowSsse3(unsigned char* row, int used) {
  const __m128i fromLeft = _mm_setr_epi8(9, 10, 11, 6, 7, 8, 3, 4, 5, 0, 1, 2, -1, -1, -1, -1);
  const __m128i fromRight = _mm_setr_epi8(13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, -1, -1, -1, -1);
  int l = 0;
  int r = used;  // one past the unprocessed right end
  while (r - l >= 24 && r >= 16) {
    const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + l));
    const __m128i right = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + r - 16));
    const __m128i newLeft = _mm_shuffle_epi8(right, fromRight);
    const __m128i newRight = _mm_shuffle_epi8(left, fromLeft);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(row + l), newLeft);
    const int leftTail = _mm_cvtsi128_si32(_mm_srli_si128(newLeft, 8));
    std::memcpy(row + l + 8, &leftTail, 4);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(row + r - 12), newRight);
    const int rightTail = _mm_cvtsi128_si32(_mm_srli_si128(newRight, 8));
    std::memcpy(row + r - 4, &rightTail, 4);
    l += 12;
    r -= 12;
  }
  if (r - l >= 6) ReversePixels(row + l, row + r - 3);
}
#endif

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
#if defined(__x86_64__) || defined(__i386__)
      if (ActiveCpu() == Cpu::kAvx2) {
        FlipColourRowSsse3(row, used);
        continue;
      }
#endif
      ReversePixels(row, row + used - 3);
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
