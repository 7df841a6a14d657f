#include "panel/display_options.h"

namespace modkit {

void DisplayOptionsPanel::Show(const DisplayOptions& options)
{
    SetTrackPos(controls_.gain, gainPosition(options.gain));
    SetText(controls_.gainValue, gainText(options.gain));
    SetChecked(controls_.graticule, options.graticule != 0);
    SetChecked(controls_.log, options.logScale != 0);
    ShowMore();
}

BOOL DisplayOptionsPanel::OnInitDialog()
{
    ModuleDialog::OnInitDialog();
    DisplayOptions* options = Options();
    if (!options) return TRUE;
    UpdateScope scope(*this);
    SetTrackRange(controls_.gain, gainSliderMin, gainSliderMax);
    Show(*options);
    MarkUnchanged();
    return TRUE;
}

HRESULT DisplayOptionsPanel::Refresh()
{
    DisplayOptions* options = Options();
    if (!options || !hwnd()) return S_OK;
    UpdateScope scope(*this);
    Show(*options);
    scope.close();
    return S_OK;
}

bool DisplayOptionsPanel::OnHScroll(int, int, HWND control)
{
    DisplayOptions* options = Options();
    if (!options || control != Item(controls_.gain)) return false;
    UpdateScope scope(*this);
    options->gain = gainAtPosition(TrackPos(controls_.gain));
    SetText(controls_.gainValue, gainText(options->gain));
    scope.markChanged();
    return false;
}

bool DisplayOptionsPanel::OnCommand(WORD id, WORD code, HWND)
{
    DisplayOptions* options = Options();
    if (!options || code != BN_CLICKED) return false;
    long* flag = id == controls_.graticule ? &options->graticule : id == controls_.log ? &options->logScale : nullptr;
    if (!flag) return false;
    UpdateScope scope(*this);
    *flag = IsChecked(id) ? 1 : 0;
    scope.markChanged();
    return true;
}

} // namespace modkit
