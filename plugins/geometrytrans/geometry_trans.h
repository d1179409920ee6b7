// GeometryTrans.so: finds the sheet on a scanned page, straightens and crops
// it, and resamples page images to another resolution.
//
// Page images are rows top first with no gap between rows. Type codes:
//   0  colour, three 8-bit samples per pixel
//   1  gray, one 8-bit sample
//   2  colour, three 16-bit little-endian samples per pixel
//   3  gray, one 16-bit little-endian sample
// Colour samples are compared with the background colour as R, G, B; with a
// gray background (the feeder's is 30, 30, 30) the channel order of the page
// does not matter, so pages in B, G, R order work as well.
//
// Ownership and results, for every function that returns a buffer:
// - The image passed in is only read, never changed or freed.
// - A returned buffer belongs to this library and goes back only through
//   FreeBuffer. *width and *height then describe it.
// - Null means nothing changed (no sheet found, nothing to cut or resample,
//   bad arguments, or not enough memory); *width and *height are untouched.
// - 16-bit pages stay 16-bit; no precision is dropped on the way.
// - The progress function, when given, is called with (done, total) while the
//   work advances, ending with done == total; its answer is ignored.
#pragma once

#include "interfaces/export.h"
#include "interfaces/geometrytrans_api.h"

/// Describes what lies behind the paper. Called once after loading; the
/// values hold until the next call.
///
/// red, green, blue: the colour of the feeder's background (default 30, 30,
/// 30). Gray pages compare with its luminance.
///
/// value1: colour tolerance, in 8-bit sample steps (16-bit samples are scaled
/// by 1/257 first). A pixel is background when every sample lies within
/// value1 of the background colour; anything else is paper or print on it.
/// Default 55. Zero, negative or non-numeric values select the default (a
/// missing configuration passes zeros); values above 250 are taken as 250.
///
/// value2: the smallest sheet accepted, in percent of the image area. The
/// sheet is the largest region that stands out from the background; when it
/// is smaller than this (dust, a roller, a scrap) there is "no sheet".
/// Default 30. Zero, negative or non-numeric values select the default;
/// values above 100 are taken as 100.
PX_EXPORT void SetBGInfo(unsigned char red, unsigned char green, unsigned char blue, float value1,
                         float value2);

/// Finds the sheet, turns it upright (by at most 45 degrees either way) and
/// crops to it. The result keeps the page's x and y resolutions, which may
/// differ (a device delivering 300 x 600 dpi): the turned sheet is then
/// squared up as it lies in those pixels. Areas of the sheet that lie outside
/// the scanned image are filled with the background colour. Turns below 0.02
/// degrees are not worth a resampling: the sheet is only cut out. Null when no
/// sheet is found or the sheet already fills the image straight.
PX_EXPORT unsigned char* ImageDeskew(int type, unsigned char* image, int* width, int* height,
                                     GeometryProgress progress);

/// Cuts the image to the bounding box of the sheet, without rotating; paper
/// sticking out of the sheet's rectangle (a tab, a label) is kept. The pixels
/// are copied unchanged. Null when no sheet is found or the sheet already
/// fills the image.
PX_EXPORT unsigned char* ImageCrop(int type, unsigned char* image, int* width, int* height,
                                   GeometryProgress progress);

/// Resamples from srcXDpi x srcYDpi to dstXDpi x dstYDpi: the new width is
/// width * dstXDpi / srcXDpi rounded to the nearest pixel (at least 1), the
/// height likewise. Shrinking averages the covered area; enlarging is
/// bicubic. Null when a resolution is not positive or the size stays the same.
PX_EXPORT unsigned char* ImageZoom(int srcXDpi, int srcYDpi, int dstXDpi, int dstYDpi, int type,
                                   unsigned char* image, int* width, int* height,
                                   GeometryProgress progress);

/// Resamples the image to exactly newWidth x newHeight pixels (each axis
/// scaled on its own, so the aspect ratio may change), with the same
/// interpolation as ImageZoom. type, image, width, height and progress as
/// above; on success *width = newWidth and *height = newHeight. Null when a
/// new size is not positive or too large, or equals the current size.
PX_EXPORT unsigned char* ImageResize(int type, unsigned char* image, int* width, int* height,
                                     int newWidth, int newHeight, GeometryProgress progress);

/// Frees a buffer returned by the functions above and sets *buffer to null.
/// A null address or a null *buffer is harmless.
PX_EXPORT void FreeBuffer(unsigned char** buffer);
