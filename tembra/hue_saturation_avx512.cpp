// Compiled for AVX-512 and entered only after a CPU check.
#define HUESAT_KERNEL HueSatAvx512Kernel
#define HUESAT_LANES 16
#include "tembra/hue_saturation_kernel.inc"

namespace tembra {
HueSatKernel HueSatAvx512Entry() { return &HueSatAvx512Kernel; }
}  // namespace tembra
