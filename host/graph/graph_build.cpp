#include "host/graph/graph_build.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <variant>
#include "com/error.h"
#include "host/graph/graph_values.h"
#include "host/panel/panel_replay.h"
#include "host/registrar/catalogue.h"

namespace vento {

namespace {

// The catalogue entry of every module, in order, once each name and type has proved usable.
std::vector<const CatalogueEntry*> resolveModules(const Engine& engine, const Graph& graph, const std::filesystem::path& file,
                                                  const std::vector<CatalogueEntry>& catalogue)
{
    std::vector<const CatalogueEntry*> classes;
    for (auto m = graph.modules.begin(); m != graph.modules.end(); ++m) {
        if (m->name.empty()) graphFileError(file, L"a module has no name");
        const std::wstring where = L"module " + inQuotes(m->name);
        if (m->type.empty()) graphFileError(file, where + L" has no type");
        if (engine.find(m->name) || std::any_of(graph.modules.begin(), m, [&](const GraphModule& e) { return e.name == m->name; }))
            graphFileError(file, L"duplicate module name " + inQuotes(m->name));
        auto entry = std::find_if(catalogue.begin(), catalogue.end(), [&](const auto& e) { return e.name == m->type; });
        if (entry == catalogue.end())
            graphFileError(file, where + L": unknown module type " + inQuotes(m->type) +
                                     L" (not in the catalogue; run 'vento register')");
        classes.push_back(&*entry);
    }
    return classes;
}

using SettingValue = std::variant<float, std::wstring>;

std::optional<SettingValue> held(const SettingsStore& store, const GraphSetting& like)
{
    if (std::holds_alternative<float>(like.value)) {
        if (auto v = store.floatValue(like.name)) return SettingValue(*v);
    } else if (auto v = store.stringValue(like.name)) {
        return SettingValue(*v);
    }
    return std::nullopt;
}

bool same(const SettingValue& a, const SettingValue& b)
{
    const float* x = std::get_if<float>(&a);
    const float* y = std::get_if<float>(&b);
    if (x && y) return *x == *y || (std::isnan(*x) && std::isnan(*y));
    return a == b;
}

// A number as short as brings the same float back; text in quotes.
std::wstring valueText(const SettingValue& value)
{
    const float* number = std::get_if<float>(&value);
    return number ? floatText(*number) : inQuotes(std::get<std::wstring>(value));
}

// The module's SaveSettings into a store of its own (the instance's settings stay as they are);
// null when it fails.
Microsoft::WRL::ComPtr<SettingsStore> savedNow(Instance& instance)
{
    auto store = modkit::make<SettingsStore>();
    if (FAILED(instance.module->SaveSettings(static_cast<ISettingsStore*>(store.Get())))) return nullptr;
    return store;
}

void buildModule(Engine& engine, const GraphModule& m, const CatalogueEntry& entry, const std::filesystem::path& file,
                 const BuildOptions& options)
{
    const std::wstring where = L"module " + inQuotes(m.name);
    Instance* instance = nullptr;
    try {
        instance = &engine.create(entry.clsid, m.name);
    } catch (const modkit::ComError& e) {
        graphFileError(file, where + L": cannot create " + inQuotes(m.type) + L" (" + modkit::hresultText(e.code()) +
                                 L"; is its server registered?)");
    }
    if (HRESULT hr = instance->module->Initialize(); FAILED(hr))
        graphFileError(file, where + L": Initialize failed (" + modkit::hresultText(hr) + L")");
    if (m.settings.empty()) return;
    // The module's own values under the described ones: a file may name only the settings it changes.
    const auto before = savedNow(*instance);
    engine.saveSettings(*instance);
    for (const GraphSetting& s : m.settings) {
        if (const float* number = std::get_if<float>(&s.value)) instance->settings->setFloat(s.name, *number);
        else instance->settings->setString(s.name, std::get<std::wstring>(s.value));
    }
    instance->settings->clearReads();
    if (HRESULT hr = instance->module->LoadSettings(static_cast<ISettingsStore*>(instance->settings.Get())); FAILED(hr))
        graphFileError(file, where + L": its settings were not accepted (LoadSettings " + modkit::hresultText(hr) + L")");
    const auto after = savedNow(*instance);
    if (!after) return; // nothing to judge by
    if (before)
        for (const RefusedSetting& refused : refusedSettings(m.settings, *before.Get(), *instance->settings.Get(), *after.Get())) {
            const std::string text = refusalText(file, m.name, refused);
            if (options.strict) throw EngineError(text);
            if (options.warn) options.warn(text);
            else std::fprintf(stderr, "vento: warning: %s\n", text.c_str());
        }
    // What the module holds now, not what the file offered: a graph saved from these settings writes
    // the value the module kept, never the one it refused.
    for (const auto& entry : after->entries()) {
        if (entry.kind == SettingsStore::Kind::Float) instance->settings->setFloat(entry.name, *after->floatValue(entry.name));
        else instance->settings->setString(entry.name, *after->stringValue(entry.name));
    }
}

void buildConnection(Engine& engine, const GraphConnection& c, const std::filesystem::path& file)
{
    const std::wstring where = L"connect " + inQuotes(c.from + L"." + c.output) + L" -> " + inQuotes(c.to + L"." + c.input);
    Instance* source = engine.find(c.from);
    Instance* target = engine.find(c.to);
    if (!source) graphFileError(file, where + L": unknown module " + inQuotes(c.from));
    if (!target) graphFileError(file, where + L": unknown module " + inQuotes(c.to));
    if (!source->core->findOutput(c.output))
        graphFileError(file, where + L": " + inQuotes(c.from) + L" has no output pin " + inQuotes(c.output));
    InputPin* pin = target->core->findInput(c.input);
    if (!pin) graphFileError(file, where + L": " + inQuotes(c.to) + L" has no input pin " + inQuotes(c.input));
    if (!pin->multi && pin->slots.front()->sourcePin) graphFileError(file, where + L": that input is connected already");
    engine.connect(*source, c.output, *target, c.input);
}

} // namespace

std::vector<RefusedSetting> refusedSettings(const std::vector<GraphSetting>& given, const SettingsStore& before,
                                            const SettingsStore& loaded, const SettingsStore& after)
{
    std::vector<RefusedSetting> refused;
    for (const GraphSetting& s : given) {
        const SettingsStore::Kind kind = std::holds_alternative<float>(s.value) ? SettingsStore::Kind::Float : SettingsStore::Kind::String;
        const bool read = std::find(loaded.reads().begin(), loaded.reads().end(), SettingsStore::Write{kind, s.name}) != loaded.reads().end();
        const auto was = held(before, s), is = held(after, s);
        if (read && was && is && same(*was, *is) && !same(s.value, *was)) refused.push_back({s.name, s.value, *is});
    }
    return refused;
}

std::string refusalText(const std::filesystem::path& file, std::wstring_view instance, const RefusedSetting& refused)
{
    return narrow(file.filename().wstring() + L": module " + inQuotes(instance) + L": setting " + inQuotes(refused.name) + L" = " +
                  valueText(refused.given) + L" was refused; it keeps " + valueText(refused.kept));
}

void buildGraph(Engine& engine, const Graph& graph, const std::filesystem::path& file, const BuildOptions& options)
{
    engine.setRestorePlacement(true); // the description holds the windows' saved places
    const auto catalogue = readCatalogue();
    const auto classes = resolveModules(engine, graph, file, catalogue);
    for (size_t i = 0; i < graph.modules.size(); ++i) buildModule(engine, graph.modules[i], *classes[i], file, options);
    for (const GraphConnection& c : graph.connections) buildConnection(engine, c, file);
    try {
        engine.order();
    } catch (const EngineError& e) {
        graphFileError(file, L"connections: " + std::wstring(e.what(), e.what() + std::strlen(e.what())));
    }
    for (const GraphModule& m : graph.modules) {
        try {
            applyPanel(*engine.find(m.name), m.panel);
        } catch (const EngineError& e) {
            throw EngineError(narrow(file.filename().wstring()) + ": " + e.what());
        }
    }
}

Graph describeGraph(const Engine& engine, const Graph& loaded)
{
    Graph described;
    for (const auto& instance : engine.instances()) {
        GraphModule& m = described.modules.emplace_back();
        m.name = instance->name;
        m.type = instance->core->moduleName();
        for (const auto& entry : instance->settings->entries()) {
            if (entry.kind == SettingsStore::Kind::Float) m.settings.push_back({entry.name, *instance->settings->floatValue(entry.name)});
            else m.settings.push_back({entry.name, *instance->settings->stringValue(entry.name)});
        }
        auto was = std::find_if(loaded.modules.begin(), loaded.modules.end(),
                                [&](const GraphModule& l) { return l.name == instance->name; });
        if (was != loaded.modules.end()) {
            m.panel = was->panel;
            m.place = was->place;
        }
    }
    described.connections = loaded.connections;
    return described;
}

Graph loadGraph(Engine& engine, const std::filesystem::path& file, const BuildOptions& options)
{
    Graph graph = readGraphFile(file);
    buildGraph(engine, graph, file, options);
    return graph;
}

void writeGraph(const Engine& engine, const Graph& graph, const std::filesystem::path& file)
{
    updateGraphFile(describeGraph(engine, graph), file);
}

void saveGraph(Engine& engine, const Graph& graph, const std::filesystem::path& file)
{
    for (const auto& instance : engine.instances()) engine.saveSettings(*instance);
    writeGraph(engine, graph, file);
}

void resaveGraph(const std::filesystem::path& file)
{
    Engine engine;
    Graph graph = loadGraph(engine, file);
    for (const auto& instance : engine.instances()) instance->module->CloseWindow();
    // The panel values as the panels show them once played (a slider another one pushed, say).
    for (GraphModule& m : graph.modules) {
        if (m.panel.empty()) continue;
        const auto now = readPanel(*engine.find(m.name)).controls;
        m.panel = panelAsItStands(m.panel, now, now);
    }
    saveGraph(engine, graph, file);
}

} // namespace vento
