#include "failing_allocations.h"

#include <cstring>
#include <stdexcept>
#include <string>

namespace vento::test {

namespace {

using Malloc = void*(__cdecl*)(std::size_t);

Malloc original = nullptr;
void** entry = nullptr;
std::size_t threshold = 0;
long refusals = 0;

void* __cdecl failingMalloc(std::size_t size)
{
    if (size >= threshold) {
        ++refusals;
        return nullptr;
    }
    return original(size);
}

// The import address table entry through which `module` calls `dll!function`.
void** importEntry(HMODULE module, const char* dll, const char* function)
{
    auto base = reinterpret_cast<BYTE*>(module);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!imports.VirtualAddress) return nullptr;
    for (auto d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0) continue;
        auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
        auto addresses = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&addresses->u1.Function);
        }
    }
    return nullptr;
}

void write(void** slot, void* value)
{
    DWORD was = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &was)) throw std::runtime_error("import table stays read-only");
    *slot = value;
    VirtualProtect(slot, sizeof(void*), was, &was);
}

} // namespace

FailingAllocations::FailingAllocations(const wchar_t* dll, std::size_t atLeast)
{
    if (entry) throw std::logic_error("one FailingAllocations at a time");
    HMODULE module = GetModuleHandleW(dll);
    if (!module) throw std::logic_error("the DLL is not loaded");
    void** slot = importEntry(module, "msvcrt.dll", "malloc");
    if (!slot) throw std::logic_error("the DLL does not import malloc from msvcrt.dll");
    original = reinterpret_cast<Malloc>(*slot);
    threshold = atLeast;
    refusals = 0;
    write(slot, reinterpret_cast<void*>(&failingMalloc));
    entry = slot;
}

FailingAllocations::~FailingAllocations()
{
    write(entry, reinterpret_cast<void*>(original));
    entry = nullptr;
}

long FailingAllocations::refused() const noexcept { return refusals; }

} // namespace vento::test
