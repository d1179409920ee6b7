#include "plugins/colormatch/matrix_shaper16.h"

#include <algorithm>
#include <cmath>

namespace colormatch {

namespace {

// Colorant matrix (columns = the primaries' XYZ) and the three tone curves.
bool ReadMatrixShaper(cmsHPROFILE profile, double m[3][3], const cmsToneCurve* curves[3]) {
  if (!profile || cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile)) return false;
  const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
  const cmsTagSignature trcs[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
  for (int c = 0; c < 3; ++c) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[c]));
    curves[c] = static_cast<const cmsToneCurve*>(cmsReadTag(profile, trcs[c]));
    if (!xyz || !curves[c]) return false;
    m[0][c] = xyz->X;
    m[1][c] = xyz->Y;
    m[2][c] = xyz->Z;
  }
  return true;
}

bool Invert(const double m[3][3], double out[3][3]) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      out[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
    }
  return true;
}

}  // namespace

bool MatrixShaper16::Build(cmsHPROFILE input, cmsHPROFILE output) {
  for (auto& table : linear_) table.clear();
  double in[3][3], out[3][3], outInverse[3][3];
  const cmsToneCurve* inCurves[3];
  const cmsToneCurve* outCurves[3];
  if (!ReadMatrixShaper(input, in, inCurves) || !ReadMatrixShaper(output, out, outCurves) ||
      !Invert(out, outInverse))
    return false;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += outInverse[r][k] * in[k][c];
      if (!std::isfinite(sum)) return false;
      matrix_[r][c] = static_cast<float>(sum);
    }
  std::vector<float> linear[3], encode[3];
  for (int c = 0; c < 3; ++c) {
    linear[c].resize(65536);
    for (int v = 0; v < 65536; ++v) linear[c][v] = cmsEvalToneCurveFloat(inCurves[c], static_cast<float>(v / 65535.0));
    cmsToneCurve* reverse = cmsReverseToneCurve(outCurves[c]);
    if (!reverse) return false;
    encode[c].resize(kEncodeSteps + 2);
    for (int i = 0; i <= kEncodeSteps; ++i) {
      const double t = static_cast<double>(i) / kEncodeSteps;
      encode[c][i] = std::clamp(cmsEvalToneCurveFloat(reverse, static_cast<float>(t * t)), 0.0f, 1.0f);
    }
    // One spare entry so that t = 1 interpolates without a bounds test.
    encode[c][kEncodeSteps + 1] = encode[c][kEncodeSteps];
    cmsFreeToneCurve(reverse);
  }
  for (int c = 0; c < 3; ++c) {
    linear_[c] = std::move(linear[c]);
    encode_[c] = std::move(encode[c]);
  }
  return true;
}

void MatrixShaper16::ApplyRow(unsigned char* row, int pixels, int order) const {
  // Position of red, green and blue within a pixel.
  const int at[3] = {order == 1 ? 2 : 0, 1, order == 1 ? 0 : 2};
  for (int p = 0; p < pixels; ++p, row += 6) {
    float light[3];
    for (int c = 0; c < 3; ++c) {
      const unsigned char* s = row + 2 * at[c];
      light[c] = linear_[c][static_cast<unsigned>(s[0] | (s[1] << 8))];
    }
    for (int r = 0; r < 3; ++r) {
      float v = matrix_[r][0] * light[0] + matrix_[r][1] * light[1] + matrix_[r][2] * light[2];
      // Outside the output gamut: clipped, as Little CMS does.
      v = std::clamp(v, 0.0f, 1.0f);
      const float t = std::sqrt(v) * kEncodeSteps;
      const int i = static_cast<int>(t);
      const float* e = encode_[r].data() + i;
      const float code = e[0] + (t - static_cast<float>(i)) * (e[1] - e[0]);
      const auto sample = static_cast<unsigned>(code * 65535.0f + 0.5f);
      unsigned char* d = row + 2 * at[r];
      d[0] = static_cast<unsigned char>(sample & 0xFF);
      d[1] = static_cast<unsigned char>(sample >> 8);
    }
  }
}

}  // namespace colormatch
