#pragma once
// A module's settings, typed: numbers travel as 32-bit floats, text as strings, through the engine's
// ISettingsStore. A failed store call throws its HRESULT, which ends the module operation.
//
// A module declares each of its settings once, in the order they are saved; loading follows from
// the same rows (the base of a module class, module/module_base.h, does both):
//
//   static constexpr modkit::Setting<GainModule> declaredSettings[] = {
//       {.name = L"Gain", .field = &GainModule::gain, .accept = modkit::finite},
//       {.name = L"BlockSize", .field = &GainModule::blockSize, .accept = modkit::usableBlockSize},
//       {.name = L"File", .field = &GainModule::fileName},
//   };
//
// Fields are long (stored as a float), float or std::wstring; a field's initial value in its
// declaration is the setting's default. An integer is read back as the stored float truncated
// toward zero; a stored value that is no number, or too large for the integer, is refused, as is
// one the row's Accept refuses: the field keeps its value.
//
// Loading reads the rows in table order, or in the order of their loadAt numbers (1, 2, ...) when
// they give them; saveOnly rows are never read. A row whose stop rule fires ends the reading: no
// later row is read and nothing of this load is taken. Otherwise every accepted value is taken
// together once all are read, and the module's OnLoadSettings follows; if that fails, the fields go
// back to what they were. A failed store call takes nothing either.
#include <windows.h>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>
#include <string>
#include <string_view>
#include "com/bstr.h"
#include "com/error.h"
#include "engine.h"

namespace modkit {

// What a setting accepts from the store: anything, finite numbers, numbers above a bound, numbers
// within bounds (both included), or any number brought within bounds. A refused value leaves the
// field as it was.
struct Accept {
    enum class Kind : unsigned char { Any, Finite, Above, Within, Clamped };
    Kind kind = Kind::Any;
    double low = 0.0;
    double high = 0.0;

    static constexpr Accept above(double bound) { return {Kind::Above, bound, 0.0}; }
    static constexpr Accept within(double low, double high) { return {Kind::Within, low, high}; }
    static constexpr Accept clampedTo(double low, double high) { return {Kind::Clamped, low, high}; }

    // The value to take, or nothing when it is refused.
    template <class Number>
        requires std::is_arithmetic_v<Number>
    std::optional<Number> operator()(Number value) const
    {
        const double v = static_cast<double>(value);
        switch (kind) {
        case Kind::Any: return value;
        case Kind::Finite: return std::isfinite(v) ? std::optional(value) : std::nullopt;
        case Kind::Above: return v > low ? std::optional(value) : std::nullopt;
        case Kind::Within: return v >= low && v <= high ? std::optional(value) : std::nullopt;
        case Kind::Clamped:
            if (std::isnan(v)) return std::nullopt;
            return v < low ? static_cast<Number>(low) : v > high ? static_cast<Number>(high) : value;
        }
        return std::nullopt;
    }
    std::optional<std::wstring> operator()(std::wstring text) const { return text; }
};

inline constexpr Accept anyValue{};
inline constexpr Accept positive = Accept::above(0.0);
inline constexpr Accept finite{Accept::Kind::Finite};

// The most samples a module asks the engine to hold in one block: 2^20 (4 MiB of floats; the
// largest record a recording may announce, too). A stored block size can be any number up to 2^31;
// beyond this no engine should be asked for storage, as each block lives several times over (the
// output's, every input's, the module's own copies) and a 32-bit process must still hold them all.
// The panels offer 1024 at most.
inline constexpr long maxBlockSize = 1L << 20;
inline constexpr Accept usableBlockSize = Accept::within(1.0, double(maxBlockSize));

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

    bool read(const wchar_t* name, float& field, Accept accept = anyValue)
    {
        return take(field, accept(readFloat(name)));
    }
    template <class Integer>
        requires std::is_integral_v<Integer>
    bool read(const wchar_t* name, Integer& field, Accept accept = anyValue)
    {
        std::optional<long> stored = whole(readFloat(name));
        return stored && take(field, accept(static_cast<Integer>(*stored)));
    }

    // A stored float as a whole number, truncated toward zero; nothing for NaN and for values
    // outside the range of a 32-bit integer, whose conversion would be undefined.
    static std::optional<long> whole(float stored) noexcept
    {
        if (!(stored > -2147483648.0f && stored < 2147483648.0f)) return std::nullopt;
        return static_cast<long>(stored);
    }
    bool read(const wchar_t* name, std::wstring& field) { return take(field, std::optional(readString(name))); }

    ISettingsStore& store() const noexcept { return store_; }

private:
    template <class T>
    static bool take(T& field, std::optional<T> value)
    {
        if (!value) return false;
        field = std::move(*value);
        return true;
    }

    ISettingsStore& store_;
};

// When a row ends the reading of the rows after it (nothing of the load is then taken).
enum class Stop : unsigned char {
    Never,
    IfRefused, // its value is refused
    IfZero,    // it reads as 0 (or as no number)
};

template <class Module>
struct Setting {
    const wchar_t* name;
    std::variant<long Module::*, float Module::*, std::wstring Module::*> field;
    Accept accept = anyValue;
    int loadAt = 0;        // place in the load order, from 1; 0 where the table loads in its own order
    bool saveOnly = false; // written, never read
    bool flag = false;     // an integer written as 1 or 0
    Stop stop = Stop::Never;
};

// What one load read, for the module's OnLoadSettings.
class LoadedSettings {
public:
    // The number stored under `name` as read (NaN for a row not read, or a text).
    float stored(std::wstring_view name) const noexcept
    {
        const Entry* e = find(name);
        return e ? e->stored : std::numeric_limits<float>::quiet_NaN();
    }
    // Whether the load gave the field of `name` a value other than the one it had.
    bool changed(std::wstring_view name) const noexcept
    {
        const Entry* e = find(name);
        return e && e->changed;
    }

    struct Entry {
        const wchar_t* name;
        float stored;
        bool changed;
    };
    std::vector<Entry> entries;

private:
    const Entry* find(std::wstring_view name) const noexcept
    {
        for (const Entry& e : entries)
            if (name == e.name) return &e;
        return nullptr;
    }
};

// A table's load order is its own, or every read row has its own place 1 to n.
template <class Module>
constexpr bool validLoadOrder(std::span<const Setting<Module>> table)
{
    int placed = 0, read = 0;
    for (const auto& row : table) {
        if (row.saveOnly) continue;
        ++read;
        if (row.loadAt != 0) ++placed;
    }
    if (placed == 0) return true;
    if (placed != read) return false;
    for (int place = 1; place <= read; ++place) {
        int found = 0;
        for (const auto& row : table) found += !row.saveOnly && row.loadAt == place;
        if (found != 1) return false;
    }
    return true;
}

template <class Module>
void saveSettings(const Module& module, std::span<const Setting<Module>> table, Settings& settings)
{
    for (const auto& row : table)
        std::visit(
            [&](auto member) {
                const auto& value = module.*member;
                if constexpr (std::is_same_v<std::remove_cvref_t<decltype(value)>, long>) {
                    if (row.flag)
                        settings.write(row.name, value != 0);
                    else
                        settings.write(row.name, value);
                } else {
                    settings.write(row.name, value);
                }
            },
            row.field);
}

namespace detail {

// A value read for a row: nothing when it is refused.
using SettingValue = std::variant<std::monostate, long, float, std::wstring>;

template <class Module>
SettingValue readSetting(const Setting<Module>& row, Settings& settings, float& stored)
{
    return std::visit(
        [&](auto member) -> SettingValue {
            using Field = std::remove_cvref_t<decltype(std::declval<Module&>().*member)>;
            if constexpr (std::is_same_v<Field, std::wstring>) {
                return settings.readString(row.name);
            } else {
                stored = settings.readFloat(row.name);
                std::optional<Field> value;
                if constexpr (std::is_same_v<Field, long>) {
                    if (auto whole = Settings::whole(stored)) value = row.accept(*whole);
                } else {
                    value = row.accept(stored);
                }
                return value ? SettingValue(*value) : SettingValue();
            }
        },
        row.field);
}

template <class Module>
bool endsLoad(const Setting<Module>& row, const SettingValue& value, float stored) noexcept
{
    if (row.stop == Stop::IfRefused) return std::holds_alternative<std::monostate>(value);
    if (row.stop == Stop::IfZero) return Settings::whole(stored).value_or(0) == 0;
    return false;
}

// Swaps the row's field with `value` (a value of the field's type); answers whether they differed.
template <class Module>
bool exchange(Module& module, const Setting<Module>& row, SettingValue& value) noexcept
{
    return std::visit(
        [&](auto member) {
            using Field = std::remove_cvref_t<decltype(module.*member)>;
            std::swap(module.*member, std::get<Field>(value));
            return module.*member != std::get<Field>(value);
        },
        row.field);
}

} // namespace detail

// Reads `table` from the store and takes it into `module`, then runs `loaded` (see above).
template <class Module, class Loaded>
void loadSettings(Module& module, std::span<const Setting<Module>> table, Settings& settings, Loaded&& loaded)
{
    std::vector<const Setting<Module>*> order;
    for (const auto& row : table)
        if (!row.saveOnly) order.push_back(&row);
    std::stable_sort(order.begin(), order.end(), [](auto a, auto b) { return a->loadAt < b->loadAt; });

    LoadedSettings result;
    std::vector<detail::SettingValue> values;
    for (const Setting<Module>* row : order) {
        float stored = std::numeric_limits<float>::quiet_NaN();
        values.push_back(detail::readSetting(*row, settings, stored));
        result.entries.push_back({row->name, stored, false});
        if (detail::endsLoad(*row, values.back(), stored)) return;
    }
    // Everything read: the values go in together (the old ones kept in their place), and come back
    // out if the module's step fails.
    auto exchangeAll = [&] {
        for (size_t i = 0; i < order.size(); ++i)
            if (!std::holds_alternative<std::monostate>(values[i]))
                result.entries[i].changed = detail::exchange(module, *order[i], values[i]);
    };
    exchangeAll();
    try {
        loaded(static_cast<const LoadedSettings&>(result));
    } catch (...) {
        exchangeAll();
        throw;
    }
}

} // namespace modkit
