#pragma once
// SampleRing: a circular buffer of input samples (the re-blocking modules' ring, the Multiplier's
// queues). Input goes in at the write position, blocks are taken from the read position; equal
// positions mean nothing unread, so the ring holds at most size - 1 unread samples.
//
// Input the ring cannot hold never lands outside it or on unread samples: a block larger than the
// ring keeps its newest samples, and a writer that would overtake the reader drops the oldest
// unread samples by moving the read position on.
#include <vector>

namespace modkit {

template <long Size = 10000>
class SampleRing {
public:
    static constexpr long size = Size;

    // Unread samples.
    long Available() const noexcept
    {
        long unread = writePos - readPos;
        return unread < 0 ? unread + size : unread;
    }
    // Both positions back to the start; the samples stay until they are overwritten.
    void Restart() noexcept { readPos = writePos = 0; }

    void Store(const float* data, long count) noexcept
    {
        if (!data || count <= 0) return;
        const long room = size - 1;
        if (count > room) {
            data += count - room;
            count = room;
        }
        const bool overtakes = Available() + count > room;
        for (long i = 0; i < count; ++i) samples[static_cast<size_t>(Wrap(writePos + i))] = data[i];
        writePos = Wrap(writePos + count);
        if (overtakes) readPos = Wrap(writePos + 1);
    }

    // Moves the read position on by `count` samples, at most the unread ones.
    void Consume(long count) noexcept { readPos = Wrap(readPos + count); }
    // Copies the `count` samples from the read position on, without taking them.
    void Peek(float* destination, long count) const noexcept
    {
        for (long i = 0; i < count; ++i) destination[i] = samples[static_cast<size_t>(Wrap(readPos + i))];
    }

    // An index less than two ring sizes, brought into the ring.
    static long Wrap(long index) noexcept { return index >= size ? index - size : index; }

    std::vector<float> samples = std::vector<float>(static_cast<size_t>(size)); // allocated once, zero-filled
    long readPos = 0;  // first sample not yet consumed
    long writePos = 0; // where the next input sample goes
};

} // namespace modkit
