// Any record, any depths and a small image: nothing may read or write outside
// the image or the table, and the fast loops must agree with the plain ones.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tembra/tembra_core.h"

namespace {
template <class T>
T Take(const uint8_t*& data, std::size_t& size) {
  T value{};
  const std::size_t n = size < sizeof(T) ? size : sizeof(T);
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const int inBits = Take<uint8_t>(data, size) % 18;
  const int outBits = Take<uint8_t>(data, size) % 18;
  const EnhanceParam param = Take<EnhanceParam>(data, size);
  const int width = Take<int8_t>(data, size);
  const int height = Take<int8_t>(data, size) % 16;
  const int order = Take<uint8_t>(data, size) % 3;
  const int hue = Take<int16_t>(data, size);
  const int saturation = Take<int16_t>(data, size);
  const std::size_t pixels = width > 0 && height > 0 ? std::size_t(width) * height : 0;

  // Exactly sized buffers, so any overrun shows.
  std::vector<uint8_t> source(pixels * 6);
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = size ? data[i % size] : uint8_t(i);

  const EnhanceParam params[3] = {param, param, param};
  MappingTable* colour = tembra::CreateTable(inBits, outBits, params, 3, inBits == 8, nullptr);
  MappingTable* gray = tembra::CreateTable(inBits, outBits, params, 1, false, nullptr);
  if (colour != nullptr) {
    for (std::size_t i = 0; i < (std::size_t{3} << colour->in); ++i)
      if (colour->Entries[i] >= (1u << colour->out)) std::abort();
    std::vector<uint8_t> image = source;
    tembra::MapColor(image.data(), 16, width, height, order, colour);
    image.assign(source.begin(), source.begin() + pixels * 3);
    tembra::MapColor(image.data(), 8, width, height, order, colour);
  }
  if (gray != nullptr) {
    std::vector<uint8_t> image(source.begin(), source.begin() + pixels * 2);
    tembra::MapGray(image.data(), 16, width, height, gray);
    image.resize(pixels);
    tembra::MapGray(image.data(), 8, width, height, gray);
  }
  tembra::FreeTable(colour);
  tembra::FreeTable(gray);

  std::vector<uint8_t> image(source.begin(), source.begin() + pixels * 3);
  std::vector<uint8_t> plain = image;
  if (tembra::HueSaturation(image.data(), width, height, order, hue, saturation) == 1 &&
      (hue != 0 || saturation != 0)) {
    tembra::HueSatPlain(plain.data(), pixels, order, ((hue % 360) + 360) % 360, saturation);
    if (plain != image) std::abort();
  }
  tembra::AutoLevelColor(image.data(), width, height, order);
  image.resize(pixels);
  tembra::AutoLevelGray(image.data(), width, height);
  return 0;
}
