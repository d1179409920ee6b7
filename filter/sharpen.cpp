// Filter 5: a thresholded horizontal sharpen, in place from left to right, so
// every pixel sees its left neighbour already sharpened and its right
// neighbour still as it was. That chain makes each row strictly sequential.
#include <cstdlib>

#include "filter/filter_core.h"

namespace px::filter {

void Sharpen(const Plane& image) {
  const int step = image.step;
  const int pixels = image.used / step;
  if (pixels < 3) return;  // no pixel has both neighbours
  for (int y = 0; y < image.rows; ++y) {
    unsigned char* v = image.Row(y) + step;
    for (int p = 1; p < pixels - 1; ++p, v += step) {
      // In colour a byte is tried only when the one before it in the same
      // pixel was replaced.
      for (int c = 0; c < step; ++c) {
        const int value = v[c];
        int s = 3 * value - v[c - step] - v[c + step];
        s = s < 0 ? 0 : (s > 255 ? 255 : s);
        if (std::abs(s - value) > 25) break;
        v[c] = static_cast<unsigned char>(s);
      }
    }
  }
}

}  // namespace px::filter
