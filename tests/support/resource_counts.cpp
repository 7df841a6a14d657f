#include "resource_counts.h"

#include <objbase.h>
#include <winternl.h>
#include <algorithm>
#include <atomic>
#include <cwchar>
#include <vector>

namespace vento::test {

namespace {

// Counts the task-memory blocks alive: what was allocated while the spy watched, less what was
// freed of it.
class CountingSpy final : public IMallocSpy {
public:
    std::atomic<long> live{0};

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
            *out = static_cast<IMallocSpy*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; } // static lifetime
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T size) override { return size; }
    STDMETHODIMP_(void*) PostAlloc(void* actual) override
    {
        if (actual) ++live;
        return actual;
    }
    STDMETHODIMP_(void*) PreFree(void* request, BOOL spied) override
    {
        if (request && spied) --live;
        return request;
    }
    STDMETHODIMP_(void) PostFree(BOOL) override {}
    STDMETHODIMP_(SIZE_T) PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL spied) override
    {
        // A realloc from nothing allocates; one to nothing frees.
        reallocDelta_ = !request ? 1 : (size == 0 && spied ? -1 : 0);
        *newRequest = request;
        return size;
    }
    STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override
    {
        if (reallocDelta_ < 0 || actual) live += reallocDelta_;
        reallocDelta_ = 0;
        return actual;
    }
    STDMETHODIMP_(void*) PreGetSize(void* request, BOOL) override { return request; }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T actual, BOOL) override { return actual; }
    STDMETHODIMP_(void*) PreDidAlloc(void* request, BOOL) override { return request; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}

private:
    long reallocDelta_ = 0;
};

CountingSpy& spy()
{
    static CountingSpy instance;
    static const bool registered = SUCCEEDED(CoRegisterMallocSpy(&instance));
    (void)registered;
    return instance;
}

// The process's kernel handles. GetProcessHandleCount answers 0 under Wine 8, so the system's handle
// list is counted instead (a probe found it complete: a new event shows as one more).
struct HandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    void* object;
    ULONG access;
};
struct HandleList {
    ULONG count;
    HandleEntry entries[1];
};

long countHandles()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count) return static_cast<long>(count);
    using Query = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
    static const auto query =
        reinterpret_cast<Query>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        LONG status = query(16 /* SystemHandleInformation */, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<LONG>(0xC0000004L)) { // STATUS_INFO_LENGTH_MISMATCH
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status < 0) return -1;
        break;
    }
    const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
    const DWORD self = GetCurrentProcessId();
    long own = 0;
    for (ULONG i = 0; i < list->count; ++i)
        if (list->entries[i].ownerPid == self) ++own;
    return own;
}

// GDI objects. GetGuiResources answers 0 under Wine 8; its GDI handle table, shared with the process
// through the PEB as on Windows, is counted instead. A freed entry keeps its object field and only
// its type goes to 0, so live entries are those with a type.
struct GdiEntry {
    UINT64 object;
    ULONG owner;
    USHORT instance;
    UCHAR type;
    UCHAR flags;
    UINT64 user;
};
constexpr std::size_t gdiEntries = 0x10000;

long countGdiObjects()
{
    if (DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)) return static_cast<long>(count);
    using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic{};
    if (!query || query(GetCurrentProcess(), 0 /* ProcessBasicInformation */, &basic, sizeof basic, nullptr) < 0) return -1;
    const auto* peb = reinterpret_cast<const unsigned char*>(basic.PebBaseAddress);
#ifdef _WIN64
    constexpr std::size_t tableOffset = 0xF8;
#else
    constexpr std::size_t tableOffset = 0x94;
#endif
    const auto* table = *reinterpret_cast<const GdiEntry* const*>(peb + tableOffset);
    if (!table) return -1;
    long live = 0;
    for (std::size_t i = 0; i < gdiEntries; ++i)
        if (table[i].type) ++live;
    return live;
}

BOOL CALLBACK countChild(HWND, LPARAM count)
{
    ++*reinterpret_cast<long*>(count);
    return TRUE;
}

BOOL CALLBACK countTopLevel(HWND window, LPARAM count)
{
    // The thread's input-method window comes and goes with its first and last window of its own.
    wchar_t name[8] = {};
    if (GetClassNameW(window, name, 8) && std::wcscmp(name, L"IME") == 0) return TRUE;
    ++*reinterpret_cast<long*>(count);
    EnumChildWindows(window, &countChild, count);
    return TRUE;
}

} // namespace

std::ostream& operator<<(std::ostream& os, const ResourceCounts& counts)
{
    return os << "{task memory " << counts.taskMemory << ", handles " << counts.handles << ", GDI objects "
              << counts.gdiObjects << ", windows " << counts.windows << "}";
}

ResourceCounts countResources()
{
    ResourceCounts counts;
    counts.taskMemory = spy().live.load();
    counts.handles = countHandles();
    counts.gdiObjects = countGdiObjects();
    EnumThreadWindows(GetCurrentThreadId(), &countTopLevel, reinterpret_cast<LPARAM>(&counts.windows));
    return counts;
}

bool bstrCacheOff() { return GetEnvironmentVariableW(L"OANOCACHE", nullptr, 0) != 0; }

} // namespace vento::test
