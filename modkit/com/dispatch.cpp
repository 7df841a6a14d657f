#include "com/dispatch.h"

#include <wrl/client.h>

namespace modkit {

ITypeInfo* serverTypeInfo(REFIID iid) noexcept
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(serverInstance(), path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    Microsoft::WRL::ComPtr<ITypeLib> lib;
    if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, &lib))) return nullptr;
    ITypeInfo* info = nullptr;
    if (FAILED(lib->GetTypeInfoOfGuid(iid, &info))) return nullptr;
    return info; // kept for the life of the server
}

} // namespace modkit
