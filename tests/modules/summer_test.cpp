// The Multiplier in its real server DLL: products of any number of connections with their own
// queues, its pacing against the engine's manual clock, the diagnostic values, its settings, its
// panel filled from the dialog's initialisation data, and a graph of real generators feeding it.
#include <initguid.h>
#include "module_test.h"
#include <deque>
#include <map>
#include <optional>
#include "load_settings.h"
#include "summer/controls.h"
#include "summer_idl.h"
#include "tonegen_idl.h"

using vento::test::loadFloats;

namespace {

constexpr wchar_t dll[] = L"summer.dll";
constexpr wchar_t pin[] = L"Default";
constexpr wchar_t diagnosticPin[] = L"Diagnostic";

LONGLONG ticks(long samples, long rate)
{
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return samples * f.QuadPart / rate;
}

class MultiplierTest : public vento::test::ModuleTest {
protected:
    MultiplierTest() : ModuleTest(dll, CLSID_MultiplierModule) {}

    // Started, with the clock so far ahead that every step sends a block (the engine catches up).
    void startLate()
    {
        h.clock().set(1'000'000);
        ASSERT_EQ(S_OK, h.module()->Start());
        ASSERT_EQ(S_OK, h.process());
        h.clock().set(1'000'000'000'000LL);
    }
    // One step; the "Default" block it sent, if any.
    std::optional<std::vector<float>> step()
    {
        long before = h.sendCount(pin);
        EXPECT_EQ(S_OK, h.process());
        if (h.sendCount(pin) == before) return std::nullopt;
        return h.lastSent(pin).data;
    }
    std::vector<float> diagnostic() { return h.lastSent(diagnosticPin).data; }

};

TEST_F(MultiplierTest, DeclaresItsPinsAndPublishesItsRateAtStart)
{
    EXPECT_EQ(128, h.outputSize(pin));
    EXPECT_EQ(10, h.outputSize(diagnosticPin));
    EXPECT_TRUE(h.core().findInput(pin)->multi);
    ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"Frequency", 22050}, {L"Blocksize", 512}}));
    EXPECT_EQ(128, h.outputSize(pin)) << "not before Start";
    ASSERT_EQ(S_OK, h.module()->Start());
    EXPECT_EQ(512, h.outputSize(pin));
    EXPECT_EQ(L"22050", propsOf(h.outputProps(pin))[L"SamplesPerSecond"]);
}

TEST_F(MultiplierTest, EachSampleIsTheProductOfTheInputsThatHaveEnoughQueued)
{
    startLate();
    int a = h.connect(pin), b = h.connect(pin);
    std::vector<float> x = randomBlock(128, 1), y = randomBlock(128, 2);
    h.feedAt(pin, a, x);
    h.feedAt(pin, b, y);
    auto out = step();
    ASSERT_TRUE(out);
    for (size_t k = 0; k < 128; ++k) ASSERT_EQ(x[k] * y[k], (*out)[k]) << k;
    // Input b short: its 100 samples wait, and the block carries a's samples alone.
    std::vector<float> x2 = randomBlock(128, 3), y2 = randomBlock(100, 4);
    h.feedAt(pin, a, x2);
    h.feedAt(pin, b, y2);
    EXPECT_EQ(x2, step());
    EXPECT_EQ(0.0f, diagnostic()[0]);
    EXPECT_EQ(0.1f, diagnostic()[1]) << "100 samples wait on connection 1";
    // No input at all: every sample 1.0; the waiting samples stay for later.
    EXPECT_EQ(std::vector<float>(128, 1.0f), step());
    std::vector<float> y3 = randomBlock(28, 5);
    h.feedAt(pin, b, y3);
    out = step();
    ASSERT_TRUE(out);
    EXPECT_EQ(y2[99], (*out)[99]);
    EXPECT_EQ(y3[0], (*out)[100]);
}

TEST_F(MultiplierTest, WithoutInputsEveryBlockIsOnesAndNoValueIsReported)
{
    startLate();
    auto out = step();
    ASSERT_TRUE(out);
    EXPECT_EQ(std::vector<float>(128, 1.0f), *out);
    EXPECT_EQ(std::vector<float>(10, 0.0f), diagnostic());
}

TEST_F(MultiplierTest, PacingSendsAtOnceAfterStartThenOneBlockPerDueTime)
{
    const LONGLONG t0 = 5'000'000, tick = ticks(128, 11025);
    h.clock().set(t0);
    ASSERT_EQ(S_OK, h.module()->Start());
    EXPECT_TRUE(step()) << "due at once";
    EXPECT_FALSE(step()) << "one block per due time";
    h.clock().set(t0 + tick - 1);
    EXPECT_FALSE(step());
    h.clock().set(t0 + tick);
    EXPECT_TRUE(step()) << "strictly later than the due time";
    // Five blocks late: one block per step until caught up.
    h.clock().set(t0 + 6 * tick);
    for (int call = 0; call < 5; ++call) EXPECT_TRUE(step()) << call;
    EXPECT_FALSE(step());
    EXPECT_EQ(7, h.sendCount(pin));
    EXPECT_EQ(7, h.sendCount(diagnosticPin));
}

TEST_F(MultiplierTest, QueuesDropWhatTheyCannotHold)
{
    startLate();
    int a = h.connect(pin);
    // More than a queue holds: the newest 49999 samples stay.
    std::vector<float> big(60000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = float(i);
    h.feedAt(pin, a, big);
    auto out = step();
    ASSERT_TRUE(out);
    EXPECT_EQ(60000.0f - 49999.0f, (*out)[0]);
    EXPECT_EQ(60000.0f - 49999.0f + 127.0f, (*out)[127]);
    EXPECT_FLOAT_EQ((49999 - 128) * 0.001f, diagnostic()[0]);
    // No room for the next block: the queued samples are dropped before it goes in.
    std::vector<float> next = randomBlock(200, 9);
    h.feedAt(pin, a, next);
    out = step();
    ASSERT_TRUE(out);
    EXPECT_EQ(std::vector<float>(next.begin(), next.begin() + 128), *out);
    EXPECT_FLOAT_EQ(0.072f, diagnostic()[0]);
}

TEST_F(MultiplierTest, DiagnosticValuesGoOnlyWhereTheBlockHasRoom)
{
    startLate();
    for (int j = 0; j < 12; ++j) h.feedAt(pin, h.connect(pin), std::vector<float>(size_t(1000 + j), 2.0f));
    auto out = step();
    ASSERT_TRUE(out);
    EXPECT_EQ(std::vector<float>(128, 4096.0f), *out) << "twelve factors of 2";
    ASSERT_EQ(10u, diagnostic().size());
    for (int j = 0; j < 10; ++j) EXPECT_FLOAT_EQ((1000 + j - 128) * 0.001f, diagnostic()[size_t(j)]) << j;
    // A diagnostic block of no room takes no value; both blocks are still sent.
    ASSERT_EQ(S_OK, h.site()->AddOutput(Bstr(diagnosticPin).get(), 0, 0));
    long sent = h.sendCount(diagnosticPin);
    EXPECT_TRUE(step());
    EXPECT_EQ(sent + 1, h.sendCount(diagnosticPin));
}

TEST_F(MultiplierTest, EngineFailuresEndProcessWithTheirResult)
{
    startLate();
    h.connect(pin);
    for (SiteCall call : {SiteCall::GetInputCount, SiteCall::IsInputReadyAt, SiteCall::GetTime, SiteCall::SendOutput}) {
        SCOPED_TRACE(testing::Message() << call);
        h.failCall(call, E_ACCESSDENIED);
        EXPECT_EQ(E_ACCESSDENIED, h.process());
    }
    EXPECT_TRUE(step());
}

// --- settings ------------------------------------------------------------------------------------

TEST_F(MultiplierTest, SettingsRefuseRatesAndSizesThatCannotBe)
{
    EXPECT_EQ((std::vector<std::wstring>{L"Frequency", L"Blocksize"}), h.savedNames());

    ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"Frequency", 44100.9f}, {L"Blocksize", 256.5f}}));
    EXPECT_EQ((std::map<std::wstring, float>{{L"Frequency", 44100}, {L"Blocksize", 256}}), h.savedFloats());
    // A rate of 0 changes nothing and leaves "Blocksize" unread (the store has none).
    EXPECT_EQ(S_OK, loadFloats(h.module(), {{L"Frequency", 0.4f}}));
    EXPECT_EQ(S_OK, loadFloats(h.module(), {{L"Frequency", NAN}}));
    for (float bad : {-11025.0f, -0.0f, -1e30f, INFINITY})
        ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"Frequency", bad}, {L"Blocksize", bad}})) << bad;
    // Blocks no engine should be asked to hold: more than 2^20 samples.
    for (float huge : {1048577.0f, 2147483520.0f})
        ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"Frequency", 44100}, {L"Blocksize", huge}})) << huge;
    EXPECT_EQ((std::map<std::wstring, float>{{L"Frequency", 44100}, {L"Blocksize", 256}}), h.savedFloats());
    // Start paces by what is kept, never by a refused rate.
    const LONGLONG t0 = 9'000'000;
    h.clock().set(t0);
    ASSERT_EQ(S_OK, h.module()->Start());
    EXPECT_TRUE(step());
    h.clock().set(t0 + ticks(256, 44100));
    EXPECT_TRUE(step());
    EXPECT_EQ(256u, h.lastSent(pin).data.size());
}

// --- a graph of real generators ------------------------------------------------------------------

// Two SignalW generators of 100- and 256-sample blocks into a Multiplier of 128, stepped by the
// engine as a graph for a few hundred output blocks. Each output sample must be the product of the
// two inputs' samples taken in order, or one input's alone where the other's queue was short.
TEST(MultiplierGraph, TwoGeneratorsOfOtherBlockSizesMultiplyInStep)
{
    ModuleHarness h(dll, CLSID_MultiplierModule);
    ASSERT_EQ(S_OK, h.initialize());
    vento::Engine& engine = h.engine();
    vento::Instance* sources[2] = {&h.addModule(L"tonegen.dll", CLSID_SignalWModule, L"a"),
                                   &h.addModule(L"tonegen.dll", CLSID_SignalWModule, L"b")};
    // The first runs a little slow, so that its queue is short now and then.
    const float sizes[2] = {100, 256}, shapes[2] = {0, 4}, rates[2] = {10000, 11025};
    for (int j = 0; j < 2; ++j) {
        ASSERT_EQ(S_OK, sources[j]->module->Initialize());
        ASSERT_EQ(S_OK, loadFloats(sources[j]->module.Get(), {{L"Amp", 0.9f}, {L"Freq", 0.3f + 0.2f * float(j)}, {L"Phase", 0},
                                                              {L"Shape", shapes[j]}, {L"SampleRate", rates[j]}, {L"BlockSize", sizes[j]}}));
        engine.connect(*sources[j], L"Default", h.instance(), L"Default");
    }
    // What went where, in the order the engine delivered it.
    std::deque<float> queued[2];
    std::vector<std::vector<float>> expected, got;
    int alone = 0; // blocks with one input's samples only
    engine.setSendObserver([&](const vento::ModuleCore& from, std::wstring_view name, const vento::OutputPin& out) {
        for (int j = 0; j < 2; ++j)
            if (&from == sources[j]->core) queued[j].insert(queued[j].end(), out.data().begin(), out.data().end());
        if (&from != h.instance().core || name != L"Default") return;
        std::vector<float> product(128, 1.0f);
        alone += (queued[0].size() < 128) != (queued[1].size() < 128);
        for (auto& q : queued) {
            if (q.size() < 128) continue;
            for (size_t k = 0; k < 128; ++k) product[k] = q[k] * product[k];
            q.erase(q.begin(), q.begin() + 128);
        }
        expected.push_back(product);
        got.emplace_back(out.data().begin(), out.data().end());
    });
    engine.start();
    for (int pass = 0; pass < 20000 && got.size() < 300; ++pass) {
        engine.step();
        h.clock().advance(engine.offlineInterval()); // as an offline run moves on
    }
    ASSERT_EQ(300u, got.size());
    for (size_t b = 0; b < got.size(); ++b) ASSERT_EQ(expected[b], got[b]) << "block " << b;
    EXPECT_GT(alone, 0) << "some blocks found one queue short";
    EXPECT_LE(queued[1].size(), 2u * 256u) << "the queue of the input at the output's rate keeps pace";
}

// --- the panel -----------------------------------------------------------------------------------

class MultiplierPanelTest : public MultiplierTest {
protected:
    void open() { panel.emplace(h, dll, CLSID_MultiplierModulePP); }
    PageHarness& p() { return *panel; }
    std::vector<std::wstring> entries(int id)
    {
        std::vector<std::wstring> texts;
        HWND list = p().item(id);
        for (LRESULT i = 0; i < SendMessageW(list, CB_GETCOUNT, 0, 0); ++i) {
            wchar_t text[32] = {};
            SendMessageW(list, CB_GETLBTEXT, WPARAM(i), LPARAM(text));
            texts.emplace_back(text);
        }
        return texts;
    }
    std::optional<PageHarness> panel;
};

TEST_F(MultiplierPanelTest, OpensWithItsListsFilledAndTellsTheEngineNothing)
{
    long modified = h.core().modifiedCount();
    open();
    EXPECT_EQ((std::vector<std::wstring>{L"128", L"256", L"512", L"1024"}), entries(IDC_BLOCK_SIZE));
    EXPECT_EQ((std::vector<std::wstring>{L"11.025", L"16.0", L"22.050", L"44.1"}), entries(IDC_SAMPLE_RATE));
    EXPECT_EQ(L"128", p().text(IDC_BLOCK_SIZE));
    EXPECT_EQ(L"11.025", p().text(IDC_SAMPLE_RATE));
    EXPECT_EQ(modified, h.core().modifiedCount());
    EXPECT_EQ(0, h.core().updateDepth());
    EXPECT_TRUE(p().site().statusChanges.empty());
    // Values no entry shows select none.
    ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"Frequency", 8000}, {L"Blocksize", 2048}}));
    open();
    EXPECT_EQ(-1, SendMessageW(p().item(IDC_BLOCK_SIZE), CB_GETCURSEL, 0, 0));
    EXPECT_EQ(-1, SendMessageW(p().item(IDC_SAMPLE_RATE), CB_GETCURSEL, 0, 0));
}

TEST_F(MultiplierPanelTest, AChoiceRestartsTheModuleInsideTheUpdateScope)
{
    startLate();
    int a = h.connect(pin);
    h.feedAt(pin, a, randomBlock(300, 1));
    step();
    open();
    h.probe().setRecording(true);
    h.calls().reset();
    p().selectCombo(IDC_SAMPLE_RATE, 2);
    EXPECT_EQ(22050, h.savedFloats()[L"Frequency"]);
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    EXPECT_EQ(L"22050", propsOf(h.outputProps(pin))[L"SamplesPerSecond"]);
    std::vector<SiteCall> calls;
    for (const auto& entry : h.calls().entries()) calls.push_back(entry.call);
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(SiteCall::BeginUpdate, calls.front());
    EXPECT_EQ(SiteCall::SetModified, calls.back());
    EXPECT_EQ(SiteCall::EndUpdate, calls[calls.size() - 2]);
    EXPECT_NE(calls.end(), std::find(calls.begin(), calls.end(), SiteCall::AddOutput)) << "Start ran in the scope";
    // The queues were emptied and the pacing re-anchors: the next step sends ones at once.
    EXPECT_EQ(std::vector<float>(128, 1.0f), step());
    p().selectCombo(IDC_BLOCK_SIZE, 3);
    EXPECT_EQ(1024, h.outputSize(pin));
    EXPECT_EQ(1024, h.savedFloats()[L"Blocksize"]);
    // Reopened, the panel shows what was chosen.
    open();
    EXPECT_EQ(L"22.050", p().text(IDC_SAMPLE_RATE));
    EXPECT_EQ(L"1024", p().text(IDC_BLOCK_SIZE));
    const float rates[] = {11025, 16000, 22050, 44100};
    for (int entry : {0, 1, 3}) {
        p().selectCombo(IDC_SAMPLE_RATE, entry);
        EXPECT_EQ(rates[entry], h.savedFloats()[L"Frequency"]);
    }
}

} // namespace
