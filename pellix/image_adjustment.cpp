#include "pellix/image_adjustment.h"

#include <algorithm>

#include "pellix/device_binding.h"
#include "platform/ini_file.h"

namespace pellix {

namespace {

// List keys are read into 260-character buffers.
constexpr size_t kListValueChars = 259;

// The records are packed, so their fields are reached by name, never through
// pointers or references (which would be misaligned).
#define PELLIX_READ_FOUR(ini, key, t, field)                                   \
  do {                                                                          \
    int v[4] = {(t).red.field, (t).green.field, (t).blue.field, (t).gray.field}; \
    ReadListKey(ini, key, v, 4);                                                \
    (t).red.field = static_cast<int16_t>(v[0]);                                 \
    (t).green.field = static_cast<int16_t>(v[1]);                               \
    (t).blue.field = static_cast<int16_t>(v[2]);                                \
    (t).gray.field = static_cast<int16_t>(v[3]);                                \
  } while (0)

void ReadCurve(const px::IniDocument& ini, const char* key, int count, EnhanceParam& p) {
  if (count <= 0) return;
  int v[2 * kMaxCurvePoints] = {};
  ReadListKey(ini, key, v, 2 * count);
  p.CurvePointCount = static_cast<uint8_t>(count);
  for (int i = 0; i < count; ++i) {
    p.CurvePoints[i].x = v[2 * i];
    p.CurvePoints[i].y = v[2 * i + 1];
  }
}

}  // namespace

int ParseListValues(const std::string& text, int* values, int maxCount) {
  if (text.empty()) return 0;
  int count = 0;
  size_t pos = 0;
  while (count < maxCount) {
    const size_t space = text.find(' ', pos);
    if (space == std::string::npos) {
      values[count++] = px::ParseProfileInt(text.substr(pos));
      break;
    }
    values[count++] = px::ParseProfileInt(text.substr(pos, space - pos));
    pos = text.find_first_not_of(' ', space);
    if (pos == std::string::npos) break;  // only spaces were left
  }
  return count;
}

int ReadListKey(const px::IniDocument& settings, const char* key, int* values, int maxCount) {
  std::string text = settings.Get("Default Setting", key).value_or(std::string());
  if (text.size() > kListValueChars) text.resize(kListValueChars);
  return ParseListValues(text, values, maxCount);
}

EnhanceParam NeutralEnhanceParam() {
  EnhanceParam p{};
  p.Brightness = 0;
  p.Contrast = 0;
  p.Gamma = 10;
  p.scale = 1.0f;
  p.InputLevelLow = 0;
  p.InputLevelHigh = 255;
  p.OutputLevelLow = 0;
  p.OutputLevelHigh = 255;
  p.CurvePointCount = 0;
  return p;
}

ToneSettings ReadToneSettings(const px::IniDocument& ini, bool lineart) {
  ToneSettings t;
  t.red = t.green = t.blue = t.gray = NeutralEnhanceParam();

  int brightness[5] = {0, 0, 0, 0, 0};
  ReadListKey(ini, "Brightness", brightness, 5);
  t.red.Brightness = static_cast<int16_t>(brightness[0]);
  t.green.Brightness = static_cast<int16_t>(brightness[1]);
  t.blue.Brightness = static_cast<int16_t>(brightness[2]);
  t.gray.Brightness = static_cast<int16_t>(lineart ? brightness[4] : brightness[3]);

  PELLIX_READ_FOUR(ini, "Contrast", t, Contrast);
  PELLIX_READ_FOUR(ini, "Gamma", t, Gamma);
  PELLIX_READ_FOUR(ini, "InputLevelLow", t, InputLevelLow);
  PELLIX_READ_FOUR(ini, "InputLevelHigh", t, InputLevelHigh);
  PELLIX_READ_FOUR(ini, "OutputLevelLow", t, OutputLevelLow);
  PELLIX_READ_FOUR(ini, "OutputLevelHigh", t, OutputLevelHigh);

  int counts[4] = {0, 0, 0, 0};
  ReadListKey(ini, "CurvePointCount", counts, 4);
  // A record holds 15 points; a larger or negative count is limited.
  for (int& n : counts) n = std::clamp(n, 0, kMaxCurvePoints);
  ReadCurve(ini, "CurvePointR", counts[0], t.red);
  ReadCurve(ini, "CurvePointG", counts[1], t.green);
  ReadCurve(ini, "CurvePointB", counts[2], t.blue);
  ReadCurve(ini, "CurvePointGray", counts[3], t.gray);

  ReadListKey(ini, "BGInfo", t.bgInfo, 5);
  return t;
}

int GeometryTypeOf(int dataType) {
  switch (dataType) {
    case PX_MODE_COLOR8: return PX_GEOM_COLOR24;
    case PX_MODE_GRAY8: return PX_GEOM_GRAY8;
    case PX_MODE_COLOR16: return PX_GEOM_COLOR48;
    case PX_MODE_GRAY16: return PX_GEOM_GRAY16;
    default: return -1;
  }
}

void ThresholdLineart(uint8_t* pixels, int64_t count) {
  for (int64_t i = 0; i < count; ++i) pixels[i] = pixels[i] > 128 ? 255 : 0;
}

void ImageAdjustment::Load(const std::string& enhancePath, const std::string& geometryPath,
                           const std::string& colorMatchPath, const std::string& colorMatchData) {
  Unload();
  if (toneModule_.Load(enhancePath)) toneModule_.BindAll(tone_);

  if (geometryModule_.Load(geometryPath)) {
    geometryModule_.BindAvailable(geometry_);
    // Everything but ImageResize is needed for the plug-in to stay.
    if (!geometry_.SetBGInfo || !geometry_.ImageCrop || !geometry_.FreeBuffer ||
        !geometry_.ImageZoom) {
      geometry_.Clear();
      geometryModule_.Unload();
    }
  }

  if (colorMatchModule_.Load(colorMatchPath) && colorMatchModule_.BindAll(colorMatch_)) {
    // Paths are passed on as they are; a buffer of 260 bytes is what the
    // plug-in was made for, so a longer path is refused rather than cut.
    if (colorMatchData.size() < 260) colorMatch_.SetColorMatchFileName(colorMatchData.c_str());
  }
}

void ImageAdjustment::Unload() {
  // The geometry plug-in goes first, right after its last page was given
  // back; then the enhancement library and the colour-match plug-in.
  geometry_.Clear();
  tone_.Clear();
  colorMatch_.Clear();
  geometryModule_.Unload();
  toneModule_.Unload();
  colorMatchModule_.Unload();
}

MappingTable* ImageAdjustment::MakeToneTable(CDeviceBinding& device, int dataType, bool lineart,
                                             const std::string& settingsFile) {
  int a = 0, b = 0;
  device.GetGammaInfo(static_cast<uint16_t>(dataType), a, b);
  const ToneSettings t = ReadToneSettings(px::IniDocument::Load(settingsFile), lineart);
  if (geometry_.SetBGInfo)
    geometry_.SetBGInfo(static_cast<unsigned char>(t.bgInfo[0]),
                        static_cast<unsigned char>(t.bgInfo[1]),
                        static_cast<unsigned char>(t.bgInfo[2]), static_cast<float>(t.bgInfo[3]),
                        static_cast<float>(t.bgInfo[4]));
  const bool gray = dataType == PX_MODE_GRAY8 || dataType == PX_MODE_GRAY16;
  if (gray)
    return tone_.CreateGrayMappingTable ? tone_.CreateGrayMappingTable(a, b, t.gray, 0, nullptr)
                                        : nullptr;
  return tone_.CreateColorMappingTable
             ? tone_.CreateColorMappingTable(a, b, t.red, t.green, t.blue, 0, nullptr)
             : nullptr;
}

void ImageAdjustment::FreeToneTable(MappingTable* table) {
  if (table && tone_.FreeEnhanceTable) tone_.FreeEnhanceTable(table);
}

void ImageAdjustment::FreeBuffer(uint8_t*& buffer) {
  if (buffer && geometry_.FreeBuffer) geometry_.FreeBuffer(&buffer);
  buffer = nullptr;
}

uint8_t* ImageAdjustment::PostProcess(std::unique_ptr<uint8_t[]>& raw, uint8_t*& processed,
                                      int& width, int& height, int dataType, bool lineart,
                                      int requestedDpi, int deviceXDpi, int deviceYDpi,
                                      bool crop) {
  auto page = [&]() { return processed ? processed : raw.get(); };
  auto replace = [&](unsigned char* next) {
    if (!next) return;
    if (processed)
      FreeBuffer(processed);
    else
      raw.reset();
    processed = next;
  };
  const int type = GeometryTypeOf(dataType);

  if (crop && geometry_.ImageCrop)
    replace(geometry_.ImageCrop(type, page(), &width, &height, nullptr));

  if (dataType == PX_MODE_COLOR8 && colorMatch_.ColorMatchFun)
    colorMatch_.ColorMatchFun(page(), height, width, VANTOR_ORDER_BGR);
  else if (dataType == PX_MODE_COLOR16 && colorMatch_.ColorMatchFun30_36)
    colorMatch_.ColorMatchFun30_36(page(), height, width, VANTOR_ORDER_BGR);

  if ((deviceXDpi != requestedDpi || deviceYDpi != requestedDpi) && geometry_.ImageZoom)
    replace(geometry_.ImageZoom(deviceXDpi, deviceYDpi, requestedDpi, requestedDpi, type, page(),
                                &width, &height, nullptr));

  if (lineart && width > 0 && height > 0)
    ThresholdLineart(page(), static_cast<int64_t>(width) * height);
  return page();
}

}  // namespace pellix
