#pragma once
// The Filter's panel: three sliders (low cut, high cut, ramp) with their values beside them.
#include "filter_module.h"
#include "panel/module_dialog.h"

enum FilterPanelControl : int {
    IDC_LOW_CUT = 5001,
    IDC_LOW_CUT_VALUE = 5002,
    IDC_HIGH_CUT = 5003,
    IDC_HIGH_CUT_VALUE = 5004,
    IDC_RAMP = 5005,
    IDC_RAMP_VALUE = 5006,
};

class FilterPanel : public modkit::ModuleDialog {
public:
    HRESULT Apply() override { return S_OK; }

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
