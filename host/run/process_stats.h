#pragma once
// What the process holds, for telling whether a long run keeps holding more: memory, kernel handles,
// GDI objects and windows.
//
// Wine (8) answers GetGuiResources and GetProcessHandleCount with 0, and PrivateUsage with 0. So:
// - handles are counted in the system's handle list (NtQuerySystemInformation, class 16) when
//   GetProcessHandleCount gives 0;
// - GDI objects are counted in the process's GDI handle table (the PEB's GdiSharedHandleTable) when
//   GetGuiResources gives 0. A freed entry there keeps its object field; only its type byte goes
//   back to 0, so an entry counts when its type is set;
// - "private" memory is the commit charge (PagefileUsage) when PrivateUsage is 0.
// Windows are the visible and hidden windows of the process, top-level and child, without the
// input-method window that comes and goes with a thread's first and last window.
#include <cstddef>
#include <cstdio>
#include <string>

namespace vento {

struct ProcessFigures {
    std::size_t privateBytes = 0; // committed private memory
    std::size_t workingSet = 0;   // resident memory
    unsigned long handles = 0;
    unsigned long gdiObjects = 0;
    unsigned long windows = 0;
};

ProcessFigures processFigures();

// "private 67160 KiB, working set 92.6 MB, handles 124, GDI objects 92, windows 3"
std::string figuresText(const ProcessFigures& figures);

} // namespace vento
