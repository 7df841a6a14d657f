#include "com/dialog_window.h"

#include <cstdio>
#include <utility>
#include "com/error.h"

namespace modkit {

DialogWindow::~DialogWindow()
{
    // The derived part is gone already: the window's last messages take the default handling.
    if (!hwnd_) return;
    SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    DestroyWindow(std::exchange(hwnd_, nullptr));
}

void DialogWindow::Destroy() noexcept
{
    if (hwnd_) DestroyWindow(hwnd_); // WM_NCDESTROY clears hwnd_
    hwnd_ = nullptr;
}

HWND DialogWindow::CreateFromTemplate(int templateId, HWND parent) noexcept
{
    Destroy();
    return CreateDialogParamW(resourceInstance(), MAKEINTRESOURCEW(templateId), parent, &Procedure,
                              reinterpret_cast<LPARAM>(this));
}

HWND DialogWindow::CreateFromMemory(const DLGTEMPLATE* dialogTemplate, HINSTANCE instance, HWND parent) noexcept
{
    Destroy();
    return CreateDialogIndirectParamW(instance, dialogTemplate, parent, &Procedure, reinterpret_cast<LPARAM>(this));
}

void DialogWindow::NoteFailure(HRESULT hr) noexcept
{
    lastFailure_ = hr;
    const Failure& where = modkit::lastFailure();
    char text[200];
    if (where.code == hr && where.file)
        std::snprintf(text, sizeof text, "modkit: a window handler ended with 0x%08lX at %s:%u\n",
                      static_cast<unsigned long>(hr), where.file, where.line);
    else
        std::snprintf(text, sizeof text, "modkit: a window handler ended with 0x%08lX\n", static_cast<unsigned long>(hr));
    OutputDebugStringA(text);
}

INT_PTR CALLBACK DialogWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    DialogWindow* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<DialogWindow*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd; // handlers run before the creating call returns
    } else {
        self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE; // messages before WM_INITDIALOG (WM_SETFONT) take the default handling

    INT_PTR result = FALSE;
    // Nothing thrown in a handler may reach the window manager: the handler ends here.
    if (HRESULT hr = boundary([&] { result = self->HandleMessage(message, wParam, lParam); }); FAILED(hr)) {
        self->NoteFailure(hr);
        result = message == WM_INITDIALOG ? TRUE : FALSE;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

} // namespace modkit
