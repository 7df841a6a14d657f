#pragma once
// A module's settings, typed: numbers travel as 32-bit floats, text as strings, through the engine's
// ISettingsStore. A failed store call throws its HRESULT, which ends the module operation.
//
//   void OnSaveSettings(Settings& s) override
//   {
//       s.write(L"Gain", gain);                      // a float
//       s.write(L"BlockSize", blockSize);            // an integer, stored as a float
//       s.write(L"File", fileName);                  // a string
//   }
//   void OnLoadSettings(Settings& s) override
//   {
//       s.read(L"Gain", gain);
//       s.read(L"BlockSize", blockSize, positive);   // 0, negative or no number: kept as it was
//       s.read(L"File", fileName);
//   }
//
// An integer is read back as the stored float truncated toward zero; a stored value that is no
// number, or too large for the integer, is refused. read() answers whether the field took the
// stored value; a refused value leaves the field as it was.
#include <windows.h>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include "com/bstr.h"
#include "com/error.h"
#include "engine.h"

namespace modkit {

// What read() accepts: anything, values above zero, numbers that are finite.
inline constexpr auto anyValue = [](const auto&) { return true; };
inline constexpr auto positive = [](auto value) { return value > 0; };
inline constexpr auto finite = [](float value) { return std::isfinite(value); };

// The most samples a module asks the engine to hold in one block: 2^20 (4 MiB of floats; the
// largest record a recording may announce, too). A stored block size can be any number up to 2^31;
// beyond this no engine should be asked for storage, as each block lives several times over (the
// output's, every input's, the module's own copies) and a 32-bit process must still hold them all.
// The panels offer 1024 at most.
inline constexpr long maxBlockSize = 1L << 20;
inline constexpr auto usableBlockSize = [](long value) { return value > 0 && value <= maxBlockSize; };

class Settings {
public:
    explicit Settings(ISettingsStore& store) noexcept : store_(store) {}

    void write(const wchar_t* name, float value) { check(store_.WriteFloat(Bstr(name).get(), value)); }
    void write(const wchar_t* name, long value) { write(name, static_cast<float>(value)); }
    void write(const wchar_t* name, int value) { write(name, static_cast<float>(value)); }
    // A flag: 1.0 or 0.0.
    void write(const wchar_t* name, bool value) { write(name, value ? 1.0f : 0.0f); }
    void write(const wchar_t* name, std::wstring_view text) { check(store_.WriteString(Bstr(name).get(), Bstr(text).get())); }
    void write(const wchar_t* name, const wchar_t* text) { write(name, std::wstring_view(text)); }

    // The stored float, as it is.
    float readFloat(const wchar_t* name)
    {
        float value = 0.0f;
        check(store_.ReadFloat(Bstr(name).get(), &value));
        return value;
    }
    std::wstring readString(const wchar_t* name)
    {
        Bstr text;
        check(store_.ReadString(Bstr(name).get(), text.put()));
        return std::wstring(text.view());
    }

    template <class Accept = decltype(anyValue)>
    bool read(const wchar_t* name, float& field, Accept accept = anyValue)
    {
        return take(field, readFloat(name), accept);
    }
    template <class Integer, class Accept = decltype(anyValue)>
        requires std::is_integral_v<Integer>
    bool read(const wchar_t* name, Integer& field, Accept accept = anyValue)
    {
        std::optional<long> stored = whole(readFloat(name));
        return stored && take(field, static_cast<Integer>(*stored), accept);
    }

    // A stored float as a whole number, truncated toward zero; nothing for NaN and for values
    // outside the range of a 32-bit integer, whose conversion would be undefined.
    static std::optional<long> whole(float stored) noexcept
    {
        if (!(stored > -2147483648.0f && stored < 2147483648.0f)) return std::nullopt;
        return static_cast<long>(stored);
    }
    template <class Accept = decltype(anyValue)>
    bool read(const wchar_t* name, std::wstring& field, Accept accept = anyValue)
    {
        return take(field, readString(name), accept);
    }

    ISettingsStore& store() const noexcept { return store_; }

private:
    template <class T, class Accept>
    static bool take(T& field, T value, Accept& accept)
    {
        if (!accept(value)) return false;
        field = std::move(value);
        return true;
    }

    ISettingsStore& store_;
};

} // namespace modkit
