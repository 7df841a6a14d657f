#pragma once
// The BMP file as the BMP module reads and writes it, apart from any file system: the headers of a
// file held in memory are checked before a byte of pixel data is read, and the pixels come out as
// the image signal's words (blue in bits 0-7, green 8-15, red 16-23, the fourth byte 24-31), rows in
// bottom-up order, the first word being the bottom-left pixel.
//
// Files come from anywhere, so nothing here trusts a field: sizes, offsets, palette counts and
// palette indices are checked against the file and the picture, and a file that breaks them is
// refused as a whole. Plain standard C++ with no platform header: the same code is built into the
// server and natively, where it is fuzzed.
//
// Portable code: the BMP module and the fuzz target share it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace bmp {

// The largest width and height read: anything larger is no picture a window can show, and its
// size would overflow the arithmetic of rows and blocks.
inline constexpr std::int32_t maxSide = 16384;

// How the pixel data of a file is laid out.
enum class Pixels {
    Indexed8,  // one palette index per pixel, rows padded to 4 bytes
    Rle8,      // palette indices, run-length encoded
    Rgb24,     // blue, green, red per pixel, rows padded to 4 bytes
    Rgba32,    // one word per pixel (also bit fields with the standard masks)
    NotShown,  // a bit count the module does not draw (1, 4, 16 ...): the picture reads as zeros
};

struct Header {
    std::int32_t width = 0;
    std::int32_t height = 0; // rows, always positive
    bool topDown = false;    // the file stores the top row first
    Pixels pixels = Pixels::NotShown;
    std::size_t dataOffset = 0; // where the pixel data starts in the file
    std::size_t dataSize = 0;   // bytes of pixel data, all inside the file
    std::size_t stride = 0;     // bytes per stored row (uncompressed layouts)
    std::vector<std::uint32_t> palette; // words with the fourth byte 0 (8-bit layouts)

    std::size_t pixelCount() const noexcept { return std::size_t(width) * std::size_t(height); }
};

// The headers of `file`, checked against the file's size; nothing when the file is no picture the
// module can read (too short, sizes out of range, data or palette outside the file, compression
// other than 8-bit runs or standard 32-bit bit fields, a top-down compressed file).
std::optional<Header> readHeader(std::span<const std::uint8_t> file);

// Decodes the pixel data of `file` into `words` (header.pixelCount() of them), bottom row first.
// False when the data breaks the picture (a palette index beyond the palette, a run beyond a row
// or past the last one); `words` then holds a partial picture that must not be shown.
bool decode(std::span<const std::uint8_t> file, const Header& header, std::span<std::uint32_t> words);

// readHeader and decode together; nothing for a file that either refuses.
struct Picture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> words;
};
std::optional<Picture> read(std::span<const std::uint8_t> file);

// The 54 bytes that start a 32-bit file of `width` x `height` words with no palette: file header
// ("BM", file size, pixel data at 54) and information header (size 40, 1 plane, 32 bits, no
// compression, image size width x 4 x height). The caller keeps the sizes within 32 bits.
inline constexpr std::size_t header32Size = 54;
std::array<std::uint8_t, header32Size> header32(std::int32_t width, std::int32_t height);

} // namespace bmp
