// Sheets from image files: a page folder feeds one file per scan.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "vantor/sim/sheet.h"

namespace vantor_sim {

/// Loads an image file (anything OpenCV reads; 8- or 16-bit, gray or colour)
/// as a sheet whose true colours are the file's sRGB values and whose size
/// follows from the file's own resolution (300 dpi when it records none).
/// A file finer than (outDpiX, outDpiY) is area-averaged down to it first.
/// Null when the file cannot be read or is unreasonably large.
std::unique_ptr<Sheet> LoadImageSheet(const std::string& path, double outDpiX, double outDpiY);

/// Resolution recorded in a BMP, PNG or JFIF file, or {0, 0} when there is
/// none or it is implausible.
std::pair<double, double> RecordedDpi(const std::string& path);

}  // namespace vantor_sim
