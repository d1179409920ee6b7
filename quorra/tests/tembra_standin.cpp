// Recording stand-in for the enhancement library. Its tables are identities
// so that the pixels stay predictable.
#include <string>

#include "interfaces/export.h"
#include "interfaces/tembra_api.h"
#include "quorra/tests/standin_log.h"

using standin::Record;

namespace {
std::string Describe(const EnhanceParam& p) {
  return "B" + std::to_string(p.Brightness) + ",C" + std::to_string(p.Contrast) + ",G" +
         std::to_string(p.Gamma) + ",L" + std::to_string(p.InputLevelLow) + "-" +
         std::to_string(p.InputLevelHigh) + ",O" + std::to_string(p.OutputLevelLow) + "-" +
         std::to_string(p.OutputLevelHigh) + ",n" + std::to_string(p.CurvePointCount) +
         (p.CurvePointCount > 0 ? ",p" + std::to_string(p.CurvePoints[0].x) + ":" +
                                      std::to_string(p.CurvePoints[0].y)
                                : "");
}

MappingTable* NewTable(int inBits, int outBits, int channels) {
  auto* t = new MappingTable{static_cast<uint16_t>(inBits), static_cast<uint16_t>(outBits), nullptr};
  const size_t n = size_t{1} << inBits;
  t->Entries = new uint16_t[n * channels];
  for (int c = 0; c < channels; ++c)
    for (size_t i = 0; i < n; ++i) t->Entries[c * n + i] = static_cast<uint16_t>(i);
  const std::string name = standin::NextName("table");
  standin::Name(t, name);
  standin::Name(t->Entries, name + ".entries");
  return t;
}
}  // namespace

PX_EXPORT MappingTable* CreateColorMappingTable(int inBits, int outBits, EnhanceParam r,
                                                EnhanceParam g, EnhanceParam b, int lowGamma,
                                                const uint16_t* lowTable) {
  MappingTable* t = NewTable(inBits, outBits, 3);
  Record("Tembra.CreateColorMappingTable " + std::to_string(inBits) + " " +
         std::to_string(outBits) + " R[" + Describe(r) + "] G[" + Describe(g) + "] B[" +
         Describe(b) + "] " + std::to_string(lowGamma) + " " + standin::NameOf(lowTable) + " -> " +
         standin::NameOf(t));
  return t;
}

PX_EXPORT MappingTable* CreateGrayMappingTable(int inBits, int outBits, EnhanceParam gray,
                                               int lowGamma, const uint16_t* lowTable) {
  MappingTable* t = NewTable(inBits, outBits, 1);
  Record("Tembra.CreateGrayMappingTable " + std::to_string(inBits) + " " +
         std::to_string(outBits) + " [" + Describe(gray) + "] " + std::to_string(lowGamma) + " " +
         standin::NameOf(lowTable) + " -> " + standin::NameOf(t));
  return t;
}

PX_EXPORT int MapColorEnhanceTable(void* image, int bits, int width, int height, int order,
                                   const MappingTable* table) {
  Record("Tembra.MapColorEnhanceTable " + standin::NameOf(image) + " " + std::to_string(bits) +
         " " + std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(order) +
         " " + standin::NameOf(table));
  return 1;
}

PX_EXPORT int MapGrayEnhanceTable(void* image, int bits, int width, int height,
                                  const MappingTable* table) {
  Record("Tembra.MapGrayEnhanceTable " + standin::NameOf(image) + " " + std::to_string(bits) +
         " " + std::to_string(width) + " " + std::to_string(height) + " " +
         standin::NameOf(table));
  return 1;
}

PX_EXPORT void FreeEnhanceTable(MappingTable* table) {
  Record("Tembra.FreeEnhanceTable " + standin::NameOf(table));
  if (!table) return;
  delete[] table->Entries;
  delete table;
}

PX_EXPORT int HueSaturationAdjustment(unsigned char* image, int width, int height, int order,
                                      int hue, int saturation) {
  Record("Tembra.HueSaturationAdjustment " + standin::NameOf(image) + " " + std::to_string(width) +
         " " + std::to_string(height) + " " + std::to_string(order) + " " + std::to_string(hue) +
         " " + std::to_string(saturation));
  return 1;
}

PX_EXPORT int AutoLevelColor(unsigned char* image, int width, int height, int order) {
  Record("Tembra.AutoLevelColor " + standin::NameOf(image) + " " + std::to_string(width) + " " +
         std::to_string(height) + " " + std::to_string(order));
  return 1;
}

PX_EXPORT int AutoLevelGray(unsigned char* image, int width, int height) {
  Record("Tembra.AutoLevelGray " + standin::NameOf(image) + " " + std::to_string(width) + " " +
         std::to_string(height));
  return 1;
}
