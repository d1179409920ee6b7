// Run-time choice between the plain loops and the AVX2 ones, so the library
// runs on any x86-64 and uses the wider registers where they exist.
#include "filter/filter_core.h"

namespace px::filter {

bool CpuHasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
  // Also called while the library's constructors run, possibly before the
  // run-time's own processor detection.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

namespace {
Cpu g_cpu = CpuHasAvx2() ? Cpu::kAvx2 : Cpu::kScalar;
}  // namespace

Cpu ActiveCpu() { return g_cpu; }

Cpu SelectCpu(Cpu wanted) {
  g_cpu = (wanted == Cpu::kAvx2 && !CpuHasAvx2()) ? Cpu::kScalar : wanted;
  return g_cpu;
}

}  // namespace px::filter
