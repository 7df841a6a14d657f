#pragma once
// The engine's catalogue of modules: every registered module server enters its module's type name
// and module class id here (through VentoModuleRegistrar), and the engine lists and creates modules
// from it.
//
// Kept in the registry, in HKEY_LOCAL_MACHINE\Software\Vento\Modules: one string value per module,
// named by the type name ("FFT"), holding the class id in braces.
#include <windows.h>
#include <string>
#include <string_view>
#include <vector>

namespace vento {

inline constexpr wchar_t catalogueKey[] = L"Software\\Vento\\Modules";

struct CatalogueEntry {
    std::wstring name;
    CLSID clsid;
};

// Every entry, sorted by name; values that hold no class id are skipped. Empty when no module was
// ever registered. Errors are thrown as modkit::ComError.
std::vector<CatalogueEntry> readCatalogue();

// Enters or replaces one module. An empty name (or one holding a null character) is E_INVALIDARG.
void catalogueModule(std::wstring_view name, REFCLSID clsid);

// Removes one module; a name not in the catalogue is no error.
void uncatalogueModule(std::wstring_view name);

} // namespace vento
