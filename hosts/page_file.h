// One scanned page as the host received it, and how it is written to disk:
// 1-, 8- and 24-bit pages as BMP, 16-bit samples as TIFF. Files are written
// through a temporary file in the same folder and renamed into place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorra_scan {

struct Page {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;  // 1, 8, 16, 24 or 48
  int dpi = 0;
  /// Rows top first, no padding; colour as R, G, B; 16-bit samples
  /// little-endian; 1 bit per pixel most significant first, 1 = white.
  std::vector<uint8_t> rows;
  uint64_t RowBytes() const { return (uint64_t(bitsPerPixel) * uint64_t(width) + 7) / 8; }
};

/// Converts a DIB (BITMAPINFOHEADER, palette, bottom-up padded B, G, R rows)
/// into a Page. False with `error` set when the block is not a DIB we know.
bool PageFromDib(const uint8_t* dib, size_t size, Page& page, std::string& error);

/// ".bmp" for 1, 8 and 24 bits, ".tif" for 16 and 48.
const char* ExtensionFor(const Page& page);

/// Writes the page; false with `error` set on failure (the target is then
/// untouched).
bool WritePage(const Page& page, const std::string& path, std::string& error);

/// The BMP file bytes of a 1-, 8- or 24-bit page.
std::vector<uint8_t> EncodeBmp(const Page& page);

}  // namespace quorra_scan
