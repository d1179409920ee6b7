#include "vantor/sim/device.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/ini_file.h"
#include "platform/special_folders.h"
#include "vantor/sim/image_sheet.h"
#include "vantor/sim/sample_document.h"

namespace vantor_sim {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStateSection = "Vantor";
constexpr int kMinDpi = 50;
constexpr int kMaxDpi = 1200;
constexpr int kProgressEvery = 64;

std::string StateFile(const SimConfig& c) { return c.stateFolder + "/state.ini"; }

bool IsPageFileName(const std::string& name) {
  if (name.empty() || name[0] == '.') return false;
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot + 1);
  for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  static const char* const kKnown[] = {"bmp", "png", "jpg", "jpeg", "tif", "tiff", "pbm",
                                       "pgm", "ppm", "pnm", "webp", "jp2"};
  return std::any_of(std::begin(kKnown), std::end(kKnown), [&](const char* k) { return ext == k; });
}

// Moves a fed file into a subfolder beside it; failures leave it in place.
void MoveInto(const std::string& file, const char* subfolder) {
  const fs::path from(file);
  const fs::path folder = from.parent_path() / subfolder;
  std::error_code ec;
  fs::create_directories(folder, ec);
  fs::rename(from, folder / from.filename(), ec);
}

}  // namespace

Device& Device::Instance() {
  static Device device;
  return device;
}

SimConfig Device::Config() const { return LoadConfig(ConfigPath()); }

std::vector<std::string> Device::PendingPageFiles(const SimConfig& c) const {
  std::vector<std::string> files;
  std::error_code ec;
  fs::directory_iterator it(c.pageSource, ec);
  if (ec) return files;
  for (const fs::directory_entry& entry : it) {
    std::error_code statError;
    if (!entry.is_regular_file(statError)) continue;
    if (IsPageFileName(entry.path().filename().string())) files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

int Device::SheetsFed(const SimConfig& c) const {
  return std::max(0, px::GetProfileInt(kStateSection, "SheetsFed", 0, StateFile(c)));
}

bool Device::PaperPresent(const SimConfig& c) const {
  if (!c.paperPresent) return false;
  if (!c.pageSource.empty()) return !PendingPageFiles(c).empty();
  return c.feederPages == 0 || SheetsFed(c) < c.feederPages;
}

void Device::PrepareSheet() {
  Setup& s = *setup_;
  s.sheet.reset();
  s.pageFile.clear();
  s.unreadablePage = false;
  if (!PaperPresent(config_)) return;
  if (config_.pageSource.empty()) {
    s.sheet = std::make_shared<SampleDocument>(SheetsFed(config_) + 1, s.frame.dpiX, s.frame.dpiY,
                                               config_.sheetWidth, config_.sheetHeight);
    return;
  }
  const std::vector<std::string> files = PendingPageFiles(config_);
  if (files.empty()) return;
  s.pageFile = files.front();
  s.sheet = LoadImageSheet(s.pageFile, s.frame.dpiX, s.frame.dpiY);
  s.unreadablePage = !s.sheet;
}

double Device::FeedUnits() const {
  const Placement placement{config_.offsetX, config_.offsetY, config_.skewAngle};
  const Sheet* sheet = setup_ ? setup_->sheet.get() : nullptr;
  return sheet ? FeedLengthUnits(sheet->widthUnits(), sheet->heightUnits(), placement)
               : FeedLengthUnits(config_.sheetWidth, config_.sheetHeight, placement);
}

void Device::UpdatePageLines() {
  Setup& s = *setup_;
  const double feedLines = std::floor((FeedUnits() - s.frame.top) * s.frame.dpiY / 300 + 1e-9);
  s.pageLines = static_cast<int>(std::clamp(feedLines, 0.0, static_cast<double>(s.frame.lines)));
  if (config_.shortPageLines > 0) s.pageLines = std::min(s.pageLines, config_.shortPageLines);
}

int Device::Open() {
  config_ = Config();
  if (openCalls_ < config_.openFailures) {
    ++openCalls_;
    return 0;
  }
  ++openCalls_;
  open_ = true;
  return 1;
}

int Device::Close() {
  if (!open_) return 0;
  EndJob();
  setup_.reset();
  ++generation_;
  open_ = false;
  return 1;
}

void Device::GetGammaInfo(VantorGammaInfo& block) {
  switch (block.mode) {
    case 1:
    case 2:
      block.inputBits = 16;
      block.outputBits = 8;
      break;
    case 9:
    case 10:
      block.inputBits = 16;
      block.outputBits = 16;
      break;
    default:
      block.status = kBadParameter;
      return;
  }
  block.status = 0;
}

void Device::SetParameters(VantorScanParameters& block) {
  if (!open_ || job_) {
    block.status = kNotReady;
    return;
  }
  // Whatever happens below, the earlier parameters are gone: a refused call
  // must not leave an old frame to start.
  setup_.reset();
  ++generation_;
  config_ = Config();
  if (config_.refuseParameters) {
    block.status = kRefused;
    return;
  }
  const int mode = block.mode;
  const int bpp = BytesPerPixel(mode);
  const int dpi = block.resolution;
  const int left = block.left, top = block.top;
  const int width = block.width ? block.width : kDeviceWidthUnits - left;
  if (bpp == 0 || dpi < kMinDpi || dpi > kMaxDpi || left >= kDeviceWidthUnits || width <= 0 ||
      left + width > kDeviceWidthUnits) {
    block.status = kBadParameter;
    return;
  }
  auto next = std::make_unique<Setup>();
  next->mode = mode;
  next->frame.left = left;
  next->frame.top = top;
  next->frame.dpiX = config_.deliveredXDpi ? config_.deliveredXDpi : dpi;
  next->frame.dpiY = config_.deliveredYDpi ? config_.deliveredYDpi : dpi;
  setup_ = std::move(next);
  Setup& s = *setup_;
  PrepareSheet();

  const double feed = FeedUnits();
  const double heightUnits = block.height ? block.height : feed - top;
  // The small allowance keeps exact products from rounding down a line.
  const double pixels = std::floor(width * s.frame.dpiX / 300 + 1e-9);
  const double lines = std::floor(heightUnits * s.frame.dpiY / 300 + 1e-9);
  // Lines travel in a 16-bit field; a frame below the sheet has none.
  if (pixels < 1 || lines < 1 || lines > 65535) {
    setup_.reset();
    block.status = kBadParameter;
    return;
  }
  s.frame.pixels = static_cast<int>(pixels);
  s.frame.lines = static_cast<int>(lines);
  s.bytesPerLine = static_cast<uint32_t>(s.frame.pixels) * static_cast<uint32_t>(bpp);
  UpdatePageLines();

  if (block.toneTable) {
    // Copied now: callers free their table right after the read, and a copy
    // cannot change under a running scan.
    const size_t entries = (mode == 1 || mode == 9 ? 1u : 3u) * 65536u;
    const auto* table = reinterpret_cast<const uint16_t*>(block.toneTable);
    s.toneTable.assign(table, table + entries);
  }
  block.status = 0;
}

void Device::GetParameters(VantorGeometry& block) {
  if (!open_ || !setup_) {
    block.status = kNotReady;
    return;
  }
  block.xDpi = static_cast<uint16_t>(setup_->frame.dpiX);
  block.yDpi = static_cast<uint16_t>(setup_->frame.dpiY);
  block.bytesPerLine = setup_->bytesPerLine;
  block.lines = static_cast<uint32_t>(setup_->frame.lines);
  block.status = 0;
}

void Device::StartScanEx(VantorStartBlock& block) {
  if (!open_ || !setup_ || job_) {
    block.status = kNotReady;
    return;
  }
  Setup& s = *setup_;
  // The page taken at set-up may have gone (fed by an earlier scan) or paper
  // may have arrived since: look at the feeder again.
  if (!s.sheet && !s.unreadablePage) {
    PrepareSheet();
    UpdatePageLines();
  }
  if (s.unreadablePage) {
    // A page the feeder cannot take is pushed out so the next one can come.
    MoveInto(s.pageFile, "rejected");
    s.pageFile.clear();
    s.unreadablePage = false;
    block.status = kMisfeed;
    return;
  }
  if (!s.sheet || !PaperPresent(config_)) {
    block.status = kNoPaper;
    return;
  }
  auto job = std::make_unique<Job>();
  job->progress = reinterpret_cast<VantorLineProgress>(block.progress);
  const Placement placement{config_.offsetX, config_.offsetY, config_.skewAngle};
  job->renderer = std::make_unique<ScanRenderer>(s.sheet, placement, s.frame);
  job_ = std::move(job);
  block.status = 0;
}

void Device::ReadScannedData(VantorReadBlock& block) {
  block.linesDelivered = 0;
  if (!open_ || !setup_ || !job_ || job_->finished) {
    block.status = kNotReady;
    return;
  }
  const int wanted = block.linesWanted;
  auto* buffer = reinterpret_cast<uint8_t*>(block.buffer);
  if (block.channelOrder > 1 || (wanted > 0 && !buffer)) {
    block.status = kBadParameter;
    return;
  }
  Job& job = *job_;
  Setup& s = *setup_;
  const uint64_t generation = generation_;
  if (config_.readFailStatus) {
    job.finished = true;
    ReleaseSheet();
    block.status = static_cast<uint16_t>(config_.readFailStatus);
    return;
  }
  const int jamLine = config_.paperJam ? std::max(1, s.pageLines / 3) : -1;
  const uint16_t* table = s.toneTable.empty() ? nullptr : s.toneTable.data();
  const auto started = std::chrono::steady_clock::now();
  uint16_t status = 0;
  int count = 0, reported = 0;
  while (count < wanted) {
    const int line = job.nextLine;
    if (line >= s.pageLines) break;
    if (jamLine >= 0 && line >= jamLine) {
      status = kPaperJam;
      break;
    }
    PackLine(job.renderer->Line(line), s.frame.pixels, s.mode, block.channelOrder, table,
             buffer + static_cast<size_t>(count) * s.bytesPerLine);
    ++count;
    ++job.nextLine;
    if (config_.linesPerSecond > 0) {
      std::this_thread::sleep_until(started + std::chrono::microseconds(
                                                  int64_t(count) * 1'000'000 / config_.linesPerSecond));
    }
    if (job.progress && count % kProgressEvery == 0) {
      reported = count;
      const int answer = job.progress(job.nextLine);
      if (CalledBackOut(generation, block, count)) return;
      if (!answer) {
        status = VANTOR_STOPPED;
        break;
      }
    }
  }
  if (status == 0 && job.progress && reported != count) {
    const int answer = job.progress(job.nextLine);
    if (CalledBackOut(generation, block, count)) return;
    if (!answer) status = VANTOR_STOPPED;
  }
  if (status == 0 && count < wanted) status = VANTOR_SHORT_PAGE;
  if (status == kPaperJam) {
    job.finished = true;  // the sheet stays in the feeder
  } else if (status != 0 || job.nextLine >= s.pageLines) {
    job.finished = true;
    ReleaseSheet();
  }
  block.linesDelivered = static_cast<uint16_t>(
      config_.extraLines ? std::min(65535, wanted + config_.extraLines) : count);
  block.status = status;
}

bool Device::CalledBackOut(uint64_t generation, VantorReadBlock& block, int count) {
  // A progress function that stopped or closed the device from inside the
  // read has taken the page away: report what was read and touch nothing.
  if (generation_ == generation) return false;
  block.linesDelivered = static_cast<uint16_t>(count);
  block.status = VANTOR_STOPPED;
  return true;
}

void Device::StopScan(VantorStatusBlock& block) {
  EndJob();
  block.status = 0;
}

void Device::EndJob() {
  if (!job_) return;
  ++generation_;
  // A sheet that started moving leaves the feeder even when the read was
  // abandoned half way; one that never moved stays.
  if (!job_->finished && job_->nextLine > 0) ReleaseSheet();
  job_.reset();
}

void Device::ReleaseSheet() {
  if (!setup_ || !setup_->sheet) return;
  if (!setup_->pageFile.empty()) MoveInto(setup_->pageFile, "scanned");
  if (px::CreateFolders(config_.stateFolder)) {
    const std::string fed = std::to_string(SheetsFed(config_) + 1);
    px::WriteProfileString(kStateSection, "SheetsFed", fed.c_str(), StateFile(config_));
  }
  setup_->sheet.reset();
  setup_->pageFile.clear();
}

uint16_t Device::CalibrateScanner(int mode, VantorStepProgress progress) {
  if (mode != 0 && mode != 1) return kBadParameter;
  const SimConfig c = Config();
  const int total = mode == 0 ? 8 : 5;
  for (int done = 0; done <= total; ++done) {
    if (done > 0 && c.linesPerSecond > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (progress && !progress(done, total)) return VANTOR_STOPPED;
  }
  if (mode == 0) {
    calibratedFor_ = c.stateFolder;
    if (px::CreateFolders(c.stateFolder)) px::WriteProfileString(kStateSection, "Calibrated", "1", StateFile(c));
  }
  return 0;
}

int Device::IsPaperOn() { return PaperPresent(Config()) ? 1 : 0; }

int Device::IsCalibrationNeeded() {
  const SimConfig c = Config();
  if (!c.calibrationNeeded || calibratedFor_ == c.stateFolder) return 0;
  return px::GetProfileInt(kStateSection, "Calibrated", 0, StateFile(c)) ? 0 : 1;
}

int Device::IsButtonOn() {
  // A press is the file's existence; answering consumes it.
  const SimConfig c = Config();
  return ::unlink(c.buttonFile.c_str()) == 0 ? 1 : 0;
}

int Device::RollPaper() { return 1; }

}  // namespace vantor_sim
