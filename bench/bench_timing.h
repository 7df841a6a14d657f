#pragma once
// Timing as the benchmarks here measure it: the iteration count doubles until one batch lasts at
// least kMinBatch, then the best of kRepeats batches counts.
#include <algorithm>
#include <chrono>

namespace bench {

using Clock = std::chrono::steady_clock;
constexpr double kMinBatch = 0.02; // seconds
constexpr int kRepeats = 7;

inline double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Iterations for one batch of at least `minBatch` seconds.
template <class F>
long batchLength(F& call, double minBatch = kMinBatch)
{
    long iters = 1;
    for (;;) {
        const auto t0 = Clock::now();
        for (long i = 0; i < iters; ++i) call();
        if (seconds(Clock::now() - t0) >= minBatch) return iters;
        iters *= 2;
    }
}

template <class F>
double batchSeconds(F& call, long iters)
{
    const auto t0 = Clock::now();
    for (long i = 0; i < iters; ++i) call();
    return seconds(Clock::now() - t0);
}

// Best time per call, in nanoseconds.
template <class F>
double bestNs(F&& call)
{
    const long n = batchLength(call);
    double best = 1e30;
    for (int r = 0; r < kRepeats; ++r) best = std::min(best, batchSeconds(call, n) / double(n));
    return best * 1e9;
}

} // namespace bench
