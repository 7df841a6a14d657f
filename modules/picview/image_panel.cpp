#include "image_panel.h"

#include "panel/gain_slider.h"

using namespace modkit;

void ImagePanel::ShowModule(const ImageModule& image)
{
    SetTrackPos(IDC_GAIN, gainPosition(image.gain));
    SetText(IDC_GAIN_VALUE, gainText(image.gain));
    SetChecked(IDC_GRATICULE, image.graticule != 0);
    SetChecked(IDC_LOG, image.logScale != 0);
}

BOOL ImagePanel::OnInitDialog()
{
    ModuleDialog::OnInitDialog();
    ImageModule* image = moduleAs<ImageModule>();
    if (!image) return TRUE;
    UpdateScope scope(*this);
    SetTrackRange(IDC_GAIN, gainSliderMin, gainSliderMax);
    ShowModule(*image);
    MarkUnchanged();
    return TRUE;
}

HRESULT ImagePanel::Refresh()
{
    ImageModule* image = moduleAs<ImageModule>();
    if (!image || !hwnd()) return S_OK;
    UpdateScope scope(*this);
    ShowModule(*image);
    scope.close();
    return S_OK;
}

bool ImagePanel::OnHScroll(int, int, HWND control)
{
    ImageModule* image = moduleAs<ImageModule>();
    if (!image || control != Item(IDC_GAIN)) return false;
    UpdateScope scope(*this);
    image->gain = gainAtPosition(TrackPos(IDC_GAIN));
    SetText(IDC_GAIN_VALUE, gainText(image->gain));
    scope.markChanged();
    return false;
}

bool ImagePanel::OnCommand(WORD id, WORD code, HWND)
{
    ImageModule* image = moduleAs<ImageModule>();
    if (!image || code != BN_CLICKED) return false;
    long* flag = id == IDC_GRATICULE ? &image->graticule : id == IDC_LOG ? &image->logScale : nullptr;
    if (!flag) return false;
    UpdateScope scope(*this);
    *flag = IsChecked(id) ? 1 : 0;
    scope.markChanged();
    return true;
}
