#pragma once
// The Image module's panel: a gain slider with its value and the graticule and log boxes. The module
// keeps what they say; the picture does not use it.
#include "controls.h"
#include "image_module.h"
#include "panel/module_dialog.h"

class ImagePanel : public modkit::ModuleDialog {
public:
    HRESULT Refresh() override;

protected:
    BOOL OnInitDialog() override;
    bool OnHScroll(int code, int position, HWND control) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void ShowModule(const ImageModule& image);
};
