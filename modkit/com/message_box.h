#pragma once
// The one way a failure is shown to the user: a modal message box with an OK button and no owner,
// captioned with the server's name (string 100 of its resources).
#include <string>

namespace modkit {

void showMessage(const std::wstring& text) noexcept;

} // namespace modkit
