#pragma once
// The gain slider of the display modules' panels: positions 0 to 100 for gains of
// 10^((position - 50) / 10), so 50 is a gain of 1 and each step a factor of 10^0.1.
#include <cmath>
#include <cwchar>
#include <string>

namespace modkit {

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

} // namespace modkit
