#pragma once
// The engine: module instances, their cores, the connections between their pins, and the clock.
//
// While an Engine lives it registers the ModuleCore class in its thread's apartment, so every module
// created on that thread gets a core that belongs to this engine. One Engine per thread at a time.
// The thread must be in a single-threaded apartment (see ComApartment).
#include <windows.h>
#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>
#include <wrl/client.h>
#include "engine.h"
#include "host/engine/clock.h"
#include "host/engine/module_core.h"
#include "host/engine/settings_store.h"

namespace vento {

// A graph that cannot run or be built as asked: the message names the place, in one line.
class EngineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Text in the console's code page, for messages (names are wide, messages are narrow).
std::string narrow(std::wstring_view text);

// One module object in the engine, with the core that lives inside it.
struct Instance {
    std::wstring name;
    Microsoft::WRL::ComPtr<IUnknown> object;
    Microsoft::WRL::ComPtr<IModule> module;
    ModuleCore* core = nullptr;
    // The instance's saved settings: what the module saved last (through the host object or
    // Engine::saveSettings), and what a graph file holds for it.
    Microsoft::WRL::ComPtr<SettingsStore> settings = modkit::make<SettingsStore>();
};

class Engine {
public:
    explicit Engine(std::unique_ptr<Clock> clock = std::make_unique<PerformanceClock>());
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    Clock& clock() noexcept { return *clock_; }
    const Clock& clock() const noexcept { return *clock_; }

    // Creates a module and adds it under `name` (empty: the module's type name and a number, "FFT1").
    // Errors are thrown as modkit::ComError.
    Instance& create(IClassFactory& factory, std::wstring_view name = {});
    Instance& create(REFCLSID clsid, std::wstring_view name = {});
    // Adds a module object made elsewhere; its core must belong to this engine.
    Instance& add(IUnknown* module, std::wstring_view name = {});
    // Drops the engine's references to the instance and forgets it. Returns the module's reference
    // count after that (0: the module is gone).
    ULONG remove(Instance& instance);
    Instance* find(std::wstring_view name) const noexcept;
    const std::vector<std::unique_ptr<Instance>>& instances() const noexcept { return instances_; }

    // Connects an output to an input. A single input takes one connection; a multi-input any number.
    void connect(Instance& from, std::wstring_view output, Instance& to, std::wstring_view input);
    // Takes that connection away again (a multi-input loses the connection's slot); false when there
    // is none.
    bool disconnect(Instance& from, std::wstring_view output, Instance& to, std::wstring_view input);
    // Gives the instance another name; E_INVALIDARG (as a ComError) when another instance has it.
    void rename(Instance& instance, std::wstring_view name);
    // Another clock, between runs (the modules' Start reads the time afresh).
    void setClock(std::unique_ptr<Clock> clock);

    // One step of one module: Process, unless an update scope holds it back (then S_FALSE and the
    // waiting blocks stay ready). After Process the blocks it was given count as consumed.
    HRESULT process(Instance& instance);
    // The instance whose Process runs now; null between calls. Other threads may read it while the
    // engine's thread waits inside a module (for a message box, say).
    const Instance* processing() const noexcept { return processing_.load(); }

    // Every instance once, each after all the instances feeding it (a stable order: otherwise the
    // order of creation). A cycle of connections throws EngineError naming its instances.
    std::vector<Instance*> order() const;
    // Start (or Stop) on every module, in dependency order. A failure throws EngineError.
    void start();
    void stop();
    // One pass: Process on every module in dependency order, so a block sent by a source reaches the
    // end of the graph in the same pass. Afterwards an offline clock advances by offlineInterval()
    // when the pass sent nothing (or after maxPassesAtOneTime passes at the same time): the modules
    // get the passes they would have in real time between two source blocks.
    // Returns the number of blocks sent during the pass. A failed Process throws EngineError.
    long step();
    // The shortest block interval, in clock ticks, of the outputs of the graph's sources (modules
    // with no connected input) that state their sample rate, computed as paced modules do it:
    // block size x frequency / samples per second. A millisecond when no source states one.
    LONGLONG offlineInterval() const;

    // The object GetHostObject answers: an ISettingsStore writing into the instance's settings and
    // reporting every write to the observer at once (vento saves the graph file there).
    Microsoft::WRL::ComPtr<IUnknown> hostObject(ModuleCore& core);
    using SettingsObserver = std::function<void(Instance&)>;
    void setSettingsObserver(SettingsObserver observer) { settingsObserver_ = std::move(observer); }
    // The module's SaveSettings into the instance's settings (replacing what was there).
    void saveSettings(Instance& instance);

    // The core living in the module behind `site`; null when it is not one of this engine's.
    ModuleCore* coreOf(IModuleSite* site) const noexcept;

    bool restorePlacement() const noexcept { return restorePlacement_; }
    void setRestorePlacement(bool restore) noexcept { restorePlacement_ = restore; }
    // The probe every site call of this engine's cores passes (site_probe.h); null, the default,
    // in production. The probe must outlive the engine's cores, or be taken away first.
    void setProbe(SiteProbe* probe) noexcept;
    SiteProbe* probe() const noexcept { return probe_; }

    // Told how long each Process took, in clock-frequency ticks of the performance counter (read
    // around the call whatever the engine's clock). Without one nothing is timed.
    using ProcessObserver = std::function<void(const Instance&, LONGLONG ticks)>;
    void setProcessObserver(ProcessObserver observer) { processObserver_ = std::move(observer); }

    // Called after every SendOutput of any module, once the block has been delivered.
    using SendObserver = std::function<void(const ModuleCore&, std::wstring_view pin, const OutputPin&)>;
    void setSendObserver(SendObserver observer) { sendObserver_ = std::move(observer); }

private:
    // The schedule and the sources (modules fed by nothing), kept until the graph changes, so that a
    // pass allocates nothing.
    const std::vector<Instance*>& schedule() const;
    void graphChanged() noexcept { scheduleValid_ = false; }
    mutable std::vector<Instance*> schedule_;
    mutable std::vector<Instance*> sources_;
    mutable bool scheduleValid_ = false;

    friend class ModuleCore;
    void adopt(ModuleCore* core);
    void forget(ModuleCore* core) noexcept;
    void sent(const ModuleCore& core, std::wstring_view pin, const OutputPin& output);
    std::wstring defaultName(const ModuleCore& core) const;

    class CoreFactory;
    class HostObject;
    Instance* instanceOf(const ModuleCore& core) const noexcept;
    void settingsWritten(const ModuleCore& core);

    std::unique_ptr<Clock> clock_;
    OfflineClock* offlineClock_ = nullptr; // clock_, when it is the offline clock
    // Each source output's rate, read again only when its document's text changed.
    struct StatedRate {
        const OutputPin* pin;
        std::wstring props;
        long rate;
    };
    mutable std::vector<StatedRate> rates_;
    std::vector<ModuleCore*> cores_;
    std::vector<std::unique_ptr<Instance>> instances_;
    Microsoft::WRL::ComPtr<CoreFactory> factory_;
    DWORD registration_ = 0;
    bool restorePlacement_ = false;
    SiteProbe* probe_ = nullptr;
    SendObserver sendObserver_;
    ProcessObserver processObserver_;
    SettingsObserver settingsObserver_;
    long sendsThisPass_ = 0;
    static constexpr long maxPassesAtOneTime = 1024;
    long passesAtThisTime_ = 0;
    std::atomic<const Instance*> processing_{nullptr};
    // Cleared when the engine goes: host objects that modules still hold then only store.
    std::shared_ptr<Engine*> self_ = std::make_shared<Engine*>(this);
};

} // namespace vento
