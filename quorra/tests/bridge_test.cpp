// The two-way bridge to the user interface: Korvel's slots, error reports,
// cancel, showing and closing, and a second session in one process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/global_memory.h"
#include "quorra/tests/harness.h"

namespace quorra_test {
namespace {

using Lines = std::vector<std::string>;

class BridgeTest : public QuorraTest {};

TEST_F(BridgeTest, CancelDuringReadingEndsQuietly) {
  Open();
  Ctl().korvel.setting = MakeScanSetting(PX_PIXEL_COLOR24, 10, 8, 300);
  Ctl().korvel.cancelStage = PX_STAGE_READING;
  Ctl().korvel.cancelPercent = 50;
  EXPECT_EQ(ScanSlot(), 1);
  EXPECT_EQ(g_imageReadyCalls, 0);
  EXPECT_EQ(Calls({"Korvel.UI_ErrMsg"}), Lines{});
  // The device stopped at the fourth line and was stopped once; the page ended.
  EXPECT_EQ(Calls({"Korvel.UI_SetScanImg"}).back(), "Korvel.UI_SetScanImg 0 10 8 128 page 4");
  EXPECT_EQ(Calls({"Vantor.StopScan"}).size(), 1u);
  EXPECT_EQ(Calls({"Korvel."}).back(), "Korvel.UI_ScanComplete");
  EXPECT_EQ(Calls({"GeometryTrans.", "Filter.", "ColorMatch."}), Lines{});
  EXPECT_EQ(Calls({"Tembra.Create"}).size(), Calls({"Tembra.FreeEnhanceTable"}).size());
  ImageInfo info{};
  EXPECT_EQ(Q().GetImageInfo(&info), 1);
}

TEST_F(BridgeTest, ScanSlotReportsEachErrorAndReturnsTheMessageResult) {
  struct Case {
    const char* name;
    void (*arrange)(standin::Controls&);
    int code;
  };
  const Case cases[] = {
      {"resolution 0", [](standin::Controls& c) { c.korvel.setting.Resolution = 0; }, 2},
      {"start refused", [](standin::Controls& c) { c.vantor.startStatus = 3; }, 2},
      {"absurd page",
       [](standin::Controls& c) {
         c.vantor.useGeometry = true;
         c.vantor.geometry = VantorGeometry{0, 300, 300, 60000, 65535};
       }, 3},
      {"read failed", [](standin::Controls& c) { c.vantor.readStatus = 1; }, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    Open();
    Ctl().korvel.errMsgResult = 9;
    Ctl().korvel.setting = MakeScanSetting(PX_PIXEL_GRAY8, 10, 8, 300);
    c.arrange(Ctl());
    EXPECT_EQ(ScanSlot(), 9);
    const Lines calls = Calls({"Korvel."});
    EXPECT_EQ(calls.back(), "Korvel.UI_ErrMsg " + std::to_string(c.code));
    EXPECT_EQ(calls[calls.size() - 2], "Korvel.UI_ScanComplete");
    EXPECT_EQ(g_imageReadyCalls, 0);
    EXPECT_EQ(Calls({"Tembra.Create"}).size(), Calls({"Tembra.FreeEnhanceTable"}).size());
  }
  // Without error reports the slot answers 0.
  TearDown();
  SetUp();
  Open(0);
  Ctl().korvel.errMsgResult = 9;
  Ctl().korvel.setting = MakeScanSetting(PX_PIXEL_GRAY8, 10, 8, 300);
  Ctl().vantor.readStatus = 1;
  EXPECT_EQ(ScanSlot(), 0);
  EXPECT_EQ(Calls({"Korvel.UI_ErrMsg"}), Lines{});
}

TEST_F(BridgeTest, OpenErrorGoesThroughTheUserInterface) {
  Ctl().vantor.openFailures = 100;
  Ctl().korvel.errMsgResult = 4;
  EXPECT_EQ(Q().OpenDS(HostImageReady, HostEvent, 1), 1);
  EXPECT_EQ(Calls({"Korvel."}), (Lines{"Korvel.UI_Create", "Korvel.UI_ErrMsg 1"}));
}

TEST_F(BridgeTest, ShowOnceAndCloseOnlyWhenShown) {
  Open();
  int parent = 0;
  standin::Name(&parent, "parent");
  Ctl().korvel.panel = &parent;
  void* panel = nullptr;
  EXPECT_EQ(Q().CloseUI(), 0);
  EXPECT_EQ(Q().OpenUI(&parent, &panel, 0, "Twain32"), 0);
  EXPECT_EQ(panel, &parent);
  EXPECT_EQ(Q().OpenUI(&parent, &panel, 1, "Other"), 0);
  EXPECT_EQ(Calls({"Korvel.UI_Show", "Korvel.UI_Close"}),
            Lines{"Korvel.UI_Show parent=parent section=Twain32"});
  EXPECT_EQ(Q().CloseUI(), 0);
  EXPECT_EQ(Q().CloseUI(), 0);
  EXPECT_EQ(Q().OpenUI(nullptr, &panel, 0, "Again"), 0);
  EXPECT_EQ(Q().CloseDS(), 0);
  EXPECT_EQ(Calls({"Korvel.UI_Show", "Korvel.UI_Close"}),
            (Lines{"Korvel.UI_Show parent=parent section=Twain32", "Korvel.UI_Close",
                   "Korvel.UI_Show parent=null section=Again", "Korvel.UI_Close"}));
}

TEST_F(BridgeTest, SecondSessionInOneProcess) {
  Open();
  void* panel = nullptr;
  Q().OpenUI(nullptr, &panel, 0, "S");
  Ctl().korvel.setting = MakeScanSetting(PX_PIXEL_COLOR24, 10, 4, 300);
  ASSERT_EQ(ScanSlot(), 5);
  // Closing with a page still pending gives every buffer back first.
  ClearLog();
  EXPECT_EQ(Q().CloseDS(), 0);
  EXPECT_EQ(Calls(), (Lines{"Vantor._Close", "Korvel.UI_Close"}));

  ClearLog();
  ASSERT_EQ(Q().OpenDS(HostImageReady, HostEvent, 1), 0);
  EXPECT_EQ(Calls({"Korvel.", "Vantor."}), (Lines{"Korvel.UI_Create", "Vantor._Open"}));
  ASSERT_EQ(ScanSlot(), 5);
  void* dib = nullptr;
  EXPECT_EQ(Q().GetImageDIB(&dib), 3);
  EXPECT_NE(dib, nullptr);
  px::GlobalFree(dib);

  // A second OpenDS without CloseDS closes the device before reloading it.
  ClearLog();
  ASSERT_EQ(Q().OpenDS(HostImageReady, HostEvent, 1), 0);
  EXPECT_EQ(Calls({"Korvel.", "Vantor."}),
            (Lines{"Vantor._Close", "Korvel.UI_Create", "Vantor._Open"}));
  EXPECT_EQ(Q().CloseDS(), 0);
}

TEST_F(BridgeTest, DeviceSlotsPassThrough) {
  Open();
  const UiCallbacks& cb = Ctl().korvel.callbacks;
  Ctl().vantor.paperOn = 3;
  Ctl().vantor.buttonOn = 4;
  Ctl().vantor.calibrationNeeded = 6;
  Ctl().vantor.rollPaper = 8;
  EXPECT_EQ(cb.PaperOn(), 3);
  EXPECT_EQ(cb.ButtonOn(), 4);
  EXPECT_EQ(cb.CalibrationNeeded(), 6);
  EXPECT_EQ(cb.RollPaper(), 8);
  EXPECT_EQ(cb.HostEvent(), 11);
  EXPECT_EQ(g_hostEventCalls, 1);
  EXPECT_EQ(cb.Calibrate(1), 1);
  Ctl().vantor.calibrateResult = 2;
  EXPECT_EQ(cb.Calibrate(0), 0);
  EXPECT_EQ(Calls(), (Lines{"Vantor.IsPaperOn", "Vantor.IsButtonOn", "Vantor.IsCalibrationNeeded",
                            "Vantor.RollPaper", "Host.Event", "Vantor.CalibrateScanner mode=1",
                            "Korvel.UI_SetProgress 25 1", "Korvel.UI_SetProgress 100 1",
                            "Vantor.CalibrateScanner mode=0", "Korvel.UI_SetProgress 25 1",
                            "Korvel.UI_SetProgress 100 1"}));
  // After CloseDS the table Korvel copied still works and answers "nothing".
  Q().CloseDS();
  ClearLog();
  EXPECT_EQ(cb.PaperOn(), 0);
  EXPECT_EQ(cb.Calibrate(0), 0);
  EXPECT_EQ(Calls(), Lines{});
}

TEST_F(BridgeTest, HostEventWithoutHostFunction) {
  ASSERT_EQ(Q().OpenDS(nullptr, nullptr, 1), 0);
  EXPECT_EQ(Ctl().korvel.callbacks.HostEvent(), 0);
  Ctl().korvel.setting = MakeScanSetting(PX_PIXEL_GRAY8, 4, 2, 300);
  EXPECT_EQ(ScanSlot(), 1);  // no image-ready function
}

TEST_F(BridgeTest, PrescanCopiesEveryOtherPixelOfEveryOtherLine) {
  Open();
  Ctl().korvel.setting = MakeScanSetting(PX_PIXEL_GRAY16, 10, 4, 600);
  const UiCallbacks& cb = Ctl().korvel.callbacks;
  unsigned height = 3;
  std::vector<unsigned char> out(5 * 3 * 3, 0xEE);
  EXPECT_EQ(cb.Prescan(5, &height, out.data()), 1);
  EXPECT_EQ(height, 3u);
  // 5 x 3 preview pixels = 10 x 6 pixels at 75 dpi = 40 x 24 in 1/300 inch.
  EXPECT_EQ(Calls({"Vantor.SetParameters", "Korvel.UI_SetProgress 0 0", "Korvel.UI_SetProgress 33 6",
                   "Korvel.UI_SetProgress 66 6", "GeometryTrans.", "Tembra.Map"}),
            (Lines{"Korvel.UI_SetProgress 0 0",
                   "Vantor.SetParameters left=0 top=0 width=40 height=24 dpi=75 mode=2 "
                   "fixed=128,0,0 table=table1.entries",
                   "Korvel.UI_SetProgress 33 6", "Korvel.UI_SetProgress 66 6"}));
  const uint32_t rowBytes = 10 * 3;
  for (unsigned r = 0; r < 3; ++r)
    for (unsigned c = 0; c < 5; ++c)
      for (unsigned k = 0; k < 3; ++k)
        ASSERT_EQ(out[(r * 5 + c) * 3 + k], standin::PatternByte(2 * r, 6 * c + k))
            << r << "," << c << "," << k;
  EXPECT_EQ(Calls().back(), "Korvel.UI_ScanComplete");

  // Bad requests fail at once.
  ClearLog();
  EXPECT_EQ(cb.Prescan(0, &height, out.data()), 0);
  EXPECT_EQ(cb.Prescan(5, nullptr, out.data()), 0);
  EXPECT_EQ(cb.Prescan(5, &height, nullptr), 0);
  EXPECT_EQ(Calls(), Lines{});
  (void)rowBytes;
}

TEST_F(BridgeTest, PrescanNeverWritesPastTheCallersRows) {
  Open();
  Ctl().korvel.logProgress = false;
  // The device sends more and narrower lines than the preview asked for.
  Ctl().vantor.useGeometry = true;
  Ctl().vantor.geometry = VantorGeometry{0, 75, 75, 3 * 4, 40};
  unsigned height = 2;
  std::vector<unsigned char> out(6 * 2 * 3 + 16, 0xEE);
  EXPECT_EQ(Ctl().korvel.callbacks.Prescan(6, &height, out.data()), 1);
  EXPECT_EQ(height, 2u);
  for (size_t i = 6 * 2 * 3; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << i;
  // Pixels the device did not deliver are black.
  EXPECT_EQ(out[3], standin::PatternByte(0, 6));
  EXPECT_EQ(out[6], 0);
  EXPECT_EQ(out[3 * 5 + 2], 0);
}

TEST_F(BridgeTest, PrescanCancelAndErrors) {
  Open();
  Ctl().korvel.cancelStage = PX_STAGE_HANDOUT;
  unsigned height = 4;
  std::vector<unsigned char> out(4 * 4 * 3);
  EXPECT_EQ(Ctl().korvel.callbacks.Prescan(4, &height, out.data()), 0);
  EXPECT_EQ(Calls({"Korvel.UI_ErrMsg"}), Lines{});
  ClearLog();
  Ctl().vantor.setParametersStatus = 1;
  EXPECT_EQ(Ctl().korvel.callbacks.Prescan(4, &height, out.data()), 0);
  EXPECT_EQ(Calls().back(), "Korvel.UI_ErrMsg 2");
}

}  // namespace
}  // namespace quorra_test
