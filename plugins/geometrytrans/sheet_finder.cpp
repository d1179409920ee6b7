#include "plugins/geometrytrans/sheet_finder.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace geometry {

namespace {

constexpr double kPi = 3.14159265358979323846;
// The detection copy is at most this many pixels on its longer side (about
// 75 dpi for a 300 dpi page): enough to find the sheet's outline roughly.
constexpr int kDetectionSide = 1024;
// Edge points closer to the fitted line than this (pixels) count as on it.
constexpr double kInlierDistance = 1.5;
// Fewer measured edge points than this leave an edge to the rough outline.
constexpr int kMinEdgePoints = 10;

float Luma(const Background& b) {
  return 0.299f * b.red + 0.587f * b.green + 0.114f * b.blue;
}

// Reads the page's samples as distances from the background colour, in 8-bit
// steps, so the same thresholds serve every type.
class PageSampler {
 public:
  PageSampler(const cv::Mat& page, const Background& background)
      : page_(page), channels_(page.channels()), wide_(page.depth() == CV_16U) {
    if (channels_ == 3) {
      bg_[0] = background.red;
      bg_[1] = background.green;
      bg_[2] = background.blue;
    } else {
      bg_[0] = Luma(background);
    }
  }

  int Width() const { return page_.cols; }
  int Height() const { return page_.rows; }

  // The distance of the mean of three neighbouring pixels: across the edge
  // profile's direction, so noise is smoothed without blurring the edge.
  float Distance(int x, int y, bool neighboursInRow) const {
    float sum[3] = {0.0f, 0.0f, 0.0f};
    for (int d = -1; d <= 1; ++d) {
      const int xx = neighboursInRow ? std::clamp(x + d, 0, page_.cols - 1) : x;
      const int yy = neighboursInRow ? y : std::clamp(y + d, 0, page_.rows - 1);
      Accumulate(xx, yy, sum);
    }
    const float scale = wide_ ? 1.0f / (3.0f * 257.0f) : 1.0f / 3.0f;
    float distance = 0.0f;
    for (int c = 0; c < channels_; ++c) distance = std::max(distance, std::fabs(sum[c] * scale - bg_[c]));
    return distance;
  }

 private:
  void Accumulate(int x, int y, float* sum) const {
    if (wide_) {
      const auto* p = page_.ptr<std::uint16_t>(y) + static_cast<std::ptrdiff_t>(x) * channels_;
      for (int c = 0; c < channels_; ++c) sum[c] += p[c];
    } else {
      const auto* p = page_.ptr<std::uint8_t>(y) + static_cast<std::ptrdiff_t>(x) * channels_;
      for (int c = 0; c < channels_; ++c) sum[c] += p[c];
    }
  }

  const cv::Mat& page_;
  int channels_;
  bool wide_;
  float bg_[3] = {0.0f, 0.0f, 0.0f};
};

// A downscaled copy of the page marked 255 where it is paper, with the scale
// back to the page's coordinates.
struct DetectionMask {
  cv::Mat mask;
  double scaleX = 1.0;
  double scaleY = 1.0;

  cv::Size page;

  // A mask pixel's centre on the page. The last row and column of the mask
  // also stand for the page's rows and columns left over by the reduction, so
  // they map to the page's last pixel.
  cv::Point2d ToPage(const cv::Point& p) const {
    const double x = p.x == mask.cols - 1 ? page.width - 1 : (p.x + 0.5) * scaleX - 0.5;
    const double y = p.y == mask.rows - 1 ? page.height - 1 : (p.y + 0.5) * scaleY - 0.5;
    return {x, y};
  }

  // Any point of the detection copy (a corner may lie beyond it).
  cv::Point2d ToPage(const cv::Point2d& p) const { return {(p.x + 0.5) * scaleX - 0.5, (p.y + 0.5) * scaleY - 0.5}; }
};

DetectionMask MakeDetectionMask(const cv::Mat& page, const Background& background) {
  const int factor = std::max(1, (std::max(page.cols, page.rows) + kDetectionSide - 1) / kDetectionSide);
  const int smallWidth = std::max(1, page.cols / factor);
  const int smallHeight = std::max(1, page.rows / factor);
  // Whole blocks of factor x factor pixels take OpenCV's fast averaging path;
  // the few rows and columns left over do not matter for a rough outline.
  const cv::Rect whole(0, 0, std::min(page.cols, smallWidth * factor), std::min(page.rows, smallHeight * factor));
  cv::Mat small;
  cv::resize(page(whole), small, cv::Size(smallWidth, smallHeight), 0, 0, cv::INTER_AREA);
  if (small.depth() == CV_16U) small.convertTo(small, CV_8U, 1.0 / 257.0);

  DetectionMask result;
  result.page = page.size();
  result.scaleX = static_cast<double>(whole.width) / smallWidth;
  result.scaleY = static_cast<double>(whole.height) / smallHeight;
  result.mask.create(small.size(), CV_8UC1);
  const int channels = small.channels();
  const float tolerance = background.tolerance;
  const float bg[3] = {channels == 3 ? background.red : Luma(background), static_cast<float>(background.green),
                       static_cast<float>(background.blue)};
  for (int y = 0; y < small.rows; ++y) {
    const std::uint8_t* in = small.ptr<std::uint8_t>(y);
    std::uint8_t* out = result.mask.ptr<std::uint8_t>(y);
    for (int x = 0; x < small.cols; ++x, in += channels) {
      float distance = 0.0f;
      for (int c = 0; c < channels; ++c) distance = std::max(distance, std::fabs(in[c] - bg[c]));
      out[x] = distance > tolerance ? 255 : 0;
    }
  }
  // Thin bright things on the background (a streak, a thread) are not paper
  // and would pull the outline.
  cv::morphologyEx(result.mask, result.mask, cv::MORPH_OPEN,
                   cv::getStructuringElement(cv::MORPH_RECT, cv::Size(5, 5)));
  return result;
}

struct Extents {
  double left, right, top, bottom;
};

// The points' extents in the sheet coordinates of a frame with these slopes.
Extents ExtentsOf(const std::vector<cv::Point2d>& points, const SheetFrame& axes) {
  const double c = axes.Scale();
  Extents e{1e300, -1e300, 1e300, -1e300};
  for (const auto& p : points) {
    const double X = c * (p.x + axes.slopeV * p.y);
    const double Y = c * (p.y - axes.slopeH * p.x);
    e.left = std::min(e.left, X);
    e.right = std::max(e.right, X);
    e.top = std::min(e.top, Y);
    e.bottom = std::max(e.bottom, Y);
  }
  return e;
}

// Rough corners of the sheet in detection pixels, clockwise from the top
// left: the hull reduced to a quadrilateral (which follows a sheet squeezed
// by unequal x and y resolutions) or the smallest rectangle around it
// (better where the image cut a corner off), whichever matches the hull's
// area more closely.
std::array<cv::Point2d, 4> RoughCorners(const std::vector<cv::Point>& hull, double hullArea) {
  cv::Point2f box[4];
  cv::minAreaRect(hull).points(box);
  std::vector<cv::Point2d> corners(box, box + 4);
  double mismatch = std::fabs(cv::contourArea(std::vector<cv::Point2f>(box, box + 4)) / hullArea - 1.0);
  const double perimeter = cv::arcLength(hull, true);
  for (const double share : {0.01, 0.02, 0.04}) {
    std::vector<cv::Point> quad;
    cv::approxPolyDP(hull, quad, share * perimeter, true);
    if (quad.size() != 4 || !cv::isContourConvex(quad)) continue;
    const double quadMismatch = std::fabs(cv::contourArea(quad) / hullArea - 1.0);
    if (quadMismatch < mismatch) {
      mismatch = quadMismatch;
      corners.assign(quad.begin(), quad.end());
    }
    break;
  }
  // Clockwise on screen (y grows downwards), then start at the corner whose
  // next edge runs left to right: the top edge.
  cv::Point2d centre(0, 0);
  for (const auto& p : corners) centre += p * 0.25;
  std::sort(corners.begin(), corners.end(), [&](const cv::Point2d& a, const cv::Point2d& b) {
    return std::atan2(a.y - centre.y, a.x - centre.x) < std::atan2(b.y - centre.y, b.x - centre.x);
  });
  int first = 0;
  for (int i = 0; i < 4; ++i) {
    const cv::Point2d d = corners[(i + 1) % 4] - corners[i];
    const double direction = std::atan2(d.y, d.x);
    if (direction > -kPi / 4 && direction <= kPi / 4) first = i;
  }
  return {corners[first], corners[(first + 1) % 4], corners[(first + 2) % 4], corners[(first + 3) % 4]};
}

// One edge's measured points: `across` (y for the top and bottom edges, x for
// the left and right ones) as a function of `along`.
struct EdgePoint {
  double along;
  double across;
};

struct LineFit {
  double offset = 0.0;  // across = offset + slope * along
  double slope = 0.0;
  double weight = 0.0;  // sum of squared along-spread: how well the slope is known
  std::vector<EdgePoint> inliers;
};

bool SolveLine(const std::vector<EdgePoint>& points, LineFit* fit) {
  if (points.size() < 2) return false;
  double meanA = 0.0, meanC = 0.0;
  for (const auto& p : points) {
    meanA += p.along;
    meanC += p.across;
  }
  meanA /= points.size();
  meanC /= points.size();
  double saa = 0.0, sac = 0.0;
  for (const auto& p : points) {
    saa += (p.along - meanA) * (p.along - meanA);
    sac += (p.along - meanA) * (p.across - meanC);
  }
  if (saa <= 0.0) return false;
  fit->slope = sac / saa;
  fit->offset = meanC - fit->slope * meanA;
  fit->weight = saa;
  return true;
}

// Least squares on the points that agree with the best of many two-point
// candidate lines: print or dirt touching the sheet's edge gives points well
// inside it, and they must not tilt the line.
std::optional<LineFit> FitEdge(const std::vector<EdgePoint>& points) {
  const std::size_t n = points.size();
  if (n < static_cast<std::size_t>(kMinEdgePoints)) return std::nullopt;
  const std::size_t half = n / 2;
  double bestSlope = 0.0, bestOffset = 0.0;
  std::size_t bestCount = 0;
  for (std::size_t i = 0; i < half; ++i) {
    const EdgePoint& a = points[i];
    const EdgePoint& b = points[i + half];
    if (b.along == a.along) continue;
    const double slope = (b.across - a.across) / (b.along - a.along);
    const double offset = a.across - slope * a.along;
    std::size_t count = 0;
    for (const auto& p : points) {
      if (std::fabs(offset + slope * p.along - p.across) <= kInlierDistance) ++count;
    }
    if (count > bestCount) {
      bestCount = count;
      bestSlope = slope;
      bestOffset = offset;
    }
  }
  if (bestCount < static_cast<std::size_t>(kMinEdgePoints)) return std::nullopt;

  LineFit fit;
  fit.slope = bestSlope;
  fit.offset = bestOffset;
  double limit = kInlierDistance;
  for (int round = 0; round < 3; ++round) {
    std::vector<EdgePoint> inliers;
    for (const auto& p : points) {
      if (std::fabs(fit.offset + fit.slope * p.along - p.across) <= limit) inliers.push_back(p);
    }
    if (inliers.size() < static_cast<std::size_t>(kMinEdgePoints)) return std::nullopt;
    LineFit next;
    if (!SolveLine(inliers, &next)) return std::nullopt;
    double squares = 0.0;
    for (const auto& p : inliers) {
      const double r = next.offset + next.slope * p.along - p.across;
      squares += r * r;
    }
    // Tighten to the scatter actually seen, but never below what noise and
    // jagged edges need.
    limit = std::clamp(3.0 * std::sqrt(squares / inliers.size()), 0.75, kInlierDistance);
    next.inliers = std::move(inliers);
    fit = std::move(next);
  }
  return fit;
}

// Where a profile running from outside the sheet inwards crosses from
// background to paper, in samples from its start (fractional). The crossing is
// taken half-way between the levels on either side, which finds the edge of a
// blurred or anti-aliased border without bias.
std::optional<double> FindCrossing(const std::vector<float>& profile, float tolerance) {
  const std::size_t n = profile.size();
  if (n < 6) return std::nullopt;
  const float outside = (profile[0] + profile[1] + profile[2]) / 3.0f;
  if (outside > tolerance) return std::nullopt;  // starts on paper: edge not in view
  std::size_t first = 3;
  while (first < n && profile[first] <= tolerance) ++first;
  if (first >= n) return std::nullopt;
  const std::size_t last = std::min(n - 1, first + 3);
  const float inside = *std::max_element(profile.begin() + first, profile.begin() + last + 1);
  const float middle = 0.5f * (outside + inside);
  for (std::size_t j = 1; j <= last; ++j) {
    if (profile[j] >= middle) {
      const float below = profile[j - 1];
      const float step = profile[j] - below;
      const double fraction = step > 0.0f ? (middle - below) / step : 0.0;
      return static_cast<double>(j - 1) + std::clamp(fraction, 0.0, 1.0);
    }
  }
  return std::nullopt;
}

enum Edge { kTop, kRight, kBottom, kLeft };

// Measures one edge of the sheet at full resolution: profiles across the edge
// at regular steps along it, each starting `reach` pixels outside the rough
// edge.
std::vector<EdgePoint> MeasureEdge(const PageSampler& sampler, Edge edge, cv::Point2d from, cv::Point2d to,
                                   double reach, float tolerance) {
  const bool horizontal = edge == kTop || edge == kBottom;
  // Outward direction along the profile: towards smaller coordinates for the
  // top and left edges.
  const int outward = (edge == kTop || edge == kLeft) ? -1 : 1;
  double a0 = horizontal ? from.x : from.y;
  double a1 = horizontal ? to.x : to.y;
  const double c0 = horizontal ? from.y : from.x;
  const double c1 = horizontal ? to.y : to.x;
  if (a1 < a0) return {};
  const double span = a1 - a0;
  // Stay clear of the corners, which may be rounded or dog-eared.
  const double start = a0 + 0.04 * span;
  const double end = a1 - 0.04 * span;
  const int count = std::clamp(static_cast<int>(span / 6.0), kMinEdgePoints, 400);
  const int alongLimit = horizontal ? sampler.Width() : sampler.Height();
  const int acrossLimit = horizontal ? sampler.Height() : sampler.Width();
  const int length = 2 * static_cast<int>(std::ceil(reach)) + 1;

  std::vector<EdgePoint> points;
  std::vector<float> profile;
  profile.reserve(length);
  for (int i = 0; i < count; ++i) {
    const double along = start + (end - start) * (count == 1 ? 0.5 : static_cast<double>(i) / (count - 1));
    const int a = static_cast<int>(std::lround(along));
    if (a < 0 || a >= alongLimit) continue;
    const double across = span > 0.0 ? c0 + (c1 - c0) * (a - a0) / span : c0;
    // First sample outside, then walking inwards; samples beyond the image
    // are skipped, so a sheet running off the image yields no point here.
    int c = static_cast<int>(std::lround(across + outward * reach));
    int steps = length;
    while (steps > 0 && (c < 0 || c >= acrossLimit)) {
      c -= outward;
      --steps;
    }
    const int firstSample = c;
    profile.clear();
    // Reading stops a few samples past the first paper: only the first
    // crossing counts, which keeps long profiles cheap.
    int paperAt = -1;
    for (; steps > 0 && c >= 0 && c < acrossLimit; --steps, c -= outward) {
      const float value = horizontal ? sampler.Distance(a, c, true) : sampler.Distance(c, a, false);
      profile.push_back(value);
      const int index = static_cast<int>(profile.size()) - 1;
      if (paperAt < 0 && index >= 3 && value > tolerance) paperAt = index;
      if (paperAt >= 0 && index >= paperAt + 3) break;
    }
    const auto crossing = FindCrossing(profile, tolerance);
    if (!crossing) continue;
    points.push_back({static_cast<double>(a), firstSample - outward * *crossing});
  }
  return points;
}

}  // namespace

Background MakeBackground(unsigned char red, unsigned char green, unsigned char blue, float value1,
                          float value2) {
  Background b;
  b.red = red;
  b.green = green;
  b.blue = blue;
  if (std::isfinite(value1) && value1 > 0.0f) b.tolerance = std::min(value1, 250.0f);
  if (std::isfinite(value2) && value2 > 0.0f) b.minSheetPercent = std::min(value2, 100.0f);
  return b;
}

cv::Scalar BackgroundFill(const Background& background, int matType) {
  const double scale = CV_MAT_DEPTH(matType) == CV_16U ? 257.0 : 1.0;
  if (CV_MAT_CN(matType) == 1) return cv::Scalar(std::round(Luma(background)) * scale);
  return cv::Scalar(background.red * scale, background.green * scale, background.blue * scale);
}

double SheetFrame::Scale() const {
  const double d = 1.0 + slopeH * slopeV;
  return d > 0.0 ? 1.0 / std::sqrt(d) : 1.0;
}

double SheetFrame::TurnDegrees() const {
  return std::max(std::fabs(std::atan(slopeH)), std::fabs(std::atan(slopeV))) * 180.0 / kPi;
}

cv::Point2d SheetFrame::ToPage(double X, double Y) const {
  const double c = Scale();
  return {c * (X - slopeV * Y), c * (slopeH * X + Y)};
}

std::array<cv::Point2d, 4> SheetFrame::Corners() const {
  return {ToPage(left, top), ToPage(right, top), ToPage(right, bottom), ToPage(left, bottom)};
}

std::optional<SheetFrame> FindSheet(const cv::Mat& page, const Background& background) {
  if (page.empty() || page.cols < 16 || page.rows < 16) return std::nullopt;
  const DetectionMask detection = MakeDetectionMask(page, background);

  // The sheet is the largest bright region; its convex hull ignores notches
  // where dark print reaches the edge.
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(detection.mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
  if (contours.empty()) return std::nullopt;
  std::vector<cv::Point> hull;
  double hullArea = 0.0;
  for (const auto& contour : contours) {
    std::vector<cv::Point> candidate;
    cv::convexHull(contour, candidate);
    const double area = cv::contourArea(candidate);
    if (area > hullArea) {
      hullArea = area;
      hull = std::move(candidate);
    }
  }
  const double imageArea = static_cast<double>(detection.mask.cols) * detection.mask.rows;
  if (hull.size() < 3 || hullArea < background.minSheetPercent / 100.0 * imageArea) return std::nullopt;

  // Rough outline, good to a pixel or two of the detection copy.
  std::array<cv::Point2d, 4> corners = RoughCorners(hull, hullArea);
  for (auto& corner : corners) corner = detection.ToPage(corner);
  std::vector<cv::Point2d> hullOnPage;
  hullOnPage.reserve(hull.size());
  for (const auto& p : hull) hullOnPage.push_back(detection.ToPage(p));

  // Fine outline: each edge measured at full resolution and fitted with a
  // straight line.
  const PageSampler sampler(page, background);
  const double cell = std::max(detection.scaleX, detection.scaleY);
  const double longest = std::max(cv::norm(corners[1] - corners[0]), cv::norm(corners[3] - corners[0]));
  // Room for the rough outline's position and tilt errors, and for paper
  // sticking out of the rectangle (a tab, a label) that pushed a rough edge
  // outwards: up to a twentieth of the sheet.
  const double reach = 3.0 * cell + 8.0 + 0.05 * longest;
  struct Measured {
    Edge edge;
    cv::Point2d from, to;
    std::optional<LineFit> fit;
  };
  Measured edges[4] = {{kTop, corners[0], corners[1], std::nullopt},
                       {kRight, corners[1], corners[2], std::nullopt},
                       {kBottom, corners[3], corners[2], std::nullopt},
                       {kLeft, corners[0], corners[3], std::nullopt}};
  // Slopes: dy/dx for the top and bottom edges, dx/dy for the left and right.
  double slopeSum[2] = {0.0, 0.0}, weightSum[2] = {0.0, 0.0}, roughSlope[2] = {0.0, 0.0};
  for (auto& m : edges) {
    const bool horizontal = m.edge == kTop || m.edge == kBottom;
    const cv::Point2d d = m.to - m.from;
    const double rough = horizontal ? (d.x != 0.0 ? d.y / d.x : 0.0) : (d.y != 0.0 ? d.x / d.y : 0.0);
    roughSlope[horizontal ? 0 : 1] += 0.5 * rough;
    m.fit = FitEdge(MeasureEdge(sampler, m.edge, m.from, m.to, reach, background.tolerance));
    if (!m.fit) continue;
    // A line through a short stretch only (the side of a tab) is not the edge.
    const double length = std::fabs(horizontal ? d.x : d.y);
    const auto [shortest, farthest] = std::minmax_element(
        m.fit->inliers.begin(), m.fit->inliers.end(),
        [](const EdgePoint& a, const EdgePoint& b) { return a.along < b.along; });
    if (farthest->along - shortest->along < 0.25 * length) {
      m.fit.reset();
      continue;
    }
    // An edge far from the rough outline's was not the sheet's (a fold, a tab).
    if (std::fabs(std::atan(m.fit->slope) - std::atan(rough)) > 1.5 * kPi / 180.0) {
      m.fit.reset();
      continue;
    }
    slopeSum[horizontal ? 0 : 1] += m.fit->slope * m.fit->weight;
    weightSum[horizontal ? 0 : 1] += m.fit->weight;
  }

  SheetFrame frame;
  const bool haveH = weightSum[0] > 0.0, haveV = weightSum[1] > 0.0;
  frame.slopeH = haveH ? slopeSum[0] / weightSum[0] : roughSlope[0];
  frame.slopeV = -(haveV ? slopeSum[1] / weightSum[1] : roughSlope[1]);
  // With one pair of edges only, take the pixels as square: both directions
  // turn alike.
  if (haveH && !haveV) frame.slopeV = frame.slopeH;
  if (haveV && !haveH) frame.slopeH = frame.slopeV;
  // Directions that no pixel shape explains (opposite turns, or a squeeze
  // beyond 1:6) come from an odd sheet, not from the scan: use their mean.
  const double turnH = std::atan(frame.slopeH), turnV = std::atan(frame.slopeV);
  const double small = 0.3 * kPi / 180.0;
  const bool opposite = frame.slopeH * frame.slopeV < 0.0 && std::min(std::fabs(turnH), std::fabs(turnV)) > small;
  const bool squeezed = frame.slopeH * frame.slopeV > 0.0 && std::min(std::fabs(turnH), std::fabs(turnV)) > small &&
                        (frame.slopeH / frame.slopeV > 6.0 || frame.slopeV / frame.slopeH > 6.0);
  if (opposite || squeezed) frame.slopeH = frame.slopeV = std::tan(0.5 * (turnH + turnV));

  const double halfCell = 0.5 * cell;
  frame.detectionCell = cell;
  const Extents upright = ExtentsOf(hullOnPage, SheetFrame{});
  frame.paperBounds = cv::Rect2d(upright.left - halfCell, upright.top - halfCell,
                                 upright.right - upright.left + cell, upright.bottom - upright.top + cell);
  const Extents outline = ExtentsOf(hullOnPage, frame);
  frame.left = outline.left - halfCell;
  frame.right = outline.right + halfCell;
  frame.top = outline.top - halfCell;
  frame.bottom = outline.bottom + halfCell;
  const double c = frame.Scale();
  for (const auto& m : edges) {
    if (!m.fit) continue;
    const bool horizontal = m.edge == kTop || m.edge == kBottom;
    double sum = 0.0;
    for (const auto& p : m.fit->inliers) {
      const double x = horizontal ? p.along : p.across;
      const double y = horizontal ? p.across : p.along;
      sum += horizontal ? c * (y - frame.slopeH * x) : c * (x + frame.slopeV * y);
    }
    const double position = sum / m.fit->inliers.size();
    switch (m.edge) {
      case kTop: frame.top = position; break;
      case kBottom: frame.bottom = position; break;
      case kLeft: frame.left = position; break;
      case kRight: frame.right = position; break;
    }
    ++frame.measuredEdges;
  }
  for (const double v : {frame.slopeH, frame.slopeV, frame.left, frame.right, frame.top, frame.bottom}) {
    if (!std::isfinite(v)) return std::nullopt;
  }
  if (frame.right - frame.left < 8.0 || frame.bottom - frame.top < 8.0) return std::nullopt;
  return frame;
}

}  // namespace geometry
