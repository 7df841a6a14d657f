#pragma once
// What the display modules (graph window, image window) share: their top-level window made from the
// dialog template 5002 with its frame control 5003, the window placement with its settings, and the
// caption naming the modules that feed the window.
//
// A display module keeps a DisplayWindow subclass while its window is shown and overrides:
//   may:  OnPaint (the frame's drawing), OnSized (after the frame was fitted), OnMoved
// Handlers run inside the error boundary with the server's resources current; what they throw ends
// the handler and is kept in lastFailure() (a window has no caller to report it to).
#include <windows.h>
#include <string>
#include "engine.h"

namespace modkit {

inline constexpr int displayWindowTemplate = 5002;
inline constexpr int displayFrameControl = 5003;

// Where the window goes, in screen pixels.
struct WindowPlacement {
    long top = 50;
    long left = 50;
    long height = 150;
    long width = 200;
};

// Writes the window's current screen rectangle as "Top", "Left", "Width", "Height", in that order.
void SavePlacement(ISettingsStore& store, HWND window);
// The placement part of loading settings. Answers false (and changes nothing) unless the site asks for
// the placement to be restored. Then reads "Width": not 0 also reads "Top", "Left", "Height"; 0 makes
// the width 200 and keeps the rest. A store without "Width" (the window was closed when the settings
// were saved) reads as 0. The caller then reopens its window.
bool LoadPlacement(ISettingsStore& store, IModuleSite& site, WindowPlacement& placement);
// "Wave " followed by the instance name and a blank of every module feeding `site`, or by
// "No Inputs" when none does.
std::wstring SourcesCaption(IModuleSite& site);

class DisplayWindow {
public:
    DisplayWindow() = default;
    virtual ~DisplayWindow();
    DisplayWindow(const DisplayWindow&) = delete;
    DisplayWindow& operator=(const DisplayWindow&) = delete;

    // Creates the window from the template of the current resources as a top-level window, places it
    // without changing the Z order and shows it. Throws the platform's error when it cannot be made.
    void Open(const WindowPlacement& placement);
    void Destroy() noexcept;
    HWND hwnd() const noexcept { return hwnd_; }
    HWND frame() const noexcept { return GetDlgItem(hwnd_, displayFrameControl); }
    // True while Open places the window: size and move messages then come from the module, not the user.
    bool placing() const noexcept { return placing_; }
    HRESULT lastFailure() const noexcept { return lastFailure_; }

protected:
    // Paint request; the window's update region is validated by the caller.
    virtual void OnPaint() {}
    virtual void OnSized(int /*cx*/, int /*cy*/) {}
    virtual void OnMoved() {}

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    bool HandleMessage(UINT message, LPARAM lParam);

    HWND hwnd_ = nullptr;
    bool placing_ = false;
    HRESULT lastFailure_ = S_OK;
};

} // namespace modkit
