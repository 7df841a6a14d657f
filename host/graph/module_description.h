#pragma once
// The one description of a module type, read from the module itself: created in an engine and
// initialized; its pins as it declared them, its settings with their type and default as its
// SaveSettings writes them, its panel's controls as the panel shows them (id, kind, label, range or
// entries, place), its help page, and whether it plays the file a setting names. `vento list`,
// `vento inspect` and `vento launch` describe modules through it.
#include <windows.h>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>
#include "host/engine/vento_engine.h"
#include "host/panel/panel_replay.h"
#include "host/registrar/catalogue.h"

namespace vento {

struct PinDescription {
    std::wstring name;
    bool input = false;
    long size = 0;      // floats a block, as declared
    bool multi = false; // an input that takes any number of connections
};

struct SettingDescription {
    std::wstring name;
    std::variant<float, std::wstring> value; // the type, and the value a fresh module saves
};

struct ModuleDescription {
    std::wstring type;
    CLSID clsid{};
    std::wstring description;
    std::vector<PinDescription> pins;         // inputs, then outputs, each by name
    std::vector<SettingDescription> settings; // in the order SaveSettings writes them
    PanelView panel;                          // empty for a module without a panel
    std::wstring helpFile;                    // the help page, written beside the server
    // The setting that names the file the module plays (the WAV module's "FileName"), for the types
    // that play one.
    std::optional<std::wstring> playedFileSetting;
    std::vector<std::wstring> optionalInputs; // inputs it works without
};

struct DescribeOptions {
    bool panel = true; // open the panel to read its controls
};

// Creates a module of `type` in `engine` and describes it; the module is gone again afterwards.
// Throws EngineError "<TYPE>: cannot be created (...)" or "<TYPE>: Initialize failed (...)".
ModuleDescription describeModule(Engine& engine, const CatalogueEntry& type, DescribeOptions options = {});
// Describes a module already in the engine (created and initialized), as it stands.
ModuleDescription describeInstance(Instance& instance, DescribeOptions options = {});

// The catalogue entry of `type`, by name, or failing that regardless of letter case. Throws
// EngineError "<what>: no module type 'X' in the catalogue (A, B, ...)".
const CatalogueEntry& catalogueEntry(const std::vector<CatalogueEntry>& catalogue, std::wstring_view type, std::string_view what);

// The setting naming the file modules of this type play; nothing for the types that play none.
std::optional<std::wstring> playedFileSetting(std::wstring_view type);
// Whether the instance plays a file: its type plays one and its setting names one.
bool playsFile(const Instance& instance);
// Why a module that plays a file cannot play it: its file cannot be opened (a line naming the file
// and the reason); nothing when the file opens or the module plays none.
std::optional<std::string> fileProblem(const Instance& instance);
// The inputs modules of this type work without.
std::vector<std::wstring> optionalInputsOf(std::wstring_view type);

} // namespace vento
