#include "pellix/image_container.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "pellix/bmp_codec.h"
#include "pellix/jpeg_codec.h"
#include "pellix/tiff_codec.h"
#include "platform/ini_file.h"

namespace {

// Page files are far below this; anything larger is not one of ours.
constexpr uint64_t kMaxFileBytes = uint64_t{2} << 30;

bool ReadWholeFile(const std::string& path, std::unique_ptr<uint8_t[]>& data, size_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
            static_cast<uint64_t>(st.st_size) <= kMaxFileBytes;
  size_t got = 0;
  if (ok) {
    size = static_cast<size_t>(st.st_size);
    data = ImageContainer::Allocate(size);
    ok = data != nullptr;
  }
  while (ok && got < size) {
    const ssize_t n = ::read(fd, data.get() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // shrank while reading: decode what is there
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  size = got;
  return ok && got > 0;
}

bool DecodeAs(ImageContainer::Format format, const uint8_t* data, size_t size, uint64_t limit,
              ImageContainer& out) {
  switch (format) {
    case ImageContainer::Format::Bmp: return pellix::DecodeBmp(data, size, limit, out);
    case ImageContainer::Format::Jpeg: return pellix::DecodeJpeg(data, size, limit, out);
    case ImageContainer::Format::Tiff: return pellix::DecodeTiff(data, size, limit, out);
    case ImageContainer::Format::None: break;
  }
  return false;
}

}  // namespace

ImageContainer::ImageContainer(ImageContainer&& other) noexcept { *this = std::move(other); }

ImageContainer& ImageContainer::operator=(ImageContainer&& other) noexcept {
  if (this != &other) {
    pixels_ = std::move(other.pixels_);
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    bitsPerPixel_ = std::exchange(other.bitsPerPixel_, 0);
    stride_ = std::exchange(other.stride_, 0);
  }
  return *this;
}

ImageContainer::Format ImageContainer::FormatFromPath(const std::string& path) {
  if (path.size() < 3) return Format::None;
  std::string tail = path.substr(path.size() - 3);
  for (char& c : tail) c = static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
  if (tail == "bmp") return Format::Bmp;
  if (tail == "jpg") return Format::Jpeg;
  if (tail == "tif") return Format::Tiff;
  return Format::None;
}

ImageContainer::Format ImageContainer::FormatFromContent(const uint8_t* data, size_t size) {
  if (!data) return Format::None;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return Format::Bmp;
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return Format::Jpeg;
  if (size >= 4 && ((data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) &&
                     data[3] == 0) ||
                    (data[0] == 'M' && data[1] == 'M' && data[2] == 0 &&
                     (data[3] == 42 || data[3] == 43))))
    return Format::Tiff;
  return Format::None;
}

size_t ImageContainer::CheckedStride(int width, int height, int bitsPerPixel,
                                     uint64_t maxImageBytes) {
  if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return 0;
  if (bitsPerPixel != 8 && bitsPerPixel != 24) return 0;
  const uint64_t stride = (uint64_t(width) * uint64_t(bitsPerPixel) + 31) / 32 * 4;
  const uint64_t limit = std::min(maxImageBytes, kMaxImageBytes);
  if (stride * uint64_t(height) > limit) return 0;
  return static_cast<size_t>(stride);
}

std::unique_ptr<uint8_t[]> ImageContainer::Allocate(size_t bytes) {
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes == 0 ? 1 : bytes]);
}

bool ImageContainer::Create(int width, int height, int bitsPerPixel) {
  const size_t stride = CheckedStride(width, height, bitsPerPixel);
  if (stride == 0) return false;
  std::unique_ptr<uint8_t[]> pixels = Allocate(stride * size_t(height));
  if (!pixels) return false;
  std::memset(pixels.get(), 0xFF, stride * size_t(height));
  Adopt(std::move(pixels), width, height, bitsPerPixel, stride);
  return true;
}

void ImageContainer::Clear() {
  pixels_.reset();
  width_ = height_ = bitsPerPixel_ = 0;
  stride_ = 0;
}

bool ImageContainer::CopyFrom(const ImageContainer& other) {
  if (this == &other) return true;
  if (other.IsEmpty()) {
    Clear();
    return true;
  }
  const size_t bytes = other.stride_ * size_t(other.height_);
  std::unique_ptr<uint8_t[]> pixels = Allocate(bytes);
  if (!pixels) return false;
  std::memcpy(pixels.get(), other.pixels_.get(), bytes);
  Adopt(std::move(pixels), other.width_, other.height_, other.bitsPerPixel_, other.stride_);
  return true;
}

void ImageContainer::Adopt(std::unique_ptr<uint8_t[]> pixels, int width, int height,
                           int bitsPerPixel, size_t stride) {
  pixels_ = std::move(pixels);
  width_ = width;
  height_ = height;
  bitsPerPixel_ = bitsPerPixel;
  stride_ = stride;
}

uint8_t* ImageContainer::Row(int y) {
  if (!pixels_ || y < 0 || y >= height_) return nullptr;
  return pixels_.get() + size_t(height_ - 1 - y) * stride_;
}

const uint8_t* ImageContainer::Row(int y) const {
  if (!pixels_ || y < 0 || y >= height_) return nullptr;
  return pixels_.get() + size_t(height_ - 1 - y) * stride_;
}

bool ImageContainer::Load(const std::string& path, Format format) {
  Clear();
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;
  if (!ReadWholeFile(path, data, size)) return false;
  return LoadFromMemory(data.get(), size, format);
}

bool ImageContainer::LoadFromMemory(const uint8_t* data, size_t size, Format format,
                                    uint64_t maxImageBytes) {
  Clear();
  if (!data || size == 0) return false;
  const uint64_t limit = std::min(maxImageBytes, kMaxImageBytes);
  if (format != Format::None && DecodeAs(format, data, size, limit, *this)) return true;
  const Format byContent = FormatFromContent(data, size);
  if (byContent == Format::None || byContent == format) {
    Clear();
    return false;
  }
  if (DecodeAs(byContent, data, size, limit, *this)) return true;
  Clear();
  return false;
}

bool ImageContainer::Encode(Format format, std::string& out) const {
  out.clear();
  if (IsEmpty()) return false;
  switch (format) {
    case Format::Bmp: return pellix::EncodeBmp(*this, out);
    case Format::Jpeg: return pellix::EncodeJpeg(*this, pellix::kJpegQuality, out);
    case Format::Tiff: return pellix::EncodeTiff(*this, out);
    case Format::None: break;
  }
  return false;
}

bool ImageContainer::Save(const std::string& path, Format format) const {
  std::string encoded;
  if (!Encode(format, encoded)) return false;
  return px::WriteFileAtomically(path, encoded);
}

bool ImageContainer::Rotate90(bool clockwise) {
  if (IsEmpty()) return false;
  const int newWidth = height_;
  const int newHeight = width_;
  const size_t newStride = CheckedStride(newWidth, newHeight, bitsPerPixel_);
  if (newStride == 0) return false;
  std::unique_ptr<uint8_t[]> pixels = Allocate(newStride * size_t(newHeight));
  if (!pixels) return false;
  std::memset(pixels.get(), 0, newStride * size_t(newHeight));
  const size_t bpp = size_t(bitsPerPixel_ / 8);
  // Destination row y' (top first) gathers source column x = y' (clockwise)
  // or x = W - 1 - y' (counter-clockwise); its pixel x' comes from source
  // row H - 1 - x' (clockwise) or x' (counter-clockwise). The source rows
  // are looked up once, in the order the destination pixels need them.
  std::vector<const uint8_t*> sources;
  try {
    sources.resize(size_t(newWidth));
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int dx = 0; dx < newWidth; ++dx) sources[size_t(dx)] = Row(clockwise ? height_ - 1 - dx : dx);
  for (int dy = 0; dy < newHeight; ++dy) {
    uint8_t* dst = pixels.get() + size_t(newHeight - 1 - dy) * newStride;
    const size_t offset = size_t(clockwise ? dy : width_ - 1 - dy) * bpp;
    if (bpp == 1) {
      for (int dx = 0; dx < newWidth; ++dx) dst[dx] = sources[size_t(dx)][offset];
    } else {
      for (int dx = 0; dx < newWidth; ++dx) {
        const uint8_t* src = sources[size_t(dx)] + offset;
        dst[3 * dx] = src[0];
        dst[3 * dx + 1] = src[1];
        dst[3 * dx + 2] = src[2];
      }
    }
  }
  Adopt(std::move(pixels), newWidth, newHeight, bitsPerPixel_, newStride);
  return true;
}

bool ImageContainer::Shrink(int width, int height, ImageContainer& out) const {
  out.Clear();
  if (IsEmpty() || width < 1 || height < 1 || width > width_ || height > height_) return false;
  ImageContainer result;
  if (!result.Create(width, height, bitsPerPixel_)) return false;
  const int channels = bitsPerPixel_ / 8;
  const size_t cells = size_t(width);
  std::vector<uint64_t> sums;
  std::vector<uint64_t> counts;
  std::vector<uint32_t> cellOf;
  try {
    sums.assign(cells * size_t(channels), 0);
    counts.assign(cells, 0);
    cellOf.resize(size_t(width_));
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The cell of each source column is the same in every row: a running sum
  // grows by the target width per pixel and moves to the next cell when it
  // exceeds the source width.
  {
    uint64_t run = 0;
    uint32_t cell = 0;
    for (int x = 0; x < width_; ++x) {
      cellOf[size_t(x)] = cell;
      run += uint64_t(width);
      if (run > uint64_t(width_)) {
        ++cell;
        run -= uint64_t(width_);
      }
    }
  }
  // Rows go in storage order (bottom row first), as do the rows written.
  uint64_t rowRun = 0;
  int written = 0;
  for (int sy = 0; sy < height_; ++sy) {
    const uint8_t* src = pixels_.get() + size_t(sy) * stride_;
    for (int x = 0; x < width_; ++x) {
      const uint32_t cell = cellOf[size_t(x)];
      uint64_t* sum = &sums[size_t(cell) * size_t(channels)];
      for (int c = 0; c < channels; ++c) sum[c] += src[size_t(x) * size_t(channels) + size_t(c)];
      ++counts[cell];
    }
    rowRun += uint64_t(height);
    if (rowRun >= uint64_t(height_)) {
      rowRun -= uint64_t(height_);
      if (written < height) {
        uint8_t* dst = result.pixels_.get() + size_t(written) * result.stride_;
        for (size_t cell = 0; cell < cells; ++cell) {
          uint8_t* px = dst + cell * size_t(channels);
          if (counts[cell] == 0) {
            // Only an equal width leaves the last cell without pixels (the
            // running sum steps on at the last column); repeat its neighbour
            // instead of dividing by zero.
            for (int c = 0; c < channels; ++c) px[c] = cell > 0 ? px[c - channels] : 255;
            continue;
          }
          for (int c = 0; c < channels; ++c)
            px[c] = static_cast<uint8_t>(sums[cell * size_t(channels) + size_t(c)] / counts[cell]);
        }
        ++written;
      }
      std::fill(sums.begin(), sums.end(), 0);
      std::fill(counts.begin(), counts.end(), 0);
    }
  }
  out = std::move(result);
  return true;
}

bool ImageContainer::Resample(int width, int height, ImageContainer& out) const {
  out.Clear();
  if (IsEmpty()) return false;
  ImageContainer result;
  if (!result.Create(width, height, bitsPerPixel_)) return false;
  const int channels = bitsPerPixel_ / 8;
  // Pixel centres are mapped onto each other; weights are in 1/256ths so the
  // result does not depend on the compiler's floating point.
  struct Tap {
    int i0, i1;
    uint32_t w1;  // weight of i1, 0..256
  };
  auto taps = [](int src, int dst, std::vector<Tap>& t) {
    t.resize(size_t(dst));
    for (int i = 0; i < dst; ++i) {
      // position * 256 = ((i + 0.5) * src / dst - 0.5) * 256
      const int64_t pos = ((int64_t(2 * i + 1) * src * 256) / (2 * int64_t(dst))) - 128;
      int64_t base = pos >> 8;
      int64_t frac = pos & 255;
      if (pos < 0) {
        base = 0;
        frac = 0;
      }
      if (base >= src - 1) {
        base = src - 1;
        frac = 0;
      }
      t[size_t(i)] = Tap{int(base), int(std::min<int64_t>(base + 1, src - 1)), uint32_t(frac)};
    }
  };
  std::vector<Tap> xs, ys;
  try {
    taps(width_, width, xs);
    taps(height_, height, ys);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int y = 0; y < height; ++y) {
    const Tap ty = ys[size_t(y)];
    const uint8_t* r0 = Row(ty.i0);
    const uint8_t* r1 = Row(ty.i1);
    uint8_t* dst = result.Row(y);
    for (int x = 0; x < width; ++x) {
      const Tap tx = xs[size_t(x)];
      const size_t a = size_t(tx.i0) * size_t(channels);
      const size_t b = size_t(tx.i1) * size_t(channels);
      for (int c = 0; c < channels; ++c) {
        const uint32_t top = r0[a + size_t(c)] * (256 - tx.w1) + r0[b + size_t(c)] * tx.w1;
        const uint32_t bottom = r1[a + size_t(c)] * (256 - tx.w1) + r1[b + size_t(c)] * tx.w1;
        const uint32_t v = top * (256 - ty.w1) + bottom * ty.w1;
        dst[size_t(x) * size_t(channels) + size_t(c)] = static_cast<uint8_t>((v + 32768) >> 16);
      }
    }
  }
  out = std::move(result);
  return true;
}
