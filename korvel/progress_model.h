// What the progress window shows and answers, kept apart from the window so
// the library behaves the same with and without a display.
#pragma once

#include <cstdint>
#include <vector>

namespace korvel {

class ProgressModel {
 public:
  struct Change {
    bool stage = false;    // status text and Cancel button were set
    bool percent = false;  // the bar moved
  };

  /// Takes (percent, stage); the status text and Cancel button follow the
  /// stage when it changes, the bar follows the percent.
  Change Update(int percent, int stage);
  /// The user pressed Cancel: every later answer is 0.
  void Cancel() { continue_ = 0; }

  int ContinueFlag() const { return continue_; }
  int StatusTextId() const { return statusTextId_; }
  bool CancelEnabled() const { return cancelEnabled_; }
  int Percent() const { return lastPercent_; }
  int Stage() const { return lastStage_; }

 private:
  int statusTextId_ = 2083;
  int lastStage_ = -1;
  int lastPercent_ = 0;
  int continue_ = 1;
  bool cancelEnabled_ = true;
};

/// The live picture of the page being read: a small RGB bitmap filled row by
/// row from the raw device buffer, every e-th pixel of every e-th line.
class ScanThumbnail {
 public:
  /// Client area of the thumbnail window (182 x 256 with a 1-pixel border).
  ScanThumbnail(int width = 180, int height = 254);

  /// Draws the rows that arrived since the last call; true when the number
  /// of rows drawn changed. data: lines of pixelsPerLine pixels in the
  /// layout of the pixel type; null draws nothing.
  bool Update(int pixelType, int pixelsPerLine, int linesExpected, int threshold,
              const unsigned char* data, int linesSoFar);

  /// Sampling step for a page: max(lines / 256, pixels / width) + 1.
  static int Step(int pixelsPerLine, int linesExpected, int width);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int RowsDrawn() const { return rowsDrawn_; }
  int Threshold() const { return threshold_; }
  /// R, G, B bytes, width x height, top row first.
  const std::vector<uint8_t>& Pixels() const { return pixels_; }

 private:
  int width_;
  int height_;
  int rowsDrawn_ = 0;
  int threshold_ = 128;
  std::vector<uint8_t> pixels_;
};

}  // namespace korvel
