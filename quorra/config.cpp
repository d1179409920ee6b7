// "Default Setting" of Quorra.ini: the product name, the background colour for
// GeometryTrans and the tone values of the device table.
#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/ini_file.h"
#include "quorra/scan_state.h"

namespace quorra {

namespace {
constexpr const char* kSection = "Default Setting";
constexpr size_t kMaxValueChars = 259;

int16_t Low16(int value) { return static_cast<int16_t>(static_cast<uint16_t>(value)); }
}  // namespace

int ReadNumberList(const std::string& iniPath, const char* key, int* values, int count) {
  const std::string text = px::GetProfileString(kSection, key, "", iniPath, kMaxValueChars);
  int read = 0;
  size_t pos = 0;
  while (read < count) {
    pos = text.find_first_not_of(' ', pos);
    if (pos == std::string::npos) break;
    size_t end = text.find(' ', pos);
    if (end == std::string::npos) end = text.size();
    values[read++] = px::ParseProfileInt(std::string_view(text).substr(pos, end - pos));
    pos = end;
  }
  return read;
}

void ReadDeviceEnhance(const std::string& iniPath, bool blackAndWhite, EnhanceParam params[4]) {
  for (int i = 0; i < 4; ++i) params[i] = NeutralEnhanceParam();

  int brightness[5] = {0, 0, 0, 0, 0};
  ReadNumberList(iniPath, "Brightness", brightness, 5);
  int contrast[4] = {0, 0, 0, 0};
  ReadNumberList(iniPath, "Contrast", contrast, 4);
  int gamma[4] = {10, 10, 10, 10};
  ReadNumberList(iniPath, "Gamma", gamma, 4);
  int inLow[4] = {0, 0, 0, 0};
  ReadNumberList(iniPath, "InputLevelLow", inLow, 4);
  int inHigh[4] = {255, 255, 255, 255};
  ReadNumberList(iniPath, "InputLevelHigh", inHigh, 4);
  int outLow[4] = {0, 0, 0, 0};
  ReadNumberList(iniPath, "OutputLevelLow", outLow, 4);
  int outHigh[4] = {255, 255, 255, 255};
  ReadNumberList(iniPath, "OutputLevelHigh", outHigh, 4);
  int counts[4] = {0, 0, 0, 0};
  ReadNumberList(iniPath, "CurvePointCount", counts, 4);

  static constexpr const char* kCurveKeys[4] = {"CurvePointR", "CurvePointG", "CurvePointB",
                                                "CurvePointGray"};
  for (int i = 0; i < 4; ++i) {
    EnhanceParam& p = params[i];
    p.Brightness = Low16((i == 3 && blackAndWhite) ? brightness[4] : brightness[i]);
    p.Contrast = Low16(contrast[i]);
    p.Gamma = Low16(gamma[i]);
    p.InputLevelLow = Low16(inLow[i]);
    p.InputLevelHigh = Low16(inHigh[i]);
    p.OutputLevelLow = Low16(outLow[i]);
    p.OutputLevelHigh = Low16(outHigh[i]);
    // The record has room for 15 points; a larger count in the file must not
    // reach past it.
    const int count = std::clamp(counts[i], 0, 15);
    p.CurvePointCount = static_cast<uint8_t>(count);
    if (count > 0) {
      int xy[30] = {};
      ReadNumberList(iniPath, kCurveKeys[i], xy, 2 * count);
      for (int k = 0; k < count; ++k) p.CurvePoints[k] = CurvePoint{xy[2 * k], xy[2 * k + 1]};
    }
  }
}

BackgroundInfo ReadBackgroundInfo(const std::string& iniPath) {
  int v[5] = {};
  BackgroundInfo info;
  if (ReadNumberList(iniPath, "BGInfo", v, 5) == 5) {
    info.red = v[0];
    info.green = v[1];
    info.blue = v[2];
    info.value1 = v[3];
    info.value2 = v[4];
  }
  return info;
}

std::string ReadProductName(const std::string& iniPath) {
  return px::GetProfileString(kSection, "ProductName", "Orlin Scanner", iniPath, kMaxValueChars);
}

}  // namespace quorra
