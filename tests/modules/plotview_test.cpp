// The GraphWindow module in its real server DLL: its window read back pixel by pixel (X11 driver on
// Xvfb: the window's own drawing context gives the drawn pixels at once), its settings, and its
// panel driven through real controls.
#include <initguid.h>
#include "display_window_test.h"
#include <cmath>
#include <numbers>
#include "com/object.h"
#include "plotview/controls.h"
#include "fwdtransform_idl.h"
#include "plotview_idl.h"

namespace {

constexpr wchar_t dll[] = L"plotview.dll";
constexpr std::uint32_t magenta = 0xFF00FF, grey = 0x323232, black = 0x000000;
enum {
    Gain = IDC_GAIN,
    Graticule = IDC_GRATICULE,
    LogBox = IDC_LOG,
    GainValue = IDC_GAIN_VALUE,
    MagnitudeBox = IDC_MAGNITUDE,
    Frame = IDC_DISPLAY_FRAME
};

std::wstring props(const wchar_t* type, int rate)
{
    return L"<?xml version='1.0'?><PROPS><Type>" + std::wstring(type) + L"</Type><SamplesPerSecond>" +
           std::to_wstring(rate) + L"</SamplesPerSecond></PROPS>";
}

class GraphWindowTest : public vento::test::DisplayWindowTest {
protected:
    GraphWindowTest() : DisplayWindowTest(dll, CLSID_GraphWindowModule) {}

    // Sizes the window so that its frame control measures w0 x h0 pixels outside.
    void sizeFrame(HWND w, int w0, int h0)
    {
        RECT outer, client;
        GetWindowRect(w, &outer);
        GetClientRect(w, &client);
        int bx = (outer.right - outer.left) - client.right, by = (outer.bottom - outer.top) - client.bottom;
        SetWindowPos(w, nullptr, 0, 0, w0 + 24 + bx, h0 + 24 + by, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT f;
        GetWindowRect(frame(w), &f);
        ASSERT_EQ(w0, f.right - f.left);
        ASSERT_EQ(h0, f.bottom - f.top);
    }
    // Runs the paint the last Process asked for and reads the plot area back.
    Pixels paint(HWND w)
    {
        Pixels p = DisplayWindowTest::paint(w);
        RECT f;
        GetWindowRect(frame(w), &f);
        W = f.right - f.left - 7;
        H = f.bottom - f.top - 7;
        return p;
    }
    // Gain and flags through the settings, the placement left alone.
    void setFlags(float gain, int graticule, int log, int mag)
    {
        auto store = modkit::make<SettingsStore>();
        store->setFloat(L"Gain", gain);
        store->setFloat(L"Graticule", float(graticule));
        store->setFloat(L"Log", float(log));
        store->setFloat(L"Mag", float(mag));
        ASSERT_EQ(S_OK, h.module()->LoadSettings(store.Get()));
    }
    int fontWidth(HWND w, const wchar_t* text)
    {
        HDC dc = GetDC(w);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)));
        SIZE s{};
        GetTextExtentPoint32W(dc, text, int(wcslen(text)), &s);
        SelectObject(dc, old);
        ReleaseDC(w, dc);
        return s.cx;
    }

    int W = 0, H = 0;
};

TEST_F(GraphWindowTest, InitializeOpensNoWindow)
{
    EXPECT_EQ(nullptr, findWindow());
}

TEST_F(GraphWindowTest, PassesBlocksAndDocumentsThroughUnchanged)
{
    std::vector<float> block{0.25f, -3.0f, 7.5f, 1e-6f, -0.0f};
    show(block, props(L"Audio", 8000));
    EXPECT_EQ(block, h.lastSent(pin).data);
    auto doc = vento::test::propsOf(h.lastSent(pin).props);
    EXPECT_EQ(L"Audio", doc[L"Type"]);
    EXPECT_EQ(L"8000", doc[L"SamplesPerSecond"]);
    long adds = h.calls().count(SiteCall::AddOutput);
    show({1, 2, 3, 4, 5}, props(L"Audio", 8000));
    EXPECT_EQ(adds, h.calls().count(SiteCall::AddOutput)) << "same size: no resize";
    show(std::vector<float>(300, 0.5f), props(L"Audio", 8000));
    EXPECT_EQ(300u, h.lastSent(pin).data.size());
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(3, h.sendCount(pin)) << "nothing waiting, nothing sent";
    h.feedEmpty(pin);
    ASSERT_EQ(S_OK, h.process());
    EXPECT_EQ(0, h.outputSize(pin));
}

TEST_F(GraphWindowTest, MagnitudeAndLogFollowTheInputType)
{
    auto saved = [&] {
        auto store = modkit::make<SettingsStore>();
        EXPECT_EQ(S_OK, h.module()->SaveSettings(store.Get()));
        return std::make_pair(*store->floatValue(L"Mag"), *store->floatValue(L"Log"));
    };
    EXPECT_EQ(std::make_pair(0.0f, 0.0f), saved());
    show(std::vector<float>(16, 0.0f), props(L"FFT", 11025));
    EXPECT_EQ(std::make_pair(1.0f, 1.0f), saved());
    show(std::vector<float>(16, 0.0f), props(L"Audio", 11025));
    EXPECT_EQ(std::make_pair(0.0f, 0.0f), saved());
    // Without a window only gain and flags are saved, in this order.
    EXPECT_EQ((std::vector<std::wstring>{L"Gain", L"Graticule", L"Log", L"Mag"}), h.savedNames());
}

TEST_F(GraphWindowTest, WindowOpensOnceAtItsPlacementAndCloses)
{
    long modified = h.core().modifiedCount();
    HWND w = open();
    wchar_t caption[64] = {};
    GetWindowTextW(w, caption, 64);
    EXPECT_STREQ(L"Waveform Window", caption);
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(box(RECT{50, 50, 250, 200}), box(r));
    EXPECT_EQ(0, GetWindowLongW(w, GWL_STYLE) & WS_SYSMENU);
    EXPECT_LT(modified, h.core().modifiedCount()) << "placing the window moves and sizes it: a change";
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    ASSERT_EQ(S_OK, h.module()->OpenWindow());
    EXPECT_EQ(w, findWindow());
    ASSERT_EQ(S_OK, h.module()->CloseWindow());
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(S_OK, h.module()->CloseWindow());
}

TEST_F(GraphWindowTest, StartCaptionNamesTheFeedingModules)
{
    HWND w = open();
    ASSERT_EQ(S_OK, h.module()->Start());
    wchar_t caption[64] = {};
    GetWindowTextW(w, caption, 64);
    EXPECT_STREQ(L"Wave No Inputs", caption);
    // A module of another server: one of this server would keep it loaded past the harness's check.
    h.addSource(L"fwdtransform.dll", CLSID_FFTModule, L"left");
    ASSERT_EQ(S_OK, h.module()->Start());
    GetWindowTextW(w, caption, 64);
    EXPECT_STREQ(L"Wave left ", caption);
}

TEST_F(GraphWindowTest, ResizingFitsTheFrameRedrawsAndCountsAsAChange)
{
    HWND w = open();
    show(std::vector<float>(128, 0.5f), props(L"Audio", 11025));
    long modified = h.core().modifiedCount();
    SetWindowPos(w, nullptr, 0, 0, 320, 240, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_GT(h.core().modifiedCount(), modified);
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    RECT client, f;
    GetClientRect(w, &client);
    GetWindowRect(frame(w), &f);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&f), 2);
    EXPECT_EQ(box(RECT{12, 12, client.right - 12, client.bottom - 12}), box(f));
    // The last block, drawn again across the new width.
    Pixels px = paint(w);
    int y = int(-0.5f * float(H) * 0.5f + float(H / 2));
    EXPECT_EQ(black, px.at(int(127 * (float(W) / 128)) - 1, y));
    modified = h.core().modifiedCount();
    SetWindowPos(w, nullptr, 90, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_GT(h.core().modifiedCount(), modified) << "moves count as a change";
}

TEST_F(GraphWindowTest, BackgroundCentreLineAndABlockAtItsRows)
{
    HWND w = open();
    sizeFrame(w, 200, 107);
    show(std::vector<float>(128, 0.5f), props(L"Audio", 11025));
    Pixels px = paint(w);
    ASSERT_EQ(193, W);
    ASSERT_EQ(100, H);
    const int trace = int(-0.5f * 100 * 0.5f + 50); // positive samples go up
    EXPECT_EQ(25, trace);
    for (int x : {1, 50, 120, 190}) {
        SCOPED_TRACE(x);
        EXPECT_EQ(black, px.at(x, trace));
        EXPECT_EQ(magenta, px.at(x, trace - 3));
        EXPECT_EQ(magenta, px.at(x, trace + 3));
    }
    EXPECT_EQ(magenta, px.at(192, 99));
    // The centre line is dotted grey across the width; nothing else is grey in its row.
    int dots = px.countInRow(H / 2, grey);
    EXPECT_GT(dots, W / 5);
    EXPECT_LT(dots, W);
    // The first segment rises from the centre line at the left edge.
    EXPECT_EQ(black, px.at(0, 40));

    setFlags(1.0f, 0, 0, 0);
    show(std::vector<float>(128, 0.5f), props(L"Audio", 11025));
    px = paint(w);
    EXPECT_EQ(0, px.countInRow(H / 2, grey)) << "no graticule, no centre line";
    EXPECT_EQ(W - 1, px.countInRow(H / 2, magenta));
}

TEST_F(GraphWindowTest, FullScaleValuesSitOnTheEdgesOfThePlot)
{
    HWND w = open();
    setFlags(1.0f, 0, 0, 0);
    for (int h0 : {107, 108}) { // odd and even plot heights
        SCOPED_TRACE(h0);
        sizeFrame(w, 200, h0);
        std::vector<float> block(128, 2.0f);
        std::fill(block.begin() + 64, block.end(), -2.0f);
        show(block, props(L"Audio", 11025));
        Pixels px = paint(w);
        for (int x : {5, 40, 90}) EXPECT_EQ(black, px.at(x, 0)) << x;
        for (int x : {105, 150, 185}) EXPECT_EQ(black, px.at(x, H - 1)) << x;
        EXPECT_EQ(magenta, px.at(40, 1));
        EXPECT_EQ(magenta, px.at(150, H - 2));
    }
    // Log without magnitude: 0.95 becomes log10(0.05), below -1, the top edge; NaN too.
    setFlags(1.0f, 0, 1, 0);
    sizeFrame(w, 200, 107);
    std::vector<float> block(128, 0.95f);
    std::fill(block.begin() + 64, block.end(), std::nanf(""));
    show(block, props(L"Audio", 11025));
    Pixels px = paint(w);
    for (int x : {20, 90, 150}) EXPECT_EQ(black, px.at(x, 0)) << x;
}

TEST_F(GraphWindowTest, SpectrumSpreadsHalfTheSizeInPointsOverTheWidth)
{
    HWND w = open();
    sizeFrame(w, 200, 107);
    // Eight (re, im) pairs; pair 6 has magnitude 9: log10(9 + 1) = 1, the top edge.
    std::vector<float> block(16, 0.0f);
    block[12] = 9.0f;
    show(block, props(L"FFT", 11025));
    Pixels px = paint(w);
    const float p = float(W) / 16;
    const int x6 = int(6 * p * 2), x7 = int(7 * p * 2);
    EXPECT_EQ(black, px.at(x6, 0));
    EXPECT_GT(px.countInColumn((x6 + x7) / 2, black), 0) << "the last segment reaches the right part";
    EXPECT_EQ(black, px.at(x6 / 2, H / 2)) << "zero magnitudes on the centre line";
    EXPECT_EQ(magenta, px.at(x6 / 2, 0));
}

TEST_F(GraphWindowTest, SpectrumScaleMarksEveryKilohertz)
{
    HWND w = open();
    sizeFrame(w, 200, 107);
    int three = fontWidth(w, L"000");
    if (three >= 35) GTEST_SKIP() << "font wider than on Windows (" << three << " px for \"000\")";
    show(std::vector<float>(16, 0.0f), props(L"FFT", 11025));
    Pixels px = paint(w);
    // Half of 11025 Hz over 193 pixels: 1 kHz every 35.0 pixels, none at 0.
    for (int x : {35, 70, 105, 140, 175}) EXPECT_GT(px.countInColumn(x, grey), H / 5) << x;
    EXPECT_LE(px.countInColumn(0, grey), 1);
    EXPECT_LE(px.countInColumn(52, grey), 1);
}

TEST_F(GraphWindowTest, TimeLabelsEveryTwoMillisecondsFor128SamplesAt11025)
{
    HWND w = open();
    sizeFrame(w, 200, 107);
    // q = 11025 x (193 / 128) / 1000 = 16.62 pixels per millisecond; a 2 ms step needs "00000"
    // narrower than 33 pixels and wider than 16.6 (about 30 with the dialog font on Windows).
    int five = fontWidth(w, L"00000");
    if (five <= 17 || five >= 33) GTEST_SKIP() << "\"00000\" is " << five << " px wide here";
    show(std::vector<float>(128, 0.5f), props(L"Audio", 11025));
    Pixels px = paint(w);
    for (int x : {33, 66, 99, 132, 166}) EXPECT_GT(px.countInColumn(x, grey), H / 5) << x;
    // No line at 1, 3 or 5 ms (the dotted centre line crosses every column once at most).
    for (int x : {16, 49, 83}) EXPECT_LE(px.countInColumn(x, grey), 1) << x;
    // A label is written (black text) right of the 2 ms line, near the bottom.
    int ink = 0;
    for (int x = 35; x < 60; ++x)
        for (int y = H - 20; y < H - 4; ++y) ink += px.at(x, y) == black;
    EXPECT_GT(ink, 3);
}

TEST_F(GraphWindowTest, AnEmptyBlockShowsOnlyBackgroundAndScales)
{
    HWND w = open();
    sizeFrame(w, 200, 107);
    h.feedEmpty(pin);
    ASSERT_EQ(S_OK, h.process());
    Pixels px = paint(w);
    EXPECT_EQ(0, px.countInColumn(100, black));
    EXPECT_GT(px.countInRow(H / 2, grey), W / 5);
    EXPECT_EQ(magenta, px.at(100, 10));
}

TEST_F(GraphWindowTest, PlacementIsSavedWithTheWindow)
{
    HWND w = open();
    SetWindowPos(w, nullptr, 100, 120, 260, 180, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ((std::vector<std::wstring>{L"Top", L"Left", L"Width", L"Height", L"Gain", L"Graticule", L"Log", L"Mag"}),
              h.savedNames());
    auto saved = h.savedFloats();
    EXPECT_EQ(120.0f, saved[L"Top"]);
    EXPECT_EQ(100.0f, saved[L"Left"]);
    EXPECT_EQ(260.0f, saved[L"Width"]);
    EXPECT_EQ(180.0f, saved[L"Height"]);
}

TEST_F(GraphWindowTest, PlacementIsRestoredOnlyWhenTheEngineAsks)
{
    auto store = storeOf({{L"Gain", 1.0f}, {L"Graticule", 1.0f}, {L"Log", 0.0f}, {L"Mag", 0.0f},
                          {L"Top", 200.0f}, {L"Left", 210.0f}, {L"Width", 300.0f}, {L"Height", 170.0f}});
    ASSERT_EQ(S_OK, h.module()->LoadSettings(store.Get()));
    EXPECT_EQ(nullptr, findWindow()) << "not asked: no window, placement kept";

    h.engine().setRestorePlacement(true);
    EXPECT_EQ(Box(210, 200, 510, 370), loadAndPlace(store.Get()));

    // Width 0: the width becomes 200, top, left and height stay.
    store->setFloat(L"Width", 0.0f);
    store->setFloat(L"Top", 5.0f);
    EXPECT_EQ(Box(210, 200, 410, 370), loadAndPlace(store.Get()));

    h.engine().setRestorePlacement(false);
    HWND w = findWindow();
    SetWindowPos(w, nullptr, 60, 70, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_EQ(S_OK, h.module()->LoadSettings(store.Get()));
    EXPECT_EQ(w, findWindow()) << "not asked: the window stays as it is";
}

TEST_F(GraphWindowTest, SettingsSavedWithTheWindowClosedStillLoadWithPlacement)
{
    auto store = modkit::make<SettingsStore>();
    ASSERT_EQ(S_OK, h.module()->SaveSettings(store.Get())); // no window: no placement saved
    h.engine().setRestorePlacement(true);
    EXPECT_EQ(Box(50, 50, 250, 200), loadAndPlace(store.Get()));
}

TEST_F(GraphWindowTest, PanelSetsGainAndFlags)
{
    long modified = h.core().modifiedCount();
    PageHarness panel(h, dll, CLSID_GraphWindowModulePP);
    EXPECT_EQ(0, h.core().lastModifiedFlag());
    EXPECT_EQ(modified + 1, h.core().modifiedCount()) << "set-up reports the module unchanged";
    EXPECT_EQ(std::make_pair(0, 100), panel.trackbarRange(Gain));
    EXPECT_EQ(50, panel.trackbarPosition(Gain));
    EXPECT_EQ(L"1", panel.text(GainValue));
    EXPECT_EQ(BST_CHECKED, SendMessageW(panel.item(Graticule), BM_GETCHECK, 0, 0));
    EXPECT_FALSE(IsWindowEnabled(panel.item(MagnitudeBox))) << "not a spectrum";

    auto saved = [&](const wchar_t* name) {
        auto store = modkit::make<SettingsStore>();
        EXPECT_EQ(S_OK, h.module()->SaveSettings(store.Get()));
        return *store->floatValue(name);
    };
    panel.moveTrackbar(Gain, 60);
    EXPECT_EQ(10.0f, saved(L"Gain"));
    EXPECT_EQ(L"10", panel.text(GainValue));
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    panel.moveTrackbar(Gain, 0);
    EXPECT_FLOAT_EQ(1e-5f, saved(L"Gain"));
    EXPECT_EQ(L"1e-05", panel.text(GainValue));

    SendMessageW(panel.item(Graticule), BM_CLICK, 0, 0);
    EXPECT_EQ(0.0f, saved(L"Graticule"));
    SendMessageW(panel.item(LogBox), BM_CLICK, 0, 0);
    EXPECT_EQ(1.0f, saved(L"Log"));
    EXPECT_EQ(0, h.core().updateDepth());
    EXPECT_EQ(h.calls().count(SiteCall::BeginUpdate), h.calls().count(SiteCall::EndUpdate));
}

TEST_F(GraphWindowTest, PanelOffersMagnitudeForSpectraAndRefreshes)
{
    show(std::vector<float>(16, 0.0f), props(L"FFT", 11025));
    PageHarness panel(h, dll, CLSID_GraphWindowModulePP);
    EXPECT_TRUE(IsWindowEnabled(panel.item(MagnitudeBox)));
    EXPECT_EQ(BST_CHECKED, SendMessageW(panel.item(MagnitudeBox), BM_GETCHECK, 0, 0));
    SendMessageW(panel.item(MagnitudeBox), BM_CLICK, 0, 0);
    // Every slider position comes back as itself after a Refresh.
    ComPtr<IModulePage> page;
    ASSERT_EQ(S_OK, panel.page()->QueryInterface(IID_IModulePage, reinterpret_cast<void**>(page.GetAddressOf())));
    for (int position = 0; position <= 100; ++position) {
        panel.moveTrackbar(Gain, position);
        SendMessageW(panel.item(Gain), TBM_SETPOS, TRUE, 50);
        long modified = h.core().modifiedCount();
        ASSERT_EQ(S_OK, page->Refresh());
        ASSERT_EQ(position, panel.trackbarPosition(Gain));
        ASSERT_EQ(modified, h.core().modifiedCount()) << "Refresh reports nothing";
    }
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(panel.item(MagnitudeBox), BM_GETCHECK, 0, 0));
}

// Leaves plotview_sine.bmp beside the test program (the build turns it into plotview_sine.png).
TEST_F(GraphWindowTest, SineScreenshot)
{
    HWND w = open();
    ASSERT_EQ(S_OK, h.module()->Start());
    sizeFrame(w, 400, 207);
    std::vector<float> sine(128);
    for (int i = 0; i < 128; ++i) sine[size_t(i)] = 0.8f * float(std::sin(2 * std::numbers::pi * 3 * i / 128.0));
    show(sine, props(L"Audio", 11025));
    Pixels px = paint(w);
    // The crest of the first period (sample 10.67) is near the top, the trough near the bottom.
    const float p = float(W) / 128;
    int crest = int(-0.8f * float(H) * 0.5f + float(H / 2));
    bool onCrest = false;
    for (int dy = -2; dy <= 2; ++dy) onCrest |= px.at(int(11 * p), crest + dy) == black;
    EXPECT_TRUE(onCrest);
    EXPECT_GT(px.countInColumn(int(32 * p) + 1, black), 0);
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pixels shot = vento::test::capture(w, true);
    ASSERT_GT(shot.width, 0);
    EXPECT_TRUE(vento::test::writeBmp(shot, vento::test::besideProgram(L"plotview_sine.bmp")));
}

} // namespace
