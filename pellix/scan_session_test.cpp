#include "pellix/scan_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <numeric>

#include "pellix/image_container.h"
#include "pellix/language.h"
#include "pellix/scan_command.h"
#include "pellix/sim_fixture.h"
#include "platform/registry.h"

namespace pellix {
namespace {

class CancellingSink : public ProgressSink {
 public:
  void SetPosition(int percent) override { positions += percent >= 0 ? 1 : 0; }
  bool CancelRequested() override { return true; }
  int positions = 0;
};

class CountingSink : public ProgressSink {
 public:
  void Begin(bool c) override { cancellable = c; }
  void SetPosition(int percent) override { last = percent; ++calls; }
  int last = -1, calls = 0;
  bool cancellable = false;
};

std::optional<std::string> StoredCount(const AppSettings& s) {
  return px::RegistryKey(s.RegistryKeyPath).Query("Count");
}

size_t FilesIn(const std::string& folder) {
  size_t n = 0;
  for (auto& e : std::filesystem::directory_iterator(folder)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

class PellixSession : public test::SimFixture {};

TEST_F(PellixSession, OpenRetriesEvery200msFiveCallsAtMost) {
  Simulate("OpenFailures=2\n");
  AppSettings s = Settings();
  {
    CScanSession session;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(OpenSession(session, s));
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_GE(ms, 350) << "three calls are two pauses of 200 ms";
  }
}

// The simulator counts _Open calls per load of the library, and a process
// may keep it loaded; each case runs in its own test process.
TEST_F(PellixSession, DeviceNeedingSixOpenCallsFails) {
  Simulate("OpenFailures=5\n");
  AppSettings s = Settings();
  const ScanResult r = RunScanCommand(s, nullptr);
  EXPECT_EQ(r.outcome, ScanOutcome::NotReady);
  EXPECT_EQ(r.messageId, IDS_INIT_FAILED);
  EXPECT_EQ(FilesIn(scans_), 0u);
}

TEST_F(PellixSession, MissingLibraryOrEntryPointIsNotReady) {
  AppSettings s = Settings();
  s.paths.deviceLibrary = home_.Path("prog/none.so");
  EXPECT_EQ(RunScanCommand(s, nullptr).messageId, IDS_INIT_FAILED);
  // A library without the device's names (Tembra) is unloaded again.
  s.paths.deviceLibrary = test::BinDir() + "/Tembra.so";
  CScanSession session;
  EXPECT_FALSE(OpenSession(session, s));
  EXPECT_FALSE(session.Device().IsBound());
  EXPECT_EQ(CheckDeviceAtStart(s), StartupCheck::NotReady);
}

// Closing gives the page back to the geometry plug-in and unloads it first,
// then the enhancement library, then the colour-match plug-in.
TEST_F(PellixSession, CloseUnloadsGeometryThenEnhancementThenColorMatch) {
  const std::string log = home_.Path("unloads.txt");
  setenv("PELLIX_UNLOAD_LOG", log.c_str(), 1);
  AppSettings s = Settings();
  const std::string probes = PELLIX_UNLOAD_PROBE_DIR;
  s.paths.enhanceLibrary = probes + "/pellix_unload_probe_tembra.so";
  s.paths.geometryPlugin = probes + "/pellix_unload_probe_geometry.so";
  s.paths.colorMatchPlugin = probes + "/pellix_unload_probe_colormatch.so";
  {
    CScanSession session;
    ASSERT_TRUE(OpenSession(session, s));
  }
  unsetenv("PELLIX_UNLOAD_LOG");
  EXPECT_EQ(test::ReadText(log), "GeometryTrans\nTembra\nColorMatch\n");
}

TEST_F(PellixSession, StartRefusals) {
  AppSettings s = Settings();
  CScanSession session;
  ASSERT_TRUE(OpenSession(session, s));
  EXPECT_EQ(session.Start(kRequestColor, 50, 0, 0, s.paths.settingsFile, false), kStartBadResolution);
  EXPECT_EQ(session.Start(kRequestColor, 700, 0, 0, s.paths.settingsFile, false), kStartBadResolution);
  EXPECT_EQ(session.Start(3, 300, 0, 0, s.paths.settingsFile, false), kStartUnknownRequest);
  EXPECT_EQ(session.Read(), nullptr) << "nothing was started";
  EXPECT_EQ(session.Start(kRequestGray, 100, 0, 0, s.paths.settingsFile, false), kStartOk);
  EXPECT_EQ(session.Start(kRequestColor, 600, 0, 0, s.paths.settingsFile, false), kStartOk);

  // Through the command: nothing saved, no counter written.
  for (int dpi : {50, 700}) {
    s.ScanDPI = dpi;
    const ScanResult r = RunScanCommand(s, nullptr);
    EXPECT_EQ(r.outcome, ScanOutcome::StartFailed);
    EXPECT_EQ(r.startResult, kStartBadResolution);
    EXPECT_EQ(r.messageId, 0u) << "no message for a refused start";
  }
  s.ScanDPI = 100;
  s.ScanMode = 3;
  EXPECT_EQ(RunScanCommand(s, nullptr).outcome, ScanOutcome::StartFailed);
  s.ScanMode = 0;
  Simulate("RefuseParameters=1\n");
  EXPECT_EQ(RunScanCommand(s, nullptr).startResult, kStartRefused);
  EXPECT_EQ(FilesIn(scans_), 0u);
  EXPECT_FALSE(StoredCount(s));
}

TEST_F(PellixSession, ShortPageHasExactlyTheDeliveredLines) {
  Simulate("ShortPageLines=123\n");
  AppSettings s = Settings();
  CScanSession session;
  ASSERT_TRUE(OpenSession(session, s));
  ASSERT_EQ(session.Start(kRequestGray, 100, 0, 0, s.paths.settingsFile, false), kStartOk);
  ASSERT_GT(session.DeviceLines(), 123u);
  ASSERT_NE(session.Read(), nullptr);
  EXPECT_EQ(session.ResultLines(), 123);
  EXPECT_EQ(session.ResultWidth(), static_cast<int>(session.DeviceBytesPerLine()));
  EXPECT_EQ(session.ResultBytesPerLine(), session.ResultWidth());

  s.ScanMode = 0;
  const ScanResult r = RunScanCommand(s, nullptr);
  ASSERT_EQ(r.outcome, ScanOutcome::Saved);
  ImageContainer saved;
  ASSERT_TRUE(saved.Load(r.file, ImageContainer::Format::None));
  EXPECT_EQ(saved.Height(), 123);
  EXPECT_EQ(saved.BitsPerPixel(), 24);
}

TEST_F(PellixSession, CancelDropsThePageAndKeepsCount) {
  AppSettings s = Settings();
  s.Count = 41;
  CancellingSink sink;
  const ScanResult r = RunScanCommand(s, &sink);
  EXPECT_EQ(r.outcome, ScanOutcome::Cancelled);
  EXPECT_GT(sink.positions, 0);
  EXPECT_EQ(s.Count, 41);
  EXPECT_FALSE(StoredCount(s));
  EXPECT_EQ(FilesIn(scans_), 0u);
}

TEST_F(PellixSession, DeviceFailuresAreReadFailures) {
  AppSettings s = Settings();
  for (const char* fault : {"ReadFailStatus=9\n", "ExtraLines=5\n", "PaperJam=1\n"}) {
    Simulate(fault);
    const ScanResult r = RunScanCommand(s, nullptr);
    EXPECT_EQ(r.outcome, ScanOutcome::ReadFailed) << fault;
    EXPECT_EQ(r.messageId, 0u);
  }
  EXPECT_EQ(FilesIn(scans_), 0u);
  EXPECT_EQ(s.Count, 0);
}

TEST_F(PellixSession, ScansSaveNumberedFilesAndCountUp) {
  AppSettings s = Settings("BGInfo=30 30 30 55 30\n");
  s.AutoCrop = 0;
  CountingSink sink;
  ScanResult first = RunScanCommand(s, &sink);
  ASSERT_EQ(first.outcome, ScanOutcome::Saved);
  EXPECT_TRUE(sink.cancellable);
  EXPECT_EQ(sink.last, 100);
  EXPECT_EQ(first.file, scans_ + "ScanImage00000.jpg");
  EXPECT_EQ(StoredCount(s), "1");
  // 8.5 inch device width at 100 dpi, colour.
  EXPECT_EQ(first.width, 850);
  EXPECT_EQ(first.bitsPerPixel, 24);

  // With a file of the next number already there the "(1)" form is used.
  test::WriteText(scans_ + "ScanImage00001.bmp", "x");
  s.ScanFormat = 0;
  s.ScanMode = 2;
  s.AutoCrop = 1;
  std::string seen;
  ScanHooks hooks;
  hooks.pageSaved = [&](const std::string& file, ImageContainer& image) {
    seen = file;
    EXPECT_EQ(image.BitsPerPixel(), 8);
  };
  const ScanResult second = RunScanCommand(s, nullptr, hooks);
  ASSERT_EQ(second.outcome, ScanOutcome::Saved);
  EXPECT_EQ(second.file, scans_ + "ScanImage00001(1).bmp");
  EXPECT_EQ(seen, second.file);
  EXPECT_EQ(StoredCount(s), "2");
  EXPECT_LT(second.width, 850) << "automatic crop cut the feeder background away";
  ImageContainer page;
  ASSERT_TRUE(page.Load(second.file, ImageContainer::Format::Bmp));
  for (int y = 0; y < page.Height(); y += 7)
    for (int x = 0; x < page.Width(); ++x) {
      const uint8_t v = page.Row(y)[x];
      ASSERT_TRUE(v == 0 || v == 255) << "lineart pixel " << int(v);
    }
}

TEST_F(PellixSession, ResolutionCorrectionAndMissingColorMatch) {
  Simulate("DeliveredYDpi=200\n");
  AppSettings s = Settings();
  s.paths.colorMatchPlugin = home_.Path("prog/ColorMatch.so");
  CScanSession session;
  ASSERT_TRUE(OpenSession(session, s));
  EXPECT_FALSE(session.Adjustment().HasColorMatch());
  ASSERT_EQ(session.Start(kRequestColor, 100, 0, 0, s.paths.settingsFile, false), kStartOk);
  EXPECT_EQ(session.DeviceYDpi(), 200);
  ASSERT_NE(session.Read(), nullptr);
  EXPECT_NEAR(session.ResultLines(), static_cast<int>(session.DeviceLines()) / 2, 1);
  EXPECT_EQ(session.ResultBytesPerLine(), session.ResultWidth() * 3);
}

// Mean sample of a gray 100 dpi scan with the given "Default Setting" keys.
double MeanGray(test::SimFixture& f, AppSettings s) {
  CScanSession session;
  if (!OpenSession(session, s)) return -1;
  if (session.Start(kRequestGray, 100, 0, 0, s.paths.settingsFile, false) != kStartOk) return -1;
  const uint8_t* page = session.Read();
  if (!page) return -1;
  const int64_t n = int64_t{session.ResultWidth()} * session.ResultLines();
  return std::accumulate(page, page + n, 0.0) / static_cast<double>(n);
  (void)f;
}

TEST_F(PellixSession, ToneTableFromDefaultSettingReachesTheDevice) {
  const double plain = MeanGray(*this, Settings("Brightness=0 0 0 0 0\n"));
  const double bright = MeanGray(*this, Settings("Brightness=0 0 0 80 0\n"));
  ASSERT_GT(plain, 0);
  EXPECT_GT(bright, plain + 20);
  AppSettings s = Settings();
  CScanSession session;
  ASSERT_TRUE(OpenSession(session, s));
  EXPECT_TRUE(session.Adjustment().HasToneLibrary());
}

TEST_F(PellixSession, PaperAndCalibrationChecks) {
  Simulate("PaperPresent=0\n");
  AppSettings s = Settings();
  ScanResult r = RunScanCommand(s, nullptr);
  EXPECT_EQ(r.outcome, ScanOutcome::NoPaper);
  EXPECT_EQ(r.messageId, IDS_NO_PAPER);

  // Waiting: the sheet arrives on the second poll.
  int polls = 0;
  ScanHooks hooks;
  hooks.waitForPaper = [&](const std::function<int()>& on) {
    for (; polls < 5; ++polls) {
      if (polls == 1) Simulate("PaperPresent=1\n");
      if (on()) return true;
    }
    return false;
  };
  r = RunScanCommand(s, nullptr, hooks);
  EXPECT_EQ(r.outcome, ScanOutcome::Saved);
  EXPECT_EQ(polls, 1);

  Simulate("CalibrationNeeded=1\nPaperPresent=0\n");
  EXPECT_EQ(CheckDeviceAtStart(s), StartupCheck::CalibrationNeeded);
  bool asked = false;
  ScanHooks calibrate;
  calibrate.calibrationNeeded = [&] { asked = true; };
  r = RunScanCommand(s, nullptr, calibrate);
  EXPECT_EQ(r.outcome, ScanOutcome::CalibrationNeeded);
  EXPECT_EQ(r.messageId, IDS_NO_CALIBRATION);
  EXPECT_TRUE(asked);
  EXPECT_EQ(RunCalibrationPass(s, kCleanMode, nullptr).outcome, CalibrationOutcome::NoPaper);

  Simulate("CalibrationNeeded=1\n");
  CountingSink sink;
  EXPECT_EQ(RunCalibrationPass(s, kCleanMode, &sink).outcome, CalibrationOutcome::Done);
  EXPECT_FALSE(sink.cancellable);
  EXPECT_EQ(sink.last, 100);
  EXPECT_EQ(CheckDeviceAtStart(s), StartupCheck::CalibrationNeeded) << "cleaning is no calibration";
  EXPECT_EQ(RunCalibrationPass(s, kCalibrateMode, &sink).outcome, CalibrationOutcome::Done);
  EXPECT_EQ(CheckDeviceAtStart(s), StartupCheck::Ready);
  EXPECT_EQ(RunScanCommand(s, nullptr).outcome, ScanOutcome::Saved);
}

TEST_F(PellixSession, ThrownErrorsBecomeFailureResults) {
  Simulate("PaperPresent=0\n");
  AppSettings s = Settings();
  ScanHooks hooks;
  hooks.waitForPaper = [](const std::function<int()>&) -> bool { throw std::bad_alloc(); };
  EXPECT_EQ(RunScanCommand(s, nullptr, hooks).outcome, ScanOutcome::ReadFailed);
  EXPECT_EQ(RunCalibrationPass(s, kCleanMode, nullptr, hooks).outcome, CalibrationOutcome::Failed);
  // The session was closed on the way out: the next command opens afresh.
  Simulate("");
  EXPECT_EQ(RunScanCommand(s, nullptr).outcome, ScanOutcome::Saved);
}

TEST_F(PellixSession, FailedSaveKeepsCount) {
  AppSettings s = Settings();
  s.PATH = home_.Path("no/such/folder") + "/";
  const ScanResult r = RunScanCommand(s, nullptr);
  EXPECT_EQ(r.outcome, ScanOutcome::SaveFailed);
  EXPECT_EQ(s.Count, 0);
  EXPECT_FALSE(StoredCount(s));
}

}  // namespace
}  // namespace pellix
