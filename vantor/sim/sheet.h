// A sheet of paper as the feeder sees it: a grid of pixels at some dpi whose
// values are the light the sensor receives, in "sensor-linear" RGB: the
// page's true colours decoded to linear light and mixed through the sensor
// matrix, before the sensor's tone curve. Blending and resampling in this
// space are physically right and commute with the matrix.
#pragma once

#include <array>
#include <cstdint>

namespace vantor_sim {

using Rgb = std::array<float, 3>;

/// True sRGB bytes -> sensor-linear light.
Rgb SensorLinear(uint8_t r, uint8_t g, uint8_t b);
/// Linear-light sRGB (each 0..1) -> sensor-linear light.
Rgb MixLinear(double r, double g, double b);

/// The feeder background: the sensor delivers exactly 30, 30, 30 for it.
Rgb BackgroundLight();

class Sheet {
 public:
  virtual ~Sheet() = default;

  /// Physical size in 1/300 inch.
  double widthUnits() const { return widthUnits_; }
  double heightUnits() const { return heightUnits_; }
  /// The pixel grid: gridWidth x gridHeight pixels at (dpiX, dpiY).
  int gridWidth() const { return gridWidth_; }
  int gridHeight() const { return gridHeight_; }
  double dpiX() const { return dpiX_; }
  double dpiY() const { return dpiY_; }

  /// Fills grid rows [first, first + count), every column, 3 floats per pixel.
  /// The rows lie inside the grid.
  virtual void RenderRows(int first, int count, float* out) const = 0;

 protected:
  double widthUnits_ = 0, heightUnits_ = 0;
  int gridWidth_ = 0, gridHeight_ = 0;
  double dpiX_ = 300, dpiY_ = 300;
};

}  // namespace vantor_sim
