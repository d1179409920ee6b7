// Our own BMP reader and writer for ImageContainer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ImageContainer;

namespace pellix {

/// Decodes an uncompressed Windows or OS/2 bitmap (1, 4, 8, 16, 24 or 32 bits
/// per pixel, bit fields for 16 and 32). A palette of grays gives an 8-bit
/// image, any other depth or palette a 24-bit one. Truncated data, RLE and
/// images whose pixel buffer would exceed `maxImageBytes` are refused.
bool DecodeBmp(const uint8_t* data, size_t size, uint64_t maxImageBytes, ImageContainer& out);

/// 24-bit colour, or 8-bit with a 256-entry gray palette; 96 dpi recorded.
bool EncodeBmp(const ImageContainer& image, std::string& out);

}  // namespace pellix
