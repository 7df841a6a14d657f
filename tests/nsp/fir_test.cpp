// FIR filters: the designs' gains where they are normalised, their stopbands and symmetry, arguments
// they refuse; filtering against a double-precision sum over the same coefficients and delay line,
// in blocks of many sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "nsp.h"
#include "signals.h"

using vento::test::randomBlock;

namespace {

constexpr double kPi = 3.14159265358979323846;

double gainAt(const std::vector<double>& h, double f) {
    std::complex<double> sum = 0.0;
    for (size_t k = 0; k < h.size(); ++k) sum += h[k] * std::polar(1.0, -2.0 * kPi * f * double(k));
    return std::abs(sum);
}

double dB(double gain) { return 20.0 * std::log10(gain); }

// The loudest gain over [from, to], sampled finely.
double loudestIn(const std::vector<double>& h, double from, double to) {
    double most = 0.0;
    for (int i = 0; i <= 2000; ++i) most = std::max(most, gainAt(h, from + (to - from) * i / 2000.0));
    return most;
}

enum Kind { Low, High, Band };

std::vector<double> designed(Kind kind, double a, double b, int n, int window = NSP_WinHamming, int normalize = 1) {
    std::vector<double> h(size_t(n), -99.0);
    int status = kind == Low ? nspdFirLowpass(b, h.data(), n, window, normalize)
               : kind == High ? nspdFirHighpass(b, h.data(), n, window, normalize)
                              : nspdFirBandpass(a, b, h.data(), n, window, normalize);
    EXPECT_EQ(0, status);
    return h;
}

TEST(FirDesign, NormalisedGainIsOneWhereEachKindPassesForOddAndEvenLengths) {
    for (int n : {5, 20, 21, 60, 100, 101}) {
        SCOPED_TRACE(testing::Message() << n << " taps");
        std::vector<double> low = designed(Low, 0, 0.2, n);
        double sum = 0;
        for (double c : low) sum += c;
        EXPECT_NEAR(1.0, sum, 1e-12);
        EXPECT_NEAR(1.0, gainAt(designed(High, 0, 0.2, n), 0.5), 1e-12);
        EXPECT_NEAR(1.0, gainAt(designed(Band, 0.05, 0.15, n), 0.1), 1e-12);
    }
}

TEST(FirDesign, CoefficientsAreSymmetricSoThePhaseIsLinear) {
    for (Kind kind : {Low, High, Band}) {
        for (int n : {20, 21}) {
            std::vector<double> h = designed(kind, 0.1, 0.3, n);
            // An even high pass is an odd one and a trailing zero.
            const int len = kind == High && n % 2 == 0 ? n - 1 : n;
            if (len < n) { EXPECT_EQ(0.0, h[size_t(n - 1)]); }
            for (int k = 0; k < len; ++k) ASSERT_NEAR(h[size_t(k)], h[size_t(len - 1 - k)], 1e-15) << kind << " " << n << " " << k;
        }
    }
}

// Each window's stopband, beyond its transition from the cut-off, on a 60-tap low pass at 0.1.
TEST(FirDesign, EachWindowReachesItsStopband) {
    const struct { int window; double widthTimesTaps, attenuation; } rows[] = {
        {NSP_WinHamming, 3.3, 50.0}, {NSP_WinHann, 3.1, 43.0}, {NSP_WinBlackman, 5.5, 73.0}, {NSP_WinRect, 0.9, 20.0}};
    const int n = 60;
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "window " << row.window);
        std::vector<double> h = designed(Low, 0, 0.1, n, row.window);
        EXPECT_LT(dB(loudestIn(h, 0.1 + row.widthTimesTaps / n, 0.5)), -row.attenuation);
        EXPECT_GT(dB(gainAt(h, 0.1 - row.widthTimesTaps / n)), -1.0) << "the passband";
    }
}

TEST(FirDesign, HighAndBandPassStopWhereTheyShould) {
    std::vector<double> high = designed(High, 0, 0.25, 61);
    EXPECT_LT(dB(loudestIn(high, 0.0, 0.25 - 3.3 / 61)), -50.0);
    EXPECT_GT(dB(gainAt(high, 0.25 + 3.3 / 61)), -1.0);
    // The band of the gain chart: 500 to 1500 Hz at 11025, 60 taps.
    const double lo = 500.0 / 11025, hi = 1500.0 / 11025;
    std::vector<double> band = designed(Band, lo, hi, 60);
    EXPECT_LT(dB(loudestIn(band, 0.0, lo - 3.3 / 60)), -45.0);
    EXPECT_LT(dB(loudestIn(band, hi + 3.3 / 60, 0.5)), -45.0);
    EXPECT_NEAR(6.0, -dB(gainAt(band, lo)), 1.0) << "the edges are about half way down";
    EXPECT_NEAR(6.0, -dB(gainAt(band, hi)), 1.0);
}

TEST(FirDesign, WithoutNormalisingTheShapeIsTheSame) {
    std::vector<double> raw = designed(Band, 0.1, 0.2, 30, NSP_WinHamming, 0);
    std::vector<double> unit = designed(Band, 0.1, 0.2, 30);
    const double scale = raw[0] / unit[0];
    EXPECT_NE(1.0, scale);
    for (size_t k = 0; k < raw.size(); ++k) EXPECT_NEAR(scale * unit[k], raw[k], 1e-14);
}

TEST(FirDesign, RefusedArgumentsWriteNothing) {
    const double nan = std::nan("");
    const struct { Kind kind; double a, b; int n, window; } rows[] = {
        {Low, 0, 0.0, 20, 0},   {Low, 0, 0.5, 20, 0},   {Low, 0, -0.1, 20, 0},  {Low, 0, nan, 20, 0},
        {High, 0, 0.5, 20, 0},  {High, 0, 0.0, 20, 0},  {Band, 0.2, 0.2, 20, 0}, {Band, 0.3, 0.2, 20, 0},
        {Band, 0.0, 0.2, 20, 0}, {Band, 0.1, 0.5, 20, 0}, {Low, 0, 0.2, 0, 0},    {Low, 0, 0.2, 20, 4},
        {High, 0, 0.2, 20, -1}};
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(testing::Message() << "row " << i);
        const auto& r = rows[i];
        std::vector<double> h(21, -99.0);
        int status = r.kind == Low ? nspdFirLowpass(r.b, h.data(), r.n, r.window, 1)
                   : r.kind == High ? nspdFirHighpass(r.b, h.data(), r.n, r.window, 1)
                                    : nspdFirBandpass(r.a, r.b, h.data(), r.n, r.window, 1);
        EXPECT_LT(status, 0);
        for (double c : h) ASSERT_EQ(-99.0, c);
    }
    EXPECT_LT(nspdFirLowpass(0.2, nullptr, 20, 0, 1), 0);
}

// --- filtering ---------------------------------------------------------------------------------

// y[i] = sum h[k] x[i - k] in double precision, the samples before x taken from the delay line
// (oldest first; a filter of m taps reaches its last m - 1 values).
std::vector<double> reference(const std::vector<float>& h, const std::vector<float>& line, const std::vector<float>& x) {
    const int m = int(h.size());
    std::vector<double> y(x.size());
    for (int i = 0; i < int(x.size()); ++i) {
        double s = 0;
        for (int k = 0; k < m; ++k) {
            const int j = i - k;
            s += double(h[size_t(k)]) * (j >= 0 ? double(x[size_t(j)]) : double(line[size_t(m + j)]));
        }
        y[size_t(i)] = s;
    }
    return y;
}

std::vector<float> filtered(const std::vector<float>& h, const std::vector<float>* line, const std::vector<float>& x,
                            int blockSize) {
    NSPFirState state{};
    EXPECT_EQ(0, nspsFirInit(h.data(), int(h.size()), line ? line->data() : nullptr, &state));
    std::vector<float> y(x.size(), -12345.0f);
    for (size_t at = 0; at < x.size(); at += size_t(blockSize)) {
        const int n = int(std::min(x.size() - at, size_t(blockSize)));
        nspsbFir(&state, x.data() + at, y.data() + at, n);
    }
    nspFirFree(&state);
    return y;
}

// Any output is at most sum |h| times the largest input, so errors are measured against that; a
// hundred taps summed in single precision stay within a few float roundings (6e-8) of it.
constexpr double kTol = 2e-6;

TEST(FirFilter, MatchesADoublePrecisionSumWhateverTheBlocksAre) {
    const std::vector<float> x = randomBlock(5000, 7);
    for (int m : {1, 2, 20, 60, 100, 1000}) {
        const std::vector<float> h = randomBlock(m, unsigned(m)), line = randomBlock(m, unsigned(m + 1));
        double bound = 0;
        for (float c : h) bound += std::fabs(c);
        const std::vector<double> want = reference(h, line, x);
        const std::vector<float> whole = filtered(h, &line, x, int(x.size()));
        for (int block : {1, 7, 128, 1000, 5000}) {
            SCOPED_TRACE(testing::Message() << m << " taps in blocks of " << block);
            const std::vector<float> got = block == int(x.size()) ? whole : filtered(h, &line, x, block);
            for (size_t i = 0; i < x.size(); ++i) {
                ASSERT_NEAR(want[i], got[i], kTol * bound) << "sample " << i;
                ASSERT_NEAR(whole[i], got[i], kTol * bound) << "sample " << i << ", against one long block";
            }
        }
    }
}

TEST(FirFilter, TheDelayLineFeedsTheFirstOutputs) {
    // Silence after a delay line of 0.01: the first m - 1 outputs hear the line, then nothing.
    const std::vector<float> h = {0.5f, 0.25f, 0.125f, 0.0625f};
    const std::vector<float> line(4, 0.01f), silence(6, 0.0f);
    const std::vector<float> y = filtered(h, &line, silence, 6);
    EXPECT_FLOAT_EQ(0.01f * (0.25f + 0.125f + 0.0625f), y[0]);
    EXPECT_FLOAT_EQ(0.01f * (0.125f + 0.0625f), y[1]);
    EXPECT_FLOAT_EQ(0.01f * 0.0625f, y[2]);
    for (size_t i = 3; i < y.size(); ++i) EXPECT_EQ(0.0f, y[i]);
    // Without one the line is silent.
    for (float v : filtered(h, nullptr, silence, 3)) EXPECT_EQ(0.0f, v);
}

TEST(FirFilter, InPlaceGivesTheSameAsApart) {
    const std::vector<float> h = randomBlock(33, 3), x = randomBlock(3000, 4);
    const std::vector<float> apart = filtered(h, nullptr, x, 1100);
    NSPFirState state{};
    ASSERT_EQ(0, nspsFirInit(h.data(), 33, nullptr, &state));
    std::vector<float> y = x;
    for (int at : {0, 1100, 2200}) nspsbFir(&state, y.data() + at, y.data() + at, std::min(1100, 3000 - at));
    nspFirFree(&state);
    EXPECT_EQ(apart, y);
}

TEST(FirFilter, CallsWithNothingToDoChangeNothing) {
    const std::vector<float> h(8, 1.0f), x(16, 1.0f);
    std::vector<float> y(16, -5.0f);
    NSPFirState state{};
    nspsbFir(&state, x.data(), y.data(), 16);  // no filter yet
    EXPECT_LT(nspsFirInit(nullptr, 8, nullptr, &state), 0);
    EXPECT_LT(nspsFirInit(h.data(), 0, nullptr, &state), 0);
    EXPECT_EQ(0, state.tapsLen);
    ASSERT_EQ(0, nspsFirInit(h.data(), 8, nullptr, &state));
    nspsbFir(&state, x.data(), y.data(), 0);
    nspsbFir(&state, x.data(), nullptr, 16);
    nspsbFir(&state, nullptr, y.data(), 16);
    for (float v : y) ASSERT_EQ(-5.0f, v);
    // A second init replaces the filter (and releases the first); a refused one leaves none.
    ASSERT_EQ(0, nspsFirInit(h.data(), 4, nullptr, &state));
    EXPECT_EQ(4, state.tapsLen);
    EXPECT_LT(nspsFirInit(h.data(), -1, nullptr, &state), 0);
    EXPECT_EQ(nullptr, state.impl);
    nspsbFir(&state, x.data(), y.data(), 16);
    for (float v : y) ASSERT_EQ(-5.0f, v);
    nspFirFree(&state);
    nspFirFree(&state);
    nspFirFree(nullptr);
}

}  // namespace
