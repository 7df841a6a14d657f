#pragma once
// What the tests of the display modules share: the module in its real server, initialised before
// each test and its window closed after it; the window found, opened, and its frame control painted
// and read back (X11 driver on Xvfb).
#include "module_test.h"
#include <optional>
#include <string>
#include <tuple>
#include <vector>
#include "host/engine/settings_store.h"
#include "pixels.h"
#include "window/display_ids.h"
#include "window_watcher.h"

namespace vento::test {

// A rectangle as something tests can compare and print.
inline std::tuple<long, long, long, long> box(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

class DisplayWindowTest : public ModuleTest {
protected:
    DisplayWindowTest(const wchar_t* dll, REFCLSID module) : ModuleTest(dll, module) {}
    void TearDown() override { h.module()->CloseWindow(); }

    HWND findWindow() { return findThreadDialog(GetCurrentThreadId(), L"Wave"); }
    HWND open() { return h.openWindow(); }
    HWND frame(HWND w) { return GetDlgItem(w, IDC_DISPLAY_FRAME); }
    // Runs the paint the last Process asked for and reads the frame control back.
    Pixels paint(HWND w)
    {
        UpdateWindow(w);
        return capture(frame(w));
    }
    void show(const std::vector<float>& block, const std::wstring& props)
    {
        h.feed(L"Default", block, props);
        ASSERT_EQ(S_OK, h.process());
    }
    // What the engine holds for the module (what it saved through the host object).
    std::optional<float> held(const wchar_t* name) { return h.instance().settings->floatValue(name); }
};

} // namespace vento::test
