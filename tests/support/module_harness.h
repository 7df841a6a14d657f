#pragma once
// ModuleHarness: one module from a built server DLL, inside an engine with a manual clock, with the
// engine's pins around it. A test feeds blocks to the module's inputs, steps Process and looks at
// what came out, what the module asked of the engine, and what happens when an engine call fails.
//
//   ModuleHarness h(L"fwdtransform.dll", CLSID_FFTModule);
//   ASSERT_EQ(S_OK, h.initialize());
//   h.feed(L"Default", samples, L"<PROPS><Type>Audio</Type></PROPS>");
//   ASSERT_EQ(S_OK, h.process());
//   EXPECT_EQ(1, h.sendCount(L"Default"));
//   EXPECT_EQ(130u, h.lastSent(L"Default").data.size());
//
// The module is created but not initialized, so faults can be injected before Initialize. When the
// harness goes away it releases the module and adds a test failure if the module's last Release did
// not reach 0 or the server then refuses DllCanUnloadNow (leaked objects or locks). Pin helpers
// throw std::logic_error for pins the module never declared, which fails the test with the name.
//
// The harness owns the thread's COM apartment and the thread's Engine while it lives.
#include <windows.h>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>
#include "host/engine/apartment.h"
#include "host/engine/call_probe.h"
#include "host/engine/server_library.h"
#include "host/engine/settings_store.h"
#include "host/engine/vento_engine.h"

namespace vento {
// Call names in test failure messages.
std::ostream& operator<<(std::ostream& os, SiteCall call);
} // namespace vento

namespace vento::test {

// A copy of a block as SendOutput passed it on.
struct SentBlock {
    std::vector<float> data;
    std::wstring props;
};

class ModuleHarness {
public:
    // `dllName` without a folder is looked for beside the test program (vento_add_module_test puts
    // the module DLLs there).
    ModuleHarness(const wchar_t* dllName, REFCLSID moduleClsid);
    ~ModuleHarness();
    ModuleHarness(const ModuleHarness&) = delete;
    ModuleHarness& operator=(const ModuleHarness&) = delete;

    IModule* module() const noexcept { return instance_->module.Get(); }
    IUnknown* unknown() const noexcept { return instance_->object.Get(); }
    ModuleCore& core() const noexcept { return *instance_->core; }
    IModuleSite* site() const noexcept { return instance_->core->site(); }
    Instance& instance() const noexcept { return *instance_; }
    Engine& engine() noexcept { return engine_; }
    ManualClock& clock() noexcept { return static_cast<ManualClock&>(engine_.clock()); }

    HRESULT initialize() { return module()->Initialize(); }
    // Another module, from another (or the same) server, in the same engine: for chains. The engine
    // releases it with the harness.
    Instance& addModule(const wchar_t* dllName, REFCLSID moduleClsid, std::wstring_view name = {});
    // addModule, initialised, its "Default" output connected to the module's `input`.
    Instance& addSource(const wchar_t* dllName, REFCLSID moduleClsid, std::wstring_view name,
                        const wchar_t* input = L"Default");
    // IModule::Process through the engine: held back inside an update scope (S_FALSE), and the
    // inputs read as consumed afterwards.
    HRESULT process() { return engine_.process(*instance_); }
    // One block fed to a pin and processed: what the module sent on the same pin (a failed Process
    // or nothing sent fails the test).
    std::vector<float> processed(std::wstring_view pin, const std::vector<float>& data);

    // --- inputs: each call delivers one block as a connected output would, and makes it ready ---
    void feed(std::wstring_view pin, const std::vector<float>& data, std::optional<std::wstring> props = std::nullopt);
    // A record whose status is not 0 but whose data is valid (the module must ignore it).
    void feedWithStatus(std::wstring_view pin, long status, const std::vector<float>& data,
                        std::optional<std::wstring> props = std::nullopt);
    // Ready, and GetInputBlock answers S_OK with a null record.
    void feedNullRecord(std::wstring_view pin);
    // Ready, with a valid record of no floats.
    void feedEmpty(std::wstring_view pin);
    // Multi-inputs: adds a connection that the test feeds; returns its index.
    int connect(std::wstring_view multiInput);
    void feedAt(std::wstring_view pin, int index, const std::vector<float>& data,
                std::optional<std::wstring> props = std::nullopt);
    // Any connection of any input, for the rarer deliveries (InputSlot::receive, receiveNullRecord).
    InputSlot& inputSlot(std::wstring_view pin, int index = 0);

    // --- outputs ---
    const OutputPin& output(std::wstring_view pin) const;
    long outputSize(std::wstring_view pin) const { return output(pin).size(); }
    std::vector<float> outputData(std::wstring_view pin) const;
    std::wstring outputProps(std::wstring_view pin) const;
    long sendCount(std::wstring_view pin) const { return output(pin).sends(); }
    // Data and document at the last SendOutput; throws if the pin never sent.
    const SentBlock& lastSent(std::wstring_view pin) const;
    // Whether the module wrote into the storage an output had before it was resized.
    bool wroteRetiredOutput(std::wstring_view pin) const { return output(pin).retiredBufferWritten(); }

    // --- faults and the call log (the engine's probe: every core of the engine is watched) ---
    void failCall(SiteCall which, HRESULT hr, int skip = 0, FaultRepeat repeat = FaultRepeat::Once)
    {
        probe_.failCall(core(), which, hr, skip, repeat);
    }
    void clearFaults() { probe_.clearFaults(core()); }
    CallLog& calls() { return probe_.log(core()); }
    CallProbe& probe() noexcept { return probe_; }

    // --- settings ---
    // What SaveSettings writes now into a fresh store: every float by name (a failed save fails the
    // test).
    std::map<std::wstring, float> savedFloats();
    // The names SaveSettings writes, in its order.
    std::vector<std::wstring> savedNames();
    // --- display modules ---
    // IModule::OpenWindow, then the window it shows on this thread (its caption starts "Wave"); a
    // test failure and null when there is none.
    HWND openWindow();

    // --- teardown and leaks ---
    // Releases the module (at most once) and returns its reference count after the engine's last
    // Release: 0 unless something leaked a reference.
    ULONG releaseModule();
    // The server's DllCanUnloadNow answers S_OK. Meaningful after releaseModule().
    bool moduleCanUnload() const;

private:
    ComApartment apartment_;
    CallProbe probe_; // outlives the engine and its cores
    ServerLibrary library_;
    std::vector<std::unique_ptr<ServerLibrary>> moreLibraries_; // unloaded after the engine is gone
    Engine engine_;
    Instance* instance_ = nullptr;
    std::optional<ULONG> releasedCount_;
    std::map<std::wstring, SentBlock, std::less<>> sent_;
};

} // namespace vento::test
