#include "filter_panel.h"

BOOL FilterPanel::OnInitDialog()
{
    ModuleDialog::OnInitDialog();
    FilterModule* filter = moduleAs<FilterModule>();
    if (!filter) return TRUE;
    UpdateScope scope(*this);
    blockSize_ = filter->blockSize;
    sampleRate_ = filter->sampleRate;
    SetTrackRange(IDC_LOW_CUT, 0, int(sampleRate_ / 2));
    SetTrackRange(IDC_HIGH_CUT, 0, int(sampleRate_ / 2));
    SetTrackRange(IDC_RAMP, 1, 10);
    SetTrackPos(IDC_HIGH_CUT, int(filter->hiCut));
    SetTrackPos(IDC_LOW_CUT, int(filter->loCut));
    SetTrackPos(IDC_RAMP, int(filter->ramp));
    ramp_ = filter->ramp;
    ShowValues();
    MarkUnchanged();
    scope.markChanged();
    return TRUE;
}

// The edits show the cut positions scaled by block size over sample rate, and the ramp as it is.
void FilterPanel::ShowValues()
{
    double scale = double(blockSize_) / double(sampleRate_);
    SetFloat(IDC_LOW_CUT_VALUE, TrackPos(IDC_LOW_CUT) * scale);
    SetFloat(IDC_HIGH_CUT_VALUE, TrackPos(IDC_HIGH_CUT) * scale);
    SetInt(IDC_RAMP_VALUE, TrackPos(IDC_RAMP));
}

bool FilterPanel::OnHScroll(int, int, HWND control)
{
    FilterModule* filter = moduleAs<FilterModule>();
    if (!filter) return false;
    UpdateScope scope(*this);
    // The two cut sliders never cross: the one that moved pushes the other along.
    if (control == Item(IDC_HIGH_CUT) && TrackPos(IDC_HIGH_CUT) < TrackPos(IDC_LOW_CUT))
        SetTrackPos(IDC_LOW_CUT, TrackPos(IDC_HIGH_CUT));
    if (control == Item(IDC_LOW_CUT) && TrackPos(IDC_HIGH_CUT) < TrackPos(IDC_LOW_CUT))
        SetTrackPos(IDC_HIGH_CUT, TrackPos(IDC_LOW_CUT));
    filter->ramp = TrackPos(IDC_RAMP);
    filter->hiCut = TrackPos(IDC_HIGH_CUT);
    filter->loCut = TrackPos(IDC_LOW_CUT);
    ShowValues();
    scope.markChanged();
    return false; // the default handling runs too
}

void FilterPanel::ExchangeControls(Exchange direction)
{
    // The edits only display; the ramp edit is read back within 0 to 10 and goes no further.
    if (direction == Exchange::FromControls) {
        std::optional<int> ramp = GetInt(IDC_RAMP_VALUE);
        if (ramp && *ramp >= 0 && *ramp <= 10) ramp_ = *ramp;
    } else {
        SetInt(IDC_RAMP_VALUE, int(ramp_));
    }
}
