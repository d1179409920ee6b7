#include "bench/peers_ours.h"

#include <vector>

#include "filter/filter_core.h"
#include "interfaces/filter_api.h"
#include "interfaces/records.h"
#include "interfaces/tembra_api.h"
#include "platform/module.h"

namespace px::bench {

struct OurLibraries::Impl {
  px::Module tembraModule;
  px::Module filterModule;
  TembraApi tembra;
  FilterApi filter;
  bool haveTembra = false;
  bool haveFilter = false;
};

OurLibraries::OurLibraries() : impl_(std::make_unique<Impl>()) {}
OurLibraries::~OurLibraries() = default;

void OurLibraries::Load(const std::string& bin) {
  impl_->haveTembra = impl_->tembraModule.Load(px::LibraryPath(bin, "Tembra")) &&
                      impl_->tembraModule.BindAll(impl_->tembra);
  impl_->haveFilter = impl_->filterModule.Load(px::LibraryPath(bin, "Filter")) &&
                      impl_->filterModule.BindAll(impl_->filter);
}

bool OurLibraries::HaveTembra() const { return impl_->haveTembra; }
bool OurLibraries::HaveFilter() const { return impl_->haveFilter; }

void* OurLibraries::CreateColourTable(int bits, int brightness, int contrast, int gamma) {
  if (!impl_->haveTembra) return nullptr;
  EnhanceParam p = NeutralEnhanceParam();
  p.Brightness = static_cast<int16_t>(brightness);
  p.Contrast = static_cast<int16_t>(contrast);
  p.Gamma = static_cast<int16_t>(gamma);
  return impl_->tembra.CreateColorMappingTable(bits, bits, p, p, p, 0, nullptr);
}

const std::uint16_t* OurLibraries::Entries(const void* table) const {
  return table ? static_cast<const MappingTable*>(table)->Entries : nullptr;
}

void OurLibraries::FreeTable(void* table) {
  if (table && impl_->haveTembra) impl_->tembra.FreeEnhanceTable(static_cast<MappingTable*>(table));
}

int OurLibraries::MapColour(void* image, int bits, int width, int height, const void* table) {
  return impl_->tembra.MapColorEnhanceTable(image, bits, width, height, 0,
                                            static_cast<const MappingTable*>(table));
}

int OurLibraries::HueSaturation(unsigned char* image, int width, int height, int hue,
                                int saturation) {
  return impl_->tembra.HueSaturationAdjustment(image, width, height, 0, hue, saturation);
}

int OurLibraries::AutoLevel(unsigned char* image, int width, int height) {
  return impl_->tembra.AutoLevelColor(image, width, height, 0);
}

int OurLibraries::Filter(int number, unsigned char* image, int mode, int rows, int rowLength) {
  return impl_->filter.FilterProcess(number, image, mode, rows, rowLength);
}

void OurMedianPass(unsigned char* image, int rows, int rowLength) {
  std::vector<unsigned char> previous(static_cast<std::size_t>(rowLength));
  std::vector<unsigned char> current(static_cast<std::size_t>(rowLength));
  px::filter::Plane plane;
  plane.data = image;
  plane.rows = rows;
  plane.rowLength = rowLength;
  plane.step = 3;
  plane.used = rowLength / 3 * 3;
  px::filter::WorkRows work{previous.data(), current.data()};
  px::filter::MedianPass(plane, work);
}

}  // namespace px::bench
