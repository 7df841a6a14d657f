// The verbs of graphs: running them (from a file or from one line), their panels, saving them,
// drawing them, and turning a Recorder's recording into files for other programs.
#include <windows.h>
#include <io.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>
#include "host/graph/graph_dot.h"
#include "host/graph/launch.h"
#include "host/run/graph_run.h"
#include "host/vento/command_line.h"
#include "host/vento/recording_export.h"

namespace vento::command {

namespace {

// --stats: one row per module, after the run.
void printRunStats(const GraphRun& run)
{
    const RunStats* stats = run.stats();
    if (!stats) return;
    std::printf("stats per module (time per Process call in us; lateness of paced sources' blocks in ms):\n");
    std::printf("  %-12s %9s %10s %9s %9s | %9s %9s %9s %11s\n", "module", "blocks", "calls", "mean us", "p99 us",
                "late mean", "late p99", "late max", "within 1ms");
    for (const ModuleStats& m : stats->report()) {
        std::printf("  %-12s %9ld %10ld %9.2f %9.2f | ", narrow(m.name).c_str(), m.blocks, m.calls, m.meanUs, m.p99Us);
        if (m.lateness && m.lateness->blocks > 0)
            std::printf("%9.3f %9.3f %9.3f %10.1f%%\n", m.lateness->meanMs, m.lateness->p99Ms, m.lateness->maxMs,
                        100.0 * m.lateness->withinOneMs);
        else
            std::printf("%9s %9s %9s %11s\n", "-", "-", "-", "-");
    }
}

// The process figures of a run, a line each (printed with --stats even when quiet).
void printProcessFigures(const RunFigures& f)
{
    std::printf("process figures:\n");
    std::printf("  %-18s %s\n", "at load", figuresText(f.atLoad).c_str());
    if (f.afterFirstSecond) std::printf("  %-18s %s\n", "after 1 s", figuresText(*f.afterFirstSecond).c_str());
    std::printf("  %-18s %s\n", "at the end", figuresText(f.atEnd).c_str());
}

int runGraph(const RunCommand& c, const Graph* launched = nullptr)
{
    std::optional<GraphRun> graphRun;
    if (launched) graphRun.emplace(*launched, launchName, c.options);
    else graphRun.emplace(c.graph, c.options);
    GraphRun& run = *graphRun;
    const RunOptions& o = run.options();
    const bool tty = _isatty(_fileno(stderr));
    bool progressShown = false;
    // Redrawn in place on a terminal; plain lines, less often, into a file.
    auto progress = [&](const RunProgress& p, bool final) {
        char line[160];
        if (o.seconds) std::snprintf(line, sizeof line, "running: %.1f of %.1f s graph time", p.graphSeconds, *o.seconds);
        else if (o.untilFilesEnd) std::snprintf(line, sizeof line, "running: %ld blocks until the files end (%.1f s graph time)", p.blocks, p.graphSeconds);
        else std::snprintf(line, sizeof line, "running: %ld of %ld blocks (%.1f s graph time)", p.blocks, *o.blocks, p.graphSeconds);
        if (tty) std::fprintf(stderr, "\r%s%s", line, final ? "\n" : "");
        else if (!final) std::fprintf(stderr, "%s\n", line);
        progressShown = true;
    };
    if (c.quiet) run.run();
    else run.run([&](const RunProgress& p) { progress(p, false); },
                 tty ? std::chrono::milliseconds(200) : std::chrono::milliseconds(1000));
    if (progressShown && tty) progress(run.progress(), true);
    run.closeTaps();
    run.saveSnapshots([&](const fs::path& file) {
        if (!c.quiet) std::printf("snapshot %s\n", narrow(file.wstring()).c_str());
    });
    if (!c.quiet) {
        printBlocksSent(blocksSentPerModule(run.engine()), "blocks sent per module:");
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
    const Graph graph = readLaunch(wide(c.description), [](const std::wstring& file) { return hostPath(file).wstring(); });
    if (!c.save) return runGraph(c, &graph);
    {
        Engine engine;
        buildGraph(engine, graph, launchName);
        for (const auto& instance : engine.instances()) {
            instance->module->CloseWindow();
            engine.saveSettings(*instance);
        }
        // A new file: whatever was there before is not kept.
        writeGraphFile(describeGraph(engine, graph), *c.save);
    }
    if (!c.quiet) std::printf("saved %s\n", narrow(c.save->wstring()).c_str());
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
    const Graph graph = readGraphFile(*graphFile);
    const std::string text = graphDot(graph, graphFile->stem().wstring());
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

    const PanelRun result = runPanel(file, name, offline, strict);
    if (!quiet) printBlocksSent(result.sent, "blocks sent per module while the panel was open:");
    const std::string graph = narrow(file.wstring());
    switch (result.outcome) {
    case PanelRun::Outcome::Saved: std::printf("saved %s\n", graph.c_str()); break;
    case PanelRun::Outcome::Unchanged: std::printf("no change; %s left as it was\n", graph.c_str()); break;
    case PanelRun::Outcome::Cancelled: std::printf("cancelled; %s left as it was\n", graph.c_str()); break;
    }
    return 0;
}

int save(const std::vector<std::string>& args)
{
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-') throw UsageError("save: which graph? (vento save GRAPH)");
    const fs::path file = widePath(args[0]);
    resaveGraph(file);
    std::printf("saved %s\n", narrow(file.wstring()).c_str());
    return 0;
}

int convertRecording(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    for (const std::string& a : args) {
        if (a == "-q") continue;
        if (!a.empty() && a[0] == '-') throw UsageError("export: unknown option " + a);
        files.push_back(a);
    }
    if (files.size() != 2) throw UsageError("export: which recording and output? (vento export REC.vento OUT.wav|OUT.csv)");
    const fs::path output = widePath(files[1]);
    const ExportSummary summary = exportRecording(widePath(files[0]), output);
    if (std::find(args.begin(), args.end(), "-q") == args.end())
        std::printf("exported %lld records, %lld samples at %d per second to %s\n", static_cast<long long>(summary.records),
                    static_cast<long long>(summary.samples), static_cast<int>(summary.sampleRate), narrow(output.wstring()).c_str());
    return 0;
}

int run(const std::vector<std::string>& args) { return runGraph(runCommand(args)); }

} // namespace

const Verb runVerb{"run GRAPH", "run a graph file (real time unless --offline)", "usage: vento run GRAPH [--offline] [--seconds S | --blocks N] [--windows]\n"
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
            "stderr and answered OK; the run goes on.\n", run};
const Verb launchVerb{"launch DESCRIPTION", "run a graph written on one line: \"SignalW ! FFT ! GraphWindow\"",
                      "usage: vento launch DESCRIPTION... [run options] [--save FILE]\n"
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
               "                   settings, as 'vento save' writes one) instead of running it\n", launch};
const Verb panelVerb{"panel GRAPH INST", "open a module's control panel while the graph runs; OK saves GRAPH",
                     "usage: vento panel GRAPH INSTANCE [--offline] [--strict] [-q]\n"
              "Loads GRAPH, opens the control panel of its module INSTANCE in the host's property frame\n"
              "and runs the graph (real time unless --offline) until the frame closes. The display\n"
              "modules' windows stay open and keep drawing. On OK, GRAPH is written back with every\n"
              "module's settings if the module reported a change; Cancel or closing the frame leaves\n"
              "GRAPH as it was. The module's panel server must be registered (vento register).\n"
              "At the end it prints the blocks each module sent meanwhile (not with -q). A setting\n"
              "a module refuses is a warning, or with --strict an error.\n", panel};
const Verb saveVerb{"save GRAPH", "write the graph back with the modules' current settings", "usage: vento save GRAPH\n"
             "Loads GRAPH and writes it back with the settings every module saves now.\n", save};
const Verb exportVerb{"export REC OUT", "convert a Recorder's recording to a WAV or CSV file", "usage: vento export RECORDING.vento OUT.wav|OUT.csv\n"
               "Converts a Recorder's recording file. OUT.wav: a mono 16-bit PCM WAV file at the\n"
               "recording's sample rate, every sample scaled by 32366 and held at the 16-bit limits, as\n"
               "the WAV module records. OUT.csv: one record a line, its time offset in engine-clock\n"
               "ticks, then its samples. Prints the records and samples converted.\n",
                      convertRecording};
const Verb dotVerb{"dot GRAPH", "a picture of a graph file, as Graphviz DOT", "usage: vento dot GRAPH [-o FILE]\n"
            "Writes the graph file as Graphviz DOT: each module with its type and the settings and\n"
            "panel values the file gives it, each connection labelled with its pins. Into FILE ('-':\n"
            "standard output), else GRAPH's name with .dot in the current folder. Draw it with\n"
            "'dot -Tsvg FILE -o picture.svg' (./vento dot does that when Graphviz is installed).\n", dot};

} // namespace vento::command
