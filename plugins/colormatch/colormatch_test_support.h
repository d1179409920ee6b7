// Colour arithmetic shared by the colour-matching tests, independent of the
// library under test: sRGB to CIE Lab (D65) and CIE ΔE 2000.
#pragma once

#include <lcms2.h>

#include <algorithm>
#include <cmath>

#include "vantor/sim/sensor_response.h"

namespace colormatch::testing {

inline double Det3(const double m[3][3]) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

inline void Invert3(const double m[3][3], double out[3][3]) {
  const double d = Det3(m);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      out[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / d;
    }
}

// Linear sRGB -> XYZ, built from the sRGB primaries and D65.
inline void SrgbToXyzMatrix(double s[3][3]) {
  const double xy[3][2] = {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}};
  const double wx = 0.3127, wy = 0.3290;
  double p[3][3];
  for (int c = 0; c < 3; ++c) {
    p[0][c] = xy[c][0] / xy[c][1];
    p[1][c] = 1.0;
    p[2][c] = (1.0 - xy[c][0] - xy[c][1]) / xy[c][1];
  }
  const double w[3] = {wx / wy, 1.0, (1.0 - wx - wy) / wy};
  double pi[3][3];
  Invert3(p, pi);
  for (int c = 0; c < 3; ++c) {
    const double scale = pi[c][0] * w[0] + pi[c][1] * w[1] + pi[c][2] * w[2];
    for (int r = 0; r < 3; ++r) s[r][c] = p[r][c] * scale;
  }
}

inline cmsCIELab SrgbToLab(const double rgb[3]) {
  double s[3][3], xyz[3] = {}, lin[3];
  SrgbToXyzMatrix(s);
  for (int c = 0; c < 3; ++c) lin[c] = vantor_sim::SrgbToLinear(std::clamp(rgb[c], 0.0, 1.0));
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) xyz[r] += s[r][c] * lin[c];
  const double white[3] = {0.3127 / 0.3290, 1.0, (1.0 - 0.3127 - 0.3290) / 0.3290};
  auto f = [](double t) { return t > 216.0 / 24389.0 ? std::cbrt(t) : (24389.0 / 27.0 * t + 16.0) / 116.0; };
  const double fx = f(xyz[0] / white[0]), fy = f(xyz[1] / white[1]), fz = f(xyz[2] / white[2]);
  return cmsCIELab{116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

inline double DeltaE(const double a[3], const double b[3]) {
  const cmsCIELab la = SrgbToLab(a), lb = SrgbToLab(b);
  return cmsCIE2000DeltaE(&la, &lb, 1.0, 1.0, 1.0);
}

}  // namespace colormatch::testing
