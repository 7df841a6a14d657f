#include "window/display_window.h"

#include <wrl/client.h>
#include "com/bstr.h"
#include "com/error.h"

namespace modkit {

using Microsoft::WRL::ComPtr;

void SavePlacement(ISettingsStore& store, HWND window)
{
    RECT r{};
    if (!GetWindowRect(window, &r)) throwHr(HRESULT_FROM_WIN32(GetLastError()));
    check(store.WriteFloat(Bstr(L"Top").get(), float(r.top)));
    check(store.WriteFloat(Bstr(L"Left").get(), float(r.left)));
    check(store.WriteFloat(Bstr(L"Width").get(), float(r.right - r.left)));
    check(store.WriteFloat(Bstr(L"Height").get(), float(r.bottom - r.top)));
}

bool LoadPlacement(ISettingsStore& store, IModuleSite& site, WindowPlacement& placement)
{
    long restore = 0;
    check(site.GetRestorePlacement(&restore));
    if (!restore) return false;
    float width = 0.0f;
    if (FAILED(store.ReadFloat(Bstr(L"Width").get(), &width))) width = 0.0f;
    if (long(width) == 0) {
        placement.width = 200;
        return true;
    }
    float top = 0.0f, left = 0.0f, height = 0.0f;
    check(store.ReadFloat(Bstr(L"Top").get(), &top));
    check(store.ReadFloat(Bstr(L"Left").get(), &left));
    check(store.ReadFloat(Bstr(L"Height").get(), &height));
    placement = {long(top), long(left), long(height), long(width)};
    return true;
}

std::wstring SourcesCaption(IModuleSite& site)
{
    std::wstring caption = L"Wave ";
    long count = 0;
    check(site.GetSourceCount(&count));
    if (count <= 0) return caption + L"No Inputs";
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
    return caption;
}

// --- the window ----------------------------------------------------------------------------------

DisplayWindow::~DisplayWindow() { Destroy(); }

void DisplayWindow::Open(const WindowPlacement& placement)
{
    Destroy();
    HWND created = CreateDialogParamW(resourceInstance(), MAKEINTRESOURCEW(displayWindowTemplate), nullptr,
                                      &DialogProc, reinterpret_cast<LPARAM>(this));
    if (!created) throwHr(HRESULT_FROM_WIN32(GetLastError()));
    hwnd_ = created;
    placing_ = true;
    SetWindowPos(hwnd_, nullptr, placement.left, placement.top, placement.width, placement.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    placing_ = false;
}

void DisplayWindow::Destroy() noexcept
{
    if (hwnd_) DestroyWindow(hwnd_); // WM_NCDESTROY clears hwnd_
    hwnd_ = nullptr;
}

INT_PTR CALLBACK DisplayWindow::DialogProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) noexcept
{
    DisplayWindow* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<DisplayWindow*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
        return TRUE;
    }
    self = reinterpret_cast<DisplayWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
        return FALSE;
    }
    bool handled = false;
    HRESULT hr = boundary([&] { handled = self->HandleMessage(message, lParam); });
    if (FAILED(hr)) {
        self->lastFailure_ = hr;
        OutputDebugStringW(L"modkit: a display window handler failed\n");
    }
    return handled;
}

bool DisplayWindow::HandleMessage(UINT message, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd_, &ps);
        // The update region is validated even when the drawing fails.
        struct End {
            HWND w;
            PAINTSTRUCT* p;
            ~End() { EndPaint(w, p); }
        } end{hwnd_, &ps};
        OnPaint();
        return true;
    }
    case WM_SIZE: {
        int cx = LOWORD(lParam), cy = HIWORD(lParam);
        // The frame keeps a 12-pixel margin on every side.
        SetWindowPos(frame(), nullptr, 12, 12, cx > 24 ? cx - 24 : 0, cy > 24 ? cy - 24 : 0, SWP_NOZORDER | SWP_NOACTIVATE);
        OnSized(cx, cy);
        return true;
    }
    case WM_MOVE:
        OnMoved();
        return true;
    default:
        return false;
    }
}

} // namespace modkit
