#pragma once
// FailingAllocations: makes one loaded server DLL run out of memory, for the paths that must survive
// it. While it lives, the DLL's calls of the C runtime's malloc for `atLeast` bytes or more answer
// null (so its operator new throws std::bad_alloc); smaller ones, and every other module's, go on as
// before. It rewrites the DLL's own import table entry for malloc and puts it back on destruction.
//
//   FailingAllocations noMemory(L"tapfilter.dll", 4096);
//   EXPECT_EQ(E_OUTOFMEMORY, module->LoadSettings(store));
#include <windows.h>
#include <cstddef>

namespace vento::test {

class FailingAllocations {
public:
    FailingAllocations(const wchar_t* dll, std::size_t atLeast);
    ~FailingAllocations();
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;

    // Allocations refused so far.
    long refused() const noexcept;
};

} // namespace vento::test
