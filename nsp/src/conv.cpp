// Linear convolution: a direct vector loop for short kernels, FFT blocks over the real FFT above
// that. The shorter operand serves as the kernel (convolution commutes).
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

#include "conv_kernel.h"
#include "fft_plan.h"
#include "nsp.h"

namespace nsp::detail {

const ConvOps convOpsScalar = ConvKernels<Scalar>::ops;
#if defined(NSP_USE_SSE2)
const ConvOps convOpsSse2 = ConvKernels<Sse>::ops;
#endif

namespace {

using i64 = std::int64_t;

const ConvOps& opsForCpu() {
#if defined(NSP_HAVE_AVX2)
    if (cpuHasAvx2()) return convOpsAvx2;
#endif
#if defined(NSP_USE_SSE2)
    return convOpsSse2;
#else
    return convOpsScalar;
#endif
}

// ---- Which way: a cost model in nanoseconds, fitted to bench/nsp_conv_bench on an AVX2 machine.
// Measured there, the direct loop wins up to about 40 taps for signals of 1024 and more, and up to
// about 56 for a 128-point signal (where a single FFT of 256 points costs about 400 ns); the model
// reproduces that. Kernels of 16 taps or fewer never reach the FFT's cost, so they skip the model.
// Narrower vectors than AVX2 make the direct loop relatively dearer, which only moves the true
// crossover down: erring towards direct there costs little.

constexpr double kFftNs[11] = {0, 0, 15, 20, 29, 25, 40, 55, 90, 180, 365};  // by order, one transform
constexpr double kDirectNsPerTap = 0.031;    // per output and tap
constexpr double kDirectNsPerOutput = 0.1;
constexpr double kMacNsPerBin = 0.12;      // one spectral product, per bin
constexpr double kMoveNsPerSample = 0.15;  // copies, padding, split and merge, overlap-add: per sample of a transform
constexpr int kAlwaysDirectTaps = 16;
constexpr int kMaxDirectTaps = 256;
constexpr int kMinOrder = 4;
constexpr int kMaxOrder = 10;

// FFT blocks: x in blocks of L, h in ph blocks of M (ph == 1: M = m; else M = L = N/2), and one
// inverse transform per output block s, which holds the spectral products of every pair of blocks
// (a, b) with a + b == s. Output block s starts at s L and is L + M - 1 long.
struct Blocks {
    int order = 0;
    int L = 0, M = 0, ph = 0;
    i64 px = 0;
};

struct Choice {
    bool direct;
    Blocks blocks;
};

i64 ceilDiv(i64 a, i64 b) { return (a + b - 1) / b; }

double fftCost(const Blocks& b) {
    const int n = 1 << b.order;
    const double steps = double(b.px + b.ph - 1);
    const double transforms = double(b.px + b.ph) + steps;
    return transforms * kFftNs[b.order] + double(b.px) * b.ph * kMacNsPerBin * (n / 2 + 1) +
           transforms * kMoveNsPerSample * n;
}

// Cheapest FFT blocking for an n-point signal and an m-point kernel (m <= n).
Blocks fftBlocks(i64 n, int m) {
    Blocks best;
    double bestCost = 0;
    for (int order = kMinOrder; order <= kMaxOrder; ++order) {
        const int size = 1 << order;
        Blocks c;
        c.order = order;
        if (m < size) {  // the whole kernel in each transform
            c.L = size - m + 1, c.M = m, c.ph = 1, c.px = ceilDiv(n, c.L);
        } else {  // kernel split too: uniform blocks of half a transform
            c.L = c.M = size / 2, c.ph = int(ceilDiv(m, c.M)), c.px = ceilDiv(n, c.L);
        }
        const double cost = fftCost(c);
        if (best.order == 0 || cost < bestCost) best = c, bestCost = cost;
    }
    return best;
}

Choice choose(i64 n, int m) {
    if (m <= kAlwaysDirectTaps) return {true, {}};
    const Blocks b = fftBlocks(n, m);
    const double outputs = double(n + m - 1);
    const bool direct = m <= kMaxDirectTaps && outputs * (m * kDirectNsPerTap + kDirectNsPerOutput) <= fftCost(b);
    return {direct, b};
}

// ---- Scratch: one per thread, enough for every kernel up to 1024 points whatever the signal;
// beyond that a call allocates.

constexpr int kChunk = 1024;  // direct: outputs per pass over a zero-padded stretch of signal
constexpr std::size_t kAlign = 16;  // floats: 64 bytes
constexpr std::size_t kTlsFloats = 12 * 1024;  // 48 KB; a 1024-point kernel needs at most about 10.4 K

float* alignUp(float* p) {
    return reinterpret_cast<float*>((reinterpret_cast<std::uintptr_t>(p) + 63) & ~std::uintptr_t(63));
}

std::size_t roundUp(std::size_t a) { return (a + kAlign - 1) & ~(kAlign - 1); }

int planeBins(int order) { return int(roundUp(std::size_t(1 << order) / 2 + 1)); }

std::size_t directFloats(int m) { return roundUp(std::size_t(m)) + roundUp(std::size_t(kChunk) + m) + kAlign; }

std::size_t fftFloats(const Blocks& b) {
    const std::size_t kp = std::size_t(planeBins(b.order)), n = std::size_t(1) << b.order;
    return (5 * std::size_t(b.ph) + 4) * kp + 2 * n + kAlign;
}

class Scratch {
public:
    explicit Scratch(std::size_t floats) {
        thread_local float tls[kTlsFloats];
        if (floats <= kTlsFloats) {
            data_ = alignUp(tls);
        } else {
            heap_.reset(new float[floats]);
            data_ = alignUp(heap_.get());
        }
    }
    float* data() const { return data_; }

private:
    std::unique_ptr<float[]> heap_;
    float* data_ = nullptr;
};

void direct(const float* x, i64 n, const float* h, int m, float* y) {
    Scratch scratch(directFloats(m));
    float* hr = scratch.data();
    float* pad = hr + roundUp(std::size_t(m));
    for (int j = 0; j < m; ++j) hr[j] = h[m - 1 - j];  // reversed: both run forwards in the loop
    const i64 total = n + m - 1;
    for (i64 k0 = 0; k0 < total; k0 += kChunk) {
        const int count = int(total - k0 < kChunk ? total - k0 : kChunk);
        const i64 first = k0 - (m - 1);  // signal index under pad[0]
        const i64 span = count + m - 1;
        const float* src = x + first;
        if (first < 0 || first + span > n) {  // an end of the signal: pad it with zeros
            const i64 lo = first < 0 ? 0 : first, hi = first + span < n ? first + span : n;
            std::memset(pad, 0, std::size_t(span) * sizeof(float));
            if (hi > lo) std::memcpy(pad + (lo - first), x + lo, std::size_t(hi - lo) * sizeof(float));
            src = pad;
        }
        convOps().direct(src, hr, m, y + k0, count);
    }
}

// len samples of src (fewer if only avail remain) into a zero-padded transform input, transformed.
void forward(const float* src, i64 avail, int len, float* in, float* bins, int order) {
    const int copy = int(avail < len ? avail : len);
    std::memcpy(in, src, std::size_t(copy) * sizeof(float));
    std::memset(in + copy, 0, std::size_t((1 << order) - copy) * sizeof(float));
    nspsRealFftNip(in, bins, order, NSP_Forw);
}

void fft(const float* x, i64 n, const float* h, int m, float* y, const Blocks& b) {
    const ConvOps& op = convOps();
    const int order = b.order, size = 1 << order, kp = planeBins(order), L = b.L, M = b.M, ph = b.ph;
    Scratch scratch(fftFloats(b));
    float* kernel = scratch.data();       // ph x (re, im, -im) planes
    float* ring = kernel + 3 * ph * kp;   // spectra of the last ph signal blocks: ph x (re, im)
    float* acc = ring + 2 * ph * kp;      // re, im
    float* bins = acc + 2 * kp;           // interleaved bins; past bin N/2 kept zero
    float* in = bins + 2 * kp;            // N
    float* out = in + size;               // N
    std::memset(bins, 0, 2 * std::size_t(kp) * sizeof(float));

    for (int j = 0; j < ph; ++j) {
        forward(h + i64(j) * M, m - i64(j) * M, M, in, bins, order);
        float* k = kernel + 3 * j * kp;
        op.splitKernel(bins, k, k + kp, k + 2 * kp, kp);
    }

    const i64 total = n + m - 1, steps = b.px + ph - 1;
    for (i64 s = 0; s < steps; ++s) {
        if (s < b.px) {
            forward(x + s * L, n - s * L, L, in, bins, order);
            float* slot = ring + 2 * (s % ph) * kp;
            op.split(bins, slot, slot + kp, kp);
        }
        const i64 jLo = s - b.px + 1 > 0 ? s - b.px + 1 : 0, jHi = s < ph - 1 ? s : ph - 1;
        for (i64 j = jLo; j <= jHi; ++j) {
            const float* xs = ring + 2 * ((s - j) % ph) * kp;
            const float* k = kernel + 3 * j * kp;
            op.mac(acc, acc + kp, xs, xs + kp, k, k + kp, k + 2 * kp, kp, j == jLo);
        }
        op.merge(acc, acc + kp, bins, kp);
        nspsCcsFftNip(bins, out, order, NSP_Inv);

        // The first M - 1 samples overlap the tail of the block before, which wrote them already.
        const i64 base = s * L;
        const i64 len = base + L + M - 1 < total ? L + M - 1 : total - base;
        const i64 overlap = s == 0 ? 0 : (M - 1 < len ? M - 1 : len);
        float* dst = y + base;
        for (i64 i = 0; i < overlap; ++i) dst[i] += out[i];
        std::memcpy(dst + overlap, out + overlap, std::size_t(len - overlap) * sizeof(float));
    }
}

bool overlaps(const float* a, i64 na, const float* b, i64 nb) {
    const std::less<const float*> lt;
    return lt(a, b + nb) && lt(b, a + na);
}

}  // namespace

const ConvOps& convOps() {
    static const ConvOps& chosen = opsForCpu();
    return chosen;
}

void convDirect(const float* x, int xLen, const float* h, int hLen, float* y) {
    if (hLen > xLen) return convDirect(h, hLen, x, xLen, y);
    direct(x, xLen, h, hLen, y);
}

void convFft(const float* x, int xLen, const float* h, int hLen, float* y) {
    if (hLen > xLen) return convFft(h, hLen, x, xLen, y);
    fft(x, xLen, h, hLen, y, fftBlocks(xLen, hLen));
}

}  // namespace nsp::detail

void nspsConv(const float* x, int xLen, const float* h, int hLen, float* y) {
    using namespace nsp::detail;
    if (!x || !h || !y || xLen <= 0 || hLen <= 0) return;
    if (hLen > xLen) std::swap(x, h), std::swap(xLen, hLen);
    const i64 total = i64(xLen) + hLen - 1;
    // An output over an input would be read after being written: go through a temporary.
    if (overlaps(y, total, x, xLen) || overlaps(y, total, h, hLen)) {
        std::unique_ptr<float[]> tmp(new float[std::size_t(total)]);
        nspsConv(x, xLen, h, hLen, tmp.get());
        std::memcpy(y, tmp.get(), std::size_t(total) * sizeof(float));
        return;
    }
    const Choice c = choose(xLen, hLen);
    if (c.direct)
        direct(x, xLen, h, hLen, y);
    else
        fft(x, xLen, h, hLen, y, c.blocks);
}
