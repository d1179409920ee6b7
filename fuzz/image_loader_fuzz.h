// Shared body of the image loader fuzz targets: decode one format with a
// small size limit, then run what the page list and preview do with a page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pellix/image_container.h"

namespace pellix_fuzz {

// Keeps every run fast and within the fuzzer's memory limit.
constexpr uint64_t kFuzzImageBytes = 4 << 20;

template <typename Decode>
int RunLoader(const uint8_t* data, size_t size, ImageContainer::Format format, Decode decode) {
  ImageContainer image;
  if (!decode(data, size, kFuzzImageBytes, image)) {
    if (!image.IsEmpty()) std::abort();  // a failed load leaves nothing behind
    return 0;
  }
  if (image.IsEmpty() || (image.BitsPerPixel() != 8 && image.BitsPerPixel() != 24)) std::abort();
  ImageContainer thumb;
  image.Shrink((image.Width() + 2) / 3, (image.Height() + 2) / 3, thumb);
  image.Resample(7, 5, thumb);
  if (!image.Rotate90(true)) std::abort();
  // A lossless format must read back exactly what it wrote.
  if (format != ImageContainer::Format::Jpeg) {
    std::string encoded;
    if (!image.Encode(format, encoded)) std::abort();
    ImageContainer back;
    if (!back.LoadFromMemory(reinterpret_cast<const uint8_t*>(encoded.data()), encoded.size(),
                             format, kFuzzImageBytes))
      std::abort();
    const size_t rowBytes = size_t(image.Width()) * size_t(image.BitsPerPixel() / 8);
    for (int y = 0; y < image.Height(); ++y)
      for (size_t i = 0; i < rowBytes; ++i)
        if (image.Row(y)[i] != back.Row(y)[i]) std::abort();
  }
  return 0;
}

}  // namespace pellix_fuzz
