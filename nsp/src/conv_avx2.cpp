// AVX2 + FMA convolution loops; called only after cpuHasAvx2() said yes (see fft_avx2.cpp).
#include "conv_kernel.h"

namespace nsp::detail {

const ConvOps convOpsAvx2 = ConvKernels<Avx>::ops;

}  // namespace nsp::detail
