#include "vantor/sim/scan_renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "vantor/sim/sample_document.h"
#include "vantor/sim/sensor_response.h"

namespace vantor_sim {
namespace {

// A plain white sheet of a given size.
class WhiteSheet final : public Sheet {
 public:
  WhiteSheet(double widthUnits, double heightUnits, double dpi) {
    widthUnits_ = widthUnits;
    heightUnits_ = heightUnits;
    dpiX_ = dpiY_ = dpi;
    gridWidth_ = int(std::lround(widthUnits * dpi / 300));
    gridHeight_ = int(std::lround(heightUnits * dpi / 300));
  }
  void RenderRows(int, int count, float* out) const override {
    std::fill(out, out + size_t(count) * size_t(gridWidth_) * 3, 1.0f);
  }
};

TEST(SensorEncoding, FollowsThePowerCurveToTheLastStep) {
  EXPECT_EQ(EncodeSensor(0), 0);
  EXPECT_EQ(EncodeSensor(1), 65535);
  EXPECT_EQ(EncodeSensor(2), 65535) << "clamped";
  EXPECT_EQ(EncodeSensor(-1), 0);
  uint16_t previous = 0;
  for (int i = 1; i <= 100000; ++i) {
    const float light = float(i) / 100000;
    const uint16_t v = EncodeSensor(light);
    EXPECT_GE(v, previous);
    previous = v;
    if (i % 97 == 0) {
      EXPECT_NEAR(v, std::pow(double(light), 1 / kSensorGamma) * 65535, 1.5) << light;
    }
  }
}

TEST(SensorEncoding, BackgroundComesOutAs30) {
  const uint16_t v = EncodeSensor(BackgroundLight()[0]);
  EXPECT_NEAR(v, 30 * 257, 1);
  uint8_t out[3];
  PackLine(std::vector<uint16_t>{v, v, v}.data(), 1, 2, 0, nullptr, out);
  EXPECT_EQ(out[0], 30);
}

TEST(FeedLength, IsTheSheetsLowestPointPlusTheMargin) {
  EXPECT_DOUBLE_EQ(FeedLengthUnits(2480, 3508, {60, 45, 0}), 45 + 3508 + kTrailingMarginUnits);
  const double a = 1.5 * M_PI / 180;
  EXPECT_NEAR(FeedLengthUnits(2480, 3508, {60, 45, 1.5}),
              45 + 2480 * std::sin(a) + 3508 * std::cos(a) + kTrailingMarginUnits, 1e-9);
  // Turned the other way the lowest point is the bottom-left corner.
  EXPECT_NEAR(FeedLengthUnits(2480, 3508, {60, 45, -1.5}), 45 + 3508 * std::cos(a) + kTrailingMarginUnits, 1e-9);
}

TEST(PackLine, LaysOutEveryModeAndOrder) {
  const std::vector<uint16_t> rgb = {0x1234, 0x5678, 0x9ABC, 65535, 0, 257};
  uint8_t out[12];
  PackLine(rgb.data(), 2, 10, 0, nullptr, out);
  const uint8_t colour16[] = {0x34, 0x12, 0x78, 0x56, 0xBC, 0x9A, 0xFF, 0xFF, 0, 0, 1, 1};
  EXPECT_EQ(0, std::memcmp(out, colour16, 12));
  PackLine(rgb.data(), 2, 10, 1, nullptr, out);
  const uint8_t colour16Bgr[] = {0xBC, 0x9A, 0x78, 0x56, 0x34, 0x12, 1, 1, 0, 0, 0xFF, 0xFF};
  EXPECT_EQ(0, std::memcmp(out, colour16Bgr, 12));
  PackLine(rgb.data(), 2, 2, 1, nullptr, out);
  const uint8_t colour8Bgr[] = {0x9A, 0x56, 0x12, 1, 0, 255};  // rounded to 8 bits
  EXPECT_EQ(0, std::memcmp(out, colour8Bgr, 6));
  // Gray: luma of the three encoded values.
  PackLine(rgb.data(), 2, 9, 0, nullptr, out);
  const uint32_t luma = (299u * 0x1234 + 587u * 0x5678 + 114u * 0x9ABC + 500) / 1000;
  EXPECT_EQ(out[0] | (out[1] << 8), int(luma));
  EXPECT_EQ(out[2] | (out[3] << 8), int((299u * 65535 + 114u * 257 + 500) / 1000));
}

TEST(PackLine, AppliesTheToneTableByChannel) {
  std::vector<uint16_t> table(3 * 65536);
  for (int i = 0; i < 65536; ++i) {
    table[size_t(i)] = 7;                       // red: constant
    table[65536 + size_t(i)] = uint16_t(i >> 8);  // green: 16 -> 8 bits
    table[131072 + size_t(i)] = 300;            // blue: out of 8-bit range
  }
  const std::vector<uint16_t> rgb = {40000, 40000, 40000};
  uint8_t out[6];
  PackLine(rgb.data(), 1, 2, 0, table.data(), out);
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out[1], 40000 >> 8);
  EXPECT_EQ(out[2], 255) << "an 8-bit mode never wraps a large entry";
  PackLine(rgb.data(), 1, 2, 1, table.data(), out);
  EXPECT_EQ(out[0], 255);
  EXPECT_EQ(out[2], 7);
  std::vector<uint16_t> gray(65536);
  for (int i = 0; i < 65536; ++i) gray[size_t(i)] = uint16_t(65535 - i);
  PackLine(rgb.data(), 1, 9, 0, gray.data(), out);
  EXPECT_EQ(out[0] | (out[1] << 8), 65535 - 40000);
}

// Column where the sheet starts on a row: the first pixel brighter than
// half way between background and paper.
int FirstPaperColumn(ScanRenderer& r, int line, int pixels) {
  const uint16_t* p = r.Line(line);
  for (int x = 0; x < pixels; ++x)
    if (p[3 * x + 1] > 40000) return x;
  return -1;
}
int FirstPaperLine(ScanRenderer& r, int column, int lines) {
  for (int y = 0; y < lines; ++y)
    if (r.Line(y)[3 * column + 1] > 40000) return y;
  return -1;
}

TEST(ScanRenderer, PlacesAStraightSheetAtItsOffset) {
  auto sheet = std::make_shared<WhiteSheet>(1200, 1500, 150);
  OutputFrame frame{0, 0, 1275, 900, 150, 150};  // the whole device at 150 dpi
  ScanRenderer r(sheet, {300, 240, 0}, frame);
  EXPECT_EQ(FirstPaperColumn(r, 400, 1275), 150);
  EXPECT_EQ(FirstPaperLine(r, 500, 900), 120);
  const uint16_t bg = EncodeSensor(BackgroundLight()[0]);
  EXPECT_EQ(r.Line(0)[0], bg);
  EXPECT_EQ(r.Line(899)[3 * 1274], bg);
  EXPECT_EQ(r.Line(400)[3 * 500], 65535);
  // Right and bottom edges: 1200 x 1500 units from the corner.
  EXPECT_EQ(r.Line(400)[3 * 749 + 1], 65535);
  EXPECT_EQ(r.Line(400)[3 * 751 + 1], bg);
  EXPECT_EQ(r.Line(868)[3 * 500 + 1], 65535);
}

TEST(ScanRenderer, TurnsTheSheetClockwiseAboutItsCorner) {
  for (double angle : {1.5, -4.0, 10.0}) {
    SCOPED_TRACE(angle);
    auto sheet = std::make_shared<WhiteSheet>(1800, 2400, 100);
    OutputFrame frame{0, 0, 850, 1000, 100, 100};
    ScanRenderer r(sheet, {600, 600, angle}, frame);
    const double t = std::tan(angle * M_PI / 180);
    // Top edge: y = 200 + (x - 200) tan(angle), at 100 dpi from the corner (200, 200).
    for (int x : {300, 500, 700}) EXPECT_NEAR(FirstPaperLine(r, x, 1000), 200 + (x - 200) * t, 1.0) << x;
    // Left edge: x = 200 - (y - 200) tan(angle).
    for (int y : {400, 600, 800}) EXPECT_NEAR(FirstPaperColumn(r, y, 850), 200 - (y - 200) * t, 1.0) << y;
  }
}

TEST(ScanRenderer, FrameOffsetsAndResolutionsPickTheSamePlace) {
  auto sheet = std::make_shared<WhiteSheet>(1200, 1500, 300);
  // The frame starts 90 units right and 60 down; 200 x 400 dpi.
  OutputFrame frame{90, 60, 400, 400, 200, 400};
  ScanRenderer r(sheet, {300, 240, 0}, frame);
  EXPECT_NEAR(FirstPaperColumn(r, 300, 400), (300 - 90) * 200 / 300.0, 1);
  EXPECT_NEAR(FirstPaperLine(r, 300, 400), (240 - 60) * 400 / 300.0, 1);
}

TEST(ScanRenderer, NoSheetMeansBackgroundOnly) {
  OutputFrame frame{0, 0, 50, 600, 75, 75};
  ScanRenderer r(nullptr, {}, frame);
  const uint16_t bg = EncodeSensor(BackgroundLight()[0]);
  for (int y : {0, 255, 256, 599})
    for (int i = 0; i < 150; ++i) ASSERT_EQ(r.Line(y)[i], bg);
}

TEST(ScanRenderer, LinesAreTheSameInAnyReadingOrder) {
  auto sheet = std::make_shared<SampleDocument>(4, 120, 120);
  OutputFrame frame{0, 0, 600, 400, 120, 120};
  ScanRenderer forward(sheet, {100, 100, 7}, frame), backward(sheet, {100, 100, 7}, frame);
  std::vector<std::vector<uint16_t>> lines(400);
  for (int y = 0; y < 400; ++y) lines[size_t(y)].assign(forward.Line(y), forward.Line(y) + 1800);
  for (int y = 399; y >= 0; y -= 37) {
    ASSERT_TRUE(std::equal(lines[size_t(y)].begin(), lines[size_t(y)].end(), backward.Line(y))) << y;
  }
}

}  // namespace
}  // namespace vantor_sim
