// Test helper: a private home plus the simulated scanner and the imaging
// libraries of the build's bin folder, configured per test through VANTOR_INI.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "pellix/app_settings.h"
#include "pellix/test_env.h"
#include "platform/special_folders.h"

namespace pellix::test {

inline std::string BinDir() {
  const char* dir = std::getenv("PX_BIN_DIR");
  if (dir && *dir) return dir;
#ifdef PX_TEST_BIN_DIR
  return PX_TEST_BIN_DIR;
#else
  return "";
#endif
}

class SimFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(BinDir().empty()) << "PX_BIN_DIR is not set";
    ASSERT_TRUE(px::PathExists(BinDir() + "/Vantor.so"));
    setenv("VANTOR_INI", home_.Path("vantor.ini").c_str(), 1);
    Simulate("");
    scans_ = home_.Path("scans") + "/";
    px::CreateFolders(scans_);
  }

  /// Writes the simulator's settings: `keys` are extra "Key=Value" lines.
  void Simulate(const std::string& keys) {
    WriteText(home_.Path("vantor.ini"),
              "[Vantor]\nStateFolder=" + home_.Path("state/vantor") + "\n" + keys);
  }

  /// Settings as the application reads them, with the libraries of the bin
  /// folder and the scan folder of this test.
  AppSettings Settings(const std::string& defaultSetting = "") {
    WriteText(home_.Path("prog/ScanSetting.ini"),
              "[Scan]\nScannerPath=" + BinDir() + "/Vantor.so\n[Default Setting]\n" +
                  defaultSetting);
    AppSettings s = LoadAppSettings(home_.Path("prog"));
    s.paths.enhanceLibrary = BinDir() + "/Tembra.so";
    s.paths.geometryPlugin = BinDir() + "/GeometryTrans.so";
    s.paths.colorMatchPlugin = BinDir() + "/ColorMatch.so";
    s.paths.colorMatchData = BinDir() + "/CM.ini";
    s.paths.mailLibrary = BinDir() + "/Postrel.so";
    s.PATH = scans_;
    s.ScanDPI = 100;  // small pages keep the tests quick
    return s;
  }

  TempHome home_;
  std::string scans_;
};

}  // namespace pellix::test
