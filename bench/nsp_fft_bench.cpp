// Real FFT speed, nsp against FFTW (single precision, out of place, FFTW_MEASURE), same run.
// Method as FFTW's own bench: setup timed apart; the iteration count doubles until one batch
// lasts at least kMinBatch; the best of kRepeats batches counts. Rate: 2.5 N log2 N / t(us).
#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bench_timing.h"
#include "nsp.h"

namespace {

using namespace bench;
constexpr double kGoal = 1.5;       // nsp time / FFTW time, sizes 64..1024, both directions

// Best time per call in ns of a and of b. Their batches alternate, so that both see the same
// machine (other load, clock changes).
template <class A, class B>
std::pair<double, double> timePerCall(A&& a, B&& b) {
    const long na = batchLength(a), nb = batchLength(b);
    double bestA = 1e30, bestB = 1e30;
    for (int r = 0; r < kRepeats; ++r) {
        bestA = std::min(bestA, batchSeconds(a, na) / double(na));
        bestB = std::min(bestB, batchSeconds(b, nb) / double(nb));
    }
    return {bestA * 1e9, bestB * 1e9};
}

template <class F>
double setupMicros(F&& setup) {
    const auto t0 = Clock::now();
    setup();
    return seconds(Clock::now() - t0) * 1e6;
}

double mflops(int n, double ns) { return 2.5 * n * std::log2(double(n)) / (ns * 1e-3); }

struct Row {
    int n;
    const char* dir;
    double nspNs, fftwNs, nspSetupUs, fftwSetupUs;
};

// One line a size and direction, and whether the goal holds at every size that counts.
void report(const std::vector<Row>& rows) {
    std::printf("%6s %4s %10s %10s %7s %10s %10s %12s %12s\n", "N", "dir", "nsp ns", "fftw ns", "ratio",
                "nsp mflops", "fftw mflops", "nsp setup us", "fftw setup us");
    std::string misses;
    for (const Row& r : rows) {
        const double ratio = r.nspNs / r.fftwNs;
        const bool held = r.n < 64 || ratio <= kGoal;
        std::printf("%6d %4s %10.1f %10.1f %7.2f %10.0f %10.0f", r.n, r.dir, r.nspNs, r.fftwNs, ratio,
                    mflops(r.n, r.nspNs), mflops(r.n, r.fftwNs));
        if (r.nspSetupUs > 0) std::printf(" %12.1f %12.1f", r.nspSetupUs, r.fftwSetupUs);
        std::printf("%s\n", held ? "" : "  <- over goal");
        if (!held) {
            char miss[32];
            std::snprintf(miss, sizeof miss, " %d %s;", r.n, r.dir);
            misses += miss;
        }
    }
    if (misses.empty())
        std::printf("goal holds: nsp <= %.1fx FFTW at every size 64..1024, both directions\n", kGoal);
    else
        std::printf("goal missed (nsp > %.1fx FFTW) at:%s\n", kGoal, misses.c_str());
}

}  // namespace

int main() {
    std::vector<Row> rows;
    std::mt19937 gen(1);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);

    for (int order = 4; order <= 10; ++order) {
        const int n = 1 << order;
        float* real = fftwf_alloc_real(n);
        float* back = fftwf_alloc_real(n);
        float* ccs = fftwf_alloc_real(n + 2);
        float* work = fftwf_alloc_real(n + 2);
        fftwf_plan fwd = nullptr, inv = nullptr;
        const double fftwSetup = setupMicros([&] {
            fwd = fftwf_plan_dft_r2c_1d(n, real, reinterpret_cast<fftwf_complex*>(ccs), FFTW_MEASURE);
            inv = fftwf_plan_dft_c2r_1d(n, reinterpret_cast<fftwf_complex*>(work), back, FFTW_MEASURE);
        });
        for (int i = 0; i < n; ++i) real[i] = dist(gen);
        const double nspSetup = setupMicros([&] { nspsRealFftNip(real, ccs, order, NSP_Forw); });
        std::copy(ccs, ccs + n + 2, work);

        const auto [nspFwd, fftwFwd] = timePerCall([&] { nspsRealFftNip(real, ccs, order, NSP_Forw); },
                                                   [&] { fftwf_execute(fwd); });
        // FFTW's c2r overwrites its input (repeated calls on the leftovers soon run into inf and
        // NaN), so each call gets a fresh copy of the spectrum, and the copy's own time is taken off.
        auto fftwInvCall = [&] {
            std::copy(ccs, ccs + n + 2, work);
            fftwf_execute(inv);
        };
        const auto [nspInv, fftwInvWithCopy] =
            timePerCall([&] { nspsCcsFftNip(ccs, back, order, NSP_Inv); }, fftwInvCall);
        const auto [copyOnly, fftwInvWithCopy2] = timePerCall(
            [&] {
                std::copy(ccs, ccs + n + 2, work);
                __asm__ __volatile__("" : : "r"(work) : "memory");  // keep the copy
            },
            fftwInvCall);
        const double fftwInv = std::min(fftwInvWithCopy, fftwInvWithCopy2) - copyOnly;
        rows.push_back({n, "fwd", nspFwd, fftwFwd, nspSetup, fftwSetup});
        rows.push_back({n, "inv", nspInv, fftwInv, 0.0, 0.0});

        fftwf_destroy_plan(fwd);
        fftwf_destroy_plan(inv);
        fftwf_free(real), fftwf_free(back), fftwf_free(ccs), fftwf_free(work);
    }

    report(rows);
    return 0;
}
