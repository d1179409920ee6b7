// TIFF reading and writing for ImageContainer over libtiff. libtiff's error
// and warning messages are swallowed: a failure is a false result, never
// text on standard error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ImageContainer;
struct tiff;

namespace pellix {

/// Decodes the first page. Gray, RGB and CMYK strips of 8 or 16 bits are read
/// directly; other layouts (bilevel, palette, YCbCr, tiles, planes) go through
/// libtiff's RGBA reader and become 8-bit when the page is gray, else 24-bit.
bool DecodeTiff(const uint8_t* data, size_t size, uint64_t maxImageBytes, ImageContainer& out);

/// One page, LZW with the horizontal predictor, 96 dpi.
bool EncodeTiff(const ImageContainer& image, std::string& out);

/// Writes pages one after another into an open file descriptor that the
/// caller owns (and closes). Each page is one directory.
class TiffPageWriter {
 public:
  TiffPageWriter() = default;
  ~TiffPageWriter();
  TiffPageWriter(const TiffPageWriter&) = delete;
  TiffPageWriter& operator=(const TiffPageWriter&) = delete;

  /// Starts a TIFF at the descriptor's current (empty) file.
  bool Open(int fd);
  /// Appends a page. With pageCount > 0 the page carries page number
  /// `pageNumber` of `pageCount` and the page name "Page <pageNumber>".
  bool AppendPage(const ImageContainer& image, int pageNumber, int pageCount);
  /// Completes the file; false when any write failed.
  bool Close();

 private:
  struct tiff* tif_ = nullptr;
  int fd_ = -1;
  bool failed_ = false;
};

}  // namespace pellix
