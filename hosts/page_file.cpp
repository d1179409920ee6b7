#include "hosts/page_file.h"

#include <tiffio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "interfaces/records.h"
#include "platform/ini_file.h"

namespace quorra_scan {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

int DpiFromPelsPerMeter(int32_t ppm) { return static_cast<int>((int64_t{ppm} * 254 + 5000) / 10000); }

}  // namespace

bool PageFromDib(const uint8_t* dib, size_t size, Page& page, std::string& error) {
  BitmapInfoHeader h{};
  if (!dib || size < sizeof h) {
    error = "the image block is too small for a bitmap header";
    return false;
  }
  std::memcpy(&h, dib, sizeof h);
  const int bits = h.biBitCount;
  if (h.biSize != 40 || h.biWidth <= 0 || h.biHeight <= 0 || h.biCompression != 0 ||
      (bits != 1 && bits != 8 && bits != 16 && bits != 24 && bits != 48)) {
    error = "the image block holds a bitmap this program does not know";
    return false;
  }
  page.width = h.biWidth;
  page.height = h.biHeight;
  page.bitsPerPixel = bits;
  page.dpi = DpiFromPelsPerMeter(h.biXPelsPerMeter);
  const uint64_t rowBytes = page.RowBytes();
  const uint64_t stride = (rowBytes + 3) / 4 * 4;
  const uint64_t offset = 40 + uint64_t{h.biClrUsed} * 4;
  if (h.biClrUsed > 256 || offset + stride * uint64_t(page.height) > size) {
    error = "the image block is shorter than its header says";
    return false;
  }
  const RgbQuad* palette = reinterpret_cast<const RgbQuad*>(dib + 40);
  // A 1-bit page whose first palette entry is white stores white as 0.
  const bool invertBits = bits == 1 && h.biClrUsed >= 1 && palette[0].rgbRed > 127;
  page.rows.resize(rowBytes * uint64_t(page.height));
  for (int y = 0; y < page.height; ++y) {
    const uint8_t* src = dib + offset + uint64_t(page.height - 1 - y) * stride;
    uint8_t* dst = page.rows.data() + uint64_t(y) * rowBytes;
    if (bits == 24) {
      for (int x = 0; x < page.width; ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
      }
    } else if (bits == 48) {
      for (int x = 0; x < page.width; ++x) {
        const uint8_t* p = src + 6 * uint64_t(x);
        uint8_t* q = dst + 6 * uint64_t(x);
        q[0] = p[4], q[1] = p[5], q[2] = p[2], q[3] = p[3], q[4] = p[0], q[5] = p[1];
      }
    } else {
      std::memcpy(dst, src, rowBytes);
      if (invertBits)
        for (uint64_t i = 0; i < rowBytes; ++i) dst[i] = static_cast<uint8_t>(~dst[i]);
    }
  }
  return true;
}

const char* ExtensionFor(const Page& page) {
  return (page.bitsPerPixel == 16 || page.bitsPerPixel == 48) ? ".tif" : ".bmp";
}

std::vector<uint8_t> EncodeBmp(const Page& page) {
  const uint64_t rowBytes = page.RowBytes();
  const uint64_t stride = (rowBytes + 3) / 4 * 4;
  const uint32_t colors = page.bitsPerPixel == 24 ? 0 : (page.bitsPerPixel == 1 ? 2 : 256);
  const uint32_t offset = 14 + 40 + 4 * colors;
  const uint64_t imageSize = stride * uint64_t(page.height);
  std::vector<uint8_t> out;
  out.reserve(offset + imageSize);
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<uint32_t>(offset + imageSize));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(page.width));
  Put32(out, static_cast<uint32_t>(page.height));
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(page.bitsPerPixel));
  Put32(out, 0);
  Put32(out, static_cast<uint32_t>(imageSize));
  const uint32_t ppm = static_cast<uint32_t>(int64_t{page.dpi} * 10000 / 254);
  Put32(out, ppm);
  Put32(out, ppm);
  Put32(out, colors);
  Put32(out, 0);
  for (uint32_t i = 0; i < colors; ++i) {
    const uint8_t v = colors == 2 ? static_cast<uint8_t>(i * 255) : static_cast<uint8_t>(i);
    out.insert(out.end(), {v, v, v, 0});
  }
  for (int y = page.height - 1; y >= 0; --y) {
    const uint8_t* src = page.rows.data() + uint64_t(y) * rowBytes;
    const size_t at = out.size();
    out.resize(at + stride, 0);
    uint8_t* dst = out.data() + at;
    if (page.bitsPerPixel == 24) {
      for (int x = 0; x < page.width; ++x) {
        dst[3 * x] = src[3 * x + 2];
        dst[3 * x + 1] = src[3 * x + 1];
        dst[3 * x + 2] = src[3 * x];
      }
    } else {
      std::memcpy(dst, src, rowBytes);
    }
  }
  return out;
}

namespace {

bool WriteTiff(const Page& page, const std::string& path, std::string& error) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) {
    error = "cannot create " + path;
    return false;
  }
  const int samples = page.bitsPerPixel == 48 ? 3 : 1;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(page.width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(page.height));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
  TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(page.dpi));
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(page.dpi));
  const uint64_t rowBytes = page.RowBytes();
  std::vector<uint16_t> row(rowBytes / 2);
  bool ok = true;
  for (int y = 0; y < page.height && ok; ++y) {
    // Our samples are little-endian; libtiff takes native 16-bit words.
    const uint8_t* src = page.rows.data() + uint64_t(y) * rowBytes;
    for (size_t i = 0; i < row.size(); ++i) row[i] = uint16_t(src[2 * i] | (src[2 * i + 1] << 8));
    ok = TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) == 1;
  }
  TIFFClose(tif);
  if (!ok) error = "cannot write " + path;
  return ok;
}

}  // namespace

bool WritePage(const Page& page, const std::string& path, std::string& error) {
  if (page.bitsPerPixel == 16 || page.bitsPerPixel == 48) {
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
      error = "cannot create a file next to " + path + ": " + std::strerror(errno);
      return false;
    }
    fchmod(fd, 0644);
    close(fd);
    if (!WriteTiff(page, temp, error) || std::rename(temp.c_str(), path.c_str()) != 0) {
      if (error.empty()) error = "cannot rename the file to " + path + ": " + std::strerror(errno);
      std::remove(temp.c_str());
      return false;
    }
    return true;
  }
  const std::vector<uint8_t> bytes = EncodeBmp(page);
  if (!px::WriteFileAtomically(
          path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()))) {
    error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace quorra_scan
