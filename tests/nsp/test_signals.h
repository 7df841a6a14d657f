#pragma once
// Signals the nsp tests make at run time.
#include <random>
#include <vector>

// n samples uniform in [-1, 1), the same for the same seed.
inline std::vector<float> randomSignal(int n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x(static_cast<size_t>(n));
    for (float& v : x) v = dist(gen);
    return x;
}
