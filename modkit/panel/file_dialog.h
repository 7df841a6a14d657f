#pragma once
// The platform's open-file dialog as the file modules' panels show it ("..." next to a file name).
#include <windows.h>
#include <optional>
#include <string>

namespace modkit {

// `initial` is the name the dialog starts with (a pattern such as "C:\*.wav"), `filter` the
// platform's list of description and pattern pairs, each ended by a zero character. The chosen full
// path, or nothing when the user cancels.
std::optional<std::wstring> chooseFileToOpen(HWND owner, const wchar_t* initial, const wchar_t* filter,
                                             const wchar_t* defaultExtension);

} // namespace modkit
