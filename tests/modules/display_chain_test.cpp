// SignalW drawing a generated sine in the GraphWindow, through the engine: the curve on the screen
// and a screenshot for people to look at.
#include <initguid.h>
#include "module_test.h"
#include <cmath>
#include <numbers>
#include "host/engine/settings_store.h"
#include "pixels.h"
#include "plotview_idl.h"
#include "tonegen_idl.h"
#include "window_watcher.h"

using vento::test::Pixels;

namespace {

constexpr wchar_t pin[] = L"Default";
constexpr int frameId = 5003;
constexpr std::uint32_t black = 0x000000;

TEST(SignalWIntoGraphWindow, DrawsTheGeneratedSine)
{
    ModuleHarness h(L"plotview.dll", CLSID_GraphWindowModule);
    ASSERT_EQ(S_OK, h.initialize());
    vento::Instance& tone = h.addSource(L"tonegen.dll", CLSID_SignalWModule, L"tone");

    // Three periods of 0.8 in every 128-sample block at 11025 samples per second.
    auto store = modkit::make<vento::SettingsStore>();
    const float step = float(2 * std::numbers::pi * 3 / 128);
    for (auto [name, value] : {std::pair{L"Amp", 0.8f}, {L"Freq", step}, {L"Phase", 0.0f}, {L"Shape", 0.0f},
                               {L"SampleRate", 11025.0f}, {L"BlockSize", 128.0f}})
        store->setFloat(name, value);
    ASSERT_EQ(S_OK, tone.module->LoadSettings(store.Get()));

    ASSERT_EQ(S_OK, h.module()->OpenWindow());
    HWND window = vento::test::findThreadDialog(GetCurrentThreadId(), L"Wave");
    ASSERT_NE(nullptr, window);
    SetWindowPos(window, nullptr, 0, 0, 460, 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_EQ(S_OK, tone.module->Start());
    ASSERT_EQ(S_OK, h.module()->Start());
    EXPECT_EQ(L"Wave tone ", [&] {
        wchar_t caption[64] = {};
        GetWindowTextW(window, caption, 64);
        return std::wstring(caption);
    }());

    // The first step after Start anchors the generator's clock; each later one, a second on, is due.
    for (int step = 0; step < 3; ++step) {
        ASSERT_EQ(S_OK, h.engine().process(tone));
        ASSERT_EQ(S_OK, h.process());
        h.clock().advance(h.clock().frequency());
    }
    EXPECT_EQ(2, h.sendCount(pin)) << "the graph window passes every block on";

    HWND frame = GetDlgItem(window, frameId);
    UpdateWindow(window);
    Pixels plot = vento::test::capture(frame);
    RECT f;
    GetWindowRect(frame, &f);
    const int W = f.right - f.left - 7, H = f.bottom - f.top - 7;
    // Crests of the three periods near 0.8 above the centre, troughs near 0.8 below.
    for (int period = 0; period < 3; ++period) {
        SCOPED_TRACE(period);
        for (float quarter : {0.25f, 0.75f}) {
            float sample = (float(period) + quarter) * 128.0f / 3.0f;
            float value = 0.8f * float(std::sin(2 * std::numbers::pi * 3 * sample / 128.0));
            int x = int(sample * float(W) / 128.0f), y = int(-value * float(H) * 0.5f + float(H / 2));
            bool drawn = false;
            for (int dx = -1; dx <= 1; ++dx)
                for (int dy = -2; dy <= 2; ++dy) drawn |= plot.at(x + dx, y + dy) == black;
            EXPECT_TRUE(drawn) << "no trace near (" << x << ", " << y << ")";
        }
    }

    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pixels shot = vento::test::capture(window, true);
    EXPECT_TRUE(vento::test::writeBmp(shot, vento::test::besideProgram(L"signalw_graph.bmp")));
    h.module()->CloseWindow();
}

} // namespace
