// Pins and blocks: output storage, resizing, delivery between modules, readiness, multi-inputs,
// sources and the update scope.
#include <gtest/gtest.h>
#include <vector>
#include "engine_fixture.h"

namespace vento::test {
namespace {

using Microsoft::WRL::ComPtr;

std::vector<float> contents(const SignalBlock* block) { return {block->data, block->data + block->count}; }
std::wstring text(BSTR s) { return std::wstring(modkit::bstrView(s)); }

using PinTest = EngineTest;

// Adds the output "Out" of this size and fetches its block.
HRESULT addOutput(IModuleSite& s, long size, SignalBlock** block)
{
    const HRESULT hr = s.AddOutput(L"Out"_b.get(), 0, size);
    return FAILED(hr) ? hr : s.GetOutputBlock(L"Out"_b.get(), block);
}

TEST_F(PinTest, InputBeforeAnyDeliveryHoldsNoBlock)
{
    IModuleSite& s = site(addFake());
    ASSERT_EQ(S_OK, s.AddInput(L"In"_b.get(), 0, 4));
    LONG ready = -1;
    ASSERT_EQ(S_OK, s.IsInputReady(L"In"_b.get(), &ready));
    EXPECT_EQ(0, ready);
    SignalBlock* block = nullptr;
    ASSERT_EQ(S_OK, s.GetInputBlock(L"In"_b.get(), &block));
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(1, block->status);
    EXPECT_EQ(nullptr, block->data);
    EXPECT_EQ(0, block->count);
    ASSERT_NE(nullptr, block->props);
    EXPECT_EQ(nullptr, *block->props);
}

TEST_F(PinTest, OutputStartsZeroedAndKeepsItsContentsBetweenCalls)
{
    Instance& instance = addFake();
    IModuleSite& s = site(instance);
    SignalBlock* block = nullptr;
    ASSERT_EQ(S_OK, addOutput(s, 4, &block));
    EXPECT_EQ(0, block->status);
    EXPECT_EQ(std::vector<float>(4, 0.0f), contents(block));
    float* storage = block->data;
    std::copy_n(std::vector<float>{1, 2, 3, 4}.begin(), 4, block->data);
    block->count = 99; // a scribbled record does not change the engine's block

    ASSERT_EQ(S_OK, engine.process(instance));
    ASSERT_EQ(S_OK, s.SendOutput(L"Out"_b.get()));
    ASSERT_EQ(S_OK, s.GetOutputBlock(L"Out"_b.get(), &block));
    EXPECT_EQ(storage, block->data);
    EXPECT_EQ((std::vector<float>{1, 2, 3, 4}), contents(block));
}

TEST_F(PinTest, ResizeMovesToFreshStorageAndCatchesWritesToTheOldOne)
{
    Instance& instance = addFake();
    IModuleSite& s = site(instance);
    SignalBlock* block = nullptr;
    ASSERT_EQ(S_OK, addOutput(s, 4, &block));
    std::fill_n(block->data, 4, 7.0f);
    float* stale = block->data;

    ASSERT_EQ(S_OK, addOutput(s, 4, &block)); // same size: not a resize
    EXPECT_EQ(stale, block->data);
    EXPECT_EQ(std::vector<float>(4, 7.0f), contents(block));

    ASSERT_EQ(S_OK, addOutput(s, 6, &block));
    EXPECT_NE(stale, block->data);
    EXPECT_EQ(std::vector<float>(6, 0.0f), contents(block));
    const OutputPin& out = *instance.core->findOutput(L"Out");
    EXPECT_FALSE(out.retiredBufferWritten());

    stale[3] = 1.0f; // a module still writing through the pointer it had before the resize
    EXPECT_TRUE(out.retiredBufferWritten());
    ASSERT_EQ(S_OK, s.AddOutput(L"Out"_b.get(), 0, 2)); // retiring the next buffer keeps the finding
    EXPECT_TRUE(out.retiredBufferWritten());
}

TEST_F(PinTest, DeclaringAnInputAgainUpdatesItsSize)
{
    Instance& instance = addFake();
    ASSERT_EQ(S_OK, site(instance).AddInput(L"In"_b.get(), 0, 4));
    ASSERT_EQ(S_OK, site(instance).AddInput(L"In"_b.get(), 0, 16));
    const InputPin* in = instance.core->findInput(L"In");
    EXPECT_EQ(16, in->size);
    EXPECT_EQ(1u, in->slots.size());
}

// A source module with output "Out" (3 floats) wired to a sink with input "In".
class DeliveryTest : public EngineTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, site(source).AddOutput(L"Out"_b.get(), 0, 3));
        ASSERT_EQ(S_OK, site(sink).AddInput(L"In"_b.get(), 0, 3));
        engine.connect(source, L"Out", sink, L"In");
    }
    void send(std::vector<float> data, const wchar_t* props)
    {
        SignalBlock* out = nullptr;
        ASSERT_EQ(S_OK, site(source).GetOutputBlock(L"Out"_b.get(), &out));
        std::copy(data.begin(), data.end(), out->data);
        if (text(*out->props) != props) {
            SysFreeString(*out->props);
            *out->props = SysAllocString(props);
        }
        ASSERT_EQ(S_OK, site(source).SendOutput(L"Out"_b.get()));
    }
    LONG sinkReady()
    {
        LONG ready = -1;
        EXPECT_EQ(S_OK, site(sink).IsInputReady(L"In"_b.get(), &ready));
        return ready;
    }
    SignalBlock* sinkBlock()
    {
        SignalBlock* block = nullptr;
        EXPECT_EQ(S_OK, site(sink).GetInputBlock(L"In"_b.get(), &block));
        return block;
    }

    LONG readyDuringProcess = -1;
    Instance& source = addFake(L"Source");
    Instance& sink = addFake(L"Sink", {}, [this](IModuleSite&, IUnknown&) {
        readyDuringProcess = sinkReady();
        return S_OK;
    });
};

TEST_F(DeliveryTest, InputHoldsACopyAndIsReadyUntilItsModuleProcessed)
{
    send({1, 2, 3}, L"<PROPS><Type>Audio</Type></PROPS>");
    EXPECT_NE(0, sinkReady());
    SignalBlock* block = sinkBlock();
    EXPECT_EQ(0, block->status);
    EXPECT_EQ((std::vector<float>{1, 2, 3}), contents(block));
    EXPECT_EQ(L"<PROPS><Type>Audio</Type></PROPS>", text(*block->props));

    send({9, 9, 9}, L"<PROPS><Type>Audio</Type></PROPS>");
    SignalBlock* out = nullptr;
    ASSERT_EQ(S_OK, site(source).GetOutputBlock(L"Out"_b.get(), &out));
    std::fill_n(out->data, 3, -1.0f); // the sender's next block does not reach the copy
    EXPECT_EQ((std::vector<float>{9, 9, 9}), contents(sinkBlock()));

    ASSERT_EQ(S_OK, engine.process(source)); // another module's step leaves the sink's block waiting
    EXPECT_NE(0, sinkReady());
    ASSERT_EQ(S_OK, engine.process(sink));
    EXPECT_NE(0, readyDuringProcess);
    EXPECT_EQ(0, sinkReady());
    EXPECT_EQ((std::vector<float>{9, 9, 9}), contents(sinkBlock())); // still readable, just not new
}

TEST_F(DeliveryTest, SteadyStreamReusesTheInputsStorageAndDocument)
{
    send({1, 2, 3}, L"<PROPS/>");
    SignalBlock* first = sinkBlock();
    float* data = first->data;
    BSTR props = *first->props;

    send({4, 5, 6}, L"<PROPS/>");
    SignalBlock* second = sinkBlock();
    EXPECT_EQ(data, second->data);
    EXPECT_EQ(props, *second->props);

    send({4, 5, 6}, L"<PROPS><Type>FFT</Type></PROPS>");
    EXPECT_EQ(L"<PROPS><Type>FFT</Type></PROPS>", text(*sinkBlock()->props));
}

TEST_F(DeliveryTest, SendingIsCountedAndObserved)
{
    std::vector<std::wstring> seen;
    engine.setSendObserver([&](const ModuleCore& core, std::wstring_view pin, const OutputPin& out) {
        seen.push_back(core.instanceName() + L"." + std::wstring(pin) + L":" + std::to_wstring(out.size()));
    });
    send({1, 2, 3}, L"");
    send({1, 2, 3}, L"");
    EXPECT_EQ(2, source.core->findOutput(L"Out")->sends());
    EXPECT_EQ((std::vector<std::wstring>{L"Source1.Out:3", L"Source1.Out:3"}), seen);
}

TEST_F(EngineTest, SingleInputTakesOneConnection)
{
    Instance& a = addFake();
    Instance& b = addFake();
    ASSERT_EQ(S_OK, site(a).AddOutput(L"Out"_b.get(), 0, 1));
    ASSERT_EQ(S_OK, site(b).AddInput(L"In"_b.get(), 0, 1));
    engine.connect(a, L"Out", b, L"In");
    EXPECT_THROW(engine.connect(a, L"Out", b, L"In"), modkit::ComError);
    EXPECT_THROW(engine.connect(a, L"Nope", b, L"In"), modkit::ComError);
    EXPECT_THROW(engine.connect(a, L"Out", b, L"Nope"), modkit::ComError);
}

// Two sources A and B feeding a multi-input "Many" on the sink; A also feeds its single input "In".
class MultiInputTest : public EngineTest {
protected:
    void SetUp() override
    {
        for (Instance* s : {&a, &b}) ASSERT_EQ(S_OK, site(*s).AddOutput(L"Out"_b.get(), 0, 1));
        ASSERT_EQ(S_OK, site(sink).AddMultiInput(L"Many"_b.get(), 0, 1));
        ASSERT_EQ(S_OK, site(sink).AddInput(L"In"_b.get(), 0, 1));
        engine.connect(a, L"Out", sink, L"Many");
        engine.connect(b, L"Out", sink, L"Many");
        engine.connect(a, L"Out", sink, L"In");
    }
    Instance& a = addFake(L"A");
    Instance& b = addFake(L"B");
    Instance& sink = addFake(L"Sink");
};

TEST_F(MultiInputTest, EachConnectionHasItsOwnBlockAndReadiness)
{
    IModuleSite& s = site(sink);
    LONG count = 0;
    ASSERT_EQ(S_OK, s.GetInputCount(L"Many"_b.get(), &count));
    EXPECT_EQ(2, count);

    SignalBlock* out = nullptr;
    ASSERT_EQ(S_OK, site(b).GetOutputBlock(L"Out"_b.get(), &out));
    out->data[0] = 42;
    ASSERT_EQ(S_OK, site(b).SendOutput(L"Out"_b.get()));

    LONG ready[2] = {-1, -1};
    ASSERT_EQ(S_OK, s.IsInputReadyAt(L"Many"_b.get(), 0, &ready[0]));
    ASSERT_EQ(S_OK, s.IsInputReadyAt(L"Many"_b.get(), 1, &ready[1]));
    EXPECT_EQ(0, ready[0]);
    EXPECT_NE(0, ready[1]);
    SignalBlock* block = nullptr;
    ASSERT_EQ(S_OK, s.GetInputBlockAt(L"Many"_b.get(), 1, &block));
    EXPECT_EQ(std::vector<float>{42}, contents(block));
    ASSERT_EQ(S_OK, s.GetInputBlockAt(L"Many"_b.get(), 0, &block));
    EXPECT_EQ(1, block->status);

    ASSERT_EQ(S_OK, engine.process(sink));
    ASSERT_EQ(S_OK, s.IsInputReadyAt(L"Many"_b.get(), 1, &ready[1]));
    EXPECT_EQ(0, ready[1]);
}

TEST_F(MultiInputTest, SourcesAreTheDistinctFeedingModules)
{
    IModuleSite& s = site(sink);
    LONG count = 0;
    ASSERT_EQ(S_OK, s.GetSourceCount(&count));
    EXPECT_EQ(2, count); // A feeds two inputs and counts once

    IUnknown* expected[] = {a.object.Get(), b.object.Get()};
    for (LONG i = 0; i < 2; ++i) {
        SCOPED_TRACE(testing::Message() << "source " << i);
        ComPtr<IUnknown> source;
        ASSERT_EQ(S_OK, s.GetSource(i, &source));
        EXPECT_EQ(expected[i], source.Get());
        ComPtr<IModuleSite> sourceSite; // what a display module does to read its sources' names
        ASSERT_EQ(S_OK, source.As(&sourceSite));
    }

    engine.remove(a); // a module that goes away no longer feeds anyone
    ASSERT_EQ(S_OK, s.GetSourceCount(&count));
    EXPECT_EQ(1, count);
    ComPtr<IUnknown> source;
    ASSERT_EQ(S_OK, s.GetSource(0, &source));
    EXPECT_EQ(b.object.Get(), source.Get());
}

TEST_F(DeliveryTest, UpdateScopeHoldsBackProcess)
{
    IModuleSite& s = site(sink);
    send({1, 2, 3}, L"");
    ASSERT_EQ(S_OK, s.BeginUpdate());
    ASSERT_EQ(S_OK, s.BeginUpdate());
    ASSERT_EQ(S_OK, s.EndUpdate());
    EXPECT_EQ(S_FALSE, engine.process(sink));
    EXPECT_EQ(0, fake(sink).processCalls);
    EXPECT_NE(0, sinkReady()); // the block waits for the step that runs

    ASSERT_EQ(S_OK, s.EndUpdate());
    EXPECT_EQ(S_OK, engine.process(sink));
    EXPECT_EQ(1, fake(sink).processCalls);
    EXPECT_NE(0, readyDuringProcess);
    EXPECT_EQ(E_UNEXPECTED, s.EndUpdate()); // unpaired
    EXPECT_EQ(S_OK, engine.process(sink));
}

} // namespace
} // namespace vento::test
