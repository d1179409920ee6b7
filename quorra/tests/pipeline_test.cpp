// The order, conditions and arguments of every call of a scan: loading,
// device set-up, reading and the processing pipeline, checked against
// recording stand-ins.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/global_memory.h"
#include "quorra/tests/harness.h"

namespace quorra_test {
namespace {

using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

const std::string kNeutral = "B0,C0,G10,L0-255,O0-255,n0";

Lines ReadingProgress(int type, int pixels, int lines) {
  Lines out;
  for (int i = 1; i <= lines; ++i) {
    out.push_back("Korvel.UI_SetScanImg " + std::to_string(type) + " " + std::to_string(pixels) +
                  " " + std::to_string(lines) + " 128 page " + std::to_string(i));
    out.push_back("Korvel.UI_SetProgress " + std::to_string(i * 100 / lines) + " 2");
  }
  return out;
}

Lines Join(std::initializer_list<Lines> parts) {
  Lines out;
  for (const Lines& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

class PipelineTest : public QuorraTest {};

TEST_F(PipelineTest, OpenDsLoadsConfiguresAndOpensInOrder) {
  harness_->WriteIni("[Default Setting]\nBGInfo=200  100   50 7 8\n");
  ASSERT_EQ(Q().OpenDS(HostImageReady, HostEvent, 1), 0);
  EXPECT_EQ(Calls(), (Lines{"GeometryTrans.SetBGInfo 200 100 50 7 8",
                            "ColorMatch.SetColorMatchFileName " + harness_->Folder() + "/Sepcal.ini",
                            "Korvel.UI_Create", "Vantor._Open"}));
}

TEST_F(PipelineTest, BackgroundNeedsExactlyFiveNumbers) {
  for (const char* value : {"1 2 3 4", "", "x"}) {
    harness_->WriteIni(std::string("[Default Setting]\nBGInfo=") + value + "\n");
    ClearLog();
    ASSERT_EQ(Q().OpenDS(HostImageReady, HostEvent, 1), 0);
    EXPECT_EQ(Calls({"GeometryTrans.SetBGInfo"}), Lines{"GeometryTrans.SetBGInfo 30 30 30 55 30"})
        << value;
    Q().CloseDS();
  }
  harness_->WriteIni("[Default Setting]\nBGInfo=1 2 x 4 5 6\n");
  ClearLog();
  ASSERT_EQ(Q().OpenDS(HostImageReady, HostEvent, 1), 0);
  EXPECT_EQ(Calls({"GeometryTrans.SetBGInfo"}), Lines{"GeometryTrans.SetBGInfo 1 2 0 4 5"});
}

TEST_F(PipelineTest, HostScanRunsAcquisitionWithoutProgressOrProcessing) {
  Open();
  const HostSetting h = MakeHostSetting(PX_PIXEL_COLOR24, 0, 0, 40, 20, 300);
  ASSERT_EQ(Q().SetScanSettings(&h), 0);
  ASSERT_EQ(Q().NoUItoXferImage(), 0);
  const std::string neutral3 = "R[" + kNeutral + "] G[" + kNeutral + "] B[" + kNeutral + "]";
  EXPECT_EQ(Calls(), (Lines{"Vantor.GetGammaInfo mode=2",
                            "Tembra.CreateColorMappingTable 10 8 " + neutral3 + " 0 null -> table1",
                            "Vantor.SetParameters left=0 top=0 width=40 height=20 dpi=300 mode=2 "
                            "fixed=128,0,0 table=table1.entries",
                            "Vantor.GetParameters", "Vantor.StartScanEx flag=1 progress=no zero=0",
                            "Vantor.ReadScannedData order=0 wanted=20", "Vantor.StopScan",
                            "Tembra.FreeEnhanceTable table1", "ColorMatch.ColorMatchFun page 20 40 0",
                            "Host.ImageReady"}));
  EXPECT_EQ(g_imageReadyCalls, 1);
  // Handing the page out ends it once; the device was already stopped.
  ClearLog();
  void* dib = nullptr;
  EXPECT_EQ(Q().GetImageDIB(&dib), 3);
  EXPECT_EQ(Calls(), Lines{"Korvel.UI_ScanComplete"});
  px::GlobalFree(dib);
}

TEST_F(PipelineTest, ScanSlotRunsEveryStepWithProgressMarks) {
  Open();
  ScanSetting& s = Ctl().korvel.setting;
  s = MakeScanSetting(PX_PIXEL_COLOR24, 60, 30, 200);
  s.Red.Brightness = 7;
  s.Deskew = 1;
  s.Crop = 1;
  s.AutoLevel = 1;
  s.Hue = 10;
  s.Saturation = -5;
  s.FilterChoice = 1;
  s.DescreenType = 3;
  Ctl().vantor.useGeometry = true;
  Ctl().vantor.geometry = VantorGeometry{0, 300, 300, 3 * 40, 12};

  EXPECT_EQ(ScanSlot(), 5);  // the host's image-ready result
  const std::string neutral = "[" + kNeutral + "]";
  const Lines expected = Join({
      {"Korvel.UI_SetProgress 0 0", "Korvel.UI_GetSetting",
       "Tembra.CreateColorMappingTable 8 8 R[B7,C0,G10,L0-255,O0-255,n0] G" + neutral + " B" +
           neutral + " 0 null -> table1",
       "Vantor.GetGammaInfo mode=2",
       "Tembra.CreateColorMappingTable 10 8 R" + neutral + " G" + neutral + " B" + neutral +
           " 0 null -> table2",
       // 60 x 30 pixels at 200 dpi, scanned at the 150-line screen's 318 dpi.
       "Vantor.SetParameters left=0 top=0 width=90 height=45 dpi=318 mode=2 fixed=128,0,0 "
       "table=table2.entries",
       "Vantor.GetParameters", "Vantor.StartScanEx flag=1 progress=yes zero=0",
       "Vantor.ReadScannedData order=0 wanted=12"},
      ReadingProgress(0, 40, 12),
      {"Vantor.StopScan", "Tembra.FreeEnhanceTable table2",
       // Deskew wins over crop.
       "GeometryTrans.ImageDeskew type=0 page 40x12 progress=yes", "Korvel.UI_SetProgress 50 3",
       "Korvel.UI_SetProgress 100 3", "Korvel.UI_SetProgress 0 5",
       "ColorMatch.ColorMatchFun geom1 10 38 0", "Tembra.AutoLevelColor geom1 38 10 0",
       "Korvel.UI_SetProgress 10 5", "Tembra.MapColorEnhanceTable geom1 8 38 10 0 table1",
       "Tembra.FreeEnhanceTable table1", "Korvel.UI_SetProgress 20 5",
       "Tembra.HueSaturationAdjustment geom1 38 10 0 10 -5", "Korvel.UI_SetProgress 30 5",
       "Filter.FilterProcess 3 geom1 2 10 114", "Korvel.UI_SetProgress 40 5",
       "GeometryTrans.ImageZoom 300 300 318 318 type=0 geom1 38x10 progress=yes",
       "Korvel.UI_SetProgress 55 5", "Korvel.UI_SetProgress 70 5",
       "GeometryTrans.FreeBuffer geom1", "Filter.FilterProcess 19 geom2 2 10 120",
       "Korvel.UI_SetProgress 70 5",
       "GeometryTrans.ImageZoom 318 318 200 200 type=0 geom2 40x10 progress=yes",
       "Korvel.UI_SetProgress 85 5", "Korvel.UI_SetProgress 100 5",
       "GeometryTrans.FreeBuffer geom2", "Korvel.UI_SetProgress 100 5", "Host.ImageReady"}});
  EXPECT_EQ(Calls(), expected);

  ImageInfo info{};
  ClearLog();
  ASSERT_EQ(Q().GetImageInfo(&info), 0);
  EXPECT_EQ(info.Width, 25);
  EXPECT_EQ(info.Height, 6);
  EXPECT_EQ(info.Resolution, 200);
  EXPECT_EQ(Calls(), Lines{"Korvel.UI_SetProgress 0 6"});
  // The clean-up returns the last geometry buffer.
  Q().CloseDS();
  EXPECT_EQ(Calls({"GeometryTrans.FreeBuffer"}), Lines{"GeometryTrans.FreeBuffer geom3"});
}

TEST_F(PipelineTest, GeometryStepChoiceAndNullResults) {
  Open();
  Ctl().korvel.logProgress = false;
  ScanSetting& s = Ctl().korvel.setting;
  s = MakeScanSetting(PX_PIXEL_GRAY8, 20, 10, 300);

  // Crop alone reports as stage 4 and replaces the page.
  s.Crop = 1;
  Ctl().korvel.logProgress = true;
  ASSERT_EQ(ScanSlot(), 5);
  Lines geometry = Calls({"GeometryTrans.", "Korvel.UI_SetProgress 50 4",
                          "Korvel.UI_SetProgress 100 4", "Tembra.MapGray"});
  EXPECT_EQ(geometry, (Lines{"GeometryTrans.ImageCrop type=1 page 20x10 progress=yes",
                             "Korvel.UI_SetProgress 50 4", "Korvel.UI_SetProgress 100 4",
                             "Tembra.MapGrayEnhanceTable geom1 8 18 8 table1"}));

  // A null result leaves the page as it was: same buffer, same size, nothing freed.
  ClearLog();
  Ctl().korvel.logProgress = false;
  s.Crop = 0;
  s.Deskew = 1;
  s.AutoLevel = 1;
  Ctl().geometry.deskewReturnsNull = true;
  ASSERT_EQ(ScanSlot(), 5);
  EXPECT_EQ(Calls({"GeometryTrans.", "Tembra.AutoLevel", "Tembra.MapGray"}),
            (Lines{"GeometryTrans.FreeBuffer geom1",  // the previous page's buffer
                   "GeometryTrans.ImageDeskew type=1 page 20x10 progress=yes",
                   "Tembra.AutoLevelGray page 20 10", "Tembra.MapGrayEnhanceTable page 8 20 10 table3"}));
  ImageInfo info{};
  ASSERT_EQ(Q().GetImageInfo(&info), 0);
  EXPECT_EQ(info.Width, 20);
  EXPECT_EQ(info.Height, 10);
}

TEST_F(PipelineTest, GeometryResultWithoutPixelsIsGivenBack) {
  Open();
  Ctl().korvel.logProgress = false;
  Ctl().korvel.setting = MakeScanSetting(PX_PIXEL_COLOR24, 12, 6, 300);
  Ctl().korvel.setting.Crop = 1;
  Ctl().geometry.emptyResult = true;
  ASSERT_EQ(ScanSlot(), 5);
  EXPECT_EQ(Calls({"GeometryTrans.", "ColorMatch."}),
            (Lines{"GeometryTrans.ImageCrop type=0 page 12x6 progress=yes",
                   "GeometryTrans.FreeBuffer geom1", "ColorMatch.ColorMatchFun page 6 12 0"}));
  ImageInfo info{};
  ASSERT_EQ(Q().GetImageInfo(&info), 0);
  EXPECT_EQ(info.Width, 12);
  EXPECT_EQ(info.Height, 6);
}

TEST_F(PipelineTest, GeometryWorkingInPlaceKeepsTheBufferItWasGiven) {
  Open();
  Ctl().korvel.logProgress = false;
  Ctl().geometry.inPlace = true;
  ScanSetting& s = Ctl().korvel.setting;
  s = MakeScanSetting(PX_PIXEL_GRAY8, 6, 3, 300);
  // Deskew hands the page itself back; crop does the same one line shorter.
  for (const bool deskew : {true, false}) {
    SCOPED_TRACE(deskew ? "deskew" : "crop");
    ClearLog();
    s.Deskew = deskew ? 1 : 0;
    s.Crop = deskew ? 0 : 1;
    ASSERT_EQ(ScanSlot(), 5);
    EXPECT_EQ(Calls({"Tembra.MapGray"}), Lines{"Tembra.MapGrayEnhanceTable page 8 6 " +
                                               std::string(deskew ? "3" : "2") + " table" +
                                               std::to_string(deskew ? 1 : 3)});
    Bytes out(18, 0xEE);
    MemBlockInfo block{};
    ASSERT_EQ(Q().GetImageMem(out.data(), 18, &block), 3);
    EXPECT_EQ(block.Rows, deskew ? 3u : 2u);
    const Bytes page = [] {
      Bytes b;
      for (uint32_t y = 0; y < 3; ++y)
        for (uint32_t x = 0; x < 6; ++x) b.push_back(standin::PatternByte(y, x));
      return b;
    }();
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 6 * block.Rows),
              Bytes(page.begin(), page.begin() + 6 * block.Rows));
    // The page is Quorra's own buffer: it never goes to the library's FreeBuffer.
    EXPECT_EQ(Calls({"GeometryTrans.FreeBuffer"}), Lines{});
  }
}

TEST_F(PipelineTest, SixteenBitPagesSkipFiltersLevelsAndHue) {
  Open();
  ScanSetting& s = Ctl().korvel.setting;
  s = MakeScanSetting(PX_PIXEL_GRAY16, 10, 4, 300);
  s.AutoLevel = 1;
  s.Hue = 20;
  s.FilterChoice = 2;
  s.DescreenType = 1;
  ASSERT_EQ(ScanSlot(), 5);
  EXPECT_EQ(Calls({"Tembra.", "Filter.", "ColorMatch.", "Korvel.UI_SetProgress", "Vantor.GetGamma"}),
            (Lines{"Korvel.UI_SetProgress 0 0",
                   "Tembra.CreateGrayMappingTable 16 16 [" + kNeutral + "] 0 null -> table1",
                   "Vantor.GetGammaInfo mode=9",
                   "Tembra.CreateGrayMappingTable 16 16 [" + kNeutral + "] 0 null -> table2",
                   "Korvel.UI_SetProgress 25 2", "Korvel.UI_SetProgress 50 2",
                   "Korvel.UI_SetProgress 75 2", "Korvel.UI_SetProgress 100 2",
                   "Tembra.FreeEnhanceTable table2", "Korvel.UI_SetProgress 0 5",
                   "Korvel.UI_SetProgress 10 5", "Tembra.MapGrayEnhanceTable page 16 10 4 table1",
                   "Tembra.FreeEnhanceTable table1", "Korvel.UI_SetProgress 20 5",
                   "Korvel.UI_SetProgress 30 5", "Korvel.UI_SetProgress 70 5",
                   "Korvel.UI_SetProgress 100 5"}));

  ClearLog();
  s = MakeScanSetting(PX_PIXEL_COLOR48, 10, 4, 300);
  s.AutoLevel = 1;
  s.Hue = 20;
  s.Saturation = 3;
  s.FilterChoice = 2;
  s.DescreenType = 2;
  Ctl().korvel.logProgress = false;
  ASSERT_EQ(ScanSlot(), 5);
  EXPECT_EQ(Calls({"Tembra.", "Filter.", "ColorMatch.", "Vantor.SetParameters",
                   "GeometryTrans.ImageZoom"}),
            (Lines{"Tembra.CreateColorMappingTable 16 16 R[" + kNeutral + "] G[" + kNeutral +
                       "] B[" + kNeutral + "] 0 null -> table3",
                   "Tembra.CreateColorMappingTable 16 16 R[" + kNeutral + "] G[" + kNeutral +
                       "] B[" + kNeutral + "] 0 null -> table4",
                   // Descreen still sets the scan resolution; the page is zoomed back.
                   "Vantor.SetParameters left=0 top=0 width=10 height=4 dpi=282 mode=10 "
                   "fixed=128,0,0 table=table4.entries",
                   "Tembra.FreeEnhanceTable table4", "ColorMatch.ColorMatchFun30_36 page 3 9 0",
                   "Tembra.MapColorEnhanceTable page 16 9 3 0 table3",
                   "Tembra.FreeEnhanceTable table3",
                   "GeometryTrans.ImageZoom 282 282 300 300 type=2 page 9x3 progress=yes"}));
}

TEST_F(PipelineTest, DescreenZoomOnlyWhenTheDeviceMissedTheScreenResolution) {
  Open();
  Ctl().korvel.logProgress = false;
  ScanSetting& s = Ctl().korvel.setting;
  s = MakeScanSetting(PX_PIXEL_GRAY8, 30, 10, 300);
  s.DescreenType = 2;
  Ctl().vantor.useGeometry = true;
  Ctl().vantor.geometry = VantorGeometry{0, 282, 282, 28, 9};
  ASSERT_EQ(ScanSlot(), 5);
  EXPECT_EQ(Calls({"Filter.", "GeometryTrans.ImageZoom"}),
            (Lines{"Filter.FilterProcess 19 page 1 9 28",
                   "GeometryTrans.ImageZoom 282 282 300 300 type=1 page 28x9 progress=yes"}));

  // A device that delivers what was asked for gets no zoom at all; descreen
  // type 1 is the plain descreen filter.
  ClearLog();
  s.DescreenType = 1;
  s.FilterChoice = 8;
  Ctl().vantor.geometry = VantorGeometry{0, 300, 300, 28, 9};
  ASSERT_EQ(ScanSlot(), 5);
  EXPECT_EQ(Calls({"Filter.", "GeometryTrans.ImageZoom"}),
            (Lines{"Filter.FilterProcess 6 page 1 9 28", "Filter.FilterProcess 20 page 1 9 28"}));

  // A zoom that gives nothing back keeps the resolution, so filter 19 gets the
  // old row length and the final zoom starts from the device's resolution.
  ClearLog();
  s.DescreenType = 4;
  s.FilterChoice = 0;
  Ctl().geometry.zoomReturnsNull = true;
  Ctl().vantor.geometry = VantorGeometry{0, 300, 300, 28, 9};
  ASSERT_EQ(ScanSlot(), 5);
  EXPECT_EQ(Calls({"Filter.", "GeometryTrans.ImageZoom", "Vantor.SetParameters"}),
            (Lines{"Vantor.SetParameters left=0 top=0 width=30 height=10 dpi=371 mode=1 "
                   "fixed=128,0,0 table=table6.entries",
                   "GeometryTrans.ImageZoom 300 300 371 371 type=1 page 28x9 progress=yes",
                   "Filter.FilterProcess 19 page 1 9 28"}));
}

TEST_F(PipelineTest, FilterChoicesAndOutOfRangeSettings) {
  Open();
  Ctl().korvel.logProgress = false;
  ScanSetting& s = Ctl().korvel.setting;
  const int expected[] = {3, 5, 1, 2, 7, 8, 4, 6};
  for (int choice = 1; choice <= 8; ++choice) {
    s = MakeScanSetting(PX_PIXEL_COLOR24, 4, 2, 300);
    s.FilterChoice = choice;
    ClearLog();
    ASSERT_EQ(ScanSlot(), 5);
    EXPECT_EQ(Calls({"Filter."}),
              Lines{"Filter.FilterProcess " + std::to_string(expected[choice - 1]) + " page 2 2 12"});
  }
  // Nonsense values turn the step off instead of indexing anything.
  for (int bad : {0, 9, -1, 1 << 30}) {
    s = MakeScanSetting(PX_PIXEL_COLOR24, 4, 2, 300);
    s.FilterChoice = bad;
    s.DescreenType = bad;
    ClearLog();
    ASSERT_EQ(ScanSlot(), 5);
    EXPECT_EQ(Calls({"Filter."}), Lines{}) << bad;
    const Lines params = Calls({"Vantor.SetParameters"});
    ASSERT_EQ(params.size(), 1u);
    EXPECT_NE(params[0].find(" dpi=300 "), std::string::npos) << params[0];
  }
}

TEST_F(PipelineTest, PixelTypeAboveFourKeepsThePreviousMode) {
  Open();
  Ctl().korvel.logProgress = false;
  ScanSetting& s = Ctl().korvel.setting;
  s = MakeScanSetting(PX_PIXEL_GRAY8, 4, 2, 300);
  ASSERT_EQ(ScanSlot(), 5);
  int table = 2;
  for (int bad : {5, -1, 70000}) {
    s = MakeScanSetting(bad, 4, 2, 300);
    s.Gray.CurvePointCount = 200;  // never read past the record's 15 points
    ClearLog();
    ASSERT_EQ(ScanSlot(), 5);
    // Gray 8 as before, and no enhancement table this time.
    EXPECT_EQ(Calls({"Tembra.Create", "Vantor.GetGamma"}),
              (Lines{"Vantor.GetGammaInfo mode=1",
                     "Tembra.CreateGrayMappingTable 10 8 [" + kNeutral + "] 0 null -> table" +
                         std::to_string(++table)}))
        << bad;
  }
  HostSetting h = MakeHostSetting(9, 0, 0, 4, 2, 300);
  ASSERT_EQ(Q().SetScanSettings(&h), 0);
  ClearLog();
  ASSERT_EQ(Q().NoUItoXferImage(), 0);
  EXPECT_EQ(Calls({"Vantor.GetGamma"}), Lines{"Vantor.GetGammaInfo mode=1"});
  // The host's pixel type uses its low 16 bits: 0x10002 is black and white.
  h = MakeHostSetting(0x10002, 0, 0, 4, 2, 300);
  ASSERT_EQ(Q().SetScanSettings(&h), 0);
  ASSERT_EQ(Q().NoUItoXferImage(), 0);
  ImageInfo info{};
  ASSERT_EQ(Q().GetImageInfo(&info), 0);
  EXPECT_EQ(info.PixelType, PX_PIXEL_BW);
  EXPECT_EQ(info.BitsPerPixel, 1);
}

TEST_F(PipelineTest, CurveCountsAreCappedAtTheRecordSize) {
  Open();
  Ctl().korvel.logProgress = false;
  ScanSetting& s = Ctl().korvel.setting;
  s = MakeScanSetting(PX_PIXEL_COLOR24, 4, 2, 300);
  s.Green.CurvePointCount = 16;
  s.Green.CurvePoints[0] = {5, 6};
  ASSERT_EQ(ScanSlot(), 5);
  const Lines created = Calls({"Tembra.CreateColor"});
  ASSERT_EQ(created.size(), 2u);
  EXPECT_NE(created[0].find("G[B0,C0,G10,L0-255,O0-255,n15,p5:6]"), std::string::npos) << created[0];
}

TEST_F(PipelineTest, DeviceTableComesFromTheConfiguration) {
  harness_->WriteIni(
      "[Default Setting]\nBrightness=1 2 3 4 5\nContrast=-1\nGamma=15 16\n"
      "InputLevelLow=1 2 3 4\nInputLevelHigh=250\nOutputLevelLow=0 0 0 9\n"
      "OutputLevelHigh=200 201 202 203\nCurvePointCount=2 0 0 40\n"
      "CurvePointR=10 20 30 40\nCurvePointG=1 1\nCurvePointGray=7 8\n");
  Open();
  // Black and white takes the fifth brightness.
  HostSetting h = MakeHostSetting(PX_PIXEL_BW, 0, 0, 8, 2, 300);
  ASSERT_EQ(Q().SetScanSettings(&h), 0);
  ASSERT_EQ(Q().NoUItoXferImage(), 0);
  EXPECT_EQ(Calls({"Tembra.Create"}),
            Lines{"Tembra.CreateGrayMappingTable 10 8 [B5,C0,G10,L4-255,O9-203,n15,p7:8] 0 null "
                  "-> table1"});
  ClearLog();
  h.PixelType = PX_PIXEL_GRAY8;
  ASSERT_EQ(Q().SetScanSettings(&h), 0);
  ASSERT_EQ(Q().NoUItoXferImage(), 0);
  EXPECT_EQ(Calls({"Tembra.Create"}),
            Lines{"Tembra.CreateGrayMappingTable 10 8 [B4,C0,G10,L4-255,O9-203,n15,p7:8] 0 null "
                  "-> table2"});
  ClearLog();
  h.PixelType = PX_PIXEL_COLOR24;
  ASSERT_EQ(Q().SetScanSettings(&h), 0);
  ASSERT_EQ(Q().NoUItoXferImage(), 0);
  EXPECT_EQ(Calls({"Tembra.Create"}),
            Lines{"Tembra.CreateColorMappingTable 10 8 R[B1,C-1,G15,L1-250,O0-200,n2,p10:20] "
                  "G[B2,C0,G16,L2-255,O0-201,n0] B[B3,C0,G10,L3-255,O0-202,n0] 0 null -> table3"});
}

TEST_F(PipelineTest, DeviceWithoutGammaInfoGetsNoTable) {
  Open();
  Ctl().vantor.gammaStatus = 1;
  const HostSetting h = MakeHostSetting(PX_PIXEL_GRAY8, 0, 0, 8, 2, 300);
  ASSERT_EQ(Q().SetScanSettings(&h), 0);
  ASSERT_EQ(Q().NoUItoXferImage(), 0);
  EXPECT_EQ(Calls({"Tembra.", "Vantor.SetParameters"}),
            Lines{"Vantor.SetParameters left=0 top=0 width=8 height=2 dpi=300 mode=1 "
                  "fixed=128,0,0 table=null"});
}

TEST_F(PipelineTest, FrameIsConvertedToDeviceUnits) {
  Open();
  HostSetting h = MakeHostSetting(PX_PIXEL_GRAY8, 10, 20, 1000, 1400, 200);
  ASSERT_EQ(Q().SetScanSettings(&h), 0);
  ASSERT_EQ(Q().NoUItoXferImage(), 0);
  EXPECT_EQ(Calls({"Vantor.SetParameters"}),
            Lines{"Vantor.SetParameters left=15 top=30 width=1500 height=2100 dpi=200 mode=1 "
                  "fixed=128,0,0 table=table1.entries"});
  // Only the low 16 bits of each slot count.
  ClearLog();
  h = MakeHostSetting(PX_PIXEL_GRAY8, 0x10000 + 3, 0, 0x20000 + 30, 0x30000 + 6, 0x10000 + 300);
  ASSERT_EQ(Q().SetScanSettings(&h), 0);
  ASSERT_EQ(Q().NoUItoXferImage(), 0);
  EXPECT_EQ(Calls({"Vantor.SetParameters"}),
            Lines{"Vantor.SetParameters left=3 top=0 width=30 height=6 dpi=300 mode=1 "
                  "fixed=128,0,0 table=table2.entries"});
}

struct FailureCase {
  const char* name;
  void (*arrange)(standin::Controls&, HostSetting&);
  int errorCode;
};

TEST_F(PipelineTest, SetUpAndReadFailuresEndThePageAndReportTheirError) {
  const FailureCase cases[] = {
      {"resolution 0", [](standin::Controls&, HostSetting& h) { h.Resolution = 0; }, 2},
      {"negative resolution", [](standin::Controls&, HostSetting& h) { h.Resolution = -300; }, 2},
      {"parameters refused", [](standin::Controls& c, HostSetting&) { c.vantor.setParametersStatus = 5; }, 2},
      {"no bytes per line",
       [](standin::Controls& c, HostSetting&) {
         c.vantor.useGeometry = true;
         c.vantor.geometry = VantorGeometry{0, 300, 300, 0, 10};
       }, 2},
      {"row not whole pixels",
       [](standin::Controls& c, HostSetting&) {
         c.vantor.useGeometry = true;
         c.vantor.geometry = VantorGeometry{0, 300, 300, 100, 10};
       }, 2},
      {"no lines",
       [](standin::Controls& c, HostSetting&) {
         c.vantor.useGeometry = true;
         c.vantor.geometry = VantorGeometry{0, 300, 300, 30, 0};
       }, 2},
      {"more lines than one read can ask for",
       [](standin::Controls& c, HostSetting&) {
         c.vantor.useGeometry = true;
         c.vantor.geometry = VantorGeometry{0, 300, 300, 3, 70000};
       }, 2},
      {"device resolution 0",
       [](standin::Controls& c, HostSetting&) {
         c.vantor.useGeometry = true;
         c.vantor.geometry = VantorGeometry{0, 0, 300, 30, 10};
       }, 2},
      {"absurd page",
       [](standin::Controls& c, HostSetting&) {
         c.vantor.useGeometry = true;
         c.vantor.geometry = VantorGeometry{0, 300, 300, 3u * 200000u, 60000};
       }, 3},
      {"start refused", [](standin::Controls& c, HostSetting&) { c.vantor.startStatus = 7; }, 2},
      {"read failed", [](standin::Controls& c, HostSetting&) { c.vantor.readStatus = 9; }, 4},
      {"more lines than wanted", [](standin::Controls& c, HostSetting&) { c.vantor.deliverLines = 5; }, 4},
      {"empty page", [](standin::Controls& c, HostSetting&) { c.vantor.deliverLines = 0; }, 4},
      {"more lines than asked for, block rewritten to match",
       [](standin::Controls& c, HostSetting&) {
         c.vantor.deliverLines = 8;
         c.vantor.rewriteWanted = 8;
       }, 4},
  };
  for (const FailureCase& fc : cases) {
    SCOPED_TRACE(fc.name);
    TearDown();
    SetUp();
    Open();
    HostSetting h = MakeHostSetting(PX_PIXEL_COLOR24, 0, 0, 10, 4, 300);
    fc.arrange(Ctl(), h);
    ASSERT_EQ(Q().SetScanSettings(&h), 0);
    EXPECT_EQ(Q().NoUItoXferImage(), 1);
    // The page ends (progress window closed) before the message appears.
    const Lines calls = Calls({"Korvel."});
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "Korvel.UI_ScanComplete");
    EXPECT_EQ(calls.back(), "Korvel.UI_ErrMsg " + std::to_string(fc.errorCode));
    EXPECT_EQ(Calls().back(), calls.back());
    EXPECT_EQ(g_imageReadyCalls, 0);
    // Once started, the device is stopped exactly once.
    const bool started = !Calls({"Vantor.StartScanEx"}).empty();
    EXPECT_EQ(Calls({"Vantor.StopScan"}).size(), started ? 1u : 0u);
    // Every table made was given back.
    EXPECT_EQ(Calls({"Tembra.Create"}).size(), Calls({"Tembra.FreeEnhanceTable"}).size());
    ImageInfo info{};
    info.Width = 77;
    EXPECT_EQ(Q().GetImageInfo(&info), 1);
    EXPECT_EQ(info.Width, 77);
  }
}

TEST_F(PipelineTest, GoodReadStatusesAndUserStop) {
  Open();
  HostSetting h = MakeHostSetting(PX_PIXEL_GRAY8, 0, 0, 10, 4, 300);
  ASSERT_EQ(Q().SetScanSettings(&h), 0);
  Ctl().vantor.readStatus = VANTOR_SHORT_PAGE;
  EXPECT_EQ(Q().NoUItoXferImage(), 0);
  Ctl().vantor.deliverLines = 3;
  Ctl().vantor.startStatus = VANTOR_STARTED;
  EXPECT_EQ(Q().NoUItoXferImage(), 0);
  ImageInfo info{};
  ASSERT_EQ(Q().GetImageInfo(&info), 0);
  EXPECT_EQ(info.Height, 3);
  EXPECT_EQ(Calls({"Korvel.UI_ErrMsg"}), Lines{});

  // Stopped by the user: cancelled, no message, no page.
  ClearLog();
  Ctl().vantor.readStatus = VANTOR_STOPPED;
  EXPECT_EQ(Q().NoUItoXferImage(), 2);
  EXPECT_EQ(Calls({"Korvel.UI_ErrMsg"}), Lines{});
  EXPECT_EQ(Calls({"Korvel.UI_ScanComplete"}).size(), 1u);
  EXPECT_EQ(g_imageReadyCalls, 2);
}

TEST_F(PipelineTest, OpenRetriesFourTimes) {
  Ctl().vantor.openFailures = 4;
  EXPECT_EQ(Q().OpenDS(HostImageReady, HostEvent, 1), 0);
  EXPECT_EQ(Calls({"Vantor._Open"}).size(), 5u);
  Q().CloseDS();
  ClearLog();
  Ctl().vantor.openFailures = 5;
  EXPECT_EQ(Q().OpenDS(HostImageReady, HostEvent, 1), 1);
  EXPECT_EQ(Calls({"Vantor._Open"}).size(), 5u);
  EXPECT_EQ(Calls().back(), "Korvel.UI_ErrMsg 1");
  Q().CloseDS();
  ClearLog();
  Ctl().vantor.openFailures = 5;
  EXPECT_EQ(Q().OpenDS(HostImageReady, HostEvent, 0), 1);
  EXPECT_EQ(Calls({"Korvel.UI_ErrMsg"}), Lines{});
}

TEST_F(PipelineTest, ErrorsAreSilentWhenTheHostAsksSo) {
  Open(0);
  HostSetting h = MakeHostSetting(PX_PIXEL_GRAY8, 0, 0, 10, 4, 0);
  ASSERT_EQ(Q().SetScanSettings(&h), 0);
  EXPECT_EQ(Q().NoUItoXferImage(), 1);
  EXPECT_EQ(Calls({"Korvel.UI_ErrMsg"}), Lines{});
}

TEST(PipelineLoading, MissingOrIncompleteLibraries) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> libraries;
    int result;
  };
  auto without = [](const std::string& file) {
    auto libs = StandardLibraries();
    libs.erase(file);
    return libs;
  };
  auto replaced = [](const std::string& file, const std::string& by) {
    auto libs = StandardLibraries();
    libs.erase(file);
    libs[by] = file;
    return libs;
  };
  const Case cases[] = {
      {"no Korvel", without("Korvel.so"), 1},
      {"Korvel without UI_ErrMsg", replaced("Korvel.so", "KorvelNoErrMsg.so"), 1},
      {"no Vantor", without("Vantor.so"), 1},
      {"no Tembra", without("Tembra.so"), 1},
      {"no Filter", without("Filter.so"), 1},
      {"GeometryTrans without ImageZoom", replaced("GeometryTrans.so", "GeometryTransNoZoom.so"), 1},
      {"no ColorMatch", without("ColorMatch.so"), 0},
      {"ColorMatch without the 48-bit function", replaced("ColorMatch.so", "ColorMatchNo48.so"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standin::Reset();
    Harness harness(c.libraries);
    EXPECT_EQ(harness.Api().OpenDS(HostImageReady, HostEvent, 1), c.result);
    // Load failures are not reported.
    EXPECT_EQ(Calls({"Korvel.UI_ErrMsg"}), Lines{});
    EXPECT_EQ(Calls({"Korvel.UI_Create"}).size(), c.result == 0 ? 1u : 0u);
    if (c.result == 0) {
      EXPECT_EQ(Calls({"ColorMatch."}), Lines{});
      const HostSetting h = MakeHostSetting(PX_PIXEL_COLOR24, 0, 0, 4, 2, 300);
      ASSERT_EQ(harness.Api().SetScanSettings(&h), 0);
      EXPECT_EQ(harness.Api().NoUItoXferImage(), 0);
      EXPECT_EQ(Calls({"ColorMatch."}), Lines{});
    }
    harness.Api().CloseDS();
  }
  standin::Reset();
}

}  // namespace
}  // namespace quorra_test
