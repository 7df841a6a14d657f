#pragma once
// What every server of the suite does the same way when it registers: the registry scripts of its
// class table, run through the platform's script registrar with "%MODULE%" standing for the server
// file.
#include <windows.h>
#include <string>

namespace modkit {

enum class ScriptAction { Register, Unregister };

// The full path of the server file, in its long form. A path of MAX_PATH characters or more throws
// HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE).
std::wstring serverPath();

// Runs the server's own REGISTRY resource `scriptId`. Answers the script registrar's HRESULT.
HRESULT runRegistryScript(UINT scriptId, ScriptAction action) noexcept;

// The scripts of every class-table row, in table order. Registration stops at the first failure and
// answers it; unregistration runs every row and ignores failures (it removes what it can).
HRESULT runClassScripts(ScriptAction action) noexcept;

} // namespace modkit
