#pragma once
// The Filter's panel: three sliders (low cut, high cut, ramp) with their values beside them.
#include "controls.h"
#include "filter_module.h"
#include "panel/module_dialog.h"

class FilterPanel : public modkit::ModuleDialog {
protected:
    BOOL OnInitDialog() override;
    bool OnHScroll(int code, int position, HWND control) override;
    void ExchangeControls(Exchange direction) override;

private:
    void ShowValues();

    // Copies of the module's block size and sample rate, taken when the panel is set up.
    long blockSize_ = 0;
    long sampleRate_ = 0;
    long ramp_ = 1; // the ramp edit as last read back (0 to 10)
};
