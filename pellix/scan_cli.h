// pellix-scan, the command-line twin of Pellix: its options and its run.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pellix {

/// Exit codes of pellix-scan.
enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,
  kExitInitFailed = 2,         ///< 32790: the device library did not load or open
  kExitNoPaper = 3,            ///< 32791
  kExitCalibrationNeeded = 4,  ///< 32803
  kExitScanFailed = 5,         ///< refused parameters, read failure, failed pass
  kExitCancelled = 6,          ///< Ctrl-C; pages saved before are kept
  kExitWriteFailed = 7,        ///< a page, the PDF or the TIFF could not be written
  kExitMailFailed = 8,         ///< 32810, 32811, 32812
};

struct CliOptions {
  int pages = 1;
  bool waitForPaper = false;
  std::optional<int> scanMode;    ///< 0 color, 1 gray, 2 lineart
  std::optional<int> dpi;
  std::optional<int> scanFormat;  ///< 0 bmp, 1 jpg, 2 tif
  std::optional<std::string> path;
  std::optional<bool> crop;
  std::string pdf;
  std::string tiff;
  std::optional<std::string> email;
  bool attachPdf = false;
  std::optional<int> calibration;  ///< 0 calibrate, 1 clean
  bool help = false;
};

/// Parses the arguments (argv[0] is skipped). False with `error` set on a
/// usage error.
bool ParseCliOptions(const std::vector<std::string>& args, CliOptions& options,
                     std::string& error);

/// The --help text.
std::string UsageText();

/// Runs pellix-scan with the program folder `programFolder` (where
/// ScanSetting.ini and the libraries are). Returns an exit code.
int RunPellixScan(const CliOptions& options, const std::string& programFolder);

}  // namespace pellix
