#pragma once
// LoadSettings from given numbers, as a graph file or an earlier save would give them (what a module
// saves is read back with ModuleHarness::savedFloats).
#include <map>
#include <string>
#include <wrl/client.h>
#include "engine.h"
#include "host/engine/settings_store.h"

namespace vento::test {

using FloatSettings = std::map<std::wstring, float>;

// LoadSettings from a store holding exactly `values`.
inline HRESULT loadFloats(IModule* module, const FloatSettings& values)
{
    Microsoft::WRL::ComPtr<SettingsStore> store = modkit::make<SettingsStore>();
    for (const auto& [name, value] : values) store->setFloat(name, value);
    return module->LoadSettings(store.Get());
}

} // namespace vento::test
