// The verbs of the catalogue: registering the servers, listing and inspecting module types. Every
// module is described through the one module description (host/graph/module_description.h).
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>
#include "com/error.h"
#include "host/engine/server_library.h"
#include "host/graph/module_description.h"
#include "host/vento/command_line.h"

namespace vento::command {

namespace {

// ventoengine.dll first: the servers enter the catalogue through it while they register.
std::vector<fs::path> serverFiles()
{
    const fs::path folder = programFolder();
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() == L".dll" && entry.path().filename() != L"ventoengine.dll")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    fs::path engine = folder / L"ventoengine.dll";
    if (!fs::exists(engine)) throw EngineError("ventoengine.dll is not beside vento.exe");
    files.insert(files.begin(), engine);
    return files;
}

void callEntry(const fs::path& file, const char* entry)
{
    const std::string name = narrow(file.filename().wstring());
    std::optional<ServerLibrary> server;
    try {
        server.emplace(file);
    } catch (const modkit::ComError& e) {
        const HRESULT hr = e.code();
        const unsigned long error = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : static_cast<unsigned long>(hr);
        throw EngineError(name + ": cannot load (error " + std::to_string(error) + ")");
    }
    if (HRESULT hr = server->call(entry); FAILED(hr))
        throw EngineError(name + ": " + entry + " failed (" + narrow(modkit::hresultText(hr)) + ")");
}

bool quietIn(const std::vector<std::string>& args) { return std::find(args.begin(), args.end(), "-q") != args.end(); }

int registerAll(const std::vector<std::string>& args)
{
    for (const fs::path& file : serverFiles()) {
        callEntry(file, "DllRegisterServer");
        if (!quietIn(args)) std::printf("registered %s\n", narrow(file.filename().wstring()).c_str());
    }
    return 0;
}

int unregisterAll(const std::vector<std::string>& args)
{
    auto files = serverFiles();
    std::rotate(files.begin(), files.begin() + 1, files.end()); // the engine last
    for (const fs::path& file : files) {
        callEntry(file, "DllUnregisterServer");
        if (!quietIn(args)) std::printf("unregistered %s\n", narrow(file.filename().wstring()).c_str());
    }
    return 0;
}

std::vector<CatalogueEntry> catalogueOrFail()
{
    auto catalogue = readCatalogue();
    if (catalogue.empty()) throw EngineError("the catalogue is empty; run 'vento register'");
    return catalogue;
}

std::string pinsText(const ModuleDescription& d)
{
    std::string text;
    for (const PinDescription& pin : d.pins)
        text += std::string(pin.input ? " in:" : " out:") + narrow(pin.name) + "(" + std::to_string(pin.size) +
                (pin.multi ? ",multi" : "") + ")";
    return text;
}

int list(const std::vector<std::string>& args)
{
    // The type names only, from the catalogue: quick enough for shell completion.
    if (args.size() == 1 && args[0] == "--names") {
        for (const auto& entry : readCatalogue()) std::printf("%s\n", narrow(entry.name).c_str());
        return 0;
    }
    if (!args.empty()) throw UsageError("list takes no arguments but --names");
    Engine engine;
    for (const auto& entry : catalogueOrFail()) {
        const std::string name = narrow(entry.name);
        try {
            const ModuleDescription d = describeModule(engine, entry, {.panel = false});
            std::printf("%-12s %s  [%s ]\n", name.c_str(), narrow(d.description).c_str(), pinsText(d).c_str());
        } catch (const EngineError& e) {
            std::printf("%-12s (%s)\n", name.c_str(), std::string(e.what()).substr(name.size() + 2).c_str());
        }
    }
    return 0;
}

std::string valueText(const SettingDescription& s)
{
    if (const float* number = std::get_if<float>(&s.value)) {
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", double(*number));
        return text;
    }
    return "\"" + narrow(std::get<std::wstring>(s.value)) + "\"";
}

std::string controlLine(const PanelControlInfo& c)
{
    const std::string label = c.label.empty() ? "-" : "\"" + narrow(c.label) + "\"";
    std::string range;
    using Kind = PanelControlInfo::Kind;
    if (c.kind == Kind::Trackbar || c.kind == Kind::UpDown)
        range = std::to_string(c.low) + ".." + std::to_string(c.high) + " (at " + std::to_string(c.position) + ")";
    else if (c.kind == Kind::List)
        for (size_t i = 0; i < c.entries.size(); ++i) range += (i ? ", " : "") + std::to_string(i) + ": " + narrow(c.entries[i]);
    if (!c.visible) range += range.empty() ? "(hidden)" : " (hidden)";
    char line[160];
    std::snprintf(line, sizeof line, "  %-5d %-9s %-24s ", c.id, narrow(kindName(c.kind)).c_str(), label.c_str());
    std::string text = line + range;
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// The module read from itself: created, initialized, its settings saved, its panel opened.
int inspect(const std::vector<std::string>& args)
{
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') throw UsageError("inspect: which module type? (vento inspect TYPE)");
    const auto catalogue = catalogueOrFail();
    Engine engine;
    const ModuleDescription d = describeModule(engine, catalogueEntry(catalogue, wide(args[0]), "inspect"));
    std::printf("%s: %s\n", narrow(d.type).c_str(), narrow(d.description).c_str());

    std::printf("\npins (block size at start):\n");
    if (d.pins.empty()) std::printf("  none\n");
    for (const PinDescription& pin : d.pins)
        std::printf("  %-4s %-14s %6ld  %s\n", pin.input ? "in" : "out", narrow(pin.name).c_str(), pin.size,
                    !pin.input ? "to any number of inputs" : pin.multi ? "any number of connections" : "one connection");

    std::printf("\nsettings (type and default, as its SaveSettings writes them):\n");
    if (d.settings.empty()) std::printf("  none\n");
    for (const SettingDescription& s : d.settings)
        std::printf("  %-14s %-7s %s\n", narrow(s.name).c_str(), std::holds_alternative<float>(s.value) ? "number" : "text",
                    valueText(s).c_str());

    std::printf("\npanel controls (id, kind, label, range or entries):\n");
    if (d.panel.controls.empty()) std::printf("  none\n");
    for (const PanelControlInfo& c : d.panel.controls) std::printf("%s\n", controlLine(c).c_str());
    std::printf("\nhelp: %s\n", d.helpFile.empty() ? "none" : narrow(d.helpFile).c_str());
    return 0;
}

} // namespace

const Verb registerVerb{"register", "register ventoengine.dll and every module server beside vento.exe",
                        "usage: vento register\n"
                 "Registers ventoengine.dll, then every other DLL beside vento.exe, through their\n"
                 "DllRegisterServer (as regsvr32 does), and prints each one registered.\n", registerAll};
const Verb unregisterVerb{"unregister", "unregister them again", "usage: vento unregister\n"
                   "Unregisters every module server beside vento.exe, then ventoengine.dll, through their\n"
                   "DllUnregisterServer.\n", unregisterAll};
const Verb listVerb{"list", "the catalogue: each module with its description and pins", "usage: vento list [--names]\n"
             "Lists the catalogue, one module a line: name, description, input and output pins with\n"
             "their block sizes. Each module is created and initialized to read them.\n"
             "  --names          only the type names, one a line (no module is created)\n", list};
const Verb inspectVerb{"inspect TYPE", "one module in full: pins, settings, panel controls, help page",
                       "usage: vento inspect TYPE\n"
                "Shows one module of the catalogue in full, read from the module itself: its description;\n"
                "its pins with direction, block size at start and whether an input takes several\n"
                "connections; its settings with their type and default (what its SaveSettings writes);\n"
                "its panel's controls with id, kind, label and range or entries (the names 'vento launch'\n"
                "and graph files may use); and its help page.\n", inspect};

} // namespace vento::command
