#include "pellix/image_adjustment.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pellix/device_binding.h"
#include "pellix/progress.h"
#include "platform/ini_file.h"

namespace pellix {
namespace {

ToneSettings Read(const std::string& defaultSetting, bool lineart = false) {
  return ReadToneSettings(px::IniDocument::Parse("[Default Setting]\n" + defaultSetting), lineart);
}

// The tone records are packed: their fields are copied (unary +) before the
// checks take them by reference.
TEST(PellixListKey, ValuesSpacesAndDefaults) {
  int v[5] = {-1, -1, -1, -1, -1};
  EXPECT_EQ(ParseListValues("1 2 3", v, 5), 3);
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[2], 3);
  EXPECT_EQ(v[3], -1) << "positions beyond the values keep their defaults";

  int w[4] = {9, 9, 9, 9};
  EXPECT_EQ(ParseListValues("5    -6  7", w, 4), 3) << "several spaces read as one";
  EXPECT_EQ(w[0], 5);
  EXPECT_EQ(w[1], -6);
  EXPECT_EQ(w[2], 7);

  int x[2] = {9, 9};
  EXPECT_EQ(ParseListValues("1 2 3 4", x, 2), 2) << "no more than the allowed count";
  EXPECT_EQ(x[1], 2);
  EXPECT_EQ(ParseListValues("", x, 2), 0);
  EXPECT_EQ(x[0], 1) << "an empty text changes nothing";

  int y[3] = {9, 9, 9};
  EXPECT_EQ(ParseListValues("abc 12x", y, 3), 2);
  EXPECT_EQ(y[0], 0) << "non-numeric text is 0";
  EXPECT_EQ(y[1], 12);
  int z[3] = {9, 9, 9};
  EXPECT_EQ(ParseListValues("4 ", z, 3), 1) << "trailing spaces add no value";
  EXPECT_EQ(z[1], 9);
}

TEST(PellixListKey, BrightnessGoesToGrayByScanKind) {
  const ToneSettings gray = Read("Brightness=10 20 30 40 50\n", false);
  EXPECT_EQ(+gray.red.Brightness, 10);
  EXPECT_EQ(+gray.green.Brightness, 20);
  EXPECT_EQ(+gray.blue.Brightness, 30);
  EXPECT_EQ(+gray.gray.Brightness, 40);
  EXPECT_EQ(+Read("Brightness=10 20 30 40 50\n", true).gray.Brightness, 50);
  EXPECT_EQ(+Read("Brightness=10 20 30 40\n", true).gray.Brightness, 0);
}

TEST(PellixListKey, OneValueChangesOnlyRedAndNeutralDefaultsStay) {
  const ToneSettings t = Read("Gamma=12\n");
  EXPECT_EQ(+t.red.Gamma, 12);
  EXPECT_EQ(+t.green.Gamma, 10);
  EXPECT_EQ(+t.blue.Gamma, 10);
  EXPECT_EQ(+t.gray.Gamma, 10);
  EXPECT_EQ(+t.gray.InputLevelHigh, 255);
  EXPECT_EQ(+t.gray.OutputLevelHigh, 255);
  EXPECT_EQ(+t.gray.scale, 1.0f);
  EXPECT_EQ(+t.red.CurvePointCount, 0);

  const ToneSettings levels = Read(
      "InputLevelLow=1 2 3 4\nInputLevelHigh=200 201 202 203\nOutputLevelLow=5 6 7 8\n"
      "OutputLevelHigh=250 251 252 253\nContrast=-5 0 5 10\n");
  EXPECT_EQ(+levels.blue.InputLevelLow, 3);
  EXPECT_EQ(+levels.gray.InputLevelHigh, 203);
  EXPECT_EQ(+levels.green.OutputLevelLow, 6);
  EXPECT_EQ(+levels.red.OutputLevelHigh, 250);
  EXPECT_EQ(+levels.red.Contrast, -5);
  EXPECT_EQ(+levels.gray.Contrast, 10);
}

TEST(PellixListKey, CurvePointsPerChannel) {
  const ToneSettings t =
      Read("CurvePointCount=2 0 0 0\nCurvePointR=64 50 192 200\nCurvePointG=1 2 3 4\n");
  EXPECT_EQ(+t.red.CurvePointCount, 2);
  EXPECT_EQ(+t.red.CurvePoints[0].x, 64);
  EXPECT_EQ(+t.red.CurvePoints[0].y, 50);
  EXPECT_EQ(+t.red.CurvePoints[1].x, 192);
  EXPECT_EQ(+t.red.CurvePoints[1].y, 200);
  EXPECT_EQ(+t.green.CurvePointCount, 0) << "points are read only for a positive count";
  EXPECT_EQ(+t.green.CurvePoints[0].x, 0);

  // A count beyond what the record holds is limited to 15; one given with too
  // few values keeps zero points for the rest.
  std::string many = "CurvePointCount=0 0 0 40\nCurvePointGray=";
  for (int i = 0; i < 40; ++i) many += std::to_string(i) + " ";
  const ToneSettings m = Read(many + "\nCurvePointB=7 8\n");
  EXPECT_EQ(+m.gray.CurvePointCount, 15);
  EXPECT_EQ(+m.gray.CurvePoints[14].x, 28);
  EXPECT_EQ(+m.gray.CurvePoints[14].y, 29);
  const ToneSettings shortList = Read("CurvePointCount=0 0 3 -2\nCurvePointB=7 8\n");
  EXPECT_EQ(+shortList.blue.CurvePointCount, 3);
  EXPECT_EQ(+shortList.blue.CurvePoints[0].x, 7);
  EXPECT_EQ(+shortList.blue.CurvePoints[2].y, 0);
  EXPECT_EQ(+shortList.gray.CurvePointCount, 0);
}

TEST(PellixListKey, BackgroundInfo) {
  const ToneSettings t = Read("BGInfo=30 31 32 55\n");
  EXPECT_EQ(t.bgInfo[0], 30);
  EXPECT_EQ(t.bgInfo[3], 55);
  EXPECT_EQ(t.bgInfo[4], 0);
}

TEST(PellixPostProcess, LineartThresholdAndMissingPluginsKeepThePage) {
  uint8_t px[5] = {0, 127, 128, 129, 255};
  ThresholdLineart(px, 5);
  EXPECT_EQ(std::vector<uint8_t>(px, px + 5), (std::vector<uint8_t>{0, 0, 0, 255, 255}));

  ImageAdjustment adjust;
  adjust.Load("/nonexistent/Tembra.so", "/nonexistent/GeometryTrans.so",
              "/nonexistent/ColorMatch.so", "/nonexistent/CM.ini");
  EXPECT_FALSE(adjust.HasToneLibrary());
  EXPECT_FALSE(adjust.HasGeometry());
  std::unique_ptr<uint8_t[]> raw(new uint8_t[6]{10, 128, 129, 200, 3, 250});
  uint8_t* processed = nullptr;
  int w = 3, h = 2;
  // Crop asked and the dpi differ, but without plug-ins only the threshold runs.
  uint8_t* page = adjust.PostProcess(raw, processed, w, h, PX_MODE_GRAY8, true, 300, 300, 600, true);
  EXPECT_EQ(page, raw.get());
  EXPECT_EQ(processed, nullptr);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  EXPECT_EQ(std::vector<uint8_t>(page, page + 6), (std::vector<uint8_t>{0, 0, 255, 255, 0, 255}));

  CDeviceBinding unbound;
  EXPECT_EQ(adjust.MakeToneTable(unbound, PX_MODE_COLOR8, false, "/nonexistent.ini"), nullptr);
}

TEST(PellixPostProcess, GeometryTypeCodes) {
  EXPECT_EQ(GeometryTypeOf(PX_MODE_COLOR8), 0);
  EXPECT_EQ(GeometryTypeOf(PX_MODE_GRAY8), 1);
  EXPECT_EQ(GeometryTypeOf(PX_MODE_COLOR16), 2);
  EXPECT_EQ(GeometryTypeOf(PX_MODE_GRAY16), 3);
  EXPECT_EQ(PixelFormat(PX_MODE_COLOR8).BytesToPixels(300), 100);
  EXPECT_EQ(PixelFormat(PX_MODE_COLOR16).PixelsToBytes(100), 600);
  EXPECT_EQ(PixelFormat(PX_MODE_GRAY16).BytesToPixels(7), 3);
  EXPECT_FALSE(PixelFormat(3).IsValid());
}

class RecordingSink : public ProgressSink {
 public:
  void Begin(bool cancellable) override { began = cancellable ? 2 : 1; }
  void End() override { ended = true; }
  void Pump() override { ++pumps; }
  void SetPosition(int percent) override { last = percent; }
  bool CancelRequested() override { return cancel; }
  int began = 0, pumps = 0, last = -1;
  bool ended = false, cancel = false;
};

TEST(PellixProgress, PositionCancelAndScopes) {
  EXPECT_EQ(PercentOf(50, 200), 25);
  EXPECT_EQ(PercentOf(10, 0), 0);
  EXPECT_EQ(PercentOf(70000, 70000), 100) << "worked out on the low 16 bits";
  EXPECT_EQ(PercentOf(300, 200), 100);
  EXPECT_EQ(ProgressCallback(10), 1) << "no progress window: go on";

  RecordingSink sink;
  {
    ProgressScope scope(&sink, true);
    EXPECT_EQ(sink.began, 2);
    ProgressScope::SetTotal(400);
    EXPECT_EQ(ProgressCallback(100), 1);
    EXPECT_EQ(sink.last, 25);
    EXPECT_EQ(sink.pumps, 1);
    sink.cancel = true;
    EXPECT_EQ(ProgressCallback(200), 0);
    EXPECT_EQ(CalibrationProgress(1, 4), 0);
  }
  EXPECT_TRUE(sink.ended);
  RecordingSink pass;
  {
    ProgressScope scope(&pass, false);
    pass.cancel = true;
    EXPECT_EQ(CalibrationProgress(3, 4), 1) << "a pass without Cancel always goes on";
    EXPECT_EQ(pass.last, 75);
  }
  EXPECT_EQ(ProgressCallback(1), 1);
}

}  // namespace
}  // namespace pellix
