// vento: register the module servers, list the catalogue, run and save graphs.
// A thin shell over the engine library (host/vento_engine.h, host/graph.h).
#include <windows.h>
#include <io.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>
#include "com/bstr.h"
#include "com/error.h"
#include "host/apartment.h"
#include "host/graph.h"
#include "host/graph_dot.h"
#include "host/launch.h"
#include "host/recording_export.h"
#include "host/registrar/catalogue.h"
#include "host/server_library.h"
#include "host/vento_engine.h"

namespace fs = std::filesystem;
using vento::EngineError;
using vento::narrow;

namespace {

const char* const usage = "usage: vento <verb> [options]\n"
                          "\n"
                          "verbs:\n"
                          "  register            register ventoengine.dll and every module server beside vento.exe\n"
                          "  unregister          unregister them again\n"
                          "  list                the catalogue: each module with its description and pins\n"
                          "  inspect TYPE        one module in full: pins, settings, panel controls, help page\n"
                          "  run GRAPH           run a graph file (real time unless --offline)\n"
                          "  launch DESCRIPTION  run a graph written on one line: \"SignalW ! FFT ! GraphWindow\"\n"
                          "  panel GRAPH INST    open a module's control panel while the graph runs; OK saves GRAPH\n"
                          "  save GRAPH          write the graph back with the modules' current settings\n"
                          "  export REC OUT      convert a Recorder's recording to a WAV or CSV file\n"
                          "  dot GRAPH           a picture of a graph file, as Graphviz DOT\n"
                          "\n"
                          "'vento <verb> --help' describes one verb. Errors go to stderr as one line; the exit\n"
                          "code is 0 on success, 1 on an error, 2 on a usage error.\n";

const std::map<std::string, const char*> verbHelp = {
    {"register", "usage: vento register\n"
                 "Registers ventoengine.dll, then every other DLL beside vento.exe, through their\n"
                 "DllRegisterServer (as regsvr32 does), and prints each one registered.\n"},
    {"unregister", "usage: vento unregister\n"
                   "Unregisters every module server beside vento.exe, then ventoengine.dll, through their\n"
                   "DllUnregisterServer.\n"},
    {"list", "usage: vento list [--names]\n"
             "Lists the catalogue, one module a line: name, description, input and output pins with\n"
             "their block sizes. Each module is created and initialized to read them.\n"
             "  --names          only the type names, one a line (no module is created)\n"},
    {"inspect", "usage: vento inspect TYPE\n"
                "Shows one module of the catalogue in full, read from the module itself: its description;\n"
                "its pins with direction, block size at start and whether an input takes several\n"
                "connections; its settings with their type and default (what its SaveSettings writes);\n"
                "its panel's controls with id, kind, label and range or entries (the names 'vento launch'\n"
                "and graph files may use); and its help page.\n"},
    {"launch", "usage: vento launch DESCRIPTION... [run options] [--save FILE]\n"
               "Runs a graph written on one line, as 'vento run' runs a graph file (every option of run\n"
               "works here too). Arguments that are not options are joined into the description:\n"
               "  TYPE Name=value ...   a module and its settings by the module's own names, or its panel\n"
               "                        controls by label: \"High Cut\"=30 (trackbar position), a list's\n"
               "                        entry number or text, a button or check box pressed with =1\n"
               "  name=NAME             names the instance (else TYPE1, TYPE2 ...)\n"
               "  A ! B                 links A's output to B's input (their \"Default\" pins, or the only ones)\n"
               "  NAME.PIN  NAME.       a pin of a named instance; NAME. is its main pin\n"
               "A module not linked to the one before it starts a new chain:\n"
               "  vento launch \"Multiplier name=m ! GraphWindow  SignalW ! m.  SignalW Freq=0.17 ! m.\"\n"
               "'vento inspect TYPE' lists a module's settings, labels and pins.\n"
               "  --save FILE      write the graph file the description makes (with every module's\n"
               "                   settings, as 'vento save' writes one) instead of running it\n"},
    {"dot", "usage: vento dot GRAPH [-o FILE]\n"
            "Writes the graph file as Graphviz DOT: each module with its type and the settings and\n"
            "panel values the file gives it, each connection labelled with its pins. Into FILE ('-':\n"
            "standard output), else GRAPH's name with .dot in the current folder. Draw it with\n"
            "'dot -Tsvg FILE -o picture.svg' (./vento dot does that when Graphviz is installed).\n"},
    {"run", "usage: vento run GRAPH [--offline] [--seconds S | --blocks N] [--windows]\n"
            "                 [--tap INSTANCE.PIN=FILE]... [--chart INSTANCE.PIN=FILE]... [--bin-hz HZ]\n"
            "                 [--snapshot DIR] [--strict] [--stats] [-q]\n"
            "Runs the graph file GRAPH.\n"
            "  --offline        run on a virtual clock, as fast as the CPU allows (same blocks as real time)\n"
            "  --seconds S      stop after S seconds of graph time\n"
            "  --blocks N       stop once every source has sent N blocks (default: 100; offline, a\n"
            "                   graph whose sources all play files runs until the files end)\n"
            "  --windows        open the display modules' windows\n"
            "  --tap I.P=FILE   write every block of output pin P of instance I to FILE: little-endian\n"
            "                   32-bit floats, or one block a line as CSV when FILE ends in .csv\n"
            "  --chart I.P=FILE at the end, write the last block P sent as a chart: CSV with the header\n"
            "                   frequency_hz,gain and one row per value (its index x --bin-hz, the value)\n"
            "  --bin-hz HZ      hertz from one chart value to the next (default 1: the index)\n"
            "  --snapshot DIR   at the end, save each open window as DIR/<instance>.png (opens windows)\n"
            "  --strict         a setting a module refuses (keeping its value instead) is an error,\n"
            "                   not a warning\n"
            "  --stats          at the end, per module: blocks sent, Process calls, time per call (mean,\n"
            "                   99th percentile), and for paced sources how late their blocks were sent\n"
            "                   (mean, 99th percentile, max, share within 1 ms); then what the process\n"
            "                   held (memory, handles, GDI objects, windows) once the graph was loaded,\n"
            "                   after the first second and at the end; see docs/run-stats.md\n"
            "  -q               no progress line and no summary (--stats still prints)\n"
            "Settings a module saves by itself while running are written to GRAPH at once.\n"
            "Without --windows, a module's message box is printed as 'vento: INSTANCE: TEXT' on\n"
            "stderr and answered OK; the run goes on.\n"},
    {"panel", "usage: vento panel GRAPH INSTANCE [--offline] [--strict] [-q]\n"
              "Loads GRAPH, opens the control panel of its module INSTANCE in the host's property frame\n"
              "and runs the graph (real time unless --offline) until the frame closes. The display\n"
              "modules' windows stay open and keep drawing. On OK, GRAPH is written back with every\n"
              "module's settings if the module reported a change; Cancel or closing the frame leaves\n"
              "GRAPH as it was. The module's panel server must be registered (vento register).\n"
              "At the end it prints the blocks each module sent meanwhile (not with -q). A setting\n"
              "a module refuses is a warning, or with --strict an error.\n"},
    {"export", "usage: vento export RECORDING.vento OUT.wav|OUT.csv\n"
               "Converts a Recorder's recording file. OUT.wav: a mono 16-bit PCM WAV file at the\n"
               "recording's sample rate, every sample scaled by 32366 and held at the 16-bit limits, as\n"
               "the WAV module records. OUT.csv: one record a line, its time offset in engine-clock\n"
               "ticks, then its samples. Prints the records and samples converted.\n"},
    {"save", "usage: vento save GRAPH\n"
             "Loads GRAPH and writes it back with the settings every module saves now.\n"},
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ventoengine.dll first: the servers enter the catalogue through it while they register.
std::vector<fs::path> serverFiles()
{
    const fs::path folder = vento::programFolder();
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
    std::optional<vento::ServerLibrary> server;
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

int registerAll(bool quiet)
{
    for (const fs::path& file : serverFiles()) {
        callEntry(file, "DllRegisterServer");
        if (!quiet) std::printf("registered %s\n", narrow(file.filename().wstring()).c_str());
    }
    return 0;
}

int unregisterAll(bool quiet)
{
    auto files = serverFiles();
    std::rotate(files.begin(), files.begin() + 1, files.end()); // the engine last
    for (const fs::path& file : files) {
        callEntry(file, "DllUnregisterServer");
        if (!quiet) std::printf("unregistered %s\n", narrow(file.filename().wstring()).c_str());
    }
    return 0;
}

std::string pins(const vento::ModuleCore& core)
{
    std::string text;
    for (const auto& [name, pin] : core.inputs())
        text += " in:" + narrow(name) + "(" + std::to_string(pin.size) + (pin.multi ? ",multi" : "") + ")";
    for (const auto& [name, pin] : core.outputs())
        text += " out:" + narrow(name) + "(" + std::to_string(pin.size()) + ")";
    return text;
}

int list()
{
    auto catalogue = vento::readCatalogue();
    if (catalogue.empty()) throw EngineError("the catalogue is empty; run 'vento register'");
    vento::Engine engine;
    for (const auto& entry : catalogue) {
        std::string line = narrow(entry.name);
        try {
            vento::Instance& instance = engine.create(entry.clsid);
            modkit::check(instance.module->Initialize());
            ModuleInfo info{};
            std::string description;
            if (SUCCEEDED(instance.module->GetInfo(&info))) {
                const modkit::Bstr author = modkit::Bstr::adopt(info.author), text = modkit::Bstr::adopt(info.description);
                description = narrow(text.view());
            }
            std::printf("%-12s %s  [%s ]\n", line.c_str(), description.c_str(), pins(*instance.core).c_str());
            engine.remove(instance);
        } catch (const modkit::ComError& e) {
            std::printf("%-12s (cannot be created: %s)\n", line.c_str(), narrow(modkit::hresultText(e.code())).c_str());
        }
    }
    return 0;
}

// The type names only, from the catalogue: quick enough for shell completion.
int listNames()
{
    for (const auto& entry : vento::readCatalogue()) std::printf("%s\n", narrow(entry.name).c_str());
    return 0;
}

std::string argument(const std::vector<std::string>& args, size_t& i, const std::string& option)
{
    if (i + 1 >= args.size()) throw UsageError(option + " needs a value");
    return args[++i];
}

std::wstring wide(const std::string& text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(size_t(n > 0 ? n - 1 : 0), L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, result.data(), n);
    return result;
}

// A file named on the command line. Under Wine an absolute Linux path ("/home/me/demo.xml") is
// turned into the DOS path Wine maps it to: Windows would read it as a folder of the current drive,
// which is right only while the current folder is on the drive that maps "/". Wine's own
// wine_get_dos_file_name (which takes the Linux name in UTF-8) is looked up at run time, so on
// Windows the path is taken as it is.
fs::path hostPath(const std::wstring& text)
{
    if (text.size() > 1 && text[0] == L'/' && text[1] != L'/') {
        using DosFileName = WCHAR*(CDECL*)(const char*);
        static const auto dosFileName = reinterpret_cast<DosFileName>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
        const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string unix(size_t(n > 0 ? n : 1), '\0');
        if (dosFileName && n > 0 && WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, unix.data(), n, nullptr, nullptr))
            if (WCHAR* dos = dosFileName(unix.c_str())) {
                fs::path converted(dos);
                HeapFree(GetProcessHeap(), 0, dos);
                return converted;
            }
    }
    return fs::path(text);
}

fs::path widePath(const std::string& text) { return hostPath(wide(text)); }

struct RunCommand {
    fs::path graph;
    std::string description;     // launch: the words joined
    std::optional<fs::path> save; // launch --save
    bool quiet = false;
    vento::RunOptions options;
};

// INSTANCE.PIN=FILE as --tap and --chart take it.
vento::TapRequest pinToFile(const std::string& option, const std::string& v)
{
    size_t eq = v.find('='), dot = v.substr(0, eq).rfind('.');
    if (eq == std::string::npos || dot == std::string::npos || dot == 0 || eq == dot + 1 || eq + 1 == v.size())
        throw UsageError(option + ": write INSTANCE.PIN=FILE, not " + v);
    return {wide(v.substr(0, dot)), wide(v.substr(dot + 1, eq - dot - 1)), widePath(v.substr(eq + 1))};
}

// run's options; `launch` takes the description and --save instead of one graph.
RunCommand runCommand(const std::vector<std::string>& args, bool launch = false)
{
    const char* verb = launch ? "launch" : "run";
    RunCommand c;
    vento::RunOptions& o = c.options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--offline") o.offline = true;
        else if (a == "--windows") o.windows = true;
        else if (a == "--strict") o.strict = true;
        else if (a == "-q") c.quiet = true;
        else if (a == "--stats") o.stats = true;
        else if (a == "--seconds") {
            std::string v = argument(args, i, a);
            char* end = nullptr;
            double s = std::strtod(v.c_str(), &end);
            if (*end || !(s > 0)) throw UsageError("--seconds: not a positive number: " + v);
            o.seconds = s;
        } else if (a == "--blocks") {
            std::string v = argument(args, i, a);
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (*end || n <= 0) throw UsageError("--blocks: not a positive whole number: " + v);
            o.blocks = n;
        } else if (a == "--snapshot") {
            o.snapshot = widePath(argument(args, i, a));
        } else if (a == "--tap") {
            o.taps.push_back(pinToFile(a, argument(args, i, a)));
        } else if (a == "--chart") {
            o.charts.push_back(pinToFile(a, argument(args, i, a)));
        } else if (a == "--bin-hz") {
            std::string v = argument(args, i, a);
            char* end = nullptr;
            double hz = std::strtod(v.c_str(), &end);
            if (*end || !(hz > 0) || !std::isfinite(hz)) throw UsageError("--bin-hz: not a positive number: " + v);
            o.chartBinHertz = hz;
        } else if (a == "--save" && launch) {
            c.save = widePath(argument(args, i, a));
        } else if (!a.empty() && a[0] == '-') {
            throw UsageError(std::string(verb) + ": unknown option " + a);
        } else if (launch) {
            c.description += (c.description.empty() ? "" : " ") + a;
        } else if (c.graph.empty()) {
            c.graph = widePath(a);
        } else {
            throw UsageError("run: more than one graph: " + a);
        }
    }
    if (launch && c.description.find_first_not_of(" \t") == std::string::npos)
        throw UsageError("launch: which graph? (vento launch \"SignalW ! GraphWindow\")");
    if (!launch && c.graph.empty()) throw UsageError("run: which graph? (vento run GRAPH)");
    if (o.seconds && o.blocks) throw UsageError(std::string(verb) + ": --seconds and --blocks exclude each other");
    return c;
}

void printBlocksSent(const std::vector<vento::ModuleSends>& sent, const char* title)
{
    std::printf("%s\n", title);
    for (const auto& [name, blocks] : sent) std::printf("  %-12s %ld\n", narrow(name).c_str(), blocks);
}

// --stats: one row per module, after the run.
void printRunStats(const vento::GraphRun& run)
{
    const vento::RunStats* stats = run.stats();
    if (!stats) return;
    std::printf("stats per module (time per Process call in us; lateness of paced sources' blocks in ms):\n");
    std::printf("  %-12s %9s %10s %9s %9s | %9s %9s %9s %11s\n", "module", "blocks", "calls", "mean us", "p99 us",
                "late mean", "late p99", "late max", "within 1ms");
    for (const vento::ModuleStats& m : stats->report()) {
        std::printf("  %-12s %9ld %10ld %9.2f %9.2f | ", narrow(m.name).c_str(), m.blocks, m.calls, m.meanUs, m.p99Us);
        if (m.lateness && m.lateness->blocks > 0)
            std::printf("%9.3f %9.3f %9.3f %10.1f%%\n", m.lateness->meanMs, m.lateness->p99Ms, m.lateness->maxMs,
                        100.0 * m.lateness->withinOneMs);
        else
            std::printf("%9s %9s %9s %11s\n", "-", "-", "-", "-");
    }
}

// The process figures of a run, a line each (printed with --stats even when quiet).
void printProcessFigures(const vento::RunFigures& f)
{
    std::printf("process figures:\n");
    std::printf("  %-18s %s\n", "at load", vento::figuresText(f.atLoad).c_str());
    if (f.afterFirstSecond) std::printf("  %-18s %s\n", "after 1 s", vento::figuresText(*f.afterFirstSecond).c_str());
    std::printf("  %-18s %s\n", "at the end", vento::figuresText(f.atEnd).c_str());
}

int run(const RunCommand& c, const vento::Graph* launched = nullptr)
{
    std::optional<vento::GraphRun> graphRun;
    if (launched) graphRun.emplace(*launched, vento::launchName, c.options);
    else graphRun.emplace(c.graph, c.options);
    vento::GraphRun& run = *graphRun;
    const vento::RunOptions& o = run.options();
    const bool tty = _isatty(_fileno(stderr));
    bool progressShown = false;
    // Redrawn in place on a terminal; plain lines, less often, into a file.
    auto progress = [&](const vento::RunProgress& p, bool final) {
        char line[160];
        if (o.seconds) std::snprintf(line, sizeof line, "running: %.1f of %.1f s graph time", p.graphSeconds, *o.seconds);
        else if (o.untilFilesEnd) std::snprintf(line, sizeof line, "running: %ld blocks until the files end (%.1f s graph time)", p.blocks, p.graphSeconds);
        else std::snprintf(line, sizeof line, "running: %ld of %ld blocks (%.1f s graph time)", p.blocks, *o.blocks, p.graphSeconds);
        if (tty) std::fprintf(stderr, "\r%s%s", line, final ? "\n" : "");
        else if (!final) std::fprintf(stderr, "%s\n", line);
        progressShown = true;
    };
    if (c.quiet) run.run();
    else run.run([&](const vento::RunProgress& p) { progress(p, false); },
                 tty ? std::chrono::milliseconds(200) : std::chrono::milliseconds(1000));
    if (progressShown && tty) progress(run.progress(), true);
    run.closeTaps();
    run.saveSnapshots([&](const fs::path& file) {
        if (!c.quiet) std::printf("snapshot %s\n", narrow(file.wstring()).c_str());
    });
    if (!c.quiet) {
        printBlocksSent(vento::blocksSentPerModule(run.engine()), "blocks sent per module:");
        for (const auto& tap : o.taps) std::printf("tap %s\n", narrow(tap.file.wstring()).c_str());
        for (const auto& chart : o.charts) std::printf("chart %s\n", narrow(chart.file.wstring()).c_str());
    }
    printRunStats(run);
    if (o.stats) printProcessFigures(run.figures());
    run.closeWindows();
    return 0;
}

int launch(const std::vector<std::string>& args)
{
    const RunCommand c = runCommand(args, true);
    const vento::Graph graph = vento::readLaunch(wide(c.description), [](const std::wstring& file) { return hostPath(file).wstring(); });
    if (!c.save) return run(c, &graph);
    {
        vento::Engine engine;
        vento::buildGraph(engine, graph, vento::launchName);
        for (const auto& instance : engine.instances()) {
            instance->module->CloseWindow();
            engine.saveSettings(*instance);
        }
        // A new file: whatever was there before is not kept.
        vento::writeGraphFile(vento::describeGraph(engine, graph), *c.save);
    }
    if (!c.quiet) std::printf("saved %s\n", narrow(c.save->wstring()).c_str());
    return 0;
}

const char* settingKind(vento::SettingsStore::Kind kind)
{
    return kind == vento::SettingsStore::Kind::Float ? "number" : "text";
}

// The module read from itself: created, initialized, its settings saved, its panel opened.
int inspect(const std::vector<std::string>& args)
{
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') throw UsageError("inspect: which module type? (vento inspect TYPE)");
    const std::wstring type = wide(args[0]);
    const auto catalogue = vento::readCatalogue();
    if (catalogue.empty()) throw EngineError("the catalogue is empty; run 'vento register'");
    auto entry = std::find_if(catalogue.begin(), catalogue.end(), [&](const auto& e) { return e.name == type; });
    if (entry == catalogue.end())
        entry = std::find_if(catalogue.begin(), catalogue.end(), [&](const auto& e) { return _wcsicmp(e.name.c_str(), type.c_str()) == 0; });
    if (entry == catalogue.end()) {
        std::string names;
        for (const auto& e : catalogue) names += (names.empty() ? "" : ", ") + narrow(e.name);
        throw EngineError("inspect: no module type '" + args[0] + "' in the catalogue (" + names + ")");
    }
    vento::Engine engine;
    vento::Instance* instance = nullptr;
    try {
        instance = &engine.create(entry->clsid);
    } catch (const modkit::ComError& e) {
        throw EngineError("inspect: cannot create " + narrow(entry->name) + " (" + narrow(modkit::hresultText(e.code())) + ")");
    }
    modkit::check(instance->module->Initialize());
    const vento::ModuleCore& core = *instance->core;

    std::string description, help;
    ModuleInfo info{};
    if (SUCCEEDED(instance->module->GetInfo(&info))) {
        const modkit::Bstr author = modkit::Bstr::adopt(info.author), text = modkit::Bstr::adopt(info.description);
        description = narrow(text.view());
    }
    modkit::Bstr helpFile;
    if (SUCCEEDED(instance->module->GetHelpFile(helpFile.put()))) help = narrow(helpFile.view());
    std::printf("%s: %s\n", narrow(entry->name).c_str(), description.c_str());

    std::printf("\npins (block size at start):\n");
    if (core.inputs().empty() && core.outputs().empty()) std::printf("  none\n");
    for (const auto& [name, pin] : core.inputs())
        std::printf("  in   %-14s %6ld  %s\n", narrow(name).c_str(), pin.size,
                    pin.multi ? "any number of connections" : "one connection");
    for (const auto& [name, pin] : core.outputs())
        std::printf("  out  %-14s %6ld  to any number of inputs\n", narrow(name).c_str(), pin.size());

    engine.saveSettings(*instance);
    std::printf("\nsettings (type and default, as its SaveSettings writes them):\n");
    const auto& settings = instance->settings->entries();
    if (settings.empty()) std::printf("  none\n");
    for (const auto& s : settings) {
        std::string value = s.kind == vento::SettingsStore::Kind::Float ? [&] {
            char number[32];
            std::snprintf(number, sizeof number, "%.9g", double(*instance->settings->floatValue(s.name)));
            return std::string(number);
        }() : "\"" + narrow(*instance->settings->stringValue(s.name)) + "\"";
        std::printf("  %-14s %-7s %s\n", narrow(s.name).c_str(), settingKind(s.kind), value.c_str());
    }

    std::printf("\npanel controls (id, kind, label, range or entries):\n");
    const auto controls = vento::readPanel(*instance);
    if (controls.empty()) std::printf("  none\n");
    for (const auto& c : controls) {
        std::string label = c.label.empty() ? "-" : "\"" + narrow(c.label) + "\"";
        std::string range;
        using Kind = vento::PanelControlInfo::Kind;
        if (c.kind == Kind::Trackbar || c.kind == Kind::UpDown)
            range = std::to_string(c.low) + ".." + std::to_string(c.high) + " (at " + std::to_string(c.position) + ")";
        else if (c.kind == Kind::List)
            for (size_t i = 0; i < c.entries.size(); ++i)
                range += (i ? ", " : "") + std::to_string(i) + ": " + narrow(c.entries[i]);
        if (!c.visible) range += range.empty() ? "(hidden)" : " (hidden)";
        char line[160];
        std::snprintf(line, sizeof line, "  %-5d %-9s %-24s ", c.id, narrow(vento::kindName(c.kind)).c_str(), label.c_str());
        std::string text = line + range;
        text.erase(text.find_last_not_of(' ') + 1);
        std::printf("%s\n", text.c_str());
    }
    std::printf("\nhelp: %s\n", help.empty() ? "none" : help.c_str());
    engine.remove(*instance);
    return 0;
}

int dot(const std::vector<std::string>& args)
{
    std::optional<fs::path> graphFile;
    std::optional<std::string> output;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-o") output = argument(args, i, a);
        else if (!a.empty() && a[0] == '-') throw UsageError("dot: unknown option " + a);
        else if (!graphFile) graphFile = widePath(a);
        else throw UsageError("dot: more than one graph: " + a);
    }
    if (!graphFile) throw UsageError("dot: which graph? (vento dot GRAPH [-o FILE])");
    const vento::Graph graph = vento::readGraphFile(*graphFile);
    const std::string text = vento::graphDot(graph, graphFile->stem().wstring());
    if (output && *output == "-") {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    fs::path file = graphFile->stem();
    file += L".dot";
    if (output) file = widePath(*output);
    std::FILE* out = _wfopen(file.c_str(), L"wb");
    if (!out) throw EngineError("dot: cannot write " + narrow(file.wstring()));
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    if (std::fclose(out) != 0 || !written) throw EngineError("dot: writing " + narrow(file.wstring()) + " failed");
    std::printf("wrote %s\n", narrow(file.wstring()).c_str());
    return 0;
}

int panel(const std::vector<std::string>& args)
{
    fs::path file;
    std::wstring name;
    bool offline = false, quiet = false, strict = false;
    size_t given = 0;
    for (const std::string& a : args) {
        if (a == "--offline") offline = true;
        else if (a == "--strict") strict = true;
        else if (a == "-q") quiet = true;
        else if (!a.empty() && a[0] == '-') throw UsageError("panel: unknown option " + a);
        else if (given == 0) file = widePath(a), ++given;
        else if (given == 1) name = wide(a), ++given;
        else throw UsageError("panel: too many arguments: " + a);
    }
    if (given < 2 || name.empty()) throw UsageError("panel: which graph and module? (vento panel GRAPH INSTANCE)");

    const vento::PanelRun result = vento::runPanel(file, name, offline, strict);
    if (!quiet) printBlocksSent(result.sent, "blocks sent per module while the panel was open:");
    const std::string graph = narrow(file.wstring());
    switch (result.outcome) {
    case vento::PanelRun::Outcome::Saved: std::printf("saved %s\n", graph.c_str()); break;
    case vento::PanelRun::Outcome::Unchanged: std::printf("no change; %s left as it was\n", graph.c_str()); break;
    case vento::PanelRun::Outcome::Cancelled: std::printf("cancelled; %s left as it was\n", graph.c_str()); break;
    }
    return 0;
}

int save(const std::vector<std::string>& args)
{
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') throw UsageError("save: which graph? (vento save GRAPH)");
    const fs::path file = widePath(args[0]);
    vento::resaveGraph(file);
    std::printf("saved %s\n", narrow(file.wstring()).c_str());
    return 0;
}

int exportRecording(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "-q") continue;
        if (!a.empty() && a[0] == '-') throw UsageError("export: unknown option " + a);
        files.push_back(a);
    }
    if (files.size() != 2) throw UsageError("export: which recording and output? (vento export REC.vento OUT.wav|OUT.csv)");
    const fs::path output = widePath(files[1]);
    const vento::ExportSummary summary = vento::exportRecording(widePath(files[0]), output);
    if (std::find(args.begin(), args.end(), "-q") == args.end())
        std::printf("exported %lld records, %lld samples at %d per second to %s\n", static_cast<long long>(summary.records),
                    static_cast<long long>(summary.samples), static_cast<int>(summary.sampleRate), narrow(output.wstring()).c_str());
    return 0;
}

int dispatch(const std::vector<std::string>& all)
{
    if (all.empty() || all[0] == "--help" || all[0] == "-h" || all[0] == "help") {
        std::fputs(usage, all.empty() ? stderr : stdout);
        return all.empty() ? 2 : 0;
    }
    const std::string verb = all[0];
    std::vector<std::string> args(all.begin() + 1, all.end());
    auto help = verbHelp.find(verb);
    if (help == verbHelp.end()) throw UsageError("unknown verb '" + verb + "' (vento --help lists them)");
    for (const auto& a : args)
        if (a == "--help" || a == "-h") {
            std::fputs(help->second, stdout);
            return 0;
        }
    bool quiet = std::find(args.begin(), args.end(), "-q") != args.end();
    vento::ComApartment apartment; // registration creates the engine's registrar too
    if (verb == "register") return registerAll(quiet);
    if (verb == "unregister") return unregisterAll(quiet);
    if (verb == "list" && args.size() == 1 && args[0] == "--names") return listNames();
    if (!args.empty() && verb == "list") throw UsageError("list takes no arguments but --names");
    if (verb == "list") return list();
    if (verb == "inspect") return inspect(args);
    if (verb == "run") return run(runCommand(args));
    if (verb == "launch") return launch(args);
    if (verb == "dot") return dot(args);
    if (verb == "panel") return panel(args);
    if (verb == "export") return exportRecording(args);
    return save(args);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return dispatch(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vento: %s\n", e.what());
        return 2;
    } catch (const EngineError& e) {
        std::fprintf(stderr, "vento: %s\n", e.what());
        return 1;
    } catch (const modkit::ComError& e) {
        std::fprintf(stderr, "vento: failed with %s\n", narrow(modkit::hresultText(e.code())).c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vento: %s\n", e.what());
        return 1;
    }
}
