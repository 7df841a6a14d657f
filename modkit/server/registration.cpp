#include "server/registration.h"

#include <unknwn.h>
#include <wrl/client.h>
#include "com/error.h"
#include "server/server.h"

namespace modkit {

// The platform's registry-script registrar. No SDK header of this toolchain declares it; the method
// order is its binary contract. Declared outside the anonymous namespace: a file-local interface with
// no implementation in sight lets the compiler fold its virtual calls away.
const CLSID CLSID_ScriptRegistrar = {0x44EC053A, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};
const IID IID_IScriptRegistrar = {0x44EC053B, 0x400F, 0x11D0, {0x9D, 0xCD, 0x00, 0xA0, 0xC9, 0x03, 0x91, 0xD3}};

struct IScriptRegistrar : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddReplacement(LPCOLESTR key, LPCOLESTR item) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearReplacements() = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegisterSz(LPCOLESTR file, LPCOLESTR id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregisterSz(LPCOLESTR file, LPCOLESTR id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileRegister(LPCOLESTR file) = 0;
    virtual HRESULT STDMETHODCALLTYPE FileUnregister(LPCOLESTR file) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringRegister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE StringUnregister(LPCOLESTR data) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceRegister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResourceUnregister(LPCOLESTR file, UINT id, LPCOLESTR type) = 0;
};

namespace {

// Scripts quote strings with single quotes; a quote inside a value is written twice.
std::wstring quotedForScript(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size() + 4);
    for (wchar_t c : text) {
        out += c;
        if (c == L'\'') out += L'\'';
    }
    return out;
}

} // namespace

std::wstring serverPath()
{
    // A longer path is refused rather than cut: a cut path must never reach the registry, and the
    // platform's type-library and class loaders take at most MAX_PATH characters.
    const HRESULT tooLong = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(serverInstance(), path, MAX_PATH);
    if (n == 0) throwHr(HRESULT_FROM_WIN32(GetLastError()));
    if (n >= MAX_PATH) throwHr(tooLong);
    wchar_t longPath[MAX_PATH];
    n = GetLongPathNameW(path, longPath, MAX_PATH);
    if (n == 0) return path; // the loader's name is still a valid name of the file
    if (n >= MAX_PATH) throwHr(tooLong);
    return longPath;
}

HRESULT runRegistryScript(UINT scriptId, ScriptAction action) noexcept
{
    return boundary([&] {
        Microsoft::WRL::ComPtr<IScriptRegistrar> registrar;
        HRESULT hr = CoCreateInstance(CLSID_ScriptRegistrar, nullptr, CLSCTX_INPROC_SERVER, IID_IScriptRegistrar,
                                      reinterpret_cast<void**>(registrar.ReleaseAndGetAddressOf()));
        if (FAILED(hr)) return hr;
        std::wstring path = serverPath();
        hr = registrar->AddReplacement(L"Module", quotedForScript(path).c_str());
        if (FAILED(hr)) return hr;
        if (action == ScriptAction::Register) return registrar->ResourceRegister(path.c_str(), scriptId, L"REGISTRY");
        return registrar->ResourceUnregister(path.c_str(), scriptId, L"REGISTRY");
    });
}

HRESULT runClassScripts(ScriptAction action) noexcept
{
    for (size_t row = 0; row < serverClassCount; ++row) {
        HRESULT hr = runRegistryScript(serverClasses[row].registryScript, action);
        if (FAILED(hr) && action == ScriptAction::Register) return hr;
    }
    return S_OK;
}

} // namespace modkit
