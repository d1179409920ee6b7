// Which instruction sets this CPU runs, asked once; the fast kernels are
// compiled for them separately and chosen at run time.
#pragma once

namespace tembra {

/// AVX-512 F, BW, VL and VBMI (byte permutes across a whole register).
bool CpuHasAvx512Vbmi();
/// AVX2.
bool CpuHasAvx2();

}  // namespace tembra
