// Uniform random numbers: the stream stays within its bounds, looks uniform, restarts exactly with
// its seed, and calls that have nothing to do change nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "nsp.h"

namespace {

std::vector<float> draw(NSPSRandUniState& state, int count) {
    std::vector<float> v(static_cast<size_t>(count), -1234.0f);
    nspsbRandUni(&state, v.data(), count);
    return v;
}

std::vector<float> stream(float seed, float low, float high, int count) {
    NSPSRandUniState state;
    nspsRandUniInit(seed, low, high, &state);
    return draw(state, count);
}

TEST(RandUni, ValuesStayBetweenTheBoundsInEitherOrder) {
    const struct { float low, high; } bounds[] = {
        {-0.5f, 0.5f}, {0.5f, -0.5f}, {0.0f, 1.0f}, {-1e-30f, 1e30f}, {3.0f, 3.0f}, {-7.25f, -7.0f}};
    for (const auto& b : bounds) {
        SCOPED_TRACE(testing::Message() << "bounds " << b.low << ", " << b.high);
        float lo = std::fmin(b.low, b.high), hi = std::fmax(b.low, b.high);
        for (float v : stream(0.0f, b.low, b.high, 20000)) {
            ASSERT_GE(v, lo);
            ASSERT_LE(v, hi);
        }
    }
}

TEST(RandUni, MeanVarianceAndSpreadAreThoseOfAUniformDistribution) {
    // Fixed seed: the checks are deterministic; the bounds are several standard errors wide.
    const int n = 100000;
    std::vector<float> v = stream(0.0f, -0.5f, 0.5f, n);
    double sum = 0, sumSq = 0;
    int bins[10] = {};
    for (float x : v) {
        sum += x;
        sumSq += double(x) * x;
        ++bins[std::min(9, int((x + 0.5f) * 10))];
    }
    double mean = sum / n, variance = sumSq / n - mean * mean;
    EXPECT_NEAR(0.0, mean, 0.005);             // standard error 0.0009
    EXPECT_NEAR(1.0 / 12.0, variance, 0.002);  // 0.0833
    for (int b = 0; b < 10; ++b) EXPECT_NEAR(n / 10, bins[b], 600) << "tenth " << b;  // sd ~95
    // Successive values are not correlated.
    double lag = 0;
    for (int i = 1; i < n; ++i) lag += double(v[i]) * v[i - 1];
    EXPECT_NEAR(0.0, lag / (n - 1) / variance, 0.02);
}

TEST(RandUni, ReinitialisingRestartsTheSameSequence) {
    NSPSRandUniState state;
    nspsRandUniInit(0.0f, -1.0f, 1.0f, &state);
    std::vector<float> first = draw(state, 300);
    std::vector<float> more = draw(state, 300);
    EXPECT_NE(first, more) << "the state advances";
    nspsRandUniInit(0.0f, -1.0f, 1.0f, &state);
    EXPECT_EQ(first, draw(state, 300));
    // Drawing in pieces gives the same stream as drawing at once.
    nspsRandUniInit(0.0f, -1.0f, 1.0f, &state);
    std::vector<float> pieces = draw(state, 1);
    for (float x : draw(state, 299)) pieces.push_back(x);
    EXPECT_EQ(first, pieces);
    // Both zeros are one seed; another seed is another stream.
    EXPECT_EQ(first, stream(-0.0f, -1.0f, 1.0f, 300));
    EXPECT_NE(first, stream(1.0f, -1.0f, 1.0f, 300));
}

TEST(RandUni, SameUnitStreamScaledToAnyBounds) {
    // Bounds only scale: the stream for [-a, a] is a times the one for [-1, 1].
    std::vector<float> unit = stream(0.0f, -1.0f, 1.0f, 1000);
    std::vector<float> quarter = stream(0.0f, -0.25f, 0.25f, 1000);
    for (size_t i = 0; i < unit.size(); ++i) ASSERT_EQ(unit[i] * 0.25f, quarter[i]) << i;
}

TEST(RandUni, FirstValuesArePinnedAcrossPlatforms) {
    // The stream is integer arithmetic plus one exact scaling: these bit patterns hold everywhere.
    std::vector<float> v = stream(0.0f, 0.0f, 1.0f, 4);
    unsigned bits[4];
    std::memcpy(bits, v.data(), sizeof bits);
    const unsigned expected[4] = {0x3e8242c4u, 0x3d84f008u, 0x3e77e9b4u, 0x3ea43502u};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(expected[i], bits[i]) << "value " << i << " = " << v[i];
}

TEST(RandUni, CallsWithNothingToDoChangeNothing) {
    NSPSRandUniState state;
    nspsRandUniInit(0.0f, -1.0f, 1.0f, &state);
    NSPSRandUniState before = state;
    float sample = 42.0f;
    EXPECT_EQ(0.0f, nspsbRandUni(&state, &sample, 0));
    EXPECT_EQ(0.0f, nspsbRandUni(&state, &sample, -3));
    EXPECT_EQ(0.0f, nspsbRandUni(&state, nullptr, 8));
    EXPECT_EQ(0.0f, nspsbRandUni(nullptr, &sample, 1));
    nspsRandUniInit(0.0f, -1.0f, 1.0f, nullptr);
    EXPECT_EQ(42.0f, sample);
    EXPECT_EQ(0, std::memcmp(&before, &state, sizeof state));
    // The answer is the last value written.
    float block[5];
    EXPECT_EQ(nspsbRandUni(&state, block, 5), block[4]);
}

}  // namespace
