// Linear convolution speed: nspsConv against a direct reference loop that the compiler vectorises
// (built with -O3 and, where the compiler has them, -mavx2 -mfma, like nsp's own kernels), plus a
// sweep over kernel lengths that times nsp's direct and FFT ways apart to show where they cross.
// Method as FFTW's bench: setup timed apart (first call: plans, work space); the iteration count
// doubles until one batch lasts at least kMinBatch; the best of kRepeats batches counts.
// Two reference loops are timed and the faster one counts; its name is printed:
//   "taps":    for each tap i, y[i..i+n) += h[i] * x[0..n)   (long inner loop over the signal)
//   "samples": for each sample j, y[j..j+m) += x[j] * h[0..m) (inner loop over the kernel)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "conv_ops.h"
#include "bench_timing.h"
#include "nsp.h"

namespace {

using namespace bench;

// The reference loops. __restrict tells the compiler the arrays are apart, so it vectorises them.
__attribute__((noinline)) void refTaps(const float* __restrict x, int n, const float* __restrict h, int m,
                                       float* __restrict y) {
    std::memset(y, 0, sizeof(float) * std::size_t(n + m - 1));
    for (int i = 0; i < m; ++i) {
        const float c = h[i];
        float* __restrict out = y + i;
        for (int j = 0; j < n; ++j) out[j] += c * x[j];
    }
}

// The other loop order: the signal outer, the kernel inner (the same sum, operands swapped).
__attribute__((noinline)) void refSamples(const float* x, int n, const float* h, int m, float* y) {
    refTaps(h, m, x, n, y);
}

struct Case {
    std::vector<float> x, h, y;
    explicit Case(int n, int m) : x(n), h(m), y(n + m - 1) {
        std::mt19937 gen(unsigned(n * 31 + m));
        std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
        for (float& v : x) v = dist(gen);
        for (float& v : h) v = dist(gen);
    }
    int n() const { return int(x.size()); }
    int m() const { return int(h.size()); }
    template <class F>
    auto bind(F f) {
        return [this, f] {
            f(x.data(), n(), h.data(), m(), y.data());
            __asm__ __volatile__("" : : "r"(y.data()) : "memory");  // keep the result
        };
    }
};

void headline(int n, int m) {
    Case c(n, m);
    const auto t0 = Clock::now();
    c.bind(nspsConv)();
    const double setupUs = seconds(Clock::now() - t0) * 1e6;
    const double nsp = bestNs(c.bind(nspsConv));
    const double taps = bestNs(c.bind(refTaps)), samples = bestNs(c.bind(refSamples));
    const double ref = std::min(taps, samples);
    std::printf("%6d x %-5d %10.1f %10.1f %10.1f %8s %7.2f %8.2f %9.1f\n", n, m, nsp, taps, samples,
                taps <= samples ? "taps" : "samples", ref / nsp, double(n) * m / nsp, setupUs);
}

void sweepRow(int n, int m) {
    Case c(n, m);
    c.bind(nspsConv)();
    const double nsp = bestNs(c.bind(nspsConv));
    const double direct = bestNs(c.bind(nsp::detail::convDirect));
    const double fft = bestNs(c.bind(nsp::detail::convFft));
    const double ref = std::min(bestNs(c.bind(refTaps)), bestNs(c.bind(refSamples)));
    std::printf("%6d x %-5d %10.1f %10.1f %10.1f %10.1f %7s %7.2f\n", n, m, nsp, direct, fft, ref,
                direct <= fft ? "direct" : "fft", ref / nsp);
}

}  // namespace

int main() {
    std::printf("signal x kernel    nsp ns   taps ns  samples ns  faster  ref/nsp  MAC/ns  setup us\n");
    headline(128, 33);
    headline(1024, 33);
    headline(1024, 1024);

    std::printf("\ncrossover sweep (nsp = what nspsConv picks; direct and fft forced)\n");
    std::printf("signal x kernel    nsp ns  direct ns     fft ns     ref ns  faster ref/nsp\n");
    for (int n : {128, 1024, 4096})
        for (int m : {8, 16, 24, 32, 40, 48, 56, 64, 96, 128, 256, 1024}) {
            if (m > n) continue;
            sweepRow(n, m);
        }
    return 0;
}
