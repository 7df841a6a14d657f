#pragma once
// The samples of a WAV file's "data" chunk as the WAV module plays them, and its recorded samples.
// Locating the chunks is the platform's multimedia file I/O; what the bytes mean is decided here.
//
// Portable code: the WAV module, `vento export` and the fuzz target share it.
#include <cstddef>
#include <cstdint>

namespace vento::formats {

// A played 16-bit value v gives v x this: the single-precision float nearest 1/32376.
inline constexpr float wavePlaybackScale = 3.0887076718499884e-05f;
// A recorded sample s is stored as s x this, truncated toward zero.
inline constexpr double waveRecordScale = 32366.0;

// The first 16 bytes of a "fmt " chunk (the PCM wave format), as read from the file.
struct WaveFormat {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSecond = 0;
    std::uint32_t averageBytesPerSecond = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
};
WaveFormat parseWaveFormat(const std::uint8_t (&bytes)[16]) noexcept;

// Bytes one frame takes in the data, as the module counts them: bytes per sample x channels.
constexpr std::uint32_t waveFrameBytes(const WaveFormat& f) noexcept { return std::uint32_t(f.bitsPerSample / 8) * f.channels; }

// A format the module plays: PCM, at least one channel, a positive rate that fits a signed 32-bit
// number, and frames of at least one byte (otherwise the data would never end).
constexpr bool wavePlayable(const WaveFormat& f) noexcept
{
    return f.formatTag == 1 && f.channels > 0 && f.samplesPerSecond > 0 && f.samplesPerSecond <= 0x7fffffffu &&
           waveFrameBytes(f) > 0;
}

// Turns the data chunk's bytes into samples, one per frame, in pieces as the file's buffer hands
// them over (a frame may span two pieces). 16-bit frames give the first channel, or the two first
// channels averaged toward zero when there are exactly two, times wavePlaybackScale; frames of
// other widths give 0.0 (silence of the file's length). Only whole frames inside the chunk's size
// are read: a chunk that ends inside a frame ends at its last whole frame.
class WaveSampleDecoder {
public:
    WaveSampleDecoder() = default;
    // `format` must be playable.
    WaveSampleDecoder(const WaveFormat& format, std::uint32_t dataSize) noexcept;

    // Decodes from [next, end) into at most `count` samples; moves `next` past the bytes used and
    // answers the samples written. Stops early when the data ends or the bytes run out.
    std::size_t decode(const std::uint8_t*& next, const std::uint8_t* end, float* out, std::size_t count) noexcept;
    // Every whole frame of the chunk has been decoded.
    bool finished() const noexcept { return consumed_ >= usable_; }
    // Bytes of the data chunk consumed so far.
    std::uint32_t consumed() const noexcept { return consumed_; }

private:
    std::uint32_t frameBytes_ = 0;
    std::uint32_t usable_ = 0; // the chunk's bytes up to its last whole frame
    std::uint32_t consumed_ = 0;
    std::uint32_t inFrame_ = 0; // bytes of the current frame seen so far
    bool sixteenBit_ = false;
    bool averageTwo_ = false;
    std::uint8_t head_[4] = {}; // the first bytes of the current frame: one or two 16-bit values
};

// The 16-bit value the module records for sample `s`: s x 32366 truncated toward zero, held at the
// 16-bit limits beyond them (never wrapped), 0 for what is no number.
std::int16_t waveRecordedValue(float s) noexcept;

} // namespace vento::formats
