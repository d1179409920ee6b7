#include "plugins/geometrytrans/page_image.h"

#include <cstdlib>
#include <cstring>

namespace geometry {

// Samples are read as the machine's own 16-bit words; page buffers hold
// little-endian samples.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "16-bit samples are little-endian");

int MatTypeOf(int typeCode) {
  switch (typeCode) {
    case 0: return CV_8UC3;
    case 1: return CV_8UC1;
    case 2: return CV_16UC3;
    case 3: return CV_16UC1;
    default: return -1;
  }
}

std::uint64_t PageBytes(int matType, std::int64_t width, std::int64_t height) {
  if (matType < 0 || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return 0;
  const std::uint64_t bytes = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) *
                              static_cast<std::uint64_t>(CV_ELEM_SIZE(matType));
  return bytes <= kMaxBytes ? bytes : 0;
}

cv::Mat WrapPage(int typeCode, const unsigned char* image, const int* width, const int* height) {
  const int matType = MatTypeOf(typeCode);
  if (!image || !width || !height || PageBytes(matType, *width, *height) == 0) return {};
  // OpenCV headers are not const-aware; every caller only reads this matrix.
  return cv::Mat(*height, *width, matType, const_cast<unsigned char*>(image));
}

ResultBuffer::~ResultBuffer() { std::free(data_); }

bool ResultBuffer::Allocate(int matType, int width, int height) {
  const std::uint64_t bytes = PageBytes(matType, width, height);
  if (bytes == 0) return false;
  std::free(data_);
  data_ = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(bytes)));
  if (!data_) return false;
  size_ = cv::Size(width, height);
  type_ = matType;
  mat_ = cv::Mat(size_, type_, data_);
  return true;
}

unsigned char* ResultBuffer::Release() {
  if (!data_) return nullptr;
  // OpenCV reallocates a destination whose size or type it does not like;
  // the result must still end up in our own allocation.
  if (mat_.data != data_) {
    if (mat_.size() != size_ || mat_.type() != type_) return nullptr;
    mat_.copyTo(cv::Mat(size_, type_, data_));
  }
  unsigned char* data = data_;
  data_ = nullptr;
  mat_.release();
  return data;
}

void FreeResult(unsigned char* data) { std::free(data); }

}  // namespace geometry
