#pragma once
// Running a graph file: to an end (a stretch of graph time, or a number of blocks from every source),
// with taps on output pins and pictures of the windows at the end; or while one module's panel is
// open in the host's property frame.
//
//   vento::GraphRun run(L"demo.xml", {.offline = true, .blocks = 40});
//   run.run(report);              // report(progress) now and then, for a progress line
//   run.closeTaps();
//   run.saveSnapshots(saved);     // when options.snapshot names a folder
//   run.closeWindows();
//
// Settings a module saves by itself while the graph runs are written to the graph file at once.
// Without windows nobody is there to answer a module's message box: each one is printed on standard
// error as "vento: INSTANCE: TEXT" and answered OK, and the run goes on. Ctrl+C ends a run as its
// end would (the modules are stopped, so files being written are completed).
// Errors are thrown as EngineError, one line naming the place.
#include <windows.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include "host/graph/graph_build.h"
#include "host/run/message_boxes.h"
#include "host/run/process_stats.h"
#include "host/run/run_stats.h"
#include "host/engine/vento_engine.h"

namespace vento {

// Every block an output pin sends, into a file: little-endian 32-bit floats one after the other, or,
// when the file name ends in ".csv", one block a line as comma-separated numbers of nine significant
// digits (enough to bring every float back exactly).
class TapFile {
public:
    // Creates the file, or empties it. Throws EngineError.
    explicit TapFile(const std::filesystem::path& file);
    void write(std::span<const float> block);
    // Throws EngineError when anything written could not be kept.
    void close();
    const std::filesystem::path& file() const noexcept { return file_; }

private:
    std::filesystem::path file_;
    bool csv_;
    std::ofstream out_;
};

// The names of the pictures of a run's windows, in the order they are taken: the given name (the
// module that opened the window, else its caption) with every character but letters, digits, '-'
// and '.' made '_'; "window" before a name that is empty or starts with a point; and "_2", "_3" ...
// after a name taken already, letter case aside (the file system does not tell "Scope" from "scope").
class SnapshotNames {
public:
    std::wstring next(std::wstring_view name);

private:
    std::set<std::wstring> taken_; // lower case
};

struct TapRequest {
    std::wstring instance, pin;
    std::filesystem::path file;
};

// The last block an output pin sent, as a chart, written when the run ends: a CSV file whose first
// line is "frequency_hz,gain", then one line per value: its index times `binHertz`, and the value
// (nine significant digits).
void writeChart(const std::filesystem::path& file, std::span<const float> block, double binHertz);

struct RunOptions {
    bool offline = false;             // a virtual clock, as fast as the CPU allows (the same blocks)
    std::optional<double> seconds;    // stop after this much graph time, or else
    std::optional<long> blocks;       // once every counted source sent this many (100 if neither)
    // Filled in by the run: offline, neither seconds nor blocks given, and every source plays a file
    // (its settings name one): the run ends when the files have ended, once every source has sent
    // nothing for a second of graph time.
    bool untilFilesEnd = false;
    bool windows = false;             // open the display modules' windows
    bool strict = false;              // a setting a module refuses is an error, not a warning
    std::optional<std::filesystem::path> snapshot; // pictures of the windows go here (opens windows)
    std::vector<TapRequest> taps;
    std::vector<TapRequest> charts;   // the last block of each pin, as a chart (writeChart)
    double chartBinHertz = 1.0;       // hertz from one chart value to the next
    bool stats = false;               // time every Process and the paced sources' blocks (RunStats)
    // Headless message boxes go here (instance, text) instead of standard error.
    std::function<void(std::wstring_view instance, std::wstring_view text)> onMessage;
    bool consoleInterrupts = true;    // Ctrl+C ends the run (the studio ends itself instead)
};

// What the process held while a graph ran (process_stats.h): once the graph was loaded, after the
// first second of the run (if it lasted that long: the modules have settled by then), and at the end.
struct RunFigures {
    ProcessFigures atLoad;
    std::optional<ProcessFigures> afterFirstSecond;
    ProcessFigures atEnd;
};

struct RunProgress {
    double graphSeconds = 0;
    long blocks = 0; // the fewest any counted source has sent
};

// The blocks a module has sent: the most any of its outputs sent.
long blocksSent(const Instance& instance);

struct ModuleSends {
    std::wstring name;
    long blocks;
};
// Every instance in order of creation.
std::vector<ModuleSends> blocksSentPerModule(const Engine& engine);

class GraphRun {
public:
    // Loads the graph, opens the windows (or closes them), checks and opens the taps.
    GraphRun(const std::filesystem::path& graph, RunOptions options);
    // Builds a described graph that has no file (vento launch); `name` names it in messages. What
    // modules save while it runs is kept in the engine only.
    GraphRun(const Graph& graph, const std::wstring& name, RunOptions options);
    // Runs the graph an engine holds already (the studio's): windows, taps and settings stay the
    // engine owner's business. The engine must outlive the run.
    GraphRun(Engine& engine, RunOptions options);
    ~GraphRun();
    GraphRun(const GraphRun&) = delete;
    GraphRun& operator=(const GraphRun&) = delete;

    // The options in effect (blocks filled in when neither seconds nor blocks was given).
    const RunOptions& options() const noexcept { return options_; }
    Engine& engine() noexcept { return *engine_; }

    // Starts the graph, steps it until the end, stops it. A counted source that sends nothing for
    // 10 s of graph time stops the run with its name (it would keep it going for ever). Once a
    // second of wall time has passed, `report` hears the progress every `every`.
    void run(const std::function<void(const RunProgress&)>& report = {},
             std::chrono::milliseconds every = std::chrono::seconds(1));
    // The same in steps, for a caller that has other work between them: begin() starts the graph;
    // each advance() makes one pass (and in real time waits for the next block when nothing was
    // due) and answers whether the run goes on; finish() stops the graph. stop() makes the next
    // advance() end the run.
    void begin();
    bool advance();
    void finish();
    void stop() noexcept { stopRequested_ = true; }
    // Why the run ended, in a few words ("40 blocks", "2 s of graph time", "the files ended",
    // "stopped", "interrupted").
    std::string endReason() const;
    RunProgress progress() const;
    // Taken only with RunOptions::stats (walking the system's handle list is not free).
    const RunFigures& figures() const noexcept { return figures_; }
    // Ends the taps and writes the charts; throws when one could not be written in full, or when a
    // charted pin never sent a block.
    void closeTaps();
    // A PNG of every visible window of the thread into options().snapshot, named as SnapshotNames
    // says; `saved` hears each file once it is written.
    void saveSnapshots(const std::function<void(const std::filesystem::path&)>& saved = {});
    // CloseWindow on every module.
    void closeWindows();
    // What options().stats measured; null without it.
    const RunStats* stats() const noexcept { return stats_.get(); }

private:
    struct Tap {
        Instance* instance;
        std::wstring pin;
        TapFile file;
    };
    struct Chart {
        Instance* instance;
        std::wstring pin;
        std::filesystem::path file;
        std::vector<float> last; // the last block sent
        bool sent = false;
    };
    void setUp(bool endGiven);
    void openWindows();
    void openTaps();
    // The one send observer: taps, charts and statistics.
    void observeSends();
    bool done() const;
    // Notes which sources sent; throws for a counted source that stalled.
    void checkStalls();
    // Real time: notes each paced source's grid after a pass, and waits after one that sent nothing.
    void notePaces();
    void waitForNextBlock();
    // Answers and reports the modules' message boxes (headless runs).
    void reportMessageBox(std::wstring_view caption, std::wstring_view text) const;

    RunOptions options_;
    std::filesystem::path graphFile_;
    Graph graph_;
    std::vector<Tap> taps_; // not added to once the run is set up: the send observer walks them
    std::vector<Chart> charts_; // likewise
    std::vector<std::pair<HWND, std::wstring>> owners_; // the windows each module opened
    std::vector<Instance*> sources_;                    // the counted ones
    mutable std::set<const Instance*> toldByBox_;       // modules that showed a message box
    struct LastSend {
        long blocks;
        LONGLONG at;
    };
    std::vector<LastSend> lastSends_;
    struct Pace {
        long blocks = 0;
        LONGLONG interval = 0; // 0: the source states no rate
        LONGLONG due = 0;      // the last block's due time, as far as the sends show it
    };
    std::vector<Pace> paces_; // per counted source
    LONGLONG begin_ = 0, end_ = 0;
    RunFigures figures_;
    std::unique_ptr<RunStats> stats_;
    // A run in steps.
    std::optional<MessageBoxAnswerer> answerer_;
    std::chrono::steady_clock::time_point wallStart_, lastPump_;
    bool stopRequested_ = false;
    // Last, so that it goes first: its observers point into the members above.
    std::unique_ptr<Engine> owned_;
    Engine* engine_ = nullptr;
};

// `vento panel`: the module's control panel open in the host's property frame while the graph runs,
// until the frame closes. On OK after the module reported a change, the graph file is saved with
// every module's settings; otherwise it is left as it was.
struct PanelRun {
    enum class Outcome { Saved, Unchanged, Cancelled };
    Outcome outcome = Outcome::Cancelled;
    std::vector<ModuleSends> sent; // while the panel was open
};
// `strict`: a setting a module refuses is an error, not a warning (graph_build.h).
PanelRun runPanel(const std::filesystem::path& graph, std::wstring_view instance, bool offline, bool strict = false);

} // namespace vento
