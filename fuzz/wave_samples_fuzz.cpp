// The WAV module's decoding of a data chunk: the first 20 bytes are the "fmt " fields and the
// chunk's size, the rest the file's data, handed over in pieces of varying size as the file's
// buffer would.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>
#include "wave.h"

using namespace vento::formats;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 21) return 0;
    std::uint8_t fmt[16];
    std::memcpy(fmt, data, 16);
    const WaveFormat format = parseWaveFormat(fmt);
    std::uint32_t dataSize;
    std::memcpy(&dataSize, data + 16, 4);
    const std::uint8_t piece = data[20] ? data[20] : 1;
    data += 21;
    size -= 21;
    if (!wavePlayable(format)) return 0;

    WaveSampleDecoder decoder(format, dataSize);
    std::vector<float> block(256);
    std::size_t at = 0, samples = 0;
    while (!decoder.finished()) {
        if (at >= size) break;
        const std::uint8_t* next = data + at;
        const std::uint8_t* end = data + std::min<std::size_t>(size, at + piece);
        const std::size_t n = decoder.decode(next, end, block.data(), block.size());
        for (std::size_t i = 0; i < n; ++i)
            if (!(std::fabs(block[i]) <= 32768.0f * wavePlaybackScale)) __builtin_trap();
        samples += n;
        at = std::size_t(next - data);
    }
    // Never more than the chunk's whole frames, never a byte past it.
    if (decoder.consumed() > dataSize) __builtin_trap();
    if (samples > dataSize / waveFrameBytes(format)) __builtin_trap();
    return 0;
}
