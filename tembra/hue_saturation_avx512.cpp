// Compiled for AVX-512 and entered only after a CPU check.
#define HUESAT_KERNEL HueSatAvx512Kernel
#define HUESAT_LANES 16
#define HUESAT_AVX512_BYTES 1
#include <immintrin.h>
#include "tembra/hue_saturation_kernel.inc"

namespace tembra {
HueSatKernel HueSatAvx512Entry() { return &HueSatAvx512Kernel; }
}  // namespace tembra
