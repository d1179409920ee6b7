#include <gtest/gtest.h>
#include <lcms2.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "interfaces/colormatch_api.h"
#include "platform/ini_file.h"
#include "platform/module.h"
#include "plugins/colormatch/color_transform.h"
#include "plugins/colormatch/colormatch_config.h"
#include "plugins/colormatch/colormatch_test_support.h"
#include "vantor/sim/sensor_response.h"

namespace {

namespace fs = std::filesystem;
using namespace colormatch::testing;
using vantor_sim::kChartPatches;

std::string BinDir() {
  const char* dir = std::getenv("PX_BIN_DIR");
  return dir ? dir : "";
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

// The scanner's primaries: columns of M_sRGB->XYZ * inverse(sensor matrix).
std::array<std::array<double, 2>, 3> DerivedPrimaries() {
  double s[3][3], mi[3][3], a[3][3] = {};
  SrgbToXyzMatrix(s);
  Invert3(vantor_sim::kSensorMatrix, mi);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      for (int k = 0; k < 3; ++k) a[r][c] += s[r][k] * mi[k][c];
  std::array<std::array<double, 2>, 3> xy{};
  for (int c = 0; c < 3; ++c) {
    const double sum = a[0][c] + a[1][c] + a[2][c];
    xy[c] = {a[0][c] / sum, a[1][c] / sum};
  }
  return xy;
}

// ---------------------------------------------------------------------------

class ColorMatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(module_.Load(px::LibraryPath(BinDir(), "ColorMatch"))) << px::Module::LastError();
    ASSERT_TRUE(module_.BindAll(api_));
    char pattern[] = "/tmp/colormatch_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    temp_ = pattern;
  }
  void TearDown() override {
    if (!temp_.empty()) fs::remove_all(temp_);
  }

  // The chart as the sensor sees it, one pixel per patch, 6 x 4.
  std::vector<uint8_t> SensorChart8(int order) const {
    std::vector<uint8_t> image;
    for (const auto& patch : kChartPatches) {
      const uint8_t in[3] = {patch.r, patch.g, patch.b};
      uint8_t out[3];
      vantor_sim::SensorResponse8(in, out);
      if (order == 1) std::swap(out[0], out[2]);
      image.insert(image.end(), out, out + 3);
    }
    return image;
  }
  // 16-bit samples written byte by byte, low byte first.
  std::vector<uint8_t> SensorChart16(int order) const {
    std::vector<uint8_t> image;
    for (const auto& patch : kChartPatches) {
      const double in[3] = {patch.r / 255.0, patch.g / 255.0, patch.b / 255.0};
      double out[3];
      vantor_sim::SensorResponse(in, out);
      if (order == 1) std::swap(out[0], out[2]);
      for (double v : out) {
        const auto s = static_cast<uint16_t>(std::lround(v * 65535.0));
        image.push_back(static_cast<uint8_t>(s & 0xFF));
        image.push_back(static_cast<uint8_t>(s >> 8));
      }
    }
    return image;
  }
  // Mean ΔE 2000 of an image of the chart against the true colours.
  static double MeanError(const std::vector<uint8_t>& image, int bytesPerSample, int order) {
    double total = 0.0;
    for (size_t i = 0; i < 24; ++i) {
      double got[3];
      for (int c = 0; c < 3; ++c) {
        const size_t at = (i * 3 + static_cast<size_t>(c)) * static_cast<size_t>(bytesPerSample);
        got[c] = bytesPerSample == 1 ? image[at] / 255.0 : (image[at] | (image[at + 1] << 8)) / 65535.0;
      }
      if (order == 1) std::swap(got[0], got[2]);
      const double truth[3] = {kChartPatches[i].r / 255.0, kChartPatches[i].g / 255.0, kChartPatches[i].b / 255.0};
      total += DeltaE(truth, got);
    }
    return total / 24.0;
  }

  // Loads `text` as a data file in the temporary folder.
  int LoadText(const std::string& text, const std::string& name = "cm.ini") {
    WriteFile(temp_ / name, text);
    return api_.SetColorMatchFileName((temp_ / name).c_str());
  }

  std::string ShippedFile(const char* name) const { return BinDir() + "/" + name; }

  px::Module module_;
  ColorMatchApi api_;
  fs::path temp_;
};

TEST_F(ColorMatchTest, ShippedDataCutsChartErrorToAThird) {
  for (const char* file : {"Sepcal.ini", "CM.ini"}) {
    ASSERT_EQ(api_.SetColorMatchFileName(ShippedFile(file).c_str()), 1) << file;
    for (int order : {0, 1}) {
      std::vector<uint8_t> image = SensorChart8(order);
      const double before = MeanError(image, 1, order);
      EXPECT_EQ(api_.ColorMatchFun(image.data(), 4, 6, order), 1);
      const double after = MeanError(image, 1, order);
      EXPECT_GT(before, 2.0) << "the sensor should visibly differ from the truth";
      EXPECT_LE(after, before / 3.0) << file << " 8-bit order " << order << ": " << before << " -> " << after;

      std::vector<uint8_t> deep = SensorChart16(order);
      const double before16 = MeanError(deep, 2, order);
      EXPECT_EQ(api_.ColorMatchFun30_36(deep.data(), 4, 6, order), 1);
      const double after16 = MeanError(deep, 2, order);
      EXPECT_LE(after16, before16 / 3.0) << file << " 16-bit order " << order << ": " << before16 << " -> "
                                         << after16;
      RecordProperty(std::string(file) + (order ? "_bgr" : "_rgb"),
                     std::to_string(before) + " -> " + std::to_string(after) + ", 16-bit " +
                         std::to_string(before16) + " -> " + std::to_string(after16));
    }
  }
}

TEST_F(ColorMatchTest, ShippedFilesDescribeTheSensorMatrix) {
  const auto derived = DerivedPrimaries();
  for (const char* file : {"Sepcal.ini", "CM.ini"}) {
    const auto config = colormatch::LoadColorMatchConfig(ShippedFile(file));
    ASSERT_TRUE(config) << file;
    EXPECT_TRUE(config->inputProfile.empty());
    const colormatch::Chromaticity got[3] = {config->red, config->green, config->blue};
    for (int c = 0; c < 3; ++c) {
      EXPECT_NEAR(got[c].x, derived[c][0], 1e-6) << file << " primary " << c;
      EXPECT_NEAR(got[c].y, derived[c][1], 1e-6) << file << " primary " << c;
      EXPECT_DOUBLE_EQ(config->gamma[c], vantor_sim::kSensorGamma);
    }
    // Rows of the matrix sum to 1: the scanner's white is D65.
    EXPECT_NEAR(config->white.x, 0.3127, 1e-9);
    EXPECT_NEAR(config->white.y, 0.3290, 1e-9);
    EXPECT_TRUE(config->outputProfile.empty());
  }
}

TEST_F(ColorMatchTest, ProfileInputMatchesDescribedScannerAndSrgbIsIdentity) {
  // A scanner profile with the same description, saved as an ICC file in a
  // subfolder whose name has a space, named relative to the data file.
  const auto xy = DerivedPrimaries();
  const cmsCIExyY white{0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries{{xy[0][0], xy[0][1], 1.0}, {xy[1][0], xy[1][1], 1.0}, {xy[2][0], xy[2][1], 1.0}};
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 1.8);
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  cmsHPROFILE scanner = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(gamma);
  fs::create_directories(temp_ / "my profiles");
  ASSERT_TRUE(cmsSaveProfileToFile(scanner, (temp_ / "my profiles" / "scanner.icc").c_str()));
  cmsCloseProfile(scanner);
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  ASSERT_TRUE(cmsSaveProfileToFile(srgb, (temp_ / "srgb.icc").c_str()));
  cmsCloseProfile(srgb);

  std::mt19937 random(7);
  std::vector<uint8_t> original(64 * 3 * 5);
  for (auto& v : original) v = static_cast<uint8_t>(random());

  std::vector<uint8_t> byDescription = original, byProfile = original;
  ASSERT_EQ(api_.SetColorMatchFileName(ShippedFile("Sepcal.ini").c_str()), 1);
  ASSERT_EQ(api_.ColorMatchFun(byDescription.data(), 5, 64, 0), 1);
  ASSERT_EQ(LoadText("[ColorMatch]\nInputProfile = my profiles/scanner.icc\n"), 1);
  ASSERT_EQ(api_.ColorMatchFun(byProfile.data(), 5, 64, 0), 1);
  for (size_t i = 0; i < original.size(); ++i) EXPECT_NEAR(byProfile[i], byDescription[i], 1) << i;

  // sRGB in, sRGB out (an absolute path this time) leaves the page as it was.
  ASSERT_EQ(LoadText("[ColorMatch]\nInputProfile = " + (temp_ / "srgb.icc").string() +
                     "\nOutputSpace = srgb\nIntent = 1\n"),
            1);
  std::vector<uint8_t> same = original;
  ASSERT_EQ(api_.ColorMatchFun(same.data(), 5, 64, 1), 1);
  for (size_t i = 0; i < original.size(); ++i) EXPECT_NEAR(same[i], original[i], 1) << i;
  // And an ICC output profile named by a relative path is accepted.
  ASSERT_EQ(LoadText("[ColorMatch]\nInputProfile = srgb.icc\nOutputSpace = srgb.icc\n"), 1);
}

// What matching the simulator's scan should give: undo the power curve and
// the sensor's mixing, clip to the sRGB gamut, encode as sRGB.
void ExactCorrection(const double scanned[3], double out[3]) {
  double mi[3][3], linear[3];
  Invert3(vantor_sim::kSensorMatrix, mi);
  for (int c = 0; c < 3; ++c) linear[c] = std::pow(scanned[c], vantor_sim::kSensorGamma);
  for (int r = 0; r < 3; ++r) {
    const double v = mi[r][0] * linear[0] + mi[r][1] * linear[1] + mi[r][2] * linear[2];
    out[r] = vantor_sim::LinearToSrgb(std::clamp(v, 0.0, 1.0));
  }
}

TEST_F(ColorMatchTest, BothDepthsAndOrdersMatchTheExactCorrection) {
  ASSERT_EQ(api_.SetColorMatchFileName(ShippedFile("CM.ini").c_str()), 1);
  std::mt19937 random(11);
  const int width = 101, height = 40;
  const size_t samples = static_cast<size_t>(width) * height * 3;
  std::vector<uint16_t> scanned(samples);
  for (auto& v : scanned) v = static_cast<uint16_t>(random());
  // A dark corner: where the sRGB curve is steepest.
  for (size_t i = 0; i < 300; ++i) scanned[i] = static_cast<uint16_t>(random() % 4000);

  std::vector<uint8_t> rgb(samples), bgr(samples), deepRgb(samples * 2), deepBgr(samples * 2);
  for (size_t i = 0; i < samples; ++i) {
    const size_t swapped = i - i % 3 + (2 - i % 3);
    rgb[i] = static_cast<uint8_t>(scanned[i] >> 8);
    bgr[swapped] = rgb[i];
    deepRgb[2 * i] = static_cast<uint8_t>(scanned[i] & 0xFF);
    deepRgb[2 * i + 1] = static_cast<uint8_t>(scanned[i] >> 8);
    deepBgr[2 * swapped] = deepRgb[2 * i];
    deepBgr[2 * swapped + 1] = deepRgb[2 * i + 1];
  }
  ASSERT_EQ(api_.ColorMatchFun(rgb.data(), height, width, 0), 1);
  ASSERT_EQ(api_.ColorMatchFun(bgr.data(), height, width, 1), 1);
  ASSERT_EQ(api_.ColorMatchFun30_36(deepRgb.data(), height, width, 0), 1);
  ASSERT_EQ(api_.ColorMatchFun30_36(deepBgr.data(), height, width, 1), 1);

  int bad8 = 0, bad16 = 0;
  for (size_t p = 0; p < samples; p += 3) {
    double in8[3], in16[3], want8[3], want16[3];
    for (size_t c = 0; c < 3; ++c) {
      in8[c] = (scanned[p + c] >> 8) / 255.0;
      in16[c] = scanned[p + c] / 65535.0;
    }
    ExactCorrection(in8, want8);
    ExactCorrection(in16, want16);
    for (size_t c = 0; c < 3; ++c) {
      // Both orders give the same pixel.
      EXPECT_EQ(bgr[p + 2 - c], rgb[p + c]);
      EXPECT_EQ(deepBgr[2 * (p + 2 - c)], deepRgb[2 * (p + c)]);
      EXPECT_EQ(deepBgr[2 * (p + 2 - c) + 1], deepRgb[2 * (p + c) + 1]);
      if (std::fabs(rgb[p + c] - want8[c] * 255.0) > 1.0) ++bad8;
      const int sample = deepRgb[2 * (p + c)] | (deepRgb[2 * (p + c) + 1] << 8);
      // A quarter of an 8-bit level: the 16-bit path keeps its depth.
      if (std::fabs(sample - want16[c] * 65535.0) > 64.0) ++bad16;
    }
  }
  EXPECT_EQ(bad8, 0);
  EXPECT_EQ(bad16, 0);
}

// The 16-bit matrix-shaper path against Little CMS's own full evaluation,
// for curves and primaries unlike the shipped ones: gamma, sRGB, linear and
// tabulated curves, profiles read from files, both channel orders.
TEST_F(ColorMatchTest, MatrixShaperPathAgreesWithLittleCms) {
  auto save = [&](const char* name, const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curves[3]) {
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, curves);
    ASSERT_TRUE(profile);
    ASSERT_TRUE(cmsSaveProfileToFile(profile, (temp_ / name).c_str()));
    cmsCloseProfile(profile);
  };
  const cmsCIExyYTRIPLE wide{{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
  cmsToneCurve* g22 = cmsBuildGamma(nullptr, 2.2);
  cmsToneCurve* g10 = cmsBuildGamma(nullptr, 1.0);
  uint16_t table[256];
  for (int i = 0; i < 256; ++i) table[i] = static_cast<uint16_t>(std::lround(std::pow(i / 255.0, 1.6) * 65535.0));
  cmsToneCurve* tabulated = cmsBuildTabulatedToneCurve16(nullptr, 256, table);
  cmsToneCurve* wideCurves[3] = {g22, g22, g22};
  cmsToneCurve* linearCurves[3] = {g10, g10, g10};
  cmsToneCurve* tableCurves[3] = {tabulated, g22, tabulated};
  save("wide.icc", wide, wideCurves);
  save("linear.icc", wide, linearCurves);
  save("table.icc", wide, tableCurves);
  for (cmsToneCurve* curve : {g22, g10, tabulated}) cmsFreeToneCurve(curve);
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  ASSERT_TRUE(cmsSaveProfileToFile(srgb, (temp_ / "srgb.icc").c_str()));
  cmsCloseProfile(srgb);

  const std::string described = "[ColorMatch]\nRedPrimary = 0.68 0.31\nGreenPrimary = 0.27 0.69\n"
                                "BluePrimary = 0.14 0.05\nWhitePoint = 0.3127 0.329\nGamma = 2.2 1.8 1.0\n";
  const std::vector<std::string> files = {
      ReadFileText(ShippedFile("Sepcal.ini")),
      described + "OutputSpace = wide.icc\n",
      "[ColorMatch]\nInputProfile = srgb.icc\nOutputSpace = linear.icc\nIntent = Saturation\n",
      "[ColorMatch]\nInputProfile = table.icc\nOutputSpace = table.icc\n",
      "[ColorMatch]\nInputProfile = linear.icc\nIntent = RelativeColorimetric\n",
  };
  std::mt19937 random(3);
  std::vector<uint8_t> original(4096 * 6);
  for (auto& b : original) b = static_cast<uint8_t>(random());
  for (size_t i = 0; i < 600; ++i) original[2 * i + 1] = static_cast<uint8_t>(random() % 8);  // near black
  for (const std::string& text : files) {
    WriteFile(temp_ / "pair.ini", text);
    const auto config = colormatch::LoadColorMatchConfig((temp_ / "pair.ini").string());
    ASSERT_TRUE(config) << text;
    colormatch::ColorTransform fast, reference;
    ASSERT_TRUE(fast.Build(*config, true));
    ASSERT_TRUE(reference.Build(*config, false));
    ASSERT_TRUE(fast.UsesMatrixShaper16());
    ASSERT_FALSE(reference.UsesMatrixShaper16());
    for (int order : {0, 1}) {
      std::vector<uint8_t> a = original, b = original;
      ASSERT_TRUE(fast.Apply16(a.data(), 64, 64, order));
      ASSERT_TRUE(reference.Apply16(b.data(), 64, 64, order));
      int worst = 0;
      for (size_t i = 0; i < a.size(); i += 2)
        worst = std::max(worst, std::abs((a[i] | (a[i + 1] << 8)) - (b[i] | (b[i + 1] << 8))));
      // A sixteenth of an 8-bit level.
      EXPECT_LE(worst, 16) << text << " order " << order;
    }
  }
}

TEST_F(ColorMatchTest, BrokenDataFilesSwitchMatchingOff) {
  const std::string good = "[ColorMatch]\nRedPrimary = 0.7 0.29\nGreenPrimary = 0.29 0.7\n"
                           "BluePrimary = 0.13 0.02\nWhitePoint = 0.3127 0.329\nGamma = 1.8\n";
  ASSERT_EQ(LoadText(good), 1);
  std::string garbage(3000, '\0');
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 7919) % 256);
  auto replace = [&](const std::string& from, const std::string& to) {
    std::string text = good;
    text.replace(text.find(from), from.size(), to);
    return text;
  };
  fs::create_directories(temp_ / "folder.ini");
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  ASSERT_TRUE(cmsSaveProfileToFile(lab, (temp_ / "lab.icc").c_str()));
  cmsCloseProfile(lab);
  WriteFile(temp_ / "fake.icc", "[ColorMatch]\nthis is no profile\n");

  const std::vector<std::pair<const char*, std::string>> cases = {
      {"binary garbage", garbage},
      {"empty file", ""},
      {"no section", "RedPrimary = 0.7 0.29\n"},
      {"other section", replace("[ColorMatch]", "[Colour]")},
      {"missing gamma", replace("Gamma = 1.8\n", "")},
      {"missing primary", replace("BluePrimary = 0.13 0.02\n", "")},
      {"three numbers", replace("0.7 0.29", "0.7 0.29 0.1")},
      {"one number", replace("0.7 0.29", "0.7")},
      {"trailing letters", replace("0.7 0.29", "0.7x 0.29")},
      {"comma decimal", replace("0.7 0.29", "0,7 0,29")},
      {"not a number", replace("0.7 0.29", "nan 0.29")},
      {"y zero", replace("0.7 0.29", "0.7 0")},
      {"absurd primary", replace("0.7 0.29", "7 0.29")},
      {"white outside diagram", replace("0.3127 0.329", "0.8 0.3")},
      {"collinear primaries", replace("0.13 0.02", "0.495 0.495")},
      {"gamma zero", replace("Gamma = 1.8", "Gamma = 0")},
      {"gamma two values", replace("Gamma = 1.8", "Gamma = 1.8 2.2")},
      {"unknown intent", good + "Intent = Vivid\n"},
      {"intent out of range", good + "Intent = 4\n"},
      {"bad compensation flag", good + "BlackPointCompensation = yes\n"},
      {"missing input profile", "[ColorMatch]\nInputProfile = nowhere.icc\n"},
      {"input profile not ICC", "[ColorMatch]\nInputProfile = fake.icc\n"},
      {"input profile not RGB", "[ColorMatch]\nInputProfile = lab.icc\n"},
      {"output profile missing", good + "OutputSpace = display.icc\n"},
  };
  std::vector<uint8_t> image(30 * 3);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 5);
  std::vector<uint8_t> deep(30 * 6, 0x5A);
  const auto image0 = image, deep0 = deep;
  auto expectOff = [&](const std::string& what) {
    EXPECT_EQ(api_.ColorMatchFun(image.data(), 3, 10, 0), 0) << what;
    EXPECT_EQ(api_.ColorMatchFun30_36(deep.data(), 3, 10, 1), 0) << what;
    EXPECT_EQ(image, image0) << what;
    EXPECT_EQ(deep, deep0) << what;
  };
  for (const auto& [what, text] : cases) {
    image = image0;
    deep = deep0;
    ASSERT_EQ(LoadText(good), 1);
    EXPECT_EQ(LoadText(text), 0) << what;
    expectOff(what);
  }
  for (const std::string& path : {(temp_ / "absent.ini").string(), (temp_ / "folder.ini").string(), std::string()}) {
    ASSERT_EQ(LoadText(good), 1);
    EXPECT_EQ(api_.SetColorMatchFileName(path.c_str()), 0) << path;
    expectOff(path);
  }
  ASSERT_EQ(LoadText(good), 1);
  EXPECT_EQ(api_.SetColorMatchFileName(nullptr), 0);
  expectOff("null path");
}

TEST_F(ColorMatchTest, UnusableArgumentsLeaveMemoryAlone) {
  ASSERT_EQ(api_.SetColorMatchFileName(ShippedFile("Sepcal.ini").c_str()), 1);
  // Guard bytes after a 2 x 2 image catch a transform that runs past it.
  std::vector<uint8_t> buffer(2 * 2 * 6 + 16, 0x77);
  const auto before = buffer;
  EXPECT_EQ(api_.ColorMatchFun(nullptr, 2, 2, 0), 0);
  EXPECT_EQ(api_.ColorMatchFun30_36(nullptr, 2, 2, 0), 0);
  const int bad[][3] = {{0, 2, 0}, {2, 0, 0}, {-1, 2, 0}, {2, -5, 1}, {2, 2, 2}, {2, 2, -1},
                        {1 << 21, 1, 0}, {1, 1 << 21, 0}, {INT32_MAX, INT32_MAX, 0}};
  for (const auto& b : bad) {
    EXPECT_EQ(api_.ColorMatchFun(buffer.data(), b[0], b[1], b[2]), 0);
    EXPECT_EQ(api_.ColorMatchFun30_36(buffer.data(), b[0], b[1], b[2]), 0);
  }
  EXPECT_EQ(buffer, before);
  EXPECT_EQ(api_.ColorMatchFun(buffer.data(), 2, 2, 0), 1);
  EXPECT_TRUE(std::equal(buffer.begin() + 12, buffer.end(), before.begin() + 12));
  buffer = before;
  EXPECT_EQ(api_.ColorMatchFun30_36(buffer.data(), 2, 2, 1), 1);
  EXPECT_TRUE(std::equal(buffer.begin() + 24, buffer.end(), before.begin() + 24));
}

TEST(ColorMatchConfigTest, ReadsWordsNumbersAndRelativePaths) {
  const auto config = colormatch::ParseColorMatchConfig(
      "; comment\r\n[colormatch]\r\nredprimary=\t0.64\t0.33 \r\nGreenPrimary = +0.3 0.6\r\n"
      "BluePrimary = 0.15 6e-2\r\nWhitePoint = 0.3127 0.329\r\nGamma = 2.2 1.8 1.0\r\n"
      "OutputSpace = out/display.icc\r\nIntent = absolutecolorimetric\r\nBlackPointCompensation = 1\r\n",
      "/data/scan/CM.ini");
  ASSERT_TRUE(config);
  EXPECT_DOUBLE_EQ(config->red.x, 0.64);
  EXPECT_DOUBLE_EQ(config->green.x, 0.3);
  EXPECT_DOUBLE_EQ(config->blue.y, 0.06);
  EXPECT_DOUBLE_EQ(config->gamma[0], 2.2);
  EXPECT_DOUBLE_EQ(config->gamma[1], 1.8);
  EXPECT_DOUBLE_EQ(config->gamma[2], 1.0);
  EXPECT_EQ(config->outputProfile, "/data/scan/out/display.icc");
  EXPECT_EQ(config->intent, 3);
  EXPECT_TRUE(config->blackPointCompensation);

  // A profile wins over a description; absolute paths stay as they are.
  const auto profile = colormatch::ParseColorMatchConfig(
      "[ColorMatch]\nInputProfile = /opt/p.icc\nGamma = broken\nIntent = 2\n", "CM.ini");
  ASSERT_TRUE(profile);
  EXPECT_EQ(profile->inputProfile, "/opt/p.icc");
  EXPECT_EQ(profile->intent, 2);
  const auto bare = colormatch::ParseColorMatchConfig("[ColorMatch]\nInputProfile = p.icc\n", "CM.ini");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->inputProfile, "./p.icc");
  EXPECT_EQ(bare->intent, 0);
}

}  // namespace
