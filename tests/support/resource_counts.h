#pragma once
// What a process holds that a module could leak: task memory (and BSTRs, which are task memory once
// the string cache is off with OANOCACHE=1), kernel handles, GDI objects and the calling thread's
// windows. A test takes one count before the code under test and one after; equal counts mean
// nothing leaked.
//
//   ResourceCounts before = countResources();
//   ... create, drive and release a module ...
//   EXPECT_EQ(before, countResources());
#include <windows.h>
#include <ostream>

namespace vento::test {

struct ResourceCounts {
    long taskMemory = 0; // live CoTaskMemAlloc blocks allocated since the first count
    long handles = 0;
    long gdiObjects = 0;
    long windows = 0; // the calling thread's windows and all their descendants
    bool operator==(const ResourceCounts&) const = default;
};

std::ostream& operator<<(std::ostream& os, const ResourceCounts& counts);

// The first call starts counting task memory (a malloc spy stays registered from then on).
ResourceCounts countResources();

// Whether freed BSTRs go back to the task allocator at once (OANOCACHE set): only then do leaked
// BSTRs show in taskMemory.
bool bstrCacheOff();

} // namespace vento::test
