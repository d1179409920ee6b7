#include "vantor/sim/sensor_response.h"

#include <algorithm>
#include <cmath>

namespace vantor_sim {

double SrgbToLinear(double v) {
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

double LinearToSrgb(double v) {
  return v <= 0.0031308 ? v * 12.92 : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
}

void SensorResponse(const double trueRgb[3], double sensorRgb[3]) {
  double linear[3];
  for (int c = 0; c < 3; ++c) linear[c] = SrgbToLinear(std::clamp(trueRgb[c], 0.0, 1.0));
  for (int row = 0; row < 3; ++row) {
    double mixed = 0.0;
    for (int c = 0; c < 3; ++c) mixed += kSensorMatrix[row][c] * linear[c];
    sensorRgb[row] = std::pow(std::clamp(mixed, 0.0, 1.0), 1.0 / kSensorGamma);
  }
}

void SensorResponse8(const uint8_t trueRgb[3], uint8_t sensorRgb[3]) {
  double in[3] = {trueRgb[0] / 255.0, trueRgb[1] / 255.0, trueRgb[2] / 255.0};
  double out[3];
  SensorResponse(in, out);
  for (int c = 0; c < 3; ++c) sensorRgb[c] = static_cast<uint8_t>(std::lround(out[c] * 255.0));
}

}  // namespace vantor_sim
