// Helpers shared by the image tests: a scratch folder, deterministic test
// pictures and whole-file reads.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "pellix/image_container.h"

namespace pellix_test {

class ScratchFolder {
 public:
  ScratchFolder() {
    const char* base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/pellix_images_XXXXXX";
    if (mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  /// The folder with a trailing "/".
  std::string Folder() const { return path_ + "/"; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), std::streamsize(data.size()));
}

/// A picture with structure on both axes and all three channels, so a
/// mirrored, shifted or channel-swapped copy never compares equal.
inline ImageContainer MakePattern(int width, int height, int bits) {
  ImageContainer image;
  EXPECT_TRUE(image.Create(width, height, bits));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.Row(y);
    for (int x = 0; x < width; ++x) {
      if (bits == 8) {
        row[x] = uint8_t((x * 37 + y * 11 + (x * y) % 7) & 0xFF);
      } else {
        row[3 * x] = uint8_t((x * 13 + y * 3) & 0xFF);
        row[3 * x + 1] = uint8_t((x * 5 + y * 17 + 40) & 0xFF);
        row[3 * x + 2] = uint8_t((255 - x * 7 + y * 29) & 0xFF);
      }
    }
  }
  return image;
}

/// A smooth picture that JPEG keeps close to the original.
inline ImageContainer MakeSmooth(int width, int height, int bits) {
  ImageContainer image;
  EXPECT_TRUE(image.Create(width, height, bits));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = image.Row(y);
    for (int x = 0; x < width; ++x) {
      // Gentle slopes even on narrow pictures, as chroma is subsampled.
      const int a = 40 + 150 * x / std::max(64, width - 1);
      const int b = 30 + 180 * y / std::max(64, height - 1);
      if (bits == 8) {
        row[x] = uint8_t((a + b) / 2);
      } else {
        row[3 * x] = uint8_t(a);
        row[3 * x + 1] = uint8_t(b);
        row[3 * x + 2] = uint8_t(220 - a / 2);
      }
    }
  }
  return image;
}

/// Number of pixel bytes that differ (padding ignored); -1 when the sizes differ.
inline long CountDifferences(const ImageContainer& a, const ImageContainer& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitsPerPixel() != b.BitsPerPixel())
    return -1;
  long diff = 0;
  const size_t bytes = size_t(a.Width()) * size_t(a.BitsPerPixel() / 8);
  for (int y = 0; y < a.Height(); ++y)
    for (size_t i = 0; i < bytes; ++i) diff += a.Row(y)[i] != b.Row(y)[i];
  return diff;
}

inline int MaxAbsDifference(const ImageContainer& a, const ImageContainer& b) {
  int worst = 0;
  const size_t bytes = size_t(a.Width()) * size_t(a.BitsPerPixel() / 8);
  for (int y = 0; y < a.Height(); ++y)
    for (size_t i = 0; i < bytes; ++i)
      worst = std::max(worst, std::abs(int(a.Row(y)[i]) - int(b.Row(y)[i])));
  return worst;
}

inline double MeanAbsDifference(const ImageContainer& a, const ImageContainer& b) {
  double total = 0;
  const size_t bytes = size_t(a.Width()) * size_t(a.BitsPerPixel() / 8);
  for (int y = 0; y < a.Height(); ++y)
    for (size_t i = 0; i < bytes; ++i) total += std::abs(int(a.Row(y)[i]) - int(b.Row(y)[i]));
  return total / double(bytes * size_t(a.Height()));
}

/// Standard output of a shell command; `ok` false when it could not run or
/// exited non-zero.
inline std::string RunCommand(const std::string& command, bool& ok) {
  std::string out;
  ok = false;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  ok = pclose(pipe) == 0;
  return out;
}

inline bool HaveTool(const std::string& name) {
  bool ok = false;
  RunCommand("command -v " + name, ok);
  return ok;
}

// Runs `body` with the file size limited to `bytes`, so writes beyond it fail
// the way a full disk does.
template <typename F>
void WithFileSizeLimit(rlim_t bytes, F body) {
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = old;
  limited.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &limited);
  body();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
}

}  // namespace pellix_test
