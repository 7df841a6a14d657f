#pragma once
// The thread's COM apartment for as long as the scope lives (single-threaded: modules are
// apartment-threaded and the engine calls them only on its own thread).
#include <objbase.h>
#include "com/error.h"

namespace vento {

class ComApartment {
public:
    ComApartment() { modkit::check(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
    ~ComApartment() { CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

} // namespace vento
