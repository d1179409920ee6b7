#include "fuzz/image_loader_fuzz.h"
#include "pellix/tiff_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return pellix_fuzz::RunLoader(data, size, ImageContainer::Format::Tiff, pellix::DecodeTiff);
}
