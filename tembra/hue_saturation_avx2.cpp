// Compiled for AVX2 and entered only after a CPU check.
#define HUESAT_KERNEL HueSatAvx2Kernel
#define HUESAT_LANES 8
#include "tembra/hue_saturation_kernel.inc"

namespace tembra {
HueSatKernel HueSatAvx2Entry() { return &HueSatAvx2Kernel; }
}  // namespace tembra
