#include "vantor/sim/image_sheet.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "vantor/sim/sensor_response.h"

namespace vantor_sim {
namespace {

// Larger files than this are refused rather than decoded (about 2 GB as
// 16-bit colour).
constexpr int64_t kMaxPixels = 200'000'000;
constexpr int kMaxSide = 60'000;

uint32_t Be32(const unsigned char* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint32_t Le32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Files store dots per metre; the resolution meant was a whole number of dpi.
std::pair<double, double> Plausible(double x, double y) {
  x = std::round(x), y = std::round(y);
  if (x >= 30 && x <= 4800 && y >= 30 && y <= 4800) return {x, y};
  return {0, 0};
}

const std::array<float, 256>& Linear8() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i) t[static_cast<size_t>(i)] = static_cast<float>(SrgbToLinear(i / 255.0));
    return t;
  }();
  return table;
}

const std::vector<float>& Linear16() {
  static const std::vector<float> table = [] {
    std::vector<float> t(65536);
    for (int i = 0; i < 65536; ++i) t[static_cast<size_t>(i)] = static_cast<float>(SrgbToLinear(i / 65535.0));
    return t;
  }();
  return table;
}

class ImageSheet final : public Sheet {
 public:
  ImageSheet(cv::Mat image, double dpiX, double dpiY, double widthUnits, double heightUnits)
      : image_(std::move(image)) {
    widthUnits_ = widthUnits;
    heightUnits_ = heightUnits;
    dpiX_ = dpiX;
    dpiY_ = dpiY;
    gridWidth_ = image_.cols;
    gridHeight_ = image_.rows;
  }

  void RenderRows(int first, int count, float* out) const override {
    const bool deep = image_.depth() == CV_16U;
    const float* lut = deep ? Linear16().data() : Linear8().data();
    for (int r = first; r < first + count; ++r) {
      for (int c = 0; c < image_.cols; ++c, out += 3) {
        float lin[3];  // file is B, G, R
        if (deep) {
          const auto& p = image_.at<cv::Vec3w>(r, c);
          for (int ch = 0; ch < 3; ++ch) lin[ch] = lut[p[2 - ch]];
        } else {
          const auto& p = image_.at<cv::Vec3b>(r, c);
          for (int ch = 0; ch < 3; ++ch) lin[ch] = lut[p[2 - ch]];
        }
        for (int row = 0; row < 3; ++row) {
          out[row] = static_cast<float>(kSensorMatrix[row][0] * lin[0] + kSensorMatrix[row][1] * lin[1] +
                                        kSensorMatrix[row][2] * lin[2]);
        }
      }
    }
  }

 private:
  cv::Mat image_;
};

}  // namespace

std::pair<double, double> RecordedDpi(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> head(64 * 1024);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(std::max<std::streamsize>(0, in.gcount())));
  const size_t n = head.size();
  const unsigned char* p = head.data();
  if (n >= 54 && p[0] == 'B' && p[1] == 'M') {
    // BITMAPINFOHEADER pixels per metre.
    return Plausible(Le32(p + 38) * 0.0254, Le32(p + 42) * 0.0254);
  }
  if (n >= 8 && p[0] == 0x89 && p[1] == 'P' && p[2] == 'N' && p[3] == 'G') {
    for (size_t pos = 8; pos + 8 <= n;) {
      const uint32_t len = Be32(p + pos);
      if (std::equal(p + pos + 4, p + pos + 8, "pHYs") && pos + 17 <= n && len >= 9) {
        if (p[pos + 16] != 1) return {0, 0};  // aspect ratio only
        return Plausible(Be32(p + pos + 8) * 0.0254, Be32(p + pos + 12) * 0.0254);
      }
      if (std::equal(p + pos + 4, p + pos + 8, "IDAT") || len > n) break;
      pos += 12 + static_cast<size_t>(len);
    }
    return {0, 0};
  }
  if (n >= 18 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF && p[3] == 0xE0 &&
      std::equal(p + 6, p + 11, "JFIF")) {
    const double x = (p[14] << 8) | p[15], y = (p[16] << 8) | p[17];
    if (p[13] == 1) return Plausible(x, y);
    if (p[13] == 2) return Plausible(x * 2.54, y * 2.54);
  }
  return {0, 0};
}

std::unique_ptr<Sheet> LoadImageSheet(const std::string& path, double outDpiX, double outDpiY) {
  if (outDpiX <= 0 || outDpiY <= 0) return nullptr;
  // OpenCV complains on standard error about files it cannot open.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return nullptr;
  cv::Mat image;
  try {
    image = cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_COLOR);
  } catch (const cv::Exception&) {
    return nullptr;
  }
  if (image.empty() || image.channels() != 3) return nullptr;
  if (image.cols > kMaxSide || image.rows > kMaxSide ||
      int64_t(image.cols) * image.rows > kMaxPixels)
    return nullptr;
  if (image.depth() != CV_8U && image.depth() != CV_16U) {
    cv::Mat converted;
    image.convertTo(converted, CV_16U, image.depth() == CV_32F || image.depth() == CV_64F ? 65535.0 : 1.0);
    image = converted;
  }
  auto [dpiX, dpiY] = RecordedDpi(path);
  if (dpiX <= 0) dpiX = dpiY = 300;
  const double widthUnits = image.cols * 300.0 / dpiX;
  const double heightUnits = image.rows * 300.0 / dpiY;
  // Shrink by area averaging so that the later resampling never skips pixels.
  if (dpiX > outDpiX * 1.01 || dpiY > outDpiY * 1.01) {
    const int cols = std::max(1, static_cast<int>(std::lround(image.cols * std::min(1.0, outDpiX / dpiX))));
    const int rows = std::max(1, static_cast<int>(std::lround(image.rows * std::min(1.0, outDpiY / dpiY))));
    cv::Mat small;
    cv::resize(image, small, cv::Size(cols, rows), 0, 0, cv::INTER_AREA);
    dpiX = dpiX * cols / image.cols;
    dpiY = dpiY * rows / image.rows;
    image = small;
  }
  return std::make_unique<ImageSheet>(std::move(image), dpiX, dpiY, widthUnits, heightUnits);
}

}  // namespace vantor_sim
