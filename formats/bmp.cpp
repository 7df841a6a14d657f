#include "bmp.h"

#include <algorithm>

namespace bmp {

namespace {

constexpr std::size_t fileHeaderSize = 14;
constexpr std::size_t infoHeaderSize = 40;

// Compression codes of the information header.
constexpr std::uint32_t uncompressed = 0;
constexpr std::uint32_t runLength8 = 1;
constexpr std::uint32_t bitFields = 3;

// Little-endian fields; the caller has checked that they lie inside the file.
std::uint16_t u16(std::span<const std::uint8_t> f, std::size_t at)
{
    return std::uint16_t(f[at] | f[at + 1] << 8);
}
std::uint32_t u32(std::span<const std::uint8_t> f, std::size_t at)
{
    return std::uint32_t(f[at]) | std::uint32_t(f[at + 1]) << 8 | std::uint32_t(f[at + 2]) << 16 |
           std::uint32_t(f[at + 3]) << 24;
}
std::int32_t i32(std::span<const std::uint8_t> f, std::size_t at) { return std::int32_t(u32(f, at)); }

void put16(std::uint8_t* at, std::uint32_t value)
{
    at[0] = std::uint8_t(value);
    at[1] = std::uint8_t(value >> 8);
}
void put32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = std::uint8_t(value >> (8 * i));
}

// Bit fields that place red, green and blue where a plain 32-bit pixel has them: such a file reads
// as a plain one. Version 2 and later headers hold the masks; a 40-byte header is followed by them.
bool standardMasks(std::span<const std::uint8_t> file, std::uint32_t headerSize)
{
    const std::size_t at = fileHeaderSize + infoHeaderSize;
    if (headerSize < infoHeaderSize + 12 && file.size() < at + 12) return false;
    return u32(file, at) == 0x00FF0000u && u32(file, at + 4) == 0x0000FF00u && u32(file, at + 8) == 0x000000FFu;
}

bool decodeRuns(std::span<const std::uint8_t> data, const Header& h, std::span<std::uint32_t> words)
{
    const std::size_t width = std::size_t(h.width), height = std::size_t(h.height);
    const std::size_t colours = h.palette.size();
    // Writers may encode a row's padding as pixels too: what runs past the right edge is dropped.
    // Pixels the runs step over keep colour 0.
    std::fill(words.begin(), words.end(), h.palette[0]);
    std::size_t x = 0, y = 0, at = 0;
    while (at + 2 <= data.size()) {
        const std::size_t count = data[at], value = data[at + 1];
        at += 2;
        if (count > 0) { // `count` pixels of colour `value`
            if (y >= height || value >= colours) return false;
            const std::size_t shown = std::min(count, width - x);
            std::fill_n(words.begin() + std::ptrdiff_t(y * width + x), shown, h.palette[value]);
            x += shown;
            continue;
        }
        switch (value) {
        case 0: // end of row
            x = 0;
            if (y < height) ++y;
            break;
        case 1: // end of picture
            return true;
        case 2: { // move right and up
            if (at + 2 > data.size()) return false;
            const std::size_t dx = data[at], dy = data[at + 1];
            at += 2;
            if (dx > width - x || dy > height - y) return false;
            x += dx;
            y += dy;
            break;
        }
        default: { // `value` indices as they are, padded to an even count of bytes
            const std::size_t n = value;
            if (y >= height || n > data.size() - at) return false;
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint8_t index = data[at + i];
                if (index >= colours) return false;
                if (x < width) words[y * width + x++] = h.palette[index];
            }
            at += n + (n & 1);
            break;
        }
        }
    }
    return true; // data that ends without its end mark leaves the rest in colour 0
}

// How the pixels of a file with `bitCount` and `compression` lie; nothing for a pairing that is no
// BMP file the module reads.
std::optional<Pixels> layout(std::uint16_t bitCount, std::uint32_t compression, std::span<const std::uint8_t> file,
                             std::uint32_t headerSize)
{
    switch (bitCount) {
    case 8:
        if (compression == uncompressed) return Pixels::Indexed8;
        if (compression == runLength8) return Pixels::Rle8;
        return std::nullopt;
    case 24:
        if (compression != uncompressed) return std::nullopt;
        return Pixels::Rgb24;
    case 32:
        if (compression != uncompressed && !(compression == bitFields && standardMasks(file, headerSize)))
            return std::nullopt;
        return Pixels::Rgba32;
    default:
        return Pixels::NotShown;
    }
}

} // namespace

std::optional<Header> readHeader(std::span<const std::uint8_t> file)
{
    if (file.size() < fileHeaderSize + infoHeaderSize) return std::nullopt;
    const std::uint32_t offset = u32(file, 10);
    const std::uint32_t headerSize = u32(file, 14);
    // Shorter (OS/2) headers have another layout; longer ones (versions 4 and 5) add fields after
    // the first 40 bytes, and the palette follows their real size.
    if (headerSize < infoHeaderSize || headerSize > file.size() - fileHeaderSize) return std::nullopt;
    const std::int32_t width = i32(file, 18), height = i32(file, 22);
    const std::uint16_t bitCount = u16(file, 28);
    const std::uint32_t compression = u32(file, 30), imageSize = u32(file, 34), coloursUsed = u32(file, 46);
    if (width <= 0 || width > maxSide || height == 0 || height < -maxSide || height > maxSide) return std::nullopt;
    if (offset > file.size()) return std::nullopt;

    Header h;
    h.width = width;
    h.height = height < 0 ? -height : height;
    h.topDown = height < 0;
    h.dataOffset = offset;
    const std::optional<Pixels> pixels = layout(bitCount, compression, file, headerSize);
    if (!pixels) return std::nullopt;
    h.pixels = *pixels;
    if (h.pixels == Pixels::NotShown) return h; // no pixel data is read
    // Runs are written bottom-up only.
    if (h.topDown && h.pixels == Pixels::Rle8) return std::nullopt;

    const std::size_t available = file.size() - offset;
    if (h.pixels == Pixels::Rle8) {
        h.dataSize = imageSize != 0 ? imageSize : available;
        if (h.dataSize > available) return std::nullopt;
    } else {
        h.stride = (std::size_t(width) * bitCount + 31) / 32 * 4;
        const std::size_t rows = h.stride * std::size_t(h.height);
        // An image size, when given, covers the rows it describes.
        if ((imageSize != 0 && imageSize < rows) || rows > available) return std::nullopt;
        h.dataSize = rows;
    }

    if (bitCount == 8) {
        if (coloursUsed > 256) return std::nullopt;
        const std::size_t count = coloursUsed != 0 ? coloursUsed : 256;
        const std::size_t at = fileHeaderSize + headerSize;
        if (count * 4 > file.size() - at) return std::nullopt;
        h.palette.resize(count);
        for (std::size_t i = 0; i < count; ++i) h.palette[i] = u32(file, at + 4 * i) & 0x00FFFFFFu;
    }
    return h;
}

bool decode(std::span<const std::uint8_t> file, const Header& h, std::span<std::uint32_t> words)
{
    if (words.size() != h.pixelCount() || h.dataOffset > file.size() || h.dataSize > file.size() - h.dataOffset)
        return false;
    const std::span<const std::uint8_t> data = file.subspan(h.dataOffset, h.dataSize);
    if (h.pixels == Pixels::NotShown) {
        std::fill(words.begin(), words.end(), 0u);
        return true;
    }
    if (h.pixels == Pixels::Rle8) return decodeRuns(data, h, words);

    const std::size_t width = std::size_t(h.width), height = std::size_t(h.height);
    for (std::size_t row = 0; row < height; ++row) {
        // The signal keeps rows bottom-up whatever order the file stores them in.
        const std::uint8_t* in = data.data() + (h.topDown ? height - 1 - row : row) * h.stride;
        std::uint32_t* out = words.data() + row * width;
        switch (h.pixels) {
        case Pixels::Indexed8:
            for (std::size_t j = 0; j < width; ++j) {
                if (in[j] >= h.palette.size()) return false;
                out[j] = h.palette[in[j]];
            }
            break;
        case Pixels::Rgb24:
            for (std::size_t j = 0; j < width; ++j, in += 3)
                out[j] = std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8 | std::uint32_t(in[2]) << 16;
            break;
        default: // Rgba32: the words as they are
            for (std::size_t j = 0; j < width; ++j, in += 4)
                out[j] = std::uint32_t(in[0]) | std::uint32_t(in[1]) << 8 | std::uint32_t(in[2]) << 16 |
                         std::uint32_t(in[3]) << 24;
            break;
        }
    }
    return true;
}

std::optional<Picture> read(std::span<const std::uint8_t> file)
{
    std::optional<Header> header = readHeader(file);
    if (!header) return std::nullopt;
    Picture picture{header->width, header->height, std::vector<std::uint32_t>(header->pixelCount())};
    if (!decode(file, *header, picture.words)) return std::nullopt;
    return picture;
}

std::array<std::uint8_t, header32Size> header32(std::int32_t width, std::int32_t height)
{
    const std::uint32_t imageBytes = std::uint32_t(width) * 4u * std::uint32_t(height);
    std::array<std::uint8_t, header32Size> h{};
    put16(&h[0], 19778); // "BM"
    put32(&h[2], std::uint32_t(header32Size) + imageBytes);
    put32(&h[10], std::uint32_t(header32Size));
    put32(&h[14], std::uint32_t(infoHeaderSize));
    put32(&h[18], std::uint32_t(width));
    put32(&h[22], std::uint32_t(height));
    put16(&h[26], 1);
    put16(&h[28], 32);
    put32(&h[34], imageBytes);
    return h;
}

} // namespace bmp
