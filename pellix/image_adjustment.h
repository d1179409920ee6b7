// The tone and geometry side of a scan: the enhancement library builds the
// device tone table from section "Default Setting" of the settings file, and
// after the read a fixed chain runs on the page: automatic crop, colour
// matching, resolution correction and the lineart threshold. A missing
// library or function only skips its step.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "interfaces/colormatch_api.h"
#include "interfaces/geometrytrans_api.h"
#include "interfaces/records.h"
#include "interfaces/tembra_api.h"
#include "platform/module.h"

namespace px {
class IniDocument;
}

namespace pellix {

class CDeviceBinding;

#define PELLIX_TONE_EXPORTS(X)                                                           \
  X(CreateColorMappingTable) X(CreateGrayMappingTable) X(MapColorEnhanceTable)           \
  X(MapGrayEnhanceTable) X(FreeEnhanceTable)
PX_DECLARE_API(ToneEntryPoints, PELLIX_TONE_EXPORTS)

#define PELLIX_GEOMETRY_EXPORTS(X) \
  X(SetBGInfo) X(ImageCrop) X(ImageResize) X(FreeBuffer) X(ImageZoom)
PX_DECLARE_API(GeometryEntryPoints, PELLIX_GEOMETRY_EXPORTS)

/// Largest number of curve points a channel record holds.
inline constexpr int kMaxCurvePoints = 15;

/// Reads up to `maxCount` integers separated by one or more spaces into
/// `values`; positions beyond the values given keep what they hold. Returns
/// how many were converted. Non-numeric text converts to 0.
int ParseListValues(const std::string& text, int* values, int maxCount);
/// The same for a key of section "Default Setting" (260-character read).
int ReadListKey(const px::IniDocument& settings, const char* key, int* values, int maxCount);

/// The four tone records and the background description of one scan.
struct ToneSettings {
  EnhanceParam red, green, blue, gray;
  int bgInfo[5] = {0, 0, 0, 0, 0};
};
/// A record with the neutral values (no curve points).
EnhanceParam NeutralEnhanceParam();
/// Reads the "Default Setting" keys in their order onto neutral records.
ToneSettings ReadToneSettings(const px::IniDocument& settings, bool lineart);

/// Geometry plug-in type code of a device data type; -1 when unknown.
int GeometryTypeOf(int dataType);
/// The lineart rule: above 128 white, else black.
void ThresholdLineart(uint8_t* pixels, int64_t count);

class ImageAdjustment {
 public:
  ImageAdjustment() = default;
  ~ImageAdjustment() { Unload(); }
  ImageAdjustment(const ImageAdjustment&) = delete;
  ImageAdjustment& operator=(const ImageAdjustment&) = delete;

  /// Loads the three libraries (each optional) and gives the colour-match
  /// plug-in its data file.
  void Load(const std::string& enhancePath, const std::string& geometryPath,
            const std::string& colorMatchPath, const std::string& colorMatchData);
  void Unload();
  bool HasToneLibrary() const { return tone_.FreeEnhanceTable != nullptr; }
  bool HasGeometry() const { return geometry_.FreeBuffer != nullptr; }
  bool HasColorMatch() const { return colorMatch_.ColorMatchFun != nullptr; }

  /// Builds the device tone table for a data type from the settings file and
  /// configures the background detection. Null when no table could be made.
  /// The table belongs to the caller until FreeToneTable.
  MappingTable* MakeToneTable(CDeviceBinding& device, int dataType, bool lineart,
                              const std::string& settingsFile);
  void FreeToneTable(MappingTable* table);

  /// Runs the chain on the page held in `raw`, or in `processed` when that is
  /// set (a buffer of the geometry plug-in). A step that yields a new buffer
  /// replaces the page and frees the old one; `width` and `height` follow.
  /// Returns the current page.
  uint8_t* PostProcess(std::unique_ptr<uint8_t[]>& raw, uint8_t*& processed, int& width,
                       int& height, int dataType, bool lineart, int requestedDpi, int deviceXDpi,
                       int deviceYDpi, bool crop);
  /// Gives a geometry buffer back to the plug-in; sets it to null.
  void FreeBuffer(uint8_t*& buffer);

 private:
  px::Module toneModule_, geometryModule_, colorMatchModule_;
  ToneEntryPoints tone_;
  GeometryEntryPoints geometry_;
  ColorMatchApi colorMatch_;
};

}  // namespace pellix
