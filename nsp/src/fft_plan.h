// Tables of one real FFT size, shared by the kernels of every instruction set.
#ifndef NSP_SRC_FFT_PLAN_H
#define NSP_SRC_FFT_PLAN_H

namespace nsp::detail {

// A real FFT of N = 2m points runs as a complex FFT of m points (even samples as real parts, odd
// samples as imaginary parts) followed by a pass that splits the two spectra apart.
// The complex FFT sees its m points as w lanes of l = m/w points each (point n1 + w*n2 sits in lane
// n1 of vector n2): the l-point transforms run vertically, one per lane, by Stockham passes that
// need no reordering; then a twiddle per lane, a w x w transpose and a w-point transform across
// the lanes finish the job in natural order. All tables hold whole vectors of w floats.
struct FftPlan {
    int m = 0;            // complex points, N/2
    int w = 1;            // lanes per vector
    int l = 0;            // m / w, length of the vertical transforms
    int stages = 0;       // Stockham passes; the last one (length 4 or 2) needs no twiddles
    int stageLen[6] = {};
    const float* stageTw[6] = {};  // per p: w1, w2, w3 as re, im vectors (6 vectors)
    const float* laneTw = nullptr; // per result vector k2: W_m^(lane * k2) as re, im vectors
    const float* postTw = nullptr; // forward split, per group of w bins k: -i/2 W_N^k (re, im)
    const float* preTw = nullptr;  // inverse merge, per group of w bins k: i W_N^-k / N (re, im)
    float scale = 1;      // 1/N
};

using FftKernel = void (*)(const FftPlan&, const float* src, float* dst);

// Kernels by instruction set; src/dst as in nsp.h, m >= 2 and l >= w (the planner sees to that).
// Only those built for the target exist; fft.cpp names no other.
void realFftScalar(const FftPlan&, const float*, float*);
void ccsFftScalar(const FftPlan&, const float*, float*);
void realFftSse2(const FftPlan&, const float*, float*);
void ccsFftSse2(const FftPlan&, const float*, float*);
bool cpuHasAvx2();
void realFftAvx2(const FftPlan&, const float*, float*);    // 8 lanes
void ccsFftAvx2(const FftPlan&, const float*, float*);
void realFftAvx2x4(const FftPlan&, const float*, float*);  // 4 lanes, with FMA
void ccsFftAvx2x4(const FftPlan&, const float*, float*);

}  // namespace nsp::detail

#endif  // NSP_SRC_FFT_PLAN_H
