// Linear convolution: against a double-precision direct sum over many sizes (both ways of working,
// both operand orders), then the properties a convolution must have and the ways it is called.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "conv_ops.h"
#include "nsp.h"
#include "signals.h"

using vento::test::randomBlock;

// Heap allocations made by this thread while counting is on.
namespace {
thread_local bool tCounting = false;
thread_local int tAllocations = 0;
}  // namespace

// The replacements pair malloc with free; GCC cannot see that through the replaced operators.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    if (tCounting) ++tAllocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

constexpr float kPoison = -12345.0f;
// Relative L-infinity tolerance. Any |y[k]| is at most norm2(x) * norm2(h) (Cauchy-Schwarz), so
// errors are measured against that; the FFT way's error grows like eps * log2 N of it, and a few
// float roundings (eps ~ 6e-8) over transforms up to 1024 stay well inside 1e-5.
constexpr double kTol = 1e-5;

using Conv = void (*)(const float*, int, const float*, int, float*);

// Runs a check on a random signal and kernel of each pair of lengths (seeds: xSeed + n, hSeed + m).
struct Lengths {
    int n, m;
};
template <class Check>
void forLengths(std::initializer_list<Lengths> cases, unsigned xSeed, unsigned hSeed, Check check) {
    for (const auto& c : cases) {
        SCOPED_TRACE("signal " + std::to_string(c.n) + ", kernel " + std::to_string(c.m));
        check(randomBlock(c.n, xSeed + c.n), randomBlock(c.m, hSeed + c.m));
    }
}

std::vector<double> reference(const std::vector<float>& x, const std::vector<float>& h) {
    std::vector<double> y(x.size() + h.size() - 1, 0.0);
    for (size_t j = 0; j < x.size(); ++j)
        for (size_t i = 0; i < h.size(); ++i) y[j + i] += double(x[j]) * double(h[i]);
    return y;
}

double norm2(const std::vector<float>& v) {
    double s = 0;
    for (float a : v) s += double(a) * a;
    return std::sqrt(s);
}

// Calls conv with an output that has a poisoned guard zone behind it, and checks that the
// inputs were only read and the guard zone not written.
std::vector<float> convolve(const std::vector<float>& x, const std::vector<float>& h, Conv conv = nspsConv) {
    const auto xCopy = x, hCopy = h;
    const size_t count = x.size() + h.size() - 1;
    std::vector<float> out(count + 16, kPoison);
    conv(x.data(), int(x.size()), h.data(), int(h.size()), out.data());
    EXPECT_EQ(x, xCopy);
    EXPECT_EQ(h, hCopy);
    EXPECT_TRUE(std::all_of(out.begin() + count, out.end(), [](float v) { return v == kPoison; }));
    out.resize(count);
    return out;
}

// Largest error against the reference, over norm2(x) * norm2(h).
double relativeError(const std::vector<float>& x, const std::vector<float>& h, const std::vector<float>& y) {
    const auto ref = reference(x, h);
    double err = 0;
    for (size_t k = 0; k < ref.size(); ++k) err = std::max(err, std::abs(ref[k] - y[k]));
    return err / (norm2(x) * norm2(h));
}

const int kSizes[] = {1,   2,   3,   4,   5,   7,   8,   13,  16,  17,  31,   32,   33,   40,   41,  47, 63, 64,
                      65,  97,  127, 128, 129, 200, 251, 256, 257, 509, 512, 513, 761, 1021, 1024, 1025, 1100};

TEST(Conv, MatchesDoubleSumOverSizesInBothOrders) {
    for (int n : kSizes)
        for (int m : kSizes) {
            SCOPED_TRACE("signal " + std::to_string(n) + ", kernel " + std::to_string(m));
            const auto x = randomBlock(n, n * 7919u + m), h = randomBlock(m, m * 104729u + n);
            ASSERT_LE(relativeError(x, h, convolve(x, h)), kTol);
        }
}

// Whichever way nspsConv picks, the other must be right too (the choice depends on a cost model).
TEST(Conv, DirectAndFftWaysBothMatchDoubleSum) {
    forLengths({{1, 1}, {2, 2}, {128, 33}, {1024, 33}, {33, 1024}, {100, 7}, {7, 100}, {1024, 64}, {1100, 200},
                {1021, 257}, {4096, 256}, {1024, 513}, {513, 513}, {1024, 1024}},
               11, 13, [](const auto& x, const auto& h) {
                   EXPECT_LE(relativeError(x, h, convolve(x, h, nsp::detail::convDirect)), kTol) << "direct";
                   EXPECT_LE(relativeError(x, h, convolve(x, h, nsp::detail::convFft)), kTol) << "fft";
               });
}

// Long signals (many blocks), kernels past the per-thread work space (the allocating path).
TEST(Conv, LongSignalsAndLongKernels) {
    forLengths({{20000, 3}, {20000, 100}, {70000, 1024}, {5000, 1500}, {3000, 3000}, {4097, 2049}}, 21, 23,
               [](const auto& x, const auto& h) { EXPECT_LE(relativeError(x, h, convolve(x, h)), kTol); });
}

TEST(Conv, OperandOrderDoesNotMatter) {
    forLengths({{1, 50}, {5, 300}, {33, 128}, {33, 1024}, {200, 1100}, {999, 1000}}, 31, 37,
               [](const auto& x, const auto& h) {
                   const auto xh = convolve(x, h), hx = convolve(h, x);
                   const double tol = kTol * norm2(x) * norm2(h);
                   for (size_t k = 0; k < xh.size(); ++k) ASSERT_NEAR(xh[k], hx[k], tol) << "output " << k;
               });
}

// A unit impulse at d (times c) gives the other operand delayed by d (times c), exactly where the
// impulse is the kernel and the other operand is short; within tolerance elsewhere.
TEST(Conv, ScaledImpulseGivesDelayedCopy) {
    for (int n : {1, 5, 128, 1024, 3000})
        for (int d : {0, 1, 2, 40, 700}) {
            SCOPED_TRACE("signal " + std::to_string(n) + ", impulse at " + std::to_string(d));
            const auto x = randomBlock(n, 41 + n);
            for (float c : {1.0f, -2.5f}) {
                std::vector<float> h(d + 1, 0.0f);
                h[d] = c;
                const auto y = convolve(x, h);
                ASSERT_EQ(y.size(), size_t(n + d));
                const bool exact = d <= 2;
                const double tol = exact ? 0.0 : kTol * norm2(x) * std::abs(c);
                for (int k = 0; k < n + d; ++k) {
                    const float want = k < d ? 0.0f : c * x[k - d];
                    ASSERT_NEAR(y[k], want, tol) << "output " << k;
                }
            }
        }
}

TEST(Conv, InvalidArgumentsWriteNothing) {
    const auto x = randomBlock(64, 51);
    std::vector<float> y(200, kPoison);
    const struct {
        const float* x;
        int xLen;
        const float* h;
        int hLen;
        float* y;
    } cases[] = {{x.data(), 0, x.data(), 8, y.data()},      {x.data(), 8, x.data(), 0, y.data()},
                 {x.data(), -1, x.data(), 8, y.data()},     {x.data(), 8, x.data(), -5, y.data()},
                 {x.data(), INT_MIN, x.data(), 8, y.data()}, {nullptr, 8, x.data(), 8, y.data()},
                 {x.data(), 8, nullptr, 8, y.data()},       {x.data(), 8, x.data(), 8, nullptr}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        const auto& c = cases[i];
        nspsConv(c.x, c.xLen, c.h, c.hLen, c.y);
        EXPECT_TRUE(std::all_of(y.begin(), y.end(), [](float v) { return v == kPoison; }));
    }
}

// Callers pass any float pointers, not just vector-aligned ones.
TEST(Conv, UnalignedBuffersGiveTheSameResults) {
    for (int n : {33, 128, 1024})
        for (int m : {5, 33, 300}) {
            SCOPED_TRACE("signal " + std::to_string(n) + ", kernel " + std::to_string(m));
            const auto x = randomBlock(n, 61 + n), h = randomBlock(m, 67 + m);
            const auto want = convolve(x, h);
            for (int off = 1; off < 4; ++off) {
                std::vector<float> xs(n + off), hs(m + 4), ys(n + m - 1 + off, kPoison);
                std::copy(x.begin(), x.end(), xs.begin() + off);
                std::copy(h.begin(), h.end(), hs.begin() + (4 - off) % 4);
                nspsConv(xs.data() + off, n, hs.data() + (4 - off) % 4, m, ys.data() + off);
                EXPECT_TRUE(std::equal(want.begin(), want.end(), ys.begin() + off)) << "offset " << off;
                EXPECT_EQ(ys[off - 1], kPoison);
            }
        }
}

// An output laid over an input must not read back what it has already written.
TEST(Conv, OutputOverAnInputStillGivesTheConvolution) {
    for (int n : {16, 1024})
        for (int m : {3, 200}) {
            SCOPED_TRACE("signal " + std::to_string(n) + ", kernel " + std::to_string(m));
            const auto x = randomBlock(n, 71 + n), h = randomBlock(m, 73 + m);
            const auto want = convolve(x, h);
            std::vector<float> buf(n + m - 1, 0.0f);
            std::copy(x.begin(), x.end(), buf.begin());
            nspsConv(buf.data(), n, h.data(), m, buf.data());
            EXPECT_EQ(buf, want) << "over the signal";
            std::copy(h.begin(), h.end(), buf.begin() + n - 1);
            nspsConv(x.data(), n, buf.data() + n - 1, m, buf.data());
            EXPECT_EQ(buf, want) << "over the kernel's tail";
        }
}

// Threads share nothing they write: results do not depend on what other threads run meanwhile.
TEST(Conv, ConcurrentCallsGiveTheSameResults) {
    const int sizes[][2] = {{128, 33}, {1024, 33}, {1024, 1024}, {3000, 1500}, {777, 64}};
    std::vector<std::vector<float>> want;
    for (const auto& s : sizes) want.push_back(convolve(randomBlock(s[0], 81), randomBlock(s[1], 83)));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                const int i = (t + round) % int(std::size(sizes));
                const auto x = randomBlock(sizes[i][0], 81), h = randomBlock(sizes[i][1], 83);
                std::vector<float> y(x.size() + h.size() - 1);
                nspsConv(x.data(), int(x.size()), h.data(), int(h.size()), y.data());
                if (y != want[i]) ++mismatches;
            }
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

// Kernels up to 1024 points work in place, whatever the signal length; a longer one may allocate.
TEST(Conv, CommonSizesDoNotAllocate) {
    const int sizes[][2] = {{128, 33}, {1024, 33}, {4096, 1024}, {1024, 1024}, {100000, 1024}, {5, 1}, {2000, 700}};
    for (const auto& s : sizes) {
        SCOPED_TRACE("signal " + std::to_string(s[0]) + ", kernel " + std::to_string(s[1]));
        const auto x = randomBlock(s[0], 91), h = randomBlock(s[1], 93);
        std::vector<float> y(x.size() + h.size() - 1);
        nspsConv(x.data(), s[0], h.data(), s[1], y.data());  // first use: plans and work space
        tAllocations = 0;
        tCounting = true;
        nspsConv(x.data(), s[0], h.data(), s[1], y.data());
        nspsConv(h.data(), s[1], x.data(), s[0], y.data());
        tCounting = false;
        EXPECT_EQ(tAllocations, 0);
    }
}

}  // namespace
