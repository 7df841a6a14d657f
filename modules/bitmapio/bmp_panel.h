#pragma once
// The BMP module's panel: the file name with a browse button, Auto-Increment and Save.
#include <string>
#include "bmp_module.h"
#include "controls.h"
#include "panel/module_dialog.h"

class BMPPanel : public modkit::ModuleDialog {
public:
    // The panel's file name becomes the module's, and the next step reads it.
    HRESULT Apply() override;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void ExchangeControls(Exchange direction) override;

private:
    void Browse();
    void Save();

    std::wstring fileName_;
    bool autoIncrement_ = true;
};
