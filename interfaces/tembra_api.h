// Tembra, the enhancement library: tone tables, hue and saturation, automatic
// levels. Results: 1 success, 0 bad arguments; tables null on failure.
#pragma once

#include <stdint.h>

#include "interfaces/api_table.h"
#include "interfaces/records.h"

#ifdef __cplusplus
extern "C" {
#endif

/// New table owned by the caller until FreeEnhanceTable; null on any failure.
/// lowGammaTable: 32 entries, used only with lowGamma set and 8 input bits.
typedef MappingTable* (*CreateColorMappingTableFn)(int inBits, int outBits, EnhanceParam red,
                                                   EnhanceParam green, EnhanceParam blue,
                                                   int lowGamma, const uint16_t* lowGammaTable);
typedef MappingTable* (*CreateGrayMappingTableFn)(int inBits, int outBits, EnhanceParam gray,
                                                  int lowGamma, const uint16_t* lowGammaTable);
/// order 1 = B, G, R; anything else R, G, B. bitsPerSample 8 or 16.
typedef int (*MapColorEnhanceTableFn)(void* image, int bitsPerSample, int width, int height,
                                      int order, const MappingTable* table);
typedef int (*MapGrayEnhanceTableFn)(void* image, int bitsPerSample, int width, int height,
                                     const MappingTable* table);
/// table may be null.
typedef void (*FreeEnhanceTableFn)(MappingTable* table);
typedef int (*HueSaturationAdjustmentFn)(unsigned char* image, int width, int height, int order,
                                         int hue, int saturation);
typedef int (*AutoLevelColorFn)(unsigned char* image, int width, int height, int order);
typedef int (*AutoLevelGrayFn)(unsigned char* image, int width, int height);

#ifdef __cplusplus
}

#define TEMBRA_EXPORTS(X) \
  X(CreateColorMappingTable) X(CreateGrayMappingTable) X(MapColorEnhanceTable) \
  X(MapGrayEnhanceTable) X(FreeEnhanceTable) X(HueSaturationAdjustment) \
  X(AutoLevelColor) X(AutoLevelGray)
PX_DECLARE_API(TembraApi, TEMBRA_EXPORTS)
static_assert(kTembraApiCount == 8);
#endif
