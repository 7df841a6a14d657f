// The FIR module in its real server DLL: what it filters with (checked against the design of its
// own settings, run in double precision from a delay line of 0.01), what rebuilds it, the input
// rates and stored settings it refuses, and its panel driven through real controls.
#include <initguid.h>
#include "module_test.h"
#include <cmath>
#include <map>
#include "failing_allocations.h"
#include "nsp.h"
#include "tapfilter/controls.h"
#include "tapfilter_idl.h"

using vento::SettingsStore;

namespace {

constexpr wchar_t dll[] = L"tapfilter.dll";
constexpr wchar_t pin[] = L"Default";

std::wstring rateDocument(const std::wstring& rate)
{
    return L"<PROPS><Type>Audio</Type><SamplesPerSecond>" + rate + L"</SamplesPerSecond></PROPS>";
}
const std::wstring at11025 = rateDocument(L"11025");

// The coefficients the module should filter with: its design (Hamming window, normalised), in
// single precision.
std::vector<float> design(long type, double low, double high, int taps)
{
    std::vector<double> h(static_cast<size_t>(taps), 0.0);
    if (type == 2) nspdFirHighpass(high, h.data(), taps, NSP_WinHamming, 1);
    else if (type == 3) nspdFirBandpass(low, high, h.data(), taps, NSP_WinHamming, 1);
    else nspdFirLowpass(high, h.data(), taps, NSP_WinHamming, 1);
    return std::vector<float>(h.begin(), h.end());
}

// x filtered by h in double precision, every sample before x taken as 0.01.
std::vector<double> filtered(const std::vector<float>& h, const std::vector<float>& x)
{
    std::vector<double> y(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        for (size_t k = 0; k < h.size(); ++k) y[i] += double(h[k]) * (k <= i ? double(x[i - k]) : 0.01);
    return y;
}

class FIRTest : public vento::test::ModuleTest {
protected:
    FIRTest() : ModuleTest(dll, CLSID_FIRModule) {}

    // Feeds the blocks one by one; returns the outputs, one after the other.
    std::vector<float> run(const std::vector<std::vector<float>>& blocks, const std::wstring& props = at11025)
    {
        std::vector<float> y;
        for (const auto& block : blocks) {
            h.feed(pin, block, props);
            EXPECT_EQ(S_OK, h.process());
            const vento::test::SentBlock& sent = h.lastSent(pin);
            EXPECT_EQ(block.size(), sent.data.size()) << "the output has the input's length";
            y.insert(y.end(), sent.data.begin(), sent.data.end());
        }
        return y;
    }
    // Checks that `got` is `x` filtered by `coefficients` from a fresh delay line.
    void expectFiltered(const std::vector<float>& coefficients, const std::vector<float>& x, const std::vector<float>& got)
    {
        ASSERT_EQ(x.size(), got.size());
        const std::vector<double> want = filtered(coefficients, x);
        for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(want[i], got[i], 1e-5) << "sample " << i;
    }
    std::map<std::wstring, float> saved() { return h.savedFloats(); }
    HRESULT load(const std::map<std::wstring, float>& values)
    {
        ComPtr<SettingsStore> store = modkit::make<SettingsStore>();
        for (const auto& [name, value] : values) store->setFloat(name, value);
        return h.module()->LoadSettings(store.Get());
    }
    // What SaveSettings writes, to within float rounding (cut-offs travel through hertz in the panel).
    void expectSaved(float high, float low, float type, float taps)
    {
        std::map<std::wstring, float> s = saved();
        ASSERT_EQ(4u, s.size());
        EXPECT_FLOAT_EQ(high, s[L"High"]);
        EXPECT_FLOAT_EQ(low, s[L"Low"]);
        EXPECT_EQ(type, s[L"Type"]);
        EXPECT_EQ(taps, s[L"Taps"]);
    }

};

TEST_F(FIRTest, StartsAsA20TapLowPassAtPoint49RunningOnAcrossBlocks)
{
    expectSaved(0.49f, 0.001f, 1, 20);
    const std::vector<float> x = randomBlock(466, 1);
    // Blocks of any length, the filter running on from one to the next.
    std::vector<std::vector<float>> blocks{{x.begin(), x.begin() + 128}, {x.begin() + 128, x.begin() + 165},
                                           {x.begin() + 165, x.begin() + 166}, {x.begin() + 166, x.end()}};
    expectFiltered(design(1, 0, 0.49f, 20), x, run(blocks));
}

TEST_F(FIRTest, SilenceAfterEveryRebuildHearsTheDelayLineOf001)
{
    const std::vector<float> h20 = design(1, 0, 0.49f, 20);
    for (int rebuild = 0; rebuild < 2; ++rebuild) {
        const std::vector<float> y = run({std::vector<float>(40, 0.0f)});
        for (size_t i = 0; i < 19; ++i) {
            double tail = 0;
            for (size_t k = i + 1; k < 20; ++k) tail += 0.01 * h20[k];
            ASSERT_NEAR(tail, y[i], 1e-6) << "sample " << i;
            ASSERT_NE(0.0f, y[i]);
        }
        for (size_t i = 19; i < 40; ++i) ASSERT_EQ(0.0f, y[i]) << "sample " << i;
        ASSERT_EQ(S_OK, load({{L"Taps", 20}, {L"High", 0.49f}, {L"Low", 0.001f}, {L"Type", 1}}));
    }
}

TEST_F(FIRTest, ANewInputRateKeepsTheCutOffsInHertzUpTo049)
{
    ASSERT_EQ(S_OK, load({{L"Taps", 30}, {L"High", 0.3f}, {L"Low", 0.1f}, {L"Type", 3}}));
    const std::vector<float> x = randomBlock(200, 2);
    // 11025 to 22050: both halve, and the filter starts again from the delay line.
    const float high = 11025.0f * 0.3f / 22050.0f, low = 11025.0f * 0.1f / 22050.0f;
    expectFiltered(design(3, low, high, 30), x, run({x}, rateDocument(L"22050")));
    expectSaved(0.15f, 0.05f, 3, 30);
    // 22050 to 5000: 0.15 would become 0.66, above what any filter passes: it stays at 0.49.
    run({x}, rateDocument(L"5000"));
    expectSaved(0.49f, 22050.0f * low / 5000.0f, 3, 30);
}

TEST_F(FIRTest, AnInputRateThatIsNoRateLeavesFilterAndRateAlone)
{
    const std::vector<float> x = randomBlock(600, 3);
    std::vector<std::vector<float>> blocks;
    for (int b = 0; b < 6; ++b) blocks.emplace_back(x.begin() + 100 * b, x.begin() + 100 * (b + 1));
    // A rebuild would restart the delay line: the output would not be the filtered whole.
    std::vector<float> y = run({blocks[0]});
    const std::wstring unusable[] = {L"<PROPS><Type>Audio</Type></PROPS>", rateDocument(L""), rateDocument(L"fast"),
                                     rateDocument(L"0"), rateDocument(L"-22050")};
    for (size_t b = 1; b < 6; ++b) {
        std::vector<float> more = run({blocks[b]}, unusable[b - 1]);
        y.insert(y.end(), more.begin(), more.end());
    }
    expectFiltered(design(1, 0, 0.49f, 20), x, y);
    expectSaved(0.49f, 0.001f, 1, 20);
    // The panel still has a rate to show hertz with.
    PageHarness panel(h, dll, CLSID_FIRModulePP);
    EXPECT_EQ(L"5402.25", panel.text(IDC_CUTOFF_VALUE));
}

TEST_F(FIRTest, StoredSettingsWithoutAUsableTapsOrTypeAreIgnoredWhole)
{
    const std::vector<float> x = randomBlock(300, 4);
    std::vector<float> y = run({{x.begin(), x.begin() + 100}});
    const std::map<std::wstring, float> refused[] = {
        {{L"Taps", 0}, {L"High", 0.2f}, {L"Low", 0.1f}, {L"Type", 3}},
        {{L"Taps", -5}, {L"High", 0.2f}, {L"Low", 0.1f}, {L"Type", 3}},
        {{L"Taps", 1001}, {L"High", 0.2f}, {L"Low", 0.1f}, {L"Type", 3}},
        {{L"Taps", NAN}, {L"High", 0.2f}, {L"Low", 0.1f}, {L"Type", 3}},
        {{L"Taps", 40}, {L"High", 0.2f}, {L"Low", 0.1f}, {L"Type", 0}},
        {{L"Taps", 40}, {L"High", 0.2f}, {L"Low", 0.1f}, {L"Type", 4}},
        {{L"Taps", 40}, {L"High", 0.2f}, {L"Low", 0.1f}, {L"Type", NAN}},
        {{L"Taps", 0}}, // "Taps" first: nothing else is asked for
    };
    for (const auto& values : refused) ASSERT_EQ(S_OK, load(values));
    std::vector<float> more = run({{x.begin() + 100, x.end()}});
    y.insert(y.end(), more.begin(), more.end());
    expectFiltered(design(1, 0, 0.49f, 20), x, y);
    expectSaved(0.49f, 0.001f, 1, 20);
    // A store without "Taps" fails the load with the store's own failure.
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), load({{L"High", 0.2f}}));
}

TEST_F(FIRTest, StoredFiltersOfEveryKindAreBuiltAsDesigned)
{
    const std::vector<float> x = randomBlock(256, 5);
    const struct { float type, low, high, taps; } rows[] = {{1, 0.001f, 0.1f, 5}, {2, 0.001f, 0.3f, 20}, {2, 0.001f, 0.25f, 21},
                                                           {3, 0.05f, 0.15f, 60}, {3, 0.2f, 0.3f, 1000}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << "type " << r.type << ", " << r.taps << " taps");
        ASSERT_EQ(S_OK, load({{L"Taps", r.taps}, {L"High", r.high}, {L"Low", r.low}, {L"Type", r.type}}));
        expectSaved(r.high, r.low, r.type, r.taps);
        expectFiltered(design(long(r.type), r.low, r.high, int(r.taps)), x, run({x}));
    }
}

TEST_F(FIRTest, StoredCutOffsOutsideHalfTheRateAreBroughtInside)
{
    ASSERT_EQ(S_OK, load({{L"Taps", 20}, {L"High", 0.7f}, {L"Low", -1.0f}, {L"Type", 3}}));
    expectSaved(0.499f, 0.001f, 3, 20);
    // Not a number: the cut-off stays as it was.
    ASSERT_EQ(S_OK, load({{L"Taps", 20}, {L"High", NAN}, {L"Low", 0.25f}, {L"Type", 3}}));
    expectSaved(0.499f, 0.25f, 3, 20);
}

// Out of memory while a new filter is designed: the load fails with E_OUTOFMEMORY and the module
// keeps filtering with the filter it had, saving the settings it had.
TEST_F(FIRTest, ARebuildThatRunsOutOfMemoryKeepsTheFilterItHad)
{
    const std::vector<float> x = randomBlock(300, 8);
    std::vector<float> y = run({{x.begin(), x.begin() + 100}});
    {
        // 900 taps need buffers of several kilobytes; nothing else the load asks for is that large.
        vento::test::FailingAllocations noMemory(dll, 2048);
        EXPECT_EQ(E_OUTOFMEMORY, load({{L"Taps", 900}, {L"High", 0.2f}, {L"Low", 0.1f}, {L"Type", 3}}));
        EXPECT_GT(noMemory.refused(), 0);
    }
    expectSaved(0.49f, 0.001f, 1, 20);
    std::vector<float> more = run({{x.begin() + 100, x.end()}});
    y.insert(y.end(), more.begin(), more.end());
    expectFiltered(design(1, 0, 0.49f, 20), x, y);
}

TEST_F(FIRTest, ABandWithNoWidthPassesNothing)
{
    ASSERT_EQ(S_OK, load({{L"Taps", 20}, {L"High", 0.2f}, {L"Low", 0.3f}, {L"Type", 3}}));
    for (float v : run({randomBlock(100, 6)})) ASSERT_EQ(0.0f, v);
}

TEST_F(FIRTest, EngineFailuresEndProcessWithTheirResult)
{
    for (SiteCall call : {SiteCall::GetInputBlock, SiteCall::GetOutputBlock, SiteCall::AddOutput, SiteCall::SendOutput}) {
        h.feed(pin, randomBlock(64, 7), at11025);
        h.failCall(call, E_OUTOFMEMORY);
        EXPECT_EQ(E_OUTOFMEMORY, h.process()) << call;
    }
}

// --- the panel ---------------------------------------------------------------------------------

class FIRPanelTest : public FIRTest {
protected:
    void open() { panel.emplace(h, dll, CLSID_FIRModulePP); }
    void TearDown() override { panel.reset(); }
    PageHarness& p() { return *panel; }
    bool shown(int id) { return (GetWindowLongW(p().item(id), GWL_STYLE) & WS_VISIBLE) != 0; }
    // Types `text` into an edit; the next handler reads it.
    void type(int id, const wchar_t* text) { SetDlgItemTextW(p().dialog(), id, text); }

    std::optional<PageHarness> panel;
};

TEST_F(FIRPanelTest, OpensAsALowPassWithTheCutOffAt98)
{
    open();
    ASSERT_EQ(3, SendMessageW(p().item(IDC_FILTER_TYPE), CB_GETCOUNT, 0, 0)) << "the list from the dialog's initial data";
    const wchar_t* names[] = {L"Low Pass", L"High Pass", L"Band Pass"};
    for (int i = 0; i < 3; ++i) {
        wchar_t text[32] = {};
        SendMessageW(p().item(IDC_FILTER_TYPE), CB_GETLBTEXT, i, LPARAM(text));
        EXPECT_STREQ(names[i], text);
    }
    EXPECT_EQ(L"Low Pass", p().text(IDC_FILTER_TYPE));
    EXPECT_EQ(std::make_pair(1, 99), p().trackbarRange(IDC_CUTOFF));
    EXPECT_EQ(98, p().trackbarPosition(IDC_CUTOFF));
    EXPECT_EQ(L"5402.25", p().text(IDC_CUTOFF_VALUE));
    EXPECT_EQ(std::make_pair(5, 100), p().trackbarRange(IDC_TAPS));
    EXPECT_EQ(20, p().trackbarPosition(IDC_TAPS));
    EXPECT_EQ(L"20", p().text(IDC_TAPS_VALUE));
    EXPECT_FALSE(shown(IDC_LOW));
    EXPECT_FALSE(shown(IDC_LOW_VALUE));
    EXPECT_EQ(L"", p().text(IDC_LOW_LABEL));
    EXPECT_EQ(L"Frequency", p().text(IDC_CUTOFF_LABEL));
    // Opening rebuilt the filter: the engine is told of a change, and nothing is held open.
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    EXPECT_EQ(0, h.core().updateDepth());
    expectSaved(0.49f, 0.001f, 1, 20);
}

TEST_F(FIRPanelTest, BandPassShowsTheLowSliderAndPutsTheBandOnTheSliders)
{
    open();
    p().selectCombo(IDC_FILTER_TYPE, 2);
    EXPECT_TRUE(shown(IDC_LOW));
    EXPECT_TRUE(shown(IDC_LOW_VALUE));
    EXPECT_EQ(L"Low", p().text(IDC_LOW_LABEL));
    EXPECT_EQ(L"High", p().text(IDC_CUTOFF_LABEL));
    EXPECT_EQ(std::make_pair(1, 98), p().trackbarRange(IDC_LOW));
    EXPECT_EQ(std::make_pair(2, 99), p().trackbarRange(IDC_CUTOFF));
    EXPECT_EQ(98, p().trackbarPosition(IDC_CUTOFF));
    EXPECT_EQ(1, p().trackbarPosition(IDC_LOW)) << "11 Hz is below the slider's first step";
    EXPECT_EQ(L"55.125", p().text(IDC_LOW_VALUE));
    expectSaved(0.49f, 0.005f, 3, 20);
    // Back to a low pass: the low slider goes.
    p().selectCombo(IDC_FILTER_TYPE, 0);
    EXPECT_FALSE(shown(IDC_LOW));
    EXPECT_EQ(L"Frequency", p().text(IDC_CUTOFF_LABEL));
    EXPECT_EQ(std::make_pair(1, 99), p().trackbarRange(IDC_CUTOFF));
}

TEST_F(FIRPanelTest, TheBandSlidersPushEachOtherAndEveryMoveRebuilds)
{
    open();
    p().selectCombo(IDC_FILTER_TYPE, 2);
    p().moveTrackbar(IDC_CUTOFF, 30);
    p().moveTrackbar(IDC_LOW, 30);
    EXPECT_EQ(31, p().trackbarPosition(IDC_CUTOFF)) << "the low edge pushed the high one up";
    p().moveTrackbar(IDC_CUTOFF, 10);
    EXPECT_EQ(9, p().trackbarPosition(IDC_LOW)) << "the high edge pushed the low one down";
    p().moveTrackbar(IDC_TAPS, 60);
    expectSaved(0.05f, 0.045f, 3, 60);
    EXPECT_EQ(L"551.25", p().text(IDC_CUTOFF_VALUE));
    EXPECT_EQ(L"60", p().text(IDC_TAPS_VALUE));
    const std::vector<float> x = randomBlock(300, 8);
    expectFiltered(design(3, 0.045f, 0.05f, 60), x, run({x}));
}

TEST_F(FIRPanelTest, TypedValuesCountWhenTheyCanAndCutOffsStayInsideHalfTheRate)
{
    open();
    type(IDC_CUTOFF_VALUE, L"6000"); // above half the rate
    type(IDC_TAPS_VALUE, L"5000");   // beyond the panel's taps
    p().selectCombo(IDC_FILTER_TYPE, 0);
    expectSaved(0.499f, 0.001f, 1, 20);
    EXPECT_EQ(L"5501.475", p().text(IDC_CUTOFF_VALUE)) << "the panel shows the cut-off in force";
    EXPECT_EQ(L"20", p().text(IDC_TAPS_VALUE));
    type(IDC_CUTOFF_VALUE, L"1102.5");
    type(IDC_TAPS_VALUE, L"33");
    p().selectCombo(IDC_FILTER_TYPE, 1);
    expectSaved(0.1f, 0.001f, 2, 33);
    type(IDC_CUTOFF_VALUE, L"nan");
    p().selectCombo(IDC_FILTER_TYPE, 1);
    expectSaved(0.1f, 0.001f, 2, 33);
    type(IDC_CUTOFF_VALUE, L"-3");
    p().selectCombo(IDC_FILTER_TYPE, 0);
    expectSaved(0.001f, 0.001f, 1, 33);
}

TEST_F(FIRPanelTest, PositionsAreCutOffNotRounded)
{
    // 0.1234 of the rate is position 24.68: the slider shows 24. A high pass opens with its low
    // edge on the cut-off.
    ASSERT_EQ(S_OK, load({{L"Taps", 20}, {L"High", 0.1234f}, {L"Low", 0.01f}, {L"Type", 2}}));
    open();
    EXPECT_EQ(L"High Pass", p().text(IDC_FILTER_TYPE));
    EXPECT_EQ(24, p().trackbarPosition(IDC_CUTOFF));
    EXPECT_EQ(24, p().trackbarPosition(IDC_LOW));
    expectSaved(0.1234f, 0.1234f, 2, 20);
}

} // namespace
