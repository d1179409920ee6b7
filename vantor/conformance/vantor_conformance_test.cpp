// What every Vantor device library must do, checked through its exports only:
// the thirteen names, the calling order callers use (open, gamma, set, get,
// start, read, stop, close), status codes, no write outside any buffer or
// block, cancel through the progress function, short pages, and a StopScan
// that can be repeated.
//
// The library is $VANTOR_LIBRARY, else Vantor.so in $PX_BIN_DIR. A temporary
// VANTOR_INI keeps the simulator's state out of the user's folders; other
// libraries ignore it. The device must have paper for every scan (the
// simulator's default); the channel-order comparison also needs a device
// that gives the same bytes twice for the top of a page.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "interfaces/vantor_api.h"
#include "platform/module.h"

namespace {

namespace fs = std::filesystem;

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 4096;
constexpr int kModes[] = {1, 2, 9, 10};

int BytesPerPixel(int mode) { return mode == 1 ? 1 : mode == 2 ? 3 : mode == 9 ? 2 : 6; }

std::string LibraryUnderTest() {
  if (const char* lib = std::getenv("VANTOR_LIBRARY"); lib && *lib) return lib;
  const char* bin = std::getenv("PX_BIN_DIR");
  return px::LibraryPath(bin && *bin ? bin : px::ExecutableFolder(), "Vantor");
}

// A block with guard bytes on both sides, as a caller's stack would hold it.
template <class Block>
struct Guarded {
  uint8_t before[64];
  Block block;
  uint8_t after[64];
  Guarded() {
    std::memset(this, kGuard, sizeof *this);
    std::memset(&block, 0, sizeof block);
  }
  bool Intact() const {
    for (uint8_t b : before)
      if (b != kGuard) return false;
    for (uint8_t b : after)
      if (b != kGuard) return false;
    return true;
  }
};

// lines x bytes per line with guard areas before and after.
class GuardedBuffer {
 public:
  GuardedBuffer(size_t size, uint8_t fill = 0) : bytes_(size + 2 * kGuardBytes, kGuard), size_(size) {
    std::memset(data(), fill, size);
  }
  uint8_t* data() { return bytes_.data() + kGuardBytes; }
  const uint8_t* data() const { return bytes_.data() + kGuardBytes; }
  size_t size() const { return size_; }
  bool Intact() const {
    for (size_t i = 0; i < kGuardBytes; ++i)
      if (bytes_[i] != kGuard || bytes_[kGuardBytes + size_ + i] != kGuard) return false;
    return true;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t size_;
};

struct Frame {
  uint16_t left = 0, top = 0, width = 0, height = 0;
};

struct ScanResult {
  uint16_t setStatus = 0xFFFF, getStatus = 0xFFFF, startStatus = 0xFFFF, readStatus = 0xFFFF,
           stopStatus = 0xFFFF;
  VantorGeometry geometry{};
  int delivered = 0;
  std::vector<uint8_t> data;  // delivered lines only
  bool guardsIntact = true;
};

// Progress functions cannot carry state, so the test keeps it here.
struct ProgressLog {
  std::vector<int> calls;
  int stopAfter = -1;  // answer 0 on this call (0-based); -1 never
};
ProgressLog g_progress;

int RecordingProgress(int lines) {
  g_progress.calls.push_back(lines);
  return static_cast<int>(g_progress.calls.size()) - 1 == g_progress.stopAfter ? 0 : 1;
}

class VantorConformance : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vantor-conformance-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    std::ofstream(folder_ + "/Vantor.ini") << "[Vantor]\nStateFolder=" << folder_ << "/state\n";
    setenv("VANTOR_INI", (folder_ + "/Vantor.ini").c_str(), 1);
    ASSERT_TRUE(module_.Load(LibraryUnderTest())) << px::Module::LastError();
    ASSERT_TRUE(module_.BindAll(api_)) << "a required name is missing";
    g_progress = ProgressLog{};
  }

  void TearDown() override {
    if (open_) api_._Close();
    module_.Unload();
    unsetenv("VANTOR_INI");
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }

  // As callers open: up to five calls, 100 ms apart.
  void Open() {
    int result = 0;
    for (int attempt = 0; attempt < 5 && !result; ++attempt) {
      if (attempt) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      result = api_._Open();
    }
    ASSERT_NE(result, 0) << "the device did not open";
    open_ = true;
  }

  uint16_t Set(int mode, int dpi, Frame frame, uintptr_t table = 0) {
    Guarded<VantorScanParameters> p;
    p.block.left = frame.left;
    p.block.top = frame.top;
    p.block.width = frame.width;
    p.block.height = frame.height;
    p.block.resolution = static_cast<uint16_t>(dpi);
    p.block.mode = static_cast<uint16_t>(mode);
    p.block.reserved128 = 128;
    p.block.toneTable = table;
    api_.SetParameters(&p.block);
    EXPECT_TRUE(p.Intact());
    return p.block.status;
  }

  // One whole page the way callers read it.
  ScanResult Scan(int mode, int dpi, int order, Frame frame = {}, VantorLineProgress progress = nullptr) {
    ScanResult r;
    Guarded<VantorGammaInfo> gamma;
    gamma.block.mode = static_cast<uint16_t>(mode);
    api_.GetGammaInfo(&gamma.block);
    r.guardsIntact &= gamma.Intact();
    r.setStatus = Set(mode, dpi, frame);
    if (r.setStatus) return r;
    Guarded<VantorGeometry> geo;
    api_.GetParameters(&geo.block);
    r.guardsIntact &= geo.Intact();
    r.getStatus = geo.block.status;
    r.geometry = geo.block;
    if (r.getStatus) return r;
    const size_t size = size_t(geo.block.bytesPerLine) * geo.block.lines;
    GuardedBuffer buffer(size);
    Guarded<VantorStartBlock> start;
    start.block.progress = reinterpret_cast<uintptr_t>(progress);
    api_.StartScanEx(&start.block, 1);
    r.guardsIntact &= start.Intact();
    r.startStatus = start.block.status;
    if (r.startStatus == 0 || r.startStatus == VANTOR_STARTED) {
      Guarded<VantorReadBlock> read;
      read.block.channelOrder = static_cast<uint16_t>(order);
      read.block.linesWanted = static_cast<uint16_t>(geo.block.lines);
      read.block.buffer = reinterpret_cast<uintptr_t>(buffer.data());
      api_.ReadScannedData(&read.block);
      r.guardsIntact &= read.Intact() && buffer.Intact();
      r.readStatus = read.block.status;
      r.delivered = read.block.linesDelivered;
      // The buffer and the block's wanted count must come back unchanged.
      EXPECT_EQ(+read.block.linesWanted, +geo.block.lines);
      EXPECT_EQ(+read.block.buffer, reinterpret_cast<uintptr_t>(buffer.data()));
      const size_t kept = size_t(std::min<int>(r.delivered, int(geo.block.lines))) * geo.block.bytesPerLine;
      r.data.assign(buffer.data(), buffer.data() + kept);
    }
    Guarded<VantorStatusBlock> stop;
    api_.StopScan(&stop.block);
    r.guardsIntact &= stop.Intact();
    r.stopStatus = stop.block.status;
    return r;
  }

  static bool Good(const ScanResult& r) {
    return (r.readStatus == 0 || r.readStatus == VANTOR_SHORT_PAGE) &&
           r.delivered <= static_cast<int>(r.geometry.lines);
  }

  std::string folder_;
  px::Module module_;
  VantorApi api_;
  bool open_ = false;
};

TEST_F(VantorConformance, ExportsAllThirteenNames) {
  EXPECT_EQ(kVantorApiCount, 13u);
  for (const char* name : kVantorApiNames) EXPECT_NE(module_.Symbol(name), nullptr) << name;
}

TEST_F(VantorConformance, GammaInfoGivesTheTableDepthsOfEachMode) {
  for (int mode : kModes) {
    Guarded<VantorGammaInfo> g;
    g.block.mode = static_cast<uint16_t>(mode);
    api_.GetGammaInfo(&g.block);
    EXPECT_TRUE(g.Intact());
    ASSERT_EQ(+g.block.status, 0) << "mode " << mode;
    EXPECT_EQ(+g.block.mode, mode);
    // The delivered samples have the output depth; a table indexes by the input.
    EXPECT_EQ(+g.block.outputBits, mode == 9 || mode == 10 ? 16 : 8) << "mode " << mode;
    EXPECT_GE(+g.block.inputBits, +g.block.outputBits);
    EXPECT_LE(+g.block.inputBits, 16);
  }
  Guarded<VantorGammaInfo> bad;
  bad.block.mode = 3;
  api_.GetGammaInfo(&bad.block);
  EXPECT_NE(+bad.block.status, 0);
}

TEST_F(VantorConformance, EveryModeReadsAConsistentPage) {
  Open();
  for (int mode : kModes) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    const ScanResult r = Scan(mode, 75, 0);
    ASSERT_EQ(r.setStatus, 0);
    ASSERT_EQ(r.getStatus, 0);
    EXPECT_TRUE(r.startStatus == 0 || r.startStatus == VANTOR_STARTED) << r.startStatus;
    EXPECT_TRUE(Good(r)) << "status " << r.readStatus << ", " << r.delivered << " of " << +r.geometry.lines;
    EXPECT_GT(r.delivered, 0);
    EXPECT_EQ(r.stopStatus, 0);
    EXPECT_TRUE(r.guardsIntact);
    const uint32_t bpl = r.geometry.bytesPerLine;
    ASSERT_EQ(bpl % BytesPerPixel(mode), 0u);
    // Full width is 8.5 inches at the delivered horizontal resolution.
    const double pixels = bpl / BytesPerPixel(mode);
    EXPECT_NEAR(pixels, 8.5 * +r.geometry.xDpi, 2.0);
    EXPECT_GT(+r.geometry.xDpi, 0);
    EXPECT_GT(+r.geometry.yDpi, 0);
  }
}

TEST_F(VantorConformance, ChannelOrderOneIsOrderZeroSwapped) {
  Open();
  // The top inch: the same on every sheet of a deterministic device.
  const Frame top{0, 0, 0, 300};
  for (int mode : {2, 10}) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    const ScanResult rgb = Scan(mode, 100, 0, top);
    const ScanResult bgr = Scan(mode, 100, 1, top);
    ASSERT_TRUE(Good(rgb));
    ASSERT_TRUE(Good(bgr));
    ASSERT_EQ(rgb.data.size(), bgr.data.size());
    ASSERT_FALSE(rgb.data.empty());
    const size_t sample = mode == 2 ? 1 : 2;
    size_t mismatches = 0, colourful = 0;
    for (size_t px = 0; px + 3 * sample <= rgb.data.size(); px += 3 * sample) {
      const uint8_t* a = &rgb.data[px];
      const uint8_t* b = &bgr.data[px];
      if (std::memcmp(a, b + 2 * sample, sample) || std::memcmp(a + sample, b + sample, sample) ||
          std::memcmp(a + 2 * sample, b, sample))
        ++mismatches;
      if (std::memcmp(a, a + 2 * sample, sample)) ++colourful;
    }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_GT(colourful, 0u) << "no pixel whose red and blue differ: the swap went unchecked";
  }
  // Gray data has no order.
  const ScanResult gray0 = Scan(1, 100, 0, top);
  const ScanResult gray1 = Scan(1, 100, 1, top);
  EXPECT_EQ(gray0.data, gray1.data);
}

TEST_F(VantorConformance, ProgressFollowsTheLinesAndZeroStopsTheRead) {
  Open();
  const ScanResult whole = Scan(2, 100, 0, {}, RecordingProgress);
  ASSERT_TRUE(Good(whole));
  ASSERT_FALSE(g_progress.calls.empty());
  for (size_t i = 1; i < g_progress.calls.size(); ++i) EXPECT_GE(g_progress.calls[i], g_progress.calls[i - 1]);
  EXPECT_EQ(g_progress.calls.back(), whole.delivered);

  g_progress = ProgressLog{};
  g_progress.stopAfter = 0;
  const ScanResult cancelled = Scan(2, 100, 0, {}, RecordingProgress);
  EXPECT_EQ(cancelled.readStatus, VANTOR_STOPPED);
  EXPECT_LE(cancelled.delivered, static_cast<int>(+cancelled.geometry.lines));
  EXPECT_EQ(g_progress.calls.size(), 1u) << "the device kept asking after a 0";
  EXPECT_EQ(cancelled.stopStatus, 0);
  EXPECT_TRUE(cancelled.guardsIntact);

  // The device is usable again after a cancel.
  const ScanResult again = Scan(1, 100, 0);
  EXPECT_TRUE(Good(again));
}

TEST_F(VantorConformance, AFrameLongerThanThePaperEndsAsAShortPage) {
  Open();
  // 14 inches: longer than any sheet the simulator feeds.
  const ScanResult r = Scan(1, 100, 0, Frame{0, 0, 0, 4200});
  ASSERT_EQ(r.setStatus, 0);
  EXPECT_EQ(+r.geometry.lines, 1400u);
  ASSERT_TRUE(Good(r)) << r.readStatus;
  if (r.readStatus == VANTOR_SHORT_PAGE) {
    EXPECT_LT(r.delivered, 1400);
  } else {
    EXPECT_EQ(r.delivered, 1400);
  }
  EXPECT_TRUE(r.guardsIntact);
}

TEST_F(VantorConformance, StopScanCanBeRepeated) {
  Open();
  Guarded<VantorStatusBlock> stop;
  api_.StopScan(&stop.block);  // before any scan
  EXPECT_EQ(+stop.block.status, 0);
  const ScanResult r = Scan(1, 75, 0);
  EXPECT_TRUE(Good(r));
  for (int i = 0; i < 3; ++i) {
    stop.block.status = 0xFFFF;
    api_.StopScan(&stop.block);
    EXPECT_EQ(+stop.block.status, 0);
  }
  EXPECT_TRUE(stop.Intact());
  EXPECT_TRUE(Good(Scan(1, 75, 0)));
}

TEST_F(VantorConformance, CallsOutOfOrderFailWithoutHarm) {
  Open();
  Guarded<VantorGeometry> geo;
  api_.GetParameters(&geo.block);
  EXPECT_NE(+geo.block.status, 0) << "geometry before any parameters";

  Guarded<VantorStartBlock> start;
  api_.StartScanEx(&start.block, 1);
  EXPECT_NE(+start.block.status, 0) << "started without parameters";

  GuardedBuffer buffer(1000);
  Guarded<VantorReadBlock> read;
  read.block.linesWanted = 10;
  read.block.buffer = reinterpret_cast<uintptr_t>(buffer.data());
  api_.ReadScannedData(&read.block);
  EXPECT_NE(+read.block.status, 0);
  EXPECT_NE(+read.block.status, VANTOR_SHORT_PAGE);
  EXPECT_EQ(+read.block.linesDelivered, 0);
  EXPECT_TRUE(buffer.Intact());
  EXPECT_TRUE(start.Intact() && read.Intact() && geo.Intact());

  // A read after the page ended is no page either.
  ASSERT_EQ(Set(1, 75, {}), 0);
  api_.GetParameters(&geo.block);
  ASSERT_EQ(+geo.block.status, 0);
  std::vector<uint8_t> page(size_t(geo.block.bytesPerLine) * geo.block.lines);
  start.block.status = 0xFFFF;
  api_.StartScanEx(&start.block, 1);
  ASSERT_TRUE(+start.block.status == 0 || +start.block.status == VANTOR_STARTED);
  read.block.linesWanted = static_cast<uint16_t>(geo.block.lines);
  read.block.buffer = reinterpret_cast<uintptr_t>(page.data());
  api_.ReadScannedData(&read.block);
  ASSERT_TRUE(+read.block.status == 0 || +read.block.status == VANTOR_SHORT_PAGE);
  VantorStatusBlock stop{};
  api_.StopScan(&stop);
  api_.ReadScannedData(&read.block);
  EXPECT_NE(+read.block.status, 0);
  EXPECT_NE(+read.block.status, VANTOR_SHORT_PAGE);
}

TEST_F(VantorConformance, BadParametersAreRefused) {
  Open();
  // Good parameters first: a refusal must not leave them in force.
  ASSERT_EQ(Set(2, 75, {}), 0);
  EXPECT_NE(Set(3, 300, {}), 0) << "mode 3";
  EXPECT_NE(Set(0, 300, {}), 0) << "mode 0";
  EXPECT_NE(Set(2, 0, {}), 0) << "resolution 0";
  EXPECT_NE(Set(2, 65535, {}), 0) << "resolution 65535";
  EXPECT_NE(Set(2, 300, Frame{2000, 0, 600, 300}), 0) << "frame beyond 8.5 inches";
  EXPECT_NE(Set(2, 300, Frame{2550, 0, 0, 300}), 0) << "frame starting at the right edge";
  EXPECT_NE(Set(2, 300, Frame{0, 0, 65535, 65535}), 0) << "absurd frame";
  // A refused frame leaves nothing to describe or start.
  Guarded<VantorGeometry> geo;
  api_.GetParameters(&geo.block);
  EXPECT_NE(+geo.block.status, 0);
  Guarded<VantorStartBlock> start;
  api_.StartScanEx(&start.block, 1);
  EXPECT_NE(+start.block.status, 0);
  EXPECT_NE(+start.block.status, VANTOR_STARTED);
  // Within the device everything goes.
  EXPECT_EQ(Set(2, 300, Frame{1275, 0, 1275, 300}), 0);
  EXPECT_EQ(Set(2, 300, Frame{0, 0, 2550, 300}), 0);
}

TEST_F(VantorConformance, ReadRefusesAMissingBufferAndUnknownOrder) {
  Open();
  ASSERT_EQ(Set(2, 75, Frame{0, 0, 0, 300}), 0);
  Guarded<VantorGeometry> geo;
  api_.GetParameters(&geo.block);
  Guarded<VantorStartBlock> start;
  api_.StartScanEx(&start.block, 1);
  ASSERT_TRUE(+start.block.status == 0 || +start.block.status == VANTOR_STARTED);
  Guarded<VantorReadBlock> read;
  read.block.linesWanted = static_cast<uint16_t>(geo.block.lines);
  read.block.buffer = 0;
  api_.ReadScannedData(&read.block);
  EXPECT_NE(+read.block.status, 0);
  EXPECT_NE(+read.block.status, VANTOR_SHORT_PAGE);
  GuardedBuffer buffer(size_t(geo.block.bytesPerLine) * geo.block.lines, 0x5A);
  read.block.buffer = reinterpret_cast<uintptr_t>(buffer.data());
  read.block.channelOrder = 7;
  api_.ReadScannedData(&read.block);
  EXPECT_NE(+read.block.status, 0);
  EXPECT_TRUE(buffer.Intact());
  VantorStatusBlock stop{};
  api_.StopScan(&stop);
  EXPECT_EQ(+stop.status, 0);
}

TEST_F(VantorConformance, MissingBlocksAreIgnored) {
  Open();
  api_.GetGammaInfo(nullptr);
  api_.SetParameters(nullptr);
  api_.GetParameters(nullptr);
  api_.StartScanEx(nullptr, 1);
  api_.ReadScannedData(nullptr);
  api_.StopScan(nullptr);
  EXPECT_EQ(api_.CalibrateScanner(0, nullptr), 0) << "a pass without a progress function";
  // Still usable.
  EXPECT_TRUE(Good(Scan(1, 75, 0)));
}

TEST_F(VantorConformance, ToneTableIsReadNotWritten) {
  Open();
  for (int mode : kModes) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    const size_t entries = (mode == 1 || mode == 9 ? 1u : 3u) * 65536u;
    GuardedBuffer table(entries * 2);
    auto* e = reinterpret_cast<uint16_t*>(table.data());
    const uint16_t top = mode == 9 || mode == 10 ? 65535 : 255;
    for (size_t i = 0; i < entries; ++i) e[i] = static_cast<uint16_t>(top - (i % 65536) * top / 65535);
    const std::vector<uint8_t> before(table.data(), table.data() + table.size());
    ASSERT_EQ(Set(mode, 75, Frame{0, 0, 0, 150}, reinterpret_cast<uintptr_t>(table.data())), 0);
    VantorGeometry geo{};
    api_.GetParameters(&geo);
    GuardedBuffer buffer(size_t(geo.bytesPerLine) * geo.lines);
    VantorStartBlock start{};
    api_.StartScanEx(&start, 1);
    VantorReadBlock read{};
    read.linesWanted = static_cast<uint16_t>(geo.lines);
    read.buffer = reinterpret_cast<uintptr_t>(buffer.data());
    api_.ReadScannedData(&read);
    VantorStatusBlock stop{};
    api_.StopScan(&stop);
    EXPECT_TRUE(+read.status == 0 || +read.status == VANTOR_SHORT_PAGE);
    EXPECT_TRUE(table.Intact());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), table.data()));
    EXPECT_TRUE(buffer.Intact());
  }
}

TEST_F(VantorConformance, OpensAgainAfterClose) {
  Open();
  EXPECT_TRUE(Good(Scan(1, 75, 0)));
  api_._Close();
  open_ = false;
  Open();
  EXPECT_TRUE(Good(Scan(2, 75, 1)));
}

TEST_F(VantorConformance, QueriesAnswerWithoutABlock) {
  Open();
  // Their values are the device's; they must simply answer, repeatedly.
  for (int i = 0; i < 3; ++i) {
    api_.IsPaperOn();
    api_.IsButtonOn();
    api_.IsCalibrationNeeded();
    api_.RollPaper();
  }
  EXPECT_NE(api_.IsPaperOn(), 0) << "the conformance run needs paper in the device";
}

}  // namespace
