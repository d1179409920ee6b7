#include "filter/filter_reference.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace px::filter::reference {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Layout {
  int rows;
  int rowLength;
  int channels;  // bytes per pixel
  int pixels;    // whole pixels per row
  std::size_t At(int y, int pixel, int channel) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(rowLength) +
           static_cast<std::size_t>(pixel * channels + channel);
  }
};

// The plain formula: the row above left to right, the own row, the row below,
// each product added in that order in 32-bit floats.
void KernelPass(Bytes& img, const Layout& g, float corner, float edge, float centre,
                bool unsharpTwice) {
  const float w[3][3] = {{corner, edge, corner}, {edge, centre, edge}, {corner, edge, corner}};
  float sum = 0.0f;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) sum += w[r][c];
  const std::size_t len = static_cast<std::size_t>(g.rowLength);
  Bytes previous(img.begin(), img.begin() + static_cast<std::ptrdiff_t>(len));
  Bytes current(len);
  for (int y = 0; y < g.rows; ++y) {
    std::copy_n(img.begin() + static_cast<std::ptrdiff_t>(y * len), len, current.begin());
    const bool hasBelow = y + 1 < g.rows;
    for (int p = 0; p < g.pixels; ++p) {
      for (int ch = 0; ch < g.channels; ++ch) {
        float s = 0.0f;
        for (int r = 0; r < 3; ++r) {
          for (int k = 0; k < 3; ++k) {
            const int q = std::clamp(p + k - 1, 0, g.pixels - 1);
            const std::size_t inRow = static_cast<std::size_t>(q * g.channels + ch);
            std::uint8_t v;
            if (r == 0) {
              v = previous[inRow];
            } else if (r == 1 || !hasBelow) {
              v = current[inRow];
            } else {
              v = img[g.At(y + 1, q, ch)];
            }
            s += w[r][k] * static_cast<float>(v);
          }
        }
        const float own = static_cast<float>(current[static_cast<std::size_t>(p * g.channels + ch)]);
        if (unsharpTwice) {
          s = own + 2.0f * s;
        } else if (sum != 0.0f) {
          s = s / sum;
        }
        s = std::clamp(s, 0.0f, 255.0f);
        img[g.At(y, p, ch)] = static_cast<std::uint8_t>(static_cast<int>(s));
      }
    }
    previous = current;
  }
}

void MedianPass(Bytes& img, const Layout& g) {
  const std::size_t len = static_cast<std::size_t>(g.rowLength);
  Bytes previous(img.begin(), img.begin() + static_cast<std::ptrdiff_t>(len));
  Bytes current(len);
  for (int y = 0; y < g.rows; ++y) {
    std::copy_n(img.begin() + static_cast<std::ptrdiff_t>(y * len), len, current.begin());
    const bool hasBelow = y + 1 < g.rows;
    for (int p = 0; p < g.pixels; ++p) {
      for (int ch = 0; ch < g.channels; ++ch) {
        std::vector<std::uint8_t> n;
        for (int r = 0; r < 3; ++r) {
          for (int k = 0; k < 3; ++k) {
            const int q = std::clamp(p + k - 1, 0, g.pixels - 1);
            const std::size_t inRow = static_cast<std::size_t>(q * g.channels + ch);
            if (r == 0) {
              n.push_back(previous[inRow]);
            } else if (r == 1 || !hasBelow) {
              n.push_back(current[inRow]);
            } else {
              n.push_back(img[g.At(y + 1, q, ch)]);
            }
          }
        }
        std::sort(n.begin(), n.end());
        img[g.At(y, p, ch)] = n[4];
      }
    }
    previous = current;
  }
}

void Sharpen(Bytes& img, const Layout& g) {
  for (int y = 0; y < g.rows; ++y) {
    for (int p = 1; p + 1 < g.pixels; ++p) {
      for (int ch = 0; ch < g.channels; ++ch) {
        const int v = img[g.At(y, p, ch)];
        const int s = std::clamp(3 * v - img[g.At(y, p - 1, ch)] - img[g.At(y, p + 1, ch)], 0, 255);
        if (std::abs(s - v) > 25) break;
        img[g.At(y, p, ch)] = static_cast<std::uint8_t>(s);
      }
    }
  }
}

std::uint8_t EmbossOf(int a, int b) {
  const int d = a - b;
  return d >= 128 ? 255 : (d < -128 ? 0 : static_cast<std::uint8_t>(d + 128));
}

void Emboss(Bytes& img, const Layout& g) {
  if (g.rows == 1) {
    for (int p = 0; p < g.pixels; ++p) {
      for (int ch = 0; ch < g.channels; ++ch) {
        img[g.At(0, p, ch)] = p + 1 < g.pixels
                                  ? EmbossOf(img[g.At(0, p, ch)], img[g.At(0, p + 1, ch)])
                                  : 128;
      }
    }
    return;
  }
  for (int y = 0; y < g.rows; ++y) {
    for (int p = 0; p < g.pixels; ++p) {
      for (int ch = 0; ch < g.channels; ++ch) {
        img[g.At(y, p, ch)] = y + 1 < g.rows
                                  ? EmbossOf(img[g.At(y, p, ch)], img[g.At(y + 1, p, ch)])
                                  : img[g.At(y - 1, p, ch)];
      }
    }
  }
}

void Flip(Bytes& img, const Layout& g, bool bits) {
  for (int y = 0; y < g.rows; ++y) {
    Bytes row(static_cast<std::size_t>(g.pixels * g.channels));
    for (int p = 0; p < g.pixels; ++p) {
      for (int ch = 0; ch < g.channels; ++ch) {
        std::uint8_t v = img[g.At(y, g.pixels - 1 - p, ch)];
        if (bits) {
          std::uint8_t r = 0;
          for (int b = 0; b < 8; ++b) r = static_cast<std::uint8_t>(r | (((v >> b) & 1) << (7 - b)));
          v = r;
        }
        row[static_cast<std::size_t>(p * g.channels + ch)] = v;
      }
    }
    std::copy(row.begin(), row.end(), img.begin() + static_cast<std::ptrdiff_t>(g.At(y, 0, 0)));
  }
}

}  // namespace

void Apply(int number, Bytes& image, int mode, int rows, int rowLength) {
  number = static_cast<std::int16_t>(number);
  mode = static_cast<std::int16_t>(mode);
  if (rows <= 0 || rowLength <= 0) return;
  if (number == 1) {
    for (auto& b : image) b = static_cast<std::uint8_t>(255 - b);
    return;
  }
  if (mode < 0 || mode > 2) return;
  const int channels = mode == 2 ? 3 : 1;
  const Layout g{rows, rowLength, channels, rowLength / channels};
  if (g.pixels == 0) return;
  if (number == 2) {
    Flip(image, g, mode == 0);
    return;
  }
  if (mode == 0) return;
  switch (number) {
    case 3: KernelPass(image, g, 5, 3, 1, false); break;
    case 4: KernelPass(image, g, 5, 3, 1, false); KernelPass(image, g, 5, 3, 1, false); break;
    case 5: Sharpen(image, g); break;
    case 6: Sharpen(image, g); Sharpen(image, g); break;
    case 7: Emboss(image, g); break;
    case 8: KernelPass(image, g, -5, -1, 29, false); break;
    case 16: KernelPass(image, g, 0, 1, 3, false); break;
    case 17: KernelPass(image, g, 1, 1, 1, false); break;
    case 18: KernelPass(image, g, 0, 1, 3, false); KernelPass(image, g, 1, 1, 1, false); break;
    case 19:
      KernelPass(image, g, 1, 0, 3, false);
      MedianPass(image, g);
      KernelPass(image, g, 0, -0.25f, 1, true);
      break;
    case 20: KernelPass(image, g, 1, 1, 1, false); KernelPass(image, g, -1, -1, 17, false); break;
    default: break;
  }
}

}  // namespace px::filter::reference
