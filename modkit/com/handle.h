#pragma once
// Owners of the platform's handles: one template with the close function as its parameter, and the
// few other shapes the code needs (a VARIANT, a task-memory string, a loaded library with typed entry
// points, device contexts, an object selected into one, a paint scope, an action at scope exit).
// Nothing is freed by hand elsewhere.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>
#include "com/bstr.h"
#include "com/error.h"

namespace modkit {

// The value that means "no handle": null for most handles, INVALID_HANDLE_VALUE for files.
template <class T>
struct NullIsNone {
    static T none() noexcept { return T{}; }
};
struct InvalidHandleIsNone {
    static HANDLE none() noexcept { return INVALID_HANDLE_VALUE; }
};

template <class T, void (*Close)(T) noexcept, class None = NullIsNone<T>>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(T handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    T get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != None::none(); }
    // Out-parameter use: closes what is held first.
    T* put() noexcept
    {
        reset();
        return &handle_;
    }
    T release() noexcept { return std::exchange(handle_, None::none()); }
    void reset(T handle = None::none()) noexcept
    {
        T old = std::exchange(handle_, handle);
        if (old != None::none()) Close(old);
    }

private:
    T handle_ = None::none();
};

namespace close {
inline void handle(HANDLE h) noexcept { CloseHandle(h); }
inline void library(HMODULE h) noexcept { FreeLibrary(h); }
inline void key(HKEY h) noexcept { RegCloseKey(h); }
template <class G>
void gdiObject(G h) noexcept { DeleteObject(h); }
inline void memoryDc(HDC h) noexcept { DeleteDC(h); }
inline void taskMemory(wchar_t* p) noexcept { CoTaskMemFree(p); }
inline void window(HWND h) noexcept { DestroyWindow(h); }
} // namespace close

// An open file, with the whole reads and writes the file modules make.
class UniqueFile : public UniqueHandle<HANDLE, close::handle, InvalidHandleIsNone> {
public:
    using UniqueHandle::UniqueHandle;

    // Whole writes only: anything less is a failed write.
    bool writeAll(const void* bytes, DWORD size) const noexcept
    {
        DWORD written = 0;
        return WriteFile(get(), bytes, size, &written, nullptr) && written == size;
    }
    // Reads up to `size` bytes; answers how many came (0 when reading fails).
    DWORD readSome(void* bytes, DWORD size) const noexcept
    {
        DWORD read = 0;
        return ReadFile(get(), bytes, size, &read, nullptr) ? read : 0;
    }
    // The rest of the file from where it stands; nothing when its size is unknown or above
    // `largest`, or it cannot be read in full.
    std::optional<std::vector<std::uint8_t>> readWhole(LONGLONG largest) const
    {
        const std::optional<LONGLONG> total = size();
        if (!total || *total > largest) return std::nullopt;
        std::vector<std::uint8_t> bytes(static_cast<size_t>(*total - position()));
        for (size_t done = 0; done < bytes.size();) {
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
            const DWORD got = readSome(bytes.data() + done, chunk);
            if (got == 0) return std::nullopt;
            done += got;
        }
        return bytes;
    }
    bool seek(LONGLONG to) const noexcept
    {
        LARGE_INTEGER at{};
        at.QuadPart = to;
        return SetFilePointerEx(get(), at, nullptr, FILE_BEGIN);
    }
    // Where the next read or write goes; 0 when it cannot be told.
    LONGLONG position() const noexcept
    {
        LARGE_INTEGER zero{}, at{};
        return SetFilePointerEx(get(), zero, &at, FILE_CURRENT) ? at.QuadPart : 0;
    }
    std::optional<LONGLONG> size() const noexcept
    {
        LARGE_INTEGER bytes{};
        if (!GetFileSizeEx(get(), &bytes)) return std::nullopt;
        return bytes.QuadPart;
    }
};
// A kernel object other than a file (an event, a thread): null when none.
using UniqueKernelObject = UniqueHandle<HANDLE, close::handle>;
using UniqueKey = UniqueHandle<HKEY, close::key>;
using UniqueWindow = UniqueHandle<HWND, close::window>;
// A pen, brush, font or bitmap the code created.
template <class G>
using GdiObject = UniqueHandle<G, close::gdiObject<G>>;
// A drawing context made with CreateCompatibleDC.
using MemoryDc = UniqueHandle<HDC, close::memoryDc>;

// A string from the COM task allocator, as interfaces hand strings to their callers.
class TaskString : public UniqueHandle<wchar_t*, close::taskMemory> {
public:
    using UniqueHandle::UniqueHandle;
    // A terminated copy of `text`; throws E_OUTOFMEMORY.
    static TaskString copy(std::wstring_view text)
    {
        auto* s = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
        if (!s) throwHr(E_OUTOFMEMORY);
        text.copy(s, text.size());
        s[text.size()] = L'\0';
        return TaskString(s);
    }
};

class Variant {
public:
    Variant() noexcept { VariantInit(&v_); }
    // A string variant; throws E_OUTOFMEMORY.
    explicit Variant(std::wstring_view text) : Variant()
    {
        v_.bstrVal = Bstr::allocate(text);
        v_.vt = VT_BSTR;
    }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    const VARIANT& get() const noexcept { return v_; }
    // Out-parameter use: clears what is held first.
    VARIANT* put() noexcept
    {
        VariantClear(&v_);
        return &v_;
    }
    // The text of a string variant; nothing for any other type.
    std::optional<std::wstring_view> text() const noexcept
    {
        if (v_.vt != VT_BSTR) return std::nullopt;
        return bstrView(v_.bstrVal);
    }

private:
    VARIANT v_;
};

// A DLL loaded for the life of the object, with typed access to its exports.
class Library {
public:
    Library() noexcept = default;
    // Loads `file`; throws the platform's error.
    explicit Library(const wchar_t* file) : handle_(LoadLibraryW(file))
    {
        if (!handle_) throwHr(HRESULT_FROM_WIN32(GetLastError()));
    }
    HMODULE get() const noexcept { return handle_.get(); }
    // The export `name` as a function of type F (a function pointer type); null when there is none.
    template <class F>
    F entry(const char* name) const noexcept
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(handle_.get(), name)));
    }

private:
    UniqueHandle<HMODULE, close::library> handle_;
};

// The drawing context of a window (its client area, or the whole window), released with the object.
class WindowDc {
public:
    explicit WindowDc(HWND window, bool wholeWindow = false) noexcept
        : window_(window), dc_(wholeWindow ? GetWindowDC(window) : GetDC(window))
    {
    }
    ~WindowDc()
    {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a drawing context for the scope; the one it replaced goes back at the end.
// A null object selects nothing.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~Selection()
    {
        if (previous_) SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// BeginPaint to EndPaint: the update region is validated whatever the drawing does.
class PaintScope {
public:
    explicit PaintScope(HWND window) noexcept : window_(window) { BeginPaint(window_, &paint_); }
    ~PaintScope() { EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const noexcept { return paint_.hdc; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
};

// Runs an action when the scope ends, however it ends, unless dismissed.
template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F action) noexcept : action_(std::move(action)) {}
    ~ScopeExit()
    {
        if (armed_) action_();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    void dismiss() noexcept { armed_ = false; }

private:
    F action_;
    bool armed_ = true;
};

template <class F>
ScopeExit<F> scopeExit(F action) noexcept
{
    return ScopeExit<F>(std::move(action));
}

} // namespace modkit
