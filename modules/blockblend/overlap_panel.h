#pragma once
// The Overlap's panel: the overlap in an edit with an up-down control. Each step of the up-down
// changes the module at once; a typed value is where the next step starts from.
#include "controls.h"
#include "overlap_module.h"
#include "panel/module_dialog.h"

class OverlapPanel : public modkit::ModuleDialog {
public:
    // Takes what the edit holds as the starting point of the next step; the module is unchanged.

protected:
    BOOL OnInitDialog() override;
    bool OnNotify(const NMHDR& header, LRESULT& result) override;
    void ExchangeControls(Exchange direction) override;

private:
    long shown_ = 0; // the value in the edit
};
