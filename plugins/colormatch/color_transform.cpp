#include "plugins/colormatch/color_transform.h"

#include <sys/stat.h>

#include <bit>
#include <cstring>
#include <limits>
#include <vector>

namespace colormatch {

namespace {

// A profile larger than this is not a scanner or display profile.
constexpr off_t kMaxProfileBytes = 64 << 20;

// Little CMS reports problems through this hook; the result value already
// tells us, so the text is dropped instead of reaching the host's stderr.
void SilentErrors(cmsContext, cmsUInt32Number, const char*) {}

cmsHPROFILE OpenProfile(cmsContext context, const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxProfileBytes)
    return nullptr;
  cmsHPROFILE profile = cmsOpenProfileFromFileTHR(context, path.c_str(), "r");
  if (!profile) return nullptr;
  // Our buffers are RGB on both sides; any other profile cannot describe them.
  if (cmsGetColorSpace(profile) != cmsSigRgbData) {
    cmsCloseProfile(profile);
    return nullptr;
  }
  return profile;
}

cmsHPROFILE MakeScannerProfile(cmsContext context, const ColorMatchConfig& config) {
  const cmsCIExyY white{config.white.x, config.white.y, 1.0};
  const cmsCIExyYTRIPLE primaries{{config.red.x, config.red.y, 1.0},
                                  {config.green.x, config.green.y, 1.0},
                                  {config.blue.x, config.blue.y, 1.0}};
  cmsToneCurve* curves[3] = {};
  for (int c = 0; c < 3; ++c) curves[c] = cmsBuildGamma(context, config.gamma[c]);
  cmsHPROFILE profile = nullptr;
  if (curves[0] && curves[1] && curves[2])
    profile = cmsCreateRGBProfileTHR(context, &white, &primaries, curves);
  for (cmsToneCurve* curve : curves)
    if (curve) cmsFreeToneCurve(curve);
  return profile;
}

// The suite's 16-bit samples are little-endian whatever the processor.
constexpr cmsUInt32Number kRgb16 = std::endian::native == std::endian::little ? TYPE_RGB_16 : TYPE_RGB_16_SE;
constexpr cmsUInt32Number kBgr16 = std::endian::native == std::endian::little ? TYPE_BGR_16 : TYPE_BGR_16_SE;

}  // namespace

ColorTransform::ColorTransform() = default;

ColorTransform::~ColorTransform() { Clear(); }

void ColorTransform::Clear() {
  fast16_ = MatrixShaper16();
  for (cmsHTRANSFORM& t : transforms_) {
    if (t) cmsDeleteTransform(t);
    t = nullptr;
  }
  if (context_) cmsDeleteContext(context_);
  context_ = nullptr;
}

bool ColorTransform::Build(const ColorMatchConfig& config, bool matrixShaper16) {
  Clear();
  context_ = cmsCreateContext(nullptr, nullptr);
  if (!context_) return false;
  cmsSetLogErrorHandlerTHR(context_, SilentErrors);

  cmsHPROFILE input = config.inputProfile.empty() ? MakeScannerProfile(context_, config)
                                                  : OpenProfile(context_, config.inputProfile);
  cmsHPROFILE output = config.outputProfile.empty() ? cmsCreate_sRGBProfileTHR(context_)
                                                    : OpenProfile(context_, config.outputProfile);
  bool ok = input && output;
  if (ok) {
    cmsUInt32Number flags = cmsFLAGS_HIGHRESPRECALC;
    if (config.blackPointCompensation) flags |= cmsFLAGS_BLACKPOINTCOMPENSATION;
    const cmsUInt32Number formats[4] = {TYPE_RGB_8, TYPE_BGR_8, kRgb16, kBgr16};
    for (int i = 0; i < 4 && ok; ++i) {
      // 8 bits: the optimised matrix-shaper path is within a level of exact.
      // 16 bits: the optimised path resamples into a grid whose interpolation
      // across the gamut edge near black is off by up to ten 8-bit levels,
      // which throws away the depth the user asked for; the exact pipeline
      // is used where MatrixShaper16 does not apply.
      const cmsUInt32Number formatFlags = i >= 2 ? flags | cmsFLAGS_NOOPTIMIZE : flags;
      transforms_[i] = cmsCreateTransformTHR(context_, input, formats[i], output, formats[i],
                                             static_cast<cmsUInt32Number>(config.intent), formatFlags);
      ok = transforms_[i] != nullptr;
    }
  }
  // Absolute colorimetric and black point compensation change the matrix
  // path; those stay with Little CMS.
  if (ok && matrixShaper16 && config.intent != INTENT_ABSOLUTE_COLORIMETRIC && !config.blackPointCompensation)
    fast16_.Build(input, output);
  // Transforms keep what they need; the profiles are no longer used.
  if (input) cmsCloseProfile(input);
  if (output) cmsCloseProfile(output);
  if (!ok) Clear();
  return ok;
}

bool ColorTransform::Apply8(unsigned char* image, int height, int width, int order) {
  return Apply(image, height, width, order, 1);
}

bool ColorTransform::Apply16(void* image, int height, int width, int order) {
  return Apply(image, height, width, order, 2);
}

bool ColorTransform::Apply(void* image, int height, int width, int order, int bytesPerSample) {
  if (!Ready() || !image || height <= 0 || width <= 0 || height > kMaxSide || width > kMaxSide) return false;
  if (order != 0 && order != 1) return false;
  const size_t rowBytes = static_cast<size_t>(width) * 3u * static_cast<size_t>(bytesPerSample);
  // height and width are at most 2^20, so the page's byte count fits in 64 bits.
  if (static_cast<uint64_t>(rowBytes) * static_cast<uint64_t>(height) >
      static_cast<uint64_t>(std::numeric_limits<ptrdiff_t>::max()))
    return false;
  auto* row = static_cast<unsigned char*>(image);
  if (bytesPerSample == 2 && fast16_.Ready()) {
    for (int y = 0; y < height; ++y, row += rowBytes) fast16_.ApplyRow(row, width, order);
    return true;
  }
  cmsHTRANSFORM transform = transforms_[(bytesPerSample == 2 ? 2 : 0) + order];
  // One row at a time through a scratch row: Little CMS is given separate
  // input and output buffers, as its documentation assumes.
  std::vector<unsigned char> scratch(rowBytes);
  for (int y = 0; y < height; ++y, row += rowBytes) {
    cmsDoTransform(transform, row, scratch.data(), static_cast<cmsUInt32Number>(width));
    std::memcpy(row, scratch.data(), rowBytes);
  }
  return true;
}

}  // namespace colormatch
