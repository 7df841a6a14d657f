#include "wav_panel.h"


#include "panel/file_dialog.h"

using namespace modkit;

BOOL WAVPanel::OnInitDialog()
{
    ModuleDialog::OnInitDialog();
    if (WAVModule* wav = moduleAs<WAVModule>()) {
        UpdateScope scope(*this);
        fileName_ = wav->fileName;
    }
    ExchangeControls(Exchange::ToControls);
    MarkUnchanged();
    return TRUE;
}

void WAVPanel::ExchangeControls(Exchange direction)
{
    if (direction == Exchange::ToControls) SetText(IDC_WAV_FILE_NAME, fileName_);
    else fileName_ = Text(IDC_WAV_FILE_NAME);
}

bool WAVPanel::OnCommand(WORD id, WORD code, HWND)
{
    if (code != BN_CLICKED) return false;
    switch (id) {
    case IDC_WAV_STOP:
    case IDC_WAV_PLAY:
    case IDC_WAV_REPEAT:
    case IDC_WAV_RECORD:
        Press(id);
        return true;
    case IDC_WAV_BROWSE:
        Browse();
        return true;
    default:
        return false;
    }
}

void WAVPanel::Press(WORD button)
{
    WAVModule* wav = moduleAs<WAVModule>();
    if (!wav) return;
    if (button != IDC_WAV_STOP) ExchangeFromControls();
    UpdateScope scope(*this);
    switch (button) {
    case IDC_WAV_STOP:
        wav->playing = wav->repeat = false;
        wav->CloseRecording();
        break;
    case IDC_WAV_PLAY:
    case IDC_WAV_REPEAT:
        wav->playing = true;
        wav->repeat = button == IDC_WAV_REPEAT;
        wav->fileName = fileName_;
        break;
    default: // Record
        wav->playing = wav->repeat = false;
        wav->recording = true;
        wav->fileName = fileName_;
        break;
    }
    scope.markChanged();
}

void WAVPanel::Browse()
{
    std::optional<std::wstring> chosen =
        chooseFileToOpen(hwnd(), L"C:\\*.wav", L"file (*.wav)\0*.wav\0all files (*.*)\0*.*\0", L"wav");
    if (!chosen) return;
    fileName_ = *chosen;
    if (WAVModule* wav = moduleAs<WAVModule>()) {
        UpdateScope scope(*this);
        wav->fileName = fileName_;
        scope.markChanged();
    }
    ExchangeControls(Exchange::ToControls);
}
