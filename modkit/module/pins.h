#pragma once
// Pins and blocks as a module sees them.
#include <windows.h>
#include <oleauto.h>
#include <string_view>
#include "com/bstr.h"
#include "engine.h"

namespace modkit {

// A pin name. Engine calls take BSTRs; the string is made once, on first use, and kept. Pins compare
// by name, with each other and with plain text (`if (pin == L"Default")`); names match exactly.
class Pin {
public:
    explicit Pin(const wchar_t* name) noexcept : name_(name) {}
    const wchar_t* name() const noexcept { return name_; }
    friend bool operator==(const Pin& pin, std::wstring_view name) noexcept { return name == pin.name_; }
    friend bool operator==(const Pin& a, const Pin& b) noexcept { return a == std::wstring_view(b.name_); }
    BSTR bstr() const
    {
        if (!bstr_.get()) bstr_ = Bstr(name_);
        return bstr_.get();
    }

private:
    const wchar_t* name_;
    mutable Bstr bstr_;
};

// One block as read through the site. A null record, a record whose status is not 0, a null data
// pointer or a negative count all read as an empty block: no data, count 0.
struct Block {
    SignalBlock* record = nullptr;
    float* data = nullptr;
    long count = 0;

    static Block from(SignalBlock* record) noexcept
    {
        if (!record || record->status != 0 || !record->data || record->count <= 0) return {record, nullptr, 0};
        return {record, record->data, record->count};
    }
    bool empty() const noexcept { return count == 0; }
};

} // namespace modkit
