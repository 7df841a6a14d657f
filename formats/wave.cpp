#include "wave.h"

#include <cmath>

namespace vento::formats {

namespace {
std::uint16_t u16(const std::uint8_t* p) noexcept { return std::uint16_t(p[0] | p[1] << 8); }
std::uint32_t u32(const std::uint8_t* p) noexcept { return std::uint32_t(u16(p)) | std::uint32_t(u16(p + 2)) << 16; }
int s16(const std::uint8_t* p) noexcept { return static_cast<std::int16_t>(u16(p)); }
} // namespace

WaveFormat parseWaveFormat(const std::uint8_t (&b)[16]) noexcept
{
    return {u16(b), u16(b + 2), u32(b + 4), u32(b + 8), u16(b + 12), u16(b + 14)};
}

WaveSampleDecoder::WaveSampleDecoder(const WaveFormat& format, std::uint32_t dataSize) noexcept
    : frameBytes_(waveFrameBytes(format)), sixteenBit_(format.bitsPerSample == 16), averageTwo_(format.channels == 2)
{
    usable_ = frameBytes_ ? dataSize - dataSize % frameBytes_ : 0;
}

std::size_t WaveSampleDecoder::decode(const std::uint8_t*& next, const std::uint8_t* end, float* out, std::size_t count) noexcept
{
    std::size_t written = 0;
    const std::uint32_t wanted = sixteenBit_ ? (averageTwo_ ? 4 : 2) : 0;
    while (written < count && !finished() && next < end) {
        // Take the rest of the frame, or what this piece holds of it, without passing the chunk.
        const std::size_t available = std::size_t(end - next);
        std::uint32_t take = frameBytes_ - inFrame_;
        if (take > available) take = std::uint32_t(available);
        for (std::uint32_t i = 0; i < take && inFrame_ + i < wanted; ++i) head_[inFrame_ + i] = next[i];
        next += take;
        inFrame_ += take;
        consumed_ += take;
        if (inFrame_ < frameBytes_) break; // the frame goes on in the next piece
        inFrame_ = 0;
        float sample = 0.0f;
        if (sixteenBit_) {
            // Integer average, rounded toward zero, before scaling.
            const int value = averageTwo_ ? (s16(head_) + s16(head_ + 2)) / 2 : s16(head_);
            sample = float(value) * wavePlaybackScale;
        }
        out[written++] = sample;
    }
    return written;
}

std::int16_t waveRecordedValue(float s) noexcept
{
    if (std::isnan(s)) return 0;
    const double scaled = std::trunc(double(s) * waveRecordScale);
    if (scaled >= 32767.0) return 32767;
    if (scaled <= -32768.0) return -32768;
    return static_cast<std::int16_t>(scaled);
}

} // namespace vento::formats
