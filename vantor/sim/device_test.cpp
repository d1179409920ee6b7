// The simulator through its exports: settings, fault injection, feeder,
// page folder, button, calibration and what the data looks like.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "interfaces/vantor_api.h"
#include "platform/ini_file.h"
#include "platform/module.h"
#include "vantor/sim/sensor_response.h"
#include "vantor/sim/sim_config.h"

namespace {

namespace fs = std::filesystem;

std::string Bin() {
  const char* bin = std::getenv("PX_BIN_DIR");
  return bin && *bin ? bin : px::ExecutableFolder();
}

// A 24-bit BMP of one colour with a recorded resolution.
void WriteBmp(const fs::path& path, int w, int h, uint8_t r, uint8_t g, uint8_t b, int dpi) {
  const int stride = (w * 3 + 3) & ~3;
  std::vector<uint8_t> file(54 + size_t(stride) * size_t(h), 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, uint32_t(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  file[26] = 1;
  file[28] = 24;
  put32(34, uint32_t(stride * h));
  put32(38, uint32_t(std::lround(dpi / 0.0254)));
  put32(42, uint32_t(std::lround(dpi / 0.0254)));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &file[54 + size_t(y) * size_t(stride) + size_t(x) * 3];
      p[0] = b, p[1] = g, p[2] = r;
    }
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
}

struct Scan {
  uint16_t set = 0xFFFF, get = 0xFFFF, start = 0xFFFF, read = 0xFFFF;
  VantorGeometry geo{};
  int delivered = 0;
  std::vector<uint8_t> data;  // the whole buffer, wanted lines
  int pixels() const { return int(geo.bytesPerLine); }
};

struct ScanRequest {
  int mode = 2;
  int dpi = 100;
  int order = 0;
  uint16_t left = 0, top = 0, width = 0, height = 0;
  const uint16_t* table = nullptr;
  VantorLineProgress progress = nullptr;
};

std::vector<int> g_progressCalls;
int g_stopAt = -1;
int Progress(int lines) {
  g_progressCalls.push_back(lines);
  return int(g_progressCalls.size()) == g_stopAt ? 0 : 1;
}
StopScanFn g_stopScan = nullptr;
_CloseFn g_close = nullptr;
int StoppingProgress(int lines) {
  VantorStatusBlock stop{};
  if (lines >= 128) g_stopScan(&stop);
  return 1;
}
int ClosingProgress(int lines) {
  if (lines >= 64) g_close();
  return 1;
}
std::vector<std::pair<int, int>> g_steps;
int g_stepAnswer = 1;
int StepProgress(int done, int total) {
  g_steps.emplace_back(done, total);
  return g_stepAnswer;
}

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantor-sim-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    Configure("");
    g_progressCalls.clear();
    g_stopAt = -1;
    g_steps.clear();
    g_stepAnswer = 1;
  }
  void TearDown() override {
    if (module_.IsLoaded() && api_._Close) api_._Close();
    module_.Unload();
    unsetenv("VANTOR_INI");
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // Writes the settings file; the state folder is always private.
  void Configure(const std::string& keys) {
    std::ofstream(dir_ / "Vantor.ini") << "[Vantor]\nStateFolder=state\n" << keys;
    setenv("VANTOR_INI", (dir_ / "Vantor.ini").c_str(), 1);
  }

  void Load() {
    module_.Unload();
    ASSERT_TRUE(module_.Load(px::LibraryPath(Bin(), "Vantor"))) << px::Module::LastError();
    ASSERT_TRUE(module_.BindAll(api_));
  }

  void LoadAndOpen() {
    Load();
    ASSERT_EQ(api_._Open(), 1);
  }

  Scan DoScan(const ScanRequest& q) {
    Scan s;
    VantorScanParameters p{};
    p.left = q.left, p.top = q.top, p.width = q.width, p.height = q.height;
    p.resolution = uint16_t(q.dpi);
    p.mode = uint16_t(q.mode);
    p.reserved128 = 128;
    p.toneTable = reinterpret_cast<uintptr_t>(q.table);
    api_.SetParameters(&p);
    s.set = p.status;
    if (s.set) return s;
    api_.GetParameters(&s.geo);
    s.get = s.geo.status;
    if (s.get) return s;
    // One spare line as a guard area.
    s.data.assign(size_t(s.geo.bytesPerLine) * (s.geo.lines + 1), 0xCD);
    VantorStartBlock start{};
    start.progress = reinterpret_cast<uintptr_t>(q.progress);
    api_.StartScanEx(&start, 1);
    s.start = start.status;
    if (s.start == 0) {
      VantorReadBlock read{};
      read.channelOrder = uint16_t(q.order);
      read.linesWanted = uint16_t(s.geo.lines);
      read.buffer = reinterpret_cast<uintptr_t>(s.data.data());
      api_.ReadScannedData(&read);
      s.read = read.status;
      s.delivered = read.linesDelivered;
    }
    VantorStatusBlock stop{};
    api_.StopScan(&stop);
    const size_t wanted = size_t(s.geo.bytesPerLine) * s.geo.lines;
    EXPECT_TRUE(std::all_of(s.data.begin() + long(wanted), s.data.end(), [](uint8_t b) { return b == 0xCD; }))
        << "written past the buffer";
    s.data.resize(wanted);
    return s;
  }

  std::string StateValue(const char* key) {
    return px::GetProfileString("Vantor", key, "", (dir_ / "state/state.ini").string());
  }

  fs::path dir_;
  px::Module module_;
  VantorApi api_;
};

TEST(SimConfig, ReadsEveryKeyAndResolvesRelativePaths) {
  char pattern[] = "/tmp/vantor-cfg-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  std::ofstream(dir + "/v.ini") << "[vantor]\nPageSource=pages\nSkewAngle=-2.25\nOffsetX=12.5\n"
                                   "FeederPages=3\nButtonFile=/x/press\nDeliveredYDpi=600\n"
                                   "DeliveredXDpi=5000\nReadFailStatus=9\nPaperJam=1\nSheetWidth=10\n";
  const vantor_sim::SimConfig c = vantor_sim::LoadConfig(dir + "/v.ini");
  EXPECT_EQ(c.pageSource, dir + "/pages");
  EXPECT_DOUBLE_EQ(c.skewAngle, -2.25);
  EXPECT_DOUBLE_EQ(c.offsetX, 12.5);
  EXPECT_EQ(c.feederPages, 3);
  EXPECT_EQ(c.buttonFile, "/x/press");
  EXPECT_EQ(c.deliveredYDpi, 600);
  EXPECT_EQ(c.deliveredXDpi, 0) << "an impossible resolution is ignored";
  EXPECT_EQ(c.readFailStatus, 9);
  EXPECT_TRUE(c.paperJam);
  EXPECT_DOUBLE_EQ(c.sheetWidth, 2480) << "too small a sheet is ignored";
  EXPECT_EQ(c.stateFolder, vantor_sim::DefaultStateFolder());
  EXPECT_EQ(c.buttonFile.empty(), false);

  const vantor_sim::SimConfig none = vantor_sim::LoadConfig(dir + "/missing.ini");
  EXPECT_TRUE(none.pageSource.empty());
  EXPECT_DOUBLE_EQ(none.skewAngle, 1.5);
  EXPECT_TRUE(none.paperPresent);
  EXPECT_EQ(none.buttonFile, none.stateFolder + "/button");
  fs::remove_all(dir);
}

TEST(SimConfig, ShippedExampleHoldsTheDefaults) {
  const vantor_sim::SimConfig shipped = vantor_sim::LoadConfig(Bin() + "/Vantor.ini");
  const vantor_sim::SimConfig none = vantor_sim::LoadConfig(Bin() + "/no-such.ini");
  ASSERT_TRUE(fs::exists(Bin() + "/Vantor.ini"));
  EXPECT_EQ(shipped.pageSource, none.pageSource);
  EXPECT_EQ(shipped.skewAngle, none.skewAngle);
  EXPECT_EQ(shipped.offsetX, none.offsetX);
  EXPECT_EQ(shipped.offsetY, none.offsetY);
  EXPECT_EQ(shipped.sheetWidth, none.sheetWidth);
  EXPECT_EQ(shipped.sheetHeight, none.sheetHeight);
  EXPECT_EQ(shipped.linesPerSecond, none.linesPerSecond);
  EXPECT_EQ(shipped.paperPresent, none.paperPresent);
  EXPECT_EQ(shipped.feederPages, none.feederPages);
  EXPECT_EQ(shipped.stateFolder, none.stateFolder);
  EXPECT_EQ(shipped.buttonFile, none.buttonFile);
  EXPECT_EQ(shipped.calibrationNeeded, none.calibrationNeeded);
  EXPECT_EQ(shipped.deliveredXDpi, none.deliveredXDpi);
  EXPECT_EQ(shipped.deliveredYDpi, none.deliveredYDpi);
  EXPECT_EQ(shipped.openFailures, none.openFailures);
  EXPECT_EQ(shipped.refuseParameters, none.refuseParameters);
  EXPECT_EQ(shipped.shortPageLines, none.shortPageLines);
  EXPECT_EQ(shipped.readFailStatus, none.readFailStatus);
  EXPECT_EQ(shipped.extraLines, none.extraLines);
  EXPECT_EQ(shipped.paperJam, none.paperJam);
}

TEST_F(SimulatorTest, DefaultPageIsTheSkewedSheetOnTheDarkBackground) {
  LoadAndOpen();
  const Scan s = DoScan({.mode = 2, .dpi = 100});
  ASSERT_EQ(s.read, 0);
  EXPECT_EQ(+s.geo.bytesPerLine, 850u * 3);
  // The skewed A4 sheet's lowest corner plus the trailing margin.
  const double a = 1.5 * M_PI / 180;
  EXPECT_EQ(+s.geo.lines, uint32_t((45 + 2480 * std::sin(a) + 3508 * std::cos(a) + 30) / 3));
  EXPECT_EQ(s.delivered, int(+s.geo.lines));
  auto at = [&](int x, int y) { return &s.data[(size_t(y) * 850 + size_t(x)) * 3]; };
  EXPECT_EQ(at(2, 2)[0], 30);
  EXPECT_EQ(at(845, 1000)[1], 30);
  EXPECT_EQ(at(400, s.delivered - 2)[2], 30);
  EXPECT_GT(at(806, 535)[1], 200) << "paper in the right margin";
}

TEST_F(SimulatorTest, SixteenBitModesCarryRealDetail) {
  LoadAndOpen();
  const Scan deep = DoScan({.mode = 10, .dpi = 100, .height = 2100});
  const Scan shallow = DoScan({.mode = 2, .dpi = 100, .height = 2100});
  ASSERT_EQ(deep.read, 0);
  ASSERT_EQ(shallow.read, 0);
  std::set<uint16_t> values;
  size_t notScaled = 0, samples = deep.data.size() / 2;
  for (size_t i = 0; i < samples; ++i) {
    const uint16_t v = uint16_t(deep.data[2 * i] | (deep.data[2 * i + 1] << 8));
    values.insert(v);
    notScaled += v % 257 != 0;
    // The 8-bit mode sees the same page.
    ASSERT_NEAR(shallow.data[i], v / 257.0, 0.51) << i;
  }
  EXPECT_GT(values.size(), 10000u);
  EXPECT_GT(notScaled, samples / 2);
}

TEST_F(SimulatorTest, SameSettingsGiveTheSameBytes) {
  LoadAndOpen();
  for (int mode : {1, 2, 9, 10}) {
    const Scan first = DoScan({.mode = mode, .dpi = 75});
    fs::remove(dir_ / "state/state.ini");  // the same sheet number again
    const Scan second = DoScan({.mode = mode, .dpi = 75});
    fs::remove(dir_ / "state/state.ini");
    ASSERT_EQ(first.read, 0);
    EXPECT_EQ(first.data, second.data) << "mode " << mode;
  }
  // Pacing changes when lines come, not what they are.
  const Scan fast = DoScan({.mode = 2, .dpi = 75, .height = 300});
  fs::remove(dir_ / "state/state.ini");
  Configure("LinesPerSecond=3000\n");
  LoadAndOpen();
  const Scan paced = DoScan({.mode = 2, .dpi = 75, .height = 300, .progress = Progress});
  ASSERT_EQ(paced.read, 0);
  EXPECT_EQ(paced.data, fast.data);
}

TEST_F(SimulatorTest, FaultOpenFailuresCountFromTheLoad) {
  Configure("OpenFailures=2\n");
  Load();
  EXPECT_EQ(api_._Open(), 0);
  EXPECT_EQ(api_._Open(), 0);
  EXPECT_EQ(api_._Open(), 1);
  EXPECT_EQ(api_._Open(), 1);
  Load();  // a fresh load fails again
  EXPECT_EQ(api_._Open(), 0);
  VantorScanParameters p{};
  p.resolution = 100, p.mode = 1;
  api_.SetParameters(&p);
  EXPECT_NE(+p.status, 0) << "not open";
}

TEST_F(SimulatorTest, FaultRefusedParameters) {
  Configure("RefuseParameters=1\n");
  LoadAndOpen();
  const Scan s = DoScan({.mode = 1, .dpi = 100});
  EXPECT_NE(s.set, 0);
  VantorGeometry geo{};
  api_.GetParameters(&geo);
  EXPECT_NE(+geo.status, 0);
}

TEST_F(SimulatorTest, FaultShortPageStopsAfterTheGivenLines) {
  Configure("ShortPageLines=40\n");
  LoadAndOpen();
  const Scan s = DoScan({.mode = 9, .dpi = 100});
  EXPECT_EQ(s.read, VANTOR_SHORT_PAGE);
  EXPECT_EQ(s.delivered, 40);
  const size_t filled = 40u * s.geo.bytesPerLine;
  EXPECT_TRUE(std::all_of(s.data.begin() + long(filled), s.data.end(), [](uint8_t b) { return b == 0xCD; }))
      << "lines after the short page's end must stay untouched";
}

TEST_F(SimulatorTest, FaultReadFailureExtraLinesAndJam) {
  Configure("ReadFailStatus=9\n");
  LoadAndOpen();
  EXPECT_EQ(DoScan({.mode = 1}).read, 9);

  Configure("ExtraLines=5\n");
  LoadAndOpen();
  Scan s = DoScan({.mode = 1});
  EXPECT_EQ(s.read, 0);
  EXPECT_EQ(s.delivered, int(+s.geo.lines) + 5);  // DoScan checks the guard line

  fs::remove(dir_ / "state/state.ini");  // both reads above used up a sheet
  Configure("PaperJam=1\nFeederPages=1\n");
  LoadAndOpen();
  s = DoScan({.mode = 1});
  EXPECT_EQ(s.read, 51);
  EXPECT_GT(s.delivered, 0);
  EXPECT_LT(s.delivered, int(+s.geo.lines));
  EXPECT_EQ(api_.IsPaperOn(), 1) << "a jammed sheet stays";
  Configure("FeederPages=1\n");
  LoadAndOpen();
  EXPECT_EQ(DoScan({.mode = 1}).read, 0);
  EXPECT_EQ(api_.IsPaperOn(), 0);
}

TEST_F(SimulatorTest, FeederRunsOutAndNumbersItsPages) {
  Configure("FeederPages=2\n");
  LoadAndOpen();
  EXPECT_EQ(api_.IsPaperOn(), 1);
  const Scan one = DoScan({.mode = 1, .dpi = 75});
  EXPECT_EQ(StateValue("SheetsFed"), "1");
  EXPECT_EQ(api_.IsPaperOn(), 1);
  const Scan two = DoScan({.mode = 1, .dpi = 75});
  EXPECT_EQ(api_.IsPaperOn(), 0);
  const Scan three = DoScan({.mode = 1, .dpi = 75});
  EXPECT_NE(three.start, 0) << "no paper";
  ASSERT_EQ(one.read, 0);
  ASSERT_EQ(two.read, 0);
  // The two sheets differ only where the page number is printed.
  ASSERT_EQ(one.data.size(), two.data.size());
  const int width = int(one.geo.bytesPerLine), lines = int(one.geo.lines);
  int changed = 0;
  for (int y = 0; y < lines; ++y)
    for (int x = 0; x < width; ++x)
      if (one.data[size_t(y * width + x)] != two.data[size_t(y * width + x)]) {
        ++changed;
        EXPECT_GT(x, width * 2 / 3);
        EXPECT_GT(y, lines * 9 / 10);
      }
  EXPECT_GT(changed, 5);
  // The count outlives the library.
  LoadAndOpen();
  EXPECT_EQ(api_.IsPaperOn(), 0);
  fs::remove(dir_ / "state/state.ini");
  EXPECT_EQ(api_.IsPaperOn(), 1) << "refilled";
}

TEST_F(SimulatorTest, NoPaperMeansNoStart) {
  Configure("PaperPresent=0\n");
  LoadAndOpen();
  EXPECT_EQ(api_.IsPaperOn(), 0);
  const Scan s = DoScan({.mode = 2});
  EXPECT_EQ(s.set, 0);
  EXPECT_EQ(s.start, 4);
}

TEST_F(SimulatorTest, PageFolderFeedsFilesInNameOrder) {
  fs::create_directories(dir_ / "pages");
  WriteBmp(dir_ / "pages/b.bmp", 60, 45, 0, 0, 255, 300);
  WriteBmp(dir_ / "pages/a.bmp", 60, 40, 255, 0, 0, 150);
  std::ofstream(dir_ / "pages/notes.txt") << "not a page";
  Configure("PageSource=pages\nSkewAngle=0\nOffsetX=30\nOffsetY=30\n");
  LoadAndOpen();
  EXPECT_EQ(api_.IsPaperOn(), 1);

  // a.bmp: 60 x 40 pixels at 150 dpi = 120 x 80 units.
  Scan s = DoScan({.mode = 2, .dpi = 300});
  ASSERT_EQ(s.read, 0);
  EXPECT_EQ(+s.geo.lines, 30u + 80 + 30);
  uint8_t red[3];
  const uint8_t trueRed[3] = {255, 0, 0};
  vantor_sim::SensorResponse8(trueRed, red);
  const uint8_t* p = &s.data[(60u * s.geo.bytesPerLine / 3 + 90) * 3];
  for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(p[ch], red[ch], 1) << ch;
  EXPECT_EQ(s.data[(60u * +s.geo.bytesPerLine / 3 + 155) * 3], 30) << "right of the sheet";
  EXPECT_TRUE(fs::exists(dir_ / "pages/scanned/a.bmp"));
  EXPECT_FALSE(fs::exists(dir_ / "pages/a.bmp"));

  s = DoScan({.mode = 2, .dpi = 300});
  ASSERT_EQ(s.read, 0);
  EXPECT_EQ(+s.geo.lines, 30u + 45 + 30);
  EXPECT_TRUE(fs::exists(dir_ / "pages/scanned/b.bmp"));
  EXPECT_EQ(api_.IsPaperOn(), 0);
  EXPECT_NE(DoScan({.mode = 2}).start, 0);
  EXPECT_TRUE(fs::exists(dir_ / "pages/notes.txt"));
  // Dropping a file in is inserting paper.
  WriteBmp(dir_ / "pages/c.bmp", 10, 10, 9, 9, 9, 300);
  EXPECT_EQ(api_.IsPaperOn(), 1);
}

TEST_F(SimulatorTest, EachStartTakesTheNextPageEvenWithTheSameParameters) {
  fs::create_directories(dir_ / "pages");
  WriteBmp(dir_ / "pages/1.bmp", 40, 80, 250, 250, 250, 300);
  WriteBmp(dir_ / "pages/2.bmp", 40, 45, 250, 250, 250, 300);
  Configure("PageSource=pages\nSkewAngle=0\nOffsetX=30\nOffsetY=30\n");
  LoadAndOpen();
  VantorScanParameters p{};
  p.resolution = 300, p.mode = 1;
  api_.SetParameters(&p);
  VantorGeometry geo{};
  api_.GetParameters(&geo);
  ASSERT_EQ(+geo.lines, 30u + 80 + 30);
  std::vector<uint8_t> page(size_t(geo.bytesPerLine) * geo.lines);
  std::vector<int> delivered, statuses;
  for (int sheet = 0; sheet < 2; ++sheet) {
    VantorStartBlock start{};
    api_.StartScanEx(&start, 1);
    ASSERT_EQ(+start.status, 0);
    VantorReadBlock read{};
    read.linesWanted = uint16_t(geo.lines);
    read.buffer = reinterpret_cast<uintptr_t>(page.data());
    api_.ReadScannedData(&read);
    delivered.push_back(read.linesDelivered);
    statuses.push_back(read.status);
    VantorStatusBlock stop{};
    api_.StopScan(&stop);
  }
  EXPECT_EQ(delivered, (std::vector<int>{140, 30 + 45 + 30}));
  EXPECT_EQ(statuses, (std::vector<int>{0, VANTOR_SHORT_PAGE}));
  EXPECT_TRUE(fs::exists(dir_ / "pages/scanned/2.bmp"));
}

TEST_F(SimulatorTest, UnreadablePagesAreRejectedNotCrashedOn) {
  fs::create_directories(dir_ / "pages");
  std::ofstream(dir_ / "pages/1.png") << "\x89PNG\r\n\x1a\n garbage";
  std::ofstream(dir_ / "pages/2.bmp") << "BM";
  fs::create_directories(dir_ / "pages/3.jpg");  // a folder, not a page
  WriteBmp(dir_ / "pages/4.bmp", 30, 30, 200, 200, 200, 300);
  Configure("PageSource=pages\n");
  LoadAndOpen();
  EXPECT_EQ(DoScan({.mode = 2}).start, 6);
  EXPECT_TRUE(fs::exists(dir_ / "pages/rejected/1.png"));
  EXPECT_EQ(DoScan({.mode = 2}).start, 6);
  EXPECT_TRUE(fs::exists(dir_ / "pages/rejected/2.bmp"));
  EXPECT_EQ(DoScan({.mode = 2}).read, 0);
  EXPECT_EQ(api_.IsPaperOn(), 0);
}

TEST_F(SimulatorTest, ButtonAnswersOncePerPress) {
  LoadAndOpen();
  EXPECT_EQ(api_.IsButtonOn(), 0);
  fs::create_directories(dir_ / "state");
  std::ofstream(dir_ / "state/button").put('\n');
  EXPECT_EQ(api_.IsButtonOn(), 1);
  EXPECT_EQ(api_.IsButtonOn(), 0);
  std::ofstream(dir_ / "state/button").put('\n');
  EXPECT_EQ(api_.IsButtonOn(), 1);
  EXPECT_EQ(api_.IsButtonOn(), 0);

  Configure("ButtonFile=press-me\n");
  std::ofstream(dir_ / "press-me").put('\n');
  EXPECT_EQ(api_.IsButtonOn(), 1);
  EXPECT_EQ(api_.RollPaper(), 1);
}

TEST_F(SimulatorTest, CalibrationFlagClearsAfterACalibrationPass) {
  Configure("CalibrationNeeded=1\n");
  LoadAndOpen();
  EXPECT_NE(api_.IsCalibrationNeeded(), 0);
  EXPECT_EQ(api_.CalibrateScanner(1, StepProgress), 0) << "cleaning";
  EXPECT_NE(api_.IsCalibrationNeeded(), 0) << "cleaning does not calibrate";
  g_stepAnswer = 0;
  EXPECT_NE(api_.CalibrateScanner(0, StepProgress), 0) << "a pass stopped half way";
  EXPECT_NE(api_.IsCalibrationNeeded(), 0);
  g_steps.clear();
  g_stepAnswer = 1;
  EXPECT_EQ(api_.CalibrateScanner(0, StepProgress), 0);
  EXPECT_EQ(api_.IsCalibrationNeeded(), 0);
  ASSERT_GT(g_steps.size(), 2u);
  for (size_t i = 0; i < g_steps.size(); ++i) {
    EXPECT_EQ(g_steps[i].first, int(i));
    EXPECT_EQ(g_steps[i].second, g_steps.back().first);
  }
  EXPECT_NE(api_.CalibrateScanner(2, nullptr), 0) << "no such pass";
  Load();
  EXPECT_EQ(api_.IsCalibrationNeeded(), 0) << "kept in the state folder";
  Configure("");
  EXPECT_EQ(api_.IsCalibrationNeeded(), 0);
}

TEST_F(SimulatorTest, DeliveredResolutionOverridesTheRequest) {
  Configure("DeliveredYDpi=600\n");
  LoadAndOpen();
  const Scan normal = DoScan({.mode = 1, .dpi = 150, .height = 900});
  ASSERT_EQ(normal.read, 0);
  EXPECT_EQ(+normal.geo.xDpi, 150);
  EXPECT_EQ(+normal.geo.yDpi, 600);
  EXPECT_EQ(+normal.geo.lines, 1800u);
  EXPECT_EQ(+normal.geo.bytesPerLine, 1275u);
  EXPECT_EQ(normal.delivered, 1800);

  Configure("DeliveredXDpi=200\n");
  LoadAndOpen();
  const Scan narrow = DoScan({.mode = 10, .dpi = 300, .height = 90});
  ASSERT_EQ(narrow.read, 0);
  EXPECT_EQ(+narrow.geo.xDpi, 200);
  EXPECT_EQ(+narrow.geo.yDpi, 300);
  EXPECT_EQ(+narrow.geo.bytesPerLine, 1700u * 6);
  EXPECT_EQ(+narrow.geo.lines, 90u);
}

TEST_F(SimulatorTest, SkewAngleTurnsTheSheet) {
  // Top edge of a straight and a turned sheet, found in gray scans.
  auto topEdge = [&](int x, const Scan& s) {
    for (int y = 0; y < int(s.geo.lines); ++y)
      if (s.data[size_t(y) * s.geo.bytesPerLine + size_t(x)] > 128) return y;
    return -1;
  };
  Configure("SkewAngle=0\nOffsetX=300\nOffsetY=150\n");
  LoadAndOpen();
  Scan s = DoScan({.mode = 1, .dpi = 100, .height = 900});
  EXPECT_EQ(topEdge(200, s), 50);
  EXPECT_EQ(topEdge(600, s), 50);
  Configure("SkewAngle=3\nOffsetX=300\nOffsetY=150\n");
  LoadAndOpen();
  s = DoScan({.mode = 1, .dpi = 100, .height = 900});
  EXPECT_NEAR(double(topEdge(700, s) - topEdge(200, s)) / 500, std::tan(3 * M_PI / 180), 0.004);
}

TEST_F(SimulatorTest, ToneTableShapesTheData) {
  std::vector<uint16_t> table(3 * 65536);
  for (size_t i = 0; i < 65536; ++i) {
    table[i] = 17;
    table[65536 + i] = uint16_t(i >> 8);
    table[131072 + i] = uint16_t(255 - (i >> 8));
  }
  LoadAndOpen();
  const Scan plain = DoScan({.mode = 2, .dpi = 75, .height = 600});
  const Scan mapped = DoScan({.mode = 2, .dpi = 75, .height = 600, .table = table.data()});
  ASSERT_EQ(mapped.read, 0);
  for (size_t i = 0; i < mapped.data.size(); i += 3) {
    ASSERT_EQ(mapped.data[i], 17);
    ASSERT_NEAR(mapped.data[i + 1], plain.data[i + 1], 1);
    ASSERT_NEAR(mapped.data[i + 2], 255 - plain.data[i + 2], 1);
  }
}

TEST_F(SimulatorTest, ProgressCancelAndPartialReads) {
  LoadAndOpen();
  g_stopAt = 2;
  Scan s = DoScan({.mode = 1, .dpi = 100, .progress = Progress});
  EXPECT_EQ(s.read, VANTOR_STOPPED);
  EXPECT_EQ(s.delivered, 128);
  EXPECT_EQ(g_progressCalls, (std::vector<int>{64, 128}));

  // Two reads of one page continue where the first stopped.
  VantorScanParameters p{};
  p.resolution = 100, p.mode = 1, p.height = 600;
  api_.SetParameters(&p);
  VantorGeometry geo{};
  api_.GetParameters(&geo);
  ASSERT_EQ(+geo.lines, 200u);
  VantorStartBlock start{};
  api_.StartScanEx(&start, 1);
  std::vector<uint8_t> page(size_t(geo.bytesPerLine) * 200);
  VantorReadBlock read{};
  read.linesWanted = 120;
  read.buffer = reinterpret_cast<uintptr_t>(page.data());
  api_.ReadScannedData(&read);
  EXPECT_EQ(+read.status, 0);
  EXPECT_EQ(+read.linesDelivered, 120);
  // Nothing wanted, nothing read, and the page goes on.
  read.linesWanted = 0;
  read.buffer = 0;
  api_.ReadScannedData(&read);
  EXPECT_EQ(+read.status, 0);
  EXPECT_EQ(+read.linesDelivered, 0);
  read.linesWanted = 80;
  read.buffer = reinterpret_cast<uintptr_t>(page.data() + 120 * geo.bytesPerLine);
  api_.ReadScannedData(&read);
  EXPECT_EQ(+read.status, 0);
  EXPECT_EQ(+read.linesDelivered, 80);
  VantorStatusBlock stop{};
  api_.StopScan(&stop);
  fs::remove(dir_ / "state/state.ini");
  const Scan whole = DoScan({.mode = 1, .dpi = 100, .height = 600});
  EXPECT_EQ(whole.data, page);
}

TEST_F(SimulatorTest, StoppingFromInsideTheProgressFunctionEndsTheRead) {
  LoadAndOpen();
  g_stopScan = api_.StopScan;
  g_close = api_._Close;
  Scan s = DoScan({.mode = 2, .dpi = 100, .progress = StoppingProgress});
  EXPECT_EQ(s.read, VANTOR_STOPPED);
  EXPECT_EQ(s.delivered, 128);
  s = DoScan({.mode = 2, .dpi = 100, .progress = ClosingProgress});
  EXPECT_EQ(s.read, VANTOR_STOPPED);
  EXPECT_EQ(s.delivered, 64);
  EXPECT_NE(DoScan({.mode = 2}).set, 0) << "closed";
  ASSERT_EQ(api_._Open(), 1);
  EXPECT_EQ(DoScan({.mode = 2, .dpi = 100, .height = 900}).read, 0);
}

TEST_F(SimulatorTest, FramesAndResolutions) {
  LoadAndOpen();
  for (int dpi : {75, 282, 318, 371, 600}) {
    const Scan s = DoScan({.mode = 1, .dpi = dpi, .left = 300, .top = 600, .width = 600, .height = 90});
    ASSERT_EQ(s.read, 0) << dpi;
    EXPECT_EQ(+s.geo.bytesPerLine, uint32_t(600 * dpi / 300)) << dpi;
    EXPECT_EQ(+s.geo.lines, uint32_t(90 * dpi / 300)) << dpi;
  }
  // Width 0 runs to the device's right edge.
  EXPECT_EQ(+DoScan({.mode = 1, .dpi = 300, .left = 300, .height = 30}).geo.bytesPerLine, 2250u);
  // A frame below the sheet has nothing to read; one too long for the
  // 16-bit line count is refused.
  EXPECT_NE(DoScan({.mode = 1, .dpi = 300, .top = 9000}).set, 0);
  EXPECT_NE(DoScan({.mode = 1, .dpi = 1200, .height = 20000}).set, 0);
  EXPECT_NE(DoScan({.mode = 1, .dpi = 49}).set, 0);
}

}  // namespace
