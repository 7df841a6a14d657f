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
    d.optionalInputs = optionalInputsOf(d.type);
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

std::vector<std::wstring> optionalInputsOf(std::wstring_view type)
{
    std::vector<std::wstring> pins;
    for (const auto& optional : optionalInputs)
        if (type == optional.type) pins.push_back(optional.pin);
    return pins;
}

std::optional<std::string> fileProblem(const Instance& instance)
{
    if (!playsFile(instance)) return std::nullopt;
    const std::wstring file = *instance.settings->stringValue(*playedFileSetting(instance.core->moduleName()));
    modkit::UniqueFile opened(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (opened) return std::nullopt;
    const DWORD error = GetLastError();
    std::string why = "error " + std::to_string(error);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) why = "no such file";
    else if (error == ERROR_ACCESS_DENIED) why = "access denied";
    else if (error == ERROR_SHARING_VIOLATION) why = "in use by another program";
    return "cannot open '" + narrow(file) + "' (" + why + ")";
}

bool playsFile(const Instance& instance)
{
    const auto setting = playedFileSetting(instance.core->moduleName());
    if (!setting) return false;
    const auto file = instance.settings->stringValue(*setting);
    return file && !file->empty();
}

} // namespace vento
