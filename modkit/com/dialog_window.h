#pragma once
// DialogWindow: a platform dialog whose messages reach a C++ object. The object is tied to its window
// from WM_INITDIALOG to WM_NCDESTROY; every message runs inside the error boundary with the server's
// resources current; what a handler throws ends that handler and is kept as lastFailure() (a window
// has no caller to report it to) and written to the debug output with its place.
//
// The base of the control-panel dialogs (panel/module_dialog.h), the display modules' windows
// (window/display_window.h) and the host's property frame.
//   must: HandleMessage (answers the dialog procedure's result: TRUE when handled)
#include <windows.h>

namespace modkit {

class DialogWindow {
public:
    DialogWindow() = default;
    virtual ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    HWND hwnd() const noexcept { return hwnd_; }
    // Destroys the window if there is one.
    void Destroy() noexcept;
    // The HRESULT of the last handler that failed (S_OK while none has).
    HRESULT lastFailure() const noexcept { return lastFailure_; }

protected:
    // Creates the dialog from template `templateId` of the current resources, or from a template in
    // memory, with `parent` as its parent (child dialogs) or owner. The window exists, and its
    // WM_INITDIALOG has run, when these return; null when the platform refuses (GetLastError).
    HWND CreateFromTemplate(int templateId, HWND parent) noexcept;
    HWND CreateFromMemory(const DLGTEMPLATE* dialogTemplate, HINSTANCE instance, HWND parent) noexcept;

    virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Keeps a handler's failure (and logs it).
    void NoteFailure(HRESULT hr) noexcept;

private:
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    HWND hwnd_ = nullptr;
    HRESULT lastFailure_ = S_OK;
};

} // namespace modkit
