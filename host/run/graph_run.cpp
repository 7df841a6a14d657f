#include "host/run/graph_run.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cwctype>
#include "com/error.h"
#include "com/handle.h"
#include "host/panel/property_frame.h"
#include "host/run/message_boxes.h"
#include "host/graph/module_description.h"
#include "host/panel/panel_replay.h"
#include "host/run/window_picture.h"

namespace vento {

namespace {

std::unique_ptr<Clock> clockFor(bool offline)
{
    if (offline) return std::make_unique<OfflineClock>();
    return std::make_unique<PerformanceClock>();
}

// Set by Ctrl+C (or the console closing) while a run is going on.
std::atomic<bool> interrupted{false};

BOOL WINAPI interruptRun(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    interrupted = true;
    return TRUE;
}


// Why a source that plays a file played nothing: its file cannot be opened (the WAV module, unlike
// the Recorder and the BMP module, shows no message for that), or it can and gave no block.
std::string playProblem(const Instance& source)
{
    if (auto problem = fileProblem(source)) return "played nothing: " + *problem;
    const auto file = source.settings->stringValue(playedFileSetting(source.core->moduleName()).value_or(L""));
    return "played nothing from '" + narrow(file.value_or(L"")) + "' (not a file it can play?)";
}

void pumpMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::wstring lowerCase(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return wchar_t(std::towlower(c)); });
    return text;
}

} // namespace

TapFile::TapFile(const std::filesystem::path& file)
    : file_(file), csv_(file.extension() == L".csv"), out_(file, std::ios::binary | std::ios::trunc)
{
    if (!out_) throw EngineError("--tap: cannot write " + narrow(file_.wstring()));
}

void TapFile::write(std::span<const float> block)
{
    if (!csv_) {
        out_.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size() * sizeof(float)));
        return;
    }
    for (size_t i = 0; i < block.size(); ++i) {
        char number[32];
        std::snprintf(number, sizeof number, "%s%.9g", i ? "," : "", double(block[i]));
        out_ << number;
    }
    out_ << '\n';
}

void TapFile::close()
{
    out_.close();
    if (!out_) throw EngineError("--tap: writing " + narrow(file_.wstring()) + " failed");
}

void writeChart(const std::filesystem::path& file, std::span<const float> block, double binHertz)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) throw EngineError("--chart: cannot write " + narrow(file.wstring()));
    out << "frequency_hz,gain\n";
    for (size_t i = 0; i < block.size(); ++i) {
        char row[64];
        std::snprintf(row, sizeof row, "%.9g,%.9g\n", double(i) * binHertz, double(block[i]));
        out << row;
    }
    out.close();
    if (!out) throw EngineError("--chart: writing " + narrow(file.wstring()) + " failed");
}

std::wstring SnapshotNames::next(std::wstring_view given)
{
    std::wstring name(given);
    for (wchar_t& c : name)
        if (!std::iswalnum(c) && c != L'-' && c != L'.') c = L'_';
    if (name.empty() || name.front() == L'.') name = L"window" + name;
    std::wstring chosen = name;
    for (int n = 1; !taken_.insert(lowerCase(chosen)).second;) chosen = name + L"_" + std::to_wstring(++n);
    return chosen;
}

long blocksSent(const Instance& instance)
{
    long n = 0;
    for (const auto& [name, out] : instance.core->outputs()) n = std::max(n, out.sends());
    return n;
}

std::vector<ModuleSends> blocksSentPerModule(const Engine& engine)
{
    std::vector<ModuleSends> sent;
    for (const auto& instance : engine.instances()) sent.push_back({instance->name, blocksSent(*instance)});
    return sent;
}

GraphRun::GraphRun(const std::filesystem::path& graph, RunOptions options)
    : options_(std::move(options)), graphFile_(graph), owned_(std::make_unique<Engine>(clockFor(options_.offline))), engine_(owned_.get())
{
    const bool endGiven = options_.seconds || options_.blocks;
    graph_ = loadGraph(*engine_, graphFile_, {.strict = options_.strict, .warn = {}});
    engine_->setSettingsObserver([this](Instance&) { writeGraph(*engine_, graph_, graphFile_); });
    setUp(endGiven);
}

GraphRun::GraphRun(const Graph& graph, const std::wstring& name, RunOptions options)
    : options_(std::move(options)), graph_(graph), owned_(std::make_unique<Engine>(clockFor(options_.offline))), engine_(owned_.get())
{
    const bool endGiven = options_.seconds || options_.blocks;
    buildGraph(*engine_, graph_, name, {.strict = options_.strict, .warn = {}});
    setUp(endGiven);
}

GraphRun::GraphRun(Engine& engine, RunOptions options) : options_(std::move(options)), engine_(&engine)
{
    engine_->setClock(clockFor(options_.offline));
    options_.windows = true; // whatever windows the owner keeps open stay so
    setUp(options_.seconds || options_.blocks);
}

GraphRun::~GraphRun()
{
    if (owned_) return;
    // The observers point into this run; the engine goes on without them.
    engine_->setSendObserver({});
    engine_->setProcessObserver({});
}

void GraphRun::setUp(bool endGiven)
{
    if (!endGiven) options_.blocks = 100;
    if (owned_) openWindows();
    openTaps();
    if (options_.stats) {
        stats_ = std::make_unique<RunStats>(*engine_);
        engine_->setProcessObserver([this](const Instance& instance, LONGLONG ticks) { stats_->processed(instance, ticks); });
    }
    observeSends();
    for (const auto& instance : engine_->instances())
        if (instance->core->sources().empty() && !instance->core->outputs().empty()) sources_.push_back(instance.get());
    if (!options_.seconds && sources_.empty()) throw EngineError("the graph has no source module to count blocks of");
    options_.untilFilesEnd = options_.offline && !endGiven &&
                             std::all_of(sources_.begin(), sources_.end(), [](const Instance* s) { return playsFile(*s); });
    if (options_.stats) figures_.atLoad = processFigures();
}

void GraphRun::openWindows()
{
    const bool windows = options_.windows || options_.snapshot;
    for (const auto& instance : engine_->instances()) {
        if (!windows) {
            instance->module->CloseWindow();
            continue;
        }
        // A window the module opened while its settings were loaded (its saved place) opens afresh
        // here, so that its picture is known by the module's name.
        instance->module->CloseWindow();
        const std::vector<HWND> before = threadWindows();
        instance->module->OpenWindow();
        for (HWND window : threadWindows())
            if (std::find(before.begin(), before.end(), window) == before.end()) owners_.emplace_back(window, instance->name);
    }
}

void GraphRun::openTaps()
{
    for (const TapRequest& request : options_.taps) {
        Instance* instance = engine_->find(request.instance);
        if (!instance) throw EngineError("--tap: the graph has no module '" + narrow(request.instance) + "'");
        if (!instance->core->findOutput(request.pin))
            throw EngineError("--tap: '" + narrow(request.instance) + "' has no output pin '" + narrow(request.pin) + "'");
        taps_.push_back({instance, request.pin, TapFile(request.file)});
    }
    for (const TapRequest& request : options_.charts) {
        Instance* instance = engine_->find(request.instance);
        if (!instance) throw EngineError("--chart: the graph has no module '" + narrow(request.instance) + "'");
        if (!instance->core->findOutput(request.pin))
            throw EngineError("--chart: '" + narrow(request.instance) + "' has no output pin '" + narrow(request.pin) + "'");
        charts_.push_back({instance, request.pin, request.file, {}, false});
    }
}

void GraphRun::observeSends()
{
    if (taps_.empty() && charts_.empty() && !stats_) return;
    engine_->setSendObserver([this](const ModuleCore& core, std::wstring_view pin, const OutputPin& out) {
        if (stats_) stats_->sent(core, out, engine_->clock().now());
        for (Tap& tap : taps_)
            if (tap.instance->core == &core && tap.pin == pin) tap.file.write(out.data());
        for (Chart& chart : charts_)
            if (chart.instance->core == &core && chart.pin == pin) {
                chart.last.assign(out.data().begin(), out.data().end());
                chart.sent = true;
            }
    });
}

bool GraphRun::done() const
{
    if (interrupted) return true;
    if (options_.seconds) return engine_->clock().now() >= end_;
    if (options_.untilFilesEnd) {
        const LONGLONG now = engine_->clock().now(), quiet = engine_->clock().frequency();
        return std::all_of(lastSends_.begin(), lastSends_.end(), [&](const LastSend& s) { return now - s.at > quiet; });
    }
    for (const Instance* s : sources_)
        if (blocksSent(*s) < *options_.blocks) return false;
    return true;
}

RunProgress GraphRun::progress() const
{
    RunProgress p;
    p.graphSeconds = double(engine_->clock().now() - begin_) / double(engine_->clock().frequency());
    for (size_t i = 0; i < sources_.size(); ++i) p.blocks = i ? std::min(p.blocks, blocksSent(*sources_[i])) : blocksSent(*sources_[i]);
    return p;
}

void GraphRun::checkStalls()
{
    const LONGLONG now = engine_->clock().now(), stall = 10 * engine_->clock().frequency();
    for (size_t i = 0; i < sources_.size(); ++i) {
        const long n = blocksSent(*sources_[i]);
        if (n != lastSends_[i].blocks) lastSends_[i] = {n, now};
        else if (!options_.untilFilesEnd && n < *options_.blocks && now - lastSends_[i].at > stall)
            throw EngineError("'" + narrow(sources_[i]->name) + "' sent no block for 10 s of graph time (" +
                              (n == 0 && playsFile(*sources_[i]) ? playProblem(*sources_[i]) : "is its input connected?") + ")");
    }
}

void GraphRun::reportMessageBox(std::wstring_view caption, std::wstring_view text) const
{
    // The engine's thread waits inside the module's Process until the box is answered.
    const Instance* from = engine_->processing();
    if (from) toldByBox_.insert(from);
    if (options_.onMessage) {
        options_.onMessage(from ? std::wstring_view(from->name) : caption, text);
        return;
    }
    const std::string who = narrow(from ? std::wstring_view(from->name) : caption);
    std::fprintf(stderr, "vento: %s: %s\n", who.c_str(), narrow(text).c_str());
    std::fflush(stderr);
}

namespace {
// The interval of the first output that states its rate; 0 when none does.
LONGLONG blockInterval(const Instance& source, LONGLONG frequency)
{
    for (const auto& [name, out] : source.core->outputs())
        if (const long rate = samplesPerSecond(out.props()); rate > 0 && out.size() > 0)
            return LONGLONG(out.size()) * frequency / rate;
    return 0;
}
} // namespace

void GraphRun::notePaces()
{
    const LONGLONG now = engine_->clock().now(), frequency = engine_->clock().frequency();
    for (size_t i = 0; i < sources_.size(); ++i) {
        Pace& pace = paces_[i];
        const long n = blocksSent(*sources_[i]);
        if (n == pace.blocks) continue;
        const LONGLONG interval = blockInterval(*sources_[i], frequency);
        // Sources keep a grid of whole intervals and send a little after each point of it: the
        // earliest a block is seen sets the grid.
        pace.due = pace.interval == interval && pace.blocks > 0 ? std::min(pace.due + LONGLONG(n - pace.blocks) * interval, now) : now;
        pace.interval = interval;
        pace.blocks = n;
    }
}

// A pass that sent nothing. Sleep(1) lasts over a millisecond under Wine, often several on a busy
// machine (a probe of 2000 calls while others compiled: median 3.5 ms, 57% over 2 ms), which makes
// blocks late. So the run sleeps only while every paced source's next block is more than 2.5 ms
// away, and nearer than that yields (SwitchToThread: about 2 us when nobody else waits) and passes
// again.
void GraphRun::waitForNextBlock()
{
    const LONGLONG now = engine_->clock().now(), soon = engine_->clock().frequency() * 5 / 2000;
    LONGLONG next = LLONG_MAX;
    for (const Pace& pace : paces_)
        if (pace.interval > 0 && pace.blocks > 0) next = std::min(next, pace.due + pace.interval);
    if (next != LLONG_MAX && next - now <= soon) SwitchToThread();
    else Sleep(1);
}

void GraphRun::begin()
{
    if (!options_.windows)
        answerer_.emplace(GetCurrentThreadId(), IDOK, [this](const MessageBoxSeen& box) { reportMessageBox(box.caption, box.text); });
    interrupted = false;
    stopRequested_ = false;
    if (options_.consoleInterrupts) SetConsoleCtrlHandler(interruptRun, TRUE);
    engine_->start();
    begin_ = engine_->clock().now();
    if (options_.seconds) end_ = begin_ + LONGLONG(*options_.seconds * double(engine_->clock().frequency()));
    lastSends_.assign(sources_.size(), {0, begin_});
    paces_.assign(sources_.size(), {});
    wallStart_ = lastPump_ = std::chrono::steady_clock::now();
}

bool GraphRun::advance()
{
    if (stopRequested_ || done()) return false;
    // Offline, windows are served every few milliseconds rather than after every pass: under Wine
    // each look at the queue is a round trip to the server, many times a whole pass of the demo.
    constexpr auto pumpEvery = std::chrono::milliseconds(5);
    const long sent = engine_->step();
    if (!options_.seconds) checkStalls();
    const auto now = std::chrono::steady_clock::now();
    if (!options_.offline || now - lastPump_ >= pumpEvery) {
        pumpMessages();
        lastPump_ = now;
    }
    if (!options_.offline) {
        notePaces();
        if (sent == 0) waitForNextBlock(); // nothing was due yet
    }
    if (options_.stats && !figures_.afterFirstSecond && now - wallStart_ > std::chrono::seconds(1)) figures_.afterFirstSecond = processFigures();
    return true;
}

void GraphRun::finish()
{
    const auto restoreCtrl = modkit::scopeExit([this] {
        if (options_.consoleInterrupts) SetConsoleCtrlHandler(interruptRun, FALSE);
    });
    engine_->stop();
    answerer_.reset(); // its thread is the run's, not the graph's
    if (options_.stats) figures_.atEnd = processFigures();
    // A file that never played is said once, unless the module said so in a message box itself.
    for (const Instance* source : sources_)
        if (playsFile(*source) && blocksSent(*source) == 0 && !toldByBox_.count(source)) {
            const std::string text = narrow(source->name) + ": " + playProblem(*source);
            if (options_.onMessage) options_.onMessage(source->name, std::wstring(text.begin(), text.end()));
            else std::fprintf(stderr, "vento: warning: %s\n", text.c_str());
        }
}

void GraphRun::run(const std::function<void(const RunProgress&)>& report, std::chrono::milliseconds every)
{
    begin();
    auto lastReport = wallStart_;
    while (advance()) {
        const auto now = std::chrono::steady_clock::now();
        if (report && now - wallStart_ > std::chrono::seconds(1) && now - lastReport > every) {
            report(progress());
            lastReport = now;
        }
    }
    finish();
}

std::string GraphRun::endReason() const
{
    if (interrupted) return "interrupted";
    if (stopRequested_) return "stopped";
    if (options_.untilFilesEnd) return "the files ended";
    if (options_.seconds) {
        char text[48];
        std::snprintf(text, sizeof text, "%g s of graph time", *options_.seconds);
        return text;
    }
    return std::to_string(*options_.blocks) + " blocks";
}

void GraphRun::closeTaps()
{
    for (Tap& tap : taps_) tap.file.close();
    for (const Chart& chart : charts_) {
        if (!chart.sent)
            throw EngineError("--chart: '" + narrow(chart.instance->name) + "." + narrow(chart.pin) + "' sent no block");
        writeChart(chart.file, chart.last, options_.chartBinHertz);
    }
}

void GraphRun::saveSnapshots(const std::function<void(const std::filesystem::path&)>& saved)
{
    if (!options_.snapshot) return;
    const std::filesystem::path& folder = *options_.snapshot;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw EngineError("--snapshot: cannot make " + narrow(folder.wstring()));
    pumpMessages();
    SnapshotNames names;
    for (HWND window : threadWindows()) {
        std::wstring name;
        for (const auto& [w, owner] : owners_)
            if (w == window) name = owner;
        if (name.empty()) {
            wchar_t caption[128] = {};
            GetWindowTextW(window, caption, 128);
            name = caption;
        }
        const std::filesystem::path file = folder / (names.next(name) + L".png");
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
        savePng(captureWindow(window, true), file);
        if (saved) saved(file);
    }
}

void GraphRun::closeWindows()
{
    for (const auto& instance : engine_->instances()) instance->module->CloseWindow();
}

PanelRun runPanel(const std::filesystem::path& file, std::wstring_view name, bool offline, bool strict)
{
    Engine engine(clockFor(offline));
    Graph graph = loadGraph(engine, file, {.strict = strict, .warn = {}});
    // No settings observer: what a module saves by itself while its panel is open must not reach
    // the file when the panel is cancelled.
    Instance* instance = engine.find(name);
    if (!instance) throw EngineError("the graph has no module '" + narrow(name) + "'");

    // The panel as the file left it, to tell what the person changes in it.
    const std::vector<PanelControlInfo> opened = readPanel(*instance).controls;
    PropertyFrame frame;
    try {
        frame.open(*instance);
    } catch (const modkit::ComError& e) {
        const std::string who = "'" + narrow(name) + "'";
        if (e.code() == E_NOINTERFACE) throw EngineError(who + " has no control panel");
        if (e.code() == REGDB_E_CLASSNOTREG)
            throw EngineError(who + ": its panel's server is not registered (run 'vento register')");
        throw EngineError(who + ": its panel cannot be opened (" + narrow(modkit::hresultText(e.code())) + ")");
    }
    engine.start();
    frame.runModal([&] { return engine.step() > 0; });
    engine.stop();

    PanelRun result;
    if (frame.result() == PropertyFrame::Result::OK) result.outcome = frame.changed() ? PanelRun::Outcome::Saved : PanelRun::Outcome::Unchanged;
    if (result.outcome == PanelRun::Outcome::Saved) {
        // The panel keeps some values in no setting (the Filter's band): the file gets them as the
        // panel shows them now. Settings first, while the windows are still open.
        auto m = std::find_if(graph.modules.begin(), graph.modules.end(), [&](const GraphModule& g) { return g.name == name; });
        if (m != graph.modules.end()) m->panel = panelAsItStands(m->panel, opened, readPanel(*instance).controls);
        saveGraph(engine, graph, file);
    }
    for (const auto& i : engine.instances()) i->module->CloseWindow();
    result.sent = blocksSentPerModule(engine);
    return result;
}

} // namespace vento
