// The 16-bit path for a pair of matrix-shaper profiles (every scanner
// description in our data files, sRGB, and most display profiles).
//
// Little CMS optimises such a pair into curves and a matrix only for 8-bit
// input; for 16 bits it either resamples the whole transform into a grid,
// whose interpolation across the gamut edge near black is off by up to ten
// 8-bit levels, or evaluates the full pipeline in floating point, about
// 0.15 s per million pixels. This class builds what the 8-bit optimisation
// builds, at 16-bit precision, from the profiles' own curves and colorants
// as Little CMS reads them: input curves as tables, one 3 x 3 matrix, the
// output curves' inverse tabulated over the square root of linear light
// (fine where the encoding is steepest, near black).
#pragma once

#include <lcms2.h>

#include <cstdint>
#include <vector>

namespace colormatch {

class MatrixShaper16 {
 public:
  /// False when either profile is not an RGB matrix-shaper or its matrix
  /// cannot be inverted.
  bool Build(cmsHPROFILE input, cmsHPROFILE output);
  bool Ready() const { return !linear_[0].empty(); }

  /// In place on `pixels` pixels of 16-bit little-endian samples; order 0
  /// R,G,B, 1 B,G,R.
  void ApplyRow(unsigned char* row, int pixels, int order) const;

 private:
  static constexpr int kEncodeSteps = 16384;
  std::vector<float> linear_[3];  // 65536 entries: code -> linear light
  float matrix_[3][3] = {};
  std::vector<float> encode_[3];  // kEncodeSteps + 2 entries: sqrt(light) -> code / 65535
};

}  // namespace colormatch
