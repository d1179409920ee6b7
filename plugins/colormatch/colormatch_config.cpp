#include "plugins/colormatch/colormatch_config.h"

#include <sys/stat.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/ini_file.h"

namespace colormatch {

namespace {

constexpr const char* kSection = "ColorMatch";
// Our data files are a few hundred bytes; anything far larger is not one.
constexpr off_t kMaxFileBytes = 1 << 20;

bool EqualNoCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == '\0';
}

// Splits at spaces and tabs and converts every piece fully; any piece that is
// not a finite number spoils the whole list.
std::optional<std::vector<double>> Numbers(const std::string& text) {
  std::vector<double> values;
  size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (pos == text.size()) break;
    size_t end = pos;
    while (end < text.size() && text[end] != ' ' && text[end] != '\t') ++end;
    double value = 0.0;
    const char* first = text.data() + pos;
    const char* last = text.data() + end;
    // from_chars takes no leading "+"; allow it as people write it.
    if (*first == '+') ++first;
    const auto result = std::from_chars(first, last, value);
    if (first == last || result.ec != std::errc() || result.ptr != last || !std::isfinite(value))
      return std::nullopt;
    values.push_back(value);
    pos = end;
  }
  return values;
}

std::optional<Chromaticity> ReadChromaticity(const px::IniDocument& ini, const char* key) {
  const auto text = ini.Get(kSection, key);
  if (!text) return std::nullopt;
  const auto values = Numbers(*text);
  if (!values || values->size() != 2) return std::nullopt;
  const Chromaticity c{(*values)[0], (*values)[1]};
  // y > 0 so that XYZ exists. A scanner's primaries may lie outside the
  // spectral locus (x + y > 1 means a negative Z: a primary found by
  // inverting the sensor's mixing is "imaginary"), so only absurd values are
  // refused here.
  if (!(c.y > 0.0 && c.y <= 2.0 && c.x >= -1.0 && c.x <= 2.0)) return std::nullopt;
  return c;
}

// Twice the area of the primaries' triangle in xy; near zero the three
// primaries cannot span a colour space.
double TriangleArea2(const Chromaticity& r, const Chromaticity& g, const Chromaticity& b) {
  return (g.x - r.x) * (b.y - r.y) - (b.x - r.x) * (g.y - r.y);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string Resolve(const std::string& relative, const std::string& dataFile) {
  if (!relative.empty() && relative.front() == '/') return relative;
  return FolderOf(dataFile) + "/" + relative;
}

std::optional<int> ReadIntent(const px::IniDocument& ini) {
  const auto text = ini.Get(kSection, "Intent");
  if (!text || text->empty()) return 0;
  static constexpr const char* kNames[] = {"Perceptual", "RelativeColorimetric", "Saturation",
                                           "AbsoluteColorimetric"};
  for (int i = 0; i < 4; ++i)
    if (EqualNoCase(*text, kNames[i]) || *text == std::to_string(i)) return i;
  return std::nullopt;
}

}  // namespace

std::optional<ColorMatchConfig> ParseColorMatchConfig(const std::string& text, const std::string& path) {
  const px::IniDocument ini = px::IniDocument::Parse(text);
  if (!ini.HasSection(kSection)) return std::nullopt;
  ColorMatchConfig config;

  const std::string input = ini.Get(kSection, "InputProfile").value_or("");
  if (!input.empty()) {
    config.inputProfile = Resolve(input, path);
  } else {
    const auto red = ReadChromaticity(ini, "RedPrimary");
    const auto green = ReadChromaticity(ini, "GreenPrimary");
    const auto blue = ReadChromaticity(ini, "BluePrimary");
    const auto white = ReadChromaticity(ini, "WhitePoint");
    if (!red || !green || !blue || !white) return std::nullopt;
    // White is a real colour: inside the diagram's unit triangle.
    if (!(white->x > 0.0 && white->x + white->y < 1.0)) return std::nullopt;
    if (std::fabs(TriangleArea2(*red, *green, *blue)) < 1e-4) return std::nullopt;
    config.red = *red;
    config.green = *green;
    config.blue = *blue;
    config.white = *white;
    const auto gammaText = ini.Get(kSection, "Gamma");
    if (!gammaText) return std::nullopt;
    const auto gamma = Numbers(*gammaText);
    if (!gamma || (gamma->size() != 1 && gamma->size() != 3)) return std::nullopt;
    for (int c = 0; c < 3; ++c) {
      const double g = (*gamma)[gamma->size() == 1 ? 0 : c];
      // Outside this range a "tone curve" is a typo, not a device.
      if (!(g >= 0.1 && g <= 10.0)) return std::nullopt;
      config.gamma[c] = g;
    }
  }

  const std::string output = ini.Get(kSection, "OutputSpace").value_or("");
  if (!output.empty() && !EqualNoCase(output, "sRGB")) config.outputProfile = Resolve(output, path);

  const auto intent = ReadIntent(ini);
  if (!intent) return std::nullopt;
  config.intent = *intent;

  const std::string bpc = ini.Get(kSection, "BlackPointCompensation").value_or("0");
  if (bpc == "1") {
    config.blackPointCompensation = true;
  } else if (!bpc.empty() && bpc != "0") {
    return std::nullopt;
  }
  return config;
}

std::optional<ColorMatchConfig> LoadColorMatchConfig(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes)
    return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return ParseColorMatchConfig(text, path);
}

}  // namespace colormatch
