#include "host/graph/graph_file.h"

#include <msxml2.h>
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <wrl/client.h>
#include "com/bstr.h"
#include "com/error.h"
#include "com/handle.h"
#include "host/graph/graph_values.h"

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
    auto x = attribute(element, L"x"), y = attribute(element, L"y");
    if (x || y) {
        auto px = parseFloat(x.value_or(L"")), py = parseFloat(y.value_or(L""));
        if (!px || !py) graphFileError(file, where + L": a place on the canvas is written x=\"number\" y=\"number\"");
        module.place = CanvasPlace{*px, *py};
    }
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
    explicit Writer(ComPtr<IXMLDOMDocument> document) : document_(std::move(document)) {}
    // A new element at the end of `parent`, on a line of its own `depth` levels in.
    ComPtr<IXMLDOMElement> element(IXMLDOMNode* parent, const wchar_t* name, int depth)
    {
        ComPtr<IXMLDOMElement> created = detached(name);
        indent(parent, depth);
        ComPtr<IXMLDOMNode> added;
        modkit::check(parent->appendChild(created.Get(), &added));
        return created;
    }
    ComPtr<IXMLDOMElement> detached(const wchar_t* name)
    {
        ComPtr<IXMLDOMElement> created;
        modkit::check(document_->createElement(Bstr(name).get(), &created));
        return created;
    }
    void set(IXMLDOMElement* element, const wchar_t* name, std::wstring_view value)
    {
        modkit::check(element->setAttribute(Bstr(name).get(), modkit::Variant(value).get()));
    }
    // Line breaks and two spaces per level, so people can read and edit the file.
    ComPtr<IXMLDOMText> blank(int depth)
    {
        ComPtr<IXMLDOMText> text;
        modkit::check(document_->createTextNode(Bstr(L"\n" + std::wstring(size_t(depth) * 2, L' ')).get(), &text));
        return text;
    }
    void indent(IXMLDOMNode* parent, int depth)
    {
        ComPtr<IXMLDOMNode> added;
        modkit::check(parent->appendChild(blank(depth).Get(), &added));
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

void writeSetting(Writer& w, IXMLDOMElement* setting, const GraphSetting& s)
{
    const float* number = std::get_if<float>(&s.value);
    w.set(setting, L"name", s.name);
    w.set(setting, L"value", number ? floatText(*number) : std::get<std::wstring>(s.value));
}

const wchar_t* settingKind(const GraphSetting& s) { return std::holds_alternative<float>(s.value) ? L"float" : L"string"; }

void writeControl(Writer& w, IXMLDOMElement* control, const PanelControl& c)
{
    if (c.label.empty()) w.set(control, L"id", std::to_wstring(c.id));
    else w.set(control, L"label", c.label);
    w.set(control, actionName(c.action), std::to_wstring(c.value));
}

void writeControls(Writer& w, IXMLDOMElement* panel, const std::vector<PanelControl>& controls)
{
    for (const PanelControl& c : controls) writeControl(w, w.element(panel, L"control", 3).Get(), c);
    w.indent(panel, 2);
}

// A module's settings and panel, one element a line; nothing (so <module/> stays one element) when it
// has neither.
void writeModuleBody(Writer& w, IXMLDOMElement* module, const GraphModule& m)
{
    for (const GraphSetting& s : m.settings) writeSetting(w, w.element(module, settingKind(s), 2).Get(), s);
    if (!m.panel.empty()) writeControls(w, w.element(module, L"panel", 2).Get(), m.panel);
    if (!m.settings.empty() || !m.panel.empty()) w.indent(module, 1);
}

// The module's place on the canvas, or none.
void writePlace(Writer& w, IXMLDOMElement* module, const GraphModule& m)
{
    if (!m.place) {
        module->removeAttribute(Bstr(L"x").get());
        module->removeAttribute(Bstr(L"y").get());
        return;
    }
    w.set(module, L"x", floatText(m.place->x));
    w.set(module, L"y", floatText(m.place->y));
}

void writeConnection(Writer& w, IXMLDOMElement* connect, const GraphConnection& c)
{
    w.set(connect, L"from", c.from + L"." + c.output);
    w.set(connect, L"to", c.to + L"." + c.input);
}

// Into a new file beside the old one, then over it: a failed save leaves the old file whole.
void saveDocument(IXMLDOMDocument* document, const std::filesystem::path& file)
{
    std::filesystem::path temporary = file;
    temporary += L".saving";
    if (HRESULT hr = document->save(modkit::Variant(temporary.wstring()).get()); FAILED(hr))
        graphFileError(file, L"cannot write " + temporary.wstring() + L" (" + modkit::hresultText(hr) + L")");
    if (!MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        graphFileError(file, L"cannot replace the file (error " + std::to_wstring(error) + L")");
    }
}

// --- saving into the file as it stands ----------------------------------------------------------

// The file's own document, its layout kept, and the edits that keep it.
class FileEditor {
public:
    explicit FileEditor(ComPtr<IXMLDOMDocument> document) : w_(std::move(document)) {}
    Writer& writer() { return w_; }

    // A text node of blanks only: the layout between elements.
    static bool isBlank(IXMLDOMNode* node)
    {
        DOMNodeType type{};
        if (!node || FAILED(node->get_nodeType(&type)) || type != NODE_TEXT) return false;
        const std::wstring t = textOf(node);
        return std::all_of(t.begin(), t.end(), [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; });
    }
    // A text node's characters as they stand (its value: never trimmed).
    static std::wstring textOf(IXMLDOMNode* node)
    {
        modkit::Variant value;
        if (FAILED(node->get_nodeValue(value.put()))) return {};
        return std::wstring(value.text().value_or(L""));
    }
    // `node` and the blanks before it; a parent left with only blanks loses them (<module/> again).
    void remove(IXMLDOMNode* node)
    {
        ComPtr<IXMLDOMNode> parent, before, removed;
        modkit::check(node->get_parentNode(&parent));
        node->get_previousSibling(&before);
        if (isBlank(before.Get())) modkit::check(parent->removeChild(before.Get(), &removed));
        modkit::check(parent->removeChild(node, &removed));
        std::vector<ComPtr<IXMLDOMNode>> blanks;
        ComPtr<IXMLDOMNode> child;
        parent->get_firstChild(&child);
        while (child) {
            if (!isBlank(child.Get())) return;
            blanks.push_back(child);
            ComPtr<IXMLDOMNode> next;
            child->get_nextSibling(&next);
            child = next;
        }
        for (const auto& blank : blanks) modkit::check(parent->removeChild(blank.Get(), &removed));
    }
    // `node` on a line of its own `depth` levels in: right after `after` when there is one, else
    // before `before`, else last in `parent`. The component joins a text node put next to another
    // into one, so the element goes in first and its blanks are put against it.
    void place(IXMLDOMNode* parent, IXMLDOMNode* node, IXMLDOMNode* after, IXMLDOMNode* before, int depth)
    {
        ComPtr<IXMLDOMNode> added;
        if (after) {
            // Past what stands on the same line as `after` (a comment on it, say).
            ComPtr<IXMLDOMNode> next;
            after->get_nextSibling(&next);
            while (next && sameLine(next.Get())) {
                ComPtr<IXMLDOMNode> further;
                next->get_nextSibling(&further);
                next = further;
            }
            insert(parent, node, next.Get());
            insert(parent, w_.blank(depth).Get(), node);
            return;
        }
        if (before) {
            insert(parent, node, before);
            insert(parent, w_.blank(depth).Get(), before);
            return;
        }
        ComPtr<IXMLDOMNode> last;
        parent->get_lastChild(&last);
        if (isBlank(last.Get())) {
            insert(parent, node, last.Get());
            insert(parent, w_.blank(depth).Get(), node);
            return;
        }
        modkit::check(parent->appendChild(w_.blank(depth).Get(), &added));
        modkit::check(parent->appendChild(node, &added));
        modkit::check(parent->appendChild(w_.blank(depth - 1).Get(), &added));
    }

private:
    // A comment, or blanks that end no line.
    static bool sameLine(IXMLDOMNode* node)
    {
        DOMNodeType type{};
        if (FAILED(node->get_nodeType(&type))) return false;
        if (type == NODE_COMMENT) return true;
        return isBlank(node) && textOf(node).find(L'\n') == std::wstring::npos;
    }
    static void insert(IXMLDOMNode* parent, IXMLDOMNode* node, IXMLDOMNode* before)
    {
        ComPtr<IXMLDOMNode> added;
        if (!before) {
            modkit::check(parent->appendChild(node, &added));
            return;
        }
        modkit::Variant where;
        VARIANT* reference = where.put();
        reference->vt = VT_UNKNOWN;
        reference->punkVal = before;
        before->AddRef();
        modkit::check(parent->insertBefore(node, where.get(), &added));
    }

    Writer w_;
};

bool sameValue(const std::optional<std::wstring>& text, const GraphSetting& s)
{
    if (!text) return false;
    if (const float* number = std::get_if<float>(&s.value)) {
        const std::optional<float> read = parseFloat(*text);
        return read && std::memcmp(&*read, number, sizeof *number) == 0;
    }
    return *text == std::get<std::wstring>(s.value);
}

// The module's settings as `m` has them: values that read the same keep their text. Answers the
// setting element written last (null for none).
ComPtr<IXMLDOMElement> updateSettings(FileEditor& e, IXMLDOMElement* element, const GraphModule& m, IXMLDOMElement* panel)
{
    Writer& w = e.writer();
    std::vector<std::pair<std::wstring, ComPtr<IXMLDOMElement>>> settings; // by name, as the file has them
    for (auto& child : elements(element)) {
        const std::wstring kind = nodeName(child.Get());
        if (kind != L"float" && kind != L"string") continue;
        const std::wstring name = attribute(child.Get(), L"name").value_or(L"");
        const bool kept = std::any_of(m.settings.begin(), m.settings.end(), [&](const GraphSetting& s) { return s.name == name; });
        if (kept) settings.emplace_back(name, child);
        else e.remove(child.Get());
    }
    ComPtr<IXMLDOMElement> last;
    for (const GraphSetting& s : m.settings) {
        auto was = std::find_if(settings.begin(), settings.end(), [&](const auto& held) { return held.first == s.name; });
        if (was != settings.end() && nodeName(was->second.Get()) == settingKind(s)) {
            if (!sameValue(attribute(was->second.Get(), L"value"), s)) writeSetting(w, was->second.Get(), s);
            last = was->second;
            continue;
        }
        ComPtr<IXMLDOMElement> written = w.detached(settingKind(s));
        writeSetting(w, written.Get(), s);
        if (was != settings.end()) {
            ComPtr<IXMLDOMNode> replaced;
            modkit::check(element->replaceChild(written.Get(), was->second.Get(), &replaced));
        } else {
            IXMLDOMNode* before = last ? nullptr : !settings.empty() ? settings.front().second.Get() : panel;
            e.place(element, written.Get(), last.Get(), before, 2);
        }
        last = written;
    }
    return last;
}

// The module's <panel> as `m` has it: values changed in place when the controls are the same ones.
void updatePanel(FileEditor& e, const std::filesystem::path& file, IXMLDOMElement* element, const GraphModule& m,
                 ComPtr<IXMLDOMElement> panel, IXMLDOMElement* lastSetting)
{
    Writer& w = e.writer();
    if (m.panel.empty()) {
        if (panel) e.remove(panel.Get());
        return;
    }
    if (!panel) {
        panel = w.detached(L"panel");
        writeControls(w, panel.Get(), m.panel);
        e.place(element, panel.Get(), lastSetting, nullptr, 2);
        return;
    }
    std::vector<PanelControl> held;
    const auto controls = elements(panel.Get());
    for (const auto& control : controls) held.push_back(readControl(file, L"module " + inQuotes(m.name), control.Get()));
    if (held == m.panel) return;
    const bool sameControls = held.size() == m.panel.size() &&
                              std::equal(held.begin(), held.end(), m.panel.begin(), [](const PanelControl& a, const PanelControl& b) {
                                  return a.id == b.id && a.label == b.label && a.action == b.action;
                              });
    if (sameControls) {
        for (size_t i = 0; i < held.size(); ++i)
            if (held[i].value != m.panel[i].value) w.set(controls[i].Get(), actionName(m.panel[i].action), std::to_wstring(m.panel[i].value));
        return;
    }
    for (const auto& control : controls) e.remove(control.Get());
    for (const PanelControl& c : m.panel) {
        ComPtr<IXMLDOMElement> written = w.detached(L"control");
        writeControl(w, written.Get(), c);
        e.place(panel.Get(), written.Get(), nullptr, nullptr, 3);
    }
}

void updateModule(FileEditor& e, const std::filesystem::path& file, IXMLDOMElement* element, const GraphModule& m)
{
    if (attribute(element, L"type") != m.type) e.writer().set(element, L"type", m.type);
    const auto x = attribute(element, L"x"), y = attribute(element, L"y");
    const auto px = x ? parseFloat(*x) : std::nullopt, py = y ? parseFloat(*y) : std::nullopt;
    const std::optional<CanvasPlace> held = px && py ? std::optional(CanvasPlace{*px, *py}) : std::nullopt;
    if (held != m.place) writePlace(e.writer(), element, m);
    ComPtr<IXMLDOMElement> panel;
    for (auto& child : elements(element))
        if (nodeName(child.Get()) == L"panel") panel = child;
    const ComPtr<IXMLDOMElement> last = updateSettings(e, element, m, panel.Get());
    updatePanel(e, file, element, m, panel, last.Get());
}

// Modules: those the file has, in its order, brought up to date; those gone, out; new ones after the
// last module. Answers the last module element.
ComPtr<IXMLDOMElement> updateModules(FileEditor& e, const std::filesystem::path& file, IXMLDOMElement* root, const Graph& graph)
{
    Writer& w = e.writer();
    ComPtr<IXMLDOMElement> lastModule, firstConnect;
    std::vector<std::wstring> present;
    for (auto& element : elements(root)) {
        const std::wstring kind = nodeName(element.Get());
        if (kind == L"connect" && !firstConnect) firstConnect = element;
        if (kind != L"module") continue;
        const std::wstring name = attribute(element.Get(), L"name").value_or(L"");
        auto m = std::find_if(graph.modules.begin(), graph.modules.end(), [&](const GraphModule& g) { return g.name == name; });
        if (m == graph.modules.end()) {
            e.remove(element.Get());
            continue;
        }
        updateModule(e, file, element.Get(), *m);
        present.push_back(name);
        lastModule = element;
    }
    for (const GraphModule& m : graph.modules) {
        if (std::find(present.begin(), present.end(), m.name) != present.end()) continue;
        ComPtr<IXMLDOMElement> module = w.detached(L"module");
        w.set(module.Get(), L"name", m.name);
        w.set(module.Get(), L"type", m.type);
        writePlace(w, module.Get(), m);
        writeModuleBody(w, module.Get(), m);
        e.place(root, module.Get(), lastModule.Get(), firstConnect.Get(), 1);
        lastModule = module;
    }
    return lastModule;
}

// Connections: each one the file has and the graph still makes stays where it is; new ones after
// the last connection (or the last module).
void updateConnections(FileEditor& e, IXMLDOMElement* root, const Graph& graph, IXMLDOMElement* lastModule)
{
    Writer& w = e.writer();
    std::vector<bool> written(graph.connections.size(), false);
    ComPtr<IXMLDOMElement> lastConnect;
    for (auto& element : elements(root)) {
        if (nodeName(element.Get()) != L"connect") continue;
        auto out = parseEndpoint(attribute(element.Get(), L"from").value_or(L""));
        auto in = parseEndpoint(attribute(element.Get(), L"to").value_or(L""));
        size_t i = 0;
        for (; out && in && i < graph.connections.size(); ++i) {
            const GraphConnection& c = graph.connections[i];
            if (!written[i] && c.from == out->first && c.output == out->second && c.to == in->first && c.input == in->second) break;
        }
        if (!out || !in || i == graph.connections.size()) {
            e.remove(element.Get());
            continue;
        }
        written[i] = true;
        lastConnect = element;
    }
    for (size_t i = 0; i < graph.connections.size(); ++i) {
        if (written[i]) continue;
        ComPtr<IXMLDOMElement> connect = w.detached(L"connect");
        writeConnection(w, connect.Get(), graph.connections[i]);
        e.place(root, connect.Get(), lastConnect ? lastConnect.Get() : lastModule, nullptr, 1);
        lastConnect = connect;
    }
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
        writePlace(w, module.Get(), m);
        writeModuleBody(w, module.Get(), m);
    }
    for (const GraphConnection& c : graph.connections) writeConnection(w, w.element(root.Get(), L"connect", 1).Get(), c);
    w.indent(root.Get(), 0);
    saveDocument(w.document(), file);
}

void updateGraphFile(const Graph& graph, const std::filesystem::path& file)
{
    std::error_code error;
    ComPtr<IXMLDOMDocument> document;
    ComPtr<IXMLDOMElement> root;
    if (std::filesystem::is_regular_file(file, error)) {
        document = newDocument();
        modkit::check(document->put_preserveWhiteSpace(VARIANT_TRUE));
        VARIANT_BOOL loaded = VARIANT_FALSE;
        if (document->load(modkit::Variant(file.wstring()).get(), &loaded) != S_OK || loaded != VARIANT_TRUE ||
            document->get_documentElement(&root) != S_OK || !root || nodeName(root.Get()) != L"graph")
            root.Reset();
    }
    if (!root) return writeGraphFile(graph, file);

    FileEditor e(document);
    const ComPtr<IXMLDOMElement> lastModule = updateModules(e, file, root.Get(), graph);
    updateConnections(e, root.Get(), graph, lastModule.Get());
    saveDocument(document.Get(), file);
}

} // namespace vento
