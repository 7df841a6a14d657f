// The BMP module's reader on any bytes: headers checked, then the pixels decoded into a buffer of
// exactly the picture's size, where the sanitizers see any step outside the file or the picture.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>
#include "bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> file(data, size);
    const std::optional<bmp::Header> header = bmp::readHeader(file);
    if (!header) return 0;
    // What the header promises the decoder: dimensions in range and pixel data inside the file.
    if (header->width <= 0 || header->height <= 0 || header->width > bmp::maxSide || header->height > bmp::maxSide ||
        header->dataOffset > size || header->dataSize > size - header->dataOffset)
        std::abort();
    // Huge pictures cost time and memory, not coverage: their headers are checked all the same.
    if (header->pixelCount() > (std::size_t(1) << 16)) return 0;
    std::vector<std::uint32_t> words(header->pixelCount());
    bmp::decode(file, *header, words);
    return 0;
}
