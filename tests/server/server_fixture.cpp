#include "server_fixture.h"

#include <stdexcept>
#include <objbase.h>
#include "host/registrar/catalogue.h"

namespace vento::test {

std::wstring besideTestProgram(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) throw std::runtime_error("cannot find the test program's folder");
    std::wstring folder(path, n);
    folder.resize(folder.find_last_of(L"\\/") + 1);
    return folder + name;
}

std::wstring longPath(const std::wstring& path)
{
    wchar_t buffer[1024];
    DWORD n = GetLongPathNameW(path.c_str(), buffer, 1024);
    return n == 0 || n >= 1024 ? path : std::wstring(buffer, n);
}

Library::Library(const std::wstring& path) : handle_(LoadLibraryW(path.c_str()))
{
    if (!handle_) throw std::runtime_error("cannot load a DLL beside the test (error " + std::to_string(GetLastError()) + ")");
}

Library::~Library() { FreeLibrary(handle_); }

void* Library::entry(const char* name) const
{
    void* p = reinterpret_cast<void*>(GetProcAddress(handle_, name));
    if (!p) throw std::runtime_error(std::string("missing export ") + name);
    return p;
}

HRESULT Library::call(const char* entryPoint) const
{
    return reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(entry(entryPoint))();
}

HRESULT Library::getClassObject(REFCLSID clsid, REFIID iid, void** out) const
{
    return reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(entry("DllGetClassObject"))(clsid, iid,
                                                                                                           out);
}

DWORD runRegsvr32(const std::wstring& arguments)
{
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring program = std::wstring(system) + L"\\regsvr32.exe";
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        throw std::runtime_error("cannot start regsvr32 (error " + std::to_string(GetLastError()) + ")");
    DWORD exitCode = STILL_ACTIVE;
    // A registration waiting on a message box would never end: give up rather than hang the suite.
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

void RegistrationTest::SetUp()
{
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    comUp_ = true;
    for (const wchar_t* key : {L"fwdtransform.FFTModule", L"fwdtransform.FFTModule.1", L"fwdtransform.FFTModulePP",
                               L"fwdtransform.FFTModulePP.1", L"Vento.ModuleRegistrar", L"Vento.ModuleRegistrar.1"})
        snapshot.save(HKEY_CLASSES_ROOT, key);
    for (const wchar_t* clsid : {moduleClsid, pageClsid, registrarClsid})
        snapshot.save(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + clsid);
    snapshot.save(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + libid);
    snapshot.save(HKEY_CLASSES_ROOT, std::wstring(L"Interface\\") + moduleIid);
    snapshot.save(HKEY_LOCAL_MACHINE, L"Software\\Vento");

    removeServerKeys();
    ASSERT_EQ(S_OK, engine.call("DllRegisterServer"));
}

void RegistrationTest::TearDown()
{
    snapshot.restore();
    if (comUp_) CoUninitialize();
}

void RegistrationTest::removeServerKeys()
{
    for (const wchar_t* key : {L"fwdtransform.FFTModule", L"fwdtransform.FFTModule.1", L"fwdtransform.FFTModulePP",
                               L"fwdtransform.FFTModulePP.1"})
        deleteTree(HKEY_CLASSES_ROOT, key);
    for (const wchar_t* clsid : {moduleClsid, pageClsid}) deleteTree(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + clsid);
    deleteTree(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + libid);
    deleteTree(HKEY_CLASSES_ROOT, std::wstring(L"Interface\\") + moduleIid);
    deleteValue(HKEY_LOCAL_MACHINE, catalogueKey, L"FFT");
}

} // namespace vento::test
