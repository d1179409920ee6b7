#include "vantor/sim/sample_document.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <vector>

#include "vantor/sim/sensor_response.h"

namespace vantor_sim {
namespace {

struct Rendered {
  int width, height;
  std::vector<float> light;
  const float* At(int x, int y) const { return &light[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

Rendered Render(const SampleDocument& doc, int first = 0, int count = -1) {
  if (count < 0) count = doc.gridHeight() - first;
  Rendered r{doc.gridWidth(), count, std::vector<float>(size_t(doc.gridWidth()) * size_t(count) * 3)};
  doc.RenderRows(first, count, r.light.data());
  return r;
}

// Mean light of each channel over a box (sheet units), rendered in bands.
std::array<double, 3> MeanOver(const SampleDocument& doc, SampleDocument::Box b) {
  const double kx = doc.dpiX() / 300, ky = doc.dpiY() / 300;
  const int y0 = int(std::ceil(b.y0 * ky)), y1 = int(b.y1 * ky);
  const int x0 = int(std::ceil(b.x0 * kx)), x1 = int(b.x1 * kx);
  std::array<double, 3> sum{};
  for (int first = y0; first < y1; first += 64) {
    const Rendered r = Render(doc, first, std::min(64, y1 - first));
    for (int y = 0; y < r.height; ++y)
      for (int x = x0; x < x1; ++x)
        for (int ch = 0; ch < 3; ++ch) sum[size_t(ch)] += r.At(x, y)[ch];
  }
  for (double& v : sum) v /= double(y1 - y0) * (x1 - x0);
  return sum;
}

TEST(SampleDocument, GridFollowsTheResolutionAndSheetSize) {
  const SampleDocument a4(1, 300, 300);
  EXPECT_EQ(a4.gridWidth(), 2480);
  EXPECT_EQ(a4.gridHeight(), 3508);
  const SampleDocument odd(1, 318, 600, 1748, 2480);  // A5 at 318 x 600 dpi
  EXPECT_EQ(odd.gridWidth(), 1853);
  EXPECT_EQ(odd.gridHeight(), 4960);
  EXPECT_DOUBLE_EQ(odd.widthUnits(), 1748);
}

TEST(SampleDocument, ChartPatchesShowTheirTrueColoursThroughTheSensorMatrix) {
  const SampleDocument doc(1, 150, 150);
  for (int i = 0; i < 24; ++i) {
    const ChartPatch& p = kChartPatches[i];
    SampleDocument::Box b = doc.chartPatchBox(i);
    // The inside of the patch, away from its antialiased edges.
    b = {b.x0 + 20, b.y0 + 20, b.x1 - 20, b.y1 - 20};
    const double in[3] = {p.r / 255.0, p.g / 255.0, p.b / 255.0};
    double expected[3];
    SensorResponse(in, expected);
    const auto light = MeanOver(doc, b);
    for (int ch = 0; ch < 3; ++ch) {
      EXPECT_NEAR(std::pow(light[size_t(ch)], 1 / kSensorGamma), expected[ch], 1e-4) << p.name << " channel " << ch;
    }
  }
}

TEST(SampleDocument, AreasKeepTheirMeanLightAtEveryResolution) {
  // Box coverage and supersampling make the page's average independent of
  // the sampling grid, even for the halftone whose dots are below 75 dpi.
  const SampleDocument fine(1, 600, 600), coarse(1, 75, 75), odd(1, 371, 282);
  for (const auto& box : {fine.halftoneBox(), fine.photoBox(), fine.rampBox()}) {
    const auto reference = MeanOver(fine, box), low = MeanOver(coarse, box), other = MeanOver(odd, box);
    for (size_t ch = 0; ch < 3; ++ch) {
      EXPECT_NEAR(low[ch], reference[ch], reference[ch] * 0.02 + 1e-3);
      EXPECT_NEAR(other[ch], reference[ch], reference[ch] * 0.02 + 1e-3);
    }
  }
}

TEST(SampleDocument, HalftoneCarriesA150LpiScreenAt45Degrees) {
  // Along a row the 45-degree screen repeats every 2 x sqrt(2) / 300 inch:
  // 5.66 pixels at 600 dpi. Find the strongest frequency of a row.
  const SampleDocument doc(1, 600, 600);
  const auto box = doc.halftoneBox();
  const int y = int((box.y0 + box.y1) / 2 * 2);
  const Rendered r = Render(doc, y, 1);
  const int n = 1024, x0 = int(box.x0 * 2) + 10;
  std::vector<double> row(n);
  double mean = 0;
  for (int i = 0; i < n; ++i) mean += row[size_t(i)] = r.At(x0 + i, 0)[1];
  mean /= n;
  int best = 0;
  double bestPower = 0;
  for (int k = 20; k < n / 2; ++k) {
    std::complex<double> sum;
    for (int i = 0; i < n; ++i) sum += (row[size_t(i)] - mean) * std::polar(1.0, -2 * M_PI * k * i / n);
    if (std::norm(sum) > bestPower) bestPower = std::norm(sum), best = k;
  }
  EXPECT_NEAR(double(n) / best, 2 * std::sqrt(2.0) * 2, 0.1);
}

TEST(SampleDocument, GrayRampRisesFromBlackToWhite) {
  const SampleDocument doc(1, 300, 300);
  const auto box = doc.rampBox();
  const Rendered r = Render(doc, int((box.y0 + box.y1) / 2), 1);
  float previous = -1;
  int steps = 0;
  for (int x = int(box.x0) + 2; x < int(box.x1) - 2; ++x) {
    const float v = r.At(x, 0)[1];
    EXPECT_GE(v, previous);
    steps += v > previous;
    previous = v;
    EXPECT_FLOAT_EQ(r.At(x, 0)[0], v) << "gray must stay neutral";
  }
  EXPECT_LT(r.At(int(box.x0) + 2, 0)[1], 0.01f);
  EXPECT_GT(previous, 0.95f);
  EXPECT_GT(steps, 2000);
}

TEST(SampleDocument, PageNumberChangesOnlyItsCorner) {
  const SampleDocument one(1, 100, 100), twelve(12, 100, 100);
  const Rendered a = Render(one), b = Render(twelve);
  const auto box = twelve.pageNumberBox();
  int changed = 0;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      if (a.At(x, y)[1] == b.At(x, y)[1]) continue;
      ++changed;
      // Within a pixel of the wider label's box.
      EXPECT_GE(x, int(box.x0 / 3) - 1);
      EXPECT_LE(x, int(box.x1 / 3) + 1);
      EXPECT_GE(y, int(box.y0 / 3) - 1);
      EXPECT_LE(y, int(box.y1 / 3) + 1);
    }
  }
  EXPECT_GT(changed, 20);
  EXPECT_GT(box.x0, 1240) << "bottom-right corner";
  EXPECT_GT(box.y0, 3000);
}

TEST(SampleDocument, RowsRenderTheSameInAnyBandSplit) {
  const SampleDocument doc(3, 200, 200);
  const Rendered whole = Render(doc);
  std::vector<float> part;
  for (int first = 0; first < doc.gridHeight(); first += 97) {
    const int count = std::min(97, doc.gridHeight() - first);
    part.assign(size_t(count) * size_t(doc.gridWidth()) * 3, -1.0f);
    doc.RenderRows(first, count, part.data());
    ASSERT_TRUE(std::equal(part.begin(), part.end(), whole.At(0, first))) << "band at " << first;
  }
}

}  // namespace
}  // namespace vantor_sim
