#pragma once
// The in-process server shared by every deliverable: its class table, cached class factories and the
// exported entry points. Each server supplies only its table (generated from its identity row).
#include <windows.h>
#include <unknwn.h>
#include <cstddef>

namespace modkit {

struct ClassEntry {
    const CLSID* clsid;
    UINT registryScript; // REGISTRY resource applied when the server registers
    HRESULT (*create)(IUnknown* outer, REFIID iid, void** out);
};

// Rows in this order: the module class, then its property-page class. Registration enters the first
// row's class into the engine's catalogue.
extern const ClassEntry serverClasses[];
extern const size_t serverClassCount;
// The module type name the server enters into the engine's catalogue.
extern const wchar_t serverModuleName[];

} // namespace modkit
