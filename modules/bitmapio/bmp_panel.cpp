#include "bmp_panel.h"

#include <commdlg.h>
#include <vector>
#include "com/message_box.h"

using namespace modkit;

BOOL BMPPanel::OnInitDialog()
{
    ModuleDialog::OnInitDialog();
    BMPModule* bmp = moduleAs<BMPModule>();
    if (!bmp) return TRUE;
    {
        UpdateScope scope(*this);
        fileName_ = bmp->fileName;
    }
    // Every time the panel opens: saving never overwrites until the user says so.
    autoIncrement_ = true;
    ExchangeControls(Exchange::ToControls);
    MarkUnchanged();
    return TRUE;
}

void BMPPanel::ExchangeControls(Exchange direction)
{
    if (direction == Exchange::ToControls) {
        SetText(IDC_FILE_NAME, fileName_);
        SetChecked(IDC_AUTO_INCREMENT, autoIncrement_);
    } else {
        fileName_ = Text(IDC_FILE_NAME);
        autoIncrement_ = IsChecked(IDC_AUTO_INCREMENT);
    }
}

HRESULT BMPPanel::Apply()
{
    BMPModule* bmp = moduleAs<BMPModule>();
    if (!bmp) return S_OK;
    UpdateScope scope(*this);
    bmp->fileName = fileName_;
    bmp->loadPending = true;
    scope.markChanged();
    scope.close();
    return S_OK;
}

bool BMPPanel::OnCommand(WORD id, WORD code, HWND)
{
    if (id == IDC_BROWSE && code == BN_CLICKED) {
        Browse();
    } else if (id == IDC_SAVE && code == BN_CLICKED) {
        Save();
    } else {
        return false;
    }
    return true;
}

void BMPPanel::Browse()
{
    ExchangeControls(Exchange::FromControls);
    std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
    const std::wstring initial = fileName_.empty() ? L"C:\\*.bmp" : fileName_;
    initial.copy(path.data(), std::min(initial.size(), path.size() - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd();
    dialog.lpstrFilter = L"file (*.bmp)\0*.bmp\0all files (*.*)\0*.*\0";
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = DWORD(path.size());
    dialog.lpstrDefExt = L"bmp";
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    if (GetOpenFileNameW(&dialog)) {
        BMPModule* bmp = moduleAs<BMPModule>();
        UpdateScope scope(*this);
        fileName_ = path.data();
        if (bmp) {
            bmp->fileName = fileName_;
            bmp->loadPending = true;
            scope.markChanged();
        }
    }
    ExchangeControls(Exchange::ToControls);
}

void BMPPanel::Save()
{
    BMPModule* bmp = moduleAs<BMPModule>();
    if (!bmp) return;
    ExchangeControls(Exchange::FromControls);
    if (!bmpsave::IsBmpName(fileName_)) {
        showMessage(L"Please enter a .bmp file name");
        return;
    }
    UpdateScope scope(*this);
    scope.markChanged();
    std::optional<BMPModule::InputImage> image = bmp->ImageAtInput();
    if (!image) {
        showMessage(L"No image detected at input");
        return;
    }
    if (autoIncrement_) fileName_ = bmpsave::UnusedName(fileName_);
    bmp->fileName = fileName_;
    // Auto-Increment never replaces a file, even one that appeared since the name was chosen.
    if (bmpsave::WriteBmp(fileName_, *image, !autoIncrement_)) bmp->loadPending = true;
    ExchangeControls(Exchange::ToControls);
}
