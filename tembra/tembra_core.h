// Tembra's internal entry points: what the C exports wrap, and the kernels
// the tests compare against their plain references. Nothing here is exported.
#pragma once

#include <cstddef>
#include <cstdint>

#include "interfaces/records.h"

namespace tembra {

/// Tone tables hold 2^bits entries; only 1..16 bits make sense.
inline bool ValidBits(int bits) { return bits >= 1 && bits <= 16; }

/// Fills the 2^inBits entries of one channel from `param`. The low-gamma
/// table (32 values) is used only when lowGamma is set, it is not null and
/// inBits is 8. Bits must be valid.
void BuildChannel(int inBits, int outBits, const EnhanceParam& param, bool lowGamma,
                  const uint16_t* lowGammaTable, uint16_t* entries);

/// The curve of a record as the 256 clamped values it takes at x = 0..255.
/// Uses at most the first 10 points. False when the record has no points.
bool CurveTable(const EnhanceParam& param, double table[256]);

/// New table with `channels` (1 or 3) channels, or null (bad bits, no memory).
MappingTable* CreateTable(int inBits, int outBits, const EnhanceParam* params, int channels,
                          bool lowGamma, const uint16_t* lowGammaTable);
void FreeTable(MappingTable* table);

/// Number of samples of a width x height image with `samplesPerPixel`, or 0
/// when a size is not positive or the product is absurd.
std::size_t SampleCount(int width, int height, int samplesPerPixel);

/// Applies a table in place; 1 on success, 0 for missing or bad arguments.
int MapColor(void* image, int bitsPerSample, int width, int height, int order,
             const MappingTable* table);
int MapGray(void* image, int bitsPerSample, int width, int height, const MappingTable* table);

int HueSaturation(unsigned char* image, int width, int height, int order, int hue,
                  int saturation);
int AutoLevelColor(unsigned char* image, int width, int height, int order);
int AutoLevelGray(unsigned char* image, int width, int height);

// ---- Kernels. Each has a plain version and, where the CPU allows, a fast
// one that must give the same bytes.

/// Per-byte lookup: byte i of `data` goes through tables[i % channels]
/// (channels 1 or 3), each 256 bytes.
using Lut8Kernel = void (*)(uint8_t* data, std::size_t count, const uint8_t* const* tables,
                            int channels);
void Lut8Plain(uint8_t* data, std::size_t count, const uint8_t* const* tables, int channels);
/// Two bytes per lookup through 65536-entry pair tables; any x86-64.
void Lut8Pairs(uint8_t* data, std::size_t count, const uint8_t* const* tables, int channels);
/// The fastest kernel this CPU runs.
Lut8Kernel Lut8Best();
/// AVX-512 VBMI kernel, or null on CPUs without it.
Lut8Kernel Lut8Vbmi();

/// 16-bit samples (little-endian, any alignment): sample i goes through
/// direct[(i % channels) x 65536 + value]; `direct` has channels x 65536 + 2
/// entries.
using Lut16Kernel = void (*)(uint8_t* data, std::size_t count, const uint16_t* direct,
                             int channels);
void Lut16Plain(uint8_t* data, std::size_t count, const uint16_t* direct, int channels);
Lut16Kernel Lut16Best();
/// AVX-512 gather kernel, or null.
Lut16Kernel Lut16Avx512();

/// Hue and saturation over `pixels` pixels of 3 bytes; `order` 1 = B, G, R.
/// `hueShift` is already reduced to 0..359.
using HueSatKernel = void (*)(uint8_t* data, std::size_t pixels, int order, int hueShift,
                              int saturation);
void HueSatPlain(uint8_t* data, std::size_t pixels, int order, int hueShift, int saturation);
HueSatKernel HueSatBest();
HueSatKernel HueSatAvx512();
HueSatKernel HueSatAvx2();

}  // namespace tembra
