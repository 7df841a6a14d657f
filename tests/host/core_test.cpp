// The core as a module sees it: aggregation, names, clock, panel notices, argument checks, faults.
#include <gtest/gtest.h>
#include "engine_fixture.h"

namespace vento::test {
namespace {

using Microsoft::WRL::ComPtr;

ULONG refCount(IUnknown* object)
{
    object->AddRef();
    return object->Release();
}

using AggregationTest = EngineTest;

TEST_F(AggregationTest, ModuleAnswersTheCoresSiteWithOneIdentity)
{
    Instance& instance = addFake();
    FakeModule& module = fake(instance);

    ComPtr<IModuleSite> site;
    ASSERT_EQ(S_OK, instance.object.As(&site));
    EXPECT_EQ(module.site(), site.Get());
    EXPECT_EQ(instance.core->site(), site.Get());
    EXPECT_EQ(instance.core, engine.coreOf(site.Get()));

    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, site.As(&identity));
    EXPECT_EQ(instance.object.Get(), identity.Get());
    ComPtr<IModule> back;
    ASSERT_EQ(S_OK, site.As(&back));
    EXPECT_EQ(instance.module.Get(), back.Get());
    EXPECT_EQ(instance.object.Get(), instance.core->module());
}

TEST_F(AggregationTest, CoreInterfacesAreReachedThroughTheInnerObjectOnly)
{
    FakeModule& module = fake(addFake());
    ComPtr<IModuleUI> ui;
    EXPECT_EQ(S_OK, module.core()->QueryInterface(IID_PPV_ARGS(&ui)));
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, module.core()->QueryInterface(IID_PPV_ARGS(&dispatch)));
    UINT typeInfos = 99;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&typeInfos));
    EXPECT_EQ(0u, typeInfos);

    // The module forwards IModuleSite alone.
    ComPtr<IModuleUI> notForwarded;
    EXPECT_EQ(E_NOINTERFACE, module.QueryInterface(IID_PPV_ARGS(&notForwarded)));
}

TEST_F(AggregationTest, SiteReferencesCountOnTheModule)
{
    Instance& instance = addFake();
    ULONG before = refCount(instance.object.Get());
    {
        ComPtr<IModuleSite> site;
        ASSERT_EQ(S_OK, instance.object.As(&site));
        EXPECT_EQ(before + 1, refCount(instance.object.Get()));
    }
    EXPECT_EQ(before, refCount(instance.object.Get()));
}

TEST_F(AggregationTest, LastReleaseFreesModuleAndCore)
{
    Instance& instance = addFake();
    IModuleSite* coreSite = instance.core->site();
    EXPECT_EQ(1, FakeModule::live);
    EXPECT_EQ(0u, engine.remove(instance));
    EXPECT_EQ(0, FakeModule::live);
    EXPECT_EQ(nullptr, engine.coreOf(coreSite));
}

TEST_F(AggregationTest, CoreRefusesAnOuterObjectAskingForMoreThanIUnknown)
{
    Instance& instance = addFake();
    ComPtr<IModuleSite> site;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_ModuleCore, instance.object.Get(), CLSCTX_INPROC_SERVER,
                                                      IID_PPV_ARGS(&site)));
}

TEST(EngineLifetime, CoreClassExistsOnlyWhileAnEngineLives)
{
    ComApartment apartment;
    ComPtr<FakeModule> survivor;
    {
        Engine engine{std::make_unique<ManualClock>()};
        survivor = modkit::make<FakeModule>();
        engine.add(static_cast<IModule*>(survivor.Get()), L"kept");
    }
    // The module outlived the engine: its core works on, without a clock.
    LONGLONG ticks = 0;
    EXPECT_EQ(E_UNEXPECTED, survivor->site()->GetTime(&ticks));
    EXPECT_EQ(S_OK, survivor->site()->AddOutput(L"Out"_b.get(), 0, 2));

    EXPECT_THROW(modkit::make<FakeModule>(), modkit::ComError); // no ModuleCore class registered
    survivor.Reset();
    EXPECT_EQ(0, FakeModule::live);
}

using SiteTest = EngineTest;

TEST_F(SiteTest, NamesComeFromModuleAndEngine)
{
    Instance& first = addFake(L"FFT");
    Instance& second = addFake(L"FFT");
    Instance& named = engine.add(static_cast<IModule*>(modkit::make<FakeModule>(L"FFT").Get()), L"analyser");

    struct Row {
        Instance* instance;
        const wchar_t* expected;
    } rows[] = {{&first, L"FFT1"}, {&second, L"FFT2"}, {&named, L"analyser"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.instance->name.c_str());
        modkit::Bstr name;
        ASSERT_EQ(S_OK, site(*row.instance).GetInstanceName(name.put()));
        EXPECT_EQ(row.expected, std::wstring(name.view()));
        ASSERT_EQ(S_OK, site(*row.instance).GetModuleName(name.put()));
        EXPECT_EQ(L"FFT", std::wstring(name.view()));
    }
    EXPECT_EQ(&named, engine.find(L"analyser"));
    EXPECT_THROW(engine.add(static_cast<IModule*>(modkit::make<FakeModule>().Get()), L"analyser"), modkit::ComError);
}

TEST_F(SiteTest, TimeIsTheEngineClock)
{
    IModuleSite& s = site(addFake());
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    EXPECT_EQ(frequency.QuadPart, clock().frequency());

    LONGLONG ticks = -1;
    ASSERT_EQ(S_OK, s.GetTime(&ticks));
    EXPECT_EQ(0, ticks);
    clock().set(1000);
    clock().advance(234);
    ASSERT_EQ(S_OK, s.GetTime(&ticks));
    EXPECT_EQ(1234, ticks);
}

TEST_F(SiteTest, PanelNoticesAreRecorded)
{
    Instance& instance = addFake();
    IModuleSite& s = site(instance);
    LONG restore = -1;
    ASSERT_EQ(S_OK, s.GetRestorePlacement(&restore));
    EXPECT_EQ(0, restore);
    engine.setRestorePlacement(true);
    ASSERT_EQ(S_OK, s.GetRestorePlacement(&restore));
    EXPECT_NE(0, restore);

    EXPECT_EQ(S_OK, s.SetModified(0));
    EXPECT_EQ(S_OK, s.SetModified(1));
    EXPECT_EQ(2, instance.core->modifiedCount());
    EXPECT_EQ(1, instance.core->lastModifiedFlag());

    const CLSID page = CLSID_FakeEcho;
    ComPtr<IModuleUI> ui;
    ASSERT_EQ(S_OK, fake(instance).core()->QueryInterface(IID_PPV_ARGS(&ui)));
    EXPECT_EQ(S_OK, ui->SetControlPage(page, 1));
    ASSERT_TRUE(instance.core->controlPage());
    EXPECT_TRUE(IsEqualCLSID(page, *instance.core->controlPage()));
    EXPECT_EQ(1, instance.core->controlPageLocalOnly());

    instance.core->offerModuleUI(false);
    ComPtr<IModuleUI> missing;
    EXPECT_EQ(E_NOINTERFACE, fake(instance).core()->QueryInterface(IID_PPV_ARGS(&missing)));
}

TEST_F(SiteTest, UnusedPositionsAnswerNotImplemented)
{
    IModuleSite& s = site(addFake());
    EXPECT_EQ(E_NOTIMPL, s.Reserved6());
    EXPECT_EQ(E_NOTIMPL, s.Reserved16());
    EXPECT_EQ(E_NOTIMPL, s.Reserved18());
    EXPECT_EQ(E_NOTIMPL, s.Reserved19());
    EXPECT_EQ(E_NOTIMPL, s.Reserved20());
    EXPECT_EQ(E_NOTIMPL, s.Reserved22());
    EXPECT_EQ(E_NOTIMPL, s.Reserved24());
}

TEST_F(SiteTest, BadArgumentsAreRefused)
{
    IModuleSite& s = site(addFake());
    ASSERT_EQ(S_OK, s.AddInput(L"In"_b.get(), 0, 4));
    ASSERT_EQ(S_OK, s.AddMultiInput(L"Many"_b.get(), 0, 1));
    ASSERT_EQ(S_OK, s.AddOutput(L"Out"_b.get(), 0, 4));
    LONG value = 0;
    SignalBlock* block = nullptr;
    IUnknown* source = nullptr;
    modkit::Bstr unknown(L"Nope"), in(L"In"), many(L"Many"), out(L"Out");
    BSTR x = unknown.get();

    struct Row {
        const char* what;
        HRESULT expected;
        HRESULT actual;
    } rows[] = {
        {"IsInputReady unknown pin", E_INVALIDARG, s.IsInputReady(x, &value)},
        {"GetInputCount unknown pin", E_INVALIDARG, s.GetInputCount(x, &value)},
        {"IsInputReadyAt unknown pin", E_INVALIDARG, s.IsInputReadyAt(x, 0, &value)},
        {"GetInputBlockAt unknown pin", E_INVALIDARG, s.GetInputBlockAt(x, 0, &block)},
        {"GetInputBlock unknown pin", E_INVALIDARG, s.GetInputBlock(x, &block)},
        {"GetOutputBlock unknown pin", E_INVALIDARG, s.GetOutputBlock(x, &block)},
        {"SendOutput unknown pin", E_INVALIDARG, s.SendOutput(x)},
        {"an input name is no output", E_INVALIDARG, s.GetOutputBlock(in.get(), &block)},
        {"multi-input read as single", E_INVALIDARG, s.IsInputReady(many.get(), &value)},
        {"multi-input block read as single", E_INVALIDARG, s.GetInputBlock(many.get(), &block)},
        {"pin changes kind", E_INVALIDARG, s.AddMultiInput(in.get(), 0, 4)},
        {"negative input size", E_INVALIDARG, s.AddInput(in.get(), 0, -1)},
        {"negative output size", E_INVALIDARG, s.AddOutput(out.get(), 0, -1)},
        {"index below range", E_INVALIDARG, s.IsInputReadyAt(in.get(), -1, &value)},
        {"index past single input", E_INVALIDARG, s.GetInputBlockAt(in.get(), 1, &block)},
        {"index past no connections", E_INVALIDARG, s.IsInputReadyAt(many.get(), 0, &value)},
        {"source index", E_INVALIDARG, s.GetSource(0, &source)},
        {"null ready", E_POINTER, s.IsInputReady(in.get(), nullptr)},
        {"null count", E_POINTER, s.GetInputCount(in.get(), nullptr)},
        {"null ready at", E_POINTER, s.IsInputReadyAt(in.get(), 0, nullptr)},
        {"null input block", E_POINTER, s.GetInputBlock(in.get(), nullptr)},
        {"null input block at", E_POINTER, s.GetInputBlockAt(in.get(), 0, nullptr)},
        {"null output block", E_POINTER, s.GetOutputBlock(out.get(), nullptr)},
        {"null source count", E_POINTER, s.GetSourceCount(nullptr)},
        {"null source", E_POINTER, s.GetSource(0, nullptr)},
        {"null host", E_POINTER, s.GetHostObject(nullptr)},
        {"null instance name", E_POINTER, s.GetInstanceName(nullptr)},
        {"null module name", E_POINTER, s.GetModuleName(nullptr)},
        {"null placement", E_POINTER, s.GetRestorePlacement(nullptr)},
        {"null time", E_POINTER, s.GetTime(nullptr)},
        {"null module", E_POINTER, s.AttachModule(nullptr)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.expected, row.actual);
    }
}

// Pins are first looked for by their name string's address; a string changed in place (as one freed
// and made again at the same address) is looked up by its text.
TEST_F(SiteTest, APinNameAtAKnownAddressIsStillReadByItsText)
{
    IModuleSite& s = site(addFake());
    for (const wchar_t* pin : {L"A", L"B"}) {
        ASSERT_EQ(S_OK, s.AddInput(modkit::Bstr(pin).get(), 0, 1));
        ASSERT_EQ(S_OK, s.AddOutput(modkit::Bstr(pin).get(), 0, 1));
    }
    modkit::Bstr name(L"A");
    SignalBlock *inA = nullptr, *inB = nullptr, *outA = nullptr, *outB = nullptr;
    ASSERT_EQ(S_OK, s.GetInputBlock(name.get(), &inA));
    ASSERT_EQ(S_OK, s.GetOutputBlock(name.get(), &outA));
    name.get()[0] = L'B';
    ASSERT_EQ(S_OK, s.GetInputBlock(name.get(), &inB));
    ASSERT_EQ(S_OK, s.GetOutputBlock(name.get(), &outB));
    EXPECT_NE(inA, inB);
    EXPECT_NE(outA, outB);
    EXPECT_NE(outA->data, outB->data);
    name.get()[0] = L'C';
    EXPECT_EQ(E_INVALIDARG, s.GetInputBlock(name.get(), &inB));
    EXPECT_EQ(E_INVALIDARG, s.SendOutput(name.get()));
    name.get()[0] = L'A';
    SignalBlock* again = nullptr;
    ASSERT_EQ(S_OK, s.GetOutputBlock(name.get(), &again));
    EXPECT_EQ(outA->data, again->data);
}

using FaultTest = EngineTest;

TEST_F(FaultTest, ChosenCallFailsOnceAlwaysOrAfterSkipping)
{
    struct Row {
        const char* what;
        int skip;
        FaultRepeat repeat;
        std::vector<HRESULT> expected; // four AddOutput calls in a row
    } rows[] = {
        {"once", 0, FaultRepeat::Once, {E_OUTOFMEMORY, S_OK, S_OK, S_OK}},
        {"once after two", 2, FaultRepeat::Once, {S_OK, S_OK, E_OUTOFMEMORY, S_OK}},
        {"always", 0, FaultRepeat::Always, {E_OUTOFMEMORY, E_OUTOFMEMORY, E_OUTOFMEMORY, E_OUTOFMEMORY}},
        {"always after one", 1, FaultRepeat::Always, {S_OK, E_OUTOFMEMORY, E_OUTOFMEMORY, E_OUTOFMEMORY}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Instance& instance = addFake();
        siteProbe.failCall(*instance.core, SiteCall::AddOutput, E_OUTOFMEMORY, row.skip, row.repeat);
        std::vector<HRESULT> actual;
        for (int i = 0; i < 4; ++i) actual.push_back(site(instance).AddOutput(L"Out"_b.get(), 0, 4));
        EXPECT_EQ(row.expected, actual);
        // Other calls are untouched, and clearing ends the fault.
        LONG count = 0;
        EXPECT_EQ(S_OK, site(instance).GetSourceCount(&count));
        siteProbe.clearFaults(*instance.core);
        EXPECT_EQ(S_OK, site(instance).AddOutput(L"Out"_b.get(), 0, 4));
        engine.remove(instance);
    }
}

TEST_F(FaultTest, FailedCallHasNoEffect)
{
    Instance& instance = addFake();
    siteProbe.failCall(*instance.core, SiteCall::AddOutput, E_FAIL);
    EXPECT_EQ(E_FAIL, site(instance).AddOutput(L"Out"_b.get(), 0, 4));
    EXPECT_EQ(nullptr, instance.core->findOutput(L"Out"));
}

TEST_F(FaultTest, LogRecordsCallsInOrderWithPins)
{
    siteProbe.setRecording(true);
    Instance& instance = addFake();
    CallLog& log = siteProbe.log(*instance.core);
    EXPECT_EQ(1, log.count(SiteCall::SetModuleName));
    EXPECT_EQ(1, log.count(SiteCall::AttachModule));

    log.reset();
    EXPECT_EQ(0, log.count(SiteCall::AttachModule));
    IModuleSite& s = site(instance);
    s.AddOutput(L"Out"_b.get(), 0, 4);
    siteProbe.failCall(*instance.core, SiteCall::SendOutput, E_FAIL);
    s.SendOutput(L"Out"_b.get()); // failed calls are logged too
    s.SendOutput(L"Out"_b.get());
    s.BeginUpdate();

    std::vector<std::pair<SiteCall, std::wstring>> expected = {
        {SiteCall::AddOutput, L"Out"}, {SiteCall::SendOutput, L"Out"}, {SiteCall::SendOutput, L"Out"},
        {SiteCall::BeginUpdate, L""}};
    std::vector<std::pair<SiteCall, std::wstring>> actual;
    for (const auto& entry : log.entries()) actual.emplace_back(entry.call, entry.pin);
    EXPECT_EQ(expected, actual);
    EXPECT_EQ(2, log.count(SiteCall::SendOutput));
    EXPECT_EQ(1, instance.core->findOutput(L"Out")->sends());
}

} // namespace
} // namespace vento::test
