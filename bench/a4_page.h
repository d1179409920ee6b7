// A synthetic A4 page at 300 dpi (2480 x 3508, 8-bit colour, R, G, B): a
// paper-white background with a soft colour wash, dark text-like strokes and
// a printed halftone photo area with a little sensor noise. Deterministic, so
// every run and every program measures the same bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace px::bench {

inline constexpr int kPageWidth = 2480;
inline constexpr int kPageHeight = 3508;

inline std::vector<std::uint8_t> MakeA4ColourPage() {
  const int w = kPageWidth;
  const int h = kPageHeight;
  std::vector<std::uint8_t> page(static_cast<std::size_t>(w) * h * 3);
  std::uint32_t noise = 12345u;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int jitter = static_cast<int>((noise >> 24) & 7) - 3;
      int r = 236 - x / 160, g = 234 - y / 200, b = 228 + (x + y) / 600;
      const bool photo = x > 300 && x < 2180 && y > 1800 && y < 3000;
      if (photo) {
        // A 150 lpi-like dot screen over a smooth picture.
        const int tone = (x * 3 + y * 2) % 256;
        const bool dot = ((x / 4) + (y / 4)) % 2 == 0 && ((x % 4) + (y % 4)) < (tone >> 5);
        r = dot ? 40 + tone / 4 : 200 - tone / 3;
        g = dot ? 30 + tone / 5 : 180 - tone / 4;
        b = dot ? 60 : 160 + tone / 8;
      } else if (y > 200 && y < 1700 && (y % 48) < 30 && x > 250 && x < 2230) {
        // Lines of "text": short dark strokes.
        if (((x * 7 + (y / 48) * 13) % 37) < 5 && (y % 48) > 4) r = g = b = 25;
      }
      std::uint8_t* p = &page[(static_cast<std::size_t>(y) * w + x) * 3];
      auto clamp = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
      p[0] = clamp(r + jitter);
      p[1] = clamp(g + jitter);
      p[2] = clamp(b + jitter);
    }
  }
  return page;
}

}  // namespace px::bench
