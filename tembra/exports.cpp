// Tembra's eight C exports. Each one turns any C++ exception (out of memory
// above all) into its failure result: null for tables, 0 for the rest.
#include <type_traits>

#include "interfaces/export.h"
#include "interfaces/tembra_api.h"
#include "tembra/tembra_core.h"

namespace {
template <class Fn, class Result>
Result Guard(Result failure, Fn&& fn) noexcept {
  try {
    return fn();
  } catch (...) {
    return failure;
  }
}
}  // namespace

PX_EXPORT MappingTable* CreateColorMappingTable(int inBits, int outBits, EnhanceParam red,
                                                EnhanceParam green, EnhanceParam blue,
                                                int lowGamma, const uint16_t* lowGammaTable) {
  return Guard(static_cast<MappingTable*>(nullptr), [&] {
    const EnhanceParam params[3] = {red, green, blue};
    return tembra::CreateTable(inBits, outBits, params, 3, lowGamma != 0, lowGammaTable);
  });
}

PX_EXPORT MappingTable* CreateGrayMappingTable(int inBits, int outBits, EnhanceParam gray,
                                               int lowGamma, const uint16_t* lowGammaTable) {
  return Guard(static_cast<MappingTable*>(nullptr), [&] {
    return tembra::CreateTable(inBits, outBits, &gray, 1, lowGamma != 0, lowGammaTable);
  });
}

PX_EXPORT int MapColorEnhanceTable(void* image, int bitsPerSample, int width, int height,
                                   int order, const MappingTable* table) {
  return Guard(0, [&] {
    return tembra::MapColor(image, bitsPerSample, width, height, order, table);
  });
}

PX_EXPORT int MapGrayEnhanceTable(void* image, int bitsPerSample, int width, int height,
                                  const MappingTable* table) {
  return Guard(0, [&] { return tembra::MapGray(image, bitsPerSample, width, height, table); });
}

PX_EXPORT void FreeEnhanceTable(MappingTable* table) { tembra::FreeTable(table); }

PX_EXPORT int HueSaturationAdjustment(unsigned char* image, int width, int height, int order,
                                      int hue, int saturation) {
  return Guard(0, [&] {
    return tembra::HueSaturation(image, width, height, order, hue, saturation);
  });
}

PX_EXPORT int AutoLevelColor(unsigned char* image, int width, int height, int order) {
  return Guard(0, [&] { return tembra::AutoLevelColor(image, width, height, order); });
}

PX_EXPORT int AutoLevelGray(unsigned char* image, int width, int height) {
  return Guard(0, [&] { return tembra::AutoLevelGray(image, width, height); });
}

// The exports must keep the exact types the callers bind them with.
static_assert(std::is_same_v<decltype(&CreateColorMappingTable), CreateColorMappingTableFn>);
static_assert(std::is_same_v<decltype(&CreateGrayMappingTable), CreateGrayMappingTableFn>);
static_assert(std::is_same_v<decltype(&MapColorEnhanceTable), MapColorEnhanceTableFn>);
static_assert(std::is_same_v<decltype(&MapGrayEnhanceTable), MapGrayEnhanceTableFn>);
static_assert(std::is_same_v<decltype(&FreeEnhanceTable), FreeEnhanceTableFn>);
static_assert(std::is_same_v<decltype(&HueSaturationAdjustment), HueSaturationAdjustmentFn>);
static_assert(std::is_same_v<decltype(&AutoLevelColor), AutoLevelColorFn>);
static_assert(std::is_same_v<decltype(&AutoLevelGray), AutoLevelGrayFn>);
