#pragma once
// The Convolution's panel shows nothing; opening and applying it still report to the engine.
#include "panel/module_dialog.h"

class ConvolutionPanel : public modkit::ModuleDialog {
public:
    HRESULT Apply() override;

protected:
    BOOL OnInitDialog() override;

private:
    void Report();
};
