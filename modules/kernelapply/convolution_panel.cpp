#include "convolution_panel.h"

// Both set-up and apply run the update bracket: the panel matches the module (SetModified 0), and
// then the engine hears of a change (SetModified 1) as after every panel edit.
void ConvolutionPanel::Report()
{
    if (!module) return;
    UpdateScope scope(*this);
    MarkUnchanged();
    scope.markChanged();
    scope.close();
}

BOOL ConvolutionPanel::OnInitDialog()
{
    ModuleDialog::OnInitDialog();
    Report();
    return TRUE;
}

HRESULT ConvolutionPanel::Apply()
{
    Report(); // a failure ends the page's Apply with its result
    return S_OK;
}
