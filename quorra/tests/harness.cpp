#include "quorra/tests/harness.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace quorra_test {

int g_imageReadyCalls = 0;
int g_hostEventCalls = 0;
int g_imageReadyResult = 5;

std::map<std::string, std::string> StandardLibraries() {
  return {{"Korvel.so", "Korvel.so"},     {"Vantor.so", "Vantor.so"},
          {"Tembra.so", "Tembra.so"},     {"Filter.so", "Filter.so"},
          {"GeometryTrans.so", "GeometryTrans.so"}, {"ColorMatch.so", "ColorMatch.so"}};
}

Harness::Harness(const std::map<std::string, std::string>& libraries) {
  std::string pattern = (fs::temp_directory_path() / "quorra-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  folder_ = pattern;
  fs::copy_file(QUORRA_MODULE, folder_ + "/Quorra.so");
  for (const auto& [from, to] : libraries) {
    // Absolute names are real libraries; the others come from the stand-ins.
    const std::string source = from.front() == '/' ? from : std::string(QUORRA_STANDIN_DIR) + "/" + from;
    fs::copy_file(source, folder_ + "/" + to);
  }
  handle_ = dlopen((folder_ + "/Quorra.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) throw std::runtime_error(dlerror());
  api_.ForEach([&](const char* name, auto& slot) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handle_, name));
    if (!slot) throw std::runtime_error(std::string("missing export ") + name);
  });
}

Harness::~Harness() {
  if (handle_) dlclose(handle_);
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

void Harness::WriteIni(const std::string& text) const {
  std::ofstream(folder_ + "/Quorra.ini") << text;
}

std::vector<std::string> Calls(const std::vector<std::string>& prefixes) {
  std::vector<std::string> out;
  for (const std::string& line : standin::Log()) {
    bool keep = prefixes.empty();
    for (const std::string& p : prefixes) keep = keep || line.rfind(p, 0) == 0;
    if (keep) out.push_back(line);
  }
  return out;
}

void ClearLog() { standin::Log().clear(); }

int HostImageReady() {
  ++g_imageReadyCalls;
  standin::Record("Host.ImageReady");
  return g_imageReadyResult;
}

int HostEvent() {
  ++g_hostEventCalls;
  standin::Record("Host.Event");
  return 11;
}

HostSetting MakeHostSetting(int pixelType, int left, int top, int width, int height, int dpi) {
  HostSetting h{};
  h.PixelType = pixelType;
  h.Corners[0] = {left, top};
  h.Corners[1] = {left + width, top};
  h.Corners[2] = {width, height};
  h.Corners[3] = {left, top + height};
  h.Resolution = dpi;
  return h;
}

ScanSetting MakeScanSetting(int pixelType, int width, int height, int dpi) {
  ScanSetting s{};
  s.PixelType = pixelType;
  s.Corners[2] = {width, height};
  s.Resolution = dpi;
  s.Red = s.Green = s.Blue = s.Gray = NeutralEnhanceParam();
  return s;
}

void QuorraTest::SetUp() {
  standin::Reset();
  g_imageReadyCalls = 0;
  g_hostEventCalls = 0;
  g_imageReadyResult = 5;
  harness_ = std::make_unique<Harness>();
}

void QuorraTest::TearDown() {
  harness_.reset();
  standin::Reset();
}

void QuorraTest::Open(int reportErrors) {
  ASSERT_EQ(Q().OpenDS(HostImageReady, HostEvent, reportErrors), 0);
  ClearLog();
}

}  // namespace quorra_test
