// ModuleBase inside an engine: creation and its failures, teardown order, and the property-document
// rules, with a probe module built into this test program.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "host/engine/apartment.h"
#include "host/engine/settings_store.h"
#include "probed_engine.h"
#include "host/engine/vento_engine.h"
#include "module/module_base.h"

using namespace modkit;
using vento::SiteCall;

namespace {

int liveModules = 0;

class ProbeModule : public ModuleBase {
public:
    using Interfaces = InterfaceList<IModule>;
    static inline const ModuleIdentity identity{L"Probe", nullptr, 0};
    ProbeModule() : ModuleBase(identity) { ++liveModules; }
    ~ProbeModule() override { --liveModules; }

    static inline std::vector<std::wstring> events;
    static inline bool siteAliveAtClose = false;

    Pin in{L"Default"};
    Pin multi{L"Many"};
    Pin out{L"Default"};

    // Test access to the framework's protected parts.
    using ModuleBase::document;
    using ModuleBase::inputPropsCache;

protected:
    void OnInitialize() override
    {
        AddInput(in, 4);
        AddMultiInput(multi, 4);
        AddOutput(out, 4);
    }
    void OnProcess() override { CheckInputProps(in); }
    void OnInputProps(IXMLDOMDocument*, const Pin& pin) override { events.push_back(L"input " + std::wstring(pin.name())); }
    void OnOutputProps(IXMLDOMDocument* doc, const Pin&) override
    {
        events.push_back(L"output");
        SetProperty(doc, L"Seen", L"yes");
    }
    void OnSaveSettings(Settings&) override { events.push_back(L"save"); }
    void OnCloseWindow() override
    {
        Bstr name;
        siteAliveAtClose = site && SUCCEEDED(site->GetModuleName(name.put())) && name.view() == L"Probe";
        events.push_back(L"close");
    }
};

class ModuleBaseTest : public ::testing::Test, protected vento::test::ProbedEngine {
protected:
    void SetUp() override { ProbeModule::events.clear(); }

    ProbeModule* create(HRESULT* result = nullptr)
    {
        IUnknown* object = nullptr;
        HRESULT hr = createInstance<ProbeModule>(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
        if (result) *result = hr;
        if (FAILED(hr)) return nullptr;
        instance = &engine.add(object, L"probe");
        object->Release();
        EXPECT_EQ(S_OK, instance->module->Initialize());
        return static_cast<ProbeModule*>(static_cast<ModuleBase*>(instance->module.Get()));
    }
    vento::ModuleCore& core() { return *instance->core; }
    std::wstring outputProps()
    {
        BSTR props = *core().findOutput(L"Default")->block()->props;
        return std::wstring(bstrView(props));
    }

    vento::Instance* instance = nullptr;
};

TEST(ModuleBaseCreation, FailsWithTheEngineResultAndLeavesNothing)
{
    vento::ComApartment apartment;
    long locks = serverLockCount();
    struct Row {
        const char* what;
        void (*arm)(vento::CallProbe&);
    };
    const Row rows[] = {
        {"core creation", [](vento::CallProbe& p) { p.failCoreCreation(E_ACCESSDENIED); }},
        {"SetModuleName", [](vento::CallProbe& p) { p.failCallOnNewCores(SiteCall::SetModuleName, E_ACCESSDENIED); }},
        {"AttachModule", [](vento::CallProbe& p) { p.failCallOnNewCores(SiteCall::AttachModule, E_ACCESSDENIED); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        vento::CallProbe probe;
        vento::Engine engine{std::make_unique<vento::ManualClock>()};
        engine.setProbe(&probe);
        row.arm(probe);
        IUnknown* object = reinterpret_cast<IUnknown*>(0xdeadbeef);
        EXPECT_EQ(E_ACCESSDENIED, createInstance<ProbeModule>(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
        EXPECT_EQ(nullptr, object);
        EXPECT_EQ(0, liveModules);
    }
    EXPECT_EQ(locks, serverLockCount());
}

TEST_F(ModuleBaseTest, LastReleaseClosesTheWindowWhileTheCoreStillLives)
{
    create();
    ProbeModule::siteAliveAtClose = false;
    EXPECT_EQ(0u, engine.remove(*instance));
    EXPECT_TRUE(ProbeModule::siteAliveAtClose);
    EXPECT_EQ(std::vector<std::wstring>{L"close"}, ProbeModule::events);
    EXPECT_EQ(0, liveModules);
}

TEST_F(ModuleBaseTest, InputDocumentChangesRunTheHooksOnce)
{
    create();
    auto& slot = core().connectionSlot(L"Default");
    const std::wstring doc = L"<?xml version='1.0'?><PROPS><Type>Audio</Type></PROPS>";
    for (int i = 0; i < 3; ++i) {
        slot.receive(std::vector<float>(4), doc);
        ASSERT_EQ(S_OK, engine.process(*instance));
    }
    EXPECT_EQ((std::vector<std::wstring>{L"input Default", L"output"}), ProbeModule::events);
    EXPECT_NE(std::wstring::npos, outputProps().find(L"Seen"));

    // Unparsable text: the input hook still runs; the output keeps its document.
    std::wstring before = outputProps();
    ProbeModule::events.clear();
    slot.receive(std::vector<float>(4), std::wstring(L"<PROPS><Type>x</PROPS>"));
    ASSERT_EQ(S_OK, engine.process(*instance));
    EXPECT_EQ(std::vector<std::wstring>{L"input Default"}, ProbeModule::events);
    EXPECT_EQ(before, outputProps());

    // No document: nothing happens.
    ProbeModule::events.clear();
    slot.receive(std::vector<float>(4), std::nullopt);
    ASSERT_EQ(S_OK, engine.process(*instance));
    EXPECT_TRUE(ProbeModule::events.empty());
}

TEST_F(ModuleBaseTest, WithoutAWorkDocumentOnlyTheCacheMoves)
{
    ProbeModule* probe = create();
    probe->document.Reset();
    core().connectionSlot(L"Default").receive(std::vector<float>(4), std::wstring(emptyPropsDocument));
    ASSERT_EQ(S_OK, engine.process(*instance));
    EXPECT_TRUE(ProbeModule::events.empty());
    EXPECT_EQ(1u, probe->inputPropsCache.count(L"Default"));
    probe->PropagateProps(probe->out);
    EXPECT_EQ(L"", outputProps()) << "no document is published";
}

TEST_F(ModuleBaseTest, MultiInputDocumentComesFromTheFirstConnectionThatHasOne)
{
    ProbeModule* probe = create();
    EXPECT_EQ(L"", probe->GetInputProps(probe->multi));
    auto& first = core().connectionSlot(L"Many");
    auto& second = core().connectionSlot(L"Many");
    auto& third = core().connectionSlot(L"Many");
    first.receive(std::vector<float>(4), std::nullopt);
    second.receive(std::vector<float>(4), std::wstring(L"<PROPS><A>2</A></PROPS>"));
    third.receive(std::vector<float>(4), std::wstring(L"<PROPS><A>3</A></PROPS>"));
    EXPECT_EQ(L"<PROPS><A>2</A></PROPS>", probe->GetInputProps(probe->multi));
}

TEST_F(ModuleBaseTest, DocumentCallsSwallowEngineFailures)
{
    ProbeModule* probe = create();
    core().connectionSlot(L"Default").receive(std::vector<float>(4), std::wstring(L"<PROPS/>"));
    siteProbe.failCall(core(), SiteCall::GetInputBlockAt, E_FAIL);
    EXPECT_EQ(L"", probe->GetInputProps(probe->in));
    siteProbe.failCall(core(), SiteCall::GetInputCount, E_FAIL);
    siteProbe.failCall(core(), SiteCall::GetInputBlock, E_FAIL);
    EXPECT_EQ(L"", probe->GetInputProps(probe->in));
    EXPECT_EQ(L"<PROPS/>", probe->GetInputProps(probe->in));
    siteProbe.failCall(core(), SiteCall::GetOutputBlock, E_FAIL);
    EXPECT_NO_THROW(probe->SetOutputProps(probe->out, L"<PROPS/>"));
    EXPECT_EQ(L"", outputProps());
    probe->SetOutputProps(probe->out, L"<PROPS/>");
    EXPECT_EQ(L"<PROPS/>", outputProps());
}

TEST_F(ModuleBaseTest, SettingsGoToTheHookOnlyThroughAStore)
{
    create();
    auto store = modkit::make<vento::SettingsStore>();
    EXPECT_EQ(S_OK, instance->module->SaveSettings(store.Get()));
    EXPECT_EQ(S_OK, instance->module->SaveSettings(nullptr));
    EXPECT_EQ(S_OK, instance->module->SaveSettings(instance->object.Get())) << "E_NOINTERFACE is accepted";
    EXPECT_EQ((std::vector<std::wstring>{L"save"}), ProbeModule::events);
}

TEST_F(ModuleBaseTest, HelpPathLiesBesideTheServerEvenWithoutAPage)
{
    create();
    BSTR path = nullptr;
    ASSERT_EQ(S_OK, instance->module->GetHelpFile(&path));
    std::wstring text(bstrView(path));
    SysFreeString(path);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir(self);
    dir.resize(dir.find_last_of(L'\\') + 1);
    EXPECT_EQ(dir + L"ProbeModuleHelp.htm", text);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(text.c_str())) << "this program has no help page";
}

} // namespace
