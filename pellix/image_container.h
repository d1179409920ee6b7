// Pellix's in-memory page image: 8-bit gray (with a 256-level gray palette)
// or 24-bit colour, its file codecs (BMP, JPEG, TIFF) and the scaling and
// rotation the page list and preview need.
//
// Rows are kept bottom-up with each row padded to four bytes, the way a
// device-independent bitmap lies in memory, so a BMP file is the buffer
// behind a header and "storage order" means bottom row first. Row(0) is
// still the top row.
//
// Nothing here throws: failures, including running out of memory, are a
// false result and leave the object as it was unless stated otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class ImageContainer {
 public:
  enum class Format { None, Bmp, Jpeg, Tiff };

  /// Largest width or height accepted from a file or a caller.
  static constexpr int kMaxSide = 65535;
  /// Largest pixel buffer accepted (rows padded), checked before allocating.
  static constexpr uint64_t kMaxImageBytes = uint64_t{1} << 30;

  ImageContainer() = default;
  ImageContainer(ImageContainer&& other) noexcept;
  ImageContainer& operator=(ImageContainer&& other) noexcept;
  // Copies can fail for lack of memory; use CopyFrom.
  ImageContainer(const ImageContainer&) = delete;
  ImageContainer& operator=(const ImageContainer&) = delete;
  ~ImageContainer() = default;

  /// "bmp", "jpg" or "tif" as the last three characters of the path,
  /// compared ignoring case; anything else is Format::None.
  static Format FormatFromPath(const std::string& path);
  /// Recognises BMP, JPEG and TIFF by their signatures; None otherwise.
  static Format FormatFromContent(const uint8_t* data, size_t size);

  /// A white image of the given size; bitsPerPixel 8 (256-level gray
  /// palette) or 24. False on other depths, sizes below 1 or beyond the
  /// limits, or no memory; the old image is kept then.
  bool Create(int width, int height, int bitsPerPixel);
  /// Drops the image; IsEmpty() afterwards.
  void Clear();
  /// Deep copy; false (and this image unchanged) when memory is short.
  bool CopyFrom(const ImageContainer& other);

  bool IsEmpty() const { return !pixels_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bitsPerPixel_; }
  /// Bytes per row in memory (rows padded to 4 bytes).
  size_t Stride() const { return stride_; }
  /// y = 0 is the top row; 24-bit pixels are B, G, R. Null when empty or
  /// y is out of range.
  uint8_t* Row(int y);
  const uint8_t* Row(int y) const;

  /// Reads a file. Format None recognises the format from the content; a
  /// known format that fails to decode falls back to the content. On failure
  /// the image is left empty.
  bool Load(const std::string& path, Format format);
  /// The same from memory. maxImageBytes lowers the pixel-buffer limit
  /// (fuzzing uses a small one); it never raises it above kMaxImageBytes.
  bool LoadFromMemory(const uint8_t* data, size_t size, Format format,
                      uint64_t maxImageBytes = kMaxImageBytes);

  /// Writes the image atomically (temporary file in the same folder, then
  /// rename): false on failure with any old file intact. Format None writes
  /// nothing and fails.
  bool Save(const std::string& path, Format format) const;
  /// Encodes into `out` (replaced); false on failure or Format::None.
  bool Encode(Format format, std::string& out) const;

  /// Turns the image a quarter turn; false (image unchanged) when empty or
  /// out of memory.
  bool Rotate90(bool clockwise);

  /// The fast area-averaging shrink of thumbnails and fit-mode previews
  /// into `out`. Refuses to enlarge: false with `out` empty when the target
  /// is larger than the image in either dimension or below 1.
  bool Shrink(int width, int height, ImageContainer& out) const;
  /// Bilinear resampling to any size (up or down) into `out`.
  bool Resample(int width, int height, ImageContainer& out) const;

  /// Takes over a decoded buffer (codecs only): bottom-up rows of `stride`
  /// bytes. The caller has checked the size.
  void Adopt(std::unique_ptr<uint8_t[]> pixels, int width, int height, int bitsPerPixel,
             size_t stride);

  /// Stride of a row, or 0 when the sizes are refused (checked in 64 bits
  /// against the side and byte limits).
  static size_t CheckedStride(int width, int height, int bitsPerPixel,
                              uint64_t maxImageBytes = kMaxImageBytes);
  /// A buffer of `bytes` bytes or null, never throwing.
  static std::unique_ptr<uint8_t[]> Allocate(size_t bytes);

 private:
  std::unique_ptr<uint8_t[]> pixels_;
  int width_ = 0;
  int height_ = 0;
  int bitsPerPixel_ = 0;
  size_t stride_ = 0;
};
