// Test pages: a sheet with print, a photograph-like area and four square
// markers, turned by a known angle onto the feeder's dark background, blurred
// a little and given sensor noise, as a scanner delivers it. Because the
// sheet's place is known exactly, a result can be measured against it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core.hpp>

namespace geometry::testing {

struct SheetOptions {
  int typeCode = 0;                 // 0 colour 24, 1 gray 8, 2 colour 48, 3 gray 16
  int dpi = 300;                    // the sheet is A4 at this resolution
  cv::Size pageSize{0, 0};          // 0: large enough for the turned sheet plus a margin
  double angleDegrees = 0.0;        // positive turns the sheet clockwise on screen
  cv::Point2d shift{0.0, 0.0};      // of the sheet's centre from the page's centre, pixels
  cv::Scalar background{30, 30, 30};
  double noise = 2.0;               // sensor noise, standard deviation in 8-bit steps
  bool printAtEdge = true;          // a dark bar bleeding off the right edge
  std::uint64_t seed = 1;
};

struct SyntheticSheet {
  cv::Mat page;      // the scanned page, OpenCV type of the type code
  cv::Size sheet;    // the sheet's size in pixels
  cv::Matx23d sheetToPage;
  std::array<cv::Point2d, 4> markers;  // centres of the black squares, sheet coordinates
  int markerSize = 0;

  /// The sheet's corners on the page (top left, top right, bottom right,
  /// bottom left), at the outer edges of its corner pixels.
  std::array<cv::Point2d, 4> Corners() const;
};

SyntheticSheet RenderSheet(const SheetOptions& options);

/// OpenCV type of a type code (0..3).
int MatTypeOfCode(int typeCode);

/// An 8-bit gray copy of a page of any of the four types, for measuring.
cv::Mat ToGray8(const cv::Mat& page);

/// Darkness-weighted centre of the marker within `radius` of `expected`, or
/// nothing when no dark pixel is there.
std::optional<cv::Point2d> FindMarker(const cv::Mat& gray8, cv::Point2d expected, int radius);

/// How a result lies relative to the sheet: the turn left over (degrees) and
/// how far each of the result's corners is from the sheet's (pixels),
/// measured through the four markers.
struct Placement {
  double residualDegrees = 0.0;
  double worstCornerError = 0.0;
  int markersFound = 0;
};
Placement MeasurePlacement(const SyntheticSheet& sheet, const cv::Mat& result);

/// Fits a similarity (turn and shift) from `from` to `to`; returns the turn in
/// degrees and writes the mapped points of `probe` to `mapped`.
double FitTurn(const std::vector<cv::Point2d>& from, const std::vector<cv::Point2d>& to,
               const std::vector<cv::Point2d>& probe, std::vector<cv::Point2d>* mapped);

}  // namespace geometry::testing
