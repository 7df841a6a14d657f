#pragma once
// What a module class tells its base about its server: the type name, and the page it names to the
// engine from Initialize (none for modules without a panel of their own).
#include <windows.h>

namespace modkit {

struct ModuleIdentity {
    const wchar_t* typeName;
    const CLSID* page;  // null: Initialize names no page
    long localOnlyPanel; // 1: the panel works only on the computer where the module runs
};

} // namespace modkit
