// JPEG reading and writing for ImageContainer over libjpeg(-turbo).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ImageContainer;

namespace pellix {

/// The container's JPEG quality; Pellix changes it nowhere.
constexpr int kJpegQuality = 90;

/// Decodes gray (8-bit image), YCbCr/RGB and CMYK/YCCK (24-bit image)
/// JPEGs. Any libjpeg error or warning (corrupt or truncated data) fails the
/// load; sizes beyond the limits are refused before the pixels are allocated.
bool DecodeJpeg(const uint8_t* data, size_t size, uint64_t maxImageBytes, ImageContainer& out);

/// Baseline JPEG at `quality` with a JFIF header recording 96 dpi.
bool EncodeJpeg(const ImageContainer& image, int quality, std::string& out);

}  // namespace pellix
