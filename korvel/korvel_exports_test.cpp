// Loads a copy of Korvel.so from a private folder (with its own Quorra.ini and
// languages) the way the scan module does, without any Qt application.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "interfaces/korvel_api.h"
#include "platform/module.h"

namespace fs = std::filesystem;

namespace {

class KorvelExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/korvel_exports_XXXXXX";
    root_ = mkdtemp(tmpl);
    fs::create_directories(root_ + "/lib/Language");
    const char* bin = std::getenv("PX_BIN_DIR");
    const std::string binFolder = bin ? bin : px::ExecutableFolder() + "/../bin";
    fs::copy_file(px::LibraryPath(binFolder, "Korvel"), root_ + "/lib/Korvel.so");
    const char* old = std::getenv("XDG_DATA_HOME");
    hadDataHome_ = old != nullptr;
    if (old) oldDataHome_ = old;
    setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
  }
  void TearDown() override {
    module_.Unload();
    if (hadDataHome_) setenv("XDG_DATA_HOME", oldDataHome_.c_str(), 1);
    else unsetenv("XDG_DATA_HOME");
    fs::remove_all(root_);
  }
  void WriteFile(const std::string& relative, const std::string& text) {
    std::ofstream(root_ + "/" + relative, std::ios::binary) << text;
  }
  bool Load() {
    return module_.Load(root_ + "/lib/Korvel.so") && module_.BindAll(api_);
  }
  // Runs f with standard error going to a file, and returns what was written.
  template <class F>
  std::string CaptureStderr(F&& f) {
    const std::string path = root_ + "/stderr.txt";
    fflush(stderr);
    const int saved = dup(2);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
    f();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::string root_;
  bool hadDataHome_ = false;
  std::string oldDataHome_;
  px::Module module_;
  KorvelApi api_;
};

int g_paperCalls = 0;
int CountPaper() { return ++g_paperCalls; }
int Zero() { return 0; }
int ZeroMode(int) { return 0; }
int ZeroPrescan(unsigned, unsigned*, unsigned char*) { return 0; }

TEST_F(KorvelExportsTest, AllEightNamesAndTheSameSettingForTheLibrarysLife) {
  ASSERT_TRUE(Load());
  ScanSetting* setting = api_.UI_GetSetting();
  ASSERT_NE(setting, nullptr);
  EXPECT_EQ(setting->Resolution, 300);
  EXPECT_EQ(setting->Corners[2].x, 413);
  setting->Resolution = 600;
  EXPECT_EQ(api_.UI_GetSetting(), setting);
  EXPECT_EQ(api_.UI_GetSetting()->Resolution, 600);
  EXPECT_TRUE(fs::is_directory(root_ + "/data/Zelm"));  // user folder made at load
}

// Only the eight names are visible: template code pulled in from the
// standard headers must not leak out either.
TEST_F(KorvelExportsTest, NothingButTheEightNamesIsExported) {
  ASSERT_TRUE(Load());
  for (const char* hidden : {"_ZNSt8__detail18__to_chars_10_implIjEEvPcjT_",
                             "_ZZNSt8__detail18__to_chars_10_implIjEEvPcjT_E8__digits",
                             "_ZZNSt8__detail18__to_chars_10_implImEEvPcjT_E8__digits",
                             "_ZN6korvel9KorvelApp8InstanceEv"})
    EXPECT_EQ(module_.Symbol(hidden), nullptr) << hidden;
}

TEST_F(KorvelExportsTest, WithoutAnApplicationErrorsGoToStandardError) {
  WriteFile("lib/Quorra.ini", "[Default Setting]\nUITitle=Orlin Scan\n");
  ASSERT_TRUE(Load());
  std::string out = CaptureStderr([&] { EXPECT_EQ(api_.UI_ErrMsg(1), 0); });
  EXPECT_EQ(out, "Orlin Scan: The Scanner is not connected.\n");
  out = CaptureStderr([&] { EXPECT_EQ(api_.UI_ErrMsg(4), 0); });
  EXPECT_EQ(out, "Orlin Scan: Fail to read image data .\n");
  out = CaptureStderr([&] {
    EXPECT_EQ(api_.UI_ErrMsg(5), 0);
    EXPECT_EQ(api_.UI_ErrMsg(0), 0);
  });
  EXPECT_EQ(out, "");
}

TEST_F(KorvelExportsTest, MessagesFollowTheStoredLanguage) {
  WriteFile("lib/Language/LangSetting.ini",
            "[0]\nName=English\nLangFile=Lang_en.ini\n[1]\nName=Deutsch\nLangFile=Lang_de.ini\n");
  WriteFile("lib/Language/Lang_de.ini", "[String Table]\n2093=Zu wenig Speicher.\n");
  fs::create_directories(root_ + "/data/Zelm");
  WriteFile("data/Zelm/Kestra.ini", "[Last Setting]\nLanguage=1\n");
  ASSERT_TRUE(Load());
  EXPECT_EQ(CaptureStderr([&] { api_.UI_ErrMsg(3); }), "Zu wenig Speicher.\n");
  EXPECT_EQ(CaptureStderr([&] { api_.UI_ErrMsg(2); }), "Initlize the scanner is failed.\n");
}

TEST_F(KorvelExportsTest, ProgressAnswersGoOnWithoutAWindow) {
  ASSERT_TRUE(Load());
  EXPECT_EQ(api_.UI_SetProgress(0, 0), 1);
  EXPECT_EQ(api_.UI_SetProgress(50, 2), 1);
  std::vector<unsigned char> line(300 * 3, 200);
  api_.UI_SetScanImg(0, 300, 10, 128, line.data(), 1);
  api_.UI_ScanComplete();
  api_.UI_ScanComplete();  // nothing open: nothing happens
  api_.UI_SetScanImg(0, 300, 10, 128, line.data(), 1);  // no progress window: ignored
  EXPECT_EQ(api_.UI_SetProgress(10, 6), 1);
  api_.UI_ScanComplete();
}

TEST_F(KorvelExportsTest, CreateCopiesTheTableAndNullKeepsIt) {
  ASSERT_TRUE(Load());
  UiCallbacks table{CountPaper, ZeroMode, Zero, Zero, ZeroPrescan, Zero, Zero, Zero};
  api_.UI_Create(&table);
  table.PaperOn = nullptr;  // Korvel holds its own copy
  api_.UI_Create(nullptr);
  void* panel = reinterpret_cast<void*>(1);
  api_.UI_Show(nullptr, &panel, "Caller");
  EXPECT_EQ(panel, nullptr);  // no display: no panel
  api_.UI_Close();
}

TEST_F(KorvelExportsTest, SurvivesUnloadAndReload) {
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(Load()) << "round " << round;
    ASSERT_EQ(api_.UI_SetProgress(round, 2), 1);
    EXPECT_EQ(api_.UI_GetSetting()->Resolution, 300);  // fresh record each load
    api_.UI_GetSetting()->Resolution = 75;
    module_.Unload();
    // The library really went away, so nothing of it can outlive the unload.
    EXPECT_EQ(dlopen((root_ + "/lib/Korvel.so").c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
  }
}

}  // namespace
