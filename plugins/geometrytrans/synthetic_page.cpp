#include "plugins/geometrytrans/synthetic_page.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

namespace geometry::testing {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The sheet's own picture, 8-bit R, G, B.
cv::Mat DrawSheet(const SheetOptions& o, cv::Size size, int marker, int inset,
                  std::array<cv::Point2d, 4>* markers) {
  cv::RNG rng(o.seed * 7919 + 17);
  cv::Mat sheet(size, CV_8UC3, cv::Scalar(242, 240, 235));
  const int d = o.dpi;
  const int clear = 3 * marker;  // print keeps this far from the markers

  // Heading: a row of large dark blue word blocks.
  int x = inset + clear;
  const int headingTop = d / 2;
  while (x < size.width - inset - clear) {
    const int w = rng.uniform(d / 6, d / 2);
    cv::rectangle(sheet, cv::Rect(x, headingTop, std::min(w, size.width - inset - clear - x), d / 8),
                  cv::Scalar(30, 40, 110), cv::FILLED);
    x += w + d / 12;
  }

  // Body text: lines of word-like strokes between the margins.
  const cv::Rect body(d / 2, d, size.width - d, size.height * 45 / 100 - d);
  for (int y = body.y; y + d / 30 < body.br().y; y += d / 12) {
    int wx = body.x;
    while (wx < body.br().x) {
      const int w = rng.uniform(d / 20, d / 4);
      const int right = std::min(wx + w, body.br().x);
      // Strokes inside a word, like letters.
      for (int lx = wx; lx < right; lx += d / 50 + 1) {
        const int lh = rng.uniform(d / 40, d / 25);
        cv::rectangle(sheet, cv::Rect(lx, y + d / 25 - lh, std::max(1, d / 100), lh), cv::Scalar(25, 25, 25),
                      cv::FILLED);
      }
      wx += w + d / 25;
    }
  }

  // Photograph-like area: a smooth colour field with soft shapes.
  const cv::Rect photo(d / 2, size.height * 50 / 100, size.width - d, size.height * 30 / 100);
  cv::Mat field(photo.size(), CV_8UC3);
  for (int y = 0; y < field.rows; ++y) {
    auto* p = field.ptr<cv::Vec3b>(y);
    for (int fx = 0; fx < field.cols; ++fx) {
      const double a = static_cast<double>(fx) / field.cols, b = static_cast<double>(y) / field.rows;
      p[fx] = cv::Vec3b(cv::saturate_cast<uchar>(60 + 150 * a), cv::saturate_cast<uchar>(90 + 100 * b),
                        cv::saturate_cast<uchar>(160 - 120 * a * b));
    }
  }
  for (int i = 0; i < 12; ++i) {
    cv::circle(field, cv::Point(rng.uniform(0, field.cols), rng.uniform(0, field.rows)),
               rng.uniform(d / 10, d / 2), cv::Scalar(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255)),
               cv::FILLED, cv::LINE_AA);
  }
  cv::GaussianBlur(field, field, cv::Size(0, 0), d / 100.0 + 0.5);
  field.copyTo(sheet(photo));

  // A dark bar running off the right edge, as print that bleeds off the
  // sheet: the edge finder must not follow it.
  if (o.printAtEdge) {
    cv::rectangle(sheet, cv::Rect(size.width - d / 2, size.height * 84 / 100, d / 2, size.height / 14),
                  cv::Scalar(20, 20, 20), cv::FILLED);
  }

  const cv::Point2d centres[4] = {{inset + marker / 2.0 - 0.5, inset + marker / 2.0 - 0.5},
                                  {size.width - inset - marker / 2.0 - 0.5, inset + marker / 2.0 - 0.5},
                                  {size.width - inset - marker / 2.0 - 0.5, size.height - inset - marker / 2.0 - 0.5},
                                  {inset + marker / 2.0 - 0.5, size.height - inset - marker / 2.0 - 0.5}};
  for (int i = 0; i < 4; ++i) {
    (*markers)[i] = centres[i];
    const cv::Point corner(static_cast<int>(std::lround(centres[i].x + 0.5 - marker / 2.0)),
                           static_cast<int>(std::lround(centres[i].y + 0.5 - marker / 2.0)));
    cv::rectangle(sheet, cv::Rect(corner, cv::Size(marker, marker)), cv::Scalar(0, 0, 0), cv::FILLED);
  }
  return sheet;
}

}  // namespace

int MatTypeOfCode(int typeCode) {
  switch (typeCode) {
    case 0: return CV_8UC3;
    case 1: return CV_8UC1;
    case 2: return CV_16UC3;
    default: return CV_16UC1;
  }
}

std::array<cv::Point2d, 4> SyntheticSheet::Corners() const {
  const cv::Point2d at[4] = {{-0.5, -0.5},
                             {sheet.width - 0.5, -0.5},
                             {sheet.width - 0.5, sheet.height - 0.5},
                             {-0.5, sheet.height - 0.5}};
  std::array<cv::Point2d, 4> out;
  for (int i = 0; i < 4; ++i) {
    const cv::Vec3d p(at[i].x, at[i].y, 1.0);
    const cv::Vec2d q = sheetToPage * p;
    out[i] = {q[0], q[1]};
  }
  return out;
}

SyntheticSheet RenderSheet(const SheetOptions& o) {
  SyntheticSheet result;
  result.sheet = cv::Size(static_cast<int>(std::lround(8.27 * o.dpi)), static_cast<int>(std::lround(11.69 * o.dpi)));
  result.markerSize = std::max(4, o.dpi / 10);
  const int inset = o.dpi / 3;
  const cv::Mat sheet = DrawSheet(o, result.sheet, result.markerSize, inset, &result.markers);

  const double a = o.angleDegrees * kPi / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  cv::Size page = o.pageSize;
  if (page.width <= 0 || page.height <= 0) {
    const int margin = o.dpi / 4;
    page.width = static_cast<int>(std::ceil(std::fabs(c) * result.sheet.width + std::fabs(s) * result.sheet.height)) +
                 2 * margin + 2 * static_cast<int>(std::ceil(std::fabs(o.shift.x)));
    page.height = static_cast<int>(std::ceil(std::fabs(s) * result.sheet.width + std::fabs(c) * result.sheet.height)) +
                  2 * margin + 2 * static_cast<int>(std::ceil(std::fabs(o.shift.y)));
  }
  // Sheet point q goes to centre + R(a) (q - sheet centre).
  const cv::Point2d sheetCentre((result.sheet.width - 1) / 2.0, (result.sheet.height - 1) / 2.0);
  const cv::Point2d pageCentre((page.width - 1) / 2.0 + o.shift.x, (page.height - 1) / 2.0 + o.shift.y);
  result.sheetToPage = cv::Matx23d(c, -s, pageCentre.x - (c * sheetCentre.x - s * sheetCentre.y),
                                   s, c, pageCentre.y - (s * sheetCentre.x + c * sheetCentre.y));

  // Bilinear placement against the background gives the sheet's border the
  // partial pixels a scanner sees; a slight blur stands for the optics.
  cv::Mat sheetF;
  sheet.convertTo(sheetF, CV_32FC3);
  cv::Mat scanned;
  cv::warpAffine(sheetF, scanned, result.sheetToPage, page, cv::INTER_LINEAR, cv::BORDER_CONSTANT, o.background);
  cv::GaussianBlur(scanned, scanned, cv::Size(0, 0), 0.6);

  const bool gray = o.typeCode == 1 || o.typeCode == 3;
  if (gray) cv::cvtColor(scanned, scanned, cv::COLOR_RGB2GRAY);
  cv::Mat noise(scanned.size(), scanned.type());
  cv::RNG rng(o.seed);
  rng.fill(noise, cv::RNG::NORMAL, 0.0, o.noise);
  scanned += noise;
  const bool wide = o.typeCode == 2 || o.typeCode == 3;
  scanned.convertTo(result.page, MatTypeOfCode(o.typeCode), wide ? 257.0 : 1.0);
  return result;
}

cv::Mat ToGray8(const cv::Mat& page) {
  cv::Mat eight;
  if (page.depth() == CV_16U) {
    page.convertTo(eight, CV_8U, 1.0 / 257.0);
  } else {
    eight = page;
  }
  if (eight.channels() == 3) {
    cv::Mat gray;
    cv::cvtColor(eight, gray, cv::COLOR_RGB2GRAY);
    return gray;
  }
  return eight.clone();
}

std::optional<cv::Point2d> FindMarker(const cv::Mat& gray8, cv::Point2d expected, int radius) {
  const cv::Rect window = cv::Rect(static_cast<int>(expected.x) - radius, static_cast<int>(expected.y) - radius,
                                   2 * radius + 1, 2 * radius + 1) &
                          cv::Rect(0, 0, gray8.cols, gray8.rows);
  double sum = 0.0, sx = 0.0, sy = 0.0;
  for (int y = window.y; y < window.br().y; ++y) {
    const uchar* row = gray8.ptr<uchar>(y);
    for (int x = window.x; x < window.br().x; ++x) {
      // Only clearly dark pixels count, so paper noise adds nothing.
      const double weight = std::max(0, 160 - static_cast<int>(row[x]));
      sum += weight;
      sx += weight * x;
      sy += weight * y;
    }
  }
  if (sum <= 0.0) return std::nullopt;
  return cv::Point2d(sx / sum, sy / sum);
}

double FitTurn(const std::vector<cv::Point2d>& from, const std::vector<cv::Point2d>& to,
               const std::vector<cv::Point2d>& probe, std::vector<cv::Point2d>* mapped) {
  cv::Point2d mf(0, 0), mt(0, 0);
  for (std::size_t i = 0; i < from.size(); ++i) {
    mf += from[i];
    mt += to[i];
  }
  mf *= 1.0 / from.size();
  mt *= 1.0 / to.size();
  double dot = 0.0, cross = 0.0;
  for (std::size_t i = 0; i < from.size(); ++i) {
    const cv::Point2d a = from[i] - mf, b = to[i] - mt;
    dot += a.x * b.x + a.y * b.y;
    cross += a.x * b.y - a.y * b.x;
  }
  const double turn = std::atan2(cross, dot);
  const double c = std::cos(turn), s = std::sin(turn);
  if (mapped) {
    mapped->clear();
    for (const auto& p : probe) {
      const cv::Point2d d = p - mf;
      mapped->push_back(mt + cv::Point2d(c * d.x - s * d.y, s * d.x + c * d.y));
    }
  }
  return turn * 180.0 / kPi;
}

Placement MeasurePlacement(const SyntheticSheet& sheet, const cv::Mat& result) {
  Placement placement;
  const cv::Mat gray = ToGray8(result);
  std::vector<cv::Point2d> from, to;
  for (const auto& m : sheet.markers) {
    // The result should show sheet point m at about m; allow for some error.
    const auto found = FindMarker(gray, m, sheet.markerSize + 12);
    if (!found) continue;
    from.push_back(m);
    to.push_back(*found);
  }
  placement.markersFound = static_cast<int>(from.size());
  if (from.size() < 2) return placement;
  const std::vector<cv::Point2d> sheetCorners = {{-0.5, -0.5},
                                                 {sheet.sheet.width - 0.5, -0.5},
                                                 {sheet.sheet.width - 0.5, sheet.sheet.height - 0.5},
                                                 {-0.5, sheet.sheet.height - 0.5}};
  const std::vector<cv::Point2d> resultCorners = {{-0.5, -0.5},
                                                  {result.cols - 0.5, -0.5},
                                                  {result.cols - 0.5, result.rows - 0.5},
                                                  {-0.5, result.rows - 0.5}};
  std::vector<cv::Point2d> mapped;
  placement.residualDegrees = FitTurn(from, to, sheetCorners, &mapped);
  for (int i = 0; i < 4; ++i) {
    placement.worstCornerError = std::max(placement.worstCornerError, cv::norm(mapped[i] - resultCorners[i]));
  }
  return placement;
}

}  // namespace geometry::testing
