// The simulated scanner's own sample page, scanned through Vantor.so at
// several skew angles and straightened by GeometryTrans.so. The straight scan
// of the same sheet is the reference: patches of it are found again in each
// deskewed result, which gives the turn left over and where the result's
// corners lie on the sheet.
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "interfaces/vantor_api.h"
#include "plugins/geometrytrans/library_fixture.h"
#include "plugins/geometrytrans/synthetic_page.h"

namespace geometry::testing {
namespace {

namespace fs = std::filesystem;

constexpr double kPi = 3.14159265358979323846;
constexpr double kSheetWidth = 2480;   // the sample document, 1/300 inch
constexpr double kSheetHeight = 3508;
constexpr double kDeviceWidth = 2550;
constexpr int kPatch = 128;

// The geometry type code of a device mode.
int TypeCodeOf(int mode) {
  switch (mode) {
    case 1: return 1;
    case 10: return 2;
    case 9: return 3;
    default: return 0;
  }
}

class SimulatorPage : public GeometryLibrary {
 protected:
  void SetUp() override {
    GeometryLibrary::SetUp();
    char pattern[] = "/tmp/geometry-sim-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_TRUE(vantor_.Load(px::LibraryPath(std::getenv("PX_BIN_DIR"), "Vantor"))) << px::Module::LastError();
    ASSERT_TRUE(vantor_.BindAll(device_));
  }
  void TearDown() override {
    device_.Clear();
    vantor_.Unload();
    unsetenv("VANTOR_INI");
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Scans the sample sheet turned by `angle` degrees at 300 dpi in device
  // mode `mode`, the whole device width and the sheet's length.
  cv::Mat Scan(double angle, double offsetX, double offsetY, int mode = 2, const std::string& keys = "") {
    const int matType = MatTypeOfCode(TypeCodeOf(mode));
    std::ofstream(dir_ / "Vantor.ini") << "[Vantor]\nStateFolder=state\nSkewAngle=" << angle
                                       << "\nOffsetX=" << offsetX << "\nOffsetY=" << offsetY << "\n"
                                       << keys;
    setenv("VANTOR_INI", (dir_ / "Vantor.ini").c_str(), 1);
    if (device_._Open() != 1) return {};
    VantorGammaInfo gamma{};
    gamma.mode = static_cast<uint16_t>(mode);
    device_.GetGammaInfo(&gamma);
    VantorScanParameters parameters{};
    parameters.resolution = 300;
    parameters.mode = static_cast<uint16_t>(mode);
    parameters.reserved128 = 128;
    device_.SetParameters(&parameters);
    VantorGeometry geometry{};
    if (parameters.status == 0) device_.GetParameters(&geometry);
    cv::Mat page;
    const unsigned pixelBytes = CV_ELEM_SIZE(matType);
    if (parameters.status == 0 && geometry.status == 0 && geometry.bytesPerLine % pixelBytes == 0) {
      page.create(static_cast<int>(geometry.lines), static_cast<int>(geometry.bytesPerLine / pixelBytes), matType);
      VantorStartBlock start{};
      device_.StartScanEx(&start, 1);
      if (start.status == 0 || start.status == VANTOR_STARTED) {
        VantorReadBlock read{};
        read.channelOrder = VANTOR_ORDER_RGB;
        read.linesWanted = static_cast<uint16_t>(geometry.lines);
        read.buffer = reinterpret_cast<uintptr_t>(page.data);
        device_.ReadScannedData(&read);
        if ((read.status != 0 && read.status != VANTOR_SHORT_PAGE) || read.linesDelivered != geometry.lines) {
          page.release();
        }
      } else {
        page.release();
      }
    }
    VantorStatusBlock stop{};
    device_.StopScan(&stop);
    device_._Close();
    return page;
  }

  fs::path dir_;
  px::Module vantor_;
  VantorApi device_;
};

// Offsets that centre the turned sheet across the device and put its top
// 45 units below the start of the scan. The sheet turns clockwise about its
// top-left corner.
cv::Point2d CentringOffsets(double angle) {
  const double a = angle * kPi / 180, c = std::cos(a), s = std::sin(a);
  double minX = 0, maxX = 0, minY = 0;
  for (const double x : {0.0, kSheetWidth}) {
    for (const double y : {0.0, kSheetHeight}) {
      minX = std::min(minX, x * c - y * s);
      maxX = std::max(maxX, x * c - y * s);
      minY = std::min(minY, x * s + y * c);
    }
  }
  return {kDeviceWidth / 2 - (minX + maxX) / 2, 45 - minY};
}

// Where the reference patch at `at` lies in `result`, searched within `reach`
// pixels of the same place; sub-pixel from the correlation peak.
std::optional<cv::Point2d> Locate(const cv::Mat& reference, cv::Point at, const cv::Mat& result, int reach) {
  const cv::Rect window = cv::Rect(at.x - reach, at.y - reach, kPatch + 2 * reach, kPatch + 2 * reach);
  if ((window & cv::Rect(0, 0, result.cols, result.rows)) != window) return std::nullopt;
  cv::Mat score;
  cv::matchTemplate(result(window), reference(cv::Rect(at, cv::Size(kPatch, kPatch))), score, cv::TM_CCOEFF_NORMED);
  double best = 0.0;
  cv::Point peak;
  cv::minMaxLoc(score, nullptr, &best, nullptr, &peak);
  if (best < 0.85 || peak.x < 1 || peak.y < 1 || peak.x >= score.cols - 1 || peak.y >= score.rows - 1) {
    return std::nullopt;
  }
  auto vertex = [](float left, float centre, float right) {
    const float d = left - 2 * centre + right;
    return d < 0 ? 0.5 * (left - right) / d : 0.0;
  };
  const double dx = vertex(score.at<float>(peak.y, peak.x - 1), best, score.at<float>(peak.y, peak.x + 1));
  const double dy = vertex(score.at<float>(peak.y - 1, peak.x), best, score.at<float>(peak.y + 1, peak.x));
  return cv::Point2d(window.x + peak.x + dx, window.y + peak.y + dy);
}

// True when the patch at `at` looks like nothing else nearby in its own page:
// repeated print (a row of similar words) would give ambiguous matches.
bool IsUnique(const cv::Mat& reference, cv::Point at, int reach) {
  const cv::Rect window(at.x - reach, at.y - reach, kPatch + 2 * reach, kPatch + 2 * reach);
  if ((window & cv::Rect(0, 0, reference.cols, reference.rows)) != window) return false;
  cv::Mat score;
  cv::matchTemplate(reference(window), reference(cv::Rect(at, cv::Size(kPatch, kPatch))), score,
                    cv::TM_CCOEFF_NORMED);
  // Another strong peak away from the patch's own place means a repeat; the
  // broad slope around the own peak of smooth content does not.
  cv::Mat peaks;
  cv::dilate(score, peaks, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5)));
  for (int y = 0; y < score.rows; ++y) {
    for (int x = 0; x < score.cols; ++x) {
      const float v = score.at<float>(y, x);
      if (v >= 0.8f && v >= peaks.at<float>(y, x) && std::hypot(x - reach, y - reach) > 4.0) return false;
    }
  }
  return true;
}

// A detailed, unmistakable patch near each of a dozen places spread over the
// sheet (print, photograph, chart), as top-left corners in the reference.
std::vector<cv::Point> PatchesOf(const cv::Mat& reference) {
  std::vector<cv::Point> chosen;
  const double places[][2] = {{0.5, 0.12}, {0.25, 0.2}, {0.75, 0.2}, {0.15, 0.5}, {0.85, 0.5}, {0.5, 0.5},
                              {0.3, 0.3},  {0.7, 0.7},  {0.25, 0.8}, {0.75, 0.8}, {0.5, 0.88}, {0.5, 0.35}};
  for (const auto& place : places) {
    std::vector<std::pair<double, cv::Point>> candidates;
    for (int dy = -160; dy <= 160; dy += 40) {
      for (int dx = -160; dx <= 160; dx += 40) {
        const cv::Point at(static_cast<int>(place[0] * reference.cols) + dx - kPatch / 2,
                           static_cast<int>(place[1] * reference.rows) + dy - kPatch / 2);
        cv::Scalar mean, deviation;
        cv::meanStdDev(reference(cv::Rect(at, cv::Size(kPatch, kPatch))), mean, deviation);
        if (deviation[0] > 10.0) candidates.emplace_back(deviation[0], at);
      }
    }
    std::sort(candidates.begin(), candidates.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& candidate : candidates) {
      if (IsUnique(reference, candidate.second, 24)) {
        chosen.push_back(candidate.second);
        break;
      }
    }
  }
  return chosen;
}

TEST_F(SimulatorPage, CropFindsTheStraightSheetAndDeskewStraightensTurnedOnes) {
  // Reference: the sheet lying straight with its corner on whole pixels, so
  // the crop must be exactly the sheet.
  const cv::Mat straight = Scan(0.0, 35.0, 45.0);
  ASSERT_FALSE(straight.empty()) << "the simulator delivered no page";
  int width = straight.cols, height = straight.rows;
  const cv::Mat reference = Take([&](int* w, int* h) { return api_.ImageCrop(0, straight.data, w, h, nullptr); },
                                 straight.type(), &width, &height);
  ASSERT_FALSE(reference.empty());
  EXPECT_NEAR(width, kSheetWidth, 1);
  EXPECT_NEAR(height, kSheetHeight, 1);
  EXPECT_EQ(cv::norm(reference, straight(cv::Rect(35, 45, width, height)), cv::NORM_INF), 0.0)
      << "the crop does not start at the sheet's corner";

  const cv::Mat referenceGray = ToGray8(reference);
  const std::vector<cv::Point> patches = PatchesOf(referenceGray);
  ASSERT_GE(patches.size(), 7u);
  const std::vector<cv::Point2d> sheetCorners = {
      {-0.5, -0.5}, {kSheetWidth - 0.5, -0.5}, {kSheetWidth - 0.5, kSheetHeight - 0.5}, {-0.5, kSheetHeight - 0.5}};

  // Finds the reference's patches in a deskewed result and checks the turn
  // left over and where the result's corners lie on the sheet.
  auto expectStraight = [&](const cv::Mat& result, const char* what) {
    SCOPED_TRACE(what);
    const cv::Mat resultGray = ToGray8(result);
    std::vector<cv::Point2d> from, to;
    for (const cv::Point& p : patches) {
      const auto found = Locate(referenceGray, p, resultGray, 24);
      if (!found) continue;
      from.emplace_back(p);
      to.push_back(*found);
    }
    // Print repeats along a line, so a patch can match a neighbouring word;
    // such matches disagree with the rest and are dropped one by one.
    std::vector<cv::Point2d> mapped;
    while (from.size() >= 4) {
      FitTurn(from, to, from, &mapped);
      std::size_t worst = 0;
      for (std::size_t i = 1; i < from.size(); ++i) {
        if (cv::norm(mapped[i] - to[i]) > cv::norm(mapped[worst] - to[worst])) worst = i;
      }
      if (cv::norm(mapped[worst] - to[worst]) <= 1.0) break;
      from.erase(from.begin() + static_cast<std::ptrdiff_t>(worst));
      to.erase(to.begin() + static_cast<std::ptrdiff_t>(worst));
    }
    ASSERT_GE(from.size(), 4u) << "too few parts of the sheet recognised in the result";
    const double residual = FitTurn(from, to, sheetCorners, &mapped);
    EXPECT_LE(std::fabs(residual), 0.1);
    const std::vector<cv::Point2d> resultCorners = {
        {-0.5, -0.5}, {result.cols - 0.5, -0.5}, {result.cols - 0.5, result.rows - 0.5}, {-0.5, result.rows - 0.5}};
    double worstCorner = 0.0;
    for (int i = 0; i < 4; ++i) {
      worstCorner = std::max(worstCorner, cv::norm(mapped[i] - resultCorners[i]));
      EXPECT_LE(cv::norm(mapped[i] - resultCorners[i]), 2.0) << "corner " << i << " of the sheet at " << mapped[i];
    }
    if (std::getenv("GEOMETRY_DEBUG")) {
      std::printf("%s: result %dx%d, residual %.4f degrees, worst corner %.2f px, %zu patches\n", what, result.cols,
                  result.rows, residual, worstCorner, from.size());
    }
  };

  // Mostly 24-bit colour, and each other device mode once.
  const std::pair<double, int> scans[] = {{-10.0, 2}, {-4.5, 10}, {-0.6, 2}, {1.5, 1}, {3.25, 2}, {7.0, 9}, {10.0, 2}};
  for (const auto& [angle, mode] : scans) {
    const cv::Point2d offsets = CentringOffsets(angle);
    const cv::Mat page = Scan(angle, offsets.x, offsets.y, mode);
    ASSERT_FALSE(page.empty());
    width = page.cols;
    height = page.rows;
    const int type = TypeCodeOf(mode);
    const cv::Mat result = Take([&](int* w, int* h) { return api_.ImageDeskew(type, page.data, w, h, nullptr); },
                                page.type(), &width, &height);
    ASSERT_FALSE(result.empty());
    const std::string what = "skew " + std::to_string(angle) + " mode " + std::to_string(mode);
    expectStraight(result, what.c_str());
  }

  // The simulator as shipped: 1.5 degrees, the sheet 60 units from the left
  // and so only a few pixels from the device's right end.
  {
    const cv::Mat page = Scan(1.5, 60.0, 45.0);
    ASSERT_FALSE(page.empty());
    width = page.cols;
    height = page.rows;
    const cv::Mat result = Take([&](int* w, int* h) { return api_.ImageDeskew(0, page.data, w, h, nullptr); },
                                page.type(), &width, &height);
    ASSERT_FALSE(result.empty());
    expectStraight(result, "default placement");
  }

  // A device delivering 300 x 600 dpi: the scan module deskews the page as
  // delivered and zooms it to 300 x 300 afterwards.
  const cv::Point2d offsets = CentringOffsets(4.0);
  const cv::Mat tall = Scan(4.0, offsets.x, offsets.y, 2, "DeliveredYDpi=600\n");
  ASSERT_FALSE(tall.empty());
  width = tall.cols;
  height = tall.rows;
  const cv::Mat deskewed = Take([&](int* w, int* h) { return api_.ImageDeskew(0, tall.data, w, h, nullptr); },
                                tall.type(), &width, &height);
  ASSERT_FALSE(deskewed.empty());
  const cv::Mat zoomed =
      Take([&](int* w, int* h) { return api_.ImageZoom(300, 600, 300, 300, 0, deskewed.data, w, h, nullptr); },
           deskewed.type(), &width, &height);
  ASSERT_FALSE(zoomed.empty());
  expectStraight(zoomed, "skew 4 at 300 x 600 dpi");
}

}  // namespace
}  // namespace geometry::testing
