// FIR filters: window designs in double precision, and filtering through the convolution's direct
// loops (conv_kernel.h), which already come in one build per instruction set.
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <new>

#include "conv_ops.h"
#include "nsp.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

bool validWindow(int window) { return window >= NSP_WinHamming && window <= NSP_WinRect; }

double windowAt(int window, int k, int n) {
    if (n == 1) return 1.0;
    const double a = 2.0 * kPi * k / (n - 1);
    switch (window) {
    case NSP_WinHamming: return 0.54 - 0.46 * std::cos(a);
    case NSP_WinHann: return 0.5 - 0.5 * std::cos(a);
    case NSP_WinBlackman: return 0.42 - 0.5 * std::cos(a) + 0.08 * std::cos(2.0 * a);
    default: return 1.0;
    }
}

// The ideal low pass at `cutoff`, 2 fc sinc(2 fc t), at t samples from the centre.
double idealLowpass(double cutoff, double t) {
    if (t == 0.0) return 2.0 * cutoff;
    return std::sin(2.0 * kPi * cutoff * t) / (kPi * t);
}

// |H(f)| of h[0 .. n).
double gainAt(const double* h, int n, double f) {
    std::complex<double> sum = 0.0;
    for (int k = 0; k < n; ++k) sum += h[k] * std::polar(1.0, -2.0 * kPi * f * k);
    return std::abs(sum);
}

// Windows the ideal response `ideal(t)` into h[0 .. n) and, when asked, scales it to gain 1 at
// frequency f. A gain of 0 (no such filter of n taps) leaves the design as it is.
template <class Ideal>
void design(double* h, int n, int window, bool normalize, double f, Ideal ideal) {
    const double centre = (n - 1) / 2.0;
    for (int k = 0; k < n; ++k) h[k] = windowAt(window, k, n) * ideal(k - centre);
    if (!normalize) return;
    const double gain = gainAt(h, n, f);
    if (!(gain > 0.0) || !std::isfinite(gain)) return;
    for (int k = 0; k < n; ++k) h[k] /= gain;
}

bool validCutoff(double f) { return f > 0.0 && f < 0.5; }

}  // namespace

int nspdFirLowpass(double cutoff, double* taps, int tapsLen, int window, int normalize) {
    if (!taps || tapsLen <= 0 || !validWindow(window) || !validCutoff(cutoff)) return -1;
    design(taps, tapsLen, window, normalize != 0, 0.0, [&](double t) { return idealLowpass(cutoff, t); });
    return 0;
}

int nspdFirHighpass(double cutoff, double* taps, int tapsLen, int window, int normalize) {
    if (!taps || tapsLen <= 0 || !validWindow(window) || !validCutoff(cutoff)) return -1;
    // An odd length has a whole-sample centre, where the all-pass impulse sits.
    const int n = tapsLen % 2 ? tapsLen : tapsLen - 1;
    if (n == 0) {
        taps[0] = 0.0;
        return 0;
    }
    design(taps, n, window, normalize != 0, 0.5,
           [&](double t) { return (t == 0.0 ? 1.0 : 0.0) - idealLowpass(cutoff, t); });
    if (n < tapsLen) taps[n] = 0.0;
    return 0;
}

int nspdFirBandpass(double low, double high, double* taps, int tapsLen, int window, int normalize) {
    if (!taps || tapsLen <= 0 || !validWindow(window) || !validCutoff(low) || !validCutoff(high) || !(low < high))
        return -1;
    design(taps, tapsLen, window, normalize != 0, (low + high) / 2.0,
           [&](double t) { return idealLowpass(high, t) - idealLowpass(low, t); });
    return 0;
}

namespace {

// Outputs per pass of the direct loop; the work buffer holds the delay line and one such chunk.
constexpr int kChunk = 1024;

struct FirImpl {
    int m;
    float* reversed;  // h[m - 1 - j] at j: the direct loop runs both arrays forwards
    float* line;      // m - 1 samples of delay line, then room for kChunk samples
};

float* alignUp(void* p) {
    return reinterpret_cast<float*>((reinterpret_cast<std::uintptr_t>(p) + 63) & ~std::uintptr_t(63));
}

}  // namespace

int nspsFirInit(const float* taps, int tapsLen, const float* dlyLine, NSPFirState* state) {
    if (!state) return -1;
    nspFirFree(state);
    if (!taps || tapsLen <= 0) return -1;
    const int m = tapsLen;
    // One block: the record, then both arrays on 64-byte boundaries.
    const std::size_t floats = std::size_t(m) + 16 + std::size_t(m - 1) + kChunk + 16;
    void* block = ::operator new(sizeof(FirImpl) + 64 + floats * sizeof(float), std::nothrow);
    if (!block) return -1;
    FirImpl* impl = new (block) FirImpl;
    impl->m = m;
    impl->reversed = alignUp(impl + 1);
    impl->line = alignUp(impl->reversed + m);
    for (int j = 0; j < m; ++j) impl->reversed[j] = taps[m - 1 - j];
    if (dlyLine)
        std::memcpy(impl->line, dlyLine + 1, std::size_t(m - 1) * sizeof(float));
    else
        std::memset(impl->line, 0, std::size_t(m - 1) * sizeof(float));
    state->tapsLen = m;
    state->impl = impl;
    return 0;
}

void nspsbFir(NSPFirState* state, const float* src, float* dst, int count) {
    if (!state || !state->impl || !src || !dst || count <= 0) return;
    FirImpl& f = *static_cast<FirImpl*>(state->impl);
    const nsp::detail::ConvOps& ops = nsp::detail::convOps();
    const std::size_t history = std::size_t(f.m - 1) * sizeof(float);
    // Each chunk goes behind the delay line, so that one pass of the direct loop covers every output
    // (the chunk's copy also makes filtering in place safe); the line then moves on past it.
    for (int done = 0; done < count;) {
        const int n = count - done < kChunk ? count - done : kChunk;
        std::memcpy(f.line + f.m - 1, src + done, std::size_t(n) * sizeof(float));
        ops.direct(f.line, f.reversed, f.m, dst + done, n);
        std::memmove(f.line, f.line + n, history);
        done += n;
    }
}

void nspFirFree(NSPFirState* state) {
    if (!state || !state->impl) return;
    FirImpl* impl = static_cast<FirImpl*>(state->impl);
    impl->~FirImpl();
    ::operator delete(impl);
    state->impl = nullptr;
    state->tapsLen = 0;
}
