#pragma once
// Complex (spectrum) blocks: n + 2 floats hold the n/2 + 1 bins of an n-sample transform.

namespace modkit {

// The transform order for a block of n samples: the trailing zero bits of n, at most 10. A block
// that is not a power of two, or longer than 1024 samples, is transformed over its first 2^order
// samples; 2^order then divides n (or n is a multiple of 1024), so the transform fits the block.
inline int TransformOrder(long n) noexcept
{
    int order = 0;
    while (order < 10 && (n & (1L << order)) == 0) ++order;
    return order;
}

} // namespace modkit
