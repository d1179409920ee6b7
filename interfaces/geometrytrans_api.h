// GeometryTrans: deskew, crop and resampling of page images. A returned buffer
// belongs to the library and goes back only through FreeBuffer; null means
// nothing changed. Type codes: 0 colour 24, 1 gray 8, 2 colour 48, 3 gray 16.
#pragma once

#include "interfaces/api_table.h"

#ifdef __cplusplus
extern "C" {
#endif

/// Called with (done, total); the result is ignored by the library.
typedef int (*GeometryProgress)(int done, int total);

/// The colour behind the paper and two tuning values (see the library header).
typedef void (*SetBGInfoFn)(unsigned char red, unsigned char green, unsigned char blue,
                            float value1, float value2);
typedef unsigned char* (*ImageDeskewFn)(int type, unsigned char* image, int* width, int* height,
                                        GeometryProgress progress);
typedef unsigned char* (*ImageCropFn)(int type, unsigned char* image, int* width, int* height,
                                      GeometryProgress progress);
typedef unsigned char* (*ImageZoomFn)(int srcXDpi, int srcYDpi, int dstXDpi, int dstYDpi,
                                      int type, unsigned char* image, int* width, int* height,
                                      GeometryProgress progress);
/// Resamples to newWidth x newHeight; width and height are updated.
typedef unsigned char* (*ImageResizeFn)(int type, unsigned char* image, int* width, int* height,
                                        int newWidth, int newHeight, GeometryProgress progress);
/// Frees *buffer and sets it to null.
typedef void (*FreeBufferFn)(unsigned char** buffer);

#ifdef __cplusplus
}

#define GEOMETRYTRANS_EXPORTS(X) \
  X(SetBGInfo) X(ImageDeskew) X(ImageCrop) X(ImageZoom) X(ImageResize) X(FreeBuffer)
PX_DECLARE_API(GeometryTransApi, GEOMETRYTRANS_EXPORTS)
static_assert(kGeometryTransApiCount == 6);
#endif
