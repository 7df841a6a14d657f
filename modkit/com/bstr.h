#pragma once
// Owning BSTR: SysFreeString on destruction, throws E_OUTOFMEMORY when an allocation fails.
#include <windows.h>
#include <oleauto.h>
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
    std::wstring_view view() const noexcept { return s_ ? std::wstring_view(s_, SysStringLen(s_)) : std::wstring_view(); }
    bool empty() const noexcept { return !s_ || SysStringLen(s_) == 0; }

    static BSTR allocate(std::wstring_view text)
    {
        BSTR s = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!s) throwHr(E_OUTOFMEMORY);
        return s;
    }

private:
    BSTR s_ = nullptr;
};

// Text of a BSTR that may be null (COM treats null as the empty string).
inline std::wstring_view bstrView(BSTR s) noexcept
{
    return s ? std::wstring_view(s, SysStringLen(s)) : std::wstring_view();
}

} // namespace modkit
