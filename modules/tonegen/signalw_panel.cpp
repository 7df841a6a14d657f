#include "signalw_panel.h"

#include <commctrl.h>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cwchar>

namespace {

// Stored shape codes in the order of the shape list.
constexpr long shapeCodes[] = {ShapeSine, ShapeSquare, ShapeImpulse, ShapeWhite};

int shapeIndex(long shape)
{
    for (int i = 0; i < 4; ++i)
        if (shapeCodes[i] == shape) return i;
    return 1; // every other code plays the square wave
}

// A slider position from a computed value, kept clear of int overflow (the slider clamps it further).
int position(double value)
{
    if (!(value > INT_MIN / 2)) return INT_MIN / 2;
    if (value > INT_MAX / 2) return INT_MAX / 2;
    return static_cast<int>(value);
}

long long ceilDiv(long long numerator, long long denominator)
{
    long long q = numerator / denominator;
    return q * denominator < numerator ? q + 1 : q;
}

} // namespace

BOOL SignalWPanel::OnInitDialog()
{
    blockSize_ = 0;
    sampleRate_ = 0;
    frequency_ = -1.0f;
    amplitude_ = -2.0f;
    syncToBlock_ = true;
    ModuleDialog::OnInitDialog();
    AddComboItems(IDC_SHAPE, {L"Sine", L"Square", L"Impulse", L"White"});
    AddComboItems(IDC_BLOCK_SIZE, {L"128", L"256", L"512", L"1024"});
    AddComboItems(IDC_SAMPLE_RATE, {L"11.025", L"22.05", L"44.1"});
    if (!moduleAs<SignalWModule>()) return TRUE;
    Refresh();
    ExchangeControls(Exchange::ToControls);
    MarkUnchanged();
    return TRUE;
}

HRESULT SignalWPanel::Refresh()
{
    SignalWModule* signal = moduleAs<SignalWModule>();
    if (!signal || !hwnd()) return S_OK;
    UpdateScope scope(*this); // reads only: the engine hears of no change
    bool changed = false;
    if (signal->blockSize != blockSize_) {
        blockSize_ = signal->blockSize;
        SelectCombo(IDC_BLOCK_SIZE, blockSize_ == 256 ? 1 : blockSize_ == 512 ? 2 : blockSize_ == 1024 ? 3 : 0);
        SetFrequencyScale();
        changed = true;
    }
    if (signal->sampleRate != sampleRate_) {
        sampleRate_ = signal->sampleRate;
        SelectCombo(IDC_SAMPLE_RATE, sampleRate_ == 22050 ? 1 : sampleRate_ == 44100 ? 2 : 0);
        SetFrequencyScale();
        changed = true;
    }
    float frequency = static_cast<float>(signal->sampleRate) * signal->phaseStep * inverseTwoPi;
    if (frequency != frequency_) {
        frequency_ = frequency;
        SetFrequencyScale();
        SetAmplitudeScale();
        changed = true;
    }
    if (signal->amplitude != amplitude_) {
        amplitude_ = signal->amplitude;
        SetAmplitudeScale();
        changed = true;
    }
    // An open list belongs to the user: neither its selection nor the values change under it.
    bool dropped = ShapeListDropped();
    if (ComboSelection(IDC_SHAPE) != shapeIndex(signal->shape) && !dropped) {
        SelectCombo(IDC_SHAPE, shapeIndex(signal->shape));
        changed = true;
    }
    if (changed && !dropped) ExchangeControls(Exchange::ToControls);
    return S_OK;
}

bool SignalWPanel::OnHScroll(int, int, HWND)
{
    SliderMoved();
    return true;
}

bool SignalWPanel::OnCommand(WORD id, WORD code, HWND)
{
    if (code == CBN_SELCHANGE && id == IDC_SHAPE) {
        ShapeChosen();
    } else if (code == CBN_SELCHANGE && id == IDC_BLOCK_SIZE) {
        BlockSizeChosen();
    } else if (code == CBN_SELCHANGE && id == IDC_SAMPLE_RATE) {
        SampleRateChosen();
    } else if (code == BN_CLICKED && id == IDC_SYNC_TO_BLOCK) {
        SyncToggled();
    } else {
        return false;
    }
    return true;
}

void SignalWPanel::ExchangeControls(Exchange direction)
{
    if (direction == Exchange::ToControls) {
        ShowFloat(IDC_FREQUENCY_VALUE, frequency_);
        ShowFloat(IDC_AMPLITUDE_VALUE, amplitude_);
        SetChecked(IDC_SYNC_TO_BLOCK, syncToBlock_);
        return;
    }
    // Typed values count only when they are numbers.
    if (auto typed = GetFloat(IDC_FREQUENCY_VALUE); typed && std::isfinite(static_cast<float>(*typed)))
        frequency_ = static_cast<float>(*typed);
    if (auto typed = GetFloat(IDC_AMPLITUDE_VALUE); typed && std::isfinite(static_cast<float>(*typed)))
        amplitude_ = static_cast<float>(*typed);
    syncToBlock_ = IsChecked(IDC_SYNC_TO_BLOCK);
}

// --- handlers ----------------------------------------------------------------------------------

void SignalWPanel::SliderMoved()
{
    SignalWModule* signal = moduleAs<SignalWModule>();
    if (!signal || sampleRate_ <= 0) return;
    float frequency = SliderFrequency();
    int amplitude = TrackPos(IDC_AMPLITUDE);
    // A negative amplitude is a negative DC value, which only frequency 0 produces.
    if (frequency != 0.0f) {
        SetTrackRange(IDC_AMPLITUDE, 0, 100, false);
        amplitude = std::abs(amplitude);
    } else {
        SetTrackRange(IDC_AMPLITUDE, -100, 100, false);
    }
    frequency_ = frequency;
    amplitude_ = static_cast<float>(amplitude * 0.01);
    SetTrackPos(IDC_AMPLITUDE, amplitude);
    {
        UpdateScope scope(*this);
        signal->phaseStep = frequency_ * twoPi / static_cast<float>(sampleRate_);
        signal->amplitude = amplitude_;
        signal->RestartNoise();
        scope.markChanged();
    }
    ExchangeControls(Exchange::ToControls);
}

void SignalWPanel::ShapeChosen()
{
    SignalWModule* signal = moduleAs<SignalWModule>();
    if (!signal) return;
    ExchangeFromControls();
    int chosen = ComboSelection(IDC_SHAPE);
    if (chosen < 0 || chosen > 3) return;
    UpdateScope scope(*this);
    signal->shape = shapeCodes[chosen];
    scope.markChanged();
}

void SignalWPanel::SyncToggled()
{
    if (!moduleAs<SignalWModule>() || sampleRate_ <= 0 || blockSize_ <= 0) return;
    long long old = TrackPos(IDC_FREQUENCY);
    ExchangeFromControls();
    // Whole-number roundings in integers: a frequency exactly on a whole cycle stays on it.
    if (syncToBlock_) {
        // Tenths of a hertz up to the next whole number of cycles per block.
        long long cycles = ceilDiv(old * blockSize_, 10LL * sampleRate_);
        frequency_ = static_cast<float>(static_cast<double>(cycles) * sampleRate_ / blockSize_);
        SetTrackRange(IDC_FREQUENCY, 0, int(blockSize_ / 4));
        SetTrackPos(IDC_FREQUENCY, position(blockSize_ * static_cast<double>(frequency_) / sampleRate_ + 0.5));
    } else {
        // Cycles per block up to the next whole hertz.
        long long hertz = ceilDiv(old * sampleRate_, blockSize_);
        frequency_ = static_cast<float>(hertz);
        SetTrackRange(IDC_FREQUENCY, 0, position(sampleRate_ * 2.5));
        SetTrackPos(IDC_FREQUENCY, position(hertz * 10.0));
    }
    SliderMoved();
}

void SignalWPanel::SampleRateChosen()
{
    SignalWModule* signal = moduleAs<SignalWModule>();
    if (!signal) return;
    ExchangeFromControls();
    long rate = modkit::samplesPerSecondFromKilohertz(ComboText(IDC_SAMPLE_RATE));
    if (rate <= 0) return;
    UpdateScope scope(*this);
    sampleRate_ = signal->sampleRate = rate;
    signal->phaseStep = frequency_ * twoPi / static_cast<float>(sampleRate_);
    SetFrequencyScale();
    signal->PublishOutputProps();
    scope.markChanged();
}

void SignalWPanel::BlockSizeChosen()
{
    SignalWModule* signal = moduleAs<SignalWModule>();
    if (!signal) return;
    ExchangeFromControls();
    long size = std::wcstol(ComboText(IDC_BLOCK_SIZE).c_str(), nullptr, 10);
    if (size <= 0) return;
    UpdateScope scope(*this);
    blockSize_ = signal->blockSize = size; // the output follows at the next block
    SetFrequencyScale();
    scope.markChanged();
}

// --- scales and controls -------------------------------------------------------------------------

void SignalWPanel::SetFrequencyScale()
{
    if (sampleRate_ <= 0 || blockSize_ <= 0) return; // not both known yet
    if (syncToBlock_) {
        SetTrackRange(IDC_FREQUENCY, 0, int(blockSize_ / 4));
        SetTrackPos(IDC_FREQUENCY, position(static_cast<double>(frequency_) * blockSize_ / sampleRate_ + 0.5));
    } else {
        SetTrackRange(IDC_FREQUENCY, 0, position(sampleRate_ * 2.5));
        // Whole hertz: the tenths of the frequency are cut off.
        SetTrackPos(IDC_FREQUENCY, position(std::trunc(static_cast<double>(frequency_)) * 10.0));
    }
}

void SignalWPanel::SetAmplitudeScale()
{
    SetTrackRange(IDC_AMPLITUDE, frequency_ == 0.0f ? -100 : 0, 100);
    // Hundredths, cut off.
    SetTrackPos(IDC_AMPLITUDE, position(amplitude_ * 100.0f));
}

float SignalWPanel::SliderFrequency() const
{
    int p = TrackPos(IDC_FREQUENCY);
    if (syncToBlock_) return static_cast<float>(static_cast<double>(p) * sampleRate_ / blockSize_);
    return static_cast<float>(p * 0.1);
}

bool SignalWPanel::ShapeListDropped() const { return SendMessageW(Item(IDC_SHAPE), CB_GETDROPPEDSTATE, 0, 0) != 0; }

void SignalWPanel::ShowFloat(int id, float value)
{
    // The exact value when it has a short decimal form ("516.796875", six cycles of 128 at 11025),
    // else the shortest text that reads back as the same float ("0.05", not "0.0500000007").
    wchar_t text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        swprintf(text, 32, L"%.*g", digits, static_cast<double>(value));
        if (std::wcstod(text, nullptr) == static_cast<double>(value)) return SetText(id, text);
    }
    for (int digits = 1; digits <= 9; ++digits) {
        swprintf(text, 32, L"%.*g", digits, static_cast<double>(value));
        if (static_cast<float>(std::wcstod(text, nullptr)) == value) break;
    }
    SetText(id, text);
}
