#include "pellix/jpeg_codec.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "pellix/image_container.h"

namespace pellix {
namespace {

// libjpeg's own error exit calls exit(); ours jumps back to the caller, and
// warnings (corrupt data, premature end) are treated as errors too.
struct ErrorManager {
  jpeg_error_mgr base;
  jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0) longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void OutputMessage(j_common_ptr) {}

void InstallErrorManager(ErrorManager& err) {
  jpeg_std_error(&err.base);
  err.base.error_exit = ErrorExit;
  err.base.emit_message = EmitMessage;
  err.base.output_message = OutputMessage;
}

// A progressive file may hold any number of scans, each a full pass over the
// image; real encoders write about ten. Many more is an attack on our time.
constexpr int kMaxScans = 200;

void LimitScans(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxScans) longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Everything the setjmp functions change lives here, outside their frames,
// so nothing they touch is indeterminate after a jump.
struct DecodeState {
  ErrorManager err;
  jpeg_decompress_struct cinfo;
  jpeg_progress_mgr progress;
  const uint8_t* data;
  size_t size;
  uint64_t maxBytes;
  uint8_t* pixels;
  uint8_t* cmykRow;
  size_t stride;
  int width;
  int height;
  int bits;
};

bool DecodeInner(DecodeState* s) {
  if (setjmp(s->err.jump)) return false;
  jpeg_create_decompress(&s->cinfo);
  s->progress.progress_monitor = LimitScans;
  s->cinfo.progress = &s->progress;
  // The whole image must fit in the limit; libjpeg's own work memory (the
  // coefficient buffers of progressive files) gets the same bound.
  s->cinfo.mem->max_memory_to_use = long(s->maxBytes > 0x7FFFFFFF ? 0x7FFFFFFF : s->maxBytes);
  jpeg_mem_src(&s->cinfo, s->data, static_cast<unsigned long>(s->size));
  if (jpeg_read_header(&s->cinfo, TRUE) != JPEG_HEADER_OK) return false;

  const J_COLOR_SPACE in = s->cinfo.jpeg_color_space;
  bool cmyk = false;
  if (in == JCS_GRAYSCALE) {
    s->cinfo.out_color_space = JCS_GRAYSCALE;
    s->bits = 8;
  } else if (in == JCS_CMYK || in == JCS_YCCK) {
    s->cinfo.out_color_space = JCS_CMYK;
    s->bits = 24;
    cmyk = true;
  } else if (in == JCS_YCbCr || in == JCS_RGB) {
    s->cinfo.out_color_space = JCS_EXT_BGR;
    s->bits = 24;
  } else {
    return false;
  }
  if (s->cinfo.image_width > unsigned(ImageContainer::kMaxSide) ||
      s->cinfo.image_height > unsigned(ImageContainer::kMaxSide))
    return false;
  s->width = int(s->cinfo.image_width);
  s->height = int(s->cinfo.image_height);
  s->stride = ImageContainer::CheckedStride(s->width, s->height, s->bits, s->maxBytes);
  if (s->stride == 0) return false;

  jpeg_start_decompress(&s->cinfo);
  if (int(s->cinfo.output_width) != s->width || int(s->cinfo.output_height) != s->height)
    return false;
  s->pixels = new (std::nothrow) uint8_t[s->stride * size_t(s->height)];
  if (!s->pixels) return false;
  std::memset(s->pixels, 0, s->stride * size_t(s->height));
  if (cmyk) {
    s->cmykRow = new (std::nothrow) uint8_t[size_t(s->width) * 4];
    if (!s->cmykRow) return false;
  }
  // Adobe's CMYK JPEGs store the inks inverted (0 = full ink).
  const bool inverted = s->cinfo.saw_Adobe_marker;
  while (s->cinfo.output_scanline < s->cinfo.output_height) {
    const int y = int(s->cinfo.output_scanline);
    uint8_t* dst = s->pixels + size_t(s->height - 1 - y) * s->stride;
    JSAMPROW row = cmyk ? s->cmykRow : dst;
    if (jpeg_read_scanlines(&s->cinfo, &row, 1) != 1) return false;
    if (cmyk) {
      for (int x = 0; x < s->width; ++x) {
        const uint8_t* p = s->cmykRow + size_t(x) * 4;
        unsigned c = p[0], m = p[1], yy = p[2], k = p[3];
        if (!inverted) {
          c = 255 - c;
          m = 255 - m;
          yy = 255 - yy;
          k = 255 - k;
        }
        dst[3 * x] = uint8_t((yy * k + 127) / 255);
        dst[3 * x + 1] = uint8_t((m * k + 127) / 255);
        dst[3 * x + 2] = uint8_t((c * k + 127) / 255);
      }
    }
  }
  jpeg_finish_decompress(&s->cinfo);
  return true;
}

struct EncodeState {
  ErrorManager err;
  jpeg_compress_struct cinfo;
  const ImageContainer* image;
  int quality;
  unsigned char* buffer;
  unsigned long bufferSize;
};

bool EncodeInner(EncodeState* s) {
  if (setjmp(s->err.jump)) return false;
  jpeg_create_compress(&s->cinfo);
  jpeg_mem_dest(&s->cinfo, &s->buffer, &s->bufferSize);
  const ImageContainer& image = *s->image;
  s->cinfo.image_width = JDIMENSION(image.Width());
  s->cinfo.image_height = JDIMENSION(image.Height());
  const bool gray = image.BitsPerPixel() == 8;
  s->cinfo.input_components = gray ? 1 : 3;
  s->cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&s->cinfo);
  jpeg_set_quality(&s->cinfo, s->quality, TRUE);
  s->cinfo.write_JFIF_header = TRUE;
  s->cinfo.density_unit = 1;  // dots per inch
  s->cinfo.X_density = 96;
  s->cinfo.Y_density = 96;
  jpeg_start_compress(&s->cinfo, TRUE);
  while (s->cinfo.next_scanline < s->cinfo.image_height) {
    // libjpeg takes non-const rows but does not write to them.
    JSAMPROW row = const_cast<uint8_t*>(image.Row(int(s->cinfo.next_scanline)));
    jpeg_write_scanlines(&s->cinfo, &row, 1);
  }
  jpeg_finish_compress(&s->cinfo);
  return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, uint64_t maxImageBytes, ImageContainer& out) {
  out.Clear();
  if (!data || size < 4 || size > 0xFFFFFFFFu) return false;
  auto* s = new (std::nothrow) DecodeState{};
  if (!s) return false;
  InstallErrorManager(s->err);
  s->cinfo.err = &s->err.base;
  s->data = data;
  s->size = size;
  s->maxBytes = maxImageBytes;
  const bool ok = DecodeInner(s);
  jpeg_destroy_decompress(&s->cinfo);
  if (ok) out.Adopt(std::unique_ptr<uint8_t[]>(s->pixels), s->width, s->height, s->bits, s->stride);
  else delete[] s->pixels;
  delete[] s->cmykRow;
  delete s;
  return ok;
}

bool EncodeJpeg(const ImageContainer& image, int quality, std::string& out) {
  out.clear();
  if (image.IsEmpty()) return false;
  auto* s = new (std::nothrow) EncodeState{};
  if (!s) return false;
  InstallErrorManager(s->err);
  s->cinfo.err = &s->err.base;
  s->image = &image;
  s->quality = quality;
  bool ok = EncodeInner(s);
  jpeg_destroy_compress(&s->cinfo);
  if (ok) {
    try {
      out.assign(reinterpret_cast<const char*>(s->buffer), s->bufferSize);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  std::free(s->buffer);
  delete s;
  return ok;
}

}  // namespace pellix
