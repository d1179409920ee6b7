#include "pellix/bmp_codec.h"

#include <cstring>
#include <new>

#include "pellix/image_container.h"

namespace pellix {
namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBiAlphaBitfields = 6;
// 96 dots per inch in the header's dots per metre, rounded.
constexpr int32_t kPelsPerMeter96 = 3780;

uint16_t U16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void Put16(std::string& s, size_t at, uint16_t v) {
  s[at] = char(v & 0xFF);
  s[at + 1] = char(v >> 8);
}
void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
}

// One colour channel described by a bit mask, scaled to 0..255.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;
  void Set(uint32_t m) {
    mask = m;
    shift = 0;
    bits = 0;
    if (m == 0) return;
    while (!(m & 1u)) {
      m >>= 1;
      ++shift;
    }
    while (m & 1u) {
      m >>= 1;
      ++bits;
    }
  }
  uint8_t Get(uint32_t v) const {
    if (bits == 0) return 0;
    const uint32_t raw = (v & mask) >> shift;
    const uint32_t max = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
    return static_cast<uint8_t>((uint64_t(raw) * 255u + max / 2) / max);
  }
};

struct Rgb {
  uint8_t b, g, r;
};

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, uint64_t maxImageBytes, ImageContainer& out) {
  out.Clear();
  if (!data || size < kFileHeaderSize + kCoreHeaderSize) return false;
  if (data[0] != 'B' || data[1] != 'M') return false;
  const uint32_t offBits = U32(data + 10);
  const uint32_t headerSize = U32(data + 14);
  if (headerSize < kCoreHeaderSize || uint64_t(kFileHeaderSize) + headerSize > size) return false;
  const uint8_t* h = data + kFileHeaderSize;

  int64_t width = 0, height = 0;
  uint32_t bits = 0, compression = kBiRgb, colorsUsed = 0;
  uint32_t paletteEntrySize = 4;
  if (headerSize == kCoreHeaderSize) {
    width = U16(h + 4);
    height = U16(h + 6);
    if (U16(h + 8) != 1) return false;
    bits = U16(h + 10);
    paletteEntrySize = 3;
  } else {
    if (headerSize < kInfoHeaderSize) return false;
    width = int32_t(U32(h + 4));
    height = int32_t(U32(h + 8));
    if (U16(h + 12) != 1) return false;
    bits = U16(h + 14);
    compression = U32(h + 16);
    colorsUsed = U32(h + 32);
  }
  const bool topDown = height < 0;
  if (topDown) height = -height;
  if (width < 1 || height < 1 || width > ImageContainer::kMaxSide ||
      height > ImageContainer::kMaxSide)
    return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;

  // Bit fields: 16 and 32 bits per pixel only; the masks follow a 40-byte
  // header or sit inside the larger ones.
  Channel red, green, blue;
  if (compression == kBiBitfields || compression == kBiAlphaBitfields) {
    if (bits != 16 && bits != 32) return false;
    const uint8_t* masks = h + kInfoHeaderSize;
    if (uint64_t(kFileHeaderSize) + kInfoHeaderSize + 12 > size) return false;
    red.Set(U32(masks));
    green.Set(U32(masks + 4));
    blue.Set(U32(masks + 8));
  } else if (compression == kBiRgb) {
    if (bits == 16) {
      red.Set(0x7C00);
      green.Set(0x03E0);
      blue.Set(0x001F);
    } else {
      red.Set(0xFF0000);
      green.Set(0xFF00);
      blue.Set(0xFF);
    }
  } else {
    return false;  // RLE, embedded JPEG or PNG
  }

  // Palette.
  Rgb palette[256];
  uint32_t paletteSize = 0;
  bool grayPalette = true;
  if (bits <= 8) {
    const uint32_t maxColors = 1u << bits;
    paletteSize = (colorsUsed == 0 || colorsUsed > maxColors) ? maxColors : colorsUsed;
    uint64_t at = uint64_t(kFileHeaderSize) + headerSize;
    if (compression == kBiBitfields && headerSize == kInfoHeaderSize) at += 12;
    if (at + uint64_t(paletteSize) * paletteEntrySize > size) return false;
    for (uint32_t i = 0; i < paletteSize; ++i) {
      const uint8_t* e = data + at + uint64_t(i) * paletteEntrySize;
      palette[i] = Rgb{e[0], e[1], e[2]};
      if (e[0] != e[1] || e[1] != e[2]) grayPalette = false;
    }
    // Indexes beyond a short palette show its first colour.
    for (uint32_t i = paletteSize; i < 256; ++i) palette[i] = palette[0];
  }

  const int outBits = (bits <= 8 && grayPalette) ? 8 : 24;
  const size_t outStride = ImageContainer::CheckedStride(int(width), int(height), outBits,
                                                         maxImageBytes);
  if (outStride == 0) return false;
  const uint64_t srcStride = (uint64_t(width) * bits + 31) / 32 * 4;
  if (offBits > size || srcStride * uint64_t(height) > size - offBits) return false;

  std::unique_ptr<uint8_t[]> pixels = ImageContainer::Allocate(outStride * size_t(height));
  if (!pixels) return false;
  std::memset(pixels.get(), 0, outStride * size_t(height));
  const int w = int(width);
  for (int64_t row = 0; row < height; ++row) {
    // The output is bottom-up: storage row 0 is the bottom row.
    const int64_t storageRow = topDown ? height - 1 - row : row;
    const uint8_t* src = data + offBits + uint64_t(row) * srcStride;
    uint8_t* dst = pixels.get() + size_t(storageRow) * outStride;
    if (bits <= 8) {
      const uint32_t mask = (1u << bits) - 1u;
      for (int x = 0; x < w; ++x) {
        const uint64_t bit = uint64_t(x) * bits;
        const uint32_t index = (src[bit / 8] >> (8 - bits - (bit % 8))) & mask;
        const Rgb& c = palette[index];
        if (outBits == 8) {
          dst[x] = c.r;
        } else {
          dst[3 * x] = c.b;
          dst[3 * x + 1] = c.g;
          dst[3 * x + 2] = c.r;
        }
      }
    } else if (bits == 24) {
      std::memcpy(dst, src, size_t(w) * 3);
    } else {
      const int bytes = int(bits / 8);
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = src + size_t(x) * size_t(bytes);
        const uint32_t v = bytes == 2 ? U16(p) : U32(p);
        dst[3 * x] = blue.Get(v);
        dst[3 * x + 1] = green.Get(v);
        dst[3 * x + 2] = red.Get(v);
      }
    }
  }
  out.Adopt(std::move(pixels), w, int(height), outBits, outStride);
  return true;
}

bool EncodeBmp(const ImageContainer& image, std::string& out) {
  out.clear();
  if (image.IsEmpty()) return false;
  const int bits = image.BitsPerPixel();
  const uint32_t paletteBytes = bits == 8 ? 256 * 4 : 0;
  const uint64_t pixelBytes = uint64_t(image.Stride()) * uint64_t(image.Height());
  const uint64_t offBits = kFileHeaderSize + kInfoHeaderSize + paletteBytes;
  const uint64_t total = offBits + pixelBytes;
  if (total > 0xFFFFFFFFu) return false;
  try {
    out.assign(size_t(offBits), '\0');
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, uint32_t(total));
    Put32(out, 10, uint32_t(offBits));
    Put32(out, 14, kInfoHeaderSize);
    Put32(out, 18, uint32_t(image.Width()));
    Put32(out, 22, uint32_t(image.Height()));  // positive: bottom-up
    Put16(out, 26, 1);
    Put16(out, 28, uint16_t(bits));
    Put32(out, 30, kBiRgb);
    Put32(out, 34, uint32_t(pixelBytes));
    Put32(out, 38, uint32_t(kPelsPerMeter96));
    Put32(out, 42, uint32_t(kPelsPerMeter96));
    Put32(out, 46, bits == 8 ? 256 : 0);
    Put32(out, 50, 0);
    for (uint32_t i = 0; i < paletteBytes / 4; ++i) {
      const size_t at = kFileHeaderSize + kInfoHeaderSize + size_t(i) * 4;
      out[at] = out[at + 1] = out[at + 2] = char(i);
    }
    // The container already holds the rows bottom-up with four-byte padding,
    // but its padding bytes are whatever the image was made with (white for
    // a new one); the file gets zeros there, as other writers produce.
    out.append(reinterpret_cast<const char*>(image.Row(image.Height() - 1)), size_t(pixelBytes));
    const size_t rowBytes = size_t(image.Width()) * size_t(bits / 8);
    const size_t padding = image.Stride() - rowBytes;
    if (padding > 0) {
      for (size_t at = size_t(offBits) + rowBytes; at < out.size(); at += image.Stride())
        std::memset(out.data() + at, 0, padding);
    }
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
  return true;
}

}  // namespace pellix
