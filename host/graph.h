#pragma once
// Graph files: the modules of a graph, their saved settings and panel values, and the connections.
//
//   <graph>
//     <module name="tone" type="SignalW">
//       <float name="Amp" value="0.5"/>             saved settings: what the module's SaveSettings
//       <string name="File" value="in.wav"/>        writes, read back through its LoadSettings
//       <panel>                                     panel values the module keeps in no setting
//         <control id="5003" position="30"/>        a trackbar: TBM_SETPOS, then WM_HSCROLL
//         <control id="204" select="2"/>            a drop-down list: CB_SETCURSEL, then CBN_SELCHANGE
//         <control id="203" click="1"/>             a button or check box: BM_CLICK
//       </panel>
//     </module>
//     <connect from="tone.Default" to="fft.Default"/>
//   </graph>
//
// Loading creates each module by its type name through the catalogue (the servers must be
// registered), calls Initialize, then LoadSettings with the module's own current settings overlaid
// by the file's (so a file may give only some of them), connects the pins, and finally applies each
// <panel> the way a host shows a panel: the page class the module named with SetControlPage is
// created, given a page site and the module (SetObjects), activated on a hidden window, its controls
// are driven with the messages above in file order, then Apply and Deactivate. Panel values are kept
// as the file gave them and written back unchanged on saving.
//
// Read and written with msxml2.domdocument. A file that cannot be used throws EngineError with one
// line naming the file and the place ("demo.xml: module 'fft': unknown module type 'FFTX'").
#include <filesystem>
#include <string>
#include <vector>
#include "host/vento_engine.h"

namespace vento {

struct PanelControl {
    enum class Action { Position, Select, Click };
    int id = 0;
    Action action = Action::Position;
    int value = 0;
    bool operator==(const PanelControl&) const = default;
};

struct GraphModule {
    std::wstring name;
    std::wstring type;
    std::vector<PanelControl> panel;
};

struct GraphConnection {
    std::wstring from, output, to, input;
    bool operator==(const GraphConnection&) const = default;
};

// What a loaded file described, beyond what the engine holds.
struct Graph {
    std::vector<GraphModule> modules;
    std::vector<GraphConnection> connections;
};

// Reads the file and builds the graph in `engine` (which should hold no modules of the same names).
// The engine answers GetRestorePlacement nonzero from then on: the file holds saved placements.
Graph loadGraph(Engine& engine, const std::filesystem::path& file);

// Writes the graph: each module with the settings its SaveSettings gives now, its panel values as
// loaded, and the connections. The file is replaced only once the new one is complete.
void saveGraph(Engine& engine, const Graph& graph, const std::filesystem::path& file);

// Writes the graph with the settings the instances hold already (no SaveSettings call): what the
// host object saves at once.
void writeGraph(const Engine& engine, const Graph& graph, const std::filesystem::path& file);

// Opens the module's panel as a host does and drives the controls (see above). Throws EngineError.
void applyPanel(Instance& instance, const std::vector<PanelControl>& controls);

} // namespace vento
