// Finding the sheet on a scanned page: a bright sheet on the feeder's darker
// background, possibly skewed, possibly running off the scanned image.
#pragma once

#include <array>
#include <optional>

#include <opencv2/core.hpp>

namespace geometry {

/// What lies behind the paper, as set by SetBGInfo (see geometry_trans.h).
struct Background {
  unsigned char red = 30;
  unsigned char green = 30;
  unsigned char blue = 30;
  float tolerance = 55.0f;        // 8-bit sample steps
  float minSheetPercent = 30.0f;  // of the image area
};

/// SetBGInfo's arguments with unusable values replaced by the defaults.
Background MakeBackground(unsigned char red, unsigned char green, unsigned char blue,
                          float value1, float value2);

/// The background colour as a fill value for a page of the OpenCV type.
cv::Scalar BackgroundFill(const Background& background, int matType);

/// The sheet as a rectangle turned by `angle`: the points p with
/// left <= u.p <= right and top <= v.p <= bottom, where u = (cos a, sin a) runs
/// along the sheet's top edge and v = (-sin a, cos a) down its left edge.
/// Coordinates are those of pixel centres (pixel (0, 0) covers -0.5..0.5).
/// A positive angle means the sheet is turned clockwise as seen on screen.
struct SheetFrame {
  double angle = 0.0;  // radians, within -pi/4..pi/4
  double left = 0.0;
  double right = 0.0;
  double top = 0.0;
  double bottom = 0.0;
  int measuredEdges = 0;  // edges located at full resolution (0..4)

  /// Top left, top right, bottom right, bottom left.
  std::array<cv::Point2d, 4> Corners() const;
};

/// Locates the sheet on `page` (CV_8UC3, CV_8UC1, CV_16UC3 or CV_16UC1).
/// Nothing when no region of paper as large as the background's minimum is
/// found.
std::optional<SheetFrame> FindSheet(const cv::Mat& page, const Background& background);

}  // namespace geometry
