#pragma once
// What the tests of the display modules share: the module in its real server, initialised before
// each test and its window closed after it; the window found, opened, and its frame control painted
// and read back (X11 driver on Xvfb).
#include "module_test.h"
#include <initializer_list>
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
using Box = std::tuple<long, long, long, long>;
inline Box box(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

class DisplayWindowTest : public ModuleTest {
protected:
    DisplayWindowTest(const wchar_t* dll, REFCLSID module) : ModuleTest(dll, module) {}
    // The one pin, in and out, of both display modules.
    static constexpr wchar_t pin[] = L"Default";
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
        h.feed(pin, block, props);
        ASSERT_EQ(S_OK, h.process());
    }
    // A settings store holding these values.
    static Microsoft::WRL::ComPtr<SettingsStore> storeOf(std::initializer_list<std::pair<const wchar_t*, float>> values)
    {
        auto store = modkit::make<SettingsStore>();
        for (auto [name, value] : values) store->setFloat(name, value);
        return store;
    }
    // Where the module's window stands after loading this store (an empty box without a window).
    Box loadAndPlace(SettingsStore* store)
    {
        EXPECT_EQ(S_OK, h.module()->LoadSettings(store));
        RECT r{};
        if (HWND w = findWindow()) GetWindowRect(w, &r);
        return box(r);
    }
    // What the engine holds for the module (what it saved through the host object).
    std::optional<float> held(const wchar_t* name) { return h.instance().settings->floatValue(name); }
};

} // namespace vento::test

// The names every test of a display module uses.
using vento::SettingsStore;
using vento::test::box;
using vento::test::Box;
using vento::test::Pixels;
