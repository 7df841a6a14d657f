// The framework's shared mechanisms that modules build on: the block protocol of one-input
// transforms (each named choice of the order of engine calls), typed settings, and a final release
// whose module step fails.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>
#include "host/engine/apartment.h"
#include "probed_engine.h"
#include "host/engine/settings_store.h"
#include "host/engine/vento_engine.h"
#include "module/transform.h"

using namespace modkit;
using vento::SiteCall;

namespace {

// Doubles every sample; its output size is whatever the test sets.
class ProbeTransform : public TransformModule<ProbeTransform, IDispatch> {
public:
    static inline const ModuleIdentity identity{L"Probe", nullptr, 0};
    static inline BlockProtocol nextProtocol{};
    static inline bool failFinalRelease = false;
    ProbeTransform() : TransformModule(identity, L"Doubles.", L"In", L"Out", nextProtocol) {}

    std::optional<long> size; // nothing: the block gives nothing to send
    int transforms = 0;

protected:
    std::optional<long> OutputSize(const Block&) override { return size; }
    void Transform(const Block& in, const Block& out) override
    {
        ++transforms;
        for (long i = 0; i < std::min(in.count, out.count); ++i) out.data[i] = 2 * in.data[i];
    }
    void OnFinalRelease() override
    {
        if (failFinalRelease) throwHr(E_UNEXPECTED);
    }
};

class TransformTest : public ::testing::Test, protected vento::test::ProbedEngine {
protected:
    ProbeTransform& create(BlockProtocol protocol = {})
    {
        ProbeTransform::nextProtocol = protocol;
        IUnknown* object = nullptr;
        EXPECT_EQ(S_OK, createInstance<ProbeTransform>(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)));
        instance = &engine.add(object, L"probe");
        object->Release();
        EXPECT_EQ(S_OK, instance->module->Initialize());
        siteProbe.setRecording(true);
        return *static_cast<ProbeTransform*>(static_cast<ModuleBase*>(instance->module.Get()));
    }
    vento::ModuleCore& core() { return *instance->core; }
    // The calls of one Process on a block of `samples`.
    std::vector<SiteCall> process(const std::vector<float>& samples)
    {
        core().connectionSlot(L"In").receive(samples, L"<?xml version='1.0'?><PROPS><Type>Audio</Type></PROPS>");
        siteProbe.log(core()).reset();
        EXPECT_EQ(S_OK, engine.process(*instance));
        std::vector<SiteCall> calls;
        for (const auto& entry : siteProbe.log(core()).entries()) calls.push_back(entry.call);
        return calls;
    }
    static long at(const std::vector<SiteCall>& calls, SiteCall call)
    {
        auto found = std::find(calls.begin(), calls.end(), call);
        return found == calls.end() ? -1 : long(found - calls.begin());
    }
    // The last call of a kind: the output's own fetch comes after any document work.
    static long last(const std::vector<SiteCall>& calls, SiteCall call)
    {
        auto found = std::find(calls.rbegin(), calls.rend(), call);
        return found == calls.rend() ? -1 : long(calls.rend() - found) - 1;
    }
    std::vector<float> output() { return {core().findOutput(L"Out")->data().begin(), core().findOutput(L"Out")->data().end()}; }

    vento::Instance* instance = nullptr;
};

TEST_F(TransformTest, AsksWhetherABlockIsReadyFirstOrAfterFetchingAsItsProtocolSays)
{
    // Blocks of the declared size: no resize comes between.
    const std::vector<float> ones(128, 1.0f);
    ProbeTransform& first = create();
    first.size = 128;
    auto calls = process(ones);
    EXPECT_LT(at(calls, SiteCall::IsInputReady), last(calls, SiteCall::GetOutputBlock));
    EXPECT_EQ(std::vector<float>(128, 2.0f), output());

    engine.remove(*instance);
    ProbeTransform& after = create({.readiness = BlockProtocol::Readiness::AskAfterFetch});
    after.size = 128;
    calls = process(ones);
    EXPECT_GT(at(calls, SiteCall::IsInputReady), last(calls, SiteCall::GetOutputBlock));
    EXPECT_EQ(1, after.transforms);
}

TEST_F(TransformTest, NothingToSendLeavesTheOutputAlone)
{
    ProbeTransform& probe = create();
    auto calls = process({1, 2});
    EXPECT_EQ(-1, at(calls, SiteCall::AddOutput));
    EXPECT_EQ(-1, at(calls, SiteCall::SendOutput));
    EXPECT_EQ(0, probe.transforms);
}

TEST_F(TransformTest, AResizedOutputIsRepublishedUnlessTheProtocolKeepsItsDocument)
{
    auto documentCallsBetweenResizeAndSend = [this](const std::vector<SiteCall>& calls) {
        long from = at(calls, SiteCall::AddOutput), to = at(calls, SiteCall::SendOutput);
        EXPECT_GE(from, 0);
        EXPECT_GT(to, from);
        return std::count(calls.begin() + from, calls.begin() + to, SiteCall::GetInputCount);
    };
    ProbeTransform& republishing = create();
    republishing.size = 6;
    EXPECT_GT(documentCallsBetweenResizeAndSend(process({1, 2, 3, 4, 5, 6})), 0);
    EXPECT_FALSE(core().findOutput(L"Out")->retiredBufferWritten()) << "writes go to the resized storage";
    auto same = process({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(-1, at(same, SiteCall::AddOutput)) << "the same size needs no resize";

    engine.remove(*instance);
    ProbeTransform& keeping = create({.onResize = BlockProtocol::OnResize::KeepDocument});
    keeping.size = 6;
    EXPECT_EQ(0, documentCallsBetweenResizeAndSend(process({1, 2, 3, 4, 5, 6})));
}

TEST_F(TransformTest, AFailingFinalStepOfTheModuleStillReleasesItsCore)
{
    create();
    IModuleSite* site = core().site();
    ProbeTransform::failFinalRelease = true;
    EXPECT_EQ(0u, engine.remove(*instance)) << "the release ends in order";
    ProbeTransform::failFinalRelease = false;
    EXPECT_EQ(nullptr, engine.coreOf(site)) << "the core went with the module";
    EXPECT_EQ(E_UNEXPECTED, lastFailure().code) << "the failure was seen by the boundary";
}

class TypedSettings : public ::testing::Test {
protected:
    Microsoft::WRL::ComPtr<vento::SettingsStore> store = make<vento::SettingsStore>();
    Settings settings{*store.Get()};
};

TEST_F(TypedSettings, WritesNumbersAsFloatsFlagsAsOneOrZeroAndTextAsStrings)
{
    settings.write(L"Gain", 0.25f);
    settings.write(L"Size", 512L);
    settings.write(L"On", true);
    settings.write(L"Off", false);
    settings.write(L"File", L"in.wav");
    EXPECT_EQ(0.25f, store->floatValue(L"Gain"));
    EXPECT_EQ(512.0f, store->floatValue(L"Size"));
    EXPECT_EQ(1.0f, store->floatValue(L"On"));
    EXPECT_EQ(0.0f, store->floatValue(L"Off"));
    EXPECT_EQ(L"in.wav", store->stringValue(L"File"));
}

TEST_F(TypedSettings, IntegersAreTruncatedTowardZeroAndImpossibleValuesRefused)
{
    struct Row {
        float stored;
        bool taken;
        long expected;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const Row rows[] = {{2.9f, true, 2},     {-2.9f, true, -2},   {0.0f, true, 0},    {3e9f, false, 7},
                        {-3e9f, false, 7},   {nan, false, 7},     {inf, false, 7},    {2147483520.0f, true, 2147483520}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        store->setFloat(L"N", row.stored);
        long field = 7;
        EXPECT_EQ(row.taken, settings.read(L"N", field));
        EXPECT_EQ(row.expected, field);
    }
}

TEST_F(TypedSettings, ARefusedValueKeepsTheFieldInOneLine)
{
    long size = 128;
    store->setFloat(L"Size", 0.0f);
    EXPECT_FALSE(settings.read(L"Size", size, positive));
    store->setFloat(L"Size", -5.0f);
    EXPECT_FALSE(settings.read(L"Size", size, positive));
    EXPECT_EQ(128, size);
    store->setFloat(L"Size", 256.0f);
    EXPECT_TRUE(settings.read(L"Size", size, positive));
    EXPECT_EQ(256, size);

    float step = 0.5f;
    store->setFloat(L"Step", std::numeric_limits<float>::quiet_NaN());
    EXPECT_FALSE(settings.read(L"Step", step, finite));
    EXPECT_EQ(0.5f, step);

    std::wstring file = L"old.wav";
    store->setString(L"File", L"new.wav");
    EXPECT_TRUE(settings.read(L"File", file));
    EXPECT_EQ(L"new.wav", file);
}

TEST_F(TypedSettings, AMissingNameEndsTheOperationWithTheStoresFailure)
{
    float gain = 1.0f;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), boundary([&] { settings.read(L"Gain", gain); }));
    EXPECT_EQ(1.0f, gain);
}

} // namespace
