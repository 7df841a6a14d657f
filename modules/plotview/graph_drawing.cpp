#include "graph_drawing.h"

#include <cmath>
#include <cwchar>
#include "com/handle.h"

using modkit::GdiObject;
using modkit::Selection;

namespace {

constexpr COLORREF background = RGB(255, 0, 255);
constexpr COLORREF gridColour = RGB(0x32, 0x32, 0x32);

// Values beyond the edges are drawn at the edge; not-a-number counts as below.
float clampUnit(float v)
{
    if (!(v >= -1.0f)) return -1.0f;
    return v > 1.0f ? 1.0f : v;
}

int textWidth(HDC dc, const wchar_t* text)
{
    SIZE size{};
    GetTextExtentPoint32W(dc, text, int(std::wcslen(text)), &size);
    return size.cx;
}

void gridLine(HDC dc, int x, int height)
{
    MoveToEx(dc, x, 0, nullptr);
    LineTo(dc, x, height);
}

// Labels every s milliseconds, s chosen so that a five-digit label fits between two lines.
void drawTimeScale(HDC dc, int W, int H, float p, long sampleRate)
{
    float q = float(sampleRate) * p * 0.001f; // pixels per millisecond
    // No rate or no samples: there is no time axis to mark.
    if (!(q > 0.0f) || !std::isfinite(q)) return;
    float L = float(textWidth(dc, L"00000")) / q;
    int s = 100;
    if (L < 50.0f) s = 50;
    if (L < 20.0f) s = 20;
    if (L < 10.0f) s = 10;
    if (L < 5.0f) s = 5;
    if (L < 2.0f) s = 2;
    if (L < 1.0f) s = 1;
    for (int t = 0; t < 1000; t += s) {
        float fx = float(t) * q;
        if (fx >= float(W)) break;
        int x = int(fx);
        if (t > 0) gridLine(dc, x, H);
        wchar_t label[16];
        int n = std::swprintf(label, 16, L"%d", t);
        if (x + textWidth(dc, label) + 4 >= W) break;
        TextOutW(dc, x + 2, H - 5, label, n);
    }
}

// Kilohertz lines from 0 to half the sample rate over the width; none at 0.
void drawFrequencyScale(HDC dc, int W, int H, long sampleRate)
{
    float N = float(sampleRate) * 0.5f;
    if (!(N > 0.0f)) return;
    float w = float(textWidth(dc, L"000"));
    int k = 1;
    if (w > float(W) * 1000.0f / N) k = 2;
    if (w > float(W) * float(k) * 1000.0f / N) k = 5;
    if (w > float(W) * float(k) * 1000.0f / N) k = 10;
    for (int f = k; f < 100; f += k) {
        float fx = float(W) * float(f) * 1000.0f / N;
        if (fx >= float(W)) break; // beyond the plot: neither line nor label would show
        int x = int(fx);
        gridLine(dc, x, H);
        wchar_t label[16];
        int n = std::swprintf(label, 16, L"%d", f);
        if (x + textWidth(dc, label) + 4 >= W) break;
        TextOutW(dc, x + 2, H - 5, label, n);
    }
}

// The axis title goes on the window just below the frame, where it is not covered by the plot.
void drawAxisTitle(HWND frame, HFONT font, bool spectrum)
{
    HWND window = GetParent(frame);
    RECT r{};
    if (!window || !GetWindowRect(frame, &r)) return;
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    modkit::WindowDc dc(window);
    if (!dc) return;
    Selection withFont(dc.get(), font);
    SetBkMode(dc.get(), TRANSPARENT);
    SetTextAlign(dc.get(), TA_TOP | TA_LEFT | TA_NOUPDATECP);
    const wchar_t* title = spectrum ? L"Frequency  (kHz) ->   " : L"Time (mS) ->            ";
    TextOutW(dc.get(), r.left + 10, r.bottom, title, int(std::wcslen(title)));
}

void drawTrace(HDC dc, int H, float p, const GraphPicture& g)
{
    const int mid = H / 2;
    const auto& samples = g.samples;
    const long size = long(samples.size());
    // A full-scale negative value lands on row H, one beyond the plot; keep it on the last row.
    auto row = [H](int y) { return y > H - 1 ? H - 1 : y; };
    MoveToEx(dc, 0, mid, nullptr);
    if (g.magnitude) {
        for (long i = 0; i < size / 2; ++i) {
            float re = samples[size_t(2 * i)], im = samples[size_t(2 * i + 1)];
            float v = std::sqrt(re * re + im * im) * g.gain;
            if (g.logScale) v = std::log10(v + 1.0f < 0.0f ? 0.0f : v + 1.0f);
            v = clampUnit(v);
            LineTo(dc, int(float(i) * p * 2.0f), row(int(float(mid) - float(H) * v * 0.5f)));
        }
    } else {
        for (long i = 0; i < size; ++i) {
            float v = -samples[size_t(i)] * g.gain;
            if (g.logScale) v = std::log10((v < -1.0f ? -1.0f : v) + 1.0f);
            v = clampUnit(v);
            LineTo(dc, int(float(i) * p), row(int(v * float(H) * 0.5f + float(mid))));
        }
    }
}

} // namespace

void DrawGraph(HWND frame, HFONT font, const GraphPicture& g)
{
    RECT outer{};
    if (!frame || !GetWindowRect(frame, &outer)) return;
    const int W0 = outer.right - outer.left, H0 = outer.bottom - outer.top;
    const int W = W0 - 7, H = H0 - 7;
    if (W <= 0 || H <= 0) return;
    modkit::WindowDc dc(frame);
    if (!dc) return;
    modkit::MemoryDc mem(CreateCompatibleDC(dc.get()));
    GdiObject<HBITMAP> bitmap(mem ? CreateCompatibleBitmap(dc.get(), W0, H0) : nullptr);
    if (!bitmap) return;
    Selection onBitmap(mem.get(), bitmap.get());
    Selection withFont(mem.get(), font);
    RECT area{0, 0, W, H};
    GdiObject<HBRUSH> fill(CreateSolidBrush(background));
    FillRect(mem.get(), &area, fill.get());

    const float p = float(W) / float(g.samples.size());
    if (g.graticule) {
        GdiObject<HPEN> dotted(CreatePen(PS_DOT, 1, gridColour));
        Selection withDots(mem.get(), dotted.get());
        MoveToEx(mem.get(), 0, H / 2, nullptr);
        LineTo(mem.get(), W, H / 2);
        SetBkMode(mem.get(), TRANSPARENT);
        SetTextAlign(mem.get(), TA_BOTTOM | TA_LEFT | TA_NOUPDATECP);
        if (g.spectrum)
            drawFrequencyScale(mem.get(), W, H, g.sampleRate);
        else
            drawTimeScale(mem.get(), W, H, p, g.sampleRate);
        drawAxisTitle(frame, font, g.spectrum);
    }

    GdiObject<HPEN> black(CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
    {
        Selection withBlack(mem.get(), black.get());
        drawTrace(mem.get(), H, p, g);
    }

    // One transfer, so the plot never shows half drawn.
    BitBlt(dc.get(), 0, 0, W, H, mem.get(), 0, 0, SRCCOPY);
}
