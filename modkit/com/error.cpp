#include "error.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace modkit {
namespace {
thread_local HINSTANCE currentResources = nullptr;
thread_local Failure failure;

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

HINSTANCE serverInstance() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

HINSTANCE resourceInstance() noexcept { return currentResources ? currentResources : serverInstance(); }

ResourceScope::ResourceScope() noexcept : ResourceScope(serverInstance()) {}

ResourceScope::ResourceScope(HINSTANCE resources) noexcept : previous_(currentResources) { currentResources = resources; }

ResourceScope::~ResourceScope() { currentResources = previous_; }

} // namespace modkit
