// The Image module in its real server DLL: pass-through word for word, its window fitted to the
// picture and read back pixel by pixel (X11 driver on Xvfb), its placement handed to the host at
// once on every move and resize, and its panel.
#include <initguid.h>
#include "display_window_test.h"
#include "bmp_files.h"
#include "picview/controls.h"
#include "picview_idl.h"

namespace {

constexpr wchar_t dll[] = L"picview.dll";

// A picture in four quadrants: bottom-left red, bottom-right green, top-left blue, top-right white
// (rows bottom-up, as the signal stores them).
constexpr std::uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF, white = 0xFFFFFF;
Words quadrants(int width, int height)
{
    Words w;
    for (int row = 0; row < height; ++row)
        for (int x = 0; x < width; ++x)
            w.push_back(row < height / 2 ? (x < width / 2 ? red : green) : (x < width / 2 ? blue : white));
    return w;
}

std::pair<long, long> sizeOf(HWND w)
{
    RECT r;
    GetWindowRect(w, &r);
    return {r.right - r.left, r.bottom - r.top};
}

class ImageTest : public vento::test::DisplayWindowTest {
protected:
    ImageTest() : DisplayWindowTest(dll, CLSID_ImageModule) {}

    void show(const Words& words, const std::wstring& props) { DisplayWindowTest::show(wordsAsSamples(words), props); }
    // The area drawn into: the frame's outer size less 7 pixels each way.
    SIZE drawn(HWND w)
    {
        RECT f;
        GetWindowRect(frame(w), &f);
        return {f.right - f.left - 7, f.bottom - f.top - 7};
    }
};

TEST_F(ImageTest, PassesBlocksThroughWordForWord)
{
    const Words words = {0x7FA00001u, 0xFFC00000u, 0x7F800001u, 0xFFFFFFFFu, 0x00000000u, 0x80000000u};
    show(words, imageProps(L"Image", 3, 2));
    EXPECT_EQ(words, samplesAsWords(h.lastSent(pin).data));
    auto doc = propsOf(h.lastSent(pin).props);
    EXPECT_EQ(L"Image", doc[L"Type"]);
    EXPECT_EQ(L"3", doc[L"Width"]);
    show(Words(300, 0x7FA00001u), imageProps(L"Video", 20, 15));
    EXPECT_EQ(300, h.outputSize(pin));
    EXPECT_EQ(Words(300, 0x7FA00001u), samplesAsWords(h.lastSent(pin).data));
    // Any other type passes just the same.
    show({1, 2, 3}, L"<PROPS><Type>Audio</Type></PROPS>");
    EXPECT_EQ((Words{1, 2, 3}), samplesAsWords(h.lastSent(pin).data));
    EXPECT_EQ(3, h.sendCount(pin));
}

TEST_F(ImageTest, TheWindowIsAFullWindowThatOnlyTheHostCloses)
{
    EXPECT_EQ(nullptr, findWindow()) << "no window until OpenWindow";
    HWND w = open();
    wchar_t caption[64] = {};
    GetWindowTextW(w, caption, 64);
    EXPECT_STREQ(L"Waveform Window", caption);
    const LONG style = GetWindowLongW(w, GWL_STYLE);
    for (LONG bit : {WS_CAPTION, WS_SYSMENU, WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX}) EXPECT_EQ(bit, style & bit);
    EXPECT_EQ(0, style & (WS_POPUP | WS_CHILD));
    HMENU menu = GetSystemMenu(w, FALSE);
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(UINT(-1), GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND)) << "no Close in the system menu";
    EXPECT_NE(UINT(-1), GetMenuState(menu, SC_MOVE, MF_BYCOMMAND));
    // Asked to close as a user would: the window stays.
    SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
    SendMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(w));

    ASSERT_EQ(S_OK, h.module()->Start());
    GetWindowTextW(w, caption, 64);
    EXPECT_STREQ(L"Wave No Inputs", caption);
    ASSERT_EQ(S_OK, h.module()->CloseWindow());
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(ImageTest, TheWindowFitsItselfToEachNewPictureSizeAndThenDraws)
{
    HWND w = open();
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(box(RECT{50, 50, 250, 200}), box(r)) << "opened at its placement";
    // Before any picture: 150 x 150, so 187 x 235.
    paint(w);
    EXPECT_EQ(std::make_pair(187L, 235L), sizeOf(w));
    GetWindowRect(w, &r);
    EXPECT_EQ(50, r.left) << "the fit keeps the position";

    show(quadrants(320, 240), imageProps(L"Image", 320, 240));
    Pixels fit = paint(w);
    EXPECT_EQ(std::make_pair(357L, 325L), sizeOf(w));
    EXPECT_NE(red, fit.at(5, drawn(w).cy - 5)) << "the fitting paint draws nothing";
    Pixels px = paint(w);
    const SIZE d = drawn(w);
    // Bottom row of the block at the bottom of the window.
    EXPECT_EQ(red, px.at(5, d.cy - 5));
    EXPECT_EQ(green, px.at(d.cx - 5, d.cy - 5));
    EXPECT_EQ(blue, px.at(5, 5));
    EXPECT_EQ(white, px.at(d.cx - 5, 5));
    EXPECT_NE(white, px.at(d.cx + 2, 5)) << "nothing drawn right of the destination";

    // More frames of the same size: the window keeps its size and shows each one.
    show(Words(320 * 240, green), imageProps(L"Video", 320, 240));
    px = paint(w);
    EXPECT_EQ(std::make_pair(357L, 325L), sizeOf(w));
    EXPECT_EQ(green, px.at(d.cx / 2, d.cy / 2));
}

TEST_F(ImageTest, AResizedWindowStretchesThePictureAndIsNotFittedAgain)
{
    HWND w = open();
    show(quadrants(40, 30), imageProps(L"Video", 40, 30));
    paint(w);
    paint(w);
    SetWindowPos(w, nullptr, 0, 0, 400, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    show(quadrants(40, 30), imageProps(L"Video", 40, 30));
    Pixels px = paint(w);
    EXPECT_EQ(std::make_pair(400L, 300L), sizeOf(w));
    const SIZE d = drawn(w);
    ASSERT_GT(d.cx, 300);
    EXPECT_EQ(red, px.at(d.cx / 4, d.cy * 3 / 4));
    EXPECT_EQ(green, px.at(d.cx * 3 / 4, d.cy * 3 / 4));
    EXPECT_EQ(blue, px.at(d.cx / 4, d.cy / 4));
    EXPECT_EQ(white, px.at(d.cx * 3 / 4, d.cy / 4));
    // The quadrants meet in the middle of the stretched picture.
    EXPECT_EQ(blue, px.at(d.cx / 2 - 6, d.cy / 2 - 6));
    EXPECT_EQ(green, px.at(d.cx / 2 + 6, d.cy / 2 + 6));
}

TEST_F(ImageTest, OnlyImagesAndVideoAreDrawnAndNeverFromBeyondTheBlock)
{
    HWND w = open();
    show(Words(16 * 16, red), imageProps(L"Image", 16, 16));
    paint(w);
    Pixels px = paint(w);
    const SIZE d = drawn(w);
    ASSERT_EQ(red, px.at(d.cx / 2, d.cy / 2));
    struct Case {
        const char* what;
        Words words;
        std::wstring props;
    } cases[] = {
        {"audio", Words(16 * 16, green), imageProps(L"Audio", 16, 16)},
        {"lower-case type", Words(16 * 16, green), imageProps(L"image", 16, 16)},
        {"a block shorter than its picture", Words(16 * 15, green), imageProps(L"Image", 16, 16)},
        {"a picture of 0 rows", Words(16, green), imageProps(L"Image", 16, 0)},
        {"a negative width", Words(16, green), imageProps(L"Image", -16, 16)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RECT f;
        GetClientRect(GetDlgItem(w, IDC_DISPLAY_FRAME), &f);
        HDC dc = GetDC(GetDlgItem(w, IDC_DISPLAY_FRAME));
        FillRect(dc, &f, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        ReleaseDC(GetDlgItem(w, IDC_DISPLAY_FRAME), dc);
        show(c.words, c.props);
        paint(w);
        px = paint(w);
        EXPECT_EQ(0, px.countInRow(px.height / 2, green)) << "not drawn";
        EXPECT_EQ(c.words, samplesAsWords(h.lastSent(pin).data)) << "passed on all the same";
    }
}

TEST_F(ImageTest, EveryMoveAndResizeHandsThePlacementToTheHostAtOnce)
{
    HWND w = open();
    EXPECT_FALSE(held(L"Top")) << "opening at its own placement saves nothing";
    SetWindowPos(w, nullptr, 120, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(90.0f, held(L"Top"));
    EXPECT_EQ(120.0f, held(L"Left"));
    EXPECT_EQ(200.0f, held(L"Width"));
    EXPECT_EQ(150.0f, held(L"Height"));
    SetWindowPos(w, nullptr, 0, 0, 333, 222, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(333.0f, held(L"Width"));
    EXPECT_EQ(222.0f, held(L"Height"));
    // Minimised, the window is kept where it is restored to.
    ShowWindow(w, SW_MINIMIZE);
    EXPECT_EQ(90.0f, held(L"Top"));
    EXPECT_EQ(333.0f, held(L"Width"));
    ShowWindow(w, SW_RESTORE);
    // The fit to a picture is a resize too.
    show(Words(200 * 150, red), imageProps(L"Image", 200, 150));
    paint(w);
    EXPECT_EQ(200.0f + 37, held(L"Width"));
    EXPECT_EQ(150.0f + 85, held(L"Height"));
    // Only the placement is saved, in this order; without a window, nothing.
    EXPECT_EQ((std::vector<std::wstring>{L"Top", L"Left", L"Width", L"Height"}), h.savedNames());
    ASSERT_EQ(S_OK, h.module()->CloseWindow());
    EXPECT_TRUE(h.savedNames().empty());
}

TEST_F(ImageTest, WithoutAHostObjectMovesSaveNothingAndFailNothing)
{
    HWND w = open();
    h.failCall(SiteCall::GetHostObject, E_NOTIMPL, 0, vento::FaultRepeat::Always);
    SetWindowPos(w, nullptr, 100, 100, 300, 250, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_FALSE(held(L"Top"));
    EXPECT_TRUE(IsWindow(w));
    h.clearFaults();
    SetWindowPos(w, nullptr, 110, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(110.0f, held(L"Left"));
}

TEST_F(ImageTest, LoadingPlacesTheWindowWithoutSavingWhileItLoads)
{
    auto store = storeOf({{L"Top", 200.0f}, {L"Left", 210.0f}, {L"Width", 300.0f}, {L"Height", 170.0f}});
    ASSERT_EQ(S_OK, h.module()->LoadSettings(store.Get()));
    EXPECT_EQ(nullptr, findWindow()) << "the engine did not ask for the placement";

    h.engine().setRestorePlacement(true);
    const long hostObjects = h.calls().count(SiteCall::GetHostObject);
    EXPECT_EQ(Box(210, 200, 510, 370), loadAndPlace(store.Get()));
    EXPECT_EQ(hostObjects, h.calls().count(SiteCall::GetHostObject)) << "no save in the middle of the load";
    EXPECT_TRUE(store->writes().empty());

    // A store without "Width" (saved with the window closed) reads as width 0: 200 wide.
    EXPECT_EQ(Box(210, 200, 410, 370), loadAndPlace(storeOf({}).Get()));

    // Values no placement can be (not a number, beyond 32 bits): a width of 0, the other sides kept.
    for (float wrong : {std::nanf(""), 1e20f, -1e20f})
        EXPECT_EQ(Box(210, 200, 410, 370),
                  loadAndPlace(storeOf({{L"Top", wrong}, {L"Left", wrong}, {L"Width", wrong}, {L"Height", wrong}}).Get()))
            << wrong;
    EXPECT_EQ(Box(210, 200, 510, 370),
              loadAndPlace(storeOf({{L"Top", std::nanf("")}, {L"Left", 3e9f}, {L"Width", 300.0f}, {L"Height", -3e9f}}).Get()))
        << "a usable width, the unusable sides kept";
}

TEST_F(ImageTest, PanelKeepsGainAndFlagsThatNeitherDrawNorSave)
{
    PageHarness panel(h, dll, CLSID_ImageModulePP);
    EXPECT_EQ(0, h.core().lastModifiedFlag());
    EXPECT_EQ(std::make_pair(0, 100), panel.trackbarRange(IDC_GAIN));
    EXPECT_EQ(50, panel.trackbarPosition(IDC_GAIN));
    EXPECT_EQ(L"1", panel.text(IDC_GAIN_VALUE));
    EXPECT_EQ(BST_CHECKED, SendMessageW(panel.item(IDC_GRATICULE), BM_GETCHECK, 0, 0));
    EXPECT_EQ(BST_UNCHECKED, SendMessageW(panel.item(IDC_LOG), BM_GETCHECK, 0, 0));
    panel.moveTrackbar(IDC_GAIN, 60);
    EXPECT_EQ(L"10", panel.text(IDC_GAIN_VALUE));
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    panel.click(IDC_LOG);
    panel.click(IDC_GRATICULE);
    EXPECT_EQ(h.calls().count(SiteCall::BeginUpdate), h.calls().count(SiteCall::EndUpdate));
    // The module kept them: a fresh look at the panel shows them.
    ASSERT_EQ(S_OK, panel.refresh());
    EXPECT_EQ(60, panel.trackbarPosition(IDC_GAIN));
    EXPECT_EQ(BST_CHECKED, SendMessageW(panel.item(IDC_LOG), BM_GETCHECK, 0, 0));
    auto store = modkit::make<SettingsStore>();
    ASSERT_EQ(S_OK, h.module()->SaveSettings(store.Get()));
    EXPECT_TRUE(store->writes().empty()) << "not saved";

    // The module names no page to the engine.
    EXPECT_EQ(0, h.calls().count(SiteCall::SetControlPage));
}

// Leaves picview_quadrants.bmp beside the test program (the build turns it into a PNG).
TEST_F(ImageTest, QuadrantsScreenshot)
{
    HWND w = open();
    ASSERT_EQ(S_OK, h.module()->Start());
    show(quadrants(96, 64), imageProps(L"Image", 96, 64));
    paint(w);
    paint(w);
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pixels shot = vento::test::capture(w, true);
    ASSERT_GT(shot.width, 0);
    EXPECT_TRUE(vento::test::writeBmp(shot, vento::test::besideProgram(L"picview_quadrants.bmp")));
}

} // namespace
