#pragma once
// SignalW's panel: frequency and amplitude sliders with their values, the shape, block size and
// sample rate lists, and "Sync to block size", which makes the frequency slider count whole cycles
// per block instead of tenths of a hertz.
#include "controls.h"
#include "panel/module_dialog.h"
#include "signalw_module.h"

class SignalWPanel : public modkit::ModuleDialog {
public:
    HRESULT Refresh() override;

protected:
    BOOL OnInitDialog() override;
    bool OnHScroll(int code, int position, HWND control) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void ExchangeControls(Exchange direction) override;

private:
    void SliderMoved();
    void ShapeChosen();
    void SyncToggled();
    void SampleRateChosen();
    void BlockSizeChosen();
    // The frequency slider's range and position for the current scale, block size and rate.
    void SetFrequencyScale();
    // The amplitude slider: a negative (DC) range only at frequency 0.
    void SetAmplitudeScale();
    float SliderFrequency() const;
    bool ShapeListDropped() const;
    void ShowFloat(int id, float value);

    // The panel's copies of what it shows; set apart from any real value before the first refresh
    // so that it updates every control.
    long blockSize_ = 0;
    long sampleRate_ = 0;
    float frequency_ = -1.0f; // hertz
    float amplitude_ = -2.0f;
    bool syncToBlock_ = true;
};
