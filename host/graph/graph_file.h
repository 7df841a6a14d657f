#pragma once
// Graph files: the modules of a graph, their saved settings and panel values, and the connections.
// docs/graph-files.md describes them for users, with every module's settings and panel controls.
//
//   <graph>
//     <module name="tone" type="SignalW">
//       <float name="Amp" value="0.5"/>             saved settings: what the module's SaveSettings
//       <string name="File" value="in.wav"/>        writes, read back through its LoadSettings
//       <panel>                                     panel values the module keeps in no setting
//         <control id="5003" position="30"/>        a trackbar: TBM_SETPOS, then WM_HSCROLL
//         <control id="204" select="2"/>            a drop-down list: CB_SETCURSEL, then CBN_SELCHANGE
//         <control id="203" click="1"/>             a button or check box: BM_CLICK
//         <control label="High Cut" position="30"/> a control named by its label (panel_replay.h)
//       </panel>
//     </module>
//     <connect from="tone.Default" to="fft.Default"/>
//   </graph>
//
// This part only reads and writes the file as a plain description (GraphFile): no module is made
// and no server needs to be registered. graph_build.h makes the description into a running graph,
// panel_replay.h drives the panels. Panel values are kept as the file gave them (by id or by label)
// and written back unchanged on saving.
//
// Read and written with msxml2.domdocument (the calling thread must be in a COM apartment). A file
// that cannot be used throws EngineError with one line naming the file and the place
// ("demo.xml: module 'fft': setting 'Amp': unparsable number 'loud'").
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>
#include "host/engine/vento_engine.h"
#include "host/panel/panel_values.h"

namespace vento {

// A saved setting: a 32-bit float or a string, as ISettingsStore keeps them.
struct GraphSetting {
    std::wstring name;
    std::variant<float, std::wstring> value;
    bool operator==(const GraphSetting&) const = default;
};

// Where a module stands on the studio's canvas (attributes x and y of <module>).
struct CanvasPlace {
    float x = 0, y = 0;
    bool operator==(const CanvasPlace&) const = default;
};

struct GraphModule {
    std::wstring name;
    std::wstring type;
    std::vector<GraphSetting> settings; // in file order
    std::vector<PanelControl> panel;    // in file order
    std::optional<CanvasPlace> place{}; // none: the file gives no place
    bool operator==(const GraphModule&) const = default;
};

struct GraphConnection {
    std::wstring from, output, to, input;
    bool operator==(const GraphConnection&) const = default;
};

struct Graph {
    std::vector<GraphModule> modules;
    std::vector<GraphConnection> connections;
    bool operator==(const Graph&) const = default;
};

// Reads and checks the file: every module named once and typed, every setting named with a value
// (floats parsable), every panel control with an id and one action, every connection written as
// instance.pin at both ends. Whether the types, instances and pins exist is for building to say.
Graph readGraphFile(const std::filesystem::path& file);

// Writes the description, indented for people to read and edit. The file is replaced only once the
// new one is complete.
void writeGraphFile(const Graph& graph, const std::filesystem::path& file);

// Saves the description over the graph file it was read from, changing only what differs: comments,
// layout, the order of elements and the text of every value that still reads the same are kept, so
// a file a person wrote stays theirs and a file vento wrote saves byte for byte the same. Modules,
// settings, panel controls and connections that are new go after their kind; those gone are taken
// out. A file that is not there (or holds no graph) is written afresh, as writeGraphFile does.
void updateGraphFile(const Graph& graph, const std::filesystem::path& file);

// A problem in one graph file: throws EngineError "<file name>: <what>".
[[noreturn]] void graphFileError(const std::filesystem::path& file, std::wstring_view what);

// 'text', as messages quote names and values.
std::wstring inQuotes(std::wstring_view text);

} // namespace vento
