// Scheduling: dependency order, update scope, the offline clock against real time, and the host
// object through which a module saves itself at once.
#include <initguid.h>
#include <gtest/gtest.h>
#include <map>
#include <thread>
#include "engine_fixture.h"
#include "host/run/run_stats.h"
#include "fwdtransform_idl.h"
#include "module_harness.h"
#include "tonegen_idl.h"

namespace vento::test {
namespace {

using Microsoft::WRL::ComPtr;
using modkit::Bstr;
using modkit::check;

// A fake that sends one block on "Default" whenever its "Default" input holds one (or, without a
// connected input, on every step), and records in which order the modules ran.
std::vector<std::wstring>* runLog = nullptr;

HRESULT relayInitialize(IModuleSite& site, IUnknown&)
{
    check(site.AddInput(Bstr(L"Default").get(), 0, 1));
    check(site.AddOutput(Bstr(L"Default").get(), 0, 1));
    return S_OK;
}

HRESULT relayProcess(IModuleSite& site, IUnknown&)
{
    BSTR name = nullptr;
    check(site.GetInstanceName(&name));
    if (runLog) runLog->push_back(name);
    SysFreeString(name);
    LONG sources = 0, ready = 0;
    check(site.GetSourceCount(&sources));
    check(site.IsInputReady(Bstr(L"Default").get(), &ready));
    if (sources > 0 && !ready) return S_OK;
    return site.SendOutput(Bstr(L"Default").get());
}

class Scheduling : public EngineTest {
protected:
    Instance& relay(const wchar_t* name)
    {
        Instance& named = engine.add(static_cast<IModule*>(modkit::make<FakeModule>(L"Relay", relayInitialize,
                                                                                     relayProcess).Get()),
                                     name);
        EXPECT_EQ(S_OK, named.module->Initialize());
        return named;
    }
    std::vector<std::wstring> log;
    void SetUp() override { runLog = &log; }
    void TearDown() override { runLog = nullptr; }
};

TEST_F(Scheduling, StepsEveryModuleAfterTheOnesFeedingIt)
{
    // Created downstream first, so creation order alone would run them backwards.
    Instance& sink = relay(L"sink");
    Instance& middle = relay(L"middle");
    Instance& source = relay(L"source");
    engine.connect(middle, L"Default", sink, L"Default");
    engine.connect(source, L"Default", middle, L"Default");

    auto order = engine.order();
    ASSERT_EQ(3u, order.size());
    EXPECT_EQ(&source, order[0]);
    EXPECT_EQ(&middle, order[1]);
    EXPECT_EQ(&sink, order[2]);

    EXPECT_EQ(3, engine.step()) << "a block crosses the whole graph in one pass";
    EXPECT_EQ((std::vector<std::wstring>{L"source", L"middle", L"sink"}), log);
    EXPECT_EQ(3, engine.step());
    EXPECT_EQ(2, sink.core->findOutput(L"Default")->sends());
}

TEST_F(Scheduling, ACycleIsAClearErrorNamingItsModules)
{
    Instance& a = relay(L"a");
    Instance& b = relay(L"b");
    relay(L"outside");
    engine.connect(a, L"Default", b, L"Default");
    engine.connect(b, L"Default", a, L"Default");
    try {
        engine.step();
        FAIL() << "a cycle ran";
    } catch (const EngineError& e) {
        EXPECT_STREQ("the connections form a cycle through a, b", e.what());
    }
    EXPECT_TRUE(log.empty()) << "nothing runs in a graph that cannot be ordered";
}

TEST_F(Scheduling, AnUpdateScopeHoldsBackOnlyThatModule)
{
    Instance& source = relay(L"source");
    Instance& sink = relay(L"sink");
    engine.connect(source, L"Default", sink, L"Default");
    ASSERT_EQ(S_OK, site(sink).BeginUpdate());
    EXPECT_EQ(1, engine.step());
    EXPECT_EQ((std::vector<std::wstring>{L"source"}), log);
    ASSERT_EQ(S_OK, site(sink).EndUpdate());
    log.clear();
    EXPECT_EQ(2, engine.step()) << "the block that waited is processed once the scope ends";
    EXPECT_EQ((std::vector<std::wstring>{L"source", L"sink"}), log);
}

TEST_F(Scheduling, AFailedProcessStopsThePassNamingTheModule)
{
    Instance& broken = engine.add(
        static_cast<IModule*>(modkit::make<FakeModule>(L"Relay", relayInitialize,
                                                       [](IModuleSite&, IUnknown&) { return E_ACCESSDENIED; })
                                  .Get()),
        L"broken");
    ASSERT_EQ(S_OK, broken.module->Initialize());
    try {
        engine.step();
        FAIL();
    } catch (const EngineError& e) {
        EXPECT_STREQ("broken: Process failed (0x80070005)", e.what());
    }
}

TEST_F(Scheduling, TheHostObjectSavesIntoTheInstanceAtOnce)
{
    Instance& module = relay(L"window");
    std::vector<std::wstring> saved;
    engine.setSettingsObserver([&](Instance& i) { saved.push_back(i.name); });

    ComPtr<IUnknown> host;
    ASSERT_EQ(S_OK, site(module).GetHostObject(&host));
    ComPtr<ISettingsStore> store;
    ASSERT_EQ(S_OK, host.As(&store));
    ASSERT_EQ(S_OK, store->WriteFloat(Bstr(L"Top").get(), 40.0f));
    EXPECT_EQ((std::vector<std::wstring>{L"window"}), saved) << "each write is saved, not kept for later";
    EXPECT_EQ(40.0f, module.settings->floatValue(L"Top"));
    float back = 0;
    ASSERT_EQ(S_OK, store->ReadFloat(Bstr(L"Top").get(), &back));
    EXPECT_EQ(40.0f, back);

    engine.saveSettings(module); // a full save empties the same store: the host object keeps working
    ASSERT_EQ(S_OK, store->WriteString(Bstr(L"File").get(), Bstr(L"a.wav").get()));
    EXPECT_EQ(L"a.wav", module.settings->stringValue(L"File"));
    EXPECT_EQ(2u, saved.size());
}

TEST_F(Scheduling, TheOfflineIntervalIsTheShortestSourceBlock)
{
    Instance& source = relay(L"source");
    Instance& sink = relay(L"sink");
    engine.connect(source, L"Default", sink, L"Default");
    const LONGLONG f = engine.clock().frequency();
    EXPECT_EQ(f / 1000, engine.offlineInterval()) << "no source states its rate";
    // Only sources count: the sink states a faster rate but runs when its input arrives.
    OutputPin& out = *source.core->findOutput(L"Default");
    SignalBlock* block = out.block();
    *block->props = SysAllocString(L"<PROPS><SamplesPerSecond>8000</SamplesPerSecond></PROPS>");
    SignalBlock* sinkBlock = sink.core->findOutput(L"Default")->block();
    *sinkBlock->props = SysAllocString(L"<PROPS><SamplesPerSecond>96000</SamplesPerSecond></PROPS>");
    EXPECT_EQ(f / 8000, engine.offlineInterval());
}

// --stats' figures: Process calls and times from the engine, and a source's lateness against a grid
// of block intervals placed so that no block was early.
TEST_F(Scheduling, RunStatsTimeEveryCallAndMeasureLatenessOnTheSourcesGrid)
{
    Instance& source = relay(L"source");
    Instance& sink = relay(L"sink");
    engine.connect(source, L"Default", sink, L"Default");
    RunStats stats(engine);
    engine.setProcessObserver([&](const Instance& i, LONGLONG ticks) { stats.processed(i, ticks); });
    engine.setSendObserver([&](const ModuleCore& core, std::wstring_view, const OutputPin& out) {
        stats.sent(core, out, engine.clock().now());
    });
    auto statesRate = [&](const wchar_t* document) {
        SignalBlock* block = source.core->findOutput(L"Default")->block();
        SysFreeString(std::exchange(*block->props, SysAllocString(document)));
    };
    statesRate(L"<PROPS><SamplesPerSecond>100</SamplesPerSecond></PROPS>"); // a 1-sample block every 10 ms
    const LONGLONG ms = engine.clock().frequency() / 1000;
    // Blocks late by 1.5, 1, 0, 3 and 0.5 ms on a grid 10 ms apart: the on-time block sets the grid,
    // though the first block was sent later than it.
    for (LONGLONG at : {3 * ms / 2, 11 * ms, 20 * ms, 33 * ms, 40 * ms + ms / 2}) {
        clock().set(at);
        engine.step();
    }
    // A new rate starts a schedule of its own: two more blocks, on their grid.
    statesRate(L"<PROPS><SamplesPerSecond>50</SamplesPerSecond></PROPS>");
    for (LONGLONG at : {100 * ms, 120 * ms}) {
        clock().set(at);
        engine.step();
    }

    const std::vector<ModuleStats> report = stats.report();
    ASSERT_EQ(2u, report.size());
    const ModuleStats& s = report[0];
    EXPECT_EQ(L"source", s.name);
    EXPECT_EQ(7, s.blocks);
    EXPECT_EQ(7, s.calls);
    ASSERT_TRUE(s.lateness);
    const Lateness& late = *s.lateness;
    EXPECT_EQ(7, late.blocks);
    EXPECT_NEAR(6.0 / 7, late.meanMs, 1e-9);
    EXPECT_NEAR(3.0, late.maxMs, 1e-9);
    EXPECT_NEAR(3.0, late.p99Ms, 1e-9);
    EXPECT_NEAR(5.0 / 7, late.withinOneMs, 1e-9) << "1 ms late is within 1 ms";
    EXPECT_EQ(L"sink", report[1].name);
    EXPECT_EQ(7, report[1].calls);
    EXPECT_FALSE(report[1].lateness) << "fed by the source: not paced";
}

TEST(LogHistogram, BinsHoldTheirValuesAndQuantilesAreWithinTwoPercent)
{
    for (std::uint64_t v : {0ull, 1ull, 31ull, 32ull, 33ull, 63ull, 64ull, 1000ull, 123456789ull, ~0ull >> 1}) {
        const size_t bin = LogHistogram::binOf(v);
        EXPECT_LE(LogHistogram::binLow(bin), v);
        EXPECT_GT(LogHistogram::binLow(bin + 1), v);
    }
    LogHistogram h;
    for (std::uint64_t v = 1; v <= 10000; ++v) h.add(v);
    EXPECT_EQ(10000u, h.count());
    EXPECT_DOUBLE_EQ(5000.5, h.mean());
    EXPECT_EQ(10000u, h.max());
    EXPECT_NEAR(9900.0, h.quantile(0.99), 9900 * 0.02);
    EXPECT_NEAR(5000.0, h.quantile(0.5), 5000 * 0.02);
    EXPECT_EQ(1.0, h.quantile(0.0001)) << "small values are exact";
    EXPECT_EQ(0.0, LogHistogram().quantile(0.99));
}

// SignalW white noise into an FFT, real time and offline: the same blocks in the same order.
class PacedChain {
public:
    explicit PacedChain(std::unique_ptr<Clock> clock) : engine(std::move(clock))
    {
        tone = &engine.create(CLSID_SignalWModule, L"tone");
        fft = &engine.create(CLSID_FFTModule, L"fft");
        check(tone->module->Initialize());
        check(fft->module->Initialize());
        auto store = modkit::make<SettingsStore>();
        for (auto [name, value] : {std::pair{L"Amp", 0.7f}, {L"Freq", 0.3f}, {L"Shape", 4.0f},
                                   {L"SampleRate", 44100.0f}, {L"BlockSize", 256.0f}})
            store->setFloat(name, value);
        check(tone->module->LoadSettings(static_cast<ISettingsStore*>(store.Get())));
        engine.connect(*tone, L"Default", *fft, L"Default");
        engine.setSendObserver([this](const ModuleCore& core, std::wstring_view, const OutputPin& out) {
            blocks[core.instanceName()].emplace_back(out.data().begin(), out.data().end());
        });
        engine.start();
    }
    void runUntil(size_t count)
    {
        while (blocks[L"fft"].size() < count) {
            if (engine.step() == 0 && dynamic_cast<PerformanceClock*>(&engine.clock())) Sleep(1);
        }
    }
    Engine engine;
    Instance* tone = nullptr;
    Instance* fft = nullptr;
    std::map<std::wstring, std::vector<std::vector<float>>> blocks;
};

class Paced : public testing::Test {
protected:
    void SetUp() override
    {
        for (auto [dll, clsid] : {std::pair{L"tonegen.dll", &CLSID_SignalWModule}, {L"fwdtransform.dll", &CLSID_FFTModule}}) {
            const auto& server = servers.emplace_back(std::make_unique<ServerLibrary>(programFolder() / dll));
            ComPtr<IClassFactory> factory;
            ASSERT_EQ(S_OK, server->getClassObject(*clsid, IID_PPV_ARGS(&factory)));
            DWORD cookie = 0;
            ASSERT_EQ(S_OK, CoRegisterClassObject(*clsid, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
            cookies.push_back(cookie);
        }
    }
    void TearDown() override
    {
        for (DWORD c : cookies) CoRevokeClassObject(c);
    }
    ComApartment apartment;
    std::vector<std::unique_ptr<ServerLibrary>> servers;
    std::vector<DWORD> cookies;
};

TEST_F(Paced, OfflineGivesTheBlocksOfARealTimeRun)
{
    constexpr size_t count = 12; // about 70 ms of real time
    std::map<std::wstring, std::vector<std::vector<float>>> realTime, offline;
    LONGLONG offlineTicks = 0;
    {
        PacedChain chain(std::make_unique<PerformanceClock>());
        chain.runUntil(count);
        realTime = chain.blocks;
    }
    {
        PacedChain chain(std::make_unique<OfflineClock>());
        chain.runUntil(count);
        offline = chain.blocks;
        offlineTicks = chain.engine.clock().now();
    }
    ASSERT_GE(realTime[L"tone"].size(), count);
    ASSERT_GE(offline[L"tone"].size(), count);
    for (const wchar_t* name : {L"tone", L"fft"}) {
        SCOPED_TRACE(narrow(name));
        for (size_t b = 0; b < count; ++b) {
            ASSERT_EQ(realTime[name][b], offline[name][b]) << "block " << b;
            ASSERT_EQ(name == std::wstring(L"tone") ? 256u : 258u, offline[name][b].size());
        }
    }
    // The offline clock moved by whole block intervals only: about one block's time per block.
    const LONGLONG perBlock = 256 * OfflineClock().frequency() / 44100;
    EXPECT_LE(offlineTicks, LONGLONG(count + 2) * perBlock);
}

} // namespace
} // namespace vento::test
