#include "pellix/image_container.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "pellix/bmp_codec.h"
#include "pellix/image_container_test_support.h"
#include "pellix/jpeg_codec.h"
#include "pellix/tiff_codec.h"

// The codecs take their pixel and line buffers with new (std::nothrow)[];
// recording the largest request shows whether a declared size was checked
// before memory was asked for (an unchecked request may well succeed, as
// memory is overcommitted). All array forms go to malloc and free together.
namespace {
std::atomic<size_t> largestArrayRequest{0};
}  // namespace

void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  size_t seen = largestArrayRequest.load();
  while (n > seen && !largestArrayRequest.compare_exchange_weak(seen, n)) {
  }
  return std::malloc(n == 0 ? 1 : n);
}
void* operator new[](std::size_t n) {
  if (void* p = operator new[](n, std::nothrow)) return p;
  throw std::bad_alloc();
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

using Format = ImageContainer::Format;
using pellix_test::CountDifferences;
using pellix_test::MakePattern;
using pellix_test::MakeSmooth;
using pellix_test::MaxAbsDifference;
using pellix_test::ReadFile;
using pellix_test::ScratchFolder;
using pellix_test::WriteFile;

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(ImageContainerFormat, FromPathUsesLastThreeCharactersIgnoringCase) {
  EXPECT_EQ(ImageContainer::FormatFromPath("/a/ScanImage00001.bmp"), Format::Bmp);
  EXPECT_EQ(ImageContainer::FormatFromPath("/a/ScanImage00001.JPG"), Format::Jpeg);
  EXPECT_EQ(ImageContainer::FormatFromPath("page.TiF"), Format::Tiff);
  // Only three characters count: no dot needed, four-letter forms are not ours.
  EXPECT_EQ(ImageContainer::FormatFromPath("scanjpg"), Format::Jpeg);
  EXPECT_EQ(ImageContainer::FormatFromPath("x.tiff"), Format::None);
  EXPECT_EQ(ImageContainer::FormatFromPath("x.jpeg"), Format::None);
  EXPECT_EQ(ImageContainer::FormatFromPath("ScanImage00001."), Format::None);
  EXPECT_EQ(ImageContainer::FormatFromPath("tif"), Format::Tiff);
  EXPECT_EQ(ImageContainer::FormatFromPath("if"), Format::None);
}

TEST(ImageContainerFormat, FromContentRecognisesSignatures) {
  const uint8_t bmp[] = {'B', 'M', 0, 0};
  const uint8_t jpg[] = {0xFF, 0xD8, 0xFF, 0xE0};
  const uint8_t tifLe[] = {'I', 'I', 42, 0};
  const uint8_t tifBe[] = {'M', 'M', 0, 42};
  const uint8_t other[] = {'G', 'I', 'F', '8'};
  EXPECT_EQ(ImageContainer::FormatFromContent(bmp, 4), Format::Bmp);
  EXPECT_EQ(ImageContainer::FormatFromContent(jpg, 4), Format::Jpeg);
  EXPECT_EQ(ImageContainer::FormatFromContent(tifLe, 4), Format::Tiff);
  EXPECT_EQ(ImageContainer::FormatFromContent(tifBe, 4), Format::Tiff);
  EXPECT_EQ(ImageContainer::FormatFromContent(other, 4), Format::None);
  EXPECT_EQ(ImageContainer::FormatFromContent(jpg, 2), Format::None);
}

TEST(ImageContainerCreate, StridePadsRowsToFourBytes) {
  for (int width = 1; width <= 9; ++width) {
    ImageContainer gray, color;
    ASSERT_TRUE(gray.Create(width, 3, 8));
    ASSERT_TRUE(color.Create(width, 3, 24));
    EXPECT_EQ(gray.Stride(), size_t((width + 3) / 4 * 4)) << width;
    EXPECT_EQ(color.Stride(), size_t((3 * width + 3) / 4 * 4)) << width;
    EXPECT_EQ(color.Row(1) - color.Row(2), std::ptrdiff_t(color.Stride()));
  }
}

TEST(ImageContainerCreate, RefusesAbsurdSizesAndKeepsTheOldImage) {
  ImageContainer image = MakePattern(5, 4, 24);
  EXPECT_FALSE(image.Create(0, 10, 24));
  EXPECT_FALSE(image.Create(10, -1, 8));
  EXPECT_FALSE(image.Create(65536, 1, 8));
  EXPECT_FALSE(image.Create(10, 10, 16));
  EXPECT_FALSE(image.Create(10, 10, 32));
  // Each side is allowed, the product is not: 65535 x 65535 x 3 is 12 GB.
  EXPECT_FALSE(image.Create(65535, 65535, 24));
  EXPECT_EQ(image.Width(), 5);
  EXPECT_EQ(image.Height(), 4);
  EXPECT_EQ(CountDifferences(image, MakePattern(5, 4, 24)), 0);
  EXPECT_EQ(image.Row(4), nullptr);
  EXPECT_EQ(image.Row(-1), nullptr);
  // A new image is white.
  ASSERT_TRUE(image.Create(3, 2, 8));
  EXPECT_EQ(image.Row(1)[2], 255);
}

// Lossless codecs give back every pixel, in both depths and with widths
// whose rows need padding.
class LosslessRoundTrip : public ::testing::TestWithParam<std::tuple<Format, int, int>> {};

TEST_P(LosslessRoundTrip, PixelsComeBackExactly) {
  const auto [format, bits, width] = GetParam();
  ScratchFolder dir;
  const std::string path = dir.File(format == Format::Bmp ? "p.bmp" : "p.tif");
  const ImageContainer original = MakePattern(width, 7, bits);
  ASSERT_TRUE(original.Save(path, format));
  ImageContainer loaded;
  ASSERT_TRUE(loaded.Load(path, format));
  EXPECT_EQ(CountDifferences(original, loaded), 0);
  // Recognised from the content alone as well.
  ImageContainer byContent;
  ASSERT_TRUE(byContent.Load(path, Format::None));
  EXPECT_EQ(CountDifferences(original, byContent), 0);
}

INSTANTIATE_TEST_SUITE_P(BmpAndTiff, LosslessRoundTrip,
                         ::testing::Combine(::testing::Values(Format::Bmp, Format::Tiff),
                                            ::testing::Values(8, 24),
                                            ::testing::Values(1, 2, 3, 5, 7, 64)));

TEST(JpegRoundTrip, StaysCloseInBothDepthsAndOddWidths) {
  for (int bits : {8, 24}) {
    for (int width : {1, 3, 17, 33}) {
      const ImageContainer original = MakeSmooth(width, 19, bits);
      std::string encoded;
      ASSERT_TRUE(original.Encode(Format::Jpeg, encoded));
      ImageContainer loaded;
      ASSERT_TRUE(loaded.LoadFromMemory(Bytes(encoded), encoded.size(), Format::Jpeg));
      ASSERT_EQ(loaded.BitsPerPixel(), bits);
      ASSERT_EQ(loaded.Width(), width);
      ASSERT_EQ(loaded.Height(), 19);
      // Chroma subsampling smears colour edges on very narrow images, so
      // the average error is what tells a working codec from a broken one.
      EXPECT_LE(pellix_test::MeanAbsDifference(original, loaded), 3.0) << bits << " " << width;
      EXPECT_LE(MaxAbsDifference(original, loaded), 64) << bits << " " << width;
    }
  }
}

TEST(JpegRoundTrip, KeepsChannelOrder) {
  // Pure blue must not come back red: the rows are B, G, R.
  ImageContainer blue;
  ASSERT_TRUE(blue.Create(16, 16, 24));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      blue.Row(y)[3 * x] = 255;
      blue.Row(y)[3 * x + 1] = 0;
      blue.Row(y)[3 * x + 2] = 0;
    }
  for (Format format : {Format::Jpeg, Format::Tiff, Format::Bmp}) {
    std::string encoded;
    ASSERT_TRUE(blue.Encode(format, encoded));
    ImageContainer back;
    ASSERT_TRUE(back.LoadFromMemory(Bytes(encoded), encoded.size(), format));
    EXPECT_GT(back.Row(8)[24], 240);
    EXPECT_LT(back.Row(8)[26], 15);
  }
}

TEST(ImageContainerSave, RecordsNinetySixDpiInEveryFormat) {
  ScratchFolder dir;
  const ImageContainer image = MakePattern(9, 5, 24);
  std::string bmp, jpg;
  ASSERT_TRUE(image.Encode(Format::Bmp, bmp));
  ASSERT_TRUE(image.Encode(Format::Jpeg, jpg));
  // BMP: dots per metre at offsets 38 and 42.
  auto le32 = [](const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 |
           uint32_t(uint8_t(s[at + 2])) << 16 | uint32_t(uint8_t(s[at + 3])) << 24;
  };
  EXPECT_EQ(le32(bmp, 38), 3780u);
  EXPECT_EQ(le32(bmp, 42), 3780u);
  // JPEG: the JFIF segment, units 1 (inch), densities 96.
  ASSERT_GT(jpg.size(), 20u);
  ASSERT_EQ(jpg.substr(6, 5), std::string("JFIF\0", 5));
  EXPECT_EQ(jpg[13], 1);
  EXPECT_EQ((uint8_t(jpg[14]) << 8) | uint8_t(jpg[15]), 96);
  EXPECT_EQ((uint8_t(jpg[16]) << 8) | uint8_t(jpg[17]), 96);
  // TIFF, read back with libtiff itself.
  const std::string path = dir.File("dpi.tif");
  ASSERT_TRUE(image.Save(path, Format::Tiff));
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  float xres = 0, yres = 0;
  uint16_t unit = 0, compression = 0, predictor = 0;
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression));
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_PREDICTOR, &predictor));
  TIFFClose(tif);
  EXPECT_FLOAT_EQ(xres, 96.0f);
  EXPECT_FLOAT_EQ(yres, 96.0f);
  EXPECT_EQ(unit, RESUNIT_INCH);
  EXPECT_EQ(compression, COMPRESSION_LZW);
  EXPECT_EQ(predictor, PREDICTOR_HORIZONTAL);
}

// The file header, info header, palette and row layout of a plain Windows
// 3.x bitmap, for widths whose rows need padding. Pages are built on a white
// image, so the padding bytes in memory are not zero; in the file they are.
TEST(BmpEncoder, WritesPlainHeadersGrayPaletteAndZeroPadding) {
  auto le32 = [](const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8 |
           uint32_t(uint8_t(s[at + 2])) << 16 | uint32_t(uint8_t(s[at + 3])) << 24;
  };
  auto le16 = [](const std::string& s, size_t at) {
    return uint32_t(uint8_t(s[at])) | uint32_t(uint8_t(s[at + 1])) << 8;
  };
  for (int bits : {8, 24}) {
    for (int width : {1, 5, 6, 7}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, width " + std::to_string(width));
      ImageContainer image;
      ASSERT_TRUE(image.Create(width, 3, bits));
      const size_t rowBytes = size_t(width) * size_t(bits / 8);
      for (int y = 0; y < 3; ++y)
        for (size_t i = 0; i < rowBytes; ++i) image.Row(y)[i] = uint8_t(10 * y + i + 1);
      std::string bmp;
      ASSERT_TRUE(image.Encode(Format::Bmp, bmp));
      const uint32_t paletteBytes = bits == 8 ? 1024 : 0;
      const size_t stride = (rowBytes + 3) / 4 * 4;
      ASSERT_EQ(bmp.size(), 54 + paletteBytes + stride * 3);
      EXPECT_EQ(bmp.substr(0, 2), "BM");
      EXPECT_EQ(le32(bmp, 2), bmp.size());
      EXPECT_EQ(le32(bmp, 6), 0u);
      EXPECT_EQ(le32(bmp, 10), 54 + paletteBytes);
      EXPECT_EQ(le32(bmp, 14), 40u);
      EXPECT_EQ(le32(bmp, 18), uint32_t(width));
      EXPECT_EQ(le32(bmp, 22), 3u);  // positive: bottom row first
      EXPECT_EQ(le16(bmp, 26), 1u);
      EXPECT_EQ(le16(bmp, 28), uint32_t(bits));
      EXPECT_EQ(le32(bmp, 30), 0u);
      EXPECT_EQ(le32(bmp, 34), stride * 3);
      EXPECT_EQ(le32(bmp, 46), bits == 8 ? 256u : 0u);
      for (uint32_t i = 0; i < paletteBytes / 4; ++i) {
        const std::string entry = bmp.substr(54 + 4 * i, 4);
        EXPECT_EQ(entry, std::string({char(i), char(i), char(i), '\0'})) << "entry " << i;
      }
      for (int fileRow = 0; fileRow < 3; ++fileRow) {
        const size_t at = 54 + paletteBytes + size_t(fileRow) * stride;
        EXPECT_EQ(bmp.compare(at, rowBytes, reinterpret_cast<const char*>(image.Row(2 - fileRow)),
                              rowBytes),
                  0);
        EXPECT_EQ(bmp.substr(at + rowBytes, stride - rowBytes), std::string(stride - rowBytes, '\0'));
      }
    }
  }
}

TEST(ImageContainerLoad, FallsBackToTheContentWhenTheExtensionLies) {
  ScratchFolder dir;
  const ImageContainer original = MakePattern(6, 4, 24);
  const std::string path = dir.File("really_a_bmp.jpg");
  ASSERT_TRUE(original.Save(path, Format::Bmp));
  ImageContainer loaded;
  ASSERT_TRUE(loaded.Load(path, Format::Jpeg));
  EXPECT_EQ(CountDifferences(original, loaded), 0);
}

TEST(ImageContainerLoad, MissingOrUnknownFilesFailAndLeaveItEmpty) {
  ScratchFolder dir;
  ImageContainer image = MakePattern(3, 3, 8);
  EXPECT_FALSE(image.Load(dir.File("absent.bmp"), Format::Bmp));
  EXPECT_TRUE(image.IsEmpty());
  WriteFile(dir.File("text.bmp"), "this is not a picture");
  EXPECT_FALSE(image.Load(dir.File("text.bmp"), Format::Bmp));
  WriteFile(dir.File("empty.tif"), "");
  EXPECT_FALSE(image.Load(dir.File("empty.tif"), Format::None));
  EXPECT_FALSE(image.Load(dir.Path(), Format::None));  // a folder
  EXPECT_TRUE(image.IsEmpty());
}

// End of the first directory's entry table in a little-endian TIFF.
size_t TiffDirectoryEnd(const std::string& tif) {
  auto le16 = [&](size_t at) { return size_t(uint8_t(tif[at]) | uint8_t(tif[at + 1]) << 8); };
  const size_t ifd = le16(4) | le16(6) << 16;
  return ifd + 2 + le16(ifd) * 12;
}

// Every prefix of a valid file is refused cleanly (run under the sanitizers
// this also shows that nothing is read out of bounds). A TIFF cut short only
// in the rational values after its directory (the resolution) still has all
// its pixels, which libtiff reads with a warning, and a missing link to a
// next directory means none; that tail is not tried.
TEST(ImageContainerLoad, TruncatedFilesAreRefused) {
  for (Format format : {Format::Bmp, Format::Jpeg, Format::Tiff}) {
    for (int bits : {8, 24}) {
      std::string encoded;
      ASSERT_TRUE(MakeSmooth(37, 23, bits).Encode(format, encoded));
      const size_t end = format == Format::Tiff ? TiffDirectoryEnd(encoded) : encoded.size();
      ASSERT_LE(end, encoded.size());
      const size_t step = std::max<size_t>(1, end / 97);
      for (size_t n = 0; n < end; n += step) {
        ImageContainer image;
        EXPECT_FALSE(image.LoadFromMemory(Bytes(encoded), n, format))
            << int(format) << " bits " << bits << " length " << n << " of " << encoded.size();
        EXPECT_TRUE(image.IsEmpty());
      }
    }
  }
}

TEST(ImageContainerLoad, CorruptedJpegDataIsRefused) {
  std::string encoded;
  ASSERT_TRUE(MakePattern(64, 64, 24).Encode(Format::Jpeg, encoded));
  // Scribble over the entropy-coded data, past the headers.
  for (size_t i = encoded.size() / 2; i < encoded.size() / 2 + 40; ++i) encoded[i] = char(0xFF);
  ImageContainer image;
  EXPECT_FALSE(image.LoadFromMemory(Bytes(encoded), encoded.size(), Format::Jpeg));
}

// Offsets of the width and height fields in the first directory of a
// little-endian TIFF.
void PatchTiffSize(std::string& tif, uint32_t width, uint32_t height) {
  auto le16 = [&](size_t at) { return uint16_t(uint8_t(tif[at]) | uint8_t(tif[at + 1]) << 8); };
  auto le32 = [&](size_t at) { return uint32_t(le16(at)) | uint32_t(le16(at + 2)) << 16; };
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) tif[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
  };
  ASSERT_EQ(tif.substr(0, 2), "II");
  const size_t ifd = le32(4);
  const uint16_t entries = le16(ifd);
  for (uint16_t i = 0; i < entries; ++i) {
    const size_t e = ifd + 2 + size_t(i) * 12;
    const uint16_t tag = le16(e), type = le16(e + 2);
    if (tag != TIFFTAG_IMAGEWIDTH && tag != TIFFTAG_IMAGELENGTH) continue;
    // Force the LONG type so large values fit.
    tif[e + 2] = 4;
    tif[e + 3] = 0;
    (void)type;
    put32(e + 8, tag == TIFFTAG_IMAGEWIDTH ? width : height);
  }
}

TEST(ImageContainerLoad, HugeDeclaredSizesAreRefusedBeforeAllocating) {
  const ImageContainer small = MakePattern(8, 8, 24);
  // BMP: 60000 x 60000 in the header of a small file.
  std::string bmp;
  ASSERT_TRUE(small.Encode(Format::Bmp, bmp));
  for (size_t at : {size_t(18), size_t(22)})
    for (int i = 0; i < 4; ++i) bmp[at + size_t(i)] = char((60000u >> (8 * i)) & 0xFF);
  // JPEG: 60000 x 60000 in the frame header.
  std::string jpg;
  ASSERT_TRUE(small.Encode(Format::Jpeg, jpg));
  const size_t sof = jpg.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  jpg[sof + 5] = jpg[sof + 7] = char(60000 >> 8);
  jpg[sof + 6] = jpg[sof + 8] = char(60000 & 0xFF);
  // TIFF: the same in the directory.
  std::string tif;
  ASSERT_TRUE(small.Encode(Format::Tiff, tif));
  PatchTiffSize(tif, 60000, 60000);

  for (auto [data, format] : {std::pair{&bmp, Format::Bmp}, std::pair{&jpg, Format::Jpeg},
                              std::pair{&tif, Format::Tiff}}) {
    // Refused even with an address space far smaller than 60000² × 3 bytes.
    ImageContainer image;
    EXPECT_FALSE(image.LoadFromMemory(Bytes(*data), data->size(), format)) << int(format);
    EXPECT_TRUE(image.IsEmpty());
  }
  // TIFF: a line of 65535 pixels of 65535 16-bit samples (8.6 GB) in a
  // file of a few hundred bytes.
  {
    ScratchFolder dir;
    const std::string path = dir.File("samples.tif");
    TIFF* out = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, 65535u);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, 1u);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(out, TIFFTAG_SAMPLESPERPIXEL, 65535);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(out, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, 1u);
    char strip[16] = {};
    TIFFWriteRawStrip(out, 0, strip, sizeof strip);
    TIFFClose(out);
    const std::string wide = ReadFile(path);
    ImageContainer image;
    largestArrayRequest = 0;
    EXPECT_FALSE(image.LoadFromMemory(Bytes(wide), wide.size(), Format::Tiff));
    EXPECT_LE(largestArrayRequest.load(), ImageContainer::kMaxImageBytes);
  }
  // A lower limit refuses what the default one allows.
  std::string ok;
  ASSERT_TRUE(MakePattern(100, 100, 24).Encode(Format::Bmp, ok));
  ImageContainer image;
  EXPECT_TRUE(image.LoadFromMemory(Bytes(ok), ok.size(), Format::Bmp));
  EXPECT_FALSE(image.LoadFromMemory(Bytes(ok), ok.size(), Format::Bmp, 10000));
}

// A BMP written by hand: `bits` per pixel, bottom-up unless topDown.
std::string MakeBmp(int width, int height, int bits, const std::vector<uint32_t>& palette,
                    const std::vector<std::string>& rowsTopFirst, bool topDown = false) {
  std::string s(54 + palette.size() * 4, '\0');
  auto put = [&](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) s[at + size_t(i)] = char((v >> (8 * i)) & 0xFF);
  };
  s[0] = 'B';
  s[1] = 'M';
  put(10, uint32_t(s.size()), 4);
  put(14, 40, 4);
  put(18, uint32_t(width), 4);
  put(22, uint32_t(topDown ? -height : height), 4);
  put(26, 1, 2);
  put(28, uint32_t(bits), 2);
  put(46, uint32_t(palette.size()), 4);
  for (size_t i = 0; i < palette.size(); ++i) put(54 + 4 * i, palette[i], 4);
  const size_t stride = (size_t(width) * size_t(bits) + 31) / 32 * 4;
  for (int r = 0; r < height; ++r) {
    const std::string& row = rowsTopFirst[size_t(topDown ? r : height - 1 - r)];
    std::string padded = row;
    padded.resize(stride, '\0');
    s += padded;
  }
  put(2, uint32_t(s.size()), 4);
  return s;
}

TEST(BmpDecoder, PalettesAndDepths) {
  ImageContainer image;
  // 1-bit with a black and white palette: an 8-bit gray image.
  std::string bw = MakeBmp(10, 2, 1, {0x000000, 0xFFFFFF}, {std::string("\xA0\x40", 2),
                                                            std::string("\xFF\xC0", 2)});
  ASSERT_TRUE(image.LoadFromMemory(Bytes(bw), bw.size(), Format::Bmp));
  ASSERT_EQ(image.BitsPerPixel(), 8);
  const uint8_t top[10] = {255, 0, 255, 0, 0, 0, 0, 0, 0, 255};
  const uint8_t bottom[10] = {255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
  EXPECT_EQ(std::memcmp(image.Row(0), top, 10), 0);
  EXPECT_EQ(std::memcmp(image.Row(1), bottom, 10), 0);

  // 4-bit with colours: a 24-bit image, palette entries are B, G, R, 0.
  std::string colour = MakeBmp(3, 1, 4, {0x000000, 0x0000FF, 0x00FF00, 0xFF0000},
                               {std::string("\x12\x30", 2)});
  ASSERT_TRUE(image.LoadFromMemory(Bytes(colour), colour.size(), Format::Bmp));
  ASSERT_EQ(image.BitsPerPixel(), 24);
  const uint8_t rgb[9] = {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF};
  EXPECT_EQ(std::memcmp(image.Row(0), rgb, 9), 0);

  // 8-bit whose gray palette is not the identity: levels come from it.
  std::vector<uint32_t> inverted(256);
  for (uint32_t i = 0; i < 256; ++i) inverted[i] = (255 - i) * 0x010101u;
  std::string inv = MakeBmp(2, 1, 8, inverted, {std::string("\x00\x10", 2)});
  ASSERT_TRUE(image.LoadFromMemory(Bytes(inv), inv.size(), Format::Bmp));
  ASSERT_EQ(image.BitsPerPixel(), 8);
  EXPECT_EQ(image.Row(0)[0], 255);
  EXPECT_EQ(image.Row(0)[1], 255 - 16);

  // 32-bit, top-down.
  std::string deep = MakeBmp(1, 2, 32, {}, {std::string("\x01\x02\x03\x00", 4),
                                            std::string("\x04\x05\x06\x00", 4)}, true);
  ASSERT_TRUE(image.LoadFromMemory(Bytes(deep), deep.size(), Format::Bmp));
  ASSERT_EQ(image.BitsPerPixel(), 24);
  EXPECT_EQ(image.Row(0)[0], 1);
  EXPECT_EQ(image.Row(0)[2], 3);
  EXPECT_EQ(image.Row(1)[1], 5);
}

TEST(BmpDecoder, RefusesWhatItCannotRead) {
  ImageContainer image;
  std::string rle = MakeBmp(2, 1, 8, {0, 0xFFFFFF}, {std::string("\x00\x01", 2)});
  rle[30] = 1;  // RLE8
  EXPECT_FALSE(image.LoadFromMemory(Bytes(rle), rle.size(), Format::Bmp));
  std::string badBits = MakeBmp(2, 1, 8, {0, 0xFFFFFF}, {std::string("\x00\x01", 2)});
  badBits[28] = 2;
  EXPECT_FALSE(image.LoadFromMemory(Bytes(badBits), badBits.size(), Format::Bmp));
  std::string badOffset = MakeBmp(2, 1, 24, {}, {std::string(6, '\x10')});
  badOffset[10] = char(0xF0);
  badOffset[11] = char(0xFF);
  EXPECT_FALSE(image.LoadFromMemory(Bytes(badOffset), badOffset.size(), Format::Bmp));
}

// Writes a one-page TIFF with libtiff directly, for layouts our writer never
// produces.
std::string WriteForeignTiff(const std::string& path, uint32_t width, uint32_t height,
                             uint16_t bits, uint16_t spp, uint16_t photometric,
                             const std::vector<uint8_t>& data, const uint16_t* colormap = nullptr,
                             uint16_t orientation = ORIENTATION_TOPLEFT) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return "";
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
  if (photometric == PHOTOMETRIC_SEPARATED) TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
  if (colormap)
    TIFFSetField(tif, TIFFTAG_COLORMAP, colormap, colormap + (1 << bits), colormap + 2 * (1 << bits));
  TIFFWriteEncodedStrip(tif, 0, const_cast<uint8_t*>(data.data()), tmsize_t(data.size()));
  TIFFClose(tif);
  return ReadFile(path);
}

TEST(TiffDecoder, ConvertsOtherLayouts) {
  ScratchFolder dir;
  ImageContainer image;

  // 16-bit gray: 8-bit image with the high bytes.
  std::vector<uint8_t> gray16 = {0x00, 0x12, 0xFF, 0xAB};  // little-endian host order
  std::string f = WriteForeignTiff(dir.File("g16.tif"), 2, 1, 16, 1, PHOTOMETRIC_MINISBLACK, gray16);
  ASSERT_TRUE(image.LoadFromMemory(Bytes(f), f.size(), Format::Tiff));
  EXPECT_EQ(image.BitsPerPixel(), 8);
  EXPECT_EQ(image.Row(0)[0], 0x12);
  EXPECT_EQ(image.Row(0)[1], 0xAB);

  // Bilevel, 0 = white: 8-bit 0/255.
  f = WriteForeignTiff(dir.File("bw.tif"), 8, 1, 1, 1, PHOTOMETRIC_MINISWHITE, {0xF0});
  ASSERT_TRUE(image.LoadFromMemory(Bytes(f), f.size(), Format::Tiff));
  EXPECT_EQ(image.BitsPerPixel(), 8);
  EXPECT_EQ(image.Row(0)[0], 0);
  EXPECT_EQ(image.Row(0)[7], 255);

  // 8-bit gray stored 0 = white.
  f = WriteForeignTiff(dir.File("mw.tif"), 2, 1, 8, 1, PHOTOMETRIC_MINISWHITE, {0, 200});
  ASSERT_TRUE(image.LoadFromMemory(Bytes(f), f.size(), Format::Tiff));
  EXPECT_EQ(image.Row(0)[0], 255);
  EXPECT_EQ(image.Row(0)[1], 55);

  // Palette colour: 24-bit B, G, R.
  std::vector<uint16_t> map(3 * 256, 0);
  map[1] = 0xFFFF;              // red of entry 1
  map[256 + 2] = 0xFFFF;        // green of entry 2
  f = WriteForeignTiff(dir.File("pal.tif"), 3, 1, 8, 1, PHOTOMETRIC_PALETTE, {1, 2, 0}, map.data());
  ASSERT_TRUE(image.LoadFromMemory(Bytes(f), f.size(), Format::Tiff));
  ASSERT_EQ(image.BitsPerPixel(), 24);
  EXPECT_EQ(image.Row(0)[2], 255);  // red
  EXPECT_EQ(image.Row(0)[0], 0);
  EXPECT_EQ(image.Row(0)[4], 255);  // green
  EXPECT_EQ(image.Row(0)[8], 0);

  // CMYK: full cyan is R 0, G 255, B 255.
  f = WriteForeignTiff(dir.File("cmyk.tif"), 1, 1, 8, 4, PHOTOMETRIC_SEPARATED, {255, 0, 0, 0});
  ASSERT_TRUE(image.LoadFromMemory(Bytes(f), f.size(), Format::Tiff));
  ASSERT_EQ(image.BitsPerPixel(), 24);
  EXPECT_EQ(image.Row(0)[0], 255);
  EXPECT_EQ(image.Row(0)[1], 255);
  EXPECT_EQ(image.Row(0)[2], 0);

  // 16-bit RGB.
  std::vector<uint8_t> rgb16 = {0, 0x10, 0, 0x20, 0, 0x30};
  f = WriteForeignTiff(dir.File("rgb16.tif"), 1, 1, 16, 3, PHOTOMETRIC_RGB, rgb16);
  ASSERT_TRUE(image.LoadFromMemory(Bytes(f), f.size(), Format::Tiff));
  EXPECT_EQ(image.Row(0)[0], 0x30);
  EXPECT_EQ(image.Row(0)[2], 0x10);

  // Rows stored from the bottom or columns from the right come out upright,
  // whatever the sample layout.
  const std::vector<uint8_t> stored = {1, 2, 3, 4, 5, 6};  // 3 x 2, first stored row 1 2 3
  struct Case {
    uint16_t orientation;
    uint8_t top[3], bottom[3];
  } const cases[] = {{ORIENTATION_TOPLEFT, {1, 2, 3}, {4, 5, 6}},
                     {ORIENTATION_BOTLEFT, {4, 5, 6}, {1, 2, 3}},
                     {ORIENTATION_TOPRIGHT, {3, 2, 1}, {6, 5, 4}},
                     {ORIENTATION_BOTRIGHT, {6, 5, 4}, {3, 2, 1}}};
  for (const Case& c : cases) {
    SCOPED_TRACE("orientation " + std::to_string(c.orientation));
    f = WriteForeignTiff(dir.File("o.tif"), 3, 2, 8, 1, PHOTOMETRIC_MINISBLACK, stored, nullptr,
                         c.orientation);
    ASSERT_TRUE(image.LoadFromMemory(Bytes(f), f.size(), Format::Tiff));
    ASSERT_EQ(image.BitsPerPixel(), 8);
    EXPECT_EQ(std::memcmp(image.Row(0), c.top, 3), 0);
    EXPECT_EQ(std::memcmp(image.Row(1), c.bottom, 3), 0);
  }
  const std::vector<uint8_t> storedRgb = {10, 20, 30, 40, 50, 60};  // 1 x 2
  f = WriteForeignTiff(dir.File("orgb.tif"), 1, 2, 8, 3, PHOTOMETRIC_RGB, storedRgb, nullptr,
                       ORIENTATION_BOTLEFT);
  ASSERT_TRUE(image.LoadFromMemory(Bytes(f), f.size(), Format::Tiff));
  ASSERT_EQ(image.BitsPerPixel(), 24);
  EXPECT_EQ(image.Row(0)[2], 40);  // red of the last stored row
  EXPECT_EQ(image.Row(1)[0], 30);  // blue of the first
}

// The fuzzers' seed files come from another program (a red to blue
// gradient from top to bottom, 12 x 9) and from our own writers; every one
// must load, recognised from its content.
TEST(ImageContainerLoad, ReadsTheSeedFilesOfOtherWriters) {
  // CTest may hand over only the first of its environment entries; the
  // source tree is also known from this file's own path.
  const char* fromEnv = getenv("PX_SOURCE_DIR");
  const std::string source = fromEnv && *fromEnv
                                 ? std::string(fromEnv)
                                 : std::filesystem::path(__FILE__).parent_path().parent_path().string();
  int checked = 0;
  for (const char* folder : {"bmp_loader", "jpeg_loader", "tiff_loader"}) {
    const std::filesystem::path dir = std::filesystem::path(source) / "fuzz/corpus" / folder;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      const std::string path = entry.path().string();
      const std::string name = entry.path().filename().string();
      ImageContainer image;
      ASSERT_TRUE(image.Load(path, Format::None)) << path;
      EXPECT_EQ(image.Height(), 9) << path;
      ++checked;
      if (name.rfind("pellix_", 0) == 0 || image.BitsPerPixel() != 24 || name.rfind("mono", 0) == 0)
        continue;
      const uint8_t* top = image.Row(0);
      const uint8_t* bottom = image.Row(8);
      EXPECT_EQ(image.Width(), 12) << path;
      EXPECT_GT(top[2], 180) << path;  // red
      EXPECT_LT(top[0], 80) << path;
      EXPECT_GT(bottom[0], 180) << path;  // blue
      EXPECT_LT(bottom[2], 80) << path;
    }
  }
  EXPECT_GE(checked, 20);
}

TEST(ImageContainerRotate, QuarterTurnsMovePixelsAndComposeToIdentity) {
  for (int bits : {8, 24}) {
    const ImageContainer original = MakePattern(5, 3, bits);
    const int bpp = bits / 8;
    ImageContainer cw;
    ASSERT_TRUE(cw.CopyFrom(original));
    ASSERT_TRUE(cw.Rotate90(true));
    ASSERT_EQ(cw.Width(), 3);
    ASSERT_EQ(cw.Height(), 5);
    // Clockwise: the old bottom-left corner becomes the top-left one.
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 3; ++x)
        EXPECT_EQ(std::memcmp(cw.Row(y) + x * bpp, original.Row(2 - x) + y * bpp, size_t(bpp)), 0);
    ImageContainer ccw;
    ASSERT_TRUE(ccw.CopyFrom(original));
    ASSERT_TRUE(ccw.Rotate90(false));
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 3; ++x)
        EXPECT_EQ(std::memcmp(ccw.Row(y) + x * bpp, original.Row(x) + (4 - y) * bpp, size_t(bpp)), 0);
    ASSERT_TRUE(cw.Rotate90(false));
    EXPECT_EQ(CountDifferences(cw, original), 0);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(ccw.Rotate90(false));
    ASSERT_TRUE(ccw.Rotate90(true));
    EXPECT_EQ(CountDifferences(ccw, original), 0);
  }
  ImageContainer empty;
  EXPECT_FALSE(empty.Rotate90(true));
}

TEST(ImageContainerShrink, AveragesCellsInStorageOrder) {
  // 4 x 4 gray to 2 x 2. Columns: the running sum exceeds 4 only after the
  // third pixel, so cells hold columns {0,1,2} and {3}. Rows are taken from
  // the bottom: cells hold rows {3,2} and {1,0}.
  ImageContainer image;
  ASSERT_TRUE(image.Create(4, 4, 8));
  const uint8_t rows[4][4] = {{10, 20, 30, 40}, {50, 60, 70, 80}, {90, 100, 110, 120},
                              {130, 140, 150, 161}};
  for (int y = 0; y < 4; ++y) std::memcpy(image.Row(y), rows[y], 4);
  ImageContainer small;
  ASSERT_TRUE(image.Shrink(2, 2, small));
  ASSERT_EQ(small.BitsPerPixel(), 8);
  EXPECT_EQ(small.Row(1)[0], (90 + 100 + 110 + 130 + 140 + 150) / 6);
  EXPECT_EQ(small.Row(1)[1], (120 + 161) / 2);
  EXPECT_EQ(small.Row(0)[0], (10 + 20 + 30 + 50 + 60 + 70) / 6);
  EXPECT_EQ(small.Row(0)[1], (40 + 80) / 2);

  // 5 rows to 2: the second running sum reaches 5 after the third row from
  // the bottom, so the bottom cell holds three rows and the top one two.
  ImageContainer tall;
  ASSERT_TRUE(tall.Create(1, 5, 24));
  for (int y = 0; y < 5; ++y) tall.Row(y)[0] = tall.Row(y)[1] = tall.Row(y)[2] = uint8_t(y * 10);
  ASSERT_TRUE(tall.Shrink(1, 2, small));
  EXPECT_EQ(small.Row(1)[0], (20 + 30 + 40) / 3);
  EXPECT_EQ(small.Row(0)[2], (0 + 10) / 2);
}

TEST(ImageContainerShrink, RefusesToEnlargeAndHandlesEqualWidth) {
  const ImageContainer image = MakePattern(6, 6, 24);
  ImageContainer out = MakePattern(2, 2, 8);
  EXPECT_FALSE(image.Shrink(7, 3, out));
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_FALSE(image.Shrink(3, 0, out));
  // An equal width leaves the last cell without a column; it repeats its
  // neighbour rather than dividing by zero.
  ASSERT_TRUE(image.Shrink(6, 3, out));
  for (int y = 0; y < 3; ++y)
    EXPECT_EQ(std::memcmp(out.Row(y) + 15, out.Row(y) + 12, 3), 0);
  // The other cells keep the running-sum assignment: the sum first exceeds
  // 3 after the second pixel, so cell 0 holds pixels 0 and 1, cell 1 pixel 2.
  ImageContainer row;
  ASSERT_TRUE(row.Create(3, 1, 8));
  row.Row(0)[0] = 10;
  row.Row(0)[1] = 21;
  row.Row(0)[2] = 40;
  ASSERT_TRUE(row.Shrink(3, 1, out));
  EXPECT_EQ(out.Row(0)[0], (10 + 21) / 2);
  EXPECT_EQ(out.Row(0)[1], 40);
  EXPECT_EQ(out.Row(0)[2], 40);
  // A uniform picture stays uniform at any size.
  ImageContainer flat;
  ASSERT_TRUE(flat.Create(97, 41, 24));
  for (int y = 0; y < 41; ++y) std::memset(flat.Row(y), 77, 97 * 3);
  ASSERT_TRUE(flat.Shrink(13, 7, out));
  for (int y = 0; y < 7; ++y)
    for (int i = 0; i < 13 * 3; ++i) ASSERT_EQ(out.Row(y)[i], 77);
}

TEST(ImageContainerResample, ScalesBothWays) {
  const ImageContainer image = MakePattern(7, 5, 24);
  ImageContainer same;
  ASSERT_TRUE(image.Resample(7, 5, same));
  EXPECT_EQ(CountDifferences(image, same), 0);

  // Enlarging a two-level step keeps the levels at the ends and moves
  // monotonically in between.
  ImageContainer step;
  ASSERT_TRUE(step.Create(2, 1, 8));
  step.Row(0)[0] = 0;
  step.Row(0)[1] = 200;
  ImageContainer wide;
  ASSERT_TRUE(step.Resample(8, 3, wide));
  EXPECT_EQ(wide.Row(1)[0], 0);
  EXPECT_EQ(wide.Row(1)[7], 200);
  for (int x = 1; x < 8; ++x) EXPECT_GE(wide.Row(2)[x], wide.Row(2)[x - 1]);
  EXPECT_GT(wide.Row(0)[4], 0);
  EXPECT_LT(wide.Row(0)[3], 200);

  ImageContainer down;
  ASSERT_TRUE(image.Resample(3, 2, down));
  EXPECT_EQ(down.Width(), 3);
  EXPECT_FALSE(image.Resample(0, 2, down));
}

TEST(ImageContainerSave, FormatNoneWritesNothing) {
  ScratchFolder dir;
  const ImageContainer image = MakePattern(3, 3, 24);
  EXPECT_FALSE(image.Save(dir.File("page.png"), Format::None));
  EXPECT_FALSE(std::filesystem::exists(dir.File("page.png")));
  ImageContainer empty;
  EXPECT_FALSE(empty.Save(dir.File("empty.bmp"), Format::Bmp));
  EXPECT_FALSE(std::filesystem::exists(dir.File("empty.bmp")));
}

TEST(ImageContainerSave, AFailedSaveKeepsTheOldFile) {
  ScratchFolder dir;
  const std::string path = dir.File("page.bmp");
  ASSERT_TRUE(MakePattern(4, 4, 8).Save(path, Format::Bmp));
  const std::string before = ReadFile(path);
  const ImageContainer big = MakePattern(400, 400, 24);
  for (Format format : {Format::Bmp, Format::Tiff, Format::Jpeg}) {
    pellix_test::WithFileSizeLimit(before.size() + 10, [&] { EXPECT_FALSE(big.Save(path, format)); });
    EXPECT_EQ(ReadFile(path), before);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                          std::filesystem::directory_iterator()), 1);
}

}  // namespace
