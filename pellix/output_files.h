// Pellix's output files: the numbered page files and the multi-page TIFF and
// PDF exports of the page list. Every file is replaced atomically: a write
// that fails leaves the previous file as it was.
#pragma once

#include <string>
#include <vector>

class ImageContainer;

/// "bmp", "jpg", "tif" for ScanFormat 0, 1, 2; empty otherwise.
std::string ScanFormatExtension(int scanFormat);

/// The next page file name: folder + "ScanImage" + count (at least five
/// digits) + "." + extension, or the "(n)" form with the first n from 1 for
/// which no file exists. `folder` ends in "/".
std::string NextFileName(const std::string& folder, int count, int scanFormat);

/// Saves a page in the format its path's extension selects (last three
/// characters, any case). False when the extension names no format or the
/// write fails; any old file is then intact.
bool SavePage(const ImageContainer& image, const std::string& path);

/// All pages, in order, as one multi-page TIFF (LZW, horizontal predictor,
/// page numbers from 1, page names "Page %d"). A page that cannot be read
/// fails the whole export: nothing is written and any old file is intact.
/// False on an empty list.
bool WriteTiff(const std::vector<std::string>& pageFiles, const std::string& outPath);

/// All pages, in order, as one PDF, each page the size of its image in
/// points. JPEG page files are embedded unchanged; other pages go through
/// "temp.jpg" in the temporary folder. A page that cannot be read fails the
/// whole export: nothing is written and any old file is intact.
bool WritePdf(const std::vector<std::string>& pageFiles, const std::string& outPath);

namespace pellix {

/// A new empty file beside `path` (same folder, so a rename replaces `path`
/// in one step); its descriptor, or -1. `tempPath` receives its name.
int CreateSiblingTemp(const std::string& path, std::string& tempPath);
/// Gives the temporary file the permissions of the file it replaces (0644
/// for a new one), syncs and closes it, and renames it over `path`. On any
/// failure the temporary file is removed and `path` is untouched.
bool CommitSiblingTemp(int fd, const std::string& tempPath, const std::string& path);
/// Closes and removes a temporary file that is not wanted.
void DiscardSiblingTemp(int fd, const std::string& tempPath);

}  // namespace pellix
