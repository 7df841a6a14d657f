#pragma once
// BMP files made by the tests byte by byte, so that any header field can also be made wrong, and the
// image signals that carry their pixels.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace vento::test {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, size_t at, std::uint32_t v)
{
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}
inline void put32(Bytes& b, size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = std::uint8_t(v >> (8 * i));
}
inline std::uint32_t get32(const Bytes& b, size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 | std::uint32_t(b[at + 3]) << 24;
}

// A file of `width` x `height` (negative: top-down) pixels of `bitCount` bits. `pixel(x, row)` gives
// the bytes of each pixel of stored row `row` (as many as the bit count holds); rows are padded to
// 4 bytes. `palette` (words 0x00RRGGBB, or with a fourth byte) follows a header of `headerSize`
// bytes; `extra` bytes (bit-field masks) come between header and palette.
struct BmpSpec {
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 40;
    std::uint32_t coloursUsed = 0;
    std::vector<std::uint32_t> palette;
    Bytes extra;
    std::function<std::uint32_t(int x, int row)> pixel = [](int, int) { return 0u; };
    Bytes data; // pixel data as it is, instead of `pixel` (runs)
};

inline Bytes makeBmp(const BmpSpec& s)
{
    const int rows = s.height < 0 ? -s.height : s.height;
    Bytes data = s.data;
    if (data.empty()) {
        const size_t stride = (size_t(s.width) * s.bitCount + 31) / 32 * 4;
        data.assign(stride * size_t(rows), 0);
        const size_t bytesPerPixel = s.bitCount / 8;
        for (int r = 0; r < rows; ++r)
            for (int x = 0; x < s.width; ++x)
                for (size_t k = 0; k < bytesPerPixel; ++k)
                    data[size_t(r) * stride + size_t(x) * bytesPerPixel + k] = std::uint8_t(s.pixel(x, r) >> (8 * k));
    }
    const size_t offset = 14 + s.headerSize + s.extra.size() + 4 * s.palette.size();
    Bytes b(offset, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, std::uint32_t(offset + data.size()));
    put32(b, 10, std::uint32_t(offset));
    put32(b, 14, s.headerSize);
    put32(b, 18, std::uint32_t(s.width));
    put32(b, 22, std::uint32_t(s.height));
    put16(b, 26, 1);
    put16(b, 28, s.bitCount);
    put32(b, 30, s.compression);
    put32(b, 34, std::uint32_t(data.size()));
    put32(b, 46, s.coloursUsed);
    std::copy(s.extra.begin(), s.extra.end(), b.begin() + 14 + s.headerSize);
    for (size_t i = 0; i < s.palette.size(); ++i) put32(b, 14 + s.headerSize + s.extra.size() + 4 * i, s.palette[i]);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

inline void writeBytes(const std::filesystem::path& file, const Bytes& bytes)
{
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline Bytes readBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Pixel words as the float samples that carry them, and back, bit for bit.
inline std::vector<float> wordsAsSamples(const std::vector<std::uint32_t>& words)
{
    std::vector<float> samples(words.size());
    if (!words.empty()) std::memcpy(samples.data(), words.data(), words.size() * 4);
    return samples;
}
inline std::vector<std::uint32_t> samplesAsWords(const std::vector<float>& samples)
{
    std::vector<std::uint32_t> words(samples.size());
    if (!samples.empty()) std::memcpy(words.data(), samples.data(), samples.size() * 4);
    return words;
}

// The property document of an image signal.
inline std::wstring imageProps(const wchar_t* type, long width, long height)
{
    return L"<?xml version='1.0'?><PROPS><Type>" + std::wstring(type) + L"</Type><Width>" + std::to_wstring(width) +
           L"</Width><Height>" + std::to_wstring(height) + L"</Height><PixelType>RGBA</PixelType></PROPS>";
}

} // namespace vento::test

// The image signal's helpers by their short names, for the tests of the modules that carry it.
using vento::test::imageProps;
using vento::test::samplesAsWords;
using vento::test::wordsAsSamples;
using Words = std::vector<std::uint32_t>;
