#pragma once
// Pixels read back from a window right after it was drawn (the engine's captureWindow), with the
// lookups tests make on them. A test can keep what it saw as a .bmp file.
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

namespace vento::test {

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> data; // 0x00RRGGBB, top row first

    // The colour at (x, y) as 0xRRGGBB; 0xFFFFFFFF outside.
    std::uint32_t at(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height) return 0xFFFFFFFFu;
        return data[size_t(y) * size_t(width) + size_t(x)] & 0xFFFFFFu;
    }
    // How many pixels of column x (or row y) have `colour`.
    int countInColumn(int x, std::uint32_t colour) const;
    int countInRow(int y, std::uint32_t colour) const;
};

// The client area (or, with `wholeWindow`, the whole window with its frame and caption) of `window`.
Pixels capture(HWND window, bool wholeWindow = false);
// Writes the pixels as a 24-bit bottom-up BMP file; false when the file cannot be written.
bool writeBmp(const Pixels& pixels, const std::wstring& path);
// A path beside the running test program.
std::wstring besideProgram(const std::wstring& fileName);

} // namespace vento::test
