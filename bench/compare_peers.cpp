// Times our enhancement and filter exports against the nearest operations of
// OpenCV, libvips and ImageMagick on the same A4 300 dpi colour page, all on
// one thread, compute only (copies of the input are made outside the timed
// part). Prints our median time, the peer's, and the ratio ours / theirs.
// Times are process CPU time, so that other work on a shared machine counts
// as little as possible (every operation here runs on one thread).
//
//   filter_peers --bin <folder with Tembra.so and Filter.so> [--quick]
#include <wand/MagickWand.h>
#include <vips/vips8>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "bench/a4_page.h"
#include "bench/peers_ours.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

double CpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}
constexpr double kNotAvailable = std::numeric_limits<double>::quiet_NaN();
const int W = px::bench::kPageWidth;
const int H = px::bench::kPageHeight;

int g_maxRepetitions = 5;

// Median of up to g_maxRepetitions runs (fewer when one run takes seconds).
double MedianMs(const std::function<void()>& setup, const std::function<void()>& run) {
  std::vector<double> times;
  double total = 0.0;
  while (static_cast<int>(times.size()) < g_maxRepetitions && (times.empty() || total < 4000.0)) {
    setup();
    const double start = CpuMs();
    run();
    const double ms = CpuMs() - start;
    times.push_back(ms);
    total += ms;
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

struct Row {
  std::string operation;
  double ours;
  std::string peer;
  double theirs;
};

void Print(const std::vector<Row>& rows) {
  std::printf("%-46s %9s   %-34s %9s %10s\n", "operation (ours)", "ours ms", "peer", "peer ms",
              "ours/peer");
  std::string last;
  for (const Row& r : rows) {
    const std::string op = r.operation == last ? "" : r.operation;
    last = r.operation;
    char ours[32] = "n/a", theirs[32] = "n/a", ratio[32] = "n/a";
    if (!std::isnan(r.ours)) std::snprintf(ours, sizeof ours, "%.1f", r.ours);
    if (!std::isnan(r.theirs)) std::snprintf(theirs, sizeof theirs, "%.1f", r.theirs);
    if (!std::isnan(r.ours) && !std::isnan(r.theirs)) std::snprintf(ratio, sizeof ratio, "%.2f", r.ours / r.theirs);
    std::printf("%-46s %9s   %-34s %9s %10s\n", op.c_str(), op.empty() ? "" : ours,
                r.peer.c_str(), theirs, ratio);
  }
}

// ---- peers -----------------------------------------------------------------

double VipsMs(const Bytes& page, int bands, VipsBandFormat format,
              const std::function<vips::VImage(vips::VImage)>& op) {
  return MedianMs([] {}, [&] {
    vips::VImage in = vips::VImage::new_from_memory(const_cast<std::uint8_t*>(page.data()),
                                                    page.size(), W, H, bands, format);
    size_t size = 0;
    void* out = op(in).write_to_memory(&size);
    g_free(out);
  });
}

struct Magick {
  MagickWand* base = nullptr;
  Magick(const Bytes& page) {
    base = NewMagickWand();
    MagickConstituteImage(base, W, H, "RGB", CharPixel, page.data());
  }
  ~Magick() { DestroyMagickWand(base); }
  double Ms(const std::function<void(MagickWand*)>& op) const {
    MagickWand* work = nullptr;
    const double ms = MedianMs(
        [&] {
          if (work) DestroyMagickWand(work);
          work = CloneMagickWand(base);
        },
        [&] { op(work); });
    if (work) DestroyMagickWand(work);
    return ms;
  }
};

double OpenCvMs(const Bytes& page, int type, const std::function<void(cv::Mat&, cv::Mat&)>& op) {
  cv::Mat in, out;
  return MedianMs([&] { in = cv::Mat(H, W, type, const_cast<std::uint8_t*>(page.data())).clone(); },
                  [&] { op(in, out); });
}

// ---- ours ------------------------------------------------------------------

double OursMs(const Bytes& page, const std::function<void(std::uint8_t*)>& op) {
  Bytes work(page.size());
  return MedianMs([&] { std::memcpy(work.data(), page.data(), page.size()); },
                  [&] { op(work.data()); });
}

// A plain RGB -> HSL -> RGB float loop, the textbook way.
float HueToRgb(float p, float q, float t) {
  if (t < 0.0f) t += 1.0f;
  if (t > 1.0f) t -= 1.0f;
  if (t < 1.0f / 6.0f) return p + (q - p) * 6.0f * t;
  if (t < 0.5f) return q;
  if (t < 2.0f / 3.0f) return p + (q - p) * (2.0f / 3.0f - t) * 6.0f;
  return p;
}

void PlainHsl(std::uint8_t* d, std::size_t pixels, float hueShift, float satScale) {
  for (std::size_t i = 0; i < pixels; ++i, d += 3) {
    const float r = d[0] / 255.0f, g = d[1] / 255.0f, b = d[2] / 255.0f;
    const float mx = std::max({r, g, b}), mn = std::min({r, g, b});
    float h = 0.0f, s = 0.0f;
    const float l = (mx + mn) / 2.0f;
    if (mx != mn) {
      const float dd = mx - mn;
      s = l > 0.5f ? dd / (2.0f - mx - mn) : dd / (mx + mn);
      if (mx == r) h = (g - b) / dd + (g < b ? 6.0f : 0.0f);
      else if (mx == g) h = (b - r) / dd + 2.0f;
      else h = (r - g) / dd + 4.0f;
      h /= 6.0f;
    }
    h = std::fmod(h + hueShift, 1.0f);
    s = std::min(1.0f, s * satScale);
    float rr = l, gg = l, bb = l;
    if (s > 0.0f) {
      const float q = l < 0.5f ? l * (1.0f + s) : l + s - l * s;
      const float p = 2.0f * l - q;
      rr = HueToRgb(p, q, h + 1.0f / 3.0f);
      gg = HueToRgb(p, q, h);
      bb = HueToRgb(p, q, h - 1.0f / 3.0f);
    }
    d[0] = static_cast<std::uint8_t>(rr * 255.0f + 0.5f);
    d[1] = static_cast<std::uint8_t>(gg * 255.0f + 0.5f);
    d[2] = static_cast<std::uint8_t>(bb * 255.0f + 0.5f);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string bin = "build/bin";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--bin") == 0 && i + 1 < argc) bin = argv[++i];
    if (std::strcmp(argv[i], "--quick") == 0) g_maxRepetitions = 1;
  }
  // One thread everywhere.
  setenv("VIPS_CONCURRENCY", "1", 1);
  setenv("MAGICK_THREAD_LIMIT", "1", 1);
  cv::setNumThreads(1);
  if (VIPS_INIT(argv[0])) {
    std::fprintf(stderr, "libvips failed to start\n");
    return 1;
  }
  vips_concurrency_set(1);
  vips_cache_set_max(0);  // no cached results between repetitions
  MagickWandGenesis();
  SetMagickResourceLimit(ThreadResource, 1);

  px::bench::OurLibraries ours;
  ours.Load(bin);
  const bool haveTembra = ours.HaveTembra();
  const bool haveFilter = ours.HaveFilter();
  std::printf("A4 300 dpi colour page %d x %d, one thread, CPU ms (median of up to %d runs); Tembra %s, Filter %s (from %s)\n\n", W, H, g_maxRepetitions,
              haveTembra ? "loaded" : "n/a", haveFilter ? "loaded" : "n/a", bin.c_str());

  const Bytes page = px::bench::MakeA4ColourPage();
  const std::size_t pixels = static_cast<std::size_t>(W) * H;
  Bytes page16(page.size() * 2);
  for (std::size_t i = 0; i < page.size(); ++i) {
    const std::uint16_t v = static_cast<std::uint16_t>(page[i] * 257);
    std::memcpy(&page16[2 * i], &v, 2);
  }
  auto magickOwner = std::make_unique<Magick>(page);
  const Magick& magick = *magickOwner;
  std::vector<Row> rows;

  // ---- tone tables --------------------------------------------------------
  void* table8 = ours.CreateColourTable(8, 10, 15, 12);
  void* table16 = ours.CreateColourTable(16, 10, 15, 12);
  const std::uint16_t* entries8 = ours.Entries(table8);
  const std::uint16_t* entries16 = ours.Entries(table16);
  // The peers get the same curve (or a plain gamma curve when Tembra is missing).
  Bytes lut8(256 * 3);
  std::vector<std::uint16_t> lut16(65536 * 3);
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 256; ++i)
      lut8[i * 3 + c] = entries8 ? static_cast<std::uint8_t>(entries8[c * 256 + i])
                               : static_cast<std::uint8_t>(255.0 * std::pow(i / 255.0, 1 / 1.2));
    for (int i = 0; i < 65536; ++i)
      lut16[c * 65536 + i] = entries16 ? entries16[c * 65536 + i]
                                     : static_cast<std::uint16_t>(65535.0 * std::pow(i / 65535.0, 1 / 1.2));
  }
  const double ours8 = table8 ? OursMs(page, [&](std::uint8_t* d) { ours.MapColour(d, 8, W, H, table8); })
                              : kNotAvailable;
  rows.push_back({"3-channel LUT (MapColorEnhanceTable 8)", ours8, "OpenCV plain loop",
                  OpenCvMs(page, CV_8UC3, [&](cv::Mat& in, cv::Mat&) {
                    std::uint8_t* d = in.data;
                    for (std::size_t i = 0; i < pixels; ++i, d += 3) {
                      d[0] = lut8[d[0] * 3];
                      d[1] = lut8[d[1] * 3 + 1];
                      d[2] = lut8[d[2] * 3 + 2];
                    }
                  })});
  const cv::Mat cvLut(1, 256, CV_8UC3, lut8.data());
  rows.push_back({rows.back().operation, ours8, "OpenCV cv::LUT",
                  OpenCvMs(page, CV_8UC3, [&](cv::Mat& in, cv::Mat& out) { cv::LUT(in, cvLut, out); })});
  const vips::VImage vipsLut = vips::VImage::new_from_memory(lut8.data(), lut8.size(), 256, 1, 3, VIPS_FORMAT_UCHAR);
  rows.push_back({rows.back().operation, ours8, "libvips maplut",
                  VipsMs(page, 3, VIPS_FORMAT_UCHAR, [&](vips::VImage in) { return in.maplut(vipsLut); })});
  MagickWand* clut = NewMagickWand();
  MagickConstituteImage(clut, 256, 1, "RGB", CharPixel, lut8.data());
  rows.push_back({rows.back().operation, ours8, "ImageMagick -clut",
                  magick.Ms([&](MagickWand* w) { MagickClutImage(w, clut); })});
  DestroyMagickWand(clut);

  const double ours16 = table16 ? OursMs(page16, [&](std::uint8_t* d) { ours.MapColour(d, 16, W, H, table16); })
                                : kNotAvailable;
  rows.push_back({"48-bit LUT (MapColorEnhanceTable 16)", ours16, "plain loop",
                  OpenCvMs(page16, CV_16UC3, [&](cv::Mat& in, cv::Mat&) {
                    std::uint16_t* d = reinterpret_cast<std::uint16_t*>(in.data);
                    for (std::size_t i = 0; i < pixels; ++i, d += 3) {
                      d[0] = lut16[d[0]];
                      d[1] = lut16[65536 + d[1]];
                      d[2] = lut16[131072 + d[2]];
                    }
                  })});
  ours.FreeTable(table8);
  ours.FreeTable(table16);

  // ---- hue and saturation -------------------------------------------------
  const double oursHs = haveTembra ? OursMs(page, [&](std::uint8_t* d) { ours.HueSaturation(d, W, H, 30, 20); })
                                   : kNotAvailable;
  const char* hs = "hue 30, saturation 20 (HueSat...)";
  rows.push_back({hs, oursHs, "OpenCV float HLS round trip",
                  OpenCvMs(page, CV_8UC3, [&](cv::Mat& in, cv::Mat& out) {
                    cv::Mat f, hls;
                    in.convertTo(f, CV_32F, 1.0 / 255.0);
                    cv::cvtColor(f, hls, cv::COLOR_RGB2HLS);
                    hls.forEach<cv::Vec3f>([](cv::Vec3f& p, const int*) {
                      p[0] = std::fmod(p[0] + 30.0f, 360.0f);
                      p[2] = std::min(1.0f, p[2] * 1.2f);
                    });
                    cv::cvtColor(hls, f, cv::COLOR_HLS2RGB);
                    f.convertTo(out, CV_8U, 255.0);
                  })});
  rows.push_back({hs, oursHs, "plain scalar float HSL loop",
                  OursMs(page, [&](std::uint8_t* d) { PlainHsl(d, pixels, 30.0f / 360.0f, 1.2f); })});
  rows.push_back({hs, oursHs, "libvips HSV",
                  VipsMs(page, 3, VIPS_FORMAT_UCHAR, [](vips::VImage in) {
                    vips::VImage hsv = in.colourspace(VIPS_INTERPRETATION_HSV,
                                                      vips::VImage::option()->set("source_space", VIPS_INTERPRETATION_sRGB));
                    hsv = hsv.linear({1.0, 1.2, 1.0}, {30.0 * 256.0 / 360.0, 0.0, 0.0})
                              .cast(VIPS_FORMAT_UCHAR)
                              .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_HSV));
                    return hsv.colourspace(VIPS_INTERPRETATION_sRGB);
                  })});
  rows.push_back({hs, oursHs, "ImageMagick -modulate",
                  magick.Ms([](MagickWand* w) { MagickModulateImage(w, 100.0, 120.0, 100.0 + 30.0 / 1.8); })});

  // ---- automatic levels ---------------------------------------------------
  const double oursAl = haveTembra ? OursMs(page, [&](std::uint8_t* d) { ours.AutoLevel(d, W, H); })
                                   : kNotAvailable;
  const char* al = "auto levels (AutoLevelColor)";
  rows.push_back({al, oursAl, "OpenCV per-channel normalize",
                  OpenCvMs(page, CV_8UC3, [](cv::Mat& in, cv::Mat& out) {
                    std::vector<cv::Mat> ch;
                    cv::split(in, ch);
                    for (cv::Mat& c : ch) cv::normalize(c, c, 0, 255, cv::NORM_MINMAX);
                    cv::merge(ch, out);
                  })});
  rows.push_back({al, oursAl, "libvips stats + linear",
                  VipsMs(page, 3, VIPS_FORMAT_UCHAR, [](vips::VImage in) {
                    const vips::VImage s = in.stats();
                    std::vector<double> a, b;
                    for (int band = 0; band < 3; ++band) {
                      const double lo = s(0, band + 1)[0], hi = s(1, band + 1)[0];
                      const double scale = hi > lo ? 255.0 / (hi - lo) : 1.0;
                      a.push_back(scale);
                      b.push_back(-lo * scale);
                    }
                    return in.linear(a, b).cast(VIPS_FORMAT_UCHAR);
                  })});
  rows.push_back({al, oursAl, "ImageMagick -auto-level",
                  magick.Ms([](MagickWand* w) { MagickAutoLevelImage(w); })});

  // ---- filters ------------------------------------------------------------
  auto filterMs = [&](int number) {
    return haveFilter ? OursMs(page, [&, number](std::uint8_t* d) { ours.Filter(number, d, 2, H, W * 3); })
                      : kNotAvailable;
  };
  const double blur = filterMs(3);
  const char* cv3 = "3x3 convolution (filter 3, blur)";
  const float k[9] = {5, 3, 5, 3, 1, 3, 5, 3, 5};
  cv::Mat cvKernel(3, 3, CV_32F, const_cast<float*>(k));
  cvKernel = cvKernel / 33.0f;
  rows.push_back({cv3, blur, "OpenCV filter2D",
                  OpenCvMs(page, CV_8UC3, [&](cv::Mat& in, cv::Mat& out) {
                    cv::filter2D(in, out, -1, cvKernel, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
                  })});
  const std::vector<double> maskValues = {5, 3, 5, 3, 1, 3, 5, 3, 5};
  std::vector<double> maskCopy = maskValues;
  vips::VImage mask = vips::VImage::new_matrix(3, 3, maskCopy.data(), 9);
  mask.set("scale", 33.0);
  rows.push_back({cv3, blur, "libvips conv (float)",
                  VipsMs(page, 3, VIPS_FORMAT_UCHAR, [&](vips::VImage in) {
                    return in.conv(mask, vips::VImage::option()->set("precision", VIPS_PRECISION_FLOAT));
                  })});
  rows.push_back({cv3, blur, "libvips conv (integer)",
                  VipsMs(page, 3, VIPS_FORMAT_UCHAR, [&](vips::VImage in) {
                    return in.conv(mask, vips::VImage::option()->set("precision", VIPS_PRECISION_INTEGER));
                  })});
  double imKernel[9];
  for (int i = 0; i < 9; ++i) imKernel[i] = k[i] / 33.0;
  rows.push_back({cv3, blur, "ImageMagick -convolve",
                  magick.Ms([&](MagickWand* w) { MagickConvolveImage(w, 3, imKernel); })});
  rows.push_back({"3x3 kernel (filter 17, smooth)", filterMs(17), "OpenCV blur 3x3",
                  OpenCvMs(page, CV_8UC3, [](cv::Mat& in, cv::Mat& out) {
                    cv::blur(in, out, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_REPLICATE);
                  })});

  const char* med = "descreen (filter 19: 2 kernels + 3x3 median)";
  const double descreen = filterMs(19);
  rows.push_back({med, descreen, "OpenCV medianBlur 3",
                  OpenCvMs(page, CV_8UC3, [](cv::Mat& in, cv::Mat& out) { cv::medianBlur(in, out, 3); })});
  rows.push_back({med, descreen, "libvips median 3",
                  VipsMs(page, 3, VIPS_FORMAT_UCHAR, [](vips::VImage in) { return in.median(3); })});
  rows.push_back({med, descreen, "ImageMagick -statistic median 3x3",
                  magick.Ms([](MagickWand* w) { MagickStatisticImage(w, MedianStatistic, 3, 3); })});

  rows.push_back({"3x3 median (median pass alone, linked)",
                  OursMs(page, [&](std::uint8_t* d) { px::bench::OurMedianPass(d, H, W * 3); }),
                  "OpenCV medianBlur 3",
                  OpenCvMs(page, CV_8UC3, [](cv::Mat& in, cv::Mat& out) { cv::medianBlur(in, out, 3); })});
  const double invert = filterMs(1);
  rows.push_back({"invert (filter 1)", invert, "OpenCV bitwise_not",
                  OpenCvMs(page, CV_8UC3, [](cv::Mat& in, cv::Mat& out) { cv::bitwise_not(in, out); })});
  rows.push_back({"invert (filter 1)", invert, "libvips invert",
                  VipsMs(page, 3, VIPS_FORMAT_UCHAR, [](vips::VImage in) { return in.invert(); })});
  rows.push_back({"invert (filter 1)", invert, "ImageMagick -negate",
                  magick.Ms([](MagickWand* w) { MagickNegateImage(w, MagickFalse); })});
  const double flip = filterMs(2);
  rows.push_back({"flip (filter 2)", flip, "OpenCV flip",
                  OpenCvMs(page, CV_8UC3, [](cv::Mat& in, cv::Mat& out) { cv::flip(in, out, 1); })});
  rows.push_back({"flip (filter 2)", flip, "libvips flip",
                  VipsMs(page, 3, VIPS_FORMAT_UCHAR, [](vips::VImage in) { return in.flip(VIPS_DIRECTION_HORIZONTAL); })});
  rows.push_back({"flip (filter 2)", flip, "ImageMagick -flop",
                  magick.Ms([](MagickWand* w) { MagickFlopImage(w); })});

  Print(rows);
  magickOwner.reset();
  MagickWandTerminus();
  vips_shutdown();
  return 0;
}
