// The host's page files: DIB decoding, BMP encoding and 16-bit TIFF output,
// read back with libtiff.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "hosts/page_file.h"
#include "interfaces/records.h"

namespace quorra_scan {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes MakeDib(int width, int height, int bits, const std::vector<RgbQuad>& palette,
              const std::vector<Bytes>& bottomUpRows) {
  BitmapInfoHeader h{};
  h.biSize = 40;
  h.biWidth = width;
  h.biHeight = height;
  h.biPlanes = 1;
  h.biBitCount = static_cast<uint16_t>(bits);
  h.biXPelsPerMeter = h.biYPelsPerMeter = 11811;
  h.biClrUsed = static_cast<uint32_t>(palette.size());
  const size_t stride = ((size_t(bits) * width + 7) / 8 + 3) / 4 * 4;
  h.biSizeImage = static_cast<uint32_t>(stride * height);
  Bytes dib(40 + 4 * palette.size() + stride * height, 0);
  std::memcpy(dib.data(), &h, 40);
  if (!palette.empty()) std::memcpy(dib.data() + 40, palette.data(), 4 * palette.size());
  for (int y = 0; y < height; ++y)
    std::memcpy(dib.data() + 40 + 4 * palette.size() + y * stride, bottomUpRows[y].data(),
                bottomUpRows[y].size());
  return dib;
}

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          ("quorra-scan-test-" + std::to_string(getpid()) + "-" + name))
      .string();
}

TEST(PageFile, ColourDibRoundTripsThroughBmp) {
  // Two rows of two pixels, stored bottom-up as B, G, R with padding.
  const Bytes dib = MakeDib(2, 2, 24, {}, {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}});
  Page page;
  std::string error;
  ASSERT_TRUE(PageFromDib(dib.data(), dib.size(), page, error)) << error;
  EXPECT_EQ(page.dpi, 300);
  EXPECT_EQ(page.rows, (Bytes{9, 8, 7, 12, 11, 10, 3, 2, 1, 6, 5, 4}));
  EXPECT_STREQ(ExtensionFor(page), ".bmp");

  const Bytes bmp = EncodeBmp(page);
  ASSERT_EQ(bmp.size(), 14 + dib.size());
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  uint32_t fileSize = 0, offset = 0;
  std::memcpy(&fileSize, bmp.data() + 2, 4);
  std::memcpy(&offset, bmp.data() + 10, 4);
  EXPECT_EQ(fileSize, bmp.size());
  EXPECT_EQ(offset, 54u);
  // The file's DIB is the module's DIB.
  EXPECT_EQ(Bytes(bmp.begin() + 14, bmp.end()), dib);
}

TEST(PageFile, OneBitAndGrayKeepTheirPalettes) {
  const std::vector<RgbQuad> bw = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  const Bytes dib = MakeDib(10, 1, 1, bw, {{0x56, 0x80}});
  Page page;
  std::string error;
  ASSERT_TRUE(PageFromDib(dib.data(), dib.size(), page, error));
  EXPECT_EQ(page.rows, (Bytes{0x56, 0x80}));
  const Bytes bits = EncodeBmp(page);
  EXPECT_EQ(Bytes(bits.begin() + 14, bits.end()), dib);

  std::vector<RgbQuad> ramp(256);
  for (int i = 0; i < 256; ++i) ramp[i] = {uint8_t(i), uint8_t(i), uint8_t(i), 0};
  const Bytes gray = MakeDib(3, 2, 8, ramp, {{1, 2, 3}, {4, 5, 6}});
  ASSERT_TRUE(PageFromDib(gray.data(), gray.size(), page, error));
  EXPECT_EQ(page.rows, (Bytes{4, 5, 6, 1, 2, 3}));
  const Bytes bmp = EncodeBmp(page);
  EXPECT_EQ(Bytes(bmp.begin() + 14, bmp.end()), gray);
}

TEST(PageFile, BrokenDibsAreRefused) {
  Page page;
  std::string error;
  Bytes dib = MakeDib(4, 4, 24, {}, {Bytes(12), Bytes(12), Bytes(12), Bytes(12)});
  EXPECT_FALSE(PageFromDib(dib.data(), 20, page, error));
  EXPECT_FALSE(PageFromDib(dib.data(), dib.size() - 1, page, error));
  dib[14] = 32;  // bit count
  EXPECT_FALSE(PageFromDib(dib.data(), dib.size(), page, error));
  EXPECT_FALSE(error.empty());
}

TEST(PageFile, SixteenBitPagesBecomeTiff) {
  Page page;
  page.width = 2;
  page.height = 2;
  page.bitsPerPixel = 48;
  page.dpi = 200;
  for (int i = 0; i < 24; ++i) page.rows.push_back(static_cast<uint8_t>(i * 10));
  EXPECT_STREQ(ExtensionFor(page), ".tif");
  const std::string path = TempPath("deep.tif");
  std::string error;
  ASSERT_TRUE(WritePage(page, path, error)) << error;

  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  uint32_t w = 0, h = 0;
  uint16_t bits = 0, samples = 0, photometric = 0;
  float xres = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres);
  EXPECT_EQ(w, 2u);
  EXPECT_EQ(h, 2u);
  EXPECT_EQ(bits, 16);
  EXPECT_EQ(samples, 3);
  EXPECT_EQ(photometric, PHOTOMETRIC_RGB);
  EXPECT_FLOAT_EQ(xres, 200.0f);
  std::vector<uint16_t> row(6);
  // Compressed strips are read in order.
  ASSERT_EQ(TIFFReadScanline(tif, row.data(), 0, 0), 1);
  EXPECT_EQ(row[0], 0 | (10 << 8));
  ASSERT_EQ(TIFFReadScanline(tif, row.data(), 1, 0), 1);
  EXPECT_EQ(row[0], 120 | (130 << 8));
  EXPECT_EQ(row[5], 220 | (230 << 8));
  TIFFClose(tif);
  std::filesystem::remove(path);
}

TEST(PageFile, FailedWriteLeavesNoFile) {
  Page page;
  page.width = page.height = 1;
  page.bitsPerPixel = 16;
  page.rows = {1, 2};
  std::string error;
  EXPECT_FALSE(WritePage(page, "/nonexistent-folder/x.tif", error));
  EXPECT_FALSE(error.empty());
  page.bitsPerPixel = 8;
  page.rows = {1};
  EXPECT_FALSE(WritePage(page, "/nonexistent-folder/x.bmp", error));
}

}  // namespace
}  // namespace quorra_scan
