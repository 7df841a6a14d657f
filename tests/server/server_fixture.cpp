#include "server_fixture.h"

#include <stdexcept>
#include <objbase.h>
#include "host/registrar/catalogue.h"

namespace vento::test {

std::wstring longPath(const std::wstring& path)
{
    wchar_t buffer[1024];
    DWORD n = GetLongPathNameW(path.c_str(), buffer, 1024);
    return n == 0 || n >= 1024 ? path : std::wstring(buffer, n);
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
