#include "host/run/process_stats.h"

#include <windows.h>
#include <psapi.h>
#include <winternl.h>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace vento {

namespace {

// The system handle list as NtQuerySystemInformation's class 16 gives it.
struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
};
struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};
constexpr ULONG systemHandleInformation = 16;
constexpr LONG infoLengthMismatch = LONG(0xC0000004);

unsigned long handlesInSystemList()
{
    using Query = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto query = ntdll ? reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation"))) : nullptr;
    if (!query) return 0;
    std::vector<std::uint8_t> buffer(1 << 16);
    for (int tries = 0; tries < 8; ++tries) {
        ULONG needed = 0;
        const LONG status = query(systemHandleInformation, buffer.data(), ULONG(buffer.size()), &needed);
        if (status == infoLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, size_t(needed) + 4096));
            continue;
        }
        if (status < 0) return 0;
        const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
        const ULONG self = GetCurrentProcessId();
        unsigned long n = 0;
        for (ULONG i = 0; i < list->count; ++i)
            if (list->entries[i].ownerPid == self) ++n;
        return n;
    }
    return 0;
}

// One entry of the GDI handle table the PEB points to.
struct GdiEntry {
    std::uint64_t object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    std::uint64_t user;
};
static_assert(sizeof(GdiEntry) == 24);
constexpr size_t gdiEntries = 0x10000;

unsigned long objectsInGdiTable()
{
    using Query = LONG(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto query = ntdll ? reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryInformationProcess"))) : nullptr;
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) < 0 || !basic.PebBaseAddress)
        return 0;
    const auto* peb = reinterpret_cast<const std::uint8_t*>(basic.PebBaseAddress);
    // The table's field follows the PEB's documented prefix at 0x94 (32-bit) or 0xf8 (64-bit).
    const size_t at = sizeof(void*) == 8 ? 0xf8 : 0x94;
    const auto* table = *reinterpret_cast<const GdiEntry* const*>(peb + at);
    if (!table) return 0;
    unsigned long n = 0;
    for (size_t i = 0; i < gdiEntries; ++i)
        if (table[i].type) ++n;
    return n;
}

BOOL CALLBACK countChild(HWND, LPARAM count)
{
    ++*reinterpret_cast<unsigned long*>(count);
    return TRUE;
}

// A top-level window of this process with all its descendants (EnumChildWindows walks them all).
BOOL CALLBACK countWindow(HWND window, LPARAM count)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (std::wstring(name) == L"IME") return TRUE; // the thread's input-method window
    ++*reinterpret_cast<unsigned long*>(count);
    EnumChildWindows(window, countChild, count);
    return TRUE;
}

} // namespace

ProcessFigures processFigures()
{
    ProcessFigures f;
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        f.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
        f.workingSet = memory.WorkingSetSize;
    }
    DWORD handles = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &handles) || handles == 0) handles = handlesInSystemList();
    f.handles = handles;
    f.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (f.gdiObjects == 0) f.gdiObjects = objectsInGdiTable();
    unsigned long windows = 0;
    EnumWindows(countWindow, reinterpret_cast<LPARAM>(&windows));
    f.windows = windows;
    return f;
}

std::string figuresText(const ProcessFigures& f)
{
    char text[200];
    std::snprintf(text, sizeof text, "private %zu KiB, working set %.1f MB, handles %lu, GDI objects %lu, windows %lu",
                  f.privateBytes / 1024, double(f.workingSet) / 1e6, f.handles, f.gdiObjects, f.windows);
    return text;
}

} // namespace vento
