// The SignalW generator in its real server DLL: pacing against the engine's manual clock, the
// waveforms, the "Frequency" input, its settings, and its panel driven through real controls.
#include <initguid.h>
#include "module_test.h"
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include "tonegen/controls.h"
#include "tonegen_idl.h"

using vento::SettingsStore;

namespace {

constexpr wchar_t dll[] = L"tonegen.dll";
constexpr wchar_t out[] = L"Default";
constexpr wchar_t frequencyIn[] = L"Frequency";
enum {
    Frequency = IDC_FREQUENCY,
    Amplitude = IDC_AMPLITUDE,
    Sync = IDC_SYNC_TO_BLOCK,
    BlockSize = IDC_BLOCK_SIZE,
    SampleRate = IDC_SAMPLE_RATE,
    FrequencyValue = IDC_FREQUENCY_VALUE,
    AmplitudeValue = IDC_AMPLITUDE_VALUE,
    Shape = IDC_SHAPE
};
enum { Sine = 0, Square = 1, Impulse = 2, White = 4 };

// The single-precision turn the generator works with: 6.28318, not 2 pi.
const float twoPi = std::bit_cast<float>(std::uint32_t{0x40C90FD0});

LONGLONG counterFrequency()
{
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return f.QuadPart;
}

LONGLONG ticksPerBlock(long blockSize, long sampleRate) { return blockSize * counterFrequency() / sampleRate; }

// The radians per sample that `hertz` gives at `sampleRate`.
float stepFor(float hertz, long sampleRate) { return hertz * twoPi / static_cast<float>(sampleRate); }

class SignalWTest : public vento::test::ModuleTest {
protected:
    SignalWTest() : ModuleTest(dll, CLSID_SignalWModule) {}

    // What SaveSettings writes now.
    std::map<std::wstring, float> saved() { return h.savedFloats(); }
    // LoadSettings from a store holding the initial settings changed by `changes`.
    HRESULT load(const std::map<std::wstring, float>& changes)
    {
        std::map<std::wstring, float> values{{L"Amp", 0.5f}, {L"Freq", stepFor(516.796875f, 11025)}, {L"Phase", 0.0f},
                                             {L"Shape", 0.0f}, {L"SampleRate", 11025.0f}, {L"BlockSize", 128.0f}};
        for (const auto& [name, value] : changes) values[name] = value;
        ComPtr<SettingsStore> store = modkit::make<SettingsStore>();
        for (const auto& [name, value] : values) store->setFloat(name, value);
        return h.module()->LoadSettings(store.Get());
    }
    // The next block, whatever its pacing: the clock moves on by more than any block lasts.
    const std::vector<float>& nextBlock()
    {
        h.clock().advance(ticksPerBlock(4096, 11025));
        long before = h.sendCount(out);
        EXPECT_EQ(S_OK, h.process());
        EXPECT_EQ(before + 1, h.sendCount(out));
        return h.lastSent(out).data;
    }

};

// --- identity, pins and document ---------------------------------------------------------------

TEST_F(SignalWTest, PublishesAnAudioOutputFromInitializeOn)
{
    EXPECT_EQ(128, h.outputSize(out));
    EXPECT_NO_THROW(h.inputSlot(frequencyIn));
    // The document exists from Initialize on, before any block.
    auto props = propsOf(h.outputProps(out));
    EXPECT_EQ(L"11025", props[L"SamplesPerSecond"]);
    EXPECT_EQ(L"Audio", props[L"Type"]);
    EXPECT_EQ(L"-1,1", props[L"Range"]);
}

// --- pacing ------------------------------------------------------------------------------------

TEST_F(SignalWTest, ABlockIsDueOnlyWhenTheClockIsStrictlyPastItsTime)
{
    const LONGLONG t0 = 5'000'000, tick = ticksPerBlock(128, 11025);
    h.clock().set(t0);
    ASSERT_EQ(S_OK, h.module()->Start());
    ASSERT_EQ(S_OK, h.process()); // re-anchors at t0
    EXPECT_EQ(0, h.sendCount(out));
    h.clock().set(t0 + tick);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(0, h.sendCount(out)) << "exactly one block later is not yet due";
    h.clock().set(t0 + tick + 1);
    ASSERT_EQ(S_OK, h.process());
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(1, h.sendCount(out)) << "two calls at the same reading give one block";
    h.clock().set(t0 + 2 * tick);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(1, h.sendCount(out)) << "the next block is timed from the due time, not the call";
    h.clock().set(t0 + 2 * tick + 1);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(2, h.sendCount(out));
}

TEST_F(SignalWTest, ALateEngineCatchesUpOneBlockPerCall)
{
    const LONGLONG t0 = 1'000'000, tick = ticksPerBlock(128, 11025);
    h.clock().set(t0);
    ASSERT_EQ(S_OK, h.module()->Start());
    ASSERT_EQ(S_OK, h.process());
    h.clock().set(t0 + 5 * tick + 1); // five blocks late
    for (int call = 1; call <= 7; ++call) {
        ASSERT_EQ(S_OK, h.process());
        EXPECT_EQ(std::min(call, 5), h.sendCount(out)) << "call " << call;
    }
    // Start again: pacing re-anchors on the next call, so the backlog is dropped.
    h.clock().set(t0 + 50 * tick);
    ASSERT_EQ(S_OK, h.module()->Start());
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(5, h.sendCount(out));
}

TEST_F(SignalWTest, BeforeAnyStartEveryCallGivesABlock)
{
    h.clock().set(3'000'000'000LL);
    for (int call = 1; call <= 4; ++call) {
        ASSERT_EQ(S_OK, h.process());
        EXPECT_EQ(call, h.sendCount(out));
    }
}

TEST_F(SignalWTest, EngineFailuresEndProcessWithTheirResult)
{
    h.clock().set(1'000'000);
    h.failCall(SiteCall::GetTime, E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, h.process());
    h.failCall(SiteCall::GetOutputBlock, E_OUTOFMEMORY);
    EXPECT_EQ(E_OUTOFMEMORY, h.process());
    EXPECT_EQ(0, h.sendCount(out));
    EXPECT_EQ(S_OK, h.process());
    EXPECT_EQ(1, h.sendCount(out));
}

// --- waveforms ---------------------------------------------------------------------------------

TEST_F(SignalWTest, SineStartsAtZeroAndHoldsSixWholeCyclesPerBlock)
{
    const std::vector<float>& first = nextBlock();
    ASSERT_EQ(128u, first.size());
    EXPECT_EQ(0.0f, first[0]);
    // Within the rounding of single-precision phase steps and of the turn 6.28318.
    const double step = 37.69908 / 128;
    for (int j = 0; j < 128; ++j) ASSERT_NEAR(0.5 * std::sin(j * step), first[j], 1e-4) << j;
    // The phase runs on across blocks: six cycles bring it back to the start.
    std::vector<float> copy = first;
    const std::vector<float>& second = nextBlock();
    for (int j = 0; j < 128; ++j) ASSERT_NEAR(copy[j], second[j], 1e-4) << j;
}

TEST_F(SignalWTest, SquareIsLowUntilThePhasePassesPiThenHigh)
{
    ASSERT_EQ(S_OK, load({{L"Shape", Square}}));
    const std::vector<float>& v = nextBlock();
    // 0.2945 radians a sample: past 3.14159 from sample 11, past one turn at sample 22.
    for (int j = 0; j <= 10; ++j) EXPECT_EQ(-0.5f, v[j]) << j;
    for (int j = 11; j <= 21; ++j) EXPECT_EQ(0.5f, v[j]) << j;
    EXPECT_EQ(-0.5f, v[22]);
    // Unused code 3 plays the square too.
    ASSERT_EQ(S_OK, load({{L"Shape", 3.0f}}));
    EXPECT_EQ(-0.5f, nextBlock()[0]);
}

TEST_F(SignalWTest, ImpulseSitsInTheMiddleAndIsClamped)
{
    const struct { float amp; float block; float peak; size_t at; } rows[] = {
        {0.5f, 128, 1.0f, 64}, {0.05f, 128, 0.5f, 64}, {0.5f, 256, 1.0f, 128}, {-0.5f, 128, -1.0f, 64}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "amplitude " << row.amp << ", block " << row.block);
        ASSERT_EQ(S_OK, load({{L"Shape", Impulse}, {L"Amp", row.amp}, {L"BlockSize", row.block}}));
        const std::vector<float>& v = nextBlock();
        ASSERT_EQ(size_t(row.block), v.size());
        for (size_t j = 0; j < v.size(); ++j) ASSERT_EQ(j == row.at ? row.peak : 0.0f, v[j]) << j;
    }
}

TEST_F(SignalWTest, FrequencyZeroIsDcOfTheAmplitudeExceptForNoise)
{
    for (float shape : {Sine, Square, Impulse}) {
        ASSERT_EQ(S_OK, load({{L"Shape", shape}, {L"Freq", 0.0f}, {L"Amp", -0.3f}}));
        for (float x : nextBlock()) ASSERT_EQ(-0.3f, x) << "shape " << shape;
    }
    ASSERT_EQ(S_OK, load({{L"Shape", White}, {L"Freq", 0.0f}, {L"Amp", 0.3f}}));
    const std::vector<float>& noise = nextBlock();
    EXPECT_NE(*std::min_element(noise.begin(), noise.end()), *std::max_element(noise.begin(), noise.end()));
}

TEST_F(SignalWTest, LoudSignalsAreClampedToPlusMinusOne)
{
    ASSERT_EQ(S_OK, load({{L"Amp", 3.0f}}));
    const std::vector<float>& sine = nextBlock();
    EXPECT_EQ(1.0f, *std::max_element(sine.begin(), sine.end()));
    EXPECT_EQ(-1.0f, *std::min_element(sine.begin(), sine.end()));
    ASSERT_EQ(S_OK, load({{L"Amp", 3.0f}, {L"Shape", White}}));
    const std::vector<float>& noise = nextBlock();
    EXPECT_EQ(1.0f, *std::max_element(noise.begin(), noise.end()));
    EXPECT_EQ(-1.0f, *std::min_element(noise.begin(), noise.end()));
}

TEST_F(SignalWTest, WhiteNoiseStaysInBoundsAndRestartsOnLoad)
{
    ASSERT_EQ(S_OK, load({{L"Shape", White}, {L"Amp", 0.25f}}));
    std::vector<float> first = nextBlock();
    std::vector<float> second = nextBlock();
    EXPECT_NE(first, second);
    double sum = 0;
    for (float x : first) {
        ASSERT_GE(x, -0.25f);
        ASSERT_LE(x, 0.25f);
        sum += x;
    }
    EXPECT_NEAR(0.0, sum / 128, 0.07);
    ASSERT_EQ(S_OK, load({{L"Shape", White}, {L"Amp", 0.25f}}));
    EXPECT_EQ(first, nextBlock()) << "the same sequence from the start";
}

// --- the "Frequency" input ---------------------------------------------------------------------

TEST_F(SignalWTest, FrequencyInputSetsThePhaseStep)
{
    h.feed(frequencyIn, {1000.0f});
    nextBlock();
    EXPECT_EQ(stepFor(1000.0f, 11025), saved()[L"Freq"]);
    // Blocks that carry no value leave it.
    h.feedNullRecord(frequencyIn);
    nextBlock();
    h.feedEmpty(frequencyIn);
    nextBlock();
    h.feed(frequencyIn, {NAN});
    nextBlock();
    EXPECT_EQ(stepFor(1000.0f, 11025), saved()[L"Freq"]);
    // Frequency 0 from the input: DC.
    h.feed(frequencyIn, {0.0f});
    for (float x : nextBlock()) ASSERT_EQ(0.5f, x);
}

TEST_F(SignalWTest, ThePhaseStaysWithinOneTurnForAnyFrequency)
{
    ASSERT_EQ(S_OK, load({{L"Shape", Square}}));
    for (float hertz : {-700.0f, 30000.0f, -123456.0f}) {
        h.feed(frequencyIn, {hertz});
        for (int block = 0; block < 20; ++block) {
            const std::vector<float>& v = nextBlock();
            bool low = std::find(v.begin(), v.end(), -0.5f) != v.end();
            bool high = std::find(v.begin(), v.end(), 0.5f) != v.end();
            ASSERT_TRUE(low && high) << hertz << " Hz, block " << block << ": still a square wave";
        }
        float phase = saved()[L"Phase"];
        EXPECT_GE(phase, 0.0f) << hertz << " Hz";
        EXPECT_LE(phase, twoPi) << hertz << " Hz";
    }
}

// --- settings ----------------------------------------------------------------------------------

TEST_F(SignalWTest, SavesSixNumbersInOrder)
{
    nextBlock(); // the phase moves on from 0
    ComPtr<SettingsStore> store = modkit::make<SettingsStore>();
    ASSERT_EQ(S_OK, h.module()->SaveSettings(store.Get()));
    using W = SettingsStore::Write;
    const auto F = SettingsStore::Kind::Float;
    EXPECT_EQ((std::vector<W>{{F, L"Amp"}, {F, L"Freq"}, {F, L"Phase"}, {F, L"Shape"}, {F, L"SampleRate"}, {F, L"BlockSize"}}),
              store->writes());
    EXPECT_EQ(0.5f, *store->floatValue(L"Amp"));
    EXPECT_EQ(37.69908f / 128, *store->floatValue(L"Freq"));
    // Six whole turns: back at the start of a turn (or a rounding short of its end).
    float phase = *store->floatValue(L"Phase");
    EXPECT_LT(std::min(phase, twoPi - phase), 1e-4f) << phase;
    EXPECT_EQ(11025.0f, *store->floatValue(L"SampleRate"));
    EXPECT_EQ(128.0f, *store->floatValue(L"BlockSize"));
}

TEST_F(SignalWTest, LoadTakesWhatItCanAndIgnoresImpossibleSizes)
{
    ASSERT_EQ(S_OK, load({{L"Amp", 0.8f}, {L"Freq", 0.5f}, {L"Shape", 2.0f}, {L"Phase", 3.0f},
                          {L"BlockSize", 0.0f}, {L"SampleRate", 0.0f}}));
    auto s = saved();
    EXPECT_EQ(0.8f, s[L"Amp"]);
    EXPECT_EQ(0.5f, s[L"Freq"]);
    EXPECT_EQ(2.0f, s[L"Shape"]);
    EXPECT_EQ(0.0f, s[L"Phase"]) << "the phase is not loaded";
    EXPECT_EQ(128.0f, s[L"BlockSize"]);
    EXPECT_EQ(11025.0f, s[L"SampleRate"]);
    ASSERT_EQ(S_OK, load({{L"BlockSize", -64.0f}, {L"SampleRate", NAN}, {L"Shape", 1e20f}}));
    s = saved();
    EXPECT_EQ(128.0f, s[L"BlockSize"]);
    for (float huge : {1048577.0f, 2147483520.0f}) {
        ASSERT_EQ(S_OK, load({{L"BlockSize", huge}}));
        EXPECT_EQ(128.0f, saved()[L"BlockSize"]) << "more than 2^20 samples: no engine is asked for that";
    }
    ASSERT_EQ(S_OK, load({{L"BlockSize", 1048576.0f}}));
    EXPECT_EQ(1048576.0f, saved()[L"BlockSize"]);
    ASSERT_EQ(S_OK, load({{L"BlockSize", 128.0f}}));
    EXPECT_EQ(11025.0f, s[L"SampleRate"]);
    EXPECT_EQ(2.0f, s[L"Shape"]);
    // A missing value is the store's failure, and ends the load with it.
    ComPtr<SettingsStore> empty = modkit::make<SettingsStore>();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), h.module()->LoadSettings(empty.Get()));
}

TEST_F(SignalWTest, LoadedSizeAndRateReachPacingOutputAndDocument)
{
    ASSERT_EQ(S_OK, load({{L"BlockSize", 512.0f}, {L"SampleRate", 22050.0f}}));
    EXPECT_EQ(L"22050", propsOf(h.outputProps(out))[L"SamplesPerSecond"]) << "at once";
    const LONGLONG t0 = 7'000'000, tick = ticksPerBlock(512, 22050);
    h.clock().set(t0);
    ASSERT_EQ(S_OK, h.module()->Start());
    ASSERT_EQ(S_OK, h.process());
    h.clock().set(t0 + tick);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(0, h.sendCount(out));
    h.clock().set(t0 + tick + 1);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(512u, h.lastSent(out).data.size());
    EXPECT_EQ(L"22050", propsOf(h.lastSent(out).props)[L"SamplesPerSecond"]);
}

// --- the panel ---------------------------------------------------------------------------------

class SignalWPanelTest : public SignalWTest {
protected:
    void SetUp() override
    {
        SignalWTest::SetUp();
        modifiedBefore = h.core().modifiedCount();
        panel.emplace(h, dll, CLSID_SignalWModulePP);
    }
    void TearDown() override { panel.reset(); }
    PageHarness& p() { return *panel; }
    float shownFloat(int id) { return std::wcstof(p().text(id).c_str(), nullptr); }

    long modifiedBefore = 0;
    std::optional<PageHarness> panel;
};

TEST_F(SignalWPanelTest, OpensShowingTheModuleAndReportsNoChange)
{
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(p().dialog(), Sync));
    EXPECT_EQ(std::make_pair(0, 32), p().trackbarRange(Frequency));
    EXPECT_EQ(6, p().trackbarPosition(Frequency));
    EXPECT_NEAR(516.797, shownFloat(FrequencyValue), 0.01);
    EXPECT_EQ(std::make_pair(0, 100), p().trackbarRange(Amplitude));
    EXPECT_EQ(50, p().trackbarPosition(Amplitude));
    EXPECT_EQ(L"0.5", p().text(AmplitudeValue));
    EXPECT_EQ(L"Sine", p().text(Shape));
    EXPECT_EQ(L"128", p().text(BlockSize));
    EXPECT_EQ(L"11.025", p().text(SampleRate));
    EXPECT_EQ(modifiedBefore + 1, h.core().modifiedCount());
    EXPECT_EQ(0, h.core().lastModifiedFlag());
    EXPECT_EQ(0, h.core().updateDepth());
    // The shape list offers the four names in order.
    EXPECT_EQ(4, SendMessageW(p().item(Shape), CB_GETCOUNT, 0, 0));
    EXPECT_EQ(3, SendMessageW(p().item(SampleRate), CB_GETCOUNT, 0, 0));
    EXPECT_EQ(4, SendMessageW(p().item(BlockSize), CB_GETCOUNT, 0, 0));
}

TEST_F(SignalWPanelTest, SyncedSliderCountsWholeCyclesPerBlock)
{
    long begins = h.calls().count(SiteCall::BeginUpdate);
    p().moveTrackbar(Frequency, 12);
    EXPECT_EQ(begins + 1, h.calls().count(SiteCall::BeginUpdate));
    EXPECT_EQ(begins + 1, h.calls().count(SiteCall::EndUpdate));
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    EXPECT_EQ(L"1033.59375", p().text(FrequencyValue));
    EXPECT_EQ(stepFor(1033.59375f, 11025), saved()[L"Freq"]);
    p().moveTrackbar(Frequency, 6);
    EXPECT_EQ(L"516.796875", p().text(FrequencyValue));
    EXPECT_EQ(stepFor(516.796875f, 11025), saved()[L"Freq"]);
}

TEST_F(SignalWPanelTest, UnsyncedSliderCountsTenthsOfAHertz)
{
    p().click(Sync); // off: 6 cycles = 516.8 Hz, up to the next whole hertz
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(p().dialog(), Sync));
    EXPECT_EQ(std::make_pair(0, 27562), p().trackbarRange(Frequency));
    EXPECT_EQ(5170, p().trackbarPosition(Frequency));
    EXPECT_EQ(L"517", p().text(FrequencyValue));
    EXPECT_EQ(stepFor(517.0f, 11025), saved()[L"Freq"]);
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    p().moveTrackbar(Frequency, 4405);
    EXPECT_EQ(L"440.5", p().text(FrequencyValue));
    EXPECT_EQ(stepFor(440.5f, 11025), saved()[L"Freq"]);
    // Touching the amplitude keeps the tenths (the frequency slider is read back too).
    p().moveTrackbar(Amplitude, 20);
    EXPECT_EQ(stepFor(440.5f, 11025), saved()[L"Freq"]);
    EXPECT_EQ(0.2f, saved()[L"Amp"]);
    // On again: 440.5 Hz is 5.11 cycles, up to 6.
    p().click(Sync);
    EXPECT_EQ(std::make_pair(0, 32), p().trackbarRange(Frequency));
    EXPECT_EQ(6, p().trackbarPosition(Frequency));
    EXPECT_EQ(stepFor(516.796875f, 11025), saved()[L"Freq"]);
}

TEST_F(SignalWPanelTest, AmplitudeGoesNegativeOnlyAtFrequencyZero)
{
    p().moveTrackbar(Frequency, 0);
    EXPECT_EQ(std::make_pair(-100, 100), p().trackbarRange(Amplitude));
    p().moveTrackbar(Amplitude, -30);
    EXPECT_EQ(L"-0.3", p().text(AmplitudeValue));
    for (float x : nextBlock()) ASSERT_EQ(-0.3f, x);
    p().moveTrackbar(Frequency, 3);
    EXPECT_EQ(std::make_pair(0, 100), p().trackbarRange(Amplitude));
    EXPECT_EQ(30, p().trackbarPosition(Amplitude));
    EXPECT_EQ(0.3f, saved()[L"Amp"]);
}

TEST_F(SignalWPanelTest, ShapeListSetsTheWaveformCode)
{
    const int codes[] = {Sine, Square, Impulse, White};
    for (int index : {3, 2, 1, 0}) {
        long modified = h.core().modifiedCount();
        p().selectCombo(Shape, index);
        EXPECT_EQ(float(codes[index]), saved()[L"Shape"]) << "entry " << index;
        EXPECT_EQ(modified + 1, h.core().modifiedCount());
        EXPECT_EQ(1, h.core().lastModifiedFlag());
    }
    p().moveTrackbar(Amplitude, 5);
    p().selectCombo(Shape, 2);
    EXPECT_EQ(0.5f, nextBlock()[64]) << "impulse of 10 x 0.05";
}

TEST_F(SignalWPanelTest, SampleRateListSetsTheRateAndTheDocumentAtOnce)
{
    p().selectCombo(SampleRate, 2);
    EXPECT_EQ(44100.0f, saved()[L"SampleRate"]);
    EXPECT_EQ(L"44100", propsOf(h.outputProps(out))[L"SamplesPerSecond"]);
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    // The frequency in hertz stays; the slider shows it in cycles of the new rate.
    float hertz = shownFloat(FrequencyValue);
    EXPECT_EQ(stepFor(hertz, 44100), saved()[L"Freq"]);
    EXPECT_EQ(2, p().trackbarPosition(Frequency)); // 516.8 x 128 / 44100 = 1.5
    p().selectCombo(SampleRate, 0);
    EXPECT_EQ(11025.0f, saved()[L"SampleRate"]);
    p().selectCombo(SampleRate, 1);
    EXPECT_EQ(22050.0f, saved()[L"SampleRate"]);
    // A frequency typed into the box is taken by the next list choice.
    SetDlgItemTextW(p().dialog(), FrequencyValue, L"2000");
    p().selectCombo(SampleRate, 2);
    EXPECT_EQ(stepFor(2000.0f, 44100), saved()[L"Freq"]);
}

TEST_F(SignalWPanelTest, BlockSizeReachesOutputAndPacingAtTheNextBlock)
{
    float stepBefore = saved()[L"Freq"];
    p().selectCombo(BlockSize, 2);
    EXPECT_EQ(512.0f, saved()[L"BlockSize"]);
    EXPECT_EQ(stepBefore, saved()[L"Freq"]) << "hertz stay, cycles per block change";
    EXPECT_EQ(std::make_pair(0, 128), p().trackbarRange(Frequency));
    EXPECT_EQ(24, p().trackbarPosition(Frequency)); // 516.8 x 512 / 11025 = 24.0
    EXPECT_EQ(128, h.outputSize(out)) << "not before the next block";
    const LONGLONG t0 = 2'000'000;
    h.clock().set(t0);
    ASSERT_EQ(S_OK, h.module()->Start());
    ASSERT_EQ(S_OK, h.process());
    h.clock().set(t0 + ticksPerBlock(512, 11025) + 1);
    ASSERT_EQ(S_OK, h.process());
    ASSERT_EQ(1, h.sendCount(out));
    EXPECT_EQ(512u, h.lastSent(out).data.size());
    h.clock().set(t0 + 2 * ticksPerBlock(512, 11025));
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(1, h.sendCount(out));
    h.clock().set(t0 + 2 * ticksPerBlock(512, 11025) + 1);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(2, h.sendCount(out));
}

TEST_F(SignalWPanelTest, RefreshFollowsTheModuleWithoutReportingAChange)
{
    p().moveTrackbar(Amplitude, 5);
    h.feed(frequencyIn, {1033.59375f});
    nextBlock();
    ASSERT_EQ(S_OK, load({{L"Freq", stepFor(1033.59375f, 11025)}, {L"Amp", 0.05f}, {L"Shape", White}, {L"BlockSize", 1024.0f}}));
    long modified = h.core().modifiedCount();
    long begins = h.calls().count(SiteCall::BeginUpdate);
    ASSERT_EQ(S_OK, p().refresh());
    EXPECT_EQ(begins + 1, h.calls().count(SiteCall::BeginUpdate));
    EXPECT_EQ(modified, h.core().modifiedCount());
    EXPECT_EQ(L"White", p().text(Shape));
    EXPECT_EQ(L"1024", p().text(BlockSize));
    EXPECT_EQ(std::make_pair(0, 256), p().trackbarRange(Frequency));
    EXPECT_EQ(96, p().trackbarPosition(Frequency)); // 12 cycles of 128 are 96 of 1024
    EXPECT_NEAR(1033.59, shownFloat(FrequencyValue), 0.01);
    EXPECT_EQ(5, p().trackbarPosition(Amplitude)) << "0.05 shows as 5, not 4";
    EXPECT_EQ(L"0.05", p().text(AmplitudeValue));
    // Frequency 0 from the input opens the negative amplitude range.
    h.feed(frequencyIn, {0.0f});
    nextBlock();
    ASSERT_EQ(S_OK, p().refresh());
    EXPECT_EQ(std::make_pair(-100, 100), p().trackbarRange(Amplitude));
    EXPECT_EQ(L"0", p().text(FrequencyValue));
}

} // namespace
