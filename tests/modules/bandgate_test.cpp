// The Filter module in its real server DLL, with its panel driven through real controls.
#include <initguid.h>
#include "module_test.h"
#include "bandgate/controls.h"
#include "bandgate_idl.h"

namespace {

constexpr wchar_t dll[] = L"bandgate.dll";
constexpr wchar_t pin[] = L"Default";

// A spectrum of `bins` bins, every value 1.
std::vector<float> flatSpectrum(int bins) { return std::vector<float>(2 * bins, 1.0f); }

class FilterModuleTest : public vento::test::ModuleTest {
protected:
    FilterModuleTest() : ModuleTest(dll, CLSID_FilterModule) {}
    // The gain each bin got, read from the filtered flat spectrum (both parts must agree).
    std::vector<float> gains(int bins)
    {
        h.feed(pin, flatSpectrum(bins));
        EXPECT_EQ(S_OK, h.process());
        const auto& out = h.lastSent(pin).data;
        std::vector<float> g;
        for (int i = 0; i < bins; ++i) {
            EXPECT_EQ(out[2 * i], out[2 * i + 1]);
            g.push_back(out[2 * i]);
        }
        return g;
    }
};

TEST_F(FilterModuleTest, InitialBandPassesA65BinSpectrumUnchanged)
{
    for (float g : gains(65)) ASSERT_EQ(1.0f, g);
    // Beyond bin 64 the ramp of one bin closes at once.
    std::vector<float> g = gains(80);
    EXPECT_EQ(1.0f, g[64]);
    EXPECT_EQ(0.0f, g[65]);
}

TEST_F(FilterModuleTest, RampsFallLinearlyOnBothSides)
{
    PageHarness panel(h, dll, CLSID_FilterModulePP);
    for (auto [slider, position] : {std::pair{IDC_HIGH_CUT, 20}, {IDC_LOW_CUT, 10}, {IDC_RAMP, 4}})
        panel.moveTrackbar(slider, position);
    std::vector<float> g = gains(65);
    EXPECT_EQ(0.0f, g[6]);
    EXPECT_EQ(0.25f, g[7]);
    EXPECT_EQ(0.75f, g[9]);
    for (int i = 10; i <= 20; ++i) EXPECT_EQ(1.0f, g[i]) << "bin " << i;
    EXPECT_EQ(0.5f, g[22]);
    EXPECT_EQ(0.0f, g[24]);
    EXPECT_EQ(0.0f, g[64]);
}

TEST_F(FilterModuleTest, CutSlidersPushEachOther)
{
    PageHarness panel(h, dll, CLSID_FilterModulePP);
    panel.moveTrackbar(IDC_HIGH_CUT, 30);
    panel.moveTrackbar(IDC_LOW_CUT, 40);
    EXPECT_EQ(40, panel.trackbarPosition(IDC_HIGH_CUT)) << "low cut pushed the high cut up";
    panel.moveTrackbar(IDC_HIGH_CUT, 12);
    EXPECT_EQ(12, panel.trackbarPosition(IDC_LOW_CUT)) << "high cut pushed the low cut down";
    std::vector<float> g = gains(65);
    EXPECT_EQ(0.0f, g[11]);
    EXPECT_EQ(1.0f, g[12]);
    EXPECT_EQ(0.0f, g[13]);
}

TEST_F(FilterModuleTest, PanelShowsTheBandScaledByBlockSizeOverRate)
{
    // The input's rate and block size reach the panel when it is set up.
    h.feed(pin, flatSpectrum(128), L"<?xml version='1.0'?><PROPS><Type>FFT</Type><SamplesPerSecond>8000</SamplesPerSecond></PROPS>");
    ASSERT_EQ(S_OK, h.process());
    PageHarness panel(h, dll, CLSID_FilterModulePP);
    EXPECT_EQ(std::make_pair(0, 4000), panel.trackbarRange(IDC_LOW_CUT));
    EXPECT_EQ(std::make_pair(0, 4000), panel.trackbarRange(IDC_HIGH_CUT));
    EXPECT_EQ(std::make_pair(1, 10), panel.trackbarRange(IDC_RAMP));
    EXPECT_EQ(64, panel.trackbarPosition(IDC_HIGH_CUT));
    EXPECT_EQ(L"2.048", panel.text(IDC_HIGH_CUT_VALUE)); // 64 x 256 / 8000
    EXPECT_EQ(L"0", panel.text(IDC_LOW_CUT_VALUE));
    EXPECT_EQ(L"1", panel.text(IDC_RAMP_VALUE));
    panel.moveTrackbar(IDC_LOW_CUT, 1000);
    EXPECT_EQ(L"32", panel.text(IDC_LOW_CUT_VALUE));
    EXPECT_EQ(L"32", panel.text(IDC_HIGH_CUT_VALUE));
    panel.moveTrackbar(IDC_RAMP, 7);
    EXPECT_EQ(L"7", panel.text(IDC_RAMP_VALUE));
}

TEST_F(FilterModuleTest, PanelChangesAreReportedInsideTheUpdateScope)
{
    long before = h.core().modifiedCount();
    PageHarness panel(h, dll, CLSID_FilterModulePP);
    expectSetUpReportedAChange(before);
    long begins = h.calls().count(SiteCall::BeginUpdate);
    panel.moveTrackbar(IDC_RAMP, 3);
    EXPECT_EQ(begins + 1, h.calls().count(SiteCall::BeginUpdate));
    EXPECT_EQ(begins + 1, h.calls().count(SiteCall::EndUpdate));
    EXPECT_EQ(before + 3, h.core().modifiedCount());
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    EXPECT_EQ(S_OK, panel.apply());
    EXPECT_EQ(0, h.core().lastModifiedFlag());
}

TEST_F(FilterModuleTest, RateChangesReachTheModuleButNotTheGains)
{
    h.feed(pin, flatSpectrum(65), L"<?xml version='1.0'?><PROPS><SamplesPerSecond>44100</SamplesPerSecond></PROPS>");
    ASSERT_EQ(S_OK, h.process());
    for (float v : h.lastSent(pin).data) ASSERT_EQ(1.0f, v);
    PageHarness panel(h, dll, CLSID_FilterModulePP);
    EXPECT_EQ(std::make_pair(0, 22050), panel.trackbarRange(IDC_HIGH_CUT));
}

TEST_F(FilterModuleTest, ResizesAndRepublishesBeforeFiltering)
{
    const std::wstring doc = L"<?xml version='1.0'?><PROPS><Type>FFT</Type><SamplesPerSecond>8000</SamplesPerSecond></PROPS>";
    h.feed(pin, flatSpectrum(65), doc);
    ASSERT_EQ(S_OK, h.process());
    long adds = h.calls().count(SiteCall::AddOutput);
    h.feed(pin, flatSpectrum(33), doc);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(adds + 1, h.calls().count(SiteCall::AddOutput));
    EXPECT_EQ(66u, h.lastSent(pin).data.size());
    auto props = propsOf(h.lastSent(pin).props);
    EXPECT_EQ(L"FFT", props[L"Type"]);
    EXPECT_EQ(L"8000", props[L"SamplesPerSecond"]);
}

TEST_F(FilterModuleTest, AnEmptyReadyBlockIsSentEmpty)
{
    h.feedNullRecord(pin);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(1, h.sendCount(pin));
    EXPECT_EQ(0, h.outputSize(pin));
}

TEST(FilterLifecycle, ANewModuleStartsFromTheInitialBand)
{
    for (int round = 0; round < 2; ++round) {
        ModuleHarness h(dll, CLSID_FilterModule);
        ASSERT_EQ(S_OK, h.initialize());
        if (round == 0) {
            PageHarness panel(h, dll, CLSID_FilterModulePP);
            panel.moveTrackbar(IDC_HIGH_CUT, 3);
            continue;
        }
        PageHarness panel(h, dll, CLSID_FilterModulePP);
        EXPECT_EQ(64, panel.trackbarPosition(IDC_HIGH_CUT)) << "nothing was saved";
    }
}

} // namespace
