// Our libraries as compare_peers sees them: loaded at run time from a bin
// folder and reached through plain functions, so the peer program never
// includes our records next to ImageMagick's headers (both name an ImageInfo).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace px::bench {

class OurLibraries {
 public:
  OurLibraries();
  ~OurLibraries();
  /// Loads Tembra.so and Filter.so from `bin`; each may be missing.
  void Load(const std::string& bin);
  bool HaveTembra() const;
  bool HaveFilter() const;

  /// A colour tone table for brightness, contrast and gamma x 10; null when
  /// Tembra is missing. Free with FreeTable.
  void* CreateColourTable(int bits, int brightness, int contrast, int gamma);
  const std::uint16_t* Entries(const void* table) const;
  void FreeTable(void* table);
  int MapColour(void* image, int bits, int width, int height, const void* table);
  int HueSaturation(unsigned char* image, int width, int height, int hue, int saturation);
  int AutoLevel(unsigned char* image, int width, int height);
  int Filter(int number, unsigned char* image, int mode, int rows, int rowLength);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// The descreen filter's median pass on its own, from the filter library's
/// core linked into the program (the library exports no such step).
void OurMedianPass(unsigned char* image, int rows, int rowLength);

}  // namespace px::bench
