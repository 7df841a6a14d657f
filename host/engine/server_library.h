#pragma once
// One way to load a module server: the DLL, loaded for the life of the object, and its entry points
// (class objects, registration, unloading). The engine, the vento command, the benchmarks and the
// tests all load servers through it.
//
//   vento::ServerLibrary server(vento::programFolder() / L"fwdtransform.dll");
//   auto factory = server.classFactory(CLSID_FFTModule);
#include <windows.h>
#include <unknwn.h>
#include <filesystem>
#include <wrl/client.h>
#include "com/handle.h"

namespace vento {

// The folder of the running program (vento.exe, a test or a benchmark).
std::filesystem::path programFolder();

class ServerLibrary {
public:
    // Loads `file`; throws EngineError naming the file and the platform's error.
    explicit ServerLibrary(const std::filesystem::path& file);

    HMODULE handle() const noexcept { return library_.get(); }
    const std::filesystem::path& file() const noexcept { return file_; }

    // DllGetClassObject as the server answers it.
    HRESULT getClassObject(REFCLSID clsid, REFIID iid, void** out) const;
    // The class factory of `clsid`; throws what the server answers.
    Microsoft::WRL::ComPtr<IClassFactory> classFactory(REFCLSID clsid) const;
    // One of the entry points without arguments: "DllRegisterServer", "DllUnregisterServer",
    // "DllCanUnloadNow". A server without it answers HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND).
    HRESULT call(const char* entryPoint) const;

private:
    std::filesystem::path file_;
    modkit::Library library_;
};

} // namespace vento
