#include "host/settings_store.h"

#include "com/bstr.h"

namespace vento {

using modkit::bstrView;

namespace {
const HRESULT notFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

STDMETHODIMP SettingsStore::ReadString(BSTR name, BSTR* value) noexcept
{
    return modkit::boundary([&] {
        if (!value) return E_POINTER;
        reads_.push_back({Kind::String, std::wstring(bstrView(name))});
        auto it = strings_.find(bstrView(name));
        if (it == strings_.end()) return notFound;
        *value = modkit::Bstr::allocate(it->second);
        return S_OK;
    });
}

STDMETHODIMP SettingsStore::WriteString(BSTR name, BSTR value) noexcept
{
    return modkit::boundary([&] {
        setString(bstrView(name), bstrView(value));
        writes_.push_back({Kind::String, std::wstring(bstrView(name))});
    });
}

STDMETHODIMP SettingsStore::ReadFloat(BSTR name, float* value) noexcept
{
    return modkit::boundary([&] {
        if (!value) return E_POINTER;
        reads_.push_back({Kind::Float, std::wstring(bstrView(name))});
        auto it = floats_.find(bstrView(name));
        if (it == floats_.end()) return notFound;
        *value = it->second;
        return S_OK;
    });
}

STDMETHODIMP SettingsStore::WriteFloat(BSTR name, float value) noexcept
{
    return modkit::boundary([&] {
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
