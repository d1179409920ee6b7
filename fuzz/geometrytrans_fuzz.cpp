// Input: type, width, height, background colour and settings, resolutions,
// then pixel bytes (repeated to fill the page). Pages stay small so each run
// is quick; every call must return null or a buffer of the size it reports.
#include <cstdint>
#include <cstring>
#include <vector>

#include "plugins/geometrytrans/geometry_trans.h"

namespace {

volatile unsigned g_sink = 0;

void Check(unsigned char* out, int width, int height, int bytesPerPixel) {
  if (!out) return;
  // Read the whole result: a wrong size shows up under AddressSanitizer.
  if (width < 1 || height < 1) __builtin_trap();
  const std::size_t bytes = static_cast<std::size_t>(width) * height * bytesPerPixel;
  unsigned sum = 0;
  for (std::size_t i = 0; i < bytes; ++i) sum += out[i];
  g_sink = sum;
  FreeBuffer(&out);
  if (out) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 16) return 0;
  const int type = data[0] % 4;
  const int bytesPerPixel = type == 0 ? 3 : type == 1 ? 1 : type == 2 ? 6 : 2;
  const int width = 1 + data[1] % 120, height = 1 + data[2] % 120;
  float value1 = 0.0f, value2 = 0.0f;
  std::memcpy(&value1, data + 6, sizeof value1);
  std::memcpy(&value2, data + 10, sizeof value2);
  SetBGInfo(data[3], data[4], data[5], value1, value2);
  const int dpi[4] = {1 + data[14] % 700, 1 + data[15] % 700, 1 + data[14] / 3, 1 + data[15] / 5};

  std::vector<unsigned char> page(static_cast<std::size_t>(width) * height * bytesPerPixel);
  const std::uint8_t* pixels = data + 16;
  const std::size_t count = size - 16;
  for (std::size_t i = 0; i < page.size(); ++i) page[i] = count ? pixels[i % count] : 0;
  const std::vector<unsigned char> original = page;

  int w = width, h = height;
  Check(ImageDeskew(type, page.data(), &w, &h, nullptr), w, h, bytesPerPixel);
  w = width, h = height;
  Check(ImageCrop(type, page.data(), &w, &h, nullptr), w, h, bytesPerPixel);
  w = width, h = height;
  Check(ImageZoom(dpi[0], dpi[1], dpi[2], dpi[3], type, page.data(), &w, &h, nullptr), w, h, bytesPerPixel);
  w = width, h = height;
  Check(ImageResize(type, page.data(), &w, &h, 1 + data[1] % 200, 1 + data[2] % 200, nullptr), w, h, bytesPerPixel);
  if (page != original) __builtin_trap();
  return 0;
}
