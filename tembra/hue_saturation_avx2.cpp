// Compiled for AVX2 and entered only after a CPU check.
#define HUESAT_KERNEL HueSatAvx2Kernel
#define HUESAT_LANES 8
#define HUESAT_AVX2_BYTES 1
#include <immintrin.h>
#include "tembra/hue_saturation_kernel.inc"

namespace tembra {
HueSatKernel HueSatAvx2Entry() { return &HueSatAvx2Kernel; }
}  // namespace tembra
