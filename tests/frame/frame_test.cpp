// The host's property frame on the Xvfb display: the Filter's page (and the FFT's empty one) from
// their real servers, opened for a module in an engine, driven through the frame's real buttons and
// the page's real controls while the test keeps stepping the module.
#include <windows.h>
#include <initguid.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include "bandgate/controls.h"
#include "bandgate_idl.h"
#include "engine.h"
#include "fwdtransform_idl.h"
#include "host/panel/property_frame.h"
#include "module_harness.h"
#include "window_watcher.h"

using Microsoft::WRL::ComPtr;
using vento::PropertyFrame;
using vento::SiteCall;
using vento::test::DialogWatcher;
using vento::test::ModuleHarness;
using Result = PropertyFrame::Result;

namespace {

enum { LowCut = IDC_LOW_CUT, HighCut = IDC_HIGH_CUT };
constexpr wchar_t pin[] = L"Default";

// The page factory of a server the test's harness holds loaded.
ComPtr<IClassFactory> pageFactory(const wchar_t* dll, REFCLSID page)
{
    return vento::ServerLibrary(vento::programFolder() / dll).classFactory(page);
}

PropertyFrame::Options withFactory(IClassFactory* factory, std::wstring caption = {})
{
    PropertyFrame::Options options;
    options.pageFactory = factory;
    options.caption = std::move(caption);
    return options;
}

// What a call that throws modkit::ComError answered (S_OK when it did not throw).
HRESULT thrown(const std::function<void()>& call)
{
    try {
        call();
    } catch (const modkit::ComError& e) {
        return e.code();
    }
    return S_OK;
}

bool haveDisplay()
{
    wchar_t display[64] = {};
    return GetEnvironmentVariableW(L"DISPLAY", display, 64) != 0;
}

class FilterFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!haveDisplay()) GTEST_SKIP() << "needs an X display: source scripts/wine-env.sh first";
        ASSERT_EQ(S_OK, h.initialize());
        factory = pageFactory(L"bandgate.dll", CLSID_FilterModulePP);
        ASSERT_NE(nullptr, factory.Get());
    }
    void open() { frame.open(h.instance(), withFactory(factory.Get())); }

    // As the user moves a slider: the new position, then the scroll message to the panel.
    void moveTrackbar(int id, int position)
    {
        HWND bar = GetDlgItem(frame.pageWindow(), id);
        ASSERT_NE(nullptr, bar) << "no trackbar " << id;
        SendMessageW(bar, TBM_SETPOS, TRUE, position);
        SendMessageW(frame.pageWindow(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), LPARAM(bar));
    }
    // A click on one of the frame's buttons (a disabled button takes none).
    void press(int id)
    {
        HWND button = GetDlgItem(frame.window(), id);
        ASSERT_NE(nullptr, button) << "no button " << id;
        SendMessageW(button, BM_CLICK, 0, 0);
    }
    bool applyButtonEnabled() { return IsWindowEnabled(GetDlgItem(frame.window(), PropertyFrame::applyButton)); }
    // One graph step: a flat spectrum in, Process; answers the gain the filter gave bin `bin`.
    float stepAndGain(int bin)
    {
        h.feed(pin, std::vector<float>(130, 1.0f));
        EXPECT_EQ(S_OK, h.process());
        return h.lastSent(pin).data.at(2 * bin);
    }

    ModuleHarness h{L"bandgate.dll", CLSID_FilterModule};
    ComPtr<IClassFactory> factory;
    PropertyFrame frame;
};

TEST_F(FilterFrameTest, ShowsThePageSizedFromItsInfoWithTheThreeButtons)
{
    ASSERT_NO_THROW(open());
    ASSERT_TRUE(frame.isOpen());
    EXPECT_EQ(Result::Open, frame.result());
    HWND found = vento::test::findThreadDialog(GetCurrentThreadId(), L"Properties for ");
    EXPECT_EQ(frame.window(), found) << "a visible top-level dialog of this thread";
    wchar_t caption[128] = {};
    GetWindowTextW(frame.window(), caption, 128);
    EXPECT_EQ(L"Properties for " + h.instance().name, caption);

    ASSERT_NE(nullptr, frame.pageWindow());
    EXPECT_TRUE(IsWindowVisible(frame.pageWindow()));
    PROPPAGEINFO info{};
    ASSERT_EQ(S_OK, frame.page()->GetPageInfo(&info));
    for (LPOLESTR text : {info.pszTitle, info.pszDocString, info.pszHelpFile}) CoTaskMemFree(text);
    RECT page{}, ok{}, client{};
    GetWindowRect(frame.pageWindow(), &page);
    EXPECT_EQ(info.size.cx, page.right - page.left);
    EXPECT_EQ(info.size.cy, page.bottom - page.top);
    // The buttons below the page, inside the frame.
    GetWindowRect(GetDlgItem(frame.window(), PropertyFrame::okButton), &ok);
    EXPECT_GE(ok.top, page.bottom);
    GetClientRect(frame.window(), &client);
    MapWindowPoints(nullptr, frame.window(), reinterpret_cast<POINT*>(&ok), 2);
    EXPECT_LE(ok.bottom, client.bottom);
    EXPECT_NE(nullptr, GetDlgItem(frame.window(), PropertyFrame::cancelButton));
    // The Filter's own set-up reports a change; opening the panel is none.
    EXPECT_FALSE(applyButtonEnabled());
    EXPECT_FALSE(frame.changed());
}

TEST_F(FilterFrameTest, ApplyWritesThePanelBackAndOKClosesReportingTheChange)
{
    ASSERT_NO_THROW(open());
    moveTrackbar(HighCut, 20);
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    frame.pump();
    EXPECT_TRUE(applyButtonEnabled()) << "the module reported a change";

    long before = h.core().modifiedCount();
    press(PropertyFrame::applyButton);
    EXPECT_EQ(before + 1, h.core().modifiedCount()) << "the page's Apply told the module";
    EXPECT_EQ(0, h.core().lastModifiedFlag());
    EXPECT_TRUE(frame.isOpen());
    EXPECT_FALSE(applyButtonEnabled());

    // OK applies by itself before it closes.
    moveTrackbar(HighCut, 30);
    before = h.core().modifiedCount();
    press(PropertyFrame::okButton);
    EXPECT_FALSE(frame.isOpen());
    EXPECT_EQ(Result::OK, frame.result());
    EXPECT_EQ(before + 1, h.core().modifiedCount());
    EXPECT_EQ(0, h.core().lastModifiedFlag());
    EXPECT_TRUE(frame.changed());
    EXPECT_EQ(0, h.core().updateDepth());
}

TEST_F(FilterFrameTest, OKWithoutAChangeAppliesAndReportsNone)
{
    ASSERT_NO_THROW(open());
    long before = h.core().modifiedCount();
    press(PropertyFrame::applyButton); // disabled: no click gets through
    EXPECT_EQ(before, h.core().modifiedCount());
    press(PropertyFrame::okButton);
    EXPECT_EQ(Result::OK, frame.result());
    EXPECT_EQ(before + 1, h.core().modifiedCount()) << "OK applied";
    EXPECT_FALSE(frame.changed());
}

TEST_F(FilterFrameTest, CancelEscapeAndTheCloseBoxCloseWithoutApplying)
{
    struct Way {
        const char* name;
        std::function<void()> close;
    } ways[] = {
        {"Cancel button", [this] { press(PropertyFrame::cancelButton); }},
        {"Escape key",
         [this] {
             PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
             frame.pump();
         }},
        {"close box", [this] { SendMessageW(frame.window(), WM_CLOSE, 0, 0); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        ASSERT_NO_THROW(open());
        moveTrackbar(HighCut, 25);
        long before = h.core().modifiedCount();
        ASSERT_NE(nullptr, GetFocus());
        way.close();
        EXPECT_FALSE(frame.isOpen());
        EXPECT_EQ(Result::Cancel, frame.result());
        EXPECT_EQ(before, h.core().modifiedCount()) << "no Apply";
        EXPECT_EQ(1, h.core().lastModifiedFlag());
        EXPECT_TRUE(frame.changed()) << "the module did change; only OK saves it";
        EXPECT_EQ(1, frame.pageHost().detachCount());
    }
}

TEST_F(FilterFrameTest, TheGraphKeepsRunningWhileThePanelIsOpen)
{
    EXPECT_EQ(1.0f, stepAndGain(40));
    ASSERT_NO_THROW(open());
    long sends = h.sendCount(pin);
    EXPECT_EQ(1.0f, stepAndGain(40));
    moveTrackbar(HighCut, 20);
    frame.pump();
    EXPECT_EQ(0.0f, stepAndGain(40)) << "the new band is used at once";
    EXPECT_EQ(sends + 2, h.sendCount(pin));
    EXPECT_TRUE(frame.isOpen());
}

TEST_F(FilterFrameTest, RunModalStepsTheGraphBetweenMessagesUntilOK)
{
    ASSERT_NO_THROW(open());
    long sends = h.sendCount(pin);
    int steps = 0;
    std::vector<float> gains;
    Result result = frame.runModal([&] {
        gains.push_back(stepAndGain(40));
        switch (++steps) {
        case 2: moveTrackbar(HighCut, 20); break;
        case 3: press(PropertyFrame::applyButton); break;
        case 5: PostMessageW(frame.window(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); break;
        }
        return true;
    });
    EXPECT_EQ(Result::OK, result);
    EXPECT_EQ(5, steps) << "the OK posted in step 5 is handled by the pump before another step";
    EXPECT_EQ(sends + 5, h.sendCount(pin));
    EXPECT_EQ((std::vector<float>{1, 1, 0, 0, 0}), gains);
    EXPECT_TRUE(frame.changed());
}

TEST_F(FilterFrameTest, RunModalWaitsForInputWhileTheGraphIsIdle)
{
    ASSERT_NO_THROW(open());
    std::wstring seen;
    // A user who takes a moment before pressing OK.
    DialogWatcher watcher(GetCurrentThreadId(), L"Properties for", IDOK, [&](HWND found) {
        wchar_t caption[128] = {};
        GetWindowTextW(found, caption, 128);
        seen = caption;
        Sleep(200);
    });
    int steps = 0;
    DWORD start = GetTickCount();
    Result result = frame.runModal(
        [&] {
            ++steps;
            return false; // nothing was ready
        },
        10);
    DWORD elapsed = GetTickCount() - start;
    ASSERT_TRUE(watcher.wait());
    EXPECT_EQ(Result::OK, result);
    EXPECT_EQ(L"Properties for " + h.instance().name, seen);
    EXPECT_GT(steps, 1) << "the graph was stepped while the user looked";
    EXPECT_LE(steps, static_cast<int>(elapsed / 5) + 2) << "an idle graph waits between steps instead of spinning";
}

TEST_F(FilterFrameTest, TheEngineHostSeesThePageOnceAndCanRefreshIt)
{
    ASSERT_NO_THROW(open());
    vento::PageHost& host = frame.pageHost();
    EXPECT_EQ(1, host.attachCount());
    EXPECT_EQ(0, host.detachCount());
    ASSERT_NE(nullptr, host.page());
    ComPtr<IPropertyPage> attached;
    ASSERT_EQ(S_OK, host.page()->QueryInterface(IID_PPV_ARGS(&attached)));
    EXPECT_EQ(frame.page(), attached.Get());
    attached.Reset();
    EXPECT_EQ(S_OK, host.refresh());

    ComPtr<vento::PageHost> kept = &host;
    press(PropertyFrame::okButton);
    EXPECT_EQ(1, kept->attachCount());
    EXPECT_EQ(1, kept->detachCount());
    EXPECT_EQ(nullptr, kept->page()) << "the host let go of the page";
    EXPECT_EQ(S_FALSE, kept->refresh());
}

TEST_F(FilterFrameTest, AFailedApplyKeepsTheFrameOpen)
{
    ASSERT_NO_THROW(open());
    moveTrackbar(HighCut, 20);
    h.failCall(SiteCall::SetModified, E_FAIL);
    press(PropertyFrame::okButton);
    EXPECT_TRUE(frame.isOpen());
    EXPECT_EQ(E_FAIL, frame.lastApplyResult());
    EXPECT_TRUE(applyButtonEnabled());
    press(PropertyFrame::okButton);
    EXPECT_EQ(Result::OK, frame.result());
    EXPECT_EQ(S_OK, frame.lastApplyResult());
}

TEST_F(FilterFrameTest, PageByTheClassTheModuleNamedAndOneSessionAtATime)
{
    // The page class known to this apartment only, as a registered server would be to every one.
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_FilterModulePP, factory.Get(), CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_NO_THROW(frame.open(h.instance()));
    EXPECT_TRUE(frame.isOpen());
    EXPECT_EQ(E_UNEXPECTED, thrown([&] { frame.open(h.instance()); })) << "a second session in an open frame";
    frame.cancel();
    EXPECT_NO_THROW(frame.open(h.instance())) << "a closed frame opens again";
    EXPECT_EQ(1, frame.pageHost().attachCount()) << "a new host for each session";
    CoRevokeClassObject(cookie);
    std::optional<PropertyFrame> scoped(std::in_place);
    scoped->open(h.instance(), withFactory(factory.Get()));
    ComPtr<vento::PageHost> host = &scoped->pageHost();
    HWND window = scoped->window();
    scoped.reset(); // leaving the scope closes as Cancel: the page detached, the window gone
    EXPECT_EQ(1, host->detachCount());
    EXPECT_FALSE(IsWindow(window));
}

TEST(FftFrameTest, TheEmptyPanelOpensAndClosesAndAModuleWithoutAPageHasNoFrame)
{
    if (!haveDisplay()) GTEST_SKIP() << "needs an X display: source scripts/wine-env.sh first";
    ModuleHarness h(L"fwdtransform.dll", CLSID_FFTModule);
    ASSERT_EQ(S_OK, h.initialize());
    PropertyFrame frame;
    EXPECT_EQ(E_NOINTERFACE, thrown([&] { frame.open(h.instance()); })) << "the FFT module names no page";
    EXPECT_FALSE(frame.isOpen());

    ComPtr<IClassFactory> factory = pageFactory(L"fwdtransform.dll", CLSID_FFTModulePP);
    ASSERT_NE(nullptr, factory.Get());
    ASSERT_NO_THROW(frame.open(h.instance(), withFactory(factory.Get(), L"FFT")));
    EXPECT_EQ(frame.window(), vento::test::findThreadDialog(GetCurrentThreadId(), L"Properties for FFT"));
    ASSERT_NE(nullptr, frame.pageWindow());
    EXPECT_EQ(nullptr, GetWindow(frame.pageWindow(), GW_CHILD)) << "an empty panel";
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(frame.window(), PropertyFrame::applyButton)));
    SendMessageW(GetDlgItem(frame.window(), IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(Result::OK, frame.result());
    EXPECT_FALSE(frame.changed());
    EXPECT_EQ(1, frame.pageHost().detachCount());
}

} // namespace
