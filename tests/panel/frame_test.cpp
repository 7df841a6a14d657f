// The FFT module's page inside the platform's own property frame (OleCreatePropertyFrame), on the
// Xvfb display through Wine's X11 driver: a watcher thread finds the frame, looks at the page in it
// and closes it as a user would.
#include <gtest/gtest.h>
#include <olectl.h>
#include <string>
#include "engine.h"
#include "fwdtransform_idl.h"
#include "module_harness.h"
#include "page_fakes.h"
#include "window_watcher.h"

using namespace panel_test;
using vento::SiteCall;
using vento::test::DialogWatcher;
using vento::test::ModuleHarness;

namespace {

// The page class registered for this apartment only, from the server's own class factory.
class PageClassRegistration {
public:
    explicit PageClassRegistration(IClassFactory* factory)
    {
        hr = CoRegisterClassObject(CLSID_FFTModulePP, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
    }
    ~PageClassRegistration()
    {
        if (SUCCEEDED(hr)) CoRevokeClassObject(cookie_);
    }
    HRESULT hr;

private:
    DWORD cookie_ = 0;
};

class PropertyFrameTest : public ::testing::TestWithParam<WORD> {};

TEST_P(PropertyFrameTest, ShowsTheFFTPageAndClosesWithIt)
{
    wchar_t display[64] = {};
    if (!GetEnvironmentVariableW(L"DISPLAY", display, 64))
        GTEST_SKIP() << "needs an X display: run through scripts/test.sh or source scripts/wine-env.sh first";

    ModuleHarness h(L"fwdtransform.dll", CLSID_FFTModule);
    ASSERT_EQ(S_OK, h.initialize());
    vento::ServerLibrary server(vento::programFolder() / L"fwdtransform.dll");
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, server.getClassObject(CLSID_FFTModulePP, IID_PPV_ARGS(&factory)));
    PageClassRegistration registration(factory.Get());
    ASSERT_EQ(S_OK, registration.hr);

    // The frame hands the page both objects: the module, and a host object that learns of the page.
    ComPtr<FakePageHost> host = modkit::make<FakePageHost>();
    host->keepPage = true;
    IUnknown* objects[] = {h.unknown(), host.Get()};
    CLSID pages[] = {CLSID_FFTModulePP};

    struct Seen {
        bool page = false;
        bool pageVisible = false;
        bool okButton = false;
        SIZE pageSize{};
    } seen;
    DialogWatcher watcher(GetCurrentThreadId(), L"Properties for", GetParam(), [&](HWND frame) {
        HWND page = FindWindowExW(frame, nullptr, L"#32770", nullptr);
        seen.page = page != nullptr;
        // The frame shows the page after it has appeared itself: give it a moment.
        for (int i = 0; i < 100 && page && !IsWindowVisible(page); ++i) Sleep(10);
        seen.pageVisible = page && IsWindowVisible(page);
        RECT r{};
        if (page) GetClientRect(page, &r);
        seen.pageSize = {r.right, r.bottom};
        seen.okButton = GetDlgItem(frame, IDOK) != nullptr;
    });
    long modifiedBefore = h.core().modifiedCount();

    HRESULT hr = OleCreatePropertyFrame(nullptr, 0, 0, L"FFT", 2, objects, 1, pages, 0, 0, nullptr);

    ASSERT_TRUE(watcher.wait()) << "no property frame showed up";
    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(L"Properties for FFT", watcher.caption());
    EXPECT_TRUE(seen.page);
    EXPECT_TRUE(seen.pageVisible);
    EXPECT_TRUE(seen.okButton);
    EXPECT_GT(seen.pageSize.cx, 0);
    EXPECT_EQ(1, host->attached) << "activated once";
    EXPECT_EQ(1, host->detached) << "deactivated at close";
    EXPECT_EQ(modifiedBefore + 1, h.core().modifiedCount()) << "the panel's set-up told the module";

    // Wine's frame never calls Apply, on OK or otherwise: apply through the page it showed.
    ASSERT_NE(nullptr, host->lastPage.Get());
    ComPtr<IPropertyPage> page;
    ASSERT_EQ(S_OK, host->lastPage.As(&page));
    host->lastPage.Reset();
    EXPECT_EQ(S_OK, page->Apply());
    EXPECT_EQ(modifiedBefore + 2, h.core().modifiedCount());
    EXPECT_EQ(0, h.core().lastModifiedFlag());
}

INSTANTIATE_TEST_SUITE_P(ClosedWith, PropertyFrameTest, ::testing::Values(WORD(IDCANCEL), WORD(IDOK)),
                         [](const auto& info) { return info.param == IDOK ? "OK" : "Cancel"; });

} // namespace
