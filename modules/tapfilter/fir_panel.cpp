#include "fir_panel.h"

#include <commctrl.h>
#include <algorithm>
#include <cmath>
#include <cwchar>
#include "com/error.h"

using namespace modkit;

namespace {

constexpr const wchar_t* typeNames[] = {L"Low Pass", L"High Pass", L"Band Pass"};
constexpr long minTaps = 5, maxPanelTaps = 100;

long typeCode(const std::wstring& name)
{
    if (name == L"Band Pass") return BandPass;
    if (name == L"High Pass") return HighPass;
    return LowPass;
}

} // namespace

BOOL FIRPanel::OnInitDialog()
{
    ModuleDialog::OnInitDialog();
    RunDialogInit(201); // the type list
    FIRModule* fir = moduleAs<FIRModule>();
    if (!fir) return TRUE;
    {
        UpdateScope scope(*this); // reads only
        const float rate = static_cast<float>(fir->sampleRate);
        highHertz_ = rate * fir->highCut;
        lowHertz_ = rate * fir->lowCut;
        taps_ = fir->taps;
        typeName_ = fir->filterType == HighPass ? L"High Pass" : fir->filterType == BandPass ? L"Band Pass" : L"Low Pass";
        if (fir->filterType == HighPass) lowHertz_ = highHertz_;
    }
    SelectCombo(IDC_FILTER_TYPE, int(typeCode(typeName_) - 1));
    SetTrackRange(IDC_CUTOFF, 1, 99);
    SetTrackRange(IDC_LOW, 1, 99);
    SetTrackRange(IDC_TAPS, int(minTaps), int(maxPanelTaps));
    SetTrackPos(IDC_LOW, PositionOf(lowHertz_));
    SetTrackPos(IDC_CUTOFF, PositionOf(highHertz_));
    SetTrackPos(IDC_TAPS, int(taps_));
    ExchangeControls(Exchange::ToControls);
    TypeChosen();
    MarkUnchanged();
    // Opening the panel rebuilt the filter (its delay line too): the engine hears of it.
    UpdateScope scope(*this);
    scope.markChanged();
    return TRUE;
}

bool FIRPanel::OnHScroll(int, int, HWND control)
{
    SliderMoved(control);
    return true;
}

bool FIRPanel::OnCommand(WORD id, WORD code, HWND)
{
    if (id != IDC_FILTER_TYPE || code != CBN_SELCHANGE) return false;
    TypeChosen();
    return true;
}

void FIRPanel::ExchangeControls(Exchange direction)
{
    if (direction == Exchange::ToControls) {
        ShowHertz(IDC_CUTOFF_VALUE, highHertz_);
        ShowHertz(IDC_LOW_VALUE, lowHertz_);
        SetInt(IDC_TAPS_VALUE, int(taps_));
        return;
    }
    // Typed values count when they are numbers (taps within the panel's range).
    if (auto typed = GetFloat(IDC_CUTOFF_VALUE); typed && std::isfinite(static_cast<float>(*typed)))
        highHertz_ = static_cast<float>(*typed);
    if (auto typed = GetFloat(IDC_LOW_VALUE); typed && std::isfinite(static_cast<float>(*typed)))
        lowHertz_ = static_cast<float>(*typed);
    if (auto typed = GetInt(IDC_TAPS_VALUE); typed && *typed >= minTaps && *typed <= maxPanelTaps) taps_ = *typed;
    const int chosen = ComboSelection(IDC_FILTER_TYPE);
    if (chosen >= 0 && chosen < 3) typeName_ = typeNames[chosen];
}

void FIRPanel::TypeChosen()
{
    if (!moduleAs<FIRModule>()) return;
    ExchangeFromControls();
    const bool band = IsBandPass();
    ShowWindow(Item(IDC_LOW), band ? SW_SHOW : SW_HIDE);
    ShowWindow(Item(IDC_LOW_VALUE), band ? SW_SHOW : SW_HIDE);
    SetText(IDC_LOW_LABEL, band ? L"Low" : L"");
    SetText(IDC_CUTOFF_LABEL, band ? L"High" : L"Frequency");
    if (!band) {
        SetTrackRange(IDC_CUTOFF, 1, 99);
        SetTrackRange(IDC_LOW, 1, 99);
    } else {
        // The band's edges on the sliders' grid, the low one below the high one.
        SetTrackRange(IDC_LOW, 1, 98);
        SetTrackRange(IDC_CUTOFF, 2, 99);
        int cutoff = std::clamp(PositionOf(highHertz_), 2, 99);
        const int low = std::clamp(PositionOf(lowHertz_), 1, 98);
        if (low >= cutoff) cutoff = low + 1;
        SetTrackPos(IDC_CUTOFF, cutoff);
        SetTrackPos(IDC_LOW, low);
        highHertz_ = HertzAt(cutoff);
        lowHertz_ = HertzAt(low);
    }
    RebuildFromPanel();
    ExchangeControls(Exchange::ToControls);
}

void FIRPanel::SliderMoved(HWND control)
{
    if (!moduleAs<FIRModule>()) return;
    if (IsBandPass()) {
        // The band's sliders never cross: the one that moved pushes the other one step on.
        const int cutoff = TrackPos(IDC_CUTOFF), low = TrackPos(IDC_LOW);
        if (control == Item(IDC_CUTOFF) && low >= cutoff) SetTrackPos(IDC_LOW, cutoff - 1);
        if (control == Item(IDC_LOW) && cutoff <= low) SetTrackPos(IDC_CUTOFF, low + 1);
    }
    highHertz_ = HertzAt(TrackPos(IDC_CUTOFF));
    lowHertz_ = HertzAt(TrackPos(IDC_LOW));
    taps_ = TrackPos(IDC_TAPS);
    RebuildFromPanel();
    ExchangeControls(Exchange::ToControls);
}

void FIRPanel::RebuildFromPanel()
{
    FIRModule* fir = moduleAs<FIRModule>();
    UpdateScope scope(*this);
    std::lock_guard hold(fir->filterLock);
    const float rate = static_cast<float>(fir->sampleRate);
    const float low = lowHertz_ / rate, high = highHertz_ / rate;
    fir->Rebuild(typeCode(typeName_), low, high, taps_);
    // A typed cut-off the filter could not take shows as the one it took instead.
    if (fir->lowCut != low) lowHertz_ = rate * fir->lowCut;
    if (fir->highCut != high) highHertz_ = rate * fir->highCut;
    scope.markChanged();
}

int FIRPanel::PositionOf(float hertz) const
{
    const double position = double(hertz * 200.0f / static_cast<float>(moduleAs<FIRModule>()->sampleRate));
    // Far outside the sliders (a typed value) it is only kept clear of int overflow.
    return static_cast<int>(std::clamp(position, -1e6, 1e6));
}

float FIRPanel::HertzAt(int position) const
{
    return static_cast<float>(moduleAs<FIRModule>()->sampleRate) * static_cast<float>(position) * 0.005f;
}

void FIRPanel::ShowHertz(int id, float hertz)
{
    // The shortest text that reads back as the same float ("5402.25", not "5402.25048828125").
    wchar_t text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        swprintf(text, 32, L"%.*g", digits, static_cast<double>(hertz));
        if (static_cast<float>(std::wcstod(text, nullptr)) == hertz) break;
    }
    SetText(id, text);
}
