#include "host/engine/server_library.h"

#include <string>
#include "com/error.h"
#include "host/engine/vento_engine.h"

namespace vento {

std::filesystem::path programFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) modkit::throwHr(HRESULT_FROM_WIN32(GetLastError()));
        if (n < path.size()) {
            path.resize(n);
            return std::filesystem::path(path).parent_path();
        }
        path.resize(path.size() * 2);
    }
}

namespace {
modkit::Library load(const std::filesystem::path& file)
{
    try {
        return modkit::Library(file.c_str());
    } catch (const modkit::ComError& e) {
        throw EngineError(narrow(file.filename().wstring()) + ": cannot load (" + narrow(modkit::hresultText(e.code())) + ")");
    }
}
} // namespace

ServerLibrary::ServerLibrary(const std::filesystem::path& file) : file_(file), library_(load(file)) {}

HRESULT ServerLibrary::getClassObject(REFCLSID clsid, REFIID iid, void** out) const
{
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = library_.entry<GetClassObject>("DllGetClassObject");
    return get ? get(clsid, iid, out) : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

Microsoft::WRL::ComPtr<IClassFactory> ServerLibrary::classFactory(REFCLSID clsid) const
{
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    modkit::check(getClassObject(clsid, IID_PPV_ARGS(&factory)));
    return factory;
}

HRESULT ServerLibrary::call(const char* entryPoint) const
{
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto entry = library_.entry<Entry>(entryPoint);
    return entry ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

} // namespace vento
