#pragma once
// The studio: one graph kept live in an engine, edited, run and watched through the API that
// http_server.h serves (docs/studio-api.md). Everything here runs on the engine's thread, the one
// apartment thread where the modules live; the server hands each request over (handle) and the
// thread does the graph's work between requests (work).
//
// The studio's own record of the graph (what a graph file would hold, each module's place on the
// canvas and the state its panel shows) is the truth for editing: every edit changes the engine
// and the record together, and each edit's record before it is kept, so that undo and redo bring
// the engine to an earlier record the same way (the modules and connections the two differ in,
// the settings loaded again, the panels' controls set again).
#include <windows.h>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "host/graph/graph_file.h"
#include "host/graph/module_description.h"
#include "host/run/graph_run.h"
#include "host/run/message_boxes.h"
#include "host/run/window_picture.h"
#include "host/studio/studio_requests.h"

namespace vento::studio {

struct Response {
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // A window's picture, made into the PNG body by the server's thread: encoding is not the
    // engine thread's time.
    std::shared_ptr<const WindowPicture> picture;
};

// Where the studio's events go (Server-Sent Events to every listening client). May be called from
// any thread.
class EventSink {
public:
    virtual void publish(const std::string& event, const std::string& data) = 0;

protected:
    ~EventSink() = default;
};

// One module as the studio keeps it.
struct StudioModule {
    GraphModule graph;                       // name, type, settings it holds, panel values, place
    std::vector<PanelControlInfo> panel;     // the state its panel shows
    std::vector<std::string> refusals;       // settings it refused, as warnings
    bool operator==(const StudioModule& other) const;
};

struct Record {
    std::vector<StudioModule> modules; // in order of creation
    std::vector<GraphConnection> connections;
    bool operator==(const Record&) const = default;
};

class Studio {
public:
    // Loads `file` when given (a file that is not there yet is where a save goes).
    Studio(EventSink& events, std::optional<std::filesystem::path> file);
    ~Studio();
    Studio(const Studio&) = delete;
    Studio& operator=(const Studio&) = delete;

    // One request that passed the access checks.
    Response handle(const HttpRequest& request);
    // The graph's work between requests: a running graph's passes, statistics, window pictures.
    // Answers how long the thread may wait for the next request, in milliseconds.
    DWORD work();

    long long revision() const noexcept { return revision_; }
    // The current record, every panel's state read.
    const Record& record()
    {
        readPanels();
        return now_;
    }
    Engine& engine() noexcept { return engine_; }
    // The edits as the API makes them, for tests: the answer's status and body.
    Response edit(const std::vector<Op>& ops);
    Response undo();
    Response redo();

private:
    struct Refused : std::runtime_error { // an operation the engine refuses: 422
        using std::runtime_error::runtime_error;
    };
    struct Window {
        HWND hwnd = nullptr;
        std::shared_ptr<const WindowPicture> last;
        long generation = 0;
        std::chrono::steady_clock::time_point taken{};
    };

    // --- the API ---
    Response graph(std::vector<std::string> warnings = {});
    Response ops(const std::string& body);
    Response run(const std::string& body);
    Response stop();
    Response panel(const std::wstring& instance, const HttpRequest& request);
    Response save(const std::string& body);
    Response open(const std::string& body);
    Response windowPicture(const std::wstring& instance);
    Response help(const std::wstring& type);
    // The editor's page and its assets, as the build put them beside vento.exe.
    Response editorFile(const std::string& path);

    // --- edits ---
    void apply(const Op& op, std::vector<std::string>& warnings);
    void add(const AddOp& op);
    void remove(const std::wstring& name);
    void rename(const RenameOp& op);
    void connect(const ConnectOp& op);
    void disconnect(const DisconnectOp& op);
    void set(const SetOp& op, std::vector<std::string>& warnings);
    void control(const std::wstring& module, const std::optional<int>& id, const std::wstring& label, const Value& value);
    // Brings the engine from the record `now_` to `target`.
    void reach(const Record& target);
    Response committed(const Record& before, std::vector<std::string> warnings);
    // Undo and redo: to the record last put on `from`, the one left going onto `to`.
    Response travel(std::vector<Record>& from, std::vector<Record>& to, const char* nothing);

    // --- modules ---
    Instance& instance(const std::wstring& name);
    StudioModule& module(const std::wstring& name);
    Instance& create(const GraphModule& m);
    void loadSettings(Instance& instance, const std::vector<GraphSetting>& settings, StudioModule* judged,
                      std::vector<std::string>* warnings);
    // What the module holds now: its settings and (unless told not to) its panel's state.
    void refresh(StudioModule& m, bool readingPanel = true);
    // A loaded graph's panels are read after its answer: one at a time while the studio is idle,
    // one when a client asks for it, all of them before any change, so that no record of the
    // history lacks a panel's state.
    void readPanel(const std::wstring& name);
    void readPanels();
    OpenPanel* openPanel(const std::wstring& name);
    void closePanel(const std::wstring& name) { panels_.erase(name); }
    void setPanelState(const std::wstring& name, const std::vector<PanelControlInfo>& state);
    void openWindow(Instance& instance);
    bool wiringRefused() const { return run_ != nullptr; }
    std::vector<std::string> problems();
    void clear();
    void load(const std::filesystem::path& file);

    // --- runs and pictures ---
    void endRun();
    void publishStats();
    void takePictures();
    void publishGraph();

    EventSink& events_;
    Engine engine_;
    std::vector<CatalogueEntry> catalogue_;
    std::string catalogueJson_;
    std::map<std::wstring, ModuleDescription> descriptions_; // by type
    Record now_;
    std::vector<Record> undo_, redo_;
    long long revision_ = 0;
    std::optional<std::filesystem::path> file_;
    bool dirty_ = false;
    std::map<std::wstring, std::unique_ptr<OpenPanel>> panels_; // real panels, kept open once asked for
    std::vector<std::wstring> unread_;                           // panels not read since the graph loaded
    std::map<std::wstring, Window> windows_;
    std::unique_ptr<GraphRun> run_;
    std::string runState_ = "stopped", runReason_;
    std::chrono::steady_clock::time_point lastStats_{}, lastPictures_{};
    MessageBoxAnswerer answerer_; // modules' message boxes become events, answered OK
};

// UTF-16 and UTF-8, for what crosses the API.
std::string utf8(std::wstring_view text);
std::wstring fromUtf8(std::string_view text);

} // namespace vento::studio
