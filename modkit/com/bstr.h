#pragma once
// Owning BSTR: SysFreeString on destruction, throws E_OUTOFMEMORY when an allocation fails.
#include <windows.h>
#include <oleauto.h>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include "error.h"

namespace modkit {

class Bstr {
public:
    Bstr() noexcept = default;
    explicit Bstr(std::wstring_view text) : s_(allocate(text)) {}
    ~Bstr() { SysFreeString(s_); }
    Bstr(Bstr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept
    {
        if (this != &other) reset(std::exchange(other.s_, nullptr));
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    // Takes ownership of a string someone else allocated.
    static Bstr adopt(BSTR s) noexcept
    {
        Bstr owner;
        owner.s_ = s;
        return owner;
    }

    BSTR get() const noexcept { return s_; }
    // Out-parameter use: frees what is held first.
    BSTR* put() noexcept
    {
        reset();
        return &s_;
    }
    BSTR release() noexcept { return std::exchange(s_, nullptr); }
    // The variable itself, for a record whose reader may replace the string in it (a block's
    // property document); what is there when the owner goes is freed.
    BSTR* slot() noexcept { return &s_; }
    void reset(BSTR s = nullptr) noexcept
    {
        SysFreeString(s_);
        s_ = s;
    }
    std::wstring_view view() const noexcept;
    bool empty() const noexcept { return view().empty(); }

    static BSTR allocate(std::wstring_view text)
    {
        BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!s) throwHr(E_OUTOFMEMORY);
        return s;
    }

private:
    BSTR s_ = nullptr;
};

// Text of a BSTR that may be null (COM treats null as the empty string). The length is read from the
// string's prefix, as SysStringLen does, without a call into oleaut32 on every block.
inline std::wstring_view bstrView(BSTR s) noexcept
{
    if (!s) return std::wstring_view();
    UINT bytes;
    std::memcpy(&bytes, reinterpret_cast<const char*>(s) - sizeof bytes, sizeof bytes);
    return std::wstring_view(s, bytes / sizeof(wchar_t));
}

inline std::wstring_view Bstr::view() const noexcept { return bstrView(s_); }

// Whether two texts are the same: eight bytes at a time, in the caller's code (under Wine, msvcrt's
// wmemcmp, which std::wstring_view's comparison calls, goes one character at a time). Property
// documents are compared on every block.
inline bool sameText(std::wstring_view a, std::wstring_view b) noexcept
{
    if (a.size() != b.size()) return false;
    const char* p = reinterpret_cast<const char*>(a.data());
    const char* q = reinterpret_cast<const char*>(b.data());
    if (p == q) return true;
    const std::size_t n = a.size() * sizeof(wchar_t);
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, p + i, 8);
        std::memcpy(&y, q + i, 8);
        if (x != y) return false;
    }
    for (; i < n; ++i)
        if (p[i] != q[i]) return false;
    return true;
}

} // namespace modkit
