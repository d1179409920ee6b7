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

/// The sheet on the page. Its top and bottom edges run along
/// eH = c (1, slopeH), its left and right edges along eV = c (-slopeV, 1),
/// with c = 1 / sqrt(1 + slopeH * slopeV). On square pixels the two slopes
/// are both tan(angle) and (eH, eV) is a plain turn; on a page delivered at,
/// say, 300 x 600 dpi a turned sheet is a parallelogram and the slopes differ
/// (slopeH = k tan a, slopeV = tan(a) / k for k = y dpi / x dpi), which this
/// describes just as well. A step of eH (eV) is one pixel of the page's x (y)
/// resolution on the sheet.
///
/// In sheet coordinates X = c (x + slopeV y), Y = c (y - slopeH x) the sheet is
/// left <= X <= right, top <= Y <= bottom. Coordinates are those of pixel
/// centres (pixel (0, 0) covers -0.5..0.5). Positive slopes mean the sheet is
/// turned clockwise as seen on screen.
struct SheetFrame {
  double slopeH = 0.0;
  double slopeV = 0.0;
  double left = 0.0;
  double right = 0.0;
  double top = 0.0;
  double bottom = 0.0;
  int measuredEdges = 0;  // edges located at full resolution (0..4)
  /// Where paper was seen at all: the axis-aligned bounds of the bright
  /// region, good to about `detectionCell` pixels. Wider than the corners'
  /// box where something sticks out of the rectangle (a tab, a torn edge).
  cv::Rect2d paperBounds;
  double detectionCell = 1.0;

  double Scale() const;
  /// The larger of the two edge directions' turns, in degrees.
  double TurnDegrees() const;
  /// The page point of sheet coordinates (X, Y).
  cv::Point2d ToPage(double X, double Y) const;
  /// Top left, top right, bottom right, bottom left.
  std::array<cv::Point2d, 4> Corners() const;
};

/// Locates the sheet on `page` (CV_8UC3, CV_8UC1, CV_16UC3 or CV_16UC1).
/// Nothing when no region of paper as large as the background's minimum is
/// found.
std::optional<SheetFrame> FindSheet(const cv::Mat& page, const Background& background);

}  // namespace geometry
