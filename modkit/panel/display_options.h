#pragma once
// What the display modules show through their panels alike: a gain on a slider with its value beside
// it, a graticule and a log scale. The slider's positions 0 to 100 stand for gains of
// 10^((position - 50) / 10), so 50 is a gain of 1 and each step a factor of 10^0.1.
#include <cmath>
#include <cwchar>
#include <string>
#include "panel/module_dialog.h"

namespace modkit {

// The fields, a base of the display module class; read by drawing, written by the panel inside the
// engine's update scope.
struct DisplayOptions {
    long logScale = 0;
    long graticule = 1;
    float gain = 1.0f;
};

inline constexpr int gainSliderMin = 0;
inline constexpr int gainSliderMax = 100;

inline float gainAtPosition(int position) { return float(std::pow(10.0, (position - 50) * 0.1)); }

// The slider position of `gain`. The small allowance keeps a gain set from the slider on its own
// position despite single-precision rounding; gains at or below 0 have no position and sit at 0.
inline int gainPosition(float gain)
{
    if (!(gain > 0.0f)) return gainSliderMin;
    double position = std::log10(double(gain)) * 10.0 + 50.0 + 1e-4;
    if (position < gainSliderMin) return gainSliderMin;
    if (position > gainSliderMax) return gainSliderMax;
    return int(position);
}

// The gain as its value field shows it ("10", "1e-05").
inline std::wstring gainText(float gain)
{
    wchar_t text[32];
    std::swprintf(text, 32, L"%g", double(gain));
    return text;
}

// The panel part: the slider, its value and the two boxes kept in step with the module's options.
// A panel with more controls shows them in ShowMore and handles their commands before the base.
class DisplayOptionsPanel : public ModuleDialog {
public:
    struct Controls {
        int gain, gainValue, graticule, log;
    };
    HRESULT Refresh() override;

protected:
    explicit DisplayOptionsPanel(Controls controls) : controls_(controls) {}
    // The module's options; null without a module.
    virtual DisplayOptions* Options() const = 0;
    virtual void ShowMore() {}

    BOOL OnInitDialog() override;
    bool OnHScroll(int code, int position, HWND control) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void Show(const DisplayOptions& options);

    Controls controls_;
};

} // namespace modkit
