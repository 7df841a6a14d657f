// The Stream module in its real server DLL: rate conversion by interpolation, re-blocking, the ring
// and its bounds, what restarts it, its settings, and its panel driven through real controls.
#include <initguid.h>
#include "module_test.h"
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <map>
#include <optional>
#include "reblocker/controls.h"
#include "reblocker_idl.h"
#include "load_settings.h"

using vento::test::loadFloats;

namespace {

constexpr wchar_t dll[] = L"reblocker.dll";
constexpr wchar_t pin[] = L"Default";

std::wstring propsAt(long rate)
{
    return L"<PROPS><Type>Audio</Type><SamplesPerSecond>" + std::to_wstring(rate) + L"</SamplesPerSecond></PROPS>";
}

// Samples first, first + 1, ...: every interpolated value tells where it was read.
std::vector<float> ramp(long n, long first)
{
    std::vector<float> x(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i) x[size_t(i)] = float(first + i);
    return x;
}

// The frequency in hertz of the strongest bin of `x` (Hann window, plain DFT).
double peakHertz(const std::vector<float>& x, double rate)
{
    const size_t n = x.size();
    double best = 0;
    size_t peak = 0;
    for (size_t k = 1; k < n / 2; ++k) {
        std::complex<double> sum;
        for (size_t t = 0; t < n; ++t) {
            double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(t) / double(n));
            sum += w * x[t] * std::polar(1.0, -2 * std::numbers::pi * double(k * t) / double(n));
        }
        if (std::norm(sum) > best) best = std::norm(sum), peak = k;
    }
    return double(peak) * rate / double(n);
}

class StreamTest : public vento::test::ModuleTest {
protected:
    StreamTest() : ModuleTest(dll, CLSID_StreamModule) {}

    // Output rate and block size as stored settings would give them.
    void configure(long outRate, long outBlock)
    {
        ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"In Frequency", 11025.0f}, {L"Out Frequency", float(outRate)},
                                                {L"Out Blocksize", float(outBlock)}}));
    }
    // Feeds one block at `rate` and steps once; the block sent then, if any.
    std::optional<std::vector<float>> step(const std::vector<float>& block, long rate)
    {
        long before = h.sendCount(pin);
        h.feed(pin, block, propsAt(rate));
        EXPECT_EQ(S_OK, h.process());
        if (h.sendCount(pin) == before) return std::nullopt;
        return h.lastSent(pin).data;
    }

};

// --- conversion ----------------------------------------------------------------------------------

TEST_F(StreamTest, UpsamplingByFourRampsBetweenInputSamplesAndHoldsTheLastOne)
{
    configure(44100, 128);
    EXPECT_EQ(128, h.outputSize(pin));
    std::vector<float> x = randomBlock(32, 7);
    auto out = step(x, 11025);
    ASSERT_TRUE(out) << "32 input samples make one block of 128";
    ASSERT_EQ(128u, out->size());
    for (size_t k = 0; k < 31; ++k)
        for (size_t j = 0; j < 4; ++j)
            EXPECT_NEAR(x[k] + (x[k + 1] - x[k]) * float(j) / 4, (*out)[4 * k + j], 1e-6) << 4 * k + j;
    // The sample at the write position is never read: the last held one stands in for it.
    for (size_t i = 124; i < 128; ++i) EXPECT_EQ(x[31], (*out)[i]) << i;
    auto props = propsOf(h.lastSent(pin).props);
    EXPECT_EQ(L"44100", props[L"SamplesPerSecond"]);
    EXPECT_EQ(L"Audio", props[L"Type"]) << "the input's other properties pass on";
}

TEST_F(StreamTest, EqualRatesReblockAsABitExactCopy)
{
    configure(11025, 256);
    std::vector<float> in, out;
    for (int block = 0; block < 200; ++block) { // the ring wraps several times, inside blocks too
        std::vector<float> x = randomBlock(128, unsigned(block));
        in.insert(in.end(), x.begin(), x.end());
        if (auto sent = step(x, 11025)) out.insert(out.end(), sent->begin(), sent->end());
    }
    ASSERT_EQ(100u * 256u, out.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), in.begin()));
}

TEST_F(StreamTest, DownsamplingAdvancesByTheTruncatedSpanWhileBlocksRunAtTheExactRatio)
{
    configure(16000, 128); // 128 x 22050 / 16000 = 176.4: each block reads from 176 samples on
    long first = 0;
    std::vector<std::vector<float>> blocks;
    for (int block = 0; block < 20; ++block, first += 128)
        if (auto sent = step(ramp(128, first), 22050)) blocks.push_back(*sent);
    ASSERT_GE(blocks.size(), 10u);
    for (size_t b = 0; b < blocks.size(); ++b) {
        EXPECT_FLOAT_EQ(float(176 * b), blocks[b][0]) << "block " << b;
        EXPECT_NEAR(176.0 * double(b) + 64 * 1.378125, blocks[b][64], 1e-3) << "block " << b;
    }
}

TEST_F(StreamTest, A1000HertzSineStays1000HertzAt44100)
{
    configure(44100, 512);
    std::vector<float> out;
    for (long first = 0; out.size() < 4096; first += 128) {
        std::vector<float> x(128);
        for (long t = 0; t < 128; ++t) x[size_t(t)] = float(std::sin(2 * std::numbers::pi * 1000.0 * double(first + t) / 11025));
        if (auto sent = step(x, 11025)) out.insert(out.end(), sent->begin(), sent->end());
        ASSERT_LT(first, 100000) << "no output";
    }
    out.resize(4096);
    EXPECT_NEAR(1000.0, peakHertz(out, 44100), 44100.0 / 4096);
    EXPECT_EQ(L"44100", propsOf(h.lastSent(pin).props)[L"SamplesPerSecond"]);
}

// --- what restarts the ring ----------------------------------------------------------------------

// With equal rates and blocks of 256, one block of 128 waits in the ring; after a restart the next
// two blocks make the output, without the one that waited.
TEST_F(StreamTest, EveryTriggerRestartsBothPositions)
{
    configure(11025, 256);
    const std::vector<float> waiting = ramp(128, 1000), b = ramp(128, 2000), c = ramp(128, 3000);
    std::vector<float> fresh(b);
    fresh.insert(fresh.end(), c.begin(), c.end());
    // The same rate in another document: the next block's document differs.
    const std::wstring otherDocument = L"<PROPS><SamplesPerSecond>11025</SamplesPerSecond></PROPS>";
    const struct {
        const char* trigger;
        std::wstring waitingProps;
        std::function<void()> run;
    } triggers[] = {
        {"a change of the input's properties", otherDocument, [] {}},
        {"loading a block size", propsAt(11025), [&] { configure(11025, 256); }},
        {"the panel's Apply", propsAt(11025), [&] {
             PageHarness panel(h, dll, CLSID_StreamModulePP);
             EXPECT_EQ(S_OK, panel.apply());
         }},
    };
    for (const auto& t : triggers) {
        SCOPED_TRACE(t.trigger);
        h.feed(pin, waiting, t.waitingProps);
        ASSERT_EQ(S_OK, h.process());
        t.run();
        EXPECT_FALSE(step(b, 11025));
        auto out = step(c, 11025);
        ASSERT_TRUE(out);
        EXPECT_EQ(fresh, *out);
    }
    // A block of another size restarts before it is stored: it comes out alone.
    step(waiting, 11025);
    const std::vector<float> big = ramp(256, 5000);
    auto out = step(big, 11025);
    ASSERT_TRUE(out);
    EXPECT_EQ(big, *out);
    // Loading a block size of 0 refuses it and restarts nothing.
    step(ramp(128, 0), 11025);
    ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"In Frequency", 11025.0f}, {L"Out Frequency", 11025.0f}, {L"Out Blocksize", 0.0f}}));
    out = step(ramp(128, 128), 11025);
    ASSERT_TRUE(out);
    EXPECT_EQ(ramp(256, 0), *out);
}

// --- unusable input ------------------------------------------------------------------------------

TEST_F(StreamTest, NoOutputWhileTheInputRateIsUnknown)
{
    for (const wchar_t* props : {L"<PROPS><Type>Audio</Type></PROPS>", L"<PROPS><SamplesPerSecond>fast</SamplesPerSecond></PROPS>",
                                 L"<PROPS><SamplesPerSecond>-8000</SamplesPerSecond></PROPS>"}) {
        SCOPED_TRACE(props);
        for (int call = 0; call < 5; ++call) {
            h.feed(pin, randomBlock(128, unsigned(call)), props);
            ASSERT_EQ(S_OK, h.process());
            ASSERT_EQ(S_OK, h.process());
        }
        EXPECT_EQ(0, h.sendCount(pin));
        EXPECT_EQ(L"11025", propsOf(h.outputProps(pin))[L"SamplesPerSecond"]) << "the output still states its rate";
    }
    EXPECT_TRUE(step(randomBlock(128, 1), 11025)) << "a known rate brings the output back";
}

TEST(StreamConversion, LongUpConversionsReadOnlyHeldSamplesAcrossTheRingsEnd)
{
    // A ramp in: every output sample must lie between the held samples around its position, P =
    // (block x span) + i x in / out. A sample read from a slot the ring does not hold (the one at
    // the write position, or beyond it once the block reaches across the ring's end) is a stale
    // sample 10000 back, or a zero: a click.
    struct Case {
        long inRate, outRate, outBlock, inBlock;
    };
    for (const Case c : {Case{16000, 44100, 128, 32}, Case{22050, 44100, 256, 100}, Case{11025, 16000, 128, 61},
                         Case{16000, 22050, 1024, 500}}) {
        SCOPED_TRACE(testing::Message() << c.inRate << " -> " << c.outRate << " in blocks of " << c.outBlock);
        ModuleHarness s{dll, CLSID_StreamModule};
        ASSERT_EQ(S_OK, s.initialize());
        ASSERT_EQ(S_OK, loadFloats(s.module(), {{L"In Frequency", float(c.inRate)}, {L"Out Frequency", float(c.outRate)},
                                                {L"Out Blocksize", float(c.outBlock)}}));
        const long span = c.outBlock * c.inRate / c.outRate;
        const double ratio = double(c.inRate) / double(c.outRate);
        long fed = 0, blocks = 0, sends = 0;
        // 150000 samples: the ring wraps 15 times, and the ramp stays exact in floats.
        for (long call = 0; call < 150000 / c.inBlock; ++call, fed += c.inBlock) {
            s.feed(pin, ramp(c.inBlock, fed), propsAt(c.inRate));
            ASSERT_EQ(S_OK, s.process());
            if (s.sendCount(pin) == sends) continue;
            sends = s.sendCount(pin);
            const std::vector<float>& out = s.lastSent(pin).data;
            for (long i = 0; i < c.outBlock; ++i) {
                const double p = double(blocks) * double(span) + double(i) * ratio;
                // Float positions and samples: a few hundredths at these magnitudes.
                ASSERT_GE(out[size_t(i)], std::floor(p) - 0.05) << "block " << blocks << ", sample " << i;
                ASSERT_LE(out[size_t(i)], p + 0.05) << "block " << blocks << ", sample " << i;
            }
            ++blocks;
        }
        EXPECT_GE(blocks, (fed - 2 * c.outBlock) / span) << "nothing is lost by waiting for the last sample";
    }
}

TEST_F(StreamTest, ABlockSpanningNoInputSampleWaitsForOneHeld)
{
    // 128 x 100 / 44100 truncates to 0: such a block must still not read before the first sample.
    configure(44100, 128);
    h.feed(pin, {}, propsAt(100));
    ASSERT_EQ(S_OK, h.process());
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(0, h.sendCount(pin));
    auto out = step({0.5f, 0.5f}, 100);
    ASSERT_TRUE(out);
    EXPECT_EQ(std::vector<float>(128, 0.5f), *out);
}

TEST_F(StreamTest, InputTheRingCannotHoldDropsTheOldestSamples)
{
    // One block larger than the ring keeps its newest 9999 samples.
    configure(11025, 128);
    auto out = step(ramp(12000, 0), 11025);
    ASSERT_TRUE(out);
    EXPECT_EQ(ramp(128, 12000 - 9999), *out);

    // Input 32 times faster than the output takes it overfills the ring: the reader is pushed on
    // just far enough, and every block is still an unbroken stretch of input.
    configure(44100, 128);
    float lastStart = -32;
    for (long first = 0; first < 40 * 1024; first += 1024) {
        auto sent = step(ramp(1024, first), 11025);
        ASSERT_TRUE(sent);
        const float written = float(first + 1024);
        EXPECT_EQ(std::max(lastStart + 32, written - 9999), (*sent)[0]) << "block from " << first;
        for (size_t i = 1; i < 124; ++i) ASSERT_FLOAT_EQ(0.25f, (*sent)[i] - (*sent)[i - 1]) << "block from " << first << ", " << i;
        lastStart = (*sent)[0];
    }
    EXPECT_GE(lastStart, 30000.0f) << "the oldest samples were dropped";
}

TEST_F(StreamTest, ASpanLongerThanTheRingNeverEndsInAReadOutsideIt)
{
    configure(44100, 1024);
    // 1024 x 3000000 passes 32 bits; the span (69659 samples) never fits the ring.
    for (int call = 0; call < 20; ++call) {
        h.feed(pin, randomBlock(4096, unsigned(call)), propsAt(3000000));
        ASSERT_EQ(S_OK, h.process());
    }
    EXPECT_EQ(0, h.sendCount(pin));
}

TEST_F(StreamTest, EngineFailuresEndProcessWithTheirResult)
{
    configure(11025, 128);
    h.feed(pin, randomBlock(128, 1), propsAt(11025));
    h.failCall(SiteCall::SendOutput, E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY, h.process());
    EXPECT_EQ(0, h.sendCount(pin));
    EXPECT_TRUE(step(randomBlock(128, 2), 11025));
}

// --- settings ------------------------------------------------------------------------------------

TEST_F(StreamTest, SavesThreeNumbersAndRefusesRatesAndSizesThatCannotBe)
{
    EXPECT_EQ((std::vector<std::wstring>{L"In Frequency", L"Out Frequency", L"Out Blocksize"}), h.savedNames());

    ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"In Frequency", 22050.9f}, {L"Out Frequency", 16000.7f}, {L"Out Blocksize", 512.5f}}));
    EXPECT_EQ((std::map<std::wstring, float>{{L"In Frequency", 22050}, {L"Out Frequency", 16000}, {L"Out Blocksize", 512}}),
              h.savedFloats());
    EXPECT_EQ(512, h.outputSize(pin));
    EXPECT_EQ(L"16000", propsOf(h.outputProps(pin))[L"SamplesPerSecond"]);
    for (float bad : {0.0f, -44100.0f, NAN, INFINITY}) {
        SCOPED_TRACE(bad);
        ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"In Frequency", 22050}, {L"Out Frequency", bad}, {L"Out Blocksize", bad}}));
        EXPECT_EQ(16000, h.savedFloats()[L"Out Frequency"]);
        EXPECT_EQ(512, h.savedFloats()[L"Out Blocksize"]);
    }
    // Blocks no engine should be asked to hold: more than 2^20 samples.
    for (float huge : {1048577.0f, 2147483520.0f}) {
        ASSERT_EQ(S_OK, loadFloats(h.module(), {{L"In Frequency", 22050}, {L"Out Frequency", 16000}, {L"Out Blocksize", huge}}));
        EXPECT_EQ(512, h.savedFloats()[L"Out Blocksize"]) << huge;
        EXPECT_EQ(512, h.outputSize(pin)) << huge;
    }
    ComPtr<vento::SettingsStore> empty = modkit::make<vento::SettingsStore>();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), h.module()->LoadSettings(empty.Get()));
}

// --- the panel -----------------------------------------------------------------------------------

class StreamPanelTest : public StreamTest {
protected:
    void open() { panel.emplace(h, dll, CLSID_StreamModulePP); }
    PageHarness& p() { return *panel; }
    std::optional<PageHarness> panel;
};

TEST_F(StreamPanelTest, OpensShowingInputAndOutputAndReportsAChange)
{
    configure(22050, 1024);
    step(randomBlock(64, 1), 44100);
    long modified = h.core().modifiedCount();
    open();
    EXPECT_EQ(L"64", p().text(IDC_IN_BLOCK_SIZE));
    EXPECT_EQ(L"44100", p().text(IDC_IN_RATE));
    EXPECT_FALSE(IsWindowEnabled(p().item(IDC_IN_BLOCK_SIZE)));
    EXPECT_FALSE(IsWindowEnabled(p().item(IDC_IN_RATE)));
    EXPECT_EQ(L"1024", p().text(IDC_OUT_BLOCK_SIZE));
    EXPECT_EQ(L"22.05", p().text(IDC_OUT_RATE));
    expectSetUpReportedAChange(modified);
}

TEST_F(StreamPanelTest, EachChoiceTakesEffectAtOnce)
{
    open();
    const struct {
        int entry;
        float rate;
    } rates[] = {{1, 16000}, {3, 44100}, {2, 22050}, {0, 11025}};
    for (const auto& r : rates) {
        long modified = h.core().modifiedCount();
        p().selectCombo(IDC_OUT_RATE, r.entry);
        EXPECT_EQ(r.rate, h.savedFloats()[L"Out Frequency"]) << "entry " << r.entry;
        EXPECT_EQ(std::to_wstring(long(r.rate)), propsOf(h.outputProps(pin))[L"SamplesPerSecond"]);
        EXPECT_EQ(modified + 1, h.core().modifiedCount());
        EXPECT_EQ(1, h.core().lastModifiedFlag());
    }
    p().selectCombo(IDC_OUT_BLOCK_SIZE, 2);
    EXPECT_EQ(512, h.outputSize(pin));
    EXPECT_EQ(512, h.savedFloats()[L"Out Blocksize"]);
    // "16.0" restarts the ring: a block waiting before the choice is not sent.
    p().selectCombo(IDC_OUT_BLOCK_SIZE, 0);
    step(ramp(64, 0), 11025);
    p().selectCombo(IDC_OUT_RATE, 1);
    EXPECT_FALSE(step(ramp(64, 64), 11025)) << "128 x 11025 / 16000 = 88 samples are needed";
    auto out = step(ramp(64, 128), 11025);
    ASSERT_TRUE(out);
    EXPECT_FLOAT_EQ(64.0f, (*out)[0]) << "the block waiting before the choice was dropped";
}

TEST_F(StreamPanelTest, RefreshShowsTheInputWithoutReportingAChange)
{
    open();
    step(randomBlock(300, 1), 8000);
    long modified = h.core().modifiedCount();
    ASSERT_EQ(S_OK, p().refresh());
    EXPECT_EQ(L"300", p().text(IDC_IN_BLOCK_SIZE));
    EXPECT_EQ(L"8000", p().text(IDC_IN_RATE));
    EXPECT_EQ(modified, h.core().modifiedCount());
    EXPECT_EQ(0, h.core().updateDepth());
}

} // namespace
