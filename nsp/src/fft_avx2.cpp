// AVX2 + FMA kernels. This file alone is compiled for that instruction set; the rest of the
// library only calls in here after cpuHasAvx2() said yes.
#include "fft_kernel.h"

namespace nsp::detail {

bool cpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

void realFftAvx2(const FftPlan& p, const float* s, float* d) { FftKernels<Avx>::realFft(p, s, d); }
void ccsFftAvx2(const FftPlan& p, const float* s, float* d) { FftKernels<Avx>::ccsFft(p, s, d); }
void realFftAvx2x4(const FftPlan& p, const float* s, float* d) { FftKernels<Sse>::realFft(p, s, d); }
void ccsFftAvx2x4(const FftPlan& p, const float* s, float* d) { FftKernels<Sse>::ccsFft(p, s, d); }

}  // namespace nsp::detail
