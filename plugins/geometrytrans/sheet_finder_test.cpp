// The sheet finder on its own: the frame it reports against the synthetic
// sheet's true place, and the background settings.
#include "plugins/geometrytrans/sheet_finder.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "plugins/geometrytrans/synthetic_page.h"

namespace geometry::testing {
namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;

void ExpectFrameMatches(const SheetFrame& frame, const SyntheticSheet& s, double angleDegrees, double edgeSlack) {
  EXPECT_NEAR(std::atan(frame.slopeH) / kDegree, angleDegrees, 0.02);
  EXPECT_NEAR(std::atan(frame.slopeV) / kDegree, angleDegrees, 0.02);
  const auto found = frame.Corners();
  const auto truth = s.Corners();
  for (int i = 0; i < 4; ++i) {
    EXPECT_LE(cv::norm(found[i] - truth[i]), edgeSlack) << "corner " << i << " found " << found[i] << " true "
                                                          << truth[i];
  }
}

TEST(SheetFinder, LocatesTheSheetWellWithinAPixel) {
  const Background background;
  for (const double angle : {-10.0, -4.2, 0.0, 0.05, 1.5, 9.9}) {
    SCOPED_TRACE(::testing::Message() << "angle " << angle);
    SheetOptions options;
    options.dpi = 200;
    options.angleDegrees = angle;
    options.shift = {-13.7, 8.2};
    const SyntheticSheet s = RenderSheet(options);
    const auto frame = FindSheet(s.page, background);
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->measuredEdges, 4);
    ExpectFrameMatches(*frame, s, angle, 0.7);
  }
}

// Sensor noise well beyond the usual, and a sheet with print bleeding off an
// edge: the fitted edges must ignore both.
TEST(SheetFinder, IgnoresNoiseAndPrintAtTheEdge) {
  SheetOptions options;
  options.dpi = 150;
  options.angleDegrees = 3.3;
  options.noise = 8.0;
  options.printAtEdge = true;
  const SyntheticSheet s = RenderSheet(options);
  cv::Mat page = s.page.clone();
  // Dust on the feeder, away from the sheet, and a bright thread touching it.
  cv::circle(page, cv::Point(8, 8), 3, cv::Scalar(250, 250, 250), cv::FILLED);
  const auto corners = s.Corners();
  cv::line(page, cv::Point(corners[1]), cv::Point(corners[1]) + cv::Point(30, -20), cv::Scalar(250, 250, 250), 1);
  const auto frame = FindSheet(page, Background{});
  ASSERT_TRUE(frame.has_value());
  ExpectFrameMatches(*frame, s, 3.3, 1.0);
}

// Every page type gives the same frame: the 16-bit samples are compared on
// the same 8-bit scale.
TEST(SheetFinder, AllTypesAgree) {
  for (int type = 0; type < 4; ++type) {
    SheetOptions options;
    options.typeCode = type;
    options.dpi = 100;
    options.angleDegrees = -2.7;
    const SyntheticSheet s = RenderSheet(options);
    ASSERT_EQ(s.page.type(), MatTypeOfCode(type));
    const auto frame = FindSheet(s.page, Background{});
    ASSERT_TRUE(frame.has_value()) << "type " << type;
    ExpectFrameMatches(*frame, s, -2.7, 0.8);
  }
}

// A sheet running off the top of the scan (the feeder started late): the top
// edge cannot be measured and falls back to what is visible, the other
// three still give the angle.
TEST(SheetFinder, SheetRunningOffTheImage) {
  SheetOptions options;
  options.dpi = 100;
  options.angleDegrees = 2.0;
  const SyntheticSheet s = RenderSheet(options);
  const int cut = 60;
  const cv::Mat page = s.page.rowRange(cut, s.page.rows);
  const auto frame = FindSheet(page, Background{});
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->measuredEdges, 3);
  EXPECT_NEAR(std::atan(frame->slopeH) / kDegree, 2.0, 0.03);
  EXPECT_NEAR(std::atan(frame->slopeV) / kDegree, 2.0, 0.03);
  const auto truth = s.Corners();
  const auto found = frame->Corners();
  // Bottom corners are measured; the top edge reaches at least to the top of
  // the image.
  EXPECT_LE(cv::norm(found[2] - (truth[2] - cv::Point2d(0, cut))), 1.0);
  EXPECT_LE(cv::norm(found[3] - (truth[3] - cv::Point2d(0, cut))), 1.0);
  EXPECT_LE(std::min(found[0].y, found[1].y), 0.0);
}

TEST(SheetFinder, NoSheetWhenTooSmallOrAbsent) {
  cv::Mat page(400, 300, CV_8UC1, cv::Scalar(30));
  EXPECT_FALSE(FindSheet(page, Background{}).has_value());
  cv::rectangle(page, cv::Rect(50, 50, 100, 100), cv::Scalar(240), cv::FILLED);  // 8% of the image
  EXPECT_FALSE(FindSheet(page, Background{}).has_value());
  const Background lenient = MakeBackground(30, 30, 30, 55.0f, 5.0f);
  const auto frame = FindSheet(page, lenient);
  ASSERT_TRUE(frame.has_value());
  EXPECT_NEAR(frame->left, 49.5, 0.3);
  EXPECT_NEAR(frame->right, 149.5, 0.3);
  EXPECT_NEAR(frame->top, 49.5, 0.3);
  EXPECT_NEAR(frame->bottom, 149.5, 0.3);
}

TEST(SheetFinder, BackgroundSettingsFallBackToDefaults) {
  const Background b = MakeBackground(1, 2, 3, 0.0f, -4.0f);
  EXPECT_EQ(b.red, 1);
  EXPECT_EQ(b.green, 2);
  EXPECT_EQ(b.blue, 3);
  EXPECT_EQ(b.tolerance, 55.0f);
  EXPECT_EQ(b.minSheetPercent, 30.0f);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(MakeBackground(0, 0, 0, nan, nan).tolerance, 55.0f);
  EXPECT_EQ(MakeBackground(0, 0, 0, inf, inf).minSheetPercent, 30.0f);
  EXPECT_EQ(MakeBackground(0, 0, 0, 1000.0f, 500.0f).tolerance, 250.0f);
  EXPECT_EQ(MakeBackground(0, 0, 0, 1000.0f, 500.0f).minSheetPercent, 100.0f);
  EXPECT_EQ(MakeBackground(0, 0, 0, 12.5f, 7.0f).tolerance, 12.5f);

  const Background grayish = MakeBackground(100, 50, 20, 55.0f, 30.0f);
  EXPECT_EQ(BackgroundFill(grayish, CV_8UC3), cv::Scalar(100, 50, 20));
  EXPECT_EQ(BackgroundFill(grayish, CV_16UC3), cv::Scalar(25700, 12850, 5140));
  // Luminance 0.299 * 100 + 0.587 * 50 + 0.114 * 20 = 61.56.
  EXPECT_EQ(BackgroundFill(grayish, CV_8UC1)[0], 62);
  EXPECT_EQ(BackgroundFill(grayish, CV_16UC1)[0], 62 * 257);
}

}  // namespace
}  // namespace geometry::testing
