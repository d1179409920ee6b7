// The real Quorra.so from the bin folder with the real libraries and the
// simulated scanner: end-to-end scans in every pixel type.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "interfaces/quorra_api.h"
#include "platform/global_memory.h"
#include "quorra/tests/harness.h"

namespace fs = std::filesystem;

namespace quorra_test {
namespace {

using Bytes = std::vector<uint8_t>;

std::string BinDir() {
  const char* dir = std::getenv("PX_BIN_DIR");
  return dir ? dir : "";
}

/// A temporary simulator configuration named by VANTOR_INI.
class SimulatorIni {
 public:
  SimulatorIni() {
    std::string pattern = (fs::temp_directory_path() / "quorra-sim-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    Write("");
    setenv("VANTOR_INI", (folder_ + "/Vantor.ini").c_str(), 1);
  }
  ~SimulatorIni() {
    unsetenv("VANTOR_INI");
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  void Write(const std::string& extra) const {
    std::ofstream(folder_ + "/Vantor.ini")
        << "[Vantor]\nStateFolder=" << folder_ << "/state\nLinesPerSecond=0\n" << extra;
  }

 private:
  std::string folder_;
};

class RealQuorra {
 public:
  RealQuorra() {
    handle_ = dlopen((BinDir() + "/Quorra.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) throw std::runtime_error(dlerror());
    api_.ForEach([&](const char* name, auto& slot) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handle_, name));
    });
  }
  ~RealQuorra() {
    api_.CloseDS();
    dlclose(handle_);
  }
  QuorraApi& operator*() { return api_; }
  QuorraApi* operator->() { return &api_; }

 private:
  void* handle_ = nullptr;
  QuorraApi api_;
};

struct Dib {
  BitmapInfoHeader header{};
  std::vector<RgbQuad> palette;
  Bytes bits;
};

Dib TakeDib(QuorraApi& q) {
  void* handle = nullptr;
  EXPECT_EQ(q.GetImageDIB(&handle), 3);
  Dib dib;
  if (!handle) return dib;
  const auto* base = static_cast<const uint8_t*>(px::GlobalLock(handle));
  std::memcpy(&dib.header, base, 40);
  dib.palette.resize(dib.header.biClrUsed);
  if (!dib.palette.empty()) std::memcpy(dib.palette.data(), base + 40, 4 * dib.palette.size());
  dib.bits.assign(base + 40 + 4 * dib.palette.size(), base + px::GlobalSize(handle));
  px::GlobalFree(handle);
  return dib;
}

/// The whole page through GetImageMem in blocks of 2.5 rows.
Bytes TakeRows(QuorraApi& q, const ImageInfo& info) {
  const uint32_t rowBytes = (uint32_t(info.BitsPerPixel) * uint32_t(info.Width) + 7) / 8;
  const uint32_t size = rowBytes * 5 / 2;
  Bytes page, block(size);
  MemBlockInfo b{};
  int calls = 0;
  for (;;) {
    const uint16_t r = q.GetImageMem(block.data(), size, &b);
    ++calls;
    EXPECT_TRUE(r == 0 || r == 3) << r;
    EXPECT_EQ(b.BytesPerRow, rowBytes);
    EXPECT_EQ(b.YOffset, page.size() / rowBytes);
    page.insert(page.end(), block.begin(), block.begin() + uint64_t(b.Rows) * rowBytes);
    if (r != 0) break;
    EXPECT_EQ(b.Rows, 2u);
  }
  EXPECT_EQ(calls, (info.Height + 1) / 2);
  EXPECT_EQ(page.size(), uint64_t(rowBytes) * uint32_t(info.Height));
  return page;
}

class IntegrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(q_->OpenDS(nullptr, nullptr, 0), 0);
  }
  /// The top of the sample sheet at 75 dpi: the same pixels on every scan.
  ImageInfo Scan(int pixelType, int width = 120, int height = 45) {
    const HostSetting h = MakeHostSetting(pixelType, 30, 20, width, height, 75);
    EXPECT_EQ(q_->SetScanSettings(&h), 0);
    EXPECT_EQ(q_->NoUItoXferImage(), 0);
    ImageInfo info{};
    EXPECT_EQ(q_->GetImageInfo(&info), 0);
    return info;
  }

  SimulatorIni sim_;
  RealQuorra q_;
};

TEST_F(IntegrationTest, EveryPixelTypeDibMatchesItsRows) {
  struct Case {
    int pixelType, bits, samples, palette;
  };
  for (const Case c : {Case{0, 24, 3, 0}, Case{1, 8, 1, 256}, Case{3, 48, 3, 0}, Case{4, 16, 1, 256}}) {
    SCOPED_TRACE(c.pixelType);
    const ImageInfo info = Scan(c.pixelType);
    EXPECT_EQ(info.Width, 120);
    EXPECT_EQ(info.Height, 45);
    EXPECT_EQ(info.BitsPerPixel, c.bits);
    EXPECT_EQ(info.SamplesPerPixel, c.samples);
    EXPECT_EQ(info.BitsPerSample[0], c.bits / c.samples);
    EXPECT_EQ(info.PixelType, c.pixelType);
    const Bytes rows = TakeRows(*q_, info);

    Scan(c.pixelType);
    const Dib dib = TakeDib(*q_);
    const uint32_t rowBytes = uint32_t(c.bits) * 120 / 8;
    const uint32_t stride = (rowBytes + 3) / 4 * 4;
    EXPECT_EQ(dib.header.biSize, 40u);
    EXPECT_EQ(dib.header.biWidth, 120);
    EXPECT_EQ(dib.header.biHeight, 45);
    EXPECT_EQ(dib.header.biBitCount, c.bits);
    EXPECT_EQ(dib.header.biSizeImage, stride * 45);
    EXPECT_EQ(dib.header.biXPelsPerMeter, 2952);
    EXPECT_EQ(dib.header.biClrUsed, uint32_t(c.palette));
    ASSERT_EQ(dib.bits.size(), size_t(stride) * 45);
    if (c.palette) {
      EXPECT_EQ(dib.palette[200].rgbGreen, 200);
    }
    // Same sheet, same place: the DIB is the rows bottom-up, colour as B, G, R.
    const int sampleBytes = c.bits / c.samples / 8;
    for (int y = 0; y < 45; ++y) {
      const uint8_t* d = dib.bits.data() + size_t(44 - y) * stride;
      const uint8_t* r = rows.data() + size_t(y) * rowBytes;
      for (int x = 0; x < 120; ++x)
        for (int s = 0; s < c.samples; ++s)
          for (int k = 0; k < sampleBytes; ++k) {
            const int from = (x * c.samples + s) * sampleBytes + k;
            const int to = (x * c.samples + (c.samples - 1 - s)) * sampleBytes + k;
            ASSERT_EQ(d[to], r[from]) << x << "," << y;
          }
    }
    // A real page, not a blank: the sheet's title and its margin differ.
    const auto [lo, hi] = std::minmax_element(rows.begin(), rows.end());
    EXPECT_GT(*hi - *lo, 100);
  }
}

TEST_F(IntegrationTest, BlackAndWhiteIsTheGrayPageThresholdedAbove128) {
  Scan(PX_PIXEL_GRAY8);
  const Dib gray = TakeDib(*q_);
  const ImageInfo info = Scan(PX_PIXEL_BW);
  EXPECT_EQ(info.BitsPerPixel, 1);
  const Dib bw = TakeDib(*q_);
  EXPECT_EQ(bw.header.biBitCount, 1);
  EXPECT_EQ(bw.header.biClrUsed, 2u);
  ASSERT_EQ(bw.palette.size(), 2u);
  EXPECT_EQ(bw.palette[1].rgbRed, 255);
  const uint32_t stride = 16;  // 120 bits = 15 bytes, padded
  EXPECT_EQ(bw.header.biSizeImage, stride * 45);
  int ones = 0;
  for (int y = 0; y < 45; ++y)
    for (int x = 0; x < 120; ++x) {
      const bool bit = bw.bits[y * stride + x / 8] & (0x80 >> (x % 8));
      ASSERT_EQ(bit, gray.bits[y * 120 + x] > 128) << x << "," << y;
      ones += bit;
    }
  EXPECT_GT(ones, 0);
  EXPECT_LT(ones, 120 * 45);
}

TEST_F(IntegrationTest, ReducedDepthTakesTheHighBytes) {
  Scan(PX_PIXEL_COLOR48, 40, 10);
  const Dib deep = TakeDib(*q_);
  void* panel = nullptr;
  ASSERT_EQ(q_->OpenUI(nullptr, &panel, 1, "integration"), 0);
  ASSERT_EQ(q_->CloseUI(), 0);
  const ImageInfo info = Scan(PX_PIXEL_COLOR48, 40, 10);
  EXPECT_EQ(info.BitsPerPixel, 24);
  EXPECT_EQ(info.BitsPerSample[1], 8);
  MemBlockInfo block{};
  Bytes out(1000);
  EXPECT_EQ(q_->GetImageMem(out.data(), 1000, &block), 1) << "no blocks for reduced pages";
  Scan(PX_PIXEL_COLOR48, 40, 10);
  const Dib reduced = TakeDib(*q_);
  EXPECT_EQ(reduced.header.biBitCount, 24);
  EXPECT_EQ(reduced.header.biSizeImage, 120u * 10);
  for (size_t i = 0; i < 120 * 10; ++i) ASSERT_EQ(reduced.bits[i], deep.bits[2 * i + 1]) << i;
}

TEST_F(IntegrationTest, ReturnCodesForFailureCancelAndShortPages) {
  sim_.Write("ShortPageLines=7\n");
  const ImageInfo shortPage = Scan(PX_PIXEL_GRAY8);
  EXPECT_EQ(shortPage.Height, 7);
  TakeDib(*q_);

  const HostSetting h = MakeHostSetting(PX_PIXEL_GRAY8, 0, 0, 50, 20, 75);
  ASSERT_EQ(q_->SetScanSettings(&h), 0);
  sim_.Write("RefuseParameters=1\n");
  EXPECT_EQ(q_->NoUItoXferImage(), 1);
  sim_.Write("ReadFailStatus=42\n");
  EXPECT_EQ(q_->NoUItoXferImage(), 2);
  sim_.Write("ReadFailStatus=7\n");
  EXPECT_EQ(q_->NoUItoXferImage(), 1);
  sim_.Write("ExtraLines=3\n");
  EXPECT_EQ(q_->NoUItoXferImage(), 1);
  sim_.Write("PaperPresent=0\n");
  EXPECT_EQ(q_->NoUItoXferImage(), 1);
  ImageInfo info{};
  EXPECT_EQ(q_->GetImageInfo(&info), 1);
  sim_.Write("");
  EXPECT_EQ(q_->NoUItoXferImage(), 0);
}

TEST(IntegrationOpen, DeviceThatNeverOpensAndSecondSession) {
  SimulatorIni sim;
  {
    sim.Write("OpenFailures=5\n");
    RealQuorra q;
    EXPECT_EQ(q->OpenDS(nullptr, nullptr, 0), 1);
    EXPECT_EQ(q->CloseDS(), 0);
    // The simulator counts failures from its load; CloseDS unloaded it.
    sim.Write("OpenFailures=4\n");
    EXPECT_EQ(q->OpenDS(nullptr, nullptr, 0), 0);
    EXPECT_EQ(q->CloseDS(), 0);
    sim.Write("");
    ASSERT_EQ(q->OpenDS(nullptr, nullptr, 0), 0);
    const HostSetting h = MakeHostSetting(PX_PIXEL_COLOR24, 0, 0, 30, 30, 75);
    ASSERT_EQ(q->SetScanSettings(&h), 0);
    EXPECT_EQ(q->NoUItoXferImage(), 0);
  }
}

/// The real imaging libraries behind a recording Korvel, so the Scan request
/// can switch on the whole pipeline.
TEST(IntegrationPipeline, ScanRequestWithEveryStepOn) {
  SimulatorIni sim;
  standin::Reset();
  const std::string bin = BinDir();
  Harness harness({{bin + "/Vantor.so", "Vantor.so"},
                   {bin + "/Tembra.so", "Tembra.so"},
                   {bin + "/Filter.so", "Filter.so"},
                   {bin + "/GeometryTrans.so", "GeometryTrans.so"},
                   {bin + "/ColorMatch.so", "ColorMatch.so"},
                   {bin + "/Sepcal.ini", "Sepcal.ini"},
                   {"Korvel.so", "Korvel.so"}});
  QuorraApi& q = harness.Api();
  ASSERT_EQ(q.OpenDS(HostImageReady, HostEvent, 1), 0);
  ScanSetting& s = standin::Ctl().korvel.setting;
  s = MakeScanSetting(PX_PIXEL_COLOR24, 0, 0, 100);
  s.Deskew = 1;
  s.AutoLevel = 1;
  s.Hue = 10;
  s.Saturation = 20;
  s.FilterChoice = 1;
  s.DescreenType = 3;
  s.Red.Brightness = 10;
  standin::Ctl().korvel.logProgress = false;
  ClearLog();
  g_imageReadyCalls = 0;
  EXPECT_EQ(standin::Ctl().korvel.callbacks.Scan(), 5);
  EXPECT_EQ(g_imageReadyCalls, 1);
  EXPECT_EQ(Calls({"Korvel.UI_ErrMsg"}), std::vector<std::string>{});
  ImageInfo info{};
  ASSERT_EQ(q.GetImageInfo(&info), 0);
  // Straightened and cut to the A4 sheet at 100 dpi, give or take the edges.
  EXPECT_NEAR(info.Width, 827, 15);
  EXPECT_NEAR(info.Height, 1169, 15);
  const Dib dib = TakeDib(q);
  EXPECT_EQ(dib.header.biWidth, info.Width);
  q.CloseDS();
  standin::Reset();
}

}  // namespace
}  // namespace quorra_test
