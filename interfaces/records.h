// Records and image layouts that cross the deliverables: the host's settings,
// Korvel's scan settings, the tone-table record, and what the scan module hands
// out. All packed and little-endian exactly as laid out here.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Pixel types used everywhere a page's kind is named.
enum {
  PX_PIXEL_COLOR24 = 0,
  PX_PIXEL_GRAY8 = 1,
  PX_PIXEL_BW = 2,
  PX_PIXEL_COLOR48 = 3,
  PX_PIXEL_GRAY16 = 4
};

// Device modes of the scanner library.
enum {
  PX_MODE_GRAY8 = 1,
  PX_MODE_COLOR8 = 2,
  PX_MODE_GRAY16 = 9,
  PX_MODE_COLOR16 = 10
};

// Image type codes of the geometry library.
enum {
  PX_GEOM_COLOR24 = 0,
  PX_GEOM_GRAY8 = 1,
  PX_GEOM_COLOR48 = 2,
  PX_GEOM_GRAY16 = 3
};

// Progress stages reported to the user interface.
enum {
  PX_STAGE_START = 0,
  PX_STAGE_CALIBRATION = 1,
  PX_STAGE_READING = 2,
  PX_STAGE_DESKEW = 3,
  PX_STAGE_CROP = 4,
  PX_STAGE_PROCESSING = 5,
  PX_STAGE_HANDOUT = 6
};

#pragma pack(push, 1)

typedef struct CurvePoint {
  int32_t x;
  int32_t y;
} CurvePoint;

/// Tone settings for one channel. Neutral: 0, 0, 10, 1.0f, 0, 255, 0, 255, 0.
typedef struct EnhanceParam {
  int16_t Brightness;
  int16_t Contrast;
  int16_t Gamma;  // gamma x 10
  float scale;
  int16_t InputLevelLow;
  int16_t InputLevelHigh;
  int16_t OutputLevelLow;
  int16_t OutputLevelHigh;
  uint8_t CurvePointCount;  // 0..15; the table builder solves at most 10
  CurvePoint CurvePoints[15];
} EnhanceParam;

typedef struct Corner {
  int32_t x;
  int32_t y;
} Corner;

/// Korvel's settings record; the scan module reads it on each Scan request.
/// Corner 0 is the area's left and top, corner 2 its width and height.
typedef struct ScanSetting {
  int32_t PixelType;
  Corner Corners[4];
  int32_t Resolution;
  int32_t DescreenType;  // 0 none, 1 filter, 2/3/4 = 133/150/175 lpi
  int32_t Deskew;
  int32_t Crop;
  int32_t AutoLevel;
  EnhanceParam Red;
  EnhanceParam Green;
  EnhanceParam Blue;
  EnhanceParam Gray;
  int16_t Hue;
  int16_t Saturation;
  int32_t FilterChoice;  // 0 none; 1..8 pick filters 3, 5, 1, 2, 7, 8, 4, 6
} ScanSetting;

/// What the host passes to SetScanSettings: ten 32-bit slots.
typedef struct HostSetting {
  int32_t PixelType;
  Corner Corners[4];
  int32_t Resolution;
} HostSetting;

/// Filled by GetImageInfo.
typedef struct ImageInfo {
  int32_t Width;
  int32_t Height;
  int16_t Resolution;
  int16_t SamplesPerPixel;
  int16_t BitsPerSample[8];
  int16_t BitsPerPixel;
  int16_t Reserved;  // padding to offset 32
  int32_t PixelType;
} ImageInfo;

/// Filled by GetImageMem for each block of rows.
typedef struct MemBlockInfo {
  uint32_t BytesPerRow;
  uint32_t Columns;
  uint32_t Rows;
  uint32_t XOffset;
  uint32_t YOffset;
} MemBlockInfo;

/// The Windows bitmap header that starts the DIB handed to the host.
typedef struct BitmapInfoHeader {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
} BitmapInfoHeader;

typedef struct RgbQuad {
  uint8_t rgbBlue;
  uint8_t rgbGreen;
  uint8_t rgbRed;
  uint8_t rgbReserved;
} RgbQuad;

#pragma pack(pop)

/// Tembra's tone table: N = 2^in entries per channel (3 x N for colour: red,
/// green, blue), each an output level below 2^out. Allocated by Tembra and
/// freed only with FreeEnhanceTable. Natural alignment: in at 0, out at 2,
/// Entries at 8.
typedef struct MappingTable {
  uint16_t in;
  uint16_t out;
  uint16_t* Entries;
} MappingTable;

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(EnhanceParam) == 139);
static_assert(offsetof(EnhanceParam, Brightness) == 0);
static_assert(offsetof(EnhanceParam, Contrast) == 2);
static_assert(offsetof(EnhanceParam, Gamma) == 4);
static_assert(offsetof(EnhanceParam, scale) == 6);
static_assert(offsetof(EnhanceParam, InputLevelLow) == 10);
static_assert(offsetof(EnhanceParam, InputLevelHigh) == 12);
static_assert(offsetof(EnhanceParam, OutputLevelLow) == 14);
static_assert(offsetof(EnhanceParam, OutputLevelHigh) == 16);
static_assert(offsetof(EnhanceParam, CurvePointCount) == 18);
static_assert(offsetof(EnhanceParam, CurvePoints) == 19);

static_assert(sizeof(ScanSetting) == 620);
static_assert(offsetof(ScanSetting, Corners) == 4);
static_assert(offsetof(ScanSetting, Resolution) == 36);
static_assert(offsetof(ScanSetting, DescreenType) == 40);
static_assert(offsetof(ScanSetting, Deskew) == 44);
static_assert(offsetof(ScanSetting, Crop) == 48);
static_assert(offsetof(ScanSetting, AutoLevel) == 52);
static_assert(offsetof(ScanSetting, Red) == 56);
static_assert(offsetof(ScanSetting, Green) == 195);
static_assert(offsetof(ScanSetting, Blue) == 334);
static_assert(offsetof(ScanSetting, Gray) == 473);
static_assert(offsetof(ScanSetting, Hue) == 612);
static_assert(offsetof(ScanSetting, Saturation) == 614);
static_assert(offsetof(ScanSetting, FilterChoice) == 616);

static_assert(sizeof(HostSetting) == 40);
static_assert(offsetof(HostSetting, Corners) == 4);
static_assert(offsetof(HostSetting, Resolution) == 36);

static_assert(sizeof(ImageInfo) == 36);
static_assert(offsetof(ImageInfo, Resolution) == 8);
static_assert(offsetof(ImageInfo, SamplesPerPixel) == 10);
static_assert(offsetof(ImageInfo, BitsPerSample) == 12);
static_assert(offsetof(ImageInfo, BitsPerPixel) == 28);
static_assert(offsetof(ImageInfo, PixelType) == 32);

static_assert(sizeof(MemBlockInfo) == 20);
static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(sizeof(RgbQuad) == 4);

static_assert(offsetof(MappingTable, in) == 0);
static_assert(offsetof(MappingTable, out) == 2);
static_assert(offsetof(MappingTable, Entries) == 8);

/// The neutral tone record: a table built from it maps every value to itself.
inline EnhanceParam NeutralEnhanceParam() {
  EnhanceParam p{};
  p.Gamma = 10;
  p.scale = 1.0f;
  p.InputLevelHigh = 255;
  p.OutputLevelHigh = 255;
  return p;
}
#endif
