// A scan module in a folder of its own: a fresh copy of Quorra.so beside the
// chosen stand-ins (copied, not linked, because the module finds its folder
// from its real path).
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "interfaces/quorra_api.h"
#include "quorra/tests/standin_log.h"

namespace quorra_test {

/// File in the stand-in folder (or an absolute path) -> name in the test
/// folder. Leave a library out to test its absence.
std::map<std::string, std::string> StandardLibraries();

class Harness {
 public:
  explicit Harness(const std::map<std::string, std::string>& libraries = StandardLibraries());
  ~Harness();
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  const std::string& Folder() const { return folder_; }
  void WriteIni(const std::string& text) const;
  QuorraApi& Api() { return api_; }

 private:
  std::string folder_;
  void* handle_ = nullptr;
  QuorraApi api_;
};

/// Calls recorded since the last Reset() or ClearLog(), optionally only those
/// that start with one of `prefixes`.
std::vector<std::string> Calls(const std::vector<std::string>& prefixes = {});
void ClearLog();

/// The host's image-ready and host-event functions; they count their calls.
int HostImageReady();
int HostEvent();
extern int g_imageReadyCalls;
extern int g_hostEventCalls;
extern int g_imageReadyResult;

/// A HostSetting for pixel type, frame and resolution.
HostSetting MakeHostSetting(int pixelType, int left, int top, int width, int height, int dpi);

/// A neutral Korvel settings record for the same.
ScanSetting MakeScanSetting(int pixelType, int width, int height, int dpi);

/// A test with a fresh log and a loaded module, already through OpenDS.
class QuorraTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  /// OpenDS with the host functions; the log is cleared afterwards.
  void Open(int reportErrors = 1);
  QuorraApi& Q() { return harness_->Api(); }
  standin::Controls& Ctl() { return standin::Ctl(); }
  /// Runs Korvel's Scan request with the stand-in's settings record.
  int ScanSlot() { return standin::Ctl().korvel.callbacks.Scan(); }

  std::unique_ptr<Harness> harness_;
};

}  // namespace quorra_test
