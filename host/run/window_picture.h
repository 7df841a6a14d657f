#pragma once
// What a window shows, read back from its own drawing context (under Xvfb the screen's context does
// not hold what a window drew; the window's does, with the null driver too), and kept as PNG.
#include <windows.h>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace vento {

struct WindowPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB, top row first
};

// The client area (or, with `wholeWindow`, the whole window with its frame and caption) as it is
// now; empty when the window has no size or cannot be read.
WindowPicture captureWindow(HWND window, bool wholeWindow);

// The visible top-level windows of the calling thread.
std::vector<HWND> threadWindows();

// The picture as the bytes of a PNG file. Throws EngineError when it cannot be encoded.
std::vector<std::uint8_t> pngBytes(const WindowPicture& picture);

// Writes the picture as a PNG file. Throws EngineError naming the file when it cannot; no partial
// file is left.
void savePng(const WindowPicture& picture, const std::filesystem::path& file);

} // namespace vento
