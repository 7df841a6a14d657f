#include "panel/file_dialog.h"

#include <commdlg.h>
#include <cwchar>

namespace modkit {

std::optional<std::wstring> chooseFileToOpen(HWND owner, const wchar_t* initial, const wchar_t* filter,
                                             const wchar_t* defaultExtension)
{
    wchar_t chosen[MAX_PATH] = {};
    wcsncpy(chosen, initial, MAX_PATH - 1);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = defaultExtension;
    dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!GetOpenFileNameW(&dialog)) return std::nullopt;
    return std::wstring(chosen);
}

} // namespace modkit
