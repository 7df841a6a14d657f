#include "recorder_panel.h"

#include <commctrl.h>
#include <algorithm>
#include "com/error.h"

#include "panel/file_dialog.h"

using namespace modkit;

BOOL RecorderPanel::OnInitDialog()
{
    initialising_ = true;
    if (RecorderModule* recorder = moduleAs<RecorderModule>()) {
        UpdateScope scope(*this);
        fileName_ = recorder->fileName;
    }
    ModuleDialog::OnInitDialog();
    MarkUnchanged();
    initialising_ = false;
    return TRUE;
}

void RecorderPanel::ExchangeControls(Exchange direction)
{
    if (direction == Exchange::ToControls) {
        const bool wasInitialising = initialising_;
        initialising_ = true;
        SetText(IDC_FILE_NAME, fileName_);
        initialising_ = wasInitialising;
        SetInt(IDC_FILE_POSITION, int(filePosition_));
        SetInt(IDC_GAP_SIZE, int(gap_));
        return;
    }
    fileName_ = Text(IDC_FILE_NAME);
    // The gap is 0 to 3; other text keeps the value the panel had.
    if (std::optional<int> gap = GetInt(IDC_GAP_SIZE); gap && *gap >= 0 && *gap <= RecorderModule::maxGap) gap_ = *gap;
}

HRESULT RecorderPanel::Apply()
{
    ExchangeFromControls();
    CopyFileNameToModule();
    return S_OK;
}

void RecorderPanel::CopyFileNameToModule()
{
    RecorderModule* recorder = moduleAs<RecorderModule>();
    if (!recorder) return;
    UpdateScope scope(*this);
    recorder->fileName = fileName_;
    scope.markChanged();
}

HRESULT RecorderPanel::Refresh()
{
    RecorderModule* recorder = moduleAs<RecorderModule>();
    if (!recorder) return S_OK;
    {
        UpdateScope scope(*this);
        filePosition_ = recorder->filePosition;
        scope.close();
    }
    // Only the position: a file name being typed is not the module's yet and must not be undone.
    if (hwnd()) SetInt(IDC_FILE_POSITION, int(filePosition_));
    return S_OK;
}

bool RecorderPanel::OnCommand(WORD id, WORD code, HWND)
{
    switch (id) {
    case IDC_RECORD:
    case IDC_PLAY:
        if (code != BN_CLICKED) return false;
        Start(id == IDC_PLAY);
        return true;
    case IDC_STOP:
        if (code != BN_CLICKED) return false;
        Stop();
        return true;
    case IDC_BROWSE:
        if (code != BN_CLICKED) return false;
        Browse();
        return true;
    case IDC_FILE_NAME:
        if (code != EN_CHANGE || initialising_) return false;
        FileNameEdited();
        return true;
    default:
        return false;
    }
}

void RecorderPanel::Start(bool playing)
{
    RecorderModule* recorder = moduleAs<RecorderModule>();
    if (!recorder) return;
    {
        UpdateScope scope(*this);
        recorder->play = playing;
        recorder->record = !playing;
        recorder->resetPending = true;
        scope.markChanged();
    }
    Apply();
    if (dirty) {
        dirty = 0;
        if (pageSite) check(pageSite->OnStatusChange(0));
    }
}

void RecorderPanel::Stop()
{
    RecorderModule* recorder = moduleAs<RecorderModule>();
    if (!recorder) return;
    UpdateScope scope(*this);
    recorder->play = false;
    recorder->record = false;
    recorder->resetPending = true;
    scope.markChanged();
}

void RecorderPanel::FileNameEdited()
{
    // The frame learns that the page has something to apply, once per edit session.
    if (!dirty) {
        dirty = 1;
        if (pageSite) check(pageSite->OnStatusChange(3));
    }
    if (auto site = ModuleSite()) check(site->SetModified(1));
}

void RecorderPanel::Browse()
{
    std::optional<std::wstring> chosen =
        chooseFileToOpen(hwnd(), L"C:\\Dev\\*.vento", L"file (*.vento)\0*.vento\0all files (*.*)\0*.*\0", L"vento");
    if (!chosen) return;
    fileName_ = *chosen;
    CopyFileNameToModule();
    ExchangeControls(Exchange::ToControls);
}

bool RecorderPanel::OnNotify(const NMHDR& header, LRESULT& result)
{
    if (header.idFrom != IDC_GAP_SPIN || header.code != UDN_DELTAPOS) return false;
    const auto& change = reinterpret_cast<const NMUPDOWN&>(header);
    RecorderModule* recorder = moduleAs<RecorderModule>();
    if (!recorder) return false;
    {
        UpdateScope scope(*this);
        gap_ = std::clamp(gap_ - long(change.iDelta), 0L, RecorderModule::maxGap);
        recorder->gapCountdown = gap_;
        scope.markChanged();
    }
    SetInt(IDC_GAP_SIZE, int(gap_)); // only the gap: a file name being typed stays
    result = 1; // the panel keeps the value; the control's own position does not matter
    return true;
}
