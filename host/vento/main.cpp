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
                          "  run GRAPH           run a graph file (real time unless --offline)\n"
                          "  panel GRAPH INST    open a module's control panel while the graph runs; OK saves GRAPH\n"
                          "  save GRAPH          write the graph back with the modules' current settings\n"
                          "  export REC OUT      convert a Recorder's recording to a WAV or CSV file\n"
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
    {"list", "usage: vento list\n"
             "Lists the catalogue, one module a line: name, description, input and output pins with\n"
             "their block sizes. Each module is created and initialized to read them.\n"},
    {"run", "usage: vento run GRAPH [--offline] [--seconds S | --blocks N] [--windows]\n"
            "                 [--tap INSTANCE.PIN=FILE]... [--chart INSTANCE.PIN=FILE]... [--bin-hz HZ]\n"
            "                 [--snapshot DIR] [--stats] [-q]\n"
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
            "  --stats          at the end, per module: blocks sent, Process calls, time per call (mean,\n"
            "                   99th percentile), and for paced sources how late their blocks were sent\n"
            "                   (mean, 99th percentile, max, share within 1 ms); see docs/run-stats.md\n"
            "  -q               no progress line and no summary (--stats still prints)\n"
            "Settings a module saves by itself while running are written to GRAPH at once.\n"
            "Without --windows, a module's message box is printed as 'vento: INSTANCE: TEXT' on\n"
            "stderr and answered OK; the run goes on.\n"},
    {"panel", "usage: vento panel GRAPH INSTANCE [--offline] [-q]\n"
              "Loads GRAPH, opens the control panel of its module INSTANCE in the host's property frame\n"
              "and runs the graph (real time unless --offline) until the frame closes. The display\n"
              "modules' windows stay open and keep drawing. On OK, GRAPH is written back with every\n"
              "module's settings if the module reported a change; Cancel or closing the frame leaves\n"
              "GRAPH as it was. The module's panel server must be registered (vento register).\n"
              "At the end it prints the blocks each module sent meanwhile (not with -q).\n"},
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

std::string argument(const std::vector<std::string>& args, size_t& i, const std::string& option)
{
    if (i + 1 >= args.size()) throw UsageError(option + " needs a value");
    return args[++i];
}

fs::path widePath(const std::string& text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n - 1 : 0), L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
    return fs::path(wide);
}

struct RunCommand {
    fs::path graph;
    bool quiet = false;
    vento::RunOptions options;
};

// INSTANCE.PIN=FILE as --tap and --chart take it.
vento::TapRequest pinToFile(const std::string& option, const std::string& v)
{
    size_t eq = v.find('='), dot = v.substr(0, eq).rfind('.');
    if (eq == std::string::npos || dot == std::string::npos || dot == 0 || eq == dot + 1 || eq + 1 == v.size())
        throw UsageError(option + ": write INSTANCE.PIN=FILE, not " + v);
    return {widePath(v.substr(0, dot)).wstring(), widePath(v.substr(dot + 1, eq - dot - 1)).wstring(),
            widePath(v.substr(eq + 1))};
}

RunCommand runCommand(const std::vector<std::string>& args)
{
    RunCommand c;
    vento::RunOptions& o = c.options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--offline") o.offline = true;
        else if (a == "--windows") o.windows = true;
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
        } else if (!a.empty() && a[0] == '-') {
            throw UsageError("run: unknown option " + a);
        } else if (c.graph.empty()) {
            c.graph = widePath(a);
        } else {
            throw UsageError("run: more than one graph: " + a);
        }
    }
    if (c.graph.empty()) throw UsageError("run: which graph? (vento run GRAPH)");
    if (o.seconds && o.blocks) throw UsageError("run: --seconds and --blocks exclude each other");
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

int run(const RunCommand& c)
{
    vento::GraphRun run(c.graph, c.options);
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
    run.closeWindows();
    return 0;
}

int panel(const std::vector<std::string>& args)
{
    fs::path file;
    std::wstring name;
    bool offline = false, quiet = false;
    size_t given = 0;
    for (const std::string& a : args) {
        if (a == "--offline") offline = true;
        else if (a == "-q") quiet = true;
        else if (!a.empty() && a[0] == '-') throw UsageError("panel: unknown option " + a);
        else if (given == 0) file = widePath(a), ++given;
        else if (given == 1) name = widePath(a).wstring(), ++given;
        else throw UsageError("panel: too many arguments: " + a);
    }
    if (given < 2 || name.empty()) throw UsageError("panel: which graph and module? (vento panel GRAPH INSTANCE)");

    const vento::PanelRun result = vento::runPanel(file, name, offline);
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
    if (!args.empty() && verb == "list") throw UsageError("list takes no arguments");
    if (verb == "list") return list();
    if (verb == "run") return run(runCommand(args));
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
