#include "host/graph/graph_dot.h"

#include <windows.h>
#include <cstdio>
#include <variant>

namespace vento {

namespace {

std::string utf8(std::wstring_view text)
{
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// A DOT string: in quotes, with quotes and backslashes escaped and line breaks as DOT's "\n".
std::string dotString(std::wstring_view text)
{
    std::string out = "\"";
    for (char c : utf8(text)) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "\"";
}

std::wstring valueText(const GraphSetting& setting)
{
    if (const float* number = std::get_if<float>(&setting.value)) {
        wchar_t buffer[32];
        std::swprintf(buffer, 32, L"%g", double(*number));
        return buffer;
    }
    return std::get<std::wstring>(setting.value);
}

std::wstring controlText(const PanelControl& c)
{
    std::wstring name = c.label.empty() ? L"#" + std::to_wstring(c.id) : c.label;
    switch (c.action) {
    case PanelControl::Action::Position: return name + L" at " + std::to_wstring(c.value);
    case PanelControl::Action::Select: return name + L" entry " + std::to_wstring(c.value);
    case PanelControl::Action::Click: return name + L" pressed";
    }
    return name;
}

} // namespace

std::string graphDot(const Graph& graph, std::wstring_view title)
{
    std::string dot = "digraph " + dotString(title) + " {\n";
    dot += "  rankdir=LR;\n  ranksep=0.6;\n";
    dot += "  node [shape=box, style=rounded, fontname=\"Helvetica\", fontsize=11];\n";
    dot += "  edge [fontname=\"Helvetica\", fontsize=9];\n";
    for (const GraphModule& m : graph.modules) {
        std::wstring label = m.name + L"\n" + m.type;
        for (const GraphSetting& s : m.settings) label += L"\n" + s.name + L" = " + valueText(s);
        for (const PanelControl& c : m.panel) label += L"\n" + controlText(c);
        dot += "  " + dotString(m.name) + " [label=" + dotString(label) + "];\n";
    }
    for (const GraphConnection& c : graph.connections)
        dot += "  " + dotString(c.from) + " -> " + dotString(c.to) + " [label=" + dotString(c.output + L" \u2192 " + c.input) + "];\n";
    return dot + "}\n";
}

} // namespace vento
