#include "stream_panel.h"

#include <cwchar>

namespace {

const long blockSizes[] = {128, 256, 512, 1024};
const long rates[] = {11025, 16000, 22050, 44100};

// The entry showing `value`; 0 (the first) when none does.
template <size_t N>
int entryOf(const long (&values)[N], long value)
{
    for (size_t i = 0; i < N; ++i)
        if (values[i] == value) return static_cast<int>(i);
    return 0;
}

} // namespace

BOOL StreamPanel::OnInitDialog()
{
    ModuleDialog::OnInitDialog();
    AddComboItems(IDC_OUT_BLOCK_SIZE, {L"128", L"256", L"512", L"1024"});
    AddComboItems(IDC_OUT_RATE, {L"11.025", L"16.0", L"22.05", L"44.1"});
    StreamModule* stream = moduleAs<StreamModule>();
    if (!stream) return TRUE;
    UpdateScope scope(*this);
    scope.markChanged();
    ReadInput(*stream);
    SelectCombo(IDC_OUT_BLOCK_SIZE, entryOf(blockSizes, stream->outBlocksize));
    SelectCombo(IDC_OUT_RATE, entryOf(rates, stream->outFrequency));
    ExchangeControls(Exchange::ToControls);
    MarkUnchanged();
    return TRUE;
}

HRESULT StreamPanel::Refresh()
{
    StreamModule* stream = moduleAs<StreamModule>();
    if (!stream || !hwnd()) return S_OK;
    UpdateScope scope(*this); // reads only: the engine hears of no change
    ReadInput(*stream);
    ExchangeControls(Exchange::ToControls);
    return S_OK;
}

void StreamPanel::ReadInput(StreamModule& stream)
{
    inBlockSize_ = stream.InputBlockSize();
    inRate_ = stream.inFrequency;
}

bool StreamPanel::OnCommand(WORD id, WORD code, HWND)
{
    if (code != CBN_SELCHANGE || (id != IDC_OUT_BLOCK_SIZE && id != IDC_OUT_RATE)) return false;
    Apply(); // a new choice takes effect at once
    return true;
}

HRESULT StreamPanel::Apply()
{
    StreamModule* stream = moduleAs<StreamModule>();
    if (!stream) return S_OK;
    ExchangeFromControls();
    const long rate = modkit::samplesPerSecondFromKilohertz(ComboText(IDC_OUT_RATE));
    const long size = std::wcstol(ComboText(IDC_OUT_BLOCK_SIZE).c_str(), nullptr, 10);
    UpdateScope scope(*this);
    scope.markChanged();
    // Only the lists' own values arrive here; anything else (no choice at all) keeps the module's.
    if (rate > 0) stream->outFrequency = rate;
    if (size > 0) stream->outBlocksize = size;
    stream->ResetOutput();
    scope.close();
    return S_OK;
}

void StreamPanel::ExchangeControls(Exchange direction)
{
    if (direction == Exchange::ToControls) {
        SetInt(IDC_IN_BLOCK_SIZE, int(inBlockSize_));
        SetInt(IDC_IN_RATE, int(inRate_));
        return;
    }
    if (auto shown = GetInt(IDC_IN_BLOCK_SIZE)) inBlockSize_ = *shown;
    if (auto shown = GetInt(IDC_IN_RATE)) inRate_ = *shown;
}
