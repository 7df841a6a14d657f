#pragma once
// The WAV module's panel: the file name with a browse button, and Stop, Play, Repeat and Record.
#include <string>
#include "controls.h"
#include "panel/module_dialog.h"
#include "wav_module.h"

class WAVPanel : public modkit::ModuleDialog {
protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void ExchangeControls(Exchange direction) override;

private:
    // Play, Repeat and Record: the panel's file name into the module with the new state.
    void Press(WORD button);
    void Browse();

    std::wstring fileName_;
};
