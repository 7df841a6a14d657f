#pragma once
// The store a module saves its settings to and loads them from: named 32-bit floats and named
// strings, kept apart. The engine (and a test) can inspect and preset values and see the order in
// which the module wrote them.
//
// For tests, a store can also log every call made through ISettingsStore and fail a chosen one
// (fault injection), as a module core can; off, this costs one test per call.
#include <windows.h>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "com/dispatch.h"
#include "com/object.h"
#include "engine.h"

namespace vento {

class SettingsStore : public modkit::ObjectRoot, public modkit::Dispatch<ISettingsStore> {
public:
    using Interfaces = modkit::InterfaceList<ISettingsStore, modkit::As<IDispatch, ISettingsStore>>;

    // ISettingsStore. Reading a name never written fails with HRESULT_FROM_WIN32(ERROR_NOT_FOUND)
    // and leaves the out value as it was.
    STDMETHODIMP ReadString(BSTR name, BSTR* value) noexcept override;
    STDMETHODIMP WriteString(BSTR name, BSTR value) noexcept override;
    STDMETHODIMP ReadFloat(BSTR name, float* value) noexcept override;
    STDMETHODIMP WriteFloat(BSTR name, float value) noexcept override;

    enum class Call { ReadString, WriteString, ReadFloat, WriteFloat };
    // From now on, log every ISettingsStore call; the log starts empty.
    void recordCalls();
    // Calls made since recordCalls(), in order (empty when not recording).
    const std::vector<Call>& calls() const noexcept;
    // The (skip + 1)-th next call of `which` fails with `hr` and changes nothing (records calls from
    // now on if the store did not already). One fault at a time; a new one replaces the old.
    void failCall(Call which, HRESULT hr, int skip = 0);

    enum class Kind { Float, String };
    struct Write {
        Kind kind;
        std::wstring name;
        bool operator==(const Write&) const = default;
    };

    std::optional<float> floatValue(std::wstring_view name) const;
    std::optional<std::wstring> stringValue(std::wstring_view name) const;
    // Presets a value as if it had been saved earlier; not recorded as a write.
    void setFloat(std::wstring_view name, float value);
    void setString(std::wstring_view name, std::wstring_view value);
    // Every value held, each once, in the order it was first written or preset (a graph file keeps
    // a module's settings in the order the module saves them).
    const std::vector<Write>& entries() const noexcept { return entries_; }
    // Forgets every value and write.
    void clear() noexcept;
    // Writes made through ISettingsStore, in order.
    const std::vector<Write>& writes() const noexcept { return writes_; }
    void clearWrites() noexcept { writes_.clear(); }
    // Reads made through ISettingsStore, in order, found or not: the settings a module's
    // LoadSettings looks at.
    const std::vector<Write>& reads() const noexcept { return reads_; }
    void clearReads() noexcept { reads_.clear(); }

private:
    // The test side: the call log and the fault due, made on first use.
    struct Probe {
        std::vector<Call> calls;
        Call faultCall = Call::ReadString;
        HRESULT faultHr = S_OK;
        int faultSkip = 0;
    };
    // Logs the call; the injected failure when one is due, else S_OK.
    HRESULT probe(Call call) noexcept;
    // Every ISettingsStore call: the probe when tests set one, then the body inside the boundary.
    template <class Body>
    HRESULT answer(Call call, Body&& body) noexcept;
    template <class Map, class Out, class Give>
    HRESULT read(Call call, Kind kind, const Map& values, BSTR name, Out* value, Give give) noexcept;

    std::unique_ptr<Probe> probe_;
    std::map<std::wstring, float, std::less<>> floats_;
    std::map<std::wstring, std::wstring, std::less<>> strings_;
    std::vector<Write> writes_;
    std::vector<Write> reads_;
    std::vector<Write> entries_;
};

} // namespace vento
