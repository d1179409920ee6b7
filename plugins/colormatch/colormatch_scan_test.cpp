// End to end: the simulated scanner (Vantor.so) scans its sample document,
// ColorMatch.so corrects the page with the shipped Sepcal.ini, and the 24
// chart patches are compared with their true colours.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "interfaces/colormatch_api.h"
#include "interfaces/vantor_api.h"
#include "platform/module.h"
#include "plugins/colormatch/colormatch_test_support.h"
#include "vantor/sim/sample_document.h"
#include "vantor/sim/sensor_response.h"

namespace {

namespace fs = std::filesystem;
using colormatch::testing::DeltaE;

constexpr int kDpi = 150;
constexpr double kOffsetX = 60, kOffsetY = 45;  // 1/300 inch

struct Page {
  std::vector<uint8_t> data;
  int width = 0, height = 0;
};

class ScanAndMatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/colormatch_scan_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    // Straight sheet at a known place, so the chart's patches can be found.
    std::ofstream(dir_ / "Vantor.ini") << "[Vantor]\nSkewAngle=0\nOffsetX=" << kOffsetX << "\nOffsetY=" << kOffsetY
                                       << "\nStateFolder=" << (dir_ / "state").string() << "\n";
    setenv("VANTOR_INI", (dir_ / "Vantor.ini").c_str(), 1);
    const std::string bin = getenv("PX_BIN_DIR") ? getenv("PX_BIN_DIR") : "";
    ASSERT_TRUE(vantorModule_.Load(px::LibraryPath(bin, "Vantor"))) << px::Module::LastError();
    ASSERT_TRUE(vantorModule_.BindAll(vantor_));
    ASSERT_TRUE(matchModule_.Load(px::LibraryPath(bin, "ColorMatch"))) << px::Module::LastError();
    ASSERT_TRUE(matchModule_.BindAll(match_));
    ASSERT_EQ(match_.SetColorMatchFileName((bin + "/Sepcal.ini").c_str()), 1);
    ASSERT_NE(vantor_._Open(), 0);
  }
  void TearDown() override {
    if (vantor_._Close) vantor_._Close();
    unsetenv("VANTOR_INI");
    fs::remove_all(dir_);
  }

  Page Scan(int mode, int order) {
    Page page;
    VantorGammaInfo gamma{};
    gamma.mode = static_cast<uint16_t>(mode);
    vantor_.GetGammaInfo(&gamma);
    VantorScanParameters p{};
    p.resolution = kDpi;
    p.mode = static_cast<uint16_t>(mode);
    p.reserved128 = 128;
    vantor_.SetParameters(&p);
    EXPECT_EQ(p.status, 0);
    VantorGeometry geo{};
    vantor_.GetParameters(&geo);
    EXPECT_EQ(geo.status, 0);
    EXPECT_EQ(geo.xDpi, kDpi);
    page.data.resize(size_t(geo.bytesPerLine) * geo.lines);
    page.width = static_cast<int>(geo.bytesPerLine / (mode == 10 ? 6 : 3));
    page.height = static_cast<int>(geo.lines);
    VantorStartBlock start{};
    vantor_.StartScanEx(&start, 1);
    EXPECT_TRUE(start.status == 0 || start.status == 43);
    VantorReadBlock read{};
    read.channelOrder = static_cast<uint16_t>(order);
    read.linesWanted = static_cast<uint16_t>(geo.lines);
    read.buffer = reinterpret_cast<uintptr_t>(page.data.data());
    vantor_.ReadScannedData(&read);
    EXPECT_TRUE(read.status == 0 || read.status == 50) << read.status;
    VantorStatusBlock stop{};
    vantor_.StopScan(&stop);
    return page;
  }

  // Mean ΔE 2000 of the chart's patches (the middle half of each, averaged)
  // against their true colours.
  static double ChartError(const Page& page, int bytesPerSample, int order) {
    const vantor_sim::SampleDocument document(1, kDpi, kDpi);
    const double scale = kDpi / 300.0;
    double total = 0;
    for (int i = 0; i < 24; ++i) {
      const auto box = document.chartPatchBox(i);
      const double w = box.x1 - box.x0, h = box.y1 - box.y0;
      const int x0 = int((kOffsetX + box.x0 + w / 4) * scale), x1 = int((kOffsetX + box.x1 - w / 4) * scale);
      const int y0 = int((kOffsetY + box.y0 + h / 4) * scale), y1 = int((kOffsetY + box.y1 - h / 4) * scale);
      double sum[3] = {};
      int count = 0;
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x, ++count)
          for (int c = 0; c < 3; ++c) {
            const size_t at = ((size_t(y) * page.width + x) * 3 + c) * bytesPerSample;
            sum[c] += bytesPerSample == 1 ? page.data[at] / 255.0
                                          : (page.data[at] | (page.data[at + 1] << 8)) / 65535.0;
          }
      EXPECT_GT(count, 10);
      double got[3] = {sum[0] / count, sum[1] / count, sum[2] / count};
      if (order == 1) std::swap(got[0], got[2]);
      const auto& patch = vantor_sim::kChartPatches[i];
      const double truth[3] = {patch.r / 255.0, patch.g / 255.0, patch.b / 255.0};
      total += DeltaE(truth, got);
    }
    return total / 24;
  }

  fs::path dir_;
  px::Module vantorModule_, matchModule_;
  VantorApi vantor_;
  ColorMatchApi match_;
};

TEST_F(ScanAndMatchTest, SampleDocumentChartErrorDropsToAThird) {
  for (const auto& [mode, order] : {std::pair{2, 0}, std::pair{2, 1}, std::pair{10, 0}, std::pair{10, 1}}) {
    Page page = Scan(mode, order);
    ASSERT_GT(page.width, 0);
    const int bytes = mode == 10 ? 2 : 1;
    const double before = ChartError(page, bytes, order);
    if (bytes == 1) {
      EXPECT_EQ(match_.ColorMatchFun(page.data.data(), page.height, page.width, order), 1);
    } else {
      EXPECT_EQ(match_.ColorMatchFun30_36(page.data.data(), page.height, page.width, order), 1);
    }
    const double after = ChartError(page, bytes, order);
    EXPECT_GT(before, 2.0);
    EXPECT_LE(after, before / 3) << "mode " << mode << " order " << order << ": " << before << " -> " << after;
    RecordProperty("mode" + std::to_string(mode) + "_order" + std::to_string(order),
                   std::to_string(before) + " -> " + std::to_string(after));
  }
}

}  // namespace
