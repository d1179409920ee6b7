// What the host receives: image description, the DIB in every pixel type,
// blocks of rows, the product name, and the answers when no page is ready.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/global_memory.h"
#include "quorra/tests/harness.h"

namespace quorra_test {
namespace {

using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

class HandoutTest : public QuorraTest {
 protected:
  /// Scans a page of `width` x `height` pixels at 300 dpi whose device bytes
  /// are `data` (or the stand-in's pattern when empty).
  void ScanPage(int pixelType, int width, int height, const Bytes& data = {}) {
    Ctl().vantor.pageData = data;
    const HostSetting h = MakeHostSetting(pixelType, 0, 0, width, height, 300);
    ASSERT_EQ(Q().SetScanSettings(&h), 0);
    ASSERT_EQ(Q().NoUItoXferImage(), 0);
  }

  struct Dib {
    BitmapInfoHeader header{};
    std::vector<RgbQuad> palette;
    Bytes bits;
    size_t blockSize = 0;
  };

  Dib TakeDib() {
    void* handle = nullptr;
    EXPECT_EQ(Q().GetImageDIB(&handle), 3);
    Dib dib;
    if (!handle) return dib;
    const auto* base = static_cast<const uint8_t*>(px::GlobalLock(handle));
    dib.blockSize = px::GlobalSize(handle);
    std::memcpy(&dib.header, base, sizeof dib.header);
    dib.palette.resize(dib.header.biClrUsed);
    if (!dib.palette.empty()) std::memcpy(dib.palette.data(), base + 40, 4 * dib.palette.size());
    const uint8_t* bits = base + 40 + 4 * dib.palette.size();
    dib.bits.assign(bits, base + dib.blockSize);
    px::GlobalFree(handle);
    return dib;
  }
};

Bytes Pattern(uint32_t rowBytes, uint32_t rows) {
  Bytes b;
  for (uint32_t y = 0; y < rows; ++y)
    for (uint32_t i = 0; i < rowBytes; ++i) b.push_back(standin::PatternByte(y, i));
  return b;
}

void ExpectHeader(const BitmapInfoHeader& h, int width, int height, int bits, uint32_t stride,
                  uint32_t colors) {
  EXPECT_EQ(h.biSize, 40u);
  EXPECT_EQ(h.biWidth, width);
  EXPECT_EQ(h.biHeight, height);
  EXPECT_EQ(h.biPlanes, 1);
  EXPECT_EQ(h.biBitCount, bits);
  EXPECT_EQ(h.biCompression, 0u);
  EXPECT_EQ(h.biSizeImage, stride * static_cast<uint32_t>(height));
  EXPECT_EQ(h.biXPelsPerMeter, 11811);  // 300 dpi
  EXPECT_EQ(h.biYPelsPerMeter, 11811);
  EXPECT_EQ(h.biClrUsed, colors);
  EXPECT_EQ(h.biClrImportant, 0u);
}

TEST_F(HandoutTest, ColorDibIsBottomUpBgrWithPaddedRows) {
  Open();
  ScanPage(PX_PIXEL_COLOR24, 5, 3);
  ImageInfo info{};
  ASSERT_EQ(Q().GetImageInfo(&info), 0);
  EXPECT_EQ(info.Width, 5);
  EXPECT_EQ(info.Height, 3);
  EXPECT_EQ(info.Resolution, 300);
  EXPECT_EQ(info.SamplesPerPixel, 3);
  EXPECT_EQ(info.BitsPerSample[0], 8);
  EXPECT_EQ(info.BitsPerSample[2], 8);
  EXPECT_EQ(info.BitsPerSample[3], 0);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(info.PixelType, 0);

  const Dib dib = TakeDib();
  ExpectHeader(dib.header, 5, 3, 24, 16, 0);
  ASSERT_EQ(dib.bits.size(), 48u);
  const Bytes page = Pattern(15, 3);
  for (int y = 0; y < 3; ++y) {
    const uint8_t* row = dib.bits.data() + (2 - y) * 16;
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(row[3 * x], page[y * 15 + 3 * x + 2]);
      EXPECT_EQ(row[3 * x + 1], page[y * 15 + 3 * x + 1]);
      EXPECT_EQ(row[3 * x + 2], page[y * 15 + 3 * x]);
    }
    EXPECT_EQ(row[15], 0) << "padding";
  }
  // The page is gone after the hand-out.
  ImageInfo again{};
  again.Width = 42;
  EXPECT_EQ(Q().GetImageInfo(&again), 1);
  EXPECT_EQ(again.Width, 42);
}

TEST_F(HandoutTest, GrayDibsCarryARampPalette) {
  Open();
  ScanPage(PX_PIXEL_GRAY8, 6, 2);
  Dib dib = TakeDib();
  ExpectHeader(dib.header, 6, 2, 8, 8, 256);
  for (int i = 0; i < 256; i += 51) {
    EXPECT_EQ(dib.palette[i].rgbRed, i);
    EXPECT_EQ(dib.palette[i].rgbGreen, i);
    EXPECT_EQ(dib.palette[i].rgbBlue, i);
    EXPECT_EQ(dib.palette[i].rgbReserved, 0);
  }
  const Bytes page = Pattern(6, 2);
  EXPECT_EQ(Bytes(dib.bits.begin(), dib.bits.begin() + 6), Bytes(page.begin() + 6, page.end()));
  EXPECT_EQ(Bytes(dib.bits.begin() + 8, dib.bits.begin() + 14), Bytes(page.begin(), page.begin() + 6));

  ScanPage(PX_PIXEL_GRAY16, 3, 2);
  ImageInfo info{};
  ASSERT_EQ(Q().GetImageInfo(&info), 0);
  EXPECT_EQ(info.BitsPerPixel, 16);
  EXPECT_EQ(info.BitsPerSample[0], 16);
  dib = TakeDib();
  ExpectHeader(dib.header, 3, 2, 16, 8, 256);
  const Bytes wide = Pattern(6, 2);
  EXPECT_EQ(Bytes(dib.bits.begin(), dib.bits.begin() + 6), Bytes(wide.begin() + 6, wide.end()));
}

TEST_F(HandoutTest, BlackAndWhitePacksAbove128) {
  Open();
  const Bytes row0 = {128, 129, 0, 255, 128, 129, 200, 100, 129, 128};
  Bytes data = row0;
  data.insert(data.end(), 10, 255);
  ScanPage(PX_PIXEL_BW, 10, 2, data);
  ImageInfo info{};
  ASSERT_EQ(Q().GetImageInfo(&info), 0);
  EXPECT_EQ(info.BitsPerPixel, 1);
  EXPECT_EQ(info.SamplesPerPixel, 1);
  EXPECT_EQ(info.BitsPerSample[0], 1);
  const Dib dib = TakeDib();
  ExpectHeader(dib.header, 10, 2, 1, 4, 2);
  EXPECT_EQ(dib.palette[0].rgbRed, 0);
  EXPECT_EQ(dib.palette[1].rgbRed, 255);
  EXPECT_EQ(dib.palette[1].rgbGreen, 255);
  EXPECT_EQ(dib.palette[1].rgbBlue, 255);
  EXPECT_EQ(dib.palette[1].rgbReserved, 0);
  EXPECT_EQ(Bytes(dib.bits.begin(), dib.bits.end()),
            (Bytes{0xFF, 0xC0, 0, 0, 0x56, 0x80, 0, 0}));

  ScanPage(PX_PIXEL_BW, 10, 2, data);
  Bytes out(5, 0xAA);
  MemBlockInfo block{};
  EXPECT_EQ(Q().GetImageMem(out.data(), 3, &block), 0);
  EXPECT_EQ(block.BytesPerRow, 2u);
  EXPECT_EQ(block.Rows, 1u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 3), (Bytes{0x56, 0x80, 0xAA}));
  EXPECT_EQ(Q().GetImageMem(out.data(), 3, &block), 3);
  EXPECT_EQ(block.YOffset, 1u);
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0xC0);
}

TEST_F(HandoutTest, DeepColorAndReducedDepth) {
  Open();
  ScanPage(PX_PIXEL_COLOR48, 2, 2);
  Dib dib = TakeDib();
  ExpectHeader(dib.header, 2, 2, 48, 12, 0);
  const Bytes page = Pattern(12, 2);
  // Top row last; 16-bit samples swapped to B, G, R.
  const uint8_t* last = dib.bits.data() + 12;
  EXPECT_EQ(Bytes(last, last + 6),
            (Bytes{page[4], page[5], page[2], page[3], page[0], page[1]}));

  void* panel = nullptr;
  Q().OpenUI(nullptr, &panel, 1, "S");  // asks for reduced depth
  ScanPage(PX_PIXEL_COLOR48, 2, 2);
  ImageInfo info{};
  ASSERT_EQ(Q().GetImageInfo(&info), 0);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(info.SamplesPerPixel, 3);
  EXPECT_EQ(info.BitsPerSample[0], 8);
  EXPECT_EQ(info.BitsPerSample[2], 8);
  EXPECT_EQ(info.PixelType, 3);
  dib = TakeDib();
  ExpectHeader(dib.header, 2, 2, 24, 8, 0);
  EXPECT_EQ(Bytes(dib.bits.begin() + 8, dib.bits.begin() + 14),
            (Bytes{page[5], page[3], page[1], page[11], page[9], page[7]}));

  ScanPage(PX_PIXEL_GRAY16, 3, 1);
  dib = TakeDib();
  ExpectHeader(dib.header, 3, 1, 8, 4, 256);
  const Bytes gray = Pattern(6, 1);
  EXPECT_EQ(Bytes(dib.bits.begin(), dib.bits.begin() + 3), (Bytes{gray[1], gray[3], gray[5]}));

  // Reduced pages are not offered in blocks.
  ScanPage(PX_PIXEL_GRAY16, 3, 1);
  Bytes out(100);
  MemBlockInfo block{};
  EXPECT_EQ(Q().GetImageMem(out.data(), 100, &block), 1);
  EXPECT_EQ(Q().GetImageInfo(&info), 1) << "the refusal ended the page";
}

TEST_F(HandoutTest, BlocksOfWholeRows) {
  Open();
  ScanPage(PX_PIXEL_COLOR24, 5, 7);
  const Bytes page = Pattern(15, 7);
  Bytes received;
  Bytes out(37);  // two and a half rows
  MemBlockInfo block{};
  std::vector<int> results;
  for (int call = 0; call < 4; ++call) {
    std::fill(out.begin(), out.end(), 0xEE);
    results.push_back(Q().GetImageMem(out.data(), 37, &block));
    EXPECT_EQ(block.BytesPerRow, 15u);
    EXPECT_EQ(block.Columns, 5u);
    EXPECT_EQ(block.XOffset, 0u);
    EXPECT_EQ(block.YOffset, static_cast<uint32_t>(2 * call));
    EXPECT_EQ(block.Rows, call < 3 ? 2u : 1u);
    received.insert(received.end(), out.begin(), out.begin() + 15 * block.Rows);
    EXPECT_EQ(out[15 * block.Rows], 0xEE) << "nothing past the block";
  }
  EXPECT_EQ(results, (std::vector<int>{0, 0, 0, 3}));
  EXPECT_EQ(received, page);
  EXPECT_EQ(Q().GetImageMem(out.data(), 37, &block), 1) << "the page is gone";
}

TEST_F(HandoutTest, BlockRequestsThatCannotBeServed) {
  Open();
  ScanPage(PX_PIXEL_GRAY16, 4, 3);
  MemBlockInfo block{};
  Bytes out(8);
  EXPECT_EQ(Q().GetImageMem(out.data(), 7, &block), 1);  // below one row
  ScanPage(PX_PIXEL_GRAY16, 4, 3);
  EXPECT_EQ(Q().GetImageMem(nullptr, 8, &block), 1);
  ScanPage(PX_PIXEL_GRAY16, 4, 3);
  EXPECT_EQ(Q().GetImageMem(out.data(), 8, nullptr), 1);
  EXPECT_EQ(Calls({"Korvel.UI_ScanComplete"}).size(), 3u);
  ScanPage(PX_PIXEL_GRAY16, 4, 3);
  EXPECT_EQ(Q().GetImageMem(out.data(), 8, &block), 0);
  EXPECT_EQ(Bytes(out.begin(), out.end()), Pattern(8, 1));
}

TEST_F(HandoutTest, NewSettingsDoNotChangeAPageAlreadyMade) {
  Open();
  // A gray page waits; the host then asks for deep colour at another
  // resolution before taking it. The page is still what was scanned.
  ScanPage(PX_PIXEL_GRAY8, 6, 2);
  HostSetting other = MakeHostSetting(PX_PIXEL_COLOR48, 0, 0, 6, 2, 600);
  ASSERT_EQ(Q().SetScanSettings(&other), 0);
  ImageInfo info{};
  ASSERT_EQ(Q().GetImageInfo(&info), 0);
  EXPECT_EQ(info.PixelType, PX_PIXEL_GRAY8);
  EXPECT_EQ(info.BitsPerPixel, 8);
  EXPECT_EQ(info.SamplesPerPixel, 1);
  EXPECT_EQ(info.Resolution, 300);
  const Dib dib = TakeDib();
  ExpectHeader(dib.header, 6, 2, 8, 8, 256);
  const Bytes page = Pattern(6, 2);
  ASSERT_EQ(dib.bits.size(), 16u);
  EXPECT_EQ(Bytes(dib.bits.begin(), dib.bits.begin() + 6), Bytes(page.begin() + 6, page.end()));

  // The same for blocks: a black-and-white page stays packed to bits.
  Bytes data(10, 200);
  data.insert(data.end(), 10, 0);
  ScanPage(PX_PIXEL_BW, 10, 2, data);
  other = MakeHostSetting(PX_PIXEL_GRAY16, 0, 0, 10, 2, 300);
  ASSERT_EQ(Q().SetScanSettings(&other), 0);
  Bytes out(8, 0xAA);
  MemBlockInfo block{};
  EXPECT_EQ(Q().GetImageMem(out.data(), 8, &block), 3);
  EXPECT_EQ(block.BytesPerRow, 2u);
  EXPECT_EQ(block.Rows, 2u);
  EXPECT_EQ(out, (Bytes{0xFF, 0xC0, 0, 0, 0xAA, 0xAA, 0xAA, 0xAA}));
}

TEST_F(HandoutTest, NothingReadyTouchesNothing) {
  Open();
  ImageInfo info{};
  info.Width = 9;
  EXPECT_EQ(Q().GetImageInfo(&info), 1);
  EXPECT_EQ(info.Width, 9);
  void* handle = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(Q().GetImageDIB(&handle), 1);
  EXPECT_EQ(handle, reinterpret_cast<void*>(0x1234));
  Bytes out(16, 0x5A);
  MemBlockInfo block{7, 7, 7, 7, 7};
  EXPECT_EQ(Q().GetImageMem(out.data(), 16, &block), 1);
  EXPECT_EQ(out, Bytes(16, 0x5A));
  EXPECT_EQ(block.Rows, 7u);
  EXPECT_EQ(Calls(), Lines{});
  // Before OpenDS too.
  TearDown();
  SetUp();
  EXPECT_EQ(Q().GetImageInfo(&info), 1);
  EXPECT_EQ(Q().NoUItoXferImage(), 1);
  EXPECT_EQ(Q().SetScanSettings(nullptr), 1);
  EXPECT_EQ(Q().CloseUI(), 0);
  EXPECT_EQ(Q().CloseDS(), 0);
}

TEST_F(HandoutTest, MissingRecordsEndThePage) {
  Open();
  ScanPage(PX_PIXEL_GRAY8, 4, 2);
  EXPECT_EQ(Q().GetImageInfo(nullptr), 1);
  EXPECT_EQ(Calls().back(), "Korvel.UI_ScanComplete");
  ImageInfo info{};
  EXPECT_EQ(Q().GetImageInfo(&info), 1);
  ScanPage(PX_PIXEL_GRAY8, 4, 2);
  EXPECT_EQ(Q().GetImageDIB(nullptr), 1);
  EXPECT_EQ(Q().GetImageInfo(&info), 1);
}

TEST_F(HandoutTest, CancelWhileHandingOut) {
  Open();
  Ctl().korvel.setting = MakeScanSetting(PX_PIXEL_GRAY8, 4, 10, 300);
  ASSERT_EQ(ScanSlot(), 5);
  ClearLog();
  Ctl().korvel.cancelStage = PX_STAGE_HANDOUT;
  Ctl().korvel.cancelPercent = 30;
  void* handle = nullptr;
  EXPECT_EQ(Q().GetImageDIB(&handle), 2);
  EXPECT_EQ(handle, nullptr);
  EXPECT_EQ(Calls(), (Lines{"Korvel.UI_SetProgress 0 6", "Korvel.UI_SetProgress 10 6",
                            "Korvel.UI_SetProgress 20 6", "Korvel.UI_SetProgress 30 6",
                            "Korvel.UI_ScanComplete"}));

  ASSERT_EQ(ScanSlot(), 5);
  ClearLog();
  Ctl().korvel.cancelStage = PX_STAGE_HANDOUT;
  Ctl().korvel.cancelPercent = 50;
  Bytes out(12);
  MemBlockInfo block{};
  EXPECT_EQ(Q().GetImageMem(out.data(), 12, &block), 0);
  EXPECT_EQ(Q().GetImageMem(out.data(), 12, &block), 2);
  EXPECT_EQ(Calls(), (Lines{"Korvel.UI_SetProgress 30 6", "Korvel.UI_SetProgress 60 6",
                            "Korvel.UI_ScanComplete"}));
}

TEST_F(HandoutTest, ProductName) {
  char buffer[16];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(Q().GetProductName(buffer, 0), 1);
  EXPECT_EQ(Q().GetProductName(buffer, -3), 1);
  EXPECT_EQ(Q().GetProductName(nullptr, 16), 1);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(Q().GetProductName(buffer, 16), 0);
  EXPECT_STREQ(buffer, "Orlin Scanner");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(Q().GetProductName(buffer, 5), 0);
  EXPECT_STREQ(buffer, "Orli");
  EXPECT_EQ(buffer[5], 'x');

  harness_->WriteIni("[Default Setting]\nProductName=" + std::string(300, 'N') + "\n");
  std::vector<char> big(400, 'x');
  EXPECT_EQ(Q().GetProductName(big.data(), 400), 0);
  EXPECT_EQ(std::string(big.data()), std::string(259, 'N'));
}

}  // namespace
}  // namespace quorra_test
