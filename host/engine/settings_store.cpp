#include "host/engine/settings_store.h"

#include <utility>
#include "com/bstr.h"

namespace vento {

using modkit::bstrView;

namespace {
const HRESULT notFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

void SettingsStore::recordCalls()
{
    if (!probe_) probe_ = std::make_unique<Probe>();
}

const std::vector<SettingsStore::Call>& SettingsStore::calls() const noexcept
{
    static const std::vector<Call> none;
    return probe_ ? probe_->calls : none;
}

void SettingsStore::failCall(Call which, HRESULT hr, int skip)
{
    recordCalls();
    probe_->faultCall = which;
    probe_->faultHr = hr;
    probe_->faultSkip = skip;
}

HRESULT SettingsStore::probe(Call call) noexcept
{
    try {
        probe_->calls.push_back(call);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (SUCCEEDED(probe_->faultHr) || probe_->faultCall != call) return S_OK;
    if (probe_->faultSkip > 0) {
        --probe_->faultSkip;
        return S_OK;
    }
    return std::exchange(probe_->faultHr, S_OK);
}

template <class Body>
HRESULT SettingsStore::answer(Call call, Body&& body) noexcept
{
    if (probe_) // only tests set it
        if (HRESULT hr = probe(call); FAILED(hr)) return hr;
    return modkit::boundary(std::forward<Body>(body));
}

// A read is recorded whether or not the store holds the name: the host tells from it which settings
// a module asked for.
template <class Map, class Out, class Give>
HRESULT SettingsStore::read(Call call, Kind kind, const Map& values, BSTR name, Out* value, Give give) noexcept
{
    return answer(call, [&] {
        if (!value) return E_POINTER;
        reads_.push_back({kind, std::wstring(bstrView(name))});
        auto it = values.find(bstrView(name));
        if (it == values.end()) return notFound;
        *value = give(it->second);
        return S_OK;
    });
}

STDMETHODIMP SettingsStore::ReadString(BSTR name, BSTR* value) noexcept
{
    return read(Call::ReadString, Kind::String, strings_, name, value, [](const std::wstring& s) { return modkit::Bstr::allocate(s); });
}

STDMETHODIMP SettingsStore::ReadFloat(BSTR name, float* value) noexcept
{
    return read(Call::ReadFloat, Kind::Float, floats_, name, value, [](float f) { return f; });
}

STDMETHODIMP SettingsStore::WriteString(BSTR name, BSTR value) noexcept
{
    return answer(Call::WriteString, [&] {
        setString(bstrView(name), bstrView(value));
        writes_.push_back({Kind::String, std::wstring(bstrView(name))});
    });
}

STDMETHODIMP SettingsStore::WriteFloat(BSTR name, float value) noexcept
{
    return answer(Call::WriteFloat, [&] {
        setFloat(bstrView(name), value);
        writes_.push_back({Kind::Float, std::wstring(bstrView(name))});
    });
}

std::optional<float> SettingsStore::floatValue(std::wstring_view name) const
{
    auto it = floats_.find(name);
    if (it == floats_.end()) return std::nullopt;
    return it->second;
}

std::optional<std::wstring> SettingsStore::stringValue(std::wstring_view name) const
{
    auto it = strings_.find(name);
    if (it == strings_.end()) return std::nullopt;
    return it->second;
}

void SettingsStore::setFloat(std::wstring_view name, float value)
{
    if (floats_.insert_or_assign(std::wstring(name), value).second) entries_.push_back({Kind::Float, std::wstring(name)});
}

void SettingsStore::setString(std::wstring_view name, std::wstring_view value)
{
    if (strings_.insert_or_assign(std::wstring(name), std::wstring(value)).second)
        entries_.push_back({Kind::String, std::wstring(name)});
}

void SettingsStore::clear() noexcept
{
    floats_.clear();
    strings_.clear();
    writes_.clear();
    reads_.clear();
    entries_.clear();
}

} // namespace vento
