// Convolution internals shared by conv.cpp, fir.cpp, the per-instruction-set kernels and the
// benchmarks.
#ifndef NSP_SRC_CONV_OPS_H
#define NSP_SRC_CONV_OPS_H

namespace nsp::detail {

// Inner loops of one instruction set. Spectra are handled as split planes of kp bins (kp a
// multiple of 16), which turns the complex products into plain multiply-adds.
struct ConvOps {
    // y[i] = sum_j hr[j] * xp[i + j] for i in [0, count): xp holds count + m - 1 floats.
    void (*direct)(const float* xp, const float* hr, int m, float* y, int count);
    // Interleaved bins (2 kp floats) -> re, im planes; kernels also get -im.
    void (*split)(const float* ccs, float* re, float* im, int kp);
    void (*splitKernel)(const float* ccs, float* re, float* im, float* negIm, int kp);
    // acc (+)= X * H, bin by bin; first: acc = X * H.
    void (*mac)(float* accRe, float* accIm, const float* xRe, const float* xIm, const float* hRe,
                const float* hIm, const float* hNegIm, int kp, bool first);
    // re, im planes -> interleaved bins.
    void (*merge)(const float* re, const float* im, float* ccs, int kp);
};

extern const ConvOps convOpsScalar;
extern const ConvOps convOpsSse2;  // builds with SSE2 only
extern const ConvOps convOpsAvx2;  // builds with the AVX2 kernels only
// The widest loops this CPU runs (chosen once); the FIR filters run on them too.
const ConvOps& convOps();

// The two ways nspsConv works, forced (for the benchmark's crossover sweep); arguments as
// nspsConv, already checked.
void convDirect(const float* x, int xLen, const float* h, int hLen, float* y);
void convFft(const float* x, int xLen, const float* h, int hLen, float* y);

}  // namespace nsp::detail

#endif  // NSP_SRC_CONV_OPS_H
