#pragma once
// The Multiplier's panel: lists for the output's block size and sample rate, filled from the dialog's
// initialisation data. A choice takes effect at once and restarts the module.
#include "controls.h"
#include "multiplier_module.h"
#include "panel/module_dialog.h"

class MultiplierPanel : public modkit::ModuleDialog {
protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
};
