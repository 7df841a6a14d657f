// The property page of the real FFT server, created through its DllGetClassObject: every operation of
// IPropertyPage and IModulePage, alone and with the FFT module from the engine harness.
#include <initguid.h>
#include <gtest/gtest.h>
#include <string>
#include "engine.h"
#include "fwdtransform_idl.h"
#include "module_harness.h"
#include "page_fakes.h"
#include "com/bstr.h"
#include "com/object.h"

using namespace panel_test;
using modkit::Bstr;
using vento::SiteCall;
using vento::test::ModuleHarness;

namespace {

// An outer object that aggregates the page: it answers IUnknown itself and everything else through
// the page's inner unknown.
class FakeOuter : public modkit::ObjectRoot, public IPersist {
public:
    using Interfaces = modkit::InterfaceList<IPersist>;
    explicit FakeOuter(IClassFactory* factory) : factory_(factory) {}
    HRESULT FinalConstruct() noexcept
    {
        return factory_->CreateInstance(controllingUnknown(), IID_IUnknown, reinterpret_cast<void**>(inner.GetAddressOf()));
    }
    void FinalRelease() noexcept { inner.Reset(); }
    HRESULT QueryExtraInterface(REFIID iid, void** out) noexcept { return inner->QueryInterface(iid, out); }
    STDMETHODIMP GetClassID(CLSID* clsid) noexcept override
    {
        *clsid = CLSID{};
        return S_OK;
    }
    ComPtr<IUnknown> inner;

private:
    IClassFactory* factory_;
};

class FFTPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, h.initialize());
        ASSERT_EQ(S_OK, server.getClassObject(CLSID_FFTModulePP, IID_PPV_ARGS(&factory)));
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_PPV_ARGS(&page)));
        host = modkit::make<FakePageHost>();
        other = modkit::make<FakePageSite>(); // any object that is not the FFT module
        site = modkit::make<FakePageSite>();
    }
    void TearDown() override
    {
        page.Reset(); // before the harness: the page may hold the module
        factory.Reset();
    }
    void giveObjects(std::initializer_list<IUnknown*> objects)
    {
        std::vector<IUnknown*> list(objects);
        ASSERT_EQ(S_OK, page->SetObjects(static_cast<ULONG>(list.size()), list.data()));
    }
    void activate()
    {
        RECT rect{10, 20, 290, 174};
        ASSERT_EQ(S_OK, page->Activate(parent.get(), &rect, FALSE));
    }

    ModuleHarness h{L"fwdtransform.dll", CLSID_FFTModule};
    vento::ServerLibrary server{vento::programFolder() / L"fwdtransform.dll"};
    ComPtr<IClassFactory> factory;
    ComPtr<IPropertyPage> page;
    ComPtr<FakePageHost> host;
    ComPtr<FakePageSite> other;
    ComPtr<FakePageSite> site;
    ParentWindow parent;
};

TEST_F(FFTPageTest, AggregatedPageDelegatesToItsOuterObject)
{
    ComPtr<FakeOuter> outer = modkit::make<FakeOuter>(factory.Get());
    ComPtr<IPropertyPage> inner;
    ASSERT_EQ(S_OK, outer.As(&inner));
    ComPtr<IUnknown> identity;
    ASSERT_EQ(S_OK, inner.As(&identity));
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<IPersist*>(outer.Get())), identity.Get());
    identity.Reset();

    // The hosts are told of the page under the outer object's identity.
    IUnknown* objects[] = {host.Get()};
    ASSERT_EQ(S_OK, inner->SetObjects(1, objects));
    RECT rect{0, 0, 100, 100};
    ASSERT_EQ(S_OK, inner->Activate(parent.get(), &rect, FALSE));
    EXPECT_EQ(static_cast<IUnknown*>(static_cast<IPersist*>(outer.Get())), host->identity);
    EXPECT_EQ(S_OK, inner->Deactivate());

    ULONG before = refCount(outer.Get());
    inner.Reset();
    EXPECT_EQ(before - 1, refCount(outer.Get())) << "the page's references count on the outer object";
    EXPECT_EQ(0u, outer.Reset());
}

TEST_F(FFTPageTest, RefusesWhatItCannotDo)
{
    ComPtr<IModulePage> modulePage;
    ASSERT_EQ(S_OK, page.As(&modulePage));
    RECT rect{0, 0, 10, 10};
    long width = 0;
    struct Row {
        const char* call;
        HRESULT expected;
        HRESULT actual;
    } rows[] = {
        {"Activate without a rectangle", E_POINTER, page->Activate(parent.get(), nullptr, FALSE)},
        {"GetPageInfo without a structure", E_POINTER, page->GetPageInfo(nullptr)},
        {"SetObjects without an array", E_POINTER, page->SetObjects(1, nullptr)},
        {"Show before Activate", E_UNEXPECTED, page->Show(SW_SHOW)},
        {"Move before Activate", E_UNEXPECTED, page->Move(&rect)},
        {"Help", E_NOTIMPL, page->Help(L"C:\\")},
        {"TranslateAccelerator without a message", E_POINTER, page->TranslateAccelerator(nullptr)},
        {"GetDialogSize without a width", E_POINTER, modulePage->GetDialogSize(nullptr, &width)},
        {"GetDialogSize without a height", E_POINTER, modulePage->GetDialogSize(&width, nullptr)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.call);
        EXPECT_EQ(row.expected, row.actual);
    }
    activate();
    EXPECT_EQ(E_POINTER, page->Move(nullptr)) << "with a window, a missing rectangle";
}

TEST_F(FFTPageTest, KeepsTheFirstSiteUntilItIsCleared)
{
    ULONG siteRefs = refCount(site.Get());
    ASSERT_EQ(S_OK, page->SetPageSite(site.Get()));
    EXPECT_EQ(siteRefs + 1, refCount(site.Get()));

    ComPtr<FakePageSite> second = modkit::make<FakePageSite>();
    ULONG secondRefs = refCount(second.Get());
    EXPECT_EQ(E_UNEXPECTED, page->SetPageSite(second.Get()));
    EXPECT_EQ(secondRefs, refCount(second.Get()));
    EXPECT_EQ(siteRefs + 1, refCount(site.Get())) << "the first site stays";

    EXPECT_EQ(S_OK, page->SetPageSite(nullptr));
    EXPECT_EQ(siteRefs, refCount(site.Get()));
    EXPECT_EQ(S_OK, page->SetPageSite(second.Get())) << "after clearing, a new site is taken";
    EXPECT_EQ(S_OK, page->SetPageSite(nullptr));
}

TEST_F(FFTPageTest, ActivatesAsAChildAndDeactivatesEveryTime)
{
    giveObjects({host.Get(), other.Get()});
    activate();
    HWND dialog = parent.page();
    ASSERT_NE(nullptr, dialog);
    EXPECT_TRUE(GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD);
    RECT placed{};
    GetWindowRect(dialog, &placed);
    MapWindowPoints(nullptr, parent.get(), reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ((RECT{10, 20, 290, 174}).left, placed.left);
    EXPECT_EQ(20, placed.top);
    EXPECT_EQ(280, placed.right - placed.left);
    EXPECT_EQ(154, placed.bottom - placed.top);
    EXPECT_EQ(1, host->attached);

    RECT moved{5, 6, 105, 56};
    EXPECT_EQ(S_OK, page->Move(&moved));
    GetWindowRect(dialog, &placed);
    EXPECT_EQ(100, placed.right - placed.left);
    EXPECT_EQ(S_OK, page->Show(SW_SHOW));
    EXPECT_TRUE(GetWindowLongW(dialog, GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(S_OK, page->Show(SW_HIDE));
    EXPECT_FALSE(GetWindowLongW(dialog, GWL_STYLE) & WS_VISIBLE);

    EXPECT_EQ(S_OK, page->Deactivate());
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(nullptr, parent.page());
    EXPECT_EQ(S_OK, page->Deactivate()) << "a second Deactivate has no window left to destroy";
    EXPECT_EQ(2, host->detached) << "but detaches again";
    EXPECT_EQ(E_UNEXPECTED, page->Show(SW_SHOW));

    activate(); // a page may be activated again
    EXPECT_NE(nullptr, parent.page());
    EXPECT_EQ(2, host->attached);
    EXPECT_EQ(S_OK, page->Deactivate());
}

TEST_F(FFTPageTest, FailedWindowStillAttachesTheHosts)
{
    giveObjects({host.Get()});
    RECT rect{0, 0, 100, 100};
    EXPECT_EQ(E_FAIL, page->Activate(nullptr, &rect, FALSE)) << "a child dialog needs a parent";
    EXPECT_EQ(1, host->attached);
    EXPECT_EQ(E_UNEXPECTED, page->Show(SW_SHOW));
    EXPECT_EQ(S_OK, page->Deactivate());
    EXPECT_EQ(1, host->detached);
}

TEST_F(FFTPageTest, HostFailuresAreReportedAfterEveryHostWasTold)
{
    ComPtr<FakePageHost> failing = modkit::make<FakePageHost>();
    failing->attachResult = E_ACCESSDENIED;
    giveObjects({failing.Get(), host.Get()});
    RECT rect{0, 0, 100, 100};
    EXPECT_EQ(E_ACCESSDENIED, page->Activate(parent.get(), &rect, FALSE));
    EXPECT_EQ(1, host->attached);
    EXPECT_NE(nullptr, parent.page()) << "the window stays for the Deactivate that follows";
    EXPECT_EQ(S_OK, page->Deactivate());
}

TEST_F(FFTPageTest, PageInfoOfTheEmptyPanel)
{
    activate();
    PageInfo info;
    ASSERT_EQ(S_OK, page->GetPageInfo(&info));
    EXPECT_EQ(sizeof(PROPPAGEINFO), info.cb);
#ifndef _WIN64
    EXPECT_EQ(28u, info.cb);
#endif
    EXPECT_STREQ(L"Custom", info.pszTitle);
    EXPECT_STREQ(L"", info.pszDocString);
    EXPECT_STREQ(L"", info.pszHelpFile) << "no module yet";
    EXPECT_EQ(0u, info.dwHelpContext);

    SIZE mapped = mappedSize(parent.page(), {186, 95});
    EXPECT_EQ(mapped.cx, info.size.cx);
    EXPECT_EQ(mapped.cy, info.size.cy);
    // 8-point MS Sans Serif at 96 dpi, as on Windows: needs Wine's fonts in the prefix.
    EXPECT_EQ(279, info.size.cx);
    EXPECT_EQ(154, info.size.cy);

    ComPtr<IModulePage> modulePage;
    ASSERT_EQ(S_OK, page.As(&modulePage));
    long width = 0, height = 0;
    EXPECT_EQ(S_OK, modulePage->GetDialogSize(&width, &height));
    EXPECT_EQ(186, width);
    EXPECT_EQ(95, height);
    EXPECT_EQ(S_OK, modulePage->Refresh());
    EXPECT_EQ(S_OK, page->Deactivate());
}

TEST_F(FFTPageTest, AnObjectThatIsNotTheModuleIsKeptButNeverTouched)
{
    ULONG otherRefs = refCount(other.Get());
    giveObjects({other.Get()});
    EXPECT_EQ(otherRefs + 1, refCount(other.Get()));
    long modified = h.core().modifiedCount();

    activate();
    EXPECT_EQ(S_OK, page->Apply());
    EXPECT_EQ(modified, h.core().modifiedCount()) << "no module: no SetModified, neither at set-up nor at Apply";
    PageInfo info;
    ASSERT_EQ(S_OK, page->GetPageInfo(&info));
    EXPECT_STREQ(L"", info.pszHelpFile);
    EXPECT_EQ(S_OK, page->Deactivate());

    IUnknown* none = nullptr;
    ASSERT_EQ(S_OK, page->SetObjects(0, &none));
    EXPECT_EQ(otherRefs, refCount(other.Get())) << "released when new objects come";
}

TEST_F(FFTPageTest, TheModuleIsFoundAndToldOfTheSetUpAndEveryApply)
{
    giveObjects({other.Get(), h.unknown()});
    ASSERT_EQ(S_OK, page->SetPageSite(site.Get()));
    h.calls().reset();
    activate();
    EXPECT_EQ(1, h.calls().count(SiteCall::SetModified)) << "set-up ends with SetModified(0)";
    EXPECT_EQ(0, h.core().lastModifiedFlag());

    EXPECT_EQ(S_OK, page->IsPageDirty()) << "the flag is clear: the frame always applies";
    EXPECT_EQ(S_OK, page->Apply());
    EXPECT_EQ(2, h.calls().count(SiteCall::SetModified));
    EXPECT_EQ(0, h.core().lastModifiedFlag());
    EXPECT_TRUE(site->statusChanges.empty()) << "never dirty, so nothing to tell the frame";

    PageInfo info;
    ASSERT_EQ(S_OK, page->GetPageInfo(&info));
    Bstr helpFile;
    ASSERT_EQ(S_OK, h.module()->GetHelpFile(helpFile.put()));
    EXPECT_FALSE(helpFile.empty());
    EXPECT_EQ(std::wstring(helpFile.view()), info.pszHelpFile);

    // Later objects never take the module away.
    giveObjects({other.Get()});
    EXPECT_EQ(S_OK, page->Apply());
    EXPECT_EQ(3, h.calls().count(SiteCall::SetModified));
    EXPECT_EQ(S_OK, page->Deactivate());
    EXPECT_EQ(S_OK, page->SetPageSite(nullptr));
}

TEST_F(FFTPageTest, SetModifiedFailureEndsApplyWithIt)
{
    giveObjects({h.unknown()});
    h.failCall(SiteCall::SetModified, E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, page->Apply());
    EXPECT_EQ(S_OK, page->Apply()) << "the next one goes through";
}

TEST_F(FFTPageTest, TranslatesOnlyKeyboardAndMouseMessagesOfItsWindow)
{
    MSG tab{parent.get(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_EQ(S_FALSE, page->TranslateAccelerator(&tab)) << "no window yet";
    activate();
    HWND dialog = parent.page();

    MSG timer{dialog, WM_TIMER, 1, 0, 0, {}};
    EXPECT_EQ(S_FALSE, page->TranslateAccelerator(&timer));
    tab.hwnd = dialog;
    EXPECT_EQ(S_OK, page->TranslateAccelerator(&tab)) << "the dialog's own handling takes the tab key";
    MSG elsewhere{parent.get(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    EXPECT_EQ(S_FALSE, page->TranslateAccelerator(&elsewhere)) << "a key for another window";
    EXPECT_EQ(S_OK, page->Deactivate());
}

} // namespace
