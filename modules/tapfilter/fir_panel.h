#pragma once
// The FIR's panel: the filter type, the cut-off (the band's high edge), the band's low edge (shown
// for the band pass only) and the taps, each a slider with its value beside it. Every change
// rebuilds the filter at once.
#include <string>
#include "controls.h"
#include "fir_module.h"
#include "panel/module_dialog.h"

class FIRPanel : public modkit::ModuleDialog {
protected:
    BOOL OnInitDialog() override;
    bool OnHScroll(int code, int position, HWND control) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void ExchangeControls(Exchange direction) override;

private:
    void TypeChosen();
    void SliderMoved(HWND control);
    // The module's filter from the panel's copies, inside the update scope and the filter lock.
    void RebuildFromPanel();
    bool IsBandPass() const { return typeName_ == L"Band Pass"; }
    // A slider position for `hertz`: 200ths of the sample rate, cut off.
    int PositionOf(float hertz) const;
    float HertzAt(int position) const;
    void ShowHertz(int id, float hertz);

    // The panel's copies of what it shows.
    float highHertz_ = 0.0f;
    float lowHertz_ = 0.0f;
    long taps_ = 0;
    std::wstring typeName_;
};
