#pragma once
// WAV files the tests make for the file modules to play.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include "bmp_files.h"

namespace vento::test {

// Mono 16-bit PCM at `rate`: a canonical 44-byte header and `samples` samples of a slow ramp.
inline void writeMonoWave(const std::filesystem::path& path, std::uint32_t rate, std::uint32_t samples)
{
    Bytes b(44 + 2 * std::size_t(samples));
    auto tag = [&](std::size_t at, const char* four) { std::memcpy(&b[at], four, 4); };
    tag(0, "RIFF");
    put32(b, 4, 36 + 2 * samples);
    tag(8, "WAVE");
    tag(12, "fmt ");
    put32(b, 16, 16);
    put16(b, 20, 1);
    put16(b, 22, 1);
    put32(b, 24, rate);
    put32(b, 28, rate * 2);
    put16(b, 32, 2);
    put16(b, 34, 16);
    tag(36, "data");
    put32(b, 40, 2 * samples);
    for (std::uint32_t i = 0; i < samples; ++i) put16(b, 44 + 2 * std::size_t(i), std::uint16_t(std::int16_t((i % 200) * 300 - 30000)));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

} // namespace vento::test
