// The library's exports: each one hands its work to page_ops and turns any
// exception (OpenCV's, out of memory) into the null result.
#include "plugins/geometrytrans/geometry_trans.h"

#include <type_traits>

#include "plugins/geometrytrans/page_image.h"
#include "plugins/geometrytrans/page_ops.h"
#include "plugins/geometrytrans/sheet_finder.h"

static_assert(std::is_same_v<decltype(&SetBGInfo), SetBGInfoFn>);
static_assert(std::is_same_v<decltype(&ImageDeskew), ImageDeskewFn>);
static_assert(std::is_same_v<decltype(&ImageCrop), ImageCropFn>);
static_assert(std::is_same_v<decltype(&ImageZoom), ImageZoomFn>);
static_assert(std::is_same_v<decltype(&ImageResize), ImageResizeFn>);
static_assert(std::is_same_v<decltype(&FreeBuffer), FreeBufferFn>);

namespace {

// Set once after loading; every caller runs on one thread.
geometry::Background g_background;

template <class Work>
unsigned char* Guarded(Work&& work) noexcept {
  try {
    return work();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

PX_EXPORT void SetBGInfo(unsigned char red, unsigned char green, unsigned char blue, float value1,
                         float value2) {
  g_background = geometry::MakeBackground(red, green, blue, value1, value2);
}

PX_EXPORT unsigned char* ImageDeskew(int type, unsigned char* image, int* width, int* height,
                                     GeometryProgress progress) {
  return Guarded([&] { return geometry::DeskewPage(g_background, type, image, width, height, progress); });
}

PX_EXPORT unsigned char* ImageCrop(int type, unsigned char* image, int* width, int* height,
                                   GeometryProgress progress) {
  return Guarded([&] { return geometry::CropPage(g_background, type, image, width, height, progress); });
}

PX_EXPORT unsigned char* ImageZoom(int srcXDpi, int srcYDpi, int dstXDpi, int dstYDpi, int type,
                                   unsigned char* image, int* width, int* height,
                                   GeometryProgress progress) {
  return Guarded([&] {
    return geometry::ZoomPage(srcXDpi, srcYDpi, dstXDpi, dstYDpi, type, image, width, height, progress);
  });
}

PX_EXPORT unsigned char* ImageResize(int type, unsigned char* image, int* width, int* height,
                                     int newWidth, int newHeight, GeometryProgress progress) {
  return Guarded(
      [&] { return geometry::ResizePage(type, image, width, height, newWidth, newHeight, progress); });
}

PX_EXPORT void FreeBuffer(unsigned char** buffer) {
  if (!buffer) return;
  geometry::FreeResult(*buffer);
  *buffer = nullptr;
}
