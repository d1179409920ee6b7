// Page buffers as OpenCV matrices: checking the caller's sizes, wrapping the
// caller's memory without copying, and allocating result buffers that
// FreeBuffer can release.
#pragma once

#include <cstddef>
#include <cstdint>

#include <opencv2/core.hpp>

namespace geometry {

/// The largest side accepted (about 20 inches at 6400 dpi) and the largest
/// buffer (2 GiB - 1, so OpenCV's int offsets never overflow).
inline constexpr int kMaxSide = 1 << 17;
inline constexpr std::uint64_t kMaxBytes = (std::uint64_t{1} << 31) - 1;

/// OpenCV element type of a type code (0..3), or -1 for any other code.
int MatTypeOf(int typeCode);

/// Bytes of a width x height page of the OpenCV type, or 0 when a side is not
/// positive, a side or the total is beyond the limits above.
std::uint64_t PageBytes(int matType, std::int64_t width, std::int64_t height);

/// The caller's page as a matrix header over its memory (no copy), or an
/// empty matrix when the arguments are unusable. Never written through.
cv::Mat WrapPage(int typeCode, const unsigned char* image, const int* width, const int* height);

/// A result page in memory from malloc, so that FreeBuffer (free) releases
/// it. Freed on destruction unless Release() handed it out.
class ResultBuffer {
 public:
  ResultBuffer() = default;
  ~ResultBuffer();
  ResultBuffer(const ResultBuffer&) = delete;
  ResultBuffer& operator=(const ResultBuffer&) = delete;

  /// Allocates a width x height page; false when the size is refused or
  /// memory is short.
  bool Allocate(int matType, int width, int height);
  /// Header over the buffer (valid while this object holds it).
  cv::Mat& Mat() { return mat_; }
  /// Gives the memory away (copying the result in first when an OpenCV call
  /// wrote elsewhere); null when nothing usable was made.
  unsigned char* Release();

 private:
  unsigned char* data_ = nullptr;
  cv::Size size_;
  int type_ = -1;
  cv::Mat mat_;
};

/// Frees memory handed out by ResultBuffer::Release.
void FreeResult(unsigned char* data);

}  // namespace geometry
