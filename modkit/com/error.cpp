#include "error.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <utility>

namespace modkit {

namespace detail {
DWORD resourceSlotPlusOne = 0;

void** resourceSlotAddress(DWORD index) noexcept
{
    // Past the first 64 the TEB holds a pointer to more slots, made on first use: TlsSetValue makes
    // them, keeping the caller's last error.
    const DWORD error = GetLastError();
    if (!TlsGetValue(index)) TlsSetValue(index, nullptr);
#ifdef _WIN64
    constexpr std::size_t expansion = 0x1780;
#else
    constexpr std::size_t expansion = 0xF94;
#endif
    void** more = *reinterpret_cast<void***>(currentTeb() + expansion);
    SetLastError(error);
    return more ? more + (index - 64) : nullptr;
}
} // namespace detail

namespace {
thread_local Failure failure;

// The slot lives as long as this file is loaded: a server DLL loaded and freed again gives it back.
struct ResourceSlot {
    ResourceSlot() noexcept
    {
        const DWORD index = TlsAlloc();
        if (index != TLS_OUT_OF_INDEXES) detail::resourceSlotPlusOne = index + 1;
    }
    ~ResourceSlot()
    {
        const DWORD plusOne = std::exchange(detail::resourceSlotPlusOne, 0);
        if (plusOne) TlsFree(plusOne - 1);
    }
} resourceSlotOwner;

// The file name without its folders: places read "module_base.cpp:42", not a build path.
const char* baseName(const char* path) noexcept
{
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    return name;
}
} // namespace

ComError::ComError(HRESULT hr, std::source_location where) noexcept : hr_(hr), where_(where)
{
    std::snprintf(text_, sizeof text_, "0x%08lX at %s:%u (%s)", static_cast<unsigned long>(hr),
                  baseName(where.file_name()), static_cast<unsigned>(where.line()), where.function_name());
}

std::wstring hresultText(HRESULT hr)
{
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

const Failure& lastFailure() noexcept { return failure; }

void prepareFailureRecord() noexcept { failure = {}; }

HRESULT currentExceptionToHresult() noexcept
{
    failure = {};
    try {
        throw;
    } catch (const ComError& e) {
        failure = {e.code(), baseName(e.where().file_name()), static_cast<unsigned>(e.where().line()),
                   e.where().function_name()};
    } catch (const std::bad_alloc&) {
        failure.code = E_OUTOFMEMORY;
    } catch (const std::invalid_argument&) {
        failure.code = E_INVALIDARG;
    } catch (const std::out_of_range&) {
        failure.code = static_cast<HRESULT>(0x8000000BL); // E_BOUNDS
    } catch (...) {
        failure.code = E_FAIL;
    }
    return failure.code;
}

} // namespace modkit
