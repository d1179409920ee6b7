// Internals of the filter library: the image view every filter works on, the
// kernel description, the work rows and the individual filters. Nothing here
// is exported; FilterProcess (filter_process.cpp) is the only way in.
#pragma once

#include <cstddef>
#include <cstdint>

namespace px::filter {

/// An image of `rows` rows of `rowLength` bytes, top row first, no gaps.
/// `step` is the distance between the same channel of neighbouring pixels
/// (1 gray, 3 colour); `used` is the number of bytes of each row that belong
/// to whole pixels (a colour row whose length is not a multiple of 3 keeps
/// its trailing bytes untouched).
struct Plane {
  unsigned char* data = nullptr;
  int rows = 0;
  int rowLength = 0;
  int step = 1;
  int used = 0;

  unsigned char* Row(int y) const {
    return data + static_cast<std::ptrdiff_t>(y) * static_cast<std::ptrdiff_t>(rowLength);
  }
};

/// How the weighted sum of a kernel becomes the new value.
enum class KernelKind {
  kNormalised,   // divided by the sum of the weights when that sum is not 0
  kUnsharpTwice  // centre + 2 x sum, not divided
};

/// A 3 x 3 kernel. Weights are in the order the neighbours are added: row
/// above left to right, own row left to right, row below left to right.
struct Kernel {
  float weight[9];
  float weightSum;
  KernelKind kind;
};

/// A kernel with one weight for the four corners, one for the four direct
/// neighbours and one for the centre.
Kernel MakeKernel(float corner, float edge, float centre, KernelKind kind = KernelKind::kNormalised);

/// The two work rows of one call, each `rowLength` bytes.
struct WorkRows {
  unsigned char* previous = nullptr;
  unsigned char* current = nullptr;
};

/// Which loops run: the plain ones or the AVX2 ones. Chosen once from the
/// processor; tests switch it to compare the two.
enum class Cpu { kScalar, kAvx2 };
Cpu ActiveCpu();
/// Selects the loops; a level the processor lacks falls back to kScalar.
/// Returns the level now in use.
Cpu SelectCpu(Cpu wanted);
bool CpuHasAvx2();

/// One value of a kernel pass from its nine neighbours (reference order).
inline unsigned char KernelValue(const Kernel& k, const unsigned char n[9]) {
  float s = k.weight[0] * static_cast<float>(n[0]);
  for (int i = 1; i < 9; ++i) s = s + k.weight[i] * static_cast<float>(n[i]);
  if (k.kind == KernelKind::kUnsharpTwice) {
    s = static_cast<float>(n[4]) + 2.0f * s;
  } else if (k.weightSum != 0.0f) {
    s = s / k.weightSum;
  }
  if (!(s > 0.0f)) return 0;
  if (s > 255.0f) return 255;
  return static_cast<unsigned char>(static_cast<int>(s));
}

// Filters. Each expects a plane with rows >= 1 and used >= step (checked by
// the dispatcher) and touches only the used bytes of the rows.
void KernelPass(const Plane& image, const Kernel& kernel, WorkRows& work);
void MedianPass(const Plane& image, WorkRows& work);
void Sharpen(const Plane& image);
void Emboss(const Plane& image);
/// Complements `bytes` bytes.
void Invert(unsigned char* data, std::size_t bytes);
/// Mirrors each row; mode 0 also reverses the bits of every byte.
void Flip(const Plane& image, int mode);

/// Sends one diagnostic line to whoever listens on "DBMonitor"; dropped
/// otherwise.
void TraceLine(const char* text);
/// Filter 19: three passes, traced.
void Descreen(const Plane& image, WorkRows& work);

/// The whole dispatcher behind FilterProcess. Always returns 1.
int RunFilter(int number, unsigned char* image, int mode, int rows, int rowLength);

// Row loops shared by the kernel and median passes (kernel_pass.cpp).
// `above`, `own` and `below` are the three neighbour rows, `out` the row to
// write; none of them overlaps `out`.
using RowFunction = void (*)(const unsigned char* above, const unsigned char* own,
                             const unsigned char* below, unsigned char* out, int used, int step,
                             const Kernel* kernel);
/// Runs `row` over the image with the buffering of a kernel pass: the row
/// above from the previous-row buffer, the own row from the current-row copy,
/// the row below from the image, still unfiltered.
void BufferedPass(const Plane& image, WorkRows& work, RowFunction row, const Kernel* kernel);

}  // namespace px::filter
