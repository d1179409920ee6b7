// The work behind the exports. Each takes the caller's page and sizes as
// given, returns a buffer from ResultBuffer (and updates *width, *height) or
// null with nothing changed. They may throw (cv::Exception, std::bad_alloc);
// the exports catch.
#pragma once

#include "interfaces/geometrytrans_api.h"
#include "plugins/geometrytrans/sheet_finder.h"

namespace geometry {

/// Turns smaller than this (degrees) are not worth resampling the page for:
/// along a 14-inch edge at 300 dpi they amount to under two pixels.
inline constexpr double kMinTurnDegrees = 0.02;

unsigned char* DeskewPage(const Background& background, int type, const unsigned char* image, int* width,
                          int* height, GeometryProgress progress);
unsigned char* CropPage(const Background& background, int type, const unsigned char* image, int* width,
                        int* height, GeometryProgress progress);
unsigned char* ZoomPage(int srcXDpi, int srcYDpi, int dstXDpi, int dstYDpi, int type, const unsigned char* image,
                        int* width, int* height, GeometryProgress progress);
unsigned char* ResizePage(int type, const unsigned char* image, int* width, int* height, int newWidth,
                          int newHeight, GeometryProgress progress);

}  // namespace geometry
