#pragma once
// Pictures of the display windows a run opened, kept as PNG files for looking at afterwards.
#include <windows.h>
#include <filesystem>
#include <vector>

namespace vento {

// The visible top-level windows of the calling thread.
std::vector<HWND> threadWindows();

// Saves what `window` shows now, frame and caption included, as a 24-bit PNG file. Throws
// EngineError naming the file when the picture cannot be taken or written.
void savePng(HWND window, const std::filesystem::path& file);

} // namespace vento
