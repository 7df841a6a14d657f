#include "com/message_box.h"

#include <windows.h>
#include "com/error.h"

namespace modkit {

void showMessage(const std::wstring& text) noexcept
{
    wchar_t caption[128];
    int n = LoadStringW(resourceInstance(), 100, caption, static_cast<int>(sizeof(caption) / sizeof(caption[0])));
    MessageBoxW(nullptr, text.c_str(), n > 0 ? caption : nullptr, MB_OK);
}

} // namespace modkit
