#include "page_harness.h"

#include <gtest/gtest.h>
#include "com/error.h"

namespace vento::test {

ParentWindow::ParentWindow()
    : window_(CreateWindowExW(0, L"STATIC", L"panel test parent", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                              nullptr, nullptr, nullptr))
{
}

PageHarness::PageHarness(ModuleHarness& module, const wchar_t* dllName, REFCLSID pageClsid)
{
    // The harness holds the server loaded; this takes one more count while the page is made.
    ServerLibrary server(programFolder() / dllName);
    modkit::check(server.classFactory(pageClsid)->CreateInstance(nullptr, IID_PPV_ARGS(&page_)));
    site_ = modkit::make<FakePageSite>();
    modkit::check(page_->SetPageSite(site_.Get()));
    IUnknown* objects[] = {module.unknown()};
    modkit::check(page_->SetObjects(1, objects));
    RECT rect{0, 0, 280, 154};
    modkit::check(page_->Activate(parent_.get(), &rect, FALSE));
}

PageHarness::~PageHarness()
{
    page_->Deactivate();
    page_->SetObjects(0, nullptr);
    page_->SetPageSite(nullptr);
    page_.Reset();
}

std::wstring PageHarness::text(int id) const
{
    wchar_t buffer[256] = {};
    GetDlgItemTextW(dialog(), id, buffer, 256);
    return buffer;
}

void PageHarness::moveTrackbar(int id, int position)
{
    HWND bar = item(id);
    ASSERT_NE(nullptr, bar) << "no trackbar " << id;
    SendMessageW(bar, TBM_SETPOS, TRUE, position);
    SendMessageW(dialog(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position), reinterpret_cast<LPARAM>(bar));
}

int PageHarness::trackbarPosition(int id) const
{
    return static_cast<int>(SendMessageW(item(id), TBM_GETPOS, 0, 0));
}

std::pair<int, int> PageHarness::trackbarRange(int id) const
{
    return {static_cast<int>(SendMessageW(item(id), TBM_GETRANGEMIN, 0, 0)),
            static_cast<int>(SendMessageW(item(id), TBM_GETRANGEMAX, 0, 0))};
}

void PageHarness::selectCombo(int id, int index)
{
    HWND list = item(id);
    ASSERT_NE(nullptr, list) << "no drop-down list " << id;
    ASSERT_NE(CB_ERR, SendMessageW(list, CB_SETCURSEL, index, 0)) << "list " << id << " has no entry " << index;
    SendMessageW(dialog(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void PageHarness::click(int id)
{
    HWND button = item(id);
    ASSERT_NE(nullptr, button) << "no button " << id;
    SendMessageW(button, BM_CLICK, 0, 0);
}

HRESULT PageHarness::refresh()
{
    Microsoft::WRL::ComPtr<IModulePage> modulePage;
    HRESULT hr = page_->QueryInterface(IID_IModulePage, reinterpret_cast<void**>(modulePage.GetAddressOf()));
    if (FAILED(hr)) return hr;
    return modulePage->Refresh();
}

} // namespace vento::test
