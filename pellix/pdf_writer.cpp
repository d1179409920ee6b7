#include "pellix/pdf_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include <hpdf.h>

#include "pellix/image_container.h"
#include "pellix/jpeg_codec.h"
#include "pellix/output_files.h"

namespace pellix {
namespace {

// Largest page side a PDF reader must accept (in points).
constexpr float kMaxPageSide = 14400.0f;
constexpr float kMinPageSide = 3.0f;

struct DocDeleter {
  void operator()(HPDF_Doc doc) const { HPDF_Free(doc); }
};
using DocPtr = std::unique_ptr<std::remove_pointer_t<HPDF_Doc>, DocDeleter>;

// A JPEG page is embedded unchanged only when libjpeg reads all of it, so a
// truncated file never ends up inside the PDF.
bool JpegFileDecodes(const std::string& path) {
  ImageContainer probe;
  std::unique_ptr<uint8_t[]> data;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const off_t size = ::lseek(fd, 0, SEEK_END);
  bool ok = size > 0 && uint64_t(size) <= (uint64_t(1) << 31) && ::lseek(fd, 0, SEEK_SET) == 0;
  if (ok) {
    data = ImageContainer::Allocate(size_t(size));
    ok = data != nullptr;
  }
  size_t got = 0;
  while (ok && got < size_t(size)) {
    const ssize_t n = ::read(fd, data.get() + got, size_t(size) - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else got += size_t(n);
  }
  ::close(fd);
  return ok && DecodeJpeg(data.get(), got, ImageContainer::kMaxImageBytes, probe);
}

HPDF_Image LoadPageImage(HPDF_Doc doc, const std::string& path, const std::string& tempJpegPath) {
  const ImageContainer::Format format = ImageContainer::FormatFromPath(path);
  if (format == ImageContainer::Format::Jpeg && JpegFileDecodes(path)) {
    if (HPDF_Image img = HPDF_LoadJpegImageFromFile(doc, path.c_str())) return img;
    // libharu reads fewer JPEG variants than libjpeg; re-encode those.
    HPDF_ResetError(doc);
  }
  ImageContainer image;
  if (!image.Load(path, format)) return nullptr;
  if (!image.Save(tempJpegPath, ImageContainer::Format::Jpeg)) return nullptr;
  return HPDF_LoadJpegImageFromFile(doc, tempJpegPath.c_str());
}

bool AddPage(HPDF_Doc doc, HPDF_Image img) {
  const float w = float(HPDF_Image_GetWidth(img));
  const float h = float(HPDF_Image_GetHeight(img));
  if (w <= 0 || h <= 0) return false;
  // One pixel is one point; only a page beyond the limit is scaled down, as
  // readers refuse larger pages.
  const float scale = std::min(1.0f, kMaxPageSide / std::max(w, h));
  // Clamped as well: w × (limit / w) may round to just above the limit.
  const float pw = std::min(w * scale, kMaxPageSide);
  const float ph = std::min(h * scale, kMaxPageSide);
  HPDF_Page page = HPDF_AddPage(doc);
  if (!page) return false;
  if (HPDF_Page_SetWidth(page, std::max(pw, kMinPageSide)) != HPDF_OK) return false;
  if (HPDF_Page_SetHeight(page, std::max(ph, kMinPageSide)) != HPDF_OK) return false;
  return HPDF_Page_DrawImage(page, img, 0, 0, pw, ph) == HPDF_OK;
}

}  // namespace

bool WritePdfFile(const std::vector<std::string>& pageFiles, const std::string& outPath,
                  const std::string& tempJpegPath) {
  if (pageFiles.empty()) return false;
  DocPtr doc(HPDF_New(nullptr, nullptr));
  if (!doc) return false;
  if (HPDF_SetCompressionMode(doc.get(), HPDF_COMP_ALL) != HPDF_OK) return false;
  for (const std::string& path : pageFiles) {
    HPDF_Image img = LoadPageImage(doc.get(), path, tempJpegPath);
    if (!img || !AddPage(doc.get(), img)) return false;
  }
  // libharu writes by name; it writes into a fresh file beside the target,
  // which then replaces the target in one rename.
  std::string tempPath;
  const int fd = CreateSiblingTemp(outPath, tempPath);
  if (fd < 0) return false;
  if (HPDF_SaveToFile(doc.get(), tempPath.c_str()) != HPDF_OK) {
    DiscardSiblingTemp(fd, tempPath);
    return false;
  }
  return CommitSiblingTemp(fd, tempPath, outPath);
}

}  // namespace pellix
