// The simulated device behind the thirteen exports: one open session, its
// parameters, the page being read, the feeder and its per-user state.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/vantor_api.h"
#include "vantor/sim/scan_renderer.h"
#include "vantor/sim/sim_config.h"

namespace vantor_sim {

/// Status values of this device besides the shared ones (0, 42, 43, 50).
enum SimStatus : uint16_t {
  kNotReady = 1,      // not open, or called out of order
  kBadParameter = 2,  // mode, resolution, frame, channel order or buffer
  kNoMemory = 3,
  kNoPaper = 4,
  kRefused = 5,       // parameters refused (RefuseParameters)
  kMisfeed = 6,       // the page file could not be read
  kInternal = 7,
  kPaperJam = 51,
};

class Device {
 public:
  int Open();
  int Close();
  void GetGammaInfo(VantorGammaInfo& block);
  void SetParameters(VantorScanParameters& block);
  void GetParameters(VantorGeometry& block);
  void StartScanEx(VantorStartBlock& block);
  void ReadScannedData(VantorReadBlock& block);
  void StopScan(VantorStatusBlock& block);
  uint16_t CalibrateScanner(int mode, VantorStepProgress progress);
  int IsPaperOn();
  int IsCalibrationNeeded();
  int IsButtonOn();
  int RollPaper();

  /// The process-wide device.
  static Device& Instance();

 private:
  struct Setup {
    int mode = 0;
    OutputFrame frame;
    int requestedLines = 0;   // what GetParameters reports
    int pageLines = 0;        // where the sheet (or a short page) ends
    uint32_t bytesPerLine = 0;
    std::vector<uint16_t> toneTable;  // empty: none
    std::shared_ptr<const Sheet> sheet;  // null: nothing to feed
    std::string pageFile;     // page folder file the sheet came from
    bool unreadablePage = false;
  };
  struct Job {
    int nextLine = 0;
    bool finished = false;
    bool sheetReleased = false;
    VantorLineProgress progress = nullptr;
    std::unique_ptr<ScanRenderer> renderer;
  };

  SimConfig Config() const;
  std::vector<std::string> PendingPageFiles(const SimConfig& config) const;
  bool PaperPresent(const SimConfig& config) const;
  int SheetsFed(const SimConfig& config) const;
  /// The sheet left the feeder: count it, move its file aside.
  void ReleaseSheet();
  void EndJob();
  /// True when the device was stopped or closed from the progress function.
  bool CalledBackOut(uint64_t generation, VantorReadBlock& block, int count);
  /// Takes the next page from the feeder into setup_ (none when empty).
  void PrepareSheet();
  /// How far the feeder moves for the current sheet, 1/300 inch.
  double FeedUnits() const;
  /// Where the page ends for the current sheet and frame.
  void UpdatePageLines();

  bool open_ = false;
  int openCalls_ = 0;
  std::string calibratedFor_;  // state folder of a pass run by this process
  SimConfig config_;
  std::unique_ptr<Setup> setup_;
  std::unique_ptr<Job> job_;
  uint64_t generation_ = 0;  // changes whenever the page or set-up goes away
};

}  // namespace vantor_sim
