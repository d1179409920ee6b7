// How the simulated scanner's sensor sees colour, and the colour chart printed
// on its sample document. Shared by the simulator (which applies the response)
// and by the colour-matching tests (which check that the shipped data file
// undoes it).
//
// The page's true colours are sRGB. The sensor decodes them to linear light,
// mixes the channels through kSensorMatrix (slightly different primaries; each
// row sums to 1, so white and grays keep their balance) and encodes the result
// with a pure power curve of 1 / kSensorGamma instead of the sRGB curve.
#pragma once

#include <cstdint>

namespace vantor_sim {

inline constexpr double kSensorMatrix[3][3] = {
    {0.84, 0.13, 0.03},
    {0.06, 0.86, 0.08},
    {0.02, 0.11, 0.87},
};
inline constexpr double kSensorGamma = 1.8;

struct ChartPatch {
  const char* name;
  uint8_t r, g, b;  // true sRGB colour
};

/// The 24 patches of the sample document's colour chart, 6 per row, 4 rows.
inline constexpr ChartPatch kChartPatches[24] = {
    {"dark skin", 115, 82, 68},     {"light skin", 194, 150, 130},
    {"blue sky", 98, 122, 157},     {"foliage", 87, 108, 67},
    {"blue flower", 133, 128, 177}, {"bluish green", 103, 189, 170},
    {"orange", 214, 126, 44},       {"purplish blue", 80, 91, 166},
    {"moderate red", 193, 90, 99},  {"purple", 94, 60, 108},
    {"yellow green", 157, 188, 64}, {"orange yellow", 224, 163, 46},
    {"blue", 56, 61, 150},          {"green", 70, 148, 73},
    {"red", 175, 54, 60},           {"yellow", 231, 199, 31},
    {"magenta", 187, 86, 149},      {"cyan", 8, 133, 161},
    {"white", 243, 243, 242},       {"neutral 8", 200, 200, 200},
    {"neutral 6.5", 160, 160, 160}, {"neutral 5", 122, 122, 121},
    {"neutral 3.5", 85, 85, 85},    {"black", 52, 52, 52},
};

/// sRGB decoding of a value in [0, 1].
double SrgbToLinear(double v);
double LinearToSrgb(double v);

/// True encoded sRGB (each in [0, 1]) -> what the sensor delivers (each in [0, 1]).
void SensorResponse(const double trueRgb[3], double sensorRgb[3]);

/// The same for 8-bit values, rounded.
void SensorResponse8(const uint8_t trueRgb[3], uint8_t sensorRgb[3]);

}  // namespace vantor_sim
