// Table lookups with AVX-512.
// Bytes: a 256-entry lookup with AVX-512 VBMI: two two-register byte permutes
// cover 128 entries each and bit 7 of the index picks between them. Colour
// samples cycle through three tables; as 64 leaves 1 modulo 3, the table
// pattern of consecutive registers repeats every third register.
// This file is compiled for AVX-512 and only entered after a CPU check; it
// includes no header that could instantiate shared inline code.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace tembra {

void Lut8Plain(uint8_t* data, std::size_t count, const uint8_t* const* tables, int channels);

namespace {

struct Table {
  __m512i q0, q1, q2, q3;
};

Table LoadTable(const uint8_t* t) {
  return {_mm512_loadu_si512(t), _mm512_loadu_si512(t + 64), _mm512_loadu_si512(t + 128),
          _mm512_loadu_si512(t + 192)};
}

inline __m512i Lookup(const Table& t, __m512i x) {
  const __m512i low = _mm512_permutex2var_epi8(t.q0, x, t.q1);
  const __m512i high = _mm512_permutex2var_epi8(t.q2, x, t.q3);
  return _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), low, high);
}

void Lut8Vbmi1(uint8_t* data, std::size_t count, const uint8_t* table) {
  const Table t = LoadTable(table);
  std::size_t i = 0;
  for (; i + 64 <= count; i += 64) {
    const __m512i x = _mm512_loadu_si512(data + i);
    _mm512_storeu_si512(data + i, Lookup(t, x));
  }
  if (i < count) {
    const __mmask64 m = (uint64_t{1} << (count - i)) - 1;
    const __m512i x = _mm512_maskz_loadu_epi8(m, data + i);
    _mm512_mask_storeu_epi8(data + i, m, Lookup(t, x));
  }
}

void Lut8Vbmi3(uint8_t* data, std::size_t count, const uint8_t* const* tables) {
  const Table t0 = LoadTable(tables[0]);
  const Table t1 = LoadTable(tables[1]);
  const Table t2 = LoadTable(tables[2]);
  // mask[phase][c]: bytes of a register starting at sample phase that use table c.
  __mmask64 mask[3][3];
  for (int phase = 0; phase < 3; ++phase) {
    uint64_t m[3] = {0, 0, 0};
    for (int j = 0; j < 64; ++j) m[(phase + j) % 3] |= uint64_t{1} << j;
    for (int c = 0; c < 3; ++c) mask[phase][c] = m[c];
  }
  std::size_t i = 0;
  int phase = 0;
  for (; i + 64 <= count; i += 64) {
    const __m512i x = _mm512_loadu_si512(data + i);
    __m512i r = Lookup(t0, x);
    r = _mm512_mask_blend_epi8(mask[phase][1], r, Lookup(t1, x));
    r = _mm512_mask_blend_epi8(mask[phase][2], r, Lookup(t2, x));
    _mm512_storeu_si512(data + i, r);
    phase = phase == 2 ? 0 : phase + 1;
  }
  if (i < count) {
    const __mmask64 m = (uint64_t{1} << (count - i)) - 1;
    const __m512i x = _mm512_maskz_loadu_epi8(m, data + i);
    __m512i r = Lookup(t0, x);
    r = _mm512_mask_blend_epi8(mask[phase][1], r, Lookup(t1, x));
    r = _mm512_mask_blend_epi8(mask[phase][2], r, Lookup(t2, x));
    _mm512_mask_storeu_epi8(data + i, m, r);
  }
}

void Lut8VbmiKernel(uint8_t* data, std::size_t count, const uint8_t* const* tables,
                    int channels) {
  if (channels == 3)
    Lut8Vbmi3(data, count, tables);
  else if (channels == 1)
    Lut8Vbmi1(data, count, tables[0]);
  else
    Lut8Plain(data, count, tables, channels);
}

// 16-bit samples: one gather of 16 entries from the direct tables (channel c
// at c x 65536), reading 32 bits at each entry and keeping the low half; the
// tables carry one spare entry for the last read.
void Lut16Avx512Kernel(uint8_t* data, std::size_t count, const uint16_t* direct, int channels) {
  __m512i offsets[3];
  for (int phase = 0; phase < 3; ++phase) {
    alignas(64) int32_t lanes[16];
    for (int k = 0; k < 16; ++k) lanes[k] = channels == 3 ? ((phase + k) % 3) * 65536 : 0;
    offsets[phase] = _mm512_load_si512(lanes);
  }
  const int* base = reinterpret_cast<const int*>(direct);
  std::size_t i = 0;
  int phase = 0;
  for (; i + 16 <= count; i += 16) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + 2 * i));
    const __m512i index = _mm512_add_epi32(_mm512_cvtepu16_epi32(x), offsets[phase]);
    const __m512i values = _mm512_i32gather_epi32(index, base, 2);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(data + 2 * i), _mm512_cvtepi32_epi16(values));
    phase = phase == 2 ? 0 : phase + 1;
  }
  if (i < count) {
    const __mmask16 m = static_cast<__mmask16>((1u << (count - i)) - 1);
    const __m256i x = _mm256_maskz_loadu_epi16(m, data + 2 * i);
    const __m512i index = _mm512_add_epi32(_mm512_cvtepu16_epi32(x), offsets[phase]);
    const __m512i values =
        _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), m, index, base, 2);
    _mm256_mask_storeu_epi16(data + 2 * i, m, _mm512_cvtepi32_epi16(values));
  }
}

}  // namespace

using Lut16Kernel = void (*)(uint8_t*, std::size_t, const uint16_t*, int);
Lut16Kernel Lut16Avx512Entry() { return &Lut16Avx512Kernel; }

using Lut8Kernel = void (*)(uint8_t*, std::size_t, const uint8_t* const*, int);
Lut8Kernel Lut8VbmiEntry() { return &Lut8VbmiKernel; }

}  // namespace tembra
