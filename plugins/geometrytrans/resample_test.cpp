// ImageZoom and ImageResize through the exports: sizes, filters, precision.
#include <cstdint>

#include <opencv2/imgproc.hpp>

#include "plugins/geometrytrans/library_fixture.h"
#include "plugins/geometrytrans/synthetic_page.h"

namespace geometry::testing {
namespace {

class Resample : public GeometryLibrary {
 protected:
  static cv::Mat Zoom(const cv::Mat& page, int type, int sx, int sy, int dx, int dy) {
    int width = page.cols, height = page.rows;
    return Take([&](int* w, int* h) { return api_.ImageZoom(sx, sy, dx, dy, type, page.data, w, h, nullptr); },
                page.type(), &width, &height);
  }
};

TEST_F(Resample, ZoomSizesFollowTheResolutions) {
  const cv::Mat page(101, 77, CV_8UC3, cv::Scalar(10, 20, 30));
  struct Case {
    int sx, sy, dx, dy, width, height;
  } cases[] = {
      {300, 300, 150, 150, 39, 51},   // 38.5 and 50.5 round up
      {300, 600, 300, 300, 77, 51},   // a device that doubles the lines
      {300, 300, 600, 600, 154, 202},
      {200, 200, 300, 300, 116, 152},  // 115.5, 151.5
      {300, 300, 1, 1, 1, 1},          // never below one pixel
      {318, 318, 300, 300, 73, 95},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.sx << "x" << c.sy << " -> " << c.dx << "x" << c.dy);
    const cv::Mat out = Zoom(page, 0, c.sx, c.sy, c.dx, c.dy);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.cols, c.width);
    EXPECT_EQ(out.rows, c.height);
    // A flat page stays flat through any filter.
    EXPECT_EQ(cv::norm(out, cv::Mat(out.size(), out.type(), cv::Scalar(10, 20, 30)), cv::NORM_INF), 0.0);
  }
}

TEST_F(Resample, NothingToChangeOrUnusableGivesNull) {
  cv::Mat page(40, 30, CV_16UC1, cv::Scalar(1234));
  int width = 30, height = 40;
  EXPECT_EQ(api_.ImageZoom(300, 300, 300, 300, 3, page.data, &width, &height, nullptr), nullptr);
  // 30 * 301 / 300 rounds back to 30 and 40 * 301 / 300 to 40.
  EXPECT_EQ(api_.ImageZoom(300, 300, 301, 301, 3, page.data, &width, &height, nullptr), nullptr);
  for (const auto& [sx, sy, dx, dy] : {std::tuple{0, 300, 150, 150}, {300, 0, 150, 150}, {300, 300, 0, 150},
                                      {300, 300, 150, -150}, {-300, -300, 150, 150}}) {
    EXPECT_EQ(api_.ImageZoom(sx, sy, dx, dy, 3, page.data, &width, &height, nullptr), nullptr);
  }
  // A result beyond the largest page is refused, not attempted.
  EXPECT_EQ(api_.ImageZoom(1, 1, INT32_MAX, INT32_MAX, 3, page.data, &width, &height, nullptr), nullptr);
  EXPECT_EQ(api_.ImageZoom(1, 1, 100000, 1, 3, page.data, &width, &height, nullptr), nullptr);
  EXPECT_EQ(api_.ImageResize(3, page.data, &width, &height, 30, 40, nullptr), nullptr);
  EXPECT_EQ(api_.ImageResize(3, page.data, &width, &height, 0, 40, nullptr), nullptr);
  EXPECT_EQ(api_.ImageResize(3, page.data, &width, &height, 30, -1, nullptr), nullptr);
  EXPECT_EQ(api_.ImageResize(3, page.data, &width, &height, INT32_MAX, INT32_MAX, nullptr), nullptr);
  EXPECT_EQ(width, 30);
  EXPECT_EQ(height, 40);
}

// Shrinking averages the area each target pixel covers, so fine detail turns
// into its mean instead of aliasing (a nearest-pixel pick would give black or
// white here).
TEST_F(Resample, ShrinkingAveragesTheCoveredArea) {
  cv::Mat checker(64, 48, CV_8UC1);
  for (int y = 0; y < checker.rows; ++y)
    for (int x = 0; x < checker.cols; ++x) checker.at<uchar>(y, x) = ((x + y) & 1) ? 200 : 40;
  const cv::Mat half = Zoom(checker, 1, 600, 600, 300, 300);
  ASSERT_EQ(half.size(), cv::Size(24, 32));
  EXPECT_EQ(cv::norm(half, cv::Mat(half.size(), CV_8UC1, cv::Scalar(120)), cv::NORM_INF), 0.0);

  // A non-integer factor averages too: stripes one pixel wide, 3 -> 2.
  const cv::Mat third = Zoom(checker, 1, 300, 300, 200, 200);
  ASSERT_EQ(third.size(), cv::Size(32, 43));
  double minValue = 0.0, maxValue = 0.0;
  cv::minMaxLoc(third(cv::Rect(1, 1, 30, 40)), &minValue, &maxValue);
  EXPECT_GT(minValue, 90.0);
  EXPECT_LT(maxValue, 150.0);
}

// 16-bit pages keep their low bits: the mean of 1000..1003 is not a multiple
// of 257, as an 8-bit detour would make it.
TEST_F(Resample, SixteenBitPagesKeepTheirPrecision) {
  cv::Mat gray(4, 4, CV_16UC1);
  const std::uint16_t block[2][2] = {{1000, 1001}, {1002, 1003}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) gray.at<std::uint16_t>(y, x) = block[y & 1][x & 1] + 20000 * (x / 2);
  const cv::Mat half = Zoom(gray, 3, 600, 600, 300, 300);
  ASSERT_EQ(half.size(), cv::Size(2, 2));
  EXPECT_NEAR(half.at<std::uint16_t>(0, 0), 1001.5, 0.5);
  EXPECT_NEAR(half.at<std::uint16_t>(1, 1), 21001.5, 0.5);

  cv::Mat colour(2, 2, CV_16UC3, cv::Scalar(40000, 123, 65535));
  colour.at<cv::Vec<std::uint16_t, 3>>(1, 1) = {40004, 127, 65531};
  const cv::Mat one = Zoom(colour, 2, 2, 2, 1, 1);
  ASSERT_EQ(one.size(), cv::Size(1, 1));
  const auto v = one.at<cv::Vec<std::uint16_t, 3>>(0, 0);
  EXPECT_EQ(v[0], 40001);
  EXPECT_EQ(v[1], 124);
  EXPECT_EQ(v[2], 65534);
}

// Enlarging interpolates smoothly: a ramp stays a ramp, with new values in
// between rather than repeated pixels (cubic weights put them within a few
// percent of the straight line).
TEST_F(Resample, EnlargingInterpolatesSmoothly) {
  cv::Mat ramp(8, 32, CV_16UC1);
  for (int y = 0; y < ramp.rows; ++y)
    for (int x = 0; x < ramp.cols; ++x) ramp.at<std::uint16_t>(y, x) = static_cast<std::uint16_t>(1000 + 1000 * x);
  const cv::Mat twice = Zoom(ramp, 3, 300, 300, 600, 600);
  ASSERT_EQ(twice.size(), cv::Size(64, 16));
  // Away from the ends, target x samples source x / 2 - 0.25.
  for (int x = 8; x < 56; ++x) {
    const double expected = 1000 + 1000 * (x / 2.0 - 0.25);
    EXPECT_NEAR(twice.at<std::uint16_t>(7, x), expected, 60.0) << x;
    EXPECT_GT(twice.at<std::uint16_t>(7, x), twice.at<std::uint16_t>(7, x - 1)) << x;
  }
}

// One axis growing while the other shrinks gets both treatments.
TEST_F(Resample, MixedScalingTreatsEachAxis) {
  cv::Mat page(8, 8, CV_8UC1);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) page.at<uchar>(y, x) = static_cast<uchar>((y & 1) ? 200 : 40);
  const cv::Mat out = Zoom(page, 1, 300, 300, 600, 150);
  ASSERT_EQ(out.size(), cv::Size(16, 4));
  // Line pairs average to their mean; along the rows nothing changes.
  EXPECT_EQ(cv::norm(out, cv::Mat(out.size(), CV_8UC1, cv::Scalar(120)), cv::NORM_INF), 0.0);
}

TEST_F(Resample, ResizeReachesTheGivenSize) {
  SheetOptions options;
  options.dpi = 50;
  options.typeCode = 2;
  const SyntheticSheet s = RenderSheet(options);
  const cv::Mat page = s.page;
  int width = page.cols, height = page.rows;
  ProgressLog::calls.clear();
  const cv::Mat out = Take(
      [&](int* w, int* h) { return api_.ImageResize(2, page.data, w, h, 333, 100, &ProgressLog::Record); },
      page.type(), &width, &height);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(width, 333);
  EXPECT_EQ(height, 100);
  ASSERT_FALSE(ProgressLog::calls.empty());
  EXPECT_EQ(ProgressLog::calls.back().first, ProgressLog::calls.back().second);
  // Area averaging keeps the page's mean colour.
  const cv::Scalar before = cv::mean(page), after = cv::mean(out);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(after[c], before[c], before[c] * 0.01) << c;
}

TEST_F(Resample, ZoomLeavesThePageAloneAndReportsProgress) {
  cv::Mat page(300, 200, CV_8UC3);
  cv::randu(page, cv::Scalar::all(0), cv::Scalar::all(256));
  const cv::Mat copy = page.clone();
  ProgressLog::calls.clear();
  int width = 200, height = 300;
  unsigned char* out = api_.ImageZoom(300, 300, 100, 100, 0, page.data, &width, &height, &ProgressLog::Record);
  ASSERT_NE(out, nullptr);
  api_.FreeBuffer(&out);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(cv::norm(page, copy, cv::NORM_INF), 0.0);
  ASSERT_GE(ProgressLog::calls.size(), 2u);
  EXPECT_EQ(ProgressLog::calls.front().first, 0);
  EXPECT_EQ(ProgressLog::calls.back().first, ProgressLog::calls.back().second);
}

}  // namespace
}  // namespace geometry::testing

namespace geometry::testing {
namespace {

// Plain area average: each target pixel is the mean of the source pixels in
// its cell, cells at the right and bottom cut short by the page's end.
template <class T>
double CellMean(const cv::Mat& source, int x, int y, int fx, int fy, int channel) {
  double sum = 0.0;
  int count = 0;
  for (int sy = y * fy; sy < std::min(source.rows, (y + 1) * fy); ++sy) {
    for (int sx = x * fx; sx < std::min(source.cols, (x + 1) * fx); ++sx) {
      sum += source.ptr<T>(sy)[sx * source.channels() + channel];
      ++count;
    }
  }
  return sum / count;
}

template <class T>
void ExpectAreaMeans(const cv::Mat& source, const cv::Mat& result, int fx, int fy) {
  for (int y = 0; y < result.rows; ++y) {
    for (int x = 0; x < result.cols; ++x) {
      for (int c = 0; c < source.channels(); ++c) {
        ASSERT_NEAR(result.ptr<T>(y)[x * result.channels() + c], (CellMean<T>(source, x, y, fx, fy, c)), 0.5001)
            << "at " << x << ", " << y << " channel " << c;
      }
    }
  }
}

// Whole-ratio zooms (600 -> 300, 600 -> 200) on odd sizes, for every type,
// against the plain average.
TEST_F(Resample, WholeRatioShrinkMatchesPlainAverages) {
  const struct {
    int sx, sy, dx, dy, fx, fy;
  } ratios[] = {{600, 600, 300, 300, 2, 2}, {600, 600, 200, 300, 3, 2}, {300, 600, 300, 300, 1, 2},
                {600, 600, 150, 150, 4, 4}};
  for (int type = 0; type < 4; ++type) {
    for (const auto& r : ratios) {
      for (const cv::Size size : {cv::Size(9, 7), cv::Size(10, 8), cv::Size(31, 17)}) {
        SCOPED_TRACE(::testing::Message() << "type " << type << " " << size << " by " << r.fx << "x" << r.fy);
        cv::Mat page(size, MatTypeOfCode(type));
        cv::randu(page, cv::Scalar::all(0), cv::Scalar::all(type >= 2 ? 65536 : 256));
        const cv::Mat out = Zoom(page, type, r.sx, r.sy, r.dx, r.dy);
        ASSERT_FALSE(out.empty());
        // Rounded sizes: a cell more than half covered is kept.
        EXPECT_EQ(out.cols, (2 * size.width / r.fx + 1) / 2);
        EXPECT_EQ(out.rows, (2 * size.height / r.fy + 1) / 2);
        if (type >= 2) {
          ExpectAreaMeans<std::uint16_t>(page, out, r.fx, r.fy);
        } else {
          ExpectAreaMeans<std::uint8_t>(page, out, r.fx, r.fy);
        }
      }
    }
  }
}

}  // namespace
}  // namespace geometry::testing
