// Uniform random numbers: PCG32 (XSH RR variant) scaled into the caller's bounds.
#include <cstdint>
#include <cstring>

#include "nsp.h"

namespace {

using u32 = std::uint32_t;
using u64 = std::uint64_t;

constexpr u64 kMultiplier = 6364136223846793005ull;
constexpr u64 kIncrement = 1442695040888963407ull;  // odd: one full-period stream for every seed

// Spreads the seed's bits over the whole state, so that near seeds start far apart.
u64 mixSeed(u64 x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

inline u32 next(u64& state) {
    u64 old = state;
    state = old * kMultiplier + kIncrement;
    u32 xorShifted = static_cast<u32>(((old >> 18) ^ old) >> 27);
    u32 rotation = static_cast<u32>(old >> 59);
    return (xorShifted >> rotation) | (xorShifted << ((32 - rotation) & 31));
}

}  // namespace

void nspsRandUniInit(float seed, float low, float high, NSPSRandUniState* state) {
    if (!state) return;
    float value = seed + 0.0f;  // -0.0 + 0.0 is +0.0: one seed for both zeros
    u32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    state->state = mixSeed(bits);
    state->low = low;
    state->span = static_cast<double>(high) - static_cast<double>(low);
}

float nspsbRandUni(NSPSRandUniState* state, float* samples, int count) {
    if (!state || !samples || count <= 0) return 0.0f;
    constexpr double kUnit = 1.0 / 16777216.0;  // 2^-24
    // Rounding may carry a value a hair past a bound whose difference is not exact in double.
    const float lo = static_cast<float>(state->span >= 0 ? state->low : state->low + state->span);
    const float hi = static_cast<float>(state->span >= 0 ? state->low + state->span : state->low);
    u64 s = state->state;
    for (int i = 0; i < count; ++i) {
        double u = static_cast<double>(next(s) >> 8) * kUnit;
        float v = static_cast<float>(state->low + state->span * u);
        samples[i] = v < lo ? lo : (v > hi ? hi : v);
    }
    state->state = s;
    return samples[count - 1];
}
