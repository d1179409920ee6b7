#include "pellix/output_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "pellix/image_container.h"
#include "pellix/pdf_writer.h"
#include "pellix/tiff_codec.h"
#include "platform/special_folders.h"

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
  const int n = std::snprintf(nullptr, 0, format, args...);
  if (n <= 0) return std::string();
  std::string out(size_t(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), format, args...);
  out.resize(size_t(n));
  return out;
}

}  // namespace

std::string ScanFormatExtension(int scanFormat) {
  switch (scanFormat) {
    case 0: return "bmp";
    case 1: return "jpg";
    case 2: return "tif";
    default: return "";
  }
}

std::string NextFileName(const std::string& folder, int count, int scanFormat) {
  try {
    const std::string ext = ScanFormatExtension(scanFormat);
    std::string name = Format("%sScanImage%.5d.%s", folder.c_str(), count, ext.c_str());
    for (int n = 1; px::PathExists(name) && n > 0; ++n)
      name = Format("%sScanImage%.5d(%d).%s", folder.c_str(), count, n, ext.c_str());
    return name;
  } catch (const std::exception&) {
    return std::string();
  }
}

bool SavePage(const ImageContainer& image, const std::string& path) {
  const ImageContainer::Format format = ImageContainer::FormatFromPath(path);
  if (format == ImageContainer::Format::None) return false;
  return image.Save(path, format);
}

bool WriteTiff(const std::vector<std::string>& pageFiles, const std::string& outPath) {
  if (pageFiles.empty()) return false;
  try {
    std::string tempPath;
    const int fd = pellix::CreateSiblingTemp(outPath, tempPath);
    if (fd < 0) return false;
    bool ok = false;
    {
      pellix::TiffPageWriter writer;
      ok = writer.Open(fd);
      // One container is reused for every page; a page that cannot be read
      // ends the export, so no file ever lacks a page silently.
      ImageContainer page;
      const int count = int(pageFiles.size());
      for (int i = 0; ok && i < count; ++i) {
        const std::string& path = pageFiles[size_t(i)];
        ok = page.Load(path, ImageContainer::FormatFromPath(path)) &&
             writer.AppendPage(page, i + 1, count);
      }
      ok = writer.Close() && ok;
    }
    if (!ok) {
      pellix::DiscardSiblingTemp(fd, tempPath);
      return false;
    }
    return pellix::CommitSiblingTemp(fd, tempPath, outPath);
  } catch (const std::exception&) {
    return false;
  }
}

bool WritePdf(const std::vector<std::string>& pageFiles, const std::string& outPath) {
  try {
    return pellix::WritePdfFile(pageFiles, outPath, px::TempFolder() + "/temp.jpg");
  } catch (const std::exception&) {
    return false;
  }
}

namespace pellix {

int CreateSiblingTemp(const std::string& path, std::string& tempPath) {
  tempPath = path + ".XXXXXX";
  const int fd = mkstemp(tempPath.data());
  if (fd < 0) tempPath.clear();
  return fd;
}

bool CommitSiblingTemp(int fd, const std::string& tempPath, const std::string& path) {
  struct stat st {};
  const mode_t mode = (::stat(path.c_str(), &st) == 0) ? (st.st_mode & 07777) : 0644;
  bool ok = ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(tempPath.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(tempPath.c_str());
  return ok;
}

void DiscardSiblingTemp(int fd, const std::string& tempPath) {
  ::close(fd);
  ::unlink(tempPath.c_str());
}

}  // namespace pellix
