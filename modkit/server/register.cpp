// Self-registration of a module server: the module enters the engine's catalogue through the engine's
// registrar, the class table's scripts write the COM keys, and the type library is registered from
// the server file.
#include <olectl.h>
#include <oleauto.h>
#include <cwchar>
#include <wrl/client.h>
#include "com/bstr.h"
#include "com/error.h"
#include "com/handle.h"
#include "engine.h"
#include "com/message_box.h"
#include "server/registration.h"
#include "server/server.h"

namespace modkit {
namespace {

using Microsoft::WRL::ComPtr;

// In-process server, in-process handler, local server and remote server: the engine decides where its
// registrar lives.
constexpr DWORD registrarContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
static_assert(registrarContext == 23);

// The engine's registrar. Without it the user is told once, and the server registers nothing.
HRESULT createRegistrar(ComPtr<IModuleRegistrar>& registrar)
{
    HRESULT hr = CoCreateInstance(CLSID_VentoModuleRegistrar, nullptr, registrarContext, IID_IModuleRegistrar,
                                  reinterpret_cast<void**>(registrar.ReleaseAndGetAddressOf()));
    if (SUCCEEDED(hr)) return S_OK;
    wchar_t text[160];
    swprintf(text, sizeof(text) / sizeof(text[0]),
             L"Could not create VentoModuleRegistrar object.\nModules in this server will not be registered.\n"
             L"HRESULT = 0x%X",
             static_cast<unsigned>(hr));
    showMessage(text);
    return SELFREG_E_CLASS;
}

struct ServerTypeLib {
    ComPtr<ITypeLib> lib;
    std::wstring path;
};

// The type library inside the server file, else the one beside it named after it ("x.dll" -> "x.tlb").
HRESULT loadServerTypeLib(ServerTypeLib& found)
{
    found.path = serverPath();
    HRESULT hr = LoadTypeLibEx(found.path.c_str(), REGKIND_NONE, found.lib.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr)) return hr;
    size_t dot = found.path.find_last_of(L'.');
    size_t folder = found.path.find_last_of(L"\\/:");
    if (dot == std::wstring::npos || (folder != std::wstring::npos && dot < folder))
        found.path += L".tlb"; // a point in a folder name is no extension
    else
        found.path.replace(dot, std::wstring::npos, L".tlb");
    return LoadTypeLibEx(found.path.c_str(), REGKIND_NONE, found.lib.ReleaseAndGetAddressOf());
}

// The folder of a path, with its trailing separator.
std::wstring folderOf(const std::wstring& path)
{
    size_t cut = path.find_last_of(L"\\/:");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

HRESULT registerServerTypeLib()
{
    ServerTypeLib found;
    HRESULT hr = loadServerTypeLib(found);
    if (FAILED(hr)) return hr;
    std::wstring helpDir = folderOf(found.path);
    return RegisterTypeLib(found.lib.Get(), found.path.data(), helpDir.data());
}

// Failures are ignored: unregistration removes what it can. The entry point is looked up at run time
// because older automation libraries lack it.
void unregisterServerTypeLib() noexcept
{
    boundary([] {
        ServerTypeLib found;
        if (FAILED(loadServerTypeLib(found))) return;
        TLIBATTR* attr = nullptr;
        if (FAILED(found.lib->GetLibAttr(&attr))) return;
        auto releaseAttr = scopeExit([&]() noexcept { found.lib->ReleaseTLibAttr(attr); });
        using UnregisterFn = HRESULT(STDAPICALLTYPE*)(REFGUID, WORD, WORD, LCID, SYSKIND);
        Library oleaut(L"oleaut32.dll");
        if (auto unregister = oleaut.entry<UnregisterFn>("UnRegisterTypeLib"))
            unregister(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    });
}

// The module class: the first row of the class table.
const CLSID& moduleClass() { return *serverClasses[0].clsid; }

} // namespace
} // namespace modkit

using namespace modkit;

STDAPI DllRegisterServer()
{
    return boundary([]() -> HRESULT {
        ComPtr<IModuleRegistrar> registrar;
        if (HRESULT hr = createRegistrar(registrar); FAILED(hr)) return hr;
        serverPath(); // a path that cannot be registered whole stops registration before anything is written
        // The COM server is registered whether or not the catalogue took the module; a catalogue
        // that refused it is reported once everything else is in place.
        HRESULT catalogued = registrar->RegisterModule(Bstr(serverModuleName).get(), moduleClass());
        if (HRESULT hr = runClassScripts(ScriptAction::Register); FAILED(hr)) return hr;
        if (HRESULT hr = registerServerTypeLib(); FAILED(hr)) return hr;
        return FAILED(catalogued) ? catalogued : S_OK;
    });
}

STDAPI DllUnregisterServer()
{
    return boundary([]() -> HRESULT {
        ComPtr<IModuleRegistrar> registrar;
        if (HRESULT hr = createRegistrar(registrar); FAILED(hr)) return hr;
        // A catalogue entry that cannot be removed is reported, but the server's own keys still go.
        HRESULT catalogued = registrar->UnregisterModule(Bstr(serverModuleName).get());
        runClassScripts(ScriptAction::Unregister);
        unregisterServerTypeLib();
        return FAILED(catalogued) ? catalogued : S_OK;
    });
}
