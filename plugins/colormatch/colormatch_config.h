// The colour-match data file (Sepcal.ini for the scan module, CM.ini for the
// application). An INI file with one section:
//
//   [ColorMatch]
//   ; Input: an ICC profile of the scanner, path relative to this file ...
//   InputProfile = scanner.icc
//   ; ... or, when InputProfile is absent or empty, the scanner's description:
//   ; CIE 1931 xy chromaticities of its red, green and blue primaries and of
//   ; its white point, and its tone curve as a pure power (one gamma for all
//   ; three channels, or three: red green blue). All five keys are required.
//   RedPrimary   = 0.70632985 0.29816645
//   GreenPrimary = 0.28865163 0.71199080
//   BluePrimary  = 0.12855341 0.00199752
//   WhitePoint   = 0.3127 0.3290
//   Gamma        = 1.8
//   ; Output: "sRGB" (the default) or an ICC profile, path relative to this file.
//   OutputSpace  = sRGB
//   ; Perceptual (default), RelativeColorimetric, Saturation,
//   ; AbsoluteColorimetric, or their ICC numbers 0 to 3.
//   Intent       = Perceptual
//   ; 1 = black point compensation; 0 (default) = none.
//   BlackPointCompensation = 0
//
// Numbers are decimal with "." as the point, separated by spaces or tabs.
// A primary may lie outside the spectral locus (x + y > 1, a negative Z): a
// sensor's primaries found by inverting its channel mixing often do. The
// white point must be a real colour, and the primaries must span a triangle.
// Anything malformed (no [ColorMatch] section, a missing required key, a bad
// or out-of-range number, an unknown word) makes the whole file unusable:
// colour matching is then switched off rather than done with a guess.
#pragma once

#include <optional>
#include <string>

namespace colormatch {

struct Chromaticity {
  double x = 0.0;
  double y = 0.0;
};

struct ColorMatchConfig {
  // Set when the input is an ICC profile (an absolute path by now).
  std::string inputProfile;
  // Otherwise the scanner's description.
  Chromaticity red, green, blue, white;
  double gamma[3] = {1.0, 1.0, 1.0};
  // Empty: sRGB; else an absolute profile path.
  std::string outputProfile;
  int intent = 0;  // ICC rendering intent number, 0 to 3
  bool blackPointCompensation = false;
};

/// Parses the INI text of a data file found at `path` (relative profile paths
/// are taken from its folder). Nothing when the text is unusable.
std::optional<ColorMatchConfig> ParseColorMatchConfig(const std::string& text, const std::string& path);

/// Reads and parses the data file; nothing when it is missing, not a regular
/// file, too large to be one of ours, or unusable.
std::optional<ColorMatchConfig> LoadColorMatchConfig(const std::string& path);

}  // namespace colormatch
