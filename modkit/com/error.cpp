#include "error.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace modkit {
namespace {
thread_local HINSTANCE currentResources = nullptr;
}

HINSTANCE serverInstance() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

HINSTANCE resourceInstance() noexcept { return currentResources ? currentResources : serverInstance(); }

ResourceScope::ResourceScope() noexcept : previous_(currentResources) { currentResources = serverInstance(); }

ResourceScope::~ResourceScope() { currentResources = previous_; }

} // namespace modkit
