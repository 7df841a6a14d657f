#include "host/graph/module_description.h"

#include <algorithm>
#include "com/bstr.h"
#include "com/error.h"
#include "com/handle.h"
#include "module_files.h"

namespace vento {

ModuleDescription describeInstance(Instance& instance, DescribeOptions options)
{
    ModuleDescription d;
    d.type = instance.core->moduleName();
    ModuleInfo info{};
    if (SUCCEEDED(instance.module->GetInfo(&info))) {
        const modkit::Bstr author = modkit::Bstr::adopt(info.author), text = modkit::Bstr::adopt(info.description);
        d.description = text.view();
    }
    for (const auto& [name, pin] : instance.core->inputs()) d.pins.push_back({name, true, pin.size, pin.multi});
    for (const auto& [name, pin] : instance.core->outputs()) d.pins.push_back({name, false, pin.size(), false});
    // Into a store of its own: the instance keeps the settings it holds.
    auto saved = modkit::make<SettingsStore>();
    if (HRESULT hr = instance.module->SaveSettings(static_cast<ISettingsStore*>(saved.Get())); FAILED(hr))
        throw EngineError(narrow(d.type) + ": SaveSettings failed (" + narrow(modkit::hresultText(hr)) + ")");
    for (const auto& s : saved->entries()) {
        if (s.kind == SettingsStore::Kind::Float) d.settings.push_back({s.name, *saved->floatValue(s.name)});
        else d.settings.push_back({s.name, *saved->stringValue(s.name)});
    }
    if (options.panel) d.panel = readPanel(instance);
    modkit::Bstr help;
    if (SUCCEEDED(instance.module->GetHelpFile(help.put()))) d.helpFile = help.view();
    d.playedFileSetting = playedFileSetting(d.type);
    return d;
}

ModuleDescription describeModule(Engine& engine, const CatalogueEntry& type, DescribeOptions options)
{
    Instance* instance = nullptr;
    try {
        instance = &engine.create(type.clsid);
    } catch (const modkit::ComError& e) {
        throw EngineError(narrow(type.name) + ": cannot be created (" + narrow(modkit::hresultText(e.code())) + ")");
    }
    const auto removeIt = modkit::scopeExit([&]() noexcept { engine.remove(*instance); });
    if (HRESULT hr = instance->module->Initialize(); FAILED(hr))
        throw EngineError(narrow(type.name) + ": Initialize failed (" + narrow(modkit::hresultText(hr)) + ")");
    ModuleDescription d = describeInstance(*instance, options);
    d.type = type.name;
    d.clsid = type.clsid;
    return d;
}

const CatalogueEntry& catalogueEntry(const std::vector<CatalogueEntry>& catalogue, std::wstring_view type, std::string_view what)
{
    auto entry = std::find_if(catalogue.begin(), catalogue.end(), [&](const auto& e) { return e.name == type; });
    if (entry == catalogue.end())
        entry = std::find_if(catalogue.begin(), catalogue.end(),
                             [&](const auto& e) { return _wcsicmp(e.name.c_str(), std::wstring(type).c_str()) == 0; });
    if (entry != catalogue.end()) return *entry;
    std::string names;
    for (const auto& e : catalogue) names += (names.empty() ? "" : ", ") + narrow(e.name);
    throw EngineError(std::string(what) + ": no module type '" + narrow(type) + "' in the catalogue (" + names + ")");
}

std::optional<std::wstring> playedFileSetting(std::wstring_view type)
{
    for (const auto& played : playedFiles)
        if (type == played.type) return std::wstring(played.setting);
    return std::nullopt;
}

bool playsFile(const Instance& instance)
{
    const auto setting = playedFileSetting(instance.core->moduleName());
    if (!setting) return false;
    const auto file = instance.settings->stringValue(*setting);
    return file && !file->empty();
}

} // namespace vento
