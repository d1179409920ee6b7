#include "vantor/sim/image_sheet.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "vantor/sim/sensor_response.h"

namespace vantor_sim {
namespace {

namespace fs = std::filesystem;

class ImageSheetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantor-image-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }
  fs::path dir_;
};

std::vector<uint8_t> Be(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

TEST_F(ImageSheetTest, ReadsTheRecordedResolution) {
  // PNG: signature, IHDR, then pHYs in pixels per metre.
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&](const char* type, std::vector<uint8_t> data) {
    auto len = Be(uint32_t(data.size()));
    png.insert(png.end(), len.begin(), len.end());
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    png.insert(png.end(), 4, 0);  // CRC, not checked here
  };
  chunk("IHDR", std::vector<uint8_t>(13, 1));
  std::vector<uint8_t> phys = Be(23622);  // 600 dpi
  const auto y = Be(11811);               // 300 dpi
  phys.insert(phys.end(), y.begin(), y.end());
  phys.push_back(1);
  chunk("pHYs", phys);
  auto dpi = RecordedDpi(Write("a.png", png));
  EXPECT_DOUBLE_EQ(dpi.first, 600);
  EXPECT_DOUBLE_EQ(dpi.second, 300);

  std::vector<uint8_t> jfif = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 1, 0x01, 0x2C, 0x00, 0x96};
  dpi = RecordedDpi(Write("a.jpg", jfif));
  EXPECT_DOUBLE_EQ(dpi.first, 300);
  EXPECT_DOUBLE_EQ(dpi.second, 150);
  jfif[13] = 2;  // dots per centimetre
  jfif[14] = 0, jfif[15] = 118, jfif[16] = 0, jfif[17] = 118;
  EXPECT_DOUBLE_EQ(RecordedDpi(Write("b.jpg", jfif)).first, 300);
  jfif[13] = 0;  // aspect ratio only
  EXPECT_DOUBLE_EQ(RecordedDpi(Write("c.jpg", jfif)).first, 0);

  EXPECT_DOUBLE_EQ(RecordedDpi(Write("short.bmp", {'B', 'M', 1, 2})).first, 0);
  EXPECT_DOUBLE_EQ(RecordedDpi((dir_ / "missing.png").string()).first, 0);
}

TEST_F(ImageSheetTest, SixteenBitFilesKeepTheirDetail) {
  cv::Mat ramp(4, 4096, CV_16UC3);
  for (int x = 0; x < ramp.cols; ++x)
    for (int y = 0; y < ramp.rows; ++y) ramp.at<cv::Vec3w>(y, x) = cv::Vec3w(uint16_t(x * 16), uint16_t(x * 16), uint16_t(x * 16));
  const std::string path = (dir_ / "ramp.png").string();
  ASSERT_TRUE(cv::imwrite(path, ramp));
  const auto sheet = LoadImageSheet(path, 600, 600);
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->gridWidth(), 4096);
  EXPECT_DOUBLE_EQ(sheet->widthUnits(), 4096) << "300 dpi when the file records none";
  std::vector<float> row(size_t(sheet->gridWidth()) * 3);
  sheet->RenderRows(1, 1, row.data());
  std::set<float> distinct;
  for (int x = 0; x < 4096; ++x) {
    distinct.insert(row[size_t(x) * 3 + 1]);
    EXPECT_NEAR(row[size_t(x) * 3 + 1], SrgbToLinear(x * 16 / 65535.0), 1e-6);
  }
  EXPECT_EQ(distinct.size(), 4096u);
}

TEST_F(ImageSheetTest, FinerFilesAreAveragedDownToTheScanResolution) {
  cv::Mat checker(400, 600, CV_8UC3);
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 600; ++x) checker.at<cv::Vec3b>(y, x) = (x + y) % 2 ? cv::Vec3b(255, 255, 255) : cv::Vec3b(0, 0, 0);
  const std::string path = (dir_ / "fine.png").string();
  ASSERT_TRUE(cv::imwrite(path, checker));
  const auto sheet = LoadImageSheet(path, 150, 75);
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->gridWidth(), 300);
  EXPECT_EQ(sheet->gridHeight(), 100);
  EXPECT_DOUBLE_EQ(sheet->widthUnits(), 600);
  EXPECT_DOUBLE_EQ(sheet->dpiX(), 150);
  EXPECT_DOUBLE_EQ(sheet->dpiY(), 75);
  std::vector<float> row(300 * 3);
  sheet->RenderRows(50, 1, row.data());
  // Half black, half white in sRGB bytes: mid gray (127.5) in linear light.
  for (int x = 0; x < 300; ++x) EXPECT_NEAR(row[size_t(x) * 3], SrgbToLinear(127.5 / 255), 0.01);
}

TEST_F(ImageSheetTest, UnreadableFilesGiveNoSheet) {
  EXPECT_FALSE(LoadImageSheet(Write("garbage.png", {0x89, 'P', 'N', 'G', 1, 2, 3}), 300, 300));
  EXPECT_FALSE(LoadImageSheet(Write("empty.bmp", {}), 300, 300));
  EXPECT_FALSE(LoadImageSheet((dir_ / "missing.bmp").string(), 300, 300));
  EXPECT_FALSE(LoadImageSheet(dir_.string(), 300, 300)) << "a folder";
  cv::Mat tiny(2, 2, CV_8UC3, cv::Scalar(1, 2, 3));
  const std::string ok = (dir_ / "ok.bmp").string();
  ASSERT_TRUE(cv::imwrite(ok, tiny));
  EXPECT_FALSE(LoadImageSheet(ok, 0, 300)) << "no resolution";
  EXPECT_TRUE(LoadImageSheet(ok, 300, 300));
}

}  // namespace
}  // namespace vantor_sim
