// Real FFT: every size against a double-precision DFT, then the properties a transform must have.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "nsp.h"
#include "signals.h"

using vento::test::randomBlock;

namespace {

using cd = std::complex<double>;
constexpr int kMaxOrder = 10;
constexpr double kPi = 3.14159265358979323846;
constexpr float kPoison = -12345.0f;

// Runs a check at every order with a random block of that size (its seed: base + order).
template <class Check>
void forEveryOrder(int base, Check check) {
    for (int order = 0; order <= kMaxOrder; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const int n = 1 << order;
        check(order, n, randomBlock(n, base + order));
    }
}

// e^(-2 pi i j / n) for j in [0, n), so that index products can be taken mod n.
std::vector<cd> roots(int n) {
    std::vector<cd> r(n);
    for (int j = 0; j < n; ++j) r[j] = std::polar(1.0, -2.0 * kPi * j / n);
    return r;
}

// Bins 0..N/2 of a real signal.
std::vector<cd> referenceDft(const std::vector<float>& x) {
    const int n = int(x.size());
    const auto w = roots(n);
    std::vector<cd> X(n / 2 + 1);
    for (int k = 0; k <= n / 2; ++k)
        for (int j = 0; j < n; ++j) X[k] += double(x[j]) * w[(long(k) * j) % n];
    return X;
}

// Real signal of N samples from bins 0..N/2 (imaginary parts of bins 0 and N/2 ignored), over N.
std::vector<double> referenceInverse(const std::vector<float>& ccs, int n) {
    const auto w = roots(n);
    std::vector<double> x(n);
    for (int j = 0; j < n; ++j) {
        double sum = ccs[0] + (n > 1 ? ccs[n] * ((j & 1) ? -1.0 : 1.0) : 0.0);
        for (int k = 1; k < n / 2; ++k) sum += 2.0 * (cd(ccs[2 * k], ccs[2 * k + 1]) * std::conj(w[(long(k) * j) % n])).real();
        x[j] = sum / n;
    }
    return x;
}

// dst with a poisoned guard zone behind the floats the transform may write.
struct Out {
    explicit Out(int count) : count(count), buf(count + 8, kPoison) {}
    float* data() { return buf.data(); }
    float operator[](int i) const { return buf[i]; }
    bool guardIntact() const {
        return std::all_of(buf.begin() + count, buf.end(), [](float v) { return v == kPoison; });
    }
    int count;
    std::vector<float> buf;
};

std::vector<float> forward(const std::vector<float>& x, int order) {
    Out out(int(x.size()) + 2);
    nspsRealFftNip(x.data(), out.data(), order, NSP_Forw);
    EXPECT_TRUE(out.guardIntact());
    return {out.buf.begin(), out.buf.begin() + out.count};
}

std::vector<float> inverse(const std::vector<float>& X, int order) {
    Out out(1 << order);
    nspsCcsFftNip(X.data(), out.data(), order, NSP_Inv);
    EXPECT_TRUE(out.guardIntact());
    return {out.buf.begin(), out.buf.begin() + out.count};
}

double peakMagnitude(const std::vector<float>& ccs) {
    double peak = 0;
    for (size_t k = 0; k + 1 < ccs.size(); k += 2) peak = std::max(peak, std::abs(cd(ccs[k], ccs[k + 1])));
    return peak;
}

// First use of every size from several threads at once: the tables are built once, and the
// results do not depend on which thread got there first. Kept first, while nothing is planned.
TEST(RealFft, ConcurrentFirstUseGivesSameResults) {
    std::vector<std::vector<float>> results[4];
    std::vector<std::thread> threads;
    for (auto& r : results)
        threads.emplace_back([&r] {
            for (int order = 0; order <= kMaxOrder; ++order) {
                const auto X = forward(randomBlock(1 << order, 7), order);
                r.push_back(X);
                r.push_back(inverse(X, order));
            }
        });
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, results[0]);
}

TEST(RealFft, ForwardMatchesDoubleDft) {
    forEveryOrder(100, [](int order, int n, const std::vector<float>& x) {
        const auto X = forward(x, order);
        const auto ref = referenceDft(x);
        double peak = 0, err = 0;
        for (int k = 0; k <= n / 2; ++k) {
            peak = std::max(peak, std::abs(ref[k]));
            err = std::max(err, std::abs(ref[k] - cd(X[2 * k], X[2 * k + 1])));
        }
        EXPECT_LE(err, 1e-5 * peak);
        EXPECT_EQ(X[1], 0.0f);
        EXPECT_EQ(X[n + 1], 0.0f);
    });
}

TEST(RealFft, InverseMatchesDoubleInverseAndIgnoresEdgeImaginaryParts) {
    for (int order = 0; order <= kMaxOrder; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const int n = 1 << order;
        auto X = randomBlock(n + 2, 200 + order);  // im0 and im(N/2) are nonzero: must not matter
        const auto x = inverse(X, order);
        const auto ref = referenceInverse(X, n);
        double peak = 0, err = 0;
        for (int j = 0; j < n; ++j) {
            peak = std::max(peak, std::abs(ref[j]));
            err = std::max(err, std::abs(ref[j] - x[j]));
        }
        EXPECT_LE(err, 1e-5 * peak);
        X[1] = 0.0f, X[n + 1] = 0.0f;
        EXPECT_EQ(inverse(X, order), x);
    }
}

TEST(RealFft, RoundTripReturnsInput) {
    for (int order = 0; order <= kMaxOrder; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const auto x = randomBlock(1 << order, 300 + order);
        const auto back = inverse(forward(x, order), order);
        for (size_t j = 0; j < x.size(); ++j) ASSERT_NEAR(back[j], x[j], 2e-6) << "sample " << j;
    }
}

TEST(RealFft, SourceIsOnlyRead) {
    forEveryOrder(400, [](int order, int n, const std::vector<float>& x) {
        auto copy = x;
        std::vector<float> spectrum(n + 2);
        nspsRealFftNip(copy.data(), spectrum.data(), order, NSP_Forw);
        EXPECT_EQ(copy, x);
        const auto ccs = spectrum;
        std::vector<float> back(n);
        nspsCcsFftNip(spectrum.data(), back.data(), order, NSP_Inv);
        EXPECT_EQ(spectrum, ccs);
    });
}

// Callers pass any float pointer, not just vector-aligned ones.
TEST(RealFft, UnalignedBuffersGiveTheSameResults) {
    forEveryOrder(500, [](int order, int n, const std::vector<float>& x) {
        const auto X = forward(x, order);
        std::vector<float> src(n + 3), dst(n + 5, kPoison);
        std::copy(x.begin(), x.end(), src.begin() + 1);
        nspsRealFftNip(src.data() + 1, dst.data() + 3, order, NSP_Forw);
        EXPECT_TRUE(std::equal(X.begin(), X.end(), dst.begin() + 3));
        EXPECT_EQ(dst[2], kPoison);

        std::copy(X.begin(), X.end(), dst.begin() + 1);
        nspsCcsFftNip(dst.data() + 1, src.data() + 3, order, NSP_Inv);
        const auto back = inverse(X, order);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), src.begin() + 3));
    });
}

TEST(RealFft, IsLinear) {
    const float a = 0.75f, b = -2.5f;
    for (int order = 0; order <= kMaxOrder; ++order) {
        SCOPED_TRACE("order " + std::to_string(order));
        const int n = 1 << order;
        const auto x = randomBlock(n, 600 + order), y = randomBlock(n, 700 + order);
        std::vector<float> mix(n);
        for (int j = 0; j < n; ++j) mix[j] = a * x[j] + b * y[j];
        const auto X = forward(x, order), Y = forward(y, order), M = forward(mix, order);
        const double tol = 1e-5 * peakMagnitude(M) + 1e-6;
        for (int i = 0; i < n + 2; ++i) ASSERT_NEAR(M[i], a * X[i] + b * Y[i], tol) << "float " << i;
    }
}

// A unit impulse at n0 has spectrum e^(-2 pi i k n0 / N): flat at n0 = 0, a pure phase ramp otherwise
// (the time shift theorem; with linearity it covers every shifted signal). The inverse brings the
// impulse back.
TEST(RealFft, ShiftedImpulseGivesPhaseRamp) {
    for (int order = 0; order <= kMaxOrder; ++order) {
        const int n = 1 << order;
        for (int n0 : {0, 1, n / 3, n - 1}) {
            if (n0 >= n) continue;
            SCOPED_TRACE("order " + std::to_string(order) + ", impulse at " + std::to_string(n0));
            std::vector<float> x(n, 0.0f);
            x[n0] = 1.0f;
            const auto X = forward(x, order);
            for (int k = 0; k <= n / 2; ++k) {
                const cd expected = std::polar(1.0, -2.0 * kPi * double(long(k) * n0 % n) / n);
                ASSERT_NEAR(X[2 * k], expected.real(), 2e-6) << "bin " << k;
                ASSERT_NEAR(X[2 * k + 1], expected.imag(), 2e-6) << "bin " << k;
            }
            const auto back = inverse(X, order);
            for (int j = 0; j < n; ++j) ASSERT_NEAR(back[j], j == n0 ? 1.0f : 0.0f, 1e-6) << "sample " << j;
        }
    }
}

TEST(RealFft, InvalidOrderOrFlagWritesNothing) {
    const auto x = randomBlock(2048 + 2, 900);
    struct Case {
        int order, flags;
    };
    const Case forwardCases[] = {{-1, NSP_Forw}, {11, NSP_Forw}, {31, NSP_Forw}, {INT_MIN, NSP_Forw},
                                 {5, 0},         {5, NSP_Inv},   {5, NSP_Forw | NSP_Inv}, {5, -1}};
    const Case inverseCases[] = {{-1, NSP_Inv}, {11, NSP_Inv}, {INT_MAX, NSP_Inv}, {5, 0}, {5, NSP_Forw}, {5, 3}};
    for (const Case& c : forwardCases) {
        SCOPED_TRACE("forward, order " + std::to_string(c.order) + ", flags " + std::to_string(c.flags));
        std::vector<float> dst(x.size(), kPoison);
        nspsRealFftNip(x.data(), dst.data(), c.order, c.flags);
        EXPECT_TRUE(std::all_of(dst.begin(), dst.end(), [](float v) { return v == kPoison; }));
    }
    for (const Case& c : inverseCases) {
        SCOPED_TRACE("inverse, order " + std::to_string(c.order) + ", flags " + std::to_string(c.flags));
        std::vector<float> dst(x.size(), kPoison);
        nspsCcsFftNip(x.data(), dst.data(), c.order, c.flags);
        EXPECT_TRUE(std::all_of(dst.begin(), dst.end(), [](float v) { return v == kPoison; }));
    }
}

}  // namespace
