#include "window/display_window.h"

#include <wrl/client.h>
#include "com/bstr.h"
#include "com/error.h"
#include "com/handle.h"
#include "module/module_base.h"

namespace modkit {

using Microsoft::WRL::ComPtr;

DisplayWindow::~DisplayWindow() { Destroy(); }

void DisplayWindow::Open()
{
    if (isOpen()) return;
    placing_ = true;
    auto placed = scopeExit([this]() noexcept { placing_ = false; });
    if (!CreateFromTemplate(displayWindowTemplate, nullptr)) throwHr(HRESULT_FROM_WIN32(GetLastError()));
    SetWindowPos(hwnd(), nullptr, placement.left, placement.top, placement.width, placement.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd(), SW_SHOWNOACTIVATE);
}

void DisplayWindow::ShowSourcesCaption(IModuleSite& site)
{
    if (!isOpen()) return;
    std::wstring caption = L"Wave ";
    long count = 0;
    check(site.GetSourceCount(&count));
    if (count <= 0) caption += L"No Inputs";
    for (long i = 0; i < count; ++i) {
        ComPtr<IUnknown> source;
        check(site.GetSource(i, &source));
        ComPtr<IModuleSite> sourceSite;
        check(source.As(&sourceSite));
        Bstr name;
        check(sourceSite->GetInstanceName(name.put()));
        caption.append(name.view());
        caption += L' ';
    }
    SetWindowTextW(hwnd(), caption.c_str());
}

void DisplayWindow::SavePlacement(Settings& settings) const
{
    if (!isOpen()) return;
    RECT r{};
    if (!GetWindowRect(hwnd(), &r)) throwHr(HRESULT_FROM_WIN32(GetLastError()));
    // A minimised window stands off the screen: the place it is restored to is the one to keep.
    WINDOWPLACEMENT normal{};
    normal.length = sizeof normal;
    if (IsIconic(hwnd()) && GetWindowPlacement(hwnd(), &normal)) r = normal.rcNormalPosition;
    settings.write(L"Top", r.top);
    settings.write(L"Left", r.left);
    settings.write(L"Width", r.right - r.left);
    settings.write(L"Height", r.bottom - r.top);
}

void DisplayWindow::LoadPlacement(Settings& settings, IModuleSite& site)
{
    long restore = 0;
    check(site.GetRestorePlacement(&restore));
    if (!restore) return;
    // A width the store does not have, or cannot be a width (no number, beyond 32 bits), reads as 0.
    float stored = 0.0f;
    if (FAILED(settings.store().ReadFloat(Bstr(L"Width").get(), &stored))) stored = 0.0f;
    const long width = Settings::whole(stored).value_or(0);
    if (width == 0) {
        placement.width = 200;
    } else {
        settings.read(L"Top", placement.top);
        settings.read(L"Left", placement.left);
        settings.read(L"Height", placement.height);
        placement.width = width;
    }
    Close();
    Open();
}

void DisplayWindow::Moved()
{
    ComPtr<IModuleSite> site;
    check(module_.controllingUnknown()->QueryInterface(IID_IModuleSite, reinterpret_cast<void**>(site.GetAddressOf())));
    if (onMove_ == OnMove::ReportChange) {
        check(site->SetModified(1));
        return;
    }
    if (placing_) return;
    // Without a host object the engine gets the placement when it asks for the settings.
    ComPtr<IUnknown> host;
    if (FAILED(site->GetHostObject(&host)) || !host) return;
    check(module_.SaveSettings(host.Get()));
}

INT_PTR DisplayWindow::HandleMessage(UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitWindow();
        return TRUE;
    case WM_PAINT: {
        PaintScope paint(hwnd());
        OnPaint();
        return TRUE;
    }
    case WM_SIZE: {
        int cx = LOWORD(lParam), cy = HIWORD(lParam);
        // The frame keeps a 12-pixel margin on every side.
        SetWindowPos(frame(), nullptr, 12, 12, cx > 24 ? cx - 24 : 0, cy > 24 ? cy - 24 : 0, SWP_NOZORDER | SWP_NOACTIVATE);
        OnSized(cx, cy);
        Moved();
        return TRUE;
    }
    case WM_MOVE:
        Moved();
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace modkit
