// The built-in sample document: a synthetic sheet (A4 unless configured) with
// a heading, lines of text-like strokes, a photograph-like colour area, a
// halftone area printed with a 150 lpi screen at 45 degrees, a gray ramp, the
// 24-patch colour chart and its page number in the bottom-right corner.
// Everything is a function of sheet coordinates, sampled per pixel with box
// coverage for straight edges, so any resolution gives the same page.
#pragma once

#include <cstddef>
#include <vector>

#include "vantor/sim/sheet.h"

namespace vantor_sim {

class SampleDocument final : public Sheet {
 public:
  struct Box {
    double x0, y0, x1, y1;  // 1/300 inch, sheet coordinates
  };

  /// The layout is drawn for A4 (2480 x 3508) and stretched to other sizes.
  SampleDocument(int pageNumber, double dpiX, double dpiY, double widthUnits = 2480,
                 double heightUnits = 3508);

  void RenderRows(int first, int count, float* out) const override;

  // Where the parts are, for tests and anyone locating them in a scan.
  Box photoBox() const { return photo_; }
  Box halftoneBox() const { return halftone_; }
  Box rampBox() const { return ramp_; }
  Box chartPatchBox(int index) const { return patches_[static_cast<std::size_t>(index)].box; }
  Box pageNumberBox() const { return pageNumber_; }
  int pageNumber() const { return number_; }

  /// Screen period of the halftone area, 1/300 inch (150 lines per inch).
  static constexpr double kScreenPeriod = 2.0;

 private:
  struct InkRect {
    Box box;
    int layer;
  };
  struct Patch {
    Box box;
    Rgb light;
  };

  Box Scaled(double x0, double y0, double x1, double y1) const;
  void AddText(const char* text, double x, double y, double module, int layer);
  void AddStrokeLines(Box area, unsigned seed);

  void RenderPhoto(int first, int count, float* out) const;
  void RenderHalftone(int first, int count, float* out) const;
  void RenderRamp(int first, int count, float* out) const;
  void RenderInk(int first, int count, float* out) const;
  void RenderPatches(int first, int count, float* out) const;

  int number_;
  double scaleX_, scaleY_;  // layout units -> sheet units
  Box photo_{}, halftone_{}, ramp_{}, pageNumber_{};
  std::vector<InkRect> ink_;
  std::vector<Rgb> layerLight_;
  std::vector<Patch> patches_;  // colour chart (first 24) and gray steps
  Rgb paper_{}, halftoneInk_{};
};

}  // namespace vantor_sim
