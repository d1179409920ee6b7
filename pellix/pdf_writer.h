// The PDF export over libharu.
#pragma once

#include <string>
#include <vector>

namespace pellix {

/// Writes the pages into one PDF at `outPath`, replacing it atomically.
/// A JPEG page file (by extension) that decodes cleanly is embedded as it
/// is; every other page is loaded, saved as JPEG to `tempJpegPath` and that
/// file embedded. Each page is the image's size in points, except that a
/// side beyond the format's 14400-point limit is scaled down to fit. False,
/// with nothing written, when the list is empty or any page fails.
bool WritePdfFile(const std::vector<std::string>& pageFiles, const std::string& outPath,
                  const std::string& tempJpegPath);

}  // namespace pellix
