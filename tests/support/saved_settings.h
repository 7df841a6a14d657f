#pragma once
// A module's numeric settings as a map, both ways: what SaveSettings writes, and LoadSettings from
// given values.
#include <map>
#include <string>
#include <wrl/client.h>
#include "engine.h"
#include "host/settings_store.h"

namespace vento::test {

using FloatSettings = std::map<std::wstring, float>;

// Every float the module's SaveSettings writes now (a failed save gives an empty map).
inline FloatSettings savedFloats(IModule* module)
{
    Microsoft::WRL::ComPtr<SettingsStore> store = modkit::make<SettingsStore>();
    FloatSettings values;
    if (FAILED(module->SaveSettings(store.Get()))) return values;
    for (const auto& write : store->writes())
        if (auto value = store->floatValue(write.name)) values[write.name] = *value;
    return values;
}

// LoadSettings from a store holding exactly `values`.
inline HRESULT loadFloats(IModule* module, const FloatSettings& values)
{
    Microsoft::WRL::ComPtr<SettingsStore> store = modkit::make<SettingsStore>();
    for (const auto& [name, value] : values) store->setFloat(name, value);
    return module->LoadSettings(store.Get());
}

} // namespace vento::test
