#pragma once
// A module's property page opened the way a host opens it: created from the module's own server,
// given a page site and the module, activated inside a hidden parent window. Tests then drive the
// real controls with real messages and watch the module.
#include <windows.h>
#include <commctrl.h>
#include <ocidl.h>
#include <wrl/client.h>
#include <string>
#include <vector>
#include "com/handle.h"
#include "com/object.h"
#include "host/panel/page_site.h"
#include "module_harness.h"

namespace vento::test {

// The page's site as a frame would be: records OnStatusChange.
class FakePageSite : public PageSite {
public:
    std::vector<DWORD> statusChanges;

    STDMETHODIMP OnStatusChange(DWORD flags) noexcept override
    {
        statusChanges.push_back(flags);
        return S_OK;
    }
};

// A top-level window for pages to live in (hidden; child dialogs need a real parent).
class ParentWindow {
public:
    ParentWindow();
    HWND get() const noexcept { return window_.get(); }
    // The first child dialog, null when none.
    HWND page() const noexcept { return FindWindowExW(window_.get(), nullptr, L"#32770", nullptr); }

private:
    modkit::UniqueWindow window_;
};

class PageHarness {
public:
    // The page class `pageClsid` of the server that holds the harness's module.
    PageHarness(ModuleHarness& module, const wchar_t* dllName, REFCLSID pageClsid);
    ~PageHarness();
    PageHarness(const PageHarness&) = delete;
    PageHarness& operator=(const PageHarness&) = delete;

    IPropertyPage* page() const noexcept { return page_.Get(); }
    FakePageSite& site() const noexcept { return *site_.Get(); }
    HWND dialog() const noexcept { return parent_.page(); }
    HWND item(int id) const noexcept { return GetDlgItem(dialog(), id); }
    std::wstring text(int id) const;

    // Moves a trackbar as the user would: the new position, then the scroll message to the panel.
    void moveTrackbar(int id, int position);
    int trackbarPosition(int id) const;
    std::pair<int, int> trackbarRange(int id) const;
    // Picks entry `index` of a drop-down list as the user would: the selection, then CBN_SELCHANGE.
    void selectCombo(int id, int index);
    // Presses a button (a check box toggles) with BM_CLICK, which notifies the panel itself.
    void click(int id);
    // IModulePage::Refresh, as the host calls it.
    HRESULT refresh();
    HRESULT apply() { return page_->Apply(); }

private:
    ParentWindow parent_;
    Microsoft::WRL::ComPtr<FakePageSite> site_;
    Microsoft::WRL::ComPtr<IPropertyPage> page_;
};

} // namespace vento::test
