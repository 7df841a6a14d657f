// FIR filtering speed: nspsbFir against a plain scalar loop of the same filter (the same
// coefficients, the same delay line carried from block to block), compiled in this program with
// the same flags. Each call filters one block with the filter running on, as the FIR module does.
// Method as the other benchmarks here (bench_timing.h): the best of kRepeats batches counts.
// Prints Msamples/s for both and their ratio; the goal is at least 2 in every row.
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_timing.h"
#include "nsp.h"
#include "signals.h"

namespace {

using namespace bench;

// The textbook filter: each output the sum of taps x past inputs, one multiply-add at a time. The
// input goes behind the last m - 1 samples so that the loop reads one array.
class PlainFir {
public:
    PlainFir(const std::vector<float>& h, int maxBlock) : h_(h), line_(h.size() - 1 + size_t(maxBlock), 0.0f) {}

    __attribute__((noinline)) void filter(const float* x, float* y, int n) {
        const int m = int(h_.size());
        float* line = line_.data();
        std::memcpy(line + m - 1, x, sizeof(float) * size_t(n));
        for (int i = 0; i < n; ++i) {
            float acc = 0.0f;
            for (int k = 0; k < m; ++k) acc += h_[size_t(k)] * line[i + m - 1 - k];
            y[i] = acc;
        }
        std::memmove(line, line + n, sizeof(float) * size_t(m - 1));
    }

private:
    std::vector<float> h_;
    std::vector<float> line_;
};

void row(int taps, int block) {
    const std::vector<float> h = vento::test::randomBlock(taps, unsigned(taps));
    const std::vector<float> x = vento::test::randomBlock(block, unsigned(block));
    std::vector<float> y(static_cast<size_t>(block));
    const std::vector<float> line(size_t(taps), 0.01f);

    NSPFirState state{};
    const auto t0 = Clock::now();
    nspsFirInit(h.data(), taps, line.data(), &state);
    const double setupUs = seconds(Clock::now() - t0) * 1e6;
    const double nsp = bestNs([&] {
        nspsbFir(&state, x.data(), y.data(), block);
        __asm__ __volatile__("" : : "r"(y.data()) : "memory");  // keep the result
    });
    nspFirFree(&state);

    PlainFir plain(h, block);
    const double ref = bestNs([&] {
        plain.filter(x.data(), y.data(), block);
        __asm__ __volatile__("" : : "r"(y.data()) : "memory");
    });
    std::printf("%5d %6d %12.1f %12.1f %8.2f %9.2f\n", taps, block, block * 1e3 / nsp, block * 1e3 / ref, ref / nsp,
                setupUs);
}

}  // namespace

int main() {
    std::printf(" taps  block  nsp Ms/s   plain Ms/s    ratio  setup us\n");
    for (int taps : {20, 100})
        for (int block : {128, 1024}) row(taps, block);
    return 0;
}
