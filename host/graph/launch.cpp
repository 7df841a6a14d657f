#include "host/graph/launch.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>
#include "com/error.h"
#include "host/graph/module_description.h"
#include "host/panel/panel_replay.h"
#include "host/registrar/catalogue.h"
#include "host/engine/vento_engine.h"

namespace vento {

namespace {

constexpr size_t none = std::wstring::npos;

// One word of the description, or a '!'. Quotes group text (blanks and '!' included) and are not
// part of it; '=' and '.' count only outside them.
struct Token {
    size_t at = 0;     // of its first character, from 1
    std::wstring raw;  // as written
    bool bang = false;
    bool property = false; // written Name=value
    std::wstring key, value; // of a property
    std::wstring text;       // of anything else
    size_t dot = none;       // the last '.' in text
};

[[noreturn]] void fail(const Token& token, std::wstring_view what)
{
    throw EngineError("launch: at " + std::to_string(token.at) + " '" + narrow(token.raw) + "': " + narrow(what));
}

std::vector<Token> tokenize(std::wstring_view d)
{
    std::vector<Token> tokens;
    size_t i = 0;
    while (i < d.size()) {
        if (std::iswspace(d[i])) {
            ++i;
            continue;
        }
        Token t;
        t.at = i + 1;
        if (d[i] == L'!') {
            t.bang = true;
            t.raw = L"!";
            tokens.push_back(t);
            ++i;
            continue;
        }
        const size_t start = i;
        std::wstring part;
        while (i < d.size() && !std::iswspace(d[i]) && d[i] != L'!') {
            const wchar_t c = d[i];
            if (c == L'"' || c == L'\'') {
                const size_t close = d.find(c, i + 1);
                if (close == none) {
                    Token quote;
                    quote.at = i + 1;
                    quote.raw = std::wstring(d.substr(i));
                    fail(quote, L"the quote is not closed");
                }
                part.append(d.substr(i + 1, close - i - 1));
                i = close + 1;
                continue;
            }
            if (c == L'=' && !t.property) {
                t.property = true;
                t.key = std::move(part);
                part.clear();
            } else {
                if (c == L'.' && !t.property) t.dot = part.size();
                part += c;
            }
            ++i;
        }
        t.raw = std::wstring(d.substr(start, i - start));
        if (t.property) t.value = std::move(part);
        else t.text = std::move(part);
        tokens.push_back(std::move(t));
    }
    return tokens;
}

// A module with its properties, or a pin of a named instance.
struct Item {
    Token token;
    bool pin = false;
    std::wstring instance, pinName; // a pin
    std::vector<Token> properties;  // a module
    size_t module = 0;              // a module: its index in the graph
};

struct Link {
    size_t from, to; // items
};

struct Pins {
    std::vector<std::wstring> inputs, outputs;
};

bool sameText(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

std::wstring joined(const std::vector<std::wstring>& names)
{
    std::wstring text;
    for (const auto& n : names) text += (text.empty() ? L"" : L", ") + n;
    return text.empty() ? L"none" : text;
}

std::optional<int> wholeNumber(const std::wstring& text)
{
    if (text.empty()) return std::nullopt;
    wchar_t* end = nullptr;
    errno = 0;
    long v = std::wcstol(text.c_str(), &end, 10);
    if (*end || errno || v < INT_MIN || v > INT_MAX) return std::nullopt;
    return int(v);
}

std::optional<float> realNumber(const std::wstring& text)
{
    if (text.empty()) return std::nullopt;
    wchar_t* end = nullptr;
    errno = 0;
    float v = std::wcstof(text.c_str(), &end);
    if (*end || errno || !std::isfinite(v)) return std::nullopt;
    return v;
}

// The items and the links between them, in the order written.
void parse(const std::vector<Token>& tokens, std::vector<Item>& items, std::vector<Link>& links)
{
    const Token* bang = nullptr; // a '!' waiting for what follows it
    for (const Token& t : tokens) {
        if (t.bang) {
            if (items.empty() || bang) fail(t, L"'!' needs a module or a pin before it");
            bang = &t;
            continue;
        }
        if (t.property) {
            if (t.key.empty()) fail(t, L"write Name=value, with a name before '='");
            if (items.empty() || items.back().pin || bang) fail(t, L"a setting goes after the module it belongs to");
            items.back().properties.push_back(t);
            continue;
        }
        Item item;
        item.token = t;
        if (t.dot != none) {
            item.pin = true;
            item.instance = t.text.substr(0, t.dot);
            item.pinName = t.text.substr(t.dot + 1);
            if (item.instance.empty()) fail(t, L"write a pin as INSTANCE.PIN, or INSTANCE. for its main pin");
        } else if (t.text.empty()) {
            fail(t, L"a module type is empty");
        }
        items.push_back(std::move(item));
        if (bang) links.push_back({items.size() - 2, items.size() - 1});
        bang = nullptr;
    }
    if (bang) fail(*bang, L"'!' links to nothing after it");
}

const CatalogueEntry& findType(const std::vector<CatalogueEntry>& catalogue, const Token& t)
{
    for (const auto& e : catalogue)
        if (e.name == t.text) return e;
    for (const auto& e : catalogue)
        if (sameText(e.name, t.text)) return e;
    std::vector<std::wstring> names;
    for (const auto& e : catalogue) names.push_back(e.name);
    fail(t, L"no module type " + inQuotes(t.text) + L" in the catalogue (" + joined(names) + L")");
}

// A label's value as the panel control takes it.
PanelControl panelValue(const PanelControlInfo& control, const Token& t)
{
    PanelControl set;
    set.id = control.id;
    set.action = *control.action();
    const std::wstring label = inQuotes(t.key);
    switch (set.action) {
    case PanelControl::Action::Position: {
        auto position = wholeNumber(t.value);
        if (!position || *position < control.low || *position > control.high)
            fail(t, label + L" is a trackbar: give a whole position from " + std::to_wstring(control.low) + L" to " +
                        std::to_wstring(control.high));
        set.value = *position;
        break;
    }
    case PanelControl::Action::Select: {
        auto entry = wholeNumber(t.value);
        if (!entry)
            for (size_t i = 0; i < control.entries.size(); ++i)
                if (sameText(control.entries[i], t.value)) entry = int(i);
        if (!entry || *entry < 0 || size_t(*entry) >= control.entries.size()) {
            std::vector<std::wstring> entries;
            for (size_t i = 0; i < control.entries.size(); ++i) entries.push_back(std::to_wstring(i) + L": " + control.entries[i]);
            fail(t, label + L" is a list: give one of its entries (" + joined(entries) + L")");
        }
        set.value = *entry;
        break;
    }
    case PanelControl::Action::Click:
        if (t.value != L"1") fail(t, label + L" is a " + kindName(control.kind) + L": press it with =1");
        set.value = 1;
        break;
    }
    return set;
}

// The panel values the properties that name no setting stand for, by label, as the panel shows its
// controls once the given settings are loaded.
void panelValuesByLabel(Instance& instance, const CatalogueEntry& type, const Item& item, const std::vector<const Token*>& labelled,
                        const std::vector<SettingDescription>& settings, GraphModule& module)
{
    for (const GraphSetting& s : module.settings) {
        if (const float* number = std::get_if<float>(&s.value)) instance.settings->setFloat(s.name, *number);
        else instance.settings->setString(s.name, std::get<std::wstring>(s.value));
    }
    if (HRESULT hr = instance.module->LoadSettings(static_cast<ISettingsStore*>(instance.settings.Get())); FAILED(hr))
        fail(item.token, type.name + L" did not accept these settings (LoadSettings " + modkit::hresultText(hr) + L")");
    std::vector<PanelControlInfo> controls;
    try {
        controls = readPanel(instance).controls;
    } catch (const EngineError& e) {
        fail(item.token, std::wstring(e.what(), e.what() + std::strlen(e.what())));
    }
    for (const Token* p : labelled) {
        const PanelControlInfo* control = nullptr;
        try {
            control = controlByLabel(controls, p->key);
        } catch (const EngineError& e) {
            fail(*p, std::wstring(e.what(), e.what() + std::strlen(e.what())));
        }
        if (!control) {
            std::vector<std::wstring> names, labels;
            for (const auto& s : settings) names.push_back(s.name);
            for (const auto& c : controls)
                if (c.action() && !c.label.empty()) labels.push_back(c.label);
            fail(*p, type.name + L" has no setting or panel label " + inQuotes(p->key) + L" (settings: " + joined(names) +
                         L"; labels: " + joined(labels) + L")");
        }
        module.panel.push_back(panelValue(*control, *p));
    }
}

// Creates the module to read its settings, panel and pins, and turns the item's properties into the
// module's settings and panel values.
void describeItem(Engine& engine, const CatalogueEntry& type, const Item& item, GraphModule& module, Pins& pins,
                  const LaunchPath& path)
{
    Instance* instance = nullptr;
    try {
        instance = &engine.create(type.clsid, module.name);
    } catch (const modkit::ComError& e) {
        fail(item.token, L"cannot create " + type.name + L" (" + modkit::hresultText(e.code()) + L"; is its server registered?)");
    }
    if (HRESULT hr = instance->module->Initialize(); FAILED(hr))
        fail(item.token, type.name + L": Initialize failed (" + modkit::hresultText(hr) + L")");
    const ModuleDescription described = describeInstance(*instance, {.panel = false});
    for (const PinDescription& pin : described.pins) (pin.input ? pins.inputs : pins.outputs).push_back(pin.name);
    const auto& settings = described.settings;
    engine.saveSettings(*instance);

    std::vector<const Token*> labelled;
    for (const Token& p : item.properties) {
        if (p.key == L"name") continue;
        auto setting = std::find_if(settings.begin(), settings.end(), [&](const auto& s) { return s.name == p.key; });
        if (setting == settings.end())
            setting = std::find_if(settings.begin(), settings.end(), [&](const auto& s) { return sameText(s.name, p.key); });
        if (setting == settings.end()) {
            labelled.push_back(&p);
            continue;
        }
        if (std::holds_alternative<std::wstring>(setting->value)) {
            module.settings.push_back({setting->name, path && p.value.starts_with(L'/') ? path(p.value) : p.value});
            continue;
        }
        auto number = realNumber(p.value);
        if (!number) fail(p, L"setting " + inQuotes(setting->name) + L" takes a number, not " + inQuotes(p.value));
        module.settings.push_back({setting->name, *number});
    }
    if (!labelled.empty()) panelValuesByLabel(*instance, type, item, labelled, settings, module);
}

// The main pin of one direction: "Default", or the only one.
std::wstring mainPin(const std::vector<std::wstring>& pins, const std::wstring& instance, const wchar_t* direction,
                     const Token& t)
{
    if (std::find(pins.begin(), pins.end(), L"Default") != pins.end()) return L"Default";
    if (pins.size() == 1) return pins.front();
    if (pins.empty()) fail(t, inQuotes(instance) + L" has no " + direction + L" pin");
    fail(t, inQuotes(instance) + L" has several " + direction + L" pins (" + joined(pins) + L"): write " + instance + L".PIN");
}

// One module per item that is not a pin, its instance name where the item gives one; names given
// first, so that the numbered ones avoid them.
void nameModules(std::vector<Item>& items, Graph& graph)
{
    for (Item& item : items) {
        if (item.pin) continue;
        item.module = graph.modules.size();
        GraphModule& m = graph.modules.emplace_back();
        for (const Token& p : item.properties) {
            if (p.key != L"name") continue;
            if (p.value.empty()) fail(p, L"an instance name is empty");
            if (p.value.find(L'.') != none) fail(p, L"an instance name cannot hold '.' (it separates the pin)");
            if (std::any_of(graph.modules.begin(), graph.modules.end(), [&](const GraphModule& o) { return o.name == p.value; }))
                fail(p, L"an instance is named " + inQuotes(p.value) + L" already");
            m.name = p.value;
        }
    }
}

// Each module's type, numbered name, settings and pins, read from a module created for it.
void describeModules(const std::vector<Item>& items, Graph& graph, std::map<std::wstring, Pins, std::less<>>& pins,
                     const LaunchPath& path)
{
    const auto catalogue = readCatalogue();
    if (catalogue.empty()) throw EngineError("launch: the catalogue is empty; run 'vento register'");
    Engine engine;
    for (const Item& item : items) {
        if (item.pin) continue;
        GraphModule& m = graph.modules[item.module];
        const CatalogueEntry& type = findType(catalogue, item.token);
        m.type = type.name;
        for (int n = 1; m.name.empty(); ++n) {
            std::wstring name = type.name + std::to_wstring(n);
            if (std::none_of(graph.modules.begin(), graph.modules.end(), [&](const GraphModule& o) { return o.name == name; }))
                m.name = name;
        }
        describeItem(engine, type, item, m, pins[m.name], path);
    }
    for (const auto& instance : engine.instances()) instance->module->CloseWindow();
}

// One end of a link: the instance and its pin, the main pin where the item names none.
void linkEnd(const Item& item, bool output, const Graph& graph, const std::map<std::wstring, Pins, std::less<>>& pins,
             std::wstring& instance, std::wstring& pin)
{
    const wchar_t* direction = output ? L"output" : L"input";
    instance = item.pin ? item.instance : graph.modules[item.module].name;
    auto known = pins.find(instance);
    if (known == pins.end()) fail(item.token, L"no instance is named " + inQuotes(instance));
    const auto& list = output ? known->second.outputs : known->second.inputs;
    if (!item.pin || item.pinName.empty()) {
        pin = mainPin(list, instance, direction, item.token);
        return;
    }
    if (std::find(list.begin(), list.end(), item.pinName) == list.end())
        fail(item.token, inQuotes(instance) + L" has no " + direction + L" pin " + inQuotes(item.pinName) + L" (" +
                             joined(list) + L")");
    pin = item.pinName;
}

} // namespace

Graph readLaunch(std::wstring_view description, const LaunchPath& path)
{
    const std::vector<Token> tokens = tokenize(description);
    std::vector<Item> items;
    std::vector<Link> links;
    parse(tokens, items, links);

    Graph graph;
    nameModules(items, graph);
    if (graph.modules.empty()) throw EngineError("launch: the description names no module");
    std::map<std::wstring, Pins, std::less<>> pins;
    describeModules(items, graph, pins, path);

    for (const Link& link : links) {
        GraphConnection c;
        linkEnd(items[link.from], true, graph, pins, c.from, c.output);
        linkEnd(items[link.to], false, graph, pins, c.to, c.input);
        graph.connections.push_back(c);
    }
    return graph;
}

} // namespace vento
