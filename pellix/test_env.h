// Test helper: a private home, config, documents, temporary and state folder
// for each test, so nothing touches the user's real settings.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace pellix::test {

class TempHome {
 public:
  TempHome() {
    char pattern[] = "/tmp/pellix-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    root_ = made ? made : "/tmp/pellix-test-fallback";
    for (const char* sub : {"home", "config", "docs", "tmp", "state", "run", "prog"})
      std::filesystem::create_directories(root_ + "/" + sub);
    setenv("HOME", (root_ + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (root_ + "/docs").c_str(), 1);
    setenv("TMPDIR", (root_ + "/tmp").c_str(), 1);
    setenv("XDG_STATE_HOME", (root_ + "/state").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root_ + "/run").c_str(), 1);
  }
  ~TempHome() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  const std::string& Root() const { return root_; }
  std::string Path(const std::string& sub) const { return root_ + "/" + sub; }

 private:
  std::string root_;
};

inline void WriteText(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace pellix::test
