// The Little CMS transforms built from a data file, applied to page buffers.
#pragma once

#include <lcms2.h>

#include <cstdint>

#include "plugins/colormatch/colormatch_config.h"
#include "plugins/colormatch/matrix_shaper16.h"

namespace colormatch {

/// Largest width or height accepted; a sheet-feed page at 600 dpi is a few
/// thousand pixels each way, so anything beyond this is a corrupt argument.
inline constexpr int kMaxSide = 1 << 20;

/// Holds one input/output profile pair and the four pixel-format transforms
/// (8 and 16 bits, R,G,B and B,G,R). Not copyable.
class ColorTransform {
 public:
  ColorTransform();
  ~ColorTransform();
  ColorTransform(const ColorTransform&) = delete;
  ColorTransform& operator=(const ColorTransform&) = delete;

  /// Builds every transform for `config`; false (and nothing held) when a
  /// profile cannot be read or made, or Little CMS refuses the transform.
  /// `matrixShaper16` allows the 16-bit matrix-shaper path where it applies
  /// (tests compare it with Little CMS's own evaluation).
  bool Build(const ColorMatchConfig& config, bool matrixShaper16 = true);
  void Clear();
  bool Ready() const { return transforms_[0] != nullptr; }
  /// True when 16-bit pages take the MatrixShaper16 path.
  bool UsesMatrixShaper16() const { return fast16_.Ready(); }

  /// In place; rows top first without gaps; order 0 R,G,B, 1 B,G,R. False
  /// (image untouched) when not ready or the arguments are unusable.
  bool Apply8(unsigned char* image, int height, int width, int order);
  /// The same for 16-bit little-endian samples.
  bool Apply16(void* image, int height, int width, int order);

 private:
  bool Apply(void* image, int height, int width, int order, int bytesPerSample);

  cmsContext context_ = nullptr;
  // [0] RGB 8, [1] BGR 8, [2] RGB 16, [3] BGR 16.
  cmsHTRANSFORM transforms_[4] = {};
  MatrixShaper16 fast16_;
};

}  // namespace colormatch
