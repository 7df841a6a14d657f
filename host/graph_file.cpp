#include "host/graph_file.h"

#include <msxml2.h>
#include <algorithm>
#include <optional>
#include <utility>
#include <wrl/client.h>
#include "com/bstr.h"
#include "com/error.h"
#include "com/handle.h"
#include "host/graph_values.h"

namespace vento {

using Microsoft::WRL::ComPtr;
using modkit::Bstr;

void graphFileError(const std::filesystem::path& file, std::wstring_view what)
{
    throw EngineError(narrow(file.filename().wstring() + L": " + std::wstring(what)));
}

std::wstring inQuotes(std::wstring_view text) { return L"'" + std::wstring(text) + L"'"; }

namespace {

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
    modkit::Variant value;
    if (element->getAttribute(Bstr(name).get(), value.put()) != S_OK) return std::nullopt;
    auto text = value.text();
    if (!text) return std::nullopt;
    return std::wstring(*text);
}

std::wstring nodeName(IXMLDOMNode* node)
{
    Bstr name;
    node->get_nodeName(name.put());
    return std::wstring(name.view());
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

PanelControl readControl(const std::filesystem::path& file, const std::wstring& where, IXMLDOMElement* control)
{
    if (nodeName(control) != L"control") graphFileError(file, where + L": unknown panel element " + inQuotes(nodeName(control)));
    auto id = attribute(control, L"id");
    PanelControl read;
    if (auto label = attribute(control, L"label"); label && !id) {
        if (label->empty()) graphFileError(file, where + L": a panel control has an empty label");
        read.label = *label;
        id = inQuotes(*label);
    } else {
        auto parsedId = id ? parseWhole(*id) : std::nullopt;
        if (!parsedId)
            graphFileError(file, where + L": panel control id " + inQuotes(id.value_or(L"")) + L" is not a number");
        read.id = *parsedId;
    }
    std::optional<std::wstring> text;
    if ((text = attribute(control, L"position"))) read.action = PanelControl::Action::Position;
    else if ((text = attribute(control, L"select"))) read.action = PanelControl::Action::Select;
    else if ((text = attribute(control, L"click"))) read.action = PanelControl::Action::Click;
    else graphFileError(file, where + L": panel control " + *id + L" has no position, select or click");
    auto value = parseWhole(*text);
    if (!value) graphFileError(file, where + L": panel control " + *id + L": unparsable number " + inQuotes(*text));
    read.value = *value;
    return read;
}

GraphModule readModule(const std::filesystem::path& file, IXMLDOMElement* element, const Graph& before)
{
    GraphModule module;
    auto name = attribute(element, L"name");
    auto type = attribute(element, L"type");
    if (!name || name->empty()) graphFileError(file, L"a module has no name");
    const std::wstring where = L"module " + inQuotes(*name);
    if (!type || type->empty()) graphFileError(file, where + L" has no type");
    if (std::any_of(before.modules.begin(), before.modules.end(), [&](const GraphModule& m) { return m.name == *name; }))
        graphFileError(file, L"duplicate module name " + inQuotes(*name));
    module.name = *name;
    module.type = *type;
    for (auto& child : elements(element)) {
        std::wstring kind = nodeName(child.Get());
        if (kind == L"float" || kind == L"string") {
            auto key = attribute(child.Get(), L"name");
            auto value = attribute(child.Get(), L"value");
            if (!key || key->empty()) graphFileError(file, where + L": a setting has no name");
            if (!value) graphFileError(file, where + L": setting " + inQuotes(*key) + L" has no value");
            if (kind == L"string") {
                module.settings.push_back({*key, *value});
                continue;
            }
            auto parsed = parseFloat(*value);
            if (!parsed)
                graphFileError(file, where + L": setting " + inQuotes(*key) + L": unparsable number " + inQuotes(*value));
            module.settings.push_back({*key, *parsed});
        } else if (kind == L"panel") {
            for (auto& control : elements(child.Get())) module.panel.push_back(readControl(file, where, control.Get()));
        } else {
            graphFileError(file, where + L": unknown element " + inQuotes(kind));
        }
    }
    return module;
}

GraphConnection readConnection(const std::filesystem::path& file, IXMLDOMElement* element)
{
    auto from = attribute(element, L"from").value_or(L"");
    auto to = attribute(element, L"to").value_or(L"");
    auto out = parseEndpoint(from), in = parseEndpoint(to);
    if (!out || !in) graphFileError(file, L"connect " + inQuotes(from) + L" -> " + inQuotes(to) + L": write both ends as instance.pin");
    return {out->first, out->second, in->first, in->second};
}

} // namespace

Graph readGraphFile(const std::filesystem::path& file)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) graphFileError(file, L"no such file");
    ComPtr<IXMLDOMDocument> document = newDocument();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = document->load(modkit::Variant(file.wstring()).get(), &loaded);
    if (hr != S_OK || loaded != VARIANT_TRUE) {
        std::wstring where = L"not a readable XML file";
        ComPtr<IXMLDOMParseError> parseError;
        long line = 0;
        if (SUCCEEDED(document->get_parseError(&parseError)) && parseError && SUCCEEDED(parseError->get_line(&line)) && line > 0)
            where += L" (line " + std::to_wstring(line) + L")";
        graphFileError(file, where);
    }
    ComPtr<IXMLDOMElement> root;
    if (document->get_documentElement(&root) != S_OK || !root || nodeName(root.Get()) != L"graph")
        graphFileError(file, L"the root element is not <graph>");

    // Modules first, then connections: a connection's problems are told only once every module is
    // known to be sound.
    Graph graph;
    const auto children = elements(root.Get());
    for (const auto& element : children) {
        std::wstring kind = nodeName(element.Get());
        if (kind == L"module") graph.modules.push_back(readModule(file, element.Get(), graph));
        else if (kind != L"connect") graphFileError(file, L"unknown element " + inQuotes(kind));
    }
    for (const auto& element : children)
        if (nodeName(element.Get()) == L"connect") graph.connections.push_back(readConnection(file, element.Get()));
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
        modkit::check(element->setAttribute(Bstr(name).get(), modkit::Variant(value).get()));
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

const wchar_t* actionName(PanelControl::Action action)
{
    switch (action) {
    case PanelControl::Action::Select: return L"select";
    case PanelControl::Action::Click: return L"click";
    case PanelControl::Action::Position: break;
    }
    return L"position";
}

} // namespace

void writeGraphFile(const Graph& graph, const std::filesystem::path& file)
{
    Writer w;
    ComPtr<IXMLDOMProcessingInstruction> declaration;
    modkit::check(w.document()->createProcessingInstruction(Bstr(L"xml").get(), Bstr(L"version=\"1.0\"").get(), &declaration));
    ComPtr<IXMLDOMNode> added;
    modkit::check(w.document()->appendChild(declaration.Get(), &added));
    ComPtr<IXMLDOMElement> root;
    modkit::check(w.document()->createElement(Bstr(L"graph").get(), &root));
    modkit::check(w.document()->appendChild(root.Get(), &added));
    for (const GraphModule& m : graph.modules) {
        auto module = w.element(root.Get(), L"module", 1);
        w.set(module.Get(), L"name", m.name);
        w.set(module.Get(), L"type", m.type);
        for (const GraphSetting& s : m.settings) {
            const float* number = std::get_if<float>(&s.value);
            auto setting = w.element(module.Get(), number ? L"float" : L"string", 2);
            w.set(setting.Get(), L"name", s.name);
            w.set(setting.Get(), L"value", number ? floatText(*number) : std::get<std::wstring>(s.value));
        }
        if (!m.panel.empty()) {
            auto panel = w.element(module.Get(), L"panel", 2);
            for (const PanelControl& c : m.panel) {
                auto control = w.element(panel.Get(), L"control", 3);
                if (c.label.empty()) w.set(control.Get(), L"id", std::to_wstring(c.id));
                else w.set(control.Get(), L"label", c.label);
                w.set(control.Get(), actionName(c.action), std::to_wstring(c.value));
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
    if (HRESULT hr = w.document()->save(modkit::Variant(temporary.wstring()).get()); FAILED(hr))
        graphFileError(file, L"cannot write " + temporary.wstring() + L" (" + modkit::hresultText(hr) + L")");
    if (!MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        graphFileError(file, L"cannot replace the file (error " + std::to_wstring(error) + L")");
    }
}

} // namespace vento
