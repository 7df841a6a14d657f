#pragma once
// Exceptions inside, HRESULTs at the edge: check() throws on a failed call, and boundary() is the one
// place that turns whatever was thrown back into the HRESULT a COM caller sees.
#include <windows.h>
#include <exception>
#include <new>
#include <stdexcept>

namespace modkit {

class ComError : public std::exception {
public:
    explicit ComError(HRESULT hr) noexcept : hr_(hr) {}
    HRESULT code() const noexcept { return hr_; }
    const char* what() const noexcept override { return "COM error"; }

private:
    HRESULT hr_;
};

[[noreturn]] inline void throwHr(HRESULT hr) { throw ComError(hr); }

// Throws only on failure; success codes such as S_FALSE pass through to the caller.
inline HRESULT check(HRESULT hr)
{
    if (FAILED(hr)) throwHr(hr);
    return hr;
}

// Maps the exception in flight to an HRESULT. Call only from inside a catch block.
inline HRESULT currentExceptionToHresult() noexcept
{
    try {
        throw;
    } catch (const ComError& e) {
        return e.code();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::invalid_argument&) {
        return E_INVALIDARG;
    } catch (const std::out_of_range&) {
        return static_cast<HRESULT>(0x8000000BL); // E_BOUNDS
    } catch (...) {
        return E_FAIL;
    }
}

// Makes one module's resources (dialogs, bitmaps, strings, the help page) the ones that lookups find,
// for the lifetime of the scope, and restores the caller's on exit.
class ResourceScope {
public:
    ResourceScope() noexcept;
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
