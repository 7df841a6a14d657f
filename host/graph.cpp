#include "host/graph.h"

#include "host/frame/page_site.h"

#include <commctrl.h>
#include <msxml2.h>
#include <ocidl.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include "com/bstr.h"
#include "com/error.h"
#include "com/object.h"
#include "host/registrar/catalogue.h"

namespace vento {

using Microsoft::WRL::ComPtr;
using modkit::Bstr;
using modkit::bstrView;

namespace {

// A problem in one file: "<file>: <what>".
[[noreturn]] void fail(const std::filesystem::path& file, const std::wstring& what)
{
    throw EngineError(narrow(file.filename().wstring() + L": " + what));
}

std::wstring inQuotes(std::wstring_view text) { return L"'" + std::wstring(text) + L"'"; }

ComPtr<IXMLDOMDocument> newDocument()
{
    CLSID clsid;
    modkit::check(CLSIDFromProgID(L"msxml2.domdocument", &clsid));
    ComPtr<IXMLDOMDocument> document;
    modkit::check(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                   reinterpret_cast<void**>(document.GetAddressOf())));
    return document;
}

std::optional<std::wstring> attribute(IXMLDOMElement* element, const wchar_t* name)
{
    VARIANT value;
    VariantInit(&value);
    if (element->getAttribute(Bstr(name).get(), &value) != S_OK || value.vt != VT_BSTR) {
        VariantClear(&value);
        return std::nullopt;
    }
    std::wstring text(bstrView(value.bstrVal));
    VariantClear(&value);
    return text;
}

std::wstring nodeName(IXMLDOMNode* node)
{
    BSTR name = nullptr;
    node->get_nodeName(&name);
    std::wstring text(bstrView(name));
    SysFreeString(name);
    return text;
}

// The element children of a node, in document order.
std::vector<ComPtr<IXMLDOMElement>> elements(IXMLDOMNode* parent)
{
    std::vector<ComPtr<IXMLDOMElement>> found;
    ComPtr<IXMLDOMNode> child;
    parent->get_firstChild(&child);
    while (child) {
        ComPtr<IXMLDOMElement> element;
        if (SUCCEEDED(child->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.GetAddressOf()))))
            found.push_back(element);
        ComPtr<IXMLDOMNode> next;
        child->get_nextSibling(&next);
        child = next;
    }
    return found;
}

// Parses the whole text as a number, or nothing.
template <class T>
std::optional<T> number(const std::wstring& text)
{
    if (text.empty()) return std::nullopt;
    wchar_t* end = nullptr;
    errno = 0;
    if constexpr (std::is_same_v<T, float>) {
        float v = std::wcstof(text.c_str(), &end);
        if (*end || errno || !std::isfinite(v)) return std::nullopt;
        return v;
    } else {
        long v = std::wcstol(text.c_str(), &end, 10);
        if (*end || errno) return std::nullopt;
        return int(v);
    }
}

// "instance.pin", split at the last point (pin names are plain words).
std::optional<std::pair<std::wstring, std::wstring>> endpoint(const std::wstring& text)
{
    size_t dot = text.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0 || dot + 1 == text.size()) return std::nullopt;
    return std::pair{text.substr(0, dot), text.substr(dot + 1)};
}

std::wstring hexCode(HRESULT hr)
{
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return buffer;
}

// The page site a panel gets from us: nothing to report to.
using PanelSite = PageSite;

struct HiddenWindow {
    HWND window = CreateWindowExW(0, L"STATIC", L"vento panel", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                                  nullptr, nullptr, nullptr);
    ~HiddenWindow()
    {
        if (window) DestroyWindow(window);
    }
};

GraphModule readModule(Engine& engine, const std::filesystem::path& file, IXMLDOMElement* element,
                       const std::vector<CatalogueEntry>& catalogue)
{
    GraphModule module;
    auto name = attribute(element, L"name");
    auto type = attribute(element, L"type");
    if (!name || name->empty()) fail(file, L"a module has no name");
    const std::wstring where = L"module " + inQuotes(*name);
    if (!type || type->empty()) fail(file, where + L" has no type");
    if (engine.find(*name)) fail(file, L"duplicate module name " + inQuotes(*name));
    module.name = *name;
    module.type = *type;
    auto entry = std::find_if(catalogue.begin(), catalogue.end(), [&](const auto& e) { return e.name == *type; });
    if (entry == catalogue.end())
        fail(file, where + L": unknown module type " + inQuotes(*type) + L" (not in the catalogue; run 'vento register')");

    // Settings and panel values first: a bad file must fail before any module is made.
    struct Value {
        bool isFloat;
        std::wstring name;
        float number;
        std::wstring text;
    };
    std::vector<Value> values;
    for (auto& child : elements(element)) {
        std::wstring kind = nodeName(child.Get());
        if (kind == L"float" || kind == L"string") {
            auto key = attribute(child.Get(), L"name");
            auto value = attribute(child.Get(), L"value");
            if (!key || key->empty()) fail(file, where + L": a setting has no name");
            if (!value) fail(file, where + L": setting " + inQuotes(*key) + L" has no value");
            if (kind == L"string") {
                values.push_back({false, *key, 0, *value});
                continue;
            }
            auto parsed = number<float>(*value);
            if (!parsed) fail(file, where + L": setting " + inQuotes(*key) + L": unparsable number " + inQuotes(*value));
            values.push_back({true, *key, *parsed, {}});
        } else if (kind == L"panel") {
            for (auto& control : elements(child.Get())) {
                if (nodeName(control.Get()) != L"control")
                    fail(file, where + L": unknown panel element " + inQuotes(nodeName(control.Get())));
                auto id = attribute(control.Get(), L"id");
                auto parsedId = id ? number<int>(*id) : std::nullopt;
                if (!parsedId) fail(file, where + L": panel control id " + inQuotes(id.value_or(L"")) + L" is not a number");
                PanelControl entryControl{*parsedId};
                std::optional<std::wstring> text;
                if ((text = attribute(control.Get(), L"position"))) entryControl.action = PanelControl::Action::Position;
                else if ((text = attribute(control.Get(), L"select"))) entryControl.action = PanelControl::Action::Select;
                else if ((text = attribute(control.Get(), L"click"))) entryControl.action = PanelControl::Action::Click;
                else fail(file, where + L": panel control " + *id + L" has no position, select or click");
                auto value = number<int>(*text);
                if (!value) fail(file, where + L": panel control " + *id + L": unparsable number " + inQuotes(*text));
                entryControl.value = *value;
                module.panel.push_back(entryControl);
            }
        } else {
            fail(file, where + L": unknown element " + inQuotes(kind));
        }
    }

    Instance* instance = nullptr;
    try {
        instance = &engine.create(entry->clsid, *name);
    } catch (const modkit::ComError& e) {
        fail(file, where + L": cannot create " + inQuotes(*type) + L" (" + hexCode(e.code()) + L"; is its server registered?)");
    }
    if (HRESULT hr = instance->module->Initialize(); FAILED(hr))
        fail(file, where + L": Initialize failed (" + hexCode(hr) + L")");
    if (!values.empty()) {
        // The module's own values under the file's: a file may name only the settings it changes.
        engine.saveSettings(*instance);
        for (const Value& v : values)
            v.isFloat ? instance->settings->setFloat(v.name, v.number) : instance->settings->setString(v.name, v.text);
        if (HRESULT hr = instance->module->LoadSettings(static_cast<ISettingsStore*>(instance->settings.Get())); FAILED(hr))
            fail(file, where + L": its settings were not accepted (LoadSettings " + hexCode(hr) + L")");
    }
    return module;
}

GraphConnection readConnection(Engine& engine, const std::filesystem::path& file, IXMLDOMElement* element)
{
    auto from = attribute(element, L"from").value_or(L"");
    auto to = attribute(element, L"to").value_or(L"");
    const std::wstring where = L"connect " + inQuotes(from) + L" -> " + inQuotes(to);
    auto out = endpoint(from), in = endpoint(to);
    if (!out || !in) fail(file, where + L": write both ends as instance.pin");
    Instance* source = engine.find(out->first);
    Instance* target = engine.find(in->first);
    if (!source) fail(file, where + L": unknown module " + inQuotes(out->first));
    if (!target) fail(file, where + L": unknown module " + inQuotes(in->first));
    if (!source->core->findOutput(out->second))
        fail(file, where + L": " + inQuotes(out->first) + L" has no output pin " + inQuotes(out->second));
    InputPin* pin = target->core->findInput(in->second);
    if (!pin) fail(file, where + L": " + inQuotes(in->first) + L" has no input pin " + inQuotes(in->second));
    if (!pin->multi && pin->slots.front()->sourcePin) fail(file, where + L": that input is connected already");
    engine.connect(*source, out->second, *target, in->second);
    return {out->first, out->second, in->first, in->second};
}

} // namespace

void applyPanel(Instance& instance, const std::vector<PanelControl>& controls)
{
    const std::string where = narrow(instance.name) + ": panel: ";
    if (controls.empty()) return;
    const auto& pageClass = instance.core->controlPage();
    if (!pageClass) throw EngineError(where + "the module has no control panel");
    ComPtr<IPropertyPage> page;
    if (HRESULT hr = CoCreateInstance(*pageClass, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&page)); FAILED(hr))
        throw EngineError(where + "cannot create the panel (" + narrow(hexCode(hr)) + ")");
    HiddenWindow parent;
    if (!parent.window) throw EngineError(where + "cannot create a window for the panel");
    auto site = modkit::make<PanelSite>();
    modkit::check(page->SetPageSite(site.Get()));
    IUnknown* objects[] = {instance.object.Get()};
    struct Closer {
        IPropertyPage* page;
        bool active = false;
        ~Closer()
        {
            if (active) page->Deactivate();
            page->SetObjects(0, nullptr);
            page->SetPageSite(nullptr);
        }
    } closer{page.Get()};
    modkit::check(page->SetObjects(1, objects));
    RECT rect{0, 0, 280, 154};
    if (HRESULT hr = page->Activate(parent.window, &rect, FALSE); FAILED(hr))
        throw EngineError(where + "cannot show the panel (" + narrow(hexCode(hr)) + ")");
    closer.active = true;
    HWND dialog = FindWindowExW(parent.window, nullptr, L"#32770", nullptr);
    for (const PanelControl& control : controls) {
        const std::string name = where + "control " + std::to_string(control.id);
        HWND item = dialog ? GetDlgItem(dialog, control.id) : nullptr;
        if (!item) throw EngineError(name + ": the panel has no such control");
        switch (control.action) {
        case PanelControl::Action::Position: {
            long low = long(SendMessageW(item, TBM_GETRANGEMIN, 0, 0)), high = long(SendMessageW(item, TBM_GETRANGEMAX, 0, 0));
            if (control.value < low || control.value > high)
                throw EngineError(name + ": position " + std::to_string(control.value) + " is outside " +
                                  std::to_string(low) + ".." + std::to_string(high));
            SendMessageW(item, TBM_SETPOS, TRUE, control.value);
            SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, control.value), reinterpret_cast<LPARAM>(item));
            break;
        }
        case PanelControl::Action::Select:
            if (SendMessageW(item, CB_SETCURSEL, control.value, 0) == CB_ERR)
                throw EngineError(name + ": the list has no entry " + std::to_string(control.value));
            SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(control.id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item));
            break;
        case PanelControl::Action::Click:
            SendMessageW(item, BM_CLICK, 0, 0);
            break;
        }
    }
    if (HRESULT hr = page->Apply(); FAILED(hr)) throw EngineError(where + "Apply failed (" + narrow(hexCode(hr)) + ")");
}

Graph loadGraph(Engine& engine, const std::filesystem::path& file)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) fail(file, L"no such file");
    ComPtr<IXMLDOMDocument> document = newDocument();
    VARIANT path;
    VariantInit(&path);
    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString(file.wstring().c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = document->load(path, &loaded);
    VariantClear(&path);
    if (hr != S_OK || loaded != VARIANT_TRUE) {
        std::wstring where = L"not a readable XML file";
        ComPtr<IXMLDOMParseError> parseError;
        long line = 0;
        if (SUCCEEDED(document->get_parseError(&parseError)) && parseError && SUCCEEDED(parseError->get_line(&line)) && line > 0)
            where += L" (line " + std::to_wstring(line) + L")";
        fail(file, where);
    }
    ComPtr<IXMLDOMElement> root;
    if (document->get_documentElement(&root) != S_OK || !root || nodeName(root.Get()) != L"graph")
        fail(file, L"the root element is not <graph>");

    engine.setRestorePlacement(true); // the file holds the windows' saved places
    Graph graph;
    const auto catalogue = readCatalogue();
    auto children = elements(root.Get());
    for (auto& element : children) {
        std::wstring kind = nodeName(element.Get());
        if (kind == L"module") graph.modules.push_back(readModule(engine, file, element.Get(), catalogue));
        else if (kind != L"connect") fail(file, L"unknown element " + inQuotes(kind));
    }
    for (auto& element : children)
        if (nodeName(element.Get()) == L"connect") graph.connections.push_back(readConnection(engine, file, element.Get()));
    try {
        engine.order();
    } catch (const EngineError& e) {
        fail(file, std::wstring(L"connections: ") + std::wstring(e.what(), e.what() + std::strlen(e.what())));
    }
    for (const GraphModule& module : graph.modules) {
        try {
            applyPanel(*engine.find(module.name), module.panel);
        } catch (const EngineError& e) {
            throw EngineError(narrow(file.filename().wstring()) + ": " + e.what());
        }
    }
    return graph;
}

namespace {
class Writer {
public:
    Writer() : document_(newDocument()) {}
    ComPtr<IXMLDOMElement> element(IXMLDOMNode* parent, const wchar_t* name, int depth)
    {
        ComPtr<IXMLDOMElement> created;
        modkit::check(document_->createElement(Bstr(name).get(), &created));
        indent(parent, depth);
        ComPtr<IXMLDOMNode> added;
        modkit::check(parent->appendChild(created.Get(), &added));
        return created;
    }
    void set(IXMLDOMElement* element, const wchar_t* name, std::wstring_view value)
    {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = Bstr::allocate(value);
        HRESULT hr = element->setAttribute(Bstr(name).get(), v);
        VariantClear(&v);
        modkit::check(hr);
    }
    // Line breaks and two spaces per level, so people can read and edit the file.
    void indent(IXMLDOMNode* parent, int depth)
    {
        ComPtr<IXMLDOMText> text;
        modkit::check(document_->createTextNode(Bstr(L"\n" + std::wstring(size_t(depth) * 2, L' ')).get(), &text));
        ComPtr<IXMLDOMNode> added;
        modkit::check(parent->appendChild(text.Get(), &added));
    }
    IXMLDOMDocument* document() { return document_.Get(); }

private:
    ComPtr<IXMLDOMDocument> document_;
};

std::wstring floatText(float value)
{
    wchar_t buffer[32];
    std::swprintf(buffer, 32, L"%.9g", double(value)); // nine digits bring every float back exactly
    return buffer;
}
} // namespace

void writeGraph(const Engine& engine, const Graph& graph, const std::filesystem::path& file)
{
    Writer w;
    ComPtr<IXMLDOMProcessingInstruction> declaration;
    modkit::check(w.document()->createProcessingInstruction(Bstr(L"xml").get(), Bstr(L"version=\"1.0\"").get(), &declaration));
    ComPtr<IXMLDOMNode> added;
    modkit::check(w.document()->appendChild(declaration.Get(), &added));
    ComPtr<IXMLDOMElement> root;
    modkit::check(w.document()->createElement(Bstr(L"graph").get(), &root));
    modkit::check(w.document()->appendChild(root.Get(), &added));
    for (const auto& instance : engine.instances()) {
        auto module = w.element(root.Get(), L"module", 1);
        w.set(module.Get(), L"name", instance->name);
        w.set(module.Get(), L"type", instance->core->moduleName());
        for (const auto& entry : instance->settings->entries()) {
            const bool isFloat = entry.kind == SettingsStore::Kind::Float;
            auto setting = w.element(module.Get(), isFloat ? L"float" : L"string", 2);
            w.set(setting.Get(), L"name", entry.name);
            w.set(setting.Get(), L"value", isFloat ? floatText(*instance->settings->floatValue(entry.name))
                                                   : *instance->settings->stringValue(entry.name));
        }
        auto described = std::find_if(graph.modules.begin(), graph.modules.end(),
                                       [&](const GraphModule& m) { return m.name == instance->name; });
        if (described != graph.modules.end() && !described->panel.empty()) {
            auto panel = w.element(module.Get(), L"panel", 2);
            for (const PanelControl& c : described->panel) {
                auto control = w.element(panel.Get(), L"control", 3);
                w.set(control.Get(), L"id", std::to_wstring(c.id));
                const wchar_t* action = c.action == PanelControl::Action::Position ? L"position"
                                        : c.action == PanelControl::Action::Select ? L"select"
                                                                                   : L"click";
                w.set(control.Get(), action, std::to_wstring(c.value));
            }
            w.indent(panel.Get(), 2);
        }
        w.indent(module.Get(), 1);
    }
    for (const GraphConnection& c : graph.connections) {
        auto connect = w.element(root.Get(), L"connect", 1);
        w.set(connect.Get(), L"from", c.from + L"." + c.output);
        w.set(connect.Get(), L"to", c.to + L"." + c.input);
    }
    w.indent(root.Get(), 0);

    // Into a new file beside the old one, then over it: a failed save leaves the old file whole.
    std::filesystem::path temporary = file;
    temporary += L".saving";
    VARIANT path;
    VariantInit(&path);
    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString(temporary.wstring().c_str());
    HRESULT hr = w.document()->save(path);
    VariantClear(&path);
    if (FAILED(hr)) fail(file, L"cannot write " + temporary.wstring() + L" (" + hexCode(hr) + L")");
    if (!MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temporary.c_str());
        fail(file, L"cannot replace the file (error " + std::to_wstring(GetLastError()) + L")");
    }
}

void saveGraph(Engine& engine, const Graph& graph, const std::filesystem::path& file)
{
    for (const auto& instance : engine.instances()) engine.saveSettings(*instance);
    writeGraph(engine, graph, file);
}

} // namespace vento
