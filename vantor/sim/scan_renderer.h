// What the sensor delivers line by line: a sheet placed on the feeder's dark
// background (shifted and turned), seen through the frame the caller asked
// for at the delivered resolution, encoded by the sensor's tone curve.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "vantor/sim/sheet.h"

namespace vantor_sim {

/// Width of the device, 1/300 inch (8.5 inches).
inline constexpr int kDeviceWidthUnits = 2550;
/// Feeder travel after the sheet's last point, 1/300 inch.
inline constexpr double kTrailingMarginUnits = 30;

struct Placement {
  double offsetX = 60;  // sheet's top-left corner, 1/300 inch
  double offsetY = 45;
  double angleDeg = 1.5;  // clockwise on the delivered image, about that corner
};

/// How far the feeder moves for a sheet: its lowest point plus the trailing
/// margin, 1/300 inch from the top of the device.
double FeedLengthUnits(double sheetWidth, double sheetHeight, const Placement& placement);

struct OutputFrame {
  double left = 0, top = 0;  // 1/300 inch
  int pixels = 0, lines = 0;
  double dpiX = 300, dpiY = 300;
};

/// The sensor's encoding of sensor-linear light (0..1) as a 16-bit value.
uint16_t EncodeSensor(float light);

class ScanRenderer {
 public:
  /// `sheet` may be null: the device then sees only its background.
  ScanRenderer(std::shared_ptr<const Sheet> sheet, const Placement& placement,
               const OutputFrame& frame);

  /// Line `line` (0 = top of the frame): pixels x R, G, B 16-bit sensor values.
  /// The pointer stays valid until the next call.
  const uint16_t* Line(int line);

 private:
  void RenderBand(int firstLine);

  std::shared_ptr<const Sheet> sheet_;
  OutputFrame frame_;
  Rgb background_;
  // Grid sample position of pixel (0, 0) and its change per pixel and line.
  double s0_, t0_, dsdu_, dtdu_, dsdv_, dtdv_;
  int bandLines_;
  int bandFirst_ = -1;
  std::vector<uint16_t> band_;
  std::vector<float> sheetRows_;
  std::vector<uint32_t> index_;
};

/// Turns sensor values into the bytes of one delivered line. mode 1 gray 8,
/// 2 colour 8, 9 gray 16, 10 colour 16 (little-endian); order 0 R,G,B,
/// 1 B,G,R. `table` holds 65536 (gray) or 3 x 65536 (colour: red, green,
/// blue) entries indexed by the 16-bit sensor value, or is null.
void PackLine(const uint16_t* rgb, int pixels, int mode, int order, const uint16_t* table,
              uint8_t* out);

/// Bytes per pixel of a device mode, or 0 for an unknown mode.
int BytesPerPixel(int mode);

}  // namespace vantor_sim
