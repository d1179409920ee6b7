// Handing the processed page to the host: its description, the whole page as
// a DIB, or blocks of rows.
#include <algorithm>
#include <cstring>

#include "platform/global_memory.h"
#include "quorra/scan_state.h"

namespace quorra {

namespace {

bool Reduced(const ScanState& s) {
  return s.reduceDepth &&
         (s.pageMode.pixelType == PX_PIXEL_COLOR48 || s.pageMode.pixelType == PX_PIXEL_GRAY16);
}

/// Gray bytes to bits, most significant first; set above 128.
void PackBits(const unsigned char* gray, int width, unsigned char* out) {
  const int bytes = (width + 7) / 8;
  std::memset(out, 0, static_cast<size_t>(bytes));
  for (int x = 0; x < width; ++x)
    if (gray[x] > 128) out[x >> 3] |= static_cast<unsigned char>(0x80u >> (x & 7));
}

int PelsPerMeter(int dpi) { return static_cast<int>(int64_t{dpi} * 10000 / 254); }

}  // namespace

uint16_t FillImageInfo(ImageInfo* info) {
  ScanState& s = State();
  if (!s.pageReady) return QR_FAILURE;
  if (!info) {
    EndPage();
    return QR_FAILURE;
  }
  const bool reduced = Reduced(s);
  const int bitsPerPixel = reduced ? s.pageMode.bitsPerPixel / 2 : s.pageMode.bitsPerPixel;
  ImageInfo out{};
  out.Width = s.pageWidth;
  out.Height = s.pageHeight;
  out.Resolution = static_cast<int16_t>(s.pageResolution);
  out.SamplesPerPixel = static_cast<int16_t>(s.pageMode.samples);
  for (int i = 0; i < s.pageMode.samples && i < 8; ++i)
    out.BitsPerSample[i] = static_cast<int16_t>(bitsPerPixel / s.pageMode.samples);
  out.BitsPerPixel = static_cast<int16_t>(bitsPerPixel);
  out.PixelType = s.pageMode.pixelType;
  *info = out;
  if (s.progress) SetProgress(0, PX_STAGE_HANDOUT);
  return QR_SUCCESS;
}

uint16_t BuildDib(void** handle) {
  ScanState& s = State();
  if (!s.pageReady) return QR_FAILURE;
  if (!handle || s.pageMode.pixelType > 4) {
    EndPage();
    return QR_FAILURE;
  }
  const bool reduced = Reduced(s);
  const int bitCount = reduced ? s.pageMode.bitsPerPixel / 2 : s.pageMode.bitsPerPixel;
  const int width = s.pageWidth;
  const int height = s.pageHeight;
  const uint64_t rowBytes = (uint64_t(bitCount) * uint64_t(width) + 7) / 8;
  const uint64_t stride = (rowBytes + 3) / 4 * 4;
  const int paletteSize = s.pageMode.pixelType == PX_PIXEL_BW ? 2
                          : (s.pageMode.pixelType == PX_PIXEL_GRAY8 ||
                             s.pageMode.pixelType == PX_PIXEL_GRAY16)
                              ? 256
                              : 0;
  const uint64_t imageSize = stride * uint64_t(height);
  const uint64_t total = sizeof(BitmapInfoHeader) + sizeof(RgbQuad) * paletteSize + imageSize;
  px::HGLOBAL block = imageSize <= 0xFFFFFFFFull ? px::GlobalAlloc(px::GHND, total) : nullptr;
  unsigned char* base = static_cast<unsigned char*>(px::GlobalLock(block));
  if (!base) {
    px::GlobalFree(block);
    EndPage();
    return QR_FAILURE;
  }

  BitmapInfoHeader header{};
  header.biSize = sizeof(BitmapInfoHeader);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = static_cast<uint16_t>(bitCount);
  header.biSizeImage = static_cast<uint32_t>(imageSize);
  header.biXPelsPerMeter = PelsPerMeter(s.pageResolution);
  header.biYPelsPerMeter = PelsPerMeter(s.pageResolution);
  header.biClrUsed = static_cast<uint32_t>(paletteSize);
  std::memcpy(base, &header, sizeof header);

  RgbQuad* palette = reinterpret_cast<RgbQuad*>(base + sizeof header);
  if (paletteSize == 2) {
    palette[1] = RgbQuad{255, 255, 255, 0};
  } else {
    for (int i = 0; i < paletteSize; ++i) {
      const auto v = static_cast<uint8_t>(i);
      palette[i] = RgbQuad{v, v, v, 0};
    }
  }

  unsigned char* bits = base + sizeof header + sizeof(RgbQuad) * paletteSize;
  for (int row = 0; row < height; ++row) {
    const unsigned char* src = s.current + uint64_t(row) * s.sourceRowBytes;
    // Bottom-up: the page's top row is the DIB's last.
    unsigned char* dst = bits + uint64_t(height - 1 - row) * stride;
    switch (s.pageMode.pixelType) {
      case PX_PIXEL_COLOR24:
        for (int x = 0; x < width; ++x) {
          dst[3 * x] = src[3 * x + 2];
          dst[3 * x + 1] = src[3 * x + 1];
          dst[3 * x + 2] = src[3 * x];
        }
        break;
      case PX_PIXEL_COLOR48:
        for (int x = 0; x < width; ++x) {
          const unsigned char* p = src + 6 * uint64_t(x);
          if (reduced) {
            dst[3 * x] = p[5];
            dst[3 * x + 1] = p[3];
            dst[3 * x + 2] = p[1];
          } else {
            unsigned char* q = dst + 6 * uint64_t(x);
            q[0] = p[4], q[1] = p[5], q[2] = p[2], q[3] = p[3], q[4] = p[0], q[5] = p[1];
          }
        }
        break;
      case PX_PIXEL_GRAY16:
        if (reduced) {
          for (int x = 0; x < width; ++x) dst[x] = src[2 * x + 1];
        } else {
          std::memcpy(dst, src, rowBytes);
        }
        break;
      case PX_PIXEL_BW:
        PackBits(src, width, dst);
        break;
      default:
        std::memcpy(dst, src, rowBytes);
        break;
    }
    if (s.progress &&
        SetProgress(static_cast<int>(int64_t{row} * 100 / height), PX_STAGE_HANDOUT) == 0) {
      px::GlobalFree(block);
      EndPage();
      return QR_CANCELLED;
    }
  }
  px::GlobalUnlock(block);
  EndPage();
  *handle = block;
  return QR_FINISHED;
}

uint16_t HandOutBlock(void* destination, uint32_t size, MemBlockInfo* block) {
  ScanState& s = State();
  if (!s.pageReady) return QR_FAILURE;
  // Reduced pages are offered as a whole DIB only.
  if (Reduced(s) || !destination || !block || size < s.bytesPerRow || s.bytesPerRow == 0) {
    EndPage();
    return QR_FAILURE;
  }
  const uint32_t height = static_cast<uint32_t>(s.pageHeight);
  if (s.rowsHandedOut >= height) {
    EndPage();
    return QR_FINISHED;
  }
  const uint64_t rows = std::min<uint64_t>(size / s.bytesPerRow, height - s.rowsHandedOut);
  unsigned char* out = static_cast<unsigned char*>(destination);
  for (uint64_t i = 0; i < rows; ++i) {
    const unsigned char* src = s.current + (s.rowsHandedOut + i) * s.sourceRowBytes;
    unsigned char* dst = out + i * s.bytesPerRow;
    if (s.pageMode.blackAndWhite)
      PackBits(src, s.pageWidth, dst);
    else
      std::memcpy(dst, src, s.bytesPerRow);
  }
  block->BytesPerRow = static_cast<uint32_t>(s.bytesPerRow);
  block->Columns = static_cast<uint32_t>(s.pageWidth);
  block->Rows = static_cast<uint32_t>(rows);
  block->XOffset = 0;
  block->YOffset = s.rowsHandedOut;
  s.rowsHandedOut += static_cast<uint32_t>(rows);

  if (s.progress &&
      SetProgress(static_cast<int>(uint64_t{s.rowsHandedOut} * 100 / height), PX_STAGE_HANDOUT) ==
          0) {
    EndPage();
    return QR_CANCELLED;
  }
  if (s.rowsHandedOut >= height) {
    EndPage();
    return QR_FINISHED;
  }
  return QR_SUCCESS;
}

}  // namespace quorra
