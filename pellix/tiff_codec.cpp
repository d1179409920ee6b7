#include "pellix/tiff_codec.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <new>

#include <tiffio.h>

#include "pellix/image_container.h"

namespace pellix {
namespace {

// Per-handle handlers return 1 so the global ones are not called; the global
// ones are silenced as well for the few messages libtiff issues without a
// handle. An error (not a warning) marks the file as damaged even where
// libtiff carries on without the broken part.
int QuietHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }
int NoteError(TIFF*, void* failed, const char*, const char*, va_list) {
  if (failed) *static_cast<bool*>(failed) = true;
  return 1;
}

void SilenceGlobalHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
  });
}

TIFFOpenOptions* MakeOptions(uint64_t maxSingleAlloc, bool* errorSeen) {
  SilenceGlobalHandlers();
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  if (!opts) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(opts, NoteError, errorSeen);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, QuietHandler, nullptr);
  if (maxSingleAlloc > 0)
    TIFFOpenOptionsSetMaxSingleMemAlloc(
        opts, tmsize_t(std::min<uint64_t>(maxSingleAlloc, uint64_t(1) << 31)));
  return opts;
}

// A read-only file in memory, or a growable one for writing.
struct MemoryFile {
  const uint8_t* readData = nullptr;
  std::string* writeData = nullptr;
  uint64_t size = 0;
  uint64_t pos = 0;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemoryFile*>(h);
  if (n <= 0 || f->pos >= f->size) return 0;
  const uint64_t count = std::min<uint64_t>(uint64_t(n), f->size - f->pos);
  const uint8_t* src = f->readData ? f->readData
                                   : reinterpret_cast<const uint8_t*>(f->writeData->data());
  std::memcpy(buf, src + f->pos, size_t(count));
  f->pos += count;
  return tmsize_t(count);
}

tmsize_t MemWrite(thandle_t h, void* buf, tmsize_t n) {
  auto* f = static_cast<MemoryFile*>(h);
  if (!f->writeData || n < 0) return -1;
  const uint64_t end = f->pos + uint64_t(n);
  try {
    if (end > f->writeData->size()) f->writeData->resize(size_t(end));
  } catch (const std::bad_alloc&) {
    return -1;
  } catch (const std::length_error&) {
    return -1;
  }
  std::memcpy(f->writeData->data() + f->pos, buf, size_t(n));
  f->pos = end;
  f->size = std::max<uint64_t>(f->size, end);
  return n;
}

toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = f->pos;
  else if (whence == SEEK_END) base = f->size;
  const uint64_t target = base + off;
  // Reading never goes past the data; writing may leave a gap that the next
  // write fills with zeros.
  if (f->readData && target > f->size) return toff_t(-1);
  if (target > (uint64_t(1) << 40)) return toff_t(-1);
  f->pos = target;
  return f->pos;
}

int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }

int MemMap(thandle_t h, void** base, toff_t* size) {
  auto* f = static_cast<MemoryFile*>(h);
  if (!f->readData) return 0;
  *base = const_cast<uint8_t*>(f->readData);
  *size = f->size;
  return 1;
}
void MemUnmap(thandle_t, void*, toff_t) {}

// A descriptor owned by the caller (the handle points at it): libtiff's
// close leaves it open so the caller can sync it before renaming.
int HandleFd(thandle_t h) { return *static_cast<int*>(h); }

tmsize_t FdRead(thandle_t h, void* buf, tmsize_t n) {
  const int fd = HandleFd(h);
  tmsize_t done = 0;
  while (done < n) {
    const ssize_t r = ::read(fd, static_cast<char*>(buf) + done, size_t(n - done));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    done += r;
  }
  return done;
}

tmsize_t FdWrite(thandle_t h, void* buf, tmsize_t n) {
  const int fd = HandleFd(h);
  tmsize_t done = 0;
  while (done < n) {
    const ssize_t r = ::write(fd, static_cast<const char*>(buf) + done, size_t(n - done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return -1;
    done += r;
  }
  return done;
}

toff_t FdSeek(thandle_t h, toff_t off, int whence) {
  const off_t r = ::lseek(HandleFd(h), off_t(off), whence);
  return r < 0 ? toff_t(-1) : toff_t(r);
}

int FdClose(thandle_t) { return 0; }

toff_t FdSize(thandle_t h) {
  const int fd = HandleFd(h);
  const off_t cur = ::lseek(fd, 0, SEEK_CUR);
  const off_t end = ::lseek(fd, 0, SEEK_END);
  ::lseek(fd, cur, SEEK_SET);
  return end < 0 ? 0 : toff_t(end);
}

int NoMap(thandle_t, void**, toff_t*) { return 0; }
void NoUnmap(thandle_t, void*, toff_t) {}

// Writes the current directory's page; rows are copied first because the
// predictor changes the buffer it is given.
bool WritePage(TIFF* tif, const ImageContainer& image, int pageNumber, int pageCount) {
  const bool gray = image.BitsPerPixel() == 8;
  const int channels = gray ? 1 : 3;
  const uint32_t width = uint32_t(image.Width());
  const uint32_t height = uint32_t(image.Height());
  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width) &&
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, channels) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, gray ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
            TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, 96.0f) &&
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, 96.0f) &&
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  if (ok && pageCount > 0) {
    char name[32];
    std::snprintf(name, sizeof name, "Page %d", pageNumber);
    ok = TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE) &&
         TIFFSetField(tif, TIFFTAG_PAGENUMBER, uint16_t(pageNumber), uint16_t(pageCount)) &&
         TIFFSetField(tif, TIFFTAG_PAGENAME, name);
  }
  // Strips of about 64 KiB keep memory small and let readers seek.
  const uint64_t rowBytes = uint64_t(width) * uint64_t(channels);
  const uint32_t rowsPerStrip = uint32_t(std::max<uint64_t>(1, 65536 / rowBytes));
  ok = ok && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
  if (!ok) return false;
  std::unique_ptr<uint8_t[]> row = ImageContainer::Allocate(size_t(rowBytes));
  if (!row) return false;
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* src = image.Row(int(y));
    if (gray) {
      std::memcpy(row.get(), src, size_t(rowBytes));
    } else {
      for (uint32_t x = 0; x < width; ++x) {
        row[3 * x] = src[3 * x + 2];
        row[3 * x + 1] = src[3 * x + 1];
        row[3 * x + 2] = src[3 * x];
      }
    }
    if (TIFFWriteScanline(tif, row.get(), y, 0) < 0) return false;
  }
  return TIFFWriteDirectory(tif) != 0;
}

bool IsGrayPalette(TIFF* tif, uint16_t bits) {
  uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || bits > 16) return false;
  const uint32_t n = 1u << bits;
  for (uint32_t i = 0; i < n; ++i)
    if (r[i] != g[i] || g[i] != b[i]) return false;
  return true;
}

bool DecodeOpen(TIFF* tif, uint64_t maxImageBytes, ImageContainer& out) {
  uint32_t width = 0, height = 0;
  uint16_t bits = 1, spp = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, sampleFormat = 1;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) ||
      !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height) ||
      !TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric))
    return false;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
  if (width < 1 || height < 1 || width > uint32_t(ImageContainer::kMaxSide) ||
      height > uint32_t(ImageContainer::kMaxSide))
    return false;
  if (sampleFormat != SAMPLEFORMAT_UINT) return false;  // floats and signed: refused

  const bool grayPhotometric =
      photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
  const bool gray = (grayPhotometric && spp >= 1) ||
                    (photometric == PHOTOMETRIC_PALETTE && IsGrayPalette(tif, bits));
  const int outBits = gray ? 8 : 24;
  const size_t stride =
      ImageContainer::CheckedStride(int(width), int(height), outBits, maxImageBytes);
  if (stride == 0) return false;

  // Gray, RGB and CMYK strips of 8 or 16 bits with interleaved samples: read
  // row by row; 16-bit samples keep their high byte, extra samples (alpha)
  // are ignored.
  uint16_t inkSet = INKSET_CMYK;
  TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkSet);
  const bool cmyk = photometric == PHOTOMETRIC_SEPARATED && inkSet == INKSET_CMYK && spp >= 4;
  const bool rgb = photometric == PHOTOMETRIC_RGB && spp >= 3;
  const bool direct = !TIFFIsTiled(tif) && (bits == 8 || bits == 16) &&
                      (spp == 1 || planar == PLANARCONFIG_CONTIG) &&
                      (grayPhotometric || rgb || cmyk);
  if (direct) {
    const size_t sampleBytes = bits / 8;
    const size_t pixelBytes = sampleBytes * spp;
    const tmsize_t lineBytes = TIFFScanlineSize(tif);
    if (lineBytes <= 0 || uint64_t(lineBytes) < uint64_t(width) * pixelBytes) return false;
    // Extra samples are ignored but still read: a line may not outgrow the
    // limit of a whole image.
    if (uint64_t(lineBytes) > std::min(maxImageBytes, ImageContainer::kMaxImageBytes))
      return false;
    std::unique_ptr<uint8_t[]> line = ImageContainer::Allocate(size_t(lineBytes));
    std::unique_ptr<uint8_t[]> pixels = ImageContainer::Allocate(stride * size_t(height));
    if (!line || !pixels) return false;
    std::memset(pixels.get(), 0, stride * size_t(height));
    auto sample = [&](uint32_t x, size_t s) -> unsigned {
      const uint8_t* p = line.get() + x * pixelBytes + s * sampleBytes;
      if (sampleBytes == 1) return p[0];
      uint16_t v;
      std::memcpy(&v, p, 2);  // libtiff hands out native byte order
      return v >> 8;
    };
    // Rows stored from the bottom or columns from the right are put upright;
    // transposed layouts (orientations 5 to 8) are read as stored.
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    const bool fromBottom =
        orientation == ORIENTATION_BOTLEFT || orientation == ORIENTATION_BOTRIGHT;
    const bool fromRight =
        orientation == ORIENTATION_TOPRIGHT || orientation == ORIENTATION_BOTRIGHT;
    for (uint32_t y = 0; y < height; ++y) {
      if (TIFFReadScanline(tif, line.get(), y, 0) < 0) return false;
      // Storage row 0 of the container is the bottom row.
      uint8_t* dst = pixels.get() + size_t(fromBottom ? y : height - 1 - y) * stride;
      for (uint32_t stored = 0; stored < width; ++stored) {
        const uint32_t x = fromRight ? width - 1 - stored : stored;
        if (grayPhotometric) {
          const unsigned v = sample(stored, 0);
          dst[x] = uint8_t(photometric == PHOTOMETRIC_MINISWHITE ? 255 - v : v);
        } else if (rgb) {
          dst[3 * x] = uint8_t(sample(stored, 2));
          dst[3 * x + 1] = uint8_t(sample(stored, 1));
          dst[3 * x + 2] = uint8_t(sample(stored, 0));
        } else {
          const unsigned k = 255 - sample(stored, 3);
          dst[3 * x] = uint8_t(((255 - sample(stored, 2)) * k + 127) / 255);
          dst[3 * x + 1] = uint8_t(((255 - sample(stored, 1)) * k + 127) / 255);
          dst[3 * x + 2] = uint8_t(((255 - sample(stored, 0)) * k + 127) / 255);
        }
      }
    }
    out.Adopt(std::move(pixels), int(width), int(height), outBits, stride);
    return true;
  }

  // Everything else through libtiff's RGBA reader, bounded like the image.
  char message[1024];
  if (!TIFFRGBAImageOK(tif, message)) return false;
  const uint64_t rasterBytes = uint64_t(width) * height * 4;
  if (rasterBytes > std::min(maxImageBytes, ImageContainer::kMaxImageBytes) * 2) return false;
  std::unique_ptr<uint8_t[]> pixels = ImageContainer::Allocate(stride * size_t(height));
  if (!pixels) return false;
  std::unique_ptr<uint32_t[]> raster(new (std::nothrow) uint32_t[size_t(width) * height]);
  if (!raster) return false;
  if (!TIFFReadRGBAImageOriented(tif, width, height, raster.get(), ORIENTATION_TOPLEFT, 1))
    return false;
  std::memset(pixels.get(), 0, stride * size_t(height));
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t* src = raster.get() + size_t(y) * width;
    uint8_t* dst = pixels.get() + size_t(height - 1 - y) * stride;
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t p = src[x];
      if (gray) {
        dst[x] = uint8_t(TIFFGetR(p));
      } else {
        dst[3 * x] = uint8_t(TIFFGetB(p));
        dst[3 * x + 1] = uint8_t(TIFFGetG(p));
        dst[3 * x + 2] = uint8_t(TIFFGetR(p));
      }
    }
  }
  out.Adopt(std::move(pixels), int(width), int(height), outBits, stride);
  return true;
}

}  // namespace

bool DecodeTiff(const uint8_t* data, size_t size, uint64_t maxImageBytes, ImageContainer& out) {
  out.Clear();
  if (!data || size < 8) return false;
  MemoryFile file;
  file.readData = data;
  file.size = size;
  bool errorSeen = false;
  TIFFOpenOptions* opts =
      MakeOptions(std::min(maxImageBytes, ImageContainer::kMaxImageBytes) * 2, &errorSeen);
  if (!opts) return false;
  TIFF* tif = TIFFClientOpenExt("memory", "r", &file, MemRead, MemWrite, MemSeek, MemClose,
                                MemSize, MemMap, MemUnmap, opts);
  TIFFOpenOptionsFree(opts);
  if (!tif) return false;
  bool ok = false;
  try {
    ok = DecodeOpen(tif, maxImageBytes, out);
  } catch (...) {
    ok = false;
  }
  TIFFClose(tif);
  if (errorSeen) ok = false;
  if (!ok) out.Clear();
  return ok;
}

bool EncodeTiff(const ImageContainer& image, std::string& out) {
  out.clear();
  if (image.IsEmpty()) return false;
  MemoryFile file;
  file.writeData = &out;
  bool errorSeen = false;
  TIFFOpenOptions* opts = MakeOptions(0, &errorSeen);
  if (!opts) return false;
  TIFF* tif = TIFFClientOpenExt("memory", "w", &file, MemRead, MemWrite, MemSeek, MemClose,
                                MemSize, MemMap, MemUnmap, opts);
  TIFFOpenOptionsFree(opts);
  if (!tif) return false;
  bool ok = WritePage(tif, image, 0, 0);
  if (TIFFFlush(tif) != 1) ok = false;
  TIFFClose(tif);
  if (errorSeen) ok = false;
  // TIFFClose writes nothing more after the directory; a failed page
  // leaves a partial buffer that is not handed out.
  if (!ok) out.clear();
  return ok;
}

TiffPageWriter::~TiffPageWriter() {
  if (tif_) TIFFClose(tif_);
}

bool TiffPageWriter::Open(int fd) {
  if (tif_ || fd < 0) return false;
  fd_ = fd;
  failed_ = false;
  TIFFOpenOptions* opts = MakeOptions(0, &failed_);
  if (!opts) return false;
  tif_ = TIFFClientOpenExt("export", "w", &fd_, FdRead, FdWrite, FdSeek, FdClose, FdSize, NoMap,
                           NoUnmap, opts);
  TIFFOpenOptionsFree(opts);
  return tif_ != nullptr;
}

bool TiffPageWriter::AppendPage(const ImageContainer& image, int pageNumber, int pageCount) {
  if (!tif_ || failed_ || image.IsEmpty()) return false;
  if (!WritePage(tif_, image, pageNumber, pageCount)) failed_ = true;
  return !failed_;
}

bool TiffPageWriter::Close() {
  if (!tif_) return false;
  // Flush reports a failed final write, which TIFFClose would swallow.
  if (TIFFFlush(tif_) != 1) failed_ = true;
  TIFFClose(tif_);
  tif_ = nullptr;
  return !failed_;
}

}  // namespace pellix
