#pragma once
// Exceptions inside, HRESULTs at the edge: check() throws on a failed call, and boundary() is the one
// place that turns whatever was thrown back into the HRESULT a COM caller sees. An error carries the
// place it was raised (file, line and function of the check), so that a failure names its place in
// a log or a test: lastFailure() keeps the last one a boundary turned into an HRESULT.
#include <windows.h>
#include <exception>
#include <cstddef>
#include <new>
#include <source_location>
#include <stdexcept>
#include <string>
#include <type_traits>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace modkit {

class ComError : public std::exception {
public:
    explicit ComError(HRESULT hr, std::source_location where = std::source_location::current()) noexcept;
    HRESULT code() const noexcept { return hr_; }
    // Where the failure was raised.
    const std::source_location& where() const noexcept { return where_; }
    // "0x80070005 at module_base.cpp:42 (AddInput)".
    const char* what() const noexcept override { return text_; }

private:
    HRESULT hr_;
    std::source_location where_;
    char text_[160];
};

// "0x80004005": how every message of the suite shows an HRESULT.
std::wstring hresultText(HRESULT hr);

[[noreturn]] inline void throwHr(HRESULT hr, std::source_location where = std::source_location::current())
{
    throw ComError(hr, where);
}

// Throws only on failure; success codes such as S_FALSE pass through to the caller.
inline HRESULT check(HRESULT hr, std::source_location where = std::source_location::current())
{
    if (FAILED(hr)) throwHr(hr, where);
    return hr;
}

// A failure as a boundary saw it: its HRESULT and, for a failure raised by check() or throwHr(), its
// place (file is null otherwise).
struct Failure {
    HRESULT code = S_OK;
    const char* file = nullptr;
    unsigned line = 0;
    const char* function = nullptr;
};

// The last failure a boundary on this thread turned into an HRESULT.
const Failure& lastFailure() noexcept;
// Makes this thread's failure record now. mingw's thread_local makes its runtime's own storage (two
// handles, held while the server is loaded) on first use: a server makes it where it is first asked
// for a class, so that its first failure, later, holds nothing new.
void prepareFailureRecord() noexcept;

// Maps the exception in flight to an HRESULT and keeps it as lastFailure(). Call only from inside a
// catch block.
HRESULT currentExceptionToHresult() noexcept;

// The file this code is linked into (the server DLL, or the test program).
inline HINSTANCE serverInstance() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

namespace detail {
// The current resources live in a Win32 TLS slot of this file's own, read and written in the thread's
// TEB directly as TlsGetValue does, but without its call and without touching the caller's last
// error. mingw's thread_local is emulated (a lock and a lookup per access), and every entry point
// reads and writes it twice. The index is kept plus one: code that runs before the slot is made
// (static initialisation) finds "no slot" and gets the server's own resources.
extern DWORD resourceSlotPlusOne;
// The thread's TEB, from its self pointer (NtCurrentTeb's segment read trips gcc's array-bounds check).
inline char* currentTeb() noexcept
{
    char* teb;
#ifdef _WIN64
    asm("movq %%gs:0x30, %0" : "=r"(teb));
#else
    asm("movl %%fs:0x18, %0" : "=r"(teb));
#endif
    return teb;
}
void** resourceSlotAddress(DWORD index) noexcept; // slots past the TEB's first 64
inline void** resourceSlot() noexcept
{
    const DWORD index = resourceSlotPlusOne - 1;
    if (resourceSlotPlusOne == 0) return nullptr;
    if (index >= 64) return resourceSlotAddress(index);
#ifdef _WIN64
    constexpr std::size_t tlsSlots = 0x1480;
#else
    constexpr std::size_t tlsSlots = 0xE10;
#endif
    return reinterpret_cast<void**>(currentTeb() + tlsSlots) + index;
}
} // namespace detail

// The module whose resources are current on this thread (the server itself inside any entry point).
inline HINSTANCE resourceInstance() noexcept
{
    void** slot = detail::resourceSlot();
    return slot && *slot ? static_cast<HINSTANCE>(*slot) : serverInstance();
}

// Makes one module's resources (dialogs, bitmaps, strings, the help page) the ones that lookups find,
// for the lifetime of the scope, and restores the caller's on exit.
class ResourceScope {
public:
    // The server's own resources.
    ResourceScope() noexcept : ResourceScope(serverInstance()) {}
    // Another module's (a host may lend its own to code it calls).
    explicit ResourceScope(HINSTANCE resources) noexcept : slot_(detail::resourceSlot())
    {
        if (!slot_) return;
        previous_ = *slot_;
        *slot_ = resources;
    }
    ~ResourceScope()
    {
        if (slot_) *slot_ = previous_;
    }
    ResourceScope(const ResourceScope&) = delete;
    ResourceScope& operator=(const ResourceScope&) = delete;

private:
    void** slot_;
    void* previous_ = nullptr;
};

// The body of an entry point that loads no resources (the engine's answers to its modules):
// exceptions turned into the HRESULT. The callable returns void (S_OK) or an HRESULT.
template <class F>
HRESULT guarded(F&& body) noexcept
{
    try {
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
            return S_OK;
        } else {
            return body();
        }
    } catch (...) {
        return currentExceptionToHresult();
    }
}

// The body of every COM entry point: resources current, exceptions turned into the HRESULT.
// The callable returns void (S_OK) or an HRESULT.
template <class F>
HRESULT boundary(F&& body) noexcept
{
    return guarded([&] {
        ResourceScope scope;
        return body();
    });
}

} // namespace modkit
