#pragma once
// DisplayWindow: what the display modules (graph window, image window) share. Their top-level window
// is made from the dialog template 5002 with its frame control 5003; the frame keeps a 12-pixel
// margin when the window is resized. The window's placement is a setting of the module ("Top",
// "Left", "Width", "Height"); the caption names the modules feeding the window; and every move and
// resize is passed on to the engine, as the module's Placement choice says.
//
// A display module keeps one DisplayWindow subclass as a member for its whole life (the window
// itself exists between Open and Close) and overrides:
//   may:  OnPaint (the frame's drawing), OnInitWindow (the window was made), OnSized (after the frame
//         was fitted)
// Handlers run inside the error boundary (com/dialog_window.h).
#include <windows.h>
#include <string>
#include "engine.h"
#include "module/settings.h"
#include "com/dialog_window.h"
#include "window/display_ids.h"

namespace modkit {

class ModuleBase;

inline constexpr int displayWindowTemplate = IDD_DISPLAY_WINDOW;
inline constexpr int displayFrameControl = IDC_DISPLAY_FRAME;

// Where the window goes, in screen pixels.
struct WindowPlacement {
    long top = 50;
    long left = 50;
    long height = 150;
    long width = 200;
};

class DisplayWindow : public DialogWindow {
public:
    // What a move or resize of the window tells the engine:
    //   ReportChange  that the module changed (SetModified 1), every time, also while the module
    //                 places the window itself as it opens it;
    //   SaveAtOnce    the placement itself, saved at once through the site's host object, when the
    //                 engine has one. Not while the module places the window as it opens it (after
    //                 a load, or at OpenWindow): the window then stands where the settings say, and
    //                 a save there would write the store that is being loaded.
    enum class OnMove { ReportChange, SaveAtOnce };

    DisplayWindow(ModuleBase& module, OnMove onMove) noexcept : module_(module), onMove_(onMove) {}
    ~DisplayWindow() override;

    WindowPlacement placement;

    bool isOpen() const noexcept { return hwnd() != nullptr; }
    HWND frame() const noexcept { return GetDlgItem(hwnd(), displayFrameControl); }
    // Creates the window from the template of the current resources as a top-level window, places it
    // at `placement` without changing the Z order and shows it. Nothing when it is open already.
    // Throws the platform's error when it cannot be made.
    void Open();
    void Close() noexcept { Destroy(); }

    // "Wave " followed by the instance name and a blank of every module feeding `site`, or by
    // "No Inputs" when none does, as the open window's caption.
    void ShowSourcesCaption(IModuleSite& site);
    // The placement part of saving: when the window is open, its screen rectangle as "Top", "Left",
    // "Width", "Height", in that order (for a minimised window, the rectangle it is restored to).
    void SavePlacement(Settings& settings) const;
    // The placement part of loading. Nothing unless the site asks for the placement to be restored.
    // Then reads "Width": not 0 also reads "Top", "Left", "Height"; 0 makes the width 200 and keeps
    // the rest. A store without "Width" (saved with the window closed) reads as 0. Then the window is
    // closed and opened again at the placement.
    void LoadPlacement(Settings& settings, IModuleSite& site);

protected:
    virtual void OnInitWindow() {}
    // Paint request; the window's update region is validated by the caller.
    virtual void OnPaint() {}
    virtual void OnSized(int /*cx*/, int /*cy*/) {}

private:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) final;
    void Moved();

    ModuleBase& module_;
    const OnMove onMove_;
    bool placing_ = false; // Open is making and placing the window
};

} // namespace modkit
