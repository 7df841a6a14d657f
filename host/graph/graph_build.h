#pragma once
// Building a described graph (graph_file.h) in the engine, and the way back: the graph as the engine
// holds it now, written as a graph file.
//
// Building creates each module by its type name through the catalogue (the servers must be
// registered), calls Initialize, then LoadSettings with the module's own current settings overlaid
// by the described ones (so a file may give only some of them), connects the pins, orders the graph,
// and finally replays each module's panel values (panel_replay.h).
//
// A module may refuse a described setting (a block size of -5, say) and keep the value it had. After
// LoadSettings the module's settings are read back (SaveSettings) and each described one is judged:
// it was refused when the module read it while loading, still holds the value it held before, and
// the file gave another. Numbers compare as the 32-bit floats the store keeps, text exactly. A value
// the module changed in its own way (100.5 kept as 100) was taken, not refused; a setting the module
// does not read or does not save (a phase it saves only to show it) is not judged.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>
#include "host/graph/graph_file.h"
#include "host/engine/vento_engine.h"

namespace vento {

struct RefusedSetting {
    std::wstring name;
    std::variant<float, std::wstring> given, kept;
};

// The described settings `given` that a module refused: `before` holds what it saved before
// loading, `loaded` the store it loaded from (its reads recorded), `after` what it saved after.
std::vector<RefusedSetting> refusedSettings(const std::vector<GraphSetting>& given, const SettingsStore& before,
                                            const SettingsStore& loaded, const SettingsStore& after);

// "g.xml: module 'tone': setting 'BlockSize' = -5 was refused; it keeps 128"
std::string refusalText(const std::filesystem::path& file, std::wstring_view instance, const RefusedSetting& refused);

struct BuildOptions {
    // A refused setting fails the build (EngineError with refusalText) instead of being a warning.
    bool strict = false;
    // Hears each warning (refusalText); unset, it goes to standard error as "vento: warning: TEXT".
    std::function<void(const std::string&)> warn;
};

// Builds `graph` in `engine` (which should hold no modules of the same names); `file` names the
// graph in messages. Every module name and type is checked before any module is made. Throws
// EngineError "<file name>: <what>". The engine answers GetRestorePlacement nonzero from then on:
// a described graph holds saved placements.
void buildGraph(Engine& engine, const Graph& graph, const std::filesystem::path& file, const BuildOptions& options = {});

// The engine's graph as a description: every instance with its type and the settings it holds now
// (no SaveSettings call), with the panel values and connections of `loaded`, the description it was
// built from.
Graph describeGraph(const Engine& engine, const Graph& loaded);

// Reads the file and builds it: a file that cannot be read fails before any module is made.
Graph loadGraph(Engine& engine, const std::filesystem::path& file, const BuildOptions& options = {});

// Writes the graph over its file (updateGraphFile: what a person wrote stays): each module with the
// settings its SaveSettings gives now, the panel values of `graph`, and the connections. The file
// is replaced only once the new one is complete.
void saveGraph(Engine& engine, const Graph& graph, const std::filesystem::path& file);

// Writes the graph with the settings the instances hold already (no SaveSettings call): what the
// host object saves at once.
void writeGraph(const Engine& engine, const Graph& graph, const std::filesystem::path& file);

// Loads the file in an engine of its own and writes it back with the settings every module saves
// now (its windows closed first) and the panel values its panels show.
void resaveGraph(const std::filesystem::path& file);

} // namespace vento
