#pragma once
// Exceptions inside, HRESULTs at the edge: check() throws on a failed call, and boundary() is the one
// place that turns whatever was thrown back into the HRESULT a COM caller sees. An error carries the
// place it was raised (file, line and function of the check), so that a failure names its place in
// a log or a test: lastFailure() keeps the last one a boundary turned into an HRESULT.
#include <windows.h>
#include <exception>
#include <new>
#include <source_location>
#include <stdexcept>
#include <string>
#include <type_traits>

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

// Maps the exception in flight to an HRESULT and keeps it as lastFailure(). Call only from inside a
// catch block.
HRESULT currentExceptionToHresult() noexcept;

// Makes one module's resources (dialogs, bitmaps, strings, the help page) the ones that lookups find,
// for the lifetime of the scope, and restores the caller's on exit.
class ResourceScope {
public:
    // The server's own resources.
    ResourceScope() noexcept;
    // Another module's (a host may lend its own to code it calls).
    explicit ResourceScope(HINSTANCE resources) noexcept;
    ~ResourceScope();
    ResourceScope(const ResourceScope&) = delete;
    ResourceScope& operator=(const ResourceScope&) = delete;

private:
    HINSTANCE previous_;
};

// The module whose resources are current on this thread (the server itself inside any entry point).
HINSTANCE resourceInstance() noexcept;
// The file this code is linked into (the server DLL, or the test program).
HINSTANCE serverInstance() noexcept;

// The body of every COM entry point: resources current, exceptions turned into the HRESULT.
// The callable returns void (S_OK) or an HRESULT.
template <class F>
HRESULT boundary(F&& body) noexcept
{
    try {
        ResourceScope scope;
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

} // namespace modkit
