#include "host/registrar/catalogue.h"

#include <objbase.h>
#include <algorithm>
#include <utility>
#include "com/error.h"
#include "com/handle.h"

namespace vento {
namespace {

using modkit::throwHr;

using RegKey = modkit::UniqueKey;

// Names become registry value names: never empty, and no embedded terminator that would cut them.
void checkName(std::wstring_view name)
{
    if (name.empty() || name.find(L'\0') != std::wstring_view::npos) throwHr(E_INVALIDARG);
}

void checkWin32(LSTATUS status)
{
    if (status != ERROR_SUCCESS) throwHr(HRESULT_FROM_WIN32(status));
}

} // namespace

std::vector<CatalogueEntry> readCatalogue()
{
    std::vector<CatalogueEntry> entries;
    RegKey key;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, catalogueKey, 0, KEY_QUERY_VALUE, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return entries;
    checkWin32(status);
    DWORD count = 0, longestName = 0;
    checkWin32(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName,
                                nullptr, nullptr, nullptr));
    std::wstring name(longestName + 1, L'\0');
    for (DWORD i = 0; i < count; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = 0;
        wchar_t value[40] = {}; // "{8-4-4-4-12}" and its terminator; longer values are no class id
        DWORD bytes = sizeof(value) - sizeof(wchar_t);
        status = RegEnumValueW(key.get(), i, name.data(), &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(value),
                               &bytes);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_MORE_DATA) continue;
        checkWin32(status);
        CLSID clsid;
        if (type != REG_SZ || nameLength == 0 || FAILED(CLSIDFromString(value, &clsid))) continue;
        entries.push_back({std::wstring(name.data(), nameLength), clsid});
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return entries;
}

void catalogueModule(std::wstring_view name, REFCLSID clsid)
{
    checkName(name);
    wchar_t text[40];
    if (StringFromGUID2(clsid, text, 40) == 0) throwHr(E_UNEXPECTED);
    RegKey key;
    checkWin32(RegCreateKeyExW(HKEY_LOCAL_MACHINE, catalogueKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                               nullptr, key.put(), nullptr));
    std::wstring valueName(name);
    checkWin32(RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                              static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t))));
}

void uncatalogueModule(std::wstring_view name)
{
    checkName(name);
    RegKey key;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, catalogueKey, 0, KEY_SET_VALUE, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return;
    checkWin32(status);
    status = RegDeleteValueW(key.get(), std::wstring(name).c_str());
    if (status == ERROR_FILE_NOT_FOUND) return;
    checkWin32(status);
}

} // namespace vento
