// The dialog base and the page-size computation, with pages built into this program around its own
// templates (panel_test.rc) and the FFT module from the engine harness as the module they edit.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <stdexcept>
#include <vector>
#include "engine.h"
#include "fwdtransform_idl.h"
#include "module_harness.h"
#include "page_fakes.h"
#include "panel_ids.h"
#include "com/object.h"
#include "panel/property_page.h"

using namespace panel_test;
using modkit::ModuleDialog;
using vento::SiteCall;
using vento::test::ModuleHarness;

namespace {

// A panel with one control of each kind. Its handlers run what the test puts into `inScope` inside
// an update scope; it records what the framework asked of it.
class ProbeDialog : public ModuleDialog {
public:
    ProbeDialog() { last = this; }
    ~ProbeDialog() override
    {
        if (last == this) last = nullptr;
    }
    static inline ProbeDialog* last = nullptr;

    std::vector<std::string> events;
    std::function<void()> inScope;
    bool markChange = true;
    HRESULT applyResult = S_OK;

    // Test access to the helpers.
    using ModuleDialog::AddComboItems;
    using ModuleDialog::ComboSelection;
    using ModuleDialog::GetFloat;
    using ModuleDialog::GetInt;
    using ModuleDialog::IsChecked;
    using ModuleDialog::SelectCombo;
    using ModuleDialog::SetChecked;
    using ModuleDialog::SetFloat;
    using ModuleDialog::SetInt;
    using ModuleDialog::SetText;
    using ModuleDialog::SetTrackPos;
    using ModuleDialog::SetTrackRange;
    using ModuleDialog::Text;
    using ModuleDialog::TrackPos;

    HRESULT Apply() override
    {
        events.push_back("Apply");
        return applyResult;
    }

protected:
    BOOL OnInitDialog() override
    {
        ModuleDialog::OnInitDialog();
        SetTrackRange(IDC_TRACK, -100, 100);
        AddComboItems(IDC_COMBO, {L"Sine", L"Square", L"Impulse", L"White"});
        MarkUnchanged();
        return TRUE;
    }
    void ExchangeControls(Exchange direction) override
    {
        events.push_back(direction == Exchange::ToControls ? "ToControls" : "FromControls");
    }
    bool OnHScroll(int, int, HWND) override
    {
        UpdateScope scope(*this);
        if (inScope) inScope();
        if (markChange) scope.markChanged();
        return true;
    }
};

using ProbePage = modkit::PropertyPage<ProbeDialog, IFFTModule, IDD_PROBE>;
template <int Id>
using EmptyPage = modkit::PropertyPage<modkit::EmptyModuleDialog, IFFTModule, Id>;

template <class Page>
ComPtr<IPropertyPage> createPage()
{
    ComPtr<IPropertyPage> page;
    EXPECT_EQ(S_OK, modkit::createInstance<Page>(nullptr, IID_PPV_ARGS(&page)));
    return page;
}

INT_PTR CALLBACK plainDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

// --- page size ----------------------------------------------------------------------------------

template <int Id>
void expectSizeAsThePlatformMapsIt(SIZE units)
{
    ParentWindow parent;
    HWND reference = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(Id), parent.get(), &plainDialogProc, 0);
    ASSERT_NE(nullptr, reference);
    SIZE expected = mappedSize(reference, units);
    DestroyWindow(reference);

    ComPtr<IPropertyPage> page = createPage<EmptyPage<Id>>();
    PageInfo info;
    ASSERT_EQ(S_OK, page->GetPageInfo(&info));
    EXPECT_EQ(expected.cx, info.size.cx);
    EXPECT_EQ(expected.cy, info.size.cy);

    ComPtr<IModulePage> modulePage;
    ASSERT_EQ(S_OK, page.As(&modulePage));
    long width = 0, height = 0;
    ASSERT_EQ(S_OK, modulePage->GetDialogSize(&width, &height));
    EXPECT_EQ(units.cx, width);
    EXPECT_EQ(units.cy, height);
}

TEST(PageSize, PlainTemplateWithItsOwnFont)
{
    vento::ComApartment apartment;
    expectSizeAsThePlatformMapsIt<IDD_PLAIN_FONT>({200, 120});
}

TEST(PageSize, ExtendedTemplateWithItsOwnFont)
{
    vento::ComApartment apartment;
    expectSizeAsThePlatformMapsIt<IDD_EXTENDED_FONT>({150, 80});
}

TEST(PageSize, TemplateWithoutAFontUsesTheSystemDialogUnits)
{
    vento::ComApartment apartment;
    expectSizeAsThePlatformMapsIt<IDD_SYSTEM_FONT>({120, 60});
    LONG base = GetDialogBaseUnits();
    EXPECT_EQ(MulDiv(120, LOWORD(base), 4), modkit::dialogTemplatePixels(modkit::findDialogTemplate(IDD_SYSTEM_FONT)).cx);
}

TEST(PageSize, MissingTemplate)
{
    vento::ComApartment apartment;
    ComPtr<IPropertyPage> page = createPage<EmptyPage<IDD_MISSING>>();
    PageInfo info;
    EXPECT_EQ(E_UNEXPECTED, page->GetPageInfo(&info));
    ComPtr<IModulePage> modulePage;
    ASSERT_EQ(S_OK, page.As(&modulePage));
    long width = 0, height = 0;
    EXPECT_EQ(E_UNEXPECTED, modulePage->GetDialogSize(&width, &height));
    ComPtr<FakePageHost> host = modkit::make<FakePageHost>();
    IUnknown* objects[] = {host.Get()};
    ASSERT_EQ(S_OK, page->SetObjects(1, objects));
    ParentWindow parent;
    RECT rect{0, 0, 50, 50};
    EXPECT_EQ(E_FAIL, page->Activate(parent.get(), &rect, FALSE));
    EXPECT_EQ(1, host->attached);
}

TEST(PageSize, CutShortTemplatesAreNeverReadPastTheirEnd)
{
    std::span<const BYTE> real = modkit::findDialogTemplate(IDD_EXTENDED_FONT);
    ASSERT_FALSE(real.empty());
    SIZE units{};
    EXPECT_FALSE(modkit::dialogTemplateUnits(real.first(20), units)) << "header cut before the size";
    EXPECT_THROW(modkit::dialogTemplatePixels(real.first(20)), modkit::ComError);
    ASSERT_TRUE(modkit::dialogTemplateUnits(real.first(26), units));
    EXPECT_EQ(150, units.cx);

    // Font fields cut off (the face name has no terminator left): the system's units, no overread.
    std::vector<BYTE> copy(real.begin(), real.end() - 4);
    LONG base = GetDialogBaseUnits();
    SIZE pixels = modkit::dialogTemplatePixels(copy);
    EXPECT_EQ(MulDiv(150, LOWORD(base), 4), pixels.cx);
    EXPECT_EQ(MulDiv(80, HIWORD(base), 8), pixels.cy);
}

// --- the dialog base -----------------------------------------------------------------------------

class ProbePanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, h.initialize());
        page = createPage<ProbePage>();
        site = modkit::make<FakePageSite>();
        ASSERT_EQ(S_OK, page->SetPageSite(site.Get()));
        IUnknown* objects[] = {h.unknown()};
        ASSERT_EQ(S_OK, page->SetObjects(1, objects));
        RECT rect{0, 0, 280, 154};
        ASSERT_EQ(S_OK, page->Activate(parent.get(), &rect, FALSE));
        dialog = ProbeDialog::last;
        ASSERT_NE(nullptr, dialog);
        h.calls().reset();
    }
    void TearDown() override
    {
        if (page) {
            page->Deactivate();
            page->SetPageSite(nullptr);
        }
        page.Reset();
    }
    // The trackbar moved, as the control reports it to its dialog.
    void slide()
    {
        SendMessageW(dialog->hwnd(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, 0),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog->hwnd(), IDC_TRACK)));
    }
    std::vector<SiteCall> updateCalls()
    {
        std::vector<SiteCall> calls;
        for (const vento::CallLogEntry& e : h.calls().entries())
            if (e.call == SiteCall::BeginUpdate || e.call == SiteCall::EndUpdate || e.call == SiteCall::SetModified)
                calls.push_back(e.call);
        return calls;
    }

    ModuleHarness h{L"fwdtransform.dll", CLSID_FFTModule};
    ParentWindow parent;
    ComPtr<IPropertyPage> page;
    ComPtr<FakePageSite> site;
    ProbeDialog* dialog = nullptr;
};

TEST_F(ProbePanelTest, SetUpFillsTheControlsThenTellsTheModuleItIsUnchanged)
{
    EXPECT_EQ((std::vector<std::string>{"ToControls"}), dialog->events);
    EXPECT_EQ(0, h.core().lastModifiedFlag());
    EXPECT_EQ(1, h.core().modifiedCount());
}

TEST_F(ProbePanelTest, ControlHelpersReadBackWhatTheyWrote)
{
    dialog->SetTrackPos(IDC_TRACK, -40);
    EXPECT_EQ(-40, dialog->TrackPos(IDC_TRACK)) << "negative limits survive the range";
    dialog->SetTrackPos(IDC_TRACK, 500);
    EXPECT_EQ(100, dialog->TrackPos(IDC_TRACK));

    dialog->SetFloat(IDC_EDIT, 44.1);
    EXPECT_EQ(L"44.1", dialog->Text(IDC_EDIT));
    EXPECT_EQ(44.1, dialog->GetFloat(IDC_EDIT));
    dialog->SetFloat(IDC_EDIT, 0.1f); // the float nearest 0.1, shown in full
    EXPECT_EQ(double(0.1f), dialog->GetFloat(IDC_EDIT));
    dialog->SetInt(IDC_EDIT, -12);
    EXPECT_EQ(-12, dialog->GetInt(IDC_EDIT));
    for (const wchar_t* notAnInt : {L"", L"12x", L"99999999999", L"1.5"}) {
        dialog->SetText(IDC_EDIT, notAnInt);
        EXPECT_EQ(std::nullopt, dialog->GetInt(IDC_EDIT)) << "text of length " << wcslen(notAnInt);
    }

    EXPECT_EQ(-1, dialog->ComboSelection(IDC_COMBO));
    dialog->SelectCombo(IDC_COMBO, 2);
    EXPECT_EQ(2, dialog->ComboSelection(IDC_COMBO));
    EXPECT_FALSE(dialog->IsChecked(IDC_CHECK));
    dialog->SetChecked(IDC_CHECK, true);
    EXPECT_TRUE(dialog->IsChecked(IDC_CHECK));
    SendMessageW(GetDlgItem(dialog->hwnd(), IDC_CHECK), BM_CLICK, 0, 0);
    EXPECT_FALSE(dialog->IsChecked(IDC_CHECK));
}

TEST_F(ProbePanelTest, UpdateScopeHoldsBackProcessAndReportsTheChangeAfterward)
{
    HRESULT processInScope = E_FAIL;
    int depthInScope = -1;
    dialog->inScope = [&] {
        depthInScope = h.core().updateDepth();
        processInScope = h.process();
    };
    slide();
    EXPECT_EQ(1, depthInScope);
    EXPECT_EQ(S_FALSE, processInScope) << "the engine holds back Process inside the scope";
    EXPECT_EQ(0, h.core().updateDepth());
    EXPECT_EQ((std::vector<SiteCall>{SiteCall::BeginUpdate, SiteCall::EndUpdate, SiteCall::SetModified}), updateCalls());
    EXPECT_EQ(1, h.core().lastModifiedFlag());
    EXPECT_EQ(S_OK, dialog->lastFailure());
}

TEST_F(ProbePanelTest, UnmarkedScopeOnlyPairsTheUpdate)
{
    dialog->markChange = false;
    slide();
    EXPECT_EQ((std::vector<SiteCall>{SiteCall::BeginUpdate, SiteCall::EndUpdate}), updateCalls());
}

TEST_F(ProbePanelTest, FailuresEndTheHandlerInsideTheDialogProcedure)
{
    // A handler that throws half-way: the update is still closed, no change is reported, and the
    // failure stops at the dialog procedure.
    dialog->inScope = [] { modkit::check(E_OUTOFMEMORY); };
    slide();
    EXPECT_EQ((std::vector<SiteCall>{SiteCall::BeginUpdate, SiteCall::EndUpdate}), updateCalls());
    EXPECT_EQ(E_OUTOFMEMORY, dialog->lastFailure());
    EXPECT_EQ(0, h.core().updateDepth());

    dialog->inScope = [] { throw std::runtime_error("anything"); };
    slide();
    EXPECT_EQ(E_FAIL, dialog->lastFailure());

    // BeginUpdate refused: nothing to pair, nothing changed.
    h.calls().reset();
    h.failCall(SiteCall::BeginUpdate, E_ACCESSDENIED);
    bool ran = false;
    dialog->inScope = [&] { ran = true; };
    slide();
    EXPECT_FALSE(ran);
    EXPECT_EQ((std::vector<SiteCall>{SiteCall::BeginUpdate}), updateCalls());
    EXPECT_EQ(E_ACCESSDENIED, dialog->lastFailure());

    // EndUpdate refused: the change is not reported as made.
    h.calls().reset();
    h.failCall(SiteCall::EndUpdate, E_ACCESSDENIED);
    slide();
    EXPECT_EQ((std::vector<SiteCall>{SiteCall::BeginUpdate, SiteCall::EndUpdate}), updateCalls());
    EXPECT_EQ(E_ACCESSDENIED, dialog->lastFailure());
}

TEST_F(ProbePanelTest, ApplyExchangesThenAppliesThenClearsTheDirtyPage)
{
    dialog->events.clear();
    dialog->dirty = 1;
    EXPECT_EQ(S_FALSE, page->IsPageDirty()) << "the flag itself is the answer";
    EXPECT_EQ(S_OK, page->Apply());
    EXPECT_EQ((std::vector<std::string>{"FromControls", "Apply"}), dialog->events);
    EXPECT_EQ(0, dialog->dirty);
    EXPECT_EQ((std::vector<DWORD>{0}), site->statusChanges);
    EXPECT_EQ((std::vector<SiteCall>{SiteCall::SetModified}), updateCalls());
    EXPECT_EQ(0, h.core().lastModifiedFlag());
}

TEST_F(ProbePanelTest, AFailedApplyStillCleansThePageAndAnswersThePanelsResult)
{
    dialog->dirty = 1;
    dialog->applyResult = E_INVALIDARG;
    EXPECT_EQ(E_INVALIDARG, page->Apply());
    EXPECT_EQ(0, dialog->dirty);
    EXPECT_EQ((std::vector<DWORD>{0}), site->statusChanges);
    EXPECT_EQ((std::vector<SiteCall>{SiteCall::SetModified}), updateCalls());
    EXPECT_EQ(0, h.core().lastModifiedFlag());

    dialog->applyResult = S_FALSE;
    EXPECT_EQ(S_FALSE, page->Apply()) << "the panel's own answer";
}

TEST_F(ProbePanelTest, ReleasingAnActivePageTakesItsWindowAlong)
{
    HWND window = dialog->hwnd();
    page->SetPageSite(nullptr);
    EXPECT_EQ(0u, page.Reset());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, ProbeDialog::last);
}

} // namespace
