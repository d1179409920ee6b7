#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "plugins/colormatch/color_transform.h"
#include "plugins/colormatch/colormatch_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Profile paths lead nowhere: the parser and the described-scanner path
  // are what is fuzzed here.
  const auto config = colormatch::ParseColorMatchConfig(text, "/nonexistent/folder/CM.ini");
  if (!config) return 0;
  colormatch::ColorTransform transform;
  if (!transform.Build(*config)) return 0;
  std::vector<uint8_t> image(4 * 3 * 6);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 37);
  transform.Apply8(image.data(), 3, 4, 0);
  transform.Apply8(image.data(), 3, 4, 1);
  transform.Apply16(image.data(), 3, 4, 0);
  transform.Apply16(image.data(), 3, 4, 1);
  return 0;
}
