#pragma once
// Test signals made at run time (header-only: the native nsp tests use it too).
#include <random>
#include <vector>

namespace vento::test {

// n samples uniform in [-1, 1), the same for the same seed.
inline std::vector<float> randomBlock(long n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x(static_cast<size_t>(n));
    for (float& v : x) v = dist(gen);
    return x;
}

} // namespace vento::test
