// Recording stand-in for the geometry library: deskew and crop trim the
// edges, zoom resamples by nearest neighbour, and every result is a new
// buffer that must come back through FreeBuffer.
#include <cstdlib>
#include <cstring>
#include <string>

#include "interfaces/export.h"
#include "interfaces/geometrytrans_api.h"
#include "quorra/tests/standin_log.h"

using standin::Ctl;
using standin::Record;

namespace {
int PixelBytes(int type) {
  static constexpr int kBytes[4] = {3, 1, 6, 2};
  return (type >= 0 && type < 4) ? kBytes[type] : 0;
}

unsigned char* NewBuffer(size_t bytes) {
  auto* b = static_cast<unsigned char*>(std::malloc(bytes ? bytes : 1));
  standin::Name(b, standin::NextName("geom"));
  return b;
}

std::string Args(int type, const unsigned char* image, const int* w, const int* h,
                 GeometryProgress progress) {
  return "type=" + std::to_string(type) + " " + standin::NameOf(image) + " " +
         std::to_string(*w) + "x" + std::to_string(*h) + " progress=" + (progress ? "yes" : "no");
}

unsigned char* Trim(int type, unsigned char* image, int* w, int* h, GeometryProgress progress) {
  if (progress) {
    progress(1, 2);
    progress(2, 2);
  }
  const int t = Ctl().geometry.trim;
  const int bpp = PixelBytes(type);
  const int nw = *w - 2 * t, nh = *h - 2 * t;
  unsigned char* out = NewBuffer(static_cast<size_t>(nw) * nh * bpp);
  for (int y = 0; y < nh; ++y)
    std::memcpy(out + static_cast<size_t>(y) * nw * bpp,
                image + (static_cast<size_t>(y + t) * *w + t) * bpp, static_cast<size_t>(nw) * bpp);
  *w = Ctl().geometry.emptyResult ? 0 : nw;
  *h = Ctl().geometry.emptyResult ? 0 : nh;
  return out;
}
}  // namespace

PX_EXPORT void SetBGInfo(unsigned char r, unsigned char g, unsigned char b, float v1, float v2) {
  Record("GeometryTrans.SetBGInfo " + std::to_string(r) + " " + std::to_string(g) + " " +
         std::to_string(b) + " " + std::to_string(static_cast<int>(v1)) + " " +
         std::to_string(static_cast<int>(v2)));
}

PX_EXPORT unsigned char* ImageDeskew(int type, unsigned char* image, int* w, int* h,
                                     GeometryProgress progress) {
  Record("GeometryTrans.ImageDeskew " + Args(type, image, w, h, progress));
  if (Ctl().geometry.deskewReturnsNull) return nullptr;
  if (Ctl().geometry.inPlace) return image;
  return Trim(type, image, w, h, progress);
}

PX_EXPORT unsigned char* ImageCrop(int type, unsigned char* image, int* w, int* h,
                                   GeometryProgress progress) {
  Record("GeometryTrans.ImageCrop " + Args(type, image, w, h, progress));
  if (Ctl().geometry.cropReturnsNull) return nullptr;
  if (Ctl().geometry.inPlace) {
    --*h;  // worked in place and dropped the last line
    return image;
  }
  return Trim(type, image, w, h, progress);
}

#ifndef STANDIN_OMIT_ZOOM
PX_EXPORT unsigned char* ImageZoom(int sx, int sy, int dx, int dy, int type, unsigned char* image,
                                   int* w, int* h, GeometryProgress progress) {
  Record("GeometryTrans.ImageZoom " + std::to_string(sx) + " " + std::to_string(sy) + " " +
         std::to_string(dx) + " " + std::to_string(dy) + " " + Args(type, image, w, h, progress));
  if (progress) {
    progress(1, 2);
    progress(2, 2);
  }
  if (Ctl().geometry.zoomReturnsNull) return nullptr;
  const int bpp = PixelBytes(type);
  const int nw = *w * dx / sx, nh = *h * dy / sy;
  unsigned char* out = NewBuffer(static_cast<size_t>(nw) * nh * bpp);
  for (int y = 0; y < nh; ++y)
    for (int x = 0; x < nw; ++x)
      std::memcpy(out + (static_cast<size_t>(y) * nw + x) * bpp,
                  image + (static_cast<size_t>(y * sy / dy) * *w + x * sx / dx) * bpp, bpp);
  *w = nw;
  *h = nh;
  return out;
}
#endif

PX_EXPORT unsigned char* ImageResize(int, unsigned char*, int*, int*, int, int, GeometryProgress) {
  Record("GeometryTrans.ImageResize");
  return nullptr;
}

PX_EXPORT void FreeBuffer(unsigned char** buffer) {
  Record("GeometryTrans.FreeBuffer " + standin::NameOf(buffer ? *buffer : nullptr));
  if (!buffer) return;
  std::free(*buffer);
  *buffer = nullptr;
}
