// The three exports. One data file's transforms are held for the life of the
// library; a failed SetColorMatchFileName drops them, so a broken file never
// leaves an older correction silently in force.
#include <new>
#include <type_traits>

#include "interfaces/colormatch_api.h"
#include "interfaces/export.h"
#include "plugins/colormatch/color_transform.h"
#include "plugins/colormatch/colormatch_config.h"

namespace {

colormatch::ColorTransform& Current() {
  static colormatch::ColorTransform transform;
  return transform;
}

}  // namespace

PX_EXPORT int SetColorMatchFileName(const char* path) {
  try {
    Current().Clear();
    if (!path) return 0;
    const auto config = colormatch::LoadColorMatchConfig(path);
    if (!config) return 0;
    return Current().Build(*config) ? 1 : 0;
  } catch (...) {
    Current().Clear();
    return 0;
  }
}

PX_EXPORT int ColorMatchFun(unsigned char* image, int height, int width, int order) {
  try {
    return Current().Apply8(image, height, width, order) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

PX_EXPORT int ColorMatchFun30_36(void* image, int height, int width, int order) {
  try {
    return Current().Apply16(image, height, width, order) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

static_assert(std::is_same_v<decltype(&SetColorMatchFileName), SetColorMatchFileNameFn>);
static_assert(std::is_same_v<decltype(&ColorMatchFun), ColorMatchFunFn>);
static_assert(std::is_same_v<decltype(&ColorMatchFun30_36), ColorMatchFun30_36Fn>);
