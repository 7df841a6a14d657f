#pragma once
// The Stream's panel: the input's block size and rate (shown only), and lists for the output's block
// size and rate, each taking effect as soon as it is chosen.
#include "controls.h"
#include "panel/module_dialog.h"
#include "stream_module.h"

class StreamPanel : public modkit::ModuleDialog {
public:
    HRESULT Apply() override;
    HRESULT Refresh() override;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void ExchangeControls(Exchange direction) override;

private:
    // The input's block size and rate, read from the module.
    void ReadInput(StreamModule& stream);

    long inBlockSize_ = 0;
    long inRate_ = 0;
};
