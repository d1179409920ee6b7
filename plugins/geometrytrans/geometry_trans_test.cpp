// Deskew and crop through the library's exports, on synthetic scanned pages
// whose sheet position is known exactly.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <tuple>

#include <opencv2/imgproc.hpp>

#include "plugins/geometrytrans/library_fixture.h"
#include "plugins/geometrytrans/synthetic_page.h"

namespace geometry::testing {
namespace {

std::uint64_t Checksum(const cv::Mat& m) {
  std::uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < m.rows; ++y) {
    const uchar* p = m.ptr(y);
    for (std::size_t i = 0; i < m.cols * m.elemSize(); ++i) h = (h ^ p[i]) * 1099511628211ull;
  }
  return h;
}

// The page region the crop should have copied: the box around the sheet's
// corners, pixel for pixel.
cv::Rect ExpectedCropBox(const SyntheticSheet& s) {
  double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
  for (const auto& p : s.Corners()) {
    minX = std::min(minX, p.x);
    maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  const int x0 = std::max(0, static_cast<int>(std::lround(minX + 0.5)));
  const int y0 = std::max(0, static_cast<int>(std::lround(minY + 0.5)));
  const int x1 = std::min(s.page.cols, static_cast<int>(std::lround(maxX + 0.5)));
  const int y1 = std::min(s.page.rows, static_cast<int>(std::lround(maxY + 0.5)));
  return {x0, y0, x1 - x0, y1 - y0};
}

// Where `crop` was cut from `page`, searching offsets near `expected`; an
// empty rectangle when it is no exact copy of any of them.
cv::Rect LocateCopy(const cv::Mat& page, const cv::Mat& crop, cv::Point expected, int reach) {
  for (int dy = -reach; dy <= reach; ++dy) {
    for (int dx = -reach; dx <= reach; ++dx) {
      const cv::Rect r(expected.x + dx, expected.y + dy, crop.cols, crop.rows);
      if ((r & cv::Rect(0, 0, page.cols, page.rows)) != r) continue;
      if (cv::norm(page(r), crop, cv::NORM_INF) == 0.0) return r;
    }
  }
  return {};
}

class DeskewAccuracy : public GeometryLibrary, public ::testing::WithParamInterface<std::tuple<int, double>> {};

// The goal at 300 dpi: at most 0.1 degree of skew left and every edge within
// two pixels of the sheet's, for any skew within 10 degrees either way.
TEST_P(DeskewAccuracy, StraightensAndCutsToTheSheet) {
  SheetOptions options;
  options.typeCode = std::get<0>(GetParam());
  options.angleDegrees = std::get<1>(GetParam());
  options.shift = {37.3, -21.6};
  options.seed = 11 + static_cast<std::uint64_t>(std::fabs(options.angleDegrees) * 10);
  const SyntheticSheet s = RenderSheet(options);
  const std::uint64_t before = Checksum(s.page);

  int width = s.page.cols, height = s.page.rows;
  const cv::Mat result = Take(
      [&](int* w, int* h) { return api_.ImageDeskew(options.typeCode, s.page.data, w, h, nullptr); },
      s.page.type(), &width, &height);
  ASSERT_FALSE(result.empty());
  EXPECT_EQ(Checksum(s.page), before) << "the caller's page was written";
  EXPECT_NEAR(width, s.sheet.width, 2);
  EXPECT_NEAR(height, s.sheet.height, 2);

  const Placement placement = MeasurePlacement(s, result);
  ASSERT_EQ(placement.markersFound, 4);
  EXPECT_LE(std::fabs(placement.residualDegrees), 0.1);
  EXPECT_LE(placement.worstCornerError, 2.0);
  if (std::getenv("GEOMETRY_DEBUG")) {
    std::printf("type %d angle %.2f residual %.4f worst corner %.2f\n", options.typeCode, options.angleDegrees,
                placement.residualDegrees, placement.worstCornerError);
  }
}

INSTANTIATE_TEST_SUITE_P(Colour24, DeskewAccuracy,
                         ::testing::Combine(::testing::Values(0),
                                            ::testing::Values(-10.0, -7.3, -3.0, -1.5, -0.4, 0.15, 0.8, 2.5,
                                                              5.0, 8.6, 10.0)));
INSTANTIATE_TEST_SUITE_P(OtherTypes, DeskewAccuracy,
                         ::testing::Combine(::testing::Values(1, 2, 3), ::testing::Values(-9.0, 1.5, 6.2)));

class Geometry : public GeometryLibrary {};

// At the scanner's real width (8.5 inches) a turned A4 sheet runs off both
// sides. What was scanned must still land where the sheet says, and the
// missing corners show the background colour.
TEST_F(Geometry, DeskewsASheetThatRunsOffTheImage) {
  SheetOptions options;
  options.angleDegrees = -7.0;
  options.pageSize = cv::Size(2550, 3900);
  const SyntheticSheet s = RenderSheet(options);
  int width = s.page.cols, height = s.page.rows;
  const cv::Mat result = Take([&](int* w, int* h) { return api_.ImageDeskew(0, s.page.data, w, h, nullptr); },
                              s.page.type(), &width, &height);
  ASSERT_FALSE(result.empty());
  const Placement placement = MeasurePlacement(s, result);
  ASSERT_EQ(placement.markersFound, 4);
  EXPECT_LE(std::fabs(placement.residualDegrees), 0.1);
  EXPECT_LE(placement.worstCornerError, 2.0);
  // The bottom right corner of the sheet was outside the scan.
  const cv::Vec3b corner = result.at<cv::Vec3b>(result.rows - 3, result.cols - 3);
  EXPECT_EQ(corner, cv::Vec3b(30, 30, 30));
}

// Some devices deliver more lines per inch than pixels per inch (300 x 600
// dpi); the page is zoomed to square pixels only later. A turned sheet is
// then a parallelogram, which deskew must square up all the same.
TEST_F(Geometry, DeskewsPagesWithUnequalResolutions) {
  for (const double angle : {-6.0, 2.5}) {
    SCOPED_TRACE(::testing::Message() << "angle " << angle);
    SheetOptions options;
    options.dpi = 150;
    options.angleDegrees = angle;
    const SyntheticSheet s = RenderSheet(options);
    cv::Mat tall;
    cv::resize(s.page, tall, cv::Size(s.page.cols, 2 * s.page.rows), 0, 0, cv::INTER_LINEAR);
    int width = tall.cols, height = tall.rows;
    const cv::Mat result = Take([&](int* w, int* h) { return api_.ImageDeskew(0, tall.data, w, h, nullptr); },
                                tall.type(), &width, &height);
    ASSERT_FALSE(result.empty());
    EXPECT_NEAR(width, s.sheet.width, 2);
    EXPECT_NEAR(height, 2 * s.sheet.height, 3);
    cv::Mat square;
    cv::resize(result, square, cv::Size(result.cols, result.rows / 2), 0, 0, cv::INTER_AREA);
    const Placement placement = MeasurePlacement(s, square);
    ASSERT_EQ(placement.markersFound, 4);
    EXPECT_LE(std::fabs(placement.residualDegrees), 0.1);
    EXPECT_LE(placement.worstCornerError, 2.0);
  }
}

TEST_F(Geometry, CropCopiesTheSheetsBoxWithoutTurning) {
  for (const double angle : {0.0, 4.0, -9.5}) {
    for (const int type : {0, 3}) {
      SCOPED_TRACE(::testing::Message() << "angle " << angle << " type " << type);
      SheetOptions options;
      options.typeCode = type;
      options.dpi = 150;
      options.angleDegrees = angle;
      options.shift = {-40.0, 25.0};
      const SyntheticSheet s = RenderSheet(options);
      const std::uint64_t before = Checksum(s.page);
      int width = s.page.cols, height = s.page.rows;
      const cv::Mat crop = Take([&](int* w, int* h) { return api_.ImageCrop(type, s.page.data, w, h, nullptr); },
                                s.page.type(), &width, &height);
      ASSERT_FALSE(crop.empty());
      EXPECT_EQ(Checksum(s.page), before);
      const cv::Rect expected = ExpectedCropBox(s);
      EXPECT_NEAR(crop.cols, expected.width, 2);
      EXPECT_NEAR(crop.rows, expected.height, 2);
      const cv::Rect found = LocateCopy(s.page, crop, expected.tl(), 2);
      ASSERT_FALSE(found.empty()) << "the crop is not an unchanged part of the page near the sheet";
      EXPECT_NEAR(found.br().x, expected.br().x, 2);
      EXPECT_NEAR(found.br().y, expected.br().y, 2);
    }
  }
}

// Paper sticking out of the sheet's rectangle (a tab, a label) is kept by
// the crop; it is not part of the rectangle deskew straightens.
TEST_F(Geometry, CropKeepsPaperStickingOut) {
  SheetOptions options;
  options.dpi = 150;
  options.angleDegrees = 1.0;
  const SyntheticSheet s = RenderSheet(options);
  cv::Mat page = s.page.clone();
  const auto corners = s.Corners();
  const cv::Rect tab(static_cast<int>(corners[1].x) - 10, static_cast<int>(corners[1].y) + 300, 40, 120);
  cv::rectangle(page, tab, cv::Scalar(235, 235, 235), cv::FILLED);
  int width = page.cols, height = page.rows;
  const cv::Mat crop = Take([&](int* w, int* h) { return api_.ImageCrop(0, page.data, w, h, nullptr); }, page.type(),
                            &width, &height);
  ASSERT_FALSE(crop.empty());
  const cv::Rect box = ExpectedCropBox(s);
  const cv::Rect found = LocateCopy(page, crop, box.tl(), 2);
  ASSERT_FALSE(found.empty());
  EXPECT_GE(found.br().x, tab.br().x - 2);
  EXPECT_LE(found.br().x, tab.br().x + 6);
  EXPECT_NEAR(found.br().y, box.br().y, 2);

  width = page.cols;
  height = page.rows;
  const cv::Mat straight = Take([&](int* w, int* h) { return api_.ImageDeskew(0, page.data, w, h, nullptr); },
                                page.type(), &width, &height);
  ASSERT_FALSE(straight.empty());
  EXPECT_NEAR(width, s.sheet.width, 2);
}

TEST_F(Geometry, NothingFoundOrNothingToChangeGivesNull) {
  int width = 600, height = 800;
  // Only the feeder's background, with noise.
  cv::Mat empty(height, width, CV_8UC3, cv::Scalar(30, 30, 30));
  cv::randn(empty, cv::Scalar::all(30), cv::Scalar::all(3));
  EXPECT_EQ(api_.ImageDeskew(0, empty.data, &width, &height, nullptr), nullptr);
  EXPECT_EQ(api_.ImageCrop(0, empty.data, &width, &height, nullptr), nullptr);
  EXPECT_EQ(width, 600);
  EXPECT_EQ(height, 800);

  // A scrap smaller than the smallest sheet (30% of the image).
  cv::rectangle(empty, cv::Rect(100, 100, 200, 300), cv::Scalar(240, 240, 240), cv::FILLED);
  EXPECT_EQ(api_.ImageCrop(0, empty.data, &width, &height, nullptr), nullptr);
  // A smaller minimum accepts it.
  api_.SetBGInfo(30, 30, 30, 55.0f, 10.0f);
  unsigned char* out = api_.ImageCrop(0, empty.data, &width, &height, nullptr);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(width, 200);
  EXPECT_EQ(height, 300);
  api_.FreeBuffer(&out);

  // A straight sheet that already fills the image: deskew and crop have
  // nothing to do.
  SheetOptions options;
  options.dpi = 100;
  const SyntheticSheet s = RenderSheet(options);
  const cv::Mat sheetOnly = s.page(ExpectedCropBox(s)).clone();
  width = sheetOnly.cols;
  height = sheetOnly.rows;
  EXPECT_EQ(api_.ImageCrop(0, sheetOnly.data, &width, &height, nullptr), nullptr);
  EXPECT_EQ(api_.ImageDeskew(0, sheetOnly.data, &width, &height, nullptr), nullptr);
  EXPECT_EQ(width, sheetOnly.cols);
  EXPECT_EQ(height, sheetOnly.rows);
}

TEST_F(Geometry, DeskewOfAStraightSheetIsAnExactCrop) {
  SheetOptions options;
  options.dpi = 150;
  options.typeCode = 2;
  options.shift = {12.0, -30.0};
  const SyntheticSheet s = RenderSheet(options);
  int width = s.page.cols, height = s.page.rows;
  const cv::Mat result = Take([&](int* w, int* h) { return api_.ImageDeskew(2, s.page.data, w, h, nullptr); },
                              s.page.type(), &width, &height);
  ASSERT_FALSE(result.empty());
  const cv::Rect expected = ExpectedCropBox(s);
  EXPECT_FALSE(LocateCopy(s.page, result, expected.tl(), 2).empty()) << "a straight sheet was resampled";
}

TEST_F(Geometry, BackgroundSettingsDecideWhatIsPaper) {
  // No BGInfo configured: the application passes zeros, and the defaults
  // must still find the sheet on the feeder's background.
  api_.SetBGInfo(0, 0, 0, 0.0f, 0.0f);
  SheetOptions options;
  options.dpi = 100;
  options.angleDegrees = 3.0;
  const SyntheticSheet s = RenderSheet(options);
  int width = s.page.cols, height = s.page.rows;
  const cv::Mat found = Take([&](int* w, int* h) { return api_.ImageDeskew(0, s.page.data, w, h, nullptr); },
                             s.page.type(), &width, &height);
  ASSERT_FALSE(found.empty());
  EXPECT_NEAR(width, s.sheet.width, 2);

  // A light gray feeder: within the default tolerance of the paper, so
  // nothing stands out; a tighter tolerance finds the sheet.
  options.background = cv::Scalar(200, 200, 200);
  options.printAtEdge = false;
  const SyntheticSheet light = RenderSheet(options);
  width = light.page.cols;
  height = light.page.rows;
  api_.SetBGInfo(200, 200, 200, 55.0f, 30.0f);
  EXPECT_EQ(api_.ImageDeskew(0, light.page.data, &width, &height, nullptr), nullptr);
  api_.SetBGInfo(200, 200, 200, 20.0f, 30.0f);
  const cv::Mat lightResult =
      Take([&](int* w, int* h) { return api_.ImageDeskew(0, light.page.data, w, h, nullptr); }, light.page.type(),
           &width, &height);
  ASSERT_FALSE(lightResult.empty());
  EXPECT_NEAR(width, light.sheet.width, 2);
  EXPECT_NEAR(height, light.sheet.height, 2);
}

TEST_F(Geometry, ProgressRunsFromStartToEnd) {
  SheetOptions options;
  options.dpi = 75;
  options.angleDegrees = 2.0;
  const SyntheticSheet s = RenderSheet(options);
  for (const bool deskew : {true, false}) {
    ProgressLog::calls.clear();
    int width = s.page.cols, height = s.page.rows;
    unsigned char* out = deskew ? api_.ImageDeskew(0, s.page.data, &width, &height, &ProgressLog::Record)
                                : api_.ImageCrop(0, s.page.data, &width, &height, &ProgressLog::Record);
    ASSERT_NE(out, nullptr);
    api_.FreeBuffer(&out);
    ASSERT_GE(ProgressLog::calls.size(), 2u);
    int last = -1;
    for (const auto& [done, total] : ProgressLog::calls) {
      EXPECT_GT(total, 0);
      EXPECT_GE(done, last);
      EXPECT_LE(done, total);
      last = done;
    }
    EXPECT_EQ(ProgressLog::calls.front().first, 0);
    EXPECT_EQ(ProgressLog::calls.back().first, ProgressLog::calls.back().second);
  }
}

TEST_F(Geometry, UnusableArgumentsGiveNullAndLeaveSizesAlone) {
  std::vector<unsigned char> small(64 * 64 * 6, 200);
  using Call = unsigned char* (*)(GeometryTransApi&, int, unsigned char*, int*, int*);
  const Call calls[] = {
      [](GeometryTransApi& a, int t, unsigned char* i, int* w, int* h) { return a.ImageDeskew(t, i, w, h, nullptr); },
      [](GeometryTransApi& a, int t, unsigned char* i, int* w, int* h) { return a.ImageCrop(t, i, w, h, nullptr); },
      [](GeometryTransApi& a, int t, unsigned char* i, int* w, int* h) {
        return a.ImageZoom(300, 300, 150, 150, t, i, w, h, nullptr);
      },
      [](GeometryTransApi& a, int t, unsigned char* i, int* w, int* h) {
        return a.ImageResize(t, i, w, h, 10, 10, nullptr);
      }};
  for (const Call call : calls) {
    int width = 64, height = 64;
    EXPECT_EQ(call(api_, 0, nullptr, &width, &height), nullptr);
    EXPECT_EQ(call(api_, 0, small.data(), nullptr, &height), nullptr);
    EXPECT_EQ(call(api_, 0, small.data(), &width, nullptr), nullptr);
    EXPECT_EQ(call(api_, 4, small.data(), &width, &height), nullptr);
    EXPECT_EQ(call(api_, -1, small.data(), &width, &height), nullptr);
    for (const auto& [w, h] : {std::pair{0, 64}, {64, 0}, {-5, 64}, {64, -1}, {INT32_MIN, INT32_MIN},
                               {INT32_MAX, INT32_MAX}, {(1 << 17) + 1, 1}, {1, (1 << 17) + 1}, {100000, 100000}}) {
      width = w;
      height = h;
      // Refused from the sizes alone, before any pixel is read.
      EXPECT_EQ(call(api_, 0, small.data(), &width, &height), nullptr) << w << " x " << h;
      EXPECT_EQ(width, w);
      EXPECT_EQ(height, h);
    }
  }
  unsigned char* nothing = nullptr;
  api_.FreeBuffer(&nothing);
  api_.FreeBuffer(nullptr);
  EXPECT_EQ(nothing, nullptr);
}

// Pages of random shapes and noise: whatever is found, a result must lie
// within what a page of that size can give, and the page stays untouched.
TEST_F(Geometry, RandomPagesGiveSaneResults) {
  cv::RNG rng(20261207);
  for (int round = 0; round < 40; ++round) {
    const int type = rng.uniform(0, 4);
    const int w = rng.uniform(16, 700), h = rng.uniform(16, 700);
    cv::Mat page(h, w, MatTypeOfCode(type));
    const double top = type >= 2 ? 65535.0 : 255.0;
    cv::randu(page, cv::Scalar::all(0), cv::Scalar::all(top * rng.uniform(0.05, 1.0)));
    for (int shapes = rng.uniform(0, 4); shapes > 0; --shapes) {
      const cv::RotatedRect r(cv::Point2f(rng.uniform(0.0f, float(w)), rng.uniform(0.0f, float(h))),
                              cv::Size2f(rng.uniform(1.0f, float(w)), rng.uniform(1.0f, float(h))),
                              rng.uniform(-90.0f, 90.0f));
      cv::Point2f corners[4];
      r.points(corners);
      std::vector<cv::Point> polygon(corners, corners + 4);
      cv::fillConvexPoly(page, polygon, cv::Scalar::all(top * rng.uniform(0.0, 1.0)));
    }
    const cv::Mat copy = page.clone();
    for (const bool deskew : {true, false}) {
      SCOPED_TRACE(::testing::Message() << "round " << round << " type " << type << " " << w << "x" << h
                                        << (deskew ? " deskew" : " crop"));
      int width = w, height = h;
      unsigned char* out = deskew ? api_.ImageDeskew(type, page.data, &width, &height, nullptr)
                                  : api_.ImageCrop(type, page.data, &width, &height, nullptr);
      if (!out) {
        EXPECT_EQ(width, w);
        EXPECT_EQ(height, h);
        continue;
      }
      EXPECT_GE(width, 1);
      EXPECT_GE(height, 1);
      if (deskew) {
        // Straightened, a sheet is never more than the page's diagonal long.
        EXPECT_LE(std::hypot(width, height), std::hypot(w, h) * 1.5 + 4);
      } else {
        EXPECT_LE(width, w);
        EXPECT_LE(height, h);
        EXPECT_TRUE(width < w || height < h);
      }
      api_.FreeBuffer(&out);
    }
    EXPECT_EQ(cv::norm(page, copy, cv::NORM_INF), 0.0);
  }
}

// Tiny and odd pages are no sheet, not a crash.
TEST_F(Geometry, TinyPagesAreHandled) {
  for (int type = 0; type < 4; ++type) {
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 500}, {500, 1}, {3, 7}, {17, 16}}) {
      cv::Mat page(h, w, MatTypeOfCode(type), cv::Scalar::all(type >= 2 ? 60000 : 240));
      int width = w, height = h;
      EXPECT_EQ(api_.ImageDeskew(type, page.data, &width, &height, nullptr), nullptr);
      EXPECT_EQ(api_.ImageCrop(type, page.data, &width, &height, nullptr), nullptr);
      EXPECT_EQ(width, w);
      EXPECT_EQ(height, h);
    }
  }
}

}  // namespace
}  // namespace geometry::testing
